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
// - Send copies the message into each addressee's queue: to kAllPlayers every other player of the
//   session, to a group every other member, to a player that player (itself included). Delivery is
//   always reliable and in order whatever the send flags. Receive reports as To the receiving
//   player's id, as DirectPlay does for broadcasts and group sends.
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
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
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

  struct Queued {
    std::vector<uint8_t> Bytes;
    int32_t From = 0;
    int32_t To = 0;
    uint64_t Sequence = 0;  // hub-wide send order, to pick the oldest among several local players
  };
  struct Player {
    int32_t Id = 0;
    std::string FriendlyName;
    std::string FormalName;
    uint32_t Endpoint = 0;
    std::deque<Queued> Queue;
    size_t QueuedBytes = 0;
  };
  struct Group {
    int32_t Id = 0;
    std::string Name;
    std::vector<int32_t> Members;
  };
  struct Session {
    std::string Name;
    std::string InstanceId;
    std::string Password;
    int32_t MaxPlayers = 0;
    int32_t Flags = 0;
    std::vector<Player> Players;
    // Where each player is in Players, and each endpoint's players by id: kept with Players so that
    // finding a player or an endpoint's queues does not go through every player of a large session.
    std::unordered_map<int32_t, size_t> Places;
    std::unordered_map<uint32_t, std::vector<int32_t>> LocalPlayers;
    std::vector<Group> Groups;
    std::vector<uint32_t> Endpoints;          // endpoints that have the session open
    std::map<int32_t, std::string> Departed;  // players that left, by id, while messages of theirs wait
  };

  uint32_t NewEndpoint() { return ++lastEndpoint_; }
  int32_t NewId();
  std::string NewInstanceId();
  Session* FindSession(const std::string& instanceId);
  const Session* FindSession(const std::string& instanceId) const;
  static DpSessionDesc Describe(const Session& session, bool withPassword);
  static bool IsFull(const Session& session);
  static Player* FindPlayer(Session& session, int32_t playerId);
  static void AddPlayer(Session& session, Player player);
  static void RemovePlayer(Session& session, int32_t playerId);

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

  std::shared_ptr<LoopbackHub> hub_;
  uint32_t endpoint_;
  bool initialized_ = false;
  std::string instanceId_;  // the open session, empty when none
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
