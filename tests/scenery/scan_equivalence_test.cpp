// The fast paths against the straightforward ones they replace, on the same inputs: the sliced BGL
// scan (whole and one item per call), the database build (written bytes, counts, progress and errors)
// and the one-pass terrain points. Synthetic worlds, damaged copies of them and hand-built odd files.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <typeinfo>

#include "authoring/bgl_writer.h"
#include "authoring/world_description.h"
#include "base/byte_io.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/rounding.h"
#include "bgl_fixture.h"
#include "geo/geometry.h"
#include "scenery/bgl_scan.h"
#include "scenery/database_build.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {

// Records as test failures show them.
void PrintTo(const AirportRecord& a, std::ostream* os) {
  *os << a.Ident << " '" << a.Name << "' " << a.Latitude << "," << a.Longitude << " " << a.ElevationFt << " ["
      << a.ClearanceFreq << "|" << a.ClearanceName << "|" << a.GroundFreq << "|" << a.GroundName << "|"
      << a.TowerFreq << "|" << a.TowerName << "|" << a.ApproachFreq << "|" << a.ApproachName << "] rwy "
      << a.MainRunway.Ident << " " << a.MainRunway.ThresholdLat << "," << a.MainRunway.ThresholdLon << " "
      << a.MainRunway.Length << " " << a.MainRunway.MagHeading << " " << a.MainRunway.IlsFrequency
      << " points";
  for (const auto& p : a.TaxiPoints) *os << " " << p.PointType << ":" << p.Latitude << "," << p.Longitude;
  *os << " (" << a.TaxiPointCount << ") parking";
  for (const auto& p : a.ParkingSpots)
    *os << " '" << p.Name << "' " << p.RadiusFt << ":" << p.Latitude << "," << p.Longitude;
  *os << " (" << a.ParkingCount << ") paths";
  for (const auto& p : a.TaxiPaths)
    *os << " " << p.PathType << ":" << p.StartPoint << "-" << p.EndPoint << "'" << p.Name << "'";
  *os << " (" << a.TaxiPathCount << ")";
}
void PrintTo(const AirspaceRecord& s, std::ostream* os) {
  *os << s.CenterName << " " << s.CenterFreq << " " << s.AirspaceClass;
}

namespace {
namespace fs = std::filesystem;
using namespace skyvox::testing;

// What a scan hands over, in order, as the database bytes of each record (so that two records alike
// to the last bit of a NaN compare equal), and how it ends ("" when it does not throw).
struct Outcome {
  std::vector<Bytes> airports;
  std::vector<Bytes> airspaces;
  std::vector<char> order;  // 'A' or 'S' per record handed over
  std::string error;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
  size_t a = 0, s = 0;
  for (char kind : o.order) {
    *os << "\n  ";
    ByteReader in(kind == 'A' ? o.airports[a++] : o.airspaces[s++]);
    if (kind == 'A') {
      PrintTo(ReadAirportRecord(in), os);
    } else {
      PrintTo(ReadAirspaceRecord(in), os);
    }
  }
  *os << "\n  error: " << o.error;
}

std::string Describe(const std::exception& e) {
  return std::string(typeid(e).name()) + ": " + e.what();
}

Outcome Scan(const Bytes& bytes, bool fast, bool oneItemPerCall = false) {
  static const geo::MagVarGrid grid;
  Outcome o;
  BglScanSink sink;
  sink.Airport = [&o](AirportRecord& a) {
    ByteWriter w;
    WriteAirportRecord(w, a);
    o.airports.push_back(w.Take());
    o.order.push_back('A');
  };
  sink.Airspace = [&o](const AirspaceRecord& s) {
    ByteWriter w;
    WriteAirspaceRecord(w, s);
    o.airspaces.push_back(w.Take());
    o.order.push_back('S');
  };
  try {
    if (!fast) {
      ScanBglFileStraightforward(bytes, grid, sink);
    } else if (!oneItemPerCall) {
      ScanBglFile(bytes, grid, sink);
    } else {
      BglScan scan(grid);
      scan.Start(bytes);
      while (!scan.Continue(sink, BglScan::Deadline::min())) {
      }
    }
  } catch (const std::exception& e) {
    o.error = Describe(e);
  }
  return o;
}

void ExpectSameScan(const Bytes& bytes, const std::string& what) {
  SCOPED_TRACE(what);
  const Outcome reference = Scan(bytes, false);
  EXPECT_EQ(Scan(bytes, true), reference);
  EXPECT_EQ(Scan(bytes, true, true), reference);
}

authoring::WorldDescription World(int airports, int perFile, uint32_t seed) {
  return authoring::SyntheticWorld(airports, perFile, seed);
}

Bytes BglOf(const authoring::DescribedFile& file) {
  return authoring::BuildBglFile(file.Airports, file.Airspaces);
}

TEST(ScanEquivalence, SyntheticFilesWholeDamagedAndCutShort) {
  const Bytes good = BglOf(World(40, 40, 7).Areas[0].Files[0]);
  ASSERT_GT(Scan(good, false).airports.size(), 30u);
  ExpectSameScan(good, "intact");
  std::mt19937 random(2024);
  for (int i = 0; i < 1500; ++i) {
    Bytes bytes = good;
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) {
      const size_t at = random() % bytes.size();
      const uint8_t values[] = {0x00, 0xFF, 0x80, 0x7F, static_cast<uint8_t>(random())};
      bytes[at] = values[random() % 5];
    }
    ExpectSameScan(bytes, "damaged, try " + std::to_string(i));
  }
  for (int i = 0; i < 300; ++i) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(random() % good.size()));
    ExpectSameScan(cut, "cut to " + std::to_string(cut.size()));
  }
}

