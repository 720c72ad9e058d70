#include "sim/load_scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

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
  // 0 .. n - 1.
  int Below(int n) { return std::min(n - 1, static_cast<int>(Uniform(0, n))); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
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

// The sample world's airports (data/sample_world.txt) and the spots a pilot may start from.
struct SoakAirport {
  const char* Ident;
  double Latitude;
  double Longitude;
  std::vector<std::string> Spots;  // "from ..." words; "ramp" everywhere
};

const std::vector<SoakAirport>& SoakAirports() {
  static const std::vector<SoakAirport> airports = {
      {"KSEA", 47.449, -122.309, {"ramp"}},
      {"KBFI", 47.530, -122.302, {"ramp"}},
      {"KRNT", 47.493, -122.216, {"ramp"}},
      {"KPAE", 47.906, -122.282, {"ramp"}},
      {"KBLI", 48.793, -122.538, {"ramp"}},
      {"KOLM", 46.969, -122.902, {"ramp", "gate 1", "gate 2", "parking 1", "parking 2", "parking 3"}},
      {"KPDX", 45.589, -122.598, {"ramp"}},
      {"KGEG", 47.620, -117.534, {"ramp"}},
      {"KYKM", 46.568, -120.544, {"ramp"}},
  };
  return airports;
}

double ApartNm(const SoakAirport& a, const SoakAirport& b) {
  const double rad = 3.14159265358979 / 180;
  const double x = (b.Longitude - a.Longitude) * rad * std::cos((a.Latitude + b.Latitude) / 2 * rad);
  const double y = (b.Latitude - a.Latitude) * rad;
  return std::sqrt(x * x + y * y) * 3440.065;
}

// A random intention and start spot: "vfr KOLM pattern from gate 1", "ifr KBLI KOLM 9000 from ramp".
std::string SoakIntention(Draw& draw) {
  const auto& airports = SoakAirports();
  const SoakAirport& from = airports[static_cast<size_t>(draw.Below(static_cast<int>(airports.size())))];
  // Destinations within a light aircraft's hour or so.
  std::vector<const SoakAirport*> near;
  for (const SoakAirport& a : airports) {
    if (&a != &from && ApartNm(from, a) <= 130) near.push_back(&a);
  }
  const std::string spot =
      " from " + from.Spots[static_cast<size_t>(draw.Below(static_cast<int>(from.Spots.size())))];
  const double kind = draw.Uniform(0, 100);
  const std::string to =
      near.empty() ? from.Ident : near[static_cast<size_t>(draw.Below(static_cast<int>(near.size())))]->Ident;
  const std::string vfrAltitude = std::to_string(draw.Below(5) * 1000 + 2500);
  if (kind < 35 || near.empty()) return std::string("vfr ") + from.Ident + " pattern" + spot;
  if (kind < 55) return std::string("vfr ") + from.Ident + " to " + to + " " + vfrAltitude + spot;
  if (kind < 75)
    return std::string("ifr ") + from.Ident + " " + to + " " + std::to_string(draw.Below(7) * 1000 + 5000) +
           spot;
  if (kind < 90) return std::string("following ") + from.Ident + " " + to + " " + vfrAltitude + spot;
  return std::string("rogue ") + from.Ident + spot;
}

// A line a pilot types on its own: what a person at the simulator may type into the chat window,
// right or wrong. Dialogue resets ("freeflt", any "pst_fp:") are rare: in the design a reset keeps
// the pilot's runway queue places, and each one at the runway holds its airport's departures until
// the pilot leaves.
std::string SoakChatLine(Draw& draw) {
  static const char* const kCommands[] = {"airpts:",      "AIRPTS: please", "atcmsg:false", "atcmsg : FALSE",
                                          "atcmsg:maybe", "atcmsg:",        "atcmsg:true"};
  static const char* const kResets[] = {"freeflt",
                                        "FREEFLT now",
                                        "pst_fp:VFR",
                                        "pst_fp:IFR,BELLINGHAM,OLYMPIA,9000",
                                        "pst_fp:IFR,OLYMPIA,BELLINGHAM,0",
                                        "pst_fp:IFR,OLYMPIA",
                                        "pst_fp:IFR,,,",
                                        "pst_fp:ifr,olympia,portland intl,abc",
                                        "pst_fp:",
                                        "pst_fp:IFR,OLYMPIA,OLYMPIA,-5000",
                                        "pst_fp:IFR,BELLINGHAM,OLYMPIA,99999999999"};
  static const char* const kChat[] = {"hello",
                                      "anyone on frequency?",
                                      "repeat",
                                      "say again",
                                      "   3   ",
                                      "1 2",
                                      "-1",
                                      "+2",
                                      "3.5",
                                      "x",
                                      "?",
                                      "Grüß Gott",
                                      "ÿ",
                                      "a",
                                      ":",
                                      "1:",
                                      "repeat:repeat:",
                                      "pst_fp"};
  const double what = draw.Uniform(0, 100);
  if (what < 34) return std::to_string(1 + draw.Below(9));  // a menu digit, right or wrong
  if (what < 38) return "0";
  if (what < 41) return std::to_string(10 + draw.Below(90));
  if (what < 60) return draw.Pick<const char*>({"repeat:", "repeat:", "REPEAT:", "Repeat:", "re peat:"});
  if (what < 70) {
    const std::string command = draw.Pick(kCommands);
    // Copies of everyone's lines are rare: a crowd of listeners makes every line cost many sends.
    return command == "atcmsg:true" && draw.Uniform(0, 1) < 0.5 ? "atcmsg:false" : command;
  }
  if (what < 71.5) return draw.Pick(kResets);
  if (what < 73.5) {
    std::string line = "x";
    for (int n = 200 + draw.Below(300); n > 0; --n) line += "abcdefghij0123456789 "[draw.Below(21)];
    return line + "x";
  }
  return draw.Pick(kChat);
}

}  // namespace

