// Whole flights through the real station: virtual pilots with each intention, and the crowd of thirty
// the demo flies, run tick by tick on the loopback session over the sample world. Every flight must end
// where it should, its phases must come in order, no pilot may stay in one dialogue state longer than
// the bound stated here, and the station must never send a pilot the same line twice running unless
// the pilot asked "repeat:". What the pilots had to cope with is printed, named.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <utility>

#include "base/text.h"
#include "sample_program.h"
#include "sim/earth.h"
#include "sim/scenario.h"
#include "sim/virtual_pilot.h"
#include "support/temp_dir.h"

namespace skyvox::sim {
namespace {

// The longest a pilot may stay in one dialogue state, in seconds, until its flight ends. A state that
// lasts while the pilot flies (a cross-country leg, the descent, the pattern, a long final, taxiing
// across the field, a queue at the runway) gets what that flying takes in the crowd with its queues and
// go-arounds; a state that waits for the pilot's answer gets a minute.
int64_t BoundSeconds(const std::string& state) {
  static const std::map<std::string, int64_t> bounds = {
      {"", 3600},  // flying on its own, without a facility
      {"Flight Following in Progress", 3600},
      {"Enroute", 1800},
      {"Descending", 1800},
      {"Flying Pattern", 900},
      {"Flying Tower's Airspace", 900},
      {"ILS Approach", 900},
      {"Landing", 600},
      {"Taxiing", 600},
      {"Holding Short", 900},
      {"Takingoff", 300},
      {"Going Around", 300},
  };
  const auto it = bounds.find(state);
  return it == bounds.end() ? 60 : it->second;
}

// The order phases come in: a later phase may not be followed by an earlier one, except that an
// airborne arrival moves freely between en route, vectors, pattern, go-around and final.
int PhaseRank(const std::string& phase) {
  static const std::map<std::string, int> ranks = {
      {"taxi out", 1}, {"holding short", 2}, {"line up", 3}, {"takeoff", 4},   {"departure", 5},
      {"en route", 6}, {"vectors", 6},       {"pattern", 6}, {"go-around", 6}, {"final", 6},
      {"landing", 7},  {"runway exit", 8},   {"taxi in", 9}, {"parked", 10},
  };
  const auto it = ranks.find(phase);
  return it == ranks.end() ? 0 : it->second;  // the start spot
}

class VirtualPilots : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new testing::TempDir();
    std::ostringstream narrative;
    app_ =
        new std::string(tools::FirstStartOnSampleWorld(work_->Str(), {"KOLM", "KSEA", "KBLI", "KPDX", "KBFI"},
                                                       (testing::SourceRoot() / "data").string(), narrative)
                            .AppFolder);
  }
  static void TearDownTestSuite() {
    delete app_;
    delete work_;
  }

  struct Flown {
    std::unique_ptr<ScenarioRunner> Runner;
    std::ostringstream Out;
    // Per pilot: the longest stay in each dialogue state, in ms.
    std::map<std::string, std::map<std::string, int64_t>> LongestStay;
  };

  // Plays the scenario to its end one second at a time, watching every roster entry's dialogue state.
  static std::unique_ptr<Flown> Fly(const std::string& text, bool corrected = false) {
    auto flown = std::make_unique<Flown>();
    std::istringstream in(text);
    flown->Runner = std::make_unique<ScenarioRunner>(ParseScenario(in), *app_, flown->Out);
    flown->Runner->SetCorrected(corrected);
    std::map<std::string, std::pair<std::string, int64_t>> current;
    for (int64_t t = 0; !flown->Runner->Finished(); t += 1000) {
      flown->Runner->RunUntil(t);
      std::set<std::string> done;
      for (const VirtualPilot* p : flown->Runner->VirtualPilots()) {
        if (p->Completed()) done.insert(p->Name());
      }
      const auto& link = flown->Runner->State().Link;
      for (int32_t i = 0; i < link.PlayerCount; ++i) {
        const auto& entry = link.PlayerRoster[static_cast<size_t>(i)];
        if (done.count(entry.Name)) continue;
        auto [it, added] = current.try_emplace(entry.Name, entry.PilotRequest, t);
        if (!added && it->second.first != entry.PilotRequest) it->second = {entry.PilotRequest, t};
        int64_t& longest = flown->LongestStay[entry.Name][entry.PilotRequest];
        longest = std::max(longest, t - it->second.second);
      }
    }
    return flown;
  }

