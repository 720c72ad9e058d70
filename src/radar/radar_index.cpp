#include "radar/radar_index.h"

#include <algorithm>

namespace skyvox::atc {

void RadarIndex::IndexRoster(int count) {
  rosterCount_ = count;
  std::vector<geo::PositionGrid::Position> positions;
  outliers_.clear();
  ids_.clear();
  for (int i = 0; i < count; ++i) {
    const session::PlayerRecord& entry = link_.PlayerRoster[static_cast<size_t>(i)];
    if (geo::IsOrdinaryPosition(entry.Latitude, entry.Longitude)) {
      positions.push_back({entry.Latitude, entry.Longitude, 0, i});
    } else {
      outliers_.push_back(i);
    }
    ids_.emplace_back(entry.PlayerId, i);
  }
  aircraft_.Build(std::move(positions));
  std::sort(ids_.begin(), ids_.end());
}

const std::vector<int>* RadarIndex::AircraftNear(int pilotIndex, int count, int radiusNm) {
  if (rosterCount_ != count) IndexRoster(count);
  const session::PlayerRecord& pilot = link_.PlayerRoster[static_cast<size_t>(pilotIndex)];
  near_.assign(outliers_.begin(), outliers_.end());
  const auto& positions = aircraft_.Positions();
  const bool answered = aircraft_.VisitCellsNear(pilot.Latitude, pilot.Longitude, radiusNm,
                                                 [&](size_t, uint32_t first, uint32_t last) {
                                                   for (uint32_t k = first; k < last; ++k)
                                                     near_.push_back(positions[k].Id);
                                                 });
  if (!answered) return nullptr;
  std::sort(near_.begin(), near_.end());
  near_.erase(std::unique(near_.begin(), near_.end()), near_.end());
  return &near_;
}

std::optional<int> RadarIndex::OwnEntry(int pilotIndex, int count) {
  if (pilotIndex < 0 || pilotIndex >= count) return std::nullopt;
  if (rosterCount_ != count) IndexRoster(count);
  const session::PlayerRecord& pilot = link_.PlayerRoster[static_cast<size_t>(pilotIndex)];
  // The entries with the pilot's id, the pilot's own among them; the last with its name too.
  const auto from = std::lower_bound(ids_.begin(), ids_.end(), std::make_pair(pilot.PlayerId, 0));
  const auto to = std::upper_bound(ids_.begin(), ids_.end(), std::make_pair(pilot.PlayerId, count));
  for (auto it = to; it != from;) {
    --it;
    if (link_.PlayerRoster[static_cast<size_t>(it->second)].Name == pilot.Name) return it->second;
  }
  return pilotIndex;  // not reached: the pilot's own entry is among them
}

const scenery::TerrainIndex& RadarIndex::Terrain() {
  scenery::TerrainIndex& index = world_.TerrainPointIndex.Get();
  if (!terrainChecked_) index.Refresh(world_.TerrainPoints, world_.TerrainPointCount);
  terrainChecked_ = true;
  return index;
}

}  // namespace skyvox::atc
