#include "terrain_cells.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "base/byte_io.h"
#include "base/errors.h"
#include "base/rounding.h"

namespace skyvox::tools {
namespace {

constexpr int64_t kSecondsPerTurn = 360 * 3600;
constexpr int64_t kSecondsToPole = 90 * 3600;
constexpr double kMetresPerFoot = 0.3048;

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Positions sorted ascending with the index of their row or column; a repeated position keeps only
// its first row or column.
std::vector<std::pair<int64_t, size_t>> SortedUnique(std::vector<int64_t> steps) {
  std::vector<std::pair<int64_t, size_t>> order;
  order.reserve(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) order.emplace_back(steps[i], i);
  std::sort(order.begin(), order.end());
  order.erase(std::unique(order.begin(), order.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              order.end());
  return order;
}

// [begin, end) ranges of `order` whose positions fall in the same cell.
std::vector<std::pair<size_t, size_t>> CellGroups(const std::vector<std::pair<int64_t, size_t>>& order,
                                                  int64_t cellSamples) {
  std::vector<std::pair<size_t, size_t>> groups;
  for (size_t i = 0; i < order.size();) {
    const int64_t cell = FloorDiv(order[i].first, cellSamples);
    size_t j = i + 1;
    while (j < order.size() && FloorDiv(order[j].first, cellSamples) == cell) ++j;
    groups.emplace_back(i, j);
    i = j;
  }
  return groups;
}

}  // namespace

int32_t AxisSpacingSeconds(const std::vector<double>& degrees) {
  if (degrees.size() < 2) throw FormatError("terrain: an axis needs at least two coordinates");
  const double seconds =
      std::fabs(degrees.back() - degrees.front()) / static_cast<double>(degrees.size() - 1) * 3600;
  if (!(seconds >= 0.5 && seconds <= static_cast<double>(kSecondsPerTurn))) {
    throw FormatError("terrain: axis step of " + std::to_string(seconds) + " arc seconds");
  }
  return CLng(seconds);
}

std::vector<int32_t> SnapAxis(const std::vector<double>& degrees, int32_t spacingSeconds) {
  if (spacingSeconds < 1) throw FormatError("terrain: sample spacing below one arc second");
  std::vector<int32_t> steps;
  steps.reserve(degrees.size());
  for (size_t i = 0; i < degrees.size(); ++i) {
    const double exact = degrees[i] * 3600 / spacingSeconds;
    if (!(std::fabs(exact) < 1e9)) throw FormatError("terrain: axis coordinate out of range");
    const int32_t step = CLng(exact);
    if (std::fabs(exact - step) >= 0.25) {
      throw FormatError("terrain: coordinate " + std::to_string(degrees[i]) + " is off the grid of " +
                        std::to_string(spacingSeconds) + "-second samples");
    }
    if (i >= 1) {
      const int32_t advance = step - steps[i - 1];
      if ((advance != 1 && advance != -1) || (i >= 2 && advance != steps[1] - steps[0])) {
        throw FormatError("terrain: axis does not advance by one sample at coordinate " + std::to_string(i));
      }
    }
    steps.push_back(step);
  }
  return steps;
}

CellSelection SelectCellMaxima(const ElevationGrid& grid, int32_t cellSamples) {
  if (grid.SpacingSeconds < 1 || kSecondsPerTurn % grid.SpacingSeconds != 0) {
    throw FormatError("terrain: a sample spacing of " + std::to_string(grid.SpacingSeconds) +
                      " arc seconds does not divide the globe");
  }
  if (cellSamples < 1) throw FormatError("terrain: a cell needs at least one sample");
  const size_t rows = grid.LatitudeSteps.size();
  const size_t columns = grid.LongitudeSteps.size();
  if (columns == 0 ? !grid.Metres.empty()
                   : (grid.Metres.size() % columns != 0 || grid.Metres.size() / columns != rows)) {
    throw FormatError("terrain: the grid holds " + std::to_string(grid.Metres.size()) + " values for " +
                      std::to_string(rows) + " x " + std::to_string(columns) + " samples");
  }
  const int64_t spacing = grid.SpacingSeconds;
  const int64_t turn = kSecondsPerTurn / spacing;

  std::vector<int64_t> latitudes;
  for (int32_t step : grid.LatitudeSteps) {
    if (std::abs(static_cast<int64_t>(step)) * spacing > kSecondsToPole) {
      throw FormatError("terrain: a row lies beyond the pole");
    }
    latitudes.push_back(step);
  }
  std::vector<int64_t> longitudes;
  for (int32_t step : grid.LongitudeSteps) {
    int64_t s = ((static_cast<int64_t>(step) % turn) + turn) % turn;
    if (2 * s >= turn) s -= turn;
    longitudes.push_back(s);
  }
  const auto rowOrder = SortedUnique(latitudes);
  const auto columnOrder = SortedUnique(longitudes);
  const auto rowGroups = CellGroups(rowOrder, cellSamples);
  const auto columnGroups = CellGroups(columnOrder, cellSamples);

  CellSelection selection;
  for (const auto& [rowBegin, rowEnd] : rowGroups) {
    for (const auto& [columnBegin, columnEnd] : columnGroups) {
      double best = std::nan("");
      size_t bestRow = 0;
      size_t bestColumn = 0;
      for (size_t r = rowBegin; r < rowEnd; ++r) {
        for (size_t c = columnBegin; c < columnEnd; ++c) {
          const double m = grid.Metres[rowOrder[r].second * columns + columnOrder[c].second];
          if (!std::isnan(m) && (std::isnan(best) || m > best)) {
            best = m;
            bestRow = r;
            bestColumn = c;
          }
        }
      }
      if (std::isnan(best)) continue;
      ++selection.CellCount;
      if (!(best > 0)) continue;
      selection.Points.push_back({static_cast<double>(rowOrder[bestRow].first * spacing) / 3600,
                                  static_cast<double>(columnOrder[bestColumn].first * spacing) / 3600,
                                  CLng(best / kMetresPerFoot)});
    }
  }
  return selection;
}

std::vector<uint8_t> EncodeTerrainRecords(const std::vector<TerrainRecord>& records) {
  ByteWriter w;
  for (const TerrainRecord& r : records) {
    w.F64(r.Latitude);
    w.F64(r.Longitude);
    w.I32(r.Elevation);
  }
  return w.Take();
}

}  // namespace skyvox::tools
