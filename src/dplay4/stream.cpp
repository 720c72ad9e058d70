#include "dplay4/stream.h"

#include "dplay4/codec.h"

namespace skyvox::dplay4 {

void StreamAssembler::Append(std::span<const uint8_t> bytes) {
  // Drop what was handed out before growing, so that the buffer holds at most one message and a piece.
  if (read_ > 0 && read_ == buffer_.size()) {
    buffer_.clear();
    read_ = 0;
  } else if (read_ > 4096 && read_ * 2 > buffer_.size()) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(read_));
    read_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<std::vector<uint8_t>> StreamAssembler::Next() {
  constexpr size_t kHeaderSize = 20;
  if (Pending() < kHeaderSize) return std::nullopt;
  const std::span<const uint8_t> waiting(buffer_.data() + read_, Pending());
  // The size field has 20 bits, so a message never exceeds kMaxMessageSize (1 MiB).
  const Header header = Header::Decode(waiting.first(kHeaderSize));
  if (waiting.size() < header.Size) return std::nullopt;
  std::vector<uint8_t> message(waiting.begin(), waiting.begin() + header.Size);
  read_ += header.Size;
  return message;
}

}  // namespace skyvox::dplay4
