// The drive list of the simulator-folder window on a system without drive letters: the file system's
// root and the mounted volumes a user keeps files on, and, when the chosen folder lies inside a Wine
// prefix, that prefix's drive letters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skyvox::app {

struct Drive {
  std::string Display;  // as the list shows it: "c: [drive_c]" for a drive letter, else the mount point
  std::string Path;     // the folder the entry opens
  bool operator==(const Drive&) const = default;
};

// "/" first, then the mount points of a mounts table (the format of /proc/self/mounts: device, mount
// point with blanks escaped as \040, type, options, ...) that are real volumes, in path order: kernel
// and virtual file systems, and everything mounted under /proc, /sys, /dev, /run (but /run/media), /etc
// and /snap are left out. Lines that cannot be read are skipped.
std::vector<Drive> MountedDrives(std::string_view mountsText);

// The Wine prefix holding `folder` (the nearest folder, `folder` included, with both dosdevices/ and
// drive_c/ in it), or "" when there is none.
std::string WinePrefixOf(const std::string& folder);

// The drive letters of a Wine prefix, "a:" to "z:" in dosdevices/ that lead to a folder, in letter
// order; each shown as "x: [label]", the label being the last name of its target ("drive_c", or "/" for
// the root), and opening the target.
std::vector<Drive> WineDrives(const std::string& prefix);

// The whole list: the Wine prefix's letters (when `chosenFolder` lies in one), then MountedDrives of
// the mounts text.
std::vector<Drive> ListDrives(const std::string& chosenFolder, std::string_view mountsText);
// The same over this process's mounts (/proc/self/mounts; only "/" when it cannot be read). On Windows
// the system's drive letters instead.
std::vector<Drive> ListDrives(const std::string& chosenFolder);

}  // namespace skyvox::app
