// Approach and center control for 500 pilots under vectors, with 100,000 terrain points loaded: one
// ATC tick in which every pilot is at first contact in the "Descending" state of an IFR arrival
// (vectoring, the terrain check of each vector), half of them tuned to approach, half to the center.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "atc/atc_cycle.h"
#include "geo/geometry.h"
#include "loopback_station.h"

namespace {
using namespace skyvox;

void BM_RadarTick(benchmark::State& state) {
  const int pilots = static_cast<int>(state.range(0));
  const int terrain = static_cast<int>(state.range(1));
  std::mt19937 random(5);
  std::uniform_real_distribution<double> spread(-1.2, 1.2), height(0, 9000);

  // Fifty destination airports 2 degrees apart, ten pilots on a 12 nm ring round each (7 nm apart, so
  // no traffic advisory interrupts the vectoring), the terrain points spread round the airports.
  const int airports = 50;
  scenery::WorldTables world;
  world.ControlledAirports.clear();
  for (int a = 0; a < airports; ++a) {
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
    world.ControlledAirports.push_back(dest);
  }
  world.ControlledAirports.push_back(scenery::EmptyAirportWithSpareElements());
  world.ControlledAirportCount = airports;
  world.Airspaces = {{"CENTER", "ARTCC/FIR (HIGH)", "125.1", 50, 25, -95, -125, -1, -1}, {}};
  world.AirspaceCount = 1;
  world.TerrainPoints.clear();
  for (int i = 0; i < terrain; ++i) {
    const auto& a = world.ControlledAirports[static_cast<size_t>(i % airports)];
    world.TerrainPoints.push_back({a.Latitude + spread(random) / 2, a.Longitude + spread(random) / 2,
                                   static_cast<int32_t>(height(random))});
  }
  world.TerrainPoints.push_back({});
  world.TerrainPointCount = terrain;

  skyvox::bench::LoopbackStation station;
  session::SessionLink& link = station.Link;
  auto& pilotsEndpoint = station.Pilots;

  std::vector<session::PlayerRecord> initial;
  for (int i = 0; i < pilots; ++i) {
    session::PlayerRecord p;
    p.Name = "N" + std::to_string(i);
    p.PlayerId = pilotsEndpoint->CreatePlayer(p.Name, "Player");
    p.Kind = "player";
    const int a = i % airports;
    const auto& dest = world.ControlledAirports[static_cast<size_t>(a)];
    const auto ring = geo::DestinationPointNm(dest.Latitude, dest.Longitude,
                                              static_cast<int16_t>(36 * (i / airports) + 5), 12);
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
    initial.push_back(p);
  }
  initial.push_back({});

  for (auto _ : state) {
    state.PauseTiming();
    link.PlayerRoster = initial;  // every tick starts from first contact, so every pilot is vectored
    link.PlayerCount = static_cast<int16_t>(pilots);
    station.DrainPilots(initial[0].PlayerId);
    state.ResumeTiming();
    atc::RunAtcCycle(link, world);
  }
  state.counters["pilots"] = pilots;
  state.counters["terrain"] = terrain;
}
BENCHMARK(BM_RadarTick)
    ->Args({500, 100000})
    ->Args({500, 10000})
    ->Args({50, 100000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
