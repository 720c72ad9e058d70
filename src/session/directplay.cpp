#include "session/directplay.h"

#include "base/errors.h"

namespace skyvox::session {

void DpMessage::WriteLong(int32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void DpMessage::WriteShort(int16_t v) {
  bytes_.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
  bytes_.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
}

void DpMessage::WriteByte(uint8_t v) {
  bytes_.push_back(v);
}

// Each read takes its bytes directly when the message has them; otherwise the reader reports the
// short message.
int32_t DpMessage::ReadLong() {
  if (bytes_.size() - read_ >= 4) {
    const uint8_t* b = bytes_.data() + read_;
    read_ += 4;
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
  }
  ByteReader in(bytes_, read_);
  const int32_t v = in.I32();
  read_ = in.Position();
  return v;
}

int16_t DpMessage::ReadShort() {
  if (bytes_.size() - read_ >= 2) {
    const uint8_t* b = bytes_.data() + read_;
    read_ += 2;
    return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
  }
  ByteReader in(bytes_, read_);
  const int16_t v = in.I16();
  read_ = in.Position();
  return v;
}

uint8_t DpMessage::ReadByte() {
  if (read_ < bytes_.size()) return bytes_[read_++];
  ByteReader in(bytes_, read_);
  const uint8_t v = in.U8();
  read_ = in.Position();
  return v;
}

}  // namespace skyvox::session
