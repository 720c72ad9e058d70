#include "base/byte_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/errors.h"

namespace skyvox {
namespace {

TEST(ByteIo, WritesLittleEndianFieldsAndReadsThemBack) {
  ByteWriter w;
  w.U8(0xAB);
  w.I16(-2);
  w.I32(0x12345678);
  w.F64(1.5);
  w.String16("KSEA");
  // clang-format off
  const std::vector<uint8_t> expected = {
      0xAB,                                            // byte
      0xFE, 0xFF,                                      // -2 as 16 bits
      0x78, 0x56, 0x34, 0x12,                          // 0x12345678
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // 1.5 IEEE
      0x04, 0x00, 'K', 'S', 'E', 'A'};                 // counted text
  // clang-format on
  EXPECT_EQ(w.Data(), expected);

  ByteReader r(w.Data());
  EXPECT_EQ(r.U8(), 0xAB);
  EXPECT_EQ(r.I16(), -2);
  EXPECT_EQ(r.I32(), 0x12345678);
  EXPECT_EQ(r.F64(), 1.5);
  EXPECT_EQ(r.String16(), "KSEA");
  EXPECT_TRUE(r.AtEnd());
}

TEST(ByteIo, KeepsHighBytesAndNaNsUnchanged) {
  ByteWriter w;
  w.String16(
      std::string("\xC9"
                  "COLE\x00"
                  "X",
                  7));  // single-byte text with an embedded zero
  w.F64(std::nan(""));
  ByteReader r(w.Data());
  EXPECT_EQ(r.String16(), std::string("\xC9"
                                      "COLE\x00"
                                      "X",
                                      7));
  EXPECT_TRUE(std::isnan(r.F64()));
}

TEST(ByteIo, EveryReadPastTheEndThrowsAndLeavesThePositionAlone) {
  const std::vector<uint8_t> bytes = {0x05, 0x00, 'a', 'b'};  // claims 5 bytes of text, holds 2
  ByteReader r(bytes);
  EXPECT_THROW(r.String16(), ReadPastEnd);
  ByteReader r2(bytes, 1);
  EXPECT_THROW(r2.I32(), ReadPastEnd);
  EXPECT_EQ(r2.Position(), 1u);
  EXPECT_EQ(r2.U8(), 0x00);
  EXPECT_THROW(r2.F64(), ReadPastEnd);
  EXPECT_THROW(r2.Skip(3), ReadPastEnd);
  EXPECT_THROW(r2.Seek(5), ReadPastEnd);
  EXPECT_NO_THROW(r2.Seek(4));
  EXPECT_THROW(r2.U8(), ReadPastEnd);
  EXPECT_THROW(ByteReader(bytes, 9), ReadPastEnd);
}

TEST(ByteIo, TextTooLongForACountedStringIsRefused) {
  ByteWriter w;
  EXPECT_NO_THROW(w.String16(std::string(65535, 'x')));
  EXPECT_THROW(w.String16(std::string(65536, 'x')), FormatError);
}

TEST(ByteIo, PatchOverwritesInPlaceOnlyInsideTheWrittenBytes) {
  ByteWriter w;
  w.I32(0);
  w.I32(0);
  w.PatchI32(4, -1);
  EXPECT_EQ(w.Data(), (std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_THROW(w.PatchI32(5, 1), FormatError);
}

}  // namespace
}  // namespace skyvox
