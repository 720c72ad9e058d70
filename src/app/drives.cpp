#include "app/drives.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/system.h"

namespace skyvox::app {
namespace {
namespace fs = std::filesystem;

// File systems of the kernel and of services, never a volume a user keeps files on.
constexpr std::array<std::string_view, 24> kVirtualTypes = {
    "proc",       "sysfs",      "cgroup",    "cgroup2",   "devpts",          "devtmpfs",
    "mqueue",     "securityfs", "debugfs",   "tracefs",   "pstore",          "bpf",
    "configfs",   "fusectl",    "hugetlbfs", "autofs",    "binfmt_misc",     "efivarfs",
    "rpc_pipefs", "nsfs",       "ramfs",     "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal"};

bool Under(std::string_view path, std::string_view folder) {
  return path == folder ||
         (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

bool SystemMountPoint(std::string_view path) {
  if (Under(path, "/run/media")) return false;
  for (std::string_view folder : {"/proc", "/sys", "/dev", "/run", "/etc", "/snap"}) {
    if (Under(path, folder)) return true;
  }
  return false;
}

// A mount point as the table writes it: blank, tab, newline and backslash as three octal digits.
std::string Unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
    if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

std::vector<Drive> MountedDrives(std::string_view mountsText) {
  std::vector<std::string> points;
  std::istringstream lines{std::string(mountsText)};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string device, point, type;
    if (!(fields >> device >> point >> type)) continue;
    point = Unescape(point);
    if (point.empty() || point[0] != '/' || point == "/") continue;
    if (std::find(kVirtualTypes.begin(), kVirtualTypes.end(), type) != kVirtualTypes.end()) continue;
    if (SystemMountPoint(point)) continue;
    if (std::find(points.begin(), points.end(), point) == points.end()) points.push_back(point);
  }
  std::sort(points.begin(), points.end());
  std::vector<Drive> drives{{"/", "/"}};
  for (const std::string& point : points) drives.push_back({point, point});
  return drives;
}

std::string WinePrefixOf(const std::string& folder) {
  if (folder.empty()) return {};
  std::error_code ec;
  fs::path path = fs::absolute(fs::path(folder), ec);
  if (ec) return {};
  for (path = path.lexically_normal();; path = path.parent_path()) {
    if (IsFolder(path / "dosdevices") && IsFolder(path / "drive_c")) {
      std::string text = path.string();
      if (text.size() > 1 && text.back() == '/') text.pop_back();
      return text;
    }
    if (path == path.parent_path()) return {};
  }
}

std::vector<Drive> WineDrives(const std::string& prefix) {
  std::vector<Drive> drives;
  if (prefix.empty()) return drives;
  const fs::path devices = fs::path(prefix) / "dosdevices";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(devices, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 2 || name[1] != ':' || name[0] < 'a' || name[0] > 'z') continue;
    if (!IsFolder(entry.path())) continue;  // a dangling link or a device
    std::error_code linkError;
    const fs::path target = fs::read_symlink(entry.path(), linkError);
    const fs::path opened = linkError ? entry.path() : (target.is_absolute() ? target : devices / target);
    fs::path resolved = fs::weakly_canonical(opened, linkError);
    if (linkError) resolved = opened.lexically_normal();
    std::string label = resolved.filename().string();
    if (label.empty()) label = resolved.root_path().string();
    drives.push_back({name + " [" + label + "]", resolved.string()});
  }
  std::sort(drives.begin(), drives.end(),
            [](const Drive& a, const Drive& b) { return a.Display < b.Display; });
  return drives;
}

std::vector<Drive> ListDrives(const std::string& chosenFolder, std::string_view mountsText) {
  std::vector<Drive> drives = WineDrives(WinePrefixOf(chosenFolder));
  for (Drive& drive : MountedDrives(mountsText)) drives.push_back(std::move(drive));
  return drives;
}

std::vector<Drive> ListDrives(const std::string& chosenFolder) {
  // Windows has drive letters of its own: each "x: [label]" (the label when the volume has one),
  // opening the drive's root.
  if (const std::vector<platform::DriveLetter> letters = platform::DriveLetters(); !letters.empty()) {
    std::vector<Drive> drives;
    for (const platform::DriveLetter& d : letters) {
      std::string display = {static_cast<char>(d.Letter - 'A' + 'a'), ':'};
      if (!d.Label.empty()) display += " [" + d.Label + "]";
      drives.push_back({display, std::string{d.Letter, ':', '\\'}});
    }
    return drives;
  }
  std::ifstream file("/proc/self/mounts");
  std::ostringstream text;
  if (file) text << file.rdbuf();
  return ListDrives(chosenFolder, text.str());
}

}  // namespace skyvox::app
