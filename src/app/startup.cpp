#include "app/startup.h"

#include <utility>

#include "app/config_file.h"
#include "app/corrected_mode_file.h"
#include "base/errors.h"
#include "base/files.h"
#include "scenery/database_files.h"

namespace skyvox::app {

std::string AppFolderFromCurrentDirectory(std::string currentDirectory) {
  if (!currentDirectory.empty() && (currentDirectory.back() == '\\' || currentDirectory.back() == '/')) {
    currentDirectory.pop_back();
  }
  return currentDirectory;
}

NextWindow RunStartupCheck(const std::string& currentDirectory, ProgramState& state, MessageBoxes& boxes) {
  auto& world = state.World;
  world.AppFolder = AppFolderFromCurrentDirectory(currentDirectory);
  const std::string& app = world.AppFolder;
  // The corrected mode lives in a file of its own; without it the program is the design to the letter.
  world.Corrected.On = ReadCorrectedMode(app);

  if (!FileExistsNoCase(app, scenery::kTerrainFileName)) {
    boxes.Show(kProgramTitle, kTerrainMissingText, MessageIcon::Exclamation);
    return NextWindow::Terminate;
  }
  if (!FileExistsNoCase(app, scenery::kAirportsFileName)) {
    DeleteFileQuietly(app, scenery::kAirspacesFileName);
    DeleteFileQuietly(app, kConfigFileName);
  }
  if (!FileExistsNoCase(app, scenery::kAirspacesFileName)) {
    DeleteFileQuietly(app, scenery::kAirportsFileName);
    DeleteFileQuietly(app, kConfigFileName);
  }

  auto firstRun = [&] {
    DeleteFileQuietly(app, scenery::kAirportsFileName);
    DeleteFileQuietly(app, scenery::kAirspacesFileName);
    world.FirstRun = true;
    return NextWindow::SimulatorFolder;
  };
  if (!FileExistsNoCase(app, kConfigFileName)) return firstRun();

  scenery::ConfigRecord config;
  try {
    config = ReadConfigFile(app);
  } catch (const Error&) {
    boxes.Show(kProgramTitle, kConfigDamagedText, MessageIcon::Exclamation);
    DeleteFileQuietly(app, kConfigFileName);
    return firstRun();
  }
  world.FirstRun = false;
  world.SimFolder = config.SimFolder;
  world.AirportCount = config.AirportCount;
  world.AirspaceCount = config.AirspaceCount;
  return NextWindow::Settings;
}

SplashController::SplashController(ProgramState& state, MessageBoxes& boxes, std::string currentDirectory)
    : state_(state), boxes_(boxes), currentDirectory_(std::move(currentDirectory)) {}

void SplashController::Tick() {
  if (!open_) return;
  next_ = RunStartupCheck(currentDirectory_, state_, boxes_);
  open_ = false;
}

}  // namespace skyvox::app
