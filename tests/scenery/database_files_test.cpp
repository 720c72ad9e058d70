#include "scenery/database_files.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

// A small airport whose serialised form is spelled out byte by byte in SmallAirportBytes.
AirportRecord SmallAirport() {
  AirportRecord a;
  a.Ident = "KA";
  a.Name = "B";
  a.Latitude = 1.5;
  a.Longitude = -2.0;
  a.ElevationFt = 100;
  a.GroundFreq = "2";
  a.GroundName = "G";
  a.TowerFreq = "3";
  a.TowerName = "T";
  a.MainRunway = {"9", 0.5, 0.25, 7, 1000, 30, 90, ""};
  a.TaxiPoints = {{2, 1.0, 2.0}};
  a.TaxiPointCount = 1;
  a.TaxiPaths = {{0, 0, 0, "A"}};
  a.TaxiPathCount = 1;
  return a;
}

// clang-format off
std::vector<uint8_t> SmallAirportBytes(uint8_t nextPosLow, uint8_t nextPosHigh) {
  return {
      0x02, 0x00, 'K', 'A',                            // Ident
      0x01, 0x00, 'B',                                 // Name
      nextPosLow, nextPosHigh, 0x00, 0x00,             // NextRecordPos
      0, 0, 0, 0, 0, 0, 0xF8, 0x3F,                    // Latitude 1.5
      0, 0, 0, 0, 0, 0, 0x00, 0xC0,                    // Longitude -2.0
      0x64, 0x00, 0x00, 0x00,                          // ElevationFt 100
      0x00, 0x00,                                      // ClearanceFreq ""
      0x00, 0x00,                                      // ClearanceName ""
      0x01, 0x00, '2',                                 // GroundFreq
      0x01, 0x00, 'G',                                 // GroundName
      0x01, 0x00, '3',                                 // TowerFreq
      0x01, 0x00, 'T',                                 // TowerName
      0x00, 0x00,                                      // ApproachFreq ""
      0x00, 0x00,                                      // ApproachName ""
      0x01, 0x00, '9',                                 // MainRunway.Ident
      0, 0, 0, 0, 0, 0, 0xE0, 0x3F,                    // ThresholdLat 0.5
      0, 0, 0, 0, 0, 0, 0xD0, 0x3F,                    // ThresholdLon 0.25
      0x07, 0x00, 0x00, 0x00,                          // ThresholdElevationFt 7
      0xE8, 0x03, 0x00, 0x00,                          // Length 1000
      0x1E, 0x00, 0x00, 0x00,                          // Width 30
      0x5A, 0x00,                                      // MagHeading 90
      0x00, 0x00,                                      // IlsFrequency ""
      0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // TaxiPoints: 1 dim, 1 element, base 0
      0x02, 0x00, 0x00, 0x00,                          //   PointType 2
      0, 0, 0, 0, 0, 0, 0xF0, 0x3F,                    //   Latitude 1.0
      0, 0, 0, 0, 0, 0, 0x00, 0x40,                    //   Longitude 2.0
      0x01, 0x00,                                      // TaxiPointCount 1
      0x00, 0x00,                                      // ParkingSpots: no elements
      0x00, 0x00,                                      // ParkingCount 0
      0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // TaxiPaths: 1 element
      0x00, 0x00, 0x00, 0x00,                          //   PathType 0
      0x00, 0x00, 0x00, 0x00,                          //   StartPoint 0
      0x00, 0x00, 0x00, 0x00,                          //   EndPoint 0
      0x01, 0x00, 'A',                                 //   Name
      0x01, 0x00,                                      // TaxiPathCount 1
      0x00, 0x00,                                      // RuntimeList1: no elements
      0x00, 0x00,                                      // RuntimeList2: no elements
  };
}
// clang-format on

AirportRecord NamedAirport(const std::string& ident, const std::string& name) {
  AirportRecord a = SmallAirport();
  a.Ident = ident;
  a.Name = name;
  return a;
}

