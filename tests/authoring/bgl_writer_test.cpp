#include "authoring/bgl_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/errors.h"
#include "support/platform.h"
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

// One airport with one record of each kind, at the reference point so that every taxi offset is 0, and
// one airspace (the same as tests/data/golden/tiny.world, whose bytes are kept there).
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
  // (On a case-blind file system every case names the same file.)
  if (!testing::kWindows) EXPECT_FALSE(std::filesystem::exists(dir.File("fs2002.exe")));
  EXPECT_EQ(ReadBytes(dir.Path() / "SCENERY" / "magdec.bgl"), magdec);
  if (!testing::kWindows) EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Scenery"));
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
