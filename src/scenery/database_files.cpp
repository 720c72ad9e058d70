#include "scenery/database_files.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <unordered_map>

#include "base/errors.h"
#include "base/files.h"
#include "scenery/bgl_scan.h"
#include "scenery/record_bytes.h"

namespace skyvox::scenery {
namespace fs = std::filesystem;

namespace {

constexpr size_t kTaxiPointSize = 20;
constexpr size_t kMinParkingSize = 2 + 25;
constexpr size_t kMinTaxiPathSize = 12 + 2;
constexpr size_t kMinRuntimeEntrySize = 4 + 2;

template <typename Out, typename T, typename WriteElement>
void WriteArray(Out& out, const std::vector<T>& items, WriteElement writeElement) {
  if (items.empty()) {
    out.I16(0);  // no dimensions: an array without elements
    return;
  }
  out.I16(1);
  out.I32(static_cast<int32_t>(items.size()));
  out.I32(0);  // lower bound
  for (const T& item : items) writeElement(out, item);
}

template <typename T, typename ReadElement>
std::vector<T> ReadArray(ByteReader& in, size_t minElementSize, const char* what, ReadElement readElement) {
  const size_t at = in.Position();
  const int16_t dimensions = in.I16();
  if (dimensions == 0) return {};
  if (dimensions != 1) {
    throw FormatError(std::string(what) + ": array with " + std::to_string(dimensions) +
                      " dimensions at offset " + std::to_string(at));
  }
  const int32_t count = in.I32();
  const int32_t lowerBound = in.I32();
  if (count < 0 || lowerBound != 0) {
    throw FormatError(std::string(what) + ": bad array descriptor (count " + std::to_string(count) +
                      ", lower bound " + std::to_string(lowerBound) + ") at offset " + std::to_string(at));
  }
  if (static_cast<size_t>(count) > in.Remaining() / minElementSize) {
    throw ReadPastEnd(std::string(what) + ": " + std::to_string(count) + " elements at offset " +
                      std::to_string(at) + " cannot fit in the " + std::to_string(in.Remaining()) +
                      " bytes that remain");
  }
  std::vector<T> items;
  items.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) items.push_back(readElement(in));
  return items;
}

int16_t ReadCount(ByteReader& in, size_t elements, const char* what) {
  const size_t at = in.Position();
  const int16_t count = in.I16();
  if (count < 0 || static_cast<size_t>(count) > elements) {
    throw FormatError(std::string(what) + " " + std::to_string(count) + " at offset " + std::to_string(at) +
                      " disagrees with its array of " + std::to_string(elements) + " elements");
  }
  return count;
}

template <typename Out>
void WriteRuntimeEntry(Out& out, const RuntimeEntry& e) {
  out.I32(e.PlayerIndex);
  out.String16(e.Text);
}

RuntimeEntry ReadRuntimeEntry(ByteReader& in) {
  RuntimeEntry e;
  e.PlayerIndex = in.I32();
  e.Text = in.String16();
  return e;
}

struct RecordHeader {
  std::string Ident;
  std::string Name;
  int32_t NextRecordPos = 0;
};

// Ident, Name and NextRecordPos of the record at a 0-based offset; nothing when they are cut short.
std::optional<RecordHeader> ReadHeaderAt(std::span<const uint8_t> bytes, size_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  try {
    ByteReader in(bytes, offset);
    RecordHeader header;
    header.Ident = in.String16();
    header.Name = in.String16();
    header.NextRecordPos = in.I32();
    return header;
  } catch (const ReadPastEnd&) {
    return std::nullopt;
  }
}

// Calls visit(offset, header) for every record of the airport file, in file order.
template <typename Visit>
void WalkAirports(std::span<const uint8_t> bytes, Visit visit) {
  size_t offset = 0;
  while (const auto header = ReadHeaderAt(bytes, offset)) {
    visit(offset, *header);
    // NextRecordPos is 1-based. One that does not move forward would walk in circles.
    const int64_t next = static_cast<int64_t>(header->NextRecordPos) - 1;
    if (next <= static_cast<int64_t>(offset)) break;
    offset = static_cast<size_t>(next);
  }
}

// ": REASON" for a system error number, nothing when there is none.
std::string SystemReason(int error) {
  return error != 0 ? std::string(": ") + std::strerror(error) : std::string();
}

std::vector<uint8_t> ReadIfPresent(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return {};
  return ReadWholeFile(file);
}

}  // namespace

