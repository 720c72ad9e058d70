#include "dplay4/network.h"

#include <asio.hpp>
#ifdef _WIN32
#include <mswsock.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <random>
#include <system_error>

#include "base/text.h"
#include "dplay4/peer.h"
#include "dplay4/stream.h"

namespace skyvox::dplay4 {

// The DirectPlay interface's session and search flags are passed to the wire unchanged: the two
// definitions must agree.
static_assert(session::kSessionMigrateHost == kSessionMigrateHostFlag);
static_assert(session::kSessionKeepAlive == kSessionKeepAliveFlag);
static_assert(session::kSessionPasswordRequired == kSessionPasswordFlag);
static_assert(session::kEnumSessionsAvailable == kEnumAvailable);
static_assert(session::kEnumSessionsPasswordRequired == kEnumPasswordRequired);

using asio::ip::tcp;
using asio::ip::udp;
using session::DirectPlayError;

namespace {

// The FS98 multiplayer SDK's application GUID, which the simulated host puts in its sessions.
constexpr const char* kHostApplicationGuid = "{CC080A27-6D4E-11D0-8E21-00A0C90542EF}";
// Bounds on what peers can make us hold or wait for.
constexpr size_t kMaxOutboundQueueBytes = 16 * 1024 * 1024;
constexpr int32_t kCloseFlushMs = 1000;
constexpr int32_t kResendEnumerationMs = 1000;
// Descriptors kept free beside the inbound connections (our own sockets, our connections to the other
// machines, what the program opens): a peer that opens connections without end must not leave us
// unable to accept or open another one.
constexpr size_t kSpareDescriptors = 128;
// Bytes of messages still incomplete kept over all connections (a message may have up to 1 MiB): past
// it, the connection holding the most goes. One peer's unfinished messages on many connections cannot
// make us hold a mebibyte for each of them.
constexpr size_t kMaxUnfinishedBytes = 8 * 1024 * 1024;
constexpr int32_t kAcceptRetryMs = 100;

// The inbound connections we keep at most: the configured number, or fewer when the process may not
// open that many descriptors.
size_t ConnectionLimit(size_t configured) {
#ifdef _WIN32
  return configured;  // sockets are handles, with no per-process limit below the configured one
#else
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return configured;
  const auto room = static_cast<size_t>(limit.rlim_cur);
  return std::max<size_t>(1, std::min(configured, room > kSpareDescriptors ? room - kSpareDescriptors : 1));
#endif
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Ip ToIp(const asio::ip::address& a) {
  if (a.is_v4()) return a.to_v4().to_bytes();
  if (a.is_v6() && a.to_v6().is_v4_mapped())
    return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_bytes();
  return Ip{};
}

asio::ip::address_v4 ToAsio(const Ip& ip) {
  return asio::ip::address_v4(ip);
}

std::u16string ToWire(const std::string& cp1252) {
  return Utf8ToUtf16(Cp1252ToUtf8(cp1252));
}

std::string FromWire(const std::u16string& text) {
  return Utf8ToCp1252(Utf16ToUtf8(text));
}

// "5 s", "0.3 s": a wait as the user reads it.
std::string SecondsText(int32_t ms) {
  char text[32];
  if (ms % 1000 == 0) {
    std::snprintf(text, sizeof text, "%d s", ms / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
  }
  return text;
}

// Why a host turned a join away, from its HRESULT.
std::string JoinRefusal(uint32_t hresult) {
  if (hresult == kErrorInvalidPassword) return "the host refused the password";
  if (hresult == kErrorNoNewPlayers) return "the session is full";
  if (hresult == 0) return "could not join the session";
  char text[64];
  std::snprintf(text, sizeof text, "the host refused the join (0x%08X)", hresult);
  return text;
}

// A host name or IPv4 address as typed: letters, digits, '-', '_' and '.', nothing that would need a
// lookup to be found wrong.
bool LooksLikeHostName(const std::string& host) {
  return !host.empty() && host.size() <= 253 && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
  });
}

#ifndef _WIN32
// Our datagram socket. The event loop watches a socket for as long as it holds it, and every datagram
// that arrives on a watched socket wakes the loop, even with no read pending; so the socket is a plain
// descriptor that a stream_descriptor watches only while we wait for the next datagram, and not while
// a batch of them is collected. Reads never wait; sends wait for room as on a blocking socket.
class DatagramSocket {
 public:
  DatagramSocket(asio::io_context& io, udp::socket socket) : watch_(io), fd_(socket.release()) {}
  ~DatagramSocket() { Close(); }
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  // handler(error) once a datagram is waiting (operation_aborted when unwatched or closed).
  template <typename Handler>
  void Watch(Handler handler) {
    asio::error_code ec;
    if (!watch_.is_open()) watch_.assign(fd_, ec);
    if (ec) return;
    watch_.async_wait(asio::posix::descriptor_base::wait_read, std::move(handler));
  }
  void Unwatch() {
    if (watch_.is_open()) watch_.release();
  }
  void Close() {
    Unwatch();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // The size of the datagram read into buffer from `from`; -1 when none is waiting, -2 when the read
  // failed.
  ssize_t Receive(std::span<uint8_t> buffer, Ip& from) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&address), &length);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    from = Ip{};
    if (address.sin_family == AF_INET) std::memcpy(from.data(), &address.sin_addr, from.size());
    return n;
  }
  // Waits for room in the send buffer when there is none, as a blocking socket would (watching
  // leaves the descriptor non-blocking).
  void SendTo(const std::vector<uint8_t>& datagram, const udp::endpoint& to, asio::error_code& ec) {
    ec.clear();
    const auto length = static_cast<socklen_t>(to.size());
    for (;;) {
      if (::sendto(fd_, datagram.data(), datagram.size(), 0, to.data(), length) >= 0) return;
      if (errno != EAGAIN && errno != EWOULDBLOCK) break;
      pollfd room{fd_, POLLOUT, 0};
      if (::poll(&room, 1, -1) < 0) break;
    }
    ec = asio::error_code(errno, asio::error::get_system_category());
  }

