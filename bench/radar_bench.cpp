// Approach and center control for many pilots under vectors, with many terrain points loaded: one ATC
// tick in which every pilot is at first contact in the "Descending" state of an IFR arrival
// (vectoring, the terrain check of each vector), half of them tuned to approach, half to the center.
// BM_RadarTick rings the airports at 12 nm, 7 nm apart, so no traffic advisory interrupts the
// vectoring; BM_TrafficScan rings them at 4 nm, 2.5 nm apart, so every pilot has traffic to report.
// Each figure comes in a pair: the program's indexed search, and the _Baseline that visits every
// aircraft and terrain point for every pilot.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "atc/atc_cycle.h"
#include "geo/geometry.h"
#include "loopback_station.h"

namespace {
using namespace skyvox;

constexpr int kAirports = 50;

// Fifty destination airports 2 degrees apart, the terrain points spread round them, the pilots on a
// ring round their destination.
struct Scene {
  scenery::WorldTables World;
  skyvox::bench::LoopbackStation Station;
  std::vector<session::PlayerRecord> Initial;

  Scene(int pilots, int terrain, int16_t ringNm) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> spread(-1.2, 1.2), height(0, 9000);
    World.ControlledAirports.clear();
    for (int a = 0; a < kAirports; ++a) {
      scenery::AirportRecord dest = scenery::EmptyAirportWithSpareElements();
      dest.Ident = "K" + std::to_string(a);
      dest.Name = "DESTINATION" + std::to_string(a);
      dest.Latitude = 30.0 + 2.0 * (a / 10);
      dest.Longitude = -120.0 + 2.0 * (a % 10);
      dest.ElevationFt = 200;
      dest.TowerName = dest.GroundName = dest.ApproachName = dest.Name;
      dest.TowerFreq = "118.3";
      dest.GroundFreq = "121.7";
      dest.ApproachFreq = "119.2";
      dest.MainRunway = {"16", dest.Latitude + 0.02, dest.Longitude, 200, 8000, 150, 160, "110.3"};
      World.ControlledAirports.push_back(dest);
    }
    World.ControlledAirports.push_back(scenery::EmptyAirportWithSpareElements());
    World.ControlledAirportCount = kAirports;
    World.Airspaces = {{"CENTER", "ARTCC/FIR (HIGH)", "125.1", 50, 25, -95, -125, -1, -1}, {}};
    World.AirspaceCount = 1;
    World.TerrainPoints.clear();
    for (int i = 0; i < terrain; ++i) {
      const auto& a = World.ControlledAirports[static_cast<size_t>(i % kAirports)];
      World.TerrainPoints.push_back({a.Latitude + spread(random) / 2, a.Longitude + spread(random) / 2,
                                     static_cast<int32_t>(height(random))});
    }
    World.TerrainPoints.push_back({});
    World.TerrainPointCount = terrain;

    for (int i = 0; i < pilots; ++i) {
      session::PlayerRecord p;
      p.Name = "N" + std::to_string(i);
      p.PlayerId = Station.Pilots->CreatePlayer(p.Name, "Player");
      p.Kind = "player";
      // Ten places 36 degrees apart on each ring, taken in turn from a different one at each airport,
      // so that fifty pilots come from all sides (and are vectored) as five hundred do.
      const int a = i % kAirports;
      const auto& dest = World.ControlledAirports[static_cast<size_t>(a)];
      const auto bearing = static_cast<int16_t>(36 * ((i / kAirports + a) % 10) + 5);
      const auto ring = geo::DestinationPointNm(dest.Latitude, dest.Longitude, bearing, ringNm);
      p.Latitude = ring.Latitude;
      p.Longitude = ring.Longitude;
      p.Altitude = 6000;
      p.GroundSpeed = 180;
      p.IfrPlanFiled = 1;
      p.DepartureAirport = a;
      p.DestinationAirport = a;
      p.CruiseAltitude = 9000;
      p.PilotRequest = "Descending";
      if (i % 2) {
        p.FacilityType = "Approach";
        p.AirportIndex = a;
      } else {
        p.FacilityType = "Center";
        p.CenterIndex = 0;
      }
      p.TunedFrequency = "119.2";
      Initial.push_back(p);
    }
    Initial.push_back({});
  }

  // Every tick starts from first contact, so every pilot is vectored (or told of traffic) again.
  void Reset() {
    Station.Link.PlayerRoster = Initial;
    Station.Link.PlayerCount = static_cast<int16_t>(Initial.size() - 1);
    Station.DrainPilots(Initial[0].PlayerId);
  }
};

void RunTicks(benchmark::State& state, int16_t ringNm, atc::TableScan search) {
  const int pilots = static_cast<int>(state.range(0));
  const int terrain = static_cast<int>(state.range(1));
  Scene scene(pilots, terrain, ringNm);
  // One tick before timing: the terrain index is built once for the table and kept with it.
  scene.Reset();
  atc::RunAtcCycle(scene.Station.Link, scene.World, search);
  for (auto _ : state) {
    state.PauseTiming();
    scene.Reset();
    state.ResumeTiming();
    atc::RunAtcCycle(scene.Station.Link, scene.World, search);
  }
  state.SetItemsProcessed(state.iterations() * pilots);
  state.counters["pilots"] = pilots;
  state.counters["terrain"] = terrain;
}

constexpr int16_t kQuietRingNm = 12;
constexpr int16_t kBusyRingNm = 4;

void BM_RadarTick(benchmark::State& state) {
  RunTicks(state, kQuietRingNm, atc::TableScan::Indexed);
}
void BM_RadarTick_Baseline(benchmark::State& state) {
  RunTicks(state, kQuietRingNm, atc::TableScan::Straightforward);
}
void BM_TrafficScan(benchmark::State& state) {
  RunTicks(state, kBusyRingNm, atc::TableScan::Indexed);
}
void BM_TrafficScan_Baseline(benchmark::State& state) {
  RunTicks(state, kBusyRingNm, atc::TableScan::Straightforward);
}

void TickArgs(benchmark::internal::Benchmark* b) {
  b->Args({50, 100000})->Args({500, 100000})->Args({500, 10000})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_RadarTick)->Apply(TickArgs);
BENCHMARK(BM_RadarTick_Baseline)->Apply(TickArgs);
BENCHMARK(BM_TrafficScan)->Args({500, 100000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrafficScan_Baseline)->Args({500, 100000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
