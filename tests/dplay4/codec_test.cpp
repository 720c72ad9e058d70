#include "dplay4/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"

namespace skyvox::dplay4 {
namespace {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> out;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Sender address of both published examples: family 2, port 2300, 0.0.0.0.
const std::string kExampleAddr = "02 00 08 FC 00000000 0000000000000000";
// The published examples print GUIDs in wire byte order.
const std::string kAppGuidWire = "A052A50B FFE0 CF11 9C4E 00A0C905425E";

// The enumeration request example: 70 bytes, password "Password", flags 2, version 14.
const std::vector<uint8_t> kEnumRequest =
    Hex("4600B0FA" + kExampleAddr + "706C6179 0200 0E00" + kAppGuidWire +
        "20000000 02000000 5000 6100 7300 7300 7700 6F00 7200 6400 0000");

// The enumeration reply example: 128 bytes, session "LOTHAIR".
const std::vector<uint8_t> kEnumReply =
    Hex("8000B0FA" + kExampleAddr + "706C6179 0100 0E00" +
        "50000000 04040000 21FAA08E42FCB546AFD35E1584FBBB60" + kAppGuidWire +
        "E8030000 01000000 00000000 00000000 A1A0521E 00000000 00000000 02000000 03000000 04000000"
        "5C000000 4C004F0054004800410049005200 0000");

// Every prefix of a message body shorter than `end` (by default every proper prefix) must be refused
// with a format error, never read past.
void ExpectEveryTruncationRejected(const std::vector<uint8_t>& body, const std::function<void(Bytes)>& decode,
                                   size_t end = SIZE_MAX) {
  for (size_t n = 0; n < std::min(end, body.size()); ++n) {
    std::vector<uint8_t> prefix(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(decode(prefix), FormatError) << "prefix of " << n << " bytes";
  }
}

// The body with one byte replaced: a hostile length, offset, count or token.
std::vector<uint8_t> With(std::vector<uint8_t> body, size_t at, uint8_t value) {
  body[at] = value;
  return body;
}

// The session description of the enumeration reply example, which the SESSIONDESCCHANGED case reuses.
void ExpectExampleDesc(const SessionDesc& d, uint32_t flags, uint32_t maxPlayers, uint32_t currentPlayers,
                       std::array<uint32_t, 4> user) {
  EXPECT_EQ(d.Size, 80u);
  EXPECT_EQ(d.Flags, flags);
  EXPECT_EQ(d.Instance.ToText(), "{8EA0FA21-FC42-46B5-AFD3-5E1584FBBB60}");
  EXPECT_EQ(d.Application.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_EQ(d.MaxPlayers, maxPlayers);
  EXPECT_EQ(d.CurrentPlayers, currentPlayers);
  EXPECT_EQ(d.Reserved1, 0x1E52A0A1u);
  EXPECT_EQ(d.Reserved2, 0u);
  EXPECT_EQ(d.User, user);
}

TEST(Dplay4Codec, PublishedEnumSessionsRequestDecodesAndReencodes) {
  ASSERT_EQ(kEnumRequest.size(), 70u);
  const Framed f = Unframe(kEnumRequest);
  EXPECT_EQ(f.Head.Size, 70u);
  EXPECT_EQ(f.Head.Token, kTokenRemote);
  EXPECT_EQ(f.Head.Sender, (SockAddr{2, 2300, {0, 0, 0, 0}}));
  EXPECT_TRUE(IsSystemMessage(f.Body));
  EXPECT_EQ(DecodeEnvelope(f.Body).Command, kEnumSessions);

  const auto m = EnumSessionsRequest::Decode(f.Body);
  EXPECT_EQ(m.Version, 14);
  EXPECT_EQ(m.Application.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_EQ(m.Flags, 2u);
  ASSERT_TRUE(m.Password.has_value());
  EXPECT_EQ(Utf16ToUtf8(*m.Password), "Password");

  EXPECT_EQ(Frame(f.Head.Sender, m.Encode()), kEnumRequest);
  ExpectEveryTruncationRejected(m.Encode(), [](Bytes b) { EnumSessionsRequest::Decode(b); });
}

TEST(Dplay4Codec, PublishedEnumSessionsReplyDecodesAndReencodes) {
  ASSERT_EQ(kEnumReply.size(), 128u);
  const Framed f = Unframe(kEnumReply);
  const auto m = EnumSessionsReply::Decode(f.Body);
  EXPECT_EQ(m.Version, 14);
  ExpectExampleDesc(m.Desc, 0x404, 1000, 1, {0, 2, 3, 4});
  ASSERT_TRUE(m.Name.has_value());
  EXPECT_EQ(Utf16ToUtf8(*m.Name), "LOTHAIR");

  EXPECT_EQ(Frame(f.Head.Sender, m.Encode()), kEnumReply);
  ExpectEveryTruncationRejected(m.Encode(), [](Bytes b) { EnumSessionsReply::Decode(b); });
}

TEST(Dplay4Codec, GuidTextRoundTripsAndRejectsMalformedText) {
  const Guid g = Guid::FromText("{0ba552a0-e0ff-11cf-9c4e-00a0c905425e}");
  const std::array<uint8_t, 16> wire = {0xA0, 0x52, 0xA5, 0x0B, 0xFF, 0xE0, 0xCF, 0x11,
                                        0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};
  EXPECT_EQ(g.Bytes, wire);
  EXPECT_EQ(g.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_TRUE(Guid{}.IsNull());
  for (const char* bad :
       {"", "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E", "{0BA552A0-E0FF-11CF-9C4E00A0C905425E0}",
        "{0BA552A0-E0FF-11CF-9C4E-00A0C905425G}", "0BA552A0-E0FF-11CF-9C4E-00A0C905425E12"}) {
    EXPECT_THROW(Guid::FromText(bad), FormatError) << bad;
  }
}

TEST(Dplay4Codec, HeaderRejectsBadTokensShortSizesAndIncompleteMessages) {
  // Token 0xCAB, forwarded by the enumeration helper, is accepted; 0x12B is not.
  EXPECT_EQ(Unframe(With(kEnumRequest, 3, 0xCA)).Head.Token, kTokenForwarded);
  EXPECT_THROW(Unframe(With(kEnumRequest, 3, 0x12)), FormatError);
  EXPECT_THROW(Unframe(Hex("1300B0FA" + kExampleAddr)), FormatError);  // size 19
  EXPECT_THROW(Unframe(std::vector<uint8_t>(kEnumRequest.begin(), kEnumRequest.end() - 1)), ReadPastEnd);
  EXPECT_THROW(Unframe(std::vector<uint8_t>(kEnumRequest.begin(), kEnumRequest.begin() + 19)), ReadPastEnd);
  // Trailing bytes of the next message on the stream are not part of this one.
  std::vector<uint8_t> two = kEnumRequest;
  two.insert(two.end(), kEnumReply.begin(), kEnumReply.end());
  EXPECT_EQ(Unframe(two).Body.size(), 50u);
  EXPECT_THROW(Frame(SockAddr{}, std::vector<uint8_t>(kMaxMessageSize - 19)), FormatError);
}

TEST(Dplay4Codec, JoinHandshakeMessagesMatchHandBuiltBytes) {
  const auto request = Hex("706C6179 0500 0B00 09000000");
  const auto rq = RequestPlayerId::Decode(request);
  EXPECT_EQ(rq, (RequestPlayerId{.Version = 11, .Flags = 9}));
  EXPECT_EQ(rq.Encode(), request);

  const auto reply = Hex("706C6179 0700 0E00 78563412" + std::string(48, '0') + "00000000 00000000 4A017788");
  const auto rp = RequestPlayerReply::Decode(reply);
  EXPECT_EQ(rp.Id, 0x12345678u);
  EXPECT_EQ(rp.Result, 0x8877014Au);
  EXPECT_FALSE(rp.SspiProvider || rp.CapiProvider);
  EXPECT_EQ(rp.Encode(), reply);
  ExpectEveryTruncationRejected(reply, [](Bytes b) { RequestPlayerReply::Decode(b); });
  EXPECT_THROW(RequestPlayerId::Decode(reply), FormatError);  // wrong command

  const auto ping = Hex("706C6179 1700 0E00 EFBEADDE 10270000");
  const auto p = Ping::Decode(ping);
  EXPECT_EQ(p, (Ping{.Command = kPingReply, .Version = 14, .IdFrom = 0xDEADBEEF, .TickCount = 10000}));
  EXPECT_EQ(p.Encode(), ping);

  EXPECT_EQ(EncodeYouAreDead(14), Hex("706C6179 1800 0E00"));

  const auto change = Hex("706C6179 0D00 0B00 00000000 11000000 22000000 00000000 00000000");
  const auto c = PlayerGroupChange::Decode(change);
  EXPECT_EQ(
      c, (PlayerGroupChange{.Command = kAddPlayerToGroup, .Version = 11, .PlayerId = 0x11, .GroupId = 0x22}));
  EXPECT_EQ(c.Encode(), change);
}

// CREATEPLAYER for "AI" / "P" with the two TCP/IP provider addresses (ports 2300 and 2350).
const std::vector<uint8_t> kCreatePlayerBody = Hex(
    "706C6179 0800 0B00 00000000 05000000 00000000 1C000000 00000000"
    // PACKEDPLAYER: size 48+6+4+32+0, flags 8, id 5, lengths 6/4/32/0, 0 members, system 3, 48, v11, parent 0
    "5A000000 08000000 05000000 06000000 04000000 20000000 00000000 00000000 03000000 30000000 0B000000 "
    "00000000"
    "4100 4900 0000  5000 0000"
    "0200 08FC 00000000 0000000000000000  0200 092E 00000000 0000000000000000"
    "0000 00000000");

TEST(Dplay4Codec, CreatePlayerCarriesPackedPlayerAndAddresses) {
  const auto m = PlayerCreation::Decode(kCreatePlayerBody);
  EXPECT_EQ(m.Command, kCreatePlayer);
  EXPECT_EQ(m.PlayerId, 5u);
  EXPECT_EQ(m.Player.Flags, kPlayerLocal);
  EXPECT_EQ(m.Player.PlayerId, 5u);
  EXPECT_EQ(Utf16ToUtf8(m.Player.ShortName.value()), "AI");
  EXPECT_EQ(Utf16ToUtf8(m.Player.LongName.value()), "P");
  EXPECT_EQ(m.Player.SystemPlayerId, 3u);
  EXPECT_EQ(m.Player.PlayerVersion, 11u);
  const auto addrs = ProviderAddresses::Decode(m.Player.ProviderData);
  EXPECT_EQ(addrs.Stream.Port, 2300);
  EXPECT_EQ(addrs.Datagram.Port, 2350);
  EXPECT_EQ(m.Encode(), kCreatePlayerBody);
  // Without the reserved trailer the message still reads; any cut inside the player does not.
  ExpectEveryTruncationRejected(
      kCreatePlayerBody, [](Bytes b) { PlayerCreation::Decode(b); }, kCreatePlayerBody.size() - 6);

  // An odd short-name length, a fixed size not 48, a billion group members, a null inside the short name.
  EXPECT_THROW(PlayerCreation::Decode(With(kCreatePlayerBody, 28 + 12, 5)), FormatError);
  EXPECT_THROW(PlayerCreation::Decode(With(kCreatePlayerBody, 28 + 36, 44)), FormatError);
  EXPECT_THROW(PlayerCreation::Decode(With(kCreatePlayerBody, 28 + 28 + 3, 0x40)), ReadPastEnd);
  EXPECT_THROW(PlayerCreation::Decode(With(kCreatePlayerBody, 28 + 48 + 2, 0)), FormatError);
}

TEST(Dplay4Codec, AddForwardRequestCarriesPasswordAndTick) {
  PlayerCreation m;
  m.Command = kAddForwardRequest;
  m.PlayerId = 7;
  m.Player.Flags = kPlayerSystem | kPlayerLocal;
  m.Player.PlayerId = 7;
  m.Player.SystemPlayerId = 7;
  m.Player.ProviderData = ProviderAddresses{}.Encode();
  m.Password = u"pw";
  m.TickCount = 0x01020304;
  const auto body = m.Encode();
  // 28 fixed + 80 player + 6 password + 4 tick; password offset 108.
  ASSERT_EQ(body.size(), 118u);
  EXPECT_EQ(body[24], 108);
  EXPECT_EQ(std::vector<uint8_t>(body.end() - 10, body.end()), Hex("7000 7700 0000 04030201"));
  EXPECT_EQ(PlayerCreation::Decode(body), m);
  ExpectEveryTruncationRejected(body, [](Bytes b) { PlayerCreation::Decode(b); });
}

// Name table: host system player (version 11, SPData with 1-byte length), the station's player with
// names, a group with a 2-byte member count and a parent.
const std::string kSuperEnumHead =
    "706C6179 2900 0B00 02000000 01000000 78000000 00000000 24000000 74000000 00000000"
    "50000000 44000000" +
    std::string(64, '0') + "0A000000 02000000" + std::string(64, '0') +
    "5800 0000"
    // system player: SP|NS|PG, id 3, mask SL=1, version 11, SPData 32 bytes
    "10000000 07000000 03000000 04000000 0B000000 20" +
    std::string(64, '0') +
    // player 5: SN|LN, owner 3
    "10000000 00000000 05000000 03000000 03000000 4100 0000 5000 0000";
// group 9: SN, PC with a 2-byte count, PI
const std::vector<uint8_t> kSuperEnumBody =
    Hex(kSuperEnumHead +
        "10000000 04000000 09000000 81010000 00000000 4700 0000 0200 05000000 03000000 01000000");

TEST(Dplay4Codec, SuperEnumPlayersReplyWalksTheNameTable) {
  const auto m = SuperEnumPlayersReply::Decode(kSuperEnumBody);
  EXPECT_EQ(m.Desc.Flags, 0x44u);
  EXPECT_EQ(m.Desc.MaxPlayers, 10u);
  EXPECT_EQ(Utf16ToUtf8(m.Name.value()), "X");
  EXPECT_FALSE(m.Password);
  ASSERT_EQ(m.Players.size(), 2u);
  ASSERT_EQ(m.Groups.size(), 1u);
  EXPECT_EQ(m.Players[0].Flags, 7u);
  EXPECT_EQ(m.Players[0].VersionOrSystemPlayerId, 11u);
  EXPECT_EQ(m.Players[0].ProviderData->size(), 32u);
  EXPECT_FALSE(m.Players[0].ShortName);
  EXPECT_EQ(Utf16ToUtf8(m.Players[1].ShortName.value()), "A");
  EXPECT_EQ(Utf16ToUtf8(m.Players[1].LongName.value()), "P");
  EXPECT_EQ(m.Players[1].VersionOrSystemPlayerId, 3u);
  EXPECT_EQ(m.Groups[0].PlayerIds.value(), (std::vector<uint32_t>{5, 3}));
  EXPECT_EQ(m.Groups[0].ParentId.value(), 1u);
  // The group's 2-byte count code is wider than needed; re-encoding picks 1 byte, everything else is equal.
  EXPECT_EQ(m.Encode(),
            Hex(kSuperEnumHead +
                "10000000 04000000 09000000 41010000 00000000 4700 0000 02 05000000 03000000 01000000"));
  EXPECT_EQ(SuperEnumPlayersReply::Decode(m.Encode()), m);
  ExpectEveryTruncationRejected(kSuperEnumBody, [](Bytes b) { SuperEnumPlayersReply::Decode(b); });

  // 4 billion players announced; the name offset inside the fixed fields.
  EXPECT_THROW(SuperEnumPlayersReply::Decode(With(kSuperEnumBody, 8 + 3, 0xFF)), ReadPastEnd);
  EXPECT_THROW(SuperEnumPlayersReply::Decode(With(kSuperEnumBody, 28, 8)), FormatError);
}

TEST(Dplay4Codec, PlayerMessageIsIdsThenPayload) {
  const auto body = Hex("05000000 00000000 1810000001000000");
  const auto m = PlayerMessage::Decode(body);
  EXPECT_EQ(m, (PlayerMessage{.IdFrom = 5, .IdTo = 0, .Payload = Hex("1810000001000000")}));
  EXPECT_FALSE(IsSystemMessage(body));
  EXPECT_EQ(m.Encode(), body);
  // Over TCP the same body follows a header whose size counts it.
  EXPECT_EQ(Frame(SockAddr{}, body)[0], 36);
  ExpectEveryTruncationRejected(Hex("05000000 00000000"), [](Bytes b) { PlayerMessage::Decode(b); });
}

TEST(Dplay4Codec, Utf8ConversionKeepsNonAsciiAndReplacesBrokenInput) {
  EXPECT_EQ(Utf16ToUtf8(u"Z\u00FCrich \U0001F6EB"), "Z\xC3\xBCrich \xF0\x9F\x9B\xAB");
  EXPECT_EQ(Utf8ToUtf16("Z\xC3\xBCrich \xF0\x9F\x9B\xAB"), u"Z\u00FCrich \U0001F6EB");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"
                        "a\xE2\x82"),
            u"\uFFFDa\uFFFD");
}

// PLAYERNAMECHANGED (command 0x10, version 14, IDTo 0) for player 5: short name "AI" at 24, long name
// "P" at 30.
const std::vector<uint8_t> kNameChangedBody =
    Hex("706C6179 1000 0E00 00000000 05000000 18000000 1E000000 4100 4900 0000 5000 0000");

TEST(Dplay4Codec, PlayerNameChangedReadsBothNamesByOffset) {
  const auto m = PlayerNameChanged::Decode(kNameChangedBody);
  EXPECT_EQ(
      m, (PlayerNameChanged{.Version = 14, .IdTo = 0, .PlayerId = 5, .ShortName = u"AI", .LongName = u"P"}));
  EXPECT_EQ(m.Encode(), kNameChangedBody);
  ExpectEveryTruncationRejected(kNameChangedBody, [](Bytes b) { PlayerNameChanged::Decode(b); });

  // Short name cleared: its offset is 0 and the long name moves up to 24.
  const auto longOnly = Hex("706C6179 1000 0B00 00000000 07000000 00000000 18000000 5000 0000");
  const auto l = PlayerNameChanged::Decode(longOnly);
  EXPECT_FALSE(l.ShortName);
  EXPECT_EQ(l.LongName, u"P");
  EXPECT_EQ(l.Encode(), longOnly);

  // The short name's offset inside the fixed fields; the long name's past the end.
  EXPECT_THROW(PlayerNameChanged::Decode(With(kNameChangedBody, 16, 12)), FormatError);
  EXPECT_THROW(PlayerNameChanged::Decode(With(kNameChangedBody, 20, 0x40)), ReadPastEnd);
  EXPECT_THROW(PlayerNameChanged::Decode(kCreatePlayerBody), FormatError);  // another command
}

// PLAYERDATACHANGED (command 0x0F, version 11, IDTo 0) for player 5: three bytes of data at 24.
const std::vector<uint8_t> kDataChangedBody =
    Hex("706C6179 0F00 0B00 00000000 05000000 03000000 18000000 AABBCC");

TEST(Dplay4Codec, PlayerDataChangedTakesTheBlockItsSizeAndOffsetDescribe) {
  const auto m = PlayerDataChanged::Decode(kDataChangedBody);
  EXPECT_EQ(m, (PlayerDataChanged{.Version = 11, .IdTo = 0, .PlayerId = 5, .Data = Hex("AABBCC")}));
  EXPECT_EQ(m.Encode(), kDataChangedBody);
  ExpectEveryTruncationRejected(kDataChangedBody, [](Bytes b) { PlayerDataChanged::Decode(b); });

  // The block is found by its offset, not by adjacency; bytes after it are not part of it.
  const auto m2 =
      PlayerDataChanged::Decode(Hex("706C6179 0F00 0B00 00000000 05000000 02000000 1A000000 EEEE 1122 33"));
  EXPECT_EQ(m2.Data, Hex("1122"));
  // Empty data: nothing to read, whatever the offset says.
  EXPECT_TRUE(
      PlayerDataChanged::Decode(Hex("706C6179 0F00 0B00 00000000 05000000 00000000 00000000")).Data.empty());

  // A 4 GB block announced, the data offset inside the fixed fields, a block one byte past the end.
  EXPECT_THROW(PlayerDataChanged::Decode(With(kDataChangedBody, 19, 0xFF)), ReadPastEnd);
  EXPECT_THROW(PlayerDataChanged::Decode(With(kDataChangedBody, 20, 16)), FormatError);
  EXPECT_THROW(PlayerDataChanged::Decode(With(kDataChangedBody, 20, 26)), ReadPastEnd);
}

// SESSIONDESCCHANGED (command 0x1A, version 14, IDTo 0): the session now password protected (flags
// 0x444), name "X" at 100, "pw" at 104. The description: size 80, flags, instance and application GUIDs,
// max 8, current 3, two pointer placeholders, Reserved1 (the id key), Reserved2, four application dwords.
const std::vector<uint8_t> kDescChangedBody =
    Hex("706C6179 1A00 0E00 00000000 64000000 68000000"
        "50000000 44040000 21FAA08E42FCB546AFD35E1584FBBB60" +
        kAppGuidWire +
        "08000000 03000000 00000000 00000000 A1A0521E 00000000 01000000 00000000 00000000 00000000"
        "5800 0000 7000 7700 0000");

TEST(Dplay4Codec, SessionDescChangedCarriesDescriptionNameAndPassword) {
  ASSERT_EQ(kDescChangedBody.size(), 110u);
  const auto m = SessionDescChanged::Decode(kDescChangedBody);
  EXPECT_EQ(m.Version, 14);
  EXPECT_EQ(m.IdTo, 0u);
  ExpectExampleDesc(m.Desc, 0x444, 8, 3, {1, 0, 0, 0});
  EXPECT_EQ(m.Name, u"X");
  EXPECT_EQ(m.Password, u"pw");
  EXPECT_EQ(m.Encode(), kDescChangedBody);
  ExpectEveryTruncationRejected(kDescChangedBody, [](Bytes b) { SessionDescChanged::Decode(b); });

  // Password removed: only the name follows the description.
  SessionDescChanged open = m;
  open.Password.reset();
  const auto openBody = open.Encode();
  EXPECT_EQ(std::vector<uint8_t>(openBody.begin() + 12, openBody.begin() + 20), Hex("64000000 00000000"));
  EXPECT_EQ(SessionDescChanged::Decode(openBody), open);

  EXPECT_THROW(SessionDescChanged::Decode(With(kDescChangedBody, 12, 96)), FormatError);  // name in the desc
}

TEST(Dplay4Codec, PlayerWrapperYieldsTheMessageAfterItsEnvelope) {
  // A player message whose first four bytes read "play" (here the sender id 0x79616C70) travels
  // wrapped so that it is not taken for a system message: idFrom, idTo 0, then the payload.
  const auto inner = Hex("706C6179 00000000 1810000001000000");
  auto wrapper = Hex("706C6179 1900 0E00");
  wrapper.insert(wrapper.end(), inner.begin(), inner.end());
  const Bytes unwrapped = UnwrapPlayerMessage(wrapper);
  EXPECT_EQ(std::vector<uint8_t>(unwrapped.begin(), unwrapped.end()), inner);
  EXPECT_EQ(unwrapped.data(), wrapper.data() + 8);  // a view, not a copy
  const auto m = PlayerMessage::Decode(unwrapped);
  EXPECT_EQ(m.IdFrom, 0x79616C70u);
  EXPECT_EQ(m.Payload, Hex("1810000001000000"));

  EXPECT_TRUE(UnwrapPlayerMessage(Hex("706C6179 1900 0E00")).empty());
  EXPECT_THROW(UnwrapPlayerMessage(kDataChangedBody), FormatError);          // another command
  EXPECT_THROW(UnwrapPlayerMessage(Hex("05000000 00000000")), FormatError);  // no "play" signature
  ExpectEveryTruncationRejected(Hex("706C6179 1900 0E00"), [](Bytes b) { UnwrapPlayerMessage(b); });
}

}  // namespace
}  // namespace skyvox::dplay4
