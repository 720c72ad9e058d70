// The station's tick, which finds senders through the roster index, against the straightforward tick
// that scans the roster: two identical sessions get the same random streams of messages (announcements,
// reports, descriptions, chat commands, join requests, the host leaving, pilots leaving with messages
// still queued, truncated and unknown messages) and the same direct edits of the roster between ticks
// (duplicate names and ids, entries past PlayerCount, names changed in place). After every tick the
// whole rosters, the session flags, the message boxes and every message each peer received must match.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "session_fixture.h"

namespace skyvox::session {
namespace {
using skyvox::testing::LoopbackSession;
using skyvox::testing::Peer;

struct Side {
  Peer& At(size_t i) { return i % (peers.size() + 1) == 0 ? s.host : peers[i % (peers.size() + 1) - 1]; }
  std::vector<std::vector<uint8_t>> Inboxes() {  // every message waiting for each peer, whole
    std::vector<std::vector<uint8_t>> got;
    for (size_t i = 0; i <= peers.size(); ++i, got.emplace_back()) {
      try {
        while (At(i).dp->GetMessageCount(At(i).id) > 0)
          got.push_back(At(i).dp->Receive(kReceiveAll).Message.Bytes());
      } catch (const DirectPlayError&) {  // a peer that left
      }
    }
    return got;
  }
  LoopbackSession s;
  std::vector<Peer> peers;
};

DpMessage Message(std::initializer_list<int32_t> longs, const std::string& bytes, size_t cut) {
  DpMessage m;
  for (const int32_t v : longs) m.WriteLong(v);
  for (const char c : bytes) m.WriteByte(static_cast<uint8_t>(c));
  std::vector<uint8_t> b = m.Bytes();
  b.resize(std::max<size_t>(1, std::min(cut, b.size())));
  return DpMessage(b);
}

const char* const kNames[] = {"N1", "N2", "N1", "OBS", "AI_Controller"};
const char* const kChat[] = {"3",       "12",      "pst_fp:IFR,A,B,9000", "pst_fp:VFR",
                             "repeat:", "freeflt", "atcmsg:true",         "airpts:",
                             "x y",     " "};

struct Step {  // drawn once, played on both sides
  int kind, peer, a, b;
  size_t cut;
};

void Play(Side& side, const Step& st) {
  SessionLink& link = side.s.link;
  Peer& p = side.At(static_cast<size_t>(st.peer));
  const int32_t to = link.OwnPlayerId;
  const std::string text = kChat[st.a % 10];
  switch (st.kind) {
    case 0:
      side.peers.push_back(side.s.Join(kNames[st.a % 5]));
      return side.peers.back().Send(to, BuildAnnouncement(kPlayerAnnouncement, side.peers.back().id));
    case 1:
      return p.Send(to,
                    Message({st.b % 2 ? kObserverAnnouncement : kPlayerAnnouncement, 4, st.a}, "", st.cut));
    case 2:
      return p.Send(to, Message({st.b % 2 ? kPositionReport : kPositionReportWithSpeed, 0, 0, 0, 0, 0, 0,
                                 65536 * st.a, 0, st.b << 2, 5273337 + st.a, -1459240000, 1000, 0, 0},
                                "", st.cut));
    case 3:
      return p.Send(
          to, Message({kAircraftDescription, st.b % 8 ? 5 : 900}, std::string("\3\0B737\0", 7), st.cut));
    case 4:
      return p.Send(to, st.b % 8 ? BuildChatMessage(text) : Message({kChatText, 2 * st.a + 3}, text, st.cut));
    case 5:
      link.IsSessionHost = st.b % 2;
      return p.Send(to, BuildSimpleMessage(st.a % 2 ? kJoinAsPlayer : kJoinAsObserver));
    case 6:
      return p.Send(to, BuildSimpleMessage(st.a % 3 ? kIdentificationRequest : kHostLeft));
    case 7:
      if (p.id != side.s.host.id) side.s.hub->DropPlayer(p.id);  // its queued messages stay
      return;
    case 8:
      return p.Send(to, Message({st.a == 0 ? kRemovedByHost : 0x1000 + st.a % 40, st.b}, "", st.cut));
  }
  if (link.PlayerCount < 1) return;  // the roster changed by other code between ticks
  PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(st.a % link.PlayerCount)];
  const PlayerRecord& other = link.PlayerRoster[static_cast<size_t>(st.b % link.PlayerCount)];
  if (st.kind == 9) r.PlayerId = other.PlayerId, r.Name = other.Name;  // a duplicate
  if (st.kind == 10) r.Name = kNames[st.b % 5];
  if (st.kind == 11 && st.b % 2) link.PlayerCount -= 1;  // one entry left past the count
  if (st.kind == 11 && st.b % 2 == 0) link.PlayerRoster.push_back(other);
}

TEST(ReceiveLoopEquivalence, IndexedTickAnswersAsTheRosterScanOnRandomStreams) {
  // Joins first, then position reports most often; the steps that end a session (malformed messages, a
  // sender leaving, the host leaving an empty roster) seldom enough for the streams to run on.
  constexpr int kKinds[] = {0, 0, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 4, 4, 5, 6, 7, 8, 9, 9, 10, 11, 11};
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    Side fast, reference;
    fast.s.world.Corrected.On = reference.s.world.Corrected.On = seed % 2 == 0;
    std::mt19937 rng(seed);
    auto draw = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int tick = 0; tick < 30 && fast.s.events.closes == 0; ++tick) {
      for (int k = draw(12); k > 0; --k) {
        const Step st{tick == 0 ? 0 : kKinds[draw(24)], draw(8), draw(200), draw(600),
                      draw(15) ? SIZE_MAX : static_cast<size_t>(draw(60))};
        for (Side* side : {&fast, &reference}) {
          try {
            Play(*side, st);
          } catch (const DirectPlayError&) {  // a send from a peer that left
          }
        }
      }
      OnConnectionTimerTick(fast.s.link, fast.s.world, fast.s.events);
      OnConnectionTimerTickStraightforward(reference.s.link, reference.s.world, reference.s.events);
      const SessionLink &f = fast.s.link, &r = reference.s.link;
      SCOPED_TRACE("seed " + std::to_string(seed) + ", tick " + std::to_string(tick));
      ASSERT_EQ(f.PlayerCount, r.PlayerCount);
      ASSERT_TRUE(f.PlayerRoster == r.PlayerRoster);
      ASSERT_EQ(std::tie(f.SessionActive, f.IsSessionHost), std::tie(r.SessionActive, r.IsSessionHost));
      ASSERT_EQ(fast.s.events.boxes, reference.s.events.boxes);
      ASSERT_EQ(fast.s.events.closes, reference.s.events.closes);
      ASSERT_EQ(fast.Inboxes(), reference.Inboxes());
    }
  }
}

}  // namespace
}  // namespace skyvox::session
