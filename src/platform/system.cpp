#include "platform/system.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "base/files.h"
#endif

namespace skyvox::platform {

namespace fs = std::filesystem;

#ifdef _WIN32

fs::path RunningProgram() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) return {};
    if (n < self.size()) return fs::path(self.substr(0, n));
    if (self.size() >= 32768) return {};
    self.resize(self.size() * 2);
  }
}

std::vector<DriveLetter> DriveLetters() {
  std::vector<DriveLetter> drives;
  const DWORD letters = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(letters & (1u << i))) continue;
    DriveLetter drive;
    drive.Letter = static_cast<char>('A' + i);
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    const UINT type = GetDriveTypeW(root);
    wchar_t label[MAX_PATH + 1] = {};
    if ((type == DRIVE_FIXED || type == DRIVE_RAMDISK) &&
        GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
      drive.Label = PathText(fs::path(label));
    }
    drives.push_back(std::move(drive));
  }
  return drives;
}

#else

fs::path RunningProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

std::vector<DriveLetter> DriveLetters() {
  return {};
}

#endif

}  // namespace skyvox::platform
