// Tower control on a hand-made airport: runway 36 (magnetic 360, 6080 ft long) whose threshold is
// also the airport's reference point, field elevation 100 ft, no magnetic variation. Pilots are placed
// by true course and distance from the threshold; a step runs the tower as the cycle's pass does (a
// second time in the same tick when a choice was consumed), through the airport dialogue that
// prepares the runway side and distances for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "airport_fixture.h"
#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "geo/geometry.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

using session::PlayerRecord;

constexpr double kThresholdLat = 47.0;
constexpr double kThresholdLon = -122.0;

class Tower : public ::testing::Test {
 protected:
  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;

  void SetUp() override {
    scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
    a.Latitude = kThresholdLat;
    a.Longitude = kThresholdLon;
    a.ElevationFt = 100;
    a.GroundName = "Test";
    a.GroundFreq = "121.9";
    a.ApproachName = "Seattle";
    a.ApproachFreq = "119.2";
    a.MainRunway = {"36", kThresholdLat, kThresholdLon, 100, 6080, 150, 360, ""};
    // As the station opens them: each queue holds only its marker.
    a.RuntimeList1 = {{-1, ""}};
    a.RuntimeList2 = {{-1, ""}};
    world.ControlledAirports = {a, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    scenery::AirspaceRecord center;
    center.CenterName = "Cascade";
    center.AirspaceClass = "ARTCC/FIR (HIGH)";
    center.CenterFreq = "125.1";
    world.Airspaces = {center, scenery::AirspaceRecord{}};
    cycle.CurrentCenterIndex = 0;
  }

  scenery::AirportRecord& Airport() { return world.ControlledAirports[0]; }
  PlayerRecord& P(int i) { return link.PlayerRoster[static_cast<size_t>(i)]; }

  int AddPilot(const std::string& name, const std::string& state, bool ifr = false) {
    PlayerRecord r;
    r.Name = name;
    r.PlayerId = 100 + link.PlayerCount;
    r.Kind = "player";
    r.TunedFrequency = "118.3";
    r.FacilityType = "Tower";
    r.AirportIndex = 0;
    r.PilotRequest = state;
    if (ifr) {
      r.IfrPlanFiled = 1;
      r.DepartureAirport = 0;
      r.DestinationAirport = 0;
      r.CruiseAltitude = 9000;
    }
    link.PlayerRoster.insert(link.PlayerRoster.end() - 1, r);
    return link.PlayerCount++;
  }

  // Whole miles may go far; fractions use feet (up to 5.4 nm). Due south is avoided: exactly on the
  // extended centreline the rounded-up bearing may come out as 0.
  void Put(int i, int16_t trueCourse, double nm, int32_t altitude, int16_t heading = 360) {
    const geo::TargetPoint p =
        nm == static_cast<int16_t>(nm)
            ? geo::DestinationPointNm(kThresholdLat, kThresholdLon, trueCourse, static_cast<int16_t>(nm))
            : geo::DestinationPointFt(kThresholdLat, kThresholdLon, trueCourse,
                                      static_cast<int16_t>(nm * 6080));
    P(i).Latitude = p.Latitude;
    P(i).Longitude = p.Longitude;
    P(i).Altitude = altitude;
    P(i).Heading = heading;
  }

  void Fly(int i, int16_t trueCourse, double nm, int32_t altitude, int16_t heading = 360) {
    Put(i, trueCourse, nm, altitude, heading);
    Step(i);
  }

  void Step(int i) {
    AtcContext context{link, world, i, cycle};
    const bool chose = P(i).PendingChoice > 0;
    RunAirportDialogue(context);
    if (chose && P(i).PendingChoice == 0 && P(i).FacilityType == "Tower") RunAirportDialogue(context);
  }

  std::vector<std::string> Menu(int i) {
    return {P(i).MenuOptions.begin(), P(i).MenuOptions.begin() + P(i).MenuOptionCount};
  }

  void Choose(int i, const std::string& text) {
    const std::vector<std::string> menu = Menu(i);
    const auto it = std::find(menu.begin(), menu.end(), text);
    ASSERT_NE(it, menu.end()) << "not offered: " << text;
    P(i).PendingChoice = static_cast<uint8_t>(it - menu.begin() + 1);
    Step(i);
  }

  // Shows the pilot its menu, which must hold just this option, takes it and returns the answer.
  std::string Ask(int i, const std::string& option) {
    Step(i);
    EXPECT_EQ(Menu(i), std::vector<std::string>{option});
    Choose(i, option);
    return P(i).LastAtcMessage;
  }

  static std::vector<int32_t> Queue(const std::vector<scenery::RuntimeEntry>& q) {
    std::vector<int32_t> indexes;
    for (const auto& e : q) indexes.push_back(e.PlayerIndex);
    return indexes;
  }
};

using Options = std::vector<std::string>;
using Indexes = std::vector<int32_t>;

TEST_F(Tower, SecondDepartureHoldsShortAndIsClearedOnceTheFirstIsOnePastTheRunwayEnd) {
  const int a = AddPilot("A", "Taxiing"), b = AddPilot("B", "Taxiing");
  Put(a, 0, 0, 100);
  Put(b, 0, 0, 100);
  EXPECT_EQ(Ask(a, "Request Takeoff Clearance VFR"), "cleared for takeoff.");
  EXPECT_EQ(Menu(a), Options{"Acknowledge Takeoff Clearance VFR"});
  EXPECT_EQ(Ask(b, "Request Takeoff Clearance VFR"), "hold short.");
  EXPECT_EQ(Menu(b), Options{"Acknowledge Hold Short"});
  EXPECT_EQ(Queue(Airport().RuntimeList1), (Indexes{a, b, -1}));

  Choose(b, "Acknowledge Hold Short");
  Choose(a, "Acknowledge Takeoff Clearance VFR");
  EXPECT_EQ(P(a).PilotRequest, "Takingoff");

  Fly(a, 0, 1, 2000);  // over the departure end: e = 0
  Fly(a, 0, 2, 300);   // 1 nm past it, but not above field + 200
  Step(b);
  EXPECT_EQ(P(a).PilotRequest, "Takingoff");
  EXPECT_EQ(P(b).PilotRequest, "Holding Short");

  Fly(a, 0, 2, 301);
  EXPECT_EQ(P(a).PilotRequest, "Flying Tower's Airspace");
  EXPECT_EQ(Queue(Airport().RuntimeList1), (Indexes{b, -1}));
  Step(b);  // no new request: the front of the queue with nobody landing is cleared
  EXPECT_EQ(P(b).LastAtcMessage, "cleared for takeoff.");
  EXPECT_EQ(P(b).PilotRequest, "Acknowledge Takeoff Clearance VFR");
  Step(b);
  EXPECT_EQ(Menu(b), Options{"Acknowledge Takeoff Clearance VFR"});
}

TEST_F(Tower, ALandingPilotKeepsTheRunwayFromDepartures) {
  const int lander = AddPilot("L", "Flying Pattern"), d = AddPilot("D", "Taxiing");
  Put(lander, 178, 5, 1500);
  Put(d, 0, 0, 100);
  for (const int i : {lander, d}) Step(i);
  Choose(d, "Request Takeoff Clearance VFR");
  EXPECT_EQ(P(d).LastAtcMessage, "hold short.");
  Choose(d, "Acknowledge Hold Short");
  Step(d);
  EXPECT_EQ(P(d).PilotRequest, "Holding Short");  // at the front, but the landing queue is not empty
  Step(lander);
  Choose(lander, "Acknowledge Landing Clearance");
  Fly(lander, 0, 0.5, 100, 90);  // landed and turned off
  EXPECT_EQ(P(lander).PilotRequest, "Acknowledge Ground Handoff");
  Step(d);
  EXPECT_EQ(P(d).LastAtcMessage, "cleared for takeoff.");
}

TEST_F(Tower, PatternEntryDependsOnTheRunwaySide) {
  const struct {
    int16_t course;
    const char* message;
  } cases[] = {
      {0, "make left downwind runway 36."},   {315, "make left downwind runway 36."},
      {270, "make left downwind runway 36."}, {45, "make right downwind runway 36."},
      {90, "make right downwind runway 36."}, {135, "make right base runway 36."},
      {225, "make left base runway 36."},     {178, "make straight in runway 36."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.course);
    const int i = AddPilot("V" + std::to_string(c.course), "");
    Fly(i, c.course, 10, 2000);
    EXPECT_EQ(Menu(i), (Options{"Request Full Stop Landing", "Tune Cascade Center on 125.1"}));
    Choose(i, "Request Full Stop Landing");
    EXPECT_EQ(P(i).LastAtcMessage, c.message);
    EXPECT_EQ(P(i).PilotRequest, "Flying Pattern");
    EXPECT_EQ(Menu(i), Options{"Cancel Landing Intentions"});  // no place in the landing queue yet
  }
  EXPECT_EQ(Queue(Airport().RuntimeList2), Indexes{-1});
  Choose(0, "Cancel Landing Intentions");
  EXPECT_EQ(P(0).LastAtcMessage, "your cancelation is received.");
  EXPECT_EQ(P(0).PilotRequest, "");
}

TEST_F(Tower, AnInboundPilotInAnApproachZoneIsOfferedTheApproachInsteadOfTheCenter) {
  cycle.ApproachAirportFound = true;
  cycle.ApproachAirportIndex = 0;
  const int i = AddPilot("V", "");
  Fly(i, 90, 10, 3000);
  EXPECT_EQ(Menu(i), (Options{"Request Full Stop Landing", "Tune Seattle Approach on 119.2"}));
  Choose(i, "Tune Seattle Approach on 119.2");
  EXPECT_EQ(P(i).FacilityType, "Approach");
  EXPECT_EQ(P(i).TunedFrequency, "119.2");
}

TEST_F(Tower, LandingClearancesCarryTheSequenceNumberOnce) {
  const int a = AddPilot("A", "Flying Pattern"), b = AddPilot("B", "Flying Pattern"),
            c = AddPilot("C", "Flying Pattern");
  Fly(a, 178, 9, 2000);
  EXPECT_EQ(Menu(a), Options{"Cancel Landing Intentions"});  // 9 nm out: not yet
  Put(a, 178, 6, 1800);
  Put(b, 178, 7, 2000);
  Put(c, 178, 8, 2200);
  for (const int i : {a, b, c}) Step(i);
  EXPECT_EQ(P(a).LastAtcMessage, "cleared to land on runway 36. Number 1 for landing.");
  EXPECT_EQ(P(b).LastAtcMessage, "cleared to land on runway 36. Number 2 for landing.");
  EXPECT_EQ(P(c).LastAtcMessage, "cleared to land on runway 36. Number 3 for landing.");
  EXPECT_EQ(Queue(Airport().RuntimeList2), (Indexes{a, b, c, -1}));

  Ask(a, "Acknowledge Landing Clearance");
  EXPECT_EQ(Menu(a), Options{"Report Go-Around"});
  Step(a);
  EXPECT_EQ(P(a).LastAtcMessage, "");  // no second clearance, no second place
  EXPECT_EQ(Queue(Airport().RuntimeList2), (Indexes{a, b, c, -1}));
}

TEST_F(Tower, ABusyRunwaySendsAroundOnlyWithinTwoMilesOfTheThreshold) {
  const int lander = AddPilot("L", "Landing"), dep = AddPilot("D", "Takingoff");
  Airport().RuntimeList2 = {{lander, ""}, {-1, ""}};
  Put(dep, 0, 0, 100);
  Fly(lander, 178, 3, 900);
  EXPECT_EQ(Menu(lander), Options{"Report Go-Around"});
  Fly(lander, 178, 2, 600);
  EXPECT_EQ(P(lander).LastAtcMessage, "go around.");
  EXPECT_EQ(Queue(Airport().RuntimeList2), Indexes{-1});
  Step(lander);
  Choose(lander, "Acknowledge Go-Around");
  Step(lander);
  EXPECT_EQ(P(lander).PilotRequest, "Going Around");  // still on the approach side
  Fly(lander, 90, 2, 1000);
  EXPECT_EQ(P(lander).PilotRequest, "Flying Pattern");

  const int other = AddPilot("O", "Landing");
  Put(other, 178, 1, 400);
  P(dep).PilotRequest = "Flying Tower's Airspace";
  EXPECT_EQ(Ask(other, "Report Go-Around"), "roger.");
  EXPECT_EQ(P(other).PilotRequest, "Going Around");
}

TEST_F(Tower, IfrMissedApproachIsHandedToRadar) {
  const int i = AddPilot("I", "Landing", true);
  cycle.ApproachAirportFound = true;
  cycle.ApproachAirportIndex = 0;
  Put(i, 178, 2, 800);
  EXPECT_EQ(Ask(i, "Declare Missed Approach"), "roger, contact Seattle Approach on 119.2.");
  EXPECT_EQ(Menu(i), Options{"Acknowledge Handoff"});
  Choose(i, "Acknowledge Handoff");
  EXPECT_EQ(P(i).PilotRequest, "Missed Approach");
  EXPECT_EQ(P(i).TunedFrequency, "");

  // Sent around outside any approach zone: the centre takes it; with no centre either, the airport's
  // own approach, then no frequency at all.
  cycle.ApproachAirportFound = false;
  cycle.ApproachAirportIndex = -1;
  const struct {
    int32_t centre;
    const char* approachFreq;
    const char* message;
  } cases[] = {{0, "119.2", "contact Cascade Center on 125.1."},
               {-1, "119.2", "contact Seattle Approach on 119.2."},
               {-1, "", "contact approach."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    cycle.CurrentCenterIndex = c.centre;
    Airport().ApproachFreq = c.approachFreq;
    const int j = AddPilot("J", "Acknowledge Go-Around", true);
    Put(j, 178, 1, 500);
    EXPECT_EQ(Ask(j, "Acknowledge Go-Around"), c.message);
    EXPECT_EQ(P(j).PilotRequest, "Acknowledge Handoff - Missed Approach");
  }
}

TEST_F(Tower, IfrDepartureIsHandedToDepartureAboveFourHundredFeet) {
  cycle.ApproachAirportFound = true;
  cycle.ApproachAirportIndex = 0;
  const int i = AddPilot("I", "Taxiing", true);
  Fly(i, 0, 0, 100);
  EXPECT_EQ(Menu(i), (Options{"Request Takeoff Clearance IFR", "Cancel IFR"}));
  Choose(i, "Request Takeoff Clearance IFR");
  EXPECT_EQ(P(i).LastAtcMessage, "cleared for takeoff.");
  Choose(i, "Acknowledge Takeoff Clearance IFR");
  Fly(i, 0, 3, 500);
  EXPECT_EQ(P(i).PilotRequest, "Takingoff");
  Fly(i, 0, 3, 501);
  EXPECT_EQ(P(i).LastAtcMessage, "contact departure on 119.2.");
  EXPECT_EQ(Queue(Airport().RuntimeList1), Indexes{-1});
  Ask(i, "Acknowledge Handoff");
  EXPECT_EQ(P(i).PilotRequest, "Contacting Departure - Departure Airport");
  EXPECT_EQ(P(i).FacilityType, "");
  EXPECT_EQ(P(i).IfrPlanFiled, 1);
}

TEST_F(Tower, GroundHandoffComesWhenTheLandedPilotTurnsOffTheRunway) {
  const int i = AddPilot("V", "Landing");
  Airport().RuntimeList2 = {{i, ""}, {-1, ""}};
  for (const int16_t rolling : {360, 9, 350}) {  // the arc runs from 350 inclusive to 10 exclusive
    Fly(i, 0, 0.3, 100, rolling);
    EXPECT_EQ(P(i).LastAtcMessage, "exit runway when able.") << rolling;
    EXPECT_EQ(Menu(i), Options{});
  }
  EXPECT_EQ(Queue(Airport().RuntimeList2), (Indexes{i, -1}));
  Fly(i, 0, 0.3, 100, 10);
  EXPECT_EQ(P(i).LastAtcMessage, "contact ground on 121.9.");
  EXPECT_EQ(Queue(Airport().RuntimeList2), Indexes{-1});
  Ask(i, "Acknowledge Ground Handoff");
  EXPECT_EQ(P(i).FacilityType, "");
  EXPECT_EQ(P(i).AirportIndex, -1);

  const int j = AddPilot("J", "Landing", true);
  Fly(j, 0, 0.3, 100, 349);
  Ask(j, "Acknowledge Ground Handoff");
  EXPECT_EQ(P(j).IfrPlanFiled, 0);
}

TEST_F(Tower, LeavingTheTowersAirspace) {
  const std::string leaving = "you are leaving my airspace, frequency change approved.";
  const int low = AddPilot("Low", "Flying Tower's Airspace");
  Fly(low, 0, 4, 2600);
  EXPECT_EQ(Menu(low), Options{"Request Full Stop Landing"});
  Fly(low, 0, 5, 2600);
  EXPECT_EQ(P(low).LastAtcMessage, leaving);
  EXPECT_EQ(P(low).FacilityType, "");

  // Beyond 20 nm: told once, released and out of the queues on the next step.
  const int far = AddPilot("Far", "Landing");
  Airport().RuntimeList2 = {{far, ""}, {-1, ""}};
  P(far).DepartureAirport = 0;
  Fly(far, 178, 21, 3000);
  EXPECT_EQ(P(far).LastAtcMessage, leaving);
  EXPECT_EQ(P(far).PilotRequest, "Changing frequency");
  EXPECT_EQ(P(far).DepartureAirport, -1);
  EXPECT_EQ(P(far).FacilityType, "Tower");
  Step(far);
  EXPECT_EQ(P(far).FacilityType, "");
  EXPECT_EQ(Queue(Airport().RuntimeList2), Indexes{-1});

  const int ifr = AddPilot("Ifr", "Flying Pattern", true);
  Fly(ifr, 178, 21, 3000);
  EXPECT_EQ(
      P(ifr).LastAtcMessage,
      "IFR flight plan is cancelled, radar service terminated. Squawk 1200. Maintain VFR. Frequency change "
      "approved. Good day.");
  EXPECT_EQ(P(ifr).IfrPlanFiled, 1);
  Step(ifr);
  EXPECT_EQ(P(ifr).IfrPlanFiled, 0);
  EXPECT_EQ(P(ifr).FacilityType, "");
}

TEST_F(Tower, UnknownChoicesAndStatesOnlyResetTheMenu) {
  const int i = AddPilot("V", "Taxiing");
  Fly(i, 0, 0, 100);
  P(i).PendingChoice = 2;  // one option only
  Step(i);
  EXPECT_EQ(P(i).PilotRequest, "Taxiing");
  EXPECT_EQ(Menu(i), Options{"Request Takeoff Clearance VFR"});

  // An IFR pilot in a state the tower does not serve loses its plan and stays on frequency as VFR.
  const int j = AddPilot("J", "Going Around", true);
  Airport().RuntimeList1 = {{j, ""}, {-1, ""}};
  Fly(j, 90, 3, 1500);
  EXPECT_EQ(P(j).IfrPlanFiled, 0);
  EXPECT_EQ(P(j).PilotRequest, "");
  EXPECT_EQ(P(j).FacilityType, "Tower");
  EXPECT_EQ(Queue(Airport().RuntimeList1), Indexes{-1});
  Step(j);
  EXPECT_EQ(Menu(j)[0], "Request Full Stop Landing");
}

}  // namespace
}  // namespace skyvox::atc
