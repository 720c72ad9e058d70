#include "dplay4/codec.h"

#include <gtest/gtest.h>

#include <cctype>
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

// Every proper prefix of a message body must be refused with a format error, never read past it.
void ExpectEveryTruncationRejected(const std::vector<uint8_t>& body,
                                   const std::function<void(Bytes)>& decode) {
  for (size_t n = 0; n < body.size(); ++n) {
    std::vector<uint8_t> prefix(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(decode(prefix), FormatError) << "prefix of " << n << " bytes";
  }
}

TEST(Dplay4Codec, PublishedEnumSessionsRequestDecodesAndReencodes) {
  ASSERT_EQ(kEnumRequest.size(), 70u);
  const Framed f = Unframe(kEnumRequest);
  EXPECT_EQ(f.Head.Size, 70u);
  EXPECT_EQ(f.Head.Token, kTokenRemote);
  EXPECT_EQ(f.Head.Sender.Family, 2);
  EXPECT_EQ(f.Head.Sender.Port, 2300);
  EXPECT_EQ(f.Head.Sender.Address, (std::array<uint8_t, 4>{0, 0, 0, 0}));
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
  EXPECT_EQ(m.Desc.Size, 80u);
  EXPECT_EQ(m.Desc.Flags, 0x404u);
  EXPECT_EQ(m.Desc.Instance.ToText(), "{8EA0FA21-FC42-46B5-AFD3-5E1584FBBB60}");
  EXPECT_EQ(m.Desc.Application.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_EQ(m.Desc.MaxPlayers, 1000u);
  EXPECT_EQ(m.Desc.CurrentPlayers, 1u);
  EXPECT_EQ(m.Desc.Reserved1, 0x1E52A0A1u);
  EXPECT_EQ(m.Desc.Reserved2, 0u);
  EXPECT_EQ(m.Desc.User, (std::array<uint32_t, 4>{0, 2, 3, 4}));
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
  std::vector<uint8_t> m = kEnumRequest;
  m[3] = 0xCA;  // token 0xCAB: forwarded by the enumeration helper, accepted
  EXPECT_EQ(Unframe(m).Head.Token, kTokenForwarded);
  m[3] = 0x12;  // token 0x12B
  EXPECT_THROW(Unframe(m), FormatError);
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
  EXPECT_EQ(rq.Flags, 9u);
  EXPECT_EQ(rq.Version, 11);
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
  EXPECT_EQ(p.Command, kPingReply);
  EXPECT_EQ(p.IdFrom, 0xDEADBEEFu);
  EXPECT_EQ(p.TickCount, 10000u);
  EXPECT_EQ(p.Encode(), ping);

  EXPECT_EQ(EncodeYouAreDead(14), Hex("706C6179 1800 0E00"));

  const auto change = Hex("706C6179 0D00 0B00 00000000 11000000 22000000 00000000 00000000");
  const auto c = PlayerGroupChange::Decode(change);
  EXPECT_EQ(c.Command, kAddPlayerToGroup);
  EXPECT_EQ(c.PlayerId, 0x11u);
  EXPECT_EQ(c.GroupId, 0x22u);
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
  for (size_t n = 0; n < kCreatePlayerBody.size() - 6; ++n) {
    std::vector<uint8_t> prefix(kCreatePlayerBody.begin(),
                                kCreatePlayerBody.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(PlayerCreation::Decode(prefix), FormatError) << n;
  }

  auto hostile = kCreatePlayerBody;
  hostile[28 + 12] = 5;  // odd short-name length
  EXPECT_THROW(PlayerCreation::Decode(hostile), FormatError);
  hostile = kCreatePlayerBody;
  hostile[28 + 36] = 44;  // fixed size not 48
  EXPECT_THROW(PlayerCreation::Decode(hostile), FormatError);
  hostile = kCreatePlayerBody;
  hostile[28 + 28 + 3] = 0x40;  // a billion group members
  EXPECT_THROW(PlayerCreation::Decode(hostile), ReadPastEnd);
  hostile = kCreatePlayerBody;
  hostile[28 + 48 + 2] = 0;  // a null inside the short name
  EXPECT_THROW(PlayerCreation::Decode(hostile), FormatError);
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

  auto hostile = kSuperEnumBody;
  hostile[8 + 3] = 0xFF;  // 4 billion players announced
  EXPECT_THROW(SuperEnumPlayersReply::Decode(hostile), ReadPastEnd);
  hostile = kSuperEnumBody;
  hostile[28] = 8;  // name offset inside the fixed fields
  EXPECT_THROW(SuperEnumPlayersReply::Decode(hostile), FormatError);
}

TEST(Dplay4Codec, PlayerMessageIsIdsThenPayload) {
  const auto body = Hex("05000000 00000000 1810000001000000");
  const auto m = PlayerMessage::Decode(body);
  EXPECT_EQ(m.IdFrom, 5u);
  EXPECT_EQ(m.IdTo, 0u);
  EXPECT_EQ(m.Payload, Hex("1810000001000000"));
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

// PLAYERNAMECHANGED for player 5: short name "AI" at 24, long name "P" at 30.
const std::vector<uint8_t> kNameChangedBody =
    Hex("706C6179 1000 0E00"  // envelope: command 0x10, version 14
        "00000000"            // IDTo
        "05000000"            // PlayerID
        "18000000"            // ShortOffset 24
        "1E000000"            // LongOffset 30
        "4100 4900 0000"      // "AI"
        "5000 0000");         // "P"

TEST(Dplay4Codec, PlayerNameChangedReadsBothNamesByOffset) {
  const auto m = PlayerNameChanged::Decode(kNameChangedBody);
  EXPECT_EQ(m.Version, 14);
  EXPECT_EQ(m.IdTo, 0u);
  EXPECT_EQ(m.PlayerId, 5u);
  EXPECT_EQ(Utf16ToUtf8(m.ShortName.value()), "AI");
  EXPECT_EQ(Utf16ToUtf8(m.LongName.value()), "P");
  EXPECT_EQ(m.Encode(), kNameChangedBody);
  ExpectEveryTruncationRejected(kNameChangedBody, [](Bytes b) { PlayerNameChanged::Decode(b); });

  // Short name cleared: its offset is 0 and the long name moves up to 24.
  const auto longOnly = Hex("706C6179 1000 0B00 00000000 07000000 00000000 18000000 5000 0000");
  const auto l = PlayerNameChanged::Decode(longOnly);
  EXPECT_FALSE(l.ShortName);
  EXPECT_EQ(l.LongName, u"P");
  EXPECT_EQ(l.Encode(), longOnly);

  auto hostile = kNameChangedBody;
  hostile[16] = 12;  // short name offset inside the fixed fields
  EXPECT_THROW(PlayerNameChanged::Decode(hostile), FormatError);
  hostile = kNameChangedBody;
  hostile[20] = 0x40;  // long name offset past the end
  EXPECT_THROW(PlayerNameChanged::Decode(hostile), ReadPastEnd);
  EXPECT_THROW(PlayerNameChanged::Decode(kCreatePlayerBody), FormatError);  // another command
}

// PLAYERDATACHANGED for player 5 with three bytes of data at 24.
const std::vector<uint8_t> kDataChangedBody =
    Hex("706C6179 0F00 0B00"  // envelope: command 0x0F, version 11
        "00000000"            // IDTo
        "05000000"            // PlayerID
        "03000000"            // DataSize
        "18000000"            // DataOffset 24
        "AABBCC");            // PlayerData

TEST(Dplay4Codec, PlayerDataChangedTakesTheBlockItsSizeAndOffsetDescribe) {
  const auto m = PlayerDataChanged::Decode(kDataChangedBody);
  EXPECT_EQ(m.Version, 11);
  EXPECT_EQ(m.PlayerId, 5u);
  EXPECT_EQ(m.Data, Hex("AABBCC"));
  EXPECT_EQ(m.Encode(), kDataChangedBody);
  ExpectEveryTruncationRejected(kDataChangedBody, [](Bytes b) { PlayerDataChanged::Decode(b); });

  // The block is found by its offset, not by adjacency; bytes after it are not part of it.
  const auto m2 =
      PlayerDataChanged::Decode(Hex("706C6179 0F00 0B00 00000000 05000000 02000000 1A000000 EEEE 1122 33"));
  EXPECT_EQ(m2.Data, Hex("1122"));
  // Empty data: nothing to read, whatever the offset says.
  EXPECT_TRUE(
      PlayerDataChanged::Decode(Hex("706C6179 0F00 0B00 00000000 05000000 00000000 00000000")).Data.empty());

  auto hostile = kDataChangedBody;
  hostile[19] = 0xFF;  // a 4 GB block announced
  EXPECT_THROW(PlayerDataChanged::Decode(hostile), ReadPastEnd);
  hostile = kDataChangedBody;
  hostile[20] = 16;  // data offset inside the fixed fields
  EXPECT_THROW(PlayerDataChanged::Decode(hostile), FormatError);
  hostile = kDataChangedBody;
  hostile[20] = 26;  // block runs one byte past the end
  EXPECT_THROW(PlayerDataChanged::Decode(hostile), ReadPastEnd);
}

// SESSIONDESCCHANGED: the session now password protected (flags 0x444), name "X" at 100, "pw" at 104.
const std::vector<uint8_t> kDescChangedBody =
    Hex("706C6179 1A00 0E00"  // envelope: command 0x1A, version 14
        "00000000"            // IDTo
        "64000000"            // SessionNameOffset 100
        "68000000"            // PasswordOffset 104
        // DPSESSIONDESC2: size 80, flags, instance and application GUIDs, max 8, current 3, two pointer
        // placeholders, Reserved1 (the id key), Reserved2, four application dwords
        "50000000 44040000 21FAA08E42FCB546AFD35E1584FBBB60" +
        kAppGuidWire +
        "08000000 03000000 00000000 00000000 A1A0521E 00000000 01000000 00000000 00000000 00000000"
        "5800 0000"         // "X"
        "7000 7700 0000");  // "pw"

TEST(Dplay4Codec, SessionDescChangedCarriesDescriptionNameAndPassword) {
  ASSERT_EQ(kDescChangedBody.size(), 110u);
  const auto m = SessionDescChanged::Decode(kDescChangedBody);
  EXPECT_EQ(m.Version, 14);
  EXPECT_EQ(m.IdTo, 0u);
  EXPECT_EQ(m.Desc.Size, 80u);
  EXPECT_EQ(m.Desc.Flags, 0x444u);
  EXPECT_EQ(m.Desc.Instance.ToText(), "{8EA0FA21-FC42-46B5-AFD3-5E1584FBBB60}");
  EXPECT_EQ(m.Desc.Application.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_EQ(m.Desc.MaxPlayers, 8u);
  EXPECT_EQ(m.Desc.CurrentPlayers, 3u);
  EXPECT_EQ(m.Desc.Reserved1, 0x1E52A0A1u);
  EXPECT_EQ(m.Desc.User, (std::array<uint32_t, 4>{1, 0, 0, 0}));
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

  auto hostile = kDescChangedBody;
  hostile[12] = 96;  // name offset inside the description
  EXPECT_THROW(SessionDescChanged::Decode(hostile), FormatError);
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
