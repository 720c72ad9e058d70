#include "sim/transcript.h"

#include <algorithm>
#include <cstdio>

#include "base/errors.h"
#include "base/text.h"
#include "session/messages.h"

namespace skyvox::sim {

std::string TimeStamp(int64_t timeMs) {
  const int64_t tenths = (std::max<int64_t>(timeMs, 0) + 50) / 100;
  char text[40];
  std::snprintf(text, sizeof text, "[%4lld.%lld]", static_cast<long long>(tenths / 10),
                static_cast<long long>(tenths % 10));
  return text;
}

std::string UnknownPlayerName(int32_t playerId) {
  char text[32];
  std::snprintf(text, sizeof text, "player 0x%08X", static_cast<unsigned>(playerId));
  return text;
}

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

std::string ChatTranscriptLine(const std::string& addressee, const std::string& text) {
  const bool copy = text.rfind(addressee + ", ", 0) != 0;
  return Cp1252ToUtf8(addressee) + (copy ? " (copy)" : "") + " <- " + Cp1252ToUtf8(text);
}

void ChatRecordingDirectPlay::Send(int32_t from, int32_t to, int32_t flags,
                                   const session::DpMessage& message) {
  ForwardingDirectPlay::Send(from, to, flags, message);
  if (!sink_) return;
  session::DpMessage copy(message.Bytes());
  try {
    if (copy.ReadLong() != session::kChatText) return;
    const int32_t count = copy.ReadLong();
    sink_(to, session::ReadText(copy, count));
  } catch (const FormatError&) {
    // Shorter than its header says: what was sent is not a chat line anyone could read.
  }
}

std::unique_ptr<session::DirectPlay> ChatRecordingFactory::Create() {
  return std::make_unique<ChatRecordingDirectPlay>(inner_.Create(), sink_);
}

}  // namespace skyvox::sim
