#include "scenery/bgl_reader.h"

#include <array>
#include <bit>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/errors.h"
#include "base/rounding.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "geo/sim_coordinates.h"
#include "scenery/bgl_format.h"

namespace skyvox::scenery {
namespace {

using namespace bgl_format;

int32_t FeetFromMetres(double metres) {
  return CLng(metres / 0.3048);
}

// Runway ident of a number and designator code; nothing when either is out of the named range.
// Negative designator codes are treated like codes above 4.
std::optional<std::string> RunwayIdent(int32_t number, int32_t designator) {
  if (number > 36 || designator > 4 || designator < 0) return std::nullopt;
  return std::to_string(number) + kDesignators[static_cast<size_t>(designator)];
}

constexpr std::array<const char*, 38> kParkingWords = {
    "",           "Parking",   "N Parking",  "NE Parking", "E Parking", "SE Parking", "S Parking",
    "SW Parking", "W Parking", "NW Parking", "Gate",       "Dock",      "Gate A",     "Gate B",
    "Gate C",     "Gate D",    "Gate E",     "Gate F",     "Gate G",    "Gate H",     "Gate I",
    "Gate J",     "Gate K",    "Gate L",     "Gate M",     "Gate N",    "Gate O",     "Gate P",
    "Gate Q",     "Gate R",    "Gate S",     "Gate T",     "Gate U",    "Gate V",     "Gate W",
    "Gate X",     "Gate Y",    "Gate Z"};

// Throws ReadPastEnd unless n elements of s bytes fit from offset; a negative count is an error too.
void RequireElements(const BglBytes& bgl, int64_t offset, int32_t n, int32_t s) {
  if (n < 0) throw FormatError("negative element count " + std::to_string(n));
  bgl.Require(offset, static_cast<int64_t>(n) * s);
}

int16_t ElementCount(int32_t n) {
  if (n > 32767) throw OverflowError("more than 32767 elements in a taxi list");
  return static_cast<int16_t>(n);
}

// Position of a taxi or parking element: metres east (x) and north (z) of the reference point.
void PlaceOffset(double refLat, double refLon, float x, float z, double& lat, double& lon) {
  lon = x == 0 ? refLon : geo::DestinationPointMetres(refLat, refLon, x > 0 ? 90 : 270, x).Longitude;
  lat = z == 0 ? refLat : geo::DestinationPointMetres(refLat, refLon, z > 0 ? 0 : 180, z).Latitude;
}

struct AirportWalk {
  AirportWalk(const BglBytes& bytes, const geo::MagVarGrid& variation) : bgl(bytes), grid(variation) {}

  const BglBytes& bgl;
  const geo::MagVarGrid& grid;
  AirportRecord airport;
  double refLat = 0;
  double refLon = 0;
  std::vector<std::string> runwayNames;
  std::string runwayIdent;
  std::string runwayEndIdent;
  std::string frequencyName;
  std::string parkingWord;

