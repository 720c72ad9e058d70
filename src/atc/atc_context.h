// What every ATC dialogue procedure works with: the program's tables, the roster, the pilot being
// served (by roster index: the procedures edit its record in place) and the cycle's working values
// that the cycle computed for this pilot in the same pass; and the rules every dialogue shares (menus,
// tuning lines, the airport zone, the centre box, table indexes). Each dialogue has a header of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "geo/geometry.h"
#include "scenery/records.h"
#include "session/dialogue_states.h"
#include "session/roster.h"

namespace skyvox::atc {

namespace states = session::states;
namespace facilities = session::facilities;

// Recomputed for each pilot on every pass of the cycle.
struct CycleValues {
  bool NearestAirportFound = false;
  int16_t NearestAirportDistance = -1;
  int32_t NearestAirportIndex = -1;
  bool ApproachAirportFound = false;
  int16_t ApproachAirportDistance = -1;
  int32_t ApproachAirportIndex = -1;
  int32_t CurrentCenterIndex = -1;
  bool operator==(const CycleValues&) const = default;
};

class PlaceIndex;
class RadarIndex;  // radar/radar_index.h

// How a tick finds the airports, centres and terrain near each pilot: through indexes built for the
// tick (the program), or by scanning the whole tables (the reference the indexes are checked against).
enum class TableScan { Indexed, Straightforward };

struct AtcContext {
  session::SessionLink& Link;
  scenery::WorldTables& World;
  int PilotIndex = 0;  // roster index of the pilot being served
  CycleValues& Cycle;
  // The tick's index of airports and centres; without one, each pass scans the whole tables.
  const PlaceIndex* Places = nullptr;
  // The tick's index of aircraft and terrain by position; without one the radar visits every aircraft
  // and every terrain point, the plain way the index is checked against.
  RadarIndex* Radar = nullptr;

  session::PlayerRecord& Pilot() { return Link.PlayerRoster[static_cast<size_t>(PilotIndex)]; }
};

// The airport zone: within 20 nm of a controlled airport's reference point, a pilot no higher than
// 200 ft above the field is at the airport (ground, clearance), one higher up to 10000 ft above it is in
// the airport's approach zone. Altitudes are compared in 64 bits: a stored elevation may be anything,
// and its sum with a margin must not overflow.
inline constexpr int16_t kAirportZoneRadiusNm = 20;
inline constexpr int32_t kGroundBandFt = 200;
inline constexpr int32_t kApproachCeilingFt = 10000;
inline bool IsAbove(int32_t altitude, int32_t elevation, int32_t margin) {
  return static_cast<int64_t>(altitude) > static_cast<int64_t>(elevation) + margin;
}
inline bool IsAtAirport(int16_t distanceNm, int32_t altitude, int32_t elevation) {
  return distanceNm <= kAirportZoneRadiusNm && !IsAbove(altitude, elevation, kGroundBandFt);
}
inline bool IsInApproachZone(int16_t distanceNm, int32_t altitude, int32_t elevation) {
  return distanceNm <= kAirportZoneRadiusNm && IsAbove(altitude, elevation, kGroundBandFt) &&
         !IsAbove(altitude, elevation, kApproachCeilingFt);
}

// Strictly inside a high-altitude centre's box ("ARTCC/FIR (HIGH)"; other classes hold nobody). A box
// whose west edge lies east of its east edge spans the 180th meridian; one whose edges coincide holds
// nothing.
inline constexpr const char* kHighCenterClass = "ARTCC/FIR (HIGH)";
bool IsInsideHighCenter(const scenery::AirspaceRecord& centre, double latitude, double longitude);

// Table elements by an index that a search may have left at -1 (or a tuning made while no airport was
// near), which reads as element 0: the tables always hold it. The pointer forms give nullptr for an
// index past the table's end.
inline size_t TableSlot(int32_t index) {
  return index < 0 ? 0 : static_cast<size_t>(index);
}
scenery::AirportRecord* ControlledAirportAt(scenery::WorldTables& world, int32_t index);
const scenery::AirspaceRecord* AirspaceAt(const scenery::WorldTables& world, int32_t index);

// The menu operations every dialogue uses. Option k as the pilot sees it (1-based) is element k-1;
// the element at MenuOptionCount is spare.
void ClearMenu(session::PlayerRecord& pilot);
void AddOption(session::PlayerRecord& pilot, const std::string& text);
void ResetMenu(session::PlayerRecord& pilot);

// The words of a tuning line: "Tune " & station name & word & frequency.
inline constexpr const char* kClearanceWord = " Clearance on ";
inline constexpr const char* kGroundWord = " Ground on ";
inline constexpr const char* kTowerWord = " Tower on ";
inline constexpr const char* kDepartureWord = " Departure on ";
inline constexpr const char* kApproachWord = " Approach on ";
inline constexpr const char* kCenterWord = " Center on ";
std::string TuningLine(const std::string& stationName, const char* word, const std::string& frequency);

// The chosen option's text, or nullptr when PendingChoice is 0 or above MenuOptionCount.
const std::string* ChosenOption(const session::PlayerRecord& pilot);

}  // namespace skyvox::atc
