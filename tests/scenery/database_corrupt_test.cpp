// The database readers against damaged and hostile files: they end the walk or raise FormatError,
// never read outside the file, never allocate what the file cannot hold, never loop.
#include <gtest/gtest.h>

#include <tuple>

#include "base/errors.h"
#include "scenery/bgl_fixture.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
using skyvox::testing::Put32;
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

AirportRecord Airport(const std::string& ident) {
  AirportRecord a;
  a.Ident = ident;
  a.Name = "NAME " + ident;
  a.TowerFreq = "118.3";
  a.TaxiPoints = {{1, 2, 3}, {4, 5, 6}};
  a.TaxiPointCount = 2;
  a.ParkingSpots = {{"GATE 1", 10, 1, 1, 0}};
  a.ParkingCount = 1;
  a.TaxiPaths = {{0, 0, 1, "A"}};
  a.TaxiPathCount = 1;
  return a;
}

class DamagedAirportFile : public ::testing::Test {
 protected:
  void SetUp() override {
    int32_t count = 0;
    for (const char* ident : {"KAAA", "KBBB"}) {
      AirportRecord a = Airport(ident);
      AppendAirportRecord(file_, a, count);
    }
    good_ = ReadBytes(file_);
    recordSize_ = good_.size() / 2;
  }

  void Replace(const std::vector<uint8_t>& bytes) { dir_.Write(kAirportsFileName, bytes); }

  // Writes the good file with a little-endian value of the given width at an offset; returns the bytes.
  std::vector<uint8_t> Patch(size_t at, int32_t v, int width = 4) {
    auto bytes = good_;
    for (size_t i = 0; i < static_cast<size_t>(width); ++i)
      bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    Replace(bytes);
    return bytes;
  }
  // Loads the named airports; returns the FormatError's text, empty when the load succeeded.
  std::string LoadError(WorldTables& tables, std::vector<std::string> names = {"KAAA - NAME KAAA"}) {
    try {
      LoadControlledAirports(file_, names, tables);
      return "";
    } catch (const FormatError& e) {
      return e.what();
    }
  }
  bool Loads() { return LoadError(tables_).empty(); }
  const std::vector<std::string> both_{"KAAA - NAME KAAA", "KBBB - NAME KBBB"};

  // Offset of the TaxiPoints descriptor inside the first record.
  size_t TaxiPointsOffset() const {
    AirportRecord noArrays = Airport("KAAA");
    noArrays.TaxiPoints.clear();
    noArrays.ParkingSpots.clear();
    noArrays.TaxiPaths.clear();
    ByteWriter w;
    WriteAirportRecord(w, noArrays);
    // Without elements the record ends in five empty descriptors and three counts, 2 bytes each.
    return w.Size() - 8 * 2;
  }

  TempDir dir_;
  std::filesystem::path file_ = dir_.File(kAirportsFileName);
  std::vector<uint8_t> good_;
  size_t recordSize_ = 0;
  WorldTables tables_;
};

TEST_F(DamagedAirportFile, EveryTruncationListsWhatIsWholeAndLoadsOrRefusesCleanly) {
  for (size_t length = 0; length <= good_.size(); ++length) {
    Replace({good_.begin(), good_.begin() + static_cast<std::ptrdiff_t>(length)});
    const auto entries = ListAllAirports(file_);
    // A record is listed once its header (Ident, Name, NextRecordPos) is whole.
    const size_t header = 2 + 4 + 2 + 9 + 4;
    size_t expected = 0;
    if (length >= header) ++expected;
    if (length >= recordSize_ + header) ++expected;
    ASSERT_EQ(entries.size(), expected) << "length " << length;

    // Whole records load; a record whose header is whole but whose body is cut is refused.
    const size_t whole = length / recordSize_;
    const bool cutRecordWithHeader = whole < 2 && length % recordSize_ >= header;
    WorldTables tables;
    const std::string error = LoadError(tables, both_);
    EXPECT_EQ(error.empty(), !cutRecordWithHeader) << "length " << length;
    EXPECT_TRUE(error.empty() || error.find("is damaged") != std::string::npos) << error;
    EXPECT_EQ(tables.ControlledAirportCount, static_cast<int32_t>(whole)) << length;
    EXPECT_EQ(tables.ControlledAirports.size(), whole + 1);
  }
}

