// The radar's indexes against the plain search: random scenes run through RunAtcCycle both ways leave
// equal rosters and send the same lines, tick after tick, in both modes, and single terrain checks give
// the same heights or fail alike. The scenes sit on an index's edges: the 180th meridian, a pole, an
// antipode the law of cosines puts 0 nm away, positions that are not numbers or out of range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "atc/atc_cycle.h"
#include "radar/radar_control.h"
#include "radar/radar_index.h"
#include "session/chat_tap.h"

namespace skyvox::atc {
namespace {

using session::PlayerRecord;
using Points = std::vector<scenery::TerrainPoint>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Takes down every line the cycle sends, and refuses those for some addressees as a lost peer would.
struct Recorder : session::ForwardingDirectPlay {
  explicit Recorder(std::vector<std::string>& log) : ForwardingDirectPlay(nullptr), log(log) {}
  void Send(int32_t, int32_t to, int32_t, const session::DpMessage& message) override {
    std::string text;
    session::DecodeChatText(message, text);
    log.push_back(std::to_string(to) + ": " + text);
    if (to % 11 == 0) throw session::DirectPlayError("gone");
  }
  std::vector<std::string>& log;
};

struct Place {
  double Lat, Lon;
  static double Wrapped(double lon) { return lon > 180 ? lon - 360 : lon < -180 ? lon + 360 : lon; }
  Place Antipode() const { return {-Lat, Lon <= 0 ? Lon + 180 : Lon - 180}; }
  // The first point a little north of this one whose antipode DistanceNm puts 0 nm away.
  Place WithZeroAntipode() const {
    Place p = *this;
    while (geo::DistanceNm(p.Lat, p.Lon, p.Antipode().Lat, p.Antipode().Lon) != 0) p.Lat += 1e-4;
    return p;
  }
};
// Mid-latitudes, both sides of the 180th meridian, near the pole, the equator.
constexpr Place kPlaces[] = {{47, -122}, {-33.9, 179.93}, {-34, -179.95}, {88.6, 10}, {-0.0815, -179}};
constexpr int kAirports = 5;
constexpr auto Wrapped = Place::Wrapped;

struct Scene {
  // Variant 0: ordinary points and some merely out of range; 1: a count past the table's end; 2: no
  // terrain; 3 and on: also one of the points a distance test fails on, first in the table.
  Scene(unsigned seed, int variant, bool corrected) : Random(seed) {
    World.Corrected.On = corrected;
    World.ControlledAirports.clear();
    for (int a = 0; a < kAirports; ++a) {
      scenery::AirportRecord r = scenery::EmptyAirportWithSpareElements();
      r.Ident = r.Name = r.TowerName = r.ApproachName = "A" + std::to_string(a);
      r.Latitude = kPlaces[a].Lat, r.Longitude = kPlaces[a].Lon, r.ElevationFt = a * 150 - 100;
      r.TowerFreq = r.ApproachFreq = "119.2";
      const auto heading = static_cast<int16_t>(1 + Pick(360));
      r.MainRunway = {"36", r.Latitude - 0.01, r.Longitude, 0, 0, 0, heading, a % 2 ? "110.3" : ""};
      World.ControlledAirports.push_back(r);
    }
    // On the equator, a threshold whose antipode is 0 nm away, and a high point there.
    const Place threshold = Place{-0.09, kPlaces[4].Lon}.WithZeroAntipode();
    World.ControlledAirports[4].MainRunway.ThresholdLat = threshold.Lat;
    World.ControlledAirports.push_back(scenery::EmptyAirportWithSpareElements());
    World.ControlledAirportCount = kAirports;
    World.Airspaces = {{"WORLD", "ARTCC/FIR (HIGH)", "125.1", 89.9, -89.9, 179.99, -179.99, 0, 0},
                       {"DATELINE", "ARTCC/FIR (HIGH)", "127.7", 10, -60, -170, 170, 0, 0},
                       {}};
    World.AirspaceCount = 2;
    Points& t = (World.TerrainPoints = {});
    for (int i = 0; i < (variant == 2 ? 0 : 1500); ++i) {
      const Place& at = kPlaces[Pick(kAirports)];
      // Every 50th high and, past the 180th meridian, left unwrapped.
      const double lon = at.Lon + Uniform(-0.6, 0.6), lat = at.Lat + Uniform(-0.4, 0.4);
      t.push_back({lat, i % 50 ? Wrapped(lon) : lon, (i % 50 ? 0 : 9000) + Pick(9000) - 100});
    }
    if (variant != 2) {
      const Place far = threshold.Antipode();
      const Points odd = {{far.Lat, far.Lon, 20000}, {90, 0, 8800},    {-33.9, 180, 8900},
                          {-34, -180, 8950},         {95, 10, 9999},   {47, 200, 9999},
                          {1e301, 1, 9999},          {-kInf, 10, 9999}};
      for (const auto& p : odd) t.insert(t.begin() + Pick(static_cast<int>(t.size())), p);
      const Points failing = {{kNaN, -122, 9100}, {-34, 1e308, 9300}, {47, kInf, 9200}, {-34, kNaN, 9400}};
      if (variant >= 3) t.insert(t.begin(), failing[static_cast<size_t>(variant - 3)]);
    }
    World.TerrainPointCount = static_cast<int32_t>(t.size()) + (variant == 1 ? 5 : 0);
    t.push_back({});

    for (int i = 0; i < 70; ++i) Roster.push_back(RandomPilot(i % 9 ? "player" : "observer", i % 2));
    // Two aircraft 0 nm apart by the law of cosines, aircraft off the map, a duplicate, an aircraft three
    // turns round the earth from another; in variant 3 aircraft nowhere (scans fail on them: they come late).
    const Place p = Place{-52.6, -179}.WithZeroAntipode(), q = p.Antipode();
    Roster[3].Latitude = p.Lat, Roster[3].Longitude = p.Lon;
    Roster[4].Latitude = q.Lat, Roster[4].Longitude = q.Lon;
    Roster[7].Latitude = 95, Roster[8].Longitude = -190;
    Roster[9] = Roster[10], Roster[12] = Roster[11];
    Roster[12].Name = "TWICE", Roster[12].Longitude += 1080;
    if (variant == 3) Roster[60].Latitude = kNaN, Roster[65].Longitude = -kInf;
    Roster.push_back({});
  }

