// Whole dialogues as pilots live them: the sample world of the Pacific Northwest written as a
// simulator folder, its database built the real way, then scenarios played through the scenario
// runner against the real station; the lines the station sends are checked as sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "app/config_file.h"
#include "authoring/bgl_writer.h"
#include "authoring/magdec_writer.h"
#include "authoring/world_description.h"
#include "scenery/database_build.h"
#include "scenery/database_files.h"
#include "sim/scenario.h"
#include "support/temp_dir.h"

namespace skyvox::atc {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::SourceRoot;
using skyvox::testing::TempDir;

// A program folder whose database is built from a world description, the real way.
class BuiltWorld {
 public:
  explicit BuiltWorld(const authoring::WorldDescription& world) {
    const std::string sim = (dir_.Path() / "FS2002").string();
    authoring::WriteSceneryFolder(world, sim, authoring::BuildMagdecBgl(geo::MagVarGrid{}));
    app_ = (dir_.Path() / "Skyvox").string();
    fs::create_directories(app_);
    fs::copy_file(SourceRoot() / "data/world_terrain.db", fs::path(app_) / scenery::kTerrainFileName);
    scenery::WorldTables tables;
    tables.AppFolder = app_;
    tables.SimFolder = sim;
    scenery::DatabaseBuild build(tables);
    build.Start();
    while (build.Tick()) {
    }
    app::WriteConfigFile(app_, {sim, tables.AirportCount, tables.AirspaceCount});
  }
  const std::string& App() const { return app_; }