 private:
  asio::posix::stream_descriptor watch_;
  int fd_;
};
#else
// Our datagram socket on Winsock: the event loop waits for a datagram only while we watch, reads never
// wait, sends wait for room as on a blocking socket.
class DatagramSocket {
 public:
  DatagramSocket(asio::io_context&, udp::socket socket) : socket_(std::move(socket)) {
    asio::error_code ec;
    socket_.non_blocking(true, ec);
    // Winsock reports an ICMP "port unreachable" for an earlier send as a failed read of the next
    // datagram; a peer that went away must not cost us the datagrams of the others.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
    BOOL report = FALSE;
    DWORD bytes = 0;
    ::WSAIoctl(socket_.native_handle(), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &bytes,
               nullptr, nullptr);
  }
  ~DatagramSocket() {
    Close();
  }
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  template <typename Handler>
  void Watch(Handler handler) {
    if (socket_.is_open()) socket_.async_wait(udp::socket::wait_read, std::move(handler));
  }
  void Unwatch() {
    asio::error_code ec;
    socket_.cancel(ec);
  }
  void Close() {
    asio::error_code ec;
    socket_.close(ec);
  }
  ssize_t Receive(std::span<uint8_t> buffer, Ip& from) {
    udp::endpoint sender;
    asio::error_code ec;
    const size_t n = socket_.receive_from(asio::buffer(buffer.data(), buffer.size()), sender, 0, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) return -1;
    if (ec) return -2;
    from = ToIp(sender.address());
    return static_cast<ssize_t>(n);
  }
  void SendTo(const std::vector<uint8_t>& datagram, const udp::endpoint& to, asio::error_code& ec) {
    for (;;) {
      socket_.send_to(asio::buffer(datagram), to, 0, ec);
      if (ec != asio::error::would_block && ec != asio::error::try_again) return;
      socket_.wait(udp::socket::wait_write, ec);
      if (ec) return;
    }
  }

 private:
  udp::socket socket_;
};
#endif

}  // namespace

// ---------------------------------------------------------------------------------------------------

class NetworkContext {
 public:
  NetworkContext() : guard_(asio::make_work_guard(io_)) {}
  asio::io_context& Io() { return io_; }
  // Every object on this context gets its clock tick after each poll, so that one object's wait also
  // serves the keep-alive and name-server duties of the others.
  std::list<std::function<void()>*> Tickers;
  void TickAll() {
    // A ticker may remove itself (or another) while running: walk a copy.
    const auto tickers = Tickers;
    for (auto* t : tickers) {
      if (std::find(Tickers.begin(), Tickers.end(), t) != Tickers.end()) (*t)();
    }
  }

 private:
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
};

std::shared_ptr<NetworkContext> MakeNetworkContext() {
  return std::make_shared<NetworkContext>();
}

void PollNetwork(NetworkContext& context) {
  context.Io().restart();
  context.Io().poll();
  context.TickAll();
}

void PollNetworkFor(NetworkContext& context, int32_t timeoutMs) {
  context.Io().restart();
  if (context.Io().run_one_for(std::chrono::milliseconds(std::max(0, timeoutMs))) > 0) context.Io().poll();
  context.TickAll();
}

// ---------------------------------------------------------------------------------------------------

class NetworkDirectPlay::Impl : public Transport {
 public:
  Impl(NetworkOptions options, std::shared_ptr<NetworkContext> context)
      : options_(std::move(options)),
        context_(context ? std::move(context) : MakeNetworkContext()),
        alive_(std::make_shared<bool>(true)),
        ticker_([this] {
          if (!peer_) return;
          peer_->Tick(NowMs());
          SweepIdle();
          NoticeTakeOver();
        }),
        batchTimer_(context_->Io()),
        acceptTimer_(context_->Io()) {
    context_->Tickers.push_back(&ticker_);
  }

  ~Impl() override {
    context_->Tickers.remove(&ticker_);
    *alive_ = false;
    CloseSockets();
  }

  // --- Transport
  void SendStream(const Address& to, std::vector<uint8_t> message) override;
  void SendDatagram(const Address& to, std::vector<uint8_t> datagram) override;
  void BroadcastDatagram(uint16_t port, std::vector<uint8_t> datagram) override;
  bool ListenForEnumerations(bool on) override;

