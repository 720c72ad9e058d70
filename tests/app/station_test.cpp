#include "app/station.h"

#include <gtest/gtest.h>

#include <array>

#include "session/forwarding_directplay.h"
#include "session/loopback.h"
#include "session/messages.h"

namespace skyvox::app {
namespace {
using namespace skyvox::session;
using session::ForwardingDirectPlay;

// The loopback provider, counting how often the station leaves the session.
struct LeaveCounts {
  int destroyPlayer = 0, close = 0;
};

class CountingDirectPlay : public ForwardingDirectPlay {
 public:
  CountingDirectPlay(std::shared_ptr<LoopbackHub> hub, LeaveCounts& counts)
      : ForwardingDirectPlay(std::make_unique<LoopbackDirectPlay>(std::move(hub))), n_(counts) {}
  void DestroyPlayer(int32_t id) override {
    ++n_.destroyPlayer;
    ForwardingDirectPlay::DestroyPlayer(id);
  }
  void Close() override {
    ++n_.close;
    ForwardingDirectPlay::Close();
  }

 private:
  LeaveCounts& n_;
};

// One endpoint of the session: the host or a pilot.
struct Participant {
  Participant(std::shared_ptr<LoopbackHub> hub, const std::string& name, const std::string& instance = "")
      : Dp(std::move(hub)) {
    Dp.InitializeConnection(LoopbackHub::kConnectionAddress);
    Dp.Open({"Pacific", 0, 8, 0, instance, ""}, instance.empty() ? kOpenCreate : kOpenJoin);
    Id = Dp.CreatePlayer(name, "Player");
  }
  LoopbackDirectPlay Dp;
  int32_t Id = 0;
};

class StationWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    // The station has joined the host's session, as the connection window leaves it.
    SessionLink& link = state_.Link;
    link.Dp = std::make_unique<CountingDirectPlay>(hub_, counts_);
    link.Dp->InitializeConnection(LoopbackHub::kConnectionAddress);
    link.SessionInstanceId = host_.Dp.CurrentSession().InstanceId;
    link.SessionMaxPlayers = 8;
    link.Dp->Open({"", 0, 0, 0, link.SessionInstanceId, ""}, kOpenJoin);
    link.OwnPlayerId = link.Dp->CreatePlayer("AI_Controller", "Player");

    scenery::WorldTables& world = state_.World;
    scenery::AirportRecord airport;
    airport.Ident = "KSEA";
    airport.RuntimeList1 = {{3, "16L"}, {-1, ""}};
    world.ControlledAirports = {airport, airport, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 2;
    world.Airspaces = {{"SEATTLE CENTER", "", "", 0, 0, 0, 0, 0, 0}, {}};
    world.TerrainPoints = {{47.4, -122.3, 433}, {}};
    world.TerrainPointCount = 1;
    link.PlayerCount = 1;
    link.PlayerRoster.resize(2);
  }

  // A pilot that joins and announces itself, and the receive loop that takes it into the roster.
  Participant& PilotAnnounces() {
    pilot_ = std::make_unique<Participant>(hub_, "N123", state_.Link.SessionInstanceId);
    pilot_->Dp.Send(pilot_->Id, state_.Link.OwnPlayerId, kSendGuaranteed,
                    BuildAnnouncement(kPlayerAnnouncement, pilot_->Id));
    station_.ConnectionTimerTick();
    return *pilot_;
  }

  // The status label and the lamps: green text and the red lamp lit while not monitoring.
  void ExpectLamps(const std::string& text, bool monitoring) {
    EXPECT_EQ(station_.StatusText(), text);
    EXPECT_EQ(station_.StatusColour(), monitoring ? 0x000080 : 0x008000);
    EXPECT_EQ(station_.RedLampFillStyle(), monitoring ? 0 : 7);
    EXPECT_EQ(station_.GreenLampFillStyle(), monitoring ? 7 : 0);
  }
  // Start, Stop, Close, then the ATC, connection and refresh timers.
  std::array<bool, 6> Enabled() const {
    return {station_.StartEnabled(),           station_.StopEnabled(),
            station_.CloseEnabled(),           station_.AtcTimerEnabled(),
            station_.ConnectionTimerEnabled(), station_.RefreshTimerEnabled()};
  }

