// A growing run of database records serialised as ByteWriter lays them out (little-endian fields, a
// string as a 16-bit length and its bytes), kept from one use to the next so that it allocates only
// while it grows.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/errors.h"

namespace skyvox::scenery {

// Bytes a buffer keeps readable and writable past its end, so that a short text can be copied as one
// 16-byte block.
inline constexpr size_t kBlockSlack = 16;

// Writes fields from a place where room for them has been made (RecordBytes::Extend).
class RecordCursor {
 public:
  explicit RecordCursor(uint8_t* at) : at_(at) {}
  uint8_t* At() const { return at_; }

  void U8(uint8_t v) { *at_++ = v; }
  void I16(int16_t v) { Little(static_cast<uint16_t>(v)); }
  void I32(int32_t v) { Little(static_cast<uint32_t>(v)); }
  void F64(double v) { Little(std::bit_cast<uint64_t>(v)); }
  // The bytes of a text; one of up to 16 bytes is copied as a block, so both the source and this
  // place need kBlockSlack bytes to spare after it.
  void Bytes(const char* text, size_t length) {
    if (length <= kBlockSlack) {
      std::memcpy(at_, text, kBlockSlack);
    } else {
      std::memcpy(at_, text, length);
    }
    at_ += length;
  }
  void String16(const char* text, size_t length) {
    I16(static_cast<int16_t>(static_cast<uint16_t>(length)));
    Bytes(text, length);
  }

 private:
  template <typename U>
  void Little(U v) {
    if constexpr (std::endian::native != std::endian::little) {
      U swapped = 0;
      for (size_t i = 0; i < sizeof(U); ++i) {
        swapped |= static_cast<U>(((v >> (8 * i)) & 0xFF) << (8 * (sizeof(U) - 1 - i)));
      }
      v = swapped;
    }
    std::memcpy(at_, &v, sizeof(U));
    at_ += sizeof(U);
  }

  uint8_t* at_;
};

class RecordBytes {
 public:
  size_t Size() const { return size_; }
  std::span<const uint8_t> Data() const { return {data_.get(), size_}; }
  void Truncate(size_t size) { size_ = std::min(size, size_); }

  // Adds n bytes to be written at the place returned, with kBlockSlack more to spare after them.
  uint8_t* Extend(size_t n) {
    if (capacity_ - size_ < n + kBlockSlack) Grow(n + kBlockSlack);
    uint8_t* at = data_.get() + size_;
    size_ += n;
    return at;
  }

  void U8(uint8_t v) { RecordCursor(Extend(1)).U8(v); }
  void I16(int16_t v) { RecordCursor(Extend(2)).I16(v); }
  void I32(int32_t v) { RecordCursor(Extend(4)).I32(v); }
  void F64(double v) { RecordCursor(Extend(8)).F64(v); }
  // 16-bit length, then the text; text longer than 65535 bytes throws FormatError as ByteWriter does.
  void String16(std::string_view text) {
    CheckText(text.size());
    I16(static_cast<int16_t>(static_cast<uint16_t>(text.size())));
    if (!text.empty()) std::memcpy(Extend(text.size()), text.data(), text.size());
  }
  // Overwrites four bytes already written at offset.
  void PatchI32(size_t offset, int32_t v) { RecordCursor(data_.get() + offset).I32(v); }

  // Throws ByteWriter's FormatError for a text too long for its 16-bit length.
  static void CheckText(size_t size) {
    if (size > 0xFFFF) TooLong(size);
  }

 private:
  [[noreturn]] static void TooLong(size_t size) {
    throw FormatError("text of " + std::to_string(size) + " bytes does not fit a 16-bit length");
  }
  void Grow(size_t n) {
    const size_t capacity = std::max(size_ + n, std::max<size_t>(capacity_ * 2, size_t{1} << 16));
    auto data = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace skyvox::scenery
