// The in-process DirectPlay provider: any number of endpoints (LoopbackDirectPlay objects) in one
// process share a LoopbackHub that holds the sessions, their players and groups and every player's
// queue of received messages. It is a complete provider, not a stand-in: the station, the simulated
// participants and the tests talk through it exactly as through the network provider.
//
// Behaviour follows DirectPlay where the station depends on it:
// - Sessions are listed like DirectPlay's "available" enumeration: a full session is left out unless
//   kEnumSessionsAll is given, and a session with a password is listed only with
//   kEnumSessionsPasswordRequired. A maximum of 0 players means no limit.
// - A session carries kSessionPasswordRequired exactly when it has a non-empty password, whatever
//   flags its host passed (DirectPlay sets that flag itself). Passwords are compared exactly and are
//   never returned by EnumSessions or CurrentSession.
// - Player and group ids come from one hub-wide sequence starting at kFirstId; instance ids are
//   GUID texts drawn from the hub's seed and a counter. Both make every run reproducible.
// - Send queues the message for each addressee: to kAllPlayers every other player of the session, to
//   a group every other member, to a player that player (itself included). Delivery is always
//   reliable and in order whatever the send flags. Receive reports as To the receiving player's id,
//   as DirectPlay does for broadcasts and group sends. (The bytes are stored once per send, and a
//   message to all players once in its session's log, which each player reads from its own place:
//   a crowd's position reports cost no copy per receiver.)
// - A player that leaves (destroyed, dropped, its endpoint closed) can still be named by an endpoint
//   that holds messages it sent (a goodbye, a last report), until they are all received; then the
//   name lookup fails like for any unknown id.
// - A session lives while at least one endpoint is in it; its creator may leave (host migration).
//   Destroying an endpoint leaves its session, as releasing a DirectPlay object does.
//
// Nothing here blocks or starts a thread; the hub is owned by its caller through shared_ptr.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "session/directplay.h"

namespace skyvox::session {

// DirectPlay's "all sessions" enumeration flag: also list full sessions.
inline constexpr int32_t kEnumSessionsAll = 2;

// What the hub's inspection functions report about a player.
struct LoopbackPlayerInfo {
  int32_t Id = 0;
  std::string FriendlyName;
  std::string FormalName;
  uint32_t Endpoint = 0;      // the owning endpoint's number (LoopbackDirectPlay::EndpointNumber)
  size_t QueuedMessages = 0;  // messages waiting in its receive queue
};

struct LoopbackGroupInfo {
  int32_t Id = 0;
  std::string Name;
  std::vector<int32_t> Members;  // in order of addition
};

class LoopbackHub {
 public:
  static constexpr const char* kConnectionName = "Loopback Connection For DirectPlay";
  static constexpr const char* kConnectionAddress = "loopback";
  static constexpr int32_t kFirstId = 0x0F000001;
  // Limits that keep a misbehaving sender from exhausting memory: a send that would exceed them
  // throws DirectPlayError and queues nothing.
  static constexpr size_t kMaxMessageBytes = 64 * 1024;
  static constexpr size_t kMaxQueuedMessages = 100000;
  static constexpr size_t kMaxQueuedBytes = 64 * 1024 * 1024;

  // The seed varies the instance ids; equal seeds give equal ids for the same sequence of calls.
  explicit LoopbackHub(uint64_t seed = 0);
  LoopbackHub(const LoopbackHub&) = delete;
  LoopbackHub& operator=(const LoopbackHub&) = delete;

  // The player disappears as if its connection had been lost: it leaves the enumerations and its
  // groups, its queue is discarded, and its endpoint's operations on it fail from now on. Messages it
  // sent earlier stay queued at their receivers. Throws DirectPlayError for an unknown player.
  void DropPlayer(int32_t playerId);
  // The session is gone at once for everyone: every operation of its endpoints that needs a session
  // throws DirectPlayError until the endpoint calls Close. Throws DirectPlayError for an unknown id.
  void EndSession(const std::string& instanceId);

