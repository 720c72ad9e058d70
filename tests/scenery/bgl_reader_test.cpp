#include "scenery/bgl_reader.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/errors.h"
#include "bgl_fixture.h"

namespace skyvox::scenery {
namespace {
using namespace skyvox::testing;

struct Collected {
  std::vector<AirportRecord> airports;
  std::vector<AirspaceRecord> airspaces;
  BglScanSink Sink() {
    BglScanSink sink;
    sink.Airport = [this](AirportRecord& a) { airports.push_back(a); };
    sink.Airspace = [this](const AirspaceRecord& s) { airspaces.push_back(s); };
    return sink;
  }
};

Collected Scan(const Bytes& bytes, const geo::MagVarGrid& grid = geo::MagVarGrid()) {
  Collected c;
  ScanBglFile(bytes, grid, c.Sink());
  return c;
}

Bytes Frequency(int32_t code, int32_t kind, const std::string& name) {
  return Record(0x20001, 16, {{8, code}, {12, kind}}, 16, name);
}

Bytes Header() {
  return Record(0x10001, 32, {{12, 5278701}, {20, -1458499310}, {28, 100}});
}

TEST(BglPrimitives, ReadSignedValuesAndTextWithoutZeros) {
  const Bytes b = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 'K', 0, 'S', 'E', 'A'};
  const BglBytes bgl(b);
  EXPECT_EQ(bgl.ReadInt32(0), -1);
  EXPECT_EQ(bgl.ReadInt16(4), 32767);
  EXPECT_EQ(bgl.ReadInt16(6), -32768);
  EXPECT_EQ(bgl.ReadByte(8), 'K');
  EXPECT_EQ(bgl.ReadText(8, 5), "KSEA");
  EXPECT_EQ(bgl.ReadText(8, 0), "");
  EXPECT_EQ(bgl.ReadText(8, -3), "");
  EXPECT_THROW(bgl.ReadInt32(10), ReadPastEnd);
  EXPECT_THROW(bgl.ReadInt32(-1), ReadPastEnd);
  EXPECT_THROW(bgl.ReadText(8, 6), ReadPastEnd);
  EXPECT_EQ(ReadSingleBits(0), 0.0f);
  EXPECT_EQ(ReadSingleBits(FloatBits(-150.0f)), -150.0f);
}

TEST(BglPrimitives, FrequencyTextReadsHexDigitsAsDecimal) {
  EXPECT_EQ(FrequencyText(0x1219000), "121.9");
  EXPECT_EQ(FrequencyText(0x1103000), "110.3");
  EXPECT_EQ(FrequencyText(0x1189500), "118.95");
  EXPECT_EQ(FrequencyText(0x1190000), "119");
  EXPECT_EQ(FrequencyText(0x5000), "0.5");
  EXPECT_EQ(FrequencyText(0), "0");
  EXPECT_THROW(FrequencyText(0x121A000), FormatError);
  EXPECT_THROW(FrequencyText(-1), FormatError);  // FFFFFFFF
}

TEST(BglPrimitives, ParkingNamesFromThePackedValue) {
  EXPECT_EQ(ParkingWord(9), "NW Parking");
  EXPECT_EQ(ParkingWord(38), "");
  EXPECT_EQ(ParkingWord(0), "");
  std::string word;
  EXPECT_EQ(ParkingName(0x00C0D, word), "GATE B 24");       // 3085 = 128 * 24 + 13
  EXPECT_EQ(ParkingName(0x7FF00182, word), "N PARKING 3");  // only the last five hex digits count
  EXPECT_EQ(ParkingName(128 * 5 + 10, word), "GATE 5");
  EXPECT_EQ(ParkingName(128 * 2 + 37, word), "GATE Z 2");
  // Codes outside 1..37 reuse the airport's previous word; 64 or more rounds the number up.
  EXPECT_EQ(ParkingName(128 * 7 + 0, word), "GATE Z 7");
  EXPECT_EQ(ParkingName(128 * 7 + 64, word), "GATE Z 8");  // 960/128 = 7.5 rounds to even 8, code -64
  std::string none;
  EXPECT_EQ(ParkingName(128 * 4 + 50, none), " 4");
}

class AirportExtraction : public ::testing::Test {
 protected:
  // A full airport: header, separate position, name, frequencies, three runways with aids, runway
  // ends and a taxi network.
  Bytes FullAirport() {
    const Bytes taxi = [] {
      Bytes t = Record(0x11001, 8);
      auto list = [&t](int32_t n, int32_t s, const Bytes& elements) {
        const size_t at = t.size();
        t.resize(at + 8);
        Put32(t, at, n);
        Put32(t, at + 4, s);
        t.insert(t.end(), elements.begin(), elements.end());
      };
      Bytes points;
      for (auto [type, x, z] : {std::tuple{1, 0.0f, 0.0f}, {2, -150.0f, 0.0f}, {3, 0.0f, 100.0f}}) {
        const size_t at = points.size();
        Put32(points, at, type);
        Put32(points, at + 4, FloatBits(x));
        Put32(points, at + 8, FloatBits(z));
      }
      list(3, 12, points);
      Bytes spots(40, 0);
      Put32(spots, 0, FloatBits(0.0f));
      Put32(spots, 4, FloatBits(0.0f));
      Put32(spots, 8, FloatBits(15.0f));
      Put32(spots, 16, 0x00C0D);
      Put32(spots, 20 + 8, FloatBits(10.0f));
      Put32(spots, 20 + 16, 128 * 3);  // code 0: the previous spot's word
      list(2, 20, spots);
      Bytes paths(96, 0);
      for (auto [i, type, start, end, number] :
           {std::tuple{0, 0, 0, 1, 0}, {1, 1, 1, 2, 1}, {2, 2, 2, 0, 7}}) {
        const size_t at = static_cast<size_t>(i) * 32;
        Put32(paths, at, type);
        Put32(paths, at + 12, start);
        Put32(paths, at + 16, end);
        Put32(paths, at + 28, number);
      }
      list(3, 32, paths);
      Bytes names(16, 0);
      names[0] = 'A';
      names[8] = 'B';
      names[9] = 0;
      names[10] = '2';
      list(2, 8, names);
      Put32(t, 4, static_cast<int32_t>(t.size() - 8));
      return t;
    }();
    return Join(
        {Header(), Record(0x10003, 24, {{12, 5279812}, {20, -1458618615}}),
         Record(0x10006, 8, {}, 8, std::string("Test Field\0", 11)), Frequency(0x1189000, 6, "TEST TOWER"),
         Frequency(0x1217000, 5, "TEST GROUND"), Frequency(0x1280000, 1, "ATIS"),
         Record(0x20001, 16, {{8, 0x1192000}, {12, 9}}),
         Record(0x10002, 56, {{40, 3000}, {44, 45}, {48, 1}, {52, 16}}),
         Record(0x10004, 48, {{36, 0x1103000}, {40, 4}}),
         Record(0x10002, 56, {{40, 3000}, {44, 30}, {48, 3}, {52, 9}}),
         Record(0x10004, 48, {{36, 0x1111000}, {40, 4}}),
         Record(0x10002, 56, {{40, 100}, {44, 10}, {48, 0}, {52, 40}}),
         Record(0x10005, 48,
                {{12, 5277723}, {20, -1458394322}, {28, 110}, {32, 0x40000000}, {36, 1}, {40, 1}, {44, 16}}),
         taxi, Terminator()});
  }

