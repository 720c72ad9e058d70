#include "sim/soak_watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <set>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKYVOX_SOAK_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SKYVOX_SOAK_ASAN 1
#endif
#ifdef SKYVOX_SOAK_ASAN
// The sanitizer runtime's count of the bytes the program holds (not every compiler ships its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
#include <windows.h>
// windows.h first
#include <psapi.h>
#else
#include <malloc.h>
#endif

#include "base/text.h"
#include "session/dialogue_states.h"

namespace skyvox::sim {

const std::vector<std::string> kSoakFigures = {
    "roster entries", "session players", "queued messages", "runway queue entries",
    "resident kB",    "heap kB",         "pilots"};

namespace {

enum Figure { kRoster, kSessionPlayers, kQueued, kRunwayQueues, kResident, kHeap, kPilots };

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), 0 when it cannot be read. On Windows the
// working set and its peak.
int64_t StatusKb(const std::string& field) {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<int64_t>((field == "VmHWM" ? counters.PeakWorkingSetSize : counters.WorkingSetSize) /
                              1024);
#endif
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atoll(line.c_str() + field.size() + 1);
  }
  return 0;
}

int64_t HeapKb() {
#ifdef SKYVOX_SOAK_ASAN
  return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes() / 1024);
#elif defined(_WIN32)
  // The memory the process itself committed, its heaps among it.
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return 0;
  return static_cast<int64_t>(counters.PrivateUsage / 1024);
#else
  const struct mallinfo2 info = mallinfo2();
  return static_cast<int64_t>((info.uordblks + info.hblkhd) / 1024);
#endif
}

int64_t Median(std::vector<int64_t> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

std::string Minutes(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000),
                static_cast<long long>(ms / 1000 % 60));
  return text;
}

}  // namespace

int64_t SoakWatch::PeakKb() {
  return StatusKb("VmHWM");
}

namespace {

// What holds a pilot that holds short: it waits for the departure queue's first pilot, or, first
// itself, for the landing queue to empty. A holder that holds short too is followed to what holds it.
// Returns the kind of hold and the holder's name. The kinds: traffic (the holder is in the queue's
// states at the tower: it takes off or lands in its turn), a place kept through a dialogue reset
// ("pst_fp:" and "freeflt" leave the queues alone), a landing place kept after a go-around the pilot
// reported, and a place kept otherwise.
std::pair<std::string, std::string> HeldBy(ScenarioRunner& runner, int32_t self,
                                           const std::set<std::string>& resets) {
  namespace st = session::states;
  static const std::set<std::string> departing = {st::kAcknowledgeHoldShort, st::kHoldingShort,
                                                  st::kAcknowledgeTakeoffClearanceVfr,
                                                  st::kAcknowledgeTakeoffClearanceIfr, st::kTakingoff};
  static const std::set<std::string> landing = {st::kAcknowledgeLandingClearance, st::kLanding};
  static const std::set<std::string> goingAround = {
      st::kGoingAround, st::kFlyingPattern, st::kAcknowledgeHandoffMissedApproach, st::kMissedApproach};
  const auto& world = runner.State().World;
  const auto& link = runner.State().Link;
  for (int depth = 0; depth < 8; ++depth) {
    const session::PlayerRecord& pilot = link.PlayerRoster[static_cast<size_t>(self)];
    if (pilot.AirportIndex < 0 || pilot.AirportIndex >= world.ControlledAirportCount) return {};
    const scenery::AirportRecord& a = world.ControlledAirports[static_cast<size_t>(pilot.AirportIndex)];
    if (std::none_of(a.RuntimeList1.begin(), a.RuntimeList1.end(),
                     [&](const scenery::RuntimeEntry& e) { return e.PlayerIndex == self; })) {
      return {"in no departure queue", ""};
    }
    bool departure = true;
    int32_t holder = a.RuntimeList1.front().PlayerIndex;
    if (holder == self) {
      departure = false;
      holder = -1;
      for (const scenery::RuntimeEntry& e : a.RuntimeList2) {
        if (e.PlayerIndex >= 0) {
          holder = e.PlayerIndex;
          break;
        }
      }
      if (holder < 0) return {};
    }
    const std::string where = departure ? "the departure queue's first place" : "a landing queue place";
    if (holder >= link.PlayerCount) return {where + " held by a roster index no entry has", ""};
    const session::PlayerRecord& h = link.PlayerRoster[static_cast<size_t>(holder)];
    const bool atTower =
        h.FacilityType == session::facilities::kTower && h.AirportIndex == pilot.AirportIndex;
    if (atTower && departure && h.PilotRequest == st::kHoldingShort && holder != self) {
      self = holder;
      continue;
    }
    const std::string state = "\"" + h.FacilityType + "\" / \"" + h.PilotRequest + "\"";
    if (atTower && (departure ? departing : landing).count(h.PilotRequest))
      return {"traffic: " + where + ", " + state, h.Name};
    if (resets.count(h.Name))
      return {where + " kept through a dialogue reset (\"pst_fp:\" or \"freeflt\")", h.Name};
    if (atTower && !departure && goingAround.count(h.PilotRequest))
      return {where + " kept after a go-around the pilot reported", h.Name};
    return {where + " kept in state " + state, h.Name};
  }
  return {"a ring of pilots holding short", ""};
}

std::string WithoutSayAgain(std::string message) {
  static const std::string mark = "- (Say Again)";
  for (size_t at; (at = message.find(mark)) != std::string::npos;) message.erase(at, mark.size());
  return message;
}

}  // namespace

