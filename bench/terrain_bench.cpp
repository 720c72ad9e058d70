// LoadTerrainPoints for 20 controlled airports over the shipped world_terrain.db: the file read once,
// then scanned once per airport, as "Next" in the settings window does.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "base/files.h"
#include "scenery/magvar_terrain.h"

namespace {
using namespace skyvox;

const std::vector<uint8_t>& Terrain() {
  static const std::vector<uint8_t> bytes =
      ReadWholeFile(std::filesystem::path(SKYVOX_DATA_DIR) / "world_terrain.db");
  return bytes;
}

std::vector<scenery::AirportRecord> Airports() {
  const double places[20][2] = {{47.45, -122.31}, {45.59, -122.60}, {33.94, -118.41}, {40.64, -73.78},
                                {51.47, -0.45},   {49.01, 2.55},    {35.55, 139.78},  {-33.95, 151.18},
                                {46.24, 6.11},    {47.46, 8.55},    {39.86, -104.67}, {61.17, -149.99},
                                {19.44, -99.07},  {-22.81, -43.25}, {27.70, 85.36},   {64.13, -21.94},
                                {1.36, 103.99},   {25.25, 55.36},   {-26.14, 28.24},  {55.97, 37.41}};
  std::vector<scenery::AirportRecord> airports(20);
  for (size_t i = 0; i < airports.size(); ++i) {
    airports[i].Latitude = places[i][0];
    airports[i].Longitude = places[i][1];
  }
  return airports;
}

void BM_LoadTerrainPoints20Airports(benchmark::State& state) {
  const auto airports = Airports();
  int32_t points = 0;
  for (auto _ : state) {
    scenery::WorldTables tables;
    for (const auto& airport : airports) scenery::LoadTerrainPoints(airport, Terrain(), tables);
    points = tables.TerrainPointCount;
  }
  state.counters["points"] = points;
}
BENCHMARK(BM_LoadTerrainPoints20Airports)->Unit(benchmark::kMillisecond);

void BM_LoadTerrainPoints20AirportsWithFileReads(benchmark::State& state) {
  const auto airports = Airports();
  const auto file = std::filesystem::path(SKYVOX_DATA_DIR) / "world_terrain.db";
  for (auto _ : state) {
    scenery::WorldTables tables;
    for (const auto& airport : airports) scenery::LoadTerrainPoints(airport, ReadWholeFile(file), tables);
    benchmark::DoNotOptimize(tables.TerrainPointCount);
  }
}
BENCHMARK(BM_LoadTerrainPoints20AirportsWithFileReads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
