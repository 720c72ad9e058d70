// DirectPlay 4 wire codec for the Winsock TCP/IP service provider: the 20-byte provider header, the
// "play" envelope and the system messages a peer of a session exchanges, plus the header-less
// application (player-to-player) message. Pure byte work: no sockets, no clocks.
//
// A "body" is everything after the 20-byte provider header; for system messages it starts with the
// "play" signature, and every offset field inside a message counts from that signature. Each message
// struct's Encode returns its body; Frame prepends the provider header. Decode takes a body and throws
// FormatError (or its subclass ReadPastEnd) for anything that does not have the promised shape; it never
// reads outside the given bytes and never allocates more than the input could describe.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace skyvox::dplay4 {

using Bytes = std::span<const uint8_t>;

// Message size is a 20-bit field that includes the provider header.
inline constexpr uint32_t kMaxMessageSize = 0xFFFFF;
inline constexpr size_t kHeaderSize = 20;
inline constexpr size_t kEnvelopeSize = 8;
// Tokens in the top 12 bits of the size word.
inline constexpr uint16_t kTokenRemote = 0xFAB;     // what we send
inline constexpr uint16_t kTokenForwarded = 0xCAB;  // relayed by the enumeration helper
inline constexpr uint16_t kTokenServer = 0xBAB;
// Protocol dialect we speak by default (no CREATEPLAYERVERIFY duties below 13).
inline constexpr uint16_t kDefaultVersion = 11;
inline constexpr uint32_t kSessionDescSize = 80;

// Command ids of the "play" envelope.
enum Command : uint16_t {
  kEnumSessionsReply = 0x01,
  kEnumSessions = 0x02,
  kRequestPlayerId = 0x05,
  kRequestPlayerReply = 0x07,
  kCreatePlayer = 0x08,
  kCreateGroup = 0x09,
  kDeletePlayer = 0x0B,
  kDeleteGroup = 0x0C,
  kAddPlayerToGroup = 0x0D,
  kDeletePlayerFromGroup = 0x0E,
  kPlayerDataChanged = 0x0F,
  kPlayerNameChanged = 0x10,
  kAddForwardRequest = 0x13,
  kPing = 0x16,
  kPingReply = 0x17,
  kYouAreDead = 0x18,
  kPlayerWrapper = 0x19,
  kSessionDescChanged = 0x1A,
  kAddForwardReply = 0x24,
  kSuperEnumPlayersReply = 0x29,
  kAddForward = 0x2E,
  kAddForwardAck = 0x2F,
  kIAmNameServer = 0x35,
  kCreatePlayerVerify = 0x38,
};

// Player flags (PACKEDPLAYER, SUPERPACKEDPLAYER, REQUESTPLAYERID).
inline constexpr uint32_t kPlayerSystem = 0x1;
inline constexpr uint32_t kPlayerNameServer = 0x2;
inline constexpr uint32_t kPlayerInGroup = 0x4;
inline constexpr uint32_t kPlayerLocal = 0x8;

// A Windows GUID in its 16 wire bytes (Data1 little-endian dword, Data2/Data3 little-endian words,
// Data4 as is).
struct Guid {
  std::array<uint8_t, 16> Bytes{};

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, fields in Windows order.
  std::string ToText() const;
  // Accepts the same form (either case, braces required); anything else throws FormatError.
  static Guid FromText(std::string_view text);
  bool IsNull() const;
  bool operator==(const Guid&) const = default;
};

// SOCKADDR_IN as the provider sends it: family little-endian, port and address in network order.
struct SockAddr {
  uint16_t Family = 2;
  uint16_t Port = 0;                 // host value (2300 travels as 08 FC)
  std::array<uint8_t, 4> Address{};  // a.b.c.d as Address[0..3]; 0.0.0.0 = "the sender's IP"
  std::array<uint8_t, 8> Zero{};     // kept so that a decoded address re-encodes unchanged