  void ExpectClosedAndEmptied() {
    const scenery::WorldTables& world = state_.World;
    EXPECT_FALSE(station_.IsOpen());
    EXPECT_EQ(station_.Next(), NextWindow::Settings);
    EXPECT_FALSE(station_.AtcTimerEnabled() || station_.ConnectionTimerEnabled() ||
                 station_.RefreshTimerEnabled());
    ExpectLamps("PLEASE WAIT...", false);
    EXPECT_EQ(world.ControlledAirportCount, 0);
    ASSERT_EQ(world.ControlledAirports.size(), 1u);
    const scenery::AirportRecord& spare = world.ControlledAirports[0];
    EXPECT_EQ(spare.Ident, "");
    EXPECT_EQ(spare.TaxiPoints.size() + spare.ParkingSpots.size() + spare.TaxiPaths.size(), 3u);
    EXPECT_EQ(spare.RuntimeList1, std::vector<scenery::RuntimeEntry>(1));
    EXPECT_EQ(spare.RuntimeList2.size(), 1u);
    EXPECT_EQ(world.Airspaces, std::vector<scenery::AirspaceRecord>{{}});
    EXPECT_EQ(world.TerrainPointCount, 0);
    EXPECT_EQ(world.TerrainPoints, std::vector<scenery::TerrainPoint>{{}});
    EXPECT_EQ(state_.Link.PlayerCount, 0);
    EXPECT_EQ(state_.Link.PlayerRoster.size(), 1u);
  }
  bool StationInSession() const {
    for (const auto& p : hub_->Players(state_.Link.SessionInstanceId)) {
      if (p.Id == state_.Link.OwnPlayerId) return true;
    }
    return false;
  }

