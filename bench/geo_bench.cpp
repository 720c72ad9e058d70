// Cost of the geometry helpers the ATC cycle calls for every pilot on every tick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "geo/geometry.h"
#include "geo/mag_var_grid.h"

namespace {

using skyvox::geo::MagVarGrid;

struct Leg {
  double lat1, lon1, lat2, lon2;
  int heading;
};

constexpr size_t kLegCount = 4096;  // a power of two: the loop index wraps with a mask

// Deterministic mix: mostly legs of a few miles to a few hundred (airport and approach work, haversine
// form), a quarter long legs (law of cosines).
const std::vector<Leg>& Legs() {
  static const std::vector<Leg> legs = [] {
    std::mt19937 rng(2002);
    std::uniform_real_distribution<double> lat(-80, 80);
    std::uniform_real_distribution<double> lon(-180, 180);
    std::uniform_real_distribution<double> nearOffset(-3, 3);
    std::uniform_int_distribution<int> heading(0, 360);
    std::vector<Leg> out;
    out.reserve(kLegCount);
    for (size_t i = 0; i < kLegCount; ++i) {
      Leg leg{lat(rng), lon(rng), 0, 0, heading(rng)};
      if (i % 4 == 3) {
        leg.lat2 = lat(rng);
        leg.lon2 = lon(rng);
      } else {
        leg.lat2 = std::clamp(leg.lat1 + nearOffset(rng), -80.0, 80.0);
        leg.lon2 = leg.lon1 + nearOffset(rng);
      }
      out.push_back(leg);
    }
    return out;
  }();
  return legs;
}

const MagVarGrid& Grid() {
  static const MagVarGrid grid = [] {
    MagVarGrid g;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> value(-5000, 5000);  // about +-27 degrees
    for (size_t i = 0; i < MagVarGrid::kSize; ++i) g.Set(i, static_cast<int16_t>(value(rng)));
    return g;
  }();
  return grid;
}

void BM_DistanceNm(benchmark::State& state) {
  const auto& legs = Legs();
  size_t i = 0;
  for (auto _ : state) {
    const Leg& leg = legs[i++ & (kLegCount - 1)];
    benchmark::DoNotOptimize(skyvox::geo::DistanceNm(leg.lat1, leg.lon1, leg.lat2, leg.lon2));
  }
}
BENCHMARK(BM_DistanceNm);

void BM_MagneticBearing(benchmark::State& state) {
  const auto& legs = Legs();
  const MagVarGrid& grid = Grid();
  size_t i = 0;
  for (auto _ : state) {
    const Leg& leg = legs[i++ & (kLegCount - 1)];
    benchmark::DoNotOptimize(skyvox::geo::MagneticBearing(leg.lat1, leg.lon1, leg.lat2, leg.lon2, grid));
  }
}
BENCHMARK(BM_MagneticBearing);

void BM_TrueToMagnetic(benchmark::State& state) {
  const auto& legs = Legs();
  const MagVarGrid& grid = Grid();
  size_t i = 0;
  for (auto _ : state) {
    const Leg& leg = legs[i++ & (kLegCount - 1)];
    benchmark::DoNotOptimize(skyvox::geo::TrueToMagnetic(leg.heading, leg.lat1, leg.lon1, grid));
  }
}
BENCHMARK(BM_TrueToMagnetic);

}  // namespace

BENCHMARK_MAIN();
