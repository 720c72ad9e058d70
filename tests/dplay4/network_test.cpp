// The network provider end to end on 127.0.0.1: a host and its peers as separate DirectPlay objects
// on one polled context, talking through real TCP and UDP sockets.
#include "dplay4/network.h"

#include <gtest/gtest.h>

#include <asio.hpp>

#include <chrono>
#include <random>
#include <thread>

#include "dplay4/network_fixture.h"
#include "dplay4/peer.h"

namespace skyvox::dplay4 {
namespace {

using session::DirectPlayError;
using session::DpSessionDesc;
using testing::NetworkSession;
using namespace std::chrono_literals;

// The reason an operation fails with, "" when it does not fail.
template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const DirectPlayError& e) {
    return e.what();
  }
  return "";
}

TEST_F(NetworkSession, SearchFindsTheSessionWithItsDescriptionAndPasswordRules) {
  Host("secret", 6);
  auto dp = Make();
  // A password session is listed only when the search includes them.
  EXPECT_TRUE(Search(*dp, session::kEnumSessionsAvailable).empty());
  auto found = dp->EnumSessions(DpSessionDesc{}, 0, session::kEnumSessionsPasswordRequired);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].SessionName, "Skyvox Test");
  EXPECT_EQ(found[0].CurrentPlayers, 1);
  EXPECT_EQ(found[0].MaxPlayers, 6);
  EXPECT_EQ(found[0].Flags, 0x444);  // keep-alive, migration, and the password flag set by the host
  EXPECT_EQ(found[0].InstanceId, host->CurrentSession().InstanceId);

  // The wrong password is refused by the host; the right one joins.
  found[0].Password = "wrong";
  EXPECT_EQ(ErrorOf([&] { dp->Open(found[0], session::kOpenJoin); }), "the host refused the password");
  found[0].Password = "secret";
  dp->Open(found[0], session::kOpenJoin);
  EXPECT_EQ(dp->CurrentSession().SessionName, "Skyvox Test");
}

TEST_F(NetworkSession, NoHostAnswersAndAFullSessionIsNotListed) {
  auto dp = Make();
  EXPECT_TRUE(Search(*dp, session::kEnumSessionsPasswordRequired).empty());
  Host("", 1);  // the host's own player fills it
  auto other = Make();
  EXPECT_TRUE(Search(*other, session::kEnumSessionsAvailable).empty());
  const auto full = other->EnumSessions(DpSessionDesc{}, 0, 2 /* all */);
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(ErrorOf([&] { other->Open(full[0], session::kOpenJoin); }), "the session is full");
}

// Each way a search or a join fails says why, in the user's words.
TEST_F(NetworkSession, FailuresSayTheirCause) {
  Host();
  NetworkOptions o = Options();
  o.ReplyTimeoutMs = 300;
  bool interrupted = false;
  o.Interrupted = [&] { return interrupted; };
  const std::string enumeration = std::to_string(ports.Enumeration);
  auto search = [&](NetworkDirectPlay& dp, const std::string& host) {
    dp.InitializeConnection(std::string(kTcpIpConnectionAddress) + ":" + host);
    return dp.EnumSessions(DpSessionDesc{}, 0, session::kEnumSessionsPasswordRequired);
  };
  NetworkDirectPlay dp(o, context);
  EXPECT_EQ(ErrorOf([&] { search(dp, "127.0.0.1:99999"); }), "not a port number: 99999");
  EXPECT_EQ(ErrorOf([&] { search(dp, "no host!"); }),
            "cannot find the host no host!: not a host name or IP address");
  interrupted = true;
  EXPECT_EQ(ErrorOf([&] { search(dp, "127.0.0.1:" + enumeration); }),
            "the user cancelled the session search");

  // A host that found itself gone between the search and the join: no answer, or the user gives up.
  interrupted = false;
  const auto found = search(dp, "127.0.0.1:" + enumeration);
  ASSERT_EQ(found.size(), 1u);
  host->Abandon();
  EXPECT_EQ(ErrorOf([&] { dp.Open(found[0], session::kOpenJoin); }), "the host did not answer within 0.3 s");
  interrupted = true;
  EXPECT_EQ(ErrorOf([&] { dp.Open(found[0], session::kOpenJoin); }), "the user cancelled the join");
}

