// The scan of one BGL file in slices, so that a large file can be spread over several build ticks.
//
// Start walks the file's section chains and airport lists, which is cheap, and notes every airport
// and airspace to decode, in the order the straightforward scan (ScanBglFileStraightforward) meets
// them; a failure of that walk is kept. Continue then decodes the noted items in order and hands them
// to the sink, and once the last one is done throws the walk's failure, if any. The straightforward
// scan decodes each item the moment its walk reaches it, but the walk never depends on what an item's
// decoding gives, so the sink sees the same calls with the same records, and the same error ends the
// scan after them.
//
// An airport is decoded into a DecodedAirport, which keeps its texts side by side in one buffer and
// its lists in vectors that are kept from one airport to the next: nothing is allocated per airport
// once the buffers have grown, and the database record is serialised straight from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geo/mag_var_grid.h"
#include "scenery/bgl_reader.h"
#include "scenery/record_bytes.h"

namespace skyvox::scenery {

// Appends FrequencyText(code) to text without building the hexadecimal text: each nibble is a decimal
// digit. A code with a nibble above 9 throws FrequencyText's FormatError and leaves text as it was.
void AppendFrequencyText(std::string& text, int32_t code);

// A text of a DecodedAirport: where it lies in the airport's text buffer.
struct TextRef {
  uint32_t Offset = 0;
  uint32_t Length = 0;
};

// An airport as the sliced scan decodes it: the fields of AirportRecord, texts as TextRefs.
class DecodedAirport {
 public:
  struct Parking {
    double Latitude = 0;
    double Longitude = 0;
    int32_t RadiusFt = 0;
    int32_t Number = -1;  // -1: no name yet ("")
    int32_t Word = 0;     // name code of the word, 0 for none ("" before the number)
  };
  struct Path {
    int32_t PathType = 0;
    int32_t StartPoint = 0;
    int32_t EndPoint = 0;
    TextRef Name;
  };

  std::string_view Text(TextRef ref) const { return std::string_view(texts_).substr(ref.Offset, ref.Length); }

  // The AirportRecord that the straightforward scan decodes.
  AirportRecord ToRecord() const;
  // Serialises it as WriteAirportRecord serialises ToRecord() (NextRecordPos 0); returns the offset of
  // NextRecordPos from the record's start. Throws FormatError for a text longer than 65535 bytes,
  // having written part of the record.
  size_t Write(RecordBytes& out) const;

  TextRef Ident;
  TextRef Name;
  double Latitude = 0;
  double Longitude = 0;
  int32_t ElevationFt = 0;
  TextRef ClearanceFreq;
  TextRef ClearanceName;
  TextRef GroundFreq;
  TextRef GroundName;
  TextRef TowerFreq;
  TextRef TowerName;
  TextRef ApproachFreq;
  TextRef ApproachName;
  TextRef RunwayIdent;  // the main runway's
  double ThresholdLat = 0;
  double ThresholdLon = 0;
  int32_t ThresholdElevationFt = 0;
  int32_t RunwayLength = 0;
  int32_t RunwayWidth = 0;
  int16_t MagHeading = 0;
  TextRef IlsFrequency;
  std::vector<TaxiPoint> TaxiPoints;
  int16_t TaxiPointCount = 0;
  std::vector<Parking> ParkingSpots;
  int16_t ParkingCount = 0;
  std::vector<Path> TaxiPaths;
  int16_t TaxiPathCount = 0;

 private:
  friend class BglScan;
  std::string texts_;
};

// Where the sliced scan hands what it decoded, without the AirportRecord: the decoded airport is valid
// during the call only.
struct DecodedSink {
  std::function<void(const DecodedAirport&)> Airport;
  std::function<void(const AirspaceRecord&)> Airspace;
};

class BglScan {
 public:
  explicit BglScan(const geo::MagVarGrid& grid);
  ~BglScan();
  BglScan(const BglScan&) = delete;
  BglScan& operator=(const BglScan&) = delete;

  // Walks the file whose bytes stay valid until the scan is done or started again. Never throws.
  void Start(std::span<const uint8_t> bytes);

  // Decodes items until none is left or the deadline has passed (at least one item per call). Returns
  // true once the file is done. Throws what the straightforward scan throws, after the same sink calls.
  using Deadline = std::chrono::steady_clock::time_point;
  bool Continue(const BglScanSink& sink, Deadline deadline = Deadline::max());
  bool Continue(const DecodedSink& sink, Deadline deadline = Deadline::max());

  bool Done() const { return next_ >= items_.size() && !pendingError_; }

 private:
  struct Item {
    int64_t Offset = 0;        // an airport's data header, or an airspace's record
    int64_t IdentOffset = -1;  // an airport's ident text; -1 for an airspace
    int64_t IdentLength = 0;
  };
  class Walk;
  class AirportDecoder;
  template <typename OnAirport, typename OnAirspace>
  bool Run(Deadline deadline, const OnAirport& onAirport, const OnAirspace& onAirspace);

  std::span<const uint8_t> bytes_;
  std::vector<Item> items_;
  size_t next_ = 0;
  std::exception_ptr pendingError_;
  std::unique_ptr<AirportDecoder> decoder_;
};

}  // namespace skyvox::scenery