// A taxi network that spells out what the synthetic worlds never hold: taxiway names that are numbers
// (renamed again by a later entry), a path renamed to its own number, lists out of order, a second
// taxi data record, parking codes that round the number up, and a runway path to a missing runway.
TEST(ScanEquivalence, OddTaxiNetworks) {
  auto list = [](int32_t n, int32_t s, const Bytes& elements) {
    Bytes l(8, 0);
    Put32(l, 0, n);
    Put32(l, 4, s);
    l.insert(l.end(), elements.begin(), elements.end());
    return l;
  };
  auto elements = [](std::initializer_list<std::initializer_list<int32_t>> rows) {
    Bytes b;
    for (const auto& row : rows) {
      for (int32_t v : row) {
        const size_t at = b.size();
        Put32(b, at, v);
      }
    }
    return b;
  };
  auto names = [](std::initializer_list<std::string> texts) {
    Bytes b;
    for (const std::string& t : texts) {
      Bytes entry(8, 0);
      std::copy(t.begin(), t.end(), entry.begin());
      b.insert(b.end(), entry.begin(), entry.end());
    }
    return b;
  };
  auto taxiData = [](std::initializer_list<Bytes> lists) {
    Bytes r(8, 0);
    for (const Bytes& l : lists) r.insert(r.end(), l.begin(), l.end());
    Put32(r, 0, 0x11001);
    Put32(r, 4, static_cast<int32_t>(r.size() - 8));
    return r;
  };
  const Bytes header = Record(0x10001, 32, {{12, LatRaw(47.5)}, {20, LonRaw(-122.25)}, {28, 120}});
  const Bytes tower = Record(0x20001, 16, {{8, 0x1189000}, {12, 6}}, 16, "TWR");
  const Bytes runway = Record(0x10002, 56, {{40, 3000}, {48, 1}, {52, 16}});
  const float f1 = 150.5f, f2 = -75.25f, nan = std::numeric_limits<float>::quiet_NaN();
  const Bytes points = list(3, 12,
                            elements({{1, FloatBits(f1), FloatBits(0)},
                                      {2, FloatBits(f2), FloatBits(f1)},
                                      {1, FloatBits(nan), FloatBits(-f1)}}));
  const Bytes parking = list(3, 20,
                             elements({{FloatBits(f1), FloatBits(f2), FloatBits(20), 0, 128 * 3 + 13},
                                       {FloatBits(f2), FloatBits(f1), FloatBits(15), 0, 128 * 4 + 64},
                                       {0, 0, FloatBits(12), 0, 128 * 9 + 100}}));
  const Bytes hugeRadius = list(2, 20,
                                elements({{FloatBits(f1), FloatBits(f2), FloatBits(20), 0, 128 * 3 + 13},
                                          {FloatBits(f2), 0, FloatBits(1e30f), 0, 128 * 2 + 11}}));
  // Numbers 0, 1, 2, 0 on taxiways, a runway path to runway 0, a parking path, and one more runway path
  // to runway 5.
  const std::initializer_list<std::initializer_list<int32_t>> pathRows = {
      {0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 1, 2, 0, 0, 1}, {0, 0, 0, 2, 0, 0, 0, 2},
      {0, 0, 0, 0, 2, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 0, 0}, {2, 0, 0, 2, 1, 0, 0, 1}};
  const Bytes goodPaths = list(6, 32, elements(pathRows));
  Bytes paths = list(7, 32, elements(pathRows));
  const Bytes badRunwayPath = elements({{1, 0, 0, 2, 1, 0, 0, 5}});
  paths.insert(paths.end(), badRunwayPath.begin(), badRunwayPath.end());
  std::vector<std::pair<std::string, Bytes>> cases = {
      {"renamed again", taxiData({points, parking, goodPaths, list(3, 8, names({"2", "1", "B7"}))})},
      {"runway path to a missing runway", taxiData({points, paths, list(3, 8, names({"A", "B", "C"}))})},
      {"names before paths", taxiData({list(2, 8, names({"A", "B"})), paths})},
      {"unknown list", taxiData({points, list(1, 16, Bytes(16, 0)), parking})},
      {"radius past the 32-bit feet", taxiData({parking, hugeRadius, goodPaths})},
      {"negative count", taxiData({list(-1, 12, {}), parking})},
      {"count past the record", taxiData({list(1000, 12, Bytes(24, 0))})},
  };
  for (auto& [what, taxi] : cases) {
    BglFile file;
    const Bytes second = taxiData({list(2, 8, names({"9", "Z"}))});
    file.AirportSection({{"KODD", Join({header, tower, runway, taxi, second, Terminator()})},
                         {"KTWO", Join({header, tower, taxi, Terminator()})}});
    ExpectSameScan(file.Data(), what);
  }
}

