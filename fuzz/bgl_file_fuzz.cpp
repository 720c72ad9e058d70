// Arbitrary bytes as a BGL scenery file: the scan decodes what it can and raises FormatError (or
// ReadPastEnd) for the rest, never reading outside the bytes or looping. The sliced scan hands over
// the same records in the same order as the straightforward one, to the last bit (compared as the
// database bytes they would be written as), and ends the same way.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/byte_io.h"
#include "base/errors.h"
#include "scenery/bgl_reader.h"
#include "scenery/database_files.h"

namespace {
using namespace skyvox::scenery;

struct Outcome {
  std::vector<std::vector<uint8_t>> records;  // 'A' or 'S', then the record's database bytes
  std::string error;
  bool operator==(const Outcome&) const = default;
};

template <typename Scan>
Outcome Run(std::span<const uint8_t> bytes, const Scan& scan) {
  static const skyvox::geo::MagVarGrid grid;
  Outcome o;
  auto keep = [&](char kind, const auto& write) {
    skyvox::ByteWriter out;
    out.U8(static_cast<uint8_t>(kind));
    try {
      write(out);
    } catch (const skyvox::FormatError& e) {
      out.Bytes(std::string_view(e.what()));
    }
    o.records.push_back(out.Take());
  };
  BglScanSink sink;
  sink.Airport = [&](AirportRecord& a) {
    if (static_cast<size_t>(a.TaxiPointCount) != a.TaxiPoints.size()) __builtin_trap();
    keep('A', [&](skyvox::ByteWriter& out) { WriteAirportRecord(out, a); });
  };
  sink.Airspace = [&](const AirspaceRecord& s) {
    if (s.CenterFreq.empty() || s.CenterName.empty()) __builtin_trap();
    keep('S', [&](skyvox::ByteWriter& out) { WriteAirspaceRecord(out, s); });
  };
  try {
    scan(bytes, grid, sink);
  } catch (const skyvox::FormatError& e) {
    o.error = std::string(typeid(e).name()) + ": " + e.what();
  }
  return o;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  if (!(Run(bytes, ScanBglFile) == Run(bytes, ScanBglFileStraightforward))) __builtin_trap();
  return 0;
}