  void Log(const std::string& text) const {
    if (options_.Log) options_.Log(text);
  }
  // An operation's look at the network. A burst of operations (a tick receiving and naming dozens of
  // messages) looks once: each look costs system calls, and what a millisecond could bring is handled by
  // the burst's next look or the caller's next wait.
  void Poll() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPoll_ < std::chrono::milliseconds(1)) return;
    lastPoll_ = now;
    PollNetwork(*context_);
    if (batching_) TakeDatagrams();
  }
  bool Interrupted() const { return options_.Interrupted && options_.Interrupted(); }
  // Tells the program once when this machine became the name server of a session it joined.
  void NoticeTakeOver() {
    const bool nameServer = peer_->IsNameServer();
    if (nameServer && !wasNameServer_ && options_.TookOver) options_.TookOver(SearchAddress());
    wasNameServer_ = nameServer;
  }
  std::optional<std::string> SearchAddress() const;
  // Polls until done() or the time is up; true when done.
  template <typename Done>
  bool WaitFor(int32_t timeoutMs, Done done) {
    const int64_t deadline = NowMs() + timeoutMs;
    Poll();
    while (!done()) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) return false;
      PollNetworkFor(*context_, static_cast<int32_t>(std::min<int64_t>(left, 50)));
    }
    return true;
  }

  void Initialize(const std::string& address);
  bool Initialized() const { return peer_ != nullptr; }
  Peer& P() {
    if (!peer_) throw DirectPlayError("the connection is not initialised");
    return *peer_;
  }
  std::optional<Ip> ResolveSearchTarget(uint16_t& port);
  void FlushOutbound(int32_t timeoutMs);
  void CloseSockets();
  // Asks the name server for an id and waits for it; throws DirectPlayError on refusal or silence.
  uint32_t RequestIdAndWait(Peer& peer, uint32_t flags) {
    while (peer.TakeIdReply()) {
    }  // answers that came after an earlier wait gave up
    peer.RequestId(flags);
    std::optional<Peer::IdReply> reply;
    WaitFor(options_.ReplyTimeoutMs,
            [&] { return (reply = peer.TakeIdReply()).has_value() || !peer.InSession() || Interrupted(); });
    if (!reply && Interrupted()) throw DirectPlayError("the user cancelled the wait for the host");
    if (!reply)
      throw DirectPlayError("the host did not hand out an id within " + SecondsText(options_.ReplyTimeoutMs));
    if (reply->Result == kErrorNoNewPlayers) throw DirectPlayError("the session is full");
    if (reply->Result != 0) throw DirectPlayError(JoinRefusal(reply->Result));
    return reply->Id;
  }

  NetworkOptions options_;
  std::shared_ptr<NetworkContext> context_;
  std::shared_ptr<bool> alive_;
  std::function<void()> ticker_;
  std::unique_ptr<Peer> peer_;
  // Name server at the last clock tick (set at once for a session we host: no take-over to tell).
  bool wasNameServer_ = false;

  // What InitializeConnection / the address question gave: nullopt until asked.
  std::optional<std::string> hostText_;
  std::optional<std::optional<Ip>> searchTarget_;  // resolved once per object
  uint16_t searchPort_ = 0;

  std::unique_ptr<tcp::acceptor> acceptor_;
  std::unique_ptr<DatagramSocket> datagram_;
  std::unique_ptr<udp::socket> enumeration_;
  std::array<uint8_t, 65536> datagramBuffer_{};
  std::array<uint8_t, 65536> enumerationBuffer_{};
  udp::endpoint enumerationFrom_;
  // While a batch is open the datagram socket is not watched; the timer ends the batch.
  asio::steady_timer batchTimer_;
  bool batching_ = false;
  asio::steady_timer acceptTimer_;  // a failed accept is tried again after a pause
  size_t maxConnections_ = 0;
  size_t unfinished_ = 0;  // bytes of incomplete messages held by all connections
  std::chrono::steady_clock::time_point lastPoll_{};

  struct Connection {
    explicit Connection(asio::io_context& io) : Socket(io), Timer(io) {}
    tcp::socket Socket;
    asio::steady_timer Timer;  // connect timeout
    StreamAssembler Assembler;
    std::array<uint8_t, 8192> Buffer{};
    Ip Source{};
    int64_t LastActivity = 0;
    int64_t PartialSince = 0;  // when the first byte of the message still incomplete came
    bool Spoke = false;        // a whole message came over it
    size_t Unfinished = 0;     // its part of unfinished_
    bool Outbound = false;
    bool Connected = false;
    bool Writing = false;
    bool Closed = false;
    std::deque<std::vector<uint8_t>> Queue;
    size_t QueuedBytes = 0;
  };
  std::list<std::shared_ptr<Connection>> inbound_;
  std::map<Address, std::shared_ptr<Connection>> outbound_;

  void Accept();
  void MakeRoomFor(const Ip& source);
  // Where this machine answers searches when it is the name server: the port it found its session on
  // (the session keeps its address when we take over), else the configured one.
  uint16_t EnumerationPort() const { return searchPort_ != 0 ? searchPort_ : options_.EnumerationPort; }
  void ReceiveDatagrams(udp::socket& socket, std::array<uint8_t, 65536>& buffer, udp::endpoint& from);
  // Waits for the next datagram on our datagram socket; OpenBatch then collects those that follow it.
  void WatchDatagrams();
  void OpenBatch();
  // Hands every datagram waiting on our socket to the peer (a bounded number); how many there were.
  size_t TakeDatagrams();
  void Read(const std::shared_ptr<Connection>& c);
  void Write(const std::shared_ptr<Connection>& c);
  void Drop(const std::shared_ptr<Connection>& c, const std::string& why);
  // Closes the connections holding the most unfinished bytes while they exceed kMaxUnfinishedBytes.
  void ShedUnfinished();
  void SweepIdle();
};

