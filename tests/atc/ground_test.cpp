// Ground control on a hand-made airport: spot availability, taxi clearances with and without a taxi
// network, the handoff to the tower, and the VFR and IFR endings.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "atc/atc_context.h"

namespace skyvox::atc {
namespace {

using Strings = std::vector<std::string>;

const geo::TargetPoint kRunwayTarget{"16", "Runway", 47.0, -122.0, 195};
const geo::TargetPoint kNoTarget{};

class GroundTest : public ::testing::Test {
 protected:
  GroundTest() {
    scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
    a.Name = "Olympia";
    a.Latitude = 47.0;
    a.Longitude = -122.0;
    a.ElevationFt = 200;
    a.GroundName = a.TowerName = "Olympia";
    a.GroundFreq = "121.6";
    a.TowerFreq = "124.4";
    a.MainRunway = {"16", 47.0, -122.0, 195, 5000, 150, 160, ""};
    // Spots 0.001 deg of longitude (249 ft) apart with 100 ft radii. No parking path serves spot 3 (the
    // runway path ending at node 3 must not count). The counts are set by WithTaxiNetwork.
    a.ParkingSpots = {{"Gate 1", 100, 47.0102, -122.000, 0},
                      {"Parking 2", 100, 47.0102, -122.001, 0},
                      {"gate 3", 100, 47.0102, -122.002, 0},
                      {"Ramp gate 4", 100, 47.0102, -122.003, 0},
                      {}};
    a.TaxiPoints = {{0, 47.010, -122.0}, {0, 47.005, -122.0}, {0, 47.0, -122.0}, {0, 46.98, -122.0}, {}};
    a.TaxiPaths = {{2, 0, 0, ""},
                   {2, 0, 1, ""},
                   {2, 0, 2, ""},
                   {0, 0, 1, "a"},
                   {0, 1, 2, "b"},
                   {1, 2, 3, "Runway 16"},
                   {}};
    world.ControlledAirports = {a, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    world.Airspaces = {{"Seattle", "ARTCC/FIR (HIGH)", "125.1"}, {}};
    cycle.CurrentCenterIndex = 0;

    session::PlayerRecord& p = Entry("N123", 47.0, -122.0);  // on the runway threshold
    p.Altitude = 200;
    p.AirportIndex = 0;
    p.FacilityType = "Ground";
    p.TunedFrequency = "121.6";
  }

  session::PlayerRecord& Entry(const std::string& name, double lat, double lon) {
    session::PlayerRecord& r = link.PlayerRoster.back();
    r.Name = name;
    r.PlayerId = link.PlayerCount + 1;
    r.Kind = "player";
    r.Latitude = lat;
    r.Longitude = lon;
    link.PlayerCount += 1;
    link.PlayerRoster.emplace_back();
    return link.PlayerRoster[static_cast<size_t>(link.PlayerCount) - 1];
  }
  void WithTaxiNetwork() {
    airport().ParkingCount = 4;
    airport().TaxiPointCount = 4;
    airport().TaxiPathCount = 6;
  }
  void MakeIfr(const std::string& request) {
    pilot().IfrPlanFiled = 1;
    pilot().DepartureAirport = pilot().DestinationAirport = 0;
    pilot().CruiseAltitude = 6000;
    pilot().PilotRequest = request;
  }
  scenery::AirportRecord& airport() { return world.ControlledAirports[0]; }
  session::PlayerRecord& pilot() { return link.PlayerRoster[0]; }
  void Step() { RunAirportDialogue(context); }
  void Choose(uint8_t n) {
    pilot().PendingChoice = n;
    RunAirportDialogue(context);
  }
  Strings Menu() {
    return {pilot().MenuOptions.begin(), pilot().MenuOptions.begin() + pilot().MenuOptionCount};
  }
  std::vector<int> Occupied() {
    const auto& s = airport().ParkingSpots;
    return {s[0].Occupied, s[1].Occupied, s[2].Occupied, s[3].Occupied};
  }
  void ExpectReleased() {
    EXPECT_EQ(pilot().LastAtcMessage, "");
    EXPECT_EQ(pilot().PilotRequest, "");
    EXPECT_EQ(pilot().FacilityType, "");
    EXPECT_EQ(pilot().TunedFrequency, "");
    EXPECT_EQ(pilot().AirportIndex, -1);
    EXPECT_EQ(pilot().TaxiTarget, kNoTarget);
  }

  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;
  AtcContext context{link, world, 0, cycle};
};

TEST_F(GroundTest, SpotsAreFreeWhenAParkingPathReachesThemAndNoEntryStandsOnThem) {
  WithTaxiNetwork();
  Step();
  EXPECT_EQ(Occupied(), (std::vector<int>{0, 0, 0, 1}));
  EXPECT_EQ(Menu(), (Strings{"Request Taxi for Takeoff", "Request Taxi to Gate", "Request Taxi to Parking"}));

  // Any roster entry occupies a spot, observers included; the unreachable "Ramp gate 4" never frees.
  Entry("WATCHER", 47.0102, -122.0).Kind = "observer";
  Entry("N456", 47.01025, -122.002);
  Step();
  EXPECT_EQ(Occupied(), (std::vector<int>{1, 0, 1, 1}));
  EXPECT_EQ(Menu(), (Strings{"Request Taxi for Takeoff", "Request Taxi to Parking"}));
}

TEST_F(GroundTest, SpotRequestsTakeTheFirstFreeSpotOfTheirClassThroughTheTaxiNetwork) {
  WithTaxiNetwork();
  Step();
  Choose(2);
  EXPECT_EQ(pilot().TaxiTarget, (geo::TargetPoint{"Gate 1", "Gate or parking", 47.0102, -122.0, 0}));
  EXPECT_EQ(pilot().PilotRequest, "Acknowledge Taxi Clearance");
  EXPECT_NE(pilot().LastAtcMessage.find(" using taxiway"), std::string::npos) << pilot().LastAtcMessage;

  // The asking pilot standing on Gate 1 occupies it: the small-letter "gate 3" is the next gate.
  pilot().PilotRequest = "";
  pilot().Latitude = 47.0102;
  Step();
  EXPECT_EQ(Occupied(), (std::vector<int>{1, 0, 0, 1}));
  Choose(2);
  EXPECT_EQ(pilot().TaxiTarget.Name, "gate 3");

  pilot().PilotRequest = "";
  Step();
  Choose(3);
  EXPECT_EQ(pilot().TaxiTarget.Name, "Parking 2");

  pilot().PilotRequest = "";
  Step();
  Choose(1);
  EXPECT_EQ(pilot().TaxiTarget, kRunwayTarget);
  EXPECT_EQ(pilot().LastAtcMessage.rfind("taxi to and hold short on runway 16 using taxiway", 0), 0u)
      << pilot().LastAtcMessage;
}

TEST_F(GroundTest, VfrTaxiWithoutNetworkThenHandoffToTower) {
  airport().ParkingCount = 4;  // spots but no taxi network: none is ever free
  Step();
  EXPECT_EQ(Menu(), Strings{"Request Taxi for Takeoff"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage,
            "taxi to and hold short on runway 16. Contact tower on 124.4 when ready.");
  EXPECT_EQ(pilot().TaxiTarget, kRunwayTarget);
  EXPECT_EQ(pilot().PilotRequest, "Acknowledge Taxi Clearance");

  Step();
  EXPECT_EQ(Menu(), Strings{"Acknowledge Taxi Clearance"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "");
  EXPECT_EQ(pilot().PilotRequest, "Taxiing");

  Step();
  EXPECT_EQ(Menu(), Strings{"Tune Olympia Tower on 124.4"});
  pilot().TaxiRoute = {{0, 1, 2, "A"}, {}};
  Choose(1);
  EXPECT_EQ(pilot().FacilityType, "Tower");
  EXPECT_EQ(pilot().TunedFrequency, "124.4");
  EXPECT_EQ(pilot().PilotRequest, "Taxiing");
  EXPECT_EQ(pilot().AirportIndex, 0);
  EXPECT_EQ(pilot().TaxiRoute, std::vector<scenery::TaxiPath>(1));
  EXPECT_EQ(pilot().TaxiTarget, kNoTarget);
}

TEST_F(GroundTest, VfrTaxiToASpotEndsWithReportParking) {
  pilot().PilotRequest = "Acknowledge Taxi Clearance";
  pilot().TaxiTarget = {"Gate 1", "Gate or parking", 47.0102, -122.0, 0};
  Step();
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "report when you are parked in the gate or parking.");
  EXPECT_EQ(pilot().PilotRequest, "Taxiing");
  Step();
  EXPECT_EQ(Menu(), Strings{"Report Parking"});
  Choose(5);  // above the count: only the menu goes
  EXPECT_EQ(pilot().PilotRequest, "Taxiing");
  Step();
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "");
  EXPECT_EQ(pilot().PilotRequest, "");
  EXPECT_EQ(pilot().FacilityType, "Ground");
  EXPECT_EQ(pilot().TaxiTarget, kNoTarget);
}

TEST_F(GroundTest, TakeoffWithoutClearanceIsToldOnceThenReleased) {
  pilot().PilotRequest = "Taxiing";
  pilot().TaxiTarget = kRunwayTarget;
  pilot().Altitude = 401;
  Step();
  EXPECT_EQ(pilot().LastAtcMessage, "you were not cleared for takeoff.");
  EXPECT_EQ(pilot().PilotRequest, "Player is airbone");
  EXPECT_EQ(pilot().FacilityType, "Ground");
  Step();
  ExpectReleased();
}

TEST_F(GroundTest, VfrPilotFarAwayOnTheGroundOrInAnUnknownStateIsReleasedAtOnce) {
  pilot().Latitude = 46.6;  // 24 nm
  pilot().PilotRequest = "Taxiing";
  Step();
  ExpectReleased();

  pilot().Latitude = 47.0;
  pilot().FacilityType = "Ground";
  pilot().AirportIndex = 0;
  pilot().PilotRequest = "Landing";
  pilot().LastAtcMessage = "old";
  pilot().CruiseAltitude = 3000;
  Step();
  ExpectReleased();
  EXPECT_EQ(pilot().CruiseAltitude, 0);
}

TEST_F(GroundTest, IfrPilotGetsClearanceTaxiesAndMayCancel) {
  MakeIfr("Requesting IFR Clearance");
  Step();
  EXPECT_EQ(Menu(), Strings{"Request IFR Clearance"});
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage,
            "is cleared to Olympia airport as filed. Fly runway heading, climb and maintain 6000. Departure "
            "frequency is 125.1, squawk 0231.");
  Step();
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage, "readback is correct. Request taxi. Good day.");
  EXPECT_EQ(pilot().PilotRequest, "Requesting Taxi IFR");

