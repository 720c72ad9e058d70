// The settings window driven tick by tick over a real simulator folder: scenery.cfg, BGL files
// written byte by byte, magdec.bgl; then the database files, the lists and the hand-over.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/config_file.h"
#include "app/startup.h"
#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/bgl_fixture.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::app {
namespace {
namespace fs = std::filesystem;
using namespace skyvox::testing;

Bytes AirportRecords(int32_t latRaw, const std::string& name, int32_t towerCode) {
  return Join({Record(0x10001, 32, {{12, latRaw}, {20, LonRaw(-122.3)}, {28, 100}}),
               Record(0x10006, 8, {}, 8, name), Record(0x20001, 16, {{8, towerCode}, {12, 6}}, 16, "TOWER"),
               Terminator()});
}

Bytes AirportFile(std::initializer_list<std::pair<std::string, Bytes>> airports) {
  BglFile file;
  std::vector<BglFile::Airport> list;
  for (const auto& [ident, records] : airports) list.push_back({ident, records});
  file.AirportSection(list);
  return file.Data();
}

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = simDir_.Str();
    state_.World.AppFolder = app_.Str();
    state_.World.SimFolder = sim_;
    state_.World.FirstRun = true;
    fs::create_directories(simDir_.Path() / "Scenery" / "World" / "scenery");
    fs::create_directories(simDir_.Path() / "Addon Scenery" / "scenery");
    geo::MagVarGrid grid;
    grid.Set(geo::MagVarGrid::Index(237, 47), 1000);
    WriteFile("Scenery/MAGDEC.BGL", authoring::BuildMagdecBgl(grid));  // in the same folder as World
    WriteFile("Scenery/World/scenery/AP_ONE.BGL",
              AirportFile({{"KSEA", AirportRecords(LatRaw(47.45), "Seattle", 0x1199000)},
                           {"KBFI", AirportRecords(LatRaw(47.53), "Boeing", 0x1206000)}}));
    WriteFile("Scenery/World/scenery/readme.bgl", Bytes(200, 0));  // no facility magic: skipped unread
    WriteFile("Addon Scenery/scenery/addon.BGL",
              AirportFile({{"KPAE", AirportRecords(LatRaw(47.9), "Paine", 0x1202000)}}));
    Config(
        "[General]\r\nTitle=FS2002 World Scenery\r\n"
        "[Area.001]\r\nTitle=World\r\nLocal=Scenery\\World\r\nActive=TRUE\r\n"
        "[Area.002]\r\nTitle=Missing Area\r\nLocal=Scenery\\Nowhere\r\n"
        "[Area.003]\r\nTitle=Addon Scenery\r\nLocal=Addon Scenery\r\n");
    ByteWriter terrain;
    scenery::WriteTerrainPoint(terrain, {47.46, -122.3, 450});
    scenery::WriteTerrainPoint(terrain, {40.0, -122.3, 900});
    WriteAt(app_.File("world_terrain.db"), 0, terrain.Data());
    WriteConfigFile(app_.Str(), {sim_, 0, 0});
  }

  void WriteFile(const std::string& relative, const Bytes& bytes) {
    WriteAt(simDir_.Path() / relative, 0, bytes);
  }
  void Config(const std::string& text) { simDir_.Write("scenery.cfg", text); }

  // Loads the window unless it is loaded already and runs the build to its end; returns the number
  // of Scan_Bgl ticks.
  int LoadAndBuild(bool load = true) {
    if (load) window_.Load();
    int ticks = 0;
    for (; window_.ScanTimerEnabled() && ticks < 1000; ++ticks) window_.ScanTick();
    return ticks;
  }

  TempDir app_;
  TempDir simDir_;
  std::string sim_;
  ProgramState state_;
  MessageBoxLog boxes_;
  SettingsController window_{state_, boxes_};
};

TEST_F(SettingsWindow, FirstRunBuildsTheDatabaseOneFilePerTick) {
  std::vector<BuildProgress> progress;
  window_.SetProgressCallback([&](const BuildProgress& p) { progress.push_back(p); });
  window_.Load();
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0], (MessageBoxRecord{"Skyvox v2.0", kFirstRunText, MessageIcon::Information}));
  EXPECT_EQ(window_.StatusLabel(), "Processing Please Wait...");
  EXPECT_FALSE(window_.ControlsEnabled());
  EXPECT_TRUE(window_.ScanTimerEnabled());
  EXPECT_EQ(window_.Build()->BglFileCount, 3);
  EXPECT_EQ(window_.ProgressMax(), 4);
  EXPECT_EQ(state_.World.MagVarGrid.At(geo::MagVarGrid::Index(237, 47)), 1000);

  // Area 1: two files, then its end; area 2 has no folder; area 3: one file, then its end; the finish.
  // (No file is spread over two ticks, however long the machine keeps the test from running.)
  window_.Build()->SliceTime = std::chrono::hours(1);
  EXPECT_EQ(LoadAndBuild(false), 7);
  EXPECT_EQ(window_.ProgressValue(), 0);
  EXPECT_EQ(progress.back().FilesDone, 3);
  EXPECT_EQ(progress.back().Airports, 3);
  ASSERT_EQ(boxes_.Shown().size(), 2u);
  EXPECT_EQ(boxes_.Shown()[1].Text, "The creation process of the database was completed!.");
  EXPECT_EQ(window_.StatusLabel(), "Done!");
  EXPECT_EQ(window_.StatusText(), "");
  EXPECT_TRUE(window_.ControlsEnabled());
  EXPECT_FALSE(state_.World.FirstRun);
  EXPECT_EQ(window_.AirportList(),
            (std::vector<std::string>{"KSEA - SEATTLE", "KBFI - BOEING", "KPAE - PAINE"}));
  EXPECT_EQ(ReadConfigFile(app_.Str()), (scenery::ConfigRecord{sim_, 3, 0}));
}

