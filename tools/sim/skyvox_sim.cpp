// skyvox-sim: plays a scenario of simulated FS2002 participants against the station and prints the
// radio transcript, or hosts a real network session for a station running as a program of its own.
//   skyvox-sim run SCENARIO --app APPFOLDER
//   skyvox-sim make-load [--pilots N] [--seconds T] [--seed S]
//   skyvox-sim make-soak [--pilots N] [--seconds T] [--seed S]
//   skyvox-sim soak SCENARIO --app APPFOLDER [--corrected] [--transcript FILE] [--stuck-minutes M]
//   skyvox-sim host --network SCENARIO [--enum-port N] [--id-key K] [--ping-interval MS] [--ports A-B]
//                   [--wait-station SECONDS] [--rejoin-host ADDRESS[:PORT]] [--enum-timeout MS]
//                   [--app APPFOLDER]
//   skyvox-sim pilot|observer --network SCENARIO --name NAME --line N --host ADDRESS[:PORT]
//                   --start EPOCH_MS [--ports A-B] [--ping-interval MS] [--enum-timeout MS]
//                   [--app APPFOLDER] [--report-fd FD]
// The host starts the pilot and observer processes itself; see sim/network_mode.h.
// Exit code 0 when the scenario was played to its end; 1 with "SCENARIO:LINE: message" for a mistake
// in the scenario, or "skyvox-sim: message" when it cannot be played (the program folder, the join).
#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "sim/load_scenario.h"
#include "sim/network_mode.h"
#include "sim/processes.h"
#include "sim/scenario.h"
#include "sim/soak_watch.h"

