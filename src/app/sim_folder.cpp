#include "app/sim_folder.h"

#include <algorithm>

#include "app/config_file.h"
#include "base/errors.h"
#include "base/files.h"
#include "scenery/database_files.h"

namespace skyvox::app {

std::string ApplyDriveRootRule(std::string text) {
  if (text.size() == 3) {
    std::erase(text, '\\');
    std::erase(text, '/');
  }
  return text;
}

SimFolderController::SimFolderController(ProgramState& state, MessageBoxes& boxes)
    : state_(state), boxes_(boxes) {}

void SimFolderController::Load(const std::string& folderListPath) {
  const std::string& app = state_.World.AppFolder;
  DeleteFileQuietly(app, scenery::kAirportsFileName);
  DeleteFileQuietly(app, scenery::kAirspacesFileName);
  FolderChanged(folderListPath);
}

void SimFolderController::DriveChanged(const std::string& drive) {
  FolderChanged(drive);
}

void SimFolderController::FolderChanged(const std::string& path) {
  folderListPath_ = path;
  TextChanged(path);
}

void SimFolderController::TextChanged(const std::string& text) {
  text_ = ApplyDriveRootRule(text);
}

void SimFolderController::CreatePressed() {
  if (!open_) return;
  if (!FileExistsNoCase(text_, kSimulatorExecutable)) {
    boxes_.Show(kProgramTitle, kNotSimFolderText, MessageIcon::Exclamation);
    return;
  }
  try {
    WriteConfigFile(state_.World.AppFolder, {text_, 0, 0});
  } catch (const Error& e) {
    boxes_.Show(kProgramTitle, std::string("The configuration file could not be written: ") + e.what(),
                MessageIcon::Exclamation);
    return;
  }
  state_.World.SimFolder = text_;
  boxes_.Show(kProgramTitle, kConfigCreatedText, MessageIcon::Information);
  open_ = false;
  next_ = NextWindow::Settings;
}

}  // namespace skyvox::app