  Step();
  EXPECT_EQ(Menu(), (Strings{"Request Taxi IFR", "Cancel IFR"}));
  Choose(1);
  EXPECT_EQ(pilot().LastAtcMessage,
            "taxi to and hold short on runway 16. Contact tower on 124.4 when ready.");
  Step();
  Choose(1);
  EXPECT_EQ(pilot().PilotRequest, "Taxiing");
  Step();
  EXPECT_EQ(Menu(), (Strings{"Tune Olympia Tower on 124.4", "Cancel IFR"}));

  Choose(2);
  EXPECT_EQ(pilot().LastAtcMessage,
            "IFR flight plan is cancelled, radar service terminated. Squawk 1200. Maintain VFR. Frequency "
            "change approved. Good day.");
  EXPECT_EQ(pilot().PilotRequest, "Canceling IFR");
  Step();
  ExpectReleased();
  EXPECT_EQ(pilot().IfrPlanFiled, 0);
  EXPECT_EQ(pilot().DestinationAirport, -1);
}

TEST_F(GroundTest, IfrPilotLeavingTheAirportLosesThePlan) {
  MakeIfr("Taxiing");
  pilot().TaxiTarget = kRunwayTarget;
  pilot().Altitude = 1000;
  Step();
  EXPECT_EQ(pilot().PilotRequest, "Canceling IFR");
  EXPECT_EQ(pilot().IfrPlanFiled, 1);
  Step();
  ExpectReleased();
  EXPECT_EQ(pilot().IfrPlanFiled, 0);
  EXPECT_EQ(pilot().CruiseAltitude, 0);
}

TEST_F(GroundTest, IfrPilotInAnUnknownStateIsReleasedButKeepsItsPlanFlag) {
  MakeIfr("Contacting Ground");
  Step();
  ExpectReleased();
  EXPECT_EQ(pilot().DepartureAirport, -1);
  EXPECT_EQ(pilot().IfrPlanFiled, 1);
}

}  // namespace
}  // namespace skyvox::atc
