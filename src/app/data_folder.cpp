#include "app/data_folder.h"

#include <system_error>

#include "platform/system.h"

#include "scenery/database_files.h"

namespace skyvox::app {

namespace fs = std::filesystem;

fs::path InstalledDataFolder(const fs::path& executable) {
  return executable.parent_path().parent_path() / "share" / "skyvox";
}

fs::path FindDataFolder(const fs::path& executable, const fs::path& builtFrom) {
  std::error_code ec;
  for (const fs::path& folder : {InstalledDataFolder(executable), builtFrom}) {
    if (!folder.empty() && fs::is_regular_file(folder / scenery::kTerrainFileName, ec)) return folder;
  }
  return {};
}

fs::path RunningExecutable(const char* fallback) {
  if (fs::path self = platform::RunningProgram(); !self.empty()) return self;
  std::error_code ec;
  return fs::absolute(fallback ? fallback : "", ec);
}

}  // namespace skyvox::app

namespace skyvox::app {

fs::path ShippedDataFolder(const fs::path& builtFrom) {
  const fs::path found = FindDataFolder(RunningExecutable(nullptr), builtFrom);
  return found.empty() ? builtFrom : found;
}

}  // namespace skyvox::app
