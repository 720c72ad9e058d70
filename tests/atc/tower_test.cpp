// Tower control of IFR pilots, and states a dialogue cannot reach, on a hand-made airport: runway 36
// (magnetic 360, 6080 ft long) whose threshold is also the airport's reference point, field elevation
// 100 ft, no magnetic variation. (The VFR dialogues are played as transcripts.) Pilots are placed
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
#include "atc/atc_cycle.h"
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
    // The cycle runs whatever facility the pilot is then tuned to; these steps follow the tower only.
    if (PassConsumedChoice(chose, P(i)) && P(i).FacilityType == "Tower") RunAirportDialogue(context);
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

  // A scene played again: no pilots, both queues back to their marker, the mode as given.
  void Restart(bool corrected) {
    link.PlayerRoster.assign(1, PlayerRecord{});
    link.PlayerCount = 0;
    Airport().RuntimeList1 = Airport().RuntimeList2 = {{-1, ""}};
    world.Corrected.On = corrected;
  }
  void Cycle() { RunAtcCycle(link, world); }
};

using Options = std::vector<std::string>;
using Indexes = std::vector<int32_t>;

TEST_F(Tower, ATakeoffElsewhereMakesThisRunwayBusyUnlessCorrected) {
  for (const bool corrected : {false, true}) {
    SCOPED_TRACE(corrected ? "corrected" : "literal");
    link = {};
    world.Corrected.On = corrected;
    const int lander = AddPilot("N1", "Landing");
    const int other = AddPilot("N2", "Takingoff");
    P(other).AirportIndex = 1;  // rolling at another airport
    Fly(lander, 179, 1.5, 500);
    if (corrected) {
      EXPECT_EQ(P(lander).PilotRequest, "Landing");
      EXPECT_EQ(Menu(lander), Options{"Report Go-Around"});
    } else {
      EXPECT_EQ(P(lander).LastAtcMessage, "go around.");
      EXPECT_EQ(P(lander).PilotRequest, "Acknowledge Go-Around");
    }
    // A takeoff at this airport makes the runway busy in both modes.
    P(other).AirportIndex = 0;
    P(lander).PilotRequest = "Landing";
    Fly(lander, 179, 1.4, 450);
    EXPECT_EQ(P(lander).LastAtcMessage, "go around.");
  }
}

TEST_F(Tower, IfrMissedApproachIsHandedToRadar) {
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

TEST_F(Tower, AnIfrPilotLeavingTheTowersAirspaceLosesItsPlan) {
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

// Whole ticks of the cycle as P hears them, in both modes, while B rolls on the runway and P heads the
// departure queue. Each line P hears that holds the text is an 'o' with options, an 'n' without; '|'
// ends a tick: the tick of the choice (or the first) and the next.
TEST_F(Tower, TheCycleSendsEveryDistinctLineOnceWhenCorrected) {
  const struct {
    const char* state;
    bool ifr;
    int16_t course;
    double nm;
    int32_t altitude;
    const char* option;  // chosen from the menu of a first tick, if any
    std::string text;
    const char *literal, *corrected;
  } cases[] = {
      {"Taxiing", true, 0, 0, 100, "Cancel IFR", kIfrCancellationText, "||", "n||"},
      {"Acknowledge Takeoff Clearance IFR", true, 0, 0, 100, "Acknowledge Takeoff Clearance IFR",
       std::string("P, ") + kNoMessagesText, "||", "n||"},
      {"Landing", false, 90, 3, 1500, "Report Go-Around", "P, roger.", "|o|", "o||"},
      {"Flying Pattern", false, 178, 5, 1500, nullptr, "cleared to land on runway 36.", "n|o|", "o||"},
      {"Landing", false, 178, 1, 500, nullptr, "go around.", "n|o|", "o||"},
      {"Holding Short", false, 178, 0, 100, nullptr, "cleared for takeoff.", "n|o|", "o||"},
  };
  for (const bool corrected : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.text + (corrected ? ", corrected" : ", literal"));
      link = session::SessionLink{};
      SetUp();
      world.Corrected.On = corrected;
      Airwaves air(link);
      const int i = AddPilot("P", c.state, c.ifr);
      Put(AddPilot("B", "Takingoff"), 0, 0, 100);
      air.Listen(P(i));
      Airport().RuntimeList1 = {{i, ""}, {-1, ""}};
      Put(i, c.course, c.nm, c.altitude);
      std::string heard;
      if (c.option) {
        RunAtcCycle(link, world);
        air.Heard();
        const Options menu = Menu(i);
        P(i).PendingChoice =
            static_cast<uint8_t>(std::find(menu.begin(), menu.end(), c.option) - menu.begin() + 1);
      }
      for (int tick = 0; tick < 2; ++tick) {
        RunAtcCycle(link, world);
        for (const std::string& line : air.Heard()) {
          if (line.find(c.text) != std::string::npos)
            heard += line.find(" Choose an option") != std::string::npos ? 'o' : 'n';
        }
        heard += '|';
      }
      EXPECT_EQ(heard, corrected ? c.corrected : c.literal);
    }
  }
}

