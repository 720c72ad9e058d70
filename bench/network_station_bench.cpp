// The station under a full session over the network provider: a second process hosts a DirectPlay 4
// session on 127.0.0.1 and runs N pilots (default 200) on M machines (default 20; each machine is a
// DirectPlay object with its own sockets, and DirectPlay keeps a full mesh of TCP connections between
// machines, so 200 machines in one process would need some 80,000 sockets), each pilot reporting its
// position 4 times a second by UDP as the simulator does. This process is
// the station: it joins like the connection window, and runs the receive loop on its 100 ms
// Connection_Timer, polling the network in between. Printed: the station's CPU share over the
// measured window and the latency from a report's send to the receive loop handling it (which
// includes waiting for the next timer tick).
//
//   skyvox_network_station_bench [PILOTS] [SECONDS] [MACHINES] [--json FILE]
//
// --json writes the figures as one benchmark entry, NetworkStation/PILOTS: real_time the p99 delay in
// ms, counters latency_p50_ms, latency_p90_ms, latency_p99_ms, latency_max_ms, cpu_percent (of one core)
// and reports_per_second.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dplay4/network.h"
#include "session/forwarding_directplay.h"
#include "session/messages.h"
#include "session/receive_loop.h"

namespace {
using namespace skyvox;
using Clock = std::chrono::steady_clock;

int64_t Nanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

dplay4::NetworkOptions Options(uint16_t enumerationPort, uint16_t first, uint16_t last) {
  dplay4::NetworkOptions o;
  o.EnumerationPort = enumerationPort;
  o.FirstPort = first;
  o.LastPort = last;
  o.EnumerationTimeoutMs = 30;
  o.IdKey = 0;
  o.MaxConnectionsPerAddress = 4096;  // every machine of the bench is on 127.0.0.1
  o.MaxConnections = 4096;
  if (std::getenv("SKYVOX_BENCH_LOG")) {
    o.Log = [](const std::string& line) {
      std::fprintf(stderr, "[%d] %s\n", static_cast<int>(getpid()), line.c_str());
    };
  }
  return o;
}

// A position report with speed whose two spare Longs carry the send time.
session::DpMessage Report(int64_t sentNs, int i) {
  session::DpMessage m;
  m.WriteLong(0x1019);
  m.WriteLong(50);
  m.WriteLong(static_cast<int32_t>(sentNs & 0xFFFFFFFF));
  m.WriteLong(static_cast<int32_t>(sentNs >> 32));
  for (int32_t v : {0, 0, 0, 65536 * 60, 0, 400 << 2, 5273337 + i * 100, -1459240000, 1000}) m.WriteLong(v);
  for (int k = 0; k < 3; ++k) m.WriteShort(0);
  return m;
}

void WaitLine(int fd) {
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') {
  }
}

// Waits for a line from the other process while serving the session.
void WaitLinePolling(int fd, dplay4::NetworkContext& context) {
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval zero{};
    if (select(fd + 1, &set, nullptr, nullptr, &zero) > 0) break;
    dplay4::PollNetworkFor(context, 5);
  }
  WaitLine(fd);
}

