// Scenario files: parsing, and the check that every line can be played when it is due.
#include "sim/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>

#include "app/config_file.h"
#include "app/settings.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/database_files.h"
#include "session/messages.h"

namespace skyvox::sim {

namespace {

struct Word {
  std::string Text;
  size_t End = 0;  // position after the word in the line
};

// A word that starts with '#' begins a comment to the end of the line.
std::string StripComment(const std::string& line) {
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return line.substr(0, i);
  }
  return line;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::vector<Word> SplitWords(const std::string& line) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back({line.substr(start, i - start), i});
  }
  return words;
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && IsBlank(text[a])) ++a;
  while (b > a && IsBlank(text[b - 1])) --b;
  return text.substr(a, b - a);
}

// Milliseconds as seconds for messages: "12.5", "600", "0.25".
std::string Seconds(int64_t ms) {
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(ms % 1000));
    std::string f = frac;
    while (f.back() == '0') f.pop_back();
    text += f;
  }
  return text;
}

class LineParser {
 public:
  LineParser(int line, std::string text, std::vector<Word> words)
      : line_(line), text_(std::move(text)), words_(std::move(words)) {}

  [[noreturn]] void Fail(const std::string& message) const { throw ScenarioError(line_, message); }

  double Number(size_t index, const char* what, double lo, double hi) const {
    const std::string& w = words_[index].Text;
    double v = 0;
    const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
    if (ec != std::errc() || end != w.data() + w.size() || !std::isfinite(v)) {
      Fail("bad number '" + w + "' for the " + what);
    }
    if (v < lo || v > hi) {
      std::ostringstream range;
      range << what << " " << w << " is out of range (" << lo << " to " << hi << ")";
      Fail(range.str());
    }
    return v;
  }

  // The words after the verb at `verbIndex`: exactly `count` of them (or between min and max).
  void Expect(size_t verbIndex, size_t min, size_t max, const char* usage) const {
    const size_t n = words_.size() - verbIndex - 1;
    if (n < min || n > max) Fail(std::string("'") + words_[verbIndex].Text + "' needs: " + usage);
  }

  // The text after the word at `index`, blanks around it removed.
  std::string RestAfter(size_t index) const { return Trim(text_.substr(words_[index].End)); }

  const std::string& WordAt(size_t index) const { return words_[index].Text; }
  size_t Count() const { return words_.size(); }
  int Line() const { return line_; }

 private:
  int line_;
  std::string text_;
  std::vector<Word> words_;
};

const std::map<std::string, Verb>& TimedVerbs() {
  static const std::map<std::string, Verb> verbs = {
      {"monitor", Verb::Monitor},
      {"stopmonitor", Verb::StopMonitor},
      {"closestation", Verb::CloseStation},
      {"join", Verb::Join},
      {"observer", Verb::Observer},
      {"pos", Verb::Pos},
      {"fly", Verb::Fly},
      {"say", Verb::Say},
      {"aircraft", Verb::Aircraft},
      {"leave", Verb::Leave},
      {"drop", Verb::Drop},
      {"hostleave", Verb::HostLeave},
      {"hostremove", Verb::HostRemove},
      {"endsession", Verb::EndSession},
      {"pilot", Verb::Pilot},
  };
  return verbs;
}

const std::set<std::string>& SetupVerbs() {
  static const std::set<std::string> verbs = {"control",  "callsign",   "host",    "session",
                                              "password", "maxplayers", "present", "run"};
  return verbs;
}

constexpr const char* kPilotUsage =
    "NAME vfr ICAO pattern | vfr ICAO to ICAO ALTITUDE | ifr ICAO ICAO ALTITUDE | following ICAO ICAO "
    "ALTITUDE | rogue ICAO, then optionally: from gate N | from parking N | from ramp";

