#include "dplay4/peer.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace skyvox::dplay4 {

namespace {

constexpr Ip kAnyIp = {0, 0, 0, 0};
constexpr uint32_t kNameServerSystemFlags = kPlayerSystem | kPlayerNameServer | kPlayerInGroup;

uint64_t NextRandom(uint64_t& state) {
  // splitmix64: enough for GUIDs and keys that only need to differ between sessions.
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

SockAddr ToSockAddr(const Address& a) {
  SockAddr s;
  s.Port = a.Port;
  s.Address = a.Host;
  return s;
}

// An address as a message gives it, made reachable from here: 0.0.0.0 means the sender's own address,
// and so does a loopback address from a sender that is not on our machine (a peer on the host's
// machine joined it through 127.0.0.1, and the host passes on what it saw).
Address FromSockAddr(const SockAddr& s, const Ip& source) {
  const bool senderElsewhere = source[0] != 127;
  if (s.Address == kAnyIp || (s.Address[0] == 127 && senderElsewhere)) return Address{source, s.Port};
  return Address{s.Address, s.Port};
}

// The same computer: a sender on our own machine may come from any loopback address.
bool SameHost(const Ip& seen, const Ip& known) {
  if (known == kAnyIp) return false;
  return seen == known || (seen[0] == 127 && known[0] == 127);
}

std::string IpText(const Ip& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

}  // namespace

std::string ToText(const Address& a) {
  return IpText(a.Host) + ":" + std::to_string(a.Port);
}

Peer::Peer(Transport& transport, PeerConfig config)
    : transport_(transport), config_(std::move(config)), random_(config_.Seed) {}

void Peer::Log(const std::string& text) const {
  if (config_.Log) config_.Log(text);
}

std::vector<uint8_t> Peer::Framed(Bytes body) const {
  SockAddr self;
  self.Port = config_.StreamPort;  // address 0.0.0.0: "the address this came from"
  return Frame(self, body);
}

ProviderAddresses Peer::OurAddresses() const {
  ProviderAddresses a;
  a.Stream.Port = config_.StreamPort;
  a.Datagram.Port = config_.DatagramPort;
  return a;
}

Address Peer::StreamOf(const Ip& source, const Header& head) const {
  return FromSockAddr(head.Sender, source);
}

std::vector<uint32_t> Peer::OtherMachines() const {
  std::vector<uint32_t> ids;
  for (const auto& [id, m] : machines_) ids.push_back(id);
  return ids;
}

void Peer::SendTo(uint32_t systemPlayer, Bytes body) {
  const auto it = table_.find(systemPlayer);
  if (it == table_.end()) return;
  transport_.SendStream(it->second.Stream, Framed(body));
}

void Peer::SendToAllMachines(Bytes body) {
  const std::vector<uint8_t> message = Framed(body);
  for (uint32_t id : OtherMachines()) {
    const auto it = table_.find(id);
    if (it != table_.end()) transport_.SendStream(it->second.Stream, message);
  }
}

void Peer::HeardFrom(uint32_t systemPlayer) {
  const auto it = machines_.find(systemPlayer);
  if (it == machines_.end()) return;
  it->second.LastHeard = now_;
  it->second.Missed = 0;
}

std::optional<uint32_t> Peer::MachineAt(const Address& stream) const {
  for (const auto& [id, m] : machines_) {
    const auto it = table_.find(id);
    if (it != table_.end() && it->second.Stream == stream) return id;
  }
  return std::nullopt;
}

bool Peer::SentBy(const Origin& from, uint32_t machine) const {
  if (machine == 0 || machine == systemPlayer_) return false;
  if (machine == nameServer_ && SameHost(from.Source, nameServerStream_.Host)) return true;
  const auto it = table_.find(machine);
  return it != table_.end() &&
         (SameHost(from.Source, it->second.Stream.Host) || SameHost(from.Source, it->second.Datagram.Host) ||
          SameHost(from.Source, it->second.SeenAt));
}

bool Peer::Admit(const Origin& from, std::initializer_list<uint32_t> machines, const std::string& what,
                 bool anyTransport) const {
  const std::string ignored = "ignored " + what + " from " + IpText(from.Source);
  if (!from.Stream && !anyTransport) {
    Log(ignored + " over UDP: it counts only over TCP");
    return false;
  }
  std::string entitled;
  for (uint32_t m : machines) {
    if (SentBy(from, m)) return true;
    if (m != 0) entitled += (entitled.empty() ? " " : " or ") + Hex(m);
  }
  Log(ignored + ": not an address of machine" + (entitled.empty() ? " (none)" : entitled));
  return false;
}

bool Peer::AdmitFromNameServer(const Origin& from, const std::string& what) const {
  if (inSession_) return Admit(from, {nameServer_}, what);
  if (from.Stream && SameHost(from.Source, nameServerStream_.Host)) return true;
  Log("ignored " + what + " from " + IpText(from.Source) + (from.Stream ? "" : " over UDP") +
      ": not the host being joined");
  return false;
}

uint32_t Peer::OwnerOf(uint32_t id) const {
  const auto it = table_.find(id);
  return it == table_.end() ? 0 : it->second.SystemPlayerId;
}

uint32_t Peer::NonSystemPlayers() const {
  uint32_t n = 0;
  for (const auto& [id, e] : table_) n += (!e.IsGroup && !(e.Flags & kPlayerSystem)) ? 1 : 0;
  return n;
}

PlayerMessageIn Peer::TakeFront() {
  PlayerMessageIn m = std::move(queue_.front());
  queue_.pop_front();
  queuedBytes_ -= m.Payload.size();
  return m;
}

// ---------------------------------------------------------------------------------------------------
// Inbound

void Peer::OnStreamMessage(const Ip& source, Bytes message) {
  try {
    const dplay4::Framed f = Unframe(message);
    const Origin from{source, true};
    if (IsSystemMessage(f.Body)) {
      HandleSystem(from, f.Head, f.Body);
    } else {
      HandlePlayerMessage(from, f.Body);
    }
  } catch (const Error& e) {
    Log(std::string("dropped a message: ") + e.what());
  }
}

void Peer::OnDatagram(const Ip& source, Bytes datagram) {
  try {
    const Origin from{source, false};
    if (datagram.size() >= kHeaderSize + 4 && IsSystemMessage(datagram.subspan(kHeaderSize))) {
      const dplay4::Framed f = Unframe(datagram);
      HandleSystem(from, f.Head, f.Body);
    } else {
      HandlePlayerMessage(from, datagram);
    }
  } catch (const Error& e) {
    Log(std::string("dropped a datagram: ") + e.what());
  }
}

void Peer::HandlePlayerMessage(const Origin& origin, Bytes body) {
  if (!inSession_) return;
  PlayerMessage m = PlayerMessage::Decode(body);
  const auto from = table_.find(m.IdFrom);
  // A player we do not know (yet, or any more) cannot be named to the application: drop it.
  if (from == table_.end() || from->second.IsGroup || from->second.Local) return;
  // Nor can a message that claims a player of another machine than the one it came from.
  if (!Admit(origin, {from->second.SystemPlayerId}, "a message from player " + Hex(m.IdFrom), true)) return;
  HeardFrom(from->second.SystemPlayerId);
  Deliver(m.IdFrom, m.IdTo, m.Payload);
}

void Peer::Deliver(uint32_t from, uint32_t to, Bytes payload) {
  const auto target = table_.find(to);
  if (to == 0) {
    for (const auto& [id, e] : table_) {
      if (e.Local && !e.IsGroup && !(e.Flags & kPlayerSystem) && id != from) Enqueue(from, id, payload);
    }
  } else if (target != table_.end() && target->second.IsGroup) {
    for (uint32_t member : target->second.Members) {
      const auto m = table_.find(member);
      if (m != table_.end() && m->second.Local && member != from) Enqueue(from, member, payload);
    }
  } else if (target != table_.end() && target->second.Local && !(target->second.Flags & kPlayerSystem)) {
    Enqueue(from, to, payload);
  }
}

void Peer::Enqueue(uint32_t from, uint32_t to, Bytes payload) {
  if (queue_.size() >= kMaxQueuedMessages || queuedBytes_ + payload.size() > kMaxQueuedBytes) {
    Log("receive queue full: a player message was dropped");
    return;
  }
  queue_.push_back(PlayerMessageIn{from, to, std::vector<uint8_t>(payload.begin(), payload.end())});
  queuedBytes_ += payload.size();
}

void Peer::HandleSystem(const Origin& from, const Header& head, Bytes body) {
  const Ip& source = from.Source;
  const Envelope envelope = DecodeEnvelope(body);
  // Only a machine's own address proves it is still there (a header may name any address).
  if (const auto machine = MachineAt(StreamOf(source, head)); machine && SentBy(from, *machine)) {
    HeardFrom(*machine);
  }
  switch (envelope.Command) {
    case kEnumSessions:
      if (IsNameServer()) OnEnumSessions(source, head, body);
      break;
    case kEnumSessionsReply:
      OnEnumSessionsReply(source, head, body);
      break;
    case kRequestPlayerId:
      if (IsNameServer()) OnRequestPlayerId(source, head, body);
      break;
    case kRequestPlayerReply:
      if (AdmitFromNameServer(from, "REQUESTPLAYERREPLY")) OnRequestPlayerReply(body);
      break;
    case kAddForwardRequest:
      if (IsNameServer()) OnAddForwardRequest(source, head, body);
      break;
    case kAddForward:
      if (AdmitFromNameServer(from, "ADDFORWARD")) OnAddForward(source, head, body);
      break;
    case kAddForwardAck:
      if (IsNameServer()) OnAddForwardAck(source, head, body);
      break;
    case kAddForwardReply:
      if (phase_ == JoinPhase::WaitingForNameTable && AdmitFromNameServer(from, "ADDFORWARDREPLY")) {
        const SingleValue reply = SingleValue::Decode(body);
        joinError_ = reply.Value;
        phase_ = JoinPhase::Failed;
        Log("the host refused the join: " + Hex(reply.Value));
      }
      break;
    case kSuperEnumPlayersReply:
      if (phase_ == JoinPhase::WaitingForNameTable && AdmitFromNameServer(from, "SUPERENUMPLAYERSREPLY")) {
        OnSuperEnumPlayersReply(source, body);
      }
      break;
    case kCreatePlayer:
    case kCreateGroup:
    case kCreatePlayerVerify:
      OnCreate(from, body);
      break;
    case kDeletePlayer:
    case kDeleteGroup:
    case kAddPlayerToGroup:
    case kDeletePlayerFromGroup:
      OnGroupChange(from, body);
      break;
    case kPing:
    case kPingReply:
      OnPing(source, head, body);
      break;
    case kYouAreDead:
      // Only the host removes a machine; as the host, nobody removes us.
      if (inSession_ && Admit(from, {nameServer_}, "YOUAREDEAD")) {
        LoseSession("the host says this machine is no longer in the session");
      }
      break;
    case kIAmNameServer:
      OnIAmNameServer(from, body);
      break;
    case kPlayerNameChanged:
      if (inSession_) {
        const PlayerNameChanged change = PlayerNameChanged::Decode(body);
        const auto it = table_.find(change.PlayerId);
        if (it != table_.end() && !it->second.Local &&
            Admit(from, {it->second.SystemPlayerId, nameServer_},
                  "PLAYERNAMECHANGED for " + Hex(change.PlayerId))) {
          it->second.ShortName = change.ShortName.value_or(u"");
          it->second.LongName = change.LongName.value_or(u"");
        }
      }
      break;
    case kSessionDescChanged:
      // Only the name server describes the session; the instance stays what we joined.
      if (inSession_ && Admit(from, {nameServer_}, "SESSIONDESCCHANGED")) {
        const SessionDescChanged change = SessionDescChanged::Decode(body);
        const Guid instance = desc_.Instance;
        desc_ = change.Desc;
        desc_.Instance = instance;
        if (change.Name) sessionName_ = *change.Name;
      }
      break;
    case kPlayerWrapper:
      HandlePlayerMessage(from, UnwrapPlayerMessage(body));
      break;
    default:  // player data changes among them: the application never asks for player data
      break;  // messages this peer has no use for are ignored, as the protocol asks
  }
}

void Peer::OnEnumSessions(const Ip& source, const Header& head, Bytes body) {
  const EnumSessionsRequest request = EnumSessionsRequest::Decode(body);
  if (!request.Application.IsNull() && !(request.Application == desc_.Application)) return;
  if (!(request.Flags & kEnumAll)) {
    const bool full = desc_.MaxPlayers != 0 && NonSystemPlayers() >= desc_.MaxPlayers;
    if (full || (desc_.Flags & (kSessionJoinDisabled | kSessionNewPlayersDisabled))) return;
  }
  if ((desc_.Flags & kSessionPasswordFlag) && !(request.Flags & kEnumPasswordRequired) &&
      !(request.Password && PasswordMatches(*request.Password))) {
    return;
  }
  EnumSessionsReply reply;
  reply.Version = config_.Dialect;
  reply.Desc = CurrentDesc();
  reply.Name = sessionName_;
  transport_.SendStream(StreamOf(source, head), Framed(reply.Encode()));
}

void Peer::OnEnumSessionsReply(const Ip& source, const Header& head, Bytes body) {
  const EnumSessionsReply reply = EnumSessionsReply::Decode(body);
  FoundSession found{reply.Desc, reply.Name.value_or(u""), StreamOf(source, head), source};
  // A session is described again only from the address that first answered for it, and each address
  // has a share of the list: a machine that answers with sessions without end, or with another's,
  // cannot crowd out or take over the sessions of the others.
  size_t fromSource = 0;
  for (FoundSession& f : found_) {
    if (f.Desc.Instance == found.Desc.Instance) {
      if (f.Source == source) f = std::move(found);
      return;
    }
    fromSource += f.Source == source ? 1 : 0;
  }
  if (found_.size() < kMaxFoundSessions && fromSource < kMaxFoundSessionsPerAddress)
    found_.push_back(std::move(found));
}

void Peer::OnRequestPlayerId(const Ip& source, const Header& head, Bytes body) {
  const RequestPlayerId request = RequestPlayerId::Decode(body);
  RequestPlayerReply reply;
  reply.Version = config_.Dialect;
  const bool full = desc_.MaxPlayers != 0 && NonSystemPlayers() >= desc_.MaxPlayers;
  if (request.Flags & kPlayerSystem) {
    if (full || (desc_.Flags & kSessionJoinDisabled)) reply.Result = kErrorNoNewPlayers;
  } else if (full || (desc_.Flags & kSessionNewPlayersDisabled)) {
    reply.Result = kErrorNoNewPlayers;
  }
  if (reply.Result == 0) reply.Id = AllocateId();
  transport_.SendStream(StreamOf(source, head), Framed(reply.Encode()));
}

void Peer::OnRequestPlayerReply(Bytes body) {
  const RequestPlayerReply reply = RequestPlayerReply::Decode(body);
  if (phase_ == JoinPhase::WaitingForId) {
    if (reply.Result != 0) {
      joinError_ = reply.Result;
      phase_ = JoinPhase::Failed;
      Log("the host refused a system player: " + Hex(reply.Result));
      return;
    }
    systemPlayer_ = reply.Id;
    PlayerCreation request;
    request.Command = kAddForwardRequest;
    request.Version = config_.Dialect;
    request.PlayerId = systemPlayer_;
    request.Player.Flags = kPlayerSystem | kPlayerLocal;
    request.Player.PlayerId = systemPlayer_;
    request.Player.ProviderData = OurAddresses().Encode();
    request.Player.SystemPlayerId = systemPlayer_;
    request.Player.PlayerVersion = config_.Dialect;
    request.Password = joinPassword_;
    request.TickCount = static_cast<uint32_t>(now_);
    transport_.SendStream(nameServerStream_, Framed(request.Encode()));
    phase_ = JoinPhase::WaitingForNameTable;
    return;
  }
  if (!inSession_) return;
  if (idReplies_.size() < 16) idReplies_.push_back(IdReply{reply.Id, reply.Result});
}

void Peer::OnAddForwardRequest(const Ip& source, const Header& head, Bytes body) {
  const PlayerCreation request = PlayerCreation::Decode(body);
  if (request.Command != kAddForwardRequest) return;
  const Address replyTo = StreamOf(source, head);
  if ((desc_.Flags & kSessionPasswordFlag) && !PasswordMatches(request.Password)) {
    SingleValue refusal{kAddForwardReply, config_.Dialect, kErrorInvalidPassword};
    transport_.SendStream(replyTo, Framed(refusal.Encode()));
    Log("refused a machine with a wrong password from " + ToText(replyTo));
    return;
  }
  if (table_.count(request.PlayerId) || !idsEverUsed_.count(request.PlayerId) ||
      pendingJoins_.size() >= kMaxPendingJoins || table_.size() >= kMaxTableEntries) {
    return;  // not an id we handed out for a join, or one already in use
  }
  TableEntry entry = EntryFromPacked(request.Player, source, false);
  entry.Id = request.PlayerId;
  entry.SystemPlayerId = request.PlayerId;
  entry.Flags = kPlayerSystem | kPlayerInGroup;
  // Where its request came from is where it listens; a description without addresses gets the
  // stream port for datagrams too.
  entry.Stream = replyTo;
  if (entry.Datagram.Port == 0) entry.Datagram = replyTo;
  entry.SeenAt = source;  // behind NAT, the address it speaks from may be none it describes

  PendingJoin join;
  join.SystemPlayer = entry.Id;
  join.Stream = replyTo;
  join.Deadline = now_ + config_.AddForwardAckTimeoutMs;
  PlayerCreation forward;
  forward.Command = kAddForward;
  forward.Version = config_.Dialect;
  forward.PlayerId = entry.Id;
  forward.Player.Flags = kPlayerSystem | kPlayerInGroup;
  forward.Player.PlayerId = entry.Id;
  forward.Player.ProviderData =
      ProviderAddresses{ToSockAddr(entry.Stream), ToSockAddr(entry.Datagram)}.Encode();
  forward.Player.SystemPlayerId = entry.Id;
  forward.Player.PlayerVersion = entry.Version;
  for (uint32_t other : OtherMachines()) {
    forward.IdTo = other;
    SendTo(other, forward.Encode());
    join.Waiting.insert(other);
  }
  Log("machine " + Hex(entry.Id) + " joins from " + ToText(entry.Stream));
  AddEntry(std::move(entry));
  pendingJoins_.push_back(std::move(join));
  if (pendingJoins_.back().Waiting.empty()) {
    FinishJoin(pendingJoins_.back());
    pendingJoins_.pop_back();
  }
}

void Peer::OnAddForward(const Ip& source, const Header&, Bytes body) {
  const PlayerCreation forward = PlayerCreation::Decode(body);
  if (forward.Command != kAddForward) return;
  if (phase_ == JoinPhase::WaitingForNameTable) {
    // Another machine joins while we do: acknowledge at once (the host holds that machine until every
    // acknowledgement is in) and add it once our own name table is here.
    if (forward.PlayerId != systemPlayer_ && earlyForwards_.size() < kMaxPendingJoins) {
      TableEntry entry = EntryFromPacked(forward.Player, source, false);
      entry.Id = entry.SystemPlayerId = forward.PlayerId;
      entry.Flags = (entry.Flags | kPlayerSystem | kPlayerInGroup) & ~kPlayerLocal;
      earlyForwards_.push_back(std::move(entry));
    }
    SingleValue ack{kAddForwardAck, config_.Dialect, forward.PlayerId};
    transport_.SendStream(nameServerStream_, Framed(ack.Encode()));
    return;
  }
  if (!inSession_) return;
  if (forward.PlayerId != systemPlayer_ && !table_.count(forward.PlayerId) &&
      table_.size() < kMaxTableEntries) {
    TableEntry entry = EntryFromPacked(forward.Player, source, false);
    entry.Id = forward.PlayerId;
    entry.SystemPlayerId = forward.PlayerId;
    entry.Flags = (entry.Flags | kPlayerSystem | kPlayerInGroup) & ~kPlayerLocal;
    Log("machine " + Hex(entry.Id) + " joins from " + ToText(entry.Stream));
    AddEntry(std::move(entry));
  }
  SingleValue ack{kAddForwardAck, config_.Dialect, forward.PlayerId};
  if (nameServer_ != 0) SendTo(nameServer_, ack.Encode());
}

void Peer::OnAddForwardAck(const Ip& source, const Header& head, Bytes body) {
  const SingleValue ack = SingleValue::Decode(body);
  // The message names the new machine, not the one acknowledging: that one is known by its address.
  const std::optional<uint32_t> from = MachineAt(StreamOf(source, head));
  if (!from) return;
  for (size_t i = 0; i < pendingJoins_.size(); ++i) {
    PendingJoin& join = pendingJoins_[i];
    if (join.SystemPlayer != ack.Value || !join.Waiting.count(*from)) continue;
    join.Waiting.erase(*from);
    if (join.Waiting.empty()) {
      FinishJoin(join);
      pendingJoins_.erase(pendingJoins_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return;
  }
}

void Peer::FinishJoin(PendingJoin& join) {
  if (!table_.count(join.SystemPlayer)) return;  // it left meanwhile
  transport_.SendStream(join.Stream, Framed(NameTable().Encode()));
}

void Peer::OnSuperEnumPlayersReply(const Ip& source, Bytes body) {
  if (phase_ != JoinPhase::WaitingForNameTable) return;
  const SuperEnumPlayersReply reply = SuperEnumPlayersReply::Decode(body);
  if (reply.Players.size() + reply.Groups.size() > kMaxTableEntries) return;
  std::map<uint32_t, TableEntry> table;
  for (const SuperPackedPlayer& p : reply.Players) {
    TableEntry e;
    e.Id = p.Id;
    e.Flags = p.Flags;
    e.ShortName = p.ShortName.value_or(u"");
    e.LongName = p.LongName.value_or(u"");
    if (p.Flags & kPlayerSystem) {
      e.SystemPlayerId = p.Id;
      e.Version = p.VersionOrSystemPlayerId;
      if (p.ProviderData && p.ProviderData->size() == 32) {
        const ProviderAddresses a = ProviderAddresses::Decode(*p.ProviderData);
        e.Stream = FromSockAddr(a.Stream, source);
        e.Datagram = FromSockAddr(a.Datagram, source);
      }
    } else {
      e.SystemPlayerId = p.VersionOrSystemPlayerId;
    }
    table[e.Id] = std::move(e);
  }
  for (const SuperPackedPlayer& g : reply.Groups) {
    TableEntry e;
    e.Id = g.Id;
    e.Flags = g.Flags;
    e.IsGroup = true;
    e.ShortName = g.ShortName.value_or(u"");
    e.LongName = g.LongName.value_or(u"");
    e.SystemPlayerId = g.VersionOrSystemPlayerId;
    if (g.PlayerIds) e.Members = *g.PlayerIds;
    table[e.Id] = std::move(e);
  }
  TableEntry& self = table[systemPlayer_];
  self.Id = systemPlayer_;
  self.Flags = kPlayerSystem | kPlayerInGroup;
  self.SystemPlayerId = systemPlayer_;
  self.Version = config_.Dialect;
  self.Local = true;
  self.Stream = Address{kAnyIp, config_.StreamPort};
  self.Datagram = Address{kAnyIp, config_.DatagramPort};

  for (TableEntry& early : earlyForwards_) {
    if (!table.count(early.Id)) table[early.Id] = std::move(early);
  }
  earlyForwards_.clear();
  table_ = std::move(table);
  machines_.clear();
  nameServer_ = 0;
  for (const auto& [id, e] : table_) {
    if (!(e.Flags & kPlayerSystem) || e.IsGroup || id == systemPlayer_) continue;
    machines_[id] = Machine{now_, now_, 0};
    if (e.Flags & kPlayerNameServer) nameServer_ = id;
  }
  if (nameServer_ == 0) {
    if (const auto m = MachineAt(joining_.NameServer)) nameServer_ = *m;
  }
  desc_ = reply.Desc;
  sessionName_ = reply.Name.value_or(joining_.Name);
  password_ = joinPassword_;
  inSession_ = true;
  lost_ = false;
  phase_ = JoinPhase::Joined;
  Log("joined the session with " + std::to_string(machines_.size()) + " other machine(s)");
}

TableEntry Peer::EntryFromPacked(const PackedPlayer& p, const Ip& source, bool isGroup) const {
  TableEntry e;
  e.Id = p.PlayerId;
  e.Flags = p.Flags & ~kPlayerLocal;
  e.IsGroup = isGroup;
  e.ShortName = p.ShortName.value_or(u"");
  e.LongName = p.LongName.value_or(u"");
  e.SystemPlayerId = p.SystemPlayerId;
  e.Version = p.PlayerVersion;
  e.Members = p.PlayerIds;
  if (p.ProviderData.size() == 32) {
    const ProviderAddresses a = ProviderAddresses::Decode(p.ProviderData);
    e.Stream = FromSockAddr(a.Stream, source);
    e.Datagram = FromSockAddr(a.Datagram, source);
  }
  return e;
}

void Peer::AddEntry(TableEntry entry) {
  const uint32_t id = entry.Id;
  const bool machine = (entry.Flags & kPlayerSystem) && !entry.IsGroup && id != systemPlayer_;
  table_[id] = std::move(entry);
  if (machine) machines_[id] = Machine{now_, now_, 0};
}

void Peer::OnCreate(const Origin& from, Bytes body) {
  if (!inSession_) return;
  const PlayerCreation create = PlayerCreation::Decode(body);
  if (table_.count(create.PlayerId) || table_.size() >= kMaxTableEntries) return;
  // Players and groups belong to a machine we know; anything else is not part of this session. Only
  // that machine (or the name server) speaks for it.
  if (!machines_.count(create.Player.SystemPlayerId)) return;
  if (!Admit(from, {create.Player.SystemPlayerId, nameServer_}, "the creation of " + Hex(create.PlayerId)))
    return;
  TableEntry entry = EntryFromPacked(create.Player, from.Source, create.Command == kCreateGroup);
  entry.Id = create.PlayerId;
  entry.Flags &= ~(kPlayerSystem | kPlayerNameServer);
  AddEntry(std::move(entry));
}

void Peer::OnGroupChange(const Origin& from, Bytes body) {
  if (!inSession_) return;
  const PlayerGroupChange change = PlayerGroupChange::Decode(body);
  const auto group = table_.find(change.GroupId);
  // A machine changes what it owns; the name server may change anything (it deletes the players of
  // machines that stopped answering), and it alone deletes ours.
  const std::string what = (change.Command == kDeletePlayer  ? "DELETEPLAYER "
                            : change.Command == kDeleteGroup ? "DELETEGROUP "
                                                             : "a group change for ") +
                           Hex(change.Command == kDeleteGroup ? change.GroupId : change.PlayerId);
  const uint32_t playerOwner = OwnerOf(change.PlayerId), groupOwner = OwnerOf(change.GroupId);
  switch (change.Command) {
    case kDeletePlayer:
      if (const auto it = table_.find(change.PlayerId); it != table_.end() && !it->second.IsGroup) {
        if (!Admit(from, {playerOwner, nameServer_}, what)) break;
        if (it->second.Flags & kPlayerSystem) {
          MachineGone(change.PlayerId, "left the session");
        } else {
          RemovePlayer(change.PlayerId);
        }
      }
      break;
    case kDeleteGroup:
      if (group != table_.end() && group->second.IsGroup && Admit(from, {groupOwner, nameServer_}, what)) {
        table_.erase(group);
      }
      break;
    case kAddPlayerToGroup:
      if (group != table_.end() && group->second.IsGroup && table_.count(change.PlayerId) &&
          Admit(from, {groupOwner, playerOwner, nameServer_}, what)) {
        auto& members = group->second.Members;
        if (std::find(members.begin(), members.end(), change.PlayerId) == members.end() &&
            members.size() < kMaxTableEntries) {
          members.push_back(change.PlayerId);
        }
      }
      break;
    case kDeletePlayerFromGroup:
      if (group != table_.end() && group->second.IsGroup &&
          Admit(from, {groupOwner, playerOwner, nameServer_}, what)) {
        auto& members = group->second.Members;
        members.erase(std::remove(members.begin(), members.end(), change.PlayerId), members.end());
      }
      break;
    default:
      break;
  }
}

void Peer::OnPing(const Ip& source, const Header& head, Bytes body) {
  const Ping ping = Ping::Decode(body);
  if (ping.Command == kPingReply || !inSession_) return;  // a reply only proves the machine is there
  const auto machine = machines_.find(ping.IdFrom);
  if (machine == machines_.end()) {
    // A machine we do not know pings us: as name server tell it it is not in the session.
    if (IsNameServer())
      transport_.SendStream(StreamOf(source, head), Framed(EncodeYouAreDead(config_.Dialect)));
    return;
  }
  HeardFrom(ping.IdFrom);
  Ping reply = ping;
  reply.Command = kPingReply;
  reply.Version = config_.Dialect;
  if (const auto m = table_.find(ping.IdFrom); m != table_.end()) {
    transport_.SendDatagram(m->second.Datagram, Framed(reply.Encode()));
  }
}

void Peer::OnIAmNameServer(const Origin& from, Bytes body) {
  if (!inSession_) return;
  const IAmNameServer m = IAmNameServer::Decode(body);
  const auto host = table_.find(m.IdHost);
  if (host == table_.end() || !(host->second.Flags & kPlayerSystem) || host->second.IsGroup) return;
  // A machine of the session claims the name server's role for itself only.
  if (!Admit(from, {m.IdHost}, "IAMNAMESERVER for " + Hex(m.IdHost))) return;
  if (IsNameServer()) {
    if (m.IdHost > systemPlayer_) {
      SendTo(m.IdHost, EncodeYouAreDead(config_.Dialect));
      return;
    }
    transport_.ListenForEnumerations(false);  // the older machine wins
  } else if (const auto current = machines_.find(nameServer_);
             current != machines_.end() && nameServer_ != m.IdHost && current->second.Missed < 2) {
    // The role moves only when its holder leaves: while the name server we know still answers (it left
    // no more than our last ping unanswered), a claim is not taken (it would let any machine remove the
    // others). It is remembered, for the holder's departure may reach us after the claim of the machine
    // that noticed it first.
    claimedNameServer_ = m.IdHost;
    Log("ignored IAMNAMESERVER for " + Hex(m.IdHost) + " from " + IpText(from.Source) + ": machine " +
        Hex(nameServer_) + " is the name server and still answers");
    return;
  }
  AcceptNameServer(m.IdHost);
}

void Peer::AcceptNameServer(uint32_t id) {
  for (auto& [other, e] : table_) e.Flags &= ~kPlayerNameServer;
  TableEntry& host = table_[id];
  host.Flags |= kPlayerNameServer;
  nameServer_ = id;
  nameServerStream_ = host.Stream;
  awaitingNameServer_ = false;
  claimedNameServer_ = 0;
  Log("machine " + Hex(id) + " is the new name server");
}

// ---------------------------------------------------------------------------------------------------
// Machines leaving, host migration

void Peer::RemovePlayer(uint32_t id) {
  const auto it = table_.find(id);
  if (it == table_.end()) return;
  const bool local = it->second.Local;
  // Names of players that left are kept while some of their messages still wait to be received.
  std::erase_if(departed_, [&](const auto& d) {
    return std::none_of(queue_.begin(), queue_.end(),
                        [&](const PlayerMessageIn& m) { return m.From == d.first; });
  });
  if (!local && !it->second.IsGroup && !(it->second.Flags & kPlayerSystem))
    departed_[id] = it->second.ShortName;
  table_.erase(it);
  for (auto& [gid, e] : table_) {
    if (e.IsGroup) e.Members.erase(std::remove(e.Members.begin(), e.Members.end(), id), e.Members.end());
  }
  if (local) LoseSession("another machine deleted this machine's player");
}

void Peer::MachineGone(uint32_t systemPlayer, const std::string& why) {
  if (systemPlayer == systemPlayer_) {
    LoseSession("another machine deleted this machine from the session");
    return;
  }
  std::vector<uint32_t> owned;
  for (const auto& [id, e] : table_) {
    if (e.SystemPlayerId == systemPlayer && id != systemPlayer) owned.push_back(id);
  }
  for (uint32_t id : owned) RemovePlayer(id);
  RemovePlayer(systemPlayer);
  machines_.erase(systemPlayer);
  for (PendingJoin& join : pendingJoins_) join.Waiting.erase(systemPlayer);
  Log("machine " + Hex(systemPlayer) + " " + why);
  if (!inSession_) return;
  if (IsNameServer()) {
    // Tell the others, who may not have noticed (a machine that stopped answering pings).
    for (uint32_t id : owned) {
      PlayerGroupChange del{kDeletePlayer, config_.Dialect, 0, id, 0, 0, 0};
      SendToAllMachines(del.Encode());
    }
    PlayerGroupChange del{kDeletePlayer, config_.Dialect, 0, systemPlayer, 0, 0, 0};
    SendToAllMachines(del.Encode());
    for (size_t i = pendingJoins_.size(); i-- > 0;) {
      if (pendingJoins_[i].Waiting.empty()) {
        FinishJoin(pendingJoins_[i]);
        pendingJoins_.erase(pendingJoins_.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  if (systemPlayer == nameServer_) ElectNameServer();
}

void Peer::ElectNameServer() {
  nameServer_ = 0;
  if (!(desc_.Flags & kSessionMigrateHostFlag)) {
    LoseSession("the host left a session without host migration");
    return;
  }
  uint32_t lowest = systemPlayer_;
  for (const auto& [id, m] : machines_) lowest = std::min(lowest, id);
  if (lowest == systemPlayer_) {
    BecomeNameServer();
  } else if (claimedNameServer_ == lowest) {
    AcceptNameServer(lowest);  // its claim came before the old name server's departure
  } else {
    awaitingNameServer_ = true;
    Log("waiting for machine " + Hex(lowest) + " to take over as name server");
  }
}

void Peer::BecomeNameServer() {
  for (auto& [id, e] : table_) e.Flags &= ~kPlayerNameServer;
  table_[systemPlayer_].Flags |= kPlayerNameServer;
  nameServer_ = systemPlayer_;
  awaitingNameServer_ = false;
  idKey_ = desc_.Reserved1;
  for (const auto& [id, e] : table_) idsEverUsed_.insert(id);
  if (!transport_.ListenForEnumerations(true)) {
    Log("the enumeration port is taken: new machines cannot find the session here");
  }
  IAmNameServer m;
  m.Version = config_.Dialect;
  m.IdHost = systemPlayer_;
  m.Flags = kNameServerSystemFlags;
  m.ProviderData = OurAddresses().Encode();
  for (uint32_t other : OtherMachines()) {
    m.IdTo = other;
    SendTo(other, m.Encode());
  }
  Log("this machine is now the session's name server");
}

void Peer::LoseSession(const std::string& why) {
  if (!inSession_) return;
  if (IsNameServer()) transport_.ListenForEnumerations(false);
  inSession_ = false;
  lost_ = true;
  lostReason_ = why;
  machines_.clear();
  pendingJoins_.clear();
  Log("session lost: " + why);
}

// ---------------------------------------------------------------------------------------------------
// Time

void Peer::Tick(int64_t nowMs) {
  now_ = std::max(now_, nowMs);
  if (!inSession_) return;
  for (size_t i = pendingJoins_.size(); i-- > 0;) {
    if (pendingJoins_[i].Deadline <= now_) {
      FinishJoin(pendingJoins_[i]);
      pendingJoins_.erase(pendingJoins_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  if (!(desc_.Flags & kSessionKeepAliveFlag) || config_.PingIntervalMs <= 0) return;
  std::vector<uint32_t> gone;
  for (auto& [id, m] : machines_) {
    if (now_ - std::max(m.LastHeard, m.LastPing) < config_.PingIntervalMs) continue;
    if (m.Missed >= config_.MissedPingsLimit) {
      gone.push_back(id);
      continue;
    }
    Ping ping{kPing, config_.Dialect, systemPlayer_, static_cast<uint32_t>(now_)};
    if (const auto e = table_.find(id); e != table_.end()) {
      transport_.SendDatagram(e->second.Datagram, Framed(ping.Encode()));
    }
    m.LastPing = now_;
    ++m.Missed;
  }
  for (uint32_t id : gone) {
    if (inSession_) MachineGone(id, "stopped answering pings");
  }
}

// ---------------------------------------------------------------------------------------------------
// The application's requests

void Peer::Enumerate(const std::optional<Ip>& host, uint16_t port, uint32_t flags,
                     const std::u16string& password) {
  EnumSessionsRequest request;
  request.Version = config_.Dialect;
  request.Flags = flags;
  if (!password.empty()) request.Password = password;
  std::vector<uint8_t> datagram = Framed(request.Encode());
  if (host) {
    transport_.SendDatagram(Address{*host, port}, std::move(datagram));
  } else {
    transport_.BroadcastDatagram(port, std::move(datagram));
  }
}

void Peer::StartJoin(const FoundSession& session, const std::u16string& password) {
  if (inSession_) throw std::logic_error("already in a session");
  if (session.Desc.Flags & kUnsupportedSessionFlags) {
    phase_ = JoinPhase::Failed;
    joinError_ = 0;
    Log("the session needs a DirectPlay service this peer does not offer (flags " + Hex(session.Desc.Flags) +
        ")");
    return;
  }
  joining_ = session;
  joinPassword_ = password;
  joinError_ = 0;
  lost_ = false;
  earlyForwards_.clear();
  table_.clear();
  machines_.clear();
  queue_.clear();
  queuedBytes_ = 0;
  claimedNameServer_ = 0;
  nameServerStream_ = session.NameServer;
  RequestPlayerId request{config_.Dialect, kPlayerSystem | kPlayerLocal};
  transport_.SendStream(nameServerStream_, Framed(request.Encode()));
  phase_ = JoinPhase::WaitingForId;
}

void Peer::FailJoin(const std::string& why) {
  if (phase_ == JoinPhase::WaitingForId || phase_ == JoinPhase::WaitingForNameTable) {
    phase_ = JoinPhase::Failed;
    Log("join failed: " + why);
  }
}

void Peer::Host(const std::u16string& name, const std::u16string& password, uint32_t maxPlayers,
                uint32_t flags, const Guid& application) {
  if (inSession_) throw std::logic_error("already in a session");
  // A session nobody can find is no use: the enumeration port comes first.
  if (!transport_.ListenForEnumerations(true)) {
    throw PeerError("cannot answer session searches: the enumeration port is taken");
  }
  desc_ = SessionDesc{};
  for (size_t i = 0; i < 16; i += 8) {
    const uint64_t r = NextRandom(random_);
    for (size_t k = 0; k < 8; ++k) desc_.Instance.Bytes[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  desc_.Instance.Bytes[7] = static_cast<uint8_t>((desc_.Instance.Bytes[7] & 0x0F) | 0x40);  // version 4
  desc_.Instance.Bytes[8] = static_cast<uint8_t>((desc_.Instance.Bytes[8] & 0x3F) | 0x80);
  desc_.Application = application;
  desc_.MaxPlayers = maxPlayers;
  desc_.Flags = password.empty() ? (flags & ~kSessionPasswordFlag) : (flags | kSessionPasswordFlag);
  idKey_ = config_.IdKey ? *config_.IdKey : static_cast<uint32_t>(NextRandom(random_));
  desc_.Reserved1 = idKey_;
  sessionName_ = name;
  password_ = password;
  table_.clear();
  machines_.clear();
  queue_.clear();
  queuedBytes_ = 0;
  idsEverUsed_.clear();
  handedOut_.clear();
  uniqueness_ = 0;
  systemPlayer_ = AllocateId();
  TableEntry self;
  self.Id = systemPlayer_;
  self.Flags = kNameServerSystemFlags;
  self.SystemPlayerId = systemPlayer_;
  self.Version = config_.Dialect;
  self.Local = true;
  self.Stream = Address{kAnyIp, config_.StreamPort};
  self.Datagram = Address{kAnyIp, config_.DatagramPort};
  table_[systemPlayer_] = std::move(self);
  nameServer_ = systemPlayer_;
  inSession_ = true;
  lost_ = false;
  phase_ = JoinPhase::Joined;
}

uint32_t Peer::AllocateId() {
  // Slots of players that left are free again; the uniqueness count keeps the id new. A slot whose
  // every id was used gives way to the next free one.
  std::set<uint32_t> inUse;
  for (const auto& [id, e] : table_) inUse.insert((id ^ idKey_) & 0xFFFF);
  for (uint32_t slot = 0; slot <= 0xFFFF; ++slot) {
    if (inUse.count(slot)) continue;
    for (uint32_t tries = 0; tries <= 0xFFFF; ++tries) {
      uniqueness_ = (uniqueness_ + 1) & 0xFFFF;
      const uint32_t id = ((uniqueness_ << 16) | slot) ^ idKey_;
      if (id == 0 || idsEverUsed_.count(id)) continue;
      idsEverUsed_.insert(id);
      // Ids handed out and never used are forgotten beyond a bound: a machine that asks for ids without
      // end must not make the set grow, and every id search longer, for the rest of the session.
      handedOut_.push_back(id);
      while (handedOut_.size() > kMaxUnusedIds) {
        if (!table_.count(handedOut_.front())) idsEverUsed_.erase(handedOut_.front());
        handedOut_.pop_front();
      }
      return id;
    }
  }
  throw PeerError("no player id is left");
}

void Peer::RequestId(uint32_t flags) {
  if (!inSession_) throw std::logic_error("not in a session");
  if (IsNameServer()) {
    const bool full = desc_.MaxPlayers != 0 && NonSystemPlayers() >= desc_.MaxPlayers;
    if (flags != 0 && full) {
      idReplies_.push_back(IdReply{0, kErrorNoNewPlayers});
    } else {
      idReplies_.push_back(IdReply{AllocateId(), 0});
    }
    return;
  }
  RequestPlayerId request{config_.Dialect, flags};
  transport_.SendStream(nameServerStream_, Framed(request.Encode()));
}

std::optional<std::u16string> Peer::DepartedName(uint32_t id) const {
  const auto it = departed_.find(id);
  if (it == departed_.end()) return std::nullopt;
  for (const PlayerMessageIn& m : queue_) {
    if (m.From == id) return it->second;
  }
  return std::nullopt;
}

std::optional<Peer::IdReply> Peer::TakeIdReply() {
  if (idReplies_.empty()) return std::nullopt;
  IdReply r = idReplies_.front();
  idReplies_.pop_front();
  return r;
}

void Peer::CreateLocalPlayer(uint32_t id, const std::u16string& shortName, const std::u16string& longName) {
  TableEntry e;
  e.Id = id;
  e.Flags = 0;
  e.Local = true;
  e.ShortName = shortName;
  e.LongName = longName;
  e.SystemPlayerId = systemPlayer_;
  e.Version = config_.Dialect;
  table_[id] = e;
  PlayerCreation create;
  create.Command = kCreatePlayer;
  create.Version = config_.Dialect;
  create.PlayerId = id;
  create.Player.Flags = kPlayerLocal;
  create.Player.PlayerId = id;
  create.Player.ShortName = shortName;
  create.Player.LongName = longName;
  create.Player.ProviderData = OurAddresses().Encode();
  create.Player.SystemPlayerId = systemPlayer_;
  create.Player.PlayerVersion = config_.Dialect;
  SendToAllMachines(create.Encode());
}

void Peer::CreateLocalGroup(uint32_t id, const std::u16string& name) {
  TableEntry e;
  e.Id = id;
  e.IsGroup = true;
  e.Local = true;
  e.ShortName = name;
  e.SystemPlayerId = systemPlayer_;
  table_[id] = e;
  PlayerCreation create;
  create.Command = kCreateGroup;
  create.Version = config_.Dialect;
  create.PlayerId = id;
  create.Player.Flags = kPlayerLocal;
  create.Player.PlayerId = id;
  create.Player.ShortName = name;
  create.Player.SystemPlayerId = systemPlayer_;
  create.Player.PlayerVersion = config_.Dialect;
  SendToAllMachines(create.Encode());
}

void Peer::DestroyLocalPlayer(uint32_t id) {
  const auto it = table_.find(id);
  if (it == table_.end() || !it->second.Local || id == systemPlayer_) throw PeerError("not a local player");
  table_.erase(it);
  for (auto& [gid, e] : table_) {
    if (e.IsGroup) e.Members.erase(std::remove(e.Members.begin(), e.Members.end(), id), e.Members.end());
  }
  std::erase_if(queue_, [&](const PlayerMessageIn& m) {
    if (m.To != id) return false;
    queuedBytes_ -= m.Payload.size();
    return true;
  });
  PlayerGroupChange del{kDeletePlayer, config_.Dialect, 0, id, 0, 0, 0};
  SendToAllMachines(del.Encode());
}

void Peer::AddPlayerToGroup(uint32_t group, uint32_t player) {
  const auto g = table_.find(group);
  if (g == table_.end() || !g->second.IsGroup || !table_.count(player)) {
    throw PeerError("unknown group or player");
  }
  auto& members = g->second.Members;
  if (std::find(members.begin(), members.end(), player) == members.end()) members.push_back(player);
  PlayerGroupChange add{kAddPlayerToGroup, config_.Dialect, 0, player, group, 0, 0};
  SendToAllMachines(add.Encode());
}

void Peer::Leave() {
  if (inSession_) {
    for (const auto& [id, e] : table_) {
      if (e.Local && !e.IsGroup && id != systemPlayer_) {
        PlayerGroupChange del{kDeletePlayer, config_.Dialect, 0, id, 0, 0, 0};
        SendToAllMachines(del.Encode());
      }
    }
    PlayerGroupChange del{kDeletePlayer, config_.Dialect, 0, systemPlayer_, 0, 0, 0};
    SendToAllMachines(del.Encode());
    if (IsNameServer()) transport_.ListenForEnumerations(false);
  }
  inSession_ = false;
  phase_ = JoinPhase::Idle;
  table_.clear();
  machines_.clear();
  pendingJoins_.clear();
  queue_.clear();
  queuedBytes_ = 0;
  systemPlayer_ = 0;
  nameServer_ = 0;
  claimedNameServer_ = 0;
}

void Peer::SendPlayerMessage(uint32_t from, uint32_t to, bool guaranteed, Bytes payload) {
  const auto target = table_.find(to);
  if (to != 0 && target == table_.end()) throw PeerError("unknown addressee");
  std::set<uint32_t> machines;
  if (to == 0) {
    for (const auto& [id, m] : machines_) machines.insert(id);
  } else if (target->second.IsGroup) {
    for (uint32_t member : target->second.Members) {
      const auto m = table_.find(member);
      if (m != table_.end() && machines_.count(m->second.SystemPlayerId))
        machines.insert(m->second.SystemPlayerId);
    }
  } else if (machines_.count(target->second.SystemPlayerId)) {
    machines.insert(target->second.SystemPlayerId);
  }
  const std::vector<uint8_t> body =
      PlayerMessage{from, to, std::vector<uint8_t>(payload.begin(), payload.end())}.Encode();
  for (uint32_t machine : machines) {
    const auto it = table_.find(machine);
    if (it == table_.end()) continue;
    const TableEntry& m = it->second;
    if (guaranteed) {
      transport_.SendStream(m.Stream, Framed(body));
    } else {
      transport_.SendDatagram(m.Datagram, body);
    }
  }
  Deliver(from, to, payload);
}

SessionDesc Peer::CurrentDesc() const {
  SessionDesc d = desc_;
  d.CurrentPlayers = NonSystemPlayers();
  return d;
}

bool Peer::PasswordMatches(const std::u16string& password) const {
  return password == password_;
}

SuperEnumPlayersReply Peer::NameTable() const {
  SuperEnumPlayersReply reply;
  reply.Version = config_.Dialect;
  reply.Desc = CurrentDesc();
  reply.Name = sessionName_;
  if (!password_.empty()) reply.Password = password_;
  for (const auto& [id, e] : table_) {
    SuperPackedPlayer p;
    p.Id = id;
    if (!e.ShortName.empty()) p.ShortName = e.ShortName;
    if (!e.LongName.empty()) p.LongName = e.LongName;
    if (e.IsGroup) {
      p.VersionOrSystemPlayerId = e.SystemPlayerId;
      p.PlayerIds = e.Members;
      reply.Groups.push_back(std::move(p));
    } else if (e.Flags & kPlayerSystem) {
      p.Flags = (e.Flags & (kPlayerSystem | kPlayerNameServer)) | kPlayerInGroup;
      p.VersionOrSystemPlayerId = e.Version;
      const Address stream = e.Local ? Address{kAnyIp, config_.StreamPort} : e.Stream;
      const Address datagram = e.Local ? Address{kAnyIp, config_.DatagramPort} : e.Datagram;
      p.ProviderData = ProviderAddresses{ToSockAddr(stream), ToSockAddr(datagram)}.Encode();
      reply.Players.push_back(std::move(p));
    } else {
      p.Flags = e.Flags & kPlayerInGroup;
      p.VersionOrSystemPlayerId = e.SystemPlayerId;
      reply.Players.push_back(std::move(p));
    }
  }
  return reply;
}

}  // namespace skyvox::dplay4