// Appends the records in order, each given its NextRecordPos; returns the count the appends kept.
int32_t AppendAll(const std::filesystem::path& file, std::vector<AirportRecord>& records) {
  int32_t count = 0;
  for (AirportRecord& r : records) AppendAirportRecord(file, r, count);
  return count;
}

TEST(AirportFile, AppendWritesTheRecordsByteForByteWithTheirNextPositions) {
  TempDir dir;
  std::vector<AirportRecord> records{SmallAirport(), SmallAirport()};
  EXPECT_EQ(AppendAll(dir.File(kAirportsFileName), records), 2);
  // 153 bytes a record: the first begins at position 1 and names 154, the second names 307.
  std::vector<uint8_t> expected = SmallAirportBytes(154, 0);
  const auto secondBytes = SmallAirportBytes(0x33, 0x01);
  expected.insert(expected.end(), secondBytes.begin(), secondBytes.end());
  EXPECT_EQ(ReadBytes(dir.File(kAirportsFileName)), expected);
  EXPECT_EQ(records[0].NextRecordPos, 154);
  EXPECT_EQ(records[1].NextRecordPos, 307);
}

TEST(AirportFile, RecordsReadBackEqualToWhatWasWritten) {
  AirportRecord a = SmallAirport();
  a.ClearanceFreq = "128.0";
  a.ClearanceName = "SEATTLE";
  a.ApproachFreq = "119.2";
  a.ApproachName = "SEATTLE APPROACH";
  a.MainRunway.IlsFrequency = "110.3";
  a.ParkingSpots = {{"GATE A 12", 60, 47.1, -122.2, 0}, {"N PARKING 3", 40, 47.2, -122.3, 1}};
  a.ParkingCount = 2;
  a.TaxiPaths.push_back({2, 0, 1, "3"});
  a.TaxiPathCount = 2;
  a.RuntimeList1 = {{4, "N123"}};
  ByteWriter w;
  WriteAirportRecord(w, a);
  ByteReader r(w.Data());
  EXPECT_EQ(ReadAirportRecord(r), a);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(NextRecordPosOffset(a), 7u);
}

// An airport without a name is listed and does not hide the ones after it.
TEST(AirportFile, ListsEveryAirportInFileOrder) {
  TempDir dir;
  std::vector<AirportRecord> records{NamedAirport("XXXX", ""), NamedAirport("KSEA", "SEATTLE-TACOMA INTL"),
                                     NamedAirport("KBFI", "BOEING FIELD/KING CO INTL"),
                                     NamedAirport("KPDX", "PORTLAND INTL")};
  AppendAll(dir.File(kAirportsFileName), records);
  EXPECT_EQ(ListAllAirports(dir.File(kAirportsFileName)),
            (std::vector<std::string>{"XXXX - ", "KSEA - SEATTLE-TACOMA INTL",
                                      "KBFI - BOEING FIELD/KING CO INTL", "KPDX - PORTLAND INTL"}));
}

TEST(AirportFile, AnEmptyOrMissingFileListsAndLoadsNothing) {
  TempDir dir;
  dir.Write(kAirportsFileName, std::string());
  WorldTables tables;
  EXPECT_TRUE(ListAllAirports(dir.File(kAirportsFileName)).empty());
  LoadControlledAirports(dir.File(kAirportsFileName), {"KA - B"}, tables);
  EXPECT_EQ(tables.ControlledAirportCount, 0);
  EXPECT_EQ(tables.ControlledAirports.size(), 1u);
  EXPECT_TRUE(ListAllAirports(dir.File("missing.dat")).empty());
}

class ControlledAirports : public ::testing::Test {
 protected:
  void SetUp() override {
    AirportRecord& seattle = written_[0];
    seattle.ParkingSpots = {{"GATE A 1", 50, 1, 2, 0}};
    seattle.ParkingCount = 1;
    AirportRecord& bare = written_[1];
    bare.TaxiPoints.clear();
    bare.TaxiPointCount = 0;
    bare.TaxiPaths.clear();
    bare.TaxiPathCount = 0;
    AppendAll(file_, written_);
  }