void NetworkDirectPlay::Impl::Initialize(const std::string& address) {
  if (address != kTcpIpConnectionAddress &&
      address.rfind(std::string(kTcpIpConnectionAddress) + ":", 0) != 0) {
    throw DirectPlayError("not a TCP/IP connection address: " + address);
  }
  if (address.size() > std::string(kTcpIpConnectionAddress).size()) {
    hostText_ = address.substr(std::string(kTcpIpConnectionAddress).size() + 1);
  }
  searchTarget_.reset();
  if (peer_) return;  // sockets already open: only the host address changes

  asio::io_context& io = context_->Io();
  uint16_t streamPort = 0, datagramPort = 0;
  for (uint32_t port = options_.FirstPort; port <= options_.LastPort && !acceptor_; ++port) {
    try {
      auto acceptor = std::make_unique<tcp::acceptor>(io);
      acceptor->open(tcp::v4());
#ifndef _WIN32
      // On Windows the same option would let us take a port another program listens on.
      acceptor->set_option(tcp::acceptor::reuse_address(true));
#endif
      acceptor->bind(tcp::endpoint(tcp::v4(), static_cast<uint16_t>(port)));
      acceptor->listen();
      acceptor_ = std::move(acceptor);
      streamPort = static_cast<uint16_t>(port);
    } catch (const std::system_error&) {
    }
  }
  // The datagram port: the stream port's number when free (easy to open in a firewall), else the next.
  for (uint32_t port = streamPort; acceptor_ && port <= options_.LastPort && !datagram_; ++port) {
    try {
      auto socket = std::make_unique<udp::socket>(io);
      socket->open(udp::v4());
      socket->bind(udp::endpoint(udp::v4(), static_cast<uint16_t>(port)));
      socket->set_option(asio::socket_base::broadcast(true));
      datagram_ = std::make_unique<DatagramSocket>(io, std::move(*socket));
      datagramPort = static_cast<uint16_t>(port);
    } catch (const std::system_error&) {
    }
  }
  if (!acceptor_ || !datagram_) {
    acceptor_.reset();
    datagram_.reset();
    throw DirectPlayError("no free TCP and UDP port between " + std::to_string(options_.FirstPort) + " and " +
                          std::to_string(options_.LastPort));
  }
  PeerConfig config;
  config.StreamPort = streamPort;
  config.DatagramPort = datagramPort;
  config.Dialect = options_.Dialect;
  config.PingIntervalMs = options_.PingIntervalMs;
  config.MissedPingsLimit = options_.MissedPingsLimit;
  config.AddForwardAckTimeoutMs = options_.AddForwardAckTimeoutMs;
  config.IdKey = options_.IdKey;
  config.Seed = std::random_device{}() ^ (static_cast<uint64_t>(NowMs()) << 20) ^ streamPort;
  config.Log = options_.Log;
  peer_ = std::make_unique<Peer>(*this, config);
  peer_->Tick(NowMs());
  maxConnections_ = ConnectionLimit(options_.MaxConnections);
  Accept();
  WatchDatagrams();
  Log("listening on TCP port " + std::to_string(streamPort) + " and UDP port " +
      std::to_string(datagramPort));
}

void NetworkDirectPlay::Impl::Accept() {
  auto c = std::make_shared<Connection>(context_->Io());
  std::weak_ptr<bool> alive = alive_;
  acceptor_->async_accept(c->Socket, [this, alive, c](const asio::error_code& error) {
    if (alive.expired() || !*alive.lock() || !acceptor_) return;
    if (!error) {
      asio::error_code ec;
      const auto remote = c->Socket.remote_endpoint(ec);
      c->Source = ec ? Ip{} : ToIp(remote.address());
      if (ec) {
        c->Socket.close(ec);
      } else {
        MakeRoomFor(c->Source);
        c->Socket.set_option(tcp::no_delay(true), ec);
        c->LastActivity = NowMs();
        c->Connected = true;
        inbound_.push_back(c);
        Read(c);
      }
    } else if (error == asio::error::operation_aborted) {
      return;
    } else {
      // Out of descriptors, say: accepting again at once would fail again at once, for as long as the
      // cause lasts, and hold the program in that loop.
      acceptTimer_.expires_after(std::chrono::milliseconds(kAcceptRetryMs));
      acceptTimer_.async_wait([this, alive](const asio::error_code& e) {
        if (!e && !alive.expired() && *alive.lock() && acceptor_) Accept();
      });
      return;
    }
    Accept();
  });
}

void NetworkDirectPlay::Impl::MakeRoomFor(const Ip& source) {
  // The connection that makes room: among those that never brought a whole message, if any, the one
  // quiet longest (connections opened and left silent cannot push out those that talk).
  const auto before = [](const std::shared_ptr<Connection>& a, const std::shared_ptr<Connection>& b) {
    return a->Spoke != b->Spoke ? !a->Spoke : a->LastActivity < b->LastActivity;
  };
  std::shared_ptr<Connection> quietest;
  size_t fromSource = 0;
  for (const auto& c : inbound_) {
    if (c->Source != source) continue;
    ++fromSource;
    if (!quietest || before(c, quietest)) quietest = c;
  }
  if (fromSource < options_.MaxConnectionsPerAddress) quietest.reset();
  if (!quietest && inbound_.size() >= maxConnections_) {
    for (const auto& c : inbound_) {
      if (!quietest || before(c, quietest)) quietest = c;
    }
  }
  if (quietest) Drop(quietest, "too many connections; the quietest one makes room");
}

void NetworkDirectPlay::Impl::Read(const std::shared_ptr<Connection>& c) {
  std::weak_ptr<bool> alive = alive_;
  c->Socket.async_read_some(asio::buffer(c->Buffer),
                            [this, alive, c](const asio::error_code& error, size_t n) {
                              if (alive.expired() || !*alive.lock() || c->Closed) return;
                              if (error) {
                                Drop(c, error == asio::error::eof ? "" : error.message());
                                return;
                              }
                              c->LastActivity = NowMs();
                              const bool wasPartial = c->Assembler.Pending() > 0;
                              bool completed = false;
                              c->Assembler.Append(std::span<const uint8_t>(c->Buffer.data(), n));
                              try {
                                while (auto message = c->Assembler.Next()) {
                                  completed = c->Spoke = true;
                                  if (peer_) peer_->OnStreamMessage(c->Source, *message);
                                  if (c->Closed) return;
                                }
                              } catch (const Error& e) {
                                Drop(c, std::string("out of step: ") + e.what());
                                return;
                              }
                              // A message's time limit runs from its first byte: what trickles in
                              // after it does not extend it.
                              if (c->Assembler.Pending() == 0) {
                                c->PartialSince = 0;
                              } else if (completed || !wasPartial) {
                                c->PartialSince = c->LastActivity;
                              }
                              unfinished_ += c->Assembler.Pending() - c->Unfinished;
                              c->Unfinished = c->Assembler.Pending();
                              ShedUnfinished();
                              if (!c->Closed) Read(c);
                            });
}

void NetworkDirectPlay::Impl::ShedUnfinished() {
  while (unfinished_ > kMaxUnfinishedBytes) {
    std::shared_ptr<Connection> largest;
    auto note = [&](const std::shared_ptr<Connection>& c) {
      if (!largest || c->Unfinished > largest->Unfinished) largest = c;
    };
    for (const auto& c : inbound_) note(c);
    for (const auto& [to, c] : outbound_) note(c);
    if (!largest || largest->Unfinished == 0) return;
    Drop(largest, "too many bytes of unfinished messages; the connection holding the most goes");
  }
}