  // The lists of a taxi data record, up to the taxiway names (the last list) or an unknown list.
  void TaxiData(int64_t offset, int32_t size) {
    const int64_t end = offset + static_cast<int64_t>(size) + 8;
    std::vector<int32_t> pathNumbers;
    int64_t list = offset + 8;
    while (list < end) {
      const int32_t n = bgl.ReadInt32(list);
      const int32_t s = bgl.ReadInt32(list + 4);
      const int64_t first = list + 8;
      if (s == 12) {
        RequireElements(bgl, first, n, s);
        airport.TaxiPointCount = ElementCount(n);
        airport.TaxiPoints.assign(static_cast<size_t>(n), TaxiPoint{});
        for (int32_t i = 0; i < n; ++i) {
          const int64_t e = first + static_cast<int64_t>(i) * s;
          TaxiPoint& p = airport.TaxiPoints[static_cast<size_t>(i)];
          p.PointType = bgl.ReadInt32(e);
          PlaceOffset(refLat, refLon, ReadSingleBits(bgl.ReadInt32(e + 4)),
                      ReadSingleBits(bgl.ReadInt32(e + 8)), p.Latitude, p.Longitude);
        }
      } else if (s == 20) {
        RequireElements(bgl, first, n, s);
        airport.ParkingCount = ElementCount(n);
        airport.ParkingSpots.assign(static_cast<size_t>(n), ParkingRecord{});
        for (int32_t i = 0; i < n; ++i) {
          const int64_t e = first + static_cast<int64_t>(i) * s;
          ParkingRecord& p = airport.ParkingSpots[static_cast<size_t>(i)];
          PlaceOffset(refLat, refLon, ReadSingleBits(bgl.ReadInt32(e)), ReadSingleBits(bgl.ReadInt32(e + 4)),
                      p.Latitude, p.Longitude);
          p.RadiusFt = FeetFromMetres(ReadSingleBits(bgl.ReadInt32(e + 8)));
          p.Name = ParkingName(bgl.ReadInt32(e + 16), parkingWord);
          p.Occupied = 0;
        }
      } else if (s == 32) {
        RequireElements(bgl, first, n, s);
        airport.TaxiPathCount = ElementCount(n);
        airport.TaxiPaths.assign(static_cast<size_t>(n), TaxiPath{});
        pathNumbers.assign(static_cast<size_t>(n), 0);
        for (int32_t i = 0; i < n; ++i) {
          const int64_t e = first + static_cast<int64_t>(i) * s;
          TaxiPath& p = airport.TaxiPaths[static_cast<size_t>(i)];
          p.PathType = bgl.ReadInt32(e);
          p.StartPoint = bgl.ReadInt32(e + 12);
          p.EndPoint = bgl.ReadInt32(e + 16);
          pathNumbers[static_cast<size_t>(i)] = bgl.ReadInt32(e + 28);
          p.Name = std::to_string(pathNumbers[static_cast<size_t>(i)]);
        }
      } else if (s == 8) {
        RequireElements(bgl, first, n, s);
        // Renamed literally in list order: a path renamed to the text of a later index is renamed again.
        for (int32_t j = 0; j < n; ++j) {
          const std::string name = bgl.ReadText(first + static_cast<int64_t>(j) * s, 8);
          const std::string number = std::to_string(j);
          for (TaxiPath& p : airport.TaxiPaths) {
            if (p.PathType == 0 && p.Name == number) p.Name = name;
          }
        }
        for (size_t k = 0; k < airport.TaxiPaths.size(); ++k) {
          TaxiPath& p = airport.TaxiPaths[k];
          if (p.PathType != 1) continue;
          const int32_t index = k < pathNumbers.size() ? pathNumbers[k] : 0;
          if (index < 0 || static_cast<size_t>(index) >= runwayNames.size()) {
            throw SubscriptError("runway path names runway " + std::to_string(index) + " of " +
                                 std::to_string(runwayNames.size()));
          }
          p.Name = runwayNames[static_cast<size_t>(index)];
        }
        return;
      } else {
        return;  // an unknown list: the rest of the taxi data is skipped
      }
      list = first + static_cast<int64_t>(n) * s;
    }
  }

