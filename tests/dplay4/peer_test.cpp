// The peer without sockets: what it sends for what it receives, from a host's and a joined machine's
// point of view, including the answers that protect the session from strangers.
#include "dplay4/peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace skyvox::dplay4 {
namespace {

struct Sent {
  bool Stream = false;
  Address To;
  uint16_t Command = 0;  // 0 for a player message
  std::vector<uint8_t> Body;
};

struct RecordingTransport : Transport {
  std::vector<Sent> sent;
  bool listening = false;
  void SendStream(const Address& to, std::vector<uint8_t> m) override { Note(true, to, Unframe(m).Body); }
  void SendDatagram(const Address& to, std::vector<uint8_t> d) override {
    if (d.size() >= 24 && IsSystemMessage(Bytes(d).subspan(20))) {
      Note(false, to, Unframe(d).Body);
    } else {
      Note(false, to, d);
    }
  }
  void BroadcastDatagram(uint16_t port, std::vector<uint8_t> d) override {
    SendDatagram({{255, 255, 255, 255}, port}, d);
  }
  bool ListenForEnumerations(bool on) override { return listening = on, true; }
  void Note(bool stream, const Address& to, Bytes body) {
    sent.push_back({stream, to, IsSystemMessage(body) ? DecodeEnvelope(body).Command : uint16_t(0),
                    std::vector<uint8_t>(body.begin(), body.end())});
  }
  std::vector<Sent> Take() { return std::exchange(sent, {}); }
};

constexpr Ip kHostIp = {10, 0, 0, 1};
constexpr Ip kOtherIp = {10, 0, 0, 2};

std::vector<uint8_t> From(uint16_t port, const std::vector<uint8_t>& body) {
  SockAddr a;
  a.Port = port;
  return Frame(a, body);
}

PeerConfig Config() {
  PeerConfig c;
  c.StreamPort = 2350;
  c.DatagramPort = 2351;
  c.IdKey = 0;
  c.PingIntervalMs = 1000;
  c.MissedPingsLimit = 2;
  return c;
}

// Joins a session at 10.0.0.1 with a third machine at 10.0.0.2, each with a player; the host also
// has a group.
void JoinSession(Peer& peer, RecordingTransport& net) {
  FoundSession s;
  s.Desc.Flags = 0x44;
  s.NameServer = {kHostIp, 2300};
  peer.StartJoin(s, u"pw");
  auto sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Command, kRequestPlayerId);
  EXPECT_EQ(RequestPlayerId::Decode(sent[0].Body).Flags, 0x9u);

  RequestPlayerReply id;
  id.Id = 0x30003;
  peer.OnStreamMessage(kHostIp, From(2300, id.Encode()));
  sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  const PlayerCreation request = PlayerCreation::Decode(sent[0].Body);
  EXPECT_EQ(request.Command, kAddForwardRequest);
  EXPECT_EQ(request.Player.Flags, 0x9u);
  EXPECT_EQ(request.Password, u"pw");
  EXPECT_EQ(ProviderAddresses::Decode(request.Player.ProviderData).Datagram.Port, 2351);

  SuperEnumPlayersReply table;
  table.Desc.Flags = 0x44;
  table.Name = u"S";
  SuperPackedPlayer host;
  host.Flags = 0x7;
  host.Id = 0x10000;
  host.VersionOrSystemPlayerId = 11;
  SockAddr hostAddress;  // 0.0.0.0: the address the table came from
  hostAddress.Port = 2300;
  host.ProviderData = ProviderAddresses{hostAddress, hostAddress}.Encode();
  SuperPackedPlayer other = host;
  other.Flags = 0x5;
  other.Id = 0x20001;
  SockAddr otherAddress;
  otherAddress.Address = kOtherIp;
  otherAddress.Port = 2310;
  other.ProviderData = ProviderAddresses{otherAddress, otherAddress}.Encode();
  SuperPackedPlayer hostPlayer;
  hostPlayer.Id = 0x40004;
  hostPlayer.ShortName = u"HOST";
  hostPlayer.VersionOrSystemPlayerId = 0x10000;
  table.Players = {host, other, hostPlayer};
  SuperPackedPlayer group;
  group.Id = 0x80008;
  group.VersionOrSystemPlayerId = 0x10000;
  table.Groups = {group};
  peer.OnStreamMessage(kHostIp, From(2300, table.Encode()));
  ASSERT_EQ(peer.Phase(), JoinPhase::Joined);
  net.Take();
}

