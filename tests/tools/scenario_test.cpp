// The scenario runner played against the real station over a program folder written in the test: the
// parser's line-numbered errors, the roster the station keeps of simulated pilots and observers, their
// decoded positions while parked and in flight, the chat lines in the transcript, and the session's end.
#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "app/config_file.h"
#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "scenery/database_files.h"
#include "session/messages.h"
#include "support/temp_dir.h"

namespace skyvox::sim {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::TempDir;

scenery::AirportRecord Airport(const std::string& ident, const std::string& name, double lat, double lon,
                               int32_t elevation) {
  scenery::AirportRecord a;
  a.Ident = ident;
  a.Name = name;
  a.Latitude = lat;
  a.Longitude = lon;
  a.ElevationFt = elevation;
  a.GroundFreq = "121.7";
  a.GroundName = name;
  return a;
}

class Scenarios : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path sim = dir_.Path() / "FS2002";
    fs::create_directories(sim / "Scenery");
    dir_.Write("FS2002/Scenery/magdec.bgl", authoring::BuildMagdecBgl(geo::MagVarGrid{}));  // no variation
    app_ = dir_.Path() / "Skyvox";
    fs::create_directories(app_);
    int32_t airports = 0, airspaces = 0;
    for (auto a : {Airport("KSEA", "SEATTLE-TACOMA INTL", 47.449, -122.309306, 433),
                   Airport("KOLM", "OLYMPIA REGIONAL", 46.969444, -122.902222, 209),
                   Airport("KPDX", "PORTLAND INTL", 45.588611, -122.5975, 31)}) {
      scenery::AppendAirportRecord(app_ / scenery::kAirportsFileName, a, airports);
    }
    scenery::AppendAirspaceRecord(app_ / scenery::kAirspacesFileName,
                                  {"SEATTLE", "ARTCC/FIR (HIGH)", "128.3", 49, 42, -116.5, -126, -1, -1},
                                  airspaces);
    ByteWriter terrain;
    scenery::WriteTerrainPoint(terrain, {47.5, -122.3, 120});
    dir_.Write("Skyvox/world_terrain.db", terrain.Take());
    app::WriteConfigFile(app_.string(), {sim.string(), airports, airspaces});
  }

  ScenarioRunner& Start(const std::string& text, AtcCycleHook hook = {}) {
    std::istringstream in(text);
    runner_ = std::make_unique<ScenarioRunner>(ParseScenario(in), app_.string(), out_, std::move(hook));
    runner_->Setup();
    return *runner_;
  }

  bool HasLine(const std::string& line) const {
    const auto& t = runner_->Transcript();
    return std::find(t.begin(), t.end(), line) != t.end();
  }

  const session::PlayerRecord& Entry(int i) {
    return runner_->State().Link.PlayerRoster.at(static_cast<size_t>(i));
  }
  int16_t Count() { return runner_->State().Link.PlayerCount; }

  TempDir dir_;
  fs::path app_;
  std::ostringstream out_;
  std::unique_ptr<ScenarioRunner> runner_;
};

// ---------------------------------------------------------------------------------------------------

void ExpectError(const std::string& text, int line, const std::string& part) {
  std::istringstream in(text);
  try {
    ParseScenario(in);
    ADD_FAILURE() << "no error for:\n" << text;
  } catch (const ScenarioError& e) {
    EXPECT_EQ(e.Line(), line) << text;
    EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
  }
}

