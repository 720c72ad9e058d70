// The hand-made airport of the radar tests, at the equator: runway 36 (magnetic 360) with an ILS on
// 110.3, its threshold 1 nm south of the reference point (0, 0), field elevation 100 ft, no magnetic
// variation; and the one IFR pilot of the roster, N1 at 180 kt (3 nm a minute).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "atc/airport_fixture.h"
#include "atc/atc_context.h"
#include "atc/atc_cycle.h"
#include "geo/geometry.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

using Options = std::vector<std::string>;

inline constexpr double kThrLat = -1.0 / 60;

inline scenery::AirportRecord TestAirport() {
  scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
  a.Ident = "KTST";
  a.ElevationFt = 100;
  a.TowerName = "Test";
  a.TowerFreq = "118.3";
  a.MainRunway = {"36", kThrLat, 0, 100, 6080, 150, 360, "110.3"};
  return a;
}

class RadarTest : public ::testing::Test {
 protected:
  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;

  // N1 with an IFR plan at 9000 ft, tuned as the test says, the only entry of the roster.
  void AddPilot(const std::string& facility, const std::string& frequency, int departure, int destination) {
    session::PlayerRecord r;
    r.Name = "N1";
    r.PlayerId = 7;
    r.Kind = "player";
    r.GroundSpeed = 180;
    r.TunedFrequency = frequency;
    r.FacilityType = facility;
    r.IfrPlanFiled = 1;
    r.DepartureAirport = departure;
    r.DestinationAirport = destination;
    r.CruiseAltitude = 9000;
    link.PlayerRoster.insert(link.PlayerRoster.begin(), r);
    link.PlayerCount = 1;
  }

  session::PlayerRecord& P() { return link.PlayerRoster[0]; }
  Options Menu() { return {P().MenuOptions.begin(), P().MenuOptions.begin() + P().MenuOptionCount}; }

  // The facility under test, run once for the pilot; and whether the pilot is still its own.
  virtual void Run() = 0;
  virtual bool StillServed() = 0;

  // As the cycle's pass: a consumed choice runs the facility once more in the same tick.
  void Step() {
    const bool chose = P().PendingChoice > 0;
    Run();
    if (PassConsumedChoice(chose, P()) && StillServed()) Run();
  }

  void Choose(const std::string& text) {
    const Options menu = Menu();
    const auto it = std::find(menu.begin(), menu.end(), text);
    ASSERT_NE(it, menu.end()) << "not offered: " << text;
    P().PendingChoice = static_cast<uint8_t>(it - menu.begin() + 1);
    Step();
  }

  // The pilot placed by true course and distance from the threshold.
  void Put(int16_t course, int16_t nm, int32_t altitude, int16_t heading = 360) {
    const geo::TargetPoint p = geo::DestinationPointNm(kThrLat, 0, course, nm);
    P().Latitude = p.Latitude;
    P().Longitude = p.Longitude;
    P().Altitude = altitude;
    P().Heading = heading;
  }
};

}  // namespace skyvox::atc