struct JoinedPeer : ::testing::Test {
  RecordingTransport net;
  Peer peer{net, Config()};
  void SetUp() override { JoinSession(peer, net); }
};

TEST_F(JoinedPeer, TheNameTableGivesEveryMachineItsAddress) {
  EXPECT_EQ(peer.Table().at(0x10000).Stream, (Address{kHostIp, 2300}));
  EXPECT_EQ(peer.Table().at(0x20001).Datagram, (Address{kOtherIp, 2310}));
  EXPECT_EQ(peer.Table().at(0x40004).SystemPlayerId, 0x10000u);
  EXPECT_FALSE(peer.IsNameServer());

  // A player message to all goes once to each other machine, by UDP when not guaranteed.
  peer.CreateLocalPlayer(0x50005, u"AI_Controller", u"Player");
  net.Take();
  const std::vector<uint8_t> payload = {1, 2, 3};
  peer.SendPlayerMessage(0x50005, 0, false, payload);
  auto sent = net.Take();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[0].Stream);
  EXPECT_EQ(sent[0].To, (Address{kHostIp, 2300}));
  EXPECT_EQ(sent[1].To, (Address{kOtherIp, 2310}));
  EXPECT_EQ(PlayerMessage::Decode(sent[0].Body), (PlayerMessage{0x50005, 0, payload}));
}

TEST_F(JoinedPeer, PlayersComeAndGoAndMessagesFromStrangersAreDropped) {
  peer.CreateLocalPlayer(0x50005, u"AI_Controller", u"Player");
  PlayerCreation create;
  create.Command = kCreatePlayerVerify;
  create.PlayerId = 0x60006;
  create.Player.PlayerId = 0x60006;
  create.Player.ShortName = u"N1";
  create.Player.SystemPlayerId = 0x20001;
  peer.OnStreamMessage(kOtherIp, From(2310, create.Encode()));
  peer.OnStreamMessage(kOtherIp, From(2310, create.Encode()));  // twice: still one player
  create.PlayerId = create.Player.PlayerId = 0x70007;
  create.Player.SystemPlayerId = 0x99999;  // a machine not in the session
  peer.OnStreamMessage(kOtherIp, From(2310, create.Encode()));
  EXPECT_EQ(peer.NonSystemPlayers(), 3u);
  EXPECT_FALSE(peer.Table().count(0x70007));

  peer.OnDatagram(kOtherIp, PlayerMessage{0x60006, 0, {9}}.Encode());
  peer.OnDatagram(kOtherIp, PlayerMessage{0x70007, 0, {8}}.Encode());        // unknown sender
  peer.OnDatagram(kOtherIp, PlayerMessage{0x60006, 0x40004, {7}}.Encode());  // not for us
  ASSERT_EQ(peer.Queue().size(), 1u);
  EXPECT_EQ(peer.Queue().front().To, 0x50005u);

  // The machine leaves: its player goes with it, named only while its queued message waits.
  PlayerGroupChange del{kDeletePlayer, 11, 0, 0x20001, 0, 0, 0};
  peer.OnStreamMessage(kOtherIp, From(2310, del.Encode()));
  EXPECT_FALSE(peer.Table().count(0x60006));
  EXPECT_EQ(peer.DepartedName(0x60006), u"N1");
  EXPECT_EQ(peer.QueuedBytes(), 1u);
  EXPECT_EQ(peer.TakeFront().Payload, std::vector<uint8_t>{9});
  EXPECT_EQ(peer.QueuedBytes(), 0u);  // the bound on queued bytes counts only what still waits
  EXPECT_EQ(peer.DepartedName(0x60006), std::nullopt);
  EXPECT_TRUE(peer.InSession());
}

