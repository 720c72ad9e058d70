// The ATC cycle: every ATC_Timer tick (500 ms, while monitoring and while there are players) each
// pilot of the roster is visited, placed relative to the controlled airports, approach zones and
// centres, served by its tuned facility, and sent its menu line when it changed.
#pragma once

#include <string>

#include "atc/atc_context.h"
#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::atc {

inline constexpr const char* kSayAgain = "- (Say Again)";
inline constexpr const char* kNoMessagesText = " <No messages to transmit to the ATC by this moment>";

// The cycle's re-run rule: a pass that consumed the pilot's choice (one was pending before it, none is
// after it) is followed by another pass in the same tick, so that the new state's menu goes out at once.
inline bool PassConsumedChoice(bool choiceWasPending, const session::PlayerRecord& after) {
  return choiceWasPending && after.PendingChoice == 0;
}

// How the radar finds the aircraft near a pilot and the terrain under its vectors: through indexes by
// position built for the tick (the program's way), or by visiting every aircraft and terrain point for
// every pilot (the plain way, kept to check the indexes against). Both give the same results.
enum class RadarSearch { Indexed, Straightforward };

// One ATC_Timer tick over the whole roster.
void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world,
                 RadarSearch search = RadarSearch::Indexed);

// The nearest controlled airport, the approach zone and the current centre of the pilot.
CycleValues ComputeCycleValues(const session::PlayerRecord& pilot, const scenery::WorldTables& world);

// The chat line of the pilot's current message and menu.
std::string BuildMenuLine(const session::PlayerRecord& pilot, const scenery::WorldTables& world);

}  // namespace skyvox::atc