  TempDir dir_;
  std::filesystem::path file_ = dir_.File(kAirportsFileName);
  std::vector<AirportRecord> written_{NamedAirport("KSEA", "SEATTLE"), NamedAirport("KBFI", "BOEING"),
                                      NamedAirport("KPDX", "PORTLAND")};
  WorldTables tables_;
};

TEST_F(ControlledAirports, LoadInFileOrderOncePerEqualEntryWithASpareAtTheEnd) {
  LoadControlledAirports(file_, {"KBFI - BOEING", "KSEA - SEATTLE", "KBFI - BOEING", "KXXX - NOWHERE"},
                         tables_);
  ASSERT_EQ(tables_.ControlledAirportCount, 3);
  ASSERT_EQ(tables_.ControlledAirports.size(), 4u);
  EXPECT_EQ(tables_.ControlledAirports[0].Ident, "KSEA");
  EXPECT_EQ(tables_.ControlledAirports[1].Ident, "KBFI");
  EXPECT_EQ(tables_.ControlledAirports[2].Ident, "KBFI");
  EXPECT_EQ(tables_.ControlledAirports[3], AirportRecord{});
  EXPECT_EQ(tables_.ControlledAirports[0], written_[0]);  // the whole record, NextRecordPos included
}

TEST_F(ControlledAirports, EmptyArraysComeBackWithOneEmptyElementAndCountsOfZero) {
  LoadControlledAirports(file_, {"KBFI - BOEING"}, tables_);
  ASSERT_EQ(tables_.ControlledAirportCount, 1);
  const AirportRecord& b = tables_.ControlledAirports[0];
  EXPECT_EQ(b.TaxiPoints, std::vector<TaxiPoint>(1));
  EXPECT_EQ(b.ParkingSpots, std::vector<ParkingRecord>(1));
  EXPECT_EQ(b.TaxiPaths, std::vector<TaxiPath>(1));
  EXPECT_EQ((std::vector{b.TaxiPointCount, b.ParkingCount, b.TaxiPathCount}), std::vector<int16_t>(3, 0));
  EXPECT_TRUE(b.RuntimeList1.empty());
}

TEST_F(ControlledAirports, ComparisonIsExactAndLoadsAddToWhatIsThere) {
  LoadControlledAirports(file_, {"ksea - seattle", "KSEA - SEATTLE ", "KSEA-SEATTLE"}, tables_);
  EXPECT_EQ(tables_.ControlledAirportCount, 0);
  LoadControlledAirports(file_, {"KPDX - PORTLAND"}, tables_);
  LoadControlledAirports(file_, {"KSEA - SEATTLE"}, tables_);
  ASSERT_EQ(tables_.ControlledAirportCount, 2);
  EXPECT_EQ(tables_.ControlledAirports[0].Ident, "KPDX");
  EXPECT_EQ(tables_.ControlledAirports[1].Ident, "KSEA");
  EXPECT_EQ(tables_.ControlledAirports.size(), 3u);
}

TEST(WorldTablesReset, LeavesOneSpareElementWithOneElementInEveryArray) {
  WorldTables tables;
  tables.ControlledAirportCount = 5;
  tables.ControlledAirports.resize(6);
  tables.TerrainPointCount = 2;
  tables.TerrainPoints.resize(3);
  tables.Airspaces.resize(9);
  tables.ResetLoadedTables();
  EXPECT_EQ(tables.ControlledAirportCount, 0);
  ASSERT_EQ(tables.ControlledAirports.size(), 1u);
  const AirportRecord& spare = tables.ControlledAirports[0];
  EXPECT_EQ((std::vector{spare.TaxiPoints.size(), spare.ParkingSpots.size(), spare.TaxiPaths.size(),
                         spare.RuntimeList1.size(), spare.RuntimeList2.size(), tables.Airspaces.size(),
                         tables.TerrainPoints.size()}),
            std::vector<size_t>(7, 1));
  EXPECT_EQ(tables.TerrainPointCount, 0);
}

AirspaceRecord SmallAirspace() {
  return {"C", "ARTCC/FIR (LOW)", "1", 2.0, 1.0, -1.0, -2.0, 0, 18000};
}