TEST_F(NetworkSession, PlayersMessagesAndGroupsFlowBothWays) {
  const int32_t hostPlayer = Host();
  const int32_t group = host->CreateGroup("FS61_REFUSE_PARAMS");
  auto [pilot, pilotId] = Join("N123", "");
  Settle();

  // Names from the name table and from the creation message, system players left out.
  EXPECT_EQ(pilot->GetPlayerFriendlyName(hostPlayer), "HOST");
  EXPECT_EQ(host->GetPlayerFriendlyName(pilotId), "N123");
  const std::string instance = host->CurrentSession().InstanceId;
  EXPECT_EQ(host->EnumPlayers(instance, 0).size(), 2u);
  ASSERT_EQ(pilot->EnumGroups(instance, 0).size(), 1u);
  EXPECT_EQ(pilot->EnumGroups(instance, 0)[0].Name, "FS61_REFUSE_PARAMS");
  EXPECT_EQ(host->CurrentSession().CurrentPlayers, 2);

  // Guaranteed to one player, datagram to all, and a group send once the pilot is a member.
  pilot->Send(pilotId, hostPlayer, session::kSendGuaranteed, Text(0x1001, 1));
  pilot->Send(pilotId, session::kAllPlayers, 0, Text(0x1019, 2));
  host->Send(hostPlayer, pilotId, session::kSendGuaranteed, Text(0x1003, pilotId));
  pilot->AddPlayerToGroup(group, pilotId);
  Settle();
  host->Send(hostPlayer, group, session::kSendGuaranteed, Text(0x1023, 3));
  Settle();
  using Row = std::array<int32_t, 4>;
  EXPECT_EQ(Drain(*host, hostPlayer),
            (std::vector<Row>{{pilotId, hostPlayer, 0x1001, 1}, {pilotId, hostPlayer, 0x1019, 2}}));
  EXPECT_EQ(Drain(*pilot, pilotId),
            (std::vector<Row>{{hostPlayer, pilotId, 0x1003, pilotId},
                              {hostPlayer, pilotId, 0x1023, 3}}));  // To: the receiving player
  EXPECT_THROW(pilot->Receive(session::kReceiveAll), DirectPlayError);
  EXPECT_THROW(pilot->Send(hostPlayer, pilotId, 1, Text(1, 1)), DirectPlayError);  // not a local player
  EXPECT_THROW(pilot->GetPlayerFriendlyName(12345), DirectPlayError);
}

TEST_F(NetworkSession, AThirdMachineIsIntroducedAndPlayersThatLeaveAreDeleted) {
  const int32_t hostPlayer = Host();
  auto [a, aId] = Join("ALPHA");
  auto [b, bId] = Join("BRAVO");
  Settle();
  // ALPHA learnt of BRAVO's machine from the host and of its player from BRAVO itself.
  EXPECT_EQ(a->GetPlayerFriendlyName(bId), "BRAVO");
  b->Send(bId, session::kAllPlayers, session::kSendGuaranteed, Text(0x1023, 7));
  Settle();
  EXPECT_EQ(Drain(*a, aId).size(), 1u);
  EXPECT_EQ(Drain(*host, hostPlayer).size(), 1u);

  // BRAVO's last words are still queued at ALPHA when it leaves: they are delivered, and BRAVO named,
  // until received.
  b->Send(bId, aId, session::kSendGuaranteed, Text(0x1016, 8));
  b->Close();
  Settle();
  EXPECT_EQ(a->GetPlayerFriendlyName(bId), "BRAVO");
  EXPECT_EQ(a->Receive(session::kReceiveAll).From, bId);
  const std::string instance = host->CurrentSession().InstanceId;
  EXPECT_EQ(a->EnumPlayers(instance, 0).size(), 2u);
  EXPECT_EQ(host->EnumPlayers(instance, 0).size(), 2u);
  EXPECT_THROW(a->GetPlayerFriendlyName(bId), DirectPlayError);
}

// Datagrams that follow one another are collected in batches: all of them reach the player, in order,
// whether the batch's end takes them or the next operation does.
TEST_F(NetworkSession, DatagramsThatFollowEachOtherAllArriveInOrder) {
  const int32_t hostPlayer = Host();
  auto [pilot, pilotId] = Join("N1");
  Settle();
  for (const bool waitForTheBatch : {true, false}) {
    std::vector<std::array<int32_t, 4>> sent;
    for (int32_t i = 0; i < 40; ++i) {
      pilot->Send(pilotId, hostPlayer, 0, Text(0x1019, i));
      sent.push_back({pilotId, hostPlayer, 0x1019, i});
      if (i == 0) PollNetworkFor(*context, 1);  // the first one opens a batch
    }
    std::this_thread::sleep_for(2ms);  // for the loopback to deliver
    if (waitForTheBatch) Settle();
    EXPECT_EQ(Drain(*host, hostPlayer), sent);
  }
}

