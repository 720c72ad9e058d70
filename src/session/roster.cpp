#include "session/roster.h"

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

std::vector<int> FindRosterEntry(SessionLink& link, int32_t senderId) {
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
