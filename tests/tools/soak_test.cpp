// Soaks: the crowd make-soak writes, the runner's reopening of a station whose session ended and its
// letting go of departed pilots, and the watch's verdicts (figures that keep growing, stuck pilots by
// what holds them, a session ended in the corrected mode) on runs over the sample world.
#include "sim/soak_watch.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "base/text.h"
#include "sample_program.h"
#include "sim/load_scenario.h"
#include "support/temp_dir.h"

namespace skyvox::sim {
namespace {

class Soak : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new testing::TempDir();
    std::ostringstream narrative;
    app_ = new std::string(tools::FirstStartOnSampleWorld(
                               work_->Str(), {"KOLM"}, (testing::SourceRoot() / "data").string(), narrative)
                               .AppFolder);
  }
  static void TearDownTestSuite() {
    delete app_;
    delete work_;
  }
  static Scenario Parse(const std::string& text) {
    std::istringstream in(text);
    return ParseScenario(in);
  }
  static testing::TempDir* work_;
  static std::string* app_;
};
testing::TempDir* Soak::work_ = nullptr;
std::string* Soak::app_ = nullptr;

TEST(SoakScenario, ASeedWritesOneCrowdOfEverything) {
  SoakShape shape;
  shape.Pilots = 40;
  shape.Seconds = 3600;
  const std::string text = SoakScenarioText(shape);
  EXPECT_EQ(text, SoakScenarioText(shape));
  shape.Seed = 2;
  EXPECT_NE(text, SoakScenarioText(shape));
  std::istringstream in(text);
  const Scenario s = ParseScenario(in);
  std::map<std::string, int> seen;
  int first = 0;
  for (const TimedCommand& c : s.Commands) {
    EXPECT_EQ(c.TimeMs % 1000, 0) << c.Line;
    if (c.What == Verb::Pilot) {
      const std::string what = DescribeIntention(c.Flight);
      ++seen[what.substr(0, what.find(' ')) + (what.find(" to ") != std::string::npos ? " to" : "")];
      first += c.TimeMs < 300000;
    }
    if (c.What == Verb::Leave || c.What == Verb::Drop) ++seen[c.What == Verb::Leave ? "leave" : "drop"];
    if (c.What != Verb::Say || c.Name.starts_with("OBS")) continue;
    std::string typed = ToLowerAscii(c.Text);
    std::erase(typed, ' ');
    if (typed.size() == 1 && typed[0] >= '0' && typed[0] <= '9') ++seen[typed == "0" ? "0" : "digit"];
    if (typed.size() == 2 && typed[0] >= '1' && typed[0] <= '9' && typed[1] >= '0' && typed[1] <= '9')
      ++seen["two digits"];
    if (typed == "repeat:") ++seen[c.Text == "repeat:" ? "repeat:" : "REPEAT: or re peat:"];
    for (const char* command : {"pst_fp:", "freeflt", "airpts:", "atcmsg:"})
      seen[command] += typed.starts_with(command);
    seen["long line"] += c.Text.size() > 200;
  }
  EXPECT_EQ(first, 40);
  for (const char* kind :
       {"vfr", "vfr to", "ifr", "following", "rogue", "leave", "drop", "digit", "0", "two digits",
        "repeat:", "REPEAT: or re peat:", "pst_fp:", "freeflt", "airpts:", "atcmsg:", "long line"}) {
    EXPECT_GT(seen[kind], 0) << kind;
  }
}

