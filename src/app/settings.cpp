#include "app/settings.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <span>

#include "app/config_file.h"
#include "base/errors.h"
#include "base/files.h"
#include "geo/wmm.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "scenery/windows_paths.h"

namespace skyvox::app {

std::string BglScanErrorText(const std::string& lowerCasedFileName) {
  return "Error - while scanning this BGL file:  " + lowerCasedFileName + "  . The program will shutdown.";
}

SettingsController::SettingsController(ProgramState& state, MessageBoxes& boxes,
                                       std::vector<std::string> driveList)
    : state_(state), boxes_(boxes), driveList_(std::move(driveList)) {}

void SettingsController::SetStatusLabel(const std::string& label) {
  statusLabel_ = label;
  if (label == kStatusProcessing) controlsEnabled_ = false;
  if (label == kStatusDone) controlsEnabled_ = true;
}

void SettingsController::ReportProgress() {
  if (!progress_) return;
  BuildProgress p;
  p.FilesDone = build_ ? build_->FilesDone() : 0;
  p.FilesTotal = build_ ? build_->BglFileCount : 0;
  p.Area = build_ ? build_->CurrentTitle() : std::string();
  p.Airports = state_.World.AirportCount;
  p.Airspaces = state_.World.AirspaceCount;
  progress_(p);
}

// Lists the airports and loads the airspaces, showing what it reads through showText.
void SettingsController::ReadDatabase(const std::function<void(const std::string&)>& showText) {
  auto& world = state_.World;
  showText("Reading airports...");
  airportList_ = scenery::ListAllAirports(files_.Airports);
  showText("Reading airspaces...");
  try {
    scenery::LoadAirspaces(files_.Airspaces, world);
  } catch (const Error& e) {
    world.Airspaces.assign(1, scenery::AirspaceRecord{});
    boxes_.Show(kProgramTitle, std::string("The airspaces could not be read: ") + e.what(),
                MessageIcon::Exclamation);
  }
  showText("");
}

void SettingsController::Load() {
  auto& world = state_.World;
  if (files_.Airports.empty()) files_.Airports = JoinPath(world.AppFolder, scenery::kAirportsFileName);
  if (files_.Airspaces.empty()) files_.Airspaces = JoinPath(world.AppFolder, scenery::kAirspacesFileName);
  if (files_.Config.empty()) files_.Config = ConfigFilePath(world.AppFolder);
  world.ResetLoadedTables();
  progressWindowShown_ = true;
  progressWindowText_ = "Magdec.bgl file";
  const auto magdec = scenery::ResolvePathNoCase(world.SimFolder + "\\scenery\\magdec.bgl",
                                                 scenery::PathContext{world.AppFolder, world.SimFolder});
  const auto status = scenery::LoadSessionVariation(magdec, world, state_.DataFolder / "WMM.COF",
                                                    geo::DecimalYear(std::chrono::system_clock::now()));
  if (status == scenery::MagdecStatus::Missing || status == scenery::MagdecStatus::TooShort) {
    boxes_.Show(kProgramTitle,
                std::string("The magnetic variation file scenery\\magdec.bgl of the simulator is ") +
                    (status == scenery::MagdecStatus::Missing ? "missing" : "too short to be read") +
                    ". Headings will be given without magnetic variation.",
                MessageIcon::Exclamation);
  }

  if (!world.FirstRun) {
    ReadDatabase([this](const std::string& text) { progressWindowText_ = text; });
    progressValue_ = 0;
    SetStatusLabel(kStatusDone);
    progressWindowShown_ = false;
    return;
  }

  boxes_.Show(kProgramTitle, kFirstRunText, MessageIcon::Information);
  // The design keeps the configuration file the simulator-folder window wrote while the build runs, so
  // a build cut short (the program killed, a disk that filled) leaves database files that pass the next
  // start-up check as a whole database, read back with whatever airports reached them. The correction
  // keeps the configuration file away until the build has finished: without it that check deletes
  // the database files and the next start builds again.
  if (world.Corrected.Applies(Correction::WholeBuildsOnly)) {
    std::error_code ignored;
    std::filesystem::remove(files_.Config, ignored);
  }
  progressWindowText_ = "Scenery.cfg file";
  build_ = std::make_unique<scenery::DatabaseBuild>(world);
  try {
    build_->Start(driveList_);
    if (build_->Library.SceneryAreaCount == 0) {
      boxes_.ShowCause(JoinPath(world.SimFolder, "scenery.cfg") +
                       " names no scenery area: the database of airports will be empty");
    }
  } catch (const Error& e) {
    // Without a readable scenery library the build finds no areas and ends with an empty database.
    build_ = std::make_unique<scenery::DatabaseBuild>(world);
    boxes_.Show(kProgramTitle,
                std::string("The scenery library could not be read (") + e.what() +
                    "). The database of airports will be empty.",
                MessageIcon::Exclamation);
  }
  build_->AirportsFile = files_.Airports;
  build_->AirspacesFile = files_.Airspaces;
  progressValue_ = 0;
  progressMax_ = build_->BglFileCount + 1;
  SetStatusLabel(kStatusProcessing);
  progressWindowShown_ = false;
  scanEnabled_ = true;
  ReportProgress();
}

void SettingsController::ScanTick() {
  if (!scanEnabled_ || !build_) return;
  try {
    if (build_->Tick()) {
      statusText_ = build_->CurrentTitle();
      progressValue_ = build_->FilesDone();
      ReportProgress();
      return;
    }
    FinishBuild();
  } catch (const Error& e) {
    // The box names the file as the design does, whatever failed; the cause says what really did: the
    // BGL file as the file system knows it and why, or the database file that could not be written.
    const auto* bgl = dynamic_cast<const scenery::BglScanError*>(&e);
    scanEnabled_ = false;
    // What was appended stays, and the configuration file keeps the counts the simulator-folder window
    // wrote. Under the correction it was taken away at the start: a BGL file that ends the build gets
    // it back with those counts, as the design leaves it, but database files that could not be written
    // are not whole and are left without it.
    if (state_.World.Corrected.Applies(Correction::WholeBuildsOnly) &&
        !dynamic_cast<const scenery::DatabaseWriteError*>(&e)) {
      try {
        WriteConfigFileTo(files_.Config, {state_.World.SimFolder, 0, 0});
      } catch (const Error&) {
      }
    }
    boxes_.Show(kProgramTitle, BglScanErrorText(build_->CurrentFileName()), MessageIcon::Critical);
    boxes_.ShowCause(bgl ? bgl->Cause() : std::string(e.what()));
    EndProgram();
  }
}

void SettingsController::FinishBuild() {
  auto& world = state_.World;
  scanEnabled_ = false;
  try {
    WriteConfigFileTo(files_.Config, {world.SimFolder, world.AirportCount, world.AirspaceCount});
  } catch (const Error& e) {
    throw scenery::DatabaseWriteError(e.what());
  }
  boxes_.Show(kProgramTitle, kDatabaseCompletedText, MessageIcon::Information);
  ReadDatabase([this](const std::string& text) { statusText_ = text; });
  progressValue_ = 0;
  SetStatusLabel(kStatusDone);
  world.FirstRun = false;
  ReportProgress();
}

void SettingsController::SelectAirport(int index) {
  if (index < 0 || static_cast<size_t>(index) >= airportList_.size()) return;
  airportIndex_ = index;
  airportText_ = airportList_[static_cast<size_t>(index)];
}

void SettingsController::TypeAirportText(const std::string& text) {
  airportText_ = text;
  airportIndex_ = -1;
}

void SettingsController::SelectControlled(int index) {
  if (index < 0 || static_cast<size_t>(index) >= controlledList_.size()) return;
  controlledIndex_ = index;
}

void SettingsController::AddPressed() {
  if (!controlsEnabled_) return;
  if (airportIndex_ >= 0) controlledList_.push_back(airportList_[static_cast<size_t>(airportIndex_)]);
  airportText_ = "";
  airportIndex_ = -1;
}

void SettingsController::RemovePressed() {
  if (!controlsEnabled_ || controlledIndex_ < 0) return;
  controlledList_.erase(controlledList_.begin() + controlledIndex_);
  controlledIndex_ = -1;
}

void SettingsController::NextPressed() {
  if (!controlsEnabled_ || controlledList_.empty()) return;
  auto& world = state_.World;
  scanEnabled_ = false;
  SetStatusLabel(kStatusProcessing);
  statusText_ = "Getting Controlled Airports Info";
  try {
    scenery::LoadControlledAirports(JoinPath(world.AppFolder, scenery::kAirportsFileName), controlledList_,
                                    world);
    statusText_ = "Getting Terrain Info...";
    const std::vector<uint8_t> terrain = ReadWholeFile(JoinPath(world.AppFolder, scenery::kTerrainFileName));
    // A copy cut short would silently give fewer (or no) terrain points: refused, with its cause.
    if (const auto fault = scenery::TerrainFileFault(terrain)) throw FileError(*fault);
    if (world.ControlledAirportCount > 0) {
      statusText_ = "World_terrain.db file";
      scenery::LoadTerrainPoints(
          std::span(world.ControlledAirports).first(static_cast<size_t>(world.ControlledAirportCount)),
          terrain, world);
    }
  } catch (const Error& e) {
    // Nothing is handed over half-loaded: the window stays, ready for another try.
    world.ControlledAirportCount = 0;
    world.ControlledAirports.assign(1, scenery::EmptyAirportWithSpareElements());
    world.TerrainPointCount = 0;
    world.TerrainPoints.assign(1, scenery::TerrainPoint{});
    statusText_ = "";
    SetStatusLabel(kStatusDone);
    boxes_.Show(kProgramTitle, std::string("The controlled airports could not be loaded: ") + e.what(),
                MessageIcon::Exclamation);
    return;
  }
  waitEnabled_ = true;
}

void SettingsController::WaitForCloseTick() {
  if (!waitEnabled_ || !open_) return;
  waitEnabled_ = false;
  open_ = false;
  next_ = NextWindow::Connection;
}

void SettingsController::EndProgram() {
  scanEnabled_ = false;
  waitEnabled_ = false;
  open_ = false;
  next_ = NextWindow::Terminate;
}

void SettingsController::ExitPressed() {
  if (!controlsEnabled_ || !open_) return;
  statusText_ = "Please wait...";
  EndProgram();
}

void SettingsController::Unload() {
  if (!open_) return;
  if (statusLabel_ == kStatusProcessing) {
    open_ = false;
    return;
  }
  statusText_ = "Please wait...";
  EndProgram();
}

}  // namespace skyvox::app
