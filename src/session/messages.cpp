#include "session/messages.h"

#include "base/errors.h"
#include "base/rounding.h"
#include "geo/geometry.h"
#include "geo/sim_coordinates.h"
#include "session/roster.h"

namespace skyvox::session {

DpMessage BuildChatMessage(const std::string& text) {
  if (text.size() > 0x3FFFFFFF) throw FormatError("chat text too long to send");
  DpMessage m;
  m.WriteLong(kChatText);
  m.WriteLong(static_cast<int32_t>(2 * text.size()));
  for (const char c : text) m.WriteByte(static_cast<uint8_t>(c));
  for (size_t i = 0; i < 2 * text.size(); ++i) m.WriteByte(0);
  return m;
}

DpMessage BuildSimpleMessage(int32_t type) {
  DpMessage m;
  m.WriteLong(type);
  m.WriteLong(0);
  return m;
}

DpMessage BuildAnnouncement(int32_t type, int32_t playerId) {
  DpMessage m;
  m.WriteLong(type);
  m.WriteLong(4);
  m.WriteLong(playerId);
  return m;
}

void SendChatLine(SessionLink& link, const std::string& text, int32_t addresseeId) {
  link.Play().Send(link.OwnPlayerId, addresseeId, kSendGuaranteed, BuildChatMessage(text));
}

void SendSimpleMessage(SessionLink& link, int32_t type, int32_t addresseeId) {
  link.Play().Send(link.OwnPlayerId, addresseeId, kSendGuaranteed, BuildSimpleMessage(type));
}

void SendAnnouncement(SessionLink& link, int32_t type, int32_t playerId, int32_t addresseeId) {
  link.Play().Send(link.OwnPlayerId, addresseeId, kSendGuaranteed, BuildAnnouncement(type, playerId));
}

std::string LookupPlayerName(SessionLink& link, int32_t playerId) {
  return link.Play().GetPlayerFriendlyName(playerId);
}

std::string ReadText(DpMessage& message, int32_t count) {
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t b = message.ReadByte();
    if (b > 0) text.push_back(static_cast<char>(b));
  }
  return text;
}

DecodedPosition DecodePosition(DpMessage& message, bool withSpeed, const geo::MagVarGrid& grid,
                               bool speedAsRead) {
  DecodedPosition p;
  int32_t speed = 0;
  if (withSpeed) {
    for (int i = 0; i < 5; ++i) message.ReadLong();
    speed = message.ReadLong();
    message.ReadLong();
  } else {
    for (int i = 0; i < 3; ++i) message.ReadLong();
  }
  const int32_t attitude = message.ReadLong();
  const int32_t latitude = message.ReadLong();
  const int32_t longitude = message.ReadLong();
  const int32_t altitude = message.ReadLong();
  for (int i = 0; i < 3; ++i) message.ReadShort();

  p.Latitude = Round(latitude * 90.0 / geo::kLatitudeMetresPer90Degrees, 5);
  p.Longitude = Round(longitude * 360.0 / geo::kLongitudeUnitsPerTurn, 5);
  p.Altitude = CLng(altitude / 0.3048);
  p.Heading = geo::TrueToMagnetic(geo::HeadingFromPacked(attitude), p.Latitude, p.Longitude, grid);
  // 16.16 metres per second, whole metres taken by a division that truncates toward zero.
  p.GroundSpeed = withSpeed ? CInt((speed / 65536) * 3.28084 * 0.592484) : 0;
  // Corrected: the fraction of a metre per second is kept, so that 120 kt reads 120, not 119.
  if (withSpeed && speedAsRead) p.GroundSpeed = CInt((speed / 65536.0) * 3.28084 * 0.592484);
  return p;
}

}  // namespace skyvox::session
