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

int32_t DpMessage::ReadLong() {
  ByteReader in(bytes_, read_);
  const int32_t v = in.I32();
  read_ = in.Position();
  return v;
}

int16_t DpMessage::ReadShort() {
  ByteReader in(bytes_, read_);
  const int16_t v = in.I16();
  read_ = in.Position();
  return v;
}

uint8_t DpMessage::ReadByte() {
  ByteReader in(bytes_, read_);
  const uint8_t v = in.U8();
  read_ = in.Position();
  return v;
}

}  // namespace skyvox::session
