// skyvox-station: the station for a server without a display. It works the windows as a user would,
// from the command line: the start-up check, the first-run build (with --sim), the settings window
// (each --control Ident, "Add", "Next"), the connection window (--connection, "Search", --session,
// --callsign, "Join Session") and the ATC station window with its timers, over DirectPlay 4 on TCP/IP.
// SIGINT or SIGTERM presses "Close the ATC Station" (which leaves the session) and ends the program;
// it also cuts short a session search or join that waits for the network. A second signal ends the
// program at once. Exit code 0 when the user closed the station, 1 on any failure, 3 when the session
// was lost. station_console.h describes the output.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>

#include "dplay4/network.h"
#include "station/station_console.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Set by the signal handler; the program's loops and the network's waits look at it.
volatile std::sig_atomic_t stopRequested = 0;

// The first signal asks the program to close; the default action is back for the next one, so that
// a second Ctrl-C ends a program that does not close promptly.
extern "C" void OnStopSignal(int signal) {
  stopRequested = 1;
  std::signal(signal, SIG_DFL);
}

bool StandardErrorIsTerminal() {
#ifndef _WIN32
  return ::isatty(2) != 0;
#else
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skyvox;
  station::StationOptions options;
  CLI::App cli{"skyvox-station: the ATC station without a display"};
  cli.add_option("--app", options.AppFolder, "the program's folder (database, configuration, terrain)")
      ->required();
  cli.add_option("--sim", options.SimFolder,
                 "the simulator's folder, needed on a first run (when Skyvox_link.cfg is missing)");
  cli.add_option("--control", options.Control, "a controlled airport's Ident (repeatable)")->required();
  cli.add_option("--connection", options.Connection, "the DirectPlay connection")->capture_default_str();
  cli.add_option("--host", options.Host,
                 "the session host's name or IP address, optionally :port (empty: search the local network)");
  cli.add_option("--session", options.Session, "the session to join (default: the first found)");
  cli.add_option("--callsign", options.Callsign, "the station's callsign")->capture_default_str();
  cli.add_option("--password", options.Password, "the answer to the session's password prompt");
  cli.add_flag("--monitor", options.Monitor, "start monitoring traffic at once");
  cli.add_flag(
      "--corrected", options.Corrected,
      "the corrected mode: the controller's known defects fixed (default: its settings file, else off)");
  constexpr int32_t kMaxMs = std::numeric_limits<int32_t>::max();
  cli.add_option("--ping-interval", options.PingIntervalMs, "keep-alive ping interval in ms")
      ->check(CLI::Range(1, kMaxMs))
      ->group("");
  cli.add_option("--enum-timeout", options.EnumTimeoutMs, "how long a session search waits, in ms")
      ->check(CLI::Range(1, kMaxMs))
      ->capture_default_str();
  std::string ports = "2300-2400";
  cli.add_option("--ports", ports, "the range our TCP and UDP ports are taken from (open it in the firewall)")
      ->capture_default_str()
      ->check([](const std::string& text) -> std::string {
        unsigned first = 0, last = 0;
        char dash = 0, extra = 0;
        if (std::sscanf(text.c_str(), "%u%c%u%c", &first, &dash, &last, &extra) != 3 || dash != '-' ||
            first == 0 || first > last || last > 65535) {
          return "expected A-B with 1 <= A <= B <= 65535";
        }
        return "";
      });
  cli.add_flag("--verbose", options.Verbose,
               "print the network's protocol log on standard error, the lines received and, every 30 s, the "
               "traffic table");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : 1;
  }

  {
    unsigned first = 2300, last = 2400;
    std::sscanf(ports.c_str(), "%u-%u", &first, &last);
    options.FirstPort = static_cast<uint16_t>(first);
    options.LastPort = static_cast<uint16_t>(last);
  }
  std::cout << std::unitbuf;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGBREAK
  std::signal(SIGBREAK, OnStopSignal);  // Ctrl+Break in a Windows console
#endif

  std::shared_ptr<dplay4::NetworkContext> context = dplay4::MakeNetworkContext();
  dplay4::NetworkDirectPlayFactory network(
      station::MakeNetworkOptions(options, std::cout, std::cerr, &stopRequested), context);
  const station::StationClock clock{app::SteadyClockMs, [context](int32_t ms) {
                                      if (ms <= 0) {
                                        dplay4::PollNetwork(*context);
                                      } else {
                                        dplay4::PollNetworkFor(*context, ms);
                                      }
                                    }};
  return station::RunStationProgram(options, network, clock, stopRequested, std::cout, std::cerr,
                                    StandardErrorIsTerminal());
}
