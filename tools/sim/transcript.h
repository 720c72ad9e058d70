// The radio transcript that skyvox-sim and skyvox-station print: the time stamp, the chat line with its
// addressee (marked as a copy when it is about someone else), and the DirectPlay wrapper that reports
// every chat line the station sends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "authoring/forwarding_directplay.h"
#include "session/directplay.h"
#include "session/roster.h"

namespace skyvox::sim {

// "[  12.5]": seconds with one decimal (rounded half up from whole milliseconds), right-aligned.
std::string TimeStamp(int64_t timeMs);

// A player known only by its id: "player 0x0001000A".
std::string UnknownPlayerName(int32_t playerId);

// "NAME <- TEXT", or "NAME (copy) <- TEXT" when the text does not begin with the addressee's name and
// ", " (every line the station builds begins with the name of the pilot it concerns, so the same line
// sent to anyone else is the copy of a participant that asked for copies). Name and text are
// single-byte; the line is UTF-8.
std::string ChatTranscriptLine(const std::string& addressee, const std::string& text);

// Who is in the station's roster, entry by entry in roster order; and who came and went between two
// looks at it (emptying the roster when the station closes is for the caller to leave out).
struct RosterKey {
  std::string Name;  // single-byte
  int32_t Id = 0;
  std::string Kind;  // "player" or "observer"
  bool operator==(const RosterKey&) const = default;
};
std::vector<RosterKey> RosterKeys(const session::SessionLink& link);
struct RosterChanges {
  std::vector<RosterKey> Left;    // in the first look's order
  std::vector<RosterKey> Joined;  // in the second look's order
};
RosterChanges CompareRosters(const std::vector<RosterKey>& before, const std::vector<RosterKey>& after);

// A DirectPlay object that forwards every call to another one and reports each chat text message
// (0x1023) that went out through Send, with its addressee and decoded text.
class ChatRecordingDirectPlay : public authoring::ForwardingDirectPlay {
 public:
  using ChatSink = std::function<void(int32_t to, const std::string& text)>;
  ChatRecordingDirectPlay(std::unique_ptr<session::DirectPlay> inner, ChatSink sink)
      : ForwardingDirectPlay(std::move(inner)), sink_(std::move(sink)) {}

  // Reports the chat line after the inner Send succeeded.
  void Send(int32_t from, int32_t to, int32_t flags, const session::DpMessage& message) override;

 private:
  ChatSink sink_;
};

// Wraps every object another factory makes in a ChatRecordingDirectPlay.
class ChatRecordingFactory : public session::DirectPlayFactory {
 public:
  ChatRecordingFactory(session::DirectPlayFactory& inner, ChatRecordingDirectPlay::ChatSink sink)
      : inner_(inner), sink_(std::move(sink)) {}
  std::unique_ptr<session::DirectPlay> Create() override;

 private:
  session::DirectPlayFactory& inner_;
  ChatRecordingDirectPlay::ChatSink sink_;
};

}  // namespace skyvox::sim