size_t NextRecordPosOffset(const AirportRecord& airport) {
  return 2 + airport.Ident.size() + 2 + airport.Name.size();
}

namespace {

// The airport record's fields in file order, into a ByteWriter or a RecordBytes.
template <typename Out>
void PutAirportRecord(Out& out, const AirportRecord& a) {
  out.String16(a.Ident);
  out.String16(a.Name);
  out.I32(a.NextRecordPos);
  out.F64(a.Latitude);
  out.F64(a.Longitude);
  out.I32(a.ElevationFt);
  for (const std::string* s : {&a.ClearanceFreq, &a.ClearanceName, &a.GroundFreq, &a.GroundName, &a.TowerFreq,
                               &a.TowerName, &a.ApproachFreq, &a.ApproachName}) {
    out.String16(*s);
  }
  const RunwayRecord& r = a.MainRunway;
  out.String16(r.Ident);
  out.F64(r.ThresholdLat);
  out.F64(r.ThresholdLon);
  out.I32(r.ThresholdElevationFt);
  out.I32(r.Length);
  out.I32(r.Width);
  out.I16(r.MagHeading);
  out.String16(r.IlsFrequency);
  WriteArray(out, a.TaxiPoints, [](Out& w, const TaxiPoint& p) {
    w.I32(p.PointType);
    w.F64(p.Latitude);
    w.F64(p.Longitude);
  });
  out.I16(a.TaxiPointCount);
  WriteArray(out, a.ParkingSpots, [](Out& w, const ParkingRecord& p) {
    w.String16(p.Name);
    w.I32(p.RadiusFt);
    w.F64(p.Latitude);
    w.F64(p.Longitude);
    w.U8(p.Occupied);
  });
  out.I16(a.ParkingCount);
  WriteArray(out, a.TaxiPaths, [](Out& w, const TaxiPath& p) {
    w.I32(p.PathType);
    w.I32(p.StartPoint);
    w.I32(p.EndPoint);
    w.String16(p.Name);
  });
  out.I16(a.TaxiPathCount);
  WriteArray(out, a.RuntimeList1, WriteRuntimeEntry<Out>);
  WriteArray(out, a.RuntimeList2, WriteRuntimeEntry<Out>);
}

template <typename Out>
void PutAirspaceRecord(Out& out, const AirspaceRecord& s) {
  out.String16(s.CenterName);
  out.String16(s.AirspaceClass);
  out.String16(s.CenterFreq);
  out.F64(s.NorthLat);
  out.F64(s.SouthLat);
  out.F64(s.EastLon);
  out.F64(s.WestLon);
  out.I32(s.LowerLimit);
  out.I32(s.UpperLimit);
}

}  // namespace

void WriteAirportRecord(ByteWriter& out, const AirportRecord& a) {
  PutAirportRecord(out, a);
}

