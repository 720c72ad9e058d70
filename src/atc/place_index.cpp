#include "atc/place_index.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

#include "atc/atc_cycle.h"
#include "geo/geometry.h"

namespace skyvox::atc {

using scenery::AirportRecord;
using session::PlayerRecord;

namespace {

// More than 0.35 degrees of latitude apart is at least 21 nm whatever the longitudes, so DistanceNm
// cannot come out at 20 or less: the distance need not be computed. (A position that is not a number
// fails this test and goes on to DistanceNm, as before.)
bool FartherThan20Nm(const PlayerRecord& p, const AirportRecord& airport) {
  return std::fabs(p.Latitude - airport.Latitude) > 0.35;
}

// The index keeps airports within this many degrees of latitude of the pilot: wider than the exact test
// above by far more than any rounding of the subtraction, so that test alone decides.
constexpr double kAirportWindowDeg = 0.5;

// The whole degrees of latitude a band index covers: -90 .. 90 (a pilot at exactly 90 is in band 90).
constexpr int kFirstBand = -90;
constexpr int kLastBand = 90;

int32_t IndexedAirports(const scenery::WorldTables& world) {
  return static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(world.ControlledAirportCount, 0)),
                                               world.ControlledAirports.size()));
}

int32_t IndexedAirspaces(const scenery::WorldTables& world) {
  return static_cast<int32_t>(
      std::min<size_t>(static_cast<size_t>(std::max(world.AirspaceCount, 0)), world.Airspaces.size()));
}

// The nearest controlled airport and the nearest approach zone among the airports `indexes` names, in
// table order (the first of equally near airports wins). `mayBeNear(a)` false says that airport a is
// surely more than 20 nm away and DistanceNm would say so without fail.
template <class Indexes, class MayBeNear>
void PlaceAmongAirports(const PlayerRecord& p, const scenery::WorldTables& world, const Indexes& indexes,
                        const MayBeNear& mayBeNear, CycleValues& v) {
  for (const int32_t a : indexes) {
    const AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    if (FartherThan20Nm(p, airport) || !mayBeNear(a)) continue;
    const int16_t d = geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude);
    if (d <= 20 && (!v.NearestAirportFound || d < v.NearestAirportDistance)) {
      v.NearestAirportFound = true;
      v.NearestAirportDistance = d;
      v.NearestAirportIndex = a;
    }
  }
  for (const int32_t a : indexes) {
    const AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    if (airport.ApproachFreq.empty() || FartherThan20Nm(p, airport) || !mayBeNear(a)) continue;
    const int16_t d = geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude);
    if (IsInApproachZone(d, p.Altitude, airport.ElevationFt) &&
        (!v.ApproachAirportFound || d < v.ApproachAirportDistance)) {
      v.ApproachAirportFound = true;
      v.ApproachAirportDistance = d;
      v.ApproachAirportIndex = a;
    }
  }
}

// The last of the centres `indexes` names (in table order) that holds the pilot.
template <class Indexes>
void PlaceInCentre(const PlayerRecord& p, const scenery::WorldTables& world, const Indexes& indexes,
                   CycleValues& v) {
  for (const int32_t i : indexes) {
    if (IsInsideHighCenter(world.Airspaces[static_cast<size_t>(i)], p.Latitude, p.Longitude)) {
      v.CurrentCenterIndex = i;
    }
  }
}

constexpr auto kEveryAirportMayBeNear = [](int32_t) { return true; };

// A position as a point of the unit sphere; the dot product of two is the cosine DistanceNm takes the
// arc of (whatever the latitudes, as long as they are numbers).
std::array<double, 3> UnitVector(double latitude, double longitude) {
  const double phi = latitude * geo::kPi / 180, lambda = longitude * geo::kPi / 180;
  return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

// Points whose cosine of arc is below this are more than 25 nm apart: DistanceNm, exact to far better
// than a mile there, gives them at least 24. (cos(25 / 10800 * pi))
constexpr double kCos25Nm = 0.99997355566;

std::vector<int32_t> AllIndexes(int32_t count) {
  std::vector<int32_t> all(static_cast<size_t>(count));
  std::iota(all.begin(), all.end(), 0);
  return all;
}

}  // namespace

