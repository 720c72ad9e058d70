// Network mode of skyvox-sim: a scenario played in real time over the DirectPlay 4 network provider,
// one process per participant, against a station that runs as a program of its own.
//
// The host process creates a real session on this machine (SimulatedHost over NetworkDirectPlay),
// prints "* session up on port N" (N: the port it answers session searches on), optionally waits for
// the station, and then plays the scenario from t = 0: its own lines itself, and for every join,
// observer and present line it starts one child process, a copy of its own executable, that searches
// the session on the host's address, joins it and plays that participant's own lines at their times
// from the shared start, reporting positions four times a second of the shared clock. What differs
// from the loopback runner, because the network runs on a real clock and the station is not ours:
// - monitor, stopmonitor and closestation have no one to act on them and are ignored (noted on stderr);
// - present pilots join at t = 0, without announcing themselves;
// - a participant goes silent for 0.3 s before it leaves (its leave is that much later), and the host
//   leaves 0.3 s after its "host left" notice (0x1012): reports travel by UDP and the departure by
//   TCP, so without the pause a last report could trail the departure and be dropped as
//   from a player no longer in the session; the pause keeps transcripts the same from run to run;
// - drop ends the participant's process without leaving: the others find out by keep-alive;
// - hostleave: the session migrates to the oldest machine (the station when it joined first), and
//   participants that join later search it at the rejoin address (the station's machine);
// - endsession: a scenario that ends the session while the host is in it gets a session without host
//   migration, and the host closes it without a word, which ends it for every machine; after a
//   hostleave the session is the station's, and every participant's process is killed instead;
// - hostremove sends 0x1016 to every player that is not one of the scenario's participants;
// - "run T until flights end" stops the run once every line is played and every virtual pilot's child
//   has reported its flight completed or has ended (checked at every tick of the host, not on whole
//   seconds); the children are then told that the run ends (SIGUSR1).
// At the end of the run the participants leave, then the host; SIGTERM or SIGINT ends the run the
// same way at once.
//
// Everything goes to stdout as it happens, one write per line, "[  12.5] " first (the time since the
// shared start, [   0.0] before it): events start with "* ", the provider's log lines with
// "(network) NAME: "; a participant prints each chat line it receives as "NAME hears SENDER: TEXT".
// Diagnostics go to stderr.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dplay4/network.h"
#include "sim/scenario.h"
#include "sim/virtual_pilot.h"

namespace skyvox::sim {

// "A-B", 1 <= A <= B <= 65535: the range a process takes its stream and datagram ports from. Throws
// std::invalid_argument with a message for anything else.
std::pair<uint16_t, uint16_t> ParsePortRange(const std::string& text);

// What one participant process plays: the participant declared by one join, observer, pilot or present
// line, from that line to its leave or drop (a name that joins again later is another process).
struct ParticipantScript {
  std::string Name;  // single-byte text, as in the scenario
  bool IsObserver = false;
  // In the session before the station: joins at t = 0 and is admitted without announcing itself.
  bool Present = false;
  int64_t JoinMs = 0;
  // Its own lines after the join, in playing order; the last is its leave or drop when it has one.
  std::vector<TimedCommand> Lines;
  // A virtual pilot's intention (pilot lines): it flies it by itself.
  std::optional<Intention> Flight;
};

// The participant whose join, observer, pilot or present line is `line` (1-based). Throws
// std::invalid_argument when no such line declares a participant.
ParticipantScript ScriptFor(const Scenario& scenario, int line);

// The names a scenario gives its participants (join, observer, pilot and present lines) and its host:
// every other player in the session is taken for the station.
bool IsScenarioName(const Scenario& scenario, const std::string& name);

// What the scenario's virtual pilots know: the airports of its control lines, whole, and the magnetic
// variation of the simulator's Scenery/magdec.bgl (none when it cannot be read: noted on `notes` when
// given), read from the program folder's database and configuration files as the settings window reads
// them, without writing anything there. Throws ScenarioError for an Ident the database lacks and
// SimulationError when the folder's files cannot be used.
PilotWorld LoadPilotWorld(const Scenario& scenario, const std::string& appFolder,
                          std::ostream* notes = nullptr);

// Provider settings shared by the host and its children.
struct NetworkSettings {
  uint16_t EnumerationPort = dplay4::kEnumerationPort;
  uint16_t FirstPort = 2300;
  uint16_t LastPort = 2400;
  std::optional<int32_t> PingIntervalMs;  // the provider's default when absent
  // How long one session search of a child waits (the provider always waits this long); it tries three
  // times.
  int32_t EnumerationTimeoutMs = 1000;
  std::optional<uint32_t> IdKey;  // host only: fixed player id scrambling key
};

struct HostRunOptions {
  std::string ScenarioPath;
  NetworkSettings Network;
  // t = 0 comes when a player that is not one of the scenario's participants (the station) is in the
  // session, or after this many seconds; 0 starts at once.
  double WaitStationSeconds = 0;
  // Where participants that join after the host left search the session: the station's machine, which
  // answers searches on its own enumeration port once it took the session over.
  std::string RejoinAddress = "127.0.0.1";
  // The program folder with the database, for the virtual pilots; required when there are any.
  std::string AppFolder;
};

// Plays the host's side; returns the exit code (0 at the end of the run, 1 when the scenario or the
// session cannot be set up, 128 + signal after SIGTERM or SIGINT). Scenario mistakes throw
// ScenarioError before anything starts (a virtual pilot's airport or spot that the program folder's
// database lacks too), and so does a scenario with virtual pilots but no AppFolder
// (std::invalid_argument) or a folder that cannot be read (SimulationError).
int RunNetworkHost(const HostRunOptions& options);

struct ParticipantRunOptions {
  std::string ScenarioPath;
  std::string Name;  // as typed (UTF-8); must be the name on the line
  int Line = 0;      // the participant's join, observer or present line
  bool AsObserver = false;
  std::string HostAddress;   // "ADDRESS[:PORT]", searched for the session
  int64_t StartEpochMs = 0;  // t = 0, milliseconds since the Unix epoch
  NetworkSettings Network;
  std::string AppFolder;  // a virtual pilot's world (see LoadPilotWorld)
  // A virtual pilot writes to this descriptor, one line each, "completed" once its flight is completed
  // and "summary TEXT" for every line of its summary (single-byte text) before it ends; without one it
  // prints its summary as events.
  int ReportFd = -1;
};

// Plays one participant; returns the exit code (0 when it left, dropped, lost the session or reached
// the end of the run, or was told by SIGUSR1 that the run ends; 1 when it could not join; 128 + signal
// after SIGTERM or SIGINT). A virtual pilot without AppFolder throws std::invalid_argument.
int RunNetworkParticipant(const ParticipantRunOptions& options);

}  // namespace skyvox::sim