TEST_F(JoinedPeer, KeepAlivePingsQuietMachinesAndAnswersPings) {
  Ping ping{kPing, 11, 0x20001, 1234};
  peer.OnDatagram(kOtherIp, From(2310, ping.Encode()));
  auto sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Command, kPingReply);
  EXPECT_EQ(sent[0].To, (Address{kOtherIp, 2310}));
  EXPECT_EQ(Ping::Decode(sent[0].Body).TickCount, 1234u);

  peer.Tick(1000);  // both machines silent for an interval: one ping each
  sent = net.Take();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Command, kPing);
  EXPECT_EQ(Ping::Decode(sent[0].Body).IdFrom, 0x30003u);

  // The other machine answers; the host never does and is gone after two misses. Migration makes
  // the lowest remaining system player the name server: the other machine (0x20001), not us.
  SockAddr hostAddress;  // a stranger that names the host's address in its header does not keep it alive
  hostAddress.Address = kHostIp;
  hostAddress.Port = 2300;
  for (int64_t t = 2000; t <= 4000; t += 1000) {
    peer.OnDatagram(kOtherIp, From(2310, Ping{kPingReply, 11, 0x30003, 0}.Encode()));
    peer.OnDatagram({10, 0, 0, 9}, Frame(hostAddress, Ping{kPingReply, 11, 0x30003, 0}.Encode()));
    peer.Tick(t);
  }
  EXPECT_FALSE(peer.Table().count(0x10000));
  EXPECT_FALSE(peer.Table().count(0x40004));
  EXPECT_TRUE(peer.InSession());
  EXPECT_FALSE(peer.IsNameServer());

  IAmNameServer ns;
  ns.IdHost = 0x20001;
  ns.Flags = 0x7;
  peer.OnStreamMessage(kOtherIp, From(2310, ns.Encode()));
  EXPECT_TRUE(peer.Table().at(0x20001).Flags & kPlayerNameServer);
  // From now on the new name server alone may remove us; the old host's address has no say.
  peer.OnStreamMessage(kHostIp, From(2300, EncodeYouAreDead(11)));
  EXPECT_TRUE(peer.InSession());
  peer.OnStreamMessage(kOtherIp, From(2310, EncodeYouAreDead(11)));
  EXPECT_FALSE(peer.InSession());
}

// Another machine's claim to be the name server counts only once the name server we know has left or
// stopped answering; before, it would let any machine of the session remove the others. A claim that
// comes just before the name server's departure counts at the departure, from the machine the
// election picks.
TEST_F(JoinedPeer, AClaimToBeTheNameServerWaitsForItsHolderToGo) {
  IAmNameServer claim{11, 0, 0x20001, 0x7, {}};
  const auto youAreDead = From(2310, EncodeYouAreDead(11));
  peer.OnStreamMessage(kOtherIp, From(2310, claim.Encode()));
  EXPECT_TRUE(peer.Table().at(0x10000).Flags & kPlayerNameServer);
  EXPECT_FALSE(peer.Table().at(0x20001).Flags & kPlayerNameServer);
  peer.OnStreamMessage(kOtherIp, youAreDead);
  EXPECT_TRUE(peer.InSession());
  peer.OnStreamMessage(kHostIp,
                       From(2300, PlayerGroupChange{kDeletePlayer, 11, 0, 0x10000, 0, 0, 0}.Encode()));
  EXPECT_TRUE(peer.Table().at(0x20001).Flags & kPlayerNameServer);
  peer.OnStreamMessage(kOtherIp, youAreDead);
  EXPECT_FALSE(peer.InSession());
}

