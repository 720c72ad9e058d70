// Tower control: takeoffs and landings through the airport's departure and landing queues, the traffic
// pattern, go-arounds and missed approaches, and the handoffs to departure, approach and ground.
#pragma once

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"

namespace skyvox::atc {

// One step of tower control, entered from RunAirportDialogue with its preparation.
void RunTowerControl(AtcContext& context, const AirportPrep& prep);

}  // namespace skyvox::atc