// Written database files, counts, the progress shown after each tick and the error of the tick that
// failed, for a build driven to its end.
struct BuildRun {
  Bytes airports;
  Bytes airspaces;
  int32_t airportCount = 0;
  int32_t airspaceCount = 0;
  std::vector<std::pair<std::string, int32_t>> progress;  // area and files done, as they change
  std::string error;
  std::string cause;
  std::string fileName;
  bool operator==(const BuildRun&) const = default;
};

BuildRun Build(const fs::path& sim, BuildMethod method, std::optional<std::chrono::microseconds> slice = {},
               const std::string& airportsFile = kAirportsFileName,
               const std::string& airspacesFile = kAirspacesFileName) {
  TempDir app;
  WorldTables tables;
  tables.AppFolder = app.Str();
  tables.SimFolder = sim.string();
  BuildRun run;
  DatabaseBuild build(tables, method);
  if (slice) build.SliceTime = *slice;
  build.AirportsFile = (app.Path() / airportsFile).string();
  build.AirspacesFile = (app.Path() / airspacesFile).string();
  build.Start();
  run.progress.emplace_back(build.CurrentTitle(), build.FilesDone());
  try {
    while (build.Tick()) {
      const std::pair<std::string, int32_t> shown{build.CurrentTitle(), build.FilesDone()};
      if (run.progress.empty() || run.progress.back() != shown) run.progress.push_back(shown);
    }
  } catch (const BglScanError& e) {
    run.error = Describe(e);
    run.cause = e.Cause();
  } catch (const DatabaseWriteError& e) {
    run.error = Describe(e);
  }
  run.fileName = build.CurrentFileName();
  run.progress.emplace_back(build.CurrentTitle(), build.FilesDone());
  auto bytes = [](const std::string& f) { return fs::exists(f) ? ReadBytes(f) : Bytes{}; };
  run.airports = bytes(build.AirportsFile);
  run.airspaces = bytes(build.AirspacesFile);
  run.airportCount = tables.AirportCount;
  run.airspaceCount = tables.AirspaceCount;
  return run;
}