// pilot NAME KIND ... [from gate N | from parking N | from ramp]
Intention ParseIntention(const LineParser& p, size_t v) {
  if (p.Count() < v + 4) p.Fail(std::string("'pilot' needs: ") + kPilotUsage);
  Intention i;
  size_t end = p.Count();
  for (size_t k = v + 2; k < p.Count(); ++k) {
    if (ToLowerAscii(p.WordAt(k)) != "from") continue;
    end = k;
    const size_t left = p.Count() - k - 1;
    const std::string kind = left >= 1 ? ToLowerAscii(p.WordAt(k + 1)) : "";
    if (kind == "ramp" && left == 1) break;
    if ((kind == "gate" || kind == "parking") && left == 2) {
      i.Spot = (kind == "gate" ? "GATE " : "PARKING ") + Utf8ToCp1252(p.WordAt(k + 2));
      break;
    }
    p.Fail("after 'from' comes: gate N, parking N or ramp");
  }
  const std::string kind = ToLowerAscii(p.WordAt(v + 2));
  const size_t n = end - v - 3;  // words after the kind
  auto ident = [&](size_t k) { return Utf8ToCp1252(p.WordAt(k)); };
  auto altitude = [&](size_t k) {
    const double a = p.Number(k, "cruise altitude", 1, 60000);
    if (a != std::floor(a)) p.Fail("the cruise altitude must be whole feet");
    return static_cast<int32_t>(a);
  };
  if (kind == "vfr" && n == 2 && ToLowerAscii(p.WordAt(v + 4)) == "pattern") {
    i.Kind = IntentionKind::VfrPattern;
    i.From = i.To = ident(v + 3);
  } else if (kind == "vfr" && n == 4 && ToLowerAscii(p.WordAt(v + 4)) == "to") {
    i.Kind = IntentionKind::VfrCrossCountry;
    i.From = ident(v + 3);
    i.To = ident(v + 5);
    i.CruiseFt = altitude(v + 6);
  } else if ((kind == "ifr" || kind == "following") && n == 3) {
    i.Kind = kind == "ifr" ? IntentionKind::Ifr : IntentionKind::FlightFollowing;
    i.From = ident(v + 3);
    i.To = ident(v + 4);
    i.CruiseFt = altitude(v + 5);
  } else if (kind == "rogue" && n == 1) {
    i.Kind = IntentionKind::Rogue;
    i.From = i.To = ident(v + 3);
  } else {
    p.Fail(std::string("'pilot' needs: ") + kPilotUsage);
  }
  return i;
}

TimedCommand ParseTimed(const LineParser& p, size_t v, Verb verb, int64_t timeMs) {
  TimedCommand c;
  c.Line = p.Line();
  c.TimeMs = timeMs;
  c.What = verb;
  auto name = [&] { c.Name = Utf8ToCp1252(p.WordAt(v + 1)); };
  switch (verb) {
    case Verb::Monitor:
    case Verb::StopMonitor:
    case Verb::CloseStation:
    case Verb::HostLeave:
    case Verb::HostRemove:
    case Verb::EndSession:
      p.Expect(v, 0, 0, "nothing after it");
      break;
    case Verb::Join:
    case Verb::Observer:
    case Verb::Leave:
    case Verb::Drop:
      p.Expect(v, 1, 1, "NAME");
      name();
      break;
    case Verb::Pos:
      p.Expect(v, 5, 6, "NAME LATITUDE LONGITUDE ALTITUDE-FT TRUE-HEADING [GROUND-SPEED-KT]");
      name();
      c.Position.Latitude = p.Number(v + 2, "latitude", -90, 90);
      c.Position.Longitude = p.Number(v + 3, "longitude", -180, 180);
      c.Position.AltitudeFt = p.Number(v + 4, "altitude", -2000, 100000);
      c.Position.TrueHeading = p.Number(v + 5, "heading", 0, 360);
      if (p.Count() == v + 7) c.Position.GroundSpeedKt = p.Number(v + 6, "ground speed", 0, 2000);
      break;
    case Verb::Fly:
      p.Expect(v, 5, 5, "NAME LATITUDE LONGITUDE ALTITUDE-FT GROUND-SPEED-KT");
      name();
      c.Position.Latitude = p.Number(v + 2, "latitude", -90, 90);
      c.Position.Longitude = p.Number(v + 3, "longitude", -180, 180);
      c.Position.AltitudeFt = p.Number(v + 4, "altitude", -2000, 100000);
      c.Position.GroundSpeedKt = p.Number(v + 5, "ground speed", 0, 2000);
      if (*c.Position.GroundSpeedKt <= 0) p.Fail("the ground speed of 'fly' must be above 0");
      break;
    case Verb::Pilot:
      c.Flight = ParseIntention(p, v);  // checks the words first: a bare "pilot" has no name to read
      name();
      break;
    case Verb::Say:
    case Verb::Aircraft:
      p.Expect(v, 2, SIZE_MAX, "NAME TEXT");
      name();
      c.Text = Utf8ToCp1252(p.RestAfter(v + 1));
      break;
  }
  return c;
}

