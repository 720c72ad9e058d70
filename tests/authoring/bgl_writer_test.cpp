#include "authoring/bgl_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace skyvox::authoring {
namespace {
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

int32_t I32At(const std::vector<uint8_t>& b, size_t offset) {
  EXPECT_LE(offset + 4, b.size());
  if (offset + 4 > b.size()) return 0;
  return static_cast<int32_t>(b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
                              (static_cast<uint32_t>(b[offset + 3]) << 24));
}

float FloatAt(const std::vector<uint8_t>& b, size_t offset) {
  return std::bit_cast<float>(I32At(b, offset));
}

std::string TextAt(const std::vector<uint8_t>& b, size_t offset, size_t length) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(offset),
                     b.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// One airport with one of each record, at the reference point so that every taxi offset is 0, and one
// airspace. The offsets below follow from the record sizes: header 168, list 8+34, terminator 8, data
// header 16, airport header 8+24, name 8+1, frequency 8+9, runway 8+48, ILS 8+36, runway end 8+40,
// taxi data 8+104, terminator 8; then the airspace group.
DescribedAirport TinyAirport() {
  DescribedAirport a;
  a.Ident = "KA";
  a.Name = "N";
  a.Latitude = 45;
  a.Longitude = -90;
  a.ElevationFt = 328;
  a.Frequencies = {{kFrequencyTower, "121.9", "T"}};
  a.Runways = {{9, 3, 5000, 100, "110.3"}};
  a.RunwayEnds = {{9, 3, 45, -90, 0, 90}};
  a.TaxiPoints = {{1, 45, -90}};
  a.ParkingSpots = {{13, 24, 45, -90, 100}};
  a.TaxiPaths = {{kTaxiwayPath, 0, 0, "A", 0}};
  return a;
}

DescribedAirspace TinyAirspace() {
  return {"C", "125.1", -1, -1, 1, -1, 2, -2};
}

struct Field {
  size_t offset;
  int32_t value;
};

template <size_t N>
void ExpectFields(const std::vector<uint8_t>& b, const Field (&fields)[N]) {
  for (const Field& f : fields) EXPECT_EQ(I32At(b, f.offset), f.value) << "at " << f.offset;
}

TEST(BglFile, TinyWorldLandsAtTheHandComputedOffsets) {
  const std::vector<DescribedAirport> airports = {TinyAirport()};
  const std::vector<DescribedAirspace> airspaces = {TinyAirspace()};
  const std::vector<uint8_t> b = BuildBglFile(airports, airspaces);
  ASSERT_EQ(b.size(), 689u);

  // File header; the airport list, its one entry ("KA"), the list's terminator.
  EXPECT_EQ(static_cast<uint32_t>(I32At(b, 118)), 0x87654321u);
  const Field header[] = {{144, 1},   {156, 168}, {164, 560},     {110, 0},  {168, 0x30001},
                          {172, 34},  {188, 1},   {192, 0x30002}, {196, 10}, {200, 0x50001},
                          {204, 218}, {210, 0},   {214, 0}};
  ExpectFields(b, header);
  EXPECT_EQ(TextAt(b, 208, 2), "KA");

  // Data header at d = 218, then the airport header: 45 * 10001750 / 90 = 5000875, -90 degrees is a
  // quarter turn west, 328 ft = 99.97 m; the name "N" and the tower frequency "T".
  const Field airport[] = {{218, 1},           {226, 1},          {234, 0x10001}, {238, 24}, {246, 5000875},
                           {254, -0x40000000}, {262, 100},        {266, 0x10006}, {270, 1},  {275, 0x20001},
                           {279, 9},           {283, 0x01219000}, {287, 6}};
  ExpectFields(b, airport);
  EXPECT_EQ(TextAt(b, 274, 1), "N");
  EXPECT_EQ(TextAt(b, 291, 1), "T");

  // Runway 9C, 5000 x 100, and its ILS right after it. Runway end 9C heading 90 true: a quarter of 2^32.
  const Field runway[] = {{292, 0x10002},    {296, 48},          {332, 5000},    {336, 100},
                          {340, 3},          {344, 9},           {348, 0x10004}, {352, 36},
                          {384, 0x01103000}, {388, 4},           {392, 0x10005}, {396, 40},
                          {404, 5000875},    {412, -0x40000000}, {420, 0},       {424, 0x40000000},
                          {428, 1},          {432, 3},           {436, 9}};
  ExpectFields(b, runway);

  // Taxi data: points, parking, paths, names, each list headed by count and element size; x and z of a
  // point at the reference are 0, parking 128 * 24 + 13 is GATE B 24, the path names taxiway "A" (index 0).
  // Then the airport's terminator.
  const Field taxi[] = {{440, 0x11001}, {444, 104}, {448, 1},       {452, 12}, {456, 1},  {460, 0}, {464, 0},
                        {468, 1},       {472, 20},  {492, 0x00C0D}, {496, 1},  {500, 32}, {504, 0}, {516, 0},
                        {520, 0},       {532, 0},   {536, 1},       {540, 8},  {552, 0},  {556, 0}};
  ExpectFields(b, taxi);
  EXPECT_FLOAT_EQ(FloatAt(b, 484), 30.48f);  // 100 ft in metres
  EXPECT_EQ(TextAt(b, 544, 8), std::string("A\0\0\0\0\0\0\0", 8));

  // Airspace section: group (+8 = 4), airspace (+8 = 5), frequency "C", limits, box (south -1: 10001750 /
  // 90 = 111130.6; west -2: 2^33 / 360 = 23860929.4), three terminators.
  const Field airspace[] = {
      {560, 1},       {564, 113},       {568, 4},      {576, 1},          {580, 89},
      {584, 5},       {592, 0x20001},   {596, 9},      {600, 0x01251000}, {609, 0x12002},
      {613, 24},      {633, -1},        {637, -1},     {641, 0x1000B},    {645, 16},
      {649, -111131}, {653, -23860929}, {657, 111131}, {661, 23860929},   {665, 0},
      {669, 0},       {673, 0},         {677, 0},      {681, 0},          {685, 0}};
  ExpectFields(b, airspace);
  EXPECT_EQ(TextAt(b, 608, 1), "C");
}

TEST(BglFile, WithoutContentHasOnlyTheHeader) {
  const std::vector<uint8_t> b = BuildBglFile({}, {});
  ASSERT_EQ(b.size(), 168u);
  EXPECT_EQ(I32At(b, 144), 1);
  EXPECT_EQ(I32At(b, 156), 0);
  EXPECT_EQ(I32At(b, 164), 0);
}

TEST(RawUnits, RoundToTheNearestRawValue) {
  EXPECT_EQ(LatitudeRaw(-90), -10001750);
  EXPECT_EQ(LatitudeRaw(1), 111131);
  EXPECT_EQ(LongitudeRaw(90), 0x40000000);
  EXPECT_EQ(LongitudeRaw(180), std::numeric_limits<int32_t>::min());  // wraps to -180
  EXPECT_EQ(LongitudeRaw(-180), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(HeadingRaw(360), 0u);
  EXPECT_EQ(HeadingRaw(270), 0xC0000000u);
  EXPECT_EQ(HeadingRaw(180), 0x80000000u);
  EXPECT_EQ(MetresFromFeet(433), 132);  // 131.98 m
  EXPECT_EQ(ParkingNameValue(1, 3), 385u);
  EXPECT_THROW(ParkingNameValue(64, 1), FormatError);
  EXPECT_THROW(ParkingNameValue(1, 8192), FormatError);
}

// The reader's rule, written independently in its atan2 form: from the origin, |offset| / 1852 nm on a
// great circle on the given course, rounded to 6 decimals.
LatLon Reach(LatLon origin, double course, double metres) {
  constexpr double kDeg = 3.14159265358979323846 / 180;
  const double d = std::abs(metres) / 1852 / 60 * kDeg;
  const double phi1 = origin.Latitude * kDeg;
  const double tc = course * kDeg;
  const double phi2 = std::asin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(tc));
  const double dl =
      std::atan2(std::sin(tc) * std::sin(d) * std::cos(phi1), std::cos(d) - std::sin(phi1) * std::sin(phi2));
  return {std::round(phi2 / kDeg * 1e6) / 1e6, std::round((origin.Longitude + dl / kDeg) * 1e6) / 1e6};
}

TEST(TaxiOffsets, ReadBackToThePointFromTheStoredReference) {
  // 47.449 is not a whole number of raw latitude units: 5273034 of them read back as 47.449002, which
  // is the reader's origin.
  const LatLon reference{47.449, -122.5};
  const LatLon origin{47.449002, -122.5};
  for (const LatLon& point : {LatLon{47.456001, -122.490001}, LatLon{47.4, -122.53}, LatLon{47.5, -122.5},
                              LatLon{47.449002, -122.500001}}) {
    const auto [x, z] = TaxiOffsets(reference, point);
    const double lon = x == 0 ? origin.Longitude : Reach(origin, x > 0 ? 90 : 270, x).Longitude;
    const double lat = z == 0 ? origin.Latitude : Reach(origin, z > 0 ? 0 : 180, z).Latitude;
    EXPECT_NEAR(lon, point.Longitude, 1.01e-6) << x;
    EXPECT_NEAR(lat, point.Latitude, 1.01e-6) << z;
  }
  // 0.01 degree of latitude is 0.6 nm; along a meridian the great circle is exact.
  EXPECT_NEAR(TaxiOffsets({0, 0}, {-0.01, 0}).second, -1111.2f, 0.01f);
  EXPECT_EQ(TaxiOffsets({0, 0}, {-0.01, 0}).first, 0.0f);
  EXPECT_THROW(TaxiOffsets({0, 0}, {0, 1.5}), FormatError);  // 167 km away
}

// Each case spoils one thing of the tiny airport: taxi paths (end point, name length, runway and parking
// paths), a frequency text, a parking name code, the latitude.
TEST(BglFile, RefusesWhatTheLayoutCannotHold) {
  using Spoil = void (*)(DescribedAirport&);
  const Spoil spoils[] = {
      [](DescribedAirport& a) { a.TaxiPaths[0].EndPoint = 1; },
      [](DescribedAirport& a) { a.TaxiPaths[0].TaxiwayName = "TOOLONGNM"; },
      [](DescribedAirport& a) {
        a.TaxiPaths = {{kRunwayPath, 0, 0, "", 1}};
      },
      [](DescribedAirport& a) {
        a.TaxiPaths = {{kParkingPath, 0, 1, "", 0}};
      },
      [](DescribedAirport& a) { a.Frequencies[0].Mhz = "12x"; },
      [](DescribedAirport& a) { a.ParkingSpots[0].NameCode = 70; },
      [](DescribedAirport& a) { a.Latitude = 91; },
  };
  for (size_t i = 0; i < std::size(spoils); ++i) {
    std::vector<DescribedAirport> airports = {TinyAirport()};
    spoils[i](airports[0]);
    EXPECT_THROW(BuildBglFile(airports, {}), FormatError) << "case " << i;
  }
}

TEST(SceneryFolder, HoldsTheConfigurationMagdecAndEachAreasFiles) {
  TempDir dir;
  WorldDescription world;
  world.Areas.push_back({"Scenery\\World",
                         "World Airports",
                         {{"ap_a.bgl", {TinyAirport()}, {}}, {"b.bgl", {}, {TinyAirspace()}}}});
  world.Areas.push_back({"Addon/Scenery", "Addon", {}});
  // A folder copied from Windows: its program and scenery folder in other letter cases.
  dir.Write("FS2002.EXE", std::string("real program"));
  std::filesystem::create_directories(dir.Path() / "SCENERY");
  const std::vector<uint8_t> magdec = {1, 2, 3, 4};
  WriteSceneryFolder(world, dir.Str(), magdec);

  EXPECT_EQ(ReadBytes(dir.File("FS2002.EXE")),
            (std::vector<uint8_t>{'r', 'e', 'a', 'l', ' ', 'p', 'r', 'o', 'g', 'r', 'a', 'm'}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("fs2002.exe")));
  EXPECT_EQ(ReadBytes(dir.Path() / "SCENERY" / "magdec.bgl"), magdec);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Scenery"));
  const std::vector<DescribedAirport> airports = {TinyAirport()};
  EXPECT_EQ(ReadBytes(dir.Path() / "SCENERY" / "World" / "scenery" / "ap_a.bgl"), BuildBglFile(airports, {}));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "SCENERY" / "World" / "scenery" / "b.bgl"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "Addon" / "Scenery"));

  const std::vector<uint8_t> cfg = ReadBytes(dir.File("scenery.cfg"));
  EXPECT_EQ(std::string(cfg.begin(), cfg.end()),
            "[General]\r\nTitle=World Scenery\r\nDescription=Scenery written from a world description\r\n"
            "\r\n[Area.001]\r\nTitle=World Airports\r\nTexture_ID=1\r\nRemote=\r\nLocal=Scenery\\World\r\n"
            "Layer=1\r\nActive=TRUE\r\nRequired=FALSE\r\n"
            "\r\n[Area.002]\r\nTitle=Addon\r\nTexture_ID=2\r\nRemote=\r\nLocal=Addon/Scenery\r\n"
            "Layer=2\r\nActive=TRUE\r\nRequired=FALSE\r\n");
}

TEST(SceneryFolder, FreshFolderGetsThePlaceholderProgramAndMixedCaseFolders) {
  TempDir dir;
  const std::string out = (dir.Path() / "sim").string();
  WriteSceneryFolder(ParseWorldDescription("AREA Scenery\\World W\nFILE a.bgl\n"), out, {});
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(out) / "fs2002.exe"));
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(out) / "Scenery" / "magdec.bgl"));
  EXPECT_EQ(ReadBytes(std::filesystem::path(out) / "Scenery" / "World" / "scenery" / "a.bgl").size(), 168u);

  dir.Write("plain_file", std::string("x"));
  EXPECT_THROW(WriteSceneryFolder(WorldDescription{}, dir.File("plain_file").string(), {}), FileError);
  WorldDescription escaping;
  escaping.Areas.push_back({"..\\outside", "Bad", {}});
  EXPECT_THROW(WriteSceneryFolder(escaping, out, {}), FormatError);
}

}  // namespace
}  // namespace skyvox::authoring
