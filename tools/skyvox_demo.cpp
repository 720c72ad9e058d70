// skyvox-demo: the program's first start, run headless on a sample world. It walks the start-up
// check, the simulator-folder window and the database files with the real controllers and readers,
// then computes what the controller would tell a pilot near the airports.
//
//   skyvox-demo [APPFOLDER]    (default: a fresh temporary folder, removed afterwards)
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>

#include "app/config_file.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/sim_folder.h"
#include "app/startup.h"
#include "base/byte_io.h"
#include "base/files.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "scenery/database_files.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;

struct SampleAirport {
  const char* ident;
  const char* name;
  double lat, lon;
  int elevation;
  const char* ground;
  const char* tower;
  const char* runway;
  double thrLat, thrLon;
  int length;
  int16_t heading;
};

// Sample facilities of the Seattle area for the demonstration (positions and elevations rounded).
constexpr SampleAirport kSample[] = {
    {"KSEA", "SEATTLE-TACOMA INTL", 47.449889, -122.311778, 433, "121.7", "119.9", "16L", 47.46375,
     -122.30788, 11901, 163},
    {"KBFI", "BOEING FIELD/KING COUNTY INTL", 47.53, -122.301944, 21, "121.9", "120.6", "13R", 47.53799,
     -122.31133, 10000, 134},
    {"KPAE", "SNOHOMISH COUNTY", 47.906111, -122.281667, 608, "121.8", "132.95", "16R", 47.92346, -122.28323,
     9010, 163},
    {"KOLM", "OLYMPIA", 46.969444, -122.9025, 209, "121.6", "124.4", "17", 46.97856, -122.90215, 5419, 172},
    {"KPDX", "PORTLAND INTL", 45.588611, -122.5975, 31, "121.9", "118.7", "10R", 45.58502, -122.61286, 11000,
     100},
};

void Step(const std::string& text) {
  std::cout << "\n== " << text << " ==\n";
}

void WriteTerrain(const std::string& app) {
  ByteWriter out;
  // A coarse grid of spot elevations round the sample area, 0.25 degree apart.
  for (double lat = 45.0; lat <= 48.5; lat += 0.25) {
    for (double lon = -123.5; lon <= -121.5; lon += 0.25) {
      const int elevation = static_cast<int>(500 + 300 * (lon + 123.5) + 100 * (lat - 45.0));
      scenery::WriteTerrainPoint(out, {lat, lon, elevation});
    }
  }
  WriteAt(JoinPath(app, scenery::kTerrainFileName), 0, out.Data());
}

void BuildSampleDatabase(app::ProgramState& state) {
  auto& world = state.World;
  const std::string airports = JoinPath(world.AppFolder, scenery::kAirportsFileName);
  const std::string airspaces = JoinPath(world.AppFolder, scenery::kAirspacesFileName);
  for (const SampleAirport& s : kSample) {
    scenery::AirportRecord a;
    a.Ident = s.ident;
    a.Name = s.name;
    a.Latitude = s.lat;
    a.Longitude = s.lon;
    a.ElevationFt = s.elevation;
    a.GroundFreq = s.ground;
    a.GroundName = ToUpperAscii(std::string(s.ident).substr(1)) + " GROUND";
    a.TowerFreq = s.tower;
    a.TowerName = ToUpperAscii(std::string(s.ident).substr(1)) + " TOWER";
    a.MainRunway = {s.runway, s.thrLat, s.thrLon, s.elevation, s.length, 150, s.heading, ""};
    scenery::AppendAirportRecord(airports, a, world.AirportCount);
  }
  scenery::AppendAirspaceRecord(
      airspaces, {"SEATTLE CENTER", "ARTCC/FIR (HIGH)", "125.1", 49.0, 42.0, -116.5, -125.0, 18000, 60000},
      world.AirspaceCount);
  scenery::AppendAirspaceRecord(
      airspaces, {"SEATTLE CENTER", "ARTCC/FIR (LOW)", "124.2", 49.0, 45.5, -120.0, -125.0, 0, 17999},
      world.AirspaceCount);
  app::WriteConfigFile(world.AppFolder, {world.SimFolder, world.AirportCount, world.AirspaceCount});
  std::cout << "wrote " << world.AirportCount << " airports and " << world.AirspaceCount
            << " airspaces; Skyvox_link.cfg now holds the counts\n";
}

const char* WindowName(app::NextWindow next) {
  switch (next) {
    case app::NextWindow::SimulatorFolder:
      return "\"Creating Configuration File\"";
    case app::NextWindow::Settings:
      return "\"Settings\"";
    case app::NextWindow::Connection:
      return "\"Connecting to FS Multiplayer Session\"";
    case app::NextWindow::Terminate:
      return "(program ends)";
    case app::NextWindow::None:
      break;
  }
  return "(none)";
}

