// The benchmark figures as one table: each goal's figure read from the benchmark programs' JSON output,
// beside its baseline (the straightforward path measured in the same run) and their ratio.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace skyvox::tools {

// A line of the goals file: "figure | benchmark | baseline benchmark or - | unit | goal".
// unit: "ms" (the benchmark's real time), "M/s" (items per second, in millions), "MB/s" (bytes per
// second, in millions), or the name of one of the benchmark's counters. goal: "< X" or "> X" in the
// unit (lower or higher is better), or "-" when the figure is only shown (then rates are taken as
// better higher, anything else lower).
struct BenchGoal {
  std::string Figure;
  std::string Benchmark;
  std::string Baseline;  // "" for none
  std::string Unit;
  char Direction = '<';          // '<' lower is better, '>' higher is better
  std::optional<double> Target;  // nullopt: no goal
};

// Reads a goals file; blank lines and lines starting with '#' are skipped. Throws std::runtime_error
// naming the line for a malformed one.
std::vector<BenchGoal> ReadBenchGoals(const std::string& path);

// The benchmarks of Google Benchmark JSON files ({"benchmarks": [...]}), by name; with repetitions, the
// median aggregate stands for the benchmark. Throws std::runtime_error for a file that cannot be read or
// is not such a file.
class BenchResults {
 public:
  explicit BenchResults(const std::vector<std::string>& files);
  // The benchmark's figure in the unit, or nullopt when no file has it (or it lacks that counter).
  std::optional<double> Value(const std::string& benchmark, const std::string& unit) const;

 private:
  struct Entry {
    double RealTimeMs = 0;
    std::map<std::string, double> Counters;  // every other number of the entry
  };
  std::map<std::string, Entry> entries_;
};

// The table, one row per goal, then a line saying how many goals were met.
std::string BenchTable(const std::vector<BenchGoal>& goals, const BenchResults& results);

}  // namespace skyvox::tools
