// The drive list from a mounts table and from a Wine prefix written in a temporary folder.
#include "app/drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/platform.h"
#include "support/temp_dir.h"

namespace skyvox::app {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::TempDir;

TEST(Drives, MountsTableKeepsOnlyRealVolumes) {
  const std::string mounts =
      "overlay / overlay rw,relatime 0 0\nproc /proc proc rw 0 0\ntmpfs /dev tmpfs rw 0 0\n"
      "sysfs /sys sysfs ro 0 0\ncgroup2 /sys/fs/cgroup cgroup2 ro 0 0\ndevpts /dev/pts devpts rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n/dev/sda1 /etc/hosts ext4 rw 0 0\n"
      "/dev/loop3 /snap/core/1 squashfs ro 0 0\n/dev/sdb1 /media/pilot/FS\\0402002 vfat rw 0 0\n"
      "/dev/sdc1 /run/media/pilot/STICK vfat rw 0 0\n/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/sda3 /mnt/games ext4 rw 0 0\n/dev/sda3 /mnt/games ext4 rw 0 0\n"  // mounted twice: listed once
      "fuse.gvfsd-fuse /home/pilot/.gvfs fuse.gvfsd-fuse rw 0 0\nnot a line\n\n";
  EXPECT_EQ(MountedDrives(mounts),
            (std::vector<Drive>{{"/", "/"},
                                {"/home", "/home"},
                                {"/media/pilot/FS 2002", "/media/pilot/FS 2002"},
                                {"/mnt/games", "/mnt/games"},
                                {"/run/media/pilot/STICK", "/run/media/pilot/STICK"}}));
  EXPECT_EQ(MountedDrives(""), (std::vector<Drive>{{"/", "/"}}));
}

TEST(Drives, AFolderInAWinePrefixListsThePrefixLetters) {
  SKYVOX_LINUX_ONLY("a Wine prefix's drive letters are Linux's; Windows lists its own");
  TempDir dir;
  const fs::path prefix = dir.Path() / "wine";
  const fs::path sim = prefix / "drive_c" / "Program Files" / "FS2002";
  for (const fs::path& folder : {sim, prefix / "dosdevices", dir.Path() / "cdrom"})
    fs::create_directories(folder);
  fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
  fs::create_symlink("/", prefix / "dosdevices" / "z:");
  fs::create_symlink(dir.Path() / "cdrom", prefix / "dosdevices" / "d:");
  fs::create_symlink("/no/such/folder", prefix / "dosdevices" / "e:");  // dangling: left out
  fs::create_symlink("/dev/null", prefix / "dosdevices" / "com1");      // a port, not a drive
  fs::create_symlink("/dev/null", prefix / "dosdevices" / "d::");       // the raw device of d:

  EXPECT_EQ(WinePrefixOf(sim.string()), fs::canonical(prefix).string());
  EXPECT_EQ(WinePrefixOf(prefix.string()), fs::canonical(prefix).string());
  EXPECT_EQ(WinePrefixOf(dir.Str()), "");
  EXPECT_EQ(WinePrefixOf(""), "");
  const std::string c = fs::canonical(prefix / "drive_c").string();
  const std::string d = fs::canonical(dir.Path() / "cdrom").string();
  EXPECT_EQ(ListDrives(sim.string(), "/dev/sda2 /home ext4 rw 0 0\n"),
            (std::vector<Drive>{
                {"c: [drive_c]", c}, {"d: [cdrom]", d}, {"z: [/]", "/"}, {"/", "/"}, {"/home", "/home"}}));
  EXPECT_EQ(ListDrives(dir.Str(), "").size(), 1u);  // outside the prefix: no letters
  EXPECT_EQ(ListDrives(dir.Str()).front(), (Drive{"/", "/"}));
}

}  // namespace
}  // namespace skyvox::app