TEST_F(JoinedPeer, AClaimCountsAtOnceWhenTheNameServerStoppedAnswering) {
  // Both machines quiet: pinged every interval; only the other one answers. A ping not answered yet
  // does not make a name server silent; the next one does.
  const auto claim = From(2310, IAmNameServer{11, 0, 0x20001, 0x7, {}}.Encode());
  for (int64_t t = 1000; t <= 2000; t += 1000) {
    EXPECT_TRUE(peer.Table().at(0x10000).Flags & kPlayerNameServer);
    peer.Tick(t);
    peer.OnDatagram(kOtherIp, From(2310, Ping{kPingReply, 11, 0x30003, 0}.Encode()));
    peer.OnStreamMessage(kOtherIp, claim);
  }
  EXPECT_TRUE(peer.Table().at(0x20001).Flags & kPlayerNameServer);
  EXPECT_FALSE(peer.Table().at(0x10000).Flags & kPlayerNameServer);
}

// Who may end or narrow a machine's part in the session: each message is ignored (and logged) from a
// stranger's address, over UDP, and from machines of the session that have no say over it; from the
// machine entitled to it, over TCP, it takes effect.
// What the network can make a joined peer hold is bounded: queued messages by count and by bytes, and
// the name table by entries. Past a bound what comes in is dropped; the session goes on.
TEST_F(JoinedPeer, BoundsDropWhatWouldExceedThem) {
  peer.CreateLocalPlayer(0x50005, u"AI_Controller", u"Player");
  for (size_t i = 0; i <= Peer::kMaxQueuedMessages; ++i) {
    peer.OnDatagram(kHostIp, PlayerMessage{0x40004, 0x50005, {1}}.Encode());
  }
  EXPECT_EQ(peer.Queue().size(), Peer::kMaxQueuedMessages);
  while (!peer.Queue().empty()) peer.TakeFront();

  const std::vector<uint8_t> halfMebibyte(1 << 19, 7);
  for (size_t i = 0; i <= Peer::kMaxQueuedBytes / halfMebibyte.size(); ++i) {
    peer.OnStreamMessage(kHostIp, From(2300, PlayerMessage{0x40004, 0x50005, halfMebibyte}.Encode()));
  }
  EXPECT_EQ(peer.QueuedBytes(), Peer::kMaxQueuedBytes);

  PlayerCreation create;
  create.Command = kCreatePlayer;
  create.Player.SystemPlayerId = 0x20001;
  for (uint32_t id = 0x100000; peer.Table().size() < Peer::kMaxTableEntries + 1 && id < 0x200000; ++id) {
    create.PlayerId = create.Player.PlayerId = id;
    peer.OnStreamMessage(kOtherIp, From(2310, create.Encode()));
  }
  EXPECT_EQ(peer.Table().size(), Peer::kMaxTableEntries);
  EXPECT_TRUE(peer.InSession());
}

