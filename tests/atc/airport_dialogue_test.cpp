// The airport dialogue's common preparation, its dispatch, and clearance delivery, on a hand-made
// airport with no magnetic variation (magnetic bearings equal true ones).
#include "atc/airport_dialogue.h"
#include "airport_fixture.h"
#include "atc/atc_cycle.h"

namespace skyvox::atc {
namespace {

// Olympia with clearance delivery on 120.4, its own approach on 119.2 and the threshold 1.2 nm north of
// the reference point; Portland Intl as the destination. The pilot N123 (id 7) stands on the reference
// point at field elevation, tuned to clearance delivery with an IFR plan to Portland at 9000.
class AirportDialogueTest : public OlympiaFixture {
 protected:
  AirportDialogueTest() {
    airport().ClearanceName = airport().ApproachName = "Olympia";
    airport().ClearanceFreq = "120.4";
    airport().ApproachFreq = "119.2";
    airport().MainRunway.ThresholdLat = 47.02;
    scenery::AirportRecord portland = scenery::EmptyAirportWithSpareElements();
    portland.Name = "Portland Intl";
    portland.ApproachFreq = "118.1";
    world.ControlledAirports.insert(world.ControlledAirports.begin() + 1, portland);
    world.ControlledAirportCount = 2;

    session::PlayerRecord& p = Entry("N123", 47.0, -122.0);
    p.PlayerId = 7;
    p.Altitude = 200;
    p.AirportIndex = 0;
    p.FacilityType = "Clearance";
    p.TunedFrequency = "120.4";
    p.IfrPlanFiled = 1;
    p.DepartureAirport = 0;
    p.DestinationAirport = 1;
    p.CruiseAltitude = 9000;
    p.PilotRequest = "Requesting IFR Clearance";
  }
  AirportPrep Prep() { return PrepareAirportDialogue(context, airport()); }
};

TEST_F(AirportDialogueTest, PreparationPlacesThePilotAroundTheRunway) {
  // Course 177 from the threshold is beyond the far end of a runway heading 160: 7.2 nm from the
  // threshold, 6.0 nm from the reference point. (Exactly due south is avoided: the course formula may
  // give 0 there.) Course 5 is the approach side, 4.8 nm from the threshold; due east of the threshold
  // is 6 nm x cos 47.02 = 4.09 nm from it and 4.26 nm from the reference point.
  const struct {
    double lat, lon;
    const char* side;
    int thresholdNm, airportNm;
  } cases[] = {{46.9, -121.99, "north", 7, 6}, {47.1, -121.99, "south", 5, 6}, {47.02, -121.9, "west", 4, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.side);
    pilot().Latitude = c.lat;
    pilot().Longitude = c.lon;
    const AirportPrep prep = Prep();
    EXPECT_EQ(prep.RunwaySide, c.side);
    EXPECT_EQ(prep.ThresholdDistanceNm, c.thresholdNm);
    EXPECT_EQ(prep.AirportDistanceNm, c.airportNm);
    EXPECT_TRUE(prep.AtAirport);
  }
}

TEST_F(AirportDialogueTest, PreparationFindsTheLastRosterEntryWithTheSameNameAndId) {
  Entry("N123", 0, 0).PlayerId = 8;
  Entry("N123", 0, 0).PlayerId = 7;
  Entry("N456", 0, 0).PlayerId = 7;
  EXPECT_EQ(Prep().RosterIndex, 2);
  link.PlayerRoster[2].PlayerId = 9;
  EXPECT_EQ(Prep().RosterIndex, 0);
}

TEST_F(AirportDialogueTest, AtTheAirportMeansWithin20RoundedMilesAndAtMost200FeetAboveTheField) {
  // 46.66 is 20.4 nm away, rounded to 20; 46.655 is 20.7 nm, rounded to 21.
  const struct {
    int32_t altitude;
    double lat;
    bool at;
  } cases[] = {{400, 47.0, true}, {401, 47.0, false}, {0, 46.66, true}, {0, 46.655, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.altitude << " ft at " << c.lat);
    pilot().Altitude = c.altitude;
    pilot().Latitude = c.lat;
    EXPECT_EQ(Prep().AtAirport, c.at);
  }
  // A stored elevation near the top of the range: the zone's sums must not overflow (the sanitizer run
  // catches one), and nobody can be above such a field.
  airport().ElevationFt = INT32_MAX - 100;
  airport().ApproachFreq = "119.2";
  pilot().Altitude = INT32_MAX;
  pilot().Latitude = 47.0;
  EXPECT_TRUE(Prep().AtAirport);
  EXPECT_FALSE(ComputeCycleValues(pilot(), world).ApproachAirportFound);
}

TEST_F(AirportDialogueTest, DepartureFrequencyComesFromTheApproachZoneThenTheCentre) {
  pilot().CruiseAltitude = 12000;
  cycle.ApproachAirportFound = true;
  cycle.ApproachAirportIndex = 1;
  const std::string cleared =
      "is cleared to Portland Intl airport as filed. Fly runway heading, climb and maintain 12000";
  EXPECT_EQ(IfrClearanceText(context), cleared + ". Departure frequency is 118.1, squawk 0231.");

  // No approach zone and no centre: the departure airport's own approach frequency, else none at all.
  cycle.ApproachAirportFound = false;
  cycle.CurrentCenterIndex = -1;
  EXPECT_EQ(IfrClearanceText(context), cleared + ". Departure frequency is 119.2, squawk 0231.");
  world.ControlledAirports[0].ApproachFreq = "";
  EXPECT_EQ(IfrClearanceText(context), cleared + ", squawk 0231.");
}

TEST_F(AirportDialogueTest, ClearanceIgnoresPilotsWithoutPlanAndDropsBadChoices) {
  pilot().IfrPlanFiled = 0;
  pilot().Altitude = 5000;
  Choose(1);
  EXPECT_EQ(pilot().PendingChoice, 1);  // untouched: no plan, no service
  EXPECT_EQ(pilot().PilotRequest, "Requesting IFR Clearance");

  pilot().IfrPlanFiled = 1;
  pilot().Altitude = 200;
  Step();
  Choose(2);  // above the option count
  EXPECT_EQ(pilot().PendingChoice, 0);
  EXPECT_EQ(pilot().MenuOptionCount, 0);
  EXPECT_EQ(pilot().PilotRequest, "Requesting IFR Clearance");
  EXPECT_EQ(pilot().LastAtcMessage, "");

  pilot().PilotRequest = "Contacting Ground";
  world.ControlledAirports[0].GroundFreq = "121.9";  // the offered line is no longer this airport's
  Step();
  world.ControlledAirports[0].GroundFreq = "121.6";
  Choose(1);
  EXPECT_EQ(pilot().FacilityType, "Clearance");
  EXPECT_EQ(pilot().PilotRequest, "Contacting Ground");
}

TEST_F(AirportDialogueTest, DispatchFollowsTheFacilityType) {
  pilot().IfrPlanFiled = 0;
  pilot().PilotRequest = "";
  pilot().FacilityType = "Ground";
  Step();
  EXPECT_EQ(Menu(), Strings{"Request Taxi for Takeoff"});

  pilot().FacilityType = "Tower";
  pilot().PilotRequest = "Taxiing";
  Step();
  EXPECT_EQ(Menu(), Strings{"Request Takeoff Clearance VFR"});

  pilot().FacilityType = "Approach";  // not an airport service: nothing changes
  Choose(1);
  EXPECT_EQ(pilot().PendingChoice, 1);
  EXPECT_EQ(Menu(), Strings{"Request Takeoff Clearance VFR"});

  pilot().FacilityType = "Ground";
  pilot().AirportIndex = 3;  // past the table
  Choose(1);
  EXPECT_EQ(pilot().PendingChoice, 1);
}

}  // namespace
}  // namespace skyvox::atc
