// The world magnetic variation grid: one signed 16-bit value per whole degree of longitude and latitude.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skyvox::geo {

// 65161 values, all zero until loaded (a grid that was never loaded reads as no variation anywhere).
// Index = lon * 181 + (lat + 90) for lon 0..359 (west longitudes stored as 360 + lon) and lat -90..90.
// A value v is a variation of v * 360 / 65536 degrees, east positive.
class MagVarGrid {
 public:
  static constexpr size_t kSize = 65161;

  MagVarGrid();

  // Both throw SubscriptError for an index outside 0..65160.
  int16_t At(size_t index) const;
  void Set(size_t index, int16_t value);

  // lon * 181 + (lat + 90) without range checking. Negative results wrap to huge values, which At and
  // Set then refuse.
  static size_t Index(int lon, int lat);

  const std::vector<int16_t>& Values() const { return values_; }

  bool operator==(const MagVarGrid&) const = default;

 private:
  std::vector<int16_t> values_;
};

}  // namespace skyvox::geo
