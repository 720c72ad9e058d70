// The multiplayer messages of the simulator's protocol, built and read field by field.
#pragma once

#include <cstdint>
#include <string>

#include "geo/mag_var_grid.h"
#include "session/directplay.h"

namespace skyvox::session {

inline constexpr int32_t kJoinAsPlayer = 0x1001;
inline constexpr int32_t kJoinAsObserver = 0x1002;
inline constexpr int32_t kPlayerAnnouncement = 0x1003;
inline constexpr int32_t kObserverAnnouncement = 0x1004;
inline constexpr int32_t kJoinRefusedPlayer = 0x1005;
inline constexpr int32_t kJoinRefusedObserver = 0x1006;
inline constexpr int32_t kIdentificationRequest = 0x1007;
inline constexpr int32_t kJoinRetryNotice = 0x1008;
inline constexpr int32_t kAircraftDescription = 0x100E;
inline constexpr int32_t kAircraftDescriptionRequest = 0x100F;
inline constexpr int32_t kHostLeft = 0x1012;
inline constexpr int32_t kRemovedByHost = 0x1016;
inline constexpr int32_t kPositionReport = 0x1018;
inline constexpr int32_t kPositionReportWithSpeed = 0x1019;
inline constexpr int32_t kChatText = 0x1023;

struct SessionLink;

// [0x1023, 2 x length, one byte per character, 2 x length zero bytes].
DpMessage BuildChatMessage(const std::string& text);
// [type, 0] and [type, 4, player id].
DpMessage BuildSimpleMessage(int32_t type);
DpMessage BuildAnnouncement(int32_t type, int32_t playerId);

// Sent from OwnPlayerId, guaranteed; a failure throws.
void SendChatLine(SessionLink& link, const std::string& text, int32_t addresseeId);
void SendSimpleMessage(SessionLink& link, int32_t type, int32_t addresseeId);
void SendAnnouncement(SessionLink& link, int32_t type, int32_t playerId, int32_t addresseeId);
std::string LookupPlayerName(SessionLink& link, int32_t playerId);

// count bytes, zero bytes dropped (chat text and aircraft descriptions).
std::string ReadText(DpMessage& message, int32_t count);

struct DecodedPosition {
  double Latitude = 0;   // degrees, 5 decimals
  double Longitude = 0;  // degrees, 5 decimals
  int32_t Altitude = 0;  // feet
  int16_t Heading = 0;   // magnetic
  int16_t GroundSpeed = 0;
};

// Reads the position block after the count of a 0x1018 (withSpeed false) or 0x1019 message.
// speedAsRead (the corrected mode): the ground speed from the exact metres per second, rounded.
DecodedPosition DecodePosition(DpMessage& message, bool withSpeed, const geo::MagVarGrid& grid,
                               bool speedAsRead = false);

}  // namespace skyvox::session