  std::shared_ptr<LoopbackHub> hub_ = std::make_shared<LoopbackHub>();
  Participant host_{hub_, "HOST"};
  std::unique_ptr<Participant> pilot_;
  LeaveCounts counts_;
  ProgramState state_;
  MessageBoxLog boxes_;
  int atcCycles_ = 0;
  StationController station_{state_, boxes_, [this] { ++atcCycles_; }};
};

TEST_F(StationWindow, OpensListeningWithTheControllerSilent) {
  EXPECT_EQ(station_.StatusText(), "NOT MONITORING TRAFFIC");
  state_.Link.IsSessionHost = true;
  station_.OpenStation();
  EXPECT_TRUE(state_.Link.SessionActive);
  EXPECT_FALSE(state_.Link.IsSessionHost);
  ExpectLamps("NOT MONITORING TRAFFIC", false);
  EXPECT_EQ(Enabled(), (std::array{true, false, true, false, true, true}));
  // Both runway queues of every controlled airport hold only the entry no roster index matches; the
  // spare airport is not touched.
  const std::vector<scenery::RuntimeEntry> front{{-1, ""}};
  for (int a = 0; a < 2; ++a) EXPECT_EQ(state_.World.ControlledAirports[a].RuntimeList1, front);
  for (int a = 0; a < 2; ++a) EXPECT_EQ(state_.World.ControlledAirports[a].RuntimeList2, front);
  EXPECT_EQ(state_.World.ControlledAirports[2].RuntimeList1, std::vector<scenery::RuntimeEntry>(1));
  EXPECT_EQ(state_.Link.PlayerCount, 0);
  EXPECT_EQ(state_.Link.PlayerRoster.size(), 1u);

  // The refresh asks the pilot that has not announced itself to identify itself.
  Participant pilot(hub_, "N123", state_.Link.SessionInstanceId);
  station_.RefreshTimerTick();
  ASSERT_EQ(pilot.Dp.GetMessageCount(pilot.Id), 1);
  EXPECT_EQ(pilot.Dp.Receive(kReceiveAll).Message.ReadLong(), kIdentificationRequest);
}

TEST_F(StationWindow, StartAndStopToggleOnlyTheAtcCycle) {
  station_.OpenStation();
  station_.AtcTimerTick();
  PilotAnnounces();
  ASSERT_EQ(state_.Link.PlayerCount, 1);
  station_.AtcTimerTick();
  EXPECT_EQ(atcCycles_, 0);

  for (int round = 0; round < 2; ++round) {
    station_.StartMonitoring();
    ExpectLamps("MONITORING TRAFFIC", true);
    EXPECT_EQ(Enabled(), (std::array{false, true, true, true, true, true}));
    station_.AtcTimerTick();
    EXPECT_EQ(atcCycles_, round + 1);

    station_.StopMonitoring();
    ExpectLamps("NOT MONITORING TRAFFIC", false);
    EXPECT_EQ(Enabled(), (std::array{true, false, true, false, true, true}));
    station_.AtcTimerTick();
    EXPECT_EQ(atcCycles_, round + 1);
    EXPECT_EQ(state_.Link.PlayerCount, 1);
  }

  // Monitoring with an empty roster: the cycle is not called.
  ClearRoster(state_.Link);
  station_.StartMonitoring();
  station_.AtcTimerTick();
  EXPECT_EQ(atcCycles_, 2);
}

// The three ways the station closes: its button, the close box, and the receive loop at a session end.
class StationClose : public StationWindow, public ::testing::WithParamInterface<int> {};

TEST_P(StationClose, LeavesTheSessionOnceEmptiesTheTablesAndShowsTheSettings) {
  station_.OpenStation();
  PilotAnnounces();
  station_.StartMonitoring();
  int redraws = 0;
  station_.SetRedrawCallback([&] {
    // The label shows before the work starts: the tables are still there on the first redraw.
    EXPECT_EQ(station_.StatusText(), "PLEASE WAIT...");
    if (++redraws == 1) {
      EXPECT_EQ(state_.World.ControlledAirportCount, 2);
    }
  });
  if (GetParam() < 2) GetParam() == 0 ? station_.CloseStation() : station_.OnStationWindowClosing();
  if (GetParam() == 2) {
    host_.Dp.Send(host_.Id, state_.Link.OwnPlayerId, kSendGuaranteed, BuildSimpleMessage(kRemovedByHost));
    station_.ConnectionTimerTick();
    const MessageBoxRecord removed{"Skyvox v2.0",
                                   "The host had removed you from the multiplayer session, Skyvox closes "
                                   "multiplayer session.",
                                   MessageIcon::Information};
    EXPECT_EQ(boxes_.Shown(), std::vector<MessageBoxRecord>{removed});
    EXPECT_FALSE(state_.Link.SessionActive);
  }
  // The close steps run again as the window unloads after the close procedure.
  EXPECT_EQ(redraws, GetParam() == 1 ? 1 : 2);
  EXPECT_EQ(counts_.destroyPlayer, 1);
  EXPECT_EQ(counts_.close, 1);
  EXPECT_FALSE(StationInSession());
  EXPECT_EQ(state_.Link.Dp, nullptr);
  ExpectClosedAndEmptied();

  const int before = redraws;
  station_.OnStationWindowClosing();  // the view closing the window afterwards changes nothing
  EXPECT_EQ(redraws, before);
}

INSTANTIATE_TEST_SUITE_P(ButtonCloseBoxAndSessionEnd, StationClose, ::testing::Values(0, 1, 2));

TEST_F(StationWindow, ASessionThatIsAlreadyGoneSkipsTheReleaseButEmptiesTheTables) {
  station_.OpenStation();
  hub_->EndSession(state_.Link.SessionInstanceId);
  station_.CloseStation();
  // Destroying the player fails in both passes, so the session is never closed and the object kept.
  EXPECT_EQ(counts_.destroyPlayer, 2);
  EXPECT_EQ(counts_.close, 0);
  EXPECT_NE(state_.Link.Dp, nullptr);
  ExpectClosedAndEmptied();
}

}  // namespace
}  // namespace skyvox::app