 private:
  TempDir dir_;
  std::string app_;
};

const BuiltWorld& Sample() {
  static const BuiltWorld world(authoring::ReadWorldDescription(SourceRoot() / "data/sample_world.txt"));
  return world;
}

// Two airports whose names have no blanks, so that flight plans can name them; ALPHA has clearance
// delivery, BRAVO has not. BRAVO stands where the caller puts it, with its runway 34 as given.
authoring::WorldDescription TwoAirports(const std::string& bravoAt, const std::string& bravoRunway) {
  return authoring::ParseWorldDescription(
      "AREA Scenery\\Test Test Airports\nFILE test.bgl\nAIRPORT KAAA 47.0 -122.0 100 ALPHA\n"
      "FREQ CLEARANCE 128.0 ALPHA CLEARANCE\nFREQ GROUND 121.7 ALPHA GROUND\nFREQ TOWER 119.9 ALPHA TOWER\n"
      "FREQ APPROACH 119.2 ALPHA APPROACH\nRUNWAY 16 8000 150\nEND 16 47.01 -122.0 100 180\nAIRPORT KBBB " +
      bravoAt + " BRAVO\nFREQ GROUND 121.8 BRAVO GROUND\nFREQ TOWER 118.3 BRAVO TOWER\n" + bravoRunway +
      "AIRSPACE 49 45 -120 -124 -1 -1 125.1 SEATTLE CENTER\n");
}
const BuiltWorld& Plans() {
  static const BuiltWorld world(
      TwoAirports("47.5 -122.0 200", "RUNWAY 34 6000 100\nEND 34 47.49 -122.0 200 0\n"));
  return world;
}
// BRAVO 30 nm north with an ILS on runway 34, for a whole IFR flight.
const BuiltWorld& Flight() {
  static const BuiltWorld world(
      TwoAirports("47.5 -122.3 200", "RUNWAY 34 6000 100 ILS 110.5\nEND 34 47.49 -122.295 200 340\n"));
  return world;
}

// The chat lines of the transcript (session events and message boxes left out).
std::vector<std::string> Lines(const std::string& scenario, const BuiltWorld& world = Sample()) {
  std::istringstream in(scenario);
  std::ostringstream out;
  sim::ScenarioRunner runner(sim::ParseScenario(in), world.App(), out);
  runner.Run();
  std::vector<std::string> lines;
  for (const std::string& line : runner.Transcript()) {
    if (line.find("] * ") == std::string::npos && line.find("[message box") == std::string::npos) {
      lines.push_back(line);
    }
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// True when each text stands in some line, in this order.
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& texts) {
  auto at = lines.begin();
  for (const std::string& text : texts) {
    at = std::find_if(at, lines.end(),
                      [&](const std::string& l) { return l.find(text) != std::string::npos; });
    if (at == lines.end()) return false;
    ++at;
  }
  return true;
}

// Script lines in which the pilot picks option 1 at each of the times.
std::string Ones(const std::string& who, std::initializer_list<double> times) {
  std::ostringstream out;
  for (const double t : times) out << "at " << t << " say " << who << " 1\n";
  return out.str();
}

constexpr const char* kOlympiaGroundMenu =
    "Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Request Taxi for Takeoff 2-Request Taxi to Gate "
    "3-Request Taxi to Parking ";
const std::string kTower = "Choose an option for OLYMPIA TOWER Tower on 124.4: ";

TEST(AtcScenarios, TheRoadOfOneRequest) {
  const auto lines =
      Lines("control KOLM\nmonitor\njoin N123\nat 0 pos N123 46.969837 -122.906598 209 90 0\n" +
            Ones("N123", {2, 4, 6, 8}) + "run 10\n");  // N123 stands at GATE 2
  const std::vector<std::string> expected = {
      "[   0.5] N123 <- N123,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6 2-Select a controlled "
      "airport 3-Tune SEATTLE CENTER Center on 128.3 ",
      std::string("[   2.0] N123 <- N123,  ") + kOlympiaGroundMenu,
      "[   4.0] N123 <- N123, taxi to and hold short on runway 17 using taxiway B A A1 . Contact tower on "
      "124.4 when ready. If you are not familiar with the airport then taxi using any taxiway. Choose an "
      "option for OLYMPIA GROUND Ground on 121.6: 1-Acknowledge Taxi Clearance ",
      "[   6.0] N123 <- N123,  Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Tune OLYMPIA TOWER "
      "Tower on 124.4 ",
      "[   8.0] N123 <- N123,  " + kTower + "1-Request Takeoff Clearance VFR ",
  };
  EXPECT_EQ(lines, expected);
}

TEST(AtcScenarios, AnObserverGetsCopiesAndARepeatResendsTheLine) {
  const auto lines = Lines(
      "control KOLM\nmonitor\njoin N123\nobserver OBS\nat 0 pos N123 46.969837 -122.906598 209 90 0\n"
      "at 1 say OBS atcmsg:true\nat 2 say N123 1\nat 4 say N123 repeat:\nrun 6\n");
  const std::string menu = std::string("N123,  ") + kOlympiaGroundMenu;
  for (const char* at : {"[   2.0] ", "[   4.0] "}) {
    EXPECT_TRUE(Has(lines, at + ("N123 <- " + menu))) << at;
    EXPECT_TRUE(Has(lines, at + ("OBS (copy) <- " + menu))) << at;
  }
  // The observer itself is no pilot: it is sent no menu of its own.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("OBS <- ") != std::string::npos; }),
            0);
}

TEST(AtcScenarios, IfrClearanceWithAndWithoutClearanceDelivery) {
  const auto lines = Lines(
      "control KAAA\ncontrol KBBB\nmonitor\njoin N1\njoin N2\n"
      "at 0 pos N1 47.0 -122.0 100 180 0\nat 0 pos N2 47.5 -122.0 200 0 0\n"
      "at 1 say N1 pst_fp:IFR,ALPHA,BRAVO,9000\nat 1 say N2 pst_fp:IFR,BRAVO,ALPHA,7000\n" +
          Ones("N1", {2, 4, 6, 8}) + Ones("N2", {2, 4, 6, 8}) + "run 10\n",
      Plans());
  const std::vector<std::string> expected = {
      "[   0.5] N1 <- N1,  Choose an option: 1-Tune ALPHA GROUND Ground on 121.7 2-Select a controlled "
      "airport 3-Tune SEATTLE CENTER Center on 125.1 ",
      "[   0.5] N2 <- N2,  Choose an option: 1-Tune BRAVO GROUND Ground on 121.8 2-Select a controlled "
      "airport 3-Tune SEATTLE CENTER Center on 125.1 ",
      // With a plan: clearance delivery where there is one, else ground.
      "[   1.0] N1 <- N1,  Choose an option: 1-Tune ALPHA CLEARANCE Clearance on 128 ",
      "[   1.0] N2 <- N2,  Choose an option: 1-Tune BRAVO GROUND Ground on 121.8 ",
      "[   2.0] N1 <- N1,  Choose an option for ALPHA CLEARANCE Clearance on 128: 1-Request IFR Clearance ",
      "[   2.0] N2 <- N2,  Choose an option for BRAVO GROUND Ground on 121.8: 1-Request IFR Clearance ",
      "[   4.0] N1 <- N1, is cleared to BRAVO airport as filed. Fly runway heading, climb and maintain 9000. "
      "Departure frequency is 125.1, squawk 0231. Choose an option for ALPHA CLEARANCE Clearance on 128: "
      "1-Acknowledge IFR Clearance ",
      "[   4.0] N2 <- N2, is cleared to ALPHA airport as filed. Fly runway heading, climb and maintain 7000. "
      "Departure frequency is 125.1, squawk 0231. Choose an option for BRAVO GROUND Ground on 121.8: "
      "1-Acknowledge IFR Clearance ",
      "[   6.0] N1 <- N1, readback is correct. Contact ground on 121.7. Good day. Choose an option for ALPHA "
      "CLEARANCE Clearance on 128: 1-Tune ALPHA GROUND Ground on 121.7 ",
      "[   6.0] N2 <- N2, readback is correct. Request taxi. Good day. Choose an option for BRAVO GROUND "
      "Ground on 121.8: 1-Request Taxi IFR 2-Cancel IFR ",
      "[   8.0] N1 <- N1,  Choose an option for ALPHA GROUND Ground on 121.7: 1-Request Taxi IFR 2-Cancel "
      "IFR ",
      // Without a taxi network ground gives the short instruction.
      "[   8.0] N2 <- N2, taxi to and hold short on runway 34. Contact tower on 118.3 when ready. Choose an "
      "option for BRAVO GROUND Ground on 121.8: 1-Acknowledge Taxi Clearance ",
  };
  EXPECT_EQ(lines, expected);
}

TEST(AtcScenarios, AVfrDepartureWithASecondPilotHoldingShort) {
  const auto lines = Lines(
      "control KOLM\nmonitor\njoin N1\njoin N2\n"
      "at 0 pos N1 46.976121 -122.902116 209 186 0\nat 0 pos N2 46.976196 -122.903165 209 186 0\n" +
      Ones("N1", {1, 3, 5, 7, 9, 11}) + Ones("N2", {1, 3.5, 5.5, 7.5, 9.5, 11.5}) +
      "at 13 fly N1 46.90 -122.91 1500 90\nrun 70\n");
  EXPECT_TRUE(Has(
      lines, "[   9.0] N1 <- N1, cleared for takeoff. " + kTower + "1-Acknowledge Takeoff Clearance VFR "));
  EXPECT_TRUE(Has(lines, "[   9.5] N2 <- N2, hold short. " + kTower + "1-Acknowledge Hold Short "));
  // Once the first is airborne and clear of the runway, the second is cleared on its own.
  const auto cleared = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("N2 <- N2, cleared for takeoff.") != std::string::npos;
  });
  ASSERT_NE(cleared, lines.end());
  EXPECT_GT(*cleared, std::string("[  13.0]"));
}

