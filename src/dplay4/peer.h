// One machine's part in a DirectPlay 4 session over the TCP/IP service provider, without sockets: the
// peer takes whole messages as the network delivered them (OnStreamMessage, OnDatagram), the time
// (Tick), and the application's requests, and hands what it sends to a Transport. It keeps the session
// description and the name table, queues the player messages addressed to its local players, answers
// pings, notices machines that leave, and does the name server's duties when it hosts the session or
// takes it over after the host left a session with host migration.
//
// Every inbound message is untrusted: a message that does not decode, or that makes no sense in the
// current state, is dropped (and logged) without touching the state. A message that ends or narrows a
// machine's part in the session (its removal, a player's deletion, a new name server, the session's
// description, group changes) counts only when it comes over TCP from an IP address the name table
// gives the machine entitled to send it: the name server, or the machine that owns the player or
// group; a machine's claim to be the new name server counts only once the one it replaces has left or
// stopped answering. Player messages count only from an address of their sender's machine. Anything
// else is logged and ignored.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "dplay4/codec.h"

namespace skyvox::dplay4 {

using Ip = std::array<uint8_t, 4>;

// A request the session cannot grant: an unknown player, group or addressee, or the enumeration port
// that cannot be had when hosting. (Calling in the wrong state, say hosting while in a session, is the
// caller's mistake: std::logic_error.)
class PeerError : public Error {
 public:
  using Error::Error;
};

struct Address {
  Ip Host{};
  uint16_t Port = 0;
  auto operator<=>(const Address&) const = default;
};
std::string ToText(const Address& address);

// HRESULTs a host answers with.
inline constexpr uint32_t kErrorNoNewPlayers = 0x8877014A;
inline constexpr uint32_t kErrorInvalidPassword = 0x88770154;
// Session flags this peer cannot take part in: secure server, multicast server, client/server, the
// reliable protocol.
inline constexpr uint32_t kUnsupportedSessionFlags = 0x100 | 0x800 | 0x1000 | 0x2000;
inline constexpr uint32_t kSessionNewPlayersDisabled = 0x1;
inline constexpr uint32_t kSessionMigrateHostFlag = 0x4;
inline constexpr uint32_t kSessionJoinDisabled = 0x20;
inline constexpr uint32_t kSessionKeepAliveFlag = 0x40;
inline constexpr uint32_t kSessionPasswordFlag = 0x400;
// Enumeration request flags.
inline constexpr uint32_t kEnumAvailable = 0x1;
inline constexpr uint32_t kEnumAll = 0x2;
inline constexpr uint32_t kEnumPasswordRequired = 0x40;

// What a peer needs from the network. Sends never fail visibly: a machine that cannot be reached is
// found out by keep-alive.
class Transport {
 public:
  virtual ~Transport() = default;
  // A whole framed message to a machine's stream (TCP) address.
  virtual void SendStream(const Address& to, std::vector<uint8_t> message) = 0;
  virtual void SendDatagram(const Address& to, std::vector<uint8_t> datagram) = 0;
  // A datagram to that port of every machine on the local networks.
  virtual void BroadcastDatagram(uint16_t port, std::vector<uint8_t> datagram) = 0;
  // Starts or stops taking ENUMSESSIONS on the enumeration port (name servers only). False when the
  // port cannot be had.
  virtual bool ListenForEnumerations(bool on) = 0;
};

struct PeerConfig {
  uint16_t StreamPort = 0;    // ours, put in every header we send
  uint16_t DatagramPort = 0;  // ours, put in our player descriptions
  uint16_t Dialect = kDefaultVersion;
  int32_t PingIntervalMs = 35000;
  int32_t MissedPingsLimit = 8;
  int32_t AddForwardAckTimeoutMs = 15000;
  std::optional<uint32_t> IdKey;  // the id scrambling key when hosting; random when absent
  uint64_t Seed = 0;              // for the instance GUID and the key
  std::function<void(const std::string&)> Log;
};

struct FoundSession {
  SessionDesc Desc;
  std::u16string Name;
  Address NameServer;  // the host's stream address
  Ip Source{};         // where the reply came from
};

struct PlayerMessageIn {
  uint32_t From = 0;
  uint32_t To = 0;  // the local player it is for
  std::vector<uint8_t> Payload;
};

// A player, a machine's system player or a group, as the name table knows it.
struct TableEntry {
  uint32_t Id = 0;
  uint32_t Flags = 0;  // player flags (kPlayerSystem, kPlayerNameServer...)
  bool IsGroup = false;
  bool Local = false;  // created on this machine
  std::u16string ShortName;
  std::u16string LongName;
  uint32_t SystemPlayerId = 0;         // the owning machine's system player (its own id for a system player)
  uint32_t Version = kDefaultVersion;  // system players: the machine's dialect
  Address Stream;                      // system players: where the machine listens
  Address Datagram;
  Ip SeenAt{};                    // system players: where its join (or the name table) came from
  std::vector<uint32_t> Members;  // groups
};

enum class JoinPhase { Idle, WaitingForId, WaitingForNameTable, Joined, Failed };

class Peer {
 public:
  // Bounds on what the network can make us hold.
  static constexpr size_t kMaxQueuedMessages = 100000;
  static constexpr size_t kMaxQueuedBytes = 64 * 1024 * 1024;
  static constexpr size_t kMaxTableEntries = 65535;
  static constexpr size_t kMaxFoundSessions = 1000;
  static constexpr size_t kMaxFoundSessionsPerAddress = 16;
  static constexpr size_t kMaxPendingJoins = 64;
  static constexpr size_t kMaxUnusedIds = 1024;  // ids handed out and not (yet) used that are remembered

