// Arbitrary text as a scenario file: it parses or raises a ScenarioError naming a line of the file. A
// scenario that parses controls an airport and has its timed lines in time order within the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "sim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::sim;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  Scenario s;
  try {
    s = ParseScenario(in);
  } catch (const ScenarioError& e) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    if (e.Line() < 1 || e.Line() > lines) __builtin_trap();
    return 0;
  }
  if (s.Controlled.empty() || s.EndMs < 0 || s.EndMs > Scenario::kMaxTimeMs) __builtin_trap();
  int64_t last = 0;
  for (const TimedCommand& c : s.Commands) {
    if (c.TimeMs < last || c.TimeMs > s.EndMs) __builtin_trap();
    last = c.TimeMs;
  }
  return 0;
}