TEST_F(SettingsWindow, ALibraryWithoutUsableAreasFinishesAtTheFirstTick) {
  Config("[General]\r\nTitle=Nothing\r\n[Area.001]\r\nTitle=Gone\r\nLocal=C:\\Elsewhere\r\n");
  window_.Load();
  window_.ScanTick();  // the area without a folder
  window_.ScanTick();
  EXPECT_FALSE(window_.ScanTimerEnabled());
  EXPECT_TRUE(window_.AirportList().empty());
  EXPECT_EQ(ReadConfigFile(app_.Str()), (scenery::ConfigRecord{sim_, 0, 0}));
}

TEST_F(SettingsWindow, AFolderListedTwiceInARowIsScannedOnce) {
  Config(
      "[Area.001]\r\nTitle=One\r\nLocal=Scenery\\World\r\n[Area.002]\r\nTitle=Two\r\nLocal="
      "scenery\\world\r\n");
  window_.Load();
  EXPECT_EQ(window_.Build()->BglFileCount, 4);  // counted per area
  LoadAndBuild(false);
  EXPECT_EQ(window_.AirportList().size(), 2u);
  EXPECT_EQ(state_.World.AirportCount, 2);
}

TEST_F(SettingsWindow, AFileThatCannotBeScannedEndsTheProgramWithItsName) {
  Bytes broken = AirportFile({{"KSEA", AirportRecords(LatRaw(47.45), "Seattle", 0x1199000)}});
  Put32(broken, 156, 1 << 29);  // the airport section lies outside the file
  WriteFile("Addon Scenery/scenery/addon.BGL", broken);
  LoadAndBuild();
  ASSERT_EQ(boxes_.Shown().size(), 2u);
  const std::string expected = "Error - while scanning this BGL file:  " +
                               LowerCaseCp1252(sim_ + "\\addon scenery\\scenery\\addon.BGL") +
                               "  . The program will shutdown.";
  EXPECT_EQ(boxes_.Shown()[1], (MessageBoxRecord{"Skyvox v2.0", expected, MessageIcon::Critical}));
  EXPECT_FALSE(window_.IsOpen());
  EXPECT_EQ(window_.Next(), NextWindow::Terminate);
  // What was appended before stays; the configuration keeps its counts of 0.
  EXPECT_EQ(scenery::ListAllAirports(app_.File("world_airports.dat")).size(), 2u);
  EXPECT_EQ(ReadConfigFile(app_.Str()), (scenery::ConfigRecord{sim_, 0, 0}));
}

// A build cut short: the program killed after the first file, or a database file that cannot be
// written. The design's next start takes what reached the files as the whole database; the corrected
// mode's finds no configuration file, deletes them and builds again.
TEST_F(SettingsWindow, ABuildCutShortIsReadBackOrBuiltAgain) {
  const auto nextStart = [&](bool corrected) {
    ProgramState next;
    MessageBoxLog boxes;
    const NextWindow window = RunStartupCheck(app_.Str(), next, boxes);
    EXPECT_EQ(window, corrected ? NextWindow::SimulatorFolder : NextWindow::Settings);
    EXPECT_EQ(FileExistsNoCase(app_.Str(), scenery::kAirportsFileName), !corrected);
  };
  for (const bool corrected : {false, true}) {
    SCOPED_TRACE(corrected ? "corrected" : "design");
    state_.World.Corrected.On = corrected;
    // As the simulator-folder window leaves the folder; both database files exist as soon as something
    // was written (this scenery has no airspaces).
    WriteConfigFile(app_.Str(), {sim_, 0, 0});
    fs::remove(app_.File("world_airports.dat"));
    WriteAt(app_.File("world_airspaces.dat"), 0, {});
    SettingsController killed(state_, boxes_);
    killed.Load();
    killed.ScanTick();  // the first airport file appended; the program killed here
    const Bytes written = ReadWholeFile(app_.File("world_airports.dat"));
    ASSERT_FALSE(written.empty());
    nextStart(corrected);

    // A folder in the airport file's place: the scan's box, and what reached the file is not trusted.
    WriteConfigFile(app_.Str(), {sim_, 0, 0});
    WriteAt(app_.File("world_airspaces.dat"), 0, {});
    SettingsController window(state_, boxes_);
    window.Load();
    window.ScanTick();
    fs::remove(app_.File("world_airports.dat"));
    fs::create_directory(app_.File("world_airports.dat"));
    for (int i = 0; window.ScanTimerEnabled() && i < 100; ++i) window.ScanTick();
    EXPECT_EQ(window.Next(), NextWindow::Terminate);
    EXPECT_EQ(boxes_.Shown().back().Icon, MessageIcon::Critical);
    fs::remove(app_.File("world_airports.dat"));
    WriteAt(app_.File("world_airports.dat"), 0, written);
    nextStart(corrected);
  }
}