TEST(AtcScenarios, PatternLandingsAreNumberedInTheirOrder) {
  const auto lines = Lines(
      "control KOLM\nmonitor\njoin N1\njoin N2\n"
      "at 0 pos N1 47.10 -122.90 2000 180 100\nat 0 pos N2 47.12 -122.95 2500 180 100\n" +
      Ones("N1", {1, 3, 5, 7, 9}) + Ones("N2", {1.5, 3.5, 5.5, 7.5, 9.5}) +
      "at 11 fly N1 46.98 -122.90 1000 90\nat 11 fly N2 47.00 -122.90 1500 90\n" + Ones("N2", {200, 202}) +
      "run 205\n");
  EXPECT_TRUE(
      Has(lines, "[   3.0] N1 <- N1,  Choose an option: 1-Tune OLYMPIA TOWER Tower on 124.4 2-Back "));
  EXPECT_TRUE(Has(lines, "[   5.0] N1 <- N1,  " + kTower +
                             "1-Request Full Stop Landing 2-Tune SEATTLE APPROACH Approach on 120.1 "));
  // The landing clearance comes in a line without options, then again with them on the next tick.
  EXPECT_TRUE(Has(lines,
                  "[   7.0] N1 <- N1, cleared to land on runway 17. Number 1 for landing. <No messages to "
                  "transmit to the ATC by this moment>"));
  EXPECT_TRUE(Has(lines, "[   7.5] N1 <- N1, cleared to land on runway 17. Number 1 for landing. " + kTower +
                             "1-Acknowledge Landing Clearance "));
  // North of the field on the approach side of runway 17: straight in.
  EXPECT_TRUE(Has(
      lines, "[   7.5] N2 <- N2, make straight in runway 17. " + kTower + "1-Cancel Landing Intentions "));
  EXPECT_TRUE(Has(lines, "[   9.5] N2 <- N2, your cancelation is received. " + kTower +
                             "1-Request Full Stop Landing 2-Tune SEATTLE APPROACH Approach on 120.1 "));
  EXPECT_TRUE(Has(lines, "[ 200.5] N2 <- N2, cleared to land on runway 17. Number 2 for landing. " + kTower +
                             "1-Acknowledge Landing Clearance "));
  EXPECT_TRUE(Has(lines, "[ 202.0] N2 <- N2,  " + kTower + "1-Report Go-Around "));
}