CycleValues ComputeCycleValues(const PlayerRecord& p, const scenery::WorldTables& world) {
  CycleValues v;
  PlaceAmongAirports(p, world, AllIndexes(IndexedAirports(world)), kEveryAirportMayBeNear, v);
  PlaceInCentre(p, world, AllIndexes(IndexedAirspaces(world)), v);
  return v;
}

PlaceIndex::PlaceIndex(const scenery::WorldTables& world)
    : airportCount_(IndexedAirports(world)),
      airspaceCount_(IndexedAirspaces(world)),
      centresByBand_(kLastBand - kFirstBand + 1) {
  positions_.reserve(static_cast<size_t>(airportCount_));
  for (int32_t a = 0; a < airportCount_; ++a) {
    const AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    const double latitude = airport.Latitude;
    const bool finite = std::isfinite(latitude) && std::isfinite(airport.Longitude);
    positions_.push_back(Position{finite, finite ? UnitVector(latitude, airport.Longitude) : Vector3{}});
    if (std::isfinite(latitude)) {
      byLatitude_.emplace_back(latitude, a);
    } else {
      oddAirports_.push_back(a);
    }
  }
  std::sort(byLatitude_.begin(), byLatitude_.end());
  // A centre holds only latitudes strictly between its south and north edges, so only pilots in the
  // bands from its south edge's to its north edge's; a centre of another class, or with an edge that is
  // not a number, holds nobody.
  for (int32_t i = 0; i < airspaceCount_; ++i) {
    const scenery::AirspaceRecord& s = world.Airspaces[static_cast<size_t>(i)];
    if (std::isnan(s.SouthLat) || std::isnan(s.NorthLat) || !(s.SouthLat < s.NorthLat)) continue;
    if (s.AirspaceClass != kHighCenterClass) continue;
    const double first = std::clamp(std::floor(s.SouthLat), double{kFirstBand}, double{kLastBand});
    const double last = std::clamp(std::floor(s.NorthLat), double{kFirstBand}, double{kLastBand});
    for (int band = static_cast<int>(first); band <= static_cast<int>(last); ++band) {
      centresByBand_[static_cast<size_t>(band - kFirstBand)].push_back(i);
    }
  }
}

bool PlaceIndex::AirportsNear(double latitude) const {
  candidates_.clear();
  if (!std::isfinite(latitude)) return false;
  const auto from = std::lower_bound(byLatitude_.begin(), byLatitude_.end(),
                                     std::pair{latitude - kAirportWindowDeg, int32_t{-1}});
  for (auto it = from; it != byLatitude_.end() && it->first <= latitude + kAirportWindowDeg; ++it) {
    candidates_.push_back(it->second);
  }
  candidates_.insert(candidates_.end(), oddAirports_.begin(), oddAirports_.end());
  std::sort(candidates_.begin(), candidates_.end());
  return true;
}

CycleValues PlaceIndex::Place(const PlayerRecord& p, const scenery::WorldTables& world) const {
  CycleValues v;
  if (AirportsNear(p.Latitude)) {
    // Only between two positions given in numbers is the distance sure not to fail: any other pair goes
    // on to DistanceNm, which fails as the scan would.
    if (std::isfinite(p.Longitude)) {
      const Vector3 u = UnitVector(p.Latitude, p.Longitude);
      PlaceAmongAirports(
          p, world, candidates_,
          [&](int32_t a) {
            const Position& at = positions_[static_cast<size_t>(a)];
            return !at.Finite || u[0] * at.Unit[0] + u[1] * at.Unit[1] + u[2] * at.Unit[2] >= kCos25Nm;
          },
          v);
    } else {
      PlaceAmongAirports(p, world, candidates_, kEveryAirportMayBeNear, v);
    }
  } else {
    PlaceAmongAirports(p, world, AllIndexes(airportCount_), kEveryAirportMayBeNear, v);
  }
  if (p.Latitude >= kFirstBand && p.Latitude <= kLastBand) {
    const int band = static_cast<int>(std::floor(p.Latitude));
    PlaceInCentre(p, world, centresByBand_[static_cast<size_t>(band - kFirstBand)], v);
  } else {
    PlaceInCentre(p, world, AllIndexes(airspaceCount_), v);
  }
  return v;
}

}  // namespace skyvox::atc
