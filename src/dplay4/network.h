// The DirectPlay interface over the real DirectPlay 4 wire protocol with the TCP/IP service provider:
// what a simulator running DirectX 7 speaks on the network. One connection is offered, "Internet
// TCP/IP Connection For DirectPlay". Sessions are found by an ENUMSESSIONS datagram to the
// enumeration port (47624) of the host, or broadcast on the local networks when no host address was
// given; replies come back over TCP. Guaranteed messages travel over TCP, the others over UDP.
//
// The object is a full peer: it joins, keeps the name table, answers keep-alive pings, notices
// machines that leave, and when the host leaves a session with host migration and this machine has
// the lowest system-player id it becomes the name server and does the host's duties (answering
// enumerations, admitting and announcing new machines and players). It can also host a session itself
// (Open with kOpenCreate), which is what the simulated host uses.
//
// Single-threaded: sockets are standalone Asio objects on a NetworkContext that is polled, never run
// on a thread. Every operation first handles what the network delivered so far (operations that follow
// one another within a millisecond, like a tick's receives, share the first one's look). Operations that
// DirectPlay makes wait (EnumSessions, Open, CreatePlayer) poll the context until their answer or
// their timeout; everything else returns at once. Several objects may share one context (tests put
// a host and its peers in one process); each object then also serves the others while it waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/directplay.h"

namespace skyvox::dplay4 {

inline constexpr const char* kTcpIpConnectionName = "Internet TCP/IP Connection For DirectPlay";
// The connection's address as EnumConnections hands it out (opaque to the program).
inline constexpr const char* kTcpIpConnectionAddress = "tcpip";
inline constexpr uint16_t kEnumerationPort = 47624;

struct NetworkOptions {
  // The port hosts listen on for ENUMSESSIONS (UDP). A host address typed as "name:port" overrides it
  // for that search.
  uint16_t EnumerationPort = kEnumerationPort;
  // Our own stream (TCP) and datagram (UDP) ports are the first free ones in this range.
  uint16_t FirstPort = 2300;
  uint16_t LastPort = 2400;
  // EnumSessions waits this long when the caller passes a timeout of 0, re-sending the request each
  // second meanwhile.
  int32_t EnumerationTimeoutMs = 5000;
  // Waits for REQUESTPLAYERREPLY and for a TCP connection to open.
  int32_t ReplyTimeoutMs = 5000;
  // Waits for the name table after the join request (the host may wait 15 s for acknowledgements).
  int32_t NameTableTimeoutMs = 30000;
  // Keep-alive: a machine silent for a ping interval is pinged; after MissedPingsLimit unanswered
  // pings it is gone.
  int32_t PingIntervalMs = 35000;
  int32_t MissedPingsLimit = 8;
  // A host waits at most this long for the other machines to acknowledge a new one.
  int32_t AddForwardAckTimeoutMs = 15000;
  // Inbound TCP connections kept from one IP address and in all (in all, fewer when the process may not
  // open that many descriptors). At the limit the connection from that address that was quiet longest
  // is closed for the new one, one that never brought a whole message first (a peer that reconnects
  // keeps working; one that opens connections without end cannot pile them up).
  size_t MaxConnectionsPerAddress = 64;
  size_t MaxConnections = 1024;
  // A message still incomplete this long after its first byte closes its connection, however slowly
  // the rest keeps coming.
  int32_t PartialMessageTimeoutMs = 30000;
  // Datagrams that follow another within this time are taken together: at the end of that time, or
  // first by any operation of this object (which handles what the network delivered so far). A steady
  // stream of position reports then wakes a waiting program once per batch rather than once per
  // report. The first datagram after a quiet spell is taken at once. 0 takes each one at once.
  int32_t DatagramBatchMs = 20;
  // The protocol dialect we announce (11: DirectX 6.1a).
  uint16_t Dialect = 11;
  // The host's id scrambling key; a random one when absent. A fixed key makes ids predictable: with 0,
  // ids count up from the host's own system player, so the oldest machine is the next host.
  std::optional<uint32_t> IdKey;
  // Asked (like DirectPlay's own TCP/IP address dialog) at the first EnumSessions after
  // InitializeConnection: a host name or IP address, optionally ":port"; "" searches the local
  // network by broadcast; nullopt means the user cancelled (EnumSessions then fails). Without a
  // function the local network is searched.
  std::function<std::optional<std::string>()> AskHostAddress;
  // Asked while EnumSessions, Open and CreatePlayer wait for the network: true ends the wait at once as
  // the user cancelling it, and the operation fails with that reason. Optional.
  std::function<bool()> Interrupted;
  // Called when this machine takes the session over from a host that left (it then answers searches
  // and admits new machines), with "ADDRESS:PORT" where searches now reach it, or nullopt when the
  // search port could not be had. Not called for a session this object hosts itself. Optional.
  std::function<void(const std::optional<std::string>&)> TookOver;
  // Protocol events worth a line in a log (machines joining and leaving, host migration, messages
  // dropped as malformed). Optional.
  std::function<void(const std::string&)> Log;
  // For fault tests: asked with every framed message about to leave (over TCP when `stream`, else a
  // datagram); false drops it unsent, as a network that lost it would. Optional.
  std::function<bool(const std::vector<uint8_t>& message, bool stream)> Outbound;
};

// The sockets' event loop, shareable between DirectPlay objects of one process.
class NetworkContext;
std::shared_ptr<NetworkContext> MakeNetworkContext();
// Handles every ready network event without waiting.
void PollNetwork(NetworkContext& context);
// Handles events for up to timeoutMs, returning after the first batch.
void PollNetworkFor(NetworkContext& context, int32_t timeoutMs);

class NetworkDirectPlay : public session::DirectPlay {
 public:
  NetworkDirectPlay(NetworkOptions options, std::shared_ptr<NetworkContext> context);
  ~NetworkDirectPlay() override;  // leaves the session like Close
  NetworkDirectPlay(const NetworkDirectPlay&) = delete;
  NetworkDirectPlay& operator=(const NetworkDirectPlay&) = delete;