void PrintTo(const BuildRun& r, std::ostream* os) {
  *os << r.airports.size() << " + " << r.airspaces.size() << " bytes, " << r.airportCount << " airports, "
      << r.airspaceCount << " airspaces, error " << r.error << " / " << r.cause << " / " << r.fileName
      << ", progress";
  for (const auto& [area, done] : r.progress) *os << " " << area << ":" << done;
}

void ExpectSameBuild(const fs::path& sim, const std::string& what) {
  SCOPED_TRACE(what);
  const BuildRun reference = Build(sim, BuildMethod::Straightforward);
  EXPECT_EQ(Build(sim, BuildMethod::Sliced), reference);
  // One airport or airspace per tick: a file spread over many ticks.
  EXPECT_EQ(Build(sim, BuildMethod::Sliced, std::chrono::microseconds(-1)), reference);
}

TEST(BuildEquivalence, SyntheticWorldIntactDamagedAndCutShort) {
  TempDir sim;
  authoring::WriteSceneryFolder(World(300, 60, 11), sim.Str(), {});
  std::vector<fs::path> bgl;
  for (const auto& entry : fs::recursive_directory_iterator(sim.Path())) {
    if (entry.path().extension() == ".bgl" && entry.path().filename() != "magdec.bgl")
      bgl.push_back(entry.path());
  }
  std::sort(bgl.begin(), bgl.end());
  ASSERT_EQ(bgl.size(), 5u);
  {
    const BuildRun run = Build(sim.Path(), BuildMethod::Sliced);
    EXPECT_GT(run.airportCount, 250);
    EXPECT_GT(run.airspaceCount, 5);
    EXPECT_EQ(run.error, "");
  }
  ExpectSameBuild(sim.Path(), "intact");
  // A file that is not a facility file, one too short to tell, one damaged where the walk fails after
  // some airports, one cut short: the build ends at the first that cannot be scanned.
  WriteAt(bgl[0].parent_path() / "readme.bgl", 0, Bytes(300, 7));
  WriteAt(bgl[0].parent_path() / "tiny.bgl", 0, Bytes(100, 0));
  ExpectSameBuild(sim.Path(), "files that are skipped");
  const Bytes second = ReadBytes(bgl[2]);
  Bytes damaged = second;
  const int32_t list = BglBytes(damaged).ReadInt32(156);
  Put32(damaged, static_cast<size_t>(list) + 4, 1 << 30);  // the list's size sends the walk past the end
  WriteAt(bgl[2], 0, damaged);
  ExpectSameBuild(sim.Path(), "damaged");
  fs::resize_file(bgl[1], ReadBytes(bgl[1]).size() * 2 / 3);
  ExpectSameBuild(sim.Path(), "cut short");
}

