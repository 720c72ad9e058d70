#include "app/station_monitor.h"

#include <gtest/gtest.h>

#include "session/loopback.h"
#include "session/messages.h"

namespace skyvox::app {
namespace {
using namespace skyvox::session;

// The station in a host's session through the chat tap that feeds the monitor, and a pilot in it.
class StationMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.InitializeConnection(LoopbackHub::kConnectionAddress);
    host_.Open({"Pacific", 0, 8, 0, "", ""}, kOpenCreate);
    host_.CreatePlayer("HOST", "Player");
    SessionLink& link = state_.Link;
    link.Dp = tap_.Create();
    link.Dp->InitializeConnection(LoopbackHub::kConnectionAddress);
    link.Dp->Open({"", 0, 0, 0, host_.CurrentSession().InstanceId, ""}, kOpenJoin);
    link.OwnPlayerId = link.Dp->CreatePlayer("AI_Controller", "Player");
    pilot_.InitializeConnection(LoopbackHub::kConnectionAddress);
    pilot_.Open({"", 0, 0, 0, host_.CurrentSession().InstanceId, ""}, kOpenJoin);
    pilotId_ = pilot_.CreatePlayer(
        "N\xC9"
        "123",
        "Player");  // an accented callsign: NÉ123
    monitor_.StartClock();
  }
  void PilotSays(const std::string& text) {
    pilot_.Send(pilotId_, state_.Link.OwnPlayerId, kSendGuaranteed, BuildChatMessage(text));
    state_.Link.Dp->Receive(kReceiveAll);
  }

  std::shared_ptr<LoopbackHub> hub_ = std::make_shared<LoopbackHub>();
  LoopbackDirectPlay host_{hub_}, pilot_{hub_};
  int32_t pilotId_ = 0;
  LoopbackFactory loopback_{hub_};
  ProgramState state_;
  int64_t nowMs_ = 5000;
  StationMonitor monitor_{state_, [this] { return nowMs_; }, 3};
  ChatTapFactory tap_{loopback_, monitor_.Sinks()};
};

TEST_F(StationMonitorTest, ChatThroughTheSessionIsTranscribedWithinTheCapacity) {
  PilotSays("ready to taxi");
  nowMs_ += 1250;
  SendChatLine(state_.Link,
               "N\xC9"
               "123, taxi to runway 16L",
               pilotId_);
  SendChatLine(state_.Link, "Seattle traffic, runway 16L in use", kAllPlayers);
  std::vector<std::string> lines;
  for (const TranscriptEntry& entry : monitor_.Transcript()) lines.push_back(FormatTranscriptEntry(entry));
  EXPECT_EQ(lines, (std::vector<std::string>{"[   0.0] NÉ123 -> ready to taxi",
                                             "[   1.3] NÉ123 <- NÉ123, taxi to runway 16L",
                                             "[   1.3] (all) (copy) <- Seattle traffic, runway 16L in use"}));
  EXPECT_EQ(monitor_.Names(), std::vector<std::string>{"N\xC9"
                                                       "123"});

  PilotSays("thanks");  // the fourth line: the oldest goes
  EXPECT_EQ(monitor_.Transcript().size(), 3u);
  EXPECT_EQ(monitor_.Transcript().front().Text,
            "N\xC9"
            "123, taxi to runway 16L");
  EXPECT_EQ(monitor_.LinesRecorded(), 4u);
  monitor_.StartClock();
  EXPECT_TRUE(monitor_.Transcript().empty() && monitor_.Names().empty());
  EXPECT_EQ(monitor_.LinesRecorded(), 0u);
}

TEST_F(StationMonitorTest, ConcernsTheAddresseeTheSenderAndThePilotACopyIsAbout) {
  struct Case {
    std::string name, text, pilot;
    bool concerns;
  } cases[] = {{"N123", "hello", "N123", true},
               {"N456", "N123, taxi", "N123", true},
               {"N456", "N123, taxi", "N456", true},
               {"N456", "N123, taxi", "N12", false},
               {"N456", "N1234, taxi", "N123", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(StationMonitor::Concerns({0, true, 1, c.name, c.text}, c.pilot), c.concerns)
        << c.name << c.text;
  }
}

TEST_F(StationMonitorTest, RowsShowTheRosterAndTheLastLineSentInAlignedColumns) {
  AddRosterEntry(state_.Link, pilotId_, "player");
  PlayerRecord& pilot = state_.Link.PlayerRoster[0];
  pilot.Latitude = 47.02551;
  pilot.Longitude = -122.901;
  pilot.Altitude = 1200;
  pilot.Heading = 270;
  pilot.GroundSpeed = 15;
  pilot.FacilityType = "Ground";
  pilot.TunedFrequency = "121.9";
  pilot.PilotRequest = "taxi";
  SendChatLine(state_.Link,
               "N\xC9"
               "123, hold short",
               pilotId_);
  const std::vector<TrafficRow> rows = monitor_.Rows();
  ASSERT_EQ(rows.size(), 1u);
  std::vector<std::string> cells;
  for (int c = 0; c < kTrafficColumnCount; ++c) cells.push_back(TrafficCell(rows[0], c));
  EXPECT_EQ(cells, (std::vector<std::string>{"NÉ123", "player", "Unknown", "47.0255 N 122.9010 W", "1200 ft",
                                             "270", "15 kt", "Ground 121.9", "taxi", "NÉ123, hold short"}));
  // Every column starts at the same character in the titles and in the row, the accent counting once.
  const std::vector<std::string> table = StationMonitor::FormatTable(rows);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].substr(0, table[0].find("Last line sent")),
            "Name   Kind    Aircraft  Position              Altitude  Heading  Speed  Facility      State  ");
  EXPECT_EQ(table[1],
            "NÉ123  player  Unknown   47.0255 N 122.9010 W  1200 ft   270      15 kt  Ground 121.9  taxi   "
            "NÉ123, hold short");
}

}  // namespace
}  // namespace skyvox::app