int Run(const std::string& appFolder) {
  app::ProgramState state;
  app::ConsoleMessageBoxes boxes(std::cout);
  const std::string sim = JoinPath(appFolder, "FS2002");
  fs::create_directories(sim);
  WriteAt(JoinPath(sim, "FS2002.EXE"), 0, std::span<const uint8_t>());
  WriteTerrain(appFolder);

  Step("first start: splash, " + std::string(app::SplashController::kLabel));
  app::SplashController splash(state, boxes, appFolder + "/");
  splash.Tick();
  std::cout << "AppFolder " << state.World.AppFolder << ", FirstRun "
            << (state.World.FirstRun ? "True" : "False") << ", next window " << WindowName(splash.Next())
            << '\n';
  if (splash.Next() != app::NextWindow::SimulatorFolder) return 1;

  Step(app::kSimFolderCaption);
  app::SimFolderController folder(state, boxes);
  folder.Load(appFolder);
  folder.CreatePressed();  // the program's own folder holds no fs2002.exe: refused
  folder.FolderChanged(sim);
  std::cout << app::kSimFolderPathLabel << ' ' << folder.Text() << '\n';
  folder.CreatePressed();
  std::cout << "next window " << WindowName(folder.Next()) << '\n';

  Step("database files (sample airports in place of the scenery build)");
  BuildSampleDatabase(state);

  Step("second start");
  app::ProgramState second;
  app::SplashController again(second, boxes, appFolder);
  again.Tick();
  auto& world = second.World;
  std::cout << "FirstRun " << (world.FirstRun ? "True" : "False") << ", SimFolder " << world.SimFolder << ", "
            << world.AirportCount << " airports, " << world.AirspaceCount << " airspaces, next window "
            << WindowName(again.Next()) << '\n';

  Step("airport list");
  const auto entries = scenery::ListAllAirports(JoinPath(appFolder, scenery::kAirportsFileName));
  for (const auto& entry : entries) std::cout << "  " << Cp1252ToUtf8(entry) << '\n';
  world.ResetLoadedTables();
  scenery::LoadAirspaces(JoinPath(appFolder, scenery::kAirspacesFileName), world);
  scenery::LoadControlledAirports(JoinPath(appFolder, scenery::kAirportsFileName),
                                  {entries[0], entries[1], entries[4]}, world);
  std::cout << "controlled: " << world.ControlledAirportCount
            << " airports; airspaces loaded: " << world.AirspaceCount << '\n';

  Step("geometry between the controlled airports (no magdec.bgl read: zero variation)");
  for (int32_t i = 0; i < world.ControlledAirportCount; ++i) {
    for (int32_t j = 0; j < world.ControlledAirportCount; ++j) {
      if (i == j) continue;
      const auto& a = world.ControlledAirports[static_cast<size_t>(i)];
      const auto& b = world.ControlledAirports[static_cast<size_t>(j)];
      std::cout << "  " << a.Ident << " -> " << b.Ident << ": "
                << geo::DistanceNm(a.Latitude, a.Longitude, b.Latitude, b.Longitude) << " nm, course "
                << geo::TrueBearing(a.Latitude, a.Longitude, b.Latitude, b.Longitude) << " true, "
                << geo::MagneticBearing(a.Latitude, a.Longitude, b.Latitude, b.Longitude, world.MagVarGrid)
                << " magnetic\n";
    }
  }

  Step("a pilot 8 nm out of KSEA on the 340 radial, heading 160");
  const auto& sea = world.ControlledAirports[0];
  const geo::TargetPoint pilot = geo::DestinationPointNm(sea.Latitude, sea.Longitude, 340, 8);
  const int16_t bearing = geo::TrueBearing(sea.Latitude, sea.Longitude, pilot.Latitude, pilot.Longitude);
  const int16_t toAirport = geo::TrueBearing(pilot.Latitude, pilot.Longitude, sea.Latitude, sea.Longitude);
  std::cout << "  position " << pilot.Latitude << ", " << pilot.Longitude << "; "
            << geo::DistanceNm(sea.Latitude, sea.Longitude, pilot.Latitude, pilot.Longitude)
            << " nm; bearing from the airport " << bearing << "\n  relative to runway "
            << sea.MainRunway.Ident << " (heading " << sea.MainRunway.MagHeading << ") the pilot is in the \""
            << geo::RunwaySector(bearing, sea.MainRunway.MagHeading)
            << "\" sector (\"north\" lies beyond the far end, \"south\" on the approach side)\n"
            << "  the field is at the pilot's " << geo::ClockPosition(toAirport, 160) << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  bool temporary = false;
  if (argc > 1) {
    folder = argv[1];
  } else {
    std::random_device random;
    folder = (fs::temp_directory_path() / ("skyvox-demo-" + std::to_string(random()))).string();
    temporary = true;
  }
  int rc = 1;
  try {
    fs::create_directories(folder);
    std::cout << "Skyvox demo in " << folder << '\n';
    rc = Run(fs::absolute(folder).string());
  } catch (const std::exception& e) {
    std::cerr << "skyvox-demo: " << e.what() << '\n';
  }
  if (temporary) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  return rc;
}
