#include "dplay4/codec.h"

#include <cstdio>
#include <initializer_list>

#include "base/byte_io.h"
#include "base/errors.h"

namespace skyvox::dplay4 {

namespace {

constexpr std::array<uint8_t, 4> kSignature = {'p', 'l', 'a', 'y'};
constexpr size_t kPackedFixedSize = 48;
constexpr size_t kSuperPackedFixedSize = 20;

[[noreturn]] void Bad(const std::string& what) {
  throw FormatError("DirectPlay message: " + what);
}

void WriteEnvelope(ByteWriter& w, uint16_t command, uint16_t version) {
  w.Bytes(std::span<const uint8_t>(kSignature));
  w.U16(command);
  w.U16(version);
}

// Reads the envelope and checks the command is one of those the caller decodes.
ByteReader OpenBody(Bytes body, std::initializer_list<uint16_t> commands, Envelope& envelope) {
  envelope = DecodeEnvelope(body);
  bool known = false;
  for (uint16_t c : commands) known = known || c == envelope.Command;
  if (!known) Bad("unexpected command " + std::to_string(envelope.Command));
  return ByteReader(body, kEnvelopeSize);
}

std::vector<uint8_t> ReadBlock(Bytes body, ByteReader& r, uint64_t count) {
  if (count > r.Remaining()) {
    throw ReadPastEnd("DirectPlay message: block of " + std::to_string(count) + " bytes at offset " +
                      std::to_string(r.Position()) + " goes past the end");
  }
  const size_t start = r.Position();
  r.Skip(static_cast<size_t>(count));
  return std::vector<uint8_t>(body.begin() + static_cast<std::ptrdiff_t>(start),
                              body.begin() + static_cast<std::ptrdiff_t>(start + count));
}

std::vector<uint32_t> ReadIds(ByteReader& r, uint64_t count) {
  if (count > r.Remaining() / 4) {
    throw ReadPastEnd("DirectPlay message: " + std::to_string(count) + " ids do not fit the message");
  }
  std::vector<uint32_t> ids;
  ids.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) ids.push_back(r.U32());
  return ids;
}

// A null-terminated UTF-16LE string at the reader's position; the terminator is consumed.
std::u16string ReadUtf16Z(ByteReader& r) {
  std::u16string text;
  for (;;) {
    const uint16_t unit = r.U16();  // throws at the end: an unterminated string is malformed
    if (unit == 0) return text;
    text.push_back(static_cast<char16_t>(unit));
  }
}

// A string at a body offset that must lie after the message's fixed fields.
std::u16string ReadUtf16ZAt(Bytes body, uint32_t offset, size_t fixedEnd) {
  if (offset < fixedEnd) Bad("string offset " + std::to_string(offset) + " points into the fixed fields");
  ByteReader r(body, offset);
  return ReadUtf16Z(r);
}

void WriteUtf16Z(ByteWriter& w, std::u16string_view text) {
  for (char16_t c : text) {
    if (c == 0) Bad("string with an embedded null cannot be sent");
    w.U16(static_cast<uint16_t>(c));
  }
  w.U16(0);
}

uint32_t Utf16ZSize(const std::optional<std::u16string>& text) {
  if (!text) return 0;
  if (text->size() > kMaxMessageSize) Bad("string too long");
  return static_cast<uint32_t>((text->size() + 1) * 2);
}

uint32_t Length32(size_t size) {
  if (size > kMaxMessageSize) Bad("field too long for a message");
  return static_cast<uint32_t>(size);
}

void WriteGuid(ByteWriter& w, const Guid& g) {
  w.Bytes(std::span<const uint8_t>(g.Bytes));
}

Guid ReadGuid(ByteReader& r) {
  Guid g;
  for (auto& b : g.Bytes) b = r.U8();
  return g;
}

void WriteSockAddr(ByteWriter& w, const SockAddr& a) {
  w.U16(a.Family);
  w.U8(static_cast<uint8_t>(a.Port >> 8));
  w.U8(static_cast<uint8_t>(a.Port & 0xFF));
  w.Bytes(std::span<const uint8_t>(a.Address));
  w.Bytes(std::span<const uint8_t>(a.Zero));
}

SockAddr ReadSockAddr(ByteReader& r) {
  SockAddr a;
  a.Family = r.U16();
  const uint8_t hi = r.U8();
  const uint8_t lo = r.U8();
  a.Port = static_cast<uint16_t>((hi << 8) | lo);
  for (auto& b : a.Address) b = r.U8();
  for (auto& b : a.Zero) b = r.U8();
  return a;
}

void WriteSessionDesc(ByteWriter& w, const SessionDesc& d) {
  w.U32(d.Size);
  w.U32(d.Flags);
  WriteGuid(w, d.Instance);
  WriteGuid(w, d.Application);
  w.U32(d.MaxPlayers);
  w.U32(d.CurrentPlayers);
  w.U32(d.SessionNamePointer);
  w.U32(d.PasswordPointer);
  w.U32(d.Reserved1);
  w.U32(d.Reserved2);
  for (uint32_t u : d.User) w.U32(u);
}

SessionDesc ReadSessionDesc(ByteReader& r) {
  SessionDesc d;
  d.Size = r.U32();
  d.Flags = r.U32();
  d.Instance = ReadGuid(r);
  d.Application = ReadGuid(r);
  d.MaxPlayers = r.U32();
  d.CurrentPlayers = r.U32();
  d.SessionNamePointer = r.U32();
  d.PasswordPointer = r.U32();
  d.Reserved1 = r.U32();
  d.Reserved2 = r.U32();
  for (auto& u : d.User) u = r.U32();
  return d;
}

std::vector<uint8_t> Take(ByteWriter& w) {
  if (w.Size() + kHeaderSize > kMaxMessageSize) Bad("message too large to send");
  return w.Take();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Length codes of SUPERPACKEDPLAYER's mask: 1, 2 or 4 bytes.
uint32_t ReadCoded(ByteReader& r, uint32_t code) {
  switch (code) {
    case 1:
      return r.U8();
    case 2:
      return r.U16();
    default:
      return r.U32();
  }
}

uint32_t CodeFor(size_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  return 3;
}

void WriteCoded(ByteWriter& w, uint32_t code, uint32_t value) {
  if (code == 1) {
    w.U8(static_cast<uint8_t>(value));
  } else if (code == 2) {
    w.U16(static_cast<uint16_t>(value));
  } else {
    w.U32(value);
  }
}

// PACKEDPLAYER name: a byte length that includes the terminator, 0 = no name.
std::optional<std::u16string> ReadCountedName(Bytes body, ByteReader& r, uint32_t length) {
  if (length == 0) return std::nullopt;
  if (length % 2 != 0) Bad("odd name length " + std::to_string(length));
  const std::vector<uint8_t> raw = ReadBlock(body, r, length);
  std::u16string text;
  for (size_t i = 0; i + 2 < raw.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(raw[i] | (raw[i + 1] << 8));
    if (unit == 0) Bad("name with an embedded null");
    text.push_back(unit);
  }
  if (raw[raw.size() - 2] != 0 || raw[raw.size() - 1] != 0) Bad("name without its terminator");
  return text;
}

}  // namespace

// ---- GUID, header, envelope ----

std::string Guid::ToText() const {
  const auto& b = Bytes;
  char text[39];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

Guid Guid::FromText(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    throw FormatError("not a GUID: \"" + std::string(text.substr(0, 60)) + "\"");
  }
  // Byte i of the wire form comes from the hex pair starting at these text positions.
  static constexpr std::array<int, 16> kPos = {7, 5, 3, 1, 12, 10, 17, 15, 20, 22, 25, 27, 29, 31, 33, 35};
  Guid g;
  for (size_t i = 0; i < 16; ++i) {
    const int hi = HexValue(text[static_cast<size_t>(kPos[i])]);
    const int lo = HexValue(text[static_cast<size_t>(kPos[i]) + 1]);
    if (hi < 0 || lo < 0) throw FormatError("not a GUID: \"" + std::string(text) + "\"");
    g.Bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return g;
}

bool Guid::IsNull() const {
  for (uint8_t b : Bytes) {
    if (b != 0) return false;
  }
  return true;
}

Header Header::Decode(Bytes bytes) {
  ByteReader r(bytes);
  const uint32_t word = r.U32();
  Header h;
  h.Size = word & kMaxMessageSize;
  h.Token = static_cast<uint16_t>(word >> 20);
  if (h.Token != kTokenRemote && h.Token != kTokenForwarded && h.Token != kTokenServer) {
    Bad("unknown token " + std::to_string(h.Token));
  }
  if (h.Size < kHeaderSize) Bad("size " + std::to_string(h.Size) + " is smaller than the header");
  h.Sender = ReadSockAddr(r);
  return h;
}

std::vector<uint8_t> Frame(const SockAddr& sender, Bytes body, uint16_t token) {
  if (body.size() > kMaxMessageSize - kHeaderSize) Bad("message too large to send");
  if (token > 0xFFF) Bad("token does not fit 12 bits");
  ByteWriter w;
  w.U32(static_cast<uint32_t>(kHeaderSize + body.size()) | (static_cast<uint32_t>(token) << 20));
  WriteSockAddr(w, sender);
  w.Bytes(body);
  return w.Take();
}

Framed Unframe(Bytes message) {
  Framed f;
  f.Head = Header::Decode(message);
  if (message.size() < f.Head.Size) {
    throw ReadPastEnd("DirectPlay message: " + std::to_string(message.size()) + " bytes of a " +
                      std::to_string(f.Head.Size) + "-byte message");
  }
  f.Body = message.subspan(kHeaderSize, f.Head.Size - kHeaderSize);
  return f;
}

bool IsSystemMessage(Bytes body) {
  return body.size() >= 4 && body[0] == kSignature[0] && body[1] == kSignature[1] &&
         body[2] == kSignature[2] && body[3] == kSignature[3];
}

Envelope DecodeEnvelope(Bytes body) {
  if (!IsSystemMessage(body)) Bad("no \"play\" signature");
  ByteReader r(body, 4);
  Envelope e;
  e.Command = r.U16();
  e.Version = r.U16();
  return e;
}

// ---- text ----

// ---- shared structures ----

std::vector<uint8_t> ProviderAddresses::Encode() const {
  ByteWriter w;
  WriteSockAddr(w, Stream);
  WriteSockAddr(w, Datagram);
  return w.Take();
}

ProviderAddresses ProviderAddresses::Decode(Bytes data) {
  if (data.size() != 32) Bad("provider data of " + std::to_string(data.size()) + " bytes, expected 32");
  ByteReader r(data);
  ProviderAddresses a;
  a.Stream = ReadSockAddr(r);
  a.Datagram = ReadSockAddr(r);
  return a;
}

void PackedPlayer::Encode(std::vector<uint8_t>& out) const {
  const uint32_t shortLength = Utf16ZSize(ShortName);
  const uint32_t longLength = Utf16ZSize(LongName);
  const uint32_t providerSize = Length32(ProviderData.size());
  const uint32_t dataSize = Length32(PlayerData.size());
  const uint32_t count = Length32(PlayerIds.size());
  ByteWriter w;
  // The size counts the fixed part and the four variable fields, not the member ids.
  w.U32(static_cast<uint32_t>(kPackedFixedSize) + shortLength + longLength + providerSize + dataSize);
  w.U32(Flags);
  w.U32(PlayerId);
  w.U32(shortLength);
  w.U32(longLength);
  w.U32(providerSize);
  w.U32(dataSize);
  w.U32(count);
  w.U32(SystemPlayerId);
  w.U32(static_cast<uint32_t>(kPackedFixedSize));
  w.U32(PlayerVersion);
  w.U32(ParentId);
  if (ShortName) WriteUtf16Z(w, *ShortName);
  if (LongName) WriteUtf16Z(w, *LongName);
  w.Bytes(std::span<const uint8_t>(ProviderData));
  w.Bytes(std::span<const uint8_t>(PlayerData));
  for (uint32_t id : PlayerIds) w.U32(id);
  out.insert(out.end(), w.Data().begin(), w.Data().end());
}

PackedPlayer PackedPlayer::Decode(Bytes body, size_t& position) {
  ByteReader r(body, position);
  PackedPlayer p;
  r.U32();  // Size: not trusted, the individual lengths are walked instead
  p.Flags = r.U32();
  p.PlayerId = r.U32();
  const uint32_t shortLength = r.U32();
  const uint32_t longLength = r.U32();
  const uint32_t providerSize = r.U32();
  const uint32_t dataSize = r.U32();
  const uint32_t count = r.U32();
  p.SystemPlayerId = r.U32();
  const uint32_t fixedSize = r.U32();
  if (fixedSize != kPackedFixedSize) Bad("player fixed size " + std::to_string(fixedSize) + ", expected 48");
  p.PlayerVersion = r.U32();
  p.ParentId = r.U32();
  p.ShortName = ReadCountedName(body, r, shortLength);
  p.LongName = ReadCountedName(body, r, longLength);
  p.ProviderData = ReadBlock(body, r, providerSize);
  p.PlayerData = ReadBlock(body, r, dataSize);
  p.PlayerIds = ReadIds(r, count);
  position = r.Position();
  return p;
}

void SuperPackedPlayer::Encode(std::vector<uint8_t>& out) const {
  uint32_t mask = 0;
  if (ShortName) mask |= 0x1;
  if (LongName) mask |= 0x2;
  if (ProviderData) mask |= CodeFor(ProviderData->size()) << 2;
  if (PlayerData) mask |= CodeFor(PlayerData->size()) << 4;
  if (PlayerIds) mask |= CodeFor(PlayerIds->size()) << 6;
  if (ParentId) mask |= 0x100;
  if (ShortcutIds) mask |= CodeFor(ShortcutIds->size()) << 9;
  ByteWriter w;
  w.U32(16);  // the fixed header without this trailing dword, as the format defines it
  w.U32(Flags);
  w.U32(Id);
  w.U32(mask);
  w.U32(VersionOrSystemPlayerId);
  if (ShortName) WriteUtf16Z(w, *ShortName);
  if (LongName) WriteUtf16Z(w, *LongName);
  // Player data precedes provider data although its mask bits come second.
  if (PlayerData) {
    WriteCoded(w, (mask >> 4) & 3, Length32(PlayerData->size()));
    w.Bytes(std::span<const uint8_t>(*PlayerData));
  }
  if (ProviderData) {
    WriteCoded(w, (mask >> 2) & 3, Length32(ProviderData->size()));
    w.Bytes(std::span<const uint8_t>(*ProviderData));
  }
  if (PlayerIds) {
    WriteCoded(w, (mask >> 6) & 3, Length32(PlayerIds->size()));
    for (uint32_t id : *PlayerIds) w.U32(id);
  }
  if (ParentId) w.U32(*ParentId);
  if (ShortcutIds) {
    WriteCoded(w, (mask >> 9) & 3, Length32(ShortcutIds->size()));
    for (uint32_t id : *ShortcutIds) w.U32(id);
  }
  out.insert(out.end(), w.Data().begin(), w.Data().end());
}

SuperPackedPlayer SuperPackedPlayer::Decode(Bytes body, size_t& position) {
  ByteReader r(body, position);
  SuperPackedPlayer p;
  r.U32();  // Size: always 16, carries nothing
  p.Flags = r.U32();
  p.Id = r.U32();
  const uint32_t mask = r.U32();
  p.VersionOrSystemPlayerId = r.U32();
  if (mask & 0x1) p.ShortName = ReadUtf16Z(r);
  if (mask & 0x2) p.LongName = ReadUtf16Z(r);
  if (const uint32_t code = (mask >> 4) & 3) p.PlayerData = ReadBlock(body, r, ReadCoded(r, code));
  if (const uint32_t code = (mask >> 2) & 3) p.ProviderData = ReadBlock(body, r, ReadCoded(r, code));
  if (const uint32_t code = (mask >> 6) & 3) p.PlayerIds = ReadIds(r, ReadCoded(r, code));
  if (mask & 0x100) p.ParentId = r.U32();
  if (const uint32_t code = (mask >> 9) & 3) p.ShortcutIds = ReadIds(r, ReadCoded(r, code));
  position = r.Position();
  return p;
}

// ---- messages ----

std::vector<uint8_t> EnumSessionsRequest::Encode() const {
  ByteWriter w;
  WriteEnvelope(w, kEnumSessions, Version);
  WriteGuid(w, Application);
  w.U32(Password ? 32 : 0);
  w.U32(Flags);
  if (Password) WriteUtf16Z(w, *Password);
  return Take(w);
}

EnumSessionsRequest EnumSessionsRequest::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kEnumSessions}, e);
  EnumSessionsRequest m;
  m.Version = e.Version;
  m.Application = ReadGuid(r);
  const uint32_t passwordOffset = r.U32();
  m.Flags = r.U32();
  if (passwordOffset != 0) m.Password = ReadUtf16ZAt(body, passwordOffset, 32);
  return m;
}