  // Inspection for tests and simulations. Sessions in creation order, with their current player
  // counts and passwords; players in creation order; an unknown session gives empty lists.
  std::vector<DpSessionDesc> Sessions() const;
  std::vector<LoopbackPlayerInfo> Players(const std::string& instanceId) const;
  std::vector<LoopbackGroupInfo> Groups(const std::string& instanceId) const;

 private:
  friend class LoopbackDirectPlay;

  // A sent message, stored once however many players receive it: the sender, a reference count and
  // the bytes in one block (a crowd's receivers read them one after the other).
  class Payload {
   public:
    static Payload* Make(const std::vector<uint8_t>& bytes, int32_t from);
    std::span<const uint8_t> Bytes() const { return {reinterpret_cast<const uint8_t*>(this + 1), size_}; }
    int32_t From() const { return from_; }
    void Hold() { ++refs_; }
    void Release();  // the hub is used from one thread

   private:
    Payload(int32_t from, uint32_t size) : from_(from), size_(size) {}
    int32_t from_;
    uint32_t size_;
    uint32_t refs_ = 0;
  };
  // A message waiting for a player: a counted reference to its payload, and its place in the
  // hub-wide delivery order (which picks the oldest among several local players).
  class Queued {
   public:
    Queued(Payload* payload, uint64_t sequence) : payload_(payload), sequence_(sequence) { payload->Hold(); }
    Queued(Queued&& other) noexcept
        : payload_(std::exchange(other.payload_, nullptr)), sequence_(other.sequence_) {}
    Queued& operator=(Queued&& other) noexcept {
      std::swap(payload_, other.payload_);
      sequence_ = other.sequence_;
      return *this;
    }
    ~Queued() {
      if (payload_ != nullptr) payload_->Release();
    }
    // Another reference to the same payload.
    Queued Share(uint64_t sequence) const { return Queued(payload_, sequence); }
    std::span<const uint8_t> Bytes() const { return payload_->Bytes(); }
    int32_t From() const { return payload_->From(); }
    uint64_t Sequence() const { return sequence_; }

   private:
    Payload* payload_;
    uint64_t sequence_;
  };
  // A message to all players, kept once in its session's log. Every player reads the log from its own
  // position on and passes over its own broadcasts: a crowd's position reports cost one entry each,
  // not one per receiver. The bytes lie in the session's chunks in the order sent, so that readers
  // go through them in sequence.
  struct Broadcast {
    const uint8_t* Bytes = nullptr;
    uint32_t Size = 0;
    int32_t From = 0;
    uint64_t Sequence = 0;
    uint64_t BytesBefore = 0;  // the size of every broadcast logged before this one
  };
  struct Chunk {
    std::unique_ptr<uint8_t[]> Bytes;
    size_t Capacity = 0;
    size_t Used = 0;
    uint64_t End = 0;  // the log position after its last message
  };
  static constexpr size_t kChunkBytes = 256 * 1024;
  // Players and sessions move (their queues are not copyable).
  struct Player {
    Player() = default;
    Player(Player&&) = default;
    Player& operator=(Player&&) = default;
    int32_t Id = 0;
    std::string FriendlyName;
    std::string FormalName;
    uint32_t Endpoint = 0;
    std::deque<Queued> Queue;  // messages to this player or to a group of it
    size_t QueuedBytes = 0;    // their size
    uint64_t Cursor = 0;       // the next log position this player reads
    size_t OwnAhead = 0;       // its own broadcasts at or after Cursor, and their size
    size_t OwnBytesAhead = 0;
  };
  struct Group {
    int32_t Id = 0;
    std::string Name;
    std::vector<int32_t> Members;
  };
  struct Session {
    Session() = default;
    Session(Session&&) = default;
    Session& operator=(Session&&) = default;
    std::string Name;
    std::string InstanceId;
    std::string Password;
    int32_t MaxPlayers = 0;
    int32_t Flags = 0;
    std::vector<Player> Players;  // in creation order
    // By id - kFirstId: the player's position in Players plus one, 0 for ids that are not players here.
    std::vector<uint32_t> PlayerSlots;
    std::vector<std::vector<int32_t>> Own;  // by endpoint number: its players' ids, in creation order
    std::vector<Group> Groups;
    std::vector<uint32_t> Endpoints;  // endpoints that have the session open
    // Players that left, by id, while messages of theirs may wait. An entry may outlive the last of
    // those messages until the next clean-up: a lookup checks the asking endpoint's queues anyway.
    std::map<int32_t, std::string> Departed;
    size_t DepartedCleanAt = 16;  // Departed's size that triggers the next clean-up

