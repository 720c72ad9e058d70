// Taxi instructions: the start and end nodes of a taxi over an airport's network, the greedy route
// search between them, and the taxiway list of the clearance, put together by BuildTaxiInstructions;
// the pieces are exposed as pure functions of the airport record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "atc/atc_context.h"
#include "geo/geometry.h"
#include "scenery/records.h"

namespace skyvox::atc {

// The taxi clearance to the target (a runway, or a gate or parking) for ground control: message, state
// and route fields of the pilot.
void BuildTaxiInstructions(AtcContext& context, const geo::TargetPoint& target);

// The search gives up after this many attempts. Each failed attempt forbids one more directed step,
// so connected networks need few: the sample KOLM network routes every start to every target on the
// first attempt, and grid networks of up to 2000 paths with a tenth of their links removed need at
// most 7 (a quarter removed: at most 225). One attempt costs time in proportion to the number of
// paths, so a network of the largest size (32767 paths) that runs into the bound is given up in
// about 0.2 s, once per taxi request.
inline constexpr int kMaxRouteAttempts = 500;

// The taxi point where an aircraft at (lat, lon) starts: the start point of the first parking path
// serving the first spot (in index order) whose radius holds the aircraft, otherwise the nearest end
// of a runway path (NearestRunwayPathEnd rule). -1 when there is none.
int32_t FindTaxiStartNode(const scenery::AirportRecord& airport, double lat, double lon);

// The taxi point where the target is reached: for kind "Gate or parking", the start point of the last
// parking path serving a spot of the target's name (compared upper-cased); for kind "Runway", the end
// nearest to the main runway's threshold of the runway paths named "Runway <main runway ident>" (any
// case); -1 for another kind or when nothing matches.
int32_t FindTaxiEndNode(const scenery::AirportRecord& airport, const geo::TargetPoint& target);

struct TaxiRouteSearch {
  bool Found = false;
  std::vector<scenery::TaxiPath> Steps;  // PathType, from-node, to-node, Name of each step when found
  int Attempts = 0;                      // attempts made, the successful one included
};

// Walks the airport's taxi network from startNode until a step lands on endNode, at each node taking
// the neighbour nearest to (targetLat, targetLon) over a path whose node pair the attempt has not yet
// used; after a runway step, the lowest path type first. When a walk gets stuck, its last step is
// forbidden and the walk starts again from startNode. Gives up (Found false) when an attempt gets
// stuck without a step, or after maxAttempts attempts. A parking path's spot number stands as a node
// number, and a node number without a taxi point counts as 32767 ft away. Time and memory are
// proportional to maxAttempts times the number of paths.
TaxiRouteSearch SearchTaxiRoute(const scenery::AirportRecord& airport, int32_t startNode, int32_t endNode,
                                double targetLat, double targetLon, int maxAttempts = kMaxRouteAttempts);

// The taxiways of a route as the clearance reads them: " " & name for each step whose upper-cased
// name is not " " or "" and does not repeat the end of the list, then a closing " ". Without
// parkingPaths, the steps over paths to a parking spot (named by the spot's number) are left out.
std::string TaxiwayList(const std::vector<scenery::TaxiPath>& steps, bool parkingPaths = true);

}  // namespace skyvox::atc
