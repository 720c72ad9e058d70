// The database readers against damaged and hostile files: they end the walk or raise FormatError,
// never read outside the file, never allocate what the file cannot hold, never loop.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
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

  void PutI32(std::vector<uint8_t>& bytes, size_t offset, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  }

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
    try {
      LoadControlledAirports(file_, {"KAAA - NAME KAAA", "KBBB - NAME KBBB"}, tables);
      EXPECT_FALSE(cutRecordWithHeader) << "a cut record loaded at length " << length;
    } catch (const FormatError& e) {
      EXPECT_TRUE(cutRecordWithHeader) << length;
      EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos);
    }
    EXPECT_EQ(tables.ControlledAirportCount, static_cast<int32_t>(whole)) << length;
    EXPECT_EQ(tables.ControlledAirports.size(), whole + 1);
  }
}

TEST_F(DamagedAirportFile, ANextPositionThatDoesNotMoveForwardEndsTheWalk) {
  for (int32_t next : {1, 0, -5, INT32_MIN}) {
    auto bytes = good_;
    PutI32(bytes, recordSize_ + 2 + 4 + 2 + 9, next);  // the second record points back
    Replace(bytes);
    EXPECT_EQ(ListAllAirports(file_).size(), 2u) << next;
    PutI32(bytes, 2 + 4 + 2 + 9, next);  // the first record points at itself or before
    Replace(bytes);
    EXPECT_EQ(ListAllAirports(file_).size(), 1u) << next;
  }
}

TEST_F(DamagedAirportFile, ANextPositionPastTheEndEndsTheWalk) {
  auto bytes = good_;
  PutI32(bytes, 2 + 4 + 2 + 9, INT32_MAX);
  Replace(bytes);
  EXPECT_EQ(ListAllAirports(file_), std::vector<std::string>{"KAAA - NAME KAAA"});
}

TEST_F(DamagedAirportFile, AbsurdArrayDescriptorsAreRefusedWithoutAllocating) {
  const size_t at = TaxiPointsOffset();
  ASSERT_EQ(good_[at], 1);  // one dimension
  struct Case {
    int16_t dims;
    int32_t count;
    int32_t lowerBound;
  };
  for (const Case c :
       {Case{1, INT32_MAX, 0}, Case{1, -1, 0}, Case{1, 3, 0}, Case{2, 2, 0}, Case{1, 2, 1}, Case{-1, 2, 0}}) {
    auto bytes = good_;
    bytes[at] = static_cast<uint8_t>(c.dims);
    bytes[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(c.dims) >> 8);
    PutI32(bytes, at + 2, c.count);
    PutI32(bytes, at + 6, c.lowerBound);
    Replace(bytes);
    EXPECT_THROW(LoadControlledAirports(file_, {"KAAA - NAME KAAA"}, tables_), FormatError)
        << c.dims << " " << c.count << " " << c.lowerBound;
    EXPECT_EQ(tables_.ControlledAirportCount, 0);
    EXPECT_EQ(ListAllAirports(file_).size(), 2u);  // the listing only reads headers
  }
}

TEST_F(DamagedAirportFile, ACountLargerThanItsArrayIsRefused) {
  const size_t countAt = TaxiPointsOffset() + 10 + 2 * 20;
  auto bytes = good_;
  ASSERT_EQ(bytes[countAt], 2);
  bytes[countAt] = 3;
  Replace(bytes);
  EXPECT_THROW(LoadControlledAirports(file_, {"KAAA - NAME KAAA"}, tables_), FormatError);
  bytes[countAt] = 0xFF;
  bytes[countAt + 1] = 0xFF;  // -1
  Replace(bytes);
  EXPECT_THROW(LoadControlledAirports(file_, {"KAAA - NAME KAAA"}, tables_), FormatError);
  bytes[countAt] = 1;  // fewer than the elements is what a re-written loaded airport looks like
  bytes[countAt + 1] = 0;
  Replace(bytes);
  EXPECT_NO_THROW(LoadControlledAirports(file_, {"KAAA - NAME KAAA"}, tables_));
}

TEST_F(DamagedAirportFile, AHugeStringLengthIsCutShortNotFollowed) {
  auto bytes = good_;
  bytes[0] = 0xFF;  // Ident claims 65535 bytes
  bytes[1] = 0xFF;
  Replace(bytes);
  EXPECT_TRUE(ListAllAirports(file_).empty());
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
      try {
        LoadControlledAirports(file_, {"KAAA - NAME KAAA", "KBBB - NAME KBBB"}, tables);
      } catch (const FormatError&) {
      }
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
