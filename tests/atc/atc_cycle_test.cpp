// The ATC cycle tick by tick over a loopback session: placing the pilot, the tuning menus, the
// choice consumed and answered in the same tick, the change test, repeats and copies.
#include "atc/atc_cycle.h"

#include <gtest/gtest.h>

#include "../session/session_fixture.h"

namespace skyvox::atc {
namespace {
using skyvox::testing::LoopbackSession;
using skyvox::testing::Peer;

scenery::AirportRecord Airport(const std::string& ident, const std::string& name, double lat, double lon,
                               int32_t elevation) {
  scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
  a.Ident = ident;
  a.Name = name;
  a.Latitude = lat;
  a.Longitude = lon;
  a.ElevationFt = elevation;
  a.GroundName = name + " GROUND";
  a.GroundFreq = "121.7";
  a.TowerName = name + " TOWER";
  a.TowerFreq = "119.9";
  return a;
}

scenery::AirspaceRecord Centre(const std::string& name, const std::string& freq, double north, double south,
                               double east, double west, const char* cls = "ARTCC/FIR (HIGH)") {
  return {name, cls, freq, north, south, east, west, -1, -1};
}

class Cycle : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& w = s.world;
    w.ControlledAirports = {Airport("KSEA", "SEATTLE", 47.45, -122.31, 433),
                            Airport("KOLM", "OLYMPIA", 46.97, -122.90, 209),
                            scenery::EmptyAirportWithSpareElements()};
    w.ControlledAirports[0].ApproachName = "SEATTLE APPROACH";
    w.ControlledAirports[0].ApproachFreq = "119.2";
    w.ControlledAirportCount = 2;
    w.Airspaces = {Centre("SEATTLE CENTER", "125.1", 49, 42, -116.5, -126), scenery::AirspaceRecord{}};
    w.AirspaceCount = 1;
    pilot = s.Announced("N1");
    At(47.45, -122.31, 433);
  }
  session::PlayerRecord& P() { return s.link.PlayerRoster[0]; }
  void At(double lat, double lon, int32_t alt) {
    P().Latitude = lat;
    P().Longitude = lon;
    P().Altitude = alt;
  }
  // The lines the pilot received since the last call.
  std::vector<std::string> Heard(Peer& peer) {
    std::vector<std::string> lines;
    while (peer.dp->GetMessageCount(peer.id) > 0) {
      session::DpMessage m = peer.dp->Receive(session::kReceiveAll).Message;
      if (m.ReadLong() != session::kChatText) continue;
      lines.push_back(session::ReadText(m, m.ReadLong()));
    }
    return lines;
  }
  void Tick() { RunAtcCycle(s.link, s.world); }

  LoopbackSession s;
  Peer pilot;
};

TEST_F(Cycle, FreeFlightMenuOnTheGroundIsSentOnceUntilItChanges) {
  Tick();
  EXPECT_EQ(Heard(pilot),
            std::vector<std::string>{"N1,  Choose an option: 1-Tune SEATTLE GROUND Ground on 121.7 2-Select "
                                     "a controlled airport 3-Tune SEATTLE CENTER Center on 125.1 "});
  Tick();
  EXPECT_TRUE(Heard(pilot).empty());  // rebuilt identically: not sent again
  pilot.Send(s.link.OwnPlayerId, session::BuildChatMessage("repeat:"));
  s.Tick();
  Tick();
  EXPECT_EQ(Heard(pilot).size(), 1u);  // a repeat re-sends the same line
  EXPECT_EQ(P().LastAtcMessage, "");
}

TEST_F(Cycle, GroundLineUpTo200FeetApproachZoneAbove) {
  At(47.45, -122.31, 433 + 150);
  Tick();
  EXPECT_EQ(P().MenuOptions[0], "Tune SEATTLE GROUND Ground on 121.7");
  At(47.45, -122.31, 433 + 250);
  Tick();
  EXPECT_EQ(
      std::vector<std::string>(P().MenuOptions.begin(), P().MenuOptions.begin() + P().MenuOptionCount),
      (std::vector<std::string>{"Select a controlled airport", "Tune SEATTLE APPROACH Approach on 119.2"}));
  At(47.45, -122.31, 433 + 10000);
  EXPECT_TRUE(ComputeCycleValues(P(), s.world).ApproachAirportFound);
  At(47.45, -122.31, 433 + 10001);
  EXPECT_FALSE(ComputeCycleValues(P(), s.world).ApproachAirportFound);
}

