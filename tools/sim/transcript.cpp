#include "sim/transcript.h"

#include <algorithm>
#include <cstdio>

#include "base/errors.h"
#include "base/text.h"
#include "session/messages.h"

namespace skyvox::sim {

std::vector<RosterKey> RosterKeys(const session::SessionLink& link) {
  std::vector<RosterKey> keys;
  for (int i = 0; i < link.PlayerCount && static_cast<size_t>(i) < link.PlayerRoster.size(); ++i) {
    const session::PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    keys.push_back({r.Name, r.PlayerId, r.Kind});
  }
  return keys;
}

RosterChanges CompareRosters(const std::vector<RosterKey>& before, const std::vector<RosterKey>& after) {
  auto has = [](const std::vector<RosterKey>& keys, const RosterKey& k) {
    return std::find(keys.begin(), keys.end(), k) != keys.end();
  };
  RosterChanges changes;
  for (const RosterKey& k : before) {
    if (!has(after, k)) changes.Left.push_back(k);
  }
  for (const RosterKey& k : after) {
    if (!has(before, k)) changes.Joined.push_back(k);
  }
  return changes;
}

}  // namespace skyvox::sim
