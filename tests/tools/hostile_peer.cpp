// skyvox-hostile-peer: a machine of a DirectPlay 4 session over TCP/IP that misbehaves, for the
// hostile-participant tests (hostile_peers_test.sh). It is the provider's own Peer over plain POSIX
// sockets: it joins like any machine, and beside that writes, from its own address, bytes that no
// honest machine would. One behaviour per run, for --seconds:
//   garbage      truncated, oversized and garbage DirectPlay messages over TCP and UDP to every other
//                machine, and garbage searches to the host's search port
//   flood        chat lines to the station's player, --rate lines a second
//   impostor     joins under the name of the pilot --victim, announces itself with the victim's id,
//                and sends as the victim's player, renames it and deletes it
//   connections  --count TCP connections to the station and as many to the host, which never speak
//   enumeration  does not join: answers every session search that reaches --enum-port with garbage
//                and decoy sessions
//   nameserver   claims to be the session's name server and, as such, removes the others
//   fatal        for each --input, waits for a new player named like the station and sends it that
//                malformed message (the station's session should end each time)
// Everything it does is printed on stdout as "hostile: ..." lines; the last one sums up what was sent.
// Exit code 0 when the behaviour was played, 1 when it could not be (no session to join).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "dplay4/codec.h"
#include "dplay4/peer.h"
#include "dplay4/stream.h"
#include "session/messages.h"

namespace {

using namespace skyvox;
using namespace skyvox::dplay4;
using session::DpMessage;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Print(const std::string& line) {
  std::cout << "hostile: " << line << std::endl;
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", s);
  return text;
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

sockaddr_in ToSockaddr(const Address& a) {
  sockaddr_in s{};
  s.sin_family = AF_INET;
  s.sin_port = htons(a.Port);
  std::memcpy(&s.sin_addr, a.Host.data(), 4);
  return s;
}

Ip ParseIp(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) throw std::invalid_argument("not an IPv4 address: " + text);
  Ip ip;
  std::memcpy(ip.data(), &a, 4);
  return ip;
}

// A TCP connection to `to` from `source` (any address when absent); -1 when it cannot be made. With
// wait, returns once connected (or failed within timeoutMs); without, the connection is still opening.
int Connect(const Address& to, const std::optional<Ip>& source, int timeoutMs, bool wait = true) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (source) {
    sockaddr_in local = ToSockaddr(Address{*source, 0});
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      return -1;
    }
  }
  const sockaddr_in remote = ToSockaddr(to);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  if (!wait) return fd;
  pollfd p{fd, POLLOUT, 0};
  int error = 0;
  socklen_t length = sizeof error;
  if (::poll(&p, 1, timeoutMs) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
      error) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Writes everything, waiting up to timeoutMs for room; false when the connection failed or stayed full.
bool WriteAll(int fd, Bytes bytes, int timeoutMs = 2000) {
  const int64_t deadline = NowMs() + timeoutMs;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    const int64_t left = deadline - NowMs();
    pollfd p{fd, POLLOUT, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) < 0) return false;
  }
  return true;
}

// Reads and forgets what waits on the socket; false once the other side closed it.
bool Discard(int fd) {
  std::array<uint8_t, 65536> buffer;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n > 0) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  }
}

