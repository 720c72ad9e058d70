#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/config_file.h"
#include "app/corrected_mode_file.h"
#include "app/data_folder.h"
#include "app/station.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::app {
namespace {
using skyvox::testing::TempDir;

constexpr const char* kTerrain = "world_terrain.db";
constexpr const char* kAirports = "world_airports.dat";
constexpr const char* kAirspaces = "world_airspaces.dat";
constexpr const char* kConfig = "Skyvox_link.cfg";

TEST(Startup, AppFolderLosesOneTrailingSeparator) {
  EXPECT_EQ(AppFolderFromCurrentDirectory("C:\\"), "C:");
  EXPECT_EQ(AppFolderFromCurrentDirectory("/"), "");
  EXPECT_EQ(AppFolderFromCurrentDirectory("/opt/skyvox/"), "/opt/skyvox");
  EXPECT_EQ(AppFolderFromCurrentDirectory("/opt/skyvox"), "/opt/skyvox");
  EXPECT_EQ(AppFolderFromCurrentDirectory(""), "");
}

// Every combination of the four files: without the terrain file the program ends and nothing is
// touched; otherwise the three others survive only together.
TEST(Startup, EveryCombinationOfPresentAndMissingFiles) {
  for (int mask = 0; mask < 16; ++mask) {
    SCOPED_TRACE("mask " + std::to_string(mask));
    TempDir dir;
    const bool terrain = mask & 1, airports = mask & 2, airspaces = mask & 4, config = mask & 8;
    if (terrain) dir.Write(kTerrain, std::string(20, '\0'));
    if (airports) dir.Write(kAirports, std::string("a"));
    if (airspaces) dir.Write(kAirspaces, std::string("s"));
    if (config) WriteConfigFile(dir.Str(), {"/sim", 12, 3});

    ProgramState state;
    MessageBoxLog boxes;
    SplashController splash(state, boxes, dir.Str() + "/");
    EXPECT_TRUE(splash.TimerEnabled());
    splash.Tick();
    EXPECT_FALSE(splash.IsOpen());
    EXPECT_FALSE(splash.TimerEnabled());
    EXPECT_EQ(state.World.AppFolder, dir.Str());

    if (!terrain) {
      EXPECT_EQ(splash.Next(), NextWindow::Terminate);
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_EQ(boxes.Shown()[0], (MessageBoxRecord{"Skyvox v2.0",
                                                    "The world_terrain.db file is missing. Please reinstall "
                                                    "this ATC program again.",
                                                    MessageIcon::Exclamation}));
      EXPECT_EQ(dir.Exists(kAirports), airports);
      EXPECT_EQ(dir.Exists(kAirspaces), airspaces);
      EXPECT_EQ(dir.Exists(kConfig), config);
      continue;
    }
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(dir.Exists(kTerrain));
    const bool all = airports && airspaces && config;
    EXPECT_EQ(dir.Exists(kAirports), all);
    EXPECT_EQ(dir.Exists(kAirspaces), all);
    EXPECT_EQ(dir.Exists(kConfig), all);
    if (all) {
      EXPECT_EQ(splash.Next(), NextWindow::Settings);
      EXPECT_FALSE(state.World.FirstRun);
      EXPECT_EQ(state.World.SimFolder, "/sim");
      EXPECT_EQ(state.World.AirportCount, 12);
      EXPECT_EQ(state.World.AirspaceCount, 3);
    } else {
      EXPECT_EQ(splash.Next(), NextWindow::SimulatorFolder);
      EXPECT_TRUE(state.World.FirstRun);
    }
  }
}

TEST(Startup, TheCheckRunsOnceHoweverOftenTheTimerTicks) {
  TempDir dir;
  dir.Write(kTerrain, std::string());
  ProgramState state;
  MessageBoxLog boxes;
  SplashController splash(state, boxes, dir.Str());
  splash.Tick();
  EXPECT_EQ(splash.Next(), NextWindow::SimulatorFolder);
  // Files that appear afterwards change nothing: the window is closed.
  dir.Write(kAirports, std::string("a"));
  splash.Tick();
  EXPECT_EQ(splash.Next(), NextWindow::SimulatorFolder);
  EXPECT_TRUE(dir.Exists(kAirports));
}

TEST(Startup, FileNamesMatchWithoutRegardToCase) {
  TempDir dir;
  dir.Write("WORLD_TERRAIN.DB", std::string());
  dir.Write("World_Airports.dat", std::string("a"));
  dir.Write(kAirspaces, std::string("s"));
  ProgramState state;
  MessageBoxLog boxes;
  EXPECT_EQ(RunStartupCheck(dir.Str(), state, boxes), NextWindow::SimulatorFolder);
  EXPECT_FALSE(dir.Exists("World_Airports.dat"));
  EXPECT_FALSE(dir.Exists(kAirspaces));
}

TEST(Startup, ADamagedConfigurationIsReportedAndRebuiltLikeAMissingOne) {
  TempDir dir;
  dir.Write(kTerrain, std::string());
  dir.Write(kAirports, std::string("a"));
  dir.Write(kAirspaces, std::string("s"));
  dir.Write(kConfig, std::vector<uint8_t>{0x10, 0x00, 'C', ':'});  // folder text cut short
  ProgramState state;
  MessageBoxLog boxes;
  EXPECT_EQ(RunStartupCheck(dir.Str(), state, boxes), NextWindow::SimulatorFolder);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].Icon, MessageIcon::Exclamation);
  EXPECT_EQ(boxes.Shown()[0].Text, kConfigDamagedText);
  EXPECT_TRUE(state.World.FirstRun);
  EXPECT_FALSE(dir.Exists(kConfig));
  EXPECT_FALSE(dir.Exists(kAirports));
  EXPECT_FALSE(dir.Exists(kAirspaces));
}