  bool operator==(const SockAddr&) const = default;
};

// The provider header.
struct Header {
  uint32_t Size = 0;  // whole message including these 20 bytes
  uint16_t Token = kTokenRemote;
  SockAddr Sender;

  // Reads the first 20 bytes of a message. Size < 20 or an unknown token throws FormatError. Does not
  // check that the message is complete: the stream reader uses Size to know how much to wait for.
  static Header Decode(Bytes bytes);
};

// Header (size = 20 + body) followed by the body. A message over kMaxMessageSize throws FormatError.
std::vector<uint8_t> Frame(const SockAddr& sender, Bytes body, uint16_t token = kTokenRemote);
// Splits one complete message: its header, and the body it announces (trailing bytes beyond Size are
// not part of it). A message shorter than its Size throws ReadPastEnd.
struct Framed {
  Header Head;
  Bytes Body;
};
Framed Unframe(Bytes message);

struct Envelope {
  uint16_t Command = 0;
  uint16_t Version = kDefaultVersion;
};
// True when the body starts with "play" (a system message rather than application data).
bool IsSystemMessage(Bytes body);
// The envelope of a system message body; no "play" signature throws FormatError.
Envelope DecodeEnvelope(Bytes body);

// DPSESSIONDESC2, 80 bytes.
struct SessionDesc {
  uint32_t Size = kSessionDescSize;
  uint32_t Flags = 0;
  Guid Instance;
  Guid Application;
  uint32_t MaxPlayers = 0;
  uint32_t CurrentPlayers = 0;
  uint32_t SessionNamePointer = 0;  // meaningless pointer values a Windows host leaves behind
  uint32_t PasswordPointer = 0;
  uint32_t Reserved1 = 0;  // the host's id scrambling key; opaque to peers
  uint32_t Reserved2 = 0;
  std::array<uint32_t, 4> User{};

  bool operator==(const SessionDesc&) const = default;
};

// Two SOCKADDR_INs (stream, datagram): the provider data of every player on the TCP/IP provider.
struct ProviderAddresses {
  SockAddr Stream;
  SockAddr Datagram;

  std::vector<uint8_t> Encode() const;
  // Exactly 32 bytes, else FormatError.
  static ProviderAddresses Decode(Bytes data);
};

// DPLAYI_PACKEDPLAYER. Names are absent when nullopt (length 0 on the wire).
struct PackedPlayer {
  uint32_t Flags = 0;
  uint32_t PlayerId = 0;
  std::optional<std::u16string> ShortName;
  std::optional<std::u16string> LongName;
  std::vector<uint8_t> ProviderData;
  std::vector<uint8_t> PlayerData;
  uint32_t SystemPlayerId = 0;
  uint32_t PlayerVersion = kDefaultVersion;
  uint32_t ParentId = 0;
  std::vector<uint32_t> PlayerIds;  // group members

  void Encode(std::vector<uint8_t>& out) const;
  // Reads one structure at the reader's position, walking by the individual lengths.
  static PackedPlayer Decode(Bytes body, size_t& position);
  bool operator==(const PackedPlayer&) const = default;
};

// DPLAYI_SUPERPACKEDPLAYER. Each optional field is present on the wire exactly when it has a value;
// Encode picks the narrowest length code that fits (what Windows sends).
struct SuperPackedPlayer {
  uint32_t Flags = 0;
  uint32_t Id = 0;
  uint32_t VersionOrSystemPlayerId = 0;
  std::optional<std::u16string> ShortName;
  std::optional<std::u16string> LongName;
  std::optional<std::vector<uint8_t>> PlayerData;
  std::optional<std::vector<uint8_t>> ProviderData;
  std::optional<std::vector<uint32_t>> PlayerIds;
  std::optional<uint32_t> ParentId;
  std::optional<std::vector<uint32_t>> ShortcutIds;

  void Encode(std::vector<uint8_t>& out) const;
  static SuperPackedPlayer Decode(Bytes body, size_t& position);
  bool operator==(const SuperPackedPlayer&) const = default;
};

