// The corrected mode's own settings file, AppFolder/skyvox_corrected_mode.cfg, kept apart from the
// configuration file so that the design's files stay as the design has them. One text line:
// "corrected=on" or "corrected=off". A missing file is the mode off.
#pragma once

#include <istream>
#include <string>

namespace skyvox::app {

inline constexpr const char* kCorrectedModeFileName = "skyvox_corrected_mode.cfg";

// On only for a file whose first line is "corrected=on" (blanks and a carriage return around it
// allowed); a missing, unreadable or other file reads as off. Never throws.
bool ReadCorrectedMode(const std::string& appFolder);
// The same from the file's content.
bool ParseCorrectedMode(std::istream& in);
// Replaces the file with the mode's line. Throws FileError.
void WriteCorrectedMode(const std::string& appFolder, bool on);

}  // namespace skyvox::app
