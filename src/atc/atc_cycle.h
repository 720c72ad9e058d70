// The ATC cycle: every ATC_Timer tick (500 ms, while monitoring and while there are players) each
// pilot of the roster is visited, placed relative to the controlled airports, approach zones and
// centres, served by its tuned facility, and sent its menu line when it changed.
#pragma once

#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

// One ATC_Timer tick over the whole roster. The dialogue procedures are not built yet: the tick
// visits no pilot and sends nothing.
void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world);

}  // namespace skyvox::atc
