// Arbitrary bytes off a TCP connection through the stream reassembler alone, in pieces: each piece is
// a one-byte length and that many bytes. The messages handed out are the stream's bytes in order, each
// as long as its header says; what is not handed out is pending. A header that cannot start a message
// stops the stream for good: the reassembler refuses it again and keeps its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/errors.h"
#include "dplay4/codec.h"
#include "dplay4/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::dplay4;
  StreamAssembler stream;
  std::vector<uint8_t> sent;
  size_t handedOut = 0;
  size_t at = 0;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at], size - at - 1);
    const std::span<const uint8_t> piece(data + at + 1, length);
    at += 1 + length;
    stream.Append(piece);
    sent.insert(sent.end(), piece.begin(), piece.end());
    try {
      while (const std::optional<std::vector<uint8_t>> message = stream.Next()) {
        const Header head = Header::Decode(*message);
        if (message->size() < kHeaderSize || head.Size != message->size()) __builtin_trap();
        if (!std::equal(message->begin(), message->end(),
                        sent.begin() + static_cast<std::ptrdiff_t>(handedOut)))
          __builtin_trap();
        handedOut += message->size();
      }
    } catch (const skyvox::FormatError&) {
      const size_t pending = stream.Pending();
      try {
        stream.Next();
        __builtin_trap();
      } catch (const skyvox::FormatError&) {
      }
      if (stream.Pending() != pending || pending != sent.size() - handedOut) __builtin_trap();
      return 0;
    }
    if (stream.Pending() != sent.size() - handedOut) __builtin_trap();
  }
  return 0;
}
