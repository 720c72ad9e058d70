#include "dplay4/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/vectors.h"

namespace skyvox::dplay4 {
namespace {

// The byte examples and the cases about them, in tests/data/vectors/dplay4_codec.txt.
const testing::Vectors& Examples() {
  static const testing::Vectors vectors("dplay4_codec.txt", {{"bytes", "wx"},
                                                             {"round-trip", "ww"},
                                                             {"reencoded", "www"},
                                                             {"truncated", "wwiw"},
                                                             {"refused", "wwww"},
                                                             {"guid-refused", "w"}});
  return vectors;
}

// The bytes named NAME, or by A+B those of A followed by those of B.
std::vector<uint8_t> Example(const std::string& name) {
  if (const size_t plus = name.find('+'); plus != std::string::npos) {
    std::vector<uint8_t> bytes = Example(name.substr(0, plus));
    const std::vector<uint8_t> tail = Example(name.substr(plus + 1));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  }
  for (const auto& v : Examples()["bytes"])
    if (v.W(0) == name) return v.X(1);
  throw std::runtime_error("no bytes named " + name);
}

// Each codec decodes its bytes and gives what it would send back.
template <typename Message>
std::vector<uint8_t> Reencode(Bytes b) {
  return Message::Decode(b).Encode();
}

const std::map<std::string, std::function<std::vector<uint8_t>(Bytes)>> kCodecs = {
    {"unframe",
     [](Bytes b) {
       const Framed f = Unframe(b);
       return Frame(f.Head.Sender, f.Body, f.Head.Token);
     }},
    {"unwrap-player-message",
     [](Bytes b) {
       const Bytes inner = UnwrapPlayerMessage(b);
       return std::vector<uint8_t>(inner.begin(), inner.end());
     }},
    {"enum-sessions-request", Reencode<EnumSessionsRequest>},
    {"enum-sessions-reply", Reencode<EnumSessionsReply>},
    {"request-player-id", Reencode<RequestPlayerId>},
    {"request-player-reply", Reencode<RequestPlayerReply>},
    {"ping", Reencode<Ping>},
    {"player-group-change", Reencode<PlayerGroupChange>},
    {"player-creation", Reencode<PlayerCreation>},
    {"super-enum-players-reply", Reencode<SuperEnumPlayersReply>},
    {"player-message", Reencode<PlayerMessage>},
    {"player-name-changed", Reencode<PlayerNameChanged>},
    {"player-data-changed", Reencode<PlayerDataChanged>},
    {"session-desc-changed", Reencode<SessionDescChanged>},
};

// The name of the error the codec refuses the bytes with, or "accepted".
std::string Refusal(const std::string& codec, const std::vector<uint8_t>& bytes) {
  try {
    kCodecs.at(codec)(bytes);
    return "accepted";
  } catch (const ReadPastEnd&) {
    return "ReadPastEnd";
  } catch (const FormatError&) {
    return "FormatError";
  }
}

bool RefusedAs(const std::string& got, const std::string& expected) {
  return got == expected || (expected == "FormatError" && got == "ReadPastEnd");
}

TEST(Dplay4Codec, ExamplesRoundTripAndHostileBytesAreRefused) {
  for (const auto& v : Examples()["round-trip"])
    EXPECT_EQ(kCodecs.at(v.W(1))(Example(v.W(0))), Example(v.W(0))) << v.where;
  for (const auto& v : Examples()["reencoded"])
    EXPECT_EQ(kCodecs.at(v.W(1))(Example(v.W(0))), Example(v.W(2))) << v.where;
  for (const auto& v : Examples()["truncated"]) {
    const std::vector<uint8_t> bytes = Example(v.W(0));
    for (size_t n = 0; n + static_cast<size_t>(v.I(2)) < bytes.size(); ++n) {
      const std::string got = Refusal(v.W(1), std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
      EXPECT_TRUE(RefusedAs(got, v.W(3))) << v.where << ": prefix of " << n << " bytes " << got;
    }
  }
  for (const auto& v : Examples()["refused"]) {
    std::vector<uint8_t> bytes = Example(v.W(0));
    if (const std::string change = v.W(2); change != "-")
      bytes.at(std::stoul(change)) =
          static_cast<uint8_t>(std::stoul(change.substr(change.find('=') + 1), 0, 16));
    const std::string got = Refusal(v.W(1), bytes);
    EXPECT_TRUE(RefusedAs(got, v.W(3))) << v.where << ": " << got;
  }
  for (const auto& v : Examples()["guid-refused"])
    EXPECT_THROW(Guid::FromText(v.W(0)), FormatError) << v.where;
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
  const std::vector<uint8_t> message = Example("enum-request-header+enum-request");
  ASSERT_EQ(message.size(), 70u);
  const Framed f = Unframe(message);
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
  EXPECT_EQ(Frame(f.Head.Sender, m.Encode()), message);
}

TEST(Dplay4Codec, PublishedEnumSessionsReplyDecodesAndReencodes) {
  const std::vector<uint8_t> message = Example("enum-reply-header+enum-reply");
  ASSERT_EQ(message.size(), 128u);
  const Framed f = Unframe(message);
  const auto m = EnumSessionsReply::Decode(f.Body);
  EXPECT_EQ(m.Version, 14);
  ExpectExampleDesc(m.Desc, 0x404, 1000, 1, {0, 2, 3, 4});
  ASSERT_TRUE(m.Name.has_value());
  EXPECT_EQ(Utf16ToUtf8(*m.Name), "LOTHAIR");
  EXPECT_EQ(Frame(f.Head.Sender, m.Encode()), message);
}

TEST(Dplay4Codec, GuidTextRoundTrips) {
  const Guid g = Guid::FromText("{0ba552a0-e0ff-11cf-9c4e-00a0c905425e}");
  const std::array<uint8_t, 16> wire = {0xA0, 0x52, 0xA5, 0x0B, 0xFF, 0xE0, 0xCF, 0x11,
                                        0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};
  EXPECT_EQ(g.Bytes, wire);
  EXPECT_EQ(g.ToText(), "{0BA552A0-E0FF-11CF-9C4E-00A0C905425E}");
  EXPECT_TRUE(Guid{}.IsNull());
}

TEST(Dplay4Codec, HeaderTakesForwardedTokensAndOnlyItsOwnMessage) {
  // Token 0xCAB, forwarded by the enumeration helper, is accepted.
  std::vector<uint8_t> two = Example("enum-request-header+enum-request");
  two[3] = 0xCA;
  EXPECT_EQ(Unframe(two).Head.Token, kTokenForwarded);
  // Trailing bytes of the next message on the stream are not part of this one.
  const std::vector<uint8_t> next = Example("enum-reply-header+enum-reply");
  two.insert(two.end(), next.begin(), next.end());
  EXPECT_EQ(Unframe(two).Body.size(), 50u);
  EXPECT_THROW(Frame(SockAddr{}, std::vector<uint8_t>(kMaxMessageSize - 19)), FormatError);
}

TEST(Dplay4Codec, JoinHandshakeMessagesCarryTheirFields) {
  EXPECT_EQ(RequestPlayerId::Decode(Example("request-player-id")),
            (RequestPlayerId{.Version = 11, .Flags = 9}));
  const auto rp = RequestPlayerReply::Decode(Example("request-player-reply"));
  EXPECT_EQ(rp.Id, 0x12345678u);
  EXPECT_EQ(rp.Result, 0x8877014Au);
  EXPECT_FALSE(rp.SspiProvider || rp.CapiProvider);
  EXPECT_EQ(Ping::Decode(Example("ping-reply")),
            (Ping{.Command = kPingReply, .Version = 14, .IdFrom = 0xDEADBEEF, .TickCount = 10000}));
  EXPECT_EQ(EncodeYouAreDead(14), Example("you-are-dead"));
  EXPECT_EQ(
      PlayerGroupChange::Decode(Example("add-player-to-group")),
      (PlayerGroupChange{.Command = kAddPlayerToGroup, .Version = 11, .PlayerId = 0x11, .GroupId = 0x22}));
}

TEST(Dplay4Codec, CreatePlayerCarriesPackedPlayerAndAddresses) {
  const auto m = PlayerCreation::Decode(Example("create-player"));
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
  EXPECT_EQ(std::vector<uint8_t>(body.end() - 10, body.end()),
            (std::vector<uint8_t>{0x70, 0, 0x77, 0, 0, 0, 4, 3, 2, 1}));
  EXPECT_EQ(PlayerCreation::Decode(body), m);
  for (size_t n = 0; n < body.size(); ++n)
    EXPECT_THROW(PlayerCreation::Decode(Bytes(body).first(n)), FormatError) << "prefix of " << n << " bytes";
}

TEST(Dplay4Codec, SuperEnumPlayersReplyWalksTheNameTable) {
  const auto m = SuperEnumPlayersReply::Decode(Example("super-enum-players-reply"));
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
  // The 1-byte member count written back reads as the same table.
  EXPECT_EQ(SuperEnumPlayersReply::Decode(m.Encode()), m);
}

TEST(Dplay4Codec, PlayerMessageIsIdsThenPayload) {
  const auto body = Example("player-message");
  EXPECT_EQ(PlayerMessage::Decode(body),
            (PlayerMessage{.IdFrom = 5, .IdTo = 0, .Payload = {0x18, 0x10, 0, 0, 1, 0, 0, 0}}));
  EXPECT_FALSE(IsSystemMessage(body));
  // Over TCP the same body follows a header whose size counts it.
  EXPECT_EQ(Frame(SockAddr{}, body)[0], 36);
}

TEST(Dplay4Codec, Utf8ConversionKeepsNonAsciiAndReplacesBrokenInput) {
  EXPECT_EQ(Utf16ToUtf8(u"Z\u00FCrich \U0001F6EB"), "Z\xC3\xBCrich \xF0\x9F\x9B\xAB");
  EXPECT_EQ(Utf8ToUtf16("Z\xC3\xBCrich \xF0\x9F\x9B\xAB"), u"Z\u00FCrich \U0001F6EB");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"
                        "a\xE2\x82"),
            u"\uFFFDa\uFFFD");
}

TEST(Dplay4Codec, PlayerNameChangedReadsBothNamesByOffset) {
  EXPECT_EQ(
      PlayerNameChanged::Decode(Example("player-name-changed")),
      (PlayerNameChanged{.Version = 14, .IdTo = 0, .PlayerId = 5, .ShortName = u"AI", .LongName = u"P"}));
  const auto l = PlayerNameChanged::Decode(Example("player-name-changed-long-only"));
  EXPECT_FALSE(l.ShortName);
  EXPECT_EQ(l.LongName, u"P");
}

TEST(Dplay4Codec, PlayerDataChangedTakesTheBlockItsSizeAndOffsetDescribe) {
  const auto body = Example("player-data-changed");
  EXPECT_EQ(PlayerDataChanged::Decode(body),
            (PlayerDataChanged{.Version = 11, .IdTo = 0, .PlayerId = 5, .Data = {0xAA, 0xBB, 0xCC}}));
  // Found by its offset; empty when its size is 0.
  EXPECT_EQ(PlayerDataChanged::Decode(Example("player-data-changed-at-26")).Data,
            (std::vector<uint8_t>{0x11, 0x22}));
  EXPECT_TRUE(PlayerDataChanged::Decode(Example("player-data-changed-empty")).Data.empty());
}

TEST(Dplay4Codec, SessionDescChangedCarriesDescriptionNameAndPassword) {
  const auto body = Example("session-desc-changed");
  ASSERT_EQ(body.size(), 110u);
  const auto m = SessionDescChanged::Decode(body);
  EXPECT_EQ(m.Version, 14);
  EXPECT_EQ(m.IdTo, 0u);
  ExpectExampleDesc(m.Desc, 0x444, 8, 3, {1, 0, 0, 0});
  EXPECT_EQ(m.Name, u"X");
  EXPECT_EQ(m.Password, u"pw");
  // Password removed: only the name follows the description.
  SessionDescChanged open = m;
  open.Password.reset();
  const auto openBody = open.Encode();
  EXPECT_EQ(std::vector<uint8_t>(openBody.begin() + 12, openBody.begin() + 20),
            (std::vector<uint8_t>{100, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(SessionDescChanged::Decode(openBody), open);
}

TEST(Dplay4Codec, PlayerWrapperYieldsTheMessageAfterItsEnvelope) {
  const auto wrapper = Example("player-wrapper");
  const Bytes unwrapped = UnwrapPlayerMessage(wrapper);
  EXPECT_EQ(unwrapped.data(), wrapper.data() + 8);  // a view, not a copy
  EXPECT_EQ(PlayerMessage::Decode(unwrapped),
            (PlayerMessage{.IdFrom = 0x79616C70, .IdTo = 0, .Payload = {0x18, 0x10, 0, 0, 1, 0, 0, 0}}));
  EXPECT_TRUE(UnwrapPlayerMessage(Example("empty-player-wrapper")).empty());
}

}  // namespace
}  // namespace skyvox::dplay4
