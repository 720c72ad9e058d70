#include "sample_program.h"

#include <filesystem>
#include <ostream>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/sim_folder.h"
#include "app/startup.h"
#include "base/files.h"
#include "base/text.h"
#include "make_scenery.h"
#include "scenery/database_files.h"

namespace skyvox::tools {
namespace {
namespace fs = std::filesystem;

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

void Step(std::ostream& out, const std::string& text) {
  out << "\n== " << text << " ==\n";
}

void Expect(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("the first start stopped: " + what);
}

}  // namespace

SampleProgram FirstStartOnSampleWorld(const std::string& work, const std::vector<std::string>& controlled,
                                      const std::string& dataDir, std::ostream& out) {
  SampleProgram program{JoinPath(work, "Skyvox"), JoinPath(work, "FS2002")};
  fs::create_directories(program.AppFolder);
  fs::copy_file(fs::path(dataDir) / scenery::kTerrainFileName,
                fs::path(program.AppFolder) / scenery::kTerrainFileName,
                fs::copy_options::overwrite_existing);

  Step(out, "a simulator folder from data/sample_world.txt");
  MakeScenery((fs::path(dataDir) / "sample_world.txt").string(), 0, 1, 0, 2025.0, program.SimFolder, dataDir);

  app::ProgramState state;
  state.DataFolder = dataDir;
  app::ConsoleMessageBoxes boxes(out);
  Step(out, std::string("first start: ") + app::SplashController::kLabel);
  app::SplashController splash(state, boxes, program.AppFolder + "/");
  splash.Tick();
  out << "FirstRun " << (state.World.FirstRun ? "True" : "False") << "; next window "
      << WindowName(splash.Next()) << '\n';
  Expect(splash.Next() == app::NextWindow::SimulatorFolder,
         "the start-up check did not ask for the simulator");

  Step(out, app::kSimFolderCaption);
  app::SimFolderController folder(state, boxes);
  folder.Load(program.AppFolder);
  folder.FolderChanged(program.SimFolder);
  out << app::kSimFolderPathLabel << ' ' << folder.Text() << '\n';
  folder.CreatePressed();
  Expect(folder.Next() == app::NextWindow::Settings, "the simulator folder was not taken");

  Step(out, app::kSettingsCaption);
  app::SettingsController settings(state, boxes);
  int32_t shown = 0;
  settings.SetProgressCallback([&](const app::BuildProgress& p) {
    if (p.FilesDone > shown) {
      shown = p.FilesDone;
      out << "  scanned " << p.FilesDone << "/" << p.FilesTotal << " files (" << Cp1252ToUtf8(p.Area)
          << "): " << p.Airports << " airports, " << p.Airspaces << " airspaces\n";
    }
  });
  settings.Load();
  int ticks = 0;
  while (settings.ScanTimerEnabled()) {
    settings.ScanTick();
    ++ticks;
  }
  out << ticks << " Scan_Bgl ticks; status \"" << settings.StatusLabel() << "\"\n";
  for (const std::string& ident : controlled) {
    const auto& list = settings.AirportList();
    int index = -1;
    for (size_t i = 0; i < list.size() && index < 0; ++i) {
      if (list[i].starts_with(ident + " - ")) index = static_cast<int>(i);
    }
    Expect(index >= 0, "the sample world has no airport " + ident);
    settings.SelectAirport(index);
    settings.AddPressed();
  }
  out << "controlled airports:";
  for (const auto& entry : settings.ControlledList()) out << " [" << Cp1252ToUtf8(entry) << ']';
  out << '\n';
  settings.NextPressed();
  settings.WaitForCloseTick();
  const auto& world = state.World;
  out << "loaded " << world.ControlledAirportCount << " controlled airports, " << world.AirspaceCount
      << " airspaces, " << world.TerrainPointCount << " terrain points; next window "
      << WindowName(settings.Next()) << '\n';
  Expect(settings.Next() == app::NextWindow::Connection,
         "the settings window did not lead to the connection");
  return program;
}

}  // namespace skyvox::tools