void SoakWatch::Look(ScenarioRunner& runner, double wallSeconds) {
  const int64_t now = runner.NowMs();
  if (now >= nextSampleMs_) {
    Sample(runner, wallSeconds);
    nextSampleMs_ = now + limits_.SampleMs;
  }
  const auto& link = runner.State().Link;
  std::map<std::string, const VirtualPilot*> pilots;
  for (const VirtualPilot* v : runner.VirtualPilots()) pilots[v->Name()] = v;
  std::set<std::string> present;
  for (int32_t i = 0; i < link.PlayerCount; ++i) {
    const session::PlayerRecord& p = link.PlayerRoster[static_cast<size_t>(i)];
    if (p.Kind != "player") continue;
    present.insert(p.Name);
    std::string menu;
    for (int32_t k = 0; k < p.MenuOptionCount && k < static_cast<int32_t>(p.MenuOptions.size()); ++k)
      menu += (k ? " | " : "") + p.MenuOptions[static_cast<size_t>(k)];
    const std::string message = WithoutSayAgain(p.LastAtcMessage);
    const std::string signature = p.FacilityType + '\n' + p.PilotRequest + '\n' + menu + '\n' + message;
    auto [it, added] = tracks_.try_emplace(p.Name);
    Track& t = it->second;
    if (added || t.Signature != signature) {
      t.Signature = signature;
      t.SinceMs = now;
      t.OptionCount = p.MenuOptionCount;
      t.Seen = StuckPilot{};
      t.Seen.Name = p.Name;
      t.Seen.Facility = p.FacilityType;
      t.Seen.Request = p.PilotRequest;
      t.Seen.Menu = menu;
      t.Seen.Message = message;
      t.Seen.OptionsOffered = p.MenuOptionCount;
      t.Holds.clear();
      t.Tried.clear();
    }
    if (t.Changed) {
      t.Changed = false;
      t.SinceMs = now;
      t.Seen.ChoicesTyped = 0;
      t.Tried.clear();
      t.Holds.clear();
    }
    if (p.PilotRequest == session::states::kHoldingShort && p.MenuOptionCount == 0) {
      // The hold that lasted longest names it.
      const auto [kind, holder] = HeldBy(runner, i, resets_);
      if (++t.Holds[kind] >= t.Holds[t.Seen.HeldBy]) {
        t.Seen.HeldBy = kind;
        t.Seen.HeldByName = holder;
      }
    }
    if (const auto v = pilots.find(p.Name); v != pilots.end())
      t.Seen.Phase = v->second->Completed() ? "flight completed" : v->second->Phase();
    t.LastMs = now;
  }
  for (auto it = tracks_.begin(); it != tracks_.end();) {
    if (present.count(it->first)) {
      ++it;
      continue;
    }
    Judge(it->second, true);
    resets_.erase(it->first);
    it = tracks_.erase(it);
  }
}

