// The simulator-folder window ("Creating Configuration File"): the user picks the simulator's folder,
// the program checks that fs2002.exe is there and writes the configuration file.
#pragma once

#include <string>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/windows.h"

namespace skyvox::app {

inline constexpr const char* kSimFolderCaption = "Creating Configuration File";
inline constexpr const char* kSimFolderFrame = "Getting FS2002 Path";
inline constexpr const char* kSimFolderPathLabel = "Current Path:";
inline constexpr const char* kSimFolderInitialText = "-none-";
inline constexpr const char* kSimFolderHintLabel = "Example:";
inline constexpr const char* kSimFolderHint = "C:\\Program Files\\Microsoft Games\\FS2002";
inline constexpr const char* kSimFolderButton = "Create Configuration File";
inline constexpr const char* kAboutMenu = "About";
inline constexpr const char* kAboutMenuItem = "About Skyvox v2.0";
inline constexpr const char* kSimulatorExecutable = "fs2002.exe";
inline constexpr const char* kNotSimFolderText =
    "The directory or path that you selected is not your currently FS2002 main folder, because this "
    "program didn't found the FS2002.EXE file. Please try again.";
inline constexpr const char* kConfigCreatedText =
    "The creation process of the configuration file for this program was completed!";

// Text box rule: a text of exactly three characters (a drive root such as "C:\") loses every "\" and
// then every "/", so that a root reads "C:".
std::string ApplyDriveRootRule(std::string text);

class SimFolderController {
 public:
  SimFolderController(ProgramState& state, MessageBoxes& boxes);

  // Window load: deletes the two database files (errors ignored) and shows the folder list's path.
  void Load(const std::string& folderListPath);
  // The drive list's choice becomes the folder list's path, which the text box then shows.
  void DriveChanged(const std::string& drive);
  void FolderChanged(const std::string& path);
  void TextChanged(const std::string& text);
  // "Create Configuration File".
  void CreatePressed();

  const std::string& Text() const { return text_; }
  const std::string& FolderListPath() const { return folderListPath_; }
  bool IsOpen() const { return open_; }
  NextWindow Next() const { return next_; }

 private:
  ProgramState& state_;
  MessageBoxes& boxes_;
  std::string text_ = kSimFolderInitialText;
  std::string folderListPath_;
  bool open_ = true;
  NextWindow next_ = NextWindow::None;
};

}  // namespace skyvox::app