    // A ring (its size a power of two) of the broadcasts at positions LogStart to LogEnd; positions
    // count every broadcast ever logged.
    std::vector<Broadcast> Log;
    uint64_t LogStart = 0;
    uint64_t LogEnd = 0;
    uint64_t LogBytes = 0;     // the size of every broadcast ever logged
    std::deque<Chunk> Chunks;  // their bytes
    // Bounds that spare a broadcast a look at every player's queue against the limits: no Cursor is
    // below MinCursor, no Queue holds more than MaxQueue messages or MaxQueueBytes bytes. The log
    // before MinCursor is read by everyone and let go when the log has doubled.
    uint64_t MinCursor = 0;
    size_t MaxQueue = 0;
    size_t MaxQueueBytes = 0;
    size_t TrimAt = 1024;
  };

  uint32_t NewEndpoint() { return ++lastEndpoint_; }
  int32_t NewId();
  std::string NewInstanceId();
  void SessionsChanged() { ++sessionsVersion_; }
  Session* FindSession(const std::string& instanceId);
  const Session* FindSession(const std::string& instanceId) const;
  static DpSessionDesc Describe(const Session& session, bool withPassword);
  static bool IsFull(const Session& session);
  static Player* FindPlayer(Session& session, int32_t playerId);
  static void AddPlayer(Session& session, Player player);
  static void RemovePlayer(Session& session, int32_t playerId);
  static const Broadcast& LogAt(const Session& session, uint64_t position) {
    return session.Log[position & (session.Log.size() - 1)];
  }
  // What waits for a player: its queue and the others' broadcasts from its cursor on.
  static size_t Pending(const Session& session, const Player& player);
  static size_t PendingBytes(const Session& session, const Player& player);
  // The next broadcast the player reads (its own passed over), or null.
  static const Broadcast* NextBroadcast(Session& session, Player& player);
  // Calls `visit` with the sender of every message waiting for the player, in no particular order.
  template <typename Visit>
  static void ForEachPending(const Session& session, const Player& player, Visit visit);
  static void TrimLog(Session& session);
  static void AppendBroadcast(Session& session, const std::vector<uint8_t>& bytes, int32_t from,
                              uint64_t sequence);

  // The endpoint operations; `session` is the endpoint's open session.
  std::vector<DpSessionDesc> ListSessions(int32_t flags) const;
  std::string Host(uint32_t endpoint, const DpSessionDesc& desc);
  void Join(uint32_t endpoint, const DpSessionDesc& desc);
  void Leave(uint32_t endpoint, const std::string& instanceId);
  void Deliver(Session& session, uint32_t endpoint, int32_t from, int32_t to, const DpMessage& message);

  uint64_t seed_;
  uint64_t instanceCounter_ = 0;
  uint64_t sendCounter_ = 0;
  int64_t nextId_ = kFirstId;  // wider than an id so that the end of the sequence is detectable
  uint32_t lastEndpoint_ = 0;
  std::vector<Session> sessions_;  // live sessions, in creation order
  // Broadcasts handed out in place: meanwhile no log is trimmed, and the bytes of an ended session wait
  // in retired_.
  int reading_ = 0;
  std::vector<std::unique_ptr<uint8_t[]>> retired_;
  uint64_t sessionsVersion_ = 0;  // changes whenever sessions_ does, so endpoints can keep a pointer
};

// One DirectPlay object on a hub. Operations that need a session throw DirectPlayError before Open,
// after Close and after the hub ended the session.
class LoopbackDirectPlay : public DirectPlay {
 public:
  explicit LoopbackDirectPlay(std::shared_ptr<LoopbackHub> hub);
  ~LoopbackDirectPlay() override;
  LoopbackDirectPlay(const LoopbackDirectPlay&) = delete;
  LoopbackDirectPlay& operator=(const LoopbackDirectPlay&) = delete;

