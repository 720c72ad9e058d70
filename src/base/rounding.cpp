#include "base/rounding.h"

#include <cmath>
#include <limits>
#include <string>

#include "base/errors.h"

namespace skyvox {
namespace {

// Half-to-even rounding independent of the current floating-point rounding mode.
double RoundHalfEven(double x) {
  const double down = std::floor(x);
  const double diff = x - down;
  if (diff < 0.5) return down;
  if (diff > 0.5) return down + 1.0;
  return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

template <typename T>
T Checked(double x, const char* what) {
  const double r = RoundHalfEven(x);
  if (!std::isfinite(r) || r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max())) {
    throw OverflowError(std::string(what) + ": overflow converting " + std::to_string(x));
  }
  return static_cast<T>(r);
}

}  // namespace

int16_t CInt(double x) {
  return Checked<int16_t>(x, "CInt");
}

int32_t CLng(double x) {
  return Checked<int32_t>(x, "CLng");
}

double Round(double x, int decimals) {
  if (!std::isfinite(x)) return x;
  if (decimals <= 0) return RoundHalfEven(x);
  const double scale = std::pow(10.0, decimals);
  const double scaled = x * scale;
  if (!std::isfinite(scaled)) return x;
  return RoundHalfEven(scaled) / scale;
}

double Int(double x) {
  return std::floor(x);
}

double Fix(double x) {
  return std::trunc(x);
}

int16_t Saturate16(int64_t x) {
  if (x > 32767) return 32767;
  if (x < -32768) return -32768;
  return static_cast<int16_t>(x);
}

}  // namespace skyvox
