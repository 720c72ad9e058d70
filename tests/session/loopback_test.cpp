#include "session/loopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <regex>

namespace skyvox::session {
namespace {

DpSessionDesc Desc(const std::string& name, int32_t maxPlayers, int32_t flags,
                   const std::string& password = "") {
  return {name, 0, maxPlayers, flags, "", password};
}

DpMessage Msg(int32_t type) {
  DpMessage m;
  m.WriteLong(type);
  m.WriteLong(0);
  return m;
}

// The sessions as listed: "NAME current/max flags instance password".
std::vector<std::string> Listed(const std::vector<DpSessionDesc>& sessions) {
  std::vector<std::string> out;
  for (const auto& d : sessions) {
    out.push_back(d.SessionName + " " + std::to_string(d.CurrentPlayers) + "/" +
                  std::to_string(d.MaxPlayers) + " " + std::to_string(d.Flags) + " " + d.InstanceId + " " +
                  d.Password);
  }
  return out;
}

struct Net {
  explicit Net(uint64_t seed = 0) : hub(std::make_shared<LoopbackHub>(seed)), factory(hub) {}
  std::shared_ptr<LoopbackHub> hub;
  LoopbackFactory factory;

  std::unique_ptr<DirectPlay> Endpoint() {
    auto dp = factory.Create();
    dp->InitializeConnection("loopback");
    return dp;
  }
  // A host endpoint with a session of its own; returns the instance id.
  std::string Host(DirectPlay& dp, const DpSessionDesc& d) {
    dp.Open(d, kOpenCreate);
    return dp.CurrentSession().InstanceId;
  }
  void Join(DirectPlay& dp, const std::string& id, const std::string& password = "") {
    dp.Open({"", 0, 0, 0, id, password}, kOpenJoin);
  }
};

// A host and a pilot endpoint, both initialised.
class LoopbackSession : public ::testing::Test {
 protected:
  Net net;
  std::unique_ptr<DirectPlay> host = net.Endpoint(), pilot = net.Endpoint();
};

// Three endpoints in one session without player limit, each with one player.
class LoopbackTrio : public ::testing::Test {
 protected:
  LoopbackTrio() {
    id = net.Host(*a, Desc("S", 0, 0));
    net.Join(*b, id);
    net.Join(*c, id);
    pa = a->CreatePlayer("A", "");
    pb = b->CreatePlayer("B", "");
    pc = c->CreatePlayer("C", "");
  }
  Net net;
  std::unique_ptr<DirectPlay> a = net.Endpoint(), b = net.Endpoint(), c = net.Endpoint();
  std::string id;
  int32_t pa = 0, pb = 0, pc = 0;
};

TEST(LoopbackConnection, OneConnectionThatMustBeInitialisedFirst) {
  Net net;
  auto dp = net.factory.Create();
  const auto connections = dp->EnumConnections(kConnectionsDirectPlay);
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(connections[0].Name, "Loopback Connection For DirectPlay");
  EXPECT_THROW(dp->EnumSessions({}, 0, kEnumSessionsAvailable), DirectPlayError);
  EXPECT_THROW(dp->Open(Desc("S", 4, 0), kOpenCreate), DirectPlayError);
  EXPECT_THROW(dp->InitializeConnection("tcpip"), DirectPlayError);
  dp->InitializeConnection(connections[0].Address);
  EXPECT_TRUE(dp->EnumSessions({}, 0, kEnumSessionsAvailable).empty());
}

TEST_F(LoopbackSession, HostAndJoinGiveDistinctSequentialIdsAndOrderedRoster) {
  const std::string id = net.Host(*host, Desc("LOTHAIR", 4, kSessionKeepAlive | kSessionMigrateHost));
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex digits.
  EXPECT_TRUE(std::regex_match(id, std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})"))) << id;
  EXPECT_EQ(host->CreatePlayer("HOST", "Player"), 0x0F000001);

  EXPECT_EQ(Listed(pilot->EnumSessions({}, 0, kEnumSessionsAvailable)),
            std::vector<std::string>{"LOTHAIR 1/4 68 " + id + " "});  // flags 0x44

  net.Join(*pilot, id);
  EXPECT_EQ(pilot->CreatePlayer("N123", "Player"), 0x0F000002);
  EXPECT_EQ(host->CreatePlayer("HOST2", "Player"), 0x0F000003);
  const auto players = pilot->EnumPlayers(id, 0);
  ASSERT_EQ(players.size(), 3u);
  EXPECT_EQ(players[0].Name, "HOST");
  EXPECT_EQ(players[1].Name, "N123");
  EXPECT_EQ(players[2].Id, 0x0F000003);
  EXPECT_EQ(host->GetPlayerFriendlyName(0x0F000002), "N123");
  EXPECT_THROW(host->GetPlayerFriendlyName(0x0F000009), DirectPlayError);
  EXPECT_EQ(host->CurrentSession().CurrentPlayers, 3);
  EXPECT_THROW(pilot->EnumPlayers("{00000000-0000-0000-0000-000000000000}", 0), DirectPlayError);
}

TEST_F(LoopbackSession, InstanceIdsAreReproducibleFromTheSeed) {
  auto idFor = [](uint64_t seed, int sessions) {
    Net net(seed);
    std::vector<std::unique_ptr<DirectPlay>> hosts;
    std::string last;
    for (int i = 0; i < sessions; ++i) {
      hosts.push_back(net.Endpoint());
      last = net.Host(*hosts.back(), Desc("S", 0, 0));
    }
    return last;
  };
  EXPECT_EQ(idFor(7, 1), idFor(7, 1));
  EXPECT_NE(idFor(7, 1), idFor(8, 1));
  EXPECT_NE(idFor(7, 1), idFor(7, 2));
}

TEST_F(LoopbackSession, PasswordSessionsAreListedOnRequestAndNeedTheExactPassword) {
  const std::string open = net.Host(*host, Desc("OPEN", 8, kSessionKeepAlive));
  auto host2 = net.Endpoint();
  const std::string locked = net.Host(*host2, Desc("LOCKED", 8, kSessionKeepAlive, "secret"));

  ASSERT_EQ(pilot->EnumSessions({}, 0, kEnumSessionsAvailable).size(), 1u);
  // The password flag (0x440 = 1088) comes with the password, which is never revealed.
  EXPECT_EQ(Listed(pilot->EnumSessions({}, 0, kEnumSessionsPasswordRequired)),
            (std::vector<std::string>{"OPEN 0/8 64 " + open + " ", "LOCKED 0/8 1088 " + locked + " "}));

  EXPECT_THROW(net.Join(*pilot, locked, ""), DirectPlayError);
  EXPECT_THROW(net.Join(*pilot, locked, "Secret"), DirectPlayError);
  net.Join(*pilot, locked, "secret");
  pilot->Close();
  net.Join(*pilot, open, "anything");  // a session without password ignores the offered one
}

TEST_F(LoopbackSession, FullSessionRefusesJoinsAndPlayers) {
  auto third = net.Endpoint();
  const std::string id = net.Host(*host, Desc("SMALL", 2, 0));
  const int32_t hostPlayer = host->CreatePlayer("HOST", "Player");
  net.Join(*pilot, id);
  pilot->CreatePlayer("A", "Player");
  EXPECT_THROW(pilot->CreatePlayer("B", "Player"), DirectPlayError);
  EXPECT_THROW(net.Join(*third, id), DirectPlayError);
  EXPECT_TRUE(third->EnumSessions({}, 0, kEnumSessionsAvailable).empty());
  EXPECT_EQ(Listed(third->EnumSessions({}, 0, kEnumSessionsAll)),
            std::vector<std::string>{"SMALL 2/2 0 " + id + " "});

  host->DestroyPlayer(hostPlayer);
  EXPECT_THROW(net.Join(*third, "{no such session}"), DirectPlayError);
  net.Join(*third, id);
  EXPECT_THROW(net.Join(*third, id), DirectPlayError);  // already in it
}

TEST_F(LoopbackTrio, BroadcastSkipsTheSenderAndEachQueueIsFifoWithFromAndTo) {
  a->Send(pa, kAllPlayers, kSendGuaranteed, Msg(0x1001));
  b->Send(pb, pa, kSendGuaranteed, Msg(0x1003));
  a->Send(pa, pc, kSendGuaranteed, Msg(0x1023));
  EXPECT_EQ(a->GetMessageCount(pa), 1);
  EXPECT_EQ(b->GetMessageCount(pb), 1);
  EXPECT_EQ(c->GetMessageCount(pc), 2);

  DpReceived r = c->Receive(kReceiveAll);
  EXPECT_EQ(r.Message.ReadLong(), 0x1001);
  EXPECT_EQ(r.From, pa);
  EXPECT_EQ(r.To, pc);  // the receiving player, also for a broadcast
  r = c->Receive(kReceiveAll);
  EXPECT_EQ(r.Message.ReadLong(), 0x1023);
  EXPECT_EQ(r.Message.ReadLong(), 0);
  EXPECT_EQ(r.Message.Remaining(), 0u);
  EXPECT_THROW(c->Receive(kReceiveAll), DirectPlayError);
  EXPECT_EQ(a->Receive(kReceiveAll).From, pb);

  EXPECT_THROW(a->Send(pb, pc, kSendGuaranteed, Msg(1)), DirectPlayError);  // not a's player
  EXPECT_THROW(a->Send(pa, 0x0F0000FF, kSendGuaranteed, Msg(1)), DirectPlayError);
  EXPECT_THROW(a->Send(pa, pb, kSendGuaranteed, DpMessage()), DirectPlayError);
  a->Send(pa, pb, kSendGuaranteed, DpMessage(std::vector<uint8_t>(65536)));
  EXPECT_THROW(a->Send(pa, pb, kSendGuaranteed, DpMessage(std::vector<uint8_t>(65537))), DirectPlayError);
  EXPECT_THROW(a->GetMessageCount(pb), DirectPlayError);
  EXPECT_EQ(b->GetMessageCount(pb), 2);
}

TEST_F(LoopbackTrio, ReceiveTakesTheOldestAcrossLocalPlayers) {
  const int32_t a2 = a->CreatePlayer("A2", "");
  b->Send(pb, a2, kSendGuaranteed, Msg(1));
  c->Send(pc, pa, kSendGuaranteed, Msg(2));
  b->Send(pb, a2, kSendGuaranteed, Msg(3));
  for (auto [type, to] : {std::pair{1, a2}, {2, pa}, {3, a2}}) {
    DpReceived r = a->Receive(kReceiveAll);
    EXPECT_EQ(r.Message.ReadLong(), type);
    EXPECT_EQ(r.To, to);
  }
}

TEST_F(LoopbackTrio, QueueLimitRejectsTheSend) {
  const DpMessage m = Msg(0x1018);
  for (size_t i = 0; i < LoopbackHub::kMaxQueuedMessages; ++i) a->Send(pa, pb, kSendGuaranteed, m);
  EXPECT_THROW(a->Send(pa, pb, kSendGuaranteed, m), DirectPlayError);
  EXPECT_THROW(c->Send(pc, kAllPlayers, kSendGuaranteed, m), DirectPlayError);  // b is full: nobody gets it
  EXPECT_EQ(a->GetMessageCount(pa), 0);
  EXPECT_EQ(b->GetMessageCount(pb), 100000);
}

TEST_F(LoopbackTrio, QueueLimitCountsBroadcasts) {
  const DpMessage m = Msg(0x1018);
  c->Send(pc, pa, kSendGuaranteed, m);
  for (size_t i = 1; i < LoopbackHub::kMaxQueuedMessages; ++i) c->Send(pc, kAllPlayers, kSendGuaranteed, m);
  b->Receive(kReceiveAll);
  EXPECT_THROW(c->Send(pc, kAllPlayers, kSendGuaranteed, m), DirectPlayError);  // a is full
  EXPECT_THROW(b->Send(pb, pa, kSendGuaranteed, m), DirectPlayError);
  b->Send(pb, pc, kSendGuaranteed, m);
  a->Receive(kReceiveAll);
  c->Send(pc, kAllPlayers, kSendGuaranteed, m);
  EXPECT_EQ(a->GetMessageCount(pa), 100000);
  EXPECT_EQ(b->GetMessageCount(pb), 99999);
  EXPECT_EQ(c->GetMessageCount(pc), 1);
}

TEST_F(LoopbackTrio, GroupMembershipIsSharedAndGroupSendsReachOtherMembers) {
  const int32_t g = a->CreateGroup("FS61_REFUSE_PARAMS");
  const auto groups = b->EnumGroups(id, 0);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Id, g);
  EXPECT_EQ(groups[0].Name, "FS61_REFUSE_PARAMS");
  a->AddPlayerToGroup(g, pa);
  b->AddPlayerToGroup(g, pb);
  b->AddPlayerToGroup(g, pb);
  EXPECT_THROW(b->AddPlayerToGroup(g, 0x0F0000FF), DirectPlayError);
  EXPECT_THROW(b->AddPlayerToGroup(pc, pb), DirectPlayError);  // a player is not a group
  EXPECT_EQ(net.hub->Groups(id)[0].Members, (std::vector<int32_t>{pa, pb}));

