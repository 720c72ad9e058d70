// LoadTerrainPoints for 20 and 50 controlled airports over the shipped world_terrain.db, the file read
// once, as "Next" in the settings window does: one pass over the file for all airports, against the
// straightforward pass per airport.
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

std::vector<scenery::AirportRecord> Airports(int64_t count) {
  const double places[50][2] = {
      {47.45, -122.31}, {45.59, -122.60}, {33.94, -118.41}, {40.64, -73.78},  {51.47, -0.45},
      {49.01, 2.55},    {35.55, 139.78},  {-33.95, 151.18}, {46.24, 6.11},    {47.46, 8.55},
      {39.86, -104.67}, {61.17, -149.99}, {19.44, -99.07},  {-22.81, -43.25}, {27.70, 85.36},
      {64.13, -21.94},  {1.36, 103.99},   {25.25, 55.36},   {-26.14, 28.24},  {55.97, 37.41},
      {41.98, -87.90},  {33.64, -84.43},  {32.90, -97.04},  {37.62, -122.38}, {25.79, -80.29},
      {43.68, -79.63},  {49.19, -123.18}, {45.47, -73.74},  {52.31, 4.76},    {50.04, 8.56},
      {48.35, 11.79},   {40.47, -3.56},   {41.80, 12.25},   {41.28, 28.75},   {30.12, 31.41},
      {-1.32, 36.93},   {28.57, 77.10},   {19.09, 72.87},   {13.69, 100.75},  {22.31, 113.92},
      {31.14, 121.81},  {40.08, 116.58},  {37.46, 126.44},  {-37.67, 144.84}, {-36.85, 174.79},
      {-33.39, -70.79}, {-34.82, -58.54}, {-12.02, -77.11}, {4.70, -74.15},   {60.32, 24.96}};
  std::vector<scenery::AirportRecord> airports(static_cast<size_t>(count));
  for (size_t i = 0; i < airports.size(); ++i) {
    airports[i].Latitude = places[i][0];
    airports[i].Longitude = places[i][1];
  }
  return airports;
}

void BM_LoadTerrainPoints(benchmark::State& state) {
  const auto airports = Airports(state.range(0));
  int32_t points = 0;
  for (auto _ : state) {
    scenery::WorldTables tables;
    scenery::LoadTerrainPoints(airports, Terrain(), tables);
    points = tables.TerrainPointCount;
  }
  state.counters["points"] = points;
}
BENCHMARK(BM_LoadTerrainPoints)->Arg(20)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_LoadTerrainPoints_Baseline(benchmark::State& state) {
  const auto airports = Airports(state.range(0));
  int32_t points = 0;
  for (auto _ : state) {
    scenery::WorldTables tables;
    scenery::LoadTerrainPointsStraightforward(airports, Terrain(), tables);
    points = tables.TerrainPointCount;
  }
  state.counters["points"] = points;
}
BENCHMARK(BM_LoadTerrainPoints_Baseline)->Arg(20)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
