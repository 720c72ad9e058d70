// skyvox-demo: the program's first start, run headless on the sample world of the Pacific Northwest.
// A simulator folder is written from data/sample_world.txt; then the real controllers run as the
// windows would: the start-up check, the simulator-folder window, the settings window's first-run
// build tick by tick, the choice of controlled airports and "Next"; then what the controller would
// tell a pilot near them, and a session of simulated pilots served by the station, as a transcript.
//
//   skyvox-demo [WORKFOLDER]    (default: a fresh temporary folder, removed afterwards)
//   skyvox-demo --help
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>

#include "app/data_folder.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/sim_folder.h"
#include "app/startup.h"
#include "base/files.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "make_scenery.h"
#include "scenery/database_files.h"
#include "sim/scenario.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;

void Step(const std::string& text) {
  std::cout << "\n== " << text << " ==\n";
}

const char* WindowName(app::NextWindow next) {
  switch (next) {
    case app::NextWindow::SimulatorFolder:
      return "\"Creating Configuration File\"";
    case app::NextWindow::Settings:
      return "\"Settings\"";
    case app::NextWindow::Connection:
      return "\"Connecting to FS Multiplayer Session\"";
    case app::NextWindow::Station:
      return "\"ATC Station Window\"";
    case app::NextWindow::Terminate:
      return "(program ends)";
    case app::NextWindow::None:
      break;
  }
  return "(none)";
}

int IndexOf(const std::vector<std::string>& list, const std::string& prefix) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

