// The first-run build over synthetic worlds: 25,000 airports in 40 BGL files, 10,000 airports in one
// large file, and 15,400 airports in 308 files of about 34 KB, the file count and size of a real
// simulator's scenery (308 BGL files, 10.3 MB), on which the speed against the window's schedule of one
// file per 5 ms tick is judged: the schedule gives every file the same 5 ms whatever its size, so the
// few large files of the 40-file world ask for 840 MB/s end to end to be ten times faster than it.
// BM_BuildParse reads and decodes every BGL file without writing the database; BM_Build is the whole build,
// tick by tick as the window drives it. Each has its _Baseline, the straightforward path, on the same files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "authoring/bgl_writer.h"
#include "authoring/world_description.h"
#include "base/files.h"
#include "scenery/bgl_reader.h"
#include "scenery/bgl_scan.h"
#include "scenery/database_build.h"
#include "scenery/database_files.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;
using Clock = std::chrono::steady_clock;

// The file count of the world shaped like a real simulator's scenery.
constexpr int kRealWorldFiles = 308;

struct SyntheticFolder {
  fs::path root =
      fs::temp_directory_path() / ("skyvox-build-bench-" + std::to_string(std::random_device{}()));
  fs::path sim = root / "sim";
  fs::path app = root / "app";
  std::vector<fs::path> bglFiles;
  uint64_t bglBytes = 0;

  SyntheticFolder(int airports, int files, bool upperCaseNames) {
    fs::create_directories(app);
    const int perFile = (airports + files - 1) / files;
    authoring::WriteSceneryFolder(authoring::SyntheticWorld(airports, perFile, 42), sim.string(), {});
    std::vector<fs::path> written;
    for (const auto& entry : fs::recursive_directory_iterator(sim)) {
      if (entry.path().extension() != ".bgl" || entry.path().filename() == "magdec.bgl") continue;
      written.push_back(entry.path());
    }
    for (fs::path path : written) {
      // Named as a copy of a Windows installation names them, in capitals: the build finds each file by
      // its lower-cased name, without regard to case.
      if (upperCaseNames) {
        std::string name = path.filename().string();
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const fs::path renamed = path.parent_path() / name;
        fs::rename(path, renamed);
        path = renamed;
      }
      bglFiles.push_back(path);
      bglBytes += fs::file_size(path);
    }
    std::sort(bglFiles.begin(), bglFiles.end());
  }
  ~SyntheticFolder() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

SyntheticFolder& Folder(const benchmark::State& state) {
  static std::map<std::pair<int64_t, int64_t>, std::unique_ptr<SyntheticFolder>> folders;
  auto& folder = folders[{state.range(0), state.range(1)}];
  if (!folder) {
    folder =
        std::make_unique<SyntheticFolder>(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                          state.range(1) == kRealWorldFiles);
  }
  return *folder;
}

scenery::BglScanSink CountingSink(int64_t& airports, int64_t& airspaces) {
  scenery::BglScanSink sink;
  sink.Airport = [&airports](scenery::AirportRecord& a) { airports += 1 + a.TaxiPointCount; };
  sink.Airspace = [&airspaces](const scenery::AirspaceRecord&) { ++airspaces; };
  return sink;
}

void ReportParse(benchmark::State& state, const SyntheticFolder& folder, int64_t airports) {
  state.SetBytesProcessed(static_cast<int64_t>(folder.bglBytes) * state.iterations());
  state.counters["BGL_MB"] = static_cast<double>(folder.bglBytes) / 1e6;
  benchmark::DoNotOptimize(airports);
}

void BM_BuildParse(benchmark::State& state) {
  const auto& folder = Folder(state);
  const geo::MagVarGrid grid;
  std::vector<uint8_t> bytes;
  scenery::BglScan scan(grid);
  int64_t airports = 0;
  int64_t airspaces = 0;
  const auto sink = CountingSink(airports, airspaces);
  for (auto _ : state) {
    for (const fs::path& path : folder.bglFiles) {
      if (scenery::ReadFacilityFileInto(path, bytes) != scenery::FacilityFileRead::Scan) continue;
      scan.Start(bytes);
      scan.Continue(sink);
    }
  }
  ReportParse(state, folder, airports);
}

void BM_BuildParse_Baseline(benchmark::State& state) {
  const auto& folder = Folder(state);
  const geo::MagVarGrid grid;
  int64_t airports = 0;
  int64_t airspaces = 0;
  const auto sink = CountingSink(airports, airspaces);
  for (auto _ : state) {
    for (const fs::path& path : folder.bglFiles) {
      std::vector<uint8_t> bytes;
      if (scenery::ReadFacilityFile(path, bytes)) scenery::ScanBglFileStraightforward(bytes, grid, sink);
    }
  }
  ReportParse(state, folder, airports);
}

void RunBuild(benchmark::State& state, scenery::BuildMethod method) {
  auto& folder = Folder(state);
  int32_t airports = 0;
  int32_t files = 0;
  int ticks = 0;
  double longestTick = 0;
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(folder.app / scenery::kAirportsFileName);
    fs::remove(folder.app / scenery::kAirspacesFileName);
    scenery::WorldTables tables;
    tables.AppFolder = folder.app.string();
    tables.SimFolder = folder.sim.string();
    state.ResumeTiming();
    const auto start = Clock::now();
    scenery::DatabaseBuild build(tables, method);
    build.Start();
    ticks = 0;
    for (;;) {
      const auto before = Clock::now();
      const bool more = build.Tick();
      longestTick =
          std::max(longestTick, std::chrono::duration<double, std::milli>(Clock::now() - before).count());
      if (!more) break;
      ++ticks;
    }
    total += std::chrono::duration<double>(Clock::now() - start).count();
    airports = tables.AirportCount;
    files = build.BglFileCount;
  }
  state.SetBytesProcessed(static_cast<int64_t>(folder.bglBytes) * state.iterations());
  state.counters["airports"] = airports;
  state.counters["files"] = files;
  state.counters["ticks"] = ticks;
  state.counters["max_tick_ms"] = longestTick;
  // The window's schedule, one file per 5 ms Scan_Bgl tick, against the build's own time.
  state.counters["schedule_ratio"] = files * 0.005 / (total / static_cast<double>(state.iterations()));
}

void BM_Build(benchmark::State& state) {
  RunBuild(state, scenery::BuildMethod::Sliced);
}

void BM_Build_Baseline(benchmark::State& state) {
  RunBuild(state, scenery::BuildMethod::Straightforward);
}

void Worlds(benchmark::internal::Benchmark* b) {
  b->ArgNames({"airports", "files"})
      ->Args({25000, 40})
      ->Args({10000, 1})
      ->Args({15400, kRealWorldFiles})
      ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_BuildParse)->Apply(Worlds);
BENCHMARK(BM_BuildParse_Baseline)->Apply(Worlds);
BENCHMARK(BM_Build)->Apply(Worlds);
BENCHMARK(BM_Build_Baseline)->Apply(Worlds);

}  // namespace

BENCHMARK_MAIN();