// Plays the commands through in time order and checks that each can happen then.
void CheckPlayable(const Scenario& s, const std::map<std::string, int>& declared) {
  struct Member {
    bool In = false;
    bool IsObserver = false;
    bool HasPosition = false;
  };
  std::map<std::string, Member> members;
  for (const NamedLine& p : s.Present) members[p.Name].In = true;
  bool hostIn = true;
  std::optional<int64_t> endedAt;

  for (const TimedCommand& c : s.Commands) {
    const std::string at = " at t = " + Seconds(c.TimeMs);
    const std::string who = Cp1252ToUtf8(c.Name);
    auto member = [&](bool pilotOnly) -> Member& {
      if (!declared.count(c.Name)) {
        throw ScenarioError(c.Line,
                            "unknown pilot '" + who + "' (no join, observer or present line names it)");
      }
      Member& m = members[c.Name];
      if (!m.In) throw ScenarioError(c.Line, who + " is not in the session" + at);
      if (pilotOnly && m.IsObserver) throw ScenarioError(c.Line, who + " is an observer: it has no aircraft");
      return m;
    };
    switch (c.What) {
      case Verb::Join:
      case Verb::Observer:
      case Verb::Pilot: {
        if (endedAt) {
          throw ScenarioError(c.Line,
                              "the session ended at t = " + Seconds(*endedAt) + ": no one can join" + at);
        }
        Member& m = members[c.Name];
        if (m.In) throw ScenarioError(c.Line, who + " is already in the session" + at);
        m = Member{true, c.What == Verb::Observer, c.What == Verb::Pilot};
        break;
      }
      case Verb::Pos:
        member(true).HasPosition = true;
        break;
      case Verb::Fly:
        if (!member(true).HasPosition) {
          throw ScenarioError(c.Line, who + " has no position to fly from" + at + " (give it a 'pos' first)");
        }
        break;
      case Verb::Say:
        member(false);
        break;
      case Verb::Aircraft:
        member(true);
        break;
      case Verb::Leave:
      case Verb::Drop:
        member(false).In = false;
        break;
      case Verb::HostLeave:
      case Verb::HostRemove:
        if (!hostIn) throw ScenarioError(c.Line, "the host is no longer in the session" + at);
        if (c.What == Verb::HostLeave) hostIn = false;
        break;
      case Verb::EndSession:
        if (endedAt) throw ScenarioError(c.Line, "the session has already ended" + at);
        endedAt = c.TimeMs;
        hostIn = false;
        for (auto& [name, m] : members) m.In = false;
        break;
      case Verb::Monitor:
      case Verb::StopMonitor:
      case Verb::CloseStation:
        break;
    }
  }
}

}  // namespace

