#include "app/corrected_mode_file.h"

#include <fstream>

#include "base/errors.h"
#include "base/files.h"

namespace skyvox::app {

bool ReadCorrectedMode(const std::string& appFolder) {
  const auto path = FindFileNoCase(appFolder, kCorrectedModeFileName);
  if (!path) return false;
  std::ifstream in(*path);
  return ParseCorrectedMode(in);
}

bool ParseCorrectedMode(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return false;
  const size_t first = line.find_first_not_of(" \t");
  const size_t last = line.find_last_not_of(" \t\r");
  return first != std::string::npos && line.substr(first, last - first + 1) == "corrected=on";
}

void WriteCorrectedMode(const std::string& appFolder, bool on) {
  const std::string path = JoinPath(appFolder, kCorrectedModeFileName);
  std::ofstream out(path, std::ios::trunc);
  out << (on ? "corrected=on\n" : "corrected=off\n");
  out.close();
  if (!out) throw FileError("cannot write " + path);
}

}  // namespace skyvox::app
