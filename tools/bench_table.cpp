#include "bench_table.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace skyvox::tools {

namespace {

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

double TimeUnitToMs(const std::string& unit) {
  if (unit == "ns") return 1e-6;
  if (unit == "us") return 1e-3;
  if (unit == "ms") return 1;
  if (unit == "s") return 1e3;
  throw std::runtime_error("unknown time unit \"" + unit + "\"");
}

// A figure as the table shows it: three significant digits, more before the point if it has them.
std::string Figure(double value) {
  char text[32];
  const double size = std::fabs(value);
  std::snprintf(text, sizeof text,
                size >= 100  ? "%.0f"
                : size >= 10 ? "%.1f"
                : size >= 1  ? "%.2f"
                             : "%.3g",
                value);
  return text;
}

}  // namespace

std::vector<BenchGoal> ReadBenchGoals(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read the goals file " + path);
  std::vector<BenchGoal> goals;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '|');) fields.push_back(Trim(field));
    const auto bad = [&](const std::string& why) {
      return std::runtime_error(path + ":" + std::to_string(number) + ": " + why);
    };
    if (fields.size() != 5)
      throw bad("expected 5 fields separated by '|', found " + std::to_string(fields.size()));
    BenchGoal g;
    g.Figure = fields[0];
    g.Benchmark = fields[1];
    g.Baseline = fields[2] == "-" ? "" : fields[2];
    g.Unit = fields[3];
    const std::string& goal = fields[4];
    // A figure shown without a goal: rates are better higher, anything else lower.
    if (g.Unit == "M/s" || g.Unit == "MB/s") g.Direction = '>';
    if (goal != "-") {
      if (goal.size() < 3 || (goal[0] != '<' && goal[0] != '>') || goal[1] != ' ') {
        throw bad("the goal must read \"< X\", \"> X\" or \"-\"");
      }
      g.Direction = goal[0];
      try {
        size_t used = 0;
        g.Target = std::stod(goal.substr(2), &used);
        if (used != goal.size() - 2) throw std::invalid_argument(goal);
      } catch (const std::logic_error&) {
        throw bad("the goal's number \"" + goal.substr(2) + "\" cannot be read");
      }
    }
    if (g.Figure.empty() || g.Benchmark.empty() || g.Unit.empty()) throw bad("an empty field");
    goals.push_back(g);
  }
  return goals;
}

BenchResults::BenchResults(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read the benchmark output " + file);
    nlohmann::json doc;
    try {
      doc = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception& e) {
      throw std::runtime_error(file + " is not JSON: " + e.what());
    }
    if (!doc.is_object() || !doc.contains("benchmarks") || !doc["benchmarks"].is_array()) {
      throw std::runtime_error(file + " holds no \"benchmarks\" list");
    }
    for (const nlohmann::json& b : doc["benchmarks"]) {
      if (!b.is_object() || !b.contains("name") || !b["name"].is_string()) continue;
      std::string name = b["name"];
      // With repetitions the runs and their aggregates share run_name: the median stands for them.
      const std::string aggregate = b.value("aggregate_name", "");
      if (!aggregate.empty()) {
        if (aggregate != "median") continue;
        name = b.value("run_name", name);
      } else if (b.value("run_type", "iteration") == "iteration" && entries_.count(name)) {
        continue;  // a later repetition of a plain run
      }
      Entry e;
      if (b.contains("real_time") && b["real_time"].is_number()) {
        e.RealTimeMs = b["real_time"].get<double>() * TimeUnitToMs(b.value("time_unit", "ns"));
      }
      for (const auto& [key, value] : b.items()) {
        if (value.is_number()) e.Counters[key] = value.get<double>();
      }
      entries_[name] = e;
    }
  }
}

std::optional<double> BenchResults::Value(const std::string& benchmark, const std::string& unit) const {
  const auto it = entries_.find(benchmark);
  if (it == entries_.end()) return std::nullopt;
  const Entry& e = it->second;
  const auto counter = [&](const std::string& name) -> std::optional<double> {
    const auto c = e.Counters.find(name);
    return c == e.Counters.end() ? std::nullopt : std::optional<double>(c->second);
  };
  if (unit == "ms") return e.RealTimeMs;
  if (unit == "M/s") {
    const auto v = counter("items_per_second");
    return v ? std::optional<double>(*v / 1e6) : std::nullopt;
  }
  if (unit == "MB/s") {
    const auto v = counter("bytes_per_second");
    return v ? std::optional<double>(*v / 1e6) : std::nullopt;
  }
  return counter(unit);
}

std::string BenchTable(const std::vector<BenchGoal>& goals, const BenchResults& results) {
  std::ostringstream out;
  out << "| figure | value | baseline | ratio | goal | met |\n| --- | ---: | ---: | ---: | --- | --- |\n";
  int withGoal = 0, met = 0;
  for (const BenchGoal& g : goals) {
    const std::optional<double> value = results.Value(g.Benchmark, g.Unit);
    const std::optional<double> baseline =
        g.Baseline.empty() ? std::nullopt : results.Value(g.Baseline, g.Unit);
    const double v = value.value_or(0), b = baseline.value_or(0);
    out << "| " << g.Figure << " | " << (value ? Figure(v) + " " + g.Unit : "not measured") << " | "
        << (baseline ? Figure(b) + " " + g.Unit : "-") << " | ";
    // How many times better than the baseline.
    out << (v > 0 && b > 0 ? Figure(g.Direction == '<' ? b / v : v / b) + "x" : "-");
    out << " | ";
    if (g.Target) {
      ++withGoal;
      out << g.Direction << ' ' << Figure(*g.Target) << ' ' << g.Unit << " | ";
      const bool ok = value && (g.Direction == '<' ? v < *g.Target : v > *g.Target);
      met += ok;
      out << (ok ? "yes" : value ? "NO" : "-") << " |\n";
    } else {
      out << "- | - |\n";
    }
  }
  out << "\ngoals met: " << met << " of " << withGoal << '\n';
  return out.str();
}

}  // namespace skyvox::tools