  // Distinguishes this endpoint in LoopbackPlayerInfo.
  uint32_t EndpointNumber() const { return endpoint_; }

  // One connection, kConnectionName at kConnectionAddress, for flags 0 or kConnectionsDirectPlay.
  std::vector<DpConnection> EnumConnections(int32_t flags) override;
  // Accepts kConnectionAddress only, once per object.
  void InitializeConnection(const std::string& address) override;
  // Live sessions (see the file comment for the flags); needs InitializeConnection.
  std::vector<DpSessionDesc> EnumSessions(const DpSessionDesc& filter, int32_t timeoutMs,
                                          int32_t flags) override;
  // Needs InitializeConnection and no open session. A join fails for an unknown or ended session, a
  // full one, or a wrong password when the session has one.
  void Open(const DpSessionDesc& session, int32_t flags) override;
  DpSessionDesc CurrentSession() override;
  // Fails when the session is full or the id sequence is exhausted.
  int32_t CreatePlayer(const std::string& friendlyName, const std::string& formalName) override;
  // Only this endpoint's own players; their queued messages are discarded.
  void DestroyPlayer(int32_t playerId) override;
  int32_t CreateGroup(const std::string& name) override;
  // Any player of the session into any group of it; adding a member again changes nothing.
  void AddPlayerToGroup(int32_t groupId, int32_t playerId) override;
  // Leaves the session, destroying this endpoint's players; also clears the state of a session the
  // hub ended. Closing without a session does nothing.
  void Close() override;

  // `from` must be one of this endpoint's players; `to` is kAllPlayers, a player or a group of the
  // session. Empty messages, messages over kMaxMessageBytes and sends that would overfill a queue
  // throw.
  void Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) override;
  // Only for this endpoint's own players.
  int32_t GetMessageCount(int32_t playerId) override;
  // The oldest message queued for any of this endpoint's players; flags must be kReceiveAll.
  DpReceived Receive(int32_t flags) override;
  // `count` calls of Receive(kReceiveAll) without copying the messages: for in-process participants
  // that read every position report of a crowd. Each message is taken off the queue, then its bytes,
  // its sender and the receiving player are handed to `read` (the bytes live until `read` returns;
  // what it throws propagates and ends the reading). Throws DirectPlayError like Receive.
  using InPlaceReader = std::function<void(std::span<const uint8_t> bytes, int32_t from, int32_t to)>;
  void ReceiveInPlace(int32_t count, const InPlaceReader& read);

  // Players of the session only (not groups).
  std::string GetPlayerFriendlyName(int32_t playerId) override;
  // The open session's players or groups in creation order; the id may be the open session's
  // instance id or empty; flags must be 0.
  std::vector<DpPlayer> EnumPlayers(const std::string& sessionInstanceId, int32_t flags) override;
  std::vector<DpGroup> EnumGroups(const std::string& sessionInstanceId, int32_t flags) override;

 private:
  LoopbackHub::Session& OpenSession();
  LoopbackHub::Session& SessionNamed(const std::string& sessionInstanceId, int32_t flags);
  LoopbackHub::Player& LocalPlayer(LoopbackHub::Session& session, int32_t playerId);
  // Takes the oldest message for this endpoint's players: a broadcast is returned (its bytes stay in
  // the log until it is trimmed), a message of a player's queue is moved into `held`.
  const LoopbackHub::Broadcast* TakeOldest(std::optional<LoopbackHub::Queued>& held, int32_t& to);

  std::shared_ptr<LoopbackHub> hub_;
  uint32_t endpoint_;
  bool initialized_ = false;
  std::string instanceId_;  // the open session, empty when none
  // The open session as last looked up, valid while the hub's sessions have not changed since.
  LoopbackHub::Session* session_ = nullptr;
  uint64_t sessionVersion_ = 0;
};

class LoopbackFactory : public DirectPlayFactory {
 public:
  explicit LoopbackFactory(std::shared_ptr<LoopbackHub> hub);
  std::unique_ptr<DirectPlay> Create() override;
  const std::shared_ptr<LoopbackHub>& Hub() const { return hub_; }

 private:
  std::shared_ptr<LoopbackHub> hub_;
};

}  // namespace skyvox::session
