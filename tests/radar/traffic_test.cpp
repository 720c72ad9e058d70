// Traffic advisories on a hand-made roster: the served pilot flies at 45N 10E, 5000 ft, heading 360,
// with no magnetic variation unless a test sets some. Other aircraft are placed by latitude offsets
// (1 nm = 1/60 degree along a meridian) or by true course and whole miles from the pilot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atc/airport_fixture.h"
#include "atc/atc_context.h"
#include "geo/geometry.h"
#include "radar/traffic.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

using session::PlayerRecord;
using Options = std::vector<std::string>;

constexpr double kLat = 45.0;
constexpr double kLon = 10.0;

class Traffic : public ::testing::Test {
 protected:
  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;

  void SetUp() override {
    PlayerRecord& pilot = Add("N123", kLat, kLon, 5000);
    pilot.Heading = 360;
    pilot.FacilityType = "Approach";
    pilot.LastAtcMessage = "radar contact";
    pilot.PilotRequest = "Flight Following in Progress";
    AddOption(pilot, "Cancel Flight Following");
    AddOption(pilot, "Select a controlled airport");
  }

  PlayerRecord& Add(const std::string& name, double lat, double lon, int32_t altitude,
                    const std::string& kind = "player") {
    PlayerRecord r;
    r.Name = name;
    r.PlayerId = 100 + link.PlayerCount;
    r.Kind = kind;
    r.AircraftKind = "Jet Plane";
    r.Latitude = lat;
    r.Longitude = lon;
    r.Altitude = altitude;
    link.PlayerRoster.insert(link.PlayerRoster.end() - 1, r);
    link.PlayerCount += 1;
    return link.PlayerRoster[static_cast<size_t>(link.PlayerCount - 1)];
  }
  PlayerRecord& North(const std::string& name, double nm, int32_t altitude) {
    return Add(name, kLat + nm / 60.0, kLon, altitude);
  }
  PlayerRecord& OnCourse(const std::string& name, int16_t course, int16_t nm, int32_t altitude) {
    const geo::TargetPoint p = geo::DestinationPointNm(kLat, kLon, course, nm);
    return Add(name, p.Latitude, p.Longitude, altitude);
  }

  PlayerRecord& Pilot() { return link.PlayerRoster[0]; }
  void Scan(int pilotIndex = 0) {
    AtcContext context{link, world, pilotIndex, cycle};
    ScanTraffic(context);
  }
  Options Menu() {
    const PlayerRecord& p = Pilot();
    return {p.MenuOptions.begin(), p.MenuOptions.begin() + p.MenuOptionCount};
  }
  // The pilot's dialogue untouched by the scan.
  void ExpectNoReport() {
    ExpectAnswer(Pilot(), "radar contact", "Flight Following in Progress");
    EXPECT_EQ(Pilot().ReportedTraffic, "");
    EXPECT_EQ(Menu(), (Options{"Cancel Flight Following", "Select a controlled airport"}));
  }
};

TEST_F(Traffic, ReportTakesOverMessageMenuAndState) {
  Pilot().PendingChoice = 2;
  North("BOB", 3, 5200);
  Scan();
  ExpectAnswer(Pilot(),
               "traffic is, 3 miles, twelve o'clock, 5200 ft, type Jet Plane. Avoid traffic and report them.",
               "Reporting Traffic and Flight Following in Progress");
  EXPECT_EQ(Pilot().ReportedTraffic, "BOB, ");
  // Without an IFR plan only the two traffic answers; the element after the last option stays spare.
  EXPECT_EQ(Menu(), (Options{"Report traffic in sight", "Report traffic not in sight"}));
  EXPECT_EQ(Pilot().MenuOptions.size(), 3u);
  // The digit was typed for the menu the report replaced: it must not answer the report.
  EXPECT_EQ(Pilot().PendingChoice, 0);
}

// Exactly 3000 ft above or below is outside the band; altitudes that travel in whole metres cannot be
// exactly 3000 ft apart, so this boundary is checked here.
TEST_F(Traffic, ExactlyThreeThousandFeetApartIsNotReported) {
  const struct {
    const char* name;
    double nm;
    int32_t altitude;
    const char* said;
  } cases[] = {
      {"HIGH", 3, 8000, nullptr},  // 3000 above
      {"LOW", 3, 2000, nullptr},   // 3000 below
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    link = session::SessionLink{};
    SetUp();
    North(c.name, c.nm, c.altitude);
    Scan();
    if (!c.said) {
      ExpectNoReport();
      continue;
    }
    EXPECT_EQ(Pilot().ReportedTraffic, std::string(c.name) + ", ");
    EXPECT_EQ(Pilot().LastAtcMessage, std::string(c.said) + " miles, twelve o'clock, " +
                                          std::to_string(c.altitude) +
                                          " ft, type Jet Plane. Avoid traffic and report them.");
  }
}