TEST_F(NetworkSession, TheOldestPeerTakesOverWhenTheHostLeavesAndAdmitsNewMachines) {
  Host();
  auto [station, stationId] = Join("AI_Controller");
  auto [pilot, pilotId] = Join("N1");
  Settle();
  EXPECT_EQ(station->SearchAddress(), std::nullopt);
  host->Close();
  host.reset();
  Settle(300);
  EXPECT_TRUE(station->IsNameServer());
  EXPECT_FALSE(pilot->IsNameServer());
  // Searches reach it where it found the session, at the address the others know it by.
  EXPECT_EQ(station->SearchAddress(), "127.0.0.1:" + std::to_string(ports.Enumeration));

  // A newcomer finds the session at the new name server and joins through it.
  auto [late, lateId] = Join("N2");
  Settle();
  EXPECT_EQ(station->GetPlayerFriendlyName(lateId), "N2");
  EXPECT_EQ(pilot->GetPlayerFriendlyName(lateId), "N2");
  late->Send(lateId, session::kAllPlayers, session::kSendGuaranteed, Text(0x1001, 0));
  Settle();
  EXPECT_EQ(Drain(*station, stationId).size(), 1u);
  EXPECT_EQ(Drain(*pilot, pilotId).size(), 1u);
}

TEST_F(NetworkSession, KeepAliveRemovesAMachineThatVanishedAndTellsTheOthers) {
  Host();
  auto [pilot, pilotId] = Join("N1");
  auto [other, otherId] = Join("N2");
  Settle();
  const std::string instance = host->CurrentSession().InstanceId;
  ASSERT_EQ(other->EnumPlayers(instance, 0).size(), 3u);
  pilot->Abandon();
  Settle(1000);  // three missed pings at 100 ms
  EXPECT_EQ(host->EnumPlayers(instance, 0).size(), 2u);
  EXPECT_EQ(other->EnumPlayers(instance, 0).size(), 2u);
  EXPECT_THROW(other->GetPlayerFriendlyName(pilotId), DirectPlayError);
  EXPECT_EQ(other->GetPlayerFriendlyName(otherId), "N2");
}

TEST_F(NetworkSession, ASessionWithoutMigrationEndsForThePeersWhenTheHostLeaves) {
  host = Make();
  host->InitializeConnection(kTcpIpConnectionAddress);
  DpSessionDesc desc;
  desc.SessionName = "No migration";
  desc.Flags = session::kSessionKeepAlive;
  host->Open(desc, session::kOpenCreate);
  host->CreatePlayer("HOST", "Player");
  auto [pilot, pilotId] = Join("N1");
  host->Close();
  Settle();
  EXPECT_THROW(pilot->GetMessageCount(pilotId), DirectPlayError);
}

// A sender cannot hold a connection with a message that never ends: the limit runs from the message's
// first byte, whatever trickles in after it, and starts again with each new message.
TEST_F(NetworkSession, AMessageLeftIncompleteClosesItsConnectionAtTheLimitFromItsFirstByte) {
  std::vector<std::string> log;
  adjust = [&](NetworkOptions& o) {
    o.PartialMessageTimeoutMs = 1000;
    o.Log = [&](const std::string& line) { log.push_back(line); };
  };
  Host();
  const auto closed = [&] {
    return std::any_of(log.begin(), log.end(),
                       [](const std::string& l) { return l.ends_with("a message stayed incomplete"); });
  };
  asio::io_context io;
  asio::ip::tcp::socket sender(io);
  sender.connect({asio::ip::make_address_v4("127.0.0.1"), host->StreamPort()});
  const std::vector<uint8_t> message = Frame(SockAddr{}, std::vector<uint8_t>(500, 0));
  const auto send = [&](size_t from, size_t count) {
    asio::write(sender, asio::buffer(&message[from], count));
  };

  // A message spread over 0.6 s, then the start of the next one: 1.2 s since the first's first byte.
  send(0, 100);
  Settle(600);
  send(100, message.size() - 100);
  send(0, 100);
  Settle(600);
  EXPECT_FALSE(closed());
  // The rest of it a byte every 50 ms: the connection closes all the same.
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 100; i < message.size() && !closed() && std::chrono::steady_clock::now() - start < 3s;
       ++i) {
    send(i, 1);
    Settle(50);
  }
  ASSERT_TRUE(closed());
  std::array<uint8_t, 16> buffer;
  asio::error_code error;
  sender.read_some(asio::buffer(buffer), error);
  EXPECT_EQ(error, asio::error::eof);
}

TEST_F(NetworkSession, CancellingTheAddressQuestionFailsTheSearch) {
  NetworkOptions o = Options();
  o.AskHostAddress = [] { return std::optional<std::string>(); };
  NetworkDirectPlay dp(o, context);
  dp.InitializeConnection(kTcpIpConnectionAddress);
  EXPECT_THROW(dp.EnumSessions(DpSessionDesc{}, 0, 1), DirectPlayError);
  EXPECT_THROW(dp.InitializeConnection("modem"), DirectPlayError);
}

}  // namespace
}  // namespace skyvox::dplay4