Scenario ParseScenario(std::istream& in) {
  Scenario s;
  std::map<std::string, int> declared;  // names of joins, observers and present pilots, with a line
  std::optional<int> runLine;
  std::string raw;
  int lineNumber = 0;
  while (std::getline(in, raw)) {
    ++lineNumber;
    const std::string text = StripComment(raw);
    std::vector<Word> words = SplitWords(text);
    if (words.empty()) continue;
    const LineParser p(lineNumber, text, words);

    size_t v = 0;  // index of the verb
    std::optional<int64_t> timeMs;
    if (ToLowerAscii(p.WordAt(0)) == "at") {
      if (p.Count() < 3) p.Fail("'at' needs a time and a command: at SECONDS COMMAND ...");
      const double seconds = p.Number(1, "time", 0, Scenario::kMaxTimeMs / 1000);
      timeMs = std::llround(seconds * 1000);
      v = 2;
    }
    const std::string verb = ToLowerAscii(p.WordAt(v));

    if (const auto timed = TimedVerbs().find(verb); timed != TimedVerbs().end()) {
      TimedCommand c = ParseTimed(p, v, timed->second, timeMs.value_or(0));
      if (c.What == Verb::Join || c.What == Verb::Observer || c.What == Verb::Pilot)
        declared.emplace(c.Name, c.Line);
      s.Commands.push_back(std::move(c));
      continue;
    }
    if (!SetupVerbs().count(verb)) p.Fail("unknown command '" + p.WordAt(v) + "'");
    if (timeMs) p.Fail("'" + verb + "' is a setup line and takes no 'at' time");

    if (verb == "control") {
      p.Expect(v, 1, 1, "IDENT");
      s.Controlled.push_back({lineNumber, Utf8ToCp1252(p.WordAt(1))});
    } else if (verb == "present") {
      p.Expect(v, 1, 1, "NAME");
      const std::string name = Utf8ToCp1252(p.WordAt(1));
      for (const NamedLine& other : s.Present) {
        if (other.Name == name)
          p.Fail(p.WordAt(1) + " is already present (line " + std::to_string(other.Line) + ")");
      }
      s.Present.push_back({lineNumber, name});
      declared.emplace(name, lineNumber);
    } else if (verb == "maxplayers") {
      p.Expect(v, 1, 1, "NUMBER");
      const double n = p.Number(1, "player count", 0, 10000);
      if (n != std::floor(n)) p.Fail("the player count must be a whole number");
      s.MaxPlayers = static_cast<int32_t>(n);
    } else if (verb == "run") {
      p.Expect(v, 1, 4, "SECONDS [until flights end]");
      if (p.Count() > 2) {
        if (p.Count() != 5 || ToLowerAscii(p.RestAfter(1)) != "until flights end")
          p.Fail("'run' needs: SECONDS [until flights end]");
        s.EndWhenFlightsEnd = true;
      }
      if (runLine) p.Fail("a second 'run' line (the first is line " + std::to_string(*runLine) + ")");
      runLine = lineNumber;
      s.EndMs = std::llround(p.Number(1, "time", 0, Scenario::kMaxTimeMs / 1000) * 1000);
    } else {
      p.Expect(v, 1, SIZE_MAX, verb == "password" ? "TEXT" : "NAME");
      const std::string rest = Utf8ToCp1252(p.RestAfter(0));
      if (verb == "callsign") s.Callsign = rest;
      if (verb == "host") s.HostName = rest;
      if (verb == "session") s.SessionName = rest;
      if (verb == "password") s.Password = rest;
    }
  }
  const int lastLine = std::max(lineNumber, 1);
  if (!runLine) throw ScenarioError(lastLine, "no 'run' line: say how long to play, e.g. 'run 600'");
  if (s.Controlled.empty()) {
    throw ScenarioError(lastLine,
                        "no 'control' line: the settings window needs at least one controlled airport");
  }
  for (const TimedCommand& c : s.Commands) {
    if (c.TimeMs > s.EndMs) {
      throw ScenarioError(
          c.Line, "t = " + Seconds(c.TimeMs) + " is after the end of the run (run " + Seconds(s.EndMs) + ")");
    }
  }
  std::stable_sort(s.Commands.begin(), s.Commands.end(),
                   [](const TimedCommand& a, const TimedCommand& b) { return a.TimeMs < b.TimeMs; });
  CheckPlayable(s, declared);
  return s;
}

Scenario ParseScenarioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot read the scenario " + path);
  return ParseScenario(in);
}

}  // namespace skyvox::sim
