#include "base/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/errors.h"

namespace skyvox {
namespace {

TEST(Rounding, CIntAndCLngRoundHalfToEvenAndRefuseWhatDoesNotFit) {
  // -32768.5 rounds to even -32768, which fits.
  const std::pair<double, int> ints[] = {{0.5, 0},         {1.5, 2},          {2.5, 2},       {-0.5, 0},
                                         {-1.5, -2},       {-2.5, -2},        {2.5000001, 3}, {2.4999999, 2},
                                         {32767.4, 32767}, {-32768.5, -32768}};
  for (const auto& [x, expected] : ints) EXPECT_EQ(CInt(x), expected) << x;
  EXPECT_EQ(CLng(123456.5), 123456);
  EXPECT_EQ(CLng(123457.5), 123458);
  EXPECT_EQ(CLng(2147483647.0), 2147483647);
  for (double x : {32767.5, -32769.0, std::nan("")}) EXPECT_THROW(CInt(x), OverflowError) << x;
  for (double x : {2147483647.5, std::numeric_limits<double>::infinity()})
    EXPECT_THROW(CLng(x), OverflowError) << x;
}

TEST(Rounding, RoundToDecimalsIsHalfEvenOnTheScaledValue) {
  // 0.125 and 0.375 are exact: 12.5 and 37.5 go to even.
  const struct {
    double x;
    int decimals;
    double expected;
  } cases[] = {{2.5, 0, 2.0},
               {3.5, 0, 4.0},
               {-2.5, 0, -2.0},
               {0.125, 2, 0.12},
               {0.375, 2, 0.38},
               {47.4498889, 6, 47.449889},
               {-122.311777749, 5, -122.31178},
               {1.0, 5, 1.0}};
  for (const auto& c : cases) EXPECT_EQ(Round(c.x, c.decimals), c.expected) << c.x;
  EXPECT_EQ(Round(2.5), 2.0);  // no decimals by default
  EXPECT_TRUE(std::isnan(Round(std::nan(""), 5)));
}

TEST(Rounding, IntFloorsFixTruncatesSaturate16Clamps) {
  EXPECT_EQ(Int(2.7), 2.0);
  EXPECT_EQ(Int(-2.2), -3.0);
  EXPECT_EQ(Fix(2.7), 2.0);
  EXPECT_EQ(Fix(-2.7), -2.0);
  EXPECT_EQ(Fix(-0.3), 0.0);
  EXPECT_EQ(Saturate16(int64_t{40000}), 32767);
  EXPECT_EQ(Saturate16(int64_t{-40000}), -32768);
  EXPECT_EQ(Saturate16(int64_t{-5}), -5);
}

}  // namespace
}  // namespace skyvox