// 5 nm out on the extended centreline: a bearing of 0 makes the pilot "north", sent to a left downwind
// and never cleared; the sound bearing (180) makes it "south", on final and cleared to land.
TEST_F(Tower, APilotDueSouthOfTheRunwayIsOnFinalWithSoundBearings) {
  for (const bool corrected : {false, true}) {
    world.Corrected.On = corrected;
    const int i = AddPilot(corrected ? "Sound" : "Literal", "");
    Fly(i, 180, 5, 1500);
    Choose(i, "Request Full Stop Landing");  // the pattern entry, then at once the tower's next pass
    EXPECT_EQ(P(i).LastAtcMessage, corrected ? "cleared to land on runway 36. Number 1 for landing."
                                             : "make left downwind runway 36.");
    Step(i);
    EXPECT_EQ(P(i).PilotRequest, corrected ? "Acknowledge Landing Clearance" : "Flying Pattern");
    EXPECT_EQ(Menu(i)[0], corrected ? "Acknowledge Landing Clearance" : "Cancel Landing Intentions");
  }
}

// A go-around the pilot reports, or a missed approach it declares, with a departure holding short: in
// the design the landing place stays and holds the departure (and the next clearance numbers the pilot
// behind itself); in the corrected mode the place goes and the departure is cleared.
TEST_F(Tower, AGoAroundGivesUpItsLandingPlaceWhenCorrected) {
  for (const bool ifr : {false, true}) {
    for (const bool corrected : {false, true}) {
      Restart(corrected);
      const int landing = AddPilot("L", "Landing", ifr);
      Put(landing, 178, 3, 900);
      const int waiting = AddPilot("D", "Holding Short");
      Put(waiting, 0, 0, 100);
      Airport().RuntimeList1 = {{waiting, ""}, {-1, ""}};
      Airport().RuntimeList2 = {{landing, ""}, {-1, ""}};
      Cycle();
      ASSERT_EQ(Menu(landing), Options{ifr ? "Declare Missed Approach" : "Report Go-Around"});
      P(landing).PendingChoice = 1;
      Cycle();
      EXPECT_EQ(Queue(Airport().RuntimeList2), corrected ? Indexes{-1} : (Indexes{landing, -1}));
      EXPECT_EQ(P(waiting).LastAtcMessage, corrected ? "cleared for takeoff." : "");
      if (ifr) continue;
      Fly(landing, 90, 3, 1500);  // back in the pattern, then on final
      Fly(landing, 178, 5, 1500);
      EXPECT_EQ(P(landing).LastAtcMessage.substr(30),
                corrected ? "Number 1 for landing." : "Number 2 for landing.");
    }
  }
}

// S stopped reporting on its takeoff roll, first in the departure queue; D holds short behind it and
// reports before every cycle (as the receive loop records a report). The design keeps S's place; the
// corrected mode frees it on the 120th cycle (60 s), tells S, and D moves up and is cleared.
TEST_F(Tower, ASilentPilotLosesItsPlaceAfterAMinuteWhenCorrected) {
  for (const bool corrected : {false, true}) {
    Restart(corrected);
    const int silent = AddPilot("S", "Takingoff");
    const int reporting = AddPilot("D", "Holding Short");
    Put(silent, 0, 0, 100);
    Put(reporting, 0, 0, 100);
    Airport().RuntimeList1 = {{silent, ""}, {reporting, ""}, {-1, ""}};
    for (int cycle = 1; cycle <= 120; ++cycle) {
      EXPECT_EQ(Queue(Airport().RuntimeList1).size(), 3u) << "cycle " << cycle;
      P(reporting).CyclesWithoutPosition = 0;
      Cycle();
    }
    EXPECT_EQ(Queue(Airport().RuntimeList1),
              corrected ? (Indexes{reporting, -1}) : (Indexes{silent, reporting, -1}));
    ExpectAnswer(P(silent), corrected ? "radar contact lost, you are removed from the sequence." : "",
                 corrected ? "" : "Takingoff");
    EXPECT_EQ(P(reporting).LastAtcMessage, corrected ? "cleared for takeoff." : "");
  }
}

}  // namespace
}  // namespace skyvox::atc
