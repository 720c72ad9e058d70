// Network mode's division of a scenario among processes: which lines each participant process plays
// (one process per join or virtual pilot, a name that joins again being a new one), who counts as the
// station, and the port range option.
#include "sim/network_mode.h"

#include <gtest/gtest.h>

#include <sstream>

namespace skyvox::sim {
namespace {

Scenario Parse(const std::string& text) {
  std::istringstream in(text);
  return ParseScenario(in);
}

std::vector<int> LinesOf(const ParticipantScript& script) {
  std::vector<int> lines;
  for (const TimedCommand& c : script.Lines) lines.push_back(c.Line);
  return lines;
}

// The comments give the line numbers.
const char* const kScenario =
    "control KOLM\n"                // 1
    "present P1\n"                  // 2
    "at 5 join N1\n"                // 3
    "at 5 pos N1 47 -122 200 90\n"  // 4: same time as the join, after it in the file
    "at 8 say N1 hello there\n"     // 5
    "at 9 say P1 1\n"               // 6
    "at 20 leave N1\n"              // 7
    "at 25 say N1 back again\n"     // 8: N1 joined again at 24 (line 13)
    "at 2 observer OBS\n"           // 9
    "at 30 hostleave\n"             // 10
    "at 40 drop OBS\n"              // 11
    "run 60\n"                      // 12
    "at 24 join N1\n"               // 13
    "at 50 say N1 still here\n";    // 14

TEST(NetworkScript, EachJoinIsOneProcessWithItsOwnLinesUpToItsLeave) {
  const Scenario s = Parse(kScenario);
  const ParticipantScript first = ScriptFor(s, 3);
  EXPECT_EQ(first.Name, "N1");
  EXPECT_FALSE(first.IsObserver);
  EXPECT_FALSE(first.Present);
  EXPECT_FALSE(first.Flight);
  EXPECT_EQ(first.JoinMs, 5000);
  EXPECT_EQ(LinesOf(first), (std::vector<int>{4, 5, 7}));

  const ParticipantScript second = ScriptFor(s, 13);
  EXPECT_EQ(second.JoinMs, 24000);
  EXPECT_EQ(LinesOf(second), (std::vector<int>{8, 14}));

  const ParticipantScript present = ScriptFor(s, 2);
  EXPECT_TRUE(present.Present);
  EXPECT_EQ(present.JoinMs, 0);
  EXPECT_EQ(LinesOf(present), (std::vector<int>{6}));

  const ParticipantScript observer = ScriptFor(s, 9);
  EXPECT_TRUE(observer.IsObserver);
  EXPECT_EQ(observer.JoinMs, 2000);
  EXPECT_EQ(LinesOf(observer), (std::vector<int>{11}));
  EXPECT_EQ(observer.Lines.back().What, Verb::Drop);
}

TEST(NetworkScript, TheSessionsEndEndsEveryScriptAndOtherLinesDeclareNoOne) {
  const Scenario s = Parse(
      "control KOLM\n"
      "at 0 join N1\n"
      "at 1 say N1 one\n"
      "at 10 endsession\n"
      "run 20\n");
  EXPECT_EQ(LinesOf(ScriptFor(s, 2)), (std::vector<int>{3}));
  for (int line : {1, 3, 4, 5, 99}) EXPECT_THROW(ScriptFor(s, line), std::invalid_argument) << line;
}

TEST(NetworkScript, AVirtualPilotIsAPilotProcessWithItsIntention) {
  const Scenario s = Parse(
      "control KOLM\ncontrol KBLI\n"
      "at 1 pilot N1 ifr KBLI KOLM 9000 from gate 2\n"  // 3
      "at 5 say N1 hello\n"                             // 4
      "at 9 leave N1\n"                                 // 5
      "run 30 until flights end\n");
  const ParticipantScript pilot = ScriptFor(s, 3);
  EXPECT_FALSE(pilot.IsObserver);
  EXPECT_EQ(pilot.JoinMs, 1000);
  EXPECT_EQ(LinesOf(pilot), (std::vector<int>{4, 5}));
  ASSERT_TRUE(pilot.Flight);
  EXPECT_EQ(DescribeIntention(*pilot.Flight), "ifr KBLI KOLM 9000 from gate 2");
  EXPECT_TRUE(IsScenarioName(s, "N1"));
}

TEST(NetworkScript, EveryoneButTheScenariosParticipantsAndHostIsTheStation) {
  const Scenario s = Parse(std::string(kScenario) + "host Big Host\n");
  for (const char* name : {"P1", "N1", "OBS", "Big Host"}) EXPECT_TRUE(IsScenarioName(s, name)) << name;
  for (const char* name : {"AI_Controller", "HOST", "n1", ""}) EXPECT_FALSE(IsScenarioName(s, name)) << name;
}

TEST(PortRange, FirstAndLastWithinThePortNumbers) {
  EXPECT_EQ(ParsePortRange("2300-2400"), (std::pair<uint16_t, uint16_t>{2300, 2400}));
  EXPECT_EQ(ParsePortRange("1-65535"), (std::pair<uint16_t, uint16_t>{1, 65535}));
  EXPECT_EQ(ParsePortRange("7000-7000"), (std::pair<uint16_t, uint16_t>{7000, 7000}));
  for (const char* bad : {"", "2300", "2300-", "-2400", "2400-2300", "0-10", "10-65536", "a-b", "10-20x",
                          "10--20", " 10-20", "4294967306-4294967316"}) {
    EXPECT_THROW(ParsePortRange(bad), std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace skyvox::sim