// Each file is found in its folder's listing as the whole name would be found on disk: names in
// capitals and mixed case, two names that differ only in case (the lower-cased one is read for both), a
// UTF-8 name, a backslash inside a name, links to a file and to nothing.
TEST(BuildEquivalence, FileNamesInAnyCase) {
  SKYVOX_LINUX_ONLY("names differing only in case, and links, as a case-sensitive file system has them");
  TempDir sim;
  authoring::WriteSceneryFolder(World(120, 30, 5), sim.Str(), {});
  std::vector<fs::path> bgl;
  for (const auto& entry : fs::recursive_directory_iterator(sim.Path())) {
    if (entry.path().extension() == ".bgl" && entry.path().filename() != "magdec.bgl")
      bgl.push_back(entry.path());
  }
  std::sort(bgl.begin(), bgl.end());
  ASSERT_EQ(bgl.size(), 4u);
  const fs::path folder = bgl[0].parent_path();
  fs::rename(bgl[0], folder / "SYNTH_A.BGL");
  fs::rename(bgl[1], folder / "Synth_B.Bgl");
  fs::copy_file(bgl[3], folder / bgl[2].filename().string().replace(0, 5, "SYNTH"));
  fs::copy_file(bgl[3], folder / "SC\xC3\x88NE.BGL");
  fs::copy_file(bgl[3], folder / "a\\b.bgl");
  fs::create_symlink(bgl[3], folder / "LINK.BGL");
  fs::create_symlink(folder / "nothing", folder / "GHOST.BGL");
  ExpectSameBuild(sim.Path(), "names in any case");
  Bytes damaged = ReadBytes(folder / "Synth_B.Bgl");
  Put32(damaged, static_cast<size_t>(BglBytes(damaged).ReadInt32(156)) + 4, 1 << 30);
  WriteAt(folder / "Synth_B.Bgl", 0, damaged);
  ExpectSameBuild(sim.Path(), "a damaged file named in mixed case");
}

TEST(BuildEquivalence, OneFileForBothDatabases) {
  TempDir sim;
  authoring::WriteSceneryFolder(World(60, 30, 3), sim.Str(), {});
  const BuildRun reference = Build(sim.Path(), BuildMethod::Straightforward, {}, "both.dat", "./both.dat");
  EXPECT_EQ(reference.airports, reference.airspaces);
  EXPECT_EQ(Build(sim.Path(), BuildMethod::Sliced, {}, "both.dat", "./both.dat"), reference);
}

// The closed forms and their fallbacks against DestinationPointMetres, to the bit: ordinary airports
// and offsets, and the edges where the general formulas take over.
TEST(ScanEquivalence, TaxiOffsetsPlacedAsTheGeneralFormulasPlaceThem) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> anyLat(-90, 90), edgeLat(79.99, 80.01), anyLon(-180, 180);
  std::uniform_real_distribution<float> ordinary(-10000, 10000), edgeOffset(9999, 10001), far(-4e6f, 4e6f);
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  OffsetPlacer placer;
  int checked = 0;
  for (int i = 0; i < 40000; ++i) {
    double lat = Round(i % 5 == 0 ? edgeLat(random) * (i % 2 ? 1 : -1) : anyLat(random), 6);
    double lon = Round(i % 7 == 0 ? 179.99 + (anyLon(random) / 18000) : anyLon(random), 6);
    if (i % 11 == 0) lon = -lon;
    if (i == 0) lat = lon = 0;
    placer.SetReference(lat, lon);
    for (int k = 0; k < 6; ++k) {
      float x = ordinary(random), z = ordinary(random);
      if (k == 1) x = edgeOffset(random), z = -edgeOffset(random);
      if (k == 2) x = far(random), z = far(random);
      if (k == 3) x = x * 1e-6f, z = std::round(z);
      if (k == 4 && i % 100 == 0) x = (i % 200 ? nan : -inf), z = (i % 300 ? inf : nan);
      double placedLat = 0, placedLon = 0;
      placer.Place(x, z, placedLat, placedLon);
      const double refLat = z == 0 ? lat : geo::DestinationPointMetres(lat, lon, z > 0 ? 0 : 180, z).Latitude;
      const double refLon =
          x == 0 ? lon : geo::DestinationPointMetres(lat, lon, x > 0 ? 90 : 270, x).Longitude;
      ASSERT_EQ(std::bit_cast<uint64_t>(placedLat), std::bit_cast<uint64_t>(refLat))
          << lat << " " << lon << " " << z;
      ASSERT_EQ(std::bit_cast<uint64_t>(placedLon), std::bit_cast<uint64_t>(refLon))
          << lat << " " << lon << " " << x;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 240000);
}

