// The airport dialogue's common preparation, its dispatch, and clearance delivery, on a hand-made
// airport with no magnetic variation (magnetic bearings equal true ones).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "atc/atc_context.h"
#include "atc/clearance.h"

namespace skyvox::atc {
namespace {

using Strings = std::vector<std::string>;

class AirportDialogueTest : public ::testing::Test {
 protected:
  AirportDialogueTest() {
    scenery::AirportRecord olympia = scenery::EmptyAirportWithSpareElements();
    olympia.Name = "Olympia";
    olympia.Latitude = 47.0;
    olympia.Longitude = -122.0;
    olympia.ElevationFt = 200;
    olympia.ClearanceName = olympia.GroundName = olympia.TowerName = olympia.ApproachName = "Olympia";
    olympia.ClearanceFreq = "120.4";
    olympia.GroundFreq = "121.6";
    olympia.TowerFreq = "124.4";
    olympia.ApproachFreq = "119.2";
    olympia.MainRunway = {"16", 47.02, -122.0, 195, 5000, 150, 160, ""};  // 1.2 nm north of the reference
    scenery::AirportRecord portland = scenery::EmptyAirportWithSpareElements();
    portland.Name = "Portland Intl";
    portland.ApproachFreq = "118.1";
    world.ControlledAirports = {olympia, portland, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 2;
    world.Airspaces = {{"Seattle", "ARTCC/FIR (HIGH)", "125.1"}, {}};
    cycle.CurrentCenterIndex = 0;

    AddEntry("N123", 7);
    session::PlayerRecord& p = pilot();
    p.Kind = "player";
    p.Latitude = 47.0;
    p.Longitude = -122.0;
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

  void AddEntry(const std::string& name, int32_t id) {
    link.PlayerRoster.back().Name = name;
    link.PlayerRoster.back().PlayerId = id;
    link.PlayerCount += 1;
    link.PlayerRoster.emplace_back();
  }
  session::PlayerRecord& pilot() { return link.PlayerRoster[0]; }
  AirportPrep Prep() { return PrepareAirportDialogue(context, world.ControlledAirports[0]); }
  void Step() { RunAirportDialogue(context); }
  void Choose(uint8_t n) {
    pilot().PendingChoice = n;
    RunAirportDialogue(context);
  }
  Strings Menu() {
    return {pilot().MenuOptions.begin(), pilot().MenuOptions.begin() + pilot().MenuOptionCount};
  }

  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;
  AtcContext context{link, world, 0, cycle};
};

TEST_F(AirportDialogueTest, PreparationPlacesThePilotAroundTheRunway) {
  // Course 177 from the threshold is beyond the far end of a runway heading 160: 7.2 nm from the
  // threshold, 6.0 nm from the reference point. (Exactly due south is avoided: the course formula may
  // give 0 there.)
  pilot().Latitude = 46.9;
  pilot().Longitude = -121.99;
  AirportPrep prep = Prep();
  EXPECT_EQ(prep.RunwaySide, "north");
  EXPECT_EQ(prep.ThresholdDistanceNm, 7);
  EXPECT_EQ(prep.AirportDistanceNm, 6);
  EXPECT_TRUE(prep.AtAirport);

  pilot().Latitude = 47.1;  // course 5: the approach side, 4.8 nm from the threshold
  prep = Prep();
  EXPECT_EQ(prep.RunwaySide, "south");
  EXPECT_EQ(prep.ThresholdDistanceNm, 5);

  pilot().Latitude = 47.02;  // due east of the threshold, 6 nm x cos 47.02 = 4.09 nm
  pilot().Longitude = -121.9;
  prep = Prep();
  EXPECT_EQ(prep.RunwaySide, "west");
  EXPECT_EQ(prep.ThresholdDistanceNm, 4);
}

TEST_F(AirportDialogueTest, PreparationFindsTheLastRosterEntryWithTheSameNameAndId) {
  AddEntry("N123", 8);
  AddEntry("N123", 7);
  AddEntry("N456", 7);
  EXPECT_EQ(Prep().RosterIndex, 2);
  link.PlayerRoster[2].PlayerId = 9;
  EXPECT_EQ(Prep().RosterIndex, 0);
}

TEST_F(AirportDialogueTest, AtTheAirportMeansWithin20RoundedMilesAndAtMost200FeetAboveTheField) {
  pilot().Altitude = 400;
  EXPECT_TRUE(Prep().AtAirport);
  pilot().Altitude = 401;
  EXPECT_FALSE(Prep().AtAirport);
  pilot().Altitude = 0;
  pilot().Latitude = 46.66;  // 20.4 nm, rounded to 20
  EXPECT_TRUE(Prep().AtAirport);
  pilot().Latitude = 46.655;  // 20.7 nm, rounded to 21
  EXPECT_FALSE(Prep().AtAirport);
}

TEST_F(AirportDialogueTest, ClearanceDeliveryGivesTheClearanceTakesTheReadbackAndSendsToGround) {
  Step();
  EXPECT_EQ(Menu(), Strings{"Request IFR Clearance"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage,
            "is cleared to Portland Intl airport as filed. Fly runway heading, climb and maintain 9000. "
            "Departure frequency is 125.1, squawk 0231.");
  EXPECT_EQ(pilot().PilotRequest, "Acknowledge IFR Clearance");
  EXPECT_EQ(pilot().PendingChoice, 0);
  EXPECT_EQ(pilot().MenuOptionCount, 0);

  Step();
  EXPECT_EQ(Menu(), Strings{"Acknowledge IFR Clearance"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "readback is correct. Contact ground on 121.6. Good day.");
  EXPECT_EQ(pilot().PilotRequest, "Contacting Ground");

  Step();
  EXPECT_EQ(Menu(), Strings{"Tune Olympia Ground on 121.6"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "");
  EXPECT_EQ(pilot().FacilityType, "Ground");
  EXPECT_EQ(pilot().TunedFrequency, "121.6");
  EXPECT_EQ(pilot().PilotRequest, "Requesting Taxi IFR");
  EXPECT_EQ(pilot().AirportIndex, 0);
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

TEST_F(AirportDialogueTest, LeavingTheAirportCancelsThePlanThenReleases) {
  pilot().PilotRequest = "Acknowledge IFR Clearance";
  pilot().Altitude = 1500;
  Step();
  EXPECT_EQ(pilot().LastAtcMessage,
            "IFR flight plan is cancelled, radar service terminated. Squawk 1200. Maintain VFR. Frequency "
            "change approved. Good day.");
  EXPECT_EQ(pilot().PilotRequest, "Canceling IFR");
  EXPECT_EQ(pilot().FacilityType, "Clearance");

  Step();
  session::PlayerRecord expected;
  expected.Name = "N123";
  expected.PlayerId = 7;
  expected.Kind = "player";
  expected.Latitude = 47.0;
  expected.Longitude = -122.0;
  expected.Altitude = 1500;
  EXPECT_TRUE(pilot() == expected);  // untuned, no plan, nothing else left over
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
