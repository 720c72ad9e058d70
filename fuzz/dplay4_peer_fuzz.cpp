// Arbitrary network input to three DirectPlay 4 peers: one hosting a session, one that joined another
// host's session (with a name table of two machines and a group), and one that searched for sessions
// and is joining the session at 10.0.0.1 (its player id asked for, nothing answered yet). The input is a
// series of records, each [selector][length: 2 bytes LE][bytes]:
//   selector bit 0: the host or the joined peer; bit 3: the joining peer instead; bit 1: a TCP stream
//   piece (through the stream reassembler) or a UDP datagram; bit 2: advance the clock by 40 s first
//   (keep-alive, join waits); bits 5-7: source IP 10.0.0.1 to 10.0.0.8.
// A stream that goes out of step is dropped and a new one starts, as the network provider does.
// Whatever arrives, the peers must neither crash nor hold more than their bounds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/errors.h"
#include "dplay4/codec.h"
#include "dplay4/peer.h"
#include "dplay4/stream.h"

namespace {
using namespace skyvox::dplay4;

struct NullTransport : Transport {
  size_t sent = 0;
  void SendStream(const Address&, std::vector<uint8_t> m) override { sent += m.size(); }
  void SendDatagram(const Address&, std::vector<uint8_t> d) override { sent += d.size(); }
  void BroadcastDatagram(uint16_t, std::vector<uint8_t> d) override { sent += d.size(); }
  bool ListenForEnumerations(bool) override { return true; }
};

PeerConfig Config(uint16_t port) {
  PeerConfig c;
  c.StreamPort = port;
  c.DatagramPort = port;
  c.IdKey = 0x5A5A0000u;
  c.Seed = 7;
  return c;
}

// Joins the client to a session hosted at 10.0.0.1 whose name table holds the host, a third machine,
// one player each and a group.
void JoinClient(Peer& client) {
  const Ip host = {10, 0, 0, 1};
  FoundSession session;
  session.Desc.Flags = 0x44;
  session.NameServer = Address{host, 2300};
  client.StartJoin(session, u"");
  SockAddr from;
  from.Port = 2300;
  RequestPlayerReply id;
  id.Id = 0x30003;
  auto m = Frame(from, id.Encode());
  client.OnStreamMessage(host, m);
  SuperEnumPlayersReply table;
  table.Desc.Flags = 0x44;
  table.Name = u"FUZZ";
  SuperPackedPlayer hostSystem;
  hostSystem.Flags = 0x7;
  hostSystem.Id = 0x10000;
  hostSystem.VersionOrSystemPlayerId = 11;
  hostSystem.ProviderData = ProviderAddresses{}.Encode();
  SuperPackedPlayer other = hostSystem;
  other.Flags = 0x5;
  other.Id = 0x20001;
  SockAddr otherAddress;
  otherAddress.Port = 2310;
  otherAddress.Address = {10, 0, 0, 2};
  other.ProviderData = ProviderAddresses{otherAddress, otherAddress}.Encode();
  SuperPackedPlayer hostPlayer;
  hostPlayer.Id = 0x40004;
  hostPlayer.ShortName = u"HOST";
  hostPlayer.VersionOrSystemPlayerId = 0x10000;
  SuperPackedPlayer otherPlayer = hostPlayer;
  otherPlayer.Id = 0x50005;
  otherPlayer.VersionOrSystemPlayerId = 0x20001;
  SuperPackedPlayer group;
  group.Id = 0x60006;
  group.ShortName = u"FS61_REFUSE_PARAMS";
  group.PlayerIds = std::vector<uint32_t>{0x40004};
  table.Players = {hostSystem, other, hostPlayer, otherPlayer};
  table.Groups = {group};
  m = Frame(from, table.Encode());
  client.OnStreamMessage(host, m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NullTransport transport;
  Peer host(transport, Config(2300));
  Peer client(transport, Config(2350));
  host.Host(u"FUZZ", u"pw", 8, 0x44, Guid{});
  JoinClient(client);
  client.RequestId(0x8);
  Peer joiner(transport, Config(2400));
  joiner.Enumerate(std::nullopt, 47624, 0x1, u"");
  FoundSession session;
  session.Desc.Flags = 0x44;
  session.NameServer = Address{{10, 0, 0, 1}, 2300};
  joiner.StartJoin(session, u"");
  Peer* peers[3] = {&host, &client, &joiner};
  StreamAssembler streams[3];
  int64_t now = 0;

  size_t i = 0;
  while (i + 3 <= size) {
    const uint8_t selector = data[i];
    const size_t length = std::min<size_t>(data[i + 1] | (data[i + 2] << 8), size - i - 3);
    const std::span<const uint8_t> bytes(data + i + 3, length);
    i += 3 + length;
    const size_t which = (selector & 8) ? 2 : (selector & 1);
    Peer& peer = *peers[which];
    const Ip source = {10, 0, 0, static_cast<uint8_t>(1 + (selector >> 5))};
    if (selector & 4) {
      now += 40000;
      peer.Tick(now);
    }
    if (selector & 2) {
      StreamAssembler& stream = streams[which];
      stream.Append(bytes);
      try {
        while (auto message = stream.Next()) peer.OnStreamMessage(source, *message);
      } catch (const skyvox::FormatError&) {
        stream = StreamAssembler();
      }
    } else {
      peer.OnDatagram(source, bytes);
    }
    if (peer.Table().size() > Peer::kMaxTableEntries || peer.Found().size() > Peer::kMaxFoundSessions ||
        peer.Queue().size() > Peer::kMaxQueuedMessages || peer.QueuedBytes() > Peer::kMaxQueuedBytes)
      __builtin_trap();
    while (!peer.Queue().empty()) peer.TakeFront();
    if (peer.QueuedBytes() != 0) __builtin_trap();  // the byte count must follow the queue
  }
  return 0;
}