// The pilots' process: hosts the session, waits for the station, then joins the pilots and reports.
int RunPilots(int pilots, int machines, int seconds, uint16_t enumerationPort, int toStation,
              int fromStation) {
  auto context = dplay4::MakeNetworkContext();
  const auto options = Options(enumerationPort, static_cast<uint16_t>(enumerationPort - 1200),
                               static_cast<uint16_t>(enumerationPort - 1));
  dplay4::NetworkDirectPlay host(options, context);
  host.InitializeConnection(dplay4::kTcpIpConnectionAddress);
  session::DpSessionDesc desc;
  desc.SessionName = "bench";
  desc.Flags = session::kSessionKeepAlive | session::kSessionMigrateHost;
  host.Open(desc, session::kOpenCreate);
  host.CreatePlayer("HOST", "Player");
  (void)!write(toStation, "up\n", 3);
  WaitLinePolling(fromStation, *context);
  int32_t station = 0;
  for (const auto& p : host.EnumPlayers(host.CurrentSession().InstanceId, 0)) {
    if (p.Name == "AI_Controller") station = p.Id;
  }

  std::vector<std::unique_ptr<dplay4::NetworkDirectPlay>> machine;
  std::vector<dplay4::NetworkDirectPlay*> dps;  // each pilot's machine
  std::vector<int32_t> ids;
  const std::string address =
      std::string(dplay4::kTcpIpConnectionAddress) + ":127.0.0.1:" + std::to_string(enumerationPort);
  for (int m = 0; m < machines; ++m) {
    auto dp = std::make_unique<dplay4::NetworkDirectPlay>(options, context);
    dp->InitializeConnection(address);
    auto found = dp->EnumSessions(session::DpSessionDesc{}, 0, session::kEnumSessionsAvailable);
    if (found.empty()) {
      std::fprintf(stderr, "machine %d found no session\n", m);
      return 1;
    }
    dp->Open(found[0], session::kOpenJoin);
    machine.push_back(std::move(dp));
  }
  for (int i = 0; i < pilots; ++i) {
    dplay4::NetworkDirectPlay* dp = machine[static_cast<size_t>(i % machines)].get();
    ids.push_back(dp->CreatePlayer("N" + std::to_string(1000 + i), "Player"));
    dp->Send(ids.back(), station, session::kSendGuaranteed,
             session::BuildAnnouncement(session::kPlayerAnnouncement, ids.back()));
    dps.push_back(dp);
  }
  (void)!write(toStation, "joined\n", 7);

  // Reports spread evenly over each quarter second.
  const auto start = Clock::now();
  const auto slot = std::chrono::nanoseconds(250'000'000 / std::max(1, pilots));
  int64_t sent = 0;
  (void)seconds;
  for (auto next = start;; next += slot) {
    if (sent % pilots == 0) {  // once per round: has the station finished measuring?
      fd_set set;
      FD_ZERO(&set);
      FD_SET(fromStation, &set);
      timeval zero{};
      if (select(fromStation + 1, &set, nullptr, nullptr, &zero) > 0) break;
    }
    while (Clock::now() < next) dplay4::PollNetworkFor(*context, 1);
    const size_t i = static_cast<size_t>(sent % pilots);
    // The bench measures the station's side: each report goes to the station only, not to all.
    try {
      dps[i]->Send(ids[i], station, 0, Report(Nanos(), static_cast<int>(i)));
    } catch (const std::exception&) {
      break;  // the station has left
    }
    ++sent;
  }
  std::fprintf(stderr, "pilots sent %lld reports\n", static_cast<long long>(sent));
  return 0;
}

struct NoEvents : session::SessionEvents {
  void ShowInformation(const std::string& text) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
  void CloseStation() override { closed = true; }
  bool closed = false;
};

// Forwards to the network provider and notes the delay of every position report received.
class TimingDirectPlay : public session::ForwardingDirectPlay {
 public:
  using ForwardingDirectPlay::ForwardingDirectPlay;
  std::vector<int64_t> Delays;
  bool Measuring = false;

  session::DpReceived Receive(int32_t f) override {
    session::DpReceived r = ForwardingDirectPlay::Receive(f);
    const auto& b = r.Message.Bytes();
    if (Measuring && b.size() >= 16 && b[0] == 0x19 && b[1] == 0x10) {
      int64_t sent = 0;
      std::memcpy(&sent, b.data() + 8, 8);
      Delays.push_back(Nanos() - sent);
    }
    return r;
  }
};