TEST(JoinedPeerRules, OnlyTheEntitledMachineChangesOurPartInTheSession) {
  constexpr Ip kStrangerIp = {10, 0, 0, 9};
  struct Via {
    Ip Source;
    bool Tcp = true;
  };
  struct Rule {
    const char* What;
    std::vector<uint8_t> Body;
    Via Entitled;
    std::vector<Via> Others;  // machines of the session without a say, besides the stranger and UDP
    std::function<bool(const Peer&)> TookEffect;
  };
  const Via host{kHostIp}, other{kOtherIp};
  const auto lost = [](const Peer& p) { return !p.InSession(); };
  const auto gone = [](uint32_t id) { return [id](const Peer& p) { return !p.Table().count(id); }; };
  const auto change = [](uint16_t command, uint32_t player, uint32_t group) {
    return PlayerGroupChange{command, 11, 0, player, group, 0, 0}.Encode();
  };
  SessionDescChanged desc;
  desc.Desc.Flags = 0x44;
  desc.Name = u"Renamed";
  PlayerCreation create;
  create.PlayerId = create.Player.PlayerId = 0x70007;
  create.Player.SystemPlayerId = 0x20001;
  PlayerNameChanged rename{11, 0, 0x60006, u"X1", std::nullopt};
  const auto members = [](const Peer& p) { return p.Table().at(0x80008).Members; };
  const std::vector<Rule> rules = {
      {"YOUAREDEAD", EncodeYouAreDead(11), host, {other}, lost},
      {"our system player's deletion", change(kDeletePlayer, 0x30003, 0), host, {other}, lost},
      {"our player's deletion", change(kDeletePlayer, 0x50005, 0), host, {other}, lost},
      {"another machine's player deleted", change(kDeletePlayer, 0x60006, 0), other, {}, gone(0x60006)},
      {"the name server deletes any player", change(kDeletePlayer, 0x60006, 0), host, {}, gone(0x60006)},
      {"a machine leaves", change(kDeletePlayer, 0x20001, 0), other, {}, gone(0x20001)},
      {"the host's player deleted", change(kDeletePlayer, 0x40004, 0), host, {other}, gone(0x40004)},
      {"SESSIONDESCCHANGED",
       desc.Encode(),
       host,
       {other},
       [](const Peer& p) { return p.SessionName() == u"Renamed"; }},
      {"CREATEPLAYER",
       create.Encode(),
       other,
       {},
       [](const Peer& p) { return p.Table().count(0x70007) > 0; }},
      {"PLAYERNAMECHANGED",
       rename.Encode(),
       other,
       {},
       [](const Peer& p) { return p.Table().at(0x60006).ShortName == u"X1"; }},
      {"DELETEPLAYERFROMGROUP",
       change(kDeletePlayerFromGroup, 0x50005, 0x80008),
       host,
       {other},
       [&](const Peer& p) { return members(p).empty(); }},
      {"ADDPLAYERTOGROUP by the player's machine",
       change(kAddPlayerToGroup, 0x60006, 0x80008),
       other,
       {},
       [&](const Peer& p) { return members(p).size() == 2; }},
      {"DELETEGROUP", change(kDeleteGroup, 0, 0x80008), host, {other}, gone(0x80008)},
      {"a player message",
       PlayerMessage{0x40004, 0x50005, {1}}.Encode(),
       {kHostIp, false},
       {other},
       [](const Peer& p) { return p.Queue().size() == 1; }},
  };
  for (const Rule& rule : rules) {
    SCOPED_TRACE(rule.What);
    RecordingTransport net;
    std::vector<std::string> log;
    PeerConfig config = Config();
    config.Log = [&](const std::string& line) { log.push_back(line); };
    Peer peer(net, config);
    JoinSession(peer, net);
    peer.CreateLocalPlayer(0x50005, u"AI_Controller", u"Player");
    peer.AddPlayerToGroup(0x80008, 0x50005);
    PlayerCreation theirs;
    theirs.Command = kCreatePlayer;
    theirs.PlayerId = theirs.Player.PlayerId = 0x60006;
    theirs.Player.SystemPlayerId = 0x20001;
    peer.OnStreamMessage(kOtherIp, From(2310, theirs.Encode()));
    ASSERT_TRUE(peer.Table().count(0x60006));

    const bool player = !IsSystemMessage(rule.Body);
    const auto deliver = [&](const Via& via) {
      if (via.Tcp) {
        peer.OnStreamMessage(via.Source, From(2300, rule.Body));
      } else {
        peer.OnDatagram(via.Source, player ? rule.Body : From(2300, rule.Body));
      }
    };
    std::vector<Via> ignored = rule.Others;
    ignored.push_back({kStrangerIp, true});
    ignored.push_back({kStrangerIp, false});
    if (!player) ignored.push_back({rule.Entitled.Source, false});
    log.clear();
    for (const Via& via : ignored) deliver(via);
    EXPECT_FALSE(rule.TookEffect(peer));
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& l) { return l.starts_with("ignored "); }),
              static_cast<long>(ignored.size()));
    deliver(rule.Entitled);
    EXPECT_TRUE(rule.TookEffect(peer));
  }
}