AirportRecord ReadAirportRecord(ByteReader& in) {
  AirportRecord a;
  a.Ident = in.String16();
  a.Name = in.String16();
  a.NextRecordPos = in.I32();
  a.Latitude = in.F64();
  a.Longitude = in.F64();
  a.ElevationFt = in.I32();
  for (std::string* s : {&a.ClearanceFreq, &a.ClearanceName, &a.GroundFreq, &a.GroundName, &a.TowerFreq,
                         &a.TowerName, &a.ApproachFreq, &a.ApproachName}) {
    *s = in.String16();
  }
  RunwayRecord& r = a.MainRunway;
  r.Ident = in.String16();
  r.ThresholdLat = in.F64();
  r.ThresholdLon = in.F64();
  r.ThresholdElevationFt = in.I32();
  r.Length = in.I32();
  r.Width = in.I32();
  r.MagHeading = in.I16();
  r.IlsFrequency = in.String16();
  a.TaxiPoints = ReadArray<TaxiPoint>(in, kTaxiPointSize, "TaxiPoints", [](ByteReader& rd) {
    TaxiPoint p;
    p.PointType = rd.I32();
    p.Latitude = rd.F64();
    p.Longitude = rd.F64();
    return p;
  });
  a.TaxiPointCount = ReadCount(in, a.TaxiPoints.size(), "TaxiPointCount");
  a.ParkingSpots = ReadArray<ParkingRecord>(in, kMinParkingSize, "ParkingSpots", [](ByteReader& rd) {
    ParkingRecord p;
    p.Name = rd.String16();
    p.RadiusFt = rd.I32();
    p.Latitude = rd.F64();
    p.Longitude = rd.F64();
    p.Occupied = rd.U8();
    return p;
  });
  a.ParkingCount = ReadCount(in, a.ParkingSpots.size(), "ParkingCount");
  a.TaxiPaths = ReadArray<TaxiPath>(in, kMinTaxiPathSize, "TaxiPaths", [](ByteReader& rd) {
    TaxiPath p;
    p.PathType = rd.I32();
    p.StartPoint = rd.I32();
    p.EndPoint = rd.I32();
    p.Name = rd.String16();
    return p;
  });
  a.TaxiPathCount = ReadCount(in, a.TaxiPaths.size(), "TaxiPathCount");
  a.RuntimeList1 = ReadArray<RuntimeEntry>(in, kMinRuntimeEntrySize, "RuntimeList1", ReadRuntimeEntry);
  a.RuntimeList2 = ReadArray<RuntimeEntry>(in, kMinRuntimeEntrySize, "RuntimeList2", ReadRuntimeEntry);
  return a;
}

void WriteAirspaceRecord(ByteWriter& out, const AirspaceRecord& s) {
  PutAirspaceRecord(out, s);
}

AirspaceRecord ReadAirspaceRecord(ByteReader& in) {
  AirspaceRecord s;
  s.CenterName = in.String16();
  s.AirspaceClass = in.String16();
  s.CenterFreq = in.String16();
  s.NorthLat = in.F64();
  s.SouthLat = in.F64();
  s.EastLon = in.F64();
  s.WestLon = in.F64();
  s.LowerLimit = in.I32();
  s.UpperLimit = in.I32();
  return s;
}

void WriteConfigRecord(ByteWriter& out, const ConfigRecord& c) {
  out.String16(c.SimFolder);
  out.I32(c.AirportCount);
  out.I32(c.AirspaceCount);
}

ConfigRecord ReadConfigRecord(ByteReader& in) {
  ConfigRecord c;
  c.SimFolder = in.String16();
  c.AirportCount = in.I32();
  c.AirspaceCount = in.I32();
  if (c.AirportCount < 0 || c.AirspaceCount < 0) {
    throw FormatError("negative record count (" + std::to_string(c.AirportCount) + " airports, " +
                      std::to_string(c.AirspaceCount) + " airspaces)");
  }
  return c;
}

void WriteTerrainPoint(ByteWriter& out, const TerrainPoint& p) {
  out.F64(p.Latitude);
  out.F64(p.Longitude);
  out.I32(p.Elevation);
}

TerrainPoint ReadTerrainPoint(ByteReader& in) {
  TerrainPoint p;
  p.Latitude = in.F64();
  p.Longitude = in.F64();
  p.Elevation = in.I32();
  return p;
}

void AppendAirportRecord(const fs::path& file, AirportRecord& airport, int32_t& airportCount) {
  const uint64_t start = FileLength(file);  // the record goes to 1-based position start + 1
  ByteWriter out;
  WriteAirportRecord(out, airport);
  const uint64_t next = start + out.Size() + 1;
  if (next > static_cast<uint64_t>(INT32_MAX)) {
    throw FileError(file.string() + ": the database cannot grow past 2 GiB");
  }
  airport.NextRecordPos = static_cast<int32_t>(next);
  out.PatchI32(NextRecordPosOffset(airport), airport.NextRecordPos);
  WriteAt(file, start, out.Data());
  airportCount += 1;
}

void AppendAirspaceRecord(const fs::path& file, const AirspaceRecord& airspace, int32_t& airspaceCount) {
  ByteWriter out;
  WriteAirspaceRecord(out, airspace);
  WriteAt(file, FileLength(file), out.Data());
  airspaceCount += 1;
}

// One database file being appended to: its length when first met after a flush, then the records
// gathered since.
struct DatabaseAppender::Target {
  std::string Path;
  bool Met = false;
  uint64_t Start = 0;  // where the gathered bytes go
  RecordBytes Bytes;
  std::fstream Stream;
};

