// Paths on Windows itself: drive letters, backslashes and a file system that finds names in any case,
// with nothing of the Wine-prefix mapping that stands in for them on Linux (WindowsPaths.* test that).
// Under Wine the temporary and working folders are on drives C: and Z:, as on any Windows machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "authoring/bgl_writer.h"
#include "authoring/world_description.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/database_build.h"
#include "scenery/database_files.h"
#include "scenery/windows_paths.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::TempDir;

#define SKIP_OFF_WINDOWS() SKYVOX_WINDOWS_ONLY("on Linux drive letters are those of a Wine prefix")

// A folder's text the way a user types it on Windows: a drive letter, backslashes, in capitals.
std::string AsTyped(const fs::path& folder) {
  std::string text = ToUpperAscii(PathText(fs::absolute(folder)));
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

TEST(NativeWindowsPaths, DriveLettersBackslashesAndAnyCaseFindTheFolder) {
  SKIP_OFF_WINDOWS();
  TempDir tmp;
  const fs::path base = tmp.Path() / "FS2002" / "Scenery" / "BASE" / "scenery";
  fs::create_directories(base);
  const PathContext context{PathText(tmp.Path()), ""};
  const std::string typed = AsTyped(tmp.Path());
  ASSERT_EQ(typed[1], ':') << typed;

  const auto found = ResolvePathNoCase(typed + "\\fs2002\\scenery/Base\\SCENERY\\", context);
  ASSERT_TRUE(found.has_value());
  EXPECT_TRUE(fs::equivalent(*found, base)) << PathText(*found);
  // Relative texts start from the program's folder; "\x" from its drive's root.
  EXPECT_TRUE(
      fs::equivalent(*ResolvePathNoCase("fs2002\\SCENERY", context), tmp.Path() / "FS2002" / "Scenery"));
  const std::string rooted = typed.substr(2);  // the same folder without its drive letter
  EXPECT_TRUE(fs::equivalent(*ResolvePathNoCase(rooted + "\\FS2002", context), tmp.Path() / "FS2002"));
  EXPECT_TRUE(FolderExistsNoCase(typed + "\\FS2002\\SCENERY\\..\\scenery\\.\\base", context));
  EXPECT_EQ(ResolvePathNoCase(typed + "\\FS2002\\Missing", context), std::nullopt);
  // A Windows-1252 name ("ScÈnes") found in another case ("SCèNES").
  fs::create_directories(tmp.Path() / fs::path(u8"Sc\u00C8nes"));
  const auto scenes = ResolvePathNoCase(typed + "\\SC\xE8NES", context);
  ASSERT_TRUE(scenes.has_value());
  EXPECT_TRUE(fs::equivalent(*scenes, tmp.Path() / fs::path(u8"Sc\u00C8nes")));
}

TEST(NativeWindowsPaths, TheDatabaseBuildsFromASimulatorFolderGivenAsAWindowsPath) {
  SKIP_OFF_WINDOWS();
  // In the working folder: under Wine that is on drive Z:, the Linux file system.
  const fs::path sim = fs::current_path() / ("Native sim " + std::to_string(std::rand()));
  authoring::WriteSceneryFolder(authoring::SyntheticWorld(40, 20, 3), PathText(sim), {});
  struct Built {
    std::vector<uint8_t> Airports;
    int32_t Count = 0;
  };
  const auto build = [](const std::string& simText) {
    TempDir app;
    WorldTables tables;
    tables.AppFolder = PathText(app.Path());
    tables.SimFolder = simText;
    DatabaseBuild build(tables, BuildMethod::Sliced);
    build.AirportsFile = PathText(app.Path() / kAirportsFileName);
    build.AirspacesFile = PathText(app.Path() / kAirspacesFileName);
    build.Start();
    while (build.Tick()) {
    }
    return Built{ReadWholeFile(app.Path() / kAirportsFileName), tables.AirportCount};
  };
  const Built asItIs = build(PathText(sim));
  const Built typed = build(AsTyped(sim));
  std::error_code ec;
  fs::remove_all(sim, ec);
  EXPECT_EQ(asItIs.Count, 36);  // as skyvox-db builds it on Linux from the same synthetic world
  EXPECT_EQ(typed.Count, asItIs.Count);
  EXPECT_EQ(typed.Airports, asItIs.Airports);
}

}  // namespace
}  // namespace skyvox::scenery