void SoakWatch::Heard(const std::string& line) {
  const size_t close = line.find("] ");
  if (close == std::string::npos) return;
  const std::string rest = line.substr(close + 2);
  // "N1 <- TEXT": a line the station sent the pilot. A line unlike the last one is a change of state,
  // however short (a list shown and taken back within half a second).
  const size_t arrow = rest.find(" <- ");
  if (arrow != std::string::npos && rest.compare(0, 2, "* ") != 0) {
    const auto it = tracks_.find(Utf8ToCp1252(rest.substr(0, arrow)));  // copies name "N1 (copy)": none
    if (it == tracks_.end()) return;
    const std::string text = rest.substr(arrow + 4);
    if (text != it->second.LastLine) it->second.Changed = true;
    it->second.LastLine = text;
    return;
  }
  // "* N1 says: 3": a digit for a menu, counted when the menu offers that many options.
  const size_t says = rest.find(" says: ");
  if (rest.compare(0, 2, "* ") != 0 || says == std::string::npos) return;
  const std::string name = Utf8ToCp1252(rest.substr(2, says - 2));
  std::string text = rest.substr(says + 7);
  std::erase(text, ' ');
  const std::string command = ToLowerAscii(text.substr(0, 7));
  if (command == "pst_fp:" || command == "freeflt") resets_.insert(name);
  if (text.size() != 1 || text[0] < '1' || text[0] > '9') return;
  const auto it = tracks_.find(name);
  if (it == tracks_.end() || text[0] - '0' > it->second.OptionCount) return;
  ++it->second.Seen.ChoicesTyped;
  it->second.Tried.insert(text[0] - '0');
  it->second.Seen.OptionsTried = static_cast<int>(it->second.Tried.size());
}

void SoakWatch::Finish(ScenarioRunner& runner, double wallSeconds) {
  Sample(runner, wallSeconds);
  for (const auto& [name, track] : tracks_) Judge(track, false);
  tracks_.clear();
  finalWall_ = wallSeconds;
}

void SoakWatch::Judge(const Track& track, bool left) {
  if (track.LastMs - track.SinceMs < limits_.StuckAfterMs) return;
  StuckPilot s = track.Seen;
  s.SinceMs = track.SinceMs;
  s.UntilMs = track.LastMs;
  s.Left = left;
  std::tie(s.Class, s.Expected) = ClassifyStuck(s, corrected_);
  stuck_.push_back(std::move(s));
}

void SoakWatch::Sample(ScenarioRunner& runner, double wallSeconds) {
  const auto& link = runner.State().Link;
  const auto& world = runner.State().World;
  SoakSample s;
  s.Ms = runner.NowMs();
  s.WallSeconds = wallSeconds;
  s.Values.assign(kSoakFigures.size(), 0);
  s.Values[kRoster] = static_cast<int64_t>(link.PlayerRoster.size());
  for (const auto& p : runner.Hub().Players(link.SessionInstanceId)) {
    ++s.Values[kSessionPlayers];
    s.Values[kQueued] += static_cast<int64_t>(p.QueuedMessages);
  }
  for (const auto& a : world.ControlledAirports)
    s.Values[kRunwayQueues] += static_cast<int64_t>(a.RuntimeList1.size() + a.RuntimeList2.size());
  s.Values[kResident] = StatusKb("VmRSS");
  s.Values[kHeap] = HeapKb();
  for (int32_t i = 0; i < link.PlayerCount; ++i)
    s.Values[kPilots] += link.PlayerRoster[static_cast<size_t>(i)].Kind == "player";
  samples_.push_back(std::move(s));
}

std::vector<std::string> GrowingFigures(const std::vector<SoakSample>& samples, int64_t steady,
                                        int64_t endMs) {
  std::vector<const SoakSample*> part[3];
  for (const SoakSample& s : samples) {
    if (s.Ms < steady) continue;
    const size_t third = std::min<size_t>(
        2, static_cast<size_t>((s.Ms - steady) * 3 / std::max<int64_t>(1, endMs - steady + 1)));
    part[third].push_back(&s);
  }
  std::vector<std::string> growing;
  if (part[0].empty() || part[1].empty() || part[2].empty()) return growing;
  for (size_t f = 0; f < kSoakFigures.size(); ++f) {
    int64_t median[3];
    for (int k = 0; k < 3; ++k) {
      std::vector<int64_t> values;
      for (const SoakSample* s : part[k]) values.push_back(s->Values[f]);
      median[k] = Median(values);
    }
    // Memory may settle a little higher as the allocator's free lists fill (and the runner keeps a few
    // lines of text for each pilot that left); counts wander with the crowd's comings and goings.
    // Growth is a rise through the whole steady part beyond that.
    const bool memory = f == kResident || f == kHeap;
    const double allowed = static_cast<double>(median[0]) * (memory ? 1.05 : 1.25) + (memory ? 1024 : 10);
    if (median[2] > allowed && median[1] > median[0]) {
      growing.push_back(kSoakFigures[f] + ": medians " + std::to_string(median[0]) + ", " +
                        std::to_string(median[1]) + ", " + std::to_string(median[2]));
    }
  }
  return growing;
}

