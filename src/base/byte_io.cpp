#include "base/byte_io.h"

#include <bit>
#include <cstring>

#include "base/errors.h"

namespace skyvox {

ByteReader::ByteReader(std::span<const uint8_t> bytes, size_t position) : bytes_(bytes), pos_(0) {
  Seek(position);
}

void ByteReader::Need(size_t count) const {
  if (count > Remaining()) {
    throw ReadPastEnd("read of " + std::to_string(count) + " bytes at offset " + std::to_string(pos_) +
                      " goes past the end (" + std::to_string(bytes_.size()) + " bytes)");
  }
}

void ByteReader::Seek(size_t position) {
  if (position > bytes_.size()) {
    throw ReadPastEnd("position " + std::to_string(position) + " lies past the end (" +
                      std::to_string(bytes_.size()) + " bytes)");
  }
  pos_ = position;
}

void ByteReader::Skip(size_t count) {
  Need(count);
  pos_ += count;
}

uint8_t ByteReader::U8() {
  Need(1);
  return bytes_[pos_++];
}

uint16_t ByteReader::U16() {
  Need(2);
  const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

int16_t ByteReader::I16() {
  return static_cast<int16_t>(U16());
}

uint32_t ByteReader::U32() {
  Need(4);
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[pos_ + static_cast<size_t>(i)];
  pos_ += 4;
  return v;
}

int32_t ByteReader::I32() {
  return static_cast<int32_t>(U32());
}

double ByteReader::F64() {
  Need(8);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | bytes_[pos_ + static_cast<size_t>(i)];
  pos_ += 8;
  return std::bit_cast<double>(v);
}

std::string ByteReader::Bytes(size_t count) {
  Need(count);
  std::string s(reinterpret_cast<const char*>(bytes_.data() + pos_), count);
  pos_ += count;
  return s;
}

std::string ByteReader::String16() {
  const uint16_t length = U16();
  return Bytes(length);
}

void ByteWriter::U8(uint8_t v) {
  data_.push_back(v);
}

void ByteWriter::U16(uint16_t v) {
  data_.push_back(static_cast<uint8_t>(v));
  data_.push_back(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::I16(int16_t v) {
  U16(static_cast<uint16_t>(v));
}

void ByteWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ByteWriter::I32(int32_t v) {
  U32(static_cast<uint32_t>(v));
}

void ByteWriter::F64(double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) data_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void ByteWriter::Bytes(std::string_view bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void ByteWriter::Bytes(std::span<const uint8_t> bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void ByteWriter::String16(std::string_view text) {
  if (text.size() > 0xFFFF) {
    throw FormatError("text of " + std::to_string(text.size()) + " bytes does not fit a 16-bit length");
  }
  U16(static_cast<uint16_t>(text.size()));
  Bytes(text);
}

void ByteWriter::PatchI32(size_t offset, int32_t v) {
  if (offset > data_.size() || data_.size() - offset < 4) {
    throw FormatError("patch at offset " + std::to_string(offset) + " lies outside the written bytes");
  }
  const auto u = static_cast<uint32_t>(v);
  for (size_t i = 0; i < 4; ++i) data_[offset + i] = static_cast<uint8_t>(u >> (8 * i));
}

}  // namespace skyvox
