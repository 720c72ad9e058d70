// The peak resident size (VmHWM) of the station program with a full session: 500 pilots and 3,000
// controlled airports. This process writes a synthetic simulator folder and builds the program's
// database from it (the first run), then starts itself afresh as the station, so that the measured
// process holds only what an ordinary start holds: the station program (start-up check, settings window
// loading the 3,000 airports and their terrain, connection, the station window monitoring), a loopback
// session's host, and one endpoint through which the pilots join and report their positions four times
// a second. It runs 60 s of session time (the roster refresh included) and reports its VmHWM.
//
//   skyvox_station_memory_bench [--pilots N] [--airports N] [--json FILE]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "authoring/world_description.h"
#include "make_scenery.h"
#include "scenery/records.h"
#include "session/loopback.h"
#include "session/messages.h"
#include "sim/participants.h"
#include "station/station_console.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;

constexpr uint32_t kSeed = 20;
constexpr int kSessionMs = 60000;
constexpr int kReportPeriodMs = 250;

double VmHwmMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;  // kB
  }
  return 0;
}

struct Boxes : app::MessageBoxes {
  void Show(const std::string&, const std::string& text, app::MessageIcon) override { last = text; }
  std::string last;
};

// The first run: the simulator folder from a synthetic world, the database built as the settings window
// builds it. Returns the Idents of the first `airports` airports the database lists.
std::vector<std::string> FirstRun(const fs::path& work, int airports) {
  const fs::path sim = work / "FS2002", app = work / "Skyvox";
  fs::create_directories(app);
  // About one synthetic airport in 25 has no tower or ground and is left out of the database.
  std::ostringstream quiet;
  auto* old = std::cout.rdbuf(quiet.rdbuf());
  tools::MakeScenery("", airports + airports / 10 + 10, 100, kSeed, 2025.0, sim.string(), SKYVOX_DATA_DIR);
  std::cout.rdbuf(old);
  fs::copy_file(fs::path(SKYVOX_DATA_DIR) / "world_terrain.db", app / "world_terrain.db");

  app::ProgramState state;
  state.World.AppFolder = app.string() + "/";
  state.World.SimFolder = sim.string();
  state.World.FirstRun = true;
  Boxes boxes;
  app::SettingsController settings(state, boxes);
  settings.Load();
  while (settings.ScanTimerEnabled()) settings.ScanTick();
  if (settings.Next() == app::NextWindow::Terminate)
    throw std::runtime_error("the build failed: " + boxes.last);
  std::vector<std::string> idents;
  for (const std::string& entry : settings.AirportList()) {
    if (static_cast<int>(idents.size()) == airports) break;
    idents.push_back(entry.substr(0, entry.find(" - ")));
  }
  if (static_cast<int>(idents.size()) < airports)
    throw std::runtime_error("the database holds too few airports");
  return idents;
}

