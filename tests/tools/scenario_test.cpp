// The scenario runner against the real station, for what only the station's tables show: the decoded
// positions of pilots parked and in flight, a present pilot's aircraft description, and the tables
// emptied when the session is lost. Transcripts (tests/data/transcripts/runner_*) and runner_test.sh
// play the rest through skyvox-sim.
#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <tuple>

#include "app/config_file.h"
#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"
#include "tools/program_folder.h"

namespace skyvox::sim {
namespace {
namespace fs = std::filesystem;

// A program folder with Seattle-Tacoma and no magnetic variation, written in the test.
class Scenarios : public ::testing::Test {
 protected:
  void SetUp() override {
    scenery::AirportRecord seattle;
    seattle.Ident = "KSEA";
    seattle.Name = "SEATTLE-TACOMA INTL";
    seattle.Latitude = 47.449;
    seattle.Longitude = -122.309306;
    seattle.ElevationFt = 433;
    app_ = skyvox::testing::WriteProgramFolder(dir_, seattle, {47.5, -122.3, 120}).string();
  }

  ScenarioRunner& Start(const std::string& text) {
    std::istringstream in(text);
    runner_ = std::make_unique<ScenarioRunner>(ParseScenario(in), app_, out_);
    runner_->Setup();
    return *runner_;
  }
  const session::PlayerRecord& Entry(int i) {
    return runner_->State().Link.PlayerRoster.at(static_cast<size_t>(i));
  }

  skyvox::testing::TempDir dir_;
  std::string app_;
  std::ostringstream out_;
  std::unique_ptr<ScenarioRunner> runner_;
};

TEST_F(Scenarios, ReportedAndFlownPositionsAreDecodedIntoTheRoster) {
  ScenarioRunner& r = Start(
      "control KSEA\njoin N1\n"
      "at 1 pos N1 47.4435 -122.3016 433 164\n"
      "at 2 pos N1 47.4435 -122.3016 433 164 120\n"
      "at 10 pos N1 47 -122 1000 0 120\n"
      "at 20 fly N1 48 -122 4000 120\n"  // 60 nm north: 1800 s
      "at 1830 fly N1 48 -121 4000 120\n"
      "run 2500\n");
  struct Seen {
    int64_t AtMs;
    double Latitude, LatitudeTolerance, Longitude, LongitudeTolerance;
    int Altitude, Heading, GroundSpeed;
  };
  // Altitudes and speeds are kept in whole metres (per second): 433 ft is 132 m, 4000 ft 1219 m (3999
  // ft); 120 kt is 61.73 m/s, 61 x 1.9438 = 119 kt. Headings have no variation in this world. East
  // along the parallel the great circle bulges toward the pole (course 89.6 to 90.4).
  const Seen table[] = {
      {1000, 47.4435, 0, -122.3016, 0, 433, 164, 0},    // a short report: no speed
      {2000, 47.4435, 0, -122.3016, 0, 433, 164, 119},  // with its speed
      {920000, 47.5, 1e-4, -122, 0, 2500, 0, 119},      // half-way north
      {1829000, 48, 0, -122, 0, 3999, 0, 0},            // arrived and stopped
      {2430000, 48.001, 8e-4, -121.5, 0.01, 3999, 90, 119},
  };
  for (const Seen& s : table) {
    r.RunUntil(s.AtMs);
    SCOPED_TRACE(s.AtMs);
    EXPECT_NEAR(Entry(0).Latitude, s.Latitude, s.LatitudeTolerance);
    EXPECT_NEAR(Entry(0).Longitude, s.Longitude, s.LongitudeTolerance);
    EXPECT_EQ(Entry(0).Altitude, s.Altitude);
    EXPECT_EQ(Entry(0).Heading, s.Heading);
    EXPECT_EQ(Entry(0).GroundSpeed, s.GroundSpeed);
  }
}

TEST_F(Scenarios, APresentPilotIsDescribedOnlyFromTheRefreshAfterItWasFound) {
  ScenarioRunner& r = Start(
      "control KSEA\npresent N9\naircraft N9 Boeing 737-400\npos N9 46.9694 -122.9022 209 170\nrun 61\n");
  r.RunUntil(30100);  // identification request at 30.0, answered at 30.05, received at 30.1
  ASSERT_EQ(r.State().Link.PlayerCount, 1);
  EXPECT_EQ(Entry(0).AircraftKind, "Unknown");
  r.RunUntil(30500);
  EXPECT_DOUBLE_EQ(Entry(0).Latitude, 46.9694);
  r.RunUntil(60100);
  EXPECT_EQ(Entry(0).AircraftKind, "Boeing 737-400");
}

TEST_F(Scenarios, TheSessionLostWhenTheHostLeavesAloneEmptiesTheTables) {
  ScenarioRunner& r = Start("control KSEA\nmonitor\nat 10 hostleave\nrun 20\n");
  r.Run();
  EXPECT_FALSE(r.Station()->IsOpen());
  EXPECT_EQ(r.State().World.ControlledAirportCount, 0);
  EXPECT_EQ(r.State().Link.Dp, nullptr);
}

// The roster comparison against its straightforward search, and the look without a copy against the
// copy, on rosters drawn from a few names, ids and kinds (duplicates, PlayerCount beyond the list or
// negative, the spare last entry).
TEST(RosterChangesCompared, AsTheStraightforwardSearchFinds) {
  std::mt19937 random(3);
  auto roster = [&] {
    std::vector<RosterKey> keys(random() % 7);
    for (RosterKey& k : keys)
      k = {std::string(1, static_cast<char>('A' + random() % 3)), static_cast<int32_t>(random() % 4),
           random() % 2 ? "player" : "observer"};
    return keys;
  };
  auto texts = [](const std::vector<RosterKey>& keys) {
    std::vector<std::string> out;
    for (const RosterKey& k : keys) out.push_back(k.Name + std::to_string(k.Id) + k.Kind);
    return out;
  };
  for (int i = 0; i < 3000; ++i) {
    const std::vector<RosterKey> before = roster(), after = roster();
    const RosterChanges fast = CompareRosters(before, after),
                        plain = CompareRostersStraightforward(before, after);
    ASSERT_EQ(texts(fast.Left), texts(plain.Left));
    ASSERT_EQ(texts(fast.Joined), texts(plain.Joined));
    session::SessionLink link;
    link.PlayerRoster.clear();
    for (const RosterKey& k : after) {
      session::PlayerRecord& r = link.PlayerRoster.emplace_back();
      std::tie(r.Name, r.PlayerId, r.Kind) = std::tie(k.Name, k.Id, k.Kind);
    }
    link.PlayerCount = static_cast<int16_t>(static_cast<int>(random() % 9) - 1);
    ASSERT_EQ(RosterMatches(before, link), RosterKeys(link) == before);
  }
}

}  // namespace
}  // namespace skyvox::sim
