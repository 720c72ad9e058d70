// The receive loop: on every Connection_Timer tick the messages queued for the station are received
// and acted on (roster, positions, descriptions, pilot commands, hosting, session end).
#pragma once

#include <string>

#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::session {

inline constexpr const char* kConnectionLostText =
    "The FS multiplayer connection was lost, Skyvox closes multiplayer session.";
inline constexpr const char* kRemovedText =
    "The host had removed you from the multiplayer session, Skyvox closes multiplayer session.";
inline constexpr const char* kNowHostingText =
    "The original host had left the session, Skyvox is now hosting the session.";

// What the loop asks of the station window.
class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  // A message box with the information icon and the program's title.
  virtual void ShowInformation(const std::string& text) = 0;
  // The station's close procedure.
  virtual void CloseStation() = 0;
};

void OnConnectionTimerTick(SessionLink& link, scenery::WorldTables& world, SessionEvents& events);
// The same tick finding senders by a pass over the roster and decoding a message once per matching
// entry: the reference the tick above is held to.
void OnConnectionTimerTickStraightforward(SessionLink& link, scenery::WorldTables& world,
                                          SessionEvents& events);

// Interprets a chat line (blanks already removed, not empty) from roster entry i: a menu choice or a
// pilot command.
void InterpretChat(SessionLink& link, scenery::WorldTables& world, int entry, const std::string& text);

}  // namespace skyvox::session