// The measured process: the station program on a loopback session with its pilots, on a virtual clock.
int Station(const fs::path& work, int pilots, const std::vector<std::string>& idents) {
  auto hub = std::make_shared<session::LoopbackHub>(3);
  session::LoopbackFactory factory(hub);
  sim::EventSink quiet = [](const std::string&) {};
  sim::SimulatedHost host(std::make_unique<session::LoopbackDirectPlay>(hub), "HOST", quiet);
  host.Host("Memory", "", pilots + 10);
  session::LoopbackDirectPlay crowd(hub);
  crowd.InitializeConnection(session::LoopbackHub::kConnectionAddress);

  station::StationOptions options;
  options.AppFolder = (work / "Skyvox").string() + "/";
  options.Control = idents;
  options.Connection = session::LoopbackHub::kConnectionName;
  options.Session = "Memory";
  options.Monitor = true;

  std::mt19937 random(kSeed);
  std::uniform_real_distribution<double> lat(25, 50), lon(-125, -70);
  std::vector<int32_t> ids;
  std::vector<session::DpMessage> reports;
  int32_t stationId = 0;
  int64_t now = 0, nextReport = 0, stationSince = 0;
  volatile std::sig_atomic_t stop = 0;
  const auto wait = [&](int32_t ms) {
    now += ms;
    host.Tick(static_cast<double>(now) / 1000);
    if (stationId == 0) {
      for (const auto& p : hub->Players(host.InstanceId())) {
        if (p.FriendlyName == "AI_Controller") stationId = p.Id, stationSince = now;
      }
    }
    // The crowd joins once the station's window is open (its handshake takes well under 5 s): every
    // pilot announces itself.
    if (stationId != 0 && ids.empty() && now >= stationSince + 5000) {
      session::DpSessionDesc join;
      join.InstanceId = host.InstanceId();
      crowd.Open(join, session::kOpenJoin);
      for (int i = 0; i < pilots; ++i) {
        ids.push_back(crowd.CreatePlayer("N" + std::to_string(1000 + i), "Player"));
        crowd.Send(ids.back(), stationId, 1,
                   session::BuildAnnouncement(session::kPlayerAnnouncement, ids.back()));
        reports.push_back(sim::BuildPositionReport({lat(random), lon(random), 3000, 90, 120.0}));
      }
      nextReport = now;
    }
    for (; !ids.empty() && nextReport <= now; nextReport += kReportPeriodMs) {
      for (size_t i = 0; i < ids.size(); ++i) crowd.Send(ids[i], stationId, 0, reports[i]);
    }
    // The lines the station sent the pilots are read and dropped.
    while (!ids.empty() && crowd.GetMessageCount(ids[0]) > 0) crowd.Receive(session::kReceiveAll);
    if (now >= kSessionMs) stop = 1;
  };
  const station::StationClock clock{[&] { return now; }, wait};
  std::ostringstream out, err;
  const int code = station::RunStationProgram(options, factory, clock, stop, out, err, false);
  if (code != 0) {
    std::cerr << "the station ended with " << code << ": " << err.str() << out.str().substr(0, 2000);
    return 1;
  }
  // What the station printed shows that the pilots were served.
  const std::string printed = out.str();
  size_t joined = 0, lines = 0;
  for (size_t at = 0; (at = printed.find(" joined the session", at)) != std::string::npos; ++at) ++joined;
  for (size_t at = 0; (at = printed.find(" <- ", at)) != std::string::npos; ++at) ++lines;
  std::printf("%.1f %zu %zu\n", VmHwmMb(), joined, lines);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int pilots = 500, airports = 3000;
  std::string json, station;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--pilots" && more) {
      pilots = std::stoi(argv[++i]);
    } else if (a == "--airports" && more) {
      airports = std::stoi(argv[++i]);
    } else if (a == "--json" && more) {
      json = argv[++i];
    } else if (a == "--station" && more) {
      station = argv[++i];
    } else {
      std::cerr << "usage: skyvox_station_memory_bench [--pilots N] [--airports N] [--json FILE]\n";
      return 2;
    }
  }
  try {
    if (!station.empty()) {
      std::vector<std::string> idents;
      std::ifstream list(fs::path(station) / "idents.txt");
      for (std::string ident; std::getline(list, ident);) idents.push_back(ident);
      return Station(station, pilots, idents);
    }
    const fs::path work = fs::temp_directory_path() / ("skyvox-memory-" + std::to_string(getpid()));
    fs::create_directories(work);
    {
      std::ofstream list(work / "idents.txt");
      for (const std::string& ident : FirstRun(work, airports)) list << ident << '\n';
    }
    // The station afresh: a new process, its output read back through a pipe.
    const auto start = std::chrono::steady_clock::now();
    const std::string command = "'/proc/" + std::to_string(getpid()) + "/exe' --station '" + work.string() +
                                "' --pilots " + std::to_string(pilots);
    FILE* child = popen(command.c_str(), "r");
    char text[64] = {};
    const bool read = child && std::fgets(text, sizeof text, child);
    const int status = child ? pclose(child) : -1;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    fs::remove_all(work);
    if (!read || status != 0) {
      std::cerr << "skyvox_station_memory_bench: the station process failed\n";
      return 1;
    }
    double mb = 0;
    size_t joined = 0, lines = 0;
    std::istringstream(text) >> mb >> joined >> lines;
    std::printf(
        "skyvox-station's peak resident size, %d pilots (%zu joined, %zu lines sent), %d controlled "
        "airports, "
        "%d s of session: %.1f MB\n",
        pilots, joined, lines, airports, kSessionMs / 1000, mb);
    if (static_cast<int>(joined) != pilots) {
      std::cerr << "skyvox_station_memory_bench: not every pilot joined\n";
      return 1;
    }
    if (!json.empty()) {
      std::ofstream(json) << "{\"benchmarks\":[{\"name\":\"StationMemory/" << pilots << '/' << airports
                          << "\",\"real_time\":" << wallMs << ",\"time_unit\":\"ms\",\"VmHWM_MB\":" << mb
                          << ",\"pilots\":" << pilots << ",\"airports\":" << airports << "}]}\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "skyvox_station_memory_bench: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
