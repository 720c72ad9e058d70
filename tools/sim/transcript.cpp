#include "sim/transcript.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

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

RosterChanges CompareRostersStraightforward(const std::vector<RosterKey>& before,
                                            const std::vector<RosterKey>& after) {
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

namespace {

// The keys of a roster, looked up by id first (ids are nearly always unique).
class KeySet {
 public:
  explicit KeySet(const std::vector<RosterKey>& keys) {
    byId_.reserve(keys.size());
    for (const RosterKey& k : keys) byId_.emplace(k.Id, &k);
  }
  bool Has(const RosterKey& k) const {
    const auto [first, last] = byId_.equal_range(k.Id);
    return std::any_of(first, last, [&](const auto& entry) { return *entry.second == k; });
  }

 private:
  std::unordered_multimap<int32_t, const RosterKey*> byId_;
};

}  // namespace

RosterChanges CompareRosters(const std::vector<RosterKey>& before, const std::vector<RosterKey>& after) {
  RosterChanges changes;
  const KeySet inBefore(before), inAfter(after);
  for (const RosterKey& k : before) {
    if (!inAfter.Has(k)) changes.Left.push_back(k);
  }
  for (const RosterKey& k : after) {
    if (!inBefore.Has(k)) changes.Joined.push_back(k);
  }
  return changes;
}

bool RosterMatches(const std::vector<RosterKey>& keys, const session::SessionLink& link) {
  const size_t n =
      link.PlayerCount <= 0 ? 0 : std::min(static_cast<size_t>(link.PlayerCount), link.PlayerRoster.size());
  if (keys.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    const session::PlayerRecord& r = link.PlayerRoster[i];
    if (keys[i].Id != r.PlayerId || keys[i].Name != r.Name || keys[i].Kind != r.Kind) return false;
  }
  return true;
}

}  // namespace skyvox::sim
