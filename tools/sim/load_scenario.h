// Load scenarios: many scripted pilots over the sample world who join within the first minute, report
// their positions while flying great-circle legs, and type chat lines (menu digits and greetings) at
// their own pace, with an observer taking copies. They are what load tests of the station play: the
// text is a function of its parameters alone, so a load replays the same everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace skyvox::sim {

struct LoadShape {
  int Pilots = 500;
  int Seconds = 300;     // the run's length
  int LegSeconds = 60;   // a pilot turns to a new point this often
  int ChatSeconds = 20;  // and types a line this often
  uint64_t Seed = 1;
};

// The scenario's text (control lines for the sample world's five towered airports, no player limit).
std::string LoadScenarioText(const LoadShape& shape);

}  // namespace skyvox::sim