std::vector<uint8_t> EnumSessionsReply::Encode() const {
  ByteWriter w;
  WriteEnvelope(w, kEnumSessionsReply, Version);
  WriteSessionDesc(w, Desc);
  w.U32(Name ? 92 : 0);
  if (Name) WriteUtf16Z(w, *Name);
  return Take(w);
}

EnumSessionsReply EnumSessionsReply::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kEnumSessionsReply}, e);
  EnumSessionsReply m;
  m.Version = e.Version;
  m.Desc = ReadSessionDesc(r);
  const uint32_t nameOffset = r.U32();
  if (nameOffset != 0) m.Name = ReadUtf16ZAt(body, nameOffset, 92);
  return m;
}

std::vector<uint8_t> RequestPlayerId::Encode() const {
  ByteWriter w;
  WriteEnvelope(w, kRequestPlayerId, Version);
  w.U32(Flags);
  return Take(w);
}

RequestPlayerId RequestPlayerId::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kRequestPlayerId}, e);
  RequestPlayerId m;
  m.Version = e.Version;
  m.Flags = r.U32();
  return m;
}

std::vector<uint8_t> RequestPlayerReply::Encode() const {
  ByteWriter w;
  WriteEnvelope(w, kRequestPlayerReply, Version);
  w.U32(Id);
  for (uint32_t v : SecurityDesc) w.U32(v);
  const uint32_t sspiOffset = SspiProvider ? 48 : 0;
  const uint32_t capiOffset = CapiProvider ? 48 + Utf16ZSize(SspiProvider) : 0;
  w.U32(sspiOffset);
  w.U32(capiOffset);
  w.U32(Result);
  if (SspiProvider) WriteUtf16Z(w, *SspiProvider);
  if (CapiProvider) WriteUtf16Z(w, *CapiProvider);
  return Take(w);
}