void NetworkDirectPlay::Impl::Drop(const std::shared_ptr<Connection>& c, const std::string& why) {
  if (c->Closed) return;
  c->Closed = true;
  unfinished_ -= c->Unfinished;
  c->Unfinished = 0;
  asio::error_code ec;
  c->Socket.close(ec);
  c->Timer.cancel();
  if (!why.empty()) Log("closed a TCP connection with " + ToText(Address{c->Source, 0}) + ": " + why);
  inbound_.remove(c);
  for (auto it = outbound_.begin(); it != outbound_.end(); ++it) {
    if (it->second == c) {
      outbound_.erase(it);
      break;
    }
  }
}

void NetworkDirectPlay::Impl::SweepIdle() {
  const int64_t now = NowMs();
  std::vector<std::shared_ptr<Connection>> stale;
  for (const auto& c : inbound_) {
    if (c->Assembler.Pending() > 0 && now - c->PartialSince > options_.PartialMessageTimeoutMs) {
      stale.push_back(c);
    }
  }
  for (const auto& c : stale) Drop(c, "a message stayed incomplete");
}

void NetworkDirectPlay::Impl::ReceiveDatagrams(udp::socket& socket, std::array<uint8_t, 65536>& buffer,
                                               udp::endpoint& from) {
  std::weak_ptr<bool> alive = alive_;
  udp::socket* s = &socket;
  socket.async_receive_from(
      asio::buffer(buffer), from, [this, alive, s, &buffer, &from](const asio::error_code& error, size_t n) {
        if (alive.expired() || !*alive.lock()) return;
        if (error == asio::error::operation_aborted) return;
        if (s != enumeration_.get()) return;
        if (!error && peer_) {
          peer_->OnDatagram(ToIp(from.address()), std::span<const uint8_t>(buffer.data(), n));
        }
        // The peer may have stopped the enumeration listener meanwhile.
        if (s == enumeration_.get()) ReceiveDatagrams(*s, buffer, from);
      });
}

void NetworkDirectPlay::Impl::WatchDatagrams() {
  std::weak_ptr<bool> alive = alive_;
  DatagramSocket* socket = datagram_.get();
  socket->Watch([this, alive, socket](const asio::error_code& error) {
    if (alive.expired() || !*alive.lock() || error == asio::error::operation_aborted) return;
    if (socket != datagram_.get()) return;
    const size_t taken = TakeDatagrams();
    if (!datagram_) return;
    if (options_.DatagramBatchMs > 0 && taken > 0) {
      datagram_->Unwatch();
      OpenBatch();
    } else {
      WatchDatagrams();
    }
  });
}

void NetworkDirectPlay::Impl::OpenBatch() {
  batching_ = true;
  std::weak_ptr<bool> alive = alive_;
  batchTimer_.expires_after(std::chrono::milliseconds(options_.DatagramBatchMs));
  batchTimer_.async_wait([this, alive](const asio::error_code& error) {
    if (alive.expired() || !*alive.lock() || error || !batching_ || !datagram_) return;
    // Datagrams kept coming: another batch; the stream has paused: back to taking each at once.
    if (TakeDatagrams() > 0) return OpenBatch();
    batching_ = false;
    if (!datagram_) return;
    WatchDatagrams();
  });
}

size_t NetworkDirectPlay::Impl::TakeDatagrams() {
  // Bounded, so that a flood cannot hold the caller: what is left waits for the next batch.
  constexpr size_t kMaxPerTake = 4096;
  size_t taken = 0;
  for (size_t tries = 0; datagram_ && tries < kMaxPerTake; ++tries) {
    Ip from{};
    const ssize_t n = datagram_->Receive(datagramBuffer_, from);
    if (n == -1) break;
    if (n < 0) continue;  // a failed read is passed over
    ++taken;
    if (peer_)
      peer_->OnDatagram(from, std::span<const uint8_t>(datagramBuffer_.data(), static_cast<size_t>(n)));
  }
  return taken;
}

void NetworkDirectPlay::Impl::SendStream(const Address& to, std::vector<uint8_t> message) {
  if (options_.Outbound && !options_.Outbound(message, true)) return;
  if (!acceptor_) return;
  std::shared_ptr<Connection>& slot = outbound_[to];
  if (!slot) {
    slot = std::make_shared<Connection>(context_->Io());
    auto c = slot;
    c->Outbound = true;
    c->Source = to.Host;
    std::weak_ptr<bool> alive = alive_;
    c->Timer.expires_after(std::chrono::milliseconds(options_.ReplyTimeoutMs));
    c->Timer.async_wait([c](const asio::error_code& error) {
      if (!error && !c->Connected) {
        asio::error_code ec;
        c->Socket.close(ec);  // the connect handler then reports the failure
      }
    });
    c->Socket.async_connect(tcp::endpoint(ToAsio(to.Host), to.Port),
                            [this, alive, c, to](const asio::error_code& error) {
                              if (alive.expired() || !*alive.lock() || c->Closed) return;
                              c->Timer.cancel();
                              if (error) {
                                Drop(c, "cannot connect to " + ToText(to) + ": " + error.message());
                                return;
                              }
                              asio::error_code ec;
                              c->Socket.set_option(tcp::no_delay(true), ec);
                              c->Connected = true;
                              c->LastActivity = NowMs();
                              Read(c);  // some peers answer on the connection a request came in on
                              Write(c);
                            });
  }
  auto c = slot;
  if (c->QueuedBytes + message.size() > kMaxOutboundQueueBytes) {
    Drop(c, "the peer does not read what we send");
    return;
  }
  c->QueuedBytes += message.size();
  c->Queue.push_back(std::move(message));
  if (c->Connected) Write(c);
}

