// Little-endian byte reader and writer. The reader never reads outside its bytes: every read checks
// what remains and throws ReadPastEnd instead. Strings are the platform's counted single-byte text: a
// 16-bit length, then that many bytes, kept as bytes in std::string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skyvox {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes, size_t position = 0);

  size_t Position() const { return pos_; }
  size_t Size() const { return bytes_.size(); }
  size_t Remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }
  bool AtEnd() const { return Remaining() == 0; }
  // Moves to an absolute position; a position past the end throws.
  void Seek(size_t position);
  void Skip(size_t count);

  uint8_t U8();
  uint16_t U16();
  int16_t I16();
  uint32_t U32();
  int32_t I32();
  double F64();
  std::string Bytes(size_t count);
  // 16-bit length, then the text.
  std::string String16();

 private:
  void Need(size_t count) const;

  std::span<const uint8_t> bytes_;
  size_t pos_;
};

class ByteWriter {
 public:
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t> Take() { return std::move(data_); }
  size_t Size() const { return data_.size(); }

  void U8(uint8_t v);
  void U16(uint16_t v);
  void I16(int16_t v);
  void U32(uint32_t v);
  void I32(int32_t v);
  void F64(double v);
  void Bytes(std::string_view bytes);
  void Bytes(std::span<const uint8_t> bytes);
  // 16-bit length, then the text; text longer than 65535 bytes throws FormatError.
  void String16(std::string_view text);
  // Overwrites four bytes already written at offset.
  void PatchI32(size_t offset, int32_t v);

 private:
  std::vector<uint8_t> data_;
};

}  // namespace skyvox
