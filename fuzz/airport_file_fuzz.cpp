// Arbitrary bytes as world_airports.dat: the listing and the load must end cleanly or raise
// FormatError, whatever the bytes say.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "scenery/database_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::scenery;
  const std::span<const uint8_t> bytes(data, size);
  const auto entries = ListAllAirports(bytes);
  WorldTables tables;
  try {
    LoadControlledAirports(bytes, entries, tables);
  } catch (const skyvox::FormatError&) {
  }
  if (tables.ControlledAirports.size() != static_cast<size_t>(tables.ControlledAirportCount) + 1)
    __builtin_trap();
  for (int32_t i = 0; i < tables.ControlledAirportCount; ++i) {
    const AirportRecord& a = tables.ControlledAirports[static_cast<size_t>(i)];
    if (a.TaxiPoints.empty() || a.ParkingSpots.empty() || a.TaxiPaths.empty()) __builtin_trap();
    if (static_cast<size_t>(a.TaxiPointCount) > a.TaxiPoints.size()) __builtin_trap();
  }
  return 0;
}
