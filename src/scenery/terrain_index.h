// The terrain table by position, for "the highest point within N nm of here" asked for every pilot of
// every ATC tick. The index keeps a copy of the points it was built from and is rebuilt whenever the
// table no longer matches it bit for bit, so whoever changes the table need not tell it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "geo/position_grid.h"
#include "scenery/records.h"

namespace skyvox::scenery {

class TerrainIndex {
 public:
  // Makes the index hold the table's first `count` points (no more than it has; none for a count below
  // 1), rebuilding it unless it already does.
  void Refresh(const std::vector<TerrainPoint>& table, int32_t count);

  // What testing every point in table order gives: starting from `floor`, the highest elevation above
  // what was found so far among the points where qualifies(point) holds. `qualifies` is a distance
  // test: it holds for no ordinary point (geo::IsOrdinaryPosition) that geo::DistanceNm puts farther than
  // radiusNm from the centre, and it fails (throws) on nothing but a point whose latitude is not a number
  // or whose longitude is not finite or past 1e300. Then, as long as the table holds no such point, the
  // order of the tests does not matter, and only the points of the grid's cells near the centre and the
  // points outside the grid need one. Empty when the index cannot answer (a table with such points, a
  // centre or radius CellWindowsNear refuses): the caller then tests every point in table order.
  template <typename Qualifies>
  std::optional<int32_t> HighestWithin(double latitude, double longitude, int radiusNm, int32_t floor,
                                       Qualifies&& qualifies) const {
    if (mayThrow_) return std::nullopt;
    // The cells near the centre by their highest point, and a cell's points highest first: the first
    // point that qualifies is the cell's answer, and once no cell left has a point above the highest
    // found, none can change it. Points surely too far away are turned away before the costlier test.
    std::vector<size_t> cells;
    const auto collect = [&](size_t cell, uint32_t, uint32_t) {
      if (cellTop_[cell] > floor) cells.push_back(cell);
    };
    if (!grid_.VisitCellsNear(latitude, longitude, radiusNm, collect)) return std::nullopt;
    const auto lower = [&](size_t a, size_t b) { return cellTop_[a] < cellTop_[b]; };
    std::make_heap(cells.begin(), cells.end(), lower);
    const geo::SurelyFarther farther(latitude, longitude, radiusNm);
    int32_t highest = floor;
    while (!cells.empty() && cellTop_[cells.front()] > highest) {
      std::pop_heap(cells.begin(), cells.end(), lower);
      const auto [first, last] = grid_.CellRange(cells.back());
      cells.pop_back();
      for (uint32_t k = first; k < last && sorted_[k].Elevation > highest; ++k) {
        if (!farther(unit_[k]) && qualifies(sorted_[k])) {
          highest = sorted_[k].Elevation;
          break;
        }
      }
    }
    for (const TerrainPoint& t : outside_) {
      if (t.Elevation > highest && qualifies(t)) highest = t.Elevation;
    }
    return highest;
  }

 private:
  static constexpr int kCellsPerDegree = 5;

  bool Holds(const std::vector<TerrainPoint>& table, size_t count) const;

  std::vector<TerrainPoint> source_;  // the points as they were in the table
  geo::PositionGrid grid_{kCellsPerDegree};
  std::vector<TerrainPoint> sorted_;   // the ordinary points in the grid's order
  std::vector<geo::UnitVector> unit_;  // the same points on the unit sphere
  std::vector<int32_t> cellTop_;       // the highest elevation of each cell of the grid
  std::vector<TerrainPoint> outside_;  // not ordinary, on which the test cannot fail
  bool mayThrow_ = false;              // some point is neither ordinary nor that
};

}  // namespace skyvox::scenery