RequestPlayerReply RequestPlayerReply::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kRequestPlayerReply}, e);
  RequestPlayerReply m;
  m.Version = e.Version;
  m.Id = r.U32();
  for (auto& v : m.SecurityDesc) v = r.U32();
  const uint32_t sspiOffset = r.U32();
  const uint32_t capiOffset = r.U32();
  m.Result = r.U32();
  if (sspiOffset != 0) m.SspiProvider = ReadUtf16ZAt(body, sspiOffset, 48);
  if (capiOffset != 0) m.CapiProvider = ReadUtf16ZAt(body, capiOffset, 48);
  return m;
}

std::vector<uint8_t> PlayerCreation::Encode() const {
  if (Command != kAddForwardRequest && Command != kAddForward && Command != kCreatePlayer &&
      Command != kCreateGroup && Command != kCreatePlayerVerify) {
    Bad("command " + std::to_string(Command) + " does not carry a player");
  }
  std::vector<uint8_t> packed;
  Player.Encode(packed);
  ByteWriter w;
  WriteEnvelope(w, Command, Version);
  w.U32(IdTo);
  w.U32(PlayerId);
  w.U32(GroupId);
  w.U32(28);
  w.U32(Command == kAddForwardRequest ? Length32(28 + packed.size()) : 0);
  w.Bytes(std::span<const uint8_t>(packed));
  if (Command == kAddForwardRequest) {
    WriteUtf16Z(w, Password);
    w.U32(TickCount);
  } else if (Command != kAddForward) {
    w.U16(Reserved1);
    w.U32(Reserved2);
  }
  return Take(w);
}

