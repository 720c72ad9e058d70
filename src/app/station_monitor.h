// What the operator sees of the station at work, beside the window's own controls: a live table of the
// participants (who, where, which facility they are tuned to, where their dialogue stands, the last
// line the station sent them) and a transcript of every chat line sent and received, with times. The
// station window's view and skyvox-station's console both show this one model.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "session/chat_tap.h"

namespace skyvox::app {

// A monotonic clock in milliseconds: the programs' clock for the transcript and the timers.
int64_t SteadyClockMs();

// "[  12.5]": seconds with one decimal (rounded half up from whole milliseconds), right-aligned.
std::string TimeStamp(int64_t timeMs);
// A player known only by its id: "player 0x0001000A".
std::string UnknownPlayerName(int32_t playerId);
// "NAME <- TEXT", or "NAME (copy) <- TEXT" when the text does not begin with the addressee's name and
// ", " (every line the station builds begins with the name of the pilot it concerns, so the same line
// sent to anyone else is the copy of a participant that asked for copies). Name and text are
// single-byte; the line is UTF-8.
std::string ChatTranscriptLine(const std::string& addressee, const std::string& text);

struct TranscriptEntry {
  int64_t TimeMs = 0;    // since the station window opened
  bool Sent = false;     // true: the station sent it; false: the station received it
  int32_t PlayerId = 0;  // the addressee of a sent line (0: everyone), the sender of a received one
  std::string Name;      // that participant's name when the line went, single-byte ("(all)" for everyone)
  std::string Text;      // single-byte
};

// "[  12.5] NAME <- TEXT" for a sent line (as ChatTranscriptLine), "[  12.5] NAME -> TEXT" for a
// received one; UTF-8.
std::string FormatTranscriptEntry(const TranscriptEntry& entry);

// One participant as the table shows it, every cell display text (UTF-8).
struct TrafficRow {
  int32_t PlayerId = 0;
  std::string Name;
  std::string Kind;
  std::string Aircraft;
  std::string Position;     // "47.0255 N 122.9010 W"
  std::string Altitude;     // "1200 ft"
  std::string Heading;      // "270"
  std::string GroundSpeed;  // "15 kt"
  std::string Facility;     // facility type, the frequency after it: "Ground 121.9"
  std::string State;        // the pilot's dialogue state
  std::string LastLine;     // the last line the station sent it
};

inline constexpr int kTrafficColumnCount = 10;
// The table's column titles, in TrafficRow's order from Name on.
extern const char* const kTrafficColumns[kTrafficColumnCount];
// Cell c (0 .. kTrafficColumnCount - 1) of a row.
const std::string& TrafficCell(const TrafficRow& row, int column);

class StationMonitor {
 public:
  // The transcript keeps this many lines, dropping the oldest: a station left running for days stays
  // within bounded memory.
  static constexpr size_t kDefaultCapacity = 20000;

  StationMonitor(ProgramState& state, std::function<int64_t()> nowMs, size_t capacity = kDefaultCapacity);

  // What to give the chat tap around the program's DirectPlay objects.
  session::ChatSinks Sinks();
  // The station window opened: the transcript starts empty and times count from here.
  void StartClock();
  // Called with every line as it is recorded.
  void SetListener(std::function<void(const TranscriptEntry&)> listener) { listener_ = std::move(listener); }

  const std::deque<TranscriptEntry>& Transcript() const { return transcript_; }
  // The most lines Transcript() holds.
  size_t Capacity() const { return capacity_; }
  // Lines recorded since StartClock, including those dropped for the capacity: a view that showed n
  // lines appends the last LinesRecorded() - n.
  uint64_t LinesRecorded() const { return recorded_; }
  // The roster's entries in roster order.
  std::vector<TrafficRow> Rows() const;
  // The names met in the transcript, in order of first appearance (single-byte): the pilot filter's
  // choices.
  const std::vector<std::string>& Names() const { return names_; }
  // Whether a line concerns a pilot: sent to it or by it, or a line about it copied to another.
  static bool Concerns(const TranscriptEntry& entry, const std::string& name);

  // The rows as a text table with aligned columns, one line per row after the titles (UTF-8).
  static std::vector<std::string> FormatTable(const std::vector<TrafficRow>& rows);

  std::string NameOf(int32_t playerId) const;

 private:
  void Record(bool sent, int32_t playerId, const std::string& text);

  ProgramState& state_;
  std::function<int64_t()> nowMs_;
  size_t capacity_;
  int64_t originMs_ = 0;
  std::deque<TranscriptEntry> transcript_;
  uint64_t recorded_ = 0;
  std::vector<std::string> names_;
  std::map<int32_t, std::string> lastSent_;
  std::function<void(const TranscriptEntry&)> listener_;
};

}  // namespace skyvox::app