TEST(ScenarioParser, ReportsMistakesWithTheirLine) {
  ExpectError("control KSEA\n# comment\nfrobnicate now\nrun 10\n", 3, "unknown command 'frobnicate'");
  ExpectError("control KSEA\nat 5 say N1 hello\nrun 10\n", 2, "unknown pilot 'N1'");
  ExpectError("control KSEA\njoin N1\nat 1O pos N1 47 -122 0 0\nrun 10\n", 3, "bad number '1O'");
  ExpectError("control KSEA\njoin N1\npos N1 95 -122 0 0\nrun 10\n", 3, "latitude 95 is out of range");
  ExpectError("control KSEA\njoin N1\npos N1 47 -122 0\nrun 10\n", 3, "'pos' needs");
  ExpectError("control KSEA\nat 20 say N1 hi\nat 30 join N1\nrun 60\n", 2,
              "N1 is not in the session at t = 20");
  ExpectError("control KSEA\njoin N1\nat 5 leave N1\nat 6 pos N1 47 -122 0 0\nrun 60\n", 4,
              "not in the session");
  ExpectError("control KSEA\njoin N1\nat 3 fly N1 47 -122 1000 120\nrun 10\n", 3, "no position to fly from");
  ExpectError("control KSEA\nobserver O1\npos O1 47 -122 0 0\nrun 10\n", 3, "is an observer");
  ExpectError("control KSEA\nat 3 control KOLM\nrun 10\n", 2, "setup line");
  ExpectError("control KSEA\nat 11 monitor\nrun 10\n", 2, "after the end of the run");
  ExpectError("control KSEA\nrun 10\nrun 20\n", 3, "a second 'run' line (the first is line 2)");
  ExpectError("control KSEA\nmonitor\n", 2, "no 'run' line");
  ExpectError("monitor\nrun 5\n", 2, "no 'control' line");
  ExpectError("control KSEA\nhostleave\nat 2 hostleave\nrun 5\n", 3, "host is no longer in the session");
}

TEST(ScenarioParser, OrdersByTimeAndKeepsTheTypedText) {
  std::istringstream in(
      "control KSEA   # first\n"
      "at 12.5 say N1  pst_fp:IFR,A#B, x   # a comment after blanks\n"
      "at 3 join N1\n"
      "monitor\n"
      "run 600\n");
  const Scenario s = ParseScenario(in);
  ASSERT_EQ(s.Commands.size(), 3u);
  EXPECT_EQ(s.Commands[0].What, Verb::Monitor);
  EXPECT_EQ(s.Commands[0].TimeMs, 0);
  EXPECT_EQ(s.Commands[1].What, Verb::Join);
  EXPECT_EQ(s.Commands[2].TimeMs, 12500);
  EXPECT_EQ(s.Commands[2].Text, "pst_fp:IFR,A#B, x");
  EXPECT_EQ(s.EndMs, 600000);
  EXPECT_EQ(TimeStamp(12500), "[  12.5]");
  EXPECT_EQ(TimeStamp(12550), "[  12.6]");
}

TEST_F(Scenarios, AnIdentMissingFromTheDatabaseIsAScenarioError) {
  std::istringstream in("control KSEA\ncontrol KXXX\nrun 5\n");
  ScenarioRunner runner(ParseScenario(in), app_.string(), out_);
  try {
    runner.Setup();
    FAIL();
  } catch (const ScenarioError& e) {
    EXPECT_EQ(e.Line(), 2);
    EXPECT_STREQ(e.what(), "no airport with Ident KXXX in the database");
  }
}

TEST_F(Scenarios, AFolderWithoutConfigurationIsRefusedAndLeftAlone) {
  fs::remove(app_ / app::kConfigFileName);
  std::istringstream in("control KSEA\nrun 5\n");
  ScenarioRunner runner(ParseScenario(in), app_.string(), out_);
  EXPECT_THROW(runner.Setup(), SimulationError);
  EXPECT_TRUE(fs::exists(app_ / scenery::kAirportsFileName));  // the start-up check would have deleted it
}

// ---------------------------------------------------------------------------------------------------

TEST_F(Scenarios, JoiningParticipantsEnterTheRosterAtTheNextReceiveTick) {
  ScenarioRunner& r = Start("control KSEA\nat 1 join N123\nat 1 observer OBS1\nrun 5\n");
  EXPECT_EQ(r.State().World.ControlledAirportCount, 1);
  EXPECT_EQ(r.State().World.ControlledAirports[0].Ident, "KSEA");
  r.RunUntil(900);
  EXPECT_EQ(Count(), 0);
  r.RunUntil(1000);  // joined, admitted and announced within the instant; received by the tick at 1.0
  ASSERT_EQ(Count(), 2);
  EXPECT_EQ(Entry(0).Name, "N123");
  EXPECT_EQ(Entry(0).Kind, "player");
  EXPECT_EQ(Entry(0).PlayerId, r.Pilot("N123")->PlayerId());
  EXPECT_EQ(Entry(1).Name, "OBS1");
  EXPECT_EQ(Entry(1).Kind, "observer");
  EXPECT_TRUE(HasLine("[   1.0] * roster: N123 added (player)"));
}