// A next position that does not move forward or lies past the end ends the walk; a huge string length
// is cut short, not followed.
TEST_F(DamagedAirportFile, ABadNextPositionOrStringLengthEndsTheWalk) {
  const size_t next = 2 + 4 + 2 + 9;  // NextRecordPos after Ident "KAAA" and Name "NAME KAAA"
  // Offset, value and its width, and how many airports stay listed.
  std::vector<std::tuple<size_t, int32_t, int, size_t>> cases{{next, INT32_MAX, 4, 1},
                                                              {0, 0xFFFF, 2, 0}};  // Ident claims 65535 bytes
  for (int32_t back : {1, 0, -5, INT32_MIN}) {
    cases.push_back({recordSize_ + next, back, 4, 2});  // the second record points back
    cases.push_back({next, back, 4, 1});                // the first points at itself or before
  }
  for (const auto& [at, value, width, listed] : cases) {
    Patch(at, value, width);
    EXPECT_EQ(ListAllAirports(file_), std::vector<std::string>(both_.begin(), both_.begin() + listed))
        << at << " " << value;
  }
}

TEST_F(DamagedAirportFile, AbsurdArrayDescriptorsAreRefusedWithoutAllocating) {
  const size_t at = TaxiPointsOffset();
  ASSERT_EQ(good_[at], 1);  // one dimension
  // Dimensions, element count, lower bound.
  for (const auto& [dims, count, lowerBound] : std::vector<std::tuple<int16_t, int32_t, int32_t>>{
           {1, INT32_MAX, 0}, {1, -1, 0}, {1, 3, 0}, {2, 2, 0}, {1, 2, 1}, {-1, 2, 0}}) {
    auto bytes = Patch(at, dims, 2);
    Put32(bytes, at + 2, count);
    Put32(bytes, at + 6, lowerBound);
    Replace(bytes);
    EXPECT_FALSE(Loads()) << dims << " " << count << " " << lowerBound;
    EXPECT_EQ(tables_.ControlledAirportCount, 0);
    EXPECT_EQ(ListAllAirports(file_).size(), 2u);  // the listing only reads headers
  }
}

// Fewer than the elements is what a re-written loaded airport looks like; more, or negative, is refused.
TEST_F(DamagedAirportFile, ACountLargerThanItsArrayIsRefused) {
  const size_t countAt = TaxiPointsOffset() + 10 + 2 * 20;
  ASSERT_EQ(good_[countAt], 2);
  for (const auto& [count, loads] : {std::pair{3, false}, {-1, false}, {1, true}}) {
    Patch(countAt, count, 2);
    EXPECT_EQ(Loads(), loads) << count;
  }
}

TEST_F(DamagedAirportFile, AnyByteChangedAnywhereNeverBreaksTheReaders) {
  for (size_t i = 0; i < good_.size(); ++i) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
      auto bytes = good_;
      bytes[i] = value;
      Replace(bytes);
      // The walk only moves forward, over headers of at least 8 bytes.
      EXPECT_LE(ListAllAirports(file_).size(), good_.size() / 8);
      WorldTables tables;
      LoadError(tables, both_);
      EXPECT_LE(static_cast<size_t>(tables.ControlledAirportCount), good_.size() / 8);
    }
  }
}

TEST(DamagedAirspaceFile, ATruncatedLastRecordStaysEmpty) {
  TempDir dir;
  const auto file = dir.File(kAirspacesFileName);
  int32_t count = 0;
  const AirspaceRecord s{"OAKLAND CENTER", "ARTCC/FIR (HIGH)", "127.8", 40, 35, -118, -125, 18000, 60000};
  AppendAirspaceRecord(file, s, count);
  AppendAirspaceRecord(file, s, count);
  auto bytes = ReadBytes(file);
  bytes.resize(bytes.size() - 3);
  dir.Write(kAirspacesFileName, bytes);
  WorldTables tables;
  tables.AirspaceCount = 2;
  LoadAirspaces(file, tables);
  ASSERT_EQ(tables.Airspaces.size(), 3u);
  EXPECT_EQ(tables.Airspaces[0], s);
  EXPECT_EQ(tables.Airspaces[1], AirspaceRecord{});
}

TEST(DamagedConfigRecord, CutShortOrNegativeCountsAreRefused) {
  ByteWriter w;
  WriteConfigRecord(w, {"D:\\FS2002", 10, 2});
  const auto good = w.Data();
  for (size_t length = 0; length < good.size(); ++length) {
    ByteReader r(std::span<const uint8_t>(good.data(), length));
    EXPECT_THROW(ReadConfigRecord(r), FormatError) << length;
  }
  ByteWriter negative;
  WriteConfigRecord(negative, {"D:", -1, 0});
  ByteReader r(negative.Data());
  EXPECT_THROW(ReadConfigRecord(r), FormatError);
}

}  // namespace
}  // namespace skyvox::scenery
