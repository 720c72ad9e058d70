// The radio transcript that skyvox-sim and skyvox-station print: the time stamp, the chat line with its
// addressee (marked as a copy when it is about someone else), and the DirectPlay wrapper that reports
// every chat line the station sends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/station_monitor.h"
#include "session/chat_tap.h"
#include "session/directplay.h"
#include "session/roster.h"

namespace skyvox::sim {

// The time stamp, the unknown player's name and the sent line's text are the station monitor's.
using app::ChatTranscriptLine;
using app::TimeStamp;
using app::UnknownPlayerName;

// Who is in the station's roster, entry by entry in roster order; and who came and went between two
// looks at it (emptying the roster when the station closes is for the caller to leave out).
struct RosterKey {
  std::string Name;  // single-byte
  int32_t Id = 0;
  std::string Kind;  // "player" or "observer"
  bool operator==(const RosterKey&) const = default;
};
std::vector<RosterKey> RosterKeys(const session::SessionLink& link);
struct RosterChanges {
  std::vector<RosterKey> Left;    // in the first look's order
  std::vector<RosterKey> Joined;  // in the second look's order
};
RosterChanges CompareRosters(const std::vector<RosterKey>& before, const std::vector<RosterKey>& after);
// The same by searching each list for each key of the other: the reference for CompareRosters.
RosterChanges CompareRostersStraightforward(const std::vector<RosterKey>& before,
                                            const std::vector<RosterKey>& after);
// Whether RosterKeys(link) would give `keys`, without building it.
bool RosterMatches(const std::vector<RosterKey>& keys, const session::SessionLink& link);

}  // namespace skyvox::sim
