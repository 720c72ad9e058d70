// make-scenery, then the real build, then the database: a world description written as a simulator
// folder and read back by the scenery library reader, the BGL reader and the database files must give
// what the description says, in the units and roundings the database keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "authoring/bgl_writer.h"
#include "authoring/magdec_writer.h"
#include "authoring/world_description.h"
#include "base/files.h"
#include "base/rounding.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "scenery/bgl_reader.h"
#include "scenery/database_build.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
using namespace skyvox::authoring;
namespace {
using skyvox::testing::TempDir;

struct Built {
  WorldTables tables;
  std::vector<AirportRecord> airports;
  std::vector<AirspaceRecord> airspaces;
};

// Writes the world as a simulator folder and builds the database from it, tick by tick.
Built BuildFrom(const WorldDescription& world, const geo::MagVarGrid& grid, const TempDir& sim,
                const TempDir& app) {
  WriteSceneryFolder(world, sim.Str(), BuildMagdecBgl(grid));
  Built built;
  built.tables.AppFolder = app.Str();
  built.tables.SimFolder = sim.Str();
  built.tables.MagVarGrid = grid;
  DatabaseBuild build(built.tables);
  build.Start();
  int ticks = 0;
  while (build.Tick()) ++ticks;
  EXPECT_LT(ticks, 100000);
  built.airports = ReadAllAirportRecords(ReadWholeFile(app.File(kAirportsFileName)));
  if (FileLength(app.File(kAirspacesFileName)) > 0) {
    built.airspaces = ReadAllAirspaceRecords(ReadWholeFile(app.File(kAirspacesFileName)));
  }
  return built;
}

std::string Ident(int32_t number, int32_t designator) {
  static const char* const kLetters[] = {"", "L", "R", "C", "H"};
  return std::to_string(number) + kLetters[designator];
}

// What the database must hold for a described airport.
void ExpectAirport(const DescribedAirport& d, const AirportRecord& a, const geo::MagVarGrid& grid) {
  SCOPED_TRACE(d.Ident);
  EXPECT_EQ(a.Ident, d.Ident);
  EXPECT_EQ(a.Name, UpperCaseCp1252(d.Name));
  const LatLon where = d.Position ? *d.Position : LatLon{d.Latitude, d.Longitude};
  EXPECT_NEAR(a.Latitude, where.Latitude, 5e-6);  // one raw unit of latitude is about 1 m
  EXPECT_NEAR(a.Longitude, where.Longitude, 1e-6);
  EXPECT_NEAR(a.ElevationFt, d.ElevationFt, 2);  // stored as whole metres

  std::map<int32_t, const DescribedFrequency*> byKind;
  for (const auto& f : d.Frequencies) byKind[f.Kind == 9 ? 8 : f.Kind] = &f;
  auto freq = [&](int32_t kind) { return byKind.count(kind) ? byKind[kind]->Mhz : std::string(); };
  EXPECT_EQ(a.ClearanceFreq, freq(7));
  EXPECT_EQ(a.ApproachFreq, freq(8));
  EXPECT_EQ(a.TowerFreq, freq(6).empty() ? freq(5) : freq(6));
  EXPECT_EQ(a.GroundFreq, freq(5).empty() ? freq(6) : freq(5));

  // The longest runway, the first of equals, with its ILS and the threshold of its own end.
  const DescribedRunway* main = nullptr;
  for (const auto& r : d.Runways) {
    if (!main || r.Length > main->Length) main = &r;
  }
  ASSERT_NE(main, nullptr);
  const std::string mainIdent = Ident(main->Number, main->Designator);
  EXPECT_EQ(a.MainRunway.Ident, mainIdent);
  EXPECT_EQ(a.MainRunway.Length, main->Length);
  EXPECT_EQ(a.MainRunway.Width, main->Width);
  EXPECT_EQ(a.MainRunway.IlsFrequency, main->IlsMhz);
  for (const auto& end : d.RunwayEnds) {
    if (Ident(end.Number, end.Designator) != mainIdent) continue;
    EXPECT_NEAR(a.MainRunway.ThresholdLat, end.Latitude, 1e-9);
    EXPECT_NEAR(a.MainRunway.ThresholdLon, end.Longitude, 1e-9);
    EXPECT_NEAR(a.MainRunway.ThresholdElevationFt, end.ElevationFt, 2);
    // The heading as stored (2^32 a turn, a signed angle past 180), rounded half to even.
    const double stored = static_cast<int32_t>(HeadingRaw(end.TrueHeading)) / 65536.0 * 360 / 65536;
    EXPECT_EQ(a.MainRunway.MagHeading, geo::TrueToMagnetic(CInt(stored), end.Latitude, end.Longitude, grid));
  }

  ASSERT_EQ(a.TaxiPointCount, static_cast<int16_t>(d.TaxiPoints.size()));
  for (size_t i = 0; i < d.TaxiPoints.size(); ++i) {
    EXPECT_EQ(a.TaxiPoints[i].PointType, d.TaxiPoints[i].PointType);
    EXPECT_NEAR(a.TaxiPoints[i].Latitude, d.TaxiPoints[i].Latitude, 1e-9) << i;
    EXPECT_NEAR(a.TaxiPoints[i].Longitude, d.TaxiPoints[i].Longitude, 1e-9) << i;
  }
  ASSERT_EQ(a.ParkingCount, static_cast<int16_t>(d.ParkingSpots.size()));
  for (size_t i = 0; i < d.ParkingSpots.size(); ++i) {
    const auto& p = d.ParkingSpots[i];
    EXPECT_EQ(a.ParkingSpots[i].Name,
              UpperCaseCp1252(ParkingWord(p.NameCode)) + " " + std::to_string(p.Number));
    EXPECT_NEAR(a.ParkingSpots[i].RadiusFt, p.RadiusFt, 1);
    EXPECT_NEAR(a.ParkingSpots[i].Latitude, p.Latitude, 1e-9);
    EXPECT_NEAR(a.ParkingSpots[i].Longitude, p.Longitude, 1e-9);
    EXPECT_EQ(a.ParkingSpots[i].Occupied, 0);
  }
  ASSERT_EQ(a.TaxiPathCount, static_cast<int16_t>(d.TaxiPaths.size()));
  for (size_t i = 0; i < d.TaxiPaths.size(); ++i) {
    const auto& p = d.TaxiPaths[i];
    EXPECT_EQ(a.TaxiPaths[i].PathType, p.PathType);
    EXPECT_EQ(a.TaxiPaths[i].StartPoint, p.StartPoint);
    EXPECT_EQ(a.TaxiPaths[i].EndPoint, p.EndPoint);
    if (p.PathType == kTaxiwayPath) {
      EXPECT_EQ(a.TaxiPaths[i].Name, p.TaxiwayName);
    }
    if (p.PathType == kRunwayPath) {
      const auto& r = d.Runways[static_cast<size_t>(p.RunwayIndex)];
      EXPECT_EQ(a.TaxiPaths[i].Name, "Runway " + Ident(r.Number, r.Designator));
    }
  }
}

bool Qualifies(const DescribedAirport& d) {
  for (const auto& f : d.Frequencies) {
    if (f.Kind == 5 || f.Kind == 6) return true;
  }
  return false;
}

TEST(RoundTrip, TheSampleWorldComesBackAsDescribed) {
  const WorldDescription world =
      ReadWorldDescription(skyvox::testing::SourceRoot() / "data/sample_world.txt");
  geo::MagVarGrid grid;
  for (int lon = 230; lon < 245; ++lon) {
    for (int lat = 40; lat < 52; ++lat)
      grid.Set(geo::MagVarGrid::Index(lon, lat), static_cast<int16_t>(2700 + lon));
  }
  TempDir sim, app;
  const Built built = BuildFrom(world, grid, sim, app);

  // The build takes the areas in scenery.cfg order and each folder's files by name, case ignored.
  std::vector<const DescribedAirport*> airports;
  std::vector<const DescribedAirspace*> airspaces;
  for (const auto& area : world.Areas) {
    std::vector<const DescribedFile*> files;
    for (const auto& file : area.Files) files.push_back(&file);
    std::sort(files.begin(), files.end(), [](const DescribedFile* x, const DescribedFile* y) {
      return ToUpperAscii(x->Name) < ToUpperAscii(y->Name);
    });
    for (const DescribedFile* f : files) {
      const auto& file = *f;
      for (const auto& a : file.Airports) airports.push_back(&a);
      for (const auto& s : file.Airspaces) airspaces.push_back(&s);
    }
  }
  ASSERT_GE(airports.size(), 6u);
  ASSERT_EQ(built.airports.size(), airports.size());  // files in order, airports in order
  EXPECT_EQ(built.tables.AirportCount, static_cast<int32_t>(airports.size()));
  bool sawTaxiNetwork = false;
  for (size_t i = 0; i < airports.size(); ++i) {
    ExpectAirport(*airports[i], built.airports[i], grid);
    sawTaxiNetwork |= !airports[i]->TaxiPaths.empty();
  }
  EXPECT_TRUE(sawTaxiNetwork);

  ASSERT_EQ(built.airspaces.size(), airspaces.size());
  for (size_t i = 0; i < airspaces.size(); ++i) {
    const DescribedAirspace& d = *airspaces[i];
    const AirspaceRecord& s = built.airspaces[i];
    EXPECT_EQ(s.CenterName, d.CenterName);
    EXPECT_EQ(s.CenterFreq, d.Mhz);
    EXPECT_EQ(s.AirspaceClass, d.LowerLimit < 0 && d.UpperLimit < 0 ? "ARTCC/FIR (HIGH)" : "ARTCC/FIR (LOW)");
    EXPECT_NEAR(s.NorthLat, d.NorthLat, 1e-4);
    EXPECT_NEAR(s.SouthLat, d.SouthLat, 1e-4);
    EXPECT_NEAR(s.EastLon, d.EastLon, 1e-4);
    EXPECT_NEAR(s.WestLon, d.WestLon, 1e-4);
    EXPECT_EQ(s.LowerLimit, d.LowerLimit);
    EXPECT_EQ(s.UpperLimit, d.UpperLimit);
  }
}

TEST(RoundTrip, ASyntheticWorldKeepsTheAirportsWithATowerOrGround) {
  const WorldDescription world = SyntheticWorld(400, 60, 11);
  TempDir sim, app;
  const Built built = BuildFrom(world, geo::MagVarGrid(), sim, app);
  std::vector<const DescribedAirport*> kept;
  size_t airspaces = 0;
  for (const auto& file : world.Areas.at(0).Files) {
    for (const auto& a : file.Airports) {
      if (Qualifies(a)) kept.push_back(&a);
    }
    airspaces += file.Airspaces.size();
  }
  ASSERT_EQ(built.airports.size(), kept.size());
  EXPECT_LT(kept.size(), 400u);  // some have neither, and are dropped
  for (size_t i = 0; i < kept.size(); ++i) ExpectAirport(*kept[i], built.airports[i], geo::MagVarGrid());
  EXPECT_EQ(built.airspaces.size(), airspaces);
}

}  // namespace
}  // namespace skyvox::scenery