PlayerCreation PlayerCreation::Decode(Bytes body) {
  Envelope e;
  ByteReader r =
      OpenBody(body, {kAddForwardRequest, kAddForward, kCreatePlayer, kCreateGroup, kCreatePlayerVerify}, e);
  PlayerCreation m;
  m.Command = e.Command;
  m.Version = e.Version;
  m.IdTo = r.U32();
  m.PlayerId = r.U32();
  m.GroupId = r.U32();
  const uint32_t createOffset = r.U32();
  const uint32_t passwordOffset = r.U32();
  if (createOffset < 28)
    Bad("player offset " + std::to_string(createOffset) + " points into the fixed fields");
  size_t position = createOffset;
  if (position > body.size()) throw ReadPastEnd("DirectPlay message: player offset past the end");
  m.Player = PackedPlayer::Decode(body, position);
  if (m.Command == kAddForwardRequest) {
    ByteReader tail(body, position);
    if (passwordOffset != 0) {
      if (passwordOffset < 28) Bad("password offset points into the fixed fields");
      tail.Seek(passwordOffset);
      m.Password = ReadUtf16Z(tail);
    }
    m.TickCount = tail.U32();
  } else if (m.Command != kAddForward) {
    // The six reserved bytes are zero and carry nothing; a sender that leaves them out loses nothing.
    ByteReader tail(body, position);
    if (tail.Remaining() >= 6) {
      m.Reserved1 = tail.U16();
      m.Reserved2 = tail.U32();
    }
  }
  return m;
}