TEST(AtcScenarios, GoAroundWhileTheRunwayIsBusy) {
  const auto lines =
      Lines("control KOLM\nmonitor\njoin N1\njoin N2\nat 0 pos N2 46.976121 -122.902116 209 186 0\n" +
            Ones("N2", {1, 3, 5, 7, 9, 11}) + "at 10 pos N1 47.01 -122.905 1200 186 90\n" +
            Ones("N1", {11, 13, 15, 17, 19}) + "at 20 fly N1 46.976 -122.901 800 90\nrun 21\n");
  // N2 was cleared for takeoff and is taking off: N1, within 2 nm on final, is sent around.
  EXPECT_TRUE(Has(
      lines, "[   9.0] N2 <- N2, cleared for takeoff. " + kTower + "1-Acknowledge Takeoff Clearance VFR "));
  EXPECT_TRUE(Has(lines, "[  17.5] N1 <- N1, cleared to land on runway 17. Number 1 for landing. " + kTower +
                             "1-Acknowledge Landing Clearance "));
  EXPECT_TRUE(
      Has(lines, "[  19.0] N1 <- N1, go around. <No messages to transmit to the ATC by this moment>"));
  EXPECT_TRUE(Has(lines, "[  19.5] N1 <- N1, go around. " + kTower + "1-Acknowledge Go-Around "));
}