  a->Send(pa, g, kSendGuaranteed, Msg(0x1023));
  EXPECT_EQ(a->GetMessageCount(pa), 0);
  EXPECT_EQ(b->GetMessageCount(pb), 1);
  EXPECT_EQ(c->GetMessageCount(pc), 0);
}

TEST_F(LoopbackTrio, DroppedPlayerVanishesAndItsEndpointCanNoLongerUseIt) {
  const int32_t g = a->CreateGroup("G");
  a->AddPlayerToGroup(g, pb);
  a->Send(pa, pb, kSendGuaranteed, Msg(1));
  b->Send(pb, pa, kSendGuaranteed, Msg(2));

  net.hub->DropPlayer(pb);
  ASSERT_EQ(a->EnumPlayers(id, 0).size(), 2u);
  EXPECT_TRUE(net.hub->Groups(id)[0].Members.empty());
  EXPECT_THROW(a->Send(pa, pb, kSendGuaranteed, Msg(3)), DirectPlayError);
  EXPECT_THROW(b->GetMessageCount(pb), DirectPlayError);
  EXPECT_THROW(b->Receive(kReceiveAll), DirectPlayError);
  EXPECT_THROW(b->Send(pb, pa, kSendGuaranteed, Msg(4)), DirectPlayError);
  // What it sent before the drop is still delivered, and its sender named until it is received.
  EXPECT_EQ(a->GetPlayerFriendlyName(pb), "B");
  EXPECT_EQ(a->Receive(kReceiveAll).From, pb);
  EXPECT_THROW(a->GetPlayerFriendlyName(pb), DirectPlayError);
  EXPECT_THROW(net.hub->DropPlayer(pb), DirectPlayError);
}

TEST_F(LoopbackTrio, EndedSessionFailsEveryEndpointUntilClosed) {
  net.hub->EndSession(id);
  EXPECT_TRUE(net.hub->Sessions().empty());
  for (DirectPlay* dp : {a.get(), b.get()}) {
    EXPECT_THROW(dp->CurrentSession(), DirectPlayError);
    EXPECT_THROW(dp->Receive(kReceiveAll), DirectPlayError);
    EXPECT_THROW(dp->EnumPlayers(id, 0), DirectPlayError);
    EXPECT_THROW(dp->EnumGroups(id, 0), DirectPlayError);
    EXPECT_THROW(dp->GetPlayerFriendlyName(pa), DirectPlayError);
  }
  EXPECT_THROW(a->GetMessageCount(pa), DirectPlayError);
  EXPECT_THROW(b->Send(pb, kAllPlayers, kSendGuaranteed, Msg(1)), DirectPlayError);
  EXPECT_THROW(b->DestroyPlayer(pb), DirectPlayError);
  a->Close();
  EXPECT_FALSE(net.Host(*a, Desc("AGAIN", 0, 0)).empty());
}

TEST_F(LoopbackSession, SessionOutlivesItsCreatorAndEndsWithItsLastEndpoint) {
  const std::string id = net.Host(*host, Desc("S", 0, 0));
  net.Join(*pilot, id);
  host->CreatePlayer("HOST", "");
  host->CreatePlayer("HOST2", "");
  const int32_t pp = pilot->CreatePlayer("P", "");
  host->Close();
  EXPECT_THROW(host->CurrentSession(), DirectPlayError);
  EXPECT_THROW(host->CreatePlayer("X", ""), DirectPlayError);
  const auto left = pilot->EnumPlayers(id, 0);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].Id, pp);

  pilot.reset();  // releasing the object leaves the session
  EXPECT_TRUE(net.hub->Sessions().empty());
}