std::vector<uint8_t> PlayerGroupChange::Encode() const {
  if (Command != kDeletePlayer && Command != kDeleteGroup && Command != kAddPlayerToGroup &&
      Command != kDeletePlayerFromGroup) {
    Bad("command " + std::to_string(Command) + " is not a player or group change");
  }
  ByteWriter w;
  WriteEnvelope(w, Command, Version);
  w.U32(IdTo);
  w.U32(PlayerId);
  w.U32(GroupId);
  w.U32(CreateOffset);
  w.U32(PasswordOffset);
  return Take(w);
}

PlayerGroupChange PlayerGroupChange::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kDeletePlayer, kDeleteGroup, kAddPlayerToGroup, kDeletePlayerFromGroup}, e);
  PlayerGroupChange m;
  m.Command = e.Command;
  m.Version = e.Version;
  m.IdTo = r.U32();
  m.PlayerId = r.U32();
  m.GroupId = r.U32();
  m.CreateOffset = r.U32();
  m.PasswordOffset = r.U32();
  return m;
}

std::vector<uint8_t> Ping::Encode() const {
  if (Command != kPing && Command != kPingReply) Bad("command " + std::to_string(Command) + " is not a ping");
  ByteWriter w;
  WriteEnvelope(w, Command, Version);
  w.U32(IdFrom);
  w.U32(TickCount);
  return Take(w);
}