void NetworkDirectPlay::Impl::Write(const std::shared_ptr<Connection>& c) {
  if (c->Writing || c->Queue.empty() || c->Closed) return;
  c->Writing = true;
  std::weak_ptr<bool> alive = alive_;
  asio::async_write(c->Socket, asio::buffer(c->Queue.front()),
                    [this, alive, c](const asio::error_code& error, size_t) {
                      if (alive.expired() || !*alive.lock() || c->Closed) return;
                      c->Writing = false;
                      if (error) {
                        Drop(c, error.message());
                        return;
                      }
                      c->QueuedBytes -= c->Queue.front().size();
                      c->Queue.pop_front();
                      Write(c);
                    });
}

void NetworkDirectPlay::Impl::SendDatagram(const Address& to, std::vector<uint8_t> datagram) {
  if (options_.Outbound && !options_.Outbound(datagram, false)) return;
  if (!datagram_) return;
  asio::error_code ec;
  datagram_->SendTo(datagram, udp::endpoint(ToAsio(to.Host), to.Port), ec);
  if (ec) Log("cannot send a datagram to " + ToText(to) + ": " + ec.message());
}

void NetworkDirectPlay::Impl::BroadcastDatagram(uint16_t port, std::vector<uint8_t> datagram) {
  if (options_.Outbound && !options_.Outbound(datagram, false)) return;
  if (!datagram_) return;
  asio::error_code ec;
  datagram_->SendTo(datagram, udp::endpoint(asio::ip::address_v4::broadcast(), port), ec);
  if (ec) Log("cannot broadcast on the local network: " + ec.message());
}

bool NetworkDirectPlay::Impl::ListenForEnumerations(bool on) {
  if (!on) {
    if (enumeration_) {
      asio::error_code ec;
      enumeration_->close(ec);
      enumeration_.reset();
    }
    return true;
  }
  if (enumeration_) return true;
  try {
    auto socket = std::make_unique<udp::socket>(context_->Io());
    socket->open(udp::v4());
    // No address reuse: two sessions answering on one port would each get only some of the searches.
    socket->bind(udp::endpoint(udp::v4(), EnumerationPort()));
    enumeration_ = std::move(socket);
  } catch (const std::system_error& e) {
    Log("cannot listen on UDP port " + std::to_string(EnumerationPort()) + ": " + e.what());
    return false;
  }
  ReceiveDatagrams(*enumeration_, enumerationBuffer_, enumerationFrom_);
  return true;
}

std::optional<Ip> NetworkDirectPlay::Impl::ResolveSearchTarget(uint16_t& port) {
  port = options_.EnumerationPort;
  if (!hostText_) {
    if (options_.AskHostAddress) {
      std::optional<std::string> answer = options_.AskHostAddress();
      if (!answer) throw DirectPlayError("the user cancelled the session search");
      hostText_ = *answer;
    } else {
      hostText_ = "";
    }
  }
  std::string host = *hostText_;
  while (!host.empty() && host.front() == ' ') host.erase(host.begin());
  while (!host.empty() && host.back() == ' ') host.pop_back();
  if (host.empty()) return std::nullopt;
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos) {
    const std::string digits = host.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), ::isdigit) ||
        std::stoul(digits) == 0 || std::stoul(digits) > 65535) {
      throw DirectPlayError("not a port number: " + digits);
    }
    port = static_cast<uint16_t>(std::stoul(digits));
    host.resize(colon);
  }
  if (!LooksLikeHostName(host))
    throw DirectPlayError("cannot find the host " + host + ": not a host name or IP address");
  asio::error_code ec;
  udp::resolver resolver(context_->Io());
  const auto results = resolver.resolve(udp::v4(), host, "", ec);
  if (ec || results.empty()) throw DirectPlayError("cannot find the host " + host + ": " + ec.message());
  return ToIp(results.begin()->endpoint().address());
}

std::optional<std::string> NetworkDirectPlay::Impl::SearchAddress() const {
  if (!peer_ || !peer_->IsNameServer() || !enumeration_) return std::nullopt;
  // The address the other machines reached us at: the local end of a connection with one of them.
  std::string address;
  auto note = [&](const std::shared_ptr<Connection>& c) {
    asio::error_code ec;
    const auto local = c->Socket.local_endpoint(ec);
    if (address.empty() && !ec && !local.address().is_unspecified()) address = local.address().to_string();
  };
  for (const auto& c : inbound_) note(c);
  for (const auto& [to, c] : outbound_) note(c);
  if (address.empty()) {
    asio::error_code ec;
    address = asio::ip::host_name(ec);
    if (ec || address.empty()) address = "this machine";
  }
  return address + ":" + std::to_string(EnumerationPort());
}

void NetworkDirectPlay::Impl::FlushOutbound(int32_t timeoutMs) {
  WaitFor(timeoutMs, [this] {
    for (const auto& [to, c] : outbound_) {
      if (!c->Queue.empty()) return false;
    }
    return true;
  });
}

void NetworkDirectPlay::Impl::CloseSockets() {
  asio::error_code ec;
  for (const auto& c : inbound_) c->Socket.close(ec);
  for (const auto& [to, c] : outbound_) {
    c->Socket.close(ec);
    c->Timer.cancel();
  }
  for (const auto& c : inbound_) c->Unfinished = 0;
  for (const auto& [to, c] : outbound_) c->Unfinished = 0;
  unfinished_ = 0;
  inbound_.clear();
  outbound_.clear();
  if (acceptor_) acceptor_->close(ec);
  if (datagram_) datagram_->Close();
  if (enumeration_) enumeration_->close(ec);
  batchTimer_.cancel();
  acceptTimer_.cancel();
  batching_ = false;
  // The sockets' pending handlers still refer to them: give them to the context to finish with.
  auto keep = std::make_shared<std::tuple<std::unique_ptr<tcp::acceptor>, std::unique_ptr<DatagramSocket>,
                                          std::unique_ptr<udp::socket>>>(
      std::move(acceptor_), std::move(datagram_), std::move(enumeration_));
  asio::post(context_->Io(), [keep] {});
}