namespace {

// The provider settings both network roles take.
void AddNetworkOptions(CLI::App& command, skyvox::sim::NetworkSettings& settings, std::string& ports,
                       std::optional<int32_t>& pingInterval) {
  command.add_option("--ports", ports, "the range to take own stream and datagram ports from (A-B)")
      ->default_str("2300-2400");
  command.add_option("--ping-interval", pingInterval, "keep-alive ping interval in ms")
      ->check(CLI::Range(100, 3600000));
  command
      .add_option("--enum-timeout", settings.EnumerationTimeoutMs, "how long one session search waits, ms")
      ->check(CLI::Range(100, 60000))
      ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skyvox::sim;
#ifdef _WIN32
  // Lines end in "\n" as on every other system: the host and its children share this output.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App cli{"skyvox-sim: simulated FS2002 participants and the scenario runner"};
  cli.require_subcommand(1);
  std::string scenarioPath, appFolder;
  long long reportChannel = -1;
  auto* run = cli.add_subcommand("run", "play a scenario and print the radio transcript");
  run->add_option("SCENARIO", scenarioPath, "the scenario file")->required();
  run->add_option("--app", appFolder, "the program folder holding the database files")->required();
  bool corrected = false;
  run->add_flag("--corrected", corrected,
                "the station in the corrected mode: the controller's known defects fixed (default: the "
                "program folder's settings file, else off)");

  LoadShape load;
  auto* makeLoad = cli.add_subcommand(
      "make-load", "print a load scenario: scripted pilots reporting positions, flying legs and chatting");
  makeLoad->add_option("--pilots", load.Pilots, "how many pilots")
      ->check(CLI::Range(1, 9999))
      ->capture_default_str();
  makeLoad->add_option("--seconds", load.Seconds, "the run's length")
      ->check(CLI::Range(90, 86400))
      ->capture_default_str();
  makeLoad->add_option("--seed", load.Seed, "varies the positions and legs")->capture_default_str();

  SoakShape soakShape;
  auto* makeSoak =
      cli.add_subcommand("make-soak",
                         "print a soak scenario: a steady crowd of virtual pilots with random intentions and "
                         "random lines, one after another in each place, for a long run");
  makeSoak->add_option("--pilots", soakShape.Pilots, "how many places in the crowd")
      ->check(CLI::Range(1, 9999))
      ->capture_default_str();
  makeSoak->add_option("--seconds", soakShape.Seconds, "the run's length")
      ->check(CLI::Range(60, 86400))
      ->capture_default_str();
  makeSoak->add_option("--seed", soakShape.Seed, "varies everything drawn")->capture_default_str();

  std::string soakTranscript;
  bool soakCorrected = false;
  int stuckMinutes = 15;
  auto* soak = cli.add_subcommand(
      "soak", "play a scenario under watch: memory and tables sampled, growth and stuck pilots reported");
  soak->add_option("SCENARIO", scenarioPath, "the scenario file (make-soak writes one)")->required();
  soak->add_option("--app", appFolder, "the program folder holding the database files")->required();
  soak->add_flag("--corrected", soakCorrected, "the station in the corrected mode");
  soak->add_option("--transcript", soakTranscript, "write the transcript to this file (default: dropped)");
  soak->add_option("--stuck-minutes", stuckMinutes,
                   "a pilot in one dialogue state this long when it leaves or the run ends is stuck")
      ->check(CLI::Range(1, 1440))
      ->capture_default_str();

  HostRunOptions hostOptions;
  std::string hostPorts = "2300-2400";
  std::optional<int32_t> hostPing;
  std::optional<uint32_t> idKey;
  auto* host =
      cli.add_subcommand("host", "host a real DirectPlay session on this machine and play the scenario");
  host->add_flag("--network")->description("over the network (the only way to host)")->required();
  host->add_option("SCENARIO", hostOptions.ScenarioPath, "the scenario file")->required();
  host->add_option("--enum-port", hostOptions.Network.EnumerationPort, "the port session searches come to")
      ->check(CLI::Range(1, 65535))
      ->capture_default_str();
  host->add_option("--id-key", idKey, "fixed player id scrambling key (0: ids count up from the host's)");
  host->add_option("--wait-station", hostOptions.WaitStationSeconds,
                   "delay t = 0 until a player not in the scenario (the station) joins, at most this long")
      ->check(CLI::Range(0.0, 3600.0));
  host->add_option("--rejoin-host", hostOptions.RejoinAddress,
                   "where participants joining after the host left search the session: ADDRESS[:PORT]")
      ->capture_default_str();
  host->add_option("--app", hostOptions.AppFolder,
                   "the program folder holding the database (the virtual pilots' airports)");
  AddNetworkOptions(*host, hostOptions.Network, hostPorts, hostPing);

  ParticipantRunOptions participantOptions;
  std::string participantPorts = "2300-2400";
  std::optional<int32_t> participantPing;
  for (const char* kind : {"pilot", "observer"}) {
    auto* p =
        cli.add_subcommand(kind, std::string("one ") + kind + " of a network scenario (started by the host)");
    p->add_flag("--network")->description("over the network")->required();
    p->add_option("SCENARIO", participantOptions.ScenarioPath, "the scenario file")->required();
    p->add_option("--name", participantOptions.Name, "the participant's name")->required();
    p->add_option("--line", participantOptions.Line, "its join, observer or present line")->required();
    p->add_option("--host", participantOptions.HostAddress, "where to search the session: ADDRESS[:PORT]")
        ->required();
    p->add_option("--start", participantOptions.StartEpochMs, "t = 0 in ms since the Unix epoch")->required();
    p->add_option("--app", participantOptions.AppFolder,
                  "a virtual pilot's program folder with the database");
    // A descriptor on POSIX systems, the inherited pipe's handle on Windows.
    p->add_option("--report-fd", reportChannel,
                  "a virtual pilot's report to the host: its completion and summary, one line each")
        ->check(CLI::PositiveNumber);
    AddNetworkOptions(*p, participantOptions.Network, participantPorts, participantPing);
  }
  CLI11_PARSE(cli, argc, argv);

  try {
    if (*run) {
      ScenarioRunner runner(ParseScenarioFile(scenarioPath), appFolder, std::cout);
      runner.KeepTranscript(false);  // printed as it goes; nothing reads it back
      runner.SetCorrected(corrected);
      runner.Run();
      return 0;
    }
    if (*makeLoad) {
      std::cout << LoadScenarioText(load);
      return 0;
    }
    if (*makeSoak) {
      std::cout << SoakScenarioText(soakShape);
      return 0;
    }
    if (*soak) {
      std::ofstream file;
      std::ostream null(nullptr);
      if (!soakTranscript.empty()) {
        file.open(soakTranscript, std::ios::binary);
        if (!file) throw std::runtime_error("cannot write the transcript " + soakTranscript);
      }
      SoakLimits limits;
      limits.StuckAfterMs = int64_t{stuckMinutes} * 60000;
      return RunSoak(ParseScenarioFile(scenarioPath), appFolder, soakCorrected, limits,
                     soakTranscript.empty() ? null : file, std::cout);
    }
    if (*host) {
      std::tie(hostOptions.Network.FirstPort, hostOptions.Network.LastPort) = ParsePortRange(hostPorts);
      hostOptions.Network.PingIntervalMs = hostPing;
      hostOptions.Network.IdKey = idKey;
      scenarioPath = hostOptions.ScenarioPath;
      return RunNetworkHost(hostOptions);
    }
    participantOptions.AsObserver = cli.got_subcommand("observer");
    std::tie(participantOptions.Network.FirstPort, participantOptions.Network.LastPort) =
        ParsePortRange(participantPorts);
    participantOptions.Network.PingIntervalMs = participantPing;
    scenarioPath = participantOptions.ScenarioPath;
    participantOptions.ReportFd = skyvox::sim::ReportDescriptor(reportChannel);
    return RunNetworkParticipant(participantOptions);
  } catch (const ScenarioError& e) {
    std::cout.flush();
    std::cerr << scenarioPath << ':' << e.Line() << ": " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "skyvox-sim: " << e.what() << '\n';
    return 1;
  }
}