// The hub against a plain model of its queues: each send copied into every addressee's queue, in
// order; Receive takes the oldest across the endpoint's players (the first player on a tie); a
// departed sender is named while the asking endpoint holds a message of its. Random joins,
// departures, group memberships, sends to all, to a player or to the group, and receives.
TEST(LoopbackModel, EveryQueueReadsAsItsOwnCopyOfEverySend) {
  struct Sent {
    std::vector<uint8_t> Bytes;
    int32_t From;
    uint64_t Order;
  };
  struct Player {
    int32_t Id;
    size_t Endpoint;
    std::deque<Sent> Queue;
  };
  Net net(7);
  std::vector<std::unique_ptr<DirectPlay>> ends;
  for (int i = 0; i < 4; ++i) ends.push_back(net.Endpoint());
  const std::string id = net.Host(*ends[0], Desc("S", 0, 0));
  for (int i = 1; i < 4; ++i) net.Join(*ends[static_cast<size_t>(i)], id);
  const int32_t group = ends[0]->CreateGroup("G");
  std::vector<Player> model;
  std::vector<int32_t> members, departed;
  uint64_t order = 0;
  std::mt19937 random(1);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto find = [&](int32_t player) {
    return std::find_if(model.begin(), model.end(), [&](const Player& p) { return p.Id == player; });
  };
  for (int step = 0; step < 30000; ++step) {
    const size_t op = pick(20);
    if (op == 0 || model.size() < 3) {
      const size_t e = pick(4);
      model.push_back({ends[e]->CreatePlayer("P" + std::to_string(step), ""), e, {}});
    } else if (op == 1 && model.size() > 4) {
      const auto p = model.begin() + static_cast<std::ptrdiff_t>(pick(model.size()));
      pick(2) == 0 ? net.hub->DropPlayer(p->Id) : ends[p->Endpoint]->DestroyPlayer(p->Id);
      std::erase(members, p->Id);
      departed.push_back(p->Id);
      model.erase(p);
    } else if (op == 2) {
      const int32_t p = model[pick(model.size())].Id;
      ends[0]->AddPlayerToGroup(group, p);
      if (std::find(members.begin(), members.end(), p) == members.end()) members.push_back(p);
    } else if (op < 13) {
      const Player& from = model[pick(model.size())];
      const size_t kind = pick(3);
      const int32_t to = kind == 0 ? kAllPlayers : kind == 1 ? model[pick(model.size())].Id : group;
      const std::vector<uint8_t> bytes(1 + pick(40), static_cast<uint8_t>(step));
      ends[from.Endpoint]->Send(from.Id, to, 0, DpMessage(bytes));
      for (const int32_t r : to == group ? members : std::vector<int32_t>{}) {
        if (r != from.Id) find(r)->Queue.push_back({bytes, from.Id, ++order});
      }
      for (Player& p : model) {
        if (to == p.Id || (to == kAllPlayers && p.Id != from.Id))
          p.Queue.push_back({bytes, from.Id, ++order});
      }
    } else {
      const size_t e = pick(4);
      Player* oldest = nullptr;
      for (Player& p : model) {
        if (p.Endpoint == e && !p.Queue.empty() && (!oldest || p.Queue[0].Order < oldest->Queue[0].Order))
          oldest = &p;
      }
      if (oldest == nullptr) {
        EXPECT_THROW(ends[e]->Receive(kReceiveAll), DirectPlayError);
        continue;
      }
      DpReceived r;
      if (pick(2) == 0) {
        r = ends[e]->Receive(kReceiveAll);
      } else {
        dynamic_cast<LoopbackDirectPlay&>(*ends[e]).ReceiveInPlace(
            1, [&](auto bytes, int32_t from, int32_t to) {
              r = {DpMessage({bytes.begin(), bytes.end()}), from, to};
            });
      }
      ASSERT_EQ(r.Message.Bytes(), oldest->Queue[0].Bytes) << step;
      ASSERT_EQ(std::pair(r.From, r.To), std::pair(oldest->Queue[0].From, oldest->Id)) << step;
      oldest->Queue.pop_front();
    }
    for (const Player& p : model) ASSERT_EQ(ends[p.Endpoint]->GetMessageCount(p.Id), p.Queue.size()) << step;
    if (departed.empty()) continue;
    const int32_t gone = departed[pick(departed.size())];
    const size_t e = pick(4);
    const bool waiting = std::any_of(model.begin(), model.end(), [&](const Player& p) {
      return p.Endpoint == e &&
             std::any_of(p.Queue.begin(), p.Queue.end(), [&](auto& m) { return m.From == gone; });
    });
    if (waiting) {
      EXPECT_EQ(ends[e]->GetPlayerFriendlyName(gone).substr(0, 1), "P") << step;
    } else {
      EXPECT_THROW(ends[e]->GetPlayerFriendlyName(gone), DirectPlayError) << step;
    }
  }
}

}  // namespace
}  // namespace skyvox::session
