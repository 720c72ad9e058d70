// Taxi instructions: start and end nodes, the route search with its retries and its bound, the taxiway
// list, and the clearance texts written into the pilot's record.
#include "atc/taxi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "atc/atc_context.h"
#include "authoring/bgl_writer.h"
#include "authoring/world_description.h"
#include "scenery/bgl_reader.h"
#include "support/temp_dir.h"

namespace skyvox::atc {
namespace {

using scenery::AirportRecord;
using scenery::ParkingRecord;
using scenery::TaxiPath;
using scenery::TaxiPoint;

// A grid of about 365 ft squares near 47 N 122 W; (x, y) counts squares east and north.
constexpr double kStep = 0.001;
double Lat(double y) {
  return 47.0 + y * kStep;
}
double Lon(double x) {
  return -122.0 + x * kStep / std::cos(47.0 * M_PI / 180.0);
}
TaxiPoint Pt(double x, double y) {
  return {1, Lat(y), Lon(x)};
}
ParkingRecord Spot(const std::string& name, double x, double y) {
  return {name, 100, Lat(y), Lon(x), 0};
}

// Main runway 16L with its threshold at (0, 0), tower on 118.3; each table ends with its spare element,
// which must never count as an item.
AirportRecord Airport(std::vector<TaxiPoint> points, std::vector<TaxiPath> paths,
                      std::vector<ParkingRecord> spots = {}) {
  AirportRecord a = scenery::EmptyAirportWithSpareElements();
  a.TowerFreq = "118.3";
  a.MainRunway = {"16L", Lat(0), Lon(0), 200, 9000, 150, 160, ""};
  a.TaxiPointCount = static_cast<int16_t>(points.size());
  a.TaxiPathCount = static_cast<int16_t>(paths.size());
  a.ParkingCount = static_cast<int16_t>(spots.size());
  points.emplace_back();
  paths.emplace_back();
  spots.emplace_back();
  a.TaxiPoints = points;
  a.TaxiPaths = paths;
  a.ParkingSpots = spots;
  return a;
}

TaxiRouteSearch Search(const AirportRecord& a, int32_t s, int32_t e, double x, double y,
                       int maxAttempts = kMaxRouteAttempts) {
  return SearchTaxiRoute(a, s, e, Lat(y), Lon(x), maxAttempts);
}

TEST(TaxiStartNode, ASpotHoldingTheAircraftGivesItsFirstParkingPathsStart) {
  // Spot 0 holds the aircraft but no path serves it, so spot 1 decides, by its first parking path.
  const AirportRecord a =
      Airport({Pt(0, 0), Pt(1, 0)}, {{1, 0, 1, "Runway 16L"}, {2, 7, 1, "1"}, {2, 8, 1, "1"}},
              {Spot("GATE 1", 0.1, 0), Spot("GATE 2", 0.1, 0), Spot("GATE 3", 0.1, 0)});
  EXPECT_EQ(FindTaxiStartNode(a, Lat(0), Lon(0.1)), 7);
  // Outside every radius (100 ft) the nearest runway-path end is taken.
  EXPECT_EQ(FindTaxiStartNode(a, Lat(0), Lon(0.9)), 1);
}

TEST(TaxiStartNode, NearestRunwayPathEndFirstFoundOnTiesAndNoneFromEquidistantEnds) {
  // From (0, 0): path 0 offers node 0 at 2 squares, path 1 node 2 at 2 squares (a tie, path 0 stays),
  // path 2's ends are both 1 square away and offer nothing; the taxiway is no runway path.
  const AirportRecord a =
      Airport({Pt(2, 0), Pt(4, 0), Pt(-2, 0), Pt(-5, 0), Pt(1, 0), Pt(-1, 0), Pt(0, 0.5)},
              {{1, 0, 1, "Runway 9"}, {1, 3, 2, "Runway 9"}, {1, 4, 5, "Runway 9"}, {0, 6, 6, "A"}});
  EXPECT_EQ(FindTaxiStartNode(a, Lat(0), Lon(0)), 0);
  EXPECT_EQ(FindTaxiStartNode(a, Lat(0), Lon(-4)), 3);
  EXPECT_EQ(FindTaxiStartNode(Airport({Pt(0, 0)}, {{0, 0, 0, "A"}}), Lat(0), Lon(0)), -1);
}

TEST(TaxiEndNode, GateByNameUpperCasedLastMatchWins) {
  // Spot 0 is served by paths to nodes 4 and 6, spot 2 (same name) by node 5: spots are visited first.
  const AirportRecord a = Airport({}, {{2, 4, 0, "0"}, {2, 5, 2, "2"}, {2, 6, 0, "0"}, {0, 9, 2, "X"}},
                                  {Spot("Gate A 1", 0, 0), Spot("GATE B 2", 0, 0), Spot("GATE A 1", 0, 0)});
  EXPECT_EQ(FindTaxiEndNode(a, {"gate a 1", "Gate or parking", 0, 0, 0}), 5);
  EXPECT_EQ(FindTaxiEndNode(a, {"GATE C 3", "Gate or parking", 0, 0, 0}), -1);
  EXPECT_EQ(FindTaxiEndNode(a, {"GATE B 2", "gate or parking", 0, 0, 0}), -1);  // kinds compare exactly
}

TEST(TaxiEndNode, MainRunwayPathEndNearestTheThreshold) {
  // Only paths of type 1 named "Runway 16L" in any case count; the threshold is at (0, 0).
  const AirportRecord a = Airport(
      {Pt(0, 0.2), Pt(0, 3), Pt(0, 1), Pt(0, 6), Pt(0, 0.1), Pt(0, 2)},
      {{1, 0, 5, "Runway 16"}, {0, 4, 5, "Runway 16L"}, {1, 1, 2, "RUNWAY 16l"}, {1, 3, 1, "runway 16L"}});
  EXPECT_EQ(FindTaxiEndNode(a, {"16L", "Runway", Lat(9), Lon(9), 0}), 2);
  EXPECT_EQ(FindTaxiEndNode(a, {"16L", "Tower", 0, 0, 0}), -1);
}

TEST(TaxiRouteSearch, AStuckAttemptForbidsItsLastStepAndTheBoundStopsTheRetries) {
  // Node 1 leads to dead ends 2 and 5, both nearer the target at (4, 0) than node 3, the way to E = 4.
  const AirportRecord a =
      Airport({Pt(0, 0), Pt(1, 0), Pt(3, 0), Pt(1, 1), Pt(4, 1), Pt(2, 0)},
              {{0, 0, 1, "A"}, {0, 1, 2, "B"}, {0, 1, 5, "B"}, {0, 1, 3, "C"}, {0, 3, 4, "C"}});
  const TaxiRouteSearch found = Search(a, 0, 4, 4, 0);
  EXPECT_TRUE(found.Found);
  EXPECT_EQ(found.Attempts, 3);
  EXPECT_EQ(found.Steps, (std::vector<TaxiPath>{{0, 0, 1, "A"}, {0, 1, 3, "C"}, {0, 3, 4, "C"}}));
  const TaxiRouteSearch bounded = Search(a, 0, 4, 4, 0, 2);
  EXPECT_FALSE(bounded.Found);
  EXPECT_EQ(bounded.Attempts, 2);
  EXPECT_TRUE(bounded.Steps.empty());
}

TEST(TaxiRouteSearch, UnconnectedEndGivesUpWhenAnAttemptTakesNoStep) {
  // A chain 0..10 away from the end node 21 of another piece: each attempt stops one step earlier,
  // the eleventh takes no step at all.
  std::vector<TaxiPoint> points;
  std::vector<TaxiPath> paths;
  for (int i = 0; i <= 21; ++i) points.push_back(Pt(i, 0));
  for (int i = 0; i < 10; ++i) paths.push_back({0, i, i + 1, "A"});
  paths.push_back({0, 20, 21, "Z"});
  const AirportRecord a = Airport(points, paths);
  EXPECT_EQ(Search(a, 0, 21, 21, 0).Attempts, 11);
  EXPECT_EQ(Search(a, 0, 21, 21, 0, 4).Attempts, 4);
  EXPECT_FALSE(Search(a, 0, 21, 21, 0).Found);
  EXPECT_EQ(Search(a, 15, 21, 21, 0).Attempts, 1);  // a start no path touches
  EXPECT_EQ(Search(a, 0, 21, 21, 0, 0).Attempts, 0);
}

TEST(TaxiRouteSearch, ANodePairIsUsedOnceWhicheverPathOrDirection) {
  // From 1 the target at (0.5, -1) is nearer node 0, but both paths between 0 and 1 are spent.
  const AirportRecord a = Airport({Pt(0, 0), Pt(1, 0), Pt(-2, 0), Pt(1, 3)},
                                  {{0, 0, 1, "A"}, {0, 1, 0, "B"}, {0, 0, 2, "C"}, {0, 1, 3, "D"}});
  EXPECT_EQ(Search(a, 0, 3, 0.5, -1).Steps, (std::vector<TaxiPath>{{0, 0, 1, "A"}, {0, 1, 3, "D"}}));
  // Start and end the same: the walk has to go round and come back.
  const AirportRecord loop =
      Airport({Pt(0, 0), Pt(1, 0), Pt(1, 1)}, {{0, 0, 1, "A"}, {0, 1, 2, "B"}, {0, 2, 0, "C"}});
  EXPECT_EQ(Search(loop, 0, 0, 0, 0).Steps.size(), 3u);
}

TEST(TaxiRouteSearch, LeavingARunwayTaxiwayBeatsRunwayBeatsParkingPath) {
  // After the runway step from 0 to 1: parking path to 2 (nearest), runway to 3, taxiway to 4 (farthest).
  std::vector<TaxiPath> paths = {
      {1, 0, 1, "Runway 9"}, {2, 1, 2, "7"}, {1, 1, 3, "Runway 9"}, {0, 1, 4, "K"}};
  const std::vector<TaxiPoint> points = {Pt(0, 0), Pt(1, 0), Pt(5, 0), Pt(4, 0), Pt(1, 3)};
  const TaxiRouteSearch taxiway = Search(Airport(points, paths), 0, 4, 5, 0);
  EXPECT_EQ(taxiway.Steps, (std::vector<TaxiPath>{{1, 0, 1, "Runway 9"}, {0, 1, 4, "K"}}));
  EXPECT_EQ(taxiway.Attempts, 1);  // no detour over the nearer dead ends first
  paths.pop_back();
  EXPECT_EQ(Search(Airport(points, paths), 0, 3, 5, 0).Steps.back(), (TaxiPath{1, 1, 3, "Runway 9"}));
  // Off a taxiway the nearest wins: the parking path, whose spot number 2 stands as node 2.
  paths[0].PathType = 0;
  EXPECT_EQ(Search(Airport(points, paths), 0, 2, 5, 0).Steps.back(), (TaxiPath{2, 1, 2, "7"}));
}

TEST(TaxiRouteSearch, BeyondTheDistanceCapPathOrderDecides) {
  // Node 1 is a dead end; node 2 (the end) lies nearer the target, but past 32767 ft both are "far".
  const AirportRecord a = Airport({Pt(0, 0), Pt(-1, 0), Pt(1, 0)}, {{0, 0, 1, "A"}, {0, 0, 2, "B"}});
  EXPECT_EQ(Search(a, 0, 2, 2, 0).Attempts, 1);
  EXPECT_EQ(Search(a, 0, 2, 200, 0).Attempts, 2);
}

// The search as its rules read, one path direction at a time, to hold the indexed search against.
TaxiRouteSearch StepByStep(const AirportRecord& a, int32_t s, int32_t e, double lat, double lon,
                           int maxAttempts) {
  auto feet = [&](int32_t n) {
    if (n < 0 || n >= static_cast<int32_t>(a.TaxiPoints.size())) return 32767;
    return static_cast<int>(geo::DistanceFt(a.TaxiPoints[n].Latitude, a.TaxiPoints[n].Longitude, lat, lon));
  };
  TaxiRouteSearch r;
  std::vector<TaxiPath> lastSteps;  // of the failed attempts
  for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
    r.Attempts = attempt;
    std::vector<TaxiPath> route;
    for (;;) {
      const int32_t c = route.empty() ? s : route.back().EndPoint;
      const bool afterRunway = !route.empty() && route.back().PathType == 1;
      bool have = false;
      TaxiPath best;
      for (int i = 0; i < a.TaxiPathCount; ++i) {
        const TaxiPath& p = a.TaxiPaths[i];
        for (const auto& [from, to] :
             {std::pair{p.StartPoint, p.EndPoint}, std::pair{p.EndPoint, p.StartPoint}}) {
          if (from != c) continue;
          bool dropped = false;
          for (const TaxiPath& q : route)
            dropped |= (q.StartPoint == c && q.EndPoint == to) || (q.StartPoint == to && q.EndPoint == c);
          for (const TaxiPath& q : lastSteps) dropped |= q.StartPoint == c && q.EndPoint == to;
          if (dropped) continue;
          const bool lower = p.PathType < best.PathType;
          const bool nearer = feet(to) < feet(best.EndPoint);
          if (!have || (afterRunway ? lower || (p.PathType == best.PathType && nearer) : nearer)) {
            best = {p.PathType, c, to, p.Name};
            have = true;
          }
        }
      }
      if (!have) break;
      route.push_back(best);
      if (best.EndPoint == e) return {true, route, attempt};
    }
    if (route.empty()) break;
    lastSteps.push_back(route.back());
  }
  return r;
}

TEST(TaxiRouteSearch, AgreesWithTheRulesReadOneCandidateAtATime) {
  // Small random networks with loops, parallel paths, all three path types, nodes without a taxi point,
  // and points on a coarse grid so that distances tie.
  std::mt19937 rng(2024);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  int found = 0, retried = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<TaxiPoint> points;
    for (int i = 0, n = 3 + pick(6); i < n; ++i) points.push_back(Pt(pick(4), pick(4)));
    std::vector<TaxiPath> paths;
    for (int i = 0, n = 1 + pick(14); i < n; ++i)
      paths.push_back({pick(3), pick(10), pick(10), std::string(1, static_cast<char>('A' + pick(3)))});
    const AirportRecord a = Airport(points, paths);
    const int s = pick(10), e = pick(10), attempts = 1 + pick(12);
    const double lat = Lat(pick(5)), lon = Lon(pick(5));
    const TaxiRouteSearch want = StepByStep(a, s, e, lat, lon, attempts);
    const TaxiRouteSearch got = SearchTaxiRoute(a, s, e, lat, lon, attempts);
    ASSERT_EQ(got.Found, want.Found) << "round " << round;
    ASSERT_EQ(got.Attempts, want.Attempts) << "round " << round;
    ASSERT_EQ(got.Steps, want.Steps) << "round " << round;
    found += want.Found;
    retried += want.Found && want.Attempts > 1;
  }
  EXPECT_GT(found, 1000);  // the comparison covers found routes, and routes found on a retry
  EXPECT_GT(retried, 100);
}