TEST_F(Scenarios, ReportedPositionsAreDecodedIntoTheRoster) {
  ScenarioRunner& r = Start(
      "control KSEA\njoin N123\n"
      "at 1 pos N123 47.4435 -122.3016 433 164\n"
      "at 2 pos N123 47.4435 -122.3016 433 164 120\n"
      "run 5\n");
  r.RunUntil(1000);
  EXPECT_DOUBLE_EQ(Entry(0).Latitude, 47.4435);
  EXPECT_DOUBLE_EQ(Entry(0).Longitude, -122.3016);
  EXPECT_EQ(Entry(0).Altitude, 433);  // 132 m
  EXPECT_EQ(Entry(0).Heading, 164);   // field 466 of 1024, no variation in this world
  EXPECT_EQ(Entry(0).GroundSpeed, 0);
  r.RunUntil(2000);
  // 120 kt is 61.73 m/s; the station keeps the whole metres: 61 x 1.9438 = 118.6.
  EXPECT_EQ(Entry(0).GroundSpeed, 119);
}

TEST_F(Scenarios, AFlyingPilotReportsItsGreatCircleLeg) {
  ScenarioRunner& r = Start(
      "control KSEA\njoin N1\n"
      "at 10 pos N1 47 -122 1000 0 120\n"
      "at 20 fly N1 48 -122 4000 120\n"  // 60 nm north: 1800 s
      "at 1830 fly N1 48 -121 4000 120\n"
      "run 2500\n");
  r.RunUntil(920000);  // half-way
  EXPECT_NEAR(Entry(0).Latitude, 47.5, 1e-4);
  EXPECT_DOUBLE_EQ(Entry(0).Longitude, -122);
  EXPECT_EQ(Entry(0).Altitude, 2500);
  EXPECT_EQ(Entry(0).Heading, 0);
  EXPECT_EQ(Entry(0).GroundSpeed, 119);
  r.RunUntil(1829000);  // arrived and stopped
  EXPECT_DOUBLE_EQ(Entry(0).Latitude, 48);
  EXPECT_EQ(Entry(0).Altitude, 3999);  // 1219 whole metres
  EXPECT_EQ(Entry(0).GroundSpeed, 0);
  r.RunUntil(2430000);  // east along the parallel's great circle: course 89.6 to 90.4
  EXPECT_EQ(Entry(0).Heading, 90);
  EXPECT_GT(Entry(0).Longitude, -121.51);
  EXPECT_LT(Entry(0).Longitude, -121.49);
  EXPECT_GT(Entry(0).Latitude, 48);  // a great circle bulges toward the pole
}

TEST_F(Scenarios, TheAirportListAnswerIsInTheTranscript) {
  ScenarioRunner& r = Start("control KSEA\nmonitor\njoin N123\nat 12.5 say N123 airpts:\nrun 20\n");
  r.Run();
  EXPECT_TRUE(HasLine("[  12.5] * N123 says: airpts:"));
  EXPECT_TRUE(HasLine("[  12.5] N123 <- N123, List of controlled airports: KSEA (SEATTLE-TACOMA INTL), "));
  // Besides the answer the pilot hears the controller's menu line (the ATC cycle runs while monitoring).
  ASSERT_EQ(r.Pilot("N123")->ReceivedChat().size(), 2u);
  EXPECT_EQ(out_.str().find("[   0.0] * Settings: \"KSEA - SEATTLE-TACOMA INTL\" added"), 0u);
}

TEST_F(Scenarios, TheAtcHookRunsWhileMonitoringAndCopiesAreMarked) {
  int calls = 0;
  auto hook = [&calls](app::ProgramState& s) {
    if (calls++ > 0) return;
    // What the cycle does with one line: to the pilot, then to each other entry that asked for copies.
    for (int i = 0; i < s.Link.PlayerCount; ++i) {
      const session::PlayerRecord& pilot = s.Link.PlayerRoster[static_cast<size_t>(i)];
      if (pilot.Kind != "player") continue;
      session::SendChatLine(s.Link, pilot.Name + ", hello", pilot.PlayerId);
      for (int j = 0; j < s.Link.PlayerCount; ++j) {
        const session::PlayerRecord& other = s.Link.PlayerRoster[static_cast<size_t>(j)];
        if (j != i && other.CopyAllAtcMessages)
          session::SendChatLine(s.Link, pilot.Name + ", hello", other.PlayerId);
      }
    }
  };
  ScenarioRunner& r =
      Start("control KSEA\njoin N1\nobserver OBS1\nat 1 say OBS1 atcmsg:true\nat 5 monitor\nrun 6\n", hook);
  r.RunUntil(5400);
  EXPECT_EQ(calls, 0);
  r.Run();
  EXPECT_EQ(calls, 2);  // the ATC_Timer ticks at 5.5 and 6.0
  EXPECT_TRUE(HasLine("[   5.5] N1 <- N1, hello"));
  EXPECT_TRUE(HasLine("[   5.5] OBS1 (copy) <- N1, hello"));
  EXPECT_EQ(r.Observer("OBS1")->ReceivedChat(), std::vector<std::string>{"N1, hello"});
}