std::string SoakScenarioText(const SoakShape& shape) {
  if (shape.Pilots < 1 || shape.Pilots > 9999 || shape.Seconds < 60 || shape.Seconds > 86400 ||
      shape.ChatSeconds < 1 || shape.MinStaySeconds < 1 || shape.MaxStaySeconds < shape.MinStaySeconds ||
      shape.JoinRampSeconds < 0) {
    throw std::invalid_argument(
        "a soak needs 1 to 9999 pilots, 60 to 86400 seconds and positive periods and stays");
  }
  Draw draw(shape.Seed);
  std::string text = "# soak: " + std::to_string(shape.Pilots) + " places for virtual pilots over " +
                     std::to_string(shape.Seconds) + " s, seed " + std::to_string(shape.Seed) + "\n";
  for (const SoakAirport& a : SoakAirports()) text += std::string("control ") + a.Ident + "\n";
  // The observers ask for copies once the station has found them, over the network too.
  text +=
      "maxplayers 0\nmonitor\nobserver OBS1\nobserver OBS2\nat 30 say OBS1 atcmsg:true\n"
      "at 30 say OBS2 atcmsg:true\n";
  const int64_t endMs = int64_t{shape.Seconds} * 1000;
  // Everything happens on whole seconds. A pilot then leaves after the station has read its last
  // position report (sent a quarter second earlier) and its last scripted line, so the design's rule
  // that a message from a sender who has left ends the station's session is met only when the
  // pilot's own last words fall in the 50 ms before it leaves.
  auto second = [](double seconds) { return static_cast<int64_t>(seconds) * 1000; };
  int serial = 0;
  for (int place = 0; place < shape.Pilots; ++place) {
    int64_t joinMs = second(static_cast<double>(shape.JoinRampSeconds) * place / shape.Pilots);
    while (joinMs < endMs - 1000) {
      char name[16];
      std::snprintf(name, sizeof name, "S%05d", ++serial);
      text += At(joinMs) + "pilot " + name + " " + SoakIntention(draw) + "\n";
      const int64_t leaveMs = joinMs + second(draw.Uniform(shape.MinStaySeconds, shape.MaxStaySeconds));
      const int64_t quietMs = std::min(leaveMs, endMs - 1000);
      // Random lines at random times: the gaps are exponential, a pilot types when it pleases.
      for (double t = static_cast<double>(joinMs) / 1000;;) {
        t += 1 - std::log(1 - draw.Uniform(0, 0.999)) * shape.ChatSeconds;
        if (second(t) >= quietMs) break;
        text += At(second(t)) + "say " + name + " " + SoakChatLine(draw) + "\n";
      }
      if (leaveMs >= endMs - 1000) break;
      text += At(leaveMs) + (draw.Uniform(0, 1) < 0.15 ? "drop " : "leave ") + name + "\n";
      joinMs = leaveMs + second(draw.Uniform(10, 120));
    }
  }
  text += "run " + std::to_string(shape.Seconds) + "\n";
  return text;
}

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