bool SoakWatch::Report(std::ostream& out, const ScenarioRunner& runner, int64_t endMs) const {
  int pilots = 0, completed = 0, left = 0;
  for (const std::string& line : runner.FlightSummary()) {
    const bool done = line.find(": flight completed [") != std::string::npos;
    const bool gone = line.find(": flight not completed (left the session;") != std::string::npos;
    const bool other = line.find(": flight not completed (") != std::string::npos;
    pilots += done || other;
    completed += done;
    left += gone;
  }
  const double virtualSeconds = static_cast<double>(endMs) / 1000;
  out << "soak: " << pilots << " virtual pilots joined, " << completed << " flights completed, " << left
      << " left or lost their connection on the way; " << virtualSeconds << " s of virtual time in "
      << static_cast<int64_t>(finalWall_) << " s of wall time ("
      << (finalWall_ > 0 ? static_cast<int64_t>(virtualSeconds / finalWall_) : 0) << " times real time)\n";
  int64_t peakResident = 0, peakHeap = 0;
  for (const SoakSample& s : samples_) {
    peakResident = std::max(peakResident, s.Values[kResident]);
    peakHeap = std::max(peakHeap, s.Values[kHeap]);
  }
  out << "soak: peak memory (VmHWM) " << PeakKb() / 1024 << " MB; largest sampled resident "
      << peakResident / 1024 << " MB, heap in use " << peakHeap / 1024 << " MB\n";
  // The design ends the station's session when a message's sender cannot be named (it has just left);
  // the corrected mode skips such a message. Nothing else in a soak ends the session.
  out << "soak: the station's session ended " << reopened_ << " time" << (reopened_ == 1 ? "" : "s")
      << (reopened_ ? " and the station was opened again" : "")
      << (reopened_ && !corrected_ ? " (the design's rule: a message whose sender has left ends it)" : "")
      << '\n';
  const bool closures = corrected_ && reopened_ > 0;
  // Steady: the second half of the run, and not before the crowd has nine tenths of its pilots.
  int64_t steady = limits_.SteadyFromMs;
  if (steady < 0) {
    int64_t most = 0;
    for (const SoakSample& s : samples_) most = std::max(most, s.Values[kPilots]);
    steady = endMs / 2;
    for (const SoakSample& s : samples_) {
      if (s.Values[kPilots] * 10 < most * 9) continue;
      steady = std::max(steady, s.Ms);
      break;
    }
  }
  std::vector<std::string> growth = GrowingFigures(samples_, steady, endMs);
#ifdef SKYVOX_SOAK_ASAN
  // Under AddressSanitizer the resident memory holds its quarantine of freed blocks and its shadow,
  // which follow how much is allocated and freed, not what the program holds: the heap in use, which
  // the sanitizer counts exactly, judges instead.
  out << "soak: built with AddressSanitizer: resident memory reported, heap in use judged\n";
  std::erase_if(growth, [](const std::string& g) { return g.starts_with(kSoakFigures[kResident]); });
#endif
  for (const std::string& g : growth) out << "soak: GROWTH " << g << '\n';
  if (growth.empty()) out << "soak: no figure kept growing over the steady crowd\n";
  std::map<std::string, std::vector<const StuckPilot*>> classes;
  for (const StuckPilot& s : stuck_)
    classes[(s.Expected ? "expected: " : "UNEXPECTED: ") + s.Class].push_back(&s);
  bool unexpected = false;
  out << "soak: " << stuck_.size() << " pilots ended stuck (one dialogue state for "
      << limits_.StuckAfterMs / 60000 << " min or more when it left or the run ended)\n";
  for (const auto& [name, list] : classes) {
    unexpected |= name.rfind("UNEXPECTED", 0) == 0;
    out << "soak: stuck, " << name << ": " << list.size() << " pilot" << (list.size() == 1 ? "" : "s")
        << '\n';
    for (size_t i = 0; i < list.size() && i < 3; ++i) {
      const StuckPilot& s = *list[i];
      out << "soak:   " << Cp1252ToUtf8(s.Name) << " from " << Minutes(s.SinceMs) << " to "
          << Minutes(s.UntilMs) << (s.Left ? " (then left)" : " (at the end)") << ": facility \""
          << s.Facility << "\", state \"" << s.Request << "\", menu \"" << Cp1252ToUtf8(s.Menu)
          << "\", message \"" << Cp1252ToUtf8(s.Message) << "\", its phase " << s.Phase << ", "
          << s.ChoicesTyped << " choices typed (" << s.OptionsTried << " of " << s.OptionsOffered
          << " options)" << (s.HeldByName.empty() ? "" : ", held by " + Cp1252ToUtf8(s.HeldByName)) << '\n';
    }
  }
  const bool held = growth.empty() && !unexpected && !closures;
  out << "soak: " << (held ? "held" : "FAILED") << '\n';
  return held;
}