DatabaseAppender::DatabaseAppender() = default;
DatabaseAppender::~DatabaseAppender() = default;

DatabaseAppender::Target& DatabaseAppender::Find(const std::string& file) {
  Target* found = nullptr;
  for (const auto& target : targets_) {
    if (target->Path == file) found = target.get();
  }
  if (found && found->Met) return *found;
  // Another name of a file already met (both exist) shares its target: its length is that file's.
  std::error_code ec;
  for (const auto& target : targets_) {
    if (target->Met && fs::equivalent(target->Path, file, ec)) return *target;
  }
  if (!found) {
    targets_.push_back(std::make_unique<Target>());
    found = targets_.back().get();
    found->Path = file;
  }
  found->Met = true;
  found->Start = FileLength(file);
  found->Bytes.Truncate(0);
  return *found;
}

void DatabaseAppender::Open(Target& target) {
  if (target.Stream.is_open()) return;
  // As WriteAt opens it: without truncation, created when missing.
  target.Stream.open(target.Path, std::ios::binary | std::ios::in | std::ios::out);
  int createError = 0;
  if (!target.Stream) {
    errno = 0;
    if (!std::ofstream(target.Path, std::ios::binary)) createError = errno;
    target.Stream.clear();
    target.Stream.open(target.Path, std::ios::binary | std::ios::in | std::ios::out);
  }
  if (!target.Stream) {
    const int error = createError != 0 ? createError : errno;
    target.Stream = std::fstream();
    throw FileError("cannot open " + target.Path + " for writing" + SystemReason(error));
  }
}

template <typename Write, typename SetNext>
void DatabaseAppender::AppendAirportWith(const std::string& file, const Write& write, const SetNext& setNext,
                                         int32_t& airportCount) {
  Target& target = Find(file);
  const size_t at = target.Bytes.Size();
  try {
    const size_t nextRecordPos = write(target.Bytes);
    const uint64_t next = target.Start + target.Bytes.Size() + 1;
    if (next > static_cast<uint64_t>(INT32_MAX)) {
      throw FileError(file + ": the database cannot grow past 2 GiB");
    }
    setNext(static_cast<int32_t>(next));
    target.Bytes.PatchI32(at + nextRecordPos, static_cast<int32_t>(next));
    Open(target);
  } catch (...) {
    target.Bytes.Truncate(at);
    throw;
  }
  airportCount += 1;
}

void DatabaseAppender::AppendAirport(const std::string& file, AirportRecord& airport, int32_t& airportCount) {
  AppendAirportWith(
      file,
      [&airport](RecordBytes& out) {
        PutAirportRecord(out, airport);
        return NextRecordPosOffset(airport);
      },
      [&airport](int32_t next) { airport.NextRecordPos = next; }, airportCount);
}

void DatabaseAppender::AppendAirport(const std::string& file, const DecodedAirport& airport,
                                     int32_t& airportCount) {
  AppendAirportWith(
      file, [&airport](RecordBytes& out) { return airport.Write(out); }, [](int32_t) {}, airportCount);
}

void DatabaseAppender::AppendAirspace(const std::string& file, const AirspaceRecord& airspace,
                                      int32_t& airspaceCount) {
  Target& target = Find(file);
  const size_t at = target.Bytes.Size();
  try {
    PutAirspaceRecord(target.Bytes, airspace);
    Open(target);
  } catch (...) {
    target.Bytes.Truncate(at);
    throw;
  }
  airspaceCount += 1;
}

void DatabaseAppender::Flush() {
  for (const auto& target : targets_) {
    if (!target->Met) continue;
    target->Met = false;
    std::fstream& out = target->Stream;
    if (target->Bytes.Size() != 0) {
      errno = 0;
      out.seekp(static_cast<std::streamoff>(target->Start));
      out.write(reinterpret_cast<const char*>(target->Bytes.Data().data()),
                static_cast<std::streamsize>(target->Bytes.Size()));
      out.flush();
      if (!out) {
        const int error = errno;
        out = std::fstream();
        for (const auto& other : targets_) other->Met = false;
        throw FileError("cannot write " + target->Path + SystemReason(error));
      }
    }
    out.close();
  }
}

