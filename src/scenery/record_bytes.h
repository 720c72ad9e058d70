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

class RecordBytes {
 public:
  size_t Size() const { return size_; }
  std::span<const uint8_t> Data() const { return {data_.get(), size_}; }
  void Truncate(size_t size) { size_ = std::min(size, size_); }

  void U8(uint8_t v) { Put(&v, 1); }
  void I16(int16_t v) { Little(static_cast<uint16_t>(v)); }
  void I32(int32_t v) { Little(static_cast<uint32_t>(v)); }
  void F64(double v) { Little(std::bit_cast<uint64_t>(v)); }
  // 16-bit length, then the text; text longer than 65535 bytes throws FormatError as ByteWriter does.
  void String16(std::string_view text) {
    if (text.size() > 0xFFFF) {
      throw FormatError("text of " + std::to_string(text.size()) + " bytes does not fit a 16-bit length");
    }
    I16(static_cast<int16_t>(static_cast<uint16_t>(text.size())));
    Put(text.data(), text.size());
  }
  void Bytes(std::string_view bytes) { Put(bytes.data(), bytes.size()); }
  // Overwrites four bytes already written at offset.
  void PatchI32(size_t offset, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (size_t i = 0; i < 4; ++i) data_[offset + i] = static_cast<uint8_t>(u >> (8 * i));
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
    Put(&v, sizeof(U));
  }
  void Put(const void* p, size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    if (n != 0) std::memcpy(data_.get() + size_, p, n);
    size_ += n;
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
