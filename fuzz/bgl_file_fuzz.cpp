// Arbitrary bytes as a BGL scenery file: the scan decodes what it can and raises FormatError (or
// ReadPastEnd) for the rest, never reading outside the bytes or looping.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "scenery/bgl_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::scenery;
  static const skyvox::geo::MagVarGrid grid;
  size_t airports = 0;
  BglScanSink sink;
  sink.Airport = [&](AirportRecord& a) {
    ++airports;
    if (static_cast<size_t>(a.TaxiPointCount) != a.TaxiPoints.size()) __builtin_trap();
  };
  sink.Airspace = [](const AirspaceRecord& s) {
    if (s.CenterFreq.empty() || s.CenterName.empty()) __builtin_trap();
  };
  try {
    ScanBglFile(std::span<const uint8_t>(data, size), grid, sink);
  } catch (const skyvox::FormatError&) {
  }
  return 0;
}
