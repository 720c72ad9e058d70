// Long runs of the station against a crowd (skyvox-sim soak): the runner is played in steps of virtual
// time while a watch samples what could grow without bound (the roster, the session's players and
// queued messages, the runway queues, the process's memory) and follows every pilot's dialogue state.
// At the end it says whether the crowd's figures kept growing once the crowd was steady, and which
// pilots ended stuck: in one dialogue state (facility, state, menu, the controller's words) with no
// other line from the station for a long time when they left or the run ended. Every stuck pilot is put
// in a class by its state and, when it holds short, by what holds it; the classes the controller's
// design leads to, congestion, and a pilot that does not choose among the options it is offered are
// expected; any other is a finding.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/scenario.h"

namespace skyvox::sim {

struct SoakLimits {
  int64_t StateStepMs = 5000;  // how often every pilot's state is looked at
  int64_t SampleMs = 60000;    // how often the figures are sampled
  // A pilot whose dialogue state has not changed for this long when it leaves or the run ends is stuck.
  int64_t StuckAfterMs = 900000;
  // The crowd counts as steady from this time on. By default the second half of the run, once the
  // crowd has nine tenths of its largest number of pilots: the crowd is complete within minutes, but
  // its runway queues take about an hour to settle into the jams that the design's queue holds make,
  // and a quantity still settling is not one that grows without bound.
  int64_t SteadyFromMs = -1;
};

struct SoakSample {
  int64_t Ms = 0;
  double WallSeconds = 0;
  // What the figures are, by name, in the order of kSoakFigures.
  std::vector<int64_t> Values;
};

// The sampled figures: roster entries (the table with its spare), players in the session (the hub's
// list), messages waiting for them, entries of the runway queues, resident memory and heap in use
// (kB), pilots in the session by the station's count.
extern const std::vector<std::string> kSoakFigures;

struct StuckPilot {
  std::string Name;
  int64_t SinceMs = 0;  // its state began
  int64_t UntilMs = 0;  // last seen in it
  bool Left = false;    // it left the session while stuck (otherwise it was in it at the end)
  std::string Facility, Request, Menu, Message;
  std::string Phase;     // the virtual pilot's own phase
  int ChoicesTyped = 0;  // digits of offered options it typed while in the state
  int OptionsTried = 0;  // how many of the offered options those digits chose
  int OptionsOffered = 0;
  // Holding short: who holds the runway queues it waits on (empty when it is first and nothing lands).
  std::string HeldBy;
  std::string HeldByName;  // that pilot
  std::string Class;       // what holds it there
  bool Expected = false;
};

// The figures that kept growing once the crowd was steady (from steadyFromMs to endMs), each with the
// medians of the steady part's three thirds; empty when none did. A figure grows when its median
// rises from third to third and ends above the first third's by more than the figures wander: a
// quarter plus 10 for counts, a twentieth plus 1 MB for memory.
std::vector<std::string> GrowingFigures(const std::vector<SoakSample>& samples, int64_t steadyFromMs,
                                        int64_t endMs);

// The class of a stuck pilot, and whether it is expected in that mode.
std::pair<std::string, bool> ClassifyStuck(const StuckPilot& pilot, bool corrected);

class SoakWatch {
 public:
  SoakWatch(SoakLimits limits, bool corrected) : limits_(limits), corrected_(corrected) {}

  // Looks at the runner at its current time: every pilot's state, and the figures when a sample is due.
  void Look(ScenarioRunner& runner, double wallSeconds);
  // A transcript line as the runner prints it: the watch notes the menu digits pilots type.
  void Heard(const std::string& line);
  // The station window closed by itself and was opened again.
  void Reopened() { ++reopened_; }
  // The pilots still in the session at the end.
  void Finish(ScenarioRunner& runner, double wallSeconds);

  const std::vector<SoakSample>& Samples() const { return samples_; }
  const std::vector<StuckPilot>& Stuck() const { return stuck_; }
  // Peak resident memory of the process (VmHWM), kB.
  static int64_t PeakKb();
  // The report; returns whether the soak held (no growth, no unexpected stuck pilot).
  bool Report(std::ostream& out, const ScenarioRunner& runner, int64_t endMs) const;

 private:
  struct Track {
    std::string Signature;
    int64_t SinceMs = 0;
    int64_t LastMs = 0;
    int OptionCount = 0;
    std::string LastLine;              // the last line the station sent the pilot
    bool Changed = false;              // a different line came since the last look
    std::map<std::string, int> Holds;  // while holding short: what held it, by looks
    std::set<int> Tried;               // the options chosen in the state
    StuckPilot Seen;
  };
  void Sample(ScenarioRunner& runner, double wallSeconds);
  void Judge(const Track& track, bool left);

  SoakLimits limits_;
  bool corrected_;
  std::vector<SoakSample> samples_;
  std::map<std::string, Track> tracks_;  // pilots in the roster, by name
  std::set<std::string> resets_;         // pilots that typed a dialogue reset ("pst_fp:", "freeflt")
  std::vector<StuckPilot> stuck_;
  int64_t nextSampleMs_ = 0;
  int reopened_ = 0;
  double finalWall_ = 0;
};

// Plays the scenario to its end under the watch, the transcript to `transcript`, the samples and the
// report to `report`. Returns 0 when the soak held, 3 when it did not.
int RunSoak(Scenario scenario, const std::string& appFolder, bool corrected, SoakLimits limits,
            std::ostream& transcript, std::ostream& report);

}  // namespace skyvox::sim
