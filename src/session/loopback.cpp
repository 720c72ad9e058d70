#include "session/loopback.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <set>
#include <stdexcept>

namespace skyvox::session {

namespace {

// SplitMix64: a fixed, well-mixed function of its input, so instance ids look like GUIDs and are
// reproducible from the hub's seed.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

int32_t CountOf(size_t n) {
  return static_cast<int32_t>(std::min<size_t>(n, std::numeric_limits<int32_t>::max()));
}

}  // namespace

LoopbackHub::LoopbackHub(uint64_t seed) : seed_(seed) {}

LoopbackHub::Payload* LoopbackHub::Payload::Make(const std::vector<uint8_t>& bytes, int32_t from) {
  void* block = ::operator new(sizeof(Payload) + bytes.size());
  auto* payload = new (block) Payload(from, static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<uint8_t*>(payload + 1));
  return payload;
}

void LoopbackHub::Payload::Release() {
  if (--refs_ != 0) return;
  this->~Payload();
  ::operator delete(static_cast<void*>(this));
}

int32_t LoopbackHub::NewId() {
  if (nextId_ > std::numeric_limits<int32_t>::max()) throw DirectPlayError("no player or group ids left");
  return static_cast<int32_t>(nextId_++);
}

std::string LoopbackHub::NewInstanceId() {
  ++instanceCounter_;
  const uint64_t high = Mix(seed_ ^ Mix(instanceCounter_));
  // The low half is a bijection of the counter, so no two sessions of a hub share an id.
  const uint64_t low = Mix(~seed_) ^ instanceCounter_;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
  return text;
}

LoopbackHub::Session* LoopbackHub::FindSession(const std::string& instanceId) {
  for (Session& s : sessions_) {
    if (s.InstanceId == instanceId) return &s;
  }
  return nullptr;
}

const LoopbackHub::Session* LoopbackHub::FindSession(const std::string& instanceId) const {
  for (const Session& s : sessions_) {
    if (s.InstanceId == instanceId) return &s;
  }
  return nullptr;
}

DpSessionDesc LoopbackHub::Describe(const Session& session, bool withPassword) {
  DpSessionDesc d;
  d.SessionName = session.Name;
  d.CurrentPlayers = CountOf(session.Players.size());
  d.MaxPlayers = session.MaxPlayers;
  d.Flags = session.Flags;
  d.InstanceId = session.InstanceId;
  if (withPassword) d.Password = session.Password;
  return d;
}

bool LoopbackHub::IsFull(const Session& session) {
  return session.MaxPlayers > 0 && session.Players.size() >= static_cast<size_t>(session.MaxPlayers);
}

LoopbackHub::Player* LoopbackHub::FindPlayer(Session& session, int32_t playerId) {
  const int64_t k = int64_t{playerId} - kFirstId;
  if (k < 0 || static_cast<uint64_t>(k) >= session.PlayerSlots.size()) return nullptr;
  const uint32_t slot = session.PlayerSlots[static_cast<size_t>(k)];
  return slot != 0 ? &session.Players[slot - 1] : nullptr;
}

void LoopbackHub::AddPlayer(Session& session, Player player) {
  player.Cursor = session.LogEnd;  // broadcasts sent before it joined are not for it
  const auto k = static_cast<size_t>(int64_t{player.Id} - kFirstId);
  if (k >= session.PlayerSlots.size()) session.PlayerSlots.resize(k + 1);
  session.PlayerSlots[k] = static_cast<uint32_t>(session.Players.size() + 1);
  if (player.Endpoint >= session.Own.size()) session.Own.resize(player.Endpoint + 1);
  session.Own[player.Endpoint].push_back(player.Id);
  session.Players.push_back(std::move(player));
}

void LoopbackHub::RemovePlayer(Session& session, int32_t playerId) {
  // Names of players that left are kept while some of their messages still wait to be received. The
  // clean-up looks at every queue, so it runs when the list has doubled since the last one.
  if (session.Departed.size() >= session.DepartedCleanAt) {
    std::set<int32_t> waiting;
    auto note = [&](const Queued& q) {
      if (session.Departed.count(q.From()) != 0) waiting.insert(q.From());
    };
    for (const Player& p : session.Players) {
      for (const Queued& q : p.Queue) note(q);
    }
    for (uint64_t i = session.LogStart; i < session.LogEnd; ++i) {
      const Broadcast& b = LogAt(session, i);
      if (session.Departed.count(b.From) != 0) waiting.insert(b.From);
    }
    std::erase_if(session.Departed, [&](const auto& d) { return waiting.count(d.first) == 0; });
    session.DepartedCleanAt = std::max<size_t>(16, 2 * session.Departed.size());
  }
  const Player* p = FindPlayer(session, playerId);
  if (p == nullptr) return;
  session.Departed[playerId] = p->FriendlyName;
  std::erase(session.Own[p->Endpoint], playerId);
  session.Players.erase(session.Players.begin() + (p - session.Players.data()));
  session.PlayerSlots[static_cast<size_t>(int64_t{playerId} - kFirstId)] = 0;
  for (size_t i = 0; i < session.Players.size(); ++i) {
    session.PlayerSlots[static_cast<size_t>(int64_t{session.Players[i].Id} - kFirstId)] =
        static_cast<uint32_t>(i + 1);
  }
  for (Group& g : session.Groups) std::erase(g.Members, playerId);
}

void LoopbackHub::DropPlayer(int32_t playerId) {
  for (Session& s : sessions_) {
    if (FindPlayer(s, playerId) != nullptr) {
      RemovePlayer(s, playerId);
      return;
    }
  }
  throw DirectPlayError("no such player");
}

void LoopbackHub::EndSession(const std::string& instanceId) {
  const auto gone = std::erase_if(sessions_, [&](Session& s) {
    if (s.InstanceId != instanceId) return false;
    // A broadcast being read in place keeps its bytes until the reader is done.
    if (reading_ > 0) {
      for (Chunk& c : s.Chunks) retired_.push_back(std::move(c.Bytes));
    }
    return true;
  });
  if (gone == 0) throw DirectPlayError("no such session");
  SessionsChanged();
}

std::vector<DpSessionDesc> LoopbackHub::Sessions() const {
  std::vector<DpSessionDesc> out;
  for (const Session& s : sessions_) out.push_back(Describe(s, true));
  return out;
}

std::vector<LoopbackPlayerInfo> LoopbackHub::Players(const std::string& instanceId) const {
  std::vector<LoopbackPlayerInfo> out;
  if (const Session* s = FindSession(instanceId)) {
    for (const Player& p : s->Players) {
      out.push_back({p.Id, p.FriendlyName, p.FormalName, p.Endpoint, Pending(*s, p)});
    }
  }
  return out;
}

std::vector<LoopbackGroupInfo> LoopbackHub::Groups(const std::string& instanceId) const {
  std::vector<LoopbackGroupInfo> out;
  if (const Session* s = FindSession(instanceId)) {
    for (const Group& g : s->Groups) out.push_back({g.Id, g.Name, g.Members});
  }
  return out;
}

std::vector<DpSessionDesc> LoopbackHub::ListSessions(int32_t flags) const {
  const bool withFull = (flags & kEnumSessionsAll) != 0;
  const bool withPassword = (flags & kEnumSessionsPasswordRequired) != 0;
  std::vector<DpSessionDesc> out;
  for (const Session& s : sessions_) {
    if (!s.Password.empty() && !withPassword) continue;
    if (IsFull(s) && !withFull) continue;
    out.push_back(Describe(s, false));
  }
  return out;
}

std::string LoopbackHub::Host(uint32_t endpoint, const DpSessionDesc& desc) {
  if (desc.MaxPlayers < 0) throw DirectPlayError("invalid maximum player count");
  Session s;
  s.Name = desc.SessionName;
  s.Password = desc.Password;
  s.MaxPlayers = desc.MaxPlayers;
  s.Flags = desc.Password.empty() ? (desc.Flags & ~kSessionPasswordRequired)
                                  : (desc.Flags | kSessionPasswordRequired);
  s.InstanceId = NewInstanceId();
  s.Endpoints.push_back(endpoint);
  sessions_.push_back(std::move(s));
  SessionsChanged();
  return sessions_.back().InstanceId;
}

void LoopbackHub::Join(uint32_t endpoint, const DpSessionDesc& desc) {
  Session* s = FindSession(desc.InstanceId);
  if (s == nullptr) throw DirectPlayError("no such session");
  // A session without a password ignores the one the joiner offers.
  if (!s->Password.empty() && desc.Password != s->Password)
    throw DirectPlayError("the host refused the password");
  if (IsFull(*s)) throw DirectPlayError("the session is full");
  s->Endpoints.push_back(endpoint);
}

void LoopbackHub::Leave(uint32_t endpoint, const std::string& instanceId) {
  Session* s = FindSession(instanceId);
  if (s == nullptr) return;  // ended by the hub: nothing left to leave
  std::vector<int32_t> own;
  for (const Player& p : s->Players) {
    if (p.Endpoint == endpoint) own.push_back(p.Id);
  }
  for (int32_t id : own) RemovePlayer(*s, id);
  std::erase(s->Endpoints, endpoint);
  if (s->Endpoints.empty()) EndSession(instanceId);
}

size_t LoopbackHub::Pending(const Session& session, const Player& player) {
  return player.Queue.size() + static_cast<size_t>(session.LogEnd - player.Cursor) - player.OwnAhead;
}

size_t LoopbackHub::PendingBytes(const Session& session, const Player& player) {
  const uint64_t before =
      player.Cursor == session.LogEnd ? session.LogBytes : LogAt(session, player.Cursor).BytesBefore;
  return player.QueuedBytes + static_cast<size_t>(session.LogBytes - before) - player.OwnBytesAhead;
}

const LoopbackHub::Broadcast* LoopbackHub::NextBroadcast(Session& session, Player& player) {
  while (player.Cursor < session.LogEnd) {
    const Broadcast& b = LogAt(session, player.Cursor);
    if (b.From != player.Id) return &b;
    ++player.Cursor;
    --player.OwnAhead;
    player.OwnBytesAhead -= b.Size;
  }
  return nullptr;
}

template <typename Visit>
void LoopbackHub::ForEachPending(const Session& session, const Player& player, Visit visit) {
  for (const Queued& q : player.Queue) visit(q.From());
  for (uint64_t i = player.Cursor; i < session.LogEnd; ++i) {
    const Broadcast& b = LogAt(session, i);
    if (b.From != player.Id) visit(b.From);
  }
}

void LoopbackHub::AppendBroadcast(Session& session, const std::vector<uint8_t>& bytes, int32_t from,
                                  uint64_t sequence) {
  if (session.Chunks.empty() || session.Chunks.back().Used + bytes.size() > session.Chunks.back().Capacity) {
    Chunk& c = session.Chunks.emplace_back();
    c.Capacity = std::max(kChunkBytes, bytes.size());
    c.Bytes = std::make_unique_for_overwrite<uint8_t[]>(c.Capacity);
  }
  Chunk& c = session.Chunks.back();
  uint8_t* at = c.Bytes.get() + c.Used;
  std::copy(bytes.begin(), bytes.end(), at);
  if (session.LogEnd - session.LogStart == session.Log.size()) {
    // The ring is full: twice the room, each entry at its place in the new ring.
    std::vector<Broadcast> wider(std::max<size_t>(1024, 2 * session.Log.size()));
    for (uint64_t i = session.LogStart; i < session.LogEnd; ++i)
      wider[i & (wider.size() - 1)] = LogAt(session, i);
    session.Log = std::move(wider);
  }
  session.Log[session.LogEnd & (session.Log.size() - 1)] = {at, static_cast<uint32_t>(bytes.size()), from,
                                                            sequence, session.LogBytes};
  ++session.LogEnd;
  c.Used += bytes.size();
  c.End = session.LogEnd;
  session.LogBytes += bytes.size();
}

void LoopbackHub::TrimLog(Session& session) {
  session.MinCursor = session.LogEnd;
  session.MaxQueue = 0;
  session.MaxQueueBytes = 0;
  for (const Player& p : session.Players) {
    session.MinCursor = std::min(session.MinCursor, p.Cursor);
    session.MaxQueue = std::max(session.MaxQueue, p.Queue.size());
    session.MaxQueueBytes = std::max(session.MaxQueueBytes, p.QueuedBytes);
  }
  session.LogStart = session.MinCursor;
  while (session.Chunks.size() > 1 && session.Chunks.front().End <= session.LogStart)
    session.Chunks.pop_front();
  session.TrimAt = std::max<size_t>(1024, 2 * (session.LogEnd - session.LogStart));
}

void LoopbackHub::Deliver(Session& session, uint32_t endpoint, int32_t from, int32_t to,
                          const DpMessage& message) {
  Player* sender = FindPlayer(session, from);
  if (sender == nullptr || sender->Endpoint != endpoint)
    throw DirectPlayError("sender is not a local player");
  const size_t size = message.Bytes().size();
  if (size == 0) throw DirectPlayError("empty message");
  if (size > kMaxMessageBytes) throw DirectPlayError("message too large");
  auto full = [&](const Player& p) {
    return Pending(session, p) >= kMaxQueuedMessages || PendingBytes(session, p) + size > kMaxQueuedBytes;
  };

  if (to == kAllPlayers) {
    if (session.Players.size() < 2) return;  // nobody else to hear it
    // All or nothing: a full queue anywhere rejects the whole send. The bounds show at once that no
    // queue is near its limits.
    const uint64_t logBytesFromMin = session.LogBytes - (session.MinCursor == session.LogEnd
                                                             ? session.LogBytes
                                                             : LogAt(session, session.MinCursor).BytesBefore);
    if (session.MaxQueue + (session.LogEnd - session.MinCursor) >= kMaxQueuedMessages ||
        session.MaxQueueBytes + logBytesFromMin + size > kMaxQueuedBytes) {
      for (const Player& p : session.Players) {
        if (p.Id != from && full(p)) throw DirectPlayError("queue full");
      }
    }
    AppendBroadcast(session, message.Bytes(), from, ++sendCounter_);
    ++sender->OwnAhead;
    sender->OwnBytesAhead += size;
    // Bytes handed out in place stay where they are until the reader is done.
    if (session.LogEnd - session.LogStart >= session.TrimAt && reading_ == 0) TrimLog(session);
    return;
  }

  std::vector<Player*> receivers;
  if (Player* p = FindPlayer(session, to)) {
    receivers.push_back(p);
  } else {
    const auto g = std::find_if(session.Groups.begin(), session.Groups.end(),
                                [&](const Group& x) { return x.Id == to; });
    if (g == session.Groups.end()) throw DirectPlayError("no such player or group");
    for (int32_t member : g->Members) {
      if (member != from) receivers.push_back(FindPlayer(session, member));
    }
  }
  for (const Player* p : receivers) {
    if (full(*p)) throw DirectPlayError("queue full");
  }
  if (receivers.empty()) return;
  const Queued held(Payload::Make(message.Bytes(), from), 0);
  for (Player* p : receivers) {
    p->Queue.push_back(held.Share(++sendCounter_));
    p->QueuedBytes += size;
    session.MaxQueue = std::max(session.MaxQueue, p->Queue.size());
    session.MaxQueueBytes = std::max(session.MaxQueueBytes, p->QueuedBytes);
  }
}

LoopbackDirectPlay::LoopbackDirectPlay(std::shared_ptr<LoopbackHub> hub) : hub_(std::move(hub)) {
  if (!hub_) throw std::invalid_argument("LoopbackDirectPlay needs a hub");
  endpoint_ = hub_->NewEndpoint();
}

LoopbackDirectPlay::~LoopbackDirectPlay() {
  try {
    Close();
  } catch (...) {
  }
}

LoopbackHub::Session& LoopbackDirectPlay::OpenSession() {
  if (instanceId_.empty()) throw DirectPlayError("not in a session");
  if (session_ == nullptr || sessionVersion_ != hub_->sessionsVersion_) {
    session_ = hub_->FindSession(instanceId_);
    sessionVersion_ = hub_->sessionsVersion_;
  }
  if (session_ == nullptr) throw DirectPlayError("session lost");
  return *session_;
}

LoopbackHub::Session& LoopbackDirectPlay::SessionNamed(const std::string& sessionInstanceId, int32_t flags) {
  if (flags != 0) throw DirectPlayError("unsupported enumeration flags");
  LoopbackHub::Session& s = OpenSession();
  if (!sessionInstanceId.empty() && sessionInstanceId != s.InstanceId) {
    throw DirectPlayError("not the open session");
  }
  return s;
}

LoopbackHub::Player& LoopbackDirectPlay::LocalPlayer(LoopbackHub::Session& session, int32_t playerId) {
  LoopbackHub::Player* p = LoopbackHub::FindPlayer(session, playerId);
  if (p == nullptr || p->Endpoint != endpoint_) throw DirectPlayError("not a local player");
  return *p;
}

std::vector<DpConnection> LoopbackDirectPlay::EnumConnections(int32_t flags) {
  // DirectPlay takes flags 0 to mean DirectPlay connections; lobby connections do not exist here.
  if (flags != 0 && (flags & kConnectionsDirectPlay) == 0) return {};
  return {{LoopbackHub::kConnectionName, LoopbackHub::kConnectionAddress}};
}

void LoopbackDirectPlay::InitializeConnection(const std::string& address) {
  if (initialized_) throw DirectPlayError("connection already initialised");
  if (address != LoopbackHub::kConnectionAddress) throw DirectPlayError("unknown connection");
  initialized_ = true;
}

std::vector<DpSessionDesc> LoopbackDirectPlay::EnumSessions(const DpSessionDesc&, int32_t, int32_t flags) {
  if (!initialized_) throw DirectPlayError("connection not initialised");
  return hub_->ListSessions(flags);
}

void LoopbackDirectPlay::Open(const DpSessionDesc& session, int32_t flags) {
  if (!initialized_) throw DirectPlayError("connection not initialised");
  if (!instanceId_.empty()) throw DirectPlayError("a session is already open");
  session_ = nullptr;
  if (flags == kOpenCreate) {
    instanceId_ = hub_->Host(endpoint_, session);
  } else if (flags == kOpenJoin) {
    hub_->Join(endpoint_, session);
    instanceId_ = session.InstanceId;
  } else {
    throw DirectPlayError("unsupported open flags");
  }
}

DpSessionDesc LoopbackDirectPlay::CurrentSession() {
  return LoopbackHub::Describe(OpenSession(), false);
}

int32_t LoopbackDirectPlay::CreatePlayer(const std::string& friendlyName, const std::string& formalName) {
  LoopbackHub::Session& s = OpenSession();
  if (LoopbackHub::IsFull(s)) throw DirectPlayError("the session is full");
  LoopbackHub::Player p;
  p.Id = hub_->NewId();
  p.FriendlyName = friendlyName;
  p.FormalName = formalName;
  p.Endpoint = endpoint_;
  LoopbackHub::AddPlayer(s, std::move(p));
  return s.Players.back().Id;
}

void LoopbackDirectPlay::DestroyPlayer(int32_t playerId) {
  LoopbackHub::Session& s = OpenSession();
  LocalPlayer(s, playerId);
  LoopbackHub::RemovePlayer(s, playerId);
}

int32_t LoopbackDirectPlay::CreateGroup(const std::string& name) {
  LoopbackHub::Session& s = OpenSession();
  s.Groups.push_back({hub_->NewId(), name, {}});
  return s.Groups.back().Id;
}

void LoopbackDirectPlay::AddPlayerToGroup(int32_t groupId, int32_t playerId) {
  LoopbackHub::Session& s = OpenSession();
  const auto g = std::find_if(s.Groups.begin(), s.Groups.end(),
                              [&](const LoopbackHub::Group& x) { return x.Id == groupId; });
  if (g == s.Groups.end()) throw DirectPlayError("no such group");
  if (LoopbackHub::FindPlayer(s, playerId) == nullptr) throw DirectPlayError("no such player");
  if (std::find(g->Members.begin(), g->Members.end(), playerId) == g->Members.end()) {
    g->Members.push_back(playerId);
  }
}

void LoopbackDirectPlay::Close() {
  if (instanceId_.empty()) return;
  hub_->Leave(endpoint_, instanceId_);
  instanceId_.clear();
  session_ = nullptr;
}

void LoopbackDirectPlay::Send(int32_t from, int32_t to, int32_t, const DpMessage& message) {
  hub_->Deliver(OpenSession(), endpoint_, from, to, message);
}

int32_t LoopbackDirectPlay::GetMessageCount(int32_t playerId) {
  LoopbackHub::Session& s = OpenSession();
  return CountOf(LoopbackHub::Pending(s, LocalPlayer(s, playerId)));
}

const LoopbackHub::Broadcast* LoopbackDirectPlay::TakeOldest(std::optional<LoopbackHub::Queued>& held,
                                                             int32_t& to) {
  LoopbackHub::Session& s = OpenSession();
  LoopbackHub::Player* oldest = nullptr;
  const LoopbackHub::Broadcast* broadcast = nullptr;  // oldest's message when it is a broadcast
  uint64_t oldestSequence = 0;
  if (endpoint_ < s.Own.size()) {
    for (const int32_t id : s.Own[endpoint_]) {
      LoopbackHub::Player& p = *LoopbackHub::FindPlayer(s, id);
      const LoopbackHub::Broadcast* b = LoopbackHub::NextBroadcast(s, p);
      const bool queued = !p.Queue.empty();
      if (b == nullptr && !queued) continue;
      // A player's queue and its part of the log never hold the same sequence number.
      const bool fromLog = b != nullptr && (!queued || b->Sequence < p.Queue.front().Sequence());
      const uint64_t sequence = fromLog ? b->Sequence : p.Queue.front().Sequence();
      if (oldest == nullptr || sequence < oldestSequence) {
        oldest = &p;
        broadcast = fromLog ? b : nullptr;
        oldestSequence = sequence;
      }
    }
  }
  if (oldest == nullptr) throw DirectPlayError("no messages");
  to = oldest->Id;
  if (broadcast != nullptr) {
    ++oldest->Cursor;
    return broadcast;
  }
  held.emplace(std::move(oldest->Queue.front()));
  oldest->Queue.pop_front();
  oldest->QueuedBytes -= held->Bytes().size();
  return nullptr;
}

DpReceived LoopbackDirectPlay::Receive(int32_t flags) {
  if (flags != kReceiveAll) throw DirectPlayError("unsupported receive flags");
  std::optional<LoopbackHub::Queued> held;
  int32_t to = 0;
  if (const LoopbackHub::Broadcast* b = TakeOldest(held, to)) {
    return {DpMessage(std::vector<uint8_t>(b->Bytes, b->Bytes + b->Size)), b->From, to};
  }
  const std::span<const uint8_t> bytes = held->Bytes();
  return {DpMessage(std::vector<uint8_t>(bytes.begin(), bytes.end())), held->From(), to};
}

void LoopbackDirectPlay::ReceiveInPlace(int32_t count, const InPlaceReader& read) {
  struct Reading {
    LoopbackHub& Hub;
    explicit Reading(LoopbackHub& hub) : Hub(hub) { ++Hub.reading_; }
    ~Reading() {
      if (--Hub.reading_ == 0) Hub.retired_.clear();
    }
  } reading(*hub_);
  for (int32_t i = 0; i < count; ++i) {
    std::optional<LoopbackHub::Queued> held;
    int32_t to = 0;
    if (const LoopbackHub::Broadcast* b = TakeOldest(held, to)) {
      read({b->Bytes, b->Size}, b->From, to);
    } else {
      read(held->Bytes(), held->From(), to);
    }
  }
}

std::string LoopbackDirectPlay::GetPlayerFriendlyName(int32_t playerId) {
  LoopbackHub::Session& session = OpenSession();
  if (const LoopbackHub::Player* p = LoopbackHub::FindPlayer(session, playerId)) return p->FriendlyName;
  // A player that left is still named for the messages it sent that wait here.
  const auto departed = session.Departed.find(playerId);
  if (departed != session.Departed.end()) {
    bool waiting = false;
    for (const LoopbackHub::Player& p : session.Players) {
      if (p.Endpoint != endpoint_) continue;
      LoopbackHub::ForEachPending(session, p, [&](int32_t from) { waiting = waiting || from == playerId; });
    }
    if (waiting) return departed->second;
  }
  throw DirectPlayError("no such player");
}

std::vector<DpPlayer> LoopbackDirectPlay::EnumPlayers(const std::string& sessionInstanceId, int32_t flags) {
  std::vector<DpPlayer> out;
  for (const LoopbackHub::Player& p : SessionNamed(sessionInstanceId, flags).Players) {
    out.push_back({p.Id, p.FriendlyName});
  }
  return out;
}

std::vector<DpGroup> LoopbackDirectPlay::EnumGroups(const std::string& sessionInstanceId, int32_t flags) {
  std::vector<DpGroup> out;
  for (const LoopbackHub::Group& g : SessionNamed(sessionInstanceId, flags).Groups) {
    out.push_back({g.Id, g.Name});
  }
  return out;
}

LoopbackFactory::LoopbackFactory(std::shared_ptr<LoopbackHub> hub) : hub_(std::move(hub)) {
  if (!hub_) throw std::invalid_argument("LoopbackFactory needs a hub");
}

std::unique_ptr<DirectPlay> LoopbackFactory::Create() {
  return std::make_unique<LoopbackDirectPlay>(hub_);
}

}  // namespace skyvox::session