// ---------------------------------------------------------------------------------------------------

NetworkDirectPlay::NetworkDirectPlay(NetworkOptions options, std::shared_ptr<NetworkContext> context)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(context))) {}

NetworkDirectPlay::~NetworkDirectPlay() {
  try {
    Close();
  } catch (...) {  // nothing may leave a destructor
  }
}

void NetworkDirectPlay::Poll() {
  impl_->Poll();
}

void NetworkDirectPlay::Abandon() {
  impl_->CloseSockets();
  impl_->peer_.reset();
  impl_->searchTarget_.reset();
}

bool NetworkDirectPlay::IsNameServer() const {
  return impl_->peer_ && impl_->peer_->IsNameServer();
}

uint16_t NetworkDirectPlay::StreamPort() const {
  return impl_->acceptor_ ? impl_->acceptor_->local_endpoint().port() : 0;
}

std::optional<std::string> NetworkDirectPlay::SearchAddress() const {
  return impl_->SearchAddress();
}

std::vector<session::DpConnection> NetworkDirectPlay::EnumConnections(int32_t) {
  return {session::DpConnection{kTcpIpConnectionName, kTcpIpConnectionAddress}};
}

void NetworkDirectPlay::InitializeConnection(const std::string& address) {
  impl_->Initialize(address);
}

std::vector<session::DpSessionDesc> NetworkDirectPlay::EnumSessions(const session::DpSessionDesc&,
                                                                    int32_t timeoutMs, int32_t flags) {
  Peer& peer = impl_->P();
  if (!impl_->searchTarget_) {
    uint16_t port = 0;
    impl_->searchTarget_ = impl_->ResolveSearchTarget(port);
    impl_->searchPort_ = port;
  }
  const std::optional<Ip> target = *impl_->searchTarget_;
  const int32_t wait = timeoutMs > 0 ? timeoutMs : impl_->options_.EnumerationTimeoutMs;
  peer.ClearFound();
  const int64_t end = NowMs() + wait;
  peer.Enumerate(target, impl_->searchPort_, static_cast<uint32_t>(flags), u"");
  Impl& impl = *impl_;
  for (int64_t left = wait; left > 0 && !impl.Interrupted(); left = end - NowMs()) {
    impl.WaitFor(static_cast<int32_t>(std::min<int64_t>(left, kResendEnumerationMs)),
                 [&impl] { return impl.Interrupted(); });
    if (end - NowMs() > 0) peer.Enumerate(target, impl_->searchPort_, static_cast<uint32_t>(flags), u"");
  }
  if (impl.Interrupted()) throw DirectPlayError("the user cancelled the session search");
  std::vector<session::DpSessionDesc> sessions;
  for (const FoundSession& f : peer.Found()) {
    session::DpSessionDesc d;
    d.SessionName = FromWire(f.Name);
    d.CurrentPlayers = static_cast<int32_t>(f.Desc.CurrentPlayers);
    d.MaxPlayers = static_cast<int32_t>(f.Desc.MaxPlayers);
    d.Flags = static_cast<int32_t>(f.Desc.Flags);
    d.InstanceId = f.Desc.Instance.ToText();
    sessions.push_back(std::move(d));
  }
  return sessions;
}

void NetworkDirectPlay::Open(const session::DpSessionDesc& session, int32_t flags) {
  Peer& peer = impl_->P();
  if (peer.InSession()) throw DirectPlayError("a session is already open");
  if (flags == session::kOpenCreate) {
    try {
      peer.Host(ToWire(session.SessionName), ToWire(session.Password),
                static_cast<uint32_t>(std::max(0, session.MaxPlayers)), static_cast<uint32_t>(session.Flags),
                Guid::FromText(kHostApplicationGuid));
    } catch (const PeerError& e) {
      throw DirectPlayError(e.what());
    }
    impl_->wasNameServer_ = true;
    impl_->Log("hosting session \"" + Cp1252ToUtf8(session.SessionName) + "\"");
    return;
  }
  if (flags != session::kOpenJoin) throw DirectPlayError("unknown open flags");
  const FoundSession* found = nullptr;
  for (const FoundSession& f : peer.Found()) {
    if (EqualsNoCase(f.Desc.Instance.ToText(), session.InstanceId)) found = &f;
  }
  if (!found) throw DirectPlayError("no such session was found: " + session.InstanceId);
  const FoundSession target = *found;
  peer.StartJoin(target, ToWire(session.Password));
  if (peer.Phase() == JoinPhase::Failed && peer.JoinError() == 0) {
    throw DirectPlayError("the session needs a DirectPlay service this program does not offer");
  }
  // Each step of the join waits for the host; the user may cut the wait short.
  auto await = [&](JoinPhase phase, int32_t timeoutMs, const std::string& silence) {
    impl_->WaitFor(timeoutMs, [&] { return peer.Phase() != phase || impl_->Interrupted(); });
    if (peer.Phase() != phase) return;
    if (impl_->Interrupted()) {
      peer.FailJoin("cancelled by the user");
      throw DirectPlayError("the user cancelled the join");
    }
    peer.FailJoin(silence);
    throw DirectPlayError(silence + " within " + SecondsText(timeoutMs));
  };
  await(JoinPhase::WaitingForId, impl_->options_.ReplyTimeoutMs, "the host did not answer");
  await(JoinPhase::WaitingForNameTable, impl_->options_.NameTableTimeoutMs,
        "the host did not send the session's players");
  if (peer.Phase() != JoinPhase::Joined) throw DirectPlayError(JoinRefusal(peer.JoinError()));
}

