// skyvox-bench-table: the benchmark figures of a run as one table, each beside its baseline.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "bench_table.h"

int main(int argc, char** argv) {
  std::string goals;
  std::vector<std::string> outputs;
  CLI::App cli{
      "skyvox-bench-table: each goal's figure from the benchmark programs' JSON output, its baseline "
      "measured in the same run, their ratio, and whether the goal is met"};
  cli.add_option("--goals", goals, "the goals file (bench/goals.txt)")->required();
  cli.add_option("OUTPUT", outputs, "Google Benchmark JSON files")->required();
  CLI11_PARSE(cli, argc, argv);
  try {
    std::cout << skyvox::tools::BenchTable(skyvox::tools::ReadBenchGoals(goals),
                                           skyvox::tools::BenchResults(outputs));
  } catch (const std::exception& e) {
    std::cerr << "skyvox-bench-table: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
