// Reading a BGL scenery file held whole in memory: the header, the facility section's airport lists
// and the airspace section's boundary groups. Every read is at an absolute offset and checked against
// the file's bytes; one that falls outside throws ReadPastEnd. A record chain also ends at a record
// whose size would not move the walk forward, so that no input can make a walk go round in circles.
//
// Who traps what: a failure while one airport's own records are decoded ends that airport (what was
// decoded is appended if it qualifies) and a failure inside one airspace drops that airspace; both
// scans go on. A failed read anywhere else (header, section chains, airport list and entry records,
// an airport's data header) propagates out of ScanBglFile: that file cannot be scanned.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "geo/mag_var_grid.h"
#include "scenery/records.h"

namespace skyvox::scenery {

inline constexpr int32_t kBglMagic = static_cast<int32_t>(0x87654321u);
inline constexpr int32_t kAirportListType = 0x30001;
inline constexpr int32_t kAirportEntryType = 0x30002;
inline constexpr int32_t kAirportEntryKind = 0x50001;

// The primitive readers over a file's bytes.
class BglBytes {
 public:
  explicit BglBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int64_t Size() const { return static_cast<int64_t>(bytes_.size()); }
  // Signed 32 bits, little-endian.
  int32_t ReadInt32(int64_t offset) const;
  // Signed 16 bits, little-endian.
  int16_t ReadInt16(int64_t offset) const;
  uint8_t ReadByte(int64_t offset) const;
  // length bytes from offset as single-byte text, zero bytes dropped wherever they stand; a length of
  // 0 or less gives "".
  std::string ReadText(int64_t offset, int64_t length) const;
  // Throws ReadPastEnd unless length bytes from offset lie inside the file.
  void Require(int64_t offset, int64_t length) const;

 private:
  std::span<const uint8_t> bytes_;
};

// A 32-bit value's bits as an IEEE single-precision number.
float ReadSingleBits(int32_t value);

// The text of a scenery frequency code: its hexadecimal digits read as a decimal number, divided by
// 10000 (0x1219000 gives "121.9"). A code whose hexadecimal text holds a letter throws FormatError.
std::string FrequencyText(int32_t code);

// The number of a double as the platform writes it: up to 15 significant digits, no trailing zeros.
std::string NumberText(double value);

// Where the scan hands what it decoded.
struct BglScanSink {
  std::function<void(AirportRecord&)> Airport;  // a qualifying airport, to append to the database
  std::function<void(const AirspaceRecord&)> Airspace;
};

// Checks the header (field 144 must be 1), then walks the airport section and the airspace section.
// The variation grid turns runway headings into magnetic ones. A BglScan run to its end (bgl_scan.h).
void ScanBglFile(std::span<const uint8_t> bytes, const geo::MagVarGrid& grid, const BglScanSink& sink);

// The same scan decoding each item as its walk meets it, into records built afresh: the reference the
// sliced scan is checked against.
void ScanBglFileStraightforward(std::span<const uint8_t> bytes, const geo::MagVarGrid& grid,
                                const BglScanSink& sink);

// Decodes one airport whose data header lies at d (its records start at d + 16) and hands it to the
// sink when it has a tower or ground frequency.
void ExtractAirport(const BglBytes& bgl, int64_t d, const std::string& ident, const geo::MagVarGrid& grid,
                    const BglScanSink& sink);

// Decodes the airspace record at recordOffset (sub-records from +16) and hands it to the sink when it
// names a controlling station and its frequency. A failure while decoding propagates.
void ExtractAirspace(const BglBytes& bgl, int64_t recordOffset, const BglScanSink& sink);

// The name word of a parking name code 1..37 ("Parking", "N Parking", ..., "Gate", "Dock", "Gate A" ..
// "Gate Z"); "" for any other code.
std::string ParkingWord(int32_t nameCode);

// Spot name of a parking element's packed value: "GATE A 12", "N PARKING 3". A code outside 1..37
// takes previousWord, the word of the airport's previous spot ("" for the first); the word used is
// written back.
std::string ParkingName(int32_t packed, std::string& previousWord);

}  // namespace skyvox::scenery
