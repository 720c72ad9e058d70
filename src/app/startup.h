// The splash window and the start-up check that decides, from the files in the program's folder,
// whether the database and the configuration file can be used.
#pragma once

#include <string>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/windows.h"

namespace skyvox::app {

inline constexpr const char* kTerrainMissingText =
    "The world_terrain.db file is missing. Please reinstall this ATC program again.";
inline constexpr const char* kConfigDamagedText =
    "The Skyvox_link.cfg file is damaged and cannot be read. The configuration file and the database of "
    "airports will be created again.";

// AppFolder for a current directory: the directory with one trailing "\" or "/" removed.
std::string AppFolderFromCurrentDirectory(std::string currentDirectory);

// The check, in order: AppFolder; the terrain file (missing: message box, the program ends); the
// three files of the database and configuration, which must exist together (a missing one deletes
// the others); then either the first run (simulator-folder window) or the configuration read into
// the tables (settings window). A configuration file that cannot be read is reported in a message
// box and handled like a missing one.
NextWindow RunStartupCheck(const std::string& currentDirectory, ProgramState& state, MessageBoxes& boxes);

class SplashController {
 public:
  static constexpr int kTimerIntervalMs = 3000;
  static constexpr const char* kLabel = "SKYVOX VERSION 2.0";

  SplashController(ProgramState& state, MessageBoxes& boxes, std::string currentDirectory);

  bool IsOpen() const { return open_; }
  // The timer runs while the window is open; the check closes it, so it ticks once.
  bool TimerEnabled() const { return open_; }
  void Tick();
  NextWindow Next() const { return next_; }

 private:
  ProgramState& state_;
  MessageBoxes& boxes_;
  std::string currentDirectory_;
  bool open_ = true;
  NextWindow next_ = NextWindow::None;
};

}  // namespace skyvox::app