// The corrected mode lives in its own file: the station window's box writes it, the next start reads
// it; anything but "corrected=on" is off; a folder that cannot take the file is said, the mode changes.
TEST(Startup, TheCorrectedModeIsKeptInItsOwnFile) {
  TempDir dir;
  dir.Write(kTerrain, std::string());
  ProgramState state;
  MessageBoxLog boxes;
  RunStartupCheck(dir.Str(), state, boxes);
  EXPECT_FALSE(state.World.Corrected.On);
  StationController station(state, boxes, [] {});
  station.SetCorrectedMode(true);
  EXPECT_TRUE(station.CorrectedMode());
  ProgramState next;
  RunStartupCheck(dir.Str(), next, boxes);
  EXPECT_TRUE(next.World.Corrected.On);
  for (const char* text : {"corrected=off\n", "corrected = on\n", "", " corrected=on \r\n"}) {
    dir.Write(kCorrectedModeFileName, std::string(text));
    EXPECT_EQ(ReadCorrectedMode(dir.Str()), std::string(text) == " corrected=on \r\n") << text;
  }
  EXPECT_TRUE(boxes.Shown().empty());
  state.World.AppFolder = dir.Str() + "/no-such-folder";
  station.SetCorrectedMode(false);
  EXPECT_FALSE(station.CorrectedMode());
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].Icon, MessageIcon::Exclamation);
}

// An installed program finds its data in <prefix>/share/skyvox; a built one in the tree it was built
// from; a folder without the terrain file is never the answer.
TEST(Startup, ShippedDataIsFoundBesideTheInstalledProgramFirst) {
  TempDir dir;
  const auto exe = dir.Path() / "usr" / "bin" / "skyvox";
  EXPECT_EQ(InstalledDataFolder(exe), dir.Path() / "usr" / "share" / "skyvox");
  std::filesystem::create_directories(dir.File("tree"));
  std::filesystem::create_directories(InstalledDataFolder(exe));
  dir.Write("tree/world_terrain.db", std::string(20, '\0'));
  EXPECT_EQ(FindDataFolder(exe, dir.File("tree")), dir.File("tree"));
  EXPECT_EQ(FindDataFolder(exe, dir.File("none")), "");
  dir.Write("usr/share/skyvox/world_terrain.db", std::string(20, '\0'));
  EXPECT_EQ(FindDataFolder(exe, dir.File("tree")), InstalledDataFolder(exe));
}

}  // namespace
}  // namespace skyvox::app
