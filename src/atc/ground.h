// Ground control: taxi clearances to the runway or to a gate or parking, the IFR clearance for a pilot
// that calls ground first, and the handoff to the tower.
#pragma once

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"

namespace skyvox::atc {

// One step of ground control, entered from RunAirportDialogue with its preparation.
void RunGroundControl(AtcContext& context, const AirportPrep& prep);

}  // namespace skyvox::atc
