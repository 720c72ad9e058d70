// The simulator under load: `skyvox-sim run` of make-load scenarios against the real station on the
// sample world, in this process, as a load test drives it. For each load: the wall time, the virtual
// time played, the speed (virtual seconds per wall second) and the peak resident memory (VmHWM).
// Each load runs in a process of its own, so that the peak is its own.
//   skyvox_sim_load_bench [--json FILE] [--app FOLDER] [--pilots N --seconds T]
// Without --app the program's first start on the sample world is made in a temporary folder. The
// default loads are 500 pilots for 300 s and 3000 pilots for 120 s.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "sample_program.h"
#include "sim/load_scenario.h"
#include "sim/scenario.h"

namespace {
using namespace skyvox;

struct Figures {
  double WallSeconds = 0;
  double VirtualSeconds = 0;
  double PeakMb = 0;
  double Lines = 0;
};

// The transcript counted and dropped, as a terminal that nobody reads would take it.
class LineCounter : public std::streambuf {
 public:
  double Lines = 0;

 protected:
  int overflow(int c) override {
    if (c == '\n') ++Lines;
    return c == traits_type::eof() ? 0 : c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) Lines += s[i] == '\n';
    return n;
  }
};

double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;  // kB
  }
  return 0;
}

Figures PlayLoad(const std::string& app, const sim::LoadShape& shape) {
  std::istringstream text(sim::LoadScenarioText(shape));
  LineCounter counter;
  std::ostream out(&counter);
  const auto start = std::chrono::steady_clock::now();
  sim::ScenarioRunner runner(sim::ParseScenario(text), app, out);
  runner.KeepTranscript(false);
  runner.Run();
  Figures f;
  f.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.VirtualSeconds = static_cast<double>(runner.NowMs()) / 1000;
  f.PeakMb = PeakResidentMb();
  f.Lines = counter.Lines;
  return f;
}

// Runs `work` in a child process and returns what it wrote to the pipe; exits on failure.
template <typename Work>
std::string InChild(Work work) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::cout.flush();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    std::string result;
    int code = 0;
    try {
      result = work();
    } catch (const std::exception& e) {
      std::cerr << "sim_load_bench: " << e.what() << '\n';
      code = 1;
    }
    if (write(fds[1], result.data(), result.size()) != static_cast<ssize_t>(result.size())) code = 1;
    close(fds[1]);
    _exit(code);
  }
  close(fds[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    result.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("a child process failed");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::string jsonPath, app;
  std::vector<sim::LoadShape> loads = {{500, 300}, {3000, 120}};
  sim::LoadShape custom{0, 0};
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      const bool hasValue = i + 1 < argc;
      if (arg == "--json" && hasValue) {
        jsonPath = argv[++i];
      } else if (arg == "--app" && hasValue) {
        app = argv[++i];
      } else if (arg == "--pilots" && hasValue) {
        custom.Pilots = std::stoi(argv[++i]);
      } else if (arg == "--seconds" && hasValue) {
        custom.Seconds = std::stoi(argv[++i]);
      } else {
        throw std::invalid_argument(
            "usage: skyvox_sim_load_bench [--json FILE] [--app FOLDER] [--pilots N --seconds T]");
      }
    }
    if (custom.Pilots != 0 || custom.Seconds != 0) loads = {custom};
    std::filesystem::path work;
    if (app.empty()) {
      work = std::filesystem::temp_directory_path() / ("skyvox_sim_load_bench." + std::to_string(getpid()));
      std::filesystem::create_directories(work);
      app = InChild([&] {
        std::ostringstream quiet;
        return tools::FirstStartOnSampleWorld(work.string(), {"KSEA", "KOLM", "KBFI", "KBLI", "KPDX"},
                                              SKYVOX_DATA_DIR, quiet)
            .AppFolder;
      });
    }
    std::string json = "{\"benchmarks\":[";
    for (size_t i = 0; i < loads.size(); ++i) {
      const sim::LoadShape shape = loads[i];
      std::istringstream reply(InChild([&] {
        const Figures f = PlayLoad(app, shape);
        std::ostringstream o;
        o.precision(17);
        o << f.WallSeconds << ' ' << f.VirtualSeconds << ' ' << f.PeakMb << ' ' << f.Lines;
        return o.str();
      }));
      Figures f;
      reply >> f.WallSeconds >> f.VirtualSeconds >> f.PeakMb >> f.Lines;
      const double speed = f.VirtualSeconds / f.WallSeconds;
      const std::string name = "BM_SimLoad/" + std::to_string(shape.Pilots) + "_pilots";
      std::printf("%s: %.0f virtual s in %.2f wall s (%.1f times real time), peak %.1f MB, %.0f lines\n",
                  name.c_str(), f.VirtualSeconds, f.WallSeconds, speed, f.PeakMb, f.Lines);
      char entry[512];
      std::snprintf(entry, sizeof entry,
                    "%s{\"name\":\"%s\",\"real_time\":%.3f,\"time_unit\":\"ms\",\"wall_seconds\":%.3f,"
                    "\"virtual_seconds\":%.3f,\"speed\":%.3f,\"vmhwm_mb\":%.1f,\"transcript_lines\":%.0f}",
                    i == 0 ? "" : ",", name.c_str(), f.WallSeconds * 1000, f.WallSeconds, f.VirtualSeconds,
                    speed, f.PeakMb, f.Lines);
      json += entry;
    }
    json += "]}\n";
    if (!work.empty()) std::filesystem::remove_all(work);
    if (!jsonPath.empty()) {
      std::ofstream file(jsonPath);
      file << json;
      if (!file) throw std::runtime_error("cannot write " + jsonPath);
    }
  } catch (const std::exception& e) {
    std::cerr << "sim_load_bench: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
