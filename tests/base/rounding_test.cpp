#include "base/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/errors.h"

namespace skyvox {
namespace {

TEST(Rounding, CIntAndCLngRoundHalfToEven) {
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(-0.5), 0);
  EXPECT_EQ(CInt(-1.5), -2);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(2.5000001), 3);
  EXPECT_EQ(CInt(2.4999999), 2);
  EXPECT_EQ(CLng(123456.5), 123456);
  EXPECT_EQ(CLng(123457.5), 123458);
}

TEST(Rounding, IntegerConversionsRefuseWhatDoesNotFit) {
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_EQ(CInt(-32768.5), -32768);  // rounds to even -32768, which fits
  EXPECT_THROW(CInt(32767.5), OverflowError);
  EXPECT_THROW(CInt(-32769.0), OverflowError);
  EXPECT_EQ(CLng(2147483647.0), 2147483647);
  EXPECT_THROW(CLng(2147483647.5), OverflowError);
  EXPECT_THROW(CInt(std::nan("")), OverflowError);
  EXPECT_THROW(CLng(std::numeric_limits<double>::infinity()), OverflowError);
}

TEST(Rounding, RoundToDecimalsIsHalfEvenOnTheScaledValue) {
  EXPECT_EQ(Round(2.5), 2.0);
  EXPECT_EQ(Round(3.5), 4.0);
  EXPECT_EQ(Round(-2.5), -2.0);
  EXPECT_EQ(Round(0.125, 2), 0.12);  // 12.5 exactly: to even
  EXPECT_EQ(Round(0.375, 2), 0.38);  // 37.5 exactly: to even
  EXPECT_EQ(Round(47.4498889, 6), 47.449889);
  EXPECT_EQ(Round(-122.311777749, 5), -122.31178);
  EXPECT_EQ(Round(1.0, 5), 1.0);
  EXPECT_TRUE(std::isnan(Round(std::nan(""), 5)));
}

TEST(Rounding, IntFloorsAndFixTruncates) {
  EXPECT_EQ(Int(2.7), 2.0);
  EXPECT_EQ(Int(-2.2), -3.0);
  EXPECT_EQ(Fix(2.7), 2.0);
  EXPECT_EQ(Fix(-2.7), -2.0);
  EXPECT_EQ(Fix(-0.3), 0.0);
}

TEST(Rounding, Saturate16ClampsBothWays) {
  EXPECT_EQ(Saturate16(int64_t{40000}), 32767);
  EXPECT_EQ(Saturate16(int64_t{-40000}), -32768);
  EXPECT_EQ(Saturate16(int64_t{-5}), -5);
}

}  // namespace
}  // namespace skyvox
