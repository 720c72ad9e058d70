// Center control over the airport of radar_fixture.h under three centres: a high-level box 10 degrees
// each way around it, a high-level box across the 180th meridian and a low-level box like the first.
// Expected headings and points were worked out separately with the textbook great-circle formulas
// (courses rounded up).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atc/atc_context.h"
#include "geo/geometry.h"
#include "radar/radar_control.h"
#include "radar_fixture.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

scenery::AirspaceRecord Box(const char* name, const char* kind, const char* freq, double west, double east) {
  scenery::AirspaceRecord s;
  s.CenterName = name;
  s.AirspaceClass = kind;
  s.CenterFreq = freq;
  s.NorthLat = 10;
  s.SouthLat = -10;
  s.WestLon = west;
  s.EastLon = east;
  return s;
}

class Center : public RadarTest {
 protected:
  void SetUp() override {
    world.ControlledAirports = {TestAirport(), scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    world.Airspaces = {Box("Cascade", "ARTCC/FIR (HIGH)", "125.1", -10, 10),
                       Box("Pacific", "ARTCC/FIR (HIGH)", "128.2", 170, -170),
                       Box("Valley", "ARTCC/FIR (LOW)", "132.4", -10, 10), scenery::AirspaceRecord{}};
    world.AirspaceCount = 3;
    cycle.CurrentCenterIndex = 1;

    AddPilot("Center", "125.1", 0, 0);
    P().Altitude = 9000;
    P().Heading = 360;
    P().CenterIndex = 0;
    P().AirportIndex = 1;  // left over from elsewhere: the center never looks at it
  }

  void Run() override {
    AtcContext context{link, world, 0, cycle};
    RunCenterControl(context);
  }
  bool StillServed() override { return P().FacilityType == "Center"; }
};

TEST_F(Center, OnlyAStrictlyInsidePositionOfAHighLevelBoxIsInside) {
  struct Case {
    int32_t center;
    double lat, lon;
    bool inside;
  };
  const Case cases[] = {
      {0, 0, 0.05, true}, {0, 10, 0, false},     {0, -10, 0, false},    {0, 0, -10, false},
      {0, 0, 10, false},  {0, 9.99, 9.99, true}, {1, 0, 175, true},     {1, 0, -175, true},
      {1, 0, 180, true},  {1, 0, -180, true},    {1, 0, 170, false},    {1, 0, -170, false},
      {1, 0, 0, false},   {1, 0, 165, false},    {1, 10.5, 175, false}, {2, 0, 0.05, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "centre " << c.center << " at " << c.lat << ", " << c.lon);
    P().IfrPlanFiled = 0;
    P().PilotRequest = "";
    P().CenterIndex = c.center;
    P().Latitude = c.lat;
    P().Longitude = c.lon;
    Step();
    if (c.inside) {
      EXPECT_EQ(Menu(), (Options{"Request Flight Following", "Select a controlled airport"}));
    } else {
      ExpectAnswer(P(), "contact Pacific Center on 128.2. Good day.", "Out of Airspace - ");
      EXPECT_EQ(Menu(), Options{"Acknowledge Handoff"});
    }
  }
}

TEST_F(Center, TheHandoffAcknowledgementClearsTheCentreAndKeepsTheState) {
  P().CenterIndex = 2;  // low level: out at once
  P().PilotRequest = "Reporting Traffic and Enroute";
  Step();
  EXPECT_EQ(P().PilotRequest, "Out of Airspace - Enroute");
  cycle.CurrentCenterIndex = -1;  // nothing to name any more: the first message stands
  Step();
  EXPECT_EQ(P().LastAtcMessage, "contact Pacific Center on 128.2. Good day.");
  Choose("Acknowledge Handoff");
  EXPECT_EQ(P().PilotRequest, "Enroute");
  EXPECT_EQ(P().FacilityType, "");
  EXPECT_EQ(P().TunedFrequency, "");
  EXPECT_EQ(P().CenterIndex, -1);
  EXPECT_EQ(P().AirportIndex, 1);
}

TEST_F(Center, TheCenterClimbsADepartureAndStartsTheDescentItself) {
  P().PilotRequest = "Contacting Departure - Departure Airport";
  Put(10, 40, 9000);
  Step();
  EXPECT_EQ(P().PilotRequest, "Departing");
  Step();
  EXPECT_EQ(P().LastAtcMessage, "climb and maintain 9000 ft. Resume and maintain own navigation.");
  Step();
  Choose("Acknowledge Instruction");
  EXPECT_EQ(P().PilotRequest, "Descending");  // Enroute, and 39 nm from the destination
  EXPECT_EQ(P().FacilityType, "Center");

  Step();  // first contact 40 nm out: the North point at half the distance, 20 nm
  EXPECT_EQ(P().LastAtcMessage,
            "you are 39 miles north. Turn left heading 202, Descent and maintain 2100 ft. Expect vectors for "
            "the ILS runway 36 (110.3 Mhz) approach.");
  ExpectWaypoint("North", -0.25237, -0.2357);
  EXPECT_EQ(Menu(), Options{"Cancel IFR"});
}

TEST_F(Center, LookingForTheAirportOutsideTheSouthSectorStartsTheVectoringOverAtOnce) {
  P().PilotRequest = "Looking for Airport";
  P().ReportedTraffic = "B, ";
  P().VectorWaypoint = {"South", "", -0.13333, 0, 0};
  P().AssignedHeading = 352;
  P().AssignedAltitude = 2100;
  Put(10, 18, 9000);
  Step();
  EXPECT_EQ(P().PilotRequest, "Descending");
  EXPECT_EQ(P().VectorWaypoint, geo::TargetPoint{});
  EXPECT_EQ(P().AssignedHeading, 0);
  EXPECT_EQ(P().AssignedAltitude, 0);
  EXPECT_EQ(P().ReportedTraffic, "B, ");
}

TEST_F(Center, TheTowerHandoffClearsTheCentreNotTheAirport) {
  P().PilotRequest = "ILS Approach";
  Put(180, 9, 1500);
  Step();
  EXPECT_EQ(P().LastAtcMessage, "contact Test Tower on 118.3. Good day.");
  Step();
  Choose("Acknowledge Handoff");
  EXPECT_EQ(P().PilotRequest, "Approaching");
  EXPECT_EQ(P().FacilityType, "");
  EXPECT_EQ(P().CenterIndex, -1);
  EXPECT_EQ(P().AirportIndex, 1);
}

}  // namespace
}  // namespace skyvox::atc