TEST_F(Traffic, NameContainedInReportedNameCountsAsReported) {
  Pilot().ReportedTraffic = "Abc, ";
  North("aB", 3, 5000);    // occurs in "abc, " once both are lower-cased
  North("ABC,", 3, 5000);  // so does this, comma included
  Scan();
  EXPECT_EQ(Pilot().LastAtcMessage, "radar contact");
  EXPECT_EQ(Pilot().ReportedTraffic, "Abc, ");
  North("Ab2", 3, 5000);
  Scan();
  EXPECT_EQ(Pilot().ReportedTraffic, "Abc, Ab2, ");
}

TEST_F(Traffic, OwnHeadingIsNormalisedAndKeptOnlyWhenReporting) {
  Pilot().Heading = -20;
  North("FAR", 10, 5000);
  Scan();
  EXPECT_EQ(Pilot().Heading, -20);
  OnCourse("X", 330, 3, 5000);  // 10 degrees left of 340
  Scan();
  EXPECT_EQ(Pilot().Heading, 340);
  EXPECT_NE(Pilot().LastAtcMessage.find(", twelve o'clock, "), std::string::npos);
}

TEST_F(Traffic, BearingIsMagnetic) {
  // 20 degrees east at the pilot's grid cell: true 45 is magnetic 25, inside twelve o'clock.
  world.MagVarGrid.Set(geo::MagVarGrid::Index(10, 45), 3641);
  OnCourse("X", 45, 3, 5000);
  Scan();
  EXPECT_NE(Pilot().LastAtcMessage.find(", twelve o'clock, "), std::string::npos);
}

TEST_F(Traffic, WhoIsScanned) {
  Add("OBS", 0, 0, 0, "observer");  // an observer sends no positions: it stays at 0N 0E, 0 ft
  Add("ZED", kLat, kLon, 5000);
  link.PlayerCount = 2;  // ZED now sits past the last entry
  Scan();
  ExpectNoReport();

  // Served as the third entry, the pilot is found by name and id; the first entry is traffic to it,
  // right on top of it.
  link.PlayerCount = 3;
  Scan(2);
  const PlayerRecord& zed = link.PlayerRoster[2];
  EXPECT_EQ(zed.ReportedTraffic, "N123, ");
  EXPECT_EQ(
      zed.LastAtcMessage,
      "TRAFFIC ALERT!, 0 miles, twelve o'clock, 5000 ft, type Jet Plane. Avoid traffic and report them.");
  EXPECT_EQ(Pilot().ReportedTraffic, "");
}

TEST_F(Traffic, DuplicateEntriesLastOneIsOwn) {
  // Two entries with the pilot's name and id: the last is taken as its own, so the served first one is
  // scanned like a stranger, and the pilot is told of itself.
  North("N123", 10, 5000).PlayerId = Pilot().PlayerId;
  Scan(0);
  EXPECT_EQ(Pilot().ReportedTraffic, "N123, ");
  EXPECT_EQ(Pilot().LastAtcMessage.rfind("TRAFFIC ALERT!, 0 miles, ", 0), 0u);
}

TEST_F(Traffic, ObserverEntryIsScannedLikeAnyOther) {
  // The scan goes by name and position, not by kind: an observer entry that carries a position near
  // the pilot is called out.
  North("OBS", 3, 5000).Kind = "observer";
  Scan();
  EXPECT_EQ(Pilot().ReportedTraffic, "OBS, ");
}

TEST(TrafficPrefix, FoundInAnyCaseRemovedExactly) {
  EXPECT_TRUE(HasTrafficPrefix("Out of Airspace - REPORTING TRAFFIC AND Descending"));
  EXPECT_FALSE(HasTrafficPrefix("Reporting Traffic Descending"));
  std::string s = "Reporting Traffic and Reporting Traffic and Descending";
  RemoveTrafficPrefix(s);
  EXPECT_EQ(s, "Descending");
  // A removal that joins two halves into a new prefix leaves it there.
  s = "Reporting Reporting Traffic and Traffic and X";
  RemoveTrafficPrefix(s);
  EXPECT_EQ(s, "Reporting Traffic and X");
}

}  // namespace
}  // namespace skyvox::atc