std::vector<uint8_t> Concat(std::initializer_list<Bytes> parts) {
  std::vector<uint8_t> out;
  for (Bytes p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A provider header as written, with any size and token (Frame refuses the impossible ones).
std::vector<uint8_t> RawHeader(uint32_t size, uint16_t token, uint16_t port) {
  std::vector<uint8_t> h;
  PutU32(h, (size & 0xFFFFF) | (static_cast<uint32_t>(token) << 20));
  h.insert(h.end(), {2, 0, static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)});
  h.resize(kHeaderSize, 0);
  return h;
}

// "play", a command and a version: the start of every system message.
std::vector<uint8_t> Envelope(uint16_t command, uint16_t version = kDefaultVersion) {
  std::vector<uint8_t> e = {'p', 'l', 'a', 'y'};
  for (uint16_t v : {command, version})
    e.insert(e.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  return e;
}

// ---------------------------------------------------------------------------------------------------

// The network under a Peer: a TCP listener and a UDP socket on one port, blocking connections out with
// time limits, and a poll loop that hands whole messages to the peer.
class SocketTransport : public Transport {
 public:
  SocketTransport(uint16_t first, uint16_t last) {
    for (uint32_t port = first; port <= last && port_ == 0; ++port) {
      const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
      const int one = 1;
      ::setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      ::setsockopt(udp, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
      const sockaddr_in any = ToSockaddr(Address{Ip{}, static_cast<uint16_t>(port)});
      if (::bind(tcp, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 && ::listen(tcp, 64) == 0 &&
          ::bind(udp, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) {
        listen_ = tcp;
        udp_ = udp;
        port_ = static_cast<uint16_t>(port);
      } else {
        ::close(tcp);
        ::close(udp);
      }
    }
    if (port_ == 0) throw std::runtime_error("no free port");
  }
  uint16_t Port() const { return port_; }
  void Attach(Peer& peer) { peer_ = &peer; }

  void SendStream(const Address& to, std::vector<uint8_t> message) override {
    Connection* c = nullptr;
    for (auto& k : connections_) {
      if (k->To == to && k->Fd >= 0) c = k.get();
    }
    if (!c) {
      const int fd = Connect(to, std::nullopt, 2000);
      if (fd < 0) return;
      connections_.push_back(std::make_unique<Connection>(Connection{fd, to.Host, {}, to}));
      c = connections_.back().get();
    }
    if (!WriteAll(c->Fd, message)) Close(*c);
  }
  void SendDatagram(const Address& to, std::vector<uint8_t> datagram) override {
    const sockaddr_in a = ToSockaddr(to);
    ::sendto(udp_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  }
  void BroadcastDatagram(uint16_t port, std::vector<uint8_t> datagram) override {
    SendDatagram(Address{Ip{255, 255, 255, 255}, port}, std::move(datagram));
  }
  bool ListenForEnumerations(bool) override { return false; }

  // Handles what arrives within ms (at most), then gives the peer the time.
  void Pump(int ms) {
    std::vector<pollfd> fds{{listen_, POLLIN, 0}, {udp_, POLLIN, 0}};
    for (const auto& c : connections_) fds.push_back({c->Fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), ms) > 0) {
      for (size_t i = 2; i < fds.size(); ++i) {
        if (fds[i].revents) Read(*connections_[i - 2]);
      }
      if (fds[1].revents) ReadDatagrams();
      if (fds[0].revents) Accept();
    }
    std::erase_if(connections_, [](const auto& c) { return c->Fd < 0; });
    peer_->Tick(NowMs());
  }

 private:
  struct Connection {
    int Fd;
    Ip Source;
    StreamAssembler In;
    Address To;  // port 0 for connections that came in
  };
  void Close(Connection& c) {
    if (c.Fd >= 0) ::close(c.Fd);
    c.Fd = -1;
  }
  void Accept() {
    for (;;) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const int fd = ::accept4(listen_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK);
      if (fd < 0) return;
      Ip source;
      std::memcpy(source.data(), &from.sin_addr, 4);
      connections_.push_back(std::make_unique<Connection>(Connection{fd, source, {}, {}}));
    }
  }
  void Read(Connection& c) {
    std::array<uint8_t, 65536> buffer;
    const ssize_t n = ::recv(c.Fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n <= 0) {
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) Close(c);
      return;
    }
    c.In.Append(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
    try {
      while (auto message = c.In.Next()) peer_->OnStreamMessage(c.Source, *message);
    } catch (const Error&) {
      Close(c);
    }
  }
  void ReadDatagrams() {
    std::array<uint8_t, 65536> buffer;
    for (int i = 0; i < 1000; ++i) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(udp_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) return;
      Ip source;
      std::memcpy(source.data(), &from.sin_addr, 4);
      peer_->OnDatagram(source, std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
    }
  }

  int listen_ = -1;
  int udp_ = -1;
  uint16_t port_ = 0;
  Peer* peer_ = nullptr;
  // unique_ptr: a message handed to the peer may open a connection while another is being read.
  std::vector<std::unique_ptr<Connection>> connections_;
};

// A machine of the session with one player, and the means to lie from its address.
class Member {
 public:
  Member(uint16_t firstPort, uint16_t lastPort) : net(firstPort, lastPort), peer(net, Config(net.Port())) {
    net.Attach(peer);
  }

  // Finds the session at host:port (the first one, or the one of that name), joins it and creates
  // the player; false after timeoutMs.
  bool Join(const Ip& host, uint16_t port, const std::string& session, const std::string& name,
            int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    const FoundSession* found = nullptr;
    for (int64_t next = 0; !found && NowMs() < deadline; PumpFor(50)) {
      if (NowMs() >= next) {
        peer.Enumerate(host, port, kEnumAvailable | kEnumPasswordRequired, u"");
        next = NowMs() + 1000;
      }
      for (const FoundSession& f : peer.Found()) {
        if (session.empty() || f.Name == Utf8ToUtf16(session)) found = &f;
      }
    }
    if (!found) return false;
    peer.StartJoin(*found, u"");
    while (NowMs() < deadline &&
           (peer.Phase() == JoinPhase::WaitingForId || peer.Phase() == JoinPhase::WaitingForNameTable)) {
      Pump(50);
    }
    if (peer.Phase() != JoinPhase::Joined) return false;
    peer.RequestId(kPlayerLocal);
    std::optional<Peer::IdReply> reply;
    while (!(reply = peer.TakeIdReply()) && NowMs() < deadline) Pump(50);
    if (!reply || reply->Result != 0) return false;
    Player = reply->Id;
    peer.CreateLocalPlayer(Player, Utf8ToUtf16(name), u"Player");
    // The simulator's own join: the request to be admitted, then the announcement.
    Send(0, session::BuildSimpleMessage(session::kJoinAsPlayer));
    PumpFor(300);
    Print("joined as machine " + Hex(peer.SystemPlayer()) + ", player " + Hex(Player) + " \"" + name +
          "\" on port " + std::to_string(net.Port()));
    return true;
  }

  void Pump(int ms) {
    net.Pump(ms);
    while (!peer.Queue().empty()) {
      peer.TakeFront();
      ++Received;
    }
  }
  void PumpFor(int ms) {
    for (const int64_t end = NowMs() + ms; NowMs() < end;) {
      Pump(static_cast<int>(std::clamp<int64_t>(end - NowMs(), 0, 20)));
    }
  }

  // A player of that name other than ours and those in `except`.
  std::optional<uint32_t> FindPlayer(const std::string& name, const std::set<uint32_t>& except = {}) const {
    for (const auto& [id, e] : peer.Table()) {
      if (!e.IsGroup && !(e.Flags & kPlayerSystem) && id != Player && !except.count(id) &&
          e.ShortName == Utf8ToUtf16(name)) {
        return id;
      }
    }
    return std::nullopt;
  }
  // The system player of the machine a player belongs to.
  const TableEntry* MachineOf(uint32_t player) const {
    const auto p = peer.Table().find(player);
    if (p == peer.Table().end()) return nullptr;
    const auto m = peer.Table().find(p->second.SystemPlayerId);
    return m == peer.Table().end() ? nullptr : &m->second;
  }
  std::vector<TableEntry> OtherMachines() const {
    std::vector<TableEntry> machines;
    for (const auto& [id, e] : peer.Table()) {
      if ((e.Flags & kPlayerSystem) && !e.IsGroup && !e.Local) machines.push_back(e);
    }
    return machines;
  }

  void Send(uint32_t to, const DpMessage& message, bool guaranteed = true) {
    peer.SendPlayerMessage(Player, to, guaranteed, message.Bytes());
  }
  // A body framed as we frame ours (the header names our stream port).
  std::vector<uint8_t> Framed(Bytes body) const {
    SockAddr self;
    self.Port = net.Port();
    return Frame(self, body);
  }
  // Straight onto our connection to a machine, or into a datagram: what our Peer would never send.
  void Stream(const Address& to, Bytes body) { net.SendStream(to, Framed(body)); }
  void Datagram(const Address& to, Bytes bytes) { net.SendDatagram(to, {bytes.begin(), bytes.end()}); }
  ProviderAddresses OwnAddresses() const {
    ProviderAddresses a;
    a.Stream.Port = a.Datagram.Port = net.Port();
    return a;
  }

  SocketTransport net;
  Peer peer;
  uint32_t Player = 0;
  uint64_t Received = 0;

 private:
  static PeerConfig Config(uint16_t port) {
    PeerConfig c;
    c.StreamPort = c.DatagramPort = port;
    c.Seed = std::random_device{}();
    return c;
  }
};

// ---------------------------------------------------------------------------------------------------
// Application messages

DpMessage Position(double latitude, double longitude, double altitudeFt, int shorts = 3) {
  DpMessage m;
  m.WriteLong(session::kPositionReport);
  m.WriteLong(0);
  for (int i = 0; i < 4; ++i) m.WriteLong(0);  // three Longs not used, the attitude word
  m.WriteLong(static_cast<int32_t>(latitude * 10001750 / 90));
  m.WriteLong(static_cast<int32_t>(static_cast<int64_t>(longitude / 360 * 4294967296.0)));
  m.WriteLong(static_cast<int32_t>(altitudeFt * 0.3048));
  for (int i = 0; i < shorts; ++i) m.WriteShort(0);
  return m;
}

DpMessage Longs(std::initializer_list<int32_t> values) {
  DpMessage m;
  for (int32_t v : values) m.WriteLong(v);
  return m;
}

// The messages that end the station's session by the design (a failure while the receive loop reads
// them), by name; `roster` when the sender must be in the station's roster for the fields to be read.
struct FatalInput {
  const char* Name;
  bool Roster;
  DpMessage Message;
};
std::vector<FatalInput> FatalInputs() {
  DpMessage shortMessage;
  shortMessage.WriteLong(session::kChatText);  // the count is missing
  DpMessage chat = Longs({session::kChatText, 10});
  chat.WriteByte('1');  // 1 of the 10 bytes announced
  DpMessage description = Longs({session::kAircraftDescription, 8});
  description.WriteShort(1);
  for (char c : std::string("Cess")) description.WriteByte(static_cast<uint8_t>(c));   // 4 of 8
  DpMessage withSpeed = Longs({session::kPositionReportWithSpeed, 0, 0, 0, 0, 0, 0});  // stops at the speed
  return {{"removed", false, session::BuildSimpleMessage(session::kRemovedByHost)},
          {"short", false, shortMessage},
          {"announcement-short", false, Longs({session::kPlayerAnnouncement, 4})},
          {"chat-short", false, chat},
          {"description-short", true, description},
          {"position-short", true, Position(47, -122.9, 1000, 2)},
          {"position-speed-short", true, withSpeed},
          // Well formed, but its sender leaves before the station reads it (the last input: we leave).
          {"farewell", false, session::BuildChatMessage("airpts:")}};
}

// ---------------------------------------------------------------------------------------------------
// Garbage

// Every system message the protocol has, well formed, about the players of this session: the seeds
// the garbage is grown from.
std::vector<std::vector<uint8_t>> SystemSamples(const Member& m, uint32_t victim) {
  const uint32_t self = m.peer.SystemPlayer();
  std::vector<std::vector<uint8_t>> s;
  EnumSessionsRequest request;
  request.Password = u"secret";
  request.Flags = kEnumAvailable | kEnumPasswordRequired;
  s.push_back(request.Encode());
  s.push_back(EnumSessionsReply{kDefaultVersion, m.peer.Desc(), u"Garbage"}.Encode());
  s.push_back(RequestPlayerId{kDefaultVersion, kPlayerLocal}.Encode());
  RequestPlayerReply reply;
  reply.Id = victim;
  s.push_back(reply.Encode());
  for (uint16_t command :
       {kCreatePlayer, kCreateGroup, kAddForwardRequest, kAddForward, kCreatePlayerVerify}) {
    PlayerCreation c;
    c.Command = command;
    c.PlayerId = c.Player.PlayerId = victim;
    c.Player.ShortName = u"Garbage";
    c.Player.SystemPlayerId = self;
    c.Player.ProviderData = m.OwnAddresses().Encode();
    c.Player.PlayerIds = {victim, self};
    s.push_back(c.Encode());
  }
  for (uint16_t command : {kDeletePlayer, kDeleteGroup, kAddPlayerToGroup, kDeletePlayerFromGroup}) {
    s.push_back(PlayerGroupChange{command, kDefaultVersion, 0, victim, victim, 0, 0}.Encode());
  }
  s.push_back(Ping{kPing, kDefaultVersion, self, 1}.Encode());
  s.push_back(Ping{kPingReply, kDefaultVersion, self, 1}.Encode());
  s.push_back(SingleValue{kAddForwardAck, kDefaultVersion, self}.Encode());
  s.push_back(SingleValue{kAddForwardReply, kDefaultVersion, kErrorInvalidPassword}.Encode());
  s.push_back(EncodeYouAreDead());
  SuperEnumPlayersReply table;
  table.Desc = m.peer.Desc();
  table.Name = u"Garbage";
  SuperPackedPlayer p;
  p.Flags = kPlayerSystem;
  p.Id = self;
  p.ShortName = u"Garbage";
  p.ProviderData = m.OwnAddresses().Encode();
  p.PlayerIds = std::vector<uint32_t>{victim};
  table.Players = {p, p};
  table.Groups = {p};
  s.push_back(table.Encode());
  s.push_back(IAmNameServer{kDefaultVersion, 0, self, 7, m.OwnAddresses().Encode()}.Encode());
  s.push_back(PlayerNameChanged{kDefaultVersion, 0, victim, u"Garbage", u"Garbage"}.Encode());
  s.push_back(PlayerDataChanged{kDefaultVersion, 0, victim, {1, 2, 3}}.Encode());
  s.push_back(SessionDescChanged{kDefaultVersion, 0, m.peer.Desc(), u"Garbage", std::nullopt}.Encode());
  s.push_back(Concat(
      {Envelope(kPlayerWrapper), PlayerMessage{victim, 0, session::BuildChatMessage("1").Bytes()}.Encode()}));
  return s;
}

class Garbler {
 public:
  explicit Garbler(uint32_t seed) : rng_(seed) {}
  uint32_t Next() { return static_cast<uint32_t>(rng_()); }
  std::vector<uint8_t> Random(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng_());
    return bytes;
  }
  // A message cut short, with bytes changed, with a length or offset made absurd, with junk after
  // it, or a random command with a random body.
  std::vector<uint8_t> Mutate(std::vector<uint8_t> body) {
    switch (Next() % 5) {
      case 0:
        body.resize(Next() % std::max<size_t>(body.size(), 1));
        break;
      case 1:
        for (uint32_t i = 1 + Next() % 8; i > 0 && body.size() > kEnvelopeSize; --i) {
          body[kEnvelopeSize + Next() % (body.size() - kEnvelopeSize)] ^=
              static_cast<uint8_t>(1 + Next() % 255);
        }
        break;
      case 2:
        if (body.size() >= kEnvelopeSize + 4) {
          static constexpr uint32_t kAbsurd[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFF, 1};
          const size_t at = kEnvelopeSize + 4 * (Next() % ((body.size() - kEnvelopeSize) / 4));
          const uint32_t v =
              Next() % 2 ? kAbsurd[Next() % 5] : static_cast<uint32_t>(body.size() + Next() % 8);
          for (int i = 0; i < 4; ++i) body[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
        break;
      case 3: {
        const auto junk = Random(1 + Next() % 64);
        body.insert(body.end(), junk.begin(), junk.end());
        break;
      }
      default:
        body = Concat({Envelope(static_cast<uint16_t>(Next() % 0x40), static_cast<uint16_t>(Next() % 20)),
                       Random(Next() % 256)});
    }
    return body;
  }

 private:
  std::mt19937 rng_;
};

// A TCP connection of our own to one machine that keeps being opened again when the other side
// closes it (as it does on a message it cannot read).
class RawStream {
 public:
  explicit RawStream(Address to) : to_(to) {}
  ~RawStream() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Write(Bytes bytes) {
    if (fd_ >= 0 && !Discard(fd_)) Reset();
    if (fd_ < 0) fd_ = Connect(to_, std::nullopt, 1000);
    if (fd_ < 0) return false;
    if (WriteAll(fd_, bytes)) return true;
    Reset();
    return false;
  }

 private:
  void Reset() {
    ::close(fd_);
    fd_ = -1;
  }
  Address to_;
  int fd_ = -1;
};

struct Settings {
  Ip HostIp{};
  uint16_t EnumerationPort = 47624;  // DirectPlay's search port
  uint16_t FirstPort = 2300;
  uint16_t LastPort = 2400;
  std::string Session;
  std::string Name = "INTRUDER";
  std::string Station = "AI_Controller";
  std::string Victim = "N1";
  double Seconds = 10;
  int Rate = 1000;
  int Count = 1000;
  std::vector<std::string> Sources;
  std::vector<std::string> Inputs;
  std::string GoFile;
  uint32_t Seed = 1;
};

// Sleeps in the member's pump until the next step of a paced loop.
void Pace(Member& m, int64_t start, uint64_t step, int perSecond) {
  const int64_t due = start + static_cast<int64_t>(step * 1000 / static_cast<uint64_t>(perSecond));
  do {
    m.Pump(static_cast<int>(std::clamp<int64_t>(due - NowMs(), 0, 20)));
  } while (NowMs() < due);
}

int Garbage(Member& m, const Settings& s) {
  Garbler g(s.Seed);
  const uint32_t victim = m.FindPlayer(s.Victim).value_or(0x12345678);
  const std::vector<std::vector<uint8_t>> samples = SystemSamples(m, victim);
  // The victim's machine gets the garbage but not the mebibytes: the delays measured are the station's.
  const TableEntry* victimMachine = m.MachineOf(victim);
  std::vector<Address> streams, datagrams;
  std::vector<bool> heavy;
  for (const TableEntry& machine : m.OtherMachines()) {
    streams.push_back(machine.Stream);
    datagrams.push_back(machine.Datagram);
    heavy.push_back(!victimMachine || machine.Id != victimMachine->Id);
  }
  std::vector<std::unique_ptr<RawStream>> raw;
  for (const Address& a : streams) raw.push_back(std::make_unique<RawStream>(a));
  const Address search{s.HostIp, s.EnumerationPort};
  std::vector<int> held;  // connections left holding the first part of a message
  uint64_t messages = 0, datagramCount = 0, faults = 0, oversized = 0, idRequests = 0;
  const int64_t start = NowMs(), end = start + static_cast<int64_t>(s.Seconds * 1000);
  // First, more requests for an id than the name server has ids in a slot, none of them used.
  for (const TableEntry& machine : m.OtherMachines()) {
    if (!(machine.Flags & kPlayerNameServer)) continue;
    RawStream host(machine.Stream);
    std::vector<uint8_t> burst;
    for (int i = 0; i < 1000; ++i) {
      const auto request = m.Framed(RequestPlayerId{kDefaultVersion, kPlayerSystem | kPlayerLocal}.Encode());
      burst.insert(burst.end(), request.begin(), request.end());
    }
    for (int i = 0; i < 70 && host.Write(burst); ++i) {
      idRequests += 1000;
      m.Pump(0);  // the answers come to us
    }
  }
  // Then, on 60 connections to each other machine, all of a message of 1 MiB but its last byte, left so.
  const auto unfinished = Concat({RawHeader(kMaxMessageSize, kTokenRemote, 2300), Envelope(kCreatePlayer),
                                  g.Random(kMaxMessageSize - kHeaderSize - kEnvelopeSize - 1)});
  for (size_t t = 0; t < streams.size(); ++t) {
    for (int i = 0; i < 60 && heavy[t]; ++i) {
      const int fd = Connect(streams[t], std::nullopt, 1000);
      if (fd >= 0 && WriteAll(fd, unfinished)) held.push_back(fd);
      m.Pump(0);
    }
  }
  for (uint64_t step = 0; NowMs() < end; ++step) {
    for (size_t t = 0; t < streams.size(); ++t) {
      const auto body = g.Mutate(samples[g.Next() % samples.size()]);
      if (raw[t]->Write(m.Framed(body))) ++messages;
      m.Datagram(datagrams[t], m.Framed(g.Mutate(samples[g.Next() % samples.size()])));
      // A player message under a known or a random id, with a random payload.
      std::vector<uint8_t> bare;
      PutU32(bare, g.Next() % 2 ? victim : g.Next());
      PutU32(bare, g.Next() % 2 ? 0 : g.Next());
      const auto payload = g.Random(g.Next() % 300);
      bare.insert(bare.end(), payload.begin(), payload.end());
      m.Datagram(datagrams[t], bare);
      datagramCount += 2;
    }
    m.Datagram(search, m.Framed(g.Mutate(samples[0])));
    ++datagramCount;
    if (step % 25 == 0) {
      // Headers no stream can go on after, each on a connection of its own: too short, a size under
      // 20, an unknown token, a message cut off by the sender closing.
      const Address& to = streams[g.Next() % streams.size()];
      const std::vector<uint8_t> faultsOf[] = {
          g.Random(10), RawHeader(12, kTokenRemote, 2300), RawHeader(100, 0x123, 2300),
          Concat({RawHeader(400, kTokenRemote, 2300), Envelope(kCreatePlayer), g.Random(50)})};
      const int fd = Connect(to, std::nullopt, 1000);
      if (fd >= 0) {
        WriteAll(fd, faultsOf[step / 25 % 4]);
        ::close(fd);
        ++faults;
      }
    }
    if (step % 500 == 250) {
      // The largest message there is, its body junk; the largest datagram there is.
      for (size_t t = 0; t < streams.size(); ++t) {
        if (!heavy[t]) continue;
        const auto body = Concat({Envelope(g.Next() % 2 ? kSuperEnumPlayersReply : kCreatePlayer),
                                  g.Random(kMaxMessageSize - kHeaderSize - kEnvelopeSize)});
        if (raw[t]->Write(Concat({RawHeader(kMaxMessageSize, kTokenRemote, m.net.Port()), body})))
          ++oversized;
        m.Datagram(datagrams[t], Concat({RawHeader(65507, kTokenRemote, m.net.Port()), Envelope(kAddForward),
                                         g.Random(65507 - kHeaderSize - kEnvelopeSize)}));
        ++datagramCount;
      }
    }
    Pace(m, start, step + 1, s.Rate);
  }
  for (int fd : held) ::close(fd);
  Print("garbage for " + Seconds((NowMs() - start) / 1000.0) + " to " + std::to_string(streams.size()) +
        " machines: " + std::to_string(messages) + " stream messages, " + std::to_string(datagramCount) +
        " datagrams, " + std::to_string(faults) + " broken headers, " + std::to_string(oversized) +
        " messages of 1 MiB, " + std::to_string(held.size()) + " messages of 1 MiB left unfinished, " +
        std::to_string(idRequests) + " requests for an id to the host");
  return 0;
}

int Flood(Member& m, const Settings& s) {
  const auto station = m.FindPlayer(s.Station);
  if (!station) {
    Print("no player " + s.Station + " in the session");
    return 1;
  }
  m.Send(*station, session::BuildAnnouncement(session::kPlayerAnnouncement, static_cast<int32_t>(m.Player)));
  m.Send(*station, Position(46.97, -122.9, 3000), false);
  // Choices, commands (the list of airports among them: 1 line in 13), a two-digit number, a malformed
  // and a valid flight plan, a long line, control characters.
  std::vector<std::string> lines = {"1",
                                    "2",
                                    "9",
                                    "0",
                                    "repeat:",
                                    "airpts:",
                                    "freeflt",
                                    "atcmsg:true",
                                    "12",
                                    "pst_fp:IFR,,,",
                                    "pst_fp:IFR,OLYMPIA,OLYMPIA,9000"};
  lines.push_back(std::string(2000, 'x'));
  lines.push_back(std::string("\x01\x02\x7f\xff garbage \x80", 14));
  uint64_t sent = 0;
  const int64_t start = NowMs(), end = start + static_cast<int64_t>(s.Seconds * 1000);
  for (uint64_t step = 0; NowMs() < end; ++step) {
    m.Send(*station, session::BuildChatMessage(lines[step % lines.size()]));
    ++sent;
    if (step % 10 == 9) Pace(m, start, step + 1, s.Rate);
  }
  const double seconds = (NowMs() - start) / 1000.0;
  Print("flooded " + s.Station + " with " + std::to_string(sent) + " chat lines in " + Seconds(seconds) +
        " (" + std::to_string(static_cast<int>(sent / seconds)) + " a second); received " +
        std::to_string(m.Received) + " messages");
  return 0;
}

// The station's and the victim's players and their machines; nothing, said, when either is missing.
struct Targets {
  uint32_t Station = 0, Victim = 0;
  const TableEntry* StationMachine = nullptr;
  const TableEntry* VictimMachine = nullptr;
};

std::optional<Targets> FindTargets(const Member& m, const Settings& s) {
  const auto station = m.FindPlayer(s.Station);
  const auto victim = m.FindPlayer(s.Victim);
  const TableEntry* stationMachine = station ? m.MachineOf(*station) : nullptr;
  const TableEntry* victimMachine = victim ? m.MachineOf(*victim) : nullptr;
  if (!stationMachine || !victimMachine) {
    Print("no players " + s.Station + " and " + s.Victim + " in the session");
    return std::nullopt;
  }
  return Targets{*station, *victim, stationMachine, victimMachine};
}

int Impostor(Member& m, const Settings& s) {
  const std::optional<Targets> targets = FindTargets(m, s);
  if (!targets) return 1;
  const uint32_t station = targets->Station, victim = targets->Victim;
  const TableEntry* stationMachine = targets->StationMachine;
  const TableEntry* victimMachine = targets->VictimMachine;
  const Address stream = stationMachine->Stream, datagram = stationMachine->Datagram;
  const uint32_t victimMachineId = victimMachine->Id;
  // Ourselves under the victim's name, announced with its id.
  m.Send(0, session::BuildAnnouncement(session::kPlayerAnnouncement, static_cast<int32_t>(victim)));
  // The same lines as the victim's player: a reset, a choice, positions far out at sea.
  const std::vector<DpMessage> lies = {session::BuildChatMessage("freeflt"), session::BuildChatMessage("1"),
                                       session::BuildChatMessage("pst_fp:VFR"), Position(0, -150, 30000)};
  uint64_t own = 0, asVictim = 0, system = 0;
  const int64_t start = NowMs(), end = start + static_cast<int64_t>(s.Seconds * 1000);
  for (uint64_t step = 0; NowMs() < end; ++step) {
    const DpMessage& lie = lies[step % lies.size()];
    m.Send(station, lie, step % 2 == 0);
    ++own;
    const auto forged = PlayerMessage{victim, station, lie.Bytes()}.Encode();
    m.Stream(stream, forged);  // Stream frames it: a player message after the header
    m.Datagram(datagram, forged);
    m.Stream(stream, Concat({Envelope(kPlayerWrapper), forged}));
    asVictim += 3;
    if (step % 5 == 0) {
      // The victim's id taken for a new player of ours; a player of the victim's machine created by
      // us; the victim renamed; the victim and its machine deleted.
      PlayerCreation create;
      create.PlayerId = create.Player.PlayerId = victim;
      create.Player.ShortName = u"IMPOSTOR";
      create.Player.SystemPlayerId = m.peer.SystemPlayer();
      m.Stream(stream, create.Encode());
      create.PlayerId = create.Player.PlayerId = victim + 0x10000 * (1 + static_cast<uint32_t>(step));
      create.Player.ShortName = Utf8ToUtf16(s.Victim);
      create.Player.SystemPlayerId = victimMachineId;
      m.Stream(stream, create.Encode());
      m.Stream(stream, PlayerNameChanged{kDefaultVersion, 0, victim, u"IMPOSTOR", u"IMPOSTOR"}.Encode());
      m.Stream(stream, PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, victim, 0, 0, 0}.Encode());
      m.Stream(stream,
               PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, victimMachineId, 0, 0, 0}.Encode());
      system += 5;
    }
    Pace(m, start, step + 1, 20);
  }
  Print("posed as " + s.Victim + " (" + Hex(victim) + "): " + std::to_string(own) +
        " messages as ourselves, " + std::to_string(asVictim) + " as the victim's player, " +
        std::to_string(system) + " creations, renamings and deletions of it");
  return 0;
}

int Connections(Member& m, const Settings& s) {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
  std::vector<std::optional<Ip>> sources;
  for (const std::string& text : s.Sources) sources.push_back(ParseIp(text));
  if (sources.empty()) sources.push_back(std::nullopt);
  const auto station = m.FindPlayer(s.Station);
  const TableEntry* stationMachine = station ? m.MachineOf(*station) : nullptr;
  if (!stationMachine) {
    Print("no player " + s.Station + " in the session");
    return 1;
  }
  const std::vector<std::pair<std::string, Address>> targets = {{"the station", stationMachine->Stream},
                                                                {"the host", {s.HostIp, 0}}};
  std::vector<pollfd> fds;
  std::vector<size_t> targetOf;
  std::vector<size_t> opened(targets.size()), closed(targets.size());
  for (size_t t = 0; t < targets.size(); ++t) {
    Address to = targets[t].second;
    if (to.Port == 0) {  // the host's stream address, from the name table
      for (const TableEntry& e : m.OtherMachines()) {
        if (e.Flags & kPlayerNameServer) to = e.Stream;
      }
    }
    for (int i = 0; i < s.Count; ++i) {
      const int fd = Connect(to, sources[static_cast<size_t>(i) % sources.size()], 0, false);
      if (fd < 0) continue;
      fds.push_back({fd, POLLIN, 0});
      targetOf.push_back(t);
      ++opened[t];
      if (i % 50 == 49) m.Pump(0);
    }
  }
  Print("opened " + std::to_string(opened[0]) + " connections to the station and " +
        std::to_string(opened[1]) + " to the host from " + std::to_string(sources.size()) + " address(es)");
  const int64_t end = NowMs() + static_cast<int64_t>(s.Seconds * 1000);
  while (NowMs() < end) {
    m.Pump(0);
    if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      char byte;
      if (::recv(fds[i].fd, &byte, 1, MSG_DONTWAIT) > 0) continue;  // nothing is expected; ignored
      ::close(fds[i].fd);
      fds[i].fd = -1;
      ++closed[targetOf[i]];
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  Print("held them " + Seconds(s.Seconds) + " without a word: the station closed " +
        std::to_string(closed[0]) + ", the host " + std::to_string(closed[1]));
  return 0;
}

// Not a member: answers every search that reaches the search port, over TCP to the searcher's stream
// port, with decoy sessions and garbage.
int Enumeration(const Settings& s) {
  Garbler g(s.Seed);
  const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
  const int one = 1;
  ::setsockopt(udp, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  const sockaddr_in any = ToSockaddr(Address{Ip{}, s.EnumerationPort});
  if (::bind(udp, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    Print("cannot listen on UDP port " + std::to_string(s.EnumerationPort));
    return 1;
  }
  Print("answering searches on port " + std::to_string(s.EnumerationPort));
  SockAddr self;
  self.Port = 2300;
  auto decoy = [&](const std::u16string& name, uint32_t flags, uint32_t current, uint32_t max) {
    EnumSessionsReply r;
    for (auto& b : r.Desc.Instance.Bytes) b = static_cast<uint8_t>(g.Next());
    r.Desc.Flags = flags;
    r.Desc.CurrentPlayers = current;
    r.Desc.MaxPlayers = max;
    r.Name = name;
    return r.Encode();
  };
  uint64_t searches = 0, replies = 0;
  std::set<std::string> searchers;
  const int64_t end = NowMs() + static_cast<int64_t>(s.Seconds * 1000);
  while (NowMs() < end) {
    pollfd p{udp, POLLIN, 0};
    if (::poll(&p, 1, 50) != 1) continue;
    std::array<uint8_t, 65536> buffer;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(udp, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    Ip source;
    std::memcpy(source.data(), &from.sin_addr, 4);
    Address replyTo;
    try {
      const Framed f =
          Unframe(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(std::max<ssize_t>(n, 0))));
      if (DecodeEnvelope(f.Body).Command != kEnumSessions) continue;
      replyTo = Address{f.Head.Sender.Address == Ip{} ? source : f.Head.Sender.Address, f.Head.Sender.Port};
    } catch (const Error&) {
      continue;
    }
    ++searches;
    searchers.insert(ToText(replyTo));
    std::vector<uint8_t> burst;
    auto add = [&](Bytes body) {
      const auto framed =
          Concat({RawHeader(static_cast<uint32_t>(kHeaderSize + body.size()), kTokenRemote, 2300), body});
      burst.insert(burst.end(), framed.begin(), framed.end());
      ++replies;
    };
    // More sessions than a search keeps, all from here.
    for (int i = 0; i < 1100; ++i) add(decoy(u"Decoy " + Utf8ToUtf16(std::to_string(i)), 0x44, 1, 16));
    // Lies: a name of 100 000 characters, counts and flags at their limits, services we lack.
    add(decoy(std::u16string(100000, u'W'), 0x44, 1, 16));
    add(decoy(u"Full", 0x44, 0xFFFFFFFF, 0xFFFFFFFF));
    add(decoy(u"Everything", 0xFFFFFFFF, 0, 0));
    add(decoy(u"Secure", 0x144, 1, 16));
    add(decoy(u"Password", 0x444, 1, 16));
    // Garbage grown from a decoy.
    const auto seed = decoy(u"Garbage", 0x44, 1, 16);
    for (int i = 0; i < 200; ++i) add(g.Mutate(seed));
    if (const int fd = Connect(replyTo, std::nullopt, 1000); fd >= 0) {
      WriteAll(fd, burst);
      ::close(fd);
    }
    // And as datagrams, to the same port.
    for (int i = 0; i < 20; ++i) {
      const auto d = Frame(self, g.Mutate(seed));
      const sockaddr_in to = ToSockaddr(replyTo);
      ::sendto(udp, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
  }
  std::string who;
  for (const std::string& a : searchers) who += (who.empty() ? "" : ", ") + a;
  Print("answered " + std::to_string(searches) + " searches from " + (who.empty() ? "nobody" : who) +
        " with " + std::to_string(replies) + " replies in all");
  return searches > 0 ? 0 : 1;
}

int NameServer(Member& m, const Settings& s) {
  const std::optional<Targets> targets = FindTargets(m, s);
  if (!targets) return 1;
  const uint32_t station = targets->Station, victim = targets->Victim;
  const TableEntry* stationMachine = targets->StationMachine;
  const TableEntry* victimMachine = targets->VictimMachine;
  const uint32_t self = m.peer.SystemPlayer(), stationId = stationMachine->Id, victimId = victimMachine->Id;
  const Address stream = stationMachine->Stream;
  uint64_t claims = 0, orders = 0;
  const int64_t start = NowMs(), end = start + static_cast<int64_t>(s.Seconds * 1000);
  for (uint64_t step = 0; NowMs() < end; ++step) {
    // The claim, to every machine (the host included), over our own connections.
    for (const TableEntry& machine : m.OtherMachines()) {
      m.Stream(machine.Stream,
               IAmNameServer{kDefaultVersion, machine.Id, self, 7, m.OwnAddresses().Encode()}.Encode());
      ++claims;
    }
    // What only the name server may say: the station is dead, its player, the victim and their
    // machines are deleted, the session has room for one and no host migration, a new machine joins.
    SessionDesc desc = m.peer.Desc();
    desc.MaxPlayers = 1;
    desc.Flags = 0;
    PlayerCreation forward;
    forward.Command = kAddForward;
    forward.PlayerId = forward.Player.PlayerId = forward.Player.SystemPlayerId =
        0x7E570000 + static_cast<uint32_t>(step);
    forward.Player.Flags = kPlayerSystem;
    forward.Player.ProviderData = m.OwnAddresses().Encode();
    const std::vector<std::vector<uint8_t>> orders_ = {
        EncodeYouAreDead(),
        PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, victim, 0, 0, 0}.Encode(),
        PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, victimId, 0, 0, 0}.Encode(),
        PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, station, 0, 0, 0}.Encode(),
        PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, stationId, 0, 0, 0}.Encode(),
        SessionDescChanged{kDefaultVersion, 0, desc, u"Hijacked", std::nullopt}.Encode(),
        PlayerNameChanged{kDefaultVersion, 0, station, u"Hijacked", std::nullopt}.Encode(),
        forward.Encode()};
    for (const auto& order : orders_) {
      m.Stream(stream, order);
      ++orders;
    }
    Pace(m, start, step + 1, 5);
  }
  Print("claimed the name server's role " + std::to_string(claims) + " times and gave " +
        std::to_string(orders) + " name server's orders to the station");
  return 0;
}

// Until its session window is open, a joining station drops what it receives with its join's answer:
// a message sent sooner proves nothing. The test appends a line to the go file each time the station
// says its window is open; we wait, serving the session, for the count'th line.
bool WaitForGo(Member& m, const std::string& path, size_t count, int64_t timeoutMs) {
  for (const int64_t deadline = NowMs() + timeoutMs; NowMs() < deadline;) {
    std::ifstream in(path);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    if (lines >= count) return true;
    m.Pump(50);
  }
  return false;
}

int Fatal(Member& m, const Settings& s) {
  std::set<uint32_t> seen;
  for (const std::string& name : s.Inputs) {
    const auto inputs = FatalInputs();
    const auto input =
        std::find_if(inputs.begin(), inputs.end(), [&](const FatalInput& f) { return f.Name == name; });
    if (input == inputs.end()) {
      Print("no input " + name);
      return 1;
    }
    std::optional<uint32_t> station;
    for (const int64_t deadline = NowMs() + 60000;
         !(station = m.FindPlayer(s.Station, seen)) && NowMs() < deadline;) {
      m.Pump(50);
    }
    if (!station) {
      Print("no new player " + s.Station + " came");
      return 1;
    }
    seen.insert(*station);
    if (s.GoFile.empty()) {
      m.PumpFor(1500);  // the station's window opens and its timers start
    } else if (!WaitForGo(m, s.GoFile, seen.size(), 60000)) {
      Print("no word that " + Hex(*station) + " listens came");
      return 1;
    }
    if (input->Roster) {
      // Not yet in the station's roster, the fields are never read: the message is dropped.
      m.Send(*station, input->Message);
      m.PumpFor(1000);
      Print(std::string(m.peer.Table().count(*station) ? "still there after " : "gone after ") + name +
            " from a sender not in the roster");
      m.Send(*station,
             session::BuildAnnouncement(session::kPlayerAnnouncement, static_cast<int32_t>(m.Player)));
    }
    if (name == "farewell") {
      // A chat line and our departure in one write: the station reads the line after its sender left.
      // The peer itself leaves only at the end: its own farewell travels on another connection, which
      // the station might read first, and then the line would come from a stranger and be dropped.
      const std::vector<uint8_t> bytes = Concat(
          {m.Framed(PlayerMessage{m.Player, *station, input->Message.Bytes()}.Encode()),
           m.Framed(PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, m.Player, 0, 0, 0}.Encode()),
           m.Framed(PlayerGroupChange{kDeletePlayer, kDefaultVersion, 0, m.peer.SystemPlayer(), 0, 0, 0}
                        .Encode())});
      RawStream(m.MachineOf(*station)->Stream).Write(bytes);
    } else {
      m.Send(*station, input->Message);
    }
    Print("sent " + name + " to " + Hex(*station));
    for (const int64_t deadline = NowMs() + 15000; m.peer.Table().count(*station) && NowMs() < deadline;) {
      m.Pump(50);
    }
    Print(std::string(m.peer.Table().count(*station) ? "still there: " : "gone: ") + Hex(*station));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  Settings s;
  std::string mode, host, ports = "2300-2400";
  CLI::App cli{"skyvox-hostile-peer: a machine of a DirectPlay session that misbehaves"};
  cli.add_option("MODE", mode, "garbage, flood, impostor, connections, enumeration, nameserver or fatal")
      ->required()
      ->check(CLI::IsMember(
          {"garbage", "flood", "impostor", "connections", "enumeration", "nameserver", "fatal"}));
  cli.add_option("--host", host, "the session host's IPv4 address")->required();
  cli.add_option("--enum-port", s.EnumerationPort, "the port the host answers searches on")
      ->capture_default_str();
  cli.add_option("--ports", ports, "our stream and datagram port range, A-B")->capture_default_str();
  cli.add_option("--session", s.Session, "the session to join (default: the first found)");
  cli.add_option("--name", s.Name, "our player's name")->capture_default_str();
  cli.add_option("--station", s.Station, "the station's player name")->capture_default_str();
  cli.add_option("--victim", s.Victim, "the honest pilot's name")->capture_default_str();
  cli.add_option("--seconds", s.Seconds, "how long to misbehave")->capture_default_str();
  cli.add_option("--rate", s.Rate, "flood: chat lines a second; garbage: rounds a second")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  cli.add_option("--count", s.Count, "connections: how many to each target")->capture_default_str();
  cli.add_option("--source", s.Sources, "connections: local addresses to spread them over (repeatable)");
  cli.add_option("--input", s.Inputs, "fatal: the malformed messages to send, in order (repeatable)");
  cli.add_option("--go-file", s.GoFile,
                 "fatal: wait for one more line in this file before each input (default: 1.5 s)");
  cli.add_option("--seed", s.Seed, "garbage: the random seed")->capture_default_str();
  CLI11_PARSE(cli, argc, argv);
  try {
    s.HostIp = ParseIp(host);
    unsigned first = 0, last = 0;
    if (std::sscanf(ports.c_str(), "%u-%u", &first, &last) != 2 || first == 0 || first > last ||
        last > 65535) {
      throw std::invalid_argument("not a port range: " + ports);
    }
    s.FirstPort = static_cast<uint16_t>(first);
    s.LastPort = static_cast<uint16_t>(last);
    if (mode == "enumeration") return Enumeration(s);
    Member m(s.FirstPort, s.LastPort);
    if (!m.Join(s.HostIp, s.EnumerationPort, s.Session, mode == "impostor" ? s.Victim : s.Name, 20000)) {
      Print("could not join a session at " + host);
      return 1;
    }
    const int code = mode == "garbage"       ? Garbage(m, s)
                     : mode == "flood"       ? Flood(m, s)
                     : mode == "impostor"    ? Impostor(m, s)
                     : mode == "connections" ? Connections(m, s)
                     : mode == "nameserver"  ? NameServer(m, s)
                                             : Fatal(m, s);
    // Quiet for a moment before it leaves, as a simulator is: the design ends the station's session on
    // a message whose sender left before it was read (the fatal mode's last input). And it leaves
    // rather than vanishes, which would hold up the host's next admission while it waits for its word.
    m.PumpFor(500);
    m.peer.Leave();
    m.PumpFor(300);
    return code;
  } catch (const std::exception& e) {
    std::cerr << "skyvox-hostile-peer: " << e.what() << '\n';
    return 1;
  }
}