Ping Ping::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kPing, kPingReply}, e);
  Ping m;
  m.Command = e.Command;
  m.Version = e.Version;
  m.IdFrom = r.U32();
  m.TickCount = r.U32();
  return m;
}

std::vector<uint8_t> SingleValue::Encode() const {
  if (Command != kAddForwardAck && Command != kAddForwardReply) {
    Bad("command " + std::to_string(Command) + " is not an add-forward answer");
  }
  ByteWriter w;
  WriteEnvelope(w, Command, Version);
  w.U32(Value);
  return Take(w);
}

SingleValue SingleValue::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kAddForwardAck, kAddForwardReply}, e);
  SingleValue m;
  m.Command = e.Command;
  m.Version = e.Version;
  m.Value = r.U32();
  return m;
}

std::vector<uint8_t> EncodeYouAreDead(uint16_t version) {
  ByteWriter w;
  WriteEnvelope(w, kYouAreDead, version);
  return w.Take();
}

std::vector<uint8_t> SuperEnumPlayersReply::Encode() const {
  constexpr uint32_t kDescOffset = 36;
  constexpr uint32_t kNameOffset = kDescOffset + kSessionDescSize;
  const uint32_t passwordOffset = Password ? kNameOffset + Utf16ZSize(Name) : 0;
  const uint32_t packedOffset = kNameOffset + Utf16ZSize(Name) + Utf16ZSize(Password);
  ByteWriter w;
  WriteEnvelope(w, kSuperEnumPlayersReply, Version);
  w.U32(Length32(Players.size()));
  w.U32(Length32(Groups.size()));
  w.U32(packedOffset);
  w.U32(Length32(Shortcuts.size()));
  w.U32(kDescOffset);
  w.U32(Name ? kNameOffset : 0);
  w.U32(passwordOffset);
  WriteSessionDesc(w, Desc);
  if (Name) WriteUtf16Z(w, *Name);
  if (Password) WriteUtf16Z(w, *Password);
  std::vector<uint8_t> packed;
  for (const auto* list : {&Players, &Groups, &Shortcuts}) {
    for (const auto& p : *list) {
      p.Encode(packed);
      if (packed.size() > kMaxMessageSize) Bad("name table too large to send");
    }
  }
  w.Bytes(std::span<const uint8_t>(packed));
  return Take(w);
}

