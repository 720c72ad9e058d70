// Arbitrary bytes as world_airspaces.dat, with the record count the configuration would give taken
// from the first input byte.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "scenery/database_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::scenery;
  if (size == 0) return 0;
  WorldTables tables;
  tables.AirspaceCount = data[0];
  try {
    LoadAirspaces(std::span<const uint8_t>(data + 1, size - 1), tables);
  } catch (const skyvox::FormatError&) {
    return 0;
  }
  if (tables.Airspaces.size() != static_cast<size_t>(tables.AirspaceCount) + 1) __builtin_trap();
  return 0;
}