  // The checks every flight passes; `expected` maps each pilot to the outcome it must reach.
  static void CheckFlights(const Flown& flown, const std::map<std::string, std::string>& expected) {
    const auto pilots = flown.Runner->VirtualPilots();
    const PilotWorld world = PilotWorldFrom(flown.Runner->State().World);
    ASSERT_EQ(pilots.size(), expected.size());
    for (const VirtualPilot* p : pilots) {
      SCOPED_TRACE(p->Name() + " [" + DescribeIntention(p->Plan()) + "]");
      EXPECT_EQ(p->Outcome(), expected.at(p->Name()));
      int rank = 0;
      for (const PhaseMark& mark : p->Phases()) {
        EXPECT_GE(PhaseRank(mark.Phase), rank) << mark.Phase << " at " << mark.AtSeconds;
        rank = std::max(rank, PhaseRank(mark.Phase));
      }
      if (p->Completed()) {
        // Stopped on the ground at the airport it meant to end at.
        const auto& to = p->Plan().To.empty() ? p->Plan().From : p->Plan().To;
        const FlightModel& a = p->Aircraft();
        const auto* airport = world.Find(to);
        ASSERT_NE(airport, nullptr);
        EXPECT_TRUE(a.OnGround());
        EXPECT_LT(DistanceNmExact(a.Latitude(), a.Longitude(), airport->Latitude, airport->Longitude), 3);
        EXPECT_LT(a.GroundSpeedKt(), 1);
      }
      for (const auto& [state, ms] : flown.LongestStay.at(p->Name())) {
        EXPECT_LE(ms / 1000, BoundSeconds(state)) << "in dialogue state \"" << state << "\"";
      }
      for (const std::string& c : p->Coping()) std::cout << "[ coped    ] " << p->Name() << ": " << c << '\n';
    }
    // No line twice running to the same pilot unless the pilot said something in between ("repeat:", a
    // choice the station answered with the same menu, a flight plan it did not take).
    std::map<std::string, std::string> last;
    std::map<std::string, bool> spoke;
    for (const std::string& line : flown.Runner->Transcript()) {
      const size_t close = line.find("] ");
      if (close == std::string::npos) continue;
      const std::string rest = line.substr(close + 2);
      if (rest.starts_with("* ") && rest.find(" says: ") != std::string::npos) {
        spoke[rest.substr(2, rest.find(' ', 2) - 2)] = true;
        continue;
      }
      const size_t arrow = rest.find(" <- ");
      if (arrow == std::string::npos || rest.find("(copy)") < arrow) continue;
      const std::string to = rest.substr(0, arrow), text = rest.substr(arrow + 4);
      EXPECT_TRUE(last[to] != text || spoke[to]) << "sent twice to " << to << ": " << line;
      last[to] = text;
      spoke[to] = false;
    }
  }

  static testing::TempDir* work_;
  static std::string* app_;
};

testing::TempDir* VirtualPilots::work_ = nullptr;
std::string* VirtualPilots::app_ = nullptr;

constexpr const char* kSetup =
    "control KOLM\ncontrol KSEA\ncontrol KBLI\ncontrol KPDX\ncontrol KBFI\nmonitor\n";

