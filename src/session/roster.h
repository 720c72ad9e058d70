// The player roster: one PlayerRecord per other participant of the session, identified by the pair
// of its DirectPlay name and player id, holding its position and the whole state of the controller's
// dialogue with it. The session link owns the roster with the DirectPlay object and the join's ids.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "geo/geometry.h"
#include "scenery/records.h"
#include "session/directplay.h"

namespace skyvox::session {

struct PlayerRecord {
  std::string Name;
  int32_t PlayerId = 0;
  std::string Kind;  // "player" or "observer"
  std::string AircraftKind = "Unknown";
  double Latitude = 0;
  double Longitude = 0;
  int32_t Altitude = 0;     // feet
  int16_t Heading = 0;      // magnetic, whole degrees
  int16_t GroundSpeed = 0;  // knots
  // ATC cycles the tower has served the pilot since its last position report, counted only in the
  // corrected mode (up to the 120 that make a pilot silent) and set back to 0 by every report.
  int32_t CyclesWithoutPosition = 0;
  // The dialogue state, fields LastAtcMessage .. PilotRequest.
  std::string LastAtcMessage;
  std::vector<std::string> MenuOptions{std::string()};  // option k is element k-1; one spare after the last
  int32_t MenuOptionCount = 0;
  uint8_t PendingChoice = 0;
  std::string TunedFrequency;
  std::string FacilityType;
  int32_t CenterIndex = -1;
  int32_t AirportIndex = -1;
  std::vector<scenery::TaxiPath> TaxiRoute{scenery::TaxiPath{}};
  geo::TargetPoint TaxiTarget;
  std::string ReportedTraffic;
  int16_t AssignedHeading = 0;
  int32_t AssignedAltitude = 0;
  geo::TargetPoint VectorWaypoint;
  bool CopyAllAtcMessages = false;
  uint8_t IfrPlanFiled = 0;
  int32_t DepartureAirport = -1;
  int32_t DestinationAirport = -1;
  int32_t CruiseAltitude = 0;
  std::string PilotRequest;
  // Not part of the dialogue: the station's own note of the last chat line it sent this pilot, kept in
  // corrected mode so that every distinct line goes out exactly once (empty: nothing sent yet).
  std::string LastSentLine;
  bool operator==(const PlayerRecord&) const = default;
};

// Every field from Kind on back to its default.
void ResetFullRecord(PlayerRecord& record);
// The dialogue fields but CopyAllAtcMessages back to their defaults; who and where stay.
void ResetDialogue(PlayerRecord& record);
// Forgets the planned route: no departure or destination airport (-1), cruise altitude 0.
void ClearPlannedRoute(PlayerRecord& pilot);
// Drops the IFR flight plan: IfrPlanFiled 0 and the planned route forgotten.
void DropFlightPlan(PlayerRecord& pilot);

struct SessionLink;

// The roster entries of a sender found without a pass over the roster, with exactly the answer of that
// pass: every one of the first PlayerCount entries whose Name and PlayerId are the sender's, in roster
// order, duplicates included. The roster stays a plain vector that many places change directly, so the
// index keeps its own copy of the name and id of every entry it covers. Sync compares the roster with
// that copy and indexes again from the first entry that differs; Find syncs by itself when the count,
// the size or the storage of the roster moved (joins, purges, clearing), and checks every entry it
// answers with against the roster. A name or id changed in place elsewhere is seen at the next Sync,
// which the receive loop runs at the start of every tick and after each step that may run other code.
class RosterIndex {
 public:
  void Sync(const SessionLink& link);
  // The indexes, ascending, of the entries among the first PlayerCount named `name` with id `id`. The
  // vector is the index's own and holds until the next Find.
  const std::vector<int>& Find(const SessionLink& link, int32_t id, const std::string& name);

 private:
  struct Entry {
    int32_t Id = 0;
    std::string Name;
    int32_t Previous = -1;  // the entries with the same id, a chain in roster order
    int32_t Next = -1;
  };
  struct Chain {
    int32_t First = -1;
    int32_t Last = -1;
  };
  void DropFrom(size_t first);

  std::vector<Entry> entries_;
  std::unordered_map<int32_t, Chain> chains_;
  const void* storage_ = nullptr;  // the roster as last synced
  size_t size_ = 0;
  int count_ = 0;
  std::vector<int> found_;
};

// The program-wide session objects: the DirectPlay object of the connection, the roster, the ids of
// the join, and the station window's two flags.
struct SessionLink {
  std::unique_ptr<DirectPlay> Dp;
  std::vector<PlayerRecord> PlayerRoster{PlayerRecord{}};  // PlayerCount items, then one spare
  int16_t PlayerCount = 0;
  int32_t OwnPlayerId = 0;
  std::string SessionInstanceId;
  int32_t SessionMaxPlayers = 0;
  bool SessionActive = false;
  bool IsSessionHost = false;
  // Not part of the session's state: the receive loop's lookup of senders in PlayerRoster.
  RosterIndex Index;

  // The DirectPlay object, or DirectPlayError when there is none (closed, released).
  DirectPlay& Play();
};

// Indexes of the entries whose Name equals the sender's DirectPlay name and whose PlayerId equals
// the sender id (looked up once per call), through link.Index; the vector holds until the next lookup.
// Throws what the name lookup throws.
const std::vector<int>& FindRosterEntry(SessionLink& link, int32_t senderId);
// The same answer from a pass over the roster: the reference the index is held to.
std::vector<int> FindRosterEntryStraightforward(SessionLink& link, int32_t senderId);
void AddRosterEntry(SessionLink& link, int32_t senderId, const std::string& kind);
// Removes the entries whose (name, id) the session no longer lists; skips the entry that moves into a
// freed place until the next pass. Throws what DirectPlay throws.
void PurgeDepartedPlayers(SessionLink& link, scenery::WorldTables& world);
void RemovePlayerFromAirportLists(scenery::WorldTables& world, int32_t rosterIndex);
// After the roster entry at removedIndex went and the later ones moved down a place: the runway queues'
// indexes behind it move down too, and any entry still naming the departed pilot goes, so that every
// queue keeps naming the same pilots.
void RenumberAirportLists(scenery::WorldTables& world, int32_t removedIndex);
// The Refresh_Players tick: purge, identification requests to strangers, aircraft description
// requests to pilots; each step's failure is skipped.
void RefreshPlayers(SessionLink& link, scenery::WorldTables& world);
void ClearRoster(SessionLink& link);

}  // namespace skyvox::session
