#include "atc/taxi.h"

#include <algorithm>
#include <cstddef>

#include "atc/atc_context.h"
#include "base/corrected_mode.h"
#include "base/text.h"

namespace skyvox::atc {
namespace {

using scenery::AirportRecord;
using scenery::TaxiPath;

constexpr int32_t kParkingPathType = 2;
constexpr int32_t kRunwayPathType = 1;
constexpr int kFarFt = 32767;  // where DistanceFt saturates

// The items of a table: its count, but never more than the elements it holds.
size_t Items(int32_t count, size_t size) {
  return count <= 0 ? 0 : std::min(static_cast<size_t>(count), size);
}

size_t PathItems(const AirportRecord& a) {
  return Items(a.TaxiPathCount, a.TaxiPaths.size());
}

// From taxi point `node` to (lat, lon). A node number that names no taxi point (a hostile path, or a
// parking spot number standing as a node) is out of reach, like any point beyond 32767 ft.
int NodeDistanceFt(const AirportRecord& a, int32_t node, double lat, double lon) {
  if (node < 0 || static_cast<size_t>(node) >= a.TaxiPoints.size()) return kFarFt;
  const scenery::TaxiPoint& p = a.TaxiPoints[static_cast<size_t>(node)];
  return geo::DistanceFt(p.Latitude, p.Longitude, lat, lon);
}

// Among the runway paths that `accept` takes, in index order: a path offers its end nearer to
// (lat, lon), none when both ends are equally far; an offer replaces the best only when strictly
// nearer, so the first path wins ties.
template <class Accept>
int32_t NearestRunwayPathEnd(const AirportRecord& a, double lat, double lon, Accept accept) {
  bool have = false;
  int32_t best = -1;
  int bestFt = 0;
  for (size_t i = 0; i < PathItems(a); ++i) {
    const TaxiPath& path = a.TaxiPaths[i];
    if (path.PathType != kRunwayPathType || !accept(path)) continue;
    const int startFt = NodeDistanceFt(a, path.StartPoint, lat, lon);
    const int endFt = NodeDistanceFt(a, path.EndPoint, lat, lon);
    if (startFt == endFt) continue;
    const int offeredFt = std::min(startFt, endFt);
    if (!have || offeredFt < bestFt) {
      have = true;
      best = startFt < endFt ? path.StartPoint : path.EndPoint;
      bestFt = offeredFt;
    }
  }
  return best;
}

// The network prepared for the search: node numbers as the paths give them, numbered densely; for each
// node its candidate moves (one per path direction leaving it) in two selection orders.
class Network {
 public:
  Network(const AirportRecord& a, double targetLat, double targetLon) : airport_(a) {
    const size_t pathCount = PathItems(a);
    for (size_t i = 0; i < pathCount; ++i) {
      nodes_.push_back(a.TaxiPaths[i].StartPoint);
      nodes_.push_back(a.TaxiPaths[i].EndPoint);
    }
    std::sort(nodes_.begin(), nodes_.end());
    nodes_.erase(std::unique(nodes_.begin(), nodes_.end()), nodes_.end());

    // Unordered node pairs: a route may use each pair once, whichever path and direction it took.
    std::vector<uint64_t> pairKeys;
    for (size_t i = 0; i < pathCount; ++i) pairKeys.push_back(PairKey(i));
    std::vector<uint64_t> sortedKeys = pairKeys;
    std::sort(sortedKeys.begin(), sortedKeys.end());
    sortedKeys.erase(std::unique(sortedKeys.begin(), sortedKeys.end()), sortedKeys.end());
    pairCount_ = sortedKeys.size();

    // Moves in candidate order: each path forward, then reverse.
    offsets_.assign(nodes_.size() + 1, 0);
    for (size_t i = 0; i < pathCount; ++i) {
      const uint32_t pair = static_cast<uint32_t>(
          std::lower_bound(sortedKeys.begin(), sortedKeys.end(), pairKeys[i]) - sortedKeys.begin());
      const uint32_t start = Id(a.TaxiPaths[i].StartPoint);
      const uint32_t end = Id(a.TaxiPaths[i].EndPoint);
      moves_.push_back({start, end, pair, static_cast<uint32_t>(i)});
      moves_.push_back({end, start, pair, static_cast<uint32_t>(i)});
      ++offsets_[start + 1];
      ++offsets_[end + 1];
    }
    for (size_t n = 0; n < nodes_.size(); ++n) offsets_[n + 1] += offsets_[n];

    distanceFt_.resize(nodes_.size());
    for (size_t n = 0; n < nodes_.size(); ++n)
      distanceFt_[n] = NodeDistanceFt(a, nodes_[n], targetLat, targetLon);

    // Within a node's segment the moves keep candidate order, then are stably sorted by the selection
    // key, so the first move not dropped is the one the candidate-by-candidate selection would keep.
    byDistance_.resize(moves_.size());
    std::vector<uint32_t> fill(offsets_.begin(), offsets_.end() - 1);
    for (uint32_t m = 0; m < moves_.size(); ++m) byDistance_[fill[moves_[m].From]++] = m;
    byType_ = byDistance_;
    for (size_t n = 0; n < nodes_.size(); ++n) {
      auto first = static_cast<std::ptrdiff_t>(offsets_[n]);
      auto last = static_cast<std::ptrdiff_t>(offsets_[n + 1]);
      std::stable_sort(byDistance_.begin() + first, byDistance_.begin() + last,
                       [&](uint32_t x, uint32_t y) { return ToFt(x) < ToFt(y); });
      std::stable_sort(byType_.begin() + first, byType_.begin() + last, [&](uint32_t x, uint32_t y) {
        const int32_t tx = PathOf(x).PathType;
        const int32_t ty = PathOf(y).PathType;
        return tx != ty ? tx < ty : ToFt(x) < ToFt(y);
      });
    }
  }

