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

// One ATC_Timer tick over the whole roster. The program indexes the tables once per tick; the
// straightforward scan of every airport and centre on every pass gives the same result, slower (the
// benchmarks' baseline and the tests' reference).
void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world,
                 TableScan scan = TableScan::Indexed);

// The nearest controlled airport, the approach zone and the current centre of the pilot, by a scan of
// every airport and centre (PlaceIndex gives the same from an index).
CycleValues ComputeCycleValues(const session::PlayerRecord& pilot, const scenery::WorldTables& world);

// The chat line of the pilot's current message and menu.
std::string BuildMenuLine(const session::PlayerRecord& pilot, const scenery::WorldTables& world);

}  // namespace skyvox::atc