struct EnumSessionsRequest {
  uint16_t Version = kDefaultVersion;
  Guid Application;  // null = every application
  std::optional<std::u16string> Password;
  uint32_t Flags = 0;  // enumeration flags: 0x1 available, 0x2 all, 0x40 password sessions too

  std::vector<uint8_t> Encode() const;
  static EnumSessionsRequest Decode(Bytes body);
  bool operator==(const EnumSessionsRequest&) const = default;
};

struct EnumSessionsReply {
  uint16_t Version = kDefaultVersion;
  SessionDesc Desc;
  std::optional<std::u16string> Name;

  std::vector<uint8_t> Encode() const;
  static EnumSessionsReply Decode(Bytes body);
  bool operator==(const EnumSessionsReply&) const = default;
};

struct RequestPlayerId {
  uint16_t Version = kDefaultVersion;
  uint32_t Flags = 0;  // 0x9 for a machine's system player, 0x8 for an ordinary player

  std::vector<uint8_t> Encode() const;
  static RequestPlayerId Decode(Bytes body);
  bool operator==(const RequestPlayerId&) const = default;
};

struct RequestPlayerReply {
  uint16_t Version = kDefaultVersion;
  uint32_t Id = 0;
  std::array<uint32_t, 6> SecurityDesc{};  // DPSECURITYDESC; zero outside secure sessions
  std::optional<std::u16string> SspiProvider;
  std::optional<std::u16string> CapiProvider;
  uint32_t Result = 0;  // 0, or an HRESULT such as 0x8877014A (no new players)

  std::vector<uint8_t> Encode() const;
  static RequestPlayerReply Decode(Bytes body);
  bool operator==(const RequestPlayerReply&) const = default;
};

// ADDFORWARDREQUEST (0x13), ADDFORWARD (0x2E), CREATEPLAYER (0x08), CREATEGROUP (0x09) and
// CREATEPLAYERVERIFY (0x38): five dwords, then a PACKEDPLAYER at CreateOffset. ADDFORWARDREQUEST adds a
// password and a tick count; the create messages end in six reserved bytes.
struct PlayerCreation {
  uint16_t Command = kCreatePlayer;
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;
  uint32_t PlayerId = 0;
  uint32_t GroupId = 0;
  PackedPlayer Player;
  std::u16string Password;  // ADDFORWARDREQUEST only; empty = none (sent as a lone terminator)
  uint32_t TickCount = 0;   // ADDFORWARDREQUEST only
  uint16_t Reserved1 = 0;   // create messages only
  uint32_t Reserved2 = 0;

  std::vector<uint8_t> Encode() const;
  // Any of the five commands; others throw FormatError.
  static PlayerCreation Decode(Bytes body);
  bool operator==(const PlayerCreation&) const = default;
};

// DELETEPLAYER, DELETEGROUP, ADDPLAYERTOGROUP, DELETEPLAYERFROMGROUP: 28 bytes.
struct PlayerGroupChange {
  uint16_t Command = kDeletePlayer;
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;
  uint32_t PlayerId = 0;
  uint32_t GroupId = 0;
  uint32_t CreateOffset = 0;
  uint32_t PasswordOffset = 0;

  std::vector<uint8_t> Encode() const;
  static PlayerGroupChange Decode(Bytes body);
  bool operator==(const PlayerGroupChange&) const = default;
};

// PING and PINGREPLY (a reply copies both fields of the ping).
struct Ping {
  uint16_t Command = kPing;
  uint16_t Version = kDefaultVersion;
  uint32_t IdFrom = 0;
  uint32_t TickCount = 0;

  std::vector<uint8_t> Encode() const;
  static Ping Decode(Bytes body);
  bool operator==(const Ping&) const = default;
};

