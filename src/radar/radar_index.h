// What the radar looks up for every pilot of an ATC tick, indexed once in the tick when first needed:
// the roster's aircraft by position (the traffic scan), each pilot's own roster entry, and the terrain
// index the tables keep. Within a tick only the served pilot's dialogue fields change; positions, names
// and ids are written by the receive loop, between ticks. So what the index found at its first use holds
// for the rest of the tick.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "geo/position_grid.h"
#include "scenery/records.h"
#include "scenery/terrain_index.h"
#include "session/roster.h"

namespace skyvox::atc {

class RadarIndex {
 public:
  RadarIndex(const session::SessionLink& link, scenery::WorldTables& world) : link_(link), world_(world) {}

  // The roster indexes below `count`, ascending, that a scan for aircraft within radiusNm of the pilot at
  // pilotIndex must look at: all that may be that close, and all whose position is not ordinary (their
  // distance is the scan's to find, or to fail on, in roster order). nullptr when the index cannot
  // answer: the pilot's own position is not ordinary, or the radius is too large.
  const std::vector<int>* AircraftNear(int pilotIndex, int count, int radiusNm);

  // The last entry below `count` with the name and id of the pilot at pilotIndex; empty when the pilot's
  // own entry lies at or past `count`.
  std::optional<int> OwnEntry(int pilotIndex, int count);

  // The tables' terrain index, checked against the table at its first use in the tick.
  const scenery::TerrainIndex& Terrain();

 private:
  void IndexRoster(int count);

  const session::SessionLink& link_;
  scenery::WorldTables& world_;
  bool terrainChecked_ = false;
  std::optional<int> rosterCount_;  // the count the roster was indexed for
  geo::PositionGrid aircraft_{10};
  std::vector<int> outliers_;                 // entries whose position is not ordinary, ascending
  std::vector<std::pair<int32_t, int>> ids_;  // (PlayerId, roster index), ascending
  std::vector<int> near_;
};

}  // namespace skyvox::atc