  TaxiRouteSearch Search(int32_t startNode, int32_t endNode, int maxAttempts) const {
    TaxiRouteSearch result;
    if (maxAttempts <= 0) return result;
    auto known = std::lower_bound(nodes_.begin(), nodes_.end(), startNode);
    if (known == nodes_.end() || *known != startNode) {
      result.Attempts = 1;  // the first attempt finds no move at all
      return result;
    }
    const uint32_t start = Id(startNode);
    // Per attempt stamps instead of clearing: a pair is used, or a node's read positions are valid,
    // when its stamp is the current attempt's number.
    std::vector<uint32_t> pairUsed(pairCount_, 0);
    std::vector<uint8_t> forbidden(2 * pairCount_, 0);  // last steps of failed attempts, by direction
    std::vector<uint32_t> nodeStamp(nodes_.size(), 0);
    std::vector<uint32_t> distancePos(nodes_.size(), 0);
    std::vector<uint32_t> typePos(nodes_.size(), 0);
    std::vector<uint32_t> route;
    for (uint32_t attempt = 1; attempt <= static_cast<uint32_t>(maxAttempts); ++attempt) {
      result.Attempts = static_cast<int>(attempt);
      route.clear();
      uint32_t c = start;
      for (;;) {
        if (nodeStamp[c] != attempt) {
          nodeStamp[c] = attempt;
          distancePos[c] = typePos[c] = offsets_[c];
        }
        const bool afterRunway = !route.empty() && PathOf(route.back()).PathType == kRunwayPathType;
        uint32_t& pos = afterRunway ? typePos[c] : distancePos[c];
        const std::vector<uint32_t>& order = afterRunway ? byType_ : byDistance_;
        // A dropped move stays dropped for the rest of the attempt, so the read position only advances.
        while (pos < offsets_[c + 1] &&
               (pairUsed[moves_[order[pos]].Pair] == attempt || forbidden[DirectedKey(order[pos])])) {
          ++pos;
        }
        if (pos == offsets_[c + 1]) break;
        const uint32_t m = order[pos];
        pairUsed[moves_[m].Pair] = attempt;
        route.push_back(m);
        c = moves_[m].To;
        if (nodes_[c] == endNode) {
          result.Found = true;
          for (uint32_t step : route) {
            const TaxiPath& path = PathOf(step);
            result.Steps.push_back(
                {path.PathType, nodes_[moves_[step].From], nodes_[moves_[step].To], path.Name});
          }
          return result;
        }
      }
      if (route.empty()) return result;
      forbidden[DirectedKey(route.back())] = 1;
    }
    return result;
  }

 private:
  struct Move {
    uint32_t From;  // dense node ids
    uint32_t To;
    uint32_t Pair;
    uint32_t Path;  // index into TaxiPaths
  };

  uint32_t Id(int32_t node) const {
    return static_cast<uint32_t>(std::lower_bound(nodes_.begin(), nodes_.end(), node) - nodes_.begin());
  }
  uint64_t PairKey(size_t path) const {
    const uint64_t x = Id(airport_.TaxiPaths[path].StartPoint);
    const uint64_t y = Id(airport_.TaxiPaths[path].EndPoint);
    return std::min(x, y) << 32 | std::max(x, y);
  }
  // A step and its reverse over the same pair have different keys; a loop's two directions share one.
  size_t DirectedKey(uint32_t m) const {
    return 2 * size_t{moves_[m].Pair} + (moves_[m].From > moves_[m].To);
  }
  const TaxiPath& PathOf(uint32_t m) const { return airport_.TaxiPaths[moves_[m].Path]; }
  int ToFt(uint32_t m) const { return distanceFt_[moves_[m].To]; }