TEST(TaxiwayList, EachNameOnceUntilAnotherComesBetweenBlankNamesSkipped) {
  auto list = [](std::vector<std::string> names) {
    std::vector<TaxiPath> steps;
    for (const auto& n : names) steps.push_back({0, 0, 0, n});
    return TaxiwayList(steps);
  };
  EXPECT_EQ(list({"a", "a", "b"}), " A B ");
  EXPECT_EQ(list({"A", "b", "a", " ", "", "A"}), " A B A ");
  EXPECT_EQ(list({}), " ");
}

// One pilot on the roster, tuned to the airport at index 0.
struct Station {
  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;
  AtcContext context{link, world, 0, cycle};
  Station(const AirportRecord& airport, double lat, double lon) {
    world.ControlledAirports = {airport, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    link.PlayerRoster = {session::PlayerRecord{}, session::PlayerRecord{}};
    link.PlayerCount = 1;
    Pilot().AirportIndex = 0;
    Pilot().Latitude = lat;
    Pilot().Longitude = lon;
    Pilot().TaxiRoute = {{0, 5, 6, "OLD"}, {}};
  }
  session::PlayerRecord& Pilot() { return link.PlayerRoster[0]; }
};

// Runway 16L runs from node 0 at the threshold to node 2; gate 1 (spot 1) at (0, 3) is served from
// node 1, so its parking path is a loop at node 1, as spot numbers stand as node numbers.
const AirportRecord kSmall =
    Airport({Pt(0, 0), Pt(1, 3), Pt(0, -4), Pt(1, 1), Pt(5, 5)},
            {{1, 0, 2, "Runway 16L"}, {0, 0, 3, "a"}, {0, 3, 1, "b"}, {2, 1, 1, " "}},
            {Spot("PARKING 9", 9, 9), Spot("GATE 1", 0, 3)});

TEST(BuildTaxiInstructions, RouteClearancesNameTheTaxiways) {
  Station gate(kSmall, Lat(-3.8), Lon(0));  // next to node 2, so the walk starts at 2
  const geo::TargetPoint target{"gate 1", "Gate or parking", Lat(3), Lon(0), 0};
  BuildTaxiInstructions(gate.context, target);
  EXPECT_EQ(gate.Pilot().LastAtcMessage,
            "taxi to GATE 1 using taxiway RUNWAY 16L A B . If you are not familiar with the airport then "
            "taxi using any taxiway. If you don't know where is the GATE or PARKING then taxi anywhere but "
            "out of the runway/s.");
  EXPECT_EQ(gate.Pilot().TaxiRoute,
            (std::vector<TaxiPath>{{1, 2, 0, "Runway 16L"}, {0, 0, 3, "a"}, {0, 3, 1, "b"}, {}}));
  EXPECT_EQ(gate.Pilot().TaxiTarget, target);
  EXPECT_EQ(gate.Pilot().PilotRequest, "Acknowledge Taxi Clearance");

  Station runway(kSmall, Lat(3), Lon(0));  // within gate 1's radius: starts at node 1
  BuildTaxiInstructions(runway.context, {"16L", "Runway", Lat(0), Lon(0), 200});
  EXPECT_EQ(runway.Pilot().LastAtcMessage,
            "taxi to and hold short on runway 16L using taxiway B A . Contact tower on 118.3 when ready. If "
            "you are not familiar with the airport then taxi using any taxiway.");
}

TEST(BuildTaxiInstructions, WithoutARouteTheShortClearanceAndTheOldRouteStays) {
  AirportRecord cut = kSmall;
  cut.TaxiPaths[2].StartPoint = 4;  // gate 1's node 1 is cut off
  Station gate(cut, Lat(-3.8), Lon(0));
  BuildTaxiInstructions(gate.context, {"Gate 1", "Gate or parking", Lat(3), Lon(0), 0});
  EXPECT_EQ(gate.Pilot().LastAtcMessage,
            "taxi to GATE 1. If you don't know where is the GATE or PARKING then taxi anywhere but out of "
            "the runway/s.");
  EXPECT_EQ(gate.Pilot().TaxiRoute, (std::vector<TaxiPath>{{0, 5, 6, "OLD"}, {}}));
  EXPECT_EQ(gate.Pilot().TaxiTarget.Name, "Gate 1");
  EXPECT_EQ(gate.Pilot().PilotRequest, "Acknowledge Taxi Clearance");

  AirportRecord noRunway = kSmall;
  noRunway.TaxiPaths[0].Name = "Runway 34R";  // no end node for the main runway
  Station runway(noRunway, Lat(3), Lon(0));
  BuildTaxiInstructions(runway.context, {"16L", "Runway", Lat(0), Lon(0), 200});
  EXPECT_EQ(runway.Pilot().LastAtcMessage,
            "taxi to and hold short on runway 16L. Contact tower on 118.3 when ready.");

  Station other(kSmall, Lat(3), Lon(0));
  const session::PlayerRecord before = other.Pilot();
  BuildTaxiInstructions(other.context, {"16L", "Tower", Lat(0), Lon(0), 0});
  EXPECT_EQ(other.Pilot(), before);
}

// From gate 2 the route leaves over the gate's parking path, named by the spot's number as scenery names
// it: the design lists "2" as a taxiway, the corrected mode does not.
TEST(BuildTaxiInstructions, ASpotNumberIsNoTaxiwayWhenCorrected) {
  const AirportRecord a = Airport({Pt(0, 0), Pt(0, -4), Pt(1, 1), Pt(1, 3)},
                                  {{1, 0, 1, "Runway 16L"}, {0, 2, 0, "a"}, {2, 3, 2, "2"}},
                                  {Spot("GATE 0", 9, 9), Spot("GATE 1", 9, 9), Spot("GATE 2", 1, 3)});
  for (const bool corrected : {false, true}) {
    Station s(a, Lat(3), Lon(1));
    s.world.Corrected.On = corrected;
    BuildTaxiInstructions(s.context, {"16L", "Runway", Lat(0), Lon(0), 200});
    const std::string& message = s.Pilot().LastAtcMessage;
    EXPECT_EQ(message.substr(0, message.find(". Contact")),
              corrected ? "taxi to and hold short on runway 16L using taxiway A "
                        : "taxi to and hold short on runway 16L using taxiway 2 A ");
  }
}

TEST(BuildTaxiInstructions, SampleOlympiaNetworkReadFromItsScenery) {
  // KOLM of the sample world, written to a BGL file and extracted the way the database build does.
  const authoring::WorldDescription world =
      authoring::ReadWorldDescription(skyvox::testing::SourceRoot() / "data/sample_world.txt");
  std::vector<AirportRecord> read;
  for (const auto& area : world.Areas) {
    for (const auto& file : area.Files) {
      for (const auto& airport : file.Airports) {
        if (airport.Ident != "KOLM") continue;
        const auto bytes = authoring::BuildBglFile(std::vector{airport}, {});
        scenery::ScanBglFile(
            bytes, geo::MagVarGrid{},
            {[&](AirportRecord& a) { read.push_back(a); }, [](const scenery::AirspaceRecord&) {}});
      }
    }
  }
  ASSERT_EQ(read.size(), 1u);
  const AirportRecord& kolm = read[0];
  const ParkingRecord& gate2 = kolm.ParkingSpots[1];
  Station toRunway(kolm, gate2.Latitude, gate2.Longitude);
  BuildTaxiInstructions(toRunway.context,
                        {"17", "Runway", kolm.MainRunway.ThresholdLat, kolm.MainRunway.ThresholdLon, 207});
  EXPECT_EQ(toRunway.Pilot().LastAtcMessage,
            "taxi to and hold short on runway 17 using taxiway B A A1 . Contact tower on 124.4 when ready. "
            "If you are not familiar with the airport then taxi using any taxiway.");
  EXPECT_EQ(toRunway.Pilot().TaxiRoute.size(), 9u);  // 1-0-15-14-13-12-11-18-5, and the spare

  // Landed on 17 and rolled out to the runway 35 threshold (taxi point 8): back over the runway first.
  const TaxiPoint& end35 = kolm.TaxiPoints[8];
  Station toGate(kolm, end35.Latitude, end35.Longitude);
  const ParkingRecord& gate1 = kolm.ParkingSpots[0];
  BuildTaxiInstructions(toGate.context, {gate1.Name, "Gate or parking", gate1.Latitude, gate1.Longitude, 0});
  EXPECT_EQ(toGate.Pilot().LastAtcMessage,
            "taxi to GATE 1 using taxiway RUNWAY 17 A2 A B . If you are not familiar with the airport then "
            "taxi using any taxiway. If you don't know where is the GATE or PARKING then taxi anywhere but "
            "out of the runway/s.");
}

}  // namespace
}  // namespace skyvox::atc