TEST_F(SettingsWindow, NextRefusesATerrainFileCutShort) {
  LoadAndBuild();
  WriteAt(app_.File("world_terrain.db"), 40, Bytes(7, 0));  // 47 bytes: the last record is cut short
  window_.SelectAirport(0);
  window_.AddPressed();
  window_.NextPressed();
  EXPECT_FALSE(window_.WaitForCloseEnabled());
  EXPECT_EQ(boxes_.Shown().back().Text,
            "The controlled airports could not be loaded: world_terrain.db is cut short: 47 bytes is not a "
            "whole number of 20-byte records");
}

TEST_F(SettingsWindow, ChoosingAirportsAndNextLoadsThemWithTheirTerrain) {
  LoadAndBuild();
  SettingsController window(state_, boxes_);  // the window opened again: no build this time
  boxes_.Clear();
  window.Load();
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_FALSE(window.ScanTimerEnabled());
  EXPECT_EQ(window.AirportListText(), "[Type and select an airport's ICAO_ID from the list]");

  window.AddPressed();  // nothing selected: only the text is cleared
  EXPECT_EQ(window.AirportListText(), "");
  EXPECT_TRUE(window.ControlledList().empty());
  window.NextPressed();  // an empty list: nothing happens
  EXPECT_FALSE(window.WaitForCloseEnabled());

  window.SelectAirport(0);
  EXPECT_EQ(window.AirportListText(), "KSEA - SEATTLE");
  window.AddPressed();
  window.SelectAirport(2);
  window.AddPressed();
  window.SelectAirport(0);
  window.AddPressed();  // the same airport twice is loaded twice
  window.TypeAirportText("KBFI");
  window.AddPressed();  // typed, not selected: not added
  window.SelectControlled(1);
  window.RemovePressed();
  window.SelectAirport(0);
  window.AddPressed();
  EXPECT_EQ(window.ControlledList(),
            (std::vector<std::string>{"KSEA - SEATTLE", "KSEA - SEATTLE", "KSEA - SEATTLE"}));

  window.NextPressed();
  EXPECT_EQ(window.StatusLabel(), "Processing Please Wait...");
  EXPECT_TRUE(window.WaitForCloseEnabled());
  EXPECT_EQ(state_.World.ControlledAirportCount, 3);
  EXPECT_EQ(state_.World.TerrainPointCount, 3);  // the near point once per airport
  EXPECT_EQ(state_.World.TerrainPoints[0].Elevation, 450);
  EXPECT_TRUE(window.IsOpen());
  window.WaitForCloseTick();
  EXPECT_FALSE(window.IsOpen());
  EXPECT_EQ(window.Next(), NextWindow::Connection);
  window.Unload();  // closing after "Next" does not end the program
  EXPECT_EQ(window.Next(), NextWindow::Connection);
}

TEST_F(SettingsWindow, ExitAndClosingEndTheProgram) {
  state_.World.FirstRun = false;
  window_.Load();
  window_.ExitPressed();
  EXPECT_EQ(window_.StatusText(), "Please wait...");
  EXPECT_EQ(window_.Next(), NextWindow::Terminate);
  SettingsController other(state_, boxes_);
  other.Load();
  other.Unload();
  EXPECT_EQ(other.Next(), NextWindow::Terminate);
}

// The corrected mode takes the variation from the program's shipped model instead, without a box.
TEST_F(SettingsWindow, AMissingMagdecIsReportedAndTheGridStaysZero) {
  fs::remove(simDir_.Path() / "Scenery" / "MAGDEC.BGL");
  state_.World.FirstRun = false;
  state_.DataFolder = testing::SourceRoot() / "data";
  for (const bool corrected : {false, true}) {
    SCOPED_TRACE(corrected ? "corrected" : "literal");
    state_.World.Corrected.On = corrected;
    boxes_ = {};
    SettingsController window(state_, boxes_);
    window.Load();
    ASSERT_EQ(boxes_.Shown().size(), corrected ? 0u : 1u);
    if (corrected) {
      EXPECT_NE(state_.World.MagVarGrid, geo::MagVarGrid());
      continue;
    }
    EXPECT_EQ(boxes_.Shown()[0].Icon, MessageIcon::Exclamation);
    EXPECT_NE(boxes_.Shown()[0].Text.find("magdec.bgl"), std::string::npos);
    EXPECT_EQ(state_.World.MagVarGrid, geo::MagVarGrid());
  }
}

}  // namespace
}  // namespace skyvox::app