  const AirportRecord& airport_;
  std::vector<int32_t> nodes_;
  size_t pairCount_ = 0;
  std::vector<Move> moves_;
  std::vector<uint32_t> offsets_;  // node n's moves are positions offsets_[n] .. offsets_[n + 1] - 1
  std::vector<uint32_t> byDistance_;
  std::vector<uint32_t> byType_;
  std::vector<int> distanceFt_;  // of each node to the target
};

}  // namespace

int32_t FindTaxiStartNode(const AirportRecord& airport, double lat, double lon) {
  const size_t spots = Items(airport.ParkingCount, airport.ParkingSpots.size());
  for (size_t i = 0; i < spots; ++i) {
    const scenery::ParkingRecord& spot = airport.ParkingSpots[i];
    if (geo::DistanceFt(lat, lon, spot.Latitude, spot.Longitude) >= spot.RadiusFt) continue;
    for (size_t j = 0; j < PathItems(airport); ++j) {
      const TaxiPath& path = airport.TaxiPaths[j];
      if (path.PathType == kParkingPathType && path.EndPoint == static_cast<int32_t>(i))
        return path.StartPoint;
    }
  }
  return NearestRunwayPathEnd(airport, lat, lon, [](const TaxiPath&) { return true; });
}

int32_t FindTaxiEndNode(const AirportRecord& airport, const geo::TargetPoint& target) {
  if (target.Kind == "Gate or parking") {
    const std::string name = UpperCaseCp1252(target.Name);
    int32_t end = -1;
    const size_t spots = Items(airport.ParkingCount, airport.ParkingSpots.size());
    for (size_t k = 0; k < spots; ++k) {
      if (UpperCaseCp1252(airport.ParkingSpots[k].Name) != name) continue;
      for (size_t j = 0; j < PathItems(airport); ++j) {
        const TaxiPath& path = airport.TaxiPaths[j];
        if (path.PathType == kParkingPathType && path.EndPoint == static_cast<int32_t>(k))
          end = path.StartPoint;
      }
    }
    return end;
  }
  if (target.Kind == "Runway") {
    const std::string name = "runway " + LowerCaseCp1252(airport.MainRunway.Ident);
    return NearestRunwayPathEnd(airport, airport.MainRunway.ThresholdLat, airport.MainRunway.ThresholdLon,
                                [&](const TaxiPath& path) { return LowerCaseCp1252(path.Name) == name; });
  }
  return -1;
}

TaxiRouteSearch SearchTaxiRoute(const AirportRecord& airport, int32_t startNode, int32_t endNode,
                                double targetLat, double targetLon, int maxAttempts) {
  return Network(airport, targetLat, targetLon).Search(startNode, endNode, maxAttempts);
}

std::string TaxiwayList(const std::vector<TaxiPath>& steps, bool parkingPaths) {
  std::string list;
  for (const TaxiPath& step : steps) {
    if (!parkingPaths && step.PathType == kParkingPathType) continue;
    const std::string name = UpperCaseCp1252(step.Name);
    if (name == " " || name.empty() || list.ends_with(" " + name)) continue;
    list += " " + name;
  }
  return list + " ";
}

void BuildTaxiInstructions(AtcContext& context, const geo::TargetPoint& target) {
  const bool toRunway = target.Kind == "Runway";
  if (!toRunway && target.Kind != "Gate or parking") return;
  session::PlayerRecord& pilot = context.Pilot();
  const AirportRecord* found = ControlledAirportAt(context.World, pilot.AirportIndex);
  if (found == nullptr) return;
  const AirportRecord& airport = *found;

  const int32_t start = FindTaxiStartNode(airport, pilot.Latitude, pilot.Longitude);
  const int32_t end = FindTaxiEndNode(airport, target);
  TaxiRouteSearch search;
  if (start != -1 && end != -1)
    search = SearchTaxiRoute(airport, start, end, target.Latitude, target.Longitude);

  const std::string& ident = airport.MainRunway.Ident;
  if (search.Found) {
    // The design lists every step's name, and a path to a parking spot is named by the spot's number,
    // which the pilot reads as a taxiway that does not exist; the corrected mode leaves those out.
    const bool parkingPaths = !context.World.Corrected.Applies(Correction::NumbersAsRead);
    const std::string list = TaxiwayList(search.Steps, parkingPaths);
    pilot.TaxiRoute = search.Steps;
    pilot.TaxiRoute.emplace_back();  // the table's spare element
    if (toRunway) {
      pilot.LastAtcMessage =
          "taxi to and hold short on runway " + ident + " using taxiway" + list + ". Contact tower on " +
          airport.TowerFreq +
          " when ready. If you are not familiar with the airport then taxi using any taxiway.";
    } else {
      pilot.LastAtcMessage =
          "taxi to " + UpperCaseCp1252(target.Name) + " using taxiway" + list +
          ". If you are not familiar with the airport then taxi using any taxiway. If you "
          "don't know where is the GATE or PARKING then taxi anywhere but out of the runway/s.";
    }
  } else if (toRunway) {
    // Without a route the pilot is cleared all the same, and the route it may hold stays as it was.
    pilot.LastAtcMessage = "taxi to and hold short on runway " + ident + ". Contact tower on " +
                           airport.TowerFreq + " when ready.";
  } else {
    pilot.LastAtcMessage =
        "taxi to " + UpperCaseCp1252(target.Name) +
        ". If you don't know where is the GATE or PARKING then taxi anywhere but out of the runway/s.";
  }
  pilot.TaxiTarget = target;
  pilot.PilotRequest = states::kAcknowledgeTaxiClearance;
}

}  // namespace skyvox::atc
