// Departure and approach control on the airport of radar_fixture.h. Pilots are placed by true course
// and distance from the threshold and fly heading 360 unless a test says otherwise. Expected headings,
// distances and points were worked out separately with the textbook great-circle formulas (courses
// rounded up to the next whole degree). The one pilot of the roster is never told of traffic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "atc/atc_cycle.h"
#include "base/errors.h"
#include "geo/geometry.h"
#include "radar/radar_control.h"
#include "radar_fixture.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

const char* const kExpectIls = " Expect vectors for the ILS runway 36 (110.3 Mhz) approach.";

class Approach : public RadarTest {
 protected:
  void SetUp() override {
    scenery::AirportRecord a = TestAirport();
    a.ApproachName = "Test";
    a.ApproachFreq = "119.2";
    scenery::AirportRecord far = a;  // 180 nm east
    far.Ident = "KFAR";
    far.Longitude = 3;
    far.MainRunway.ThresholdLon = 3;
    far.ApproachName = "Portland";
    far.ApproachFreq = "118.1";
    world.ControlledAirports = {a, far, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 2;
    scenery::AirspaceRecord center;
    center.CenterName = "Cascade";
    center.AirspaceClass = "ARTCC/FIR (HIGH)";
    center.CenterFreq = "125.1";
    world.Airspaces = {center, scenery::AirspaceRecord{}};
    world.AirspaceCount = 1;
    cycle.CurrentCenterIndex = 0;

    AddPilot("Approach", "119.2", 1, 0);
    P().AirportIndex = 0;
  }

  scenery::RunwayRecord& Runway() { return world.ControlledAirports[0].MainRunway; }

  void Run() override {
    AtcContext context{link, world, 0, cycle};
    RunApproachControl(context);
  }
  bool StillServed() override { return P().FacilityType == "Approach" || P().FacilityType == "Departure"; }

  void AddTerrain(int16_t course, int16_t nm, int32_t elevation) {
    const geo::TargetPoint t = geo::DestinationPointNm(kThrLat, 0, course, nm);
    world.TerrainPoints.insert(world.TerrainPoints.end() - 1, {t.Latitude, t.Longitude, elevation});
    ++world.TerrainPointCount;
  }
};

// The field elevation of 100 ft cannot be stored in whole metres, nor can a pilot fly at exactly field
// elevation plus 2000 ft: the equal-altitude case is checked here.
TEST_F(Approach, AtTheFieldElevationPlus2000TheIlsClearanceHasNoAltitudePhrase) {
  P().PilotRequest = "Descending";
  Put(175, 16, 2100);  // 1.7 nm from the 15-nm final point
  Step();
  EXPECT_EQ(P().LastAtcMessage,
            "you are 17 miles south. Turn left heading 352, Cleared for the ILS runway 36 approach. Maintain "
            "2100 ft until established on the localizer.");
}

TEST_F(Approach, WithoutIlsTheFinalStepAsksForTheRunwayInSight) {
  Runway().IlsFrequency = "";
  P().PilotRequest = "Descending";
  Put(175, 16, 2100);
  Step();
  EXPECT_EQ(P().LastAtcMessage,
            "airport is 17 miles at your twelve o'clock. Turn left heading 352. Report runway in sight.");
  EXPECT_EQ(P().PilotRequest, "Looking for Airport");
  Step();
  EXPECT_EQ(Menu(), (Options{"Report runway in sight", "Report runway NOT in sight", "Cancel IFR"}));
  P().LastAtcMessage = "";
  Choose("Report runway NOT in sight");
  EXPECT_EQ(P().LastAtcMessage,
            "airport is 17 miles at your twelve o'clock. Turn left heading 352. Report runway in sight.");
  EXPECT_EQ(P().PilotRequest, "Looking for Airport");
  Choose("Report runway in sight");
  EXPECT_EQ(P().LastAtcMessage, "cleared for the visual approach runway 36.");
  EXPECT_EQ(P().PilotRequest, "Visual Approach");
}

TEST_F(Approach, LeavingTheSouthSectorWhileLookingForTheAirportFliesTheMissedApproachAndStartsOver) {
  P().ReportedTraffic = "B, ";
  P().VectorWaypoint = {"South", "", -0.13333, 0, 0};
  P().AssignedHeading = 352;
  P().AssignedAltitude = 2100;
  Put(175, 16, 2100);
  P().PilotRequest = "Missed Approach";
  Step();  // still on the approach side: climb to the missed approach altitude
  EXPECT_EQ(P().LastAtcMessage, "climb and maintain 2100 ft.");
  EXPECT_EQ(P().PilotRequest, "Missed Approach");

  P().PilotRequest = "Looking for Airport";
  Put(10, 18, 3000);
  Step();
  EXPECT_EQ(P().PilotRequest, "Missed Approach");
  EXPECT_EQ(P().VectorWaypoint, geo::TargetPoint{});
  EXPECT_EQ(P().AssignedHeading, 0);
  EXPECT_EQ(P().AssignedAltitude, 0);
  EXPECT_EQ(P().ReportedTraffic, "B, ");
  Step();
  EXPECT_EQ(P().PilotRequest, "Descending");
  EXPECT_EQ(P().ReportedTraffic, "");
  Step();
  EXPECT_EQ(P().LastAtcMessage,
            std::string("you are 17 miles north. Turn left heading 206, Descent and maintain 2100 ft.") +
                kExpectIls);
}

TEST_F(Approach, TerrainRaisesTheVectorAltitude) {
  Put(10, 18, 3000);
  P().VectorWaypoint = geo::DestinationPointNm(kThrLat, 0, 225, 15);
  P().VectorWaypoint.Name = "North";
  AtcContext context{link, world, 0, cycle};
  EXPECT_EQ(HighestTerrainOnVector(context), 0);  // no terrain at all

  AddTerrain(0, 35, 9000);  // 35 nm from the threshold, 47 from the waypoint: never counted
  EXPECT_EQ(HighestTerrainOnVector(context), 100) << "nothing near: the field elevation";
  AddTerrain(135, 16, 4000);  // outside the threshold's 15 nm, 22 nm from the waypoint
  EXPECT_EQ(HighestTerrainOnVector(context), 4000) << "the aircraft is 18 nm out, 31 nm from the waypoint";
  Put(45, 14, 3000);  // nearer the threshold than the waypoint: only the threshold's circle counts
  EXPECT_EQ(HighestTerrainOnVector(context), 100);
  AddTerrain(90, 10, 1500);
  EXPECT_EQ(HighestTerrainOnVector(context), 1500);

  Put(10, 18, 3000);
  P().VectorWaypoint = {};
  P().PilotRequest = "Descending";
  Step();
  EXPECT_EQ(P().AssignedAltitude, 6000);
  EXPECT_EQ(
      P().LastAtcMessage,
      std::string("you are 17 miles north. Turn left heading 206, Climb and maintain 6000 ft.") + kExpectIls);
}

TEST_F(Approach, ADepartureBoundForANearbyAirportIsTakenOverByApproach) {
  P().FacilityType = "Departure";
  P().PilotRequest = "Enroute";
  Put(360, 5, 3000);
  Step();
  EXPECT_EQ(P().FacilityType, "Approach");
  EXPECT_EQ(P().PilotRequest, "Descending");

  cycle.ApproachAirportFound = true;  // handed to another approach zone when leaving
  cycle.ApproachAirportIndex = 1;
  P().Altitude = 10101;
  Step();
  EXPECT_EQ(P().LastAtcMessage, "contact Portland Approach on 118.1. Good day.");
}

TEST_F(Approach, ATrafficAnswerOrCancellationResumesOrEndsTheDialogue) {
  Put(10, 18, 3000);
  P().PilotRequest = "Reporting Traffic and Reporting Traffic and Descending";
  P().LastAtcMessage = "traffic is, ...";
  P().MenuOptions = {"Report traffic in sight", "Report traffic not in sight", "Cancel IFR", ""};
  P().MenuOptionCount = 3;
  Step();
  EXPECT_EQ(P().MenuOptionCount, 3) << "without an answer the report stands";
  P().PendingChoice = 2;
  Run();
  EXPECT_EQ(P().PilotRequest, "Descending");
  EXPECT_EQ(P().LastAtcMessage, "");
  EXPECT_EQ(P().MenuOptionCount, 0);

  Step();
  EXPECT_EQ(Menu(), Options{"Cancel IFR"});
  P().PendingChoice = 1;
  Run();  // heard now; released on the next run
  EXPECT_EQ(P().LastAtcMessage, kIfrCancellationText);
  EXPECT_EQ(P().PilotRequest, "Canceling IFR");
  Run();
  EXPECT_EQ(P().FacilityType, "");
  EXPECT_EQ(P().IfrPlanFiled, 0);
  EXPECT_EQ(P().DestinationAirport, -1);
  EXPECT_EQ(P().VectorWaypoint, geo::TargetPoint{});
}

TEST_F(Approach, FlightFollowingSquawksReportsRadarContactAndCancels) {
  P().IfrPlanFiled = 0;
  Put(90, 5, 3000);
  Step();
  EXPECT_EQ(Menu(), (Options{"Request Flight Following", "Select a controlled airport"}));
  Choose("Request Flight Following");
  EXPECT_EQ(P().LastAtcMessage, "squawk 7372.");
  EXPECT_EQ(Menu(), Options{"Acknowledge Squawk Code"});
  cycle.NearestAirportFound = true;
  cycle.NearestAirportDistance = 5;
  cycle.NearestAirportIndex = 0;
  Choose("Acknowledge Squawk Code");
  EXPECT_EQ(P().LastAtcMessage, "radar contact 5 miles away from KTST, 3000 ft.");
  Choose("Acknowledge Radar Contact");
  EXPECT_EQ(P().LastAtcMessage, "");
  EXPECT_EQ(Menu(), (Options{"Cancel Flight Following", "Select a controlled airport"}));
  Choose("Cancel Flight Following");
  EXPECT_EQ(P().LastAtcMessage, "cancellation received. Squawk 1200. Frequency change approved.");
  EXPECT_EQ(P().PilotRequest, "");
  EXPECT_EQ(Menu(), (Options{"Request Flight Following", "Select a controlled airport"}));

  cycle.NearestAirportFound = false;
  P().PilotRequest = "Acknowledge Squawk Code";
  Step();
  Choose("Acknowledge Squawk Code");
  EXPECT_EQ(P().LastAtcMessage, "radar contact, 3000 ft.");

  P().PilotRequest = "Departing";  // not a flight-following state: the plan fields are reset
  Step();
  EXPECT_EQ(P().PilotRequest, "");
  EXPECT_EQ(P().DepartureAirport, -1);
  EXPECT_EQ(P().FacilityType, "Approach");
}

// Minutes to a point are an Integer: a pilot crawling at 1 kt 600 nm from its point overflows them. The
// error ends that pilot's turn in the cycle; the cycle itself goes on.
TEST_F(Approach, VectoringMinutesOverflowEndThePilotsTurnOnly) {
  P().PilotRequest = "Descending";
  P().GroundSpeed = 1;
  Put(180, 5, 3000);
  P().VectorWaypoint = geo::DestinationPointNm(P().Latitude, P().Longitude, 90, 600);
  P().VectorWaypoint.Name = "North";
  EXPECT_THROW(Step(), OverflowError);
  EXPECT_NO_THROW(RunAtcCycle(link, world));
}

}  // namespace
}  // namespace skyvox::atc
