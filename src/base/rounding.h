// The platform's numeric conversions, used wherever the design names them:
//   CInt / CLng    round half to even, then range-check (16 / 32 bit); out of range throws
//   Round(x, n)    round to n decimals, half to even on the scaled value
//   Int            floor;  Fix  truncate toward zero
//   Saturate16     clamp a whole number to the signed 16-bit range
// NaN and infinities never reach an integer type: converting them throws OverflowError.
#pragma once

#include <cstdint>

namespace skyvox {

int16_t CInt(double x);
int32_t CLng(double x);
double Round(double x, int decimals = 0);
double Int(double x);
double Fix(double x);
int16_t Saturate16(int64_t x);

}  // namespace skyvox