std::pair<std::string, bool> ClassifyStuck(const StuckPilot& pilot, bool corrected) {
  const std::string state = "\"" + pilot.Facility + "\" / \"" + pilot.Request + "\"";
  if (!pilot.Menu.empty() && pilot.OptionsTried < pilot.OptionsOffered) {
    return {
        "idle: options offered, not every one chosen (the virtual pilot's script does not cover where "
        "its random lines took it)",
        true};
  }
  if (!pilot.Menu.empty()) return {state + ": every option chosen, none changed anything", false};
  if (pilot.Request == session::states::kHoldingShort && !pilot.HeldBy.empty()) {
    const std::string& by = pilot.HeldBy;
    const bool expected = by.starts_with("traffic: ") ||
                          by.ends_with("dialogue reset (\"pst_fp:\" or \"freeflt\")") ||
                          (!corrected && by.ends_with("after a go-around the pilot reported"));
    return {state + ", no option; held by " + by, expected};
  }
  // The handoff on leaving an approach zone or a centre offers "Acknowledge Handoff" once, as the
  // pilot leaves: any other choice (a wrong digit) only resets the menu, and nothing offers the
  // option again while the pilot stays out.
  if (pilot.Request.starts_with(session::states::kOutOfAirspacePrefix))
    return {state + ", no option: the handoff's one offer was answered with another choice", true};
  return {state + ", no option", false};
}

namespace {

// Passes the transcript on to its stream and hands every whole line to the watch.
class LineTap : public std::streambuf {
 public:
  LineTap(std::ostream& to, SoakWatch& watch) : to_(to), watch_(watch) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    to_.put(static_cast<char>(c));
    if (c == '\n') {
      watch_.Heard(line_);
      line_.clear();
    } else {
      line_ += static_cast<char>(c);
    }
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(text[i]));
    return n;
  }

 private:
  std::ostream& to_;
  SoakWatch& watch_;
  std::string line_;
};

}  // namespace

int RunSoak(Scenario scenario, const std::string& appFolder, bool corrected, SoakLimits limits,
            std::ostream& transcript, std::ostream& report) {
  const int64_t endMs = scenario.EndMs;
  SoakWatch watch(limits, corrected);
  LineTap tap(transcript, watch);
  std::ostream tapped(&tap);
  ScenarioRunner runner(std::move(scenario), appFolder, tapped);
  runner.KeepTranscript(false);
  runner.KeepDeparted(false);
  runner.SetCorrected(corrected);
  const auto start = std::chrono::steady_clock::now();
  auto wall = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  size_t printed = 0;
  for (int64_t t = 0; !runner.Finished(); t += limits.StateStepMs) {
    runner.RunUntil(t);
    watch.Look(runner, wall());
    if (!runner.Finished() && runner.ReopenStation()) watch.Reopened();
    for (; printed < watch.Samples().size(); ++printed) {
      const SoakSample& s = watch.Samples()[printed];
      report << "[" << Minutes(s.Ms) << "] wall " << static_cast<int64_t>(s.WallSeconds) << " s";
      for (size_t f = 0; f < kSoakFigures.size(); ++f)
        report << ", " << kSoakFigures[f] << ' ' << s.Values[f];
      report << std::endl;
    }
  }
  watch.Finish(runner, wall());
  tapped.flush();
  return watch.Report(report, runner, endMs) ? 0 : 3;
}

}  // namespace skyvox::sim