  // Four ticks, aircraft and table changing between them: the tables and roster left, every line sent.
  void Fly(TableScan search, scenery::WorldTables& world, session::SessionLink& link,
           std::vector<std::string>& log) {
    world = World;
    link.Dp = std::make_unique<Recorder>(log);
    link.PlayerRoster = Roster;
    link.PlayerCount = static_cast<int16_t>(Roster.size() - 1);
    for (int tick = 0; tick < 4; ++tick) {
      RunAtcCycle(link, world, search);
      for (PlayerRecord& r : link.PlayerRoster) {
        r.Latitude += 0.01;
        r.Longitude = Wrapped(r.Longitude - 0.02);
        r.Altitude -= 300;
        if (r.MenuOptionCount > 0 && r.PlayerId % 3 == 0) r.PendingChoice = 1;
      }
      for (scenery::TerrainPoint& point : world.TerrainPoints) point.Elevation += tick == 1 ? 3000 : 0;
      if (tick == 2) world.TerrainPointCount /= 2;
    }
  }

  double Uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(Random); }
  int Pick(int n) { return static_cast<int>(Random() % static_cast<unsigned>(n)); }

  // A crowd pilot is within a few miles of an airport, where traffic is reported.
  PlayerRecord RandomPilot(const char* kind, bool crowd) {
    using namespace states;
    static const char* const kStates[] = {kDescending,     kDescending, kEnroute, kFlightFollowingInProgress,
                                          kMissedApproach, ""};
    static const char* const kFacilities[] = {facilities::kApproach, facilities::kCenter,
                                              facilities::kDeparture};
    PlayerRecord p;
    p.Name = "N" + std::to_string(Pick(60));
    p.PlayerId = 100 + Pick(80);
    p.Kind = kind;
    p.AirportIndex = Pick(kAirports);
    const double spread = crowd ? 0.05 : 0.5;
    p.Latitude = kPlaces[p.AirportIndex].Lat + Uniform(-spread, spread);
    p.Longitude = Wrapped(kPlaces[p.AirportIndex].Lon + Uniform(-spread, spread));
    p.Altitude = 2000 + Pick(7000);
    p.Heading = static_cast<int16_t>(1 + Pick(360));
    p.GroundSpeed = static_cast<int16_t>(Pick(3) * 90);
    p.IfrPlanFiled = Pick(5) ? 1 : 0;
    p.DestinationAirport = Pick(kAirports + 2) - 1;
    p.FacilityType = kFacilities[Pick(3)];
    p.CenterIndex = Pick(2);
    p.TunedFrequency = "119.2";
    p.PilotRequest = kStates[Pick(6)];
    if (Pick(4) == 0) p.ReportedTraffic = "N1, ";
    return p;
  }

