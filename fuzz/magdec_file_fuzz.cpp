// A magdec.bgl of any length: the first three input bytes give the file's length (little-endian, up to
// 256 KiB), the rest its first bytes, the file zero-filled beyond them. So the table offset at 110 can
// point anywhere near the end of a file long enough to hold the grid. The grid is loaded whole exactly
// when the file holds every value the offset names, each value then from its place in the file and the
// last entry left alone; any other file leaves the grid as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "geo/mag_var_grid.h"
#include "scenery/magvar_terrain.h"

namespace {
using skyvox::geo::MagVarGrid;

MagVarGrid Pattern() {
  MagVarGrid grid;
  for (size_t i = 0; i < MagVarGrid::kSize; ++i) grid.Set(i, static_cast<int16_t>(i * 31));
  return grid;
}

int64_t LittleEndian(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
  return static_cast<int64_t>(v);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::scenery;
  if (size < 3) return 0;
  std::vector<uint8_t> file(static_cast<size_t>(LittleEndian(data, 3) & 0x3FFFF));
  if (!file.empty()) std::memcpy(file.data(), data + 3, std::min(size - 3, file.size()));

  static const MagVarGrid before = Pattern();
  MagVarGrid grid = before;
  const MagdecStatus status = LoadMagneticVariation(file, grid);

  constexpr int64_t kGridBytes = 2 * (MagVarGrid::kSize - 1);
  const int64_t length = static_cast<int64_t>(file.size());
  const int64_t v = length >= 114 ? static_cast<int32_t>(LittleEndian(file.data() + 110, 4)) : 0;
  const MagdecStatus expected = length < 114                   ? MagdecStatus::TooShort
                                : v < 1                        ? MagdecStatus::NoData
                                : v + 8 + kGridBytes <= length ? MagdecStatus::Loaded
                                                               : MagdecStatus::TooShort;
  if (status != expected) __builtin_trap();
  if (status != MagdecStatus::Loaded) {
    if (!(grid == before)) __builtin_trap();
    return 0;
  }
  for (size_t i = 0; i + 1 < MagVarGrid::kSize; ++i) {
    const auto value = static_cast<int16_t>(LittleEndian(file.data() + v + 8 + 2 * i, 2));
    if (grid.At(i) != value) __builtin_trap();
  }
  if (grid.At(MagVarGrid::kSize - 1) != before.At(MagVarGrid::kSize - 1)) __builtin_trap();
  return 0;
}