  geo::MagVarGrid Grid() {
    geo::MagVarGrid grid;
    grid.Set(geo::MagVarGrid::Index(238, 47), 2731);  // 15.0018 degrees east at 47N 122W
    return grid;
  }
};

TEST_F(AirportExtraction, DecodesEveryRecordType) {
  BglFile file;
  file.AirportSection({{std::string("KT\0ST", 5), FullAirport()}});
  const Collected c = Scan(file.Data(), Grid());
  ASSERT_EQ(c.airports.size(), 1u);
  const AirportRecord& a = c.airports[0];
  EXPECT_EQ(a.Ident, "KTST");
  EXPECT_EQ(a.Name, "TEST FIELD");
  EXPECT_DOUBLE_EQ(a.Latitude, 47.509994);  // the position record's, not the header's
  EXPECT_DOUBLE_EQ(a.Longitude, -122.26);
  EXPECT_EQ(a.ElevationFt, 328);
  EXPECT_EQ(a.TowerFreq, "118.9");
  EXPECT_EQ(a.TowerName, "TEST TOWER");
  EXPECT_EQ(a.GroundFreq, "121.7");
  EXPECT_EQ(a.GroundName, "TEST GROUND");
  EXPECT_EQ(a.ClearanceFreq, "");
  EXPECT_EQ(a.ApproachFreq, "119.2");
  EXPECT_EQ(a.ApproachName, "ATIS");  // a record without a name keeps the last name read

  // Equal lengths: the first runway stays; its ILS only.
  EXPECT_EQ(a.MainRunway.Ident, "16L");
  EXPECT_EQ(a.MainRunway.Length, 3000);
  EXPECT_EQ(a.MainRunway.Width, 45);
  EXPECT_EQ(a.MainRunway.IlsFrequency, "110.3");
  EXPECT_DOUBLE_EQ(a.MainRunway.ThresholdLat, 47.4912);
  EXPECT_DOUBLE_EQ(a.MainRunway.ThresholdLon, -122.2412);
  EXPECT_EQ(a.MainRunway.ThresholdElevationFt, 361);
  EXPECT_EQ(a.MainRunway.MagHeading, 75);  // 90 true, 15 east

  // Taxi points are placed from the header's reference point, not the separate position.
  ASSERT_EQ(a.TaxiPointCount, 3);
  ASSERT_EQ(a.TaxiPoints.size(), 3u);
  EXPECT_EQ(a.TaxiPoints[0], (TaxiPoint{1, 47.499997, -122.25}));
  EXPECT_EQ(a.TaxiPoints[1].Latitude, 47.499997);
  EXPECT_NEAR(a.TaxiPoints[1].Longitude, -122.251998, 1.5e-6);  // 150 m west
  EXPECT_NEAR(a.TaxiPoints[2].Latitude, 47.500897, 1.5e-6);     // 100 m north
  EXPECT_EQ(a.TaxiPoints[2].Longitude, -122.25);

  ASSERT_EQ(a.ParkingCount, 2);
  EXPECT_EQ(a.ParkingSpots[0].Name, "GATE B 24");
  EXPECT_EQ(a.ParkingSpots[0].RadiusFt, 49);
  EXPECT_EQ(a.ParkingSpots[0].Latitude, 47.499997);
  EXPECT_EQ(a.ParkingSpots[1].Name, "GATE B 3");
  EXPECT_EQ(a.ParkingSpots[1].RadiusFt, 33);
  EXPECT_EQ(a.ParkingSpots[1].Occupied, 0);

  ASSERT_EQ(a.TaxiPathCount, 3);
  EXPECT_EQ(a.TaxiPaths[0], (TaxiPath{0, 0, 1, "A"}));
  EXPECT_EQ(a.TaxiPaths[1], (TaxiPath{1, 1, 2, "Runway 9C"}));  // runway 1 in record order
  EXPECT_EQ(a.TaxiPaths[2], (TaxiPath{2, 2, 0, "7"}));
  EXPECT_TRUE(a.RuntimeList1.empty());
}

TEST_F(AirportExtraction, TaxiwayNamesRenameLiterallyInListOrder) {
  Bytes t = Record(0x11001, 8);
  const size_t at = t.size();
  Put32(t, at, 2);  // two paths of type 0 numbered 0 and 1
  Put32(t, at + 4, 32);
  t.resize(at + 8 + 64, 0);
  Put32(t, at + 8 + 28, 0);
  Put32(t, at + 8 + 32 + 28, 1);
  const size_t names = t.size();
  Put32(t, names, 2);
  Put32(t, names + 4, 8);
  t.resize(names + 8 + 16, 0);
  t[names + 8] = '1';   // element 0 is named "1" ...
  t[names + 16] = 'Z';  // ... and element 1 "Z": path 0 becomes "1", then "Z"
  Put32(t, 4, static_cast<int32_t>(t.size() - 8));
  BglFile file;
  file.AirportSection({{"KABC", Join({Header(), Frequency(0x1189000, 6, "T"), t, Terminator()})}});
  const auto a = Scan(file.Data()).airports.at(0);
  EXPECT_EQ(a.TaxiPaths[0].Name, "Z");
  EXPECT_EQ(a.TaxiPaths[1].Name, "Z");
}

TEST_F(AirportExtraction, GroundAndTowerStandInForEachOther) {
  BglFile file;
  file.AirportSection({{"GRND", Join({Header(), Frequency(0x1217000, 5, "G ONLY"), Terminator()})},
                       {"TOWR", Join({Header(), Frequency(0x1189000, 6, "T ONLY"), Terminator()})},
                       {"NONE", Join({Header(), Frequency(0x1280000, 7, "CLR"), Terminator()})}});
  const Collected c = Scan(file.Data());
  ASSERT_EQ(c.airports.size(), 2u);
  EXPECT_EQ(c.airports[0].TowerFreq, "121.7");
  EXPECT_EQ(c.airports[0].TowerName, "G ONLY");
  EXPECT_EQ(c.airports[1].GroundFreq, "118.9");
  EXPECT_EQ(c.airports[1].GroundName, "T ONLY");
}

TEST_F(AirportExtraction, AFailureEndsTheAirportButKeepsWhatWasDecoded) {
  BglFile file;
  file.AirportSection(
      {{"BADF", Join({Header(), Frequency(0x1189000, 6, "TWR"), Frequency(0x12A0000, 5, "BAD"),
                      Record(0x10006, 8, {}, 8, "NEVER READ"), Terminator()})},
       {"CUT",
        Join({Header(), Frequency(0x1189000, 6, "TWR"), Record(0x10002, 24, {{20, 1}})})},  // cut short
       {"NEXT", Join({Header(), Frequency(0x1200000, 6, "T"), Terminator()})}});
  const Collected c = Scan(file.Data());
  ASSERT_EQ(c.airports.size(), 3u);
  EXPECT_EQ(c.airports[0].Ident, "BADF");
  EXPECT_EQ(c.airports[0].Name, "");
  EXPECT_EQ(c.airports[0].GroundFreq, "118.9");
  EXPECT_EQ(c.airports[1].Ident, "CUT");
  EXPECT_EQ(c.airports[2].TowerFreq, "120");
}

TEST_F(AirportExtraction, RunwayEndsWithoutAnIdentReuseThePreviousOne) {
  const Bytes end34 =
      Record(0x10005, 48, {{12, 5279812}, {20, -1458618615}, {28, 0}, {32, 0}, {36, 0}, {40, 2}, {44, 34}});
  BglFile file;
  file.AirportSection(
      {{"KEND",
        Join({Header(), Frequency(0x1189000, 6, "T"), Record(0x10002, 56, {{40, 2000}, {48, 1}, {52, 16}}),
              Record(0x10005, 48, {{12, 5277723}, {20, -1458394322}, {32, 0}, {36, 1}, {40, 1}, {44, 16}}),
              end34, Terminator()})}});
  const auto a = Scan(file.Data()).airports.at(0);
  // The 34R end has no presence: it is compared as "16L" and overwrites the threshold.
  EXPECT_DOUBLE_EQ(a.MainRunway.ThresholdLat, 47.50999);
  EXPECT_EQ(a.MainRunway.MagHeading, 0);
}

TEST_F(AirportExtraction, EntriesThatDoNotQualifyAreSkipped) {
  const Bytes records = Join({Header(), Frequency(0x1189000, 6, "T"), Terminator()});
  BglFile file;
  BglFile::Airport wrongKind{"KIND", records};
  wrongKind.kind = 0x50002;
  BglFile::Airport badHeader{"HDR0", records};
  badHeader.header0 = 2;
  BglFile::Airport badHeader2{"HDR2", records};
  badHeader2.header2 = 0;
  BglFile::Airport otherType{"TYPE", records};
  otherType.entryType = 0x30003;
  file.AirportSection({wrongKind, badHeader, badHeader2, otherType, {"GOOD", records}});
  const Collected c = Scan(file.Data());
  ASSERT_EQ(c.airports.size(), 1u);
  EXPECT_EQ(c.airports[0].Ident, "GOOD");
}

TEST(BglScan, AHeaderWithoutSectionsYieldsNothing) {
  BglFile file;
  file.AirportSection({{"KAAA", Join({Header(), Frequency(0x1189000, 6, "T"), Terminator()})}});
  Bytes bytes = file.Data();
  Put32(bytes, 144, 2);
  EXPECT_TRUE(Scan(bytes).airports.empty());
  Put32(bytes, 144, 1);
  Put32(bytes, 156, 0);
  EXPECT_TRUE(Scan(bytes).airports.empty());
  Put32(bytes, 156, -5);
  EXPECT_TRUE(Scan(bytes).airports.empty());
}

TEST(BglScan, ReadsOutsideAnExtractionAreTheFilesError) {
  BglFile file;
  file.AirportSection({{"KAAA", Join({Header(), Frequency(0x1189000, 6, "T"), Terminator()})}});
  Bytes bytes = file.Data();
  Bytes tooShort(bytes.begin(), bytes.begin() + 140);
  EXPECT_THROW(Scan(tooShort), ReadPastEnd);
  Put32(bytes, 156, static_cast<int32_t>(bytes.size()));  // section offset at the end of the file
  EXPECT_THROW(Scan(bytes), ReadPastEnd);
  Bytes badData = file.Data();
  Put32(badData, 168 + 24 + 12, 1 << 30);  // the entry's data offset points outside
  EXPECT_THROW(Scan(badData), ReadPastEnd);
}

TEST(BglScan, ASizeThatDoesNotAdvanceEndsTheChain) {
  BglFile file;
  file.AirportSection({{"KAAA", Join({Header(), Frequency(0x1189000, 6, "T"), Terminator()})}});
  Bytes bytes = file.Data();
  Put32(bytes, 168 + 4, -8);  // the list names itself as its sibling
  EXPECT_EQ(Scan(bytes).airports.size(), 1u);
  Put32(bytes, 168 + 24 + 4, -8);  // and the entry itself
  EXPECT_EQ(Scan(bytes).airports.size(), 1u);
}

Bytes Airspace(std::initializer_list<Bytes> subRecords) {
  Bytes r = Record(1, 16, {{8, 5}});
  for (const Bytes& s : subRecords) r.insert(r.end(), s.begin(), s.end());
  const Bytes end = Terminator();
  r.insert(r.end(), end.begin(), end.end());
  Put32(r, 4, static_cast<int32_t>(r.size() - 8));
  return r;
}

Bytes Group(int32_t value, std::initializer_list<Bytes> members) {
  Bytes g = Record(1, 16, {{8, value}});
  for (const Bytes& m : members) g.insert(g.end(), m.begin(), m.end());
  const Bytes end = Terminator();
  g.insert(g.end(), end.begin(), end.end());
  Put32(g, 4, static_cast<int32_t>(g.size() - 8));
  return g;
}

TEST(AirspaceExtraction, ClassifiesConvertsAndDropsAsTheSectionSays) {
  const Bytes box = Record(
      0x1000B, 24, {{8, LatRaw(42.0)}, {12, LonRaw(-125.0)}, {16, LatRaw(49.0)}, {20, LonRaw(-116.5)}});
  const Bytes section = Join({
      Record(0x30001, 24, {{20, 0}}),  // an empty airport list first: the section resumes after it
      Group(4, {Airspace({Frequency(0x1251000, 0, "SEATTLE CENTER"),
                          Record(0x12002, 32, {{24, -1}, {28, -1}}), Record(0x12001, 20), box}),
                Airspace({Frequency(0x1242000, 0, "SEA LOW"), Record(0x12002, 32, {{24, -1}, {28, 5000}})}),
                Record(1, 16, {{8, 7}}),         // a type-1 member that is not an airspace
                Record(0x30001, 24, {{20, 0}}),  // a list inside a group is skipped
                Airspace({Record(0x12002, 32, {{24, -1}, {28, -1}}), box}),  // no frequency: dropped
                Airspace({Frequency(0x12B1000, 0, "BAD"), box}),             // bad code: dropped
                Airspace({Frequency(0x1331000, 0, "LAST"), box, Frequency(0x1332000, 0, "LATER"),
                          Record(0x1000B, 24, {{16, LatRaw(10.0)}})})}),
      Group(3, {Airspace({Frequency(0x1200000, 0, "NOT IN A GROUP")})}),
      Terminator(),
  });
  BglFile file;
  file.AirspaceSection(section);
  const Collected c = Scan(file.Data());
  ASSERT_EQ(c.airspaces.size(), 3u);
  EXPECT_EQ(c.airspaces[0], (AirspaceRecord{"SEATTLE CENTER", "ARTCC/FIR (HIGH)", "125.1", 49.0, 42.0, -116.5,
                                            -125.0, -1, -1}));
  EXPECT_EQ(c.airspaces[1], (AirspaceRecord{"SEA LOW", "ARTCC/FIR (LOW)", "124.2", 0, 0, 0, 0, -1, 5000}));
  // A second frequency or box overwrites the first.
  EXPECT_EQ(c.airspaces[2].CenterName, "LATER");
  EXPECT_EQ(c.airspaces[2].CenterFreq, "133.2");
  EXPECT_EQ(c.airspaces[2].NorthLat, 10.0);
  EXPECT_EQ(c.airspaces[2].SouthLat, 0.0);
}

// A byte damaged anywhere either stops the scan with a format error (the build's own) or costs at most
// what the damaged section held: the other section's record comes through as it was, and nothing is
// invented.
TEST(BglScan, AnyByteChangedAnywhereCostsAtMostItsOwnSection) {
  BglFile file;
  file.AirportSection({{"KAAA", Join({Header(), Frequency(0x1189000, 6, "T"),
                                      Record(0x10002, 56, {{40, 3000}, {48, 1}, {52, 16}}), Terminator()})}});
  file.AirspaceSection(Join({Group(4, {Airspace({Frequency(0x1251000, 0, "C")})}), Terminator()}));
  const Bytes good = file.Data();
  const Collected intact = Scan(good);
  ASSERT_EQ(intact.airports.size(), 1u);
  ASSERT_EQ(intact.airspaces.size(), 1u);
  const size_t airspaceSection = static_cast<size_t>(good[164] | good[165] << 8);
  int survived = 0;
  for (size_t i = 0; i < good.size(); ++i) {
    for (uint8_t v : {uint8_t{0x00}, uint8_t{0x80}, uint8_t{0xFF}}) {
      Bytes bytes = good;
      bytes[i] = v;
      Collected c;
      try {
        c = Scan(bytes);
      } catch (const FormatError&) {
        continue;
      }
      SCOPED_TRACE("byte " + std::to_string(i) + " = " + std::to_string(v));
      EXPECT_LE(c.airports.size(), 1u);
      EXPECT_LE(c.airspaces.size(), 1u);
      if (i >= airspaceSection) {
        EXPECT_EQ(c.airports, intact.airports);
      } else if (i >= 168) {
        EXPECT_EQ(c.airspaces, intact.airspaces);
      }
      ++survived;
    }
  }
  EXPECT_GT(survived, 0);
}

}  // namespace
}  // namespace skyvox::scenery
