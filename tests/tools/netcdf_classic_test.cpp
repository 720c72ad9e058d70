#include "netcdf_classic.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/temp_dir.h"
#include "terrain_cells.h"

namespace skyvox::tools {
namespace {
using skyvox::testing::TempDir;

constexpr uint32_t kDim = 0x0A;
constexpr uint32_t kVar = 0x0B;
constexpr uint32_t kAtt = 0x0C;
constexpr uint32_t kShort = 3, kInt = 4, kFloat = 5, kDouble = 6, kChar = 2;

// Big-endian bytes of a NetCDF classic file, written field by field.
class Cdf {
 public:
  Cdf& U32(uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
    return *this;
  }
  Cdf& U64(uint64_t v) { return U32(static_cast<uint32_t>(v >> 32)).U32(static_cast<uint32_t>(v)); }
  Cdf& I16(int16_t v) {
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Cdf& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
  Cdf& F64(double v) { return U64(std::bit_cast<uint64_t>(v)); }
  Cdf& Pad() {
    while (b.size() % 4 != 0) b.push_back(0);
    return *this;
  }
  // Name length, the name, padding.
  Cdf& Name(const std::string& name) {
    U32(static_cast<uint32_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    return Pad();
  }
  Cdf& Text(const std::string& name, const std::string& text) {
    Name(name).U32(kChar).U32(static_cast<uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    return Pad();
  }
  std::vector<uint8_t> b;
};

// A CDF file of a 3 x 2 grid: dims lat(3), lon(2), time (records, 2 of them); a global title; double
// coordinates; a packed short "height" (lat, lon); an int "count" and a float "temp" (lon); a record
// variable "series" (time, lon). `begins` are the offsets of the five variables' values.
Cdf Header(int version, const std::vector<uint64_t>& begins) {
  Cdf c;
  c.b = {'C', 'D', 'F', static_cast<uint8_t>(version)};
  c.U32(2);  // numrecs
  c.U32(kDim).U32(3).Name("lat").U32(3).Name("lon").U32(2).Name("time").U32(0);
  c.U32(kAtt).U32(1).Text("title", std::string("tiny\0", 5));  // NUL-padded text
  c.U32(kVar).U32(6);
  auto begin = [&](uint64_t v) { return version == 1 ? c.U32(static_cast<uint32_t>(v)) : c.U64(v); };
  c.Name("lat").U32(1).U32(0).U32(kAtt).U32(1).Text("units", "degrees_north");
  c.U32(kDouble).U32(24);
  begin(begins[0]);
  c.Name("lon").U32(1).U32(1).U32(0).U32(0).U32(kDouble).U32(16);
  begin(begins[1]);
  c.Name("height").U32(2).U32(0).U32(1).U32(kAtt).U32(3);
  c.Name("scale_factor").U32(kDouble).U32(1).F64(0.5);
  c.Name("add_offset").U32(kFloat).U32(1).F32(100);
  c.Name("missing_value").U32(kShort).U32(1).I16(-32768).Pad();
  c.U32(kShort).U32(12);
  begin(begins[2]);
  c.Name("count").U32(1).U32(1).U32(0).U32(0).U32(kInt).U32(8);
  begin(begins[3]);
  c.Name("temp").U32(1).U32(1).U32(kAtt).U32(1).Name("_FillValue").U32(kFloat).U32(1).F32(9.96921e36f);
  c.U32(kFloat).U32(8);
  begin(begins[4]);
  c.Name("series").U32(2).U32(2).U32(1).U32(0).U32(0).U32(kInt).U32(8);
  begin(0);
  return c;
}

std::vector<uint8_t> SampleFile(int version) {
  const size_t headerSize = Header(version, {0, 0, 0, 0, 0}).b.size();
  Cdf c = Header(version, {headerSize, headerSize + 24, headerSize + 40, headerSize + 52, headerSize + 60});
  c.F64(-5).F64(0).F64(5.5);                           // lat
  c.F64(350).F64(355);                                 // lon
  c.I16(0).I16(2).I16(-32768).I16(10).I16(1).I16(-1);  // height, rows of lon
  c.U32(70000).U32(static_cast<uint32_t>(-3));         // count
  c.F32(1.5f).F32(9.96921e36f);                        // temp
  return c.b;
}

NetCdfClassicFile Open(const TempDir& dir, const std::vector<uint8_t>& bytes) {
  dir.Write("f.nc", bytes);
  return NetCdfClassicFile(dir.File("f.nc"));
}

TEST(NetCdfClassic, ReadsTheHeaderAndEveryNumericType) {
  TempDir dir;
  for (int version : {1, 2}) {
    NetCdfClassicFile f = Open(dir, SampleFile(version));
    EXPECT_EQ(f.Version(), version);
    ASSERT_EQ(f.Dimensions().size(), 3u);
    EXPECT_EQ(f.Dimensions()[1].Name, "lon");
    EXPECT_TRUE(f.Dimensions()[2].IsRecord);
    EXPECT_EQ(f.Dimensions()[2].Length, 2u);  // the record count
    EXPECT_EQ(FindAttribute(f.GlobalAttributes(), "title")->Text, "tiny");
    ASSERT_EQ(f.Variables().size(), 6u);
    EXPECT_EQ(FindAttribute(f.FindVariable("lat")->Attributes, "units")->Text, "degrees_north");
    EXPECT_EQ(f.FindVariable("elevation"), nullptr);

    const NcVariable& height = *f.FindVariable("height");
    EXPECT_EQ(f.Shape(height), (std::vector<uint64_t>{3, 2}));
    EXPECT_EQ(f.ReadValues(*f.FindVariable("lat")), (std::vector<double>{-5, 0, 5.5}));
    EXPECT_EQ(f.ReadValues(height), (std::vector<double>{0, 2, -32768, 10, 1, -1}));
    // value × 0.5 + 100; the missing value becomes NaN.
    const std::vector<double> unpacked = f.ReadUnpacked(height);
    EXPECT_EQ(unpacked[0], 100);
    EXPECT_EQ(unpacked[1], 101);
    EXPECT_TRUE(std::isnan(unpacked[2]));
    EXPECT_EQ(unpacked[3], 105);
    EXPECT_EQ(unpacked[5], 99.5);
    EXPECT_EQ(f.ReadValues(*f.FindVariable("count")), (std::vector<double>{70000, -3}));
    const std::vector<double> temp = f.ReadUnpacked(*f.FindVariable("temp"));
    EXPECT_EQ(temp[0], 1.5);
    EXPECT_TRUE(std::isnan(temp[1]));  // _FillValue

    const NcVariable& series = *f.FindVariable("series");
    EXPECT_TRUE(series.IsRecordVariable);
    EXPECT_EQ(f.Shape(series), (std::vector<uint64_t>{2, 2}));
    EXPECT_THROW(f.ReadValues(series), FormatError);
  }
}

TEST(NetCdfClassic, EveryTruncationIsAFormatError) {
  TempDir dir;
  const std::vector<uint8_t> whole = SampleFile(1);
  const size_t headerSize = Header(1, {0, 0, 0, 0, 0}).b.size();
  for (size_t n = 0; n < headerSize; ++n) {
    EXPECT_THROW(Open(dir, std::vector<uint8_t>(whole.begin(), whole.begin() + n)), FormatError) << n;
  }
  // A complete header whose values are cut short: the header reads, the values do not.
  NetCdfClassicFile f = Open(dir, std::vector<uint8_t>(whole.begin(), whole.end() - 9));
  EXPECT_NO_THROW(f.ReadValues(*f.FindVariable("height")));
  EXPECT_THROW(f.ReadValues(*f.FindVariable("count")), ReadPastEnd);
}

TEST(NetCdfClassic, RefusesHostileHeadersWithoutAllocatingThem) {
  TempDir dir;
  auto start = [] {
    Cdf c;
    c.b = {'C', 'D', 'F', 1};
    return c.U32(0);
  };
  auto refuses = [&](const Cdf& c) {
    std::vector<uint8_t> bytes = c.b;
    bytes.resize(bytes.size() + 64, 0);  // some room, far less than the header claims
    EXPECT_THROW(Open(dir, bytes), FormatError);
  };
  refuses(start().U32(kDim).U32(0x7FFFFFFF));                           // two billion dimensions
  refuses(start().U32(kDim).U32(0x80000000));                           // a negative count
  refuses(start().U32(kDim).U32(1).U32(0x7FFFFFF0));                    // a 2 GB name
  refuses(start().U32(kDim).U32(2).Name("a").U32(0).Name("b").U32(0));  // two record dimensions
  refuses(start().U32(0).U32(0).U32(kAtt).U32(1).Name("x").U32(kDouble).U32(0x10000000));
  refuses(start().U32(0).U32(0).U32(0).U32(0).U32(kVar).U32(1).Name("v").U32(1).U32(0));  // no dim 0
  refuses(start().U32(0).U32(0).U32(0).U32(0).U32(kVar).U32(1).Name("v").U32(0).U32(0).U32(0).U32(7));
  refuses(start().U32(kAtt).U32(0));  // a list out of its place
  refuses(start().U32(0).U32(1));     // an "absent" list with elements
  Cdf badMagic;
  badMagic.b = {'C', 'D', 'G', 1};
  refuses(badMagic);
  Cdf version5;
  version5.b = {'C', 'D', 'F', 5};
  refuses(version5);
  Cdf recordInside = start().U32(kDim).U32(2).Name("a").U32(2).Name("t").U32(0);
  refuses(recordInside.U32(0).U32(0).U32(kVar).U32(1).Name("v").U32(2).U32(0).U32(1).U32(0).U32(0).U32(kInt));

  // A shape of 2^31 × 2^31 × 2^31 doubles at an offset beyond 4 GiB: refused when read, not allocated.
  Cdf huge;
  huge.b = {'C', 'D', 'F', 2};
  huge.U32(0).U32(kDim).U32(1).Name("n").U32(0x7FFFFFFF).U32(0).U32(0);
  huge.U32(kVar).U32(2).Name("big").U32(3).U32(0).U32(0).U32(0).U32(0).U32(0).U32(kDouble).U32(0).U64(8);
  huge.Name("far").U32(0).U32(0).U32(0).U32(kDouble).U32(8).U64(0x100000010ULL);
  NetCdfClassicFile f = Open(dir, huge.b);
  EXPECT_THROW(f.ReadValues(*f.FindVariable("big")), ReadPastEnd);
  EXPECT_EQ(f.FindVariable("far")->Begin, 0x100000010ULL);
  EXPECT_THROW(f.ReadValues(*f.FindVariable("far")), ReadPastEnd);
  EXPECT_THROW(NetCdfClassicFile(dir.File("missing.nc")), FileError);
}

TEST(TerrainCells, SnapsADriftingAxisAndRefusesAnUnevenOne) {
  // Longitudes as etopo5.cdf stores them: a step of 0.0833341 degrees instead of 1/12.
  std::vector<double> drifting;
  for (int i = 0; i < 4320; ++i) drifting.push_back(i * 0.0833341051);
  EXPECT_EQ(AxisSpacingSeconds(drifting), 300);
  const std::vector<int32_t> steps = SnapAxis(drifting, 300);
  EXPECT_EQ(steps[2160], 2160);
  EXPECT_EQ(steps.back(), 4319);
  EXPECT_EQ(SnapAxis({90, 89.5, 89}, 1800), (std::vector<int32_t>{180, 179, 178}));
  EXPECT_THROW(SnapAxis({0, 0.5, 1.2}, 1800), FormatError);  // 0.4 sample off the grid
  EXPECT_THROW(SnapAxis({0, 0.5, 1.5}, 1800), FormatError);  // a gap
  EXPECT_THROW(SnapAxis({0, 0.5, 0}, 1800), FormatError);    // turns back
  EXPECT_THROW(AxisSpacingSeconds({1.0}), FormatError);
}

TEST(TerrainCells, KeepsTheHighestLandSampleOfEachCellInOrder) {
  const double nan = std::nan("");
  ElevationGrid g;
  g.SpacingSeconds = 1800;                              // half a degree, 720 samples a turn
  g.LatitudeSteps = {1, 0, -1};                         // 0.5, 0, -0.5: north to south in the file
  g.LongitudeSteps = {358, 359, 360, 361, 362, 1080};   // 179 … 181 degrees; the last repeats 180
  g.Metres = {8000, 8847.9, 100,   50,  nan,    9999,   // lat 0.5
              8848, 1,      30.48, 100, 0.1524, 9999,   // lat 0
              0,    0,      -5,    nan, nan,    9999};  // lat -0.5
  const CellSelection s = SelectCellMaxima(g, 2);
  // Cells of 1 x 1 degree. Lat -0.5: the cells hold -5 (sea), only NaN, 0 (not above sea level).
  // Lat 0 … 0.5, west to east from the antimeridian: 100 m twice, the southern one wins (328.08 ft);
  // 0.1524 m = 0.5 ft, to even 0; 8848 m = 29028.87 ft.
  EXPECT_EQ(s.CellCount, 5u);
  EXPECT_EQ(s.Points, (std::vector<TerrainRecord>{{0, -179.5, 328}, {0, -179, 0}, {0, 179, 29029}}));
  g.Metres.pop_back();
  EXPECT_THROW(SelectCellMaxima(g, 2), FormatError);
}

TEST(TerrainCells, EncodesTwentyByteLittleEndianRecords) {
  const std::vector<uint8_t> bytes = EncodeTerrainRecords({{1.0, -2.0, 29029}});
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0,    0,    0, 0, 0, 0, 0xF0, 0x3F,  // 1.0
                                         0,    0,    0, 0, 0, 0, 0,    0xC0,  // -2.0
                                         0x65, 0x71, 0, 0}));                 // 29029 = 0x7165
}

}  // namespace
}  // namespace skyvox::tools