TEST_F(Soak, TheUserReopensAStationWhoseSessionEndedAndDepartedPilotsAreLetGo) {
  // P1 leaves 50 ms after its last position report: the station's next receive names no sender.
  std::ostringstream out;
  ScenarioRunner runner(Parse("control KOLM\nmonitor\njoin P1\npos P1 46.97 -122.906 209 90\njoin P2\n"
                              "pos P2 46.9695 -122.906 209 90\nat 1 pilot V1 vfr KOLM pattern from gate 1\n"
                              "at 10.3 leave P1\nat 12 leave V1\nrun 80\n"),
                        *app_, out);
  runner.KeepDeparted(false);
  EXPECT_FALSE(runner.ReopenStation());
  runner.RunUntil(15000);
  ASSERT_FALSE(runner.Station()->IsOpen());
  EXPECT_NE(out.str().find("Skyvox v2.0: The host had removed you from the multiplayer session"),
            std::string::npos);
  ASSERT_TRUE(runner.ReopenStation());
  EXPECT_TRUE(runner.Station()->IsOpen());
  EXPECT_EQ(runner.Station()->StatusText(), app::kMonitoringText);
  runner.Run();
  // The roster refresh finds P2 again and the station serves it.
  EXPECT_NE(out.str().find("[  45.1] * roster: P2 added (player)"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("P2 <- P2,  Choose an option: 1-Tune OLYMPIA GROUND"), std::string::npos);
  // V1 left: only its summary is kept.
  EXPECT_TRUE(runner.VirtualPilots().empty());
  ASSERT_FALSE(runner.FlightSummary().empty());
  EXPECT_EQ(runner.FlightSummary()[0].rfind("V1: flight not completed (left the session;", 0), 0u);
}

TEST_F(Soak, VerdictsOnStuckPilotsAndEndedSessions) {
  const std::string olympia =
      "control KOLM\nmonitor\nat 1 pilot N1 vfr KOLM pattern from gate 1\n"
      "at 20 pilot N2 vfr KOLM pattern from gate 2\n";
  struct Case {
    std::string Text;
    bool Corrected;
    int Exit;
    std::vector<std::string> Report;
  };
  const std::vector<Case> cases = {
      // N1, cleared for takeoff, resets its dialogue before it acknowledges: its place stays first in
      // the departure queue, and N2 holds short behind it for good.
      {olympia + "at 138 say N1 freeflt\nrun 900\n",
       false,
       0,
       {"soak: stuck, expected: \"Tower\" / \"Holding Short\", no option; held by the departure queue's "
        "first place kept through a dialogue reset (\"pst_fp:\" or \"freeflt\"): 1 pilot",
        "soak:   N2 from 2:45 to 15:00 (at the end)", "soak: stuck, expected: idle: options offered",
        "soak: held"}},
      {olympia + "run 900\n", true, 0, {"soak: 0 pilots ended stuck", "soak: held"}},
      // The corrected mode knows no reason for the session to end.
      {olympia + "at 60 hostremove\nrun 120\n",
       true,
       3,
       {"soak: the station's session ended 1 time and the station was opened again\n", "soak: FAILED"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    SoakLimits limits;
    limits.StuckAfterMs = 300000;
    std::ostringstream transcript, report;
    EXPECT_EQ(RunSoak(Parse(c.Text), *app_, c.Corrected, limits, transcript, report), c.Exit);
    for (const std::string& line : c.Report)
      EXPECT_NE(report.str().find(line), std::string::npos) << report.str();
  }
}

TEST(SoakFigures, GrowthIsARiseThroughTheSteadyCrowd) {
  // Samples every minute of an hour, steady from 20 min; each case changes one figure.
  struct Case {
    std::string Name;
    size_t Figure;
    std::function<int64_t(int64_t minute)> Value;
    bool Grows;
  };
  const std::vector<Case> cases = {
      {"flat", 5, [](int64_t) { return 9000; }, false},
      {"a leak of 100 kB a minute", 5, [](int64_t m) { return 9000 + 100 * m; }, true},
      {"the crowd wandering by a fifth", 0, [](int64_t m) { return 300 + (m % 7 - 3) * 20; }, false},
      {"a runway queue that only grows", 3, [](int64_t m) { return 100 + 3 * m; }, true},
      {"a rise before the crowd is steady", 4, [](int64_t m) { return m < 20 ? 10000 + 500 * m : 20000; },
       false},
      {"a step in the last third only", 2, [](int64_t m) { return m < 50 ? 400 : 900; }, false},
  };
  for (const Case& c : cases) {
    std::vector<SoakSample> samples;
    for (int64_t m = 0; m <= 60; ++m) {
      SoakSample s{m * 60000, 0, std::vector<int64_t>(kSoakFigures.size(), 100)};
      s.Values[c.Figure] = c.Value(m);
      samples.push_back(s);
    }
    const auto growing = GrowingFigures(samples, 20 * 60000, 60 * 60000);
    EXPECT_EQ(growing.size(), c.Grows ? 1u : 0u) << c.Name;
    if (c.Grows && !growing.empty()) {
      EXPECT_TRUE(growing[0].starts_with(kSoakFigures[c.Figure])) << c.Name;
    }
  }
}

TEST(SoakFigures, StuckPilotsByWhatHoldsThem) {
  auto stuck = [](const std::string& facility, const std::string& request, const std::string& by = "") {
    StuckPilot p;
    p.Facility = facility;
    p.Request = request;
    p.HeldBy = by;
    return p;
  };
  auto held = [&](const std::string& by) { return stuck("Tower", "Holding Short", by); };
  StuckPilot idle, tried;
  idle.Menu = tried.Menu = "Request Taxi for Takeoff | Request Taxi to Gate";
  idle.OptionsOffered = tried.OptionsOffered = tried.OptionsTried = 2;
  idle.OptionsTried = 1;
  const std::string reset =
      "the departure queue's first place kept through a dialogue reset (\"pst_fp:\" or \"freeflt\")";
  const std::string goAround = "a landing queue place kept after a go-around the pilot reported";
  struct Case {
    StuckPilot Pilot;
    bool Literal, Corrected;  // expected in each mode
  };
  const std::vector<Case> cases = {
      {idle, true, true},
      {tried, false, false},
      {held(reset), true, true},
      {held("traffic: the departure queue's first place, \"Tower\" / \"Takingoff\""), true, true},
      {held(goAround), true, false},
      {held("the departure queue's first place kept in state \"Ground\" / \"Taxiing\""), false, false},
      {stuck("Approach", "Out of Airspace - Descending"), true, true},
      {StuckPilot{}, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyStuck(c.Pilot, false).second, c.Literal) << ClassifyStuck(c.Pilot, false).first;
    EXPECT_EQ(ClassifyStuck(c.Pilot, true).second, c.Corrected) << ClassifyStuck(c.Pilot, true).first;
  }
}

}  // namespace
}  // namespace skyvox::sim
