#include "app/station_monitor.h"

#include <gtest/gtest.h>

#include "session/loopback.h"
#include "session/messages.h"

namespace skyvox::app {
namespace {
using namespace skyvox::session;

// The station joined to a pilot's session through the chat tap that feeds a monitor of three lines.
class StationMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (DirectPlay* dp : {static_cast<DirectPlay*>(&pilot_), state_.Link.Dp.get()}) {
      dp->InitializeConnection(LoopbackHub::kConnectionAddress);
      dp->Open({"Pacific", 0, 8, 0, instance_, ""}, instance_.empty() ? kOpenCreate : kOpenJoin);
      instance_ = dp->CurrentSession().InstanceId;
    }
    pilotId_ = pilot_.CreatePlayer(
        "N\xC9"
        "123",
        "Player");  // NÉ123
    state_.Link.OwnPlayerId = state_.Link.Dp->CreatePlayer("AI_Controller", "Player");
    monitor_.StartClock();
  }
  std::shared_ptr<LoopbackHub> hub_ = std::make_shared<LoopbackHub>();
  LoopbackDirectPlay pilot_{hub_};
  std::string instance_;
  int32_t pilotId_ = 0;
  LoopbackFactory loopback_{hub_};
  ProgramState state_;
  int64_t nowMs_ = 5000;
  StationMonitor monitor_{state_, [this] { return nowMs_; }, 3};
  ChatTapFactory tap_{loopback_, monitor_.Sinks()};
  bool created_ = (state_.Link.Dp = tap_.Create(), true);
};

TEST_F(StationMonitorTest, ChatThroughTheSessionIsTranscribedWithinTheCapacity) {
  pilot_.Send(pilotId_, state_.Link.OwnPlayerId, kSendGuaranteed, BuildChatMessage("ready to taxi"));
  state_.Link.Dp->Receive(kReceiveAll);
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
  SendChatLine(state_.Link,
               "N\xC9"
               "123, hold short",
               pilotId_);  // the fourth line: the oldest goes
  EXPECT_EQ(monitor_.Transcript().front().Text,
            "N\xC9"
            "123, taxi to runway 16L");
  EXPECT_EQ(monitor_.Transcript().size() * 10 + monitor_.LinesRecorded(), 34u);
  // A copy concerns its addressee and the pilot it is about, and no pilot whose name only begins it.
  const TranscriptEntry copy{0, true, 1, "N456", "N123, taxi"};
  EXPECT_TRUE(StationMonitor::Concerns(copy, "N456") && StationMonitor::Concerns(copy, "N123"));
  EXPECT_FALSE(StationMonitor::Concerns(copy, "N12"));

  AddRosterEntry(state_.Link, pilotId_, "player");
  PlayerRecord& pilot = state_.Link.PlayerRoster[0];
  std::tie(pilot.Latitude, pilot.Longitude, pilot.Altitude, pilot.Heading, pilot.GroundSpeed) =
      std::tuple(47.02551, -122.901, 1200, int16_t{270}, int16_t{15});
  std::tie(pilot.FacilityType, pilot.TunedFrequency, pilot.PilotRequest) =
      std::tuple("Ground", "121.9", "taxi");
  // Every column starts at the same character in the titles and in the row, the accent counting once.
  EXPECT_EQ(
      StationMonitor::FormatTable(monitor_.Rows()),
      (std::vector<std::string>{
          "Name   Kind    Aircraft  Position              Altitude  Heading  Speed  Facility      State  "
          "Last line sent",
          "NÉ123  player  Unknown   47.0255 N 122.9010 W  1200 ft   270      15 kt  Ground 121.9  taxi   "
          "NÉ123, hold short"}));
}

}  // namespace
}  // namespace skyvox::app