TEST_F(VirtualPilots, EachIntentionFliesToItsEnd) {
  struct Case {
    std::string Line;
    std::vector<std::string> Phases;  // met in this order (others may come between)
  };
  const std::vector<Case> cases = {
      {"vfr KOLM pattern from gate 1",
       {"at gate 1", "taxi out", "holding short", "takeoff", "pattern", "final", "landing", "runway exit",
        "taxi in", "parked"}},
      {"vfr KSEA to KOLM 3500",
       {"on the ramp", "takeoff", "en route", "pattern", "final", "landing", "parked"}},
      {"ifr KBLI KOLM 9000",
       {"on the ramp", "taxi out", "takeoff", "departure", "vectors", "final", "landing", "taxi in",
        "parked"}},
      {"following KOLM KSEA 4500 from parking 1", {"at parking 1", "takeoff", "en route", "final", "parked"}},
      {"rogue KOLM from parking 3", {"at parking 3", "taxi out", "takeoff", "final", "landing", "parked"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Line);
    auto flown = Fly(std::string(kSetup) + "at 1 pilot N1 " + c.Line + "\nrun 5400 until flights end\n");
    CheckFlights(*flown, {{"N1", "flight completed"}});
    const auto& phases = flown->Runner->VirtualPilots().front()->Phases();
    size_t at = 0;
    for (const PhaseMark& m : phases) at += at < c.Phases.size() && m.Phase == c.Phases[at];
    EXPECT_EQ(at, c.Phases.size()) << "phases met: " << flown->Runner->FlightSummary()[1];
  }
}

TEST_F(VirtualPilots, PilotWhoLeavesInFlightAndAnObserverWithCopies) {
  auto flown =
      Fly(std::string(kSetup) +
          "observer OBS\nat 1 say OBS atcmsg:true\nat 1 pilot N1 ifr KBLI KOLM 9000\n"
          "at 2 pilot N2 vfr KOLM pattern from gate 2\nat 600 leave N1\nrun 3600 until flights end\n");
  CheckFlights(*flown, {{"N1", "flight not completed (left the session; last phase: vectors)"},
                        {"N2", "flight completed"}});
  // The observer hears a copy of every line the station sent the pilots.
  int sent = 0, copies = 0;
  for (const std::string& line : flown->Runner->Transcript()) {
    sent += line.find("] N1 <- ") != std::string::npos || line.find("] N2 <- ") != std::string::npos;
    copies += line.find("] OBS (copy) <- ") != std::string::npos;
  }
  EXPECT_GT(sent, 20);
  EXPECT_EQ(copies, sent);
}

std::string ShippedScenario(const std::string& name) {
  std::ifstream file(testing::SourceRoot() / "data" / "scenarios" / name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Flights completed, the median time from the first phase to parked, and the lines the station sent.
std::string CrowdFigures(const ScenarioRunner& runner) {
  std::vector<double> times;
  for (const VirtualPilot* p : runner.VirtualPilots()) {
    if (p->Completed()) times.push_back(p->Phases().back().AtSeconds - p->Phases().front().AtSeconds);
  }
  std::sort(times.begin(), times.end());
  int lines = 0;
  for (const std::string& line : runner.Transcript()) {
    const size_t arrow = line.find(" <- ");
    lines += arrow != std::string::npos && line.rfind("(copy)", arrow) == std::string::npos;
  }
  std::ostringstream out;
  out << times.size() << " flights completed, median " << (times.empty() ? 0 : times[times.size() / 2])
      << " s, " << lines << " lines sent";
  return out.str();
}

TEST_F(VirtualPilots, CrowdOfThirtyFromTheDemo) {
  auto flown = Fly(ShippedScenario("crowd.txt"));
  std::map<std::string, std::string> expected;
  for (const VirtualPilot* p : flown->Runner->VirtualPilots()) expected[p->Name()] = "flight completed";
  ASSERT_EQ(expected.size(), 30u);
  expected["N130"] = "flight not completed (left the session; last phase: en route)";
  CheckFlights(*flown, expected);
  std::cout << "[ literal  ] " << CrowdFigures(*flown->Runner) << '\n';
  // The flights crossed: the station held pilots short, sent some around, and called traffic, which
  // the pilots answered.
  const std::string out = flown->Out.str();
  for (const char* met : {", hold short.", ", go around.", ", traffic is,", "says: pst_fp:IFR,"}) {
    EXPECT_NE(out.find(met), std::string::npos) << met;
  }
  std::map<std::string, bool> advised;
  int answered = 0;
  for (const std::string& line : flown->Runner->Transcript()) {
    const size_t close = line.find("] "), arrow = line.find(" <- ");
    if (close == std::string::npos) continue;
    if (arrow != std::string::npos && line.find("(copy)") == std::string::npos) {
      advised[line.substr(close + 2, arrow - close - 2)] = line.ends_with("2-Report traffic not in sight ");
    } else if (line.compare(close + 2, 2, "* ") == 0 && line.find(" says: ") != std::string::npos) {
      const std::string who = line.substr(close + 4, line.find(' ', close + 4) - close - 4);
      answered += std::exchange(advised[who], false);
    }
  }
  EXPECT_GT(answered, 5);
  // The literal behaviour N129 meets: its flight plan names airports with blanks, which the station
  // never matches, so it flies VFR.
  const VirtualPilot& n129 = *flown->Runner->VirtualPilots()[10];
  ASSERT_EQ(n129.Name(), "N129");
  EXPECT_TRUE(std::any_of(n129.Coping().begin(), n129.Coping().end(), [](const std::string& c) {
    return c.find("reads chat without blanks") != std::string::npos;
  }));
}

// The same crowd with the station in the corrected mode: every flight still ends where it should, and
// N129's plan between Portland and Seattle-Tacoma is taken, so it flies IFR.
TEST_F(VirtualPilots, CrowdOfThirtyInTheCorrectedMode) {
  auto flown = Fly(ShippedScenario("crowd.txt"), true);
  std::map<std::string, std::string> expected;
  for (const VirtualPilot* p : flown->Runner->VirtualPilots()) expected[p->Name()] = "flight completed";
  expected["N130"] = "flight not completed (left the session; last phase: en route)";
  CheckFlights(*flown, expected);
  std::cout << "[ corrected] " << CrowdFigures(*flown->Runner) << '\n';
  EXPECT_NE(flown->Out.str().find("* the corrected mode is on"), std::string::npos);
  const VirtualPilot& n129 = *flown->Runner->VirtualPilots()[10];
  ASSERT_EQ(n129.Name(), "N129");
  EXPECT_TRUE(n129.Coping().empty() || n129.Coping().front().find("flight plan") == std::string::npos);
  const auto& phases = n129.Phases();
  EXPECT_TRUE(
      std::any_of(phases.begin(), phases.end(), [](const PhaseMark& m) { return m.Phase == "vectors"; }));
}

// The network test's short mix, flown here on the loopback session in both modes: the same outcome.
TEST_F(VirtualPilots, TheShortMixInBothModes) {
  for (const bool corrected : {false, true}) {
    SCOPED_TRACE(corrected ? "corrected" : "literal");
    auto flown = Fly(ShippedScenario("olympia_mix.txt"), corrected);
    CheckFlights(*flown, {{"N1", "flight completed"},
                          {"N2", "flight completed"},
                          {"N3", "flight not completed (left the session; last phase: vectors)"},
                          {"N4", "flight completed"}});
    std::cout << (corrected ? "[ corrected] " : "[ literal  ] ") << CrowdFigures(*flown->Runner) << '\n';
  }
}

}  // namespace
}  // namespace skyvox::sim
