#include "scenery/magvar_terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>

#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "base/errors.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
using namespace skyvox::authoring;
namespace {
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

TEST(MagneticVariation, LoadsTheWholeGridButItsLastEntry) {
  geo::MagVarGrid written;
  written.Set(geo::MagVarGrid::Index(0, 0), 11);
  written.Set(geo::MagVarGrid::Index(359, 90), -22);
  written.Set(geo::MagVarGrid::Index(238, 47), 2731);
  EXPECT_EQ(geo::MagVarGrid::Index(0, 0), 90u);
  EXPECT_EQ(geo::MagVarGrid::Index(359, 90), 65159u);
  geo::MagVarGrid grid;
  grid.Set(65160, 7);  // never written by the loader
  ASSERT_EQ(LoadMagneticVariation(BuildMagdecBgl(written), grid), MagdecStatus::Loaded);
  EXPECT_EQ(grid.At(90), 11);
  EXPECT_EQ(grid.At(65159), -22);
  EXPECT_EQ(grid.At(geo::MagVarGrid::Index(238, 47)), 2731);
  EXPECT_EQ(grid.At(65160), 7);
}

TEST(MagneticVariation, AFileWithoutDataOrTooShortLeavesTheGridAlone) {
  geo::MagVarGrid written;
  written.Set(100, 5);
  std::vector<uint8_t> bytes = BuildMagdecBgl(written);
  geo::MagVarGrid grid;
  grid.Set(100, 9);

  std::vector<uint8_t> noData = bytes;
  noData[110] = noData[111] = noData[112] = noData[113] = 0;  // V = 0
  EXPECT_EQ(LoadMagneticVariation(noData, grid), MagdecStatus::NoData);
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);  // the very last value is missing
  EXPECT_EQ(LoadMagneticVariation(cut, grid), MagdecStatus::TooShort);
  EXPECT_EQ(LoadMagneticVariation(std::vector<uint8_t>(50, 0), grid), MagdecStatus::TooShort);
  EXPECT_EQ(grid.At(100), 9);

  TempDir dir;
  EXPECT_EQ(LoadMagneticVariation(dir.File("magdec.bgl"), grid), MagdecStatus::Missing);
  dir.Write("magdec.bgl", bytes);
  EXPECT_EQ(LoadMagneticVariation(dir.File("magdec.bgl"), grid), MagdecStatus::Loaded);
  EXPECT_EQ(grid.At(100), 5);
}

// Without a usable magdec.bgl the design gives no variation; corrected, the shipped model's for the date.
// A readable file still wins, and a model file that cannot be read changes nothing.
TEST(MagneticVariation, WithoutMagdecTheCorrectedModeTakesTheModel) {
  TempDir dir;
  const std::filesystem::path cof = std::filesystem::path(skyvox::testing::SourceRoot()) / "data" / "WMM.COF";
  dir.Write("short.bgl", std::vector<uint8_t>(50, 0));
  geo::MagVarGrid written;
  written.Set(100, 5);
  dir.Write("magdec.bgl", BuildMagdecBgl(written));
  using Path = std::optional<std::filesystem::path>;
  const struct {
    bool corrected;
    Path magdec, model;
    MagdecStatus status;
    double seattle;  // degrees east at 47 N 122 W
  } cases[] = {{false, {}, cof, MagdecStatus::Missing, 0},
               {false, dir.File("short.bgl"), cof, MagdecStatus::TooShort, 0},
               {true, {}, cof, MagdecStatus::Modelled, 14.85},
               {true, dir.File("short.bgl"), cof, MagdecStatus::Modelled, 14.85},
               {true, {}, dir.File("none.cof"), MagdecStatus::Missing, 0},
               {true, dir.File("magdec.bgl"), cof, MagdecStatus::Loaded, 0}};
  for (const auto& c : cases) {
    WorldTables world;
    world.Corrected.On = c.corrected;
    EXPECT_EQ(LoadSessionVariation(c.magdec, world, *c.model, 2025.5), c.status) << c.model->string();
    EXPECT_NEAR(world.MagVarGrid.At(geo::MagVarGrid::Index(238, 47)) * 360 / 65536.0, c.seattle, 0.1);
    EXPECT_EQ(world.MagVarGrid.At(100) == 5, c.status == MagdecStatus::Loaded);
  }
}