  Peer(Transport& transport, PeerConfig config);

  // --- what the network delivered
  // One whole message read off a TCP connection from that IP (its 20-byte header included).
  void OnStreamMessage(const Ip& source, Bytes message);
  // One UDP datagram from that IP (with a header and a system message, or a bare player message).
  void OnDatagram(const Ip& source, Bytes datagram);
  // The clock, in milliseconds of any monotonic origin; drives keep-alive and the host's waits.
  void Tick(int64_t nowMs);
  int64_t Now() const { return now_; }

  // --- finding sessions
  // Sends ENUMSESSIONS to a host's enumeration port, or broadcast on the local networks.
  void Enumerate(const std::optional<Ip>& host, uint16_t port, uint32_t flags,
                 const std::u16string& password);
  const std::vector<FoundSession>& Found() const { return found_; }
  void ClearFound() { found_.clear(); }

  // --- being in a session
  // Starts joining (REQUESTPLAYERID for our system player). Phase() tells how it goes.
  void StartJoin(const FoundSession& session, const std::u16string& password);
  JoinPhase Phase() const { return phase_; }
  uint32_t JoinError() const { return joinError_; }  // the host's HRESULT, 0 for a timeout or refusal here
  void FailJoin(const std::string& why);             // the caller's wait timed out
  // Hosts a new session: we are its name server and first machine. Throws std::runtime_error when the
  // enumeration port cannot be had (nobody could find the session).
  void Host(const std::u16string& name, const std::u16string& password, uint32_t maxPlayers, uint32_t flags,
            const Guid& application);

  // Asks the name server for a player or group id (at once when we are it). TakeIdReply gives the answer
  // once it came: the id, or the HRESULT that refused it.
  void RequestId(uint32_t flags);
  struct IdReply {
    uint32_t Id = 0;
    uint32_t Result = 0;
  };
  std::optional<IdReply> TakeIdReply();
  // A local player with an id from RequestId, told to every other machine.
  void CreateLocalPlayer(uint32_t id, const std::u16string& shortName, const std::u16string& longName);
  void CreateLocalGroup(uint32_t id, const std::u16string& name);
  void DestroyLocalPlayer(uint32_t id);
  void AddPlayerToGroup(uint32_t group, uint32_t player);
  // Leaves the session: our players' and our system player's deletion to every other machine.
  void Leave();

  // A player message from a local player to a player, a group or everyone (0).
  void SendPlayerMessage(uint32_t from, uint32_t to, bool guaranteed, Bytes payload);

  const std::deque<PlayerMessageIn>& Queue() const { return queue_; }
  // Takes the oldest queued message out (the queue must not be empty).
  PlayerMessageIn TakeFront();
  size_t QueuedBytes() const { return queuedBytes_; }

  bool InSession() const { return inSession_; }
  // The session ended under us (we were removed, or the host left without migration).
  bool Lost() const { return lost_; }
  const std::string& LostReason() const { return lostReason_; }
  bool IsNameServer() const { return inSession_ && nameServer_ == systemPlayer_ && systemPlayer_ != 0; }
  uint32_t SystemPlayer() const { return systemPlayer_; }
  const SessionDesc& Desc() const { return desc_; }
  const std::u16string& SessionName() const { return sessionName_; }
  const std::map<uint32_t, TableEntry>& Table() const { return table_; }
  // The name of a player that left, while messages it sent still wait in the queue (a goodbye, a last
  // report must still be attributable); nullopt otherwise.
  std::optional<std::u16string> DepartedName(uint32_t id) const;
  uint32_t NonSystemPlayers() const;

 private:
  struct Machine {
    int64_t LastHeard = 0;
    int64_t LastPing = 0;
    int32_t Missed = 0;
  };
  // Where a message came from: the IP we saw it at, and whether it came over a TCP connection.
  struct Origin {
    Ip Source{};
    bool Stream = false;
  };
  struct PendingJoin {
    uint32_t SystemPlayer = 0;
    Address Stream;
    std::set<uint32_t> Waiting;  // machines that have not acknowledged yet
    int64_t Deadline = 0;
  };

