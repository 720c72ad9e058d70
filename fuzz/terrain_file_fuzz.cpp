// A world_terrain.db and the controlled airports whose terrain points it gives: the first input byte
// says how many airports (1 to 4), then each airport's latitude and longitude as two little-endian
// doubles, then the file. The one-pass load must give what loading the airports one by one gives,
// the same points in the same order, and fail where it fails, with the same error; the file's fault
// check agrees with the file's length and with a shipped file it may be a cut-short copy of.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"

namespace {
using namespace skyvox::scenery;

struct Outcome {
  std::vector<TerrainPoint> points;
  int32_t count = 0;
  std::string error;
};

template <typename Load>
Outcome Run(const Load& load) {
  WorldTables tables;
  Outcome o;
  try {
    load(tables);
  } catch (const skyvox::Error& e) {
    o.error = e.what();
  }
  if (tables.TerrainPoints.size() != static_cast<size_t>(tables.TerrainPointCount) + 1) __builtin_trap();
  o.points = tables.TerrainPoints;
  o.count = tables.TerrainPointCount;
  return o;
}

// Bit for bit, so that the comparison itself never hides a difference.
bool Same(const Outcome& a, const Outcome& b) {
  if (a.count != b.count || a.error != b.error || a.points.size() != b.points.size()) return false;
  for (size_t i = 0; i < a.points.size(); ++i) {
    const TerrainPoint &p = a.points[i], &q = b.points[i];
    if (std::bit_cast<uint64_t>(p.Latitude) != std::bit_cast<uint64_t>(q.Latitude) ||
        std::bit_cast<uint64_t>(p.Longitude) != std::bit_cast<uint64_t>(q.Longitude) ||
        p.Elevation != q.Elevation)
      return false;
  }
  return true;
}

double Double(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return std::bit_cast<double>(v);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t n = data[0] % 4 + 1;
  if (size < 1 + 16 * n) return 0;
  std::vector<AirportRecord> airports(n);
  for (size_t k = 0; k < n; ++k) {
    airports[k].Latitude = Double(data + 1 + 16 * k);
    airports[k].Longitude = Double(data + 9 + 16 * k);
  }
  const std::span<const uint8_t> file(data + 1 + 16 * n, size - 1 - 16 * n);

  const Outcome onePass = Run([&](WorldTables& t) { LoadTerrainPoints(airports, file, t); });
  const Outcome oneByOne = Run([&](WorldTables& t) { LoadTerrainPointsStraightforward(airports, file, t); });
  if (!Same(onePass, oneByOne)) __builtin_trap();

  const bool whole = !file.empty() && file.size() % kTerrainPointSize == 0;
  if (TerrainFileFault(file).has_value() == whole) __builtin_trap();
  if (whole && file.size() > kTerrainPointSize &&
      !TerrainFileFault(file.first(file.size() - kTerrainPointSize), file).has_value())
    __builtin_trap();
  return 0;
}