std::vector<uint8_t> TerrainFile(const std::vector<TerrainPoint>& points) {
  ByteWriter out;
  for (const TerrainPoint& p : points) WriteTerrainPoint(out, p);
  return out.Take();
}

TEST(TerrainPoints, KeepsPointsWithinNinetyWholeMilesInFileOrder) {
  AirportRecord airport;
  airport.Latitude = 0;
  airport.Longitude = 0;
  const TerrainPoint at90{1.5, 0, 100};        // 90 nm north
  const TerrainPoint at91{91.0 / 60, 0, 200};  // 91 nm north
  const TerrainPoint east{0, 1.49, 300};       // 89.4 nm east
  const TerrainPoint far{10, 10, 400};
  const TerrainPoint broken{std::nan(""), 0, 500};
  std::vector<uint8_t> bytes = TerrainFile({at91, at90, far, broken, east});
  bytes.resize(bytes.size() + 7);  // a cut-short record at the end is not read

  WorldTables tables;
  LoadTerrainPoints(airport, bytes, tables);
  ASSERT_EQ(tables.TerrainPointCount, 2);
  ASSERT_EQ(tables.TerrainPoints.size(), 3u);  // one spare element after the points
  EXPECT_EQ(tables.TerrainPoints[0], at90);
  EXPECT_EQ(tables.TerrainPoints[1], east);
  EXPECT_EQ(tables.TerrainPoints[2], TerrainPoint{});
}

TEST(TerrainPoints, NeighbouringAirportsStoreSharedPointsTwice) {
  AirportRecord a;
  a.Latitude = 47.45;
  a.Longitude = -122.31;
  AirportRecord b = a;
  b.Latitude += 10.0 / 60;  // 10 nm north
  const std::vector<uint8_t> bytes =
      TerrainFile({{47.5, -122.3, 1000}, {46.0, -122.31, 2000}, {49.0, -122.31, 3000}});
  WorldTables tables;
  LoadTerrainPoints(a, bytes, tables);  // 47.5 (3 nm) and 46.0 (87 nm); 49.0 is 93 nm away
  LoadTerrainPoints(b, bytes, tables);  // 47.5 (7 nm) and 49.0 (83 nm); 46.0 is 97 nm away
  ASSERT_EQ(tables.TerrainPointCount, 4);
  EXPECT_EQ(tables.TerrainPoints[0].Elevation, 1000);
  EXPECT_EQ(tables.TerrainPoints[1].Elevation, 2000);
  EXPECT_EQ(tables.TerrainPoints[2].Elevation, 1000);
  EXPECT_EQ(tables.TerrainPoints[3].Elevation, 3000);
}

TEST(TerrainFile, AFileOfTheUsersOwnIsKeptOneThatDoesNotAddUpCopiedAgainOrReported) {
  TempDir dir;
  const std::vector<uint8_t> shipped = TerrainFile({{1, 2, 3}, {4, 5, 6}}),
                             own(shipped.begin() + 20, shipped.end());
  dir.Write("shipped.db", shipped);
  dir.Write("world_terrain.db", own);
  EXPECT_EQ(InstallTerrainFile(dir.Path(), dir.File("shipped.db")), "");
  dir.Write("world_terrain.db", std::vector<uint8_t>(33));  // ends inside a record
  EXPECT_THROW(InstallTerrainFile(dir.Path(), dir.File("none.db")), FileError);
  EXPECT_EQ(ReadBytes(dir.File("world_terrain.db")).size(), 33u);
  EXPECT_NE(InstallTerrainFile(dir.Path(), dir.File("shipped.db")).find("copied again"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir.File("world_terrain.db")), shipped);
  EXPECT_FALSE(dir.Exists("world_terrain.db.copying"));
}

}  // namespace
}  // namespace skyvox::scenery