  // Walks the airport's records from `offset` until one of another type (or a failure).
  void Records(int64_t offset) {
    for (;;) {
      const int32_t type = bgl.ReadInt32(offset);
      const int32_t size = bgl.ReadInt32(offset + 4);
      std::optional<int64_t> next = NextSibling(offset, size);
      switch (type) {
        case kHeaderRecord:
          refLat = Round(Latitude(bgl.ReadInt32(offset + 12)), 6);
          refLon = Round(Longitude(bgl.ReadInt32(offset + 20)), 6);
          airport.Latitude = refLat;
          airport.Longitude = refLon;
          airport.ElevationFt = FeetFromMetres(bgl.ReadInt32(offset + 28));
          break;
        case kPositionRecord:
          airport.Latitude = Round(Latitude(bgl.ReadInt32(offset + 12)), 6);
          airport.Longitude = Round(Longitude(bgl.ReadInt32(offset + 20)), 6);
          break;
        case kNameRecord:
          airport.Name = UpperCaseCp1252(bgl.ReadText(offset + 8, size));
          break;
        case kFrequencyRecord: {
          const std::string text = FrequencyText(bgl.ReadInt32(offset + 8));
          if (size > 8) frequencyName = bgl.ReadText(offset + 16, static_cast<int64_t>(size) - 8);
          const int32_t kind = bgl.ReadInt32(offset + 12);
          if (kind == 7) {
            airport.ClearanceFreq = text;
            airport.ClearanceName = frequencyName;
          } else if (kind == 5) {
            airport.GroundFreq = text;
            airport.GroundName = frequencyName;
          } else if (kind == 6) {
            airport.TowerFreq = text;
            airport.TowerName = frequencyName;
          } else if (kind == 8 || kind == 9) {
            airport.ApproachFreq = text;
            airport.ApproachName = frequencyName;
          }
          break;
        }
        case kRunwayRecord: {
          const int32_t length = bgl.ReadInt32(offset + 40);
          const int32_t width = bgl.ReadInt32(offset + 44);
          const int32_t designator = bgl.ReadInt32(offset + 48);
          const int32_t number = bgl.ReadInt32(offset + 52);
          if (auto ident = RunwayIdent(number, designator)) runwayIdent = *ident;
          runwayNames.push_back("Runway " + runwayIdent);
          RunwayRecord& main = airport.MainRunway;
          if (length > main.Length) {
            main.Ident = runwayIdent;
            main.Length = length;
            main.Width = width;
            main.IlsFrequency = "";
          }
          // The navigation aids that follow belong to this runway.
          while (next && bgl.ReadInt32(*next) == kNavAidRecord) {
            const int64_t aid = *next;
            const int32_t aidSize = bgl.ReadInt32(aid + 4);
            if (runwayIdent == main.Ident && bgl.ReadInt32(aid + 40) == kIlsKind) {
              main.IlsFrequency = FrequencyText(bgl.ReadInt32(aid + 36));
            }
            next = NextSibling(aid, aidSize);
          }
          break;
        }
        case kRunwayEndRecord: {
          const int32_t presence = bgl.ReadInt32(offset + 36);
          const int32_t designator = bgl.ReadInt32(offset + 40);
          const int32_t number = bgl.ReadInt32(offset + 44);
          if (presence >= 1) {
            if (auto ident = RunwayIdent(number, designator)) runwayEndIdent = *ident;
          }
          RunwayRecord& main = airport.MainRunway;
          if (runwayEndIdent == main.Ident) {
            main.ThresholdLat = Round(Latitude(bgl.ReadInt32(offset + 12)), 5);
            main.ThresholdLon = Round(Longitude(bgl.ReadInt32(offset + 20)), 5);
            main.ThresholdElevationFt = FeetFromMetres(bgl.ReadInt32(offset + 28));
            const double heading = bgl.ReadInt32(offset + 32) / 65536.0 * 360 / 65536;
            main.MagHeading = geo::TrueToMagnetic(CInt(heading), main.ThresholdLat, main.ThresholdLon, grid);
          }
          break;
        }
        case kTaxiDataRecord:
          TaxiData(offset, size);
          break;
        default:
          return;
      }
      if (!next) return;
      offset = *next;
    }
  }
};

}  // namespace

void BglBytes::Require(int64_t offset, int64_t length) const {
  if (offset < 0 || length < 0 || offset > Size() || length > Size() - offset) {
    throw ReadPastEnd("read of " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                      " lies outside the file (" + std::to_string(Size()) + " bytes)");
  }
}

int32_t BglBytes::ReadInt32(int64_t offset) const {
  Require(offset, 4);
  const auto* p = bytes_.data() + offset;
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

int16_t BglBytes::ReadInt16(int64_t offset) const {
  Require(offset, 2);
  const auto* p = bytes_.data() + offset;
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

uint8_t BglBytes::ReadByte(int64_t offset) const {
  Require(offset, 1);
  return bytes_[static_cast<size_t>(offset)];
}

std::string BglBytes::ReadText(int64_t offset, int64_t length) const {
  if (length <= 0) return "";
  Require(offset, length);
  std::string text;
  text.reserve(static_cast<size_t>(length));
  for (int64_t i = 0; i < length; ++i) {
    const uint8_t b = bytes_[static_cast<size_t>(offset + i)];
    if (b != 0) text.push_back(static_cast<char>(b));
  }
  return text;
}

float ReadSingleBits(int32_t value) {
  return std::bit_cast<float>(value);
}

std::string NumberText(double value) {
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text = buffer;
  if (text.find('e') == std::string::npos && text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

std::string FrequencyText(int32_t code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(code));
  for (const char* c = hex; *c; ++c) {
    if (*c < '0' || *c > '9') {
      throw FormatError(std::string("frequency code ") + hex +
                        " is not a decimal number in hexadecimal digits");
    }
  }
  return NumberText(std::stod(hex) / 10000);
}

std::string ParkingName(int32_t packed, std::string& previousWord) {
  const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(packed) & 0xFFFFF);  // last five hex digits
  const int32_t number = CLng(v / 128.0);
  const int32_t code = v - 128 * number;
  if (code >= 1 && code <= 37) previousWord = ParkingWord(code);
  return UpperCaseCp1252(previousWord) + " " + std::to_string(number);
}

std::string ParkingWord(int32_t nameCode) {
  if (nameCode < 1 || nameCode >= static_cast<int32_t>(kParkingWords.size())) return "";
  return kParkingWords[static_cast<size_t>(nameCode)];
}

void ExtractAirport(const BglBytes& bgl, int64_t d, const std::string& ident, const geo::MagVarGrid& grid,
                    const BglScanSink& sink) {
  AirportWalk walk(bgl, grid);
  walk.airport.Ident = ident;
  try {
    walk.Records(d + 16);
  } catch (const FileError&) {
    throw;
  } catch (const Error&) {
    // A failure ends this airport's records; what was decoded still counts.
  }
  AirportRecord& a = walk.airport;
  if (a.GroundFreq.empty() && a.GroundName.empty()) {
    a.GroundFreq = a.TowerFreq;
    a.GroundName = a.TowerName;
  }
  if (a.TowerFreq.empty() && a.TowerName.empty()) {
    a.TowerFreq = a.GroundFreq;
    a.TowerName = a.GroundName;
  }
  if (!a.TowerFreq.empty() && sink.Airport) sink.Airport(a);
}

void ExtractAirspace(const BglBytes& bgl, int64_t recordOffset, const BglScanSink& sink) {
  AirspaceRecord s;
  int64_t offset = recordOffset + 16;
  for (;;) {
    const int32_t type = bgl.ReadInt32(offset);
    const int32_t size = bgl.ReadInt32(offset + 4);
    if (type == kFrequencyRecord) {
      s.CenterFreq = FrequencyText(bgl.ReadInt32(offset + 8));
      s.CenterName = bgl.ReadText(offset + 16, static_cast<int64_t>(size) - 8);
    } else if (type == kLimitsRecord) {
      s.LowerLimit = bgl.ReadInt32(offset + 24);
      s.UpperLimit = bgl.ReadInt32(offset + 28);
    } else if (type == kBoxRecord) {
      s.SouthLat = Round(Latitude(bgl.ReadInt32(offset + 8)), 4);
      s.WestLon = Round(Longitude(bgl.ReadInt32(offset + 12)), 4);
      s.NorthLat = Round(Latitude(bgl.ReadInt32(offset + 16)), 4);
      s.EastLon = Round(Longitude(bgl.ReadInt32(offset + 20)), 4);
    } else if (type != kNameRecord && type != 0x12001 && type != 0x12003 && type != 0x12005 &&
               type != 0x12006 && type != 0x12007 && type != 0x12008) {
      break;
    }
    const auto next = NextSibling(offset, size);
    if (!next) break;
    offset = *next;
  }
  if (s.CenterFreq.empty() || s.CenterName.empty()) return;
  s.AirspaceClass = s.LowerLimit < 0 && s.UpperLimit < 0 ? "ARTCC/FIR (HIGH)" : "ARTCC/FIR (LOW)";
  if (sink.Airspace) sink.Airspace(s);
}

namespace {

// Walks a chain of airport lists from `offset`. Returns the offset of the first record that is not a
// list, or nothing when a list's size stops the walk.
std::optional<int64_t> WalkAirportList(const BglBytes& bgl, int64_t offset, const geo::MagVarGrid& grid,
                                       const BglScanSink& sink) {
  while (bgl.ReadInt32(offset) == kAirportListType) {
    const int32_t size = bgl.ReadInt32(offset + 4);
    const int32_t n = bgl.ReadInt32(offset + 20);
    int64_t p = 0;
    for (int32_t i = 0; i < n; ++i) {
      const int64_t e = offset + 24 + p;
      const int32_t type = bgl.ReadInt32(e);
      const int32_t entrySize = bgl.ReadInt32(e + 4);
      const int32_t kind = bgl.ReadInt32(e + 8);
      const int32_t d = bgl.ReadInt32(e + 12);
      if (type == kAirportEntryType) {
        const std::string ident = bgl.ReadText(e + 16, static_cast<int64_t>(entrySize) - 8);
        // The data header's four values are all read, before d is judged: one cut short by the file's
        // end is the build's error even where the values would not matter. Two of them are used.
        bgl.Require(d, 16);
        const int32_t h0 = bgl.ReadInt32(d);
        const int32_t h2 = bgl.ReadInt32(static_cast<int64_t>(d) + 8);
        if (kind == kAirportEntryKind && d >= 1 && h0 == 1 && h2 == 1)
          ExtractAirport(bgl, d, ident, grid, sink);
      }
      if (static_cast<int64_t>(entrySize) + 8 <= 0) break;  // an entry that does not advance ends the list
      p += static_cast<int64_t>(entrySize) + 8;
    }
    const auto next = NextSibling(offset, size);
    if (!next) return std::nullopt;
    offset = *next;
  }
  return offset;
}

void WalkBoundaryGroup(const BglBytes& bgl, int64_t offset, const BglScanSink& sink) {
  for (;;) {
    const int32_t type = bgl.ReadInt32(offset);
    const int32_t size = bgl.ReadInt32(offset + 4);
    if (type == kBoundaryRecord) {
      try {
        if (bgl.ReadInt32(offset + 8) == kAirspaceValue) ExtractAirspace(bgl, offset, sink);
      } catch (const FileError&) {
        throw;
      } catch (const Error&) {
        // This airspace is dropped; the group goes on.
      }
    } else if (type != kAirportListType) {
      return;
    }
    const auto next = NextSibling(offset, size);
    if (!next) return;
    offset = *next;
  }
}

void WalkAirspaceSection(const BglBytes& bgl, int64_t offset, const geo::MagVarGrid& grid,
                         const BglScanSink& sink) {
  for (;;) {
    const int32_t type = bgl.ReadInt32(offset);
    if (type == kAirportListType) {
      // A list met here is walked on its own; the section resumes after its last record.
      const auto after = WalkAirportList(bgl, offset, grid, sink);
      if (!after) return;
      offset = *after;
      continue;
    }
    if (type != kBoundaryRecord) return;
    const int32_t size = bgl.ReadInt32(offset + 4);
    if (bgl.ReadInt32(offset + 8) == kBoundaryGroup) WalkBoundaryGroup(bgl, offset + 16, sink);
    const auto next = NextSibling(offset, size);
    if (!next) return;
    offset = *next;
  }
}

}  // namespace

void ScanBglFileStraightforward(std::span<const uint8_t> bytes, const geo::MagVarGrid& grid,
                                const BglScanSink& sink) {
  const BglBytes bgl(bytes);
  if (bgl.ReadInt32(144) != 1) return;
  const int32_t airports = bgl.ReadInt32(156);
  const int32_t airspaces = bgl.ReadInt32(164);
  // A section's first record header (type and size) must lie inside the file before its walk starts:
  // a section offset past the end is the build's error, even for a walk that would read nothing.
  if (airports > 0) {
    bgl.Require(airports, 8);
    WalkAirportList(bgl, airports, grid, sink);
  }
  if (airspaces > 0) {
    bgl.Require(airspaces, 8);
    WalkAirspaceSection(bgl, airspaces, grid, sink);
  }
}

}  // namespace skyvox::scenery
