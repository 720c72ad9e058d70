// Choosing a controlled airport to fly to, then its tower frequency, from the tuning menu.
#pragma once

#include "atc/atc_context.h"

namespace skyvox::atc {

// One step of the selection ("Selecting a controlled airport", "Selecting one frequency").
void SelectControlledAirport(AtcContext& context);

}  // namespace skyvox::atc