int RunStation(int pilots, int machines, int seconds, uint16_t enumerationPort, int fromPilots, int toPilots,
               const std::string& json) {
  WaitLine(fromPilots);
  auto context = dplay4::MakeNetworkContext();
  auto network = std::make_unique<dplay4::NetworkDirectPlay>(
      Options(enumerationPort, static_cast<uint16_t>(enumerationPort - 1300),
              static_cast<uint16_t>(enumerationPort - 1201)),
      context);
  auto timing = std::make_unique<TimingDirectPlay>(std::move(network));
  TimingDirectPlay& dp = *timing;
  dp.InitializeConnection(std::string(dplay4::kTcpIpConnectionAddress) +
                          ":127.0.0.1:" + std::to_string(enumerationPort));
  auto found = dp.EnumSessions(session::DpSessionDesc{}, 0, session::kEnumSessionsAvailable);
  if (found.empty()) {
    std::fprintf(stderr, "the station found no session\n");
    return 1;
  }
  dp.Open(found[0], session::kOpenJoin);
  session::SessionLink link;
  link.OwnPlayerId = dp.CreatePlayer("AI_Controller", "Player");
  link.SessionInstanceId = found[0].InstanceId;
  link.SessionMaxPlayers = pilots + 10;
  link.SessionActive = true;
  link.Dp = std::move(timing);
  scenery::WorldTables world;
  NoEvents events;
  (void)!write(toPilots, "in\n", 3);

  // Serve the session while the pilots join (the station's machine is introduced to each of them).
  auto tick = Clock::now();
  auto serve = [&](Clock::time_point until) {
    while (Clock::now() < until && !events.closed) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(tick - Clock::now()).count();
      if (left > 0) dplay4::PollNetworkFor(*context, static_cast<int32_t>(std::min<int64_t>(left, 100)));
      if (Clock::now() >= tick) {
        session::OnConnectionTimerTick(link, world, events);
        tick += std::chrono::milliseconds(100);
      }
    }
  };
  const auto joinStart = Clock::now();
  fd_set set;
  for (;;) {
    FD_ZERO(&set);
    FD_SET(fromPilots, &set);
    timeval zero{};
    if (select(fromPilots + 1, &set, nullptr, nullptr, &zero) > 0) break;
    serve(Clock::now() + std::chrono::milliseconds(50));
  }
  WaitLine(fromPilots);
  const double joinSeconds = std::chrono::duration<double>(Clock::now() - joinStart).count();
  serve(Clock::now() + std::chrono::seconds(1));  // the announcements

  dp.Measuring = true;
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  serve(wall0 + std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  const double cpu = CpuSeconds() - cpu0;
  dp.Measuring = false;
  (void)!write(toPilots, "done\n", 5);

  auto& d = dp.Delays;
  std::sort(d.begin(), d.end());
  auto ms = [&](double q) {
    return d.empty()
               ? 0.0
               : static_cast<double>(d[static_cast<size_t>(q * static_cast<double>(d.size() - 1))]) / 1e6;
  };
  std::printf("pilots                      %d on %d machines, 4 reports/s each by UDP\n", pilots, machines);
  std::printf("pilots in the roster        %d\n", static_cast<int>(link.PlayerCount));
  std::printf("joining all pilots          %.1f s\n", joinSeconds);
  std::printf("measured                    %.1f s, %zu reports handled (%.0f/s)\n", wall, d.size(),
              static_cast<double>(d.size()) / wall);
  std::printf("station CPU share           %.1f %% of one core\n", 100.0 * cpu / wall);
  std::printf("send -> receive loop delay  p50 %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms\n", ms(0.5),
              ms(0.9), ms(0.99), ms(1.0));
  std::printf(
      "(the receive loop runs on the 100 ms Connection_Timer: about 50 ms of the delay is the wait for "
      "it)\n");
  if (json.empty()) return 0;
  std::FILE* out = std::fopen(json.c_str(), "w");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", json.c_str());
    return 1;
  }
  std::fprintf(
      out,
      "{\"benchmarks\":[{\"name\":\"NetworkStation/%d\",\"real_time\":%.3f,\"time_unit\":\"ms\","
      "\"latency_p50_ms\":%.3f,\"latency_p90_ms\":%.3f,\"latency_p99_ms\":%.3f,\"latency_max_ms\":%.3f,"
      "\"cpu_percent\":%.3f,\"reports_per_second\":%.1f}]}\n",
      pilots, ms(0.99), ms(0.5), ms(0.9), ms(0.99), ms(1.0), 100.0 * cpu / wall,
      static_cast<double>(d.size()) / wall);
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> numbers;
  std::string json;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "--json needs a file name\n");
        return 2;
      }
      json = argv[++i];
    } else {
      numbers.emplace_back(argv[i]);
    }
  }
  auto number = [&](size_t k, int fallback) {
    return k < numbers.size() ? std::max(1, std::atoi(numbers[k].c_str())) : fallback;
  };
  const int pilots = number(0, 200);
  const int seconds = number(1, 10);
  const int machines = std::min(pilots, number(2, 20));
  std::random_device rd;
  const uint16_t enumerationPort = static_cast<uint16_t>(40000 + rd() % 20000);
  int up[2], down[2];
  if (pipe(up) != 0 || pipe(down) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    close(up[0]);
    close(down[1]);
    _exit(RunPilots(pilots, machines, seconds, enumerationPort, up[1], down[0]));
  }
  close(up[1]);
  close(down[0]);
  int rc = 1;
  try {
    rc = RunStation(pilots, machines, seconds, enumerationPort, up[0], down[1], json);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "station: %s\n", e.what());
  }
  close(down[1]);
  int status = 0;
  waitpid(child, &status, 0);
  return rc;
}