TEST(AtcScenarios, AWholeIfrFlightFromClearanceToTheGroundHandoff) {
  const auto lines = Lines(
      "control KAAA\ncontrol KBBB\nmonitor\njoin N1\nat 0 pos N1 47.0 -122.0 100 180 0\n"
      "at 1 say N1 pst_fp:IFR,ALPHA,BRAVO,9000\n" +
          Ones("N1", {2, 4, 6, 8, 10, 12, 14, 16, 18, 20}) + "at 22 fly N1 46.95 -122.05 3000 150\n" +
          Ones("N1", {60, 62, 64}) + "at 66 fly N1 47.38 -122.236 3000 250\n" + Ones("N1", {378, 380}) +
          "at 382 fly N1 47.49 -122.295 250 150\n" + Ones("N1", {393, 395, 441}) +
          "at 630 fly N1 47.4905 -122.290 200 15\n" + Ones("N1", {680}) + "run 700\n",
      Flight());
  // Released to its own navigation, then vectored to the ILS: every line up to the handoff to the
  // centre, exactly, with nothing else sent in between.
  const std::vector<std::string> departure = {
      "[  16.0] N1 <- N1, cleared for takeoff. Choose an option for ALPHA TOWER Tower on 119.9: "
      "1-Acknowledge Takeoff Clearance IFR ",
      "[  43.5] N1 <- N1, contact departure on 119.2. <No messages to transmit to the ATC by this moment>",
      "[  44.0] N1 <- N1, contact departure on 119.2. Choose an option for ALPHA TOWER Tower on 119.9: "
      "1-Acknowledge Handoff ",
      "[  60.0] N1 <- N1,  Choose an option: 1-Tune ALPHA APPROACH Departure on 119.2 ",
      "[  62.5] N1 <- N1, climb and maintain 9000 ft. Resume and maintain own navigation. <No messages to "
      "transmit to the ATC by this moment>",
      "[  63.0] N1 <- N1, climb and maintain 9000 ft. Resume and maintain own navigation. Choose an option "
      "for ALPHA APPROACH Departure on 119.2: 1-Acknowledge Instruction ",
      // First contact on the approach side: the vector altitude clears the highest terrain (2917 ft).
      "[  64.5] N1 <- N1, you are 33 miles south. Turn right heading 341, Climb and maintain 4917 ft. Expect "
      "vectors for the ILS runway 34 (110.5 Mhz) approach. Choose an option for ALPHA APPROACH Approach on "
      "119.2: 1-Cancel IFR ",
      "[ 157.0] N1 <- N1, turn right heading 341. Climb and maintain 3319 ft. Choose an option for ALPHA "
      "APPROACH Approach on 119.2: 1-Cancel IFR ",
      "[ 171.5] N1 <- N1, you are 26 miles south. Turn right heading 341, Climb and maintain 2200 ft. "
      "Cleared for the ILS runway 34 approach. Maintain 2200 ft until established on the localizer. Choose "
      "an option for ALPHA APPROACH Approach on 119.2: 1-Cancel IFR ",
      // Out of the departure airport's approach area: handed to the centre.
      "[ 376.5] N1 <- N1, contact SEATTLE CENTER Center on 125.1. Good day. Choose an option for ALPHA "
      "APPROACH Approach on 119.2: 1-Acknowledge Handoff ",
  };
  const auto handedToCentre = std::find(lines.begin(), lines.end(), departure.back());
  ASSERT_GE(handedToCentre - lines.begin() + 1, static_cast<std::ptrdiff_t>(departure.size()));
  EXPECT_EQ(std::vector<std::string>(handedToCentre + 1 - static_cast<std::ptrdiff_t>(departure.size()),
                                     handedToCentre + 1),
            departure);
  EXPECT_TRUE(InOrder(
      lines,
      {
          "N1 <- N1, is cleared to BRAVO airport as filed.",
          "N1 <- N1, readback is correct. Contact ground on 121.7.",
          "N1 <- N1, taxi to and hold short on runway 16.",
          "N1 <- N1, cleared for takeoff.",
          "N1 <- N1, contact departure on 119.2.",
          "N1 <- N1, climb and maintain 9000 ft. Resume and maintain own navigation.",
          "Expect vectors for the ILS runway 34 (110.5 Mhz) approach.",
          "Cleared for the ILS runway 34 approach. Maintain 2200 ft until established on the localizer.",
          "N1 <- N1, contact SEATTLE CENTER Center on 125.1. Good day.",
          "Choose an option for SEATTLE CENTER Center on 125.1:",
          "N1 <- N1, contact BRAVO TOWER Tower on 118.3. Good day.",
          "N1 <- N1, make straight in runway 34.",
          "N1 <- N1, cleared to land on runway 34. Number 1 for landing.",
          "N1 <- N1, exit runway when able.",
          "N1 <- N1, contact ground on 121.8.",
          "N1 <- N1,  Choose an option: 1-Tune BRAVO GROUND Ground on 121.8 ",
      }))
      << ::testing::PrintToString(lines);
}
TEST(AtcScenarios, FlightFollowingWithATrafficAlert) {
  const auto lines = Lines(
      "control KSEA\nmonitor\njoin N1\njoin N2\nat 0 pos N1 47.55 -122.31 3000 180 120\n"
      "at 0 pos N2 47.75 -122.31 3500 180 0\nat 2 say N1 2\n" +
      Ones("N1", {4, 6, 8}) + "at 20 pos N2 47.565 -122.31 3200 180 100\nat 24 say N1 1\nrun 30\n");
  const std::string approach = "Choose an option for SEATTLE APPROACH Approach on 119.2: ";
  const std::vector<std::string> expected = {
      "[   0.5] N1 <- N1,  Choose an option: 1-Select a controlled airport 2-Tune SEATTLE APPROACH Approach "
      "on 119.2 ",
      "[   2.0] N1 <- N1,  " + approach + "1-Request Flight Following 2-Select a controlled airport ",
      "[   4.0] N1 <- N1, squawk 7372. " + approach + "1-Acknowledge Squawk Code ",
      "[   6.0] N1 <- N1, radar contact 6 miles away from KSEA, 2999 ft. " + approach +
          "1-Acknowledge Radar Contact ",
      "[   8.0] N1 <- N1,  " + approach + "1-Cancel Flight Following 2-Select a controlled airport ",
      // N2 appears 0.9 nm behind and 200 ft above: an alert, its type not known before the first refresh.
      "[  20.0] N1 <- N1, TRAFFIC ALERT!, 1 miles, six o'clock, 3199 ft, type Unknown. Avoid traffic and "
      "report them. " +
          approach + "1-Report traffic in sight 2-Report traffic not in sight ",
      "[  24.0] N1 <- N1,  " + approach + "1-Cancel Flight Following 2-Select a controlled airport ",
  };
  std::vector<std::string> pilot;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(pilot),
               [](const std::string& l) { return l.find("] N1 <- ") != std::string::npos; });
  EXPECT_EQ(pilot, expected);
}

