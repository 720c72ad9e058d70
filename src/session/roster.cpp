#include "session/roster.h"

#include <algorithm>

#include "session/messages.h"

namespace skyvox::session {

void ResetFullRecord(PlayerRecord& record) {
  PlayerRecord fresh;
  fresh.Name = std::move(record.Name);
  fresh.PlayerId = record.PlayerId;
  record = std::move(fresh);
}

void ResetDialogue(PlayerRecord& record) {
  PlayerRecord fresh;
  fresh.Name = std::move(record.Name);
  fresh.PlayerId = record.PlayerId;
  fresh.Kind = std::move(record.Kind);
  fresh.AircraftKind = std::move(record.AircraftKind);
  fresh.Latitude = record.Latitude;
  fresh.Longitude = record.Longitude;
  fresh.Altitude = record.Altitude;
  fresh.Heading = record.Heading;
  fresh.GroundSpeed = record.GroundSpeed;
  fresh.CyclesWithoutPosition = record.CyclesWithoutPosition;
  fresh.CopyAllAtcMessages = record.CopyAllAtcMessages;
  record = std::move(fresh);
}

void ClearPlannedRoute(PlayerRecord& pilot) {
  pilot.DepartureAirport = -1;
  pilot.DestinationAirport = -1;
  pilot.CruiseAltitude = 0;
}

void DropFlightPlan(PlayerRecord& pilot) {
  pilot.IfrPlanFiled = 0;
  ClearPlannedRoute(pilot);
}

DirectPlay& SessionLink::Play() {
  if (!Dp) throw DirectPlayError("there is no DirectPlay object");
  return *Dp;
}

namespace {

// The entries a roster pass looks at: the first PlayerCount, never beyond the vector.
size_t CoveredCount(const SessionLink& link) {
  return std::min(static_cast<size_t>(std::max<int>(link.PlayerCount, 0)), link.PlayerRoster.size());
}

}  // namespace

void RosterIndex::DropFrom(size_t first) {
  // From the end, so that each dropped entry is the last of its chain.
  while (entries_.size() > first) {
    const Entry& e = entries_.back();
    if (e.Previous < 0) {
      chains_.erase(e.Id);
    } else {
      entries_[static_cast<size_t>(e.Previous)].Next = -1;
      chains_[e.Id].Last = e.Previous;
    }
    entries_.pop_back();
  }
}

void RosterIndex::Sync(const SessionLink& link) {
  const std::vector<PlayerRecord>& roster = link.PlayerRoster;
  const size_t covered = CoveredCount(link);
  size_t same = 0;
  const size_t common = std::min(covered, entries_.size());
  while (same < common && entries_[same].Id == roster[same].PlayerId &&
         entries_[same].Name == roster[same].Name)
    ++same;
  DropFrom(same);
  for (size_t i = same; i < covered; ++i) {
    const PlayerRecord& r = roster[i];
    Entry e{r.PlayerId, r.Name, -1, -1};
    const int32_t index = static_cast<int32_t>(i);
    const auto [chain, fresh] = chains_.try_emplace(r.PlayerId, Chain{index, index});
    if (!fresh) {
      e.Previous = chain->second.Last;
      entries_[static_cast<size_t>(chain->second.Last)].Next = index;
      chain->second.Last = index;
    }
    entries_.push_back(std::move(e));
  }
  storage_ = roster.data();
  size_ = roster.size();
  count_ = link.PlayerCount;
}

const std::vector<int>& RosterIndex::Find(const SessionLink& link, int32_t id, const std::string& name) {
  const std::vector<PlayerRecord>& roster = link.PlayerRoster;
  if (storage_ != roster.data() || size_ != roster.size() || count_ != link.PlayerCount) Sync(link);
  for (;;) {
    found_.clear();
    const auto chain = chains_.find(id);
    if (chain == chains_.end()) return found_;
    bool stale = false;
    for (int32_t j = chain->second.First; j >= 0 && !stale;) {
      const Entry& e = entries_[static_cast<size_t>(j)];
      const PlayerRecord& r = roster[static_cast<size_t>(j)];
      stale = r.PlayerId != e.Id || r.Name != e.Name;
      if (!stale && e.Name == name) found_.push_back(j);
      j = e.Next;
    }
    if (!stale) return found_;
    Sync(link);  // an entry changed in place: the synced index answers as the pass does
  }
}

const std::vector<int>& FindRosterEntry(SessionLink& link, int32_t senderId) {
  const std::string name = LookupPlayerName(link, senderId);
  return link.Index.Find(link, senderId, name);
}

std::vector<int> FindRosterEntryStraightforward(SessionLink& link, int32_t senderId) {
  const std::string name = LookupPlayerName(link, senderId);
  std::vector<int> found;
  for (int i = 0; i < link.PlayerCount; ++i) {
    const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    if (r.Name == name && r.PlayerId == senderId) found.push_back(i);
  }
  return found;
}

void AddRosterEntry(SessionLink& link, int32_t senderId, const std::string& kind) {
  PlayerRecord record;
  record.Name = LookupPlayerName(link, senderId);
  record.PlayerId = senderId;
  record.Kind = kind;
  link.PlayerRoster.resize(static_cast<size_t>(link.PlayerCount) + 1);
  link.PlayerRoster[static_cast<size_t>(link.PlayerCount)] = std::move(record);
  link.PlayerCount += 1;
  link.PlayerRoster.resize(static_cast<size_t>(link.PlayerCount) + 1);
}

void PurgeDepartedPlayers(SessionLink& link, scenery::WorldTables& world) {
  const std::vector<DpPlayer> players = link.Play().EnumPlayers(link.SessionInstanceId, 0);
  if (link.PlayerCount < 1) return;
  const int bound = link.PlayerCount;  // taken once; the pass also stops at the current count
  for (int i = 0; i < bound && i < link.PlayerCount; ++i) {
    const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    bool found = false;
    for (const DpPlayer& p : players) {
      if (p.Id == r.PlayerId && p.Name == r.Name) found = true;
    }
    if (found) continue;
    RemovePlayerFromAirportLists(world, i);
    RenumberAirportLists(world, i);
    // The later entries, the spare included, move down one place; the one now at i waits for the
    // next pass.
    link.PlayerRoster.erase(link.PlayerRoster.begin() + i);
    link.PlayerCount -= 1;
    link.PlayerRoster.resize(static_cast<size_t>(link.PlayerCount) + 1);
  }
}

void RemovePlayerFromAirportLists(scenery::WorldTables& world, int32_t rosterIndex) {
  for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
    scenery::AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    for (auto* list : {&airport.RuntimeList1, &airport.RuntimeList2}) {
      // k runs to the list's current upper bound; the element that moves into k is not looked at.
      for (size_t k = 0; k < list->size(); ++k) {
        if ((*list)[k].PlayerIndex != rosterIndex) continue;
        (*list)[k] = scenery::RuntimeEntry{-1, ""};
        if (list->size() > 1) list->erase(list->begin() + static_cast<std::ptrdiff_t>(k));
      }
    }
  }
}