TEST_F(Cycle, NearestAirportTiesKeepTheEarlierAndCentresTheLater) {
  auto& w = s.world;
  w.ControlledAirports[1].Latitude = 47.45;
  w.ControlledAirports[1].Longitude = -122.31;
  CycleValues v = ComputeCycleValues(P(), w);
  EXPECT_EQ(v.NearestAirportIndex, 0);
  EXPECT_EQ(v.NearestAirportDistance, 0);

  w.Airspaces = {Centre("A", "1", 49, 42, -116.5, -126),
                 Centre("LOW", "2", 49, 42, -116.5, -126, "ARTCC/FIR (LOW)"),
                 Centre("B", "3", 48, 47, -122, -123), Centre("EDGE", "4", 47.45, 40, -100, -130),
                 scenery::AirspaceRecord{}};
  w.AirspaceCount = 4;
  EXPECT_EQ(ComputeCycleValues(P(), w).CurrentCenterIndex, 2);  // B, the last containing high centre
  // Across the 180th meridian, and strictly inside only.
  w.Airspaces = {Centre("PACIFIC", "5", 60, 40, -170, 170), scenery::AirspaceRecord{}};
  w.AirspaceCount = 1;
  const struct {
    double lat, lon;
    int32_t centre;
  } cases[] = {{50, 175, 0}, {50, -175, 0}, {50, -170, -1}, {60, 175, -1}};
  for (const auto& c : cases) {
    At(c.lat, c.lon, 30000);
    EXPECT_EQ(ComputeCycleValues(P(), w).CurrentCenterIndex, c.centre) << c.lat << " " << c.lon;
  }
}

TEST_F(Cycle, AChoiceIsAnsweredWithTheNextStatesMenuInTheSameTick) {
  Tick();
  Heard(pilot);
  P().PendingChoice = 2;  // "Select a controlled airport"
  Tick();
  // The list is shown once; on the ground the selection is dropped for the next pass.
  EXPECT_EQ(Heard(pilot), std::vector<std::string>{"N1,  Choose an option: 1-KSEA (SEATTLE) 2-Back "});
  EXPECT_EQ(P().PilotRequest, "");
  Tick();
  EXPECT_EQ(Heard(pilot).size(), 1u);
  EXPECT_EQ(P().MenuOptions[1], "Select a controlled airport");
  // A choice above the option count only resets the menu; the second pass rebuilds it, and since the
  // snapshot of that pass holds the reset menu, the same line goes out again.
  P().PendingChoice = 7;
  Tick();
  EXPECT_EQ(Heard(pilot).size(), 1u);
  EXPECT_EQ(P().PendingChoice, 0);
}

TEST_F(Cycle, SelectingAnAirportAndItsTowerInTheAir) {
  At(47.45 + 20.0 / 60, -122.31, 3000);  // 20 nm north of KSEA, 99 nm from KOLM
  P().PilotRequest = "Selecting a controlled airport";
  Tick();
  EXPECT_EQ(Heard(pilot), std::vector<std::string>{"N1,  Choose an option: 1-KSEA (SEATTLE) 2-Back "});
  At(47.45 + 21.0 / 60, -122.31, 3000);
  Tick();
  EXPECT_EQ(Heard(pilot), std::vector<std::string>{"N1,  Choose an option: 1-Back "});
  At(47.45 + 20.0 / 60, -122.31, 3000);
  Tick();
  Heard(pilot);
  P().PendingChoice = 1;
  Tick();
  EXPECT_EQ(P().PilotRequest, "Selecting one frequency");
  EXPECT_EQ(P().AirportIndex, 0);
  EXPECT_EQ(Heard(pilot),
            std::vector<std::string>{"N1,  Choose an option: 1-Tune SEATTLE TOWER Tower on 119.9 2-Back "});
  P().PendingChoice = 2;  // Back: the airport is forgotten
  Tick();
  EXPECT_EQ(P().PilotRequest, "Selecting a controlled airport");
  EXPECT_EQ(P().AirportIndex, -1);
}

