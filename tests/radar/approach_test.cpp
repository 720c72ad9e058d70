// Approach control on the airport of radar_fixture.h, where a value cannot travel in a dialogue (the
// field elevation plus 2000 ft exactly, terrain under the vector, an overflow), and a state no dialogue
// reaches; the dialogues themselves are played as transcripts. Pilots are placed by true course
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
    world.ControlledAirports = {a, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    scenery::AirspaceRecord center;
    center.CenterName = "Cascade";
    center.AirspaceClass = "ARTCC/FIR (HIGH)";
    center.CenterFreq = "125.1";
    world.Airspaces = {center, scenery::AirspaceRecord{}};
    world.AirspaceCount = 1;
    cycle.CurrentCenterIndex = 0;

    AddPilot("Approach", "119.2", 0, 0);
    P().AirportIndex = 0;
  }

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

// Out of the zone, where no other approach zone and no centre holds the pilot, in both modes; then,
// the handoff unanswered, B comes close and the pilot is told of it, and it flies back in.
TEST_F(Approach, OutOfTheZoneWithNoFacilityToHandOffTo) {
  for (const bool corrected : {false, true}) {
    SCOPED_TRACE(corrected ? "corrected" : "literal");
    link = session::SessionLink{};
    SetUp();
    world.Corrected.On = corrected;
    P().PilotRequest = "Descending";
    Put(0, 25, 5000);
    RunAtcCycle(link, world);
    EXPECT_EQ(P().LastAtcMessage, corrected ? "radar service terminated, frequency change approved. Good day."
                                            : "contact  on . Good day.");
    EXPECT_EQ(Menu(), Options{"Acknowledge Handoff"});

    session::PlayerRecord& b =
        *link.PlayerRoster.insert(link.PlayerRoster.begin() + 1, session::PlayerRecord{});
    b.Name = "B";
    b.Latitude = geo::DestinationPointNm(kThrLat, 0, 0, 27).Latitude;
    b.Altitude = 5000;
    link.PlayerCount = 2;
    RunAtcCycle(link, world);
    EXPECT_EQ(P().LastAtcMessage.rfind("traffic is, 2 miles, ", 0), 0u) << P().LastAtcMessage;
    EXPECT_EQ(Menu(),
              (corrected ? Options{"Acknowledge Handoff"}
                         : Options{"Report traffic in sight", "Report traffic not in sight", "Cancel IFR"}));
    Put(0, 10, 5000);
    RunAtcCycle(link, world);
    EXPECT_EQ(P().PilotRequest, corrected ? "Descending" : "");
    EXPECT_EQ(P().IfrPlanFiled, corrected ? 1 : 0);
  }
}

// A missed approach still south of the threshold: the design offers nothing, so its pilot cannot even
// cancel; the corrected mode offers the cancellation.
TEST_F(Approach, TheSouthMissedApproachOffersCancelIfrWhenCorrected) {
  for (const bool corrected : {false, true}) {
    world.Corrected.On = corrected;
    P().PilotRequest = "Missed Approach";
    Put(178, 5, 1500);
    RunAtcCycle(link, world);
    EXPECT_EQ(P().LastAtcMessage, "climb and maintain 2100 ft.");
    EXPECT_EQ(Menu(), corrected ? Options{"Cancel IFR"} : Options{});
  }
  Choose("Cancel IFR");
  EXPECT_EQ(P().IfrPlanFiled, 0);  // cancelled and released
}

}  // namespace
}  // namespace skyvox::atc
