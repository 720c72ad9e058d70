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
#include <cstring>
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

// Where a taxi or parking element lies, as DestinationPointMetres places it from the airport's
// reference point: the longitude of the point x metres east (course 90 or 270) and the latitude of the
// point z metres north (course 0 or 180), both rounded to 6 decimals.
//
// For an ordinary airport (within 80 degrees of the equator) and offset (under 10 km) the answer is
// worked out from the closed forms of those great circles, the meridian's arc and the east-west
// circle's change of longitude, with short series instead of the library's trigonometry. Those agree
// with the general formulas to far better than 1e-12 degrees, so wherever the closed form lies more
// than 1e-9 degrees from a rounding boundary of the 6th decimal, both round to the same value, which is
// then returned. Anything else (nearer a boundary, near the 180th meridian, far from the reference,
// not finite) goes through the general formulas.
class OffsetPlacer {
 public:
  OffsetPlacer();
  void SetReference(double lat, double lon);
  void Place(float x, float z, double& lat, double& lon) const;

 private:
  // The closed forms for an offset of m metres on course c (0, 1, 2, 3 for 0, 90, 180, 270); false
  // when the general formulas must decide.
  bool ClosedLongitude(double m, size_t c, double& lon) const;
  bool ClosedLatitude(double m, size_t c, double& lat) const;
  // The general formulas, as DestinationPoint works them.
  double Longitude(double m, size_t c) const;
  double Latitude(double m, size_t c) const;
  double refLat_ = 0;
  double refLon_ = 0;
  double sinRef_ = 0;
  double cosRef_ = 1;
  double lambdaRef_ = 0;
  bool ordinary_ = true;  // the reference is one the closed forms hold for
  double sinCourse_[4] = {};
  double cosCourse_[4] = {};
  bool coursesExact_ = false;  // cos 0, sin 90, cos 180 and sin 270 come out as exactly 1 or -1
};

// Texts side by side in one buffer that grows and never shrinks, with kBlockSlack bytes to spare after
// its end.
class TextBuffer {
 public:
  TextBuffer() { Grow(256); }
  size_t Size() const { return size_; }
  const char* Data() const { return data_.get(); }
  char* Data() { return data_.get(); }
  void Clear() { size_ = 0; }
  void Truncate(size_t size) { size_ = size; }
  // Adds n bytes to be written at the place returned (earlier pointers into the buffer may move).
  char* Extend(size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    char* at = data_.get() + size_;
    size_ += n;
    return at;
  }
  void Append(std::string_view text) {
    char* at = Extend(text.size());
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
  }

 private:
  void Grow(size_t n);
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

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

  std::string_view Text(TextRef ref) const { return {texts_.Data() + ref.Offset, ref.Length}; }

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
  TextBuffer texts_;
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