  std::vector<session::DpConnection> EnumConnections(int32_t flags) override;
  // Accepts the TCP/IP connection's address ("tcpip", or "tcpip:HOST" to skip the address question).
  void InitializeConnection(const std::string& address) override;
  std::vector<session::DpSessionDesc> EnumSessions(const session::DpSessionDesc& filter, int32_t timeoutMs,
                                                   int32_t flags) override;
  void Open(const session::DpSessionDesc& session, int32_t flags) override;
  session::DpSessionDesc CurrentSession() override;
  int32_t CreatePlayer(const std::string& friendlyName, const std::string& formalName) override;
  void DestroyPlayer(int32_t playerId) override;
  int32_t CreateGroup(const std::string& name) override;
  void AddPlayerToGroup(int32_t groupId, int32_t playerId) override;
  void Close() override;
  void Send(int32_t from, int32_t to, int32_t flags, const session::DpMessage& message) override;
  int32_t GetMessageCount(int32_t playerId) override;
  session::DpReceived Receive(int32_t flags) override;
  std::string GetPlayerFriendlyName(int32_t playerId) override;
  std::vector<session::DpPlayer> EnumPlayers(const std::string& sessionInstanceId, int32_t flags) override;
  std::vector<session::DpGroup> EnumGroups(const std::string& sessionInstanceId, int32_t flags) override;

  // Handles what the network delivered so far (every operation does this first).
  void Poll();
  // Drops every socket without a word to anyone, as a machine that crashed or lost its network does;
  // the others find out through keep-alive. The object then needs InitializeConnection again.
  void Abandon();
  // True while this machine is the session's name server (it hosts, or took over).
  bool IsNameServer() const;
  // Our stream (TCP) port, 0 before the connection is initialised.
  uint16_t StreamPort() const;
  // Where other machines reach this one for searches while it is the name server: "ADDRESS:PORT" with
  // the address they reached us at; nullopt when it is not the name server or its search port is
  // taken.
  std::optional<std::string> SearchAddress() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

class NetworkDirectPlayFactory : public session::DirectPlayFactory {
 public:
  // A null context gives every object a context of its own.
  explicit NetworkDirectPlayFactory(NetworkOptions options, std::shared_ptr<NetworkContext> context = nullptr)
      : options_(std::move(options)), context_(std::move(context)) {}
  std::unique_ptr<session::DirectPlay> Create() override;

 private:
  NetworkOptions options_;
  std::shared_ptr<NetworkContext> context_;
};

}  // namespace skyvox::dplay4