TEST(ScanEquivalence, FrequencyTextFromTheNibbles) {
  std::mt19937 random(5);
  std::vector<uint32_t> codes = {0,       1,          0x5000,     0x1219000, 0x1190000,  0x99999999,
                                 0x10000, 0x80000000, 0xFFFFFFFF, 0x121A000, 0x0000000A, 0x9999999F};
  for (int i = 0; i < 20000; ++i) {
    uint32_t code = 0;
    for (int d = 0; d < 8; ++d) code = code << 4 | (random() % (i % 10 == 0 ? 16 : 10));
    codes.push_back(code >> (4 * (random() % 8)));
  }
  for (const uint32_t bits : codes) {
    const auto code = static_cast<int32_t>(bits);
    std::string fast = "x";
    std::string fastError;
    std::string reference;
    try {
      AppendFrequencyText(fast, code);
    } catch (const FormatError& e) {
      fastError = e.what();
    }
    try {
      reference = "x" + FrequencyText(code);
    } catch (const FormatError& e) {
      EXPECT_EQ(fastError, e.what());
      EXPECT_EQ(fast, "x");
      continue;
    }
    EXPECT_EQ(fast, reference) << std::hex << code;
  }
}

// Terrain points for airports everywhere, on the shipped file and on a file with odd points, airports
// with positions that are not numbers among them: the same table and the same error.
TEST(TerrainEquivalence, OnePassGivesTheSamePointsAndErrors) {
  const Bytes shipped = ReadBytes(SourceRoot() / "data" / kTerrainFileName);
  ByteWriter odd;
  std::mt19937 random(9);
  std::uniform_real_distribution<double> lat(-91, 91), lon(-181, 181);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  for (int i = 0; i < 3000; ++i) WriteTerrainPoint(odd, {lat(random), lon(random), i});
  for (TerrainPoint p : {TerrainPoint{nan, 1, 1},
                         {1, inf, 2},
                         {5e6, 3, 3},
                         {5e6 + 1, 3, 4},
                         {47.5, -122.3, 5},
                         {47.5, -122.3, 6},
                         {-1e300, 0, 7}}) {
    WriteTerrainPoint(odd, p);
  }
  Bytes oddBytes = odd.Take();
  oddBytes.resize(oddBytes.size() + 7);  // a cut-short last record
  auto airportAt = [](double la, double lo) {
    AirportRecord a;
    a.Latitude = la;
    a.Longitude = lo;
    return a;
  };
  std::vector<AirportRecord> everywhere;
  for (int i = 0; i < 60; ++i) everywhere.push_back(airportAt(lat(random), lon(random)));
  everywhere.push_back(airportAt(47.5, -122.3));
  everywhere.push_back(airportAt(47.5, -122.3));  // the same airport twice
  everywhere.push_back(airportAt(5e6, 3));
  everywhere.push_back(airportAt(inf, 0));
  std::vector<AirportRecord> failing = everywhere;
  failing.insert(failing.begin() + 30, airportAt(47.4, nan));  // fails at its first point within reach
  failing.insert(failing.begin() + 10, airportAt(nan, 0));
  for (const auto& [what, bytes] :
       {std::pair<std::string, const Bytes&>{"shipped", shipped}, {"odd", oddBytes}}) {
    for (const auto* airports : {&everywhere, &failing}) {
      SCOPED_TRACE(what + (airports == &failing ? ", failing" : ""));
      auto run = [&](bool fast) {
        WorldTables tables;
        tables.TerrainPoints.assign(3, TerrainPoint{9, 9, 9});  // more spare elements than kept
        std::string error;
        try {
          if (fast) {
            LoadTerrainPoints(*airports, bytes, tables);
          } else {
            LoadTerrainPointsStraightforward(*airports, bytes, tables);
          }
        } catch (const Error& e) {
          error = Describe(e);
        }
        return std::tuple(tables.TerrainPoints, tables.TerrainPointCount, error);
      };
      const auto reference = run(false);
      EXPECT_GT(std::get<1>(reference), 0);
      EXPECT_EQ(std::get<2>(reference).empty(), airports == &everywhere);
      EXPECT_EQ(run(true), reference);
    }
  }
}

}  // namespace
}  // namespace skyvox::scenery