// A machine announced by the host while our own name table is still on its way is acknowledged at
// once (the host waits for that) and kept.
// A machine that answers a search with more sessions than a search keeps, or with the session another
// address answered for, neither crowds out nor takes over the others' sessions.
TEST(SearchingPeer, OneAddressCannotCrowdOutOrTakeOverTheSessionsOfOthers) {
  RecordingTransport net;
  Peer peer(net, Config());
  EnumSessionsReply decoy{11, {}, u"Decoy"};
  for (uint32_t i = 0; i <= Peer::kMaxFoundSessions; ++i) {
    decoy.Desc.Instance.Bytes[0] = static_cast<uint8_t>(i);
    decoy.Desc.Instance.Bytes[1] = static_cast<uint8_t>(i >> 8);
    peer.OnStreamMessage(kOtherIp, From(2300, decoy.Encode()));
  }
  EnumSessionsReply real{11, {}, u"Real"};
  real.Desc.Instance.Bytes[15] = 1;
  peer.OnStreamMessage(kHostIp, From(2300, real.Encode()));
  decoy.Desc.Instance = real.Desc.Instance;
  peer.OnStreamMessage(kOtherIp, From(2300, decoy.Encode()));
  ASSERT_EQ(peer.Found().size(), Peer::kMaxFoundSessionsPerAddress + 1);
  EXPECT_EQ(peer.Found().back().Name, u"Real");
  EXPECT_EQ(peer.Found().back().NameServer, (Address{kHostIp, 2300}));
}

TEST(JoiningPeer, AcknowledgesAMachineThatJoinsAtTheSameTime) {
  RecordingTransport net;
  Peer peer(net, Config());
  FoundSession s;
  s.NameServer = {kHostIp, 2300};
  peer.StartJoin(s, u"");
  RequestPlayerReply id;
  id.Id = 0x30003;
  peer.OnStreamMessage(kHostIp, From(2300, id.Encode()));
  net.Take();

  PlayerCreation forward;
  forward.Command = kAddForward;
  forward.PlayerId = forward.Player.PlayerId = forward.Player.SystemPlayerId = 0x50004;
  forward.Player.Flags = kPlayerSystem;
  SockAddr other;
  other.Address = kOtherIp;
  other.Port = 2320;
  forward.Player.ProviderData = ProviderAddresses{other, other}.Encode();
  peer.OnStreamMessage(kHostIp, From(2300, forward.Encode()));
  auto sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].To, (Address{kHostIp, 2300}));
  EXPECT_EQ(SingleValue::Decode(sent[0].Body), (SingleValue{kAddForwardAck, 11, 0x50004}));

  SuperEnumPlayersReply table;  // sent before the host knew of the other machine
  SuperPackedPlayer host;
  host.Flags = 0x7;
  host.Id = 0x10000;
  host.VersionOrSystemPlayerId = 11;
  table.Players = {host};
  peer.OnStreamMessage(kOtherIp, From(2300, table.Encode()));  // not from the host we join
  EXPECT_EQ(peer.Phase(), JoinPhase::WaitingForNameTable);
  peer.OnStreamMessage(kHostIp, From(2300, table.Encode()));
  ASSERT_EQ(peer.Phase(), JoinPhase::Joined);
  EXPECT_EQ(peer.Table().at(0x50004).Stream, (Address{kOtherIp, 2320}));

  // A machine that joined the host through its loopback address is on the host's machine.
  forward.PlayerId = forward.Player.PlayerId = forward.Player.SystemPlayerId = 0x60005;
  other.Address = {127, 0, 0, 1};
  forward.Player.ProviderData = ProviderAddresses{other, other}.Encode();
  peer.OnStreamMessage(kHostIp, From(2300, forward.Encode()));
  EXPECT_EQ(peer.Table().at(0x60005).Datagram, (Address{kHostIp, 2320}));
}

