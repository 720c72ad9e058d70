// What only the operating system can tell the program: its own file, and on Windows the drive letters
// in use. The rest of the program reaches the system through the standard library alone; the system's
// own headers stay in this library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace skyvox::platform {

// The running program's file; an empty path when the system cannot say.
std::filesystem::path RunningProgram();

struct DriveLetter {
  char Letter = 'C';  // upper case
  std::string Label;  // the volume's label in Windows-1252, "" when it has none or was not asked
};

// Windows's drive letters in use, in letter order, each fixed volume with its label (removable and
// network drives are not asked, which could keep us waiting). Empty on other systems.
std::vector<DriveLetter> DriveLetters();

}  // namespace skyvox::platform
