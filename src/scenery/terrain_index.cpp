#include "scenery/terrain_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>

namespace skyvox::scenery {
namespace {

bool SameBits(const TerrainPoint& a, const TerrainPoint& b) {
  return std::bit_cast<uint64_t>(a.Latitude) == std::bit_cast<uint64_t>(b.Latitude) &&
         std::bit_cast<uint64_t>(a.Longitude) == std::bit_cast<uint64_t>(b.Longitude) &&
         a.Elevation == b.Elevation;
}

// Whether a distance test may fail on the point: on a latitude that is not a number, which no latitude
// test turns away, or on a longitude that is not finite or so large that it is not once in radians.
// (A latitude that is merely huge or infinite is turned away by the test's latitude band.)
bool MayFailTest(const TerrainPoint& t) {
  return std::isnan(t.Latitude) || !(std::fabs(t.Longitude) <= 1e300);
}

}  // namespace

TerrainIndex& TerrainIndexSlot::Get() {
  if (!index_) index_ = std::make_shared<TerrainIndex>();
  return *index_;
}

bool TerrainIndex::Holds(const std::vector<TerrainPoint>& table, size_t count) const {
  if (count != source_.size()) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!SameBits(table[i], source_[i])) return false;
  }
  return true;
}

void TerrainIndex::Refresh(const std::vector<TerrainPoint>& table, int32_t count) {
  const size_t n = count <= 0 ? 0 : std::min(static_cast<size_t>(count), table.size());
  if (Holds(table, n)) return;
  source_.assign(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(n));

  std::vector<geo::PositionGrid::Position> ordinary;
  outside_.clear();
  mayThrow_ = false;
  for (size_t i = 0; i < n; ++i) {
    const TerrainPoint& t = source_[i];
    if (geo::IsOrdinaryPosition(t.Latitude, t.Longitude)) {
      // Highest first within a cell.
      ordinary.push_back(
          {t.Latitude, t.Longitude, -static_cast<int64_t>(t.Elevation), static_cast<int32_t>(i)});
    } else if (MayFailTest(t)) {
      mayThrow_ = true;
    } else {
      outside_.push_back(t);
    }
  }
  grid_.Build(std::move(ordinary));
  sorted_.clear();
  unit_.clear();
  sorted_.reserve(grid_.Positions().size());
  unit_.reserve(grid_.Positions().size());
  for (const geo::PositionGrid::Position& p : grid_.Positions()) {
    sorted_.push_back(source_[static_cast<size_t>(p.Id)]);
    unit_.push_back(geo::UnitVectorOf(p.Latitude, p.Longitude));
  }
  cellTop_.clear();
  for (size_t cell = 0; cell < grid_.CellCount(); ++cell) {
    cellTop_.push_back(sorted_[grid_.CellRange(cell).first].Elevation);
  }
}

}  // namespace skyvox::scenery