SuperEnumPlayersReply SuperEnumPlayersReply::Decode(Bytes body) {
  constexpr size_t kFixedEnd = 36;
  Envelope e;
  ByteReader r = OpenBody(body, {kSuperEnumPlayersReply}, e);
  SuperEnumPlayersReply m;
  m.Version = e.Version;
  const uint32_t playerCount = r.U32();
  const uint32_t groupCount = r.U32();
  const uint32_t packedOffset = r.U32();
  const uint32_t shortcutCount = r.U32();
  const uint32_t descOffset = r.U32();
  const uint32_t nameOffset = r.U32();
  const uint32_t passwordOffset = r.U32();
  if (descOffset < kFixedEnd) Bad("session description offset points into the fixed fields");
  ByteReader desc(body, descOffset);
  m.Desc = ReadSessionDesc(desc);
  if (nameOffset != 0) m.Name = ReadUtf16ZAt(body, nameOffset, kFixedEnd);
  if (passwordOffset != 0) m.Password = ReadUtf16ZAt(body, passwordOffset, kFixedEnd);
  const uint64_t total = uint64_t{playerCount} + groupCount + shortcutCount;
  if (total == 0) return m;
  if (packedOffset < kFixedEnd) Bad("name table offset points into the fixed fields");
  if (packedOffset > body.size() || total > (body.size() - packedOffset) / kSuperPackedFixedSize) {
    throw ReadPastEnd("DirectPlay message: " + std::to_string(total) + " name table entries do not fit");
  }
  size_t position = packedOffset;
  for (auto [list, count] : {std::pair{&m.Players, playerCount}, std::pair{&m.Groups, groupCount},
                             std::pair{&m.Shortcuts, shortcutCount}}) {
    list->reserve(count);
    for (uint32_t i = 0; i < count; ++i) list->push_back(SuperPackedPlayer::Decode(body, position));
  }
  return m;
}

std::vector<uint8_t> IAmNameServer::Encode() const {
  ByteWriter w;
  WriteEnvelope(w, kIAmNameServer, Version);
  w.U32(IdTo);
  w.U32(IdHost);
  w.U32(Flags);
  w.U32(Length32(ProviderData.size()));
  w.Bytes(std::span<const uint8_t>(ProviderData));
  return Take(w);
}

IAmNameServer IAmNameServer::Decode(Bytes body) {
  Envelope e;
  ByteReader r = OpenBody(body, {kIAmNameServer}, e);
  IAmNameServer m;
  m.Version = e.Version;
  m.IdTo = r.U32();
  m.IdHost = r.U32();
  m.Flags = r.U32();
  m.ProviderData = ReadBlock(body, r, r.U32());
  return m;
}

std::vector<uint8_t> PlayerMessage::Encode() const {
  ByteWriter w;
  w.U32(IdFrom);
  w.U32(IdTo);
  w.Bytes(std::span<const uint8_t>(Payload));
  return Take(w);
}

PlayerMessage PlayerMessage::Decode(Bytes body) {
  ByteReader r(body);
  PlayerMessage m;
  m.IdFrom = r.U32();
  m.IdTo = r.U32();
  m.Payload.assign(body.begin() + 8, body.end());
  return m;
}

