// What every ATC dialogue procedure works with: the program's tables, the roster, the pilot being
// served (by roster index: the procedures edit its record in place) and the cycle's working values
// that the cycle computed for this pilot in the same pass.
#pragma once

#include <cstdint>
#include <string>

#include "geo/geometry.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

// Recomputed for each pilot on every pass of the cycle.
struct CycleValues {
  bool NearestAirportFound = false;
  int16_t NearestAirportDistance = -1;
  int32_t NearestAirportIndex = -1;
  bool ApproachAirportFound = false;
  int16_t ApproachAirportDistance = -1;
  int32_t ApproachAirportIndex = -1;
  int32_t CurrentCenterIndex = -1;
};

struct AtcContext {
  session::SessionLink& Link;
  scenery::WorldTables& World;
  int PilotIndex = 0;  // roster index of the pilot being served
  CycleValues& Cycle;

  session::PlayerRecord& Pilot() { return Link.PlayerRoster[static_cast<size_t>(PilotIndex)]; }
};

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

// What the common preparation of the airport dialogue gives the clearance, ground and tower services.
struct AirportPrep {
  int RosterIndex = -1;    // the pilot's own roster index (the last entry with its name and id)
  std::string RunwaySide;  // RunwaySector word of the pilot's bearing from the main runway's threshold
  int16_t ThresholdDistanceNm = 0;  // t: from the main runway's threshold to the pilot
  int16_t AirportDistanceNm = 0;    // d: from the airport's reference point to the pilot
  bool AtAirport = false;           // d <= 20 and Altitude <= ElevationFt + 200
};

// The dialogue procedures, each called with the pilot's context.
void SelectControlledAirport(AtcContext& context);                    // choosing an airport to fly to
void RunAirportDialogue(AtcContext& context);                         // clearance, ground, tower
void RunGroundControl(AtcContext& context, const AirportPrep& prep);  // entered from RunAirportDialogue
void RunTowerControl(AtcContext& context, const AirportPrep& prep);   // entered from RunAirportDialogue
void BuildTaxiInstructions(AtcContext& context, const geo::TargetPoint& target);  // called by ground
void RunApproachControl(AtcContext& context);                                     // departure and approach
void RunCenterControl(AtcContext& context);                                       // center
void ScanTraffic(AtcContext& context);  // traffic advisories, first thing of approach and center

}  // namespace skyvox::atc
