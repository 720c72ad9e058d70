// Where a pilot is among the controlled airports and the high-altitude centres, found through an index
// built once per ATC tick instead of by a scan of every airport and centre for every pilot on every
// pass. The index narrows the tables down to the airports within reach of the pilot's latitude and the
// centres whose latitude band holds it; those are then tested exactly as the full scan tests them, in
// table order, so the answer (ties and the order of any run-time error included) is the full scan's.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "atc/atc_context.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

class PlaceIndex {
 public:
  // Indexes the airports and centres the tables hold now. The index must be rebuilt when an airport's
  // position, an airspace, or either count changes (the cycle builds one per tick).
  explicit PlaceIndex(const scenery::WorldTables& world);

  // The same values ComputeCycleValues gives for the pilot.
  CycleValues Place(const session::PlayerRecord& pilot, const scenery::WorldTables& world) const;

 private:
  // Candidate airports for a latitude in table order, into candidates_; false when the latitude is not
  // a finite number and every airport must be tested.
  bool AirportsNear(double latitude) const;

  using Vector3 = std::array<double, 3>;
  struct Position {
    bool Finite = false;  // latitude and longitude are numbers
    Vector3 Unit{};       // the point on the unit sphere
  };

  int32_t airportCount_ = 0;
  std::vector<Position> positions_;                     // by airport index
  std::vector<std::pair<double, int32_t>> byLatitude_;  // finite latitudes, sorted
  std::vector<int32_t> oddAirports_;                    // latitudes that are not finite numbers
  int32_t airspaceCount_ = 0;
  std::vector<std::vector<int32_t>> centresByBand_;  // per whole degree of latitude, -90..90, in table order
  mutable std::vector<int32_t> candidates_;
};

}  // namespace skyvox::atc