std::vector<uint8_t> PlayerNameChanged::Encode() const {
  constexpr uint32_t kNamesOffset = 24;
  ByteWriter w;
  WriteEnvelope(w, kPlayerNameChanged, Version);
  w.U32(IdTo);
  w.U32(PlayerId);
  w.U32(ShortName ? kNamesOffset : 0);
  w.U32(LongName ? kNamesOffset + Utf16ZSize(ShortName) : 0);
  if (ShortName) WriteUtf16Z(w, *ShortName);
  if (LongName) WriteUtf16Z(w, *LongName);
  return Take(w);
}

PlayerNameChanged PlayerNameChanged::Decode(Bytes body) {
  constexpr size_t kFixedEnd = 24;
  Envelope e;
  ByteReader r = OpenBody(body, {kPlayerNameChanged}, e);
  PlayerNameChanged m;
  m.Version = e.Version;
  m.IdTo = r.U32();
  m.PlayerId = r.U32();
  const uint32_t shortOffset = r.U32();
  const uint32_t longOffset = r.U32();
  if (shortOffset != 0) m.ShortName = ReadUtf16ZAt(body, shortOffset, kFixedEnd);
  if (longOffset != 0) m.LongName = ReadUtf16ZAt(body, longOffset, kFixedEnd);
  return m;
}

std::vector<uint8_t> PlayerDataChanged::Encode() const {
  constexpr uint32_t kDataOffset = 24;
  ByteWriter w;
  WriteEnvelope(w, kPlayerDataChanged, Version);
  w.U32(IdTo);
  w.U32(PlayerId);
  w.U32(Length32(Data.size()));
  w.U32(kDataOffset);
  w.Bytes(std::span<const uint8_t>(Data));
  return Take(w);
}

PlayerDataChanged PlayerDataChanged::Decode(Bytes body) {
  constexpr size_t kFixedEnd = 24;
  Envelope e;
  ByteReader r = OpenBody(body, {kPlayerDataChanged}, e);
  PlayerDataChanged m;
  m.Version = e.Version;
  m.IdTo = r.U32();
  m.PlayerId = r.U32();
  const uint32_t dataSize = r.U32();
  const uint32_t dataOffset = r.U32();
  if (dataSize != 0) {
    if (dataOffset < kFixedEnd)
      Bad("player data offset " + std::to_string(dataOffset) + " points into the fixed fields");
    ByteReader data(body, dataOffset);
    m.Data = ReadBlock(body, data, dataSize);
  }
  return m;
}

std::vector<uint8_t> SessionDescChanged::Encode() const {
  constexpr uint32_t kNameOffset = 20 + kSessionDescSize;
  ByteWriter w;
  WriteEnvelope(w, kSessionDescChanged, Version);
  w.U32(IdTo);
  w.U32(Name ? kNameOffset : 0);
  w.U32(Password ? kNameOffset + Utf16ZSize(Name) : 0);
  WriteSessionDesc(w, Desc);
  if (Name) WriteUtf16Z(w, *Name);
  if (Password) WriteUtf16Z(w, *Password);
  return Take(w);
}

SessionDescChanged SessionDescChanged::Decode(Bytes body) {
  constexpr size_t kFixedEnd = 20 + kSessionDescSize;
  Envelope e;
  ByteReader r = OpenBody(body, {kSessionDescChanged}, e);
  SessionDescChanged m;
  m.Version = e.Version;
  m.IdTo = r.U32();
  const uint32_t nameOffset = r.U32();
  const uint32_t passwordOffset = r.U32();
  m.Desc = ReadSessionDesc(r);
  if (nameOffset != 0) m.Name = ReadUtf16ZAt(body, nameOffset, kFixedEnd);
  if (passwordOffset != 0) m.Password = ReadUtf16ZAt(body, passwordOffset, kFixedEnd);
  return m;
}

Bytes UnwrapPlayerMessage(Bytes body) {
  Envelope e;
  OpenBody(body, {kPlayerWrapper}, e);
  return body.subspan(kEnvelopeSize);
}

}  // namespace skyvox::dplay4
