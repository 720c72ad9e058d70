// The parts a virtual pilot is made of: reading the station's lines as they arrive in the chat, and
// the flight model's kinematics.
#include <gtest/gtest.h>

#include "sim/earth.h"
#include "sim/flight_model.h"
#include "sim/radio.h"

namespace skyvox::sim {
namespace {

TEST(StationLines, ReadAsThePilotReadsThem) {
  struct Case {
    std::string Text;
    std::string Message, Facility;
    std::vector<std::string> Options;
    bool NoMessages;
  };
  const std::vector<Case> cases = {
      {"N1, taxi to and hold short on runway 17 using taxiway B A A1 . Contact tower on 124.4 when ready. "
       "Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Acknowledge Taxi Clearance ",
       "taxi to and hold short on runway 17 using taxiway B A A1 . Contact tower on 124.4 when ready.",
       "OLYMPIA GROUND Ground on 121.6",
       {"Acknowledge Taxi Clearance"},
       false},
      // Untuned: no facility; option texts with blanks and digits of their own.
      {"N1,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6 2-Select a controlled airport 3-Tune "
       "SEATTLE CENTER Center on 128.3 ",
       "",
       "",
       {"Tune OLYMPIA GROUND Ground on 121.6", "Select a controlled airport",
        "Tune SEATTLE CENTER Center on 128.3"},
       false},
      {"N1, cleared to land on runway 17. Number 1 for landing. <No messages to transmit to the ATC by this "
       "moment>",
       "cleared to land on runway 17. Number 1 for landing.",
       "",
       {},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const auto line = ReadStationLine("N1", c.Text);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Message, c.Message);
    EXPECT_EQ(line->Facility, c.Facility);
    EXPECT_EQ(line->Options, c.Options);
    EXPECT_EQ(line->NoMessages, c.NoMessages);
  }
  // Another pilot's line (an observer's copy), a pilot's own chat, a line without a menu or an end.
  for (const char* other : {"N12, go around. <No messages to transmit to the ATC by this moment>", "1",
                            "N1, List of controlled airports: KOLM (OLYMPIA), ", "N1,  Choose an option"}) {
    EXPECT_FALSE(ReadStationLine("N1", other)) << other;
  }
  EXPECT_EQ(FindOption({"Request Taxi for Takeoff", "Request Taxi to Gate"}, "Request Taxi to"), 2);
  EXPECT_EQ(FindOption({"Request Taxi for Takeoff"}, "Report"), 0);
}

TEST(StationLines, HeadingsAndAltitudesOfInstructions) {
  const std::string vectors = "turn left heading 161. Descent and maintain 3765 ft.";
  EXPECT_EQ(AssignedHeading(vectors), 161);
  EXPECT_EQ(AssignedAltitude(vectors), 3765);
  // The last altitude assigned counts; a capitalised "Maintain" repeats it.
  EXPECT_EQ(AssignedAltitude("Climb and maintain 9000 ft. Expect maintain 11000 ft."), 11000);
  EXPECT_EQ(AssignedAltitude("Descent and maintain 2210 ft. Maintain 2210 ft until established."), 2210);
  EXPECT_FALSE(AssignedHeading("Fly runway heading."));
  EXPECT_FALSE(AssignedAltitude("maintain VFR."));
  EXPECT_FALSE(NumberAfter("heading 99999999", "heading "));  // too long to be a heading
}

// A light single at Olympia's elevation, heading north.
FlightModel Parked() {
  FlightModel m(LightSingle());
  m.PlaceOnGround(47.0, -122.9, 200, 0);
  return m;
}

void Advance(FlightModel& m, double seconds) {
  for (double t = 0; t < seconds; t += 0.25) m.Step(0.25);
}

TEST(FlightModel, TaxiesAlongTheRouteAndStopsAtItsEnd) {
  FlightModel m = Parked();
  const GeoPoint b{47.005, -122.9}, c{47.005, -122.895};
  m.FollowRoute({b, c});
  m.SetSpeed(m.Perf().TaxiKt);
  Advance(m, 30);
  EXPECT_DOUBLE_EQ(m.GroundSpeedKt(), 15);
  EXPECT_TRUE(m.OnGround());
  Advance(m, 200);
  EXPECT_TRUE(m.RouteDone());
  EXPECT_EQ(m.GroundSpeedKt(), 0);
  EXPECT_LT(DistanceNmExact(m.Latitude(), m.Longitude(), c.Latitude, c.Longitude) * 6076, 60);
  EXPECT_EQ(m.AltitudeFt(), 200);
}

TEST(FlightModel, TakesOffTurnsAtStandardRateClimbsAndGlidesDown) {
  FlightModel m = Parked();
  m.StartTakeoff(0, 1200);
  Advance(m, 10);
  EXPECT_TRUE(m.OnGround());  // 30 kt after 10 s at 3 kt/s
  Advance(m, 10);
  EXPECT_FALSE(m.OnGround());  // past 55 kt
  Advance(m, 60);
  EXPECT_NEAR(m.AltitudeFt(), 200 + 700.0 * (80 - 18.5) / 60, 30);  // 700 ft/min from lift-off
  Advance(m, 120);
  EXPECT_EQ(m.AltitudeFt(), 1200);
  // A standard-rate turn: 90 degrees in 30 s.
  m.HoldHeading(90);
  Advance(m, 15);
  EXPECT_NEAR(m.TrueHeading(), 45, 1);
  Advance(m, 20);
  EXPECT_NEAR(m.TrueHeading(), 90, 0.01);
  // A 3-degree glide path 2 nm ahead: down at about 640 ft/nm, wheels on at the touchdown point.
  GeoPoint touchdown;
  MovePoint(m.Latitude(), m.Longitude(), 90, 2, touchdown.Latitude, touchdown.Longitude);
  m.FollowRoute({touchdown});
  m.SetSpeed(m.Perf().ApproachKt);
  m.ClimbTo(200 + 2 * 6076 * 0.0524);
  Advance(m, 60);
  m.GlideTo(touchdown, 200);
  while (!m.OnGround()) m.Step(0.25);
  EXPECT_TRUE(m.TakeTouchdown());
  EXPECT_FALSE(m.TakeTouchdown());  // once
  EXPECT_LT(DistanceNmExact(m.Latitude(), m.Longitude(), touchdown.Latitude, touchdown.Longitude), 0.3);
  EXPECT_EQ(m.AltitudeFt(), 200);
}

TEST(FlightModel, HeadingDifferenceTakesTheShortWayRound) {
  EXPECT_EQ(HeadingDifference(350, 10), 20);
  EXPECT_EQ(HeadingDifference(10, 350), -20);
  EXPECT_EQ(HeadingDifference(0, 180), 180);
}

}  // namespace
}  // namespace skyvox::sim
