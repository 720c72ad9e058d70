// Whole DirectPlay 4 messages out of a TCP stream. Bytes arrive in pieces of any size; each message
// starts with the service provider's header, whose size field says how long it is. A header that
// cannot start a message (a size under 20, an unknown token) means the
// stream is out of step or hostile: FormatError, and the caller drops the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace skyvox::dplay4 {

class StreamAssembler {
 public:
  // Takes bytes as they came off the connection.
  void Append(std::span<const uint8_t> bytes);
  // The next whole message (header included), or nothing until more bytes arrive. Throws FormatError
  // on a header that cannot start a message; the bytes then stay unread.
  std::optional<std::vector<uint8_t>> Next();
  // Bytes received and not yet handed out.
  size_t Pending() const { return buffer_.size() - read_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t read_ = 0;
};

}  // namespace skyvox::dplay4
