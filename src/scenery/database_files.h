// The two database files and the configuration record, byte-exact: headerless sequences of records,
// each the field-by-field little-endian serialisation of its type with no padding. A string is a
// 16-bit length and its bytes; a dynamic array is a descriptor (16-bit number of dimensions, then per
// dimension a 32-bit element count and a 32-bit lower bound) followed by its elements.
//
// An array without elements is written as a descriptor of zero dimensions (two zero bytes); the
// readers accept that and a one-dimensional descriptor with a count of 0.
//
// The readers face files that may be truncated or hostile: every count and length is checked against
// the bytes that remain before anything is allocated, and a damaged record raises FormatError naming
// the file and the byte position instead of reading out of bounds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/byte_io.h"
#include "scenery/records.h"

namespace skyvox::scenery {

class DecodedAirport;

inline constexpr const char* kAirportsFileName = "world_airports.dat";
inline constexpr const char* kAirspacesFileName = "world_airspaces.dat";
inline constexpr const char* kTerrainFileName = "world_terrain.db";

// Smallest possible serialised sizes, used to bound counts read from files.
inline constexpr size_t kMinAirspaceRecordSize = 3 * 2 + 40;
inline constexpr size_t kTerrainPointSize = 20;

void WriteAirportRecord(ByteWriter& out, const AirportRecord& airport);
// Reads one whole airport record. Throws FormatError (ReadPastEnd when it is cut short).
AirportRecord ReadAirportRecord(ByteReader& in);
// Offset of NextRecordPos inside a serialised airport record.
size_t NextRecordPosOffset(const AirportRecord& airport);

void WriteAirspaceRecord(ByteWriter& out, const AirspaceRecord& airspace);
AirspaceRecord ReadAirspaceRecord(ByteReader& in);

void WriteConfigRecord(ByteWriter& out, const ConfigRecord& config);
// Throws FormatError when the record is cut short or holds a negative count.
ConfigRecord ReadConfigRecord(ByteReader& in);

void WriteTerrainPoint(ByteWriter& out, const TerrainPoint& point);
TerrainPoint ReadTerrainPoint(ByteReader& in);

// Appends one airport at the end of the file (created when missing): the record is written at file
// length + 1, its NextRecordPos set to the 1-based position of the first byte after it (also in
// `airport`), and written again in place; then airportCount += 1.
void AppendAirportRecord(const std::filesystem::path& file, AirportRecord& airport, int32_t& airportCount);

// Appends one airspace at the end of the file (created when missing); airspaceCount += 1.
void AppendAirspaceRecord(const std::filesystem::path& file, const AirspaceRecord& airspace,
                          int32_t& airspaceCount);

// Appends records as AppendAirportRecord and AppendAirspaceRecord do, the same bytes at the same
// positions, but gathers them in memory and writes each file's share in one go at Flush. A file's
// length is taken when it is first met after a Flush and counted on from there, and the file is opened
// as its first record is gathered, so a file that cannot be opened fails at the same record. A record
// that cannot be written fails at Flush: on a full disk, how much of the gathered bytes reached the
// file is the system's. The counts grow as records are gathered.
class DatabaseAppender {
 public:
  DatabaseAppender();
  ~DatabaseAppender();  // what was not flushed is dropped
  DatabaseAppender(const DatabaseAppender&) = delete;
  DatabaseAppender& operator=(const DatabaseAppender&) = delete;

  // Throws FormatError for a record that cannot be serialised, FileError for a file that cannot be
  // opened or would pass 2 GiB; nothing of that record is kept. The AirportRecord's NextRecordPos is
  // set as AppendAirportRecord sets it.
  void AppendAirport(const std::string& file, AirportRecord& airport, int32_t& airportCount);
  void AppendAirport(const std::string& file, const DecodedAirport& airport, int32_t& airportCount);
  void AppendAirspace(const std::string& file, const AirspaceRecord& airspace, int32_t& airspaceCount);
  // Writes what was gathered and closes the files. Throws FileError naming the file and the reason.
  void Flush();

 private:
  struct Target;
  Target& Find(const std::string& file);
  static void Open(Target& target);
  template <typename Write, typename SetNext>
  void AppendAirportWith(const std::string& file, const Write& write, const SetNext& setNext,
                         int32_t& airportCount);
  std::vector<std::unique_ptr<Target>> targets_;
};

// The entries "Ident - Name" of every stored airport, in file order. The walk follows NextRecordPos
// from the first record and stops at the end of the file, at a record header that is cut short, or at
// a NextRecordPos that does not move forward. A missing file lists nothing.
std::vector<std::string> ListAllAirports(const std::filesystem::path& file);

// Walks the file as ListAllAirports does and appends to the controlled table, once per equal entry of
// `entries` (exact comparison with "Ident - Name"), the whole record re-read from its start. Arrays
// that come back empty get one empty element (their counts stay 0). The table keeps its one spare
// element at the end. A matched record that is damaged throws FormatError; airports loaded before it
// stay in the table.
void LoadControlledAirports(const std::filesystem::path& file, const std::vector<std::string>& entries,
                            WorldTables& tables);

// Sizes Airspaces to AirspaceCount + 1 empty elements and fills them from the file in order; records
// the file does not hold stay empty. Throws FormatError when AirspaceCount is negative or larger than
// the file could hold.
void LoadAirspaces(const std::filesystem::path& file, WorldTables& tables);

// Every airport record of the file in file order, whole, walked as ListAllAirports walks it (for the
// database tool). A damaged record throws FormatError.
std::vector<AirportRecord> ReadAllAirportRecords(std::span<const uint8_t> bytes);
// Every whole airspace record of the file, to its end.
std::vector<AirspaceRecord> ReadAllAirspaceRecords(std::span<const uint8_t> bytes);

// The same three readers over a file's bytes already in memory; `fileName` names the file in errors.
std::vector<std::string> ListAllAirports(std::span<const uint8_t> bytes);
void LoadControlledAirports(std::span<const uint8_t> bytes, const std::vector<std::string>& entries,
                            WorldTables& tables, const std::string& fileName = kAirportsFileName);
void LoadAirspaces(std::span<const uint8_t> bytes, WorldTables& tables,
                   const std::string& fileName = kAirspacesFileName);

}  // namespace skyvox::scenery