// An airspace file holding one small record.
class AirspaceFile : public ::testing::Test {
 protected:
  void SetUp() override { AppendAirspaceRecord(file_, SmallAirspace(), count_); }
  TempDir dir_;
  std::filesystem::path file_ = dir_.File(kAirspacesFileName);
  int32_t count_ = 0;
  WorldTables tables_;
};

TEST_F(AirspaceFile, AppendWritesTheRecordByteForByte) {
  // clang-format off
  const std::vector<uint8_t> expected = {
      0x01, 0x00, 'C',                                                                  // CenterName
      0x0F, 0x00, 'A', 'R', 'T', 'C', 'C', '/', 'F', 'I', 'R', ' ', '(', 'L', 'O', 'W', ')',  // class
      0x01, 0x00, '1',                                                                  // CenterFreq
      0, 0, 0, 0, 0, 0, 0x00, 0x40,                                                     // NorthLat 2.0
      0, 0, 0, 0, 0, 0, 0xF0, 0x3F,                                                     // SouthLat 1.0
      0, 0, 0, 0, 0, 0, 0xF0, 0xBF,                                                     // EastLon -1.0
      0, 0, 0, 0, 0, 0, 0x00, 0xC0,                                                     // WestLon -2.0
      0x00, 0x00, 0x00, 0x00,                                                           // LowerLimit 0
      0x50, 0x46, 0x00, 0x00,                                                           // UpperLimit 18000
  };
  // clang-format on
  EXPECT_EQ(ReadBytes(file_), expected);
  EXPECT_EQ(count_, 1);
}

// Each load replaces the table: the count of records read, then one empty spare.
TEST_F(AirspaceFile, LoadReadsTheCountTheConfigurationNamesInFileOrder) {
  AirspaceRecord high = SmallAirspace();
  high.CenterName = "SEATTLE CENTER";
  high.AirspaceClass = "ARTCC/FIR (HIGH)";
  high.WestLon = 170.0;  // across the 180th meridian
  AppendAirspaceRecord(file_, high, count_);
  const AirspaceRecord small = SmallAirspace(), none{};
  const struct {
    int32_t count;
    std::vector<AirspaceRecord> expected;
  } cases[] = {{2, {small, high, none}},
               {1, {small, none}},              // a smaller count reads the first records only
               {3, {small, high, none, none}},  // more than the file holds: the rest stay empty
               {0, {none}}};
  for (const auto& c : cases) {
    tables_.AirspaceCount = c.count;
    LoadAirspaces(file_, tables_);
    EXPECT_EQ(tables_.Airspaces, c.expected) << c.count;
  }
}

TEST_F(AirspaceFile, ACountTheFileCannotHoldIsRefusedBeforeAnythingIsAllocated) {
  for (const int32_t n : {2000000000, -1}) {
    tables_.AirspaceCount = n;
    EXPECT_THROW(LoadAirspaces(file_, tables_), FormatError) << n;
  }
  tables_.AirspaceCount = 1;
  EXPECT_THROW(LoadAirspaces(dir_.File("missing"), tables_), FormatError);
}

// The configuration record is the folder then two counts; a terrain point is twenty bytes.
TEST(SmallRecordBytes, ConfigRecordsAndTerrainPointsReadBackAsWritten) {
  ByteWriter w;
  WriteConfigRecord(w, {"C:", 3, 260});
  EXPECT_EQ(w.Data(), (std::vector<uint8_t>{0x02, 0x00, 'C', ':', 3, 0, 0, 0, 0x04, 0x01, 0, 0}));
  WriteTerrainPoint(w, {47.5, -122.25, 4392});
  ASSERT_EQ(w.Size(), 12 + kTerrainPointSize);
  ByteReader r(w.Data());
  EXPECT_EQ(ReadConfigRecord(r), (ConfigRecord{"C:", 3, 260}));
  EXPECT_EQ(ReadTerrainPoint(r), (TerrainPoint{47.5, -122.25, 4392}));
}

}  // namespace
}  // namespace skyvox::scenery
