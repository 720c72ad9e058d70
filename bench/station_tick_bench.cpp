// The station's whole work for one ATC period with a full session: every pilot's position report
// received and applied by the receive loop, then the ATC tick (placing every pilot among the controlled
// airports and centres, the airport dialogues, the radar's vectors with their terrain checks, traffic).
// Half the pilots are at first contact under radar vectors round fifty destination airports (so every
// one of them is vectored on every tick), half fly near the other controlled airports in free flight
// or sit on them. Args: pilots, controlled airports, airspaces; 100,000 terrain points.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "atc/atc_cycle.h"
#include "geo/geometry.h"
#include "loopback_station.h"
#include "session/messages.h"
#include "session/receive_loop.h"
#include "sim/participants.h"

namespace {
using namespace skyvox;

constexpr int kDestinations = 50;
constexpr int kTerrainPoints = 100000;

struct NoEvents : session::SessionEvents {
  void ShowInformation(const std::string&) override {}
  void CloseStation() override {}
};

scenery::AirportRecord Airport(const std::string& name, double latitude, double longitude) {
  scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
  a.Ident = "K" + name;
  a.Name = a.TowerName = a.GroundName = a.ApproachName = "AIRPORT " + name;
  a.Latitude = latitude;
  a.Longitude = longitude;
  a.ElevationFt = 200;
  a.TowerFreq = "118.3";
  a.GroundFreq = "121.7";
  a.ApproachFreq = "119.2";
  return a;
}

void StationTick(benchmark::State& state, atc::TableScan scan) {
  const int pilots = static_cast<int>(state.range(0));
  const int airports = static_cast<int>(state.range(1));
  const int airspaces = static_cast<int>(state.range(2));
  std::mt19937 random(7);
  std::uniform_real_distribution<double> lat(-60, 70), lon(-180, 180), offset(-0.2, 0.2), spread(-0.6, 0.6),
      height(0, 9000);

  scenery::WorldTables world;
  world.ControlledAirports.clear();
  for (int a = 0; a < kDestinations; ++a) {
    scenery::AirportRecord dest = Airport(std::to_string(a), 30.0 + 2.0 * (a / 10), -120.0 + 2.0 * (a % 10));
    dest.MainRunway = {"16", dest.Latitude + 0.02, dest.Longitude, 200, 8000, 150, 160, "110.3"};
    world.ControlledAirports.push_back(dest);
  }
  for (int a = kDestinations; a < airports; ++a) {
    world.ControlledAirports.push_back(Airport(std::to_string(a), lat(random), lon(random)));
  }
  world.ControlledAirports.push_back(scenery::EmptyAirportWithSpareElements());
  world.ControlledAirportCount = airports;
  world.Airspaces = {{"CENTER", "ARTCC/FIR (HIGH)", "125.1", 50, 25, -95, -125, -1, -1}};
  for (int i = 1; i < airspaces; ++i) {
    const double s = lat(random), w = lon(random);
    world.Airspaces.push_back({"CENTER " + std::to_string(i), i % 2 ? "ARTCC/FIR (HIGH)" : "ARTCC/FIR (LOW)",
                               "125.1", s + 5, s, w + 8, w, -1, -1});
  }
  world.Airspaces.push_back({});
  world.AirspaceCount = airspaces;
  world.TerrainPoints.clear();
  for (int i = 0; i < kTerrainPoints; ++i) {
    const auto& a = world.ControlledAirports[static_cast<size_t>(i % kDestinations)];
    world.TerrainPoints.push_back(
        {a.Latitude + spread(random), a.Longitude + spread(random), static_cast<int32_t>(height(random))});
  }
  world.TerrainPoints.push_back({});
  world.TerrainPointCount = kTerrainPoints;

  // The pilots join: each announces itself and the receive loop takes it into the roster.
  skyvox::bench::LoopbackStation station;
  session::SessionLink& link = station.Link;
  link.SessionMaxPlayers = pilots + 10;
  NoEvents events;
  std::vector<int32_t> ids;
  for (int i = 0; i < pilots; ++i) {
    ids.push_back(station.Pilots->CreatePlayer("N" + std::to_string(1000 + i), "Player"));
    station.Pilots->Send(ids.back(), link.OwnPlayerId, 1,
                         session::BuildAnnouncement(session::kPlayerAnnouncement, ids.back()));
  }
  session::OnConnectionTimerTick(link, world, events);
  if (link.PlayerCount != pilots) state.SkipWithError("pilots missing from the roster");

  std::vector<session::DpMessage> reports;
  for (int i = 0; i < pilots; ++i) {
    session::PlayerRecord& p = link.PlayerRoster[static_cast<size_t>(i)];
    sim::PilotPosition at;
    if (i % 2 == 0) {
      // Under vectors on a 12 nm ring round its destination, 7 nm from the next pilot on the ring.
      const int a = (i / 2) % kDestinations;
      const auto& dest = world.ControlledAirports[static_cast<size_t>(a)];
      const auto ring = geo::DestinationPointNm(dest.Latitude, dest.Longitude,
                                                static_cast<int16_t>(36 * (i / 2 / kDestinations) + 5), 12);
      at = {ring.Latitude, ring.Longitude, 6000, 160, 180.0};
      p.IfrPlanFiled = 1;
      p.DepartureAirport = p.DestinationAirport = a;
      p.CruiseAltitude = 9000;
      p.PilotRequest = "Descending";
      p.FacilityType = i % 4 ? "Approach" : "Center";
      p.AirportIndex = i % 4 ? a : -1;
      p.CenterIndex = i % 4 ? -1 : 0;
      p.TunedFrequency = "119.2";
    } else {
      const auto& near =
          world.ControlledAirports[static_cast<size_t>(kDestinations + i % (airports - kDestinations))];
      at = {near.Latitude + offset(random), near.Longitude + offset(random), i % 3 ? 3000.0 : 200.0, 90,
            120.0};
    }
    reports.push_back(sim::BuildPositionReport(at));
  }
  const std::vector<session::PlayerRecord> initial = link.PlayerRoster;

  for (auto _ : state) {
    state.PauseTiming();
    link.PlayerRoster = initial;  // every tick starts from first contact, so every radar pilot is vectored
    for (size_t i = 0; i < ids.size(); ++i) station.Pilots->Send(ids[i], link.OwnPlayerId, 0, reports[i]);
    state.ResumeTiming();
    if (scan == atc::TableScan::Indexed) {
      session::OnConnectionTimerTick(link, world, events);
    } else {
      session::OnConnectionTimerTickStraightforward(link, world, events);
    }
    atc::RunAtcCycle(link, world, scan);
    state.PauseTiming();
    station.DrainPilots(ids[0]);
    state.ResumeTiming();
  }
  state.counters["pilots"] = pilots;
  state.counters["airports"] = airports;
  state.counters["airspaces"] = airspaces;
}

void BM_StationTick(benchmark::State& state) {
  StationTick(state, atc::TableScan::Indexed);
}
void BM_StationTick_Baseline(benchmark::State& state) {
  StationTick(state, atc::TableScan::Straightforward);
}

// The full session, the same with a tenth of the airports and airspaces (the tick should hardly
// change), and a tenth of the pilots.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({500, 3000, 1000})->Args({500, 300, 100})->Args({50, 3000, 1000})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_StationTick)->Apply(Sizes);
BENCHMARK(BM_StationTick_Baseline)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
