// Reading the airport database: the listing and the controlled-airport load over a generated file of
// 30,000 airports (one in ten with a taxi network of the size of a large field), read from disk.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "base/byte_io.h"
#include "base/files.h"
#include "scenery/database_files.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;
using namespace skyvox::scenery;

constexpr int kAirports = 30000;

AirportRecord Generated(int i, std::mt19937& random) {
  std::uniform_real_distribution<double> lat(-60, 70), lon(-180, 180);
  AirportRecord a;
  a.Ident = "K" + std::to_string(10000 + i);
  a.Name = "GENERATED AIRPORT NUMBER " + std::to_string(i);
  a.Latitude = lat(random);
  a.Longitude = lon(random);
  a.ElevationFt = i % 5000;
  a.GroundFreq = "121.9";
  a.GroundName = "GROUND";
  a.TowerFreq = "118.3";
  a.TowerName = "TOWER";
  a.ApproachFreq = "119.2";
  a.ApproachName = "APPROACH";
  a.MainRunway = {"16L", a.Latitude, a.Longitude, a.ElevationFt, 9000, 150, 163, "110.3"};
  if (i % 10 == 0) {
    for (int k = 0; k < 200; ++k) a.TaxiPoints.push_back({k % 3, a.Latitude + k * 1e-4, a.Longitude});
    for (int k = 0; k < 50; ++k)
      a.ParkingSpots.push_back({"GATE A " + std::to_string(k), 60, a.Latitude, a.Longitude, 0});
    for (int k = 0; k < 250; ++k)
      a.TaxiPaths.push_back({k % 3, k % 200, (k + 1) % 200, "A" + std::to_string(k % 9)});
    a.TaxiPointCount = 200;
    a.ParkingCount = 50;
    a.TaxiPathCount = 250;
  }
  return a;
}

struct GeneratedDatabase {
  fs::path file;
  std::vector<std::string> entries;

  GeneratedDatabase() {
    file = fs::temp_directory_path() / ("skyvox-bench-" + std::to_string(std::random_device{}()) + ".dat");
    std::mt19937 random(7);
    ByteWriter all;
    for (int i = 0; i < kAirports; ++i) {
      AirportRecord a = Generated(i, random);
      ByteWriter one;
      WriteAirportRecord(one, a);
      one.PatchI32(NextRecordPosOffset(a), static_cast<int32_t>(all.Size() + one.Size() + 1));
      all.Bytes(std::span<const uint8_t>(one.Data()));
      entries.push_back(a.Ident + " - " + a.Name);
    }
    WriteAt(file, 0, all.Data());
  }
  ~GeneratedDatabase() {
    std::error_code ec;
    fs::remove(file, ec);
  }
};

GeneratedDatabase& Database() {
  static GeneratedDatabase db;
  return db;
}

void BM_ListAllAirports(benchmark::State& state) {
  auto& db = Database();
  for (auto _ : state) benchmark::DoNotOptimize(ListAllAirports(db.file));
  state.counters["MB"] = static_cast<double>(FileLength(db.file)) / 1e6;
}
BENCHMARK(BM_ListAllAirports)->Unit(benchmark::kMillisecond);

void BM_LoadControlledAirports(benchmark::State& state) {
  auto& db = Database();
  std::vector<std::string> chosen;
  for (int i = 0; i < state.range(0); ++i)
    chosen.push_back(db.entries[static_cast<size_t>(i * kAirports / state.range(0))]);
  for (auto _ : state) {
    WorldTables tables;
    LoadControlledAirports(db.file, chosen, tables);
    benchmark::DoNotOptimize(tables.ControlledAirportCount);
  }
}
BENCHMARK(BM_LoadControlledAirports)->Arg(1)->Arg(20)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_AppendAirportRecord(benchmark::State& state) {
  const fs::path file =
      fs::temp_directory_path() / ("skyvox-bench-append-" + std::to_string(std::random_device{}()));
  std::mt19937 random(9);
  AirportRecord a = Generated(1, random);
  int32_t count = 0;
  for (auto _ : state) AppendAirportRecord(file, a, count);
  std::error_code ec;
  fs::remove(file, ec);
}
BENCHMARK(BM_AppendAirportRecord)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
