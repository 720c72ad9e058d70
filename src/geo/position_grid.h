// Positions sorted into cells of latitude and longitude, for asking many times which of one set of
// positions may lie within a few nautical miles of a point: the answer is a handful of cells, each a
// range of the sorted positions, that holds every position DistanceNm puts within the radius (and
// others, which the caller's own distance test turns away).
//
// Only ordinary positions go in (finite, latitude within -90..90, longitude within -180..180); a caller
// keeps the others aside and tests them every time. Only the cells that hold positions are stored,
// sorted by row (latitude) and column (longitude), so an empty ocean costs nothing and a query costs a
// binary search per row it covers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace skyvox::geo {

// Finite, latitude within -90..90 and longitude within -180..180 (NaN fails every comparison).
inline bool IsOrdinaryPosition(double latitude, double longitude) {
  return latitude >= -90 && latitude <= 90 && longitude >= -180 && longitude <= 180;
}

// The cells a query looks at: rows FirstRow..LastRow, and in each row the columns of one or two
// segments (two when the window crosses the 180th meridian).
struct CellWindow {
  int32_t FirstRow = 0;
  int32_t LastRow = -1;
  int32_t Segments = 0;
  int32_t FirstColumn[2] = {0, 0};
  int32_t LastColumn[2] = {-1, -1};
};

// The windows that hold every ordinary position DistanceNm may put within radiusNm of an ordinary
// (latitude, longitude): the circle's own, and a small one around the antipode, where the law of
// cosines can round a distance of half the earth's circumference down to 0. False for a point that is
// not ordinary or a radius outside 0..kLargestGridRadiusNm.
inline constexpr int kLargestGridRadiusNm = 600;
bool CellWindowsNear(int cellsPerDegree, double latitude, double longitude, int radiusNm,
                     CellWindow (&windows)[2]);

// A point of the unit sphere, for a quick test that two ordinary positions are surely too far apart.
struct UnitVector {
  double X = 0;
  double Y = 0;
  double Z = 0;
};
UnitVector UnitVectorOf(double latitude, double longitude);

// Decides without DistanceNm that it puts a point farther than radiusNm from the centre: the two are
// more than radiusNm + 1.5 nm of arc apart, and less than 120 degrees (nearer the antipode the law of
// cosines may round the distance down to 0, so such points are left to DistanceNm). The cosine of the
// angle between the unit vectors is off by far less than the margin.
class SurelyFarther {
 public:
  SurelyFarther(double latitude, double longitude, int radiusNm);
  bool operator()(const UnitVector& point) const {
    const double cosine = centre_.X * point.X + centre_.Y * point.Y + centre_.Z * point.Z;
    return cosine < cosineOfRadius_ && cosine > -0.5;
  }

 private:
  UnitVector centre_;
  double cosineOfRadius_;
};

class PositionGrid {
 public:
  struct Position {
    double Latitude = 0;
    double Longitude = 0;
    int64_t Order = 0;  // ranks the positions of one cell, then Id does
    int32_t Id = 0;     // the caller's, carried along
  };

  // Cells of 1/cellsPerDegree degree of latitude by as much of longitude.
  explicit PositionGrid(int cellsPerDegree) : cellsPerDegree_(cellsPerDegree) {}

  // Sorts ordinary positions into their cells, those of one cell by Order and then Id.
  void Build(std::vector<Position> positions);

  // In cell order; a visited cell is a range [first, last) of these.
  const std::vector<Position>& Positions() const { return positions_; }
  // The stored cells, numbered 0..CellCount()-1 in the order of their positions, each the range
  // [first, last) of Positions().
  size_t CellCount() const { return cells_.size(); }
  std::pair<uint32_t, uint32_t> CellRange(size_t cell) const {
    return {cells_[cell].First, cells_[cell].Last};
  }

  // Calls visit(cell, first, last) for every stored cell within CellWindowsNear of the point (a cell may
  // come twice when the windows overlap). False, visiting nothing, when CellWindowsNear is.
  template <typename Visit>
  bool VisitCellsNear(double latitude, double longitude, int radiusNm, Visit&& visit) const {
    CellWindow windows[2];
    if (!CellWindowsNear(cellsPerDegree_, latitude, longitude, radiusNm, windows)) return false;
    const int64_t columns = 360LL * cellsPerDegree_;
    for (const CellWindow& w : windows) {
      for (int64_t row = w.FirstRow; row <= w.LastRow; ++row) {
        for (int32_t s = 0; s < w.Segments; ++s) {
          const int64_t last = row * columns + w.LastColumn[s];
          auto cell = std::lower_bound(cells_.begin(), cells_.end(), row * columns + w.FirstColumn[s],
                                       [](const Cell& c, int64_t key) { return c.Key < key; });
          for (; cell != cells_.end() && cell->Key <= last; ++cell) {
            visit(static_cast<size_t>(cell - cells_.begin()), cell->First, cell->Last);
          }
        }
      }
    }
    return true;
  }

 private:
  struct Cell {
    int64_t Key = 0;  // row * columns + column
    uint32_t First = 0;
    uint32_t Last = 0;
  };
  int64_t KeyOf(const Position& p) const;

  int cellsPerDegree_;
  std::vector<Position> positions_;
  std::vector<Cell> cells_;
};

}  // namespace skyvox::geo