std::vector<std::string> ListAllAirports(const fs::path& file) {
  return ListAllAirports(ReadIfPresent(file));
}

std::vector<std::string> ListAllAirports(std::span<const uint8_t> bytes) {
  std::vector<std::string> entries;
  WalkAirports(bytes, [&](size_t, const RecordHeader& header) {
    entries.push_back(header.Ident + " - " + header.Name);
  });
  return entries;
}

void LoadControlledAirports(const fs::path& file, const std::vector<std::string>& entries,
                            WorldTables& tables) {
  LoadControlledAirports(ReadIfPresent(file), entries, tables, file.string());
}

void LoadControlledAirports(std::span<const uint8_t> bytes, const std::vector<std::string>& entries,
                            WorldTables& tables, const std::string& fileName) {
  // How many entries equal each text: a record is loaded once per equal entry.
  std::unordered_map<std::string, int> wanted;
  for (const std::string& entry : entries) ++wanted[entry];
  WalkAirports(bytes, [&](size_t offset, const RecordHeader& header) {
    const std::string text = header.Ident + " - " + header.Name;
    const auto found = wanted.find(text);
    const int matches = found == wanted.end() ? 0 : found->second;
    for (int k = 0; k < matches; ++k) {
      AirportRecord airport;
      try {
        ByteReader in(bytes, offset);
        airport = ReadAirportRecord(in);
      } catch (const FormatError& e) {
        throw FormatError(fileName + ": the record of " + text + " at byte " + std::to_string(offset + 1) +
                          " is damaged: " + e.what());
      }
      if (airport.TaxiPoints.empty()) airport.TaxiPoints.resize(1);
      if (airport.ParkingSpots.empty()) airport.ParkingSpots.resize(1);
      if (airport.TaxiPaths.empty()) airport.TaxiPaths.resize(1);
      // Item ControlledAirportCount-1 takes the record; a new spare follows it.
      tables.ControlledAirports.resize(static_cast<size_t>(tables.ControlledAirportCount) + 1);
      tables.ControlledAirports[static_cast<size_t>(tables.ControlledAirportCount)] = std::move(airport);
      tables.ControlledAirportCount += 1;
      tables.ControlledAirports.resize(static_cast<size_t>(tables.ControlledAirportCount) + 1);
    }
  });
}

std::vector<AirportRecord> ReadAllAirportRecords(std::span<const uint8_t> bytes) {
  std::vector<AirportRecord> airports;
  WalkAirports(bytes, [&](size_t offset, const RecordHeader& header) {
    try {
      ByteReader in(bytes, offset);
      airports.push_back(ReadAirportRecord(in));
    } catch (const FormatError& e) {
      throw FormatError("the record of " + header.Ident + " at byte " + std::to_string(offset + 1) +
                        " is damaged: " + e.what());
    }
  });
  return airports;
}

std::vector<AirspaceRecord> ReadAllAirspaceRecords(std::span<const uint8_t> bytes) {
  std::vector<AirspaceRecord> airspaces;
  ByteReader in(bytes);
  while (!in.AtEnd()) airspaces.push_back(ReadAirspaceRecord(in));
  return airspaces;
}

void LoadAirspaces(const fs::path& file, WorldTables& tables) {
  LoadAirspaces(ReadIfPresent(file), tables, file.string());
}

void LoadAirspaces(std::span<const uint8_t> bytes, WorldTables& tables, const std::string& fileName) {
  const int32_t count = tables.AirspaceCount;
  if (count < 0 || static_cast<size_t>(count) > bytes.size() / kMinAirspaceRecordSize) {
    throw FormatError(fileName + " cannot hold the " + std::to_string(count) +
                      " airspaces the configuration file names (" + std::to_string(bytes.size()) + " bytes)");
  }
  tables.Airspaces.assign(static_cast<size_t>(count) + 1, AirspaceRecord{});
  ByteReader in(bytes);
  for (int32_t i = 0; i < count; ++i) {
    try {
      tables.Airspaces[static_cast<size_t>(i)] = ReadAirspaceRecord(in);
    } catch (const ReadPastEnd&) {
      break;  // records the file does not hold stay empty
    }
  }
}

}  // namespace skyvox::scenery
