#include "app/data_folder.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

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
  std::error_code ec;
#ifdef _WIN32
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) break;
    if (n < self.size()) return fs::path(self.substr(0, n));
    if (self.size() >= 32768) break;
    self.resize(self.size() * 2);
  }
#else
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self;
#endif
  return fs::absolute(fallback ? fallback : "", ec);
}

}  // namespace skyvox::app

namespace skyvox::app {

fs::path ShippedDataFolder(const fs::path& builtFrom) {
  const fs::path found = FindDataFolder(RunningExecutable(nullptr), builtFrom);
  return found.empty() ? builtFrom : found;
}

}  // namespace skyvox::app
