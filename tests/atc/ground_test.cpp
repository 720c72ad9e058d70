// Ground control on a hand-made airport: spot availability, taxi clearances with and without a taxi
// network, the handoff to the tower, and the VFR and IFR endings.
#include "airport_fixture.h"

namespace skyvox::atc {
namespace {

const geo::TargetPoint kRunwayTarget{"16", "Runway", 47.0, -122.0, 195};
const geo::TargetPoint kNoTarget{};

// The pilot N123 stands on the runway threshold at field elevation, tuned to ground.
class GroundTest : public OlympiaFixture {
 protected:
  GroundTest() {
    // Spots 0.001 deg of longitude (249 ft) apart with 100 ft radii. No parking path serves spot 3 (the
    // runway path ending at node 3 must not count). The counts are set by WithTaxiNetwork.
    airport().ParkingSpots = {{"Gate 1", 100, 47.0102, -122.000, 0},
                              {"Parking 2", 100, 47.0102, -122.001, 0},
                              {"gate 3", 100, 47.0102, -122.002, 0},
                              {"Ramp gate 4", 100, 47.0102, -122.003, 0},
                              {}};
    airport().TaxiPoints = {
        {0, 47.010, -122.0}, {0, 47.005, -122.0}, {0, 47.0, -122.0}, {0, 46.98, -122.0}, {}};
    airport().TaxiPaths = {{2, 0, 0, ""},
                           {2, 0, 1, ""},
                           {2, 0, 2, ""},
                           {0, 0, 1, "a"},
                           {0, 1, 2, "b"},
                           {1, 2, 3, "Runway 16"},
                           {}};
    session::PlayerRecord& p = Entry("N123", 47.0, -122.0);
    p.Altitude = 200;
    p.AirportIndex = 0;
    p.FacilityType = "Ground";
    p.TunedFrequency = "121.6";
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
  std::vector<int> Occupied() {
    const auto& s = airport().ParkingSpots;
    return {s[0].Occupied, s[1].Occupied, s[2].Occupied, s[3].Occupied};
  }
  void ExpectReleased() {
    ExpectAnswer(pilot(), "", "");
    EXPECT_EQ(pilot().FacilityType, "");
    EXPECT_EQ(pilot().TunedFrequency, "");
    EXPECT_EQ(pilot().AirportIndex, -1);
    EXPECT_EQ(pilot().TaxiTarget, kNoTarget);
  }
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
  pilot().Latitude = 47.0102;
  for (const auto& [choice, spot] : {std::pair<uint8_t, const char*>{2, "gate 3"}, {3, "Parking 2"}}) {
    pilot().PilotRequest = "";
    Step();
    EXPECT_EQ(Occupied(), (std::vector<int>{1, 0, 0, 1}));
    Choose(choice);
    EXPECT_EQ(pilot().TaxiTarget.Name, spot);
  }
  pilot().PilotRequest = "";
  Step();
  Choose(1);
  EXPECT_EQ(pilot().TaxiTarget, kRunwayTarget);
  EXPECT_EQ(pilot().LastAtcMessage.rfind("taxi to and hold short on runway 16 using taxiway", 0), 0u)
      << pilot().LastAtcMessage;
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

TEST_F(GroundTest, IfrPilotInAnUnknownStateIsReleasedButKeepsItsPlanFlag) {
  MakeIfr("Contacting Ground");
  Step();
  ExpectReleased();
  EXPECT_EQ(pilot().DepartureAirport, -1);
  EXPECT_EQ(pilot().IfrPlanFiled, 1);
}

}  // namespace
}  // namespace skyvox::atc
