#include "app/sim_folder.h"

#include <gtest/gtest.h>

#include "app/config_file.h"
#include "support/temp_dir.h"

namespace skyvox::app {
namespace {
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

std::vector<MessageBoxRecord> Box(const std::string& text, MessageIcon icon) {
  return {{"Skyvox v2.0", text, icon}};
}

class SimFolderWindow : public ::testing::Test {
 protected:
  void SetUp() override { state_.World.AppFolder = app_.Str(); }

  TempDir app_;
  TempDir sim_;
  ProgramState state_;
  MessageBoxLog boxes_;
  SimFolderController window_{state_, boxes_};
};

TEST_F(SimFolderWindow, LoadDeletesTheDatabaseButNotTheConfigurationAndShowsTheFolder) {
  app_.Write("world_airports.dat", std::string("a"));
  app_.Write("world_airspaces.dat", std::string("s"));
  app_.Write("Skyvox_link.cfg", std::string("c"));
  EXPECT_EQ(window_.Text(), "-none-");
  window_.Load(sim_.Str());
  EXPECT_FALSE(app_.Exists("world_airports.dat"));
  EXPECT_FALSE(app_.Exists("world_airspaces.dat"));
  EXPECT_TRUE(app_.Exists("Skyvox_link.cfg"));
  EXPECT_EQ(window_.Text(), sim_.Str());
  EXPECT_EQ(window_.FolderListPath(), sim_.Str());
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(SimFolderWindow, AThreeCharacterTextLosesItsSeparators) {
  window_.DriveChanged("C:\\");
  EXPECT_EQ(window_.FolderListPath(), "C:\\");
  EXPECT_EQ(window_.Text(), "C:");
  // Any three characters, as the rule is written; longer and shorter texts stay as they are.
  for (const auto& [typed, shown] :
       {std::pair{"D:/", "D:"}, {"a\\/", "a"}, {"/fs", "fs"}, {"C:\\F", "C:\\F"}, {"C:", "C:"}}) {
    window_.TextChanged(typed);
    EXPECT_EQ(window_.Text(), shown) << typed;
  }
}

TEST_F(SimFolderWindow, AFolderWithoutTheSimulatorIsRefusedAndNothingIsWritten) {
  window_.Load(sim_.Str());
  window_.CreatePressed();
  EXPECT_EQ(boxes_.Shown(),
            Box("The directory or path that you selected is not your currently FS2002 main folder, "
                "because this program didn't found the FS2002.EXE file. Please try again.",
                MessageIcon::Exclamation));
  EXPECT_TRUE(window_.IsOpen());
  EXPECT_EQ(window_.Next(), NextWindow::None);
  EXPECT_FALSE(app_.Exists("Skyvox_link.cfg"));
  EXPECT_EQ(state_.World.SimFolder, "");
}

TEST_F(SimFolderWindow, AcceptedFolderWritesTheConfigurationWithCountsOfZero) {
  sim_.Write("FS2002.EXE", std::string("MZ"));  // a copied installation keeps Windows' case
  window_.Load(sim_.Str());
  window_.CreatePressed();
  EXPECT_EQ(boxes_.Shown(),
            Box("The creation process of the configuration file for this program was completed!",
                MessageIcon::Information));
  EXPECT_FALSE(window_.IsOpen());
  EXPECT_EQ(window_.Next(), NextWindow::Settings);
  EXPECT_EQ(state_.World.SimFolder, sim_.Str());

  const std::string folder = sim_.Str();
  std::vector<uint8_t> expected = {static_cast<uint8_t>(folder.size()), 0};
  expected.insert(expected.end(), folder.begin(), folder.end());
  expected.insert(expected.end(), 8, 0);  // AirportCount 0, AirspaceCount 0
  EXPECT_EQ(ReadBytes(app_.File("Skyvox_link.cfg")), expected);
  EXPECT_EQ(ReadConfigFile(app_.Str()), (scenery::ConfigRecord{sim_.Str(), 0, 0}));
}

TEST_F(SimFolderWindow, AnOlderLongerConfigurationIsOverwrittenInPlace) {
  WriteConfigFile(app_.Str(), {"/a/much/longer/folder/than/the/new/one", 5, 6});
  const auto oldSize = ReadBytes(app_.File("Skyvox_link.cfg")).size();
  sim_.Write("fs2002.exe", std::string("MZ"));
  window_.FolderChanged(sim_.Str());
  window_.CreatePressed();
  EXPECT_EQ(ReadConfigFile(app_.Str()), (scenery::ConfigRecord{sim_.Str(), 0, 0}));
  EXPECT_EQ(ReadBytes(app_.File("Skyvox_link.cfg")).size(), std::max(oldSize, sim_.Str().size() + 10));
}

TEST_F(SimFolderWindow, AConfigurationThatCannotBeWrittenIsReportedAndTheWindowStays) {
  state_.World.AppFolder = app_.Str() + "/no/such/folder";
  sim_.Write("fs2002.exe", std::string("MZ"));
  window_.FolderChanged(sim_.Str());
  window_.CreatePressed();
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].Icon, MessageIcon::Exclamation);
  EXPECT_TRUE(window_.IsOpen());
  EXPECT_EQ(state_.World.SimFolder, "");
}

}  // namespace
}  // namespace skyvox::app