  std::mt19937 Random;
  scenery::WorldTables World;
  std::vector<PlayerRecord> Roster;
};

TEST(RadarIndex, TicksLeaveTheRostersAndSendTheLinesOfThePlainSearch) {
  int reports = 0, vectors = 0, antipodalAlerts = 0;
  for (int variant = 0; variant < 7; ++variant) {
    for (const bool corrected : {false, true}) {
      SCOPED_TRACE("variant " + std::to_string(variant) + (corrected ? " corrected" : ""));
      Scene scene(static_cast<unsigned>(variant), variant, corrected);
      scenery::WorldTables worlds[2];
      session::SessionLink plain, fast;
      std::vector<std::string> plainLog, fastLog;
      scene.Fly(TableScan::Straightforward, worlds[0], plain, plainLog);
      scene.Fly(TableScan::Indexed, worlds[1], fast, fastLog);
      EXPECT_EQ(fastLog, plainLog);
      for (size_t i = 0; i < plain.PlayerRoster.size(); ++i) {
        PlayerRecord a = fast.PlayerRoster.at(i), b = plain.PlayerRoster[i];
        if (std::isnan(a.Latitude) && std::isnan(b.Latitude)) a.Latitude = b.Latitude = 0;  // NaN == NaN
        EXPECT_TRUE(a == b) << "entry " << i;
      }
      for (const std::string& line : plainLog) {
        const auto has = [&](const char* words) { return line.find(words) != std::string::npos; };
        reports += has("traffic is, "), vectors += has("heading"), antipodalAlerts += has("ALERT!, 0 miles");
      }
    }
  }
  // The scenes reach what they are meant to.
  EXPECT_TRUE(reports > 50 && vectors > 50 && antipodalAlerts > 0)
      << reports << " " << vectors << " " << antipodalAlerts;
}

// The terrain check of one vector: the height, or nothing when it fails.
std::optional<int32_t> Highest(AtcContext& context) try {
  return HighestTerrainOnVector(context);
} catch (const Error&) {
  return std::nullopt;
}

// Each round is a tick of its own over the same tables, changed: the index kept with them must follow.
TEST(RadarIndex, TerrainChecksGiveThePlainHeights) {
  int antipodeFound = 0;
  for (int variant = 0; variant < 7; ++variant) {
    SCOPED_TRACE("variant " + std::to_string(variant));
    Scene scene(40 + static_cast<unsigned>(variant), variant, false);
    scenery::WorldTables world = scene.World;
    session::SessionLink link;
    PlayerRecord& p = link.PlayerRoster[0];
    CycleValues cycle;
    for (int round = 0; round < 3; ++round) {
      for (scenery::TerrainPoint& t : world.TerrainPoints) t.Elevation += round == 1 ? 5000 : 0;
      if (round == 2) world.TerrainPointCount /= 3;
      RadarIndex index(link, world);
      AtcContext plain{link, world, 0, cycle}, fast{link, world, 0, cycle, nullptr, &index};
      for (int k = 0; k < 1000; ++k) {
        p.DestinationAirport = scene.Pick(kAirports + 1);  // the last one is past the table
        const Place& at = kPlaces[p.DestinationAirport % kAirports];
        // Waypoints and aircraft from a few miles to far beyond what the grid answers, a few nowhere.
        const double reach = k % 100 == 0 ? 15 : k % 7 == 0 ? 2 : 0.6;
        p.VectorWaypoint.Latitude = at.Lat + scene.Uniform(-reach, reach);
        p.VectorWaypoint.Longitude = Wrapped(at.Lon + scene.Uniform(-reach, reach));
        p.Latitude = k % 97 == 0 ? kNaN : at.Lat + scene.Uniform(-2 * reach, 2 * reach);
        p.Longitude = at.Lon + scene.Uniform(-2 * reach, 2 * reach);
        const std::optional<int32_t> expected = Highest(plain);
        EXPECT_EQ(Highest(fast), expected) << "round " << round << ", query " << k;
        antipodeFound += expected == 20000;
      }
    }
  }
  EXPECT_GT(antipodeFound, 0);
}

}  // namespace
}  // namespace skyvox::atc
