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

// Soak scenarios: a steady crowd of virtual pilots over the sample world's nine airports for a long
// run. Each of `Pilots` places is held by one pilot after another: a pilot joins with a random
// intention (pattern, cross-country, IFR by flight plan, flight following, a departure without
// clearance), stays for a random time, then leaves or loses its connection, and the next joins a
// little later. While in the session each pilot also types random lines of its own: menu digits
// (often wrong or out of range), "0", two digits, letters, "repeat:" in any case, every chat command
// well and badly formed, greetings, long and non-ASCII lines. Two observers take copies.
struct SoakShape {
  int Pilots = 300;
  int Seconds = 7200;
  int ChatSeconds = 150;      // a pilot's random lines come this often on average
  int MinStaySeconds = 1200;  // how long a pilot stays: drawn between these
  int MaxStaySeconds = 4200;
  int JoinRampSeconds = 300;  // the first pilots join over this span
  uint64_t Seed = 1;
};

std::string SoakScenarioText(const SoakShape& shape);

}  // namespace skyvox::sim
