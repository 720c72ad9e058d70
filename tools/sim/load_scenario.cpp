#include "sim/load_scenario.h"

#include <cstdio>
#include <stdexcept>

namespace skyvox::sim {

namespace {

// SplitMix64, so that the text does not depend on the standard library's distributions.
class Draw {
 public:
  explicit Draw(uint64_t seed) : state_(seed) {}
  double Uniform(double low, double high) {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return low + (high - low) * static_cast<double>(z >> 11) / static_cast<double>(1ULL << 53);
  }

 private:
  uint64_t state_;
};

// Seconds with millisecond precision: "12.345".
std::string At(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "at %lld.%03lld ", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

std::string Point(Draw& draw) {
  char text[64];
  // The Puget Sound and Willamette valley, where the sample world's airports lie.
  std::snprintf(text, sizeof text, "%.5f %.5f %d", draw.Uniform(45.4, 48.9), draw.Uniform(-123.6, -121.6),
                static_cast<int>(draw.Uniform(20, 110)) * 100);
  return text;
}

}  // namespace

std::string LoadScenarioText(const LoadShape& shape) {
  if (shape.Pilots < 1 || shape.Pilots > 9999 || shape.Seconds < 90 || shape.Seconds > 86400 ||
      shape.LegSeconds < 1 || shape.ChatSeconds < 1) {
    throw std::invalid_argument("a load needs 1 to 9999 pilots, 90 to 86400 seconds and positive periods");
  }
  Draw draw(shape.Seed);
  std::string text = "# " + std::to_string(shape.Pilots) + " scripted pilots for " +
                     std::to_string(shape.Seconds) + " s: positions, legs and chat\n";
  for (const char* ident : {"KSEA", "KOLM", "KBFI", "KBLI", "KPDX"})
    text += std::string("control ") + ident + "\n";
  text += "maxplayers 0\nmonitor\nobserver OBS\nat 1 say OBS atcmsg:true\n";
  const int64_t endMs = int64_t{shape.Seconds} * 1000;
  static const char* const kChat[] = {"1", "2", "hello", "1", "3", "1"};
  for (int i = 0; i < shape.Pilots; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "L%04d", i + 1);
    const int64_t joinMs = int64_t{i} * 60000 / shape.Pilots;
    text += At(joinMs) + "join " + name + "\n";
    char heading[48];
    std::snprintf(heading, sizeof heading, " %d %d", static_cast<int>(draw.Uniform(0, 360)),
                  static_cast<int>(draw.Uniform(90, 160)));
    text += At(joinMs) + "pos " + name + " " + Point(draw) + heading + "\n";
    // Every fiftieth pilot closes its simulator half a minute before the end.
    const bool leaves = i % 50 == 49;
    const int64_t quietMs = leaves ? endMs - 30000 : endMs - 1000;
    for (int64_t t = joinMs + 5000; t < quietMs; t += int64_t{shape.LegSeconds} * 1000) {
      char speed[16];
      std::snprintf(speed, sizeof speed, " %d", static_cast<int>(draw.Uniform(90, 160)));
      text += At(t) + "fly " + name + " " + Point(draw) + speed + "\n";
    }
    const int64_t chatMs = int64_t{shape.ChatSeconds} * 1000;
    int k = i;
    for (int64_t t = joinMs + 2000 + static_cast<int64_t>(draw.Uniform(0, static_cast<double>(chatMs)));
         t < quietMs; t += chatMs) {
      const std::string line = kChat[k++ % 6];
      text += At(t) + "say " + name + " " + (line == "hello" ? line + " from " + name : line) + "\n";
    }
    if (leaves) text += At(endMs - 30000) + "leave " + name + "\n";
  }
  text += "run " + std::to_string(shape.Seconds) + "\n";
  return text;
}

}  // namespace skyvox::sim
