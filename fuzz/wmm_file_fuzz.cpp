// Arbitrary text as the World Magnetic Model's coefficient file (WMM.COF): it parses or raises
// FormatError. A model that parses has its epoch in range, and gives a finite declination within
// -180..180 everywhere, poles included, for any year of its life.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/errors.h"
#include "geo/wmm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox;
  geo::WmmModel model;
  try {
    model = geo::WmmModel::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const FormatError&) {
    return 0;
  }
  if (!(model.Epoch() >= 1900 && model.Epoch() <= 2200) || model.ModelName().empty()) __builtin_trap();
  constexpr double kPlaces[][2] = {{90, 0}, {-90, 359}, {0, 0}, {45.5, -122.9}, {-33.9, 151.2}, {89.9, 180}};
  for (const double years : {0.0, 4.9, -99.0, 99.0}) {
    for (const auto& place : kPlaces) {
      const double d = model.DeclinationDeg(place[0], place[1], 0.0, model.Epoch() + years);
      if (!(d >= -180 && d <= 180)) __builtin_trap();
    }
  }
  return 0;
}