TEST_F(Scenarios, PresentPilotsAreFoundByTheFirstRefresh) {
  ScenarioRunner& r = Start(
      "control KSEA\npresent N9\naircraft N9 Boeing 737-400\npos N9 46.9694 -122.9022 209 170\nrun 61\n");
  r.RunUntil(29900);
  EXPECT_EQ(Count(), 0);  // its reports so far were dropped
  r.RunUntil(30100);      // identification request at 30.0, answered at 30.05, received at 30.1
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(Entry(0).Name, "N9");
  EXPECT_EQ(Entry(0).AircraftKind, "Unknown");
  r.RunUntil(30500);
  EXPECT_DOUBLE_EQ(Entry(0).Latitude, 46.9694);
  r.RunUntil(60100);  // the description is asked only of entries, at the next refresh
  EXPECT_EQ(Entry(0).AircraftKind, "Boeing 737-400");
}

TEST_F(Scenarios, ALeftPilotIsPurgedAtTheNextRefresh) {
  ScenarioRunner& r = Start("control KSEA\njoin N1\njoin N2\nat 40 leave N1\nrun 70\n");
  r.RunUntil(59900);
  EXPECT_EQ(Count(), 2);
  r.RunUntil(60000);
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(Entry(0).Name, "N2");
  EXPECT_TRUE(HasLine("[  60.0] * roster: N1 removed"));
}

TEST_F(Scenarios, WhenTheHostLeavesTheStationHostsIfOthersRemain) {
  ScenarioRunner& r = Start("control KSEA\njoin N1\nat 100 hostleave\nat 110 join N2\nrun 120\n");
  r.Run();
  EXPECT_TRUE(
      HasLine("[ 100.0] [message box, information] Skyvox v2.0: The original host had left the session, "
              "Skyvox is now hosting the session."));
  EXPECT_TRUE(r.State().Link.IsSessionHost);
  EXPECT_TRUE(r.Station()->IsOpen());
  ASSERT_EQ(Count(), 2);  // N2 was admitted by the station itself
  EXPECT_EQ(Entry(1).Name, "N2");
}

TEST_F(Scenarios, WhenTheHostLeavesAloneWithTheStationTheStationCloses) {
  ScenarioRunner& r = Start("control KSEA\nmonitor\nat 10 hostleave\nrun 20\n");
  r.Run();
  EXPECT_TRUE(
      HasLine("[  10.0] [message box, information] Skyvox v2.0: The FS multiplayer connection was lost, "
              "Skyvox closes multiplayer session."));
  EXPECT_TRUE(HasLine("[  10.0] * ATC Station Window closes; the Settings window is shown again"));
  EXPECT_FALSE(r.Station()->IsOpen());
  EXPECT_EQ(r.Station()->Next(), app::NextWindow::Settings);
  EXPECT_EQ(r.State().World.ControlledAirportCount, 0);
  EXPECT_EQ(r.State().Link.Dp, nullptr);
}

TEST_F(Scenarios, TheSampleScenarioPlaysToItsEnd) {
  ScenarioRunner runner(
      ParseScenarioFile((skyvox::testing::SourceRoot() / "data/scenarios/airports_list.txt").string()),
      app_.string(), out_);
  runner.Run();
  const std::string list =
      "List of controlled airports: KSEA (SEATTLE-TACOMA INTL), KOLM (OLYMPIA REGIONAL), "
      "KPDX (PORTLAND INTL), ";
  ASSERT_FALSE(runner.Transcript().empty());
  EXPECT_EQ(runner.Transcript().back(), "[ 460.0] N77 <- N77, " + list);
  EXPECT_TRUE(runner.Station()->IsOpen());
}

}  // namespace
}  // namespace skyvox::sim