void RenumberAirportLists(scenery::WorldTables& world, int32_t removedIndex) {
  for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
    scenery::AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    for (auto* list : {&airport.RuntimeList1, &airport.RuntimeList2}) {
      for (size_t k = 0; k < list->size();) {
        int32_t& index = (*list)[k].PlayerIndex;
        if (index == removedIndex && list->size() > 1) {
          // A second entry of the departed pilot, left behind by the removal's single scan: it would
          // now name the pilot that moves into its roster place.
          list->erase(list->begin() + static_cast<std::ptrdiff_t>(k));
          continue;
        }
        if (index > removedIndex) index -= 1;
        ++k;
      }
    }
  }
}

void RefreshPlayers(SessionLink& link, scenery::WorldTables& world) {
  // Each step on its own: a failing one is skipped and the tick goes on.
  if (link.PlayerCount > 0) {
    try {
      PurgeDepartedPlayers(link, world);
    } catch (const Error&) {
    }
  }
  std::vector<DpPlayer> players;
  try {
    players = link.Play().EnumPlayers(link.SessionInstanceId, 0);
  } catch (const Error&) {
  }
  std::string ownName;
  try {
    ownName = LookupPlayerName(link, link.OwnPlayerId);
  } catch (const Error&) {
  }
  for (const DpPlayer& p : players) {
    if (p.Id == link.OwnPlayerId || p.Name == ownName) continue;
    bool known = false;
    for (int i = 0; i < link.PlayerCount; ++i) {
      const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
      if (r.Name == p.Name && r.PlayerId == p.Id) known = true;
    }
    if (known) continue;
    try {
      SendSimpleMessage(link, kIdentificationRequest, p.Id);
    } catch (const Error&) {
    }
  }
  for (int i = 0; i < link.PlayerCount; ++i) {
    const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    if (r.Kind != "player") continue;
    try {
      SendSimpleMessage(link, kAircraftDescriptionRequest, r.PlayerId);
    } catch (const Error&) {
    }
  }
}

void ClearRoster(SessionLink& link) {
  link.PlayerCount = 0;
  link.PlayerRoster.assign(1, PlayerRecord{});
}

}  // namespace skyvox::session