TEST_F(Cycle, FlightPlanModeOffersTheFacilityTheFlightNeeds) {
  P().IfrPlanFiled = 1;
  P().DepartureAirport = 0;
  P().DestinationAirport = 1;
  P().PilotRequest = "Requesting IFR Clearance";
  Tick();
  EXPECT_EQ(Heard(pilot),
            std::vector<std::string>{"N1,  Choose an option: 1-Tune SEATTLE GROUND Ground on 121.7 "});
  s.world.ControlledAirports[0].ClearanceName = "SEATTLE CLEARANCE";
  s.world.ControlledAirports[0].ClearanceFreq = "128.0";
  Tick();
  EXPECT_EQ(P().MenuOptions[0], "Tune SEATTLE CLEARANCE Clearance on 128.0");
  At(46.97, -122.90, 2000);
  P().PilotRequest = "Approaching";
  Tick();
  EXPECT_EQ(P().MenuOptions[0], "Tune OLYMPIA TOWER Tower on 119.9");
  At(45.0, -122.0, 20000);
  P().PilotRequest = "";
  Tick();
  EXPECT_EQ(P().MenuOptions[0], "Tune SEATTLE CENTER Center on 125.1");
  At(30.0, -122.0, 20000);  // outside every centre and approach zone: nothing to offer
  Tick();
  EXPECT_EQ(Heard(pilot).back(), "N1,  <No messages to transmit to the ATC by this moment>");
}

TEST_F(Cycle, CopiesGoToParticipantsThatAskedButNeverTwiceToThemselves) {
  Peer observer = s.Announced("OBS", session::kObserverAnnouncement);
  s.link.PlayerRoster[1].CopyAllAtcMessages = true;
  P().CopyAllAtcMessages = true;
  Tick();
  EXPECT_EQ(Heard(pilot).size(), 1u);
  const auto copies = Heard(observer);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].rfind("N1, ", 0), 0u);  // the observer gets no menu of its own
}

TEST(MenuLine, HeadersByFacility) {
  scenery::WorldTables w;
  w.ControlledAirports = {scenery::EmptyAirportWithSpareElements(), scenery::EmptyAirportWithSpareElements()};
  w.ControlledAirports[0].TowerName = "OLYMPIA TOWER";
  w.ControlledAirports[0].TowerFreq = "124.4";
  w.ControlledAirports[0].ApproachName = "SEATTLE APPROACH";
  w.ControlledAirports[0].ApproachFreq = "120.1";
  w.ControlledAirportCount = 1;
  w.Airspaces = {Centre("SEATTLE CENTER", "125.1", 49, 42, -116.5, -126), scenery::AirspaceRecord{}};
  w.AirspaceCount = 1;
  session::PlayerRecord p;
  p.Name = "N1";
  p.LastAtcMessage = "cleared to land.";
  p.MenuOptions = {"Report traffic in sight", "Go around", ""};
  p.MenuOptionCount = 2;
  const struct {
    const char* facility;
    int32_t airport, centre;
    const char* header;
  } cases[] = {{"Tower", 0, -1, "OLYMPIA TOWER Tower on 124.4"},
               {"Departure", 0, -1, "SEATTLE APPROACH Departure on 120.1"},
               {"Center", -1, 0, "SEATTLE CENTER Center on 125.1"}};
  for (const auto& c : cases) {
    p.FacilityType = c.facility;
    p.AirportIndex = c.airport;
    p.CenterIndex = c.centre;
    EXPECT_EQ(BuildMenuLine(p, w), std::string("N1, cleared to land. Choose an option for ") + c.header +
                                       ": 1-Report traffic in sight 2-Go around ");
  }
  p.MenuOptionCount = 0;
  EXPECT_EQ(BuildMenuLine(p, w), "N1, cleared to land. <No messages to transmit to the ATC by this moment>");
}

}  // namespace
}  // namespace skyvox::atc
