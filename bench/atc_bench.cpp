// One ATC tick with 500 pilots, 3,000 controlled airports and 1,000 airspaces (the tick period is
// 500 ms). Pilots fly in free flight near airports, so every pass computes the nearest airport, the
// approach zone and the centre, and rebuilds the tuning menu.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "atc/atc_cycle.h"
#include "loopback_station.h"
#include "session/messages.h"

namespace {
using namespace skyvox;

void AtcTick(benchmark::State& state, atc::TableScan scan) {
  const int pilots = static_cast<int>(state.range(0));
  const int airports = static_cast<int>(state.range(1));
  const int airspaces = 1000;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> lat(-60, 70), lon(-180, 180), offset(-0.2, 0.2);

  scenery::WorldTables world;
  world.ControlledAirports.clear();
  for (int i = 0; i < airports; ++i) {
    scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
    a.Ident = "K" + std::to_string(i);
    a.Name = "AIRPORT " + std::to_string(i);
    a.Latitude = lat(random);
    a.Longitude = lon(random);
    a.GroundName = a.TowerName = a.ApproachName = a.Name;
    a.GroundFreq = "121.7";
    a.TowerFreq = "118.3";
    a.ApproachFreq = "119.2";
    world.ControlledAirports.push_back(a);
  }
  world.ControlledAirports.push_back(scenery::EmptyAirportWithSpareElements());
  world.ControlledAirportCount = airports;
  world.Airspaces.clear();
  for (int i = 0; i < airspaces; ++i) {
    const double s = lat(random), w = lon(random);
    world.Airspaces.push_back(
        {"CENTER " + std::to_string(i), "ARTCC/FIR (HIGH)", "125.1", s + 5, s, w + 8, w, -1, -1});
  }
  world.Airspaces.push_back({});
  world.AirspaceCount = airspaces;

  skyvox::bench::LoopbackStation station;
  session::SessionLink& link = station.Link;
  auto& pilotsEndpoint = station.Pilots;
  link.PlayerRoster.clear();
  for (int i = 0; i < pilots; ++i) {
    session::PlayerRecord p;
    p.Name = "N" + std::to_string(i);
    p.PlayerId = pilotsEndpoint->CreatePlayer(p.Name, "Player");
    p.Kind = "player";
    const auto& near = world.ControlledAirports[static_cast<size_t>(i % airports)];
    p.Latitude = near.Latitude + offset(random);
    p.Longitude = near.Longitude + offset(random);
    p.Altitude = i % 2 ? 3000 : 0;
    link.PlayerRoster.push_back(p);
  }
  link.PlayerRoster.push_back({});
  link.PlayerCount = static_cast<int16_t>(pilots);

  atc::RunAtcCycle(link, world, scan);  // the first tick sends every menu once
  for (auto _ : state) {
    atc::RunAtcCycle(link, world, scan);
    state.PauseTiming();
    station.DrainPilots(link.PlayerRoster[0].PlayerId);
    state.ResumeTiming();
  }
  state.counters["pilots"] = pilots;
  state.counters["airports"] = airports;
}
void BM_AtcTick(benchmark::State& state) {
  AtcTick(state, atc::TableScan::Indexed);
}
void BM_AtcTick_Baseline(benchmark::State& state) {
  AtcTick(state, atc::TableScan::Straightforward);
}
BENCHMARK(BM_AtcTick)->Args({500, 3000})->Args({250, 3000})->Args({500, 1500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtcTick_Baseline)
    ->Args({500, 3000})
    ->Args({250, 3000})
    ->Args({500, 1500})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
