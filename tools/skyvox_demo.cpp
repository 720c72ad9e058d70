// skyvox-demo: the controller at work on a machine without a simulator. A simulator folder is written
// from the sample world of the Pacific Northwest (data/sample_world.txt) and the program's first start
// builds its database from it, window by window; then a crowd of virtual pilots (data/scenarios/
// crowd.txt) joins a session the station controls, and each flies by itself: VFR patterns and
// cross-country flights, IFR flights by flight plan, flight following, a pilot who takes off without a
// clearance, one who leaves in flight. Their flights cross, so runway queues, hold-shorts, go-arounds
// and traffic advisories happen. The radio transcript is printed as it goes, at accelerated virtual
// time, and each pilot's summary at the end.
//
// With --network the same runs over the real DirectPlay provider on this machine, in real time:
// skyvox-sim hosts the session and starts each pilot as a process of its own, and skyvox-station (or,
// with --window, the Skyvox program's window) controls it.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "app/corrected_mode_file.h"
#include "app/data_folder.h"
#include "base/files.h"
#include "base/text.h"
#include "sample_program.h"
#include "sim/scenario.h"
#include "sim/virtual_pilot.h"

#ifdef __unix__
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {
namespace fs = std::filesystem;
using namespace skyvox;

struct Options {
  std::string Work;
  std::string Scenario;
  double Speed = 60;
  bool RealTime = false;
  bool Network = false;
  bool Window = false;
  bool Corrected = false;
};

void Step(const std::string& text) {
  std::cout << "\n== " << text << " ==\n";
}

std::string Clock(double seconds) {
  const int s = static_cast<int>(seconds + 0.5);
  std::ostringstream out;
  out << s / 60 << ':' << std::setw(2) << std::setfill('0') << s % 60;
  return out.str();
}

// What the station's lines brought about: each phrase counted once per pilot line that changed, not
// for the menu repeated after it.
struct RadioCounts {
  int HoldShorts = 0;
  int GoArounds = 0;
  int TrafficAdvisories = 0;
  int LandingClearances = 0;
};

RadioCounts CountRadio(const std::vector<std::string>& transcript) {
  RadioCounts counts;
  std::map<std::string, std::string> last;
  for (const std::string& line : transcript) {
    const size_t arrow = line.find(" <- ");
    const size_t close = line.find("] ");
    if (arrow == std::string::npos || close == std::string::npos || close > arrow) continue;
    const std::string to = line.substr(close + 2, arrow - close - 2);
    if (to.find("(copy)") != std::string::npos) continue;
    std::string message = line.substr(arrow + 4);
    for (const char* tail : {" Choose an option", " <No messages"}) {
      if (const size_t t = message.find(tail); t != std::string::npos) message.resize(t);
    }
    if (last[to] == message) continue;
    last[to] = message;
    auto has = [&](const char* phrase) { return message.find(phrase) != std::string::npos; };
    counts.HoldShorts += has(", hold short.");
    counts.GoArounds += has(", go around.");
    counts.TrafficAdvisories += has(", traffic is,");
    counts.LandingClearances += has(", cleared to land");
  }
  return counts;
}

void PrintFlights(const sim::ScenarioRunner& runner, double wallSeconds) {
  Step("the flights");
  const auto pilots = runner.VirtualPilots();
  int completed = 0;
  std::set<std::string> coping;
  std::cout << std::left << std::setw(6) << "pilot" << std::setw(41) << "flight" << std::setw(8) << "time"
            << std::setw(7) << "lines"
            << "outcome\n";
  for (const sim::VirtualPilot* p : pilots) {
    const auto& phases = p->Phases();
    const double time = phases.empty() ? 0 : phases.back().AtSeconds - phases.front().AtSeconds;
    completed += p->Completed();
    std::cout << std::setw(6) << p->Name() << std::setw(41) << sim::DescribeIntention(p->Plan())
              << std::setw(8) << Clock(time) << std::setw(7) << p->LinesReceived() << p->Outcome() << '\n';
    for (const std::string& c : p->Coping()) coping.insert(c);
  }
  const RadioCounts radio = CountRadio(runner.Transcript());
  std::cout << std::right << '\n'
            << completed << " of " << pilots.size() << " flights completed in "
            << Clock(runner.NowMs() / 1000.0) << " of virtual time (" << std::fixed << std::setprecision(1)
            << wallSeconds << " s here); the station said " << radio.HoldShorts << " hold-shorts, "
            << radio.LandingClearances << " landing clearances, " << radio.GoArounds << " go-arounds and "
            << radio.TrafficAdvisories << " traffic advisories.\n";
  if (!coping.empty()) {
    std::cout << "What the pilots had to cope with:\n";
    for (const std::string& c : coping) std::cout << "  - " << c << '\n';
  }
}

std::vector<std::string> ControlledIdents(const sim::Scenario& scenario) {
  std::vector<std::string> idents;
  for (const auto& c : scenario.Controlled) idents.push_back(c.Name);
  return idents;
}

int RunLoopback(const Options& o, const sim::Scenario& scenario, const std::string& appFolder) {
  const double speed = o.RealTime ? 1 : o.Speed;
  Step("the session: " + std::to_string(scenario.Controlled.size()) + " controlled airports, " +
       (speed > 0 ? "virtual time " + std::to_string(static_cast<int>(speed)) + " times real time"
                  : std::string("virtual time as fast as it goes")));
  sim::ScenarioRunner runner(scenario, appFolder, std::cout);
  runner.SetCorrected(o.Corrected);
  runner.Setup();
  const auto start = std::chrono::steady_clock::now();
  for (int64_t t = 0; !runner.Finished(); t += 1000) {
    runner.RunUntil(t);
    std::cout.flush();
    if (speed > 0) std::this_thread::sleep_until(start + std::chrono::duration<double>(t / 1000.0 / speed));
  }
  PrintFlights(runner, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}

#ifdef __unix__
// The sibling program `name`: beside this one when installed, in the build tree's tools or src/ui.
std::string Sibling(const std::string& self, const std::string& name) {
  const fs::path here = fs::absolute(fs::path(self)).parent_path();
  for (const fs::path& candidate : {here / name, here.parent_path() / "src" / "ui" / name}) {
    if (fs::exists(candidate)) return candidate.string();
  }
  throw std::runtime_error("cannot find " + name + " beside " + self);
}

pid_t Spawn(std::vector<std::string> args, const std::string& outputFile) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
  return pid;
}

int RunNetwork(const Options& o, const std::string& self, const sim::Scenario& scenario,
               const std::string& scenarioPath, const std::string& appFolder) {
  const std::string simProgram = Sibling(self, "skyvox-sim");
  const std::string stationLog = JoinPath(o.Work, "station.log");
  Step(std::string(
           "the session over DirectPlay on this machine, in real time: skyvox-sim hosts it, each pilot ") +
       "a process of its own, " + (o.Window ? "the Skyvox window" : "skyvox-station") + " controls it");
  std::vector<std::string> host = {simProgram, "host",    "--network",      scenarioPath,
                                   "--app",    appFolder, "--wait-station", o.Window ? "900" : "60"};
  const pid_t hostPid = Spawn(host, "");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  pid_t stationPid = -1;
  if (o.Window) {
    stationPid = Spawn({Sibling(self, "skyvox"), "--app", appFolder}, stationLog);
    std::cout
        << "The Skyvox window opens on the program folder " << appFolder
        << ". Go on to the connection window, pick \"Internet TCP/IP Connection For DirectPlay\", search "
           "127.0.0.1, join the session and start monitoring: the pilots start when the station is in "
           "(the host waits up to 15 minutes).\n";
  } else {
    std::vector<std::string> station = {
        Sibling(self, "skyvox-station"), "--app", appFolder, "--host", "127.0.0.1", "--monitor"};
    for (const std::string& ident : ControlledIdents(scenario))
      station.insert(station.end(), {"--control", ident});
    stationPid = Spawn(station, stationLog);
    std::cout << "skyvox-station's own log: " << stationLog << '\n';
  }
  std::cout.flush();
  int status = 0;
  while (waitpid(hostPid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!o.Window && stationPid > 0) {
    kill(stationPid, SIGTERM);
    waitpid(stationPid, nullptr, 0);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
#endif

int Run(const Options& o, const std::string& self) {
  const std::string data = app::ShippedDataFolder(SKYVOX_DATA_DIR).string();
  const std::string scenarioPath =
      o.Scenario.empty()
          ? (fs::path(data) / "scenarios" / (o.Network || o.Window ? "olympia_mix.txt" : "crowd.txt"))
                .string()
          : fs::absolute(o.Scenario).string();
  const sim::Scenario scenario = sim::ParseScenarioFile(scenarioPath);
  const tools::SampleProgram program =
      tools::FirstStartOnSampleWorld(o.Work, ControlledIdents(scenario), data, std::cout);
  Step("the pilots: " + scenarioPath);
  for (const auto& command : scenario.Commands) {
    if (command.What == sim::Verb::Pilot)
      std::cout << "  at " << command.TimeMs / 1000 << " s " << command.Name << ": "
                << sim::DescribeIntention(command.Flight) << '\n';
  }
  if (o.Network || o.Window) {
    // The station and the window read the mode from its settings file at their start.
    if (o.Corrected) {
      app::WriteCorrectedMode(program.AppFolder, true);
      std::cout << "the corrected mode is on: " << app::kCorrectedModeFileName << " written in "
                << program.AppFolder << '\n';
    }
#ifdef __unix__
    return RunNetwork(o, self, scenario, scenarioPath, program.AppFolder);
#else
    (void)self;
    throw std::runtime_error("--network and --window need the network provider's processes, not built here");
#endif
  }
  return RunLoopback(o, scenario, program.AppFolder);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App cli{
      "skyvox-demo: the program's first start on the sample world of the Pacific Northwest, then a crowd of "
      "virtual pilots flying by themselves in a session the station controls, printed as a radio transcript"};
  cli.add_option("WORKFOLDER", o.Work,
                 "where the simulator and program folders are made (default: a temporary folder, removed "
                 "afterwards)");
  cli.add_option("--scenario", o.Scenario,
                 "the pilots' scenario (default: data/scenarios/crowd.txt; with --network or --window "
                 "data/scenarios/olympia_mix.txt)")
      ->check(CLI::ExistingFile);
  auto* speed = cli.add_option("--speed", o.Speed, "virtual seconds per real second (0: as fast as it goes)")
                    ->check(CLI::Range(0.0, 100000.0))
                    ->capture_default_str();
  cli.add_flag("--real-time", o.RealTime, "virtual time runs as real time")->excludes(speed);
  auto* network = cli.add_flag("--network", o.Network,
                               "over the real DirectPlay provider on this machine, in real time: pilots as "
                               "processes, skyvox-station as the controller");
  cli.add_flag("--window", o.Window,
               "like --network, with the Skyvox window as the controller (you connect it)")
      ->excludes(network);
  cli.add_flag("--corrected", o.Corrected,
               "the station in the corrected mode (the controller's known defects fixed)");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : 1;
  }
  bool temporary = false;
  if (o.Work.empty()) {
    std::random_device random;
    o.Work = (fs::temp_directory_path() / ("skyvox-demo-" + std::to_string(random()))).string();
    temporary = !o.Window;  // the window's program folder stays for the window
  }
  int rc = 1;
  try {
    fs::create_directories(o.Work);
    o.Work = fs::absolute(o.Work).string();
    std::cout << "Skyvox demo in " << o.Work << '\n';
    rc = Run(o, argv[0]);
  } catch (const std::exception& e) {
    std::cerr << "skyvox-demo: " << e.what() << '\n';
  }
  if (temporary) {
    std::error_code ec;
    fs::remove_all(o.Work, ec);
  }
  return rc;
}
