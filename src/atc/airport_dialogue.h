// The airport dialogue: clearance delivery, ground and tower for a pilot tuned to a controlled airport;
// and the pieces its services share: the common preparation that every call of RunAirportDialogue makes,
// the IFR clearance that clearance delivery and ground both give, and the cancellation and release of an
// IFR flight plan.
#pragma once

#include <cstdint>
#include <string>

#include "atc/atc_context.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

inline constexpr const char* kIfrCancellationText =
    "IFR flight plan is cancelled, radar service terminated. Squawk 1200. Maintain VFR. Frequency change "
    "approved. Good day.";

// What the common preparation of the airport dialogue gives the clearance, ground and tower services.
struct AirportPrep {
  int RosterIndex = -1;    // the pilot's own roster index (the last entry with its name and id)
  std::string RunwaySide;  // RunwaySector word of the pilot's bearing from the main runway's threshold
  int16_t ThresholdDistanceNm = 0;  // t: from the main runway's threshold to the pilot
  int16_t AirportDistanceNm = 0;    // d: from the airport's reference point to the pilot
  bool AtAirport = false;           // IsAtAirport: within 20 nm and no higher than 200 ft above the field
};

// Clearance, ground or tower, by the pilot's FacilityType.
void RunAirportDialogue(AtcContext& context);

// The common preparation against `airport` (the one the pilot is tuned to): the pilot's own roster
// index, its runway side word and distance from the main runway's threshold, its distance from the
// reference point and whether it is at the airport (within 20 nm and no higher than 200 ft above the
// field). May throw what geo::MagneticBearing throws for a position outside the variation grid.
AirportPrep PrepareAirportDialogue(AtcContext& context, const scenery::AirportRecord& airport);

// The IFR clearance to the pilot's filed destination, without the callsign the cycle puts in front.
// The departure frequency is the approach airport's when the pilot is in an approach zone, else the
// current centre's; with neither, the frequency of the approach facility of the airport the pilot is
// tuned to (the one the tower will hand it to after takeoff), and when that airport has none either the
// clearance names no departure frequency.
std::string IfrClearanceText(AtcContext& context);

// The release of a pilot whose IFR flight plan was cancelled: untuned, no flight plan. The taxi route
// and target are the caller's business.
void ReleaseAfterIfrCancellation(session::PlayerRecord& pilot);

// An IFR pilot that left the airport without a clearance: the cancellation is said on this step
// ("Canceling IFR"), and the pilot released on the next.
void CancelOrReleaseIfr(session::PlayerRecord& pilot);

}  // namespace skyvox::atc