  void Log(const std::string& text) const;
  std::vector<uint8_t> Framed(Bytes body) const;
  void SendTo(uint32_t systemPlayer, Bytes body);  // guaranteed system message to a machine
  void SendToAllMachines(Bytes body);              // to every other machine
  std::vector<uint32_t> OtherMachines() const;
  ProviderAddresses OurAddresses() const;
  Address StreamOf(const Ip& source, const Header& head) const;
  void HeardFrom(uint32_t systemPlayer);
  std::optional<uint32_t> MachineAt(const Address& stream) const;
  // True when the message came from an address of that machine (0: nobody).
  bool SentBy(const Origin& from, uint32_t machine) const;
  // True when one of the machines sent it, over TCP unless anyTransport; otherwise logs why `what` was
  // ignored.
  bool Admit(const Origin& from, std::initializer_list<uint32_t> machines, const std::string& what,
             bool anyTransport = false) const;
  // The same for the name server: while joining, the machine we are joining.
  bool AdmitFromNameServer(const Origin& from, const std::string& what) const;
  uint32_t OwnerOf(uint32_t id) const;  // the machine that owns a player or group, 0 if unknown

  void HandleSystem(const Origin& from, const Header& head, Bytes body);
  void HandlePlayerMessage(const Origin& from, Bytes body);
  void Deliver(uint32_t from, uint32_t to, Bytes payload);
  void Enqueue(uint32_t from, uint32_t to, Bytes payload);

  void OnEnumSessions(const Ip& source, const Header& head, Bytes body);
  void OnEnumSessionsReply(const Ip& source, const Header& head, Bytes body);
  void OnRequestPlayerId(const Ip& source, const Header& head, Bytes body);
  void OnRequestPlayerReply(Bytes body);
  void OnAddForwardRequest(const Ip& source, const Header& head, Bytes body);
  void OnAddForward(const Ip& source, const Header& head, Bytes body);
  void OnAddForwardAck(const Ip& source, const Header& head, Bytes body);
  void OnSuperEnumPlayersReply(const Ip& source, Bytes body);
  void OnCreate(const Origin& from, Bytes body);
  void OnGroupChange(const Origin& from, Bytes body);
  void OnPing(const Ip& source, const Header& head, Bytes body);
  void OnIAmNameServer(const Origin& from, Bytes body);

  TableEntry EntryFromPacked(const PackedPlayer& p, const Ip& source, bool isGroup) const;
  void AddEntry(TableEntry entry);
  void RemovePlayer(uint32_t id);  // a player, or a machine and everything it owns
  void MachineGone(uint32_t systemPlayer, const std::string& why);
  void ElectNameServer();
  void AcceptNameServer(uint32_t id);  // a machine of the table takes the role
  void BecomeNameServer();
  void LoseSession(const std::string& why);
  uint32_t AllocateId();
  SessionDesc CurrentDesc() const;
  SuperEnumPlayersReply NameTable() const;
  void FinishJoin(PendingJoin& join);
  bool PasswordMatches(const std::u16string& password) const;

  Transport& transport_;
  PeerConfig config_;
  int64_t now_ = 0;
  uint64_t random_;

  std::vector<FoundSession> found_;

  JoinPhase phase_ = JoinPhase::Idle;
  uint32_t joinError_ = 0;
  FoundSession joining_;
  std::u16string joinPassword_;
  std::deque<IdReply> idReplies_;
  std::vector<TableEntry> earlyForwards_;  // machines announced while our name table was on its way

  bool inSession_ = false;
  bool lost_ = false;
  std::string lostReason_;
  SessionDesc desc_;
  std::u16string sessionName_;
  std::u16string password_;
  uint32_t systemPlayer_ = 0;
  uint32_t nameServer_ = 0;
  Address nameServerStream_;
  bool awaitingNameServer_ = false;
  uint32_t claimedNameServer_ = 0;  // a machine that claimed the role while its holder was still here

  std::map<uint32_t, TableEntry> table_;
  std::map<uint32_t, Machine> machines_;  // every other machine, by system player
  std::deque<PlayerMessageIn> queue_;
  size_t queuedBytes_ = 0;
  std::map<uint32_t, std::u16string> departed_;

  // Name server state.
  uint32_t idKey_ = 0;
  uint32_t uniqueness_ = 0;
  std::set<uint32_t> idsEverUsed_;
  std::deque<uint32_t> handedOut_;  // the latest ids handed out, used or not
  std::vector<PendingJoin> pendingJoins_;
};

}  // namespace skyvox::dplay4
