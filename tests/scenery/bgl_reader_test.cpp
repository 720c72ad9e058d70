#include "scenery/bgl_reader.h"

#include <gtest/gtest.h>

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

// Whole airports and airspaces decoded field by field: the hand-written BGL files of
// tests/data/golden (*.bglhex), built and dumped through skyvox-db.

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