session::DpSessionDesc NetworkDirectPlay::CurrentSession() {
  Poll();
  Peer& peer = impl_->P();
  if (!peer.InSession())
    throw DirectPlayError(peer.Lost() ? "the session was lost: " + peer.LostReason() : "no session is open");
  session::DpSessionDesc d;
  d.SessionName = FromWire(peer.SessionName());
  d.CurrentPlayers = static_cast<int32_t>(peer.NonSystemPlayers());
  d.MaxPlayers = static_cast<int32_t>(peer.Desc().MaxPlayers);
  d.Flags = static_cast<int32_t>(peer.Desc().Flags);
  d.InstanceId = peer.Desc().Instance.ToText();
  return d;
}

namespace {

Peer& InSession(Peer& peer) {
  if (!peer.InSession())
    throw DirectPlayError(peer.Lost() ? "the session was lost: " + peer.LostReason() : "no session is open");
  return peer;
}

}  // namespace

int32_t NetworkDirectPlay::CreatePlayer(const std::string& friendlyName, const std::string& formalName) {
  Poll();
  Peer& peer = InSession(impl_->P());
  const uint32_t id = impl_->RequestIdAndWait(peer, kPlayerLocal);
  InSession(peer).CreateLocalPlayer(id, ToWire(friendlyName), ToWire(formalName));
  return static_cast<int32_t>(id);
}

int32_t NetworkDirectPlay::CreateGroup(const std::string& name) {
  Poll();
  Peer& peer = InSession(impl_->P());
  const uint32_t id = impl_->RequestIdAndWait(peer, 0);
  InSession(peer).CreateLocalGroup(id, ToWire(name));
  return static_cast<int32_t>(id);
}

void NetworkDirectPlay::DestroyPlayer(int32_t playerId) {
  Poll();
  try {
    InSession(impl_->P()).DestroyLocalPlayer(static_cast<uint32_t>(playerId));
  } catch (const PeerError& e) {
    throw DirectPlayError(e.what());
  }
}

void NetworkDirectPlay::AddPlayerToGroup(int32_t groupId, int32_t playerId) {
  Poll();
  try {
    InSession(impl_->P()).AddPlayerToGroup(static_cast<uint32_t>(groupId), static_cast<uint32_t>(playerId));
  } catch (const PeerError& e) {
    throw DirectPlayError(e.what());
  }
}

void NetworkDirectPlay::Close() {
  if (!impl_->peer_) return;
  const bool was = impl_->peer_->InSession();
  impl_->peer_->Leave();
  if (was) impl_->FlushOutbound(kCloseFlushMs);
}

void NetworkDirectPlay::Send(int32_t from, int32_t to, int32_t flags, const session::DpMessage& message) {
  Poll();
  Peer& peer = InSession(impl_->P());
  const auto sender = peer.Table().find(static_cast<uint32_t>(from));
  if (sender == peer.Table().end() || !sender->second.Local || sender->second.IsGroup) {
    throw DirectPlayError("not a local player: " + std::to_string(from));
  }
  if (message.Bytes().size() > kMaxMessageSize - kHeaderSize - 8) throw DirectPlayError("message too large");
  try {
    peer.SendPlayerMessage(static_cast<uint32_t>(from), static_cast<uint32_t>(to),
                           (flags & session::kSendGuaranteed) != 0, message.Bytes());
  } catch (const PeerError& e) {
    throw DirectPlayError(e.what());
  }
}

int32_t NetworkDirectPlay::GetMessageCount(int32_t playerId) {
  Poll();
  Peer& peer = InSession(impl_->P());
  int32_t n = 0;
  for (const PlayerMessageIn& m : peer.Queue()) n += m.To == static_cast<uint32_t>(playerId) ? 1 : 0;
  return n;
}

session::DpReceived NetworkDirectPlay::Receive(int32_t) {
  Poll();
  Peer& peer = InSession(impl_->P());
  if (peer.Queue().empty()) throw DirectPlayError("no message is waiting");
  PlayerMessageIn m = peer.TakeFront();
  return session::DpReceived{session::DpMessage(std::move(m.Payload)), static_cast<int32_t>(m.From),
                             static_cast<int32_t>(m.To)};
}

std::string NetworkDirectPlay::GetPlayerFriendlyName(int32_t playerId) {
  Poll();
  Peer& peer = InSession(impl_->P());
  const auto it = peer.Table().find(static_cast<uint32_t>(playerId));
  if (it != peer.Table().end() && !it->second.IsGroup) return FromWire(it->second.ShortName);
  if (const auto departed = peer.DepartedName(static_cast<uint32_t>(playerId))) return FromWire(*departed);
  throw DirectPlayError("no such player: " + std::to_string(playerId));
}

std::vector<session::DpPlayer> NetworkDirectPlay::EnumPlayers(const std::string& sessionInstanceId, int32_t) {
  Poll();
  Peer& peer = InSession(impl_->P());
  if (!EqualsNoCase(sessionInstanceId, peer.Desc().Instance.ToText()))
    throw DirectPlayError("not the open session");
  std::vector<session::DpPlayer> players;
  // System players are the machines themselves; DirectPlay never lists them.
  for (const auto& [id, e] : peer.Table()) {
    if (!e.IsGroup && !(e.Flags & kPlayerSystem))
      players.push_back({static_cast<int32_t>(id), FromWire(e.ShortName)});
  }
  return players;
}

std::vector<session::DpGroup> NetworkDirectPlay::EnumGroups(const std::string& sessionInstanceId, int32_t) {
  Poll();
  Peer& peer = InSession(impl_->P());
  if (!EqualsNoCase(sessionInstanceId, peer.Desc().Instance.ToText()))
    throw DirectPlayError("not the open session");
  std::vector<session::DpGroup> groups;
  for (const auto& [id, e] : peer.Table()) {
    if (e.IsGroup) groups.push_back({static_cast<int32_t>(id), FromWire(e.ShortName)});
  }
  return groups;
}

std::unique_ptr<session::DirectPlay> NetworkDirectPlayFactory::Create() {
  return std::make_unique<NetworkDirectPlay>(options_, context_);
}

}  // namespace skyvox::dplay4