TEST(HostingPeer, AdmitsAMachineAfterTheOthersAcknowledgeAndRefusesStrangers) {
  RecordingTransport net;
  Peer host(net, Config());
  host.Host(u"S", u"pw", 4, 0x44, Guid{});
  EXPECT_TRUE(host.IsNameServer());
  EXPECT_TRUE(net.listening);
  EXPECT_EQ(host.Desc().Flags, 0x444u);

  // A search without the password flag does not see a password session; with it, it does.
  EnumSessionsRequest search;
  search.Flags = kEnumAvailable;
  host.OnDatagram(kOtherIp, From(2400, search.Encode()));
  EXPECT_TRUE(net.Take().empty());
  search.Flags = kEnumAvailable | kEnumPasswordRequired;
  host.OnDatagram(kOtherIp, From(2400, search.Encode()));
  auto sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].Stream);
  EXPECT_EQ(sent[0].To, (Address{kOtherIp, 2400}));
  EXPECT_EQ(EnumSessionsReply::Decode(sent[0].Body).Name, u"S");

  // An ADDFORWARDREQUEST for an id the host never handed out is ignored; a wrong password refused.
  auto joinRequest = [&](uint32_t id, const std::u16string& password) {
    PlayerCreation r;
    r.Command = kAddForwardRequest;
    r.PlayerId = r.Player.PlayerId = r.Player.SystemPlayerId = id;
    r.Player.Flags = 0x9;
    r.Player.ProviderData = ProviderAddresses{}.Encode();
    r.Password = password;
    SockAddr privateAddress;  // its address on its own network, behind NAT
    privateAddress.Address = {192, 168, 1, 5};
    privateAddress.Port = 2400;
    host.OnStreamMessage(kOtherIp, Frame(privateAddress, r.Encode()));
  };
  joinRequest(0x12345, u"pw");
  EXPECT_TRUE(net.Take().empty());
  host.OnStreamMessage(kOtherIp, From(2400, RequestPlayerId{11, 0x9}.Encode()));
  const uint32_t id = RequestPlayerReply::Decode(net.Take().at(0).Body).Id;
  joinRequest(id, u"nope");
  sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(SingleValue::Decode(sent[0].Body).Value, kErrorInvalidPassword);

  // The right password: no other machine to ask, so the name table goes out at once.
  joinRequest(id, u"pw");
  sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  const SuperEnumPlayersReply table = SuperEnumPlayersReply::Decode(sent[0].Body);
  ASSERT_EQ(table.Players.size(), 2u);
  EXPECT_EQ(table.Players[0].Flags, 0x7u);  // the host's own system player, name server

  // Behind NAT a machine's header may name an address it is not seen at; it is heard where it is seen.
  host.OnStreamMessage(kOtherIp, From(2400, PlayerGroupChange{kDeletePlayer, 11, 0, id, 0, 0, 0}.Encode()));
  EXPECT_FALSE(host.Table().count(id));

  // A ping from a machine that is not in the session is told so.
  host.OnDatagram(kHostIp, From(2500, Ping{kPing, 11, 0x777, 0}.Encode()));
  sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Command, kYouAreDead);
  EXPECT_EQ(sent[0].To, (Address{kHostIp, 2500}));
  // Nobody removes the host, not even a machine of its session.
  host.OnStreamMessage(kOtherIp, From(2400, EncodeYouAreDead(11)));
  EXPECT_TRUE(host.InSession());
}

// A machine that asks the host for ids without end (each answered, none used) does not stop the host:
// more requests than one slot has ids still get answers, and a machine that joins after them gets an
// id of its own and is admitted.
TEST(HostingPeer, IdsAskedForWithoutEndDoNotStopTheHost) {
  RecordingTransport net;
  Peer host(net, Config());
  host.Host(u"S", u"", 4, 0x44, Guid{});
  const auto request = From(2400, RequestPlayerId{11, 0x9}.Encode());
  for (uint32_t i = 0; i <= 0x10000; ++i) {
    host.OnStreamMessage(kOtherIp, request);
    if (i % 4096 == 0) net.Take();
  }
  host.OnStreamMessage(kHostIp, request);
  const RequestPlayerReply reply = RequestPlayerReply::Decode(net.Take().back().Body);
  EXPECT_EQ(reply.Result, 0u);
  PlayerCreation join;
  join.Command = kAddForwardRequest;
  join.PlayerId = join.Player.PlayerId = join.Player.SystemPlayerId = reply.Id;
  join.Player.Flags = 0x9;
  host.OnStreamMessage(kHostIp, From(2400, join.Encode()));
  const auto sent = net.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Command, kSuperEnumPlayersReply);
  EXPECT_TRUE(host.Table().count(reply.Id));
}

}  // namespace
}  // namespace skyvox::dplay4