int Run(const std::string& work) {
  const std::string appFolder = JoinPath(work, "Skyvox");
  const std::string sim = JoinPath(work, "FS2002");
  fs::create_directories(appFolder);
  fs::copy_file(app::ShippedDataFolder(SKYVOX_DATA_DIR) / scenery::kTerrainFileName,
                fs::path(appFolder) / scenery::kTerrainFileName, fs::copy_options::overwrite_existing);

  Step("a simulator folder from data/sample_world.txt");
  tools::MakeScenery((app::ShippedDataFolder(SKYVOX_DATA_DIR) / "sample_world.txt").string(), 0, 1, 0, 2025.0,
                     sim, app::ShippedDataFolder(SKYVOX_DATA_DIR).string());

  app::ProgramState state;
  app::ConsoleMessageBoxes boxes(std::cout);
  Step(std::string("first start: ") + app::SplashController::kLabel);
  app::SplashController splash(state, boxes, appFolder + "/");
  splash.Tick();
  std::cout << "FirstRun " << (state.World.FirstRun ? "True" : "False") << "; next window "
            << WindowName(splash.Next()) << '\n';
  if (splash.Next() != app::NextWindow::SimulatorFolder) return 1;

  Step(app::kSimFolderCaption);
  app::SimFolderController folder(state, boxes);
  folder.Load(appFolder);
  folder.CreatePressed();  // the program's own folder holds no fs2002.exe: refused
  folder.FolderChanged(sim);
  std::cout << app::kSimFolderPathLabel << ' ' << folder.Text() << '\n';
  folder.CreatePressed();
  if (folder.Next() != app::NextWindow::Settings) return 1;

  Step(app::kSettingsCaption);
  app::SettingsController settings(state, boxes);
  int32_t shown = 0;
  settings.SetProgressCallback([&shown](const app::BuildProgress& p) {
    if (p.FilesDone > shown) {
      shown = p.FilesDone;
      std::cout << "  scanned " << p.FilesDone << "/" << p.FilesTotal << " files (" << Cp1252ToUtf8(p.Area)
                << "): " << p.Airports << " airports, " << p.Airspaces << " airspaces\n";
    }
  });
  settings.Load();
  int ticks = 0;
  while (settings.ScanTimerEnabled()) {
    settings.ScanTick();
    ++ticks;
  }
  std::cout << ticks << " Scan_Bgl ticks; status \"" << settings.StatusLabel() << "\"; the airport list:\n";
  for (const auto& entry : settings.AirportList()) std::cout << "  " << Cp1252ToUtf8(entry) << '\n';

  for (const char* ident : {"KSEA - ", "KOLM - ", "KPDX - "}) {
    settings.SelectAirport(IndexOf(settings.AirportList(), ident));
    settings.AddPressed();
  }
  std::cout << "controlled airports list:";
  for (const auto& entry : settings.ControlledList()) std::cout << " [" << Cp1252ToUtf8(entry) << ']';
  std::cout << '\n';
  settings.NextPressed();
  settings.WaitForCloseTick();
  auto& world = state.World;
  std::cout << "loaded " << world.ControlledAirportCount << " controlled airports, " << world.AirspaceCount
            << " airspaces, " << world.TerrainPointCount << " terrain points; next window "
            << WindowName(settings.Next()) << '\n';

  Step("what the controller works with");
  for (int32_t i = 0; i < world.ControlledAirportCount; ++i) {
    const auto& a = world.ControlledAirports[static_cast<size_t>(i)];
    std::cout << "  " << a.Ident << " " << Cp1252ToUtf8(a.Name) << ": tower " << a.TowerFreq << ", ground "
              << a.GroundFreq << ", runway " << a.MainRunway.Ident << " magnetic " << a.MainRunway.MagHeading
              << (a.MainRunway.IlsFrequency.empty() ? "" : ", ILS " + a.MainRunway.IlsFrequency) << ", "
              << a.TaxiPointCount << " taxi points, " << a.ParkingCount << " parking spots\n";
  }
  // The table is in database order; KSEA is the one the demonstration flies from.
  size_t seaIndex = 0;
  while (world.ControlledAirports[seaIndex].Ident != "KSEA") ++seaIndex;
  const auto& sea = world.ControlledAirports[seaIndex];
  for (int32_t j = 0; j < world.ControlledAirportCount; ++j) {
    const auto& b = world.ControlledAirports[static_cast<size_t>(j)];
    if (&b == &sea) continue;
    std::cout << "  " << sea.Ident << " -> " << b.Ident << ": "
              << geo::DistanceNm(sea.Latitude, sea.Longitude, b.Latitude, b.Longitude) << " nm, course "
              << geo::TrueBearing(sea.Latitude, sea.Longitude, b.Latitude, b.Longitude) << " true, "
              << geo::MagneticBearing(sea.Latitude, sea.Longitude, b.Latitude, b.Longitude, world.MagVarGrid)
              << " magnetic\n";
  }

  Step("a pilot 8 nm out of KSEA on the 340 radial, heading 160");
  const geo::TargetPoint pilot = geo::DestinationPointNm(sea.Latitude, sea.Longitude, 340, 8);
  const int16_t bearing =
      geo::MagneticBearing(sea.Latitude, sea.Longitude, pilot.Latitude, pilot.Longitude, world.MagVarGrid);
  const int16_t toAirport = geo::TrueBearing(pilot.Latitude, pilot.Longitude, sea.Latitude, sea.Longitude);
  int32_t highest = 0;
  for (int32_t i = 0; i < world.TerrainPointCount; ++i) {
    highest = std::max(highest, world.TerrainPoints[static_cast<size_t>(i)].Elevation);
  }
  std::cout << "  position " << pilot.Latitude << ", " << pilot.Longitude
            << "; magnetic bearing from the field " << bearing << "\n  relative to runway "
            << sea.MainRunway.Ident << " (magnetic " << sea.MainRunway.MagHeading
            << ") the pilot is in the \"" << geo::RunwaySector(bearing, sea.MainRunway.MagHeading)
            << "\" sector (\"north\" lies beyond the far end, \"south\" on the approach side)\n"
            << "  the field is at the pilot's " << geo::ClockPosition(toAirport, 160)
            << "\n  highest terrain point near the controlled airports: " << highest << " ft\n";

  Step("a session of simulated pilots: data/scenarios/olympia_vfr.txt");
  const auto scenario = app::ShippedDataFolder(SKYVOX_DATA_DIR) / "scenarios" / "olympia_vfr.txt";
  sim::ScenarioRunner runner(sim::ParseScenarioFile(scenario.string()), appFolder, std::cout);
  runner.Run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  CLI::App cli{
      "skyvox-demo: the program's first start and a session of simulated pilots, run headless on the "
      "sample world of the Pacific Northwest, printed as a transcript"};
  cli.add_option("WORKFOLDER", work,
                 "where the simulator and program folders are made (default: a temporary folder, removed "
                 "afterwards)");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : 1;
  }
  bool temporary = false;
  if (work.empty()) {
    std::random_device random;
    work = (fs::temp_directory_path() / ("skyvox-demo-" + std::to_string(random()))).string();
    temporary = true;
  }
  int rc = 1;
  try {
    fs::create_directories(work);
    std::cout << "Skyvox demo in " << work << '\n';
    rc = Run(fs::absolute(work).string());
  } catch (const std::exception& e) {
    std::cerr << "skyvox-demo: " << e.what() << '\n';
  }
  if (temporary) {
    std::error_code ec;
    fs::remove_all(work, ec);
  }
  return rc;
}
