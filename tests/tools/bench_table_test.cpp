// The benchmark table read from real files: a goals file and Google Benchmark JSON outputs, one plain
// run and one with repetitions whose median stands for it.
#include "bench_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/temp_dir.h"

namespace skyvox::tools {
namespace {

TEST(BenchTable, FiguresBaselinesRatiosAndGoals) {
  testing::TempDir dir;
  dir.Write("goals.txt", std::string("# comment\n\n"
                                     "Tick | BM_Tick/500 | BM_Tick_Baseline/500 | ms | < 10\n"
                                     "Loop | BM_Loop | BM_Loop_Baseline | M/s | > 2\n"
                                     "Peak | Memory/500 | - | VmHWM_MB | < 200\n"
                                     "Shown | BM_Tick/50 | - | ms | -\n"
                                     "Rate | BM_Loop | BM_Loop_Baseline | M/s | -\n"
                                     "Absent | BM_None | - | ms | < 1\n"));
  dir.Write("a.json", std::string(R"({"benchmarks": [
      {"name": "BM_Tick/500", "run_type": "iteration", "real_time": 4000, "time_unit": "us"},
      {"name": "BM_Tick/500", "run_type": "iteration", "real_time": 9000, "time_unit": "us"},
      {"name": "BM_Tick_Baseline/500", "run_type": "iteration", "real_time": 0.05, "time_unit": "s"},
      {"name": "BM_Tick/50", "real_time": 500000, "time_unit": "ns"}]})"));
  dir.Write("b.json", std::string(R"({"benchmarks": [
      {"name": "BM_Loop_mean", "run_name": "BM_Loop", "aggregate_name": "mean", "items_per_second": 9e6},
      {"name": "BM_Loop_median", "run_name": "BM_Loop", "aggregate_name": "median", "items_per_second": 1.5e6},
      {"name": "BM_Loop_Baseline_median", "run_name": "BM_Loop_Baseline", "aggregate_name": "median",
       "items_per_second": 5e5},
      {"name": "Memory/500", "real_time": 1, "time_unit": "ms", "VmHWM_MB": 24.1}]})"));
  const std::string table =
      BenchTable(ReadBenchGoals(dir.File("goals.txt").string()),
                 BenchResults({dir.File("a.json").string(), dir.File("b.json").string()}));
  EXPECT_EQ(table,
            "| figure | value | baseline | ratio | goal | met |\n| --- | ---: | ---: | ---: | --- | --- |\n"
            "| Tick | 4.00 ms | 50.0 ms | 12.5x | < 10.0 ms | yes |\n"
            "| Loop | 1.50 M/s | 0.5 M/s | 3.00x | > 2.00 M/s | NO |\n"
            "| Peak | 24.1 VmHWM_MB | - | - | < 200 VmHWM_MB | yes |\n"
            "| Shown | 0.5 ms | - | - | - | - |\n"
            "| Rate | 1.50 M/s | 0.5 M/s | 3.00x | - | - |\n"
            "| Absent | not measured | - | - | < 1.00 ms | - |\n"
            "\ngoals met: 2 of 4\n");
}

TEST(BenchTable, MalformedFilesAreNamed) {
  testing::TempDir dir;
  for (const char* line : {"a | b | c | ms\n", "a | b | - | ms | = 3\n", "a | b | - | ms | < x\n"}) {
    dir.Write("goals.txt", std::string(line));
    try {
      ReadBenchGoals(dir.File("goals.txt").string());
      ADD_FAILURE() << line;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("goals.txt:1: "), std::string::npos) << e.what();
    }
  }
  dir.Write("bad.json", std::string("{\"benchmarks\": 3}"));
  EXPECT_THROW(BenchResults({dir.File("bad.json").string()}), std::runtime_error);
  EXPECT_THROW(BenchResults({dir.File("missing.json").string()}), std::runtime_error);
}

}  // namespace
}  // namespace skyvox::tools
