#include "geo/position_grid.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace skyvox::geo {
namespace {

// Added to a radius before it becomes a window: DistanceNm rounds half to even, so a position it puts
// within r nm is at most r + 0.5 nm away; the rest covers the floating-point error of both sides.
constexpr double kMarginNm = 2;

// The window of the circle of `reach` degrees of arc around an ordinary point. One cell more on every
// side covers a position or bound that lands on a cell edge after rounding. Within the circle no
// position is farther from the equator than the centre plus the reach, and a great circle inside a cap
// smaller than a hemisphere stays inside it, so going from the centre to any position of the circle
// changes the longitude by at most reach / cos(that latitude); a circle that comes near a pole takes
// whole rows.
CellWindow Window(int cellsPerDegree, double latitude, double longitude, double reach) {
  const double k = cellsPerDegree;
  const int32_t columns = 360 * cellsPerDegree;
  CellWindow w;
  w.FirstRow = std::max(0, static_cast<int32_t>(std::floor((latitude - reach + 90) * k)) - 1);
  w.LastRow =
      std::min(180 * cellsPerDegree, static_cast<int32_t>(std::floor((latitude + reach + 90) * k)) + 1);
  const double poleward = std::fabs(latitude) + reach;
  const double halfWidth = poleward < 89 ? reach / std::cos(poleward * std::numbers::pi / 180) : 360;
  w.Segments = 1;
  w.FirstColumn[0] = 0;
  w.LastColumn[0] = columns - 1;
  if (halfWidth >= 179) return w;
  const int32_t first = static_cast<int32_t>(std::floor((longitude - halfWidth + 180) * k)) - 1;
  const int32_t last = static_cast<int32_t>(std::floor((longitude + halfWidth + 180) * k)) + 1;
  if (last - first + 1 >= columns) return w;
  if (first < 0) {
    w.Segments = 2;
    w.FirstColumn[0] = first + columns;
    w.LastColumn[1] = last;
  } else if (last >= columns) {
    w.Segments = 2;
    w.FirstColumn[0] = first;
    w.LastColumn[1] = last - columns;
  } else {
    w.FirstColumn[0] = first;
    w.LastColumn[0] = last;
  }
  return w;
}

}  // namespace

bool CellWindowsNear(int cellsPerDegree, double latitude, double longitude, int radiusNm,
                     CellWindow (&windows)[2]) {
  if (!IsOrdinaryPosition(latitude, longitude) || radiusNm < 0 || radiusNm > kLargestGridRadiusNm) {
    return false;
  }
  windows[0] = Window(cellsPerDegree, latitude, longitude, (radiusNm + kMarginNm) / 60);
  const double antipodeLongitude = longitude <= 0 ? longitude + 180 : longitude - 180;
  windows[1] = Window(cellsPerDegree, -latitude, antipodeLongitude, kMarginNm / 60);
  return true;
}

UnitVector UnitVectorOf(double latitude, double longitude) {
  const double phi = latitude * std::numbers::pi / 180;
  const double lambda = longitude * std::numbers::pi / 180;
  return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

SurelyFarther::SurelyFarther(double latitude, double longitude, int radiusNm)
    : centre_(UnitVectorOf(latitude, longitude)),
      cosineOfRadius_(std::cos((radiusNm + 1.5) / 60 * std::numbers::pi / 180)) {}

int64_t PositionGrid::KeyOf(const Position& p) const {
  const int64_t columns = 360LL * cellsPerDegree_;
  const auto row = static_cast<int64_t>(std::floor((p.Latitude + 90) * cellsPerDegree_));
  auto column = static_cast<int64_t>(std::floor((p.Longitude + 180) * cellsPerDegree_));
  if (column >= columns) column -= columns;  // 180 is -180
  return row * columns + column;
}

void PositionGrid::Build(std::vector<Position> positions) {
  std::vector<std::pair<int64_t, Position>> keyed;
  keyed.reserve(positions.size());
  for (const Position& p : positions) keyed.emplace_back(KeyOf(p), p);
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    if (a.second.Order != b.second.Order) return a.second.Order < b.second.Order;
    return a.second.Id < b.second.Id;
  });
  positions_.clear();
  positions_.reserve(keyed.size());
  cells_.clear();
  for (const auto& [key, p] : keyed) {
    const auto at = static_cast<uint32_t>(positions_.size());
    if (cells_.empty() || cells_.back().Key != key) cells_.push_back({key, at, at});
    positions_.push_back(p);
    cells_.back().Last = at + 1;
  }
}

}  // namespace skyvox::geo