TEST(AtcScenarios, AHandoffBetweenTwoApproachAreas) {
  const auto lines = Lines(
      "control KSEA\ncontrol KOLM\nmonitor\njoin N1\nat 0 pos N1 47.40 -122.40 3000 220 200\nat 2 say N1 "
      "2\n" +
      Ones("N1", {4, 6, 8}) +
      "at 10 fly N1 46.97 -122.90 3000 300\nat 220 say N1 1\nat 222 say N1 2\nrun 240\n");
  EXPECT_TRUE(InOrder(lines,
                      {
                          "N1 <- N1, radar contact 5 miles away from KSEA, 2999 ft.",
                          "N1 <- N1, contact SEATTLE APPROACH Approach on 120.1. Good day. Choose an option "
                          "for SEATTLE APPROACH Approach on 119.2: 1-Acknowledge Handoff ",
                          "N1 <- N1,  Choose an option: 1-Select a controlled airport 2-Tune SEATTLE "
                          "APPROACH Approach on 120.1 ",
                          // Olympia's approach carries on with the flight following.
                          "N1 <- N1,  Choose an option for SEATTLE APPROACH Approach on 120.1: 1-Cancel "
                          "Flight Following 2-Select a controlled airport ",
                      }))
      << ::testing::PrintToString(lines);
}

TEST(AtcScenarios, TakingOffOnTheGroundFrequency) {
  const auto lines = Lines(
      "control KOLM\nmonitor\njoin N1\nat 0 pos N1 46.969837 -122.906598 209 90 0\n"
      "at 2 say N1 1\nat 4 fly N1 47.0 -122.9 1500 120\nrun 15\n");
  const std::vector<std::string> after = {
      "[  13.0] N1 <- N1, you were not cleared for takeoff. <No messages to transmit to the ATC by this "
      "moment>",
      "[  13.5] N1 <- N1,  <No messages to transmit to the ATC by this moment>",
      "[  14.0] N1 <- N1,  Choose an option: 1-Select a controlled airport 2-Tune SEATTLE APPROACH Approach "
      "on 120.1 ",
  };
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), after);
}

}  // namespace
}  // namespace skyvox::atc