// ADDFORWARDACK (Value = the system player the ADDFORWARD was about) and ADDFORWARDREPLY
// (Value = the error): one dword after the envelope.
struct SingleValue {
  uint16_t Command = kAddForwardAck;
  uint16_t Version = kDefaultVersion;
  uint32_t Value = 0;

  std::vector<uint8_t> Encode() const;
  static SingleValue Decode(Bytes body);
  bool operator==(const SingleValue&) const = default;
};

// YOUAREDEAD: the envelope alone.
std::vector<uint8_t> EncodeYouAreDead(uint16_t version = kDefaultVersion);

// The name table a host sends a joiner.
struct SuperEnumPlayersReply {
  uint16_t Version = kDefaultVersion;
  SessionDesc Desc;
  std::optional<std::u16string> Name;
  std::optional<std::u16string> Password;
  std::vector<SuperPackedPlayer> Players;  // system players included
  std::vector<SuperPackedPlayer> Groups;
  std::vector<SuperPackedPlayer> Shortcuts;

  std::vector<uint8_t> Encode() const;
  static SuperEnumPlayersReply Decode(Bytes body);
  bool operator==(const SuperEnumPlayersReply&) const = default;
};

struct IAmNameServer {
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;
  uint32_t IdHost = 0;
  uint32_t Flags = 0;
  std::vector<uint8_t> ProviderData;

  std::vector<uint8_t> Encode() const;
  static IAmNameServer Decode(Bytes body);
  bool operator==(const IAmNameServer&) const = default;
};

// Application data between players: idFrom, idTo, payload. Over TCP it follows a provider header;
// over UDP it is the whole datagram. (Sessions without message ids are not handled here.)
struct PlayerMessage {
  uint32_t IdFrom = 0;
  uint32_t IdTo = 0;  // 0 = all players
  std::vector<uint8_t> Payload;

  std::vector<uint8_t> Encode() const;
  // Fewer than 8 bytes throws ReadPastEnd. Telling system messages apart (IsSystemMessage) is the
  // caller's business.
  static PlayerMessage Decode(Bytes body);
  bool operator==(const PlayerMessage&) const = default;
};

// PLAYERNAMECHANGED: a player's new names. Each name is present on the wire exactly when it has a
// value (offset 0 = no name).
struct PlayerNameChanged {
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;      // zero when sent; carries nothing
  uint32_t PlayerId = 0;  // the player renamed
  std::optional<std::u16string> ShortName;
  std::optional<std::u16string> LongName;

  std::vector<uint8_t> Encode() const;
  static PlayerNameChanged Decode(Bytes body);
  bool operator==(const PlayerNameChanged&) const = default;
};

// PLAYERDATACHANGED: the whole new application data block of a player.
struct PlayerDataChanged {
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;      // zero when sent; carries nothing
  uint32_t PlayerId = 0;  // the player whose data changed
  std::vector<uint8_t> Data;

  std::vector<uint8_t> Encode() const;
  // An empty block is read without looking at its offset (there is nothing to find there).
  static PlayerDataChanged Decode(Bytes body);
  bool operator==(const PlayerDataChanged&) const = default;
};

// SESSIONDESCCHANGED: the host's new session description, name and password (offset 0 = absent).
struct SessionDescChanged {
  uint16_t Version = kDefaultVersion;
  uint32_t IdTo = 0;  // zero when sent; carries nothing
  SessionDesc Desc;
  std::optional<std::u16string> Name;
  std::optional<std::u16string> Password;

  std::vector<uint8_t> Encode() const;
  static SessionDescChanged Decode(Bytes body);
  bool operator==(const SessionDescChanged&) const = default;
};

// The player message a PLAYERWRAPPER carries: everything after its envelope, as a view into body. A
// sender wraps application data that would otherwise be taken for a system message; what is inside
// (with or without the two ids) depends on the session, so reading it is left to the caller. A body
// that is not a PLAYERWRAPPER throws FormatError.
Bytes UnwrapPlayerMessage(Bytes body);

}  // namespace skyvox::dplay4
