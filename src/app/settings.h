// The settings window ("Settings"): on the first run it builds the world database one BGL file per
// Scan_Bgl tick; then the user picks the controlled airports and presses "Next", which loads them with
// their terrain and hands over to the connection window after the Wait_for_Close tick.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/windows.h"
#include "scenery/database_build.h"

namespace skyvox::app {

inline constexpr const char* kSettingsCaption = "Settings";
inline constexpr const char* kAllAirportsFrame = "All airports of the FS world";
inline constexpr const char* kAirportListInitialText = "[Type and select an airport's ICAO_ID from the list]";
inline constexpr const char* kAddButton = "Add to controlled airports list";
inline constexpr const char* kControlledFrame = "Controlled airports list";
inline constexpr const char* kRemoveButton = "Remove from controlled airports list";
inline constexpr const char* kNextButton = "Next";
inline constexpr const char* kExitButton = "Exit";
inline constexpr const char* kStatusCaption = "Status:";
inline constexpr const char* kScanningCaption = "Scanning:";
inline constexpr const char* kProgressCaption = "Processing please wait...";
inline constexpr const char* kStatusDone = "Done!";
inline constexpr const char* kStatusProcessing = "Processing Please Wait...";
inline constexpr const char* kFirstRunText =
    "This is the first time you run this program. Now this program will create a database of all the "
    "airports of the FS world. This process can take a few minutes, please wait.";
inline constexpr const char* kDatabaseCompletedText = "The creation process of the database was completed!.";

// What a front end may show of the build's progress after each step.
struct BuildProgress {
  int32_t FilesDone = 0;
  int32_t FilesTotal = 0;
  std::string Area;
  int32_t Airports = 0;
  int32_t Airspaces = 0;
};

// Where the first-run build writes the database and the configuration file. Names left empty are the
// program folder's own files, as the windows write them; a tool may build into other files and put
// them in place only once the build succeeded.
struct BuildFiles {
  std::string Airports;
  std::string Airspaces;
  std::string Config;
};

class SettingsController {
 public:
  static constexpr int kScanIntervalMs = 5;
  static constexpr int kWaitForCloseIntervalMs = 3000;

  // driveList: the machine's drives as a drive list shows them ("c: [label]"); empty where there are
  // no drive letters.
  SettingsController(ProgramState& state, MessageBoxes& boxes, std::vector<std::string> driveList = {});

  void Load();
  void ScanTick();
  void SelectAirport(int index);             // picks an entry of the airport list
  void TypeAirportText(const std::string&);  // the user types in the list's text box: nothing selected
  void SelectControlled(int index);
  void AddPressed();
  void RemovePressed();
  void NextPressed();
  void WaitForCloseTick();
  void ExitPressed();
  void Unload();  // the user closes the window

  // Before Load.
  void SetBuildFiles(BuildFiles files) { files_ = std::move(files); }
  const BuildFiles& Files() const { return files_; }

  void SetProgressCallback(std::function<void(const BuildProgress&)> callback) {
    progress_ = std::move(callback);
  }

  const std::vector<std::string>& AirportList() const { return airportList_; }
  const std::string& AirportListText() const { return airportText_; }
  int AirportListIndex() const { return airportIndex_; }
  const std::vector<std::string>& ControlledList() const { return controlledList_; }
  int ControlledListIndex() const { return controlledIndex_; }
  const std::string& StatusLabel() const { return statusLabel_; }
  const std::string& StatusText() const { return statusText_; }
  bool ControlsEnabled() const { return controlsEnabled_; }
  int32_t ProgressValue() const { return progressValue_; }
  int32_t ProgressMax() const { return progressMax_; }
  bool ProgressWindowShown() const { return progressWindowShown_; }
  const std::string& ProgressWindowText() const { return progressWindowText_; }
  bool ScanTimerEnabled() const { return scanEnabled_; }
  bool WaitForCloseEnabled() const { return waitEnabled_; }
  bool IsOpen() const { return open_; }
  NextWindow Next() const { return next_; }
  const scenery::DatabaseBuild* Build() const { return build_.get(); }
  scenery::DatabaseBuild* Build() { return build_.get(); }

 private:
  void SetStatusLabel(const std::string& label);
  void ReadDatabase(const std::function<void(const std::string&)>& showText);
  void FinishBuild();
  void EndProgram();
  void ReportProgress();

  ProgramState& state_;
  MessageBoxes& boxes_;
  std::vector<std::string> driveList_;
  std::unique_ptr<scenery::DatabaseBuild> build_;
  std::function<void(const BuildProgress&)> progress_;
  BuildFiles files_;

  std::vector<std::string> airportList_;
  std::string airportText_ = kAirportListInitialText;
  int airportIndex_ = -1;
  std::vector<std::string> controlledList_;
  int controlledIndex_ = -1;
  std::string statusLabel_ = kStatusDone;
  std::string statusText_;
  bool controlsEnabled_ = true;
  int32_t progressValue_ = 0;
  int32_t progressMax_ = 0;
  bool progressWindowShown_ = false;
  std::string progressWindowText_;
  bool scanEnabled_ = false;
  bool waitEnabled_ = false;
  bool open_ = true;
  NextWindow next_ = NextWindow::None;
};

// The text of the scan's error message for a file.
std::string BglScanErrorText(const std::string& lowerCasedFileName);

}  // namespace skyvox::app
