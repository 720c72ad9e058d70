// Scenarios: a plain-text script of what happens in a multiplayer session, and the runner that plays it
// against the real station on the loopback provider under a virtual clock, printing the radio
// transcript. The runner drives the window controllers as a user would: the settings window (pick each
// controlled airport, "Add", "Next"), the connection window (connection type, search, session,
// callsign, "Join Session", handshake ticks), then the station window with its three timers at their
// real periods, as fast as the processor allows. The README's "Scenarios" section documents the format.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/connection.h"
#include "app/input_boxes.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/station.h"
#include "session/directplay.h"
#include "session/loopback.h"
#include "sim/participants.h"
#include "sim/transcript.h"
#include "sim/virtual_pilot.h"

namespace skyvox::sim {

// A mistake in a scenario, tied to the line it is on (1-based).
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// A scenario that cannot be played for a reason outside its lines (the program folder, the join).
class SimulationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Verb {
  Monitor,       // "Start Monitoring Traffic"
  StopMonitor,   // "Stop Monitoring Traffic"
  CloseStation,  // "Close the ATC Station"
  Join,          // a pilot joins and announces itself
  Observer,      // an observer joins and announces itself
  Pos,           // a pilot's position (and ground speed when given)
  Fly,           // a pilot flies a great-circle leg
  Say,           // a participant types a chat line
  Aircraft,      // a pilot's aircraft description from now on
  Leave,         // a participant leaves the session
  Drop,          // the provider loses a participant's connection
  HostLeave,     // the host leaves (0x1012 to the others)
  HostRemove,    // the host removes the station (0x1016)
  EndSession,    // the session is gone for everyone at once
  Pilot,         // a virtual pilot joins and flies its intention by itself
};

// One timed line. Text and names are single-byte (Windows-1252) text.
struct TimedCommand {
  int Line = 0;
  int64_t TimeMs = 0;
  Verb What = Verb::Monitor;
  std::string Name;
  std::string Text;        // Say, Aircraft
  PilotPosition Position;  // Pos; Fly: the target in Latitude/Longitude/AltitudeFt, speed in GroundSpeedKt
  Intention Flight;        // Pilot
};

struct NamedLine {
  int Line = 0;
  std::string Name;
};

struct Scenario {
  static constexpr int64_t kMaxTimeMs = 86400 * 1000;

  std::vector<NamedLine> Controlled;  // Idents, in order
  std::string Callsign = app::kDefaultCallsign;
  std::string HostName = "HOST";
  std::string SessionName = "Skyvox simulation";
  std::string Password;
  int32_t MaxPlayers = 16;
  std::vector<NamedLine> Present;      // pilots in the session before the station joins
  std::vector<TimedCommand> Commands;  // in time order, file order within the same time
  int64_t EndMs = 0;
  // "run SECONDS until flights end": the run stops once every virtual pilot has completed its flight
  // or left, and no scripted line is still to come.
  bool EndWhenFlightsEnd = false;
};

// Reads a scenario (UTF-8 text) and checks that it can be played: every name is declared, every
// participant is in the session when it acts, every number is in range. Throws ScenarioError.
Scenario ParseScenario(std::istream& in);
// Throws FileError when the file cannot be read.
Scenario ParseScenarioFile(const std::string& path);

// One ATC_Timer tick over the program's tables, called only while the station monitors traffic and
// someone is in the roster, as the station window does. An empty hook runs the program's own ATC
// cycle (app::ProgramAtcCycle); tests put a stand-in of their own here.
using AtcCycleHook = std::function<void(app::ProgramState&)>;

// Plays a scenario. Every transcript line is printed to `out` as it happens and kept.
//
// Within one instant of the clock: the scenario's lines due then (in order), then the host and the
// participants poll their queues (in order of joining), then the station's timers that are due:
// Connection_Timer, Refresh_Players, ATC_Timer. The clock visits every 50 ms, every line's time and
// every timer's due time. A timer ticks first one interval after it was enabled, as a window timer does.
class ScenarioRunner {
 public:
  static constexpr int64_t kParticipantPollMs = 50;

  ScenarioRunner(Scenario scenario, std::string appFolder, std::ostream& out, AtcCycleHook atcCycle = {});
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  // Before t = 0: the start-up check of the program folder, the settings window, the host's session
  // and the pilots already in it, the connection window's join; the station window opens at t = 0.
  // Runs once; RunUntil and Run call it first. Throws ScenarioError (an Ident the database lacks) or
  // SimulationError.
  void Setup();
  // Runs the station in the corrected mode, whatever the program folder's settings file says. Call
  // before Setup.
  void SetCorrected(bool on) { corrected_ = on; }
  // Plays every instant up to and including timeMs (at most the end of the run).
  void RunUntil(int64_t timeMs);
  void Run() { RunUntil(scenario_.EndMs); }
  // What a user does once the station window closed by itself (its session ended): "Next" in the
  // settings window with the scenario's airports, the connection window's join, and "Start Monitoring
  // Traffic". Does nothing and returns false while the station is open. Throws SimulationError when
  // the join fails.
  bool ReopenStation();
  // Every virtual pilot's summary (VirtualPilot::Summary), in order of joining. The runner prints it as
  // events when the run ends.
  std::vector<std::string> FlightSummary() const;
  // The virtual pilots still held (all of them unless departed pilots are let go), in order of joining.
  std::vector<const VirtualPilot*> VirtualPilots() const;
  // Whether a participant that left the session stays whole to the end of the run (the default: tests
  // read a departed pilot's flight) or is let go once it left, a virtual pilot's summary kept as text.
  // Long runs with a crowd coming and going then hold no more than that text for each departure.
  void KeepDeparted(bool keep) { keepDeparted_ = keep; }
  bool FlightsEnded() const;
  // The run has played to its end (or every flight ended under "until flights end").
  bool Finished() const { return summarized_; }

  int64_t NowMs() const { return now_; }
  // The program's tables as the station sees them (the roster, the controlled airports...).
  app::ProgramState& State() { return state_; }
  // Every transcript line so far, unless the runner was told not to keep them.
  const std::vector<std::string>& Transcript() const { return transcript_; }
  // Whether Transcript keeps the lines (the default) or they are only printed, as skyvox-sim does:
  // a crowd's transcript can run to hundreds of thousands of lines.
  void KeepTranscript(bool keep) { keepTranscript_ = keep; }
  const app::StationController* Station() const { return station_.get(); }
  // The latest participant of that name, or null. Scripted participants keep no received chat (the
  // transcript shows every line the station sent; in a crowd each hears everyone's chat).
  SimulatedPilot* Pilot(const std::string& name);
  SimulatedObserver* Observer(const std::string& name);
  session::LoopbackHub& Hub() { return *hub_; }

 private:
  struct Timer {
    bool Enabled = false;
    int64_t Next = 0;
  };
  struct Participant {
    std::string Name;
    std::unique_ptr<SimulatedPilot> AsPilot;
    std::unique_ptr<SimulatedObserver> AsObserver;
    std::unique_ptr<VirtualPilot> Virtual;  // flies AsPilot
    bool WasVirtual = false;                // a virtual pilot, let go: its summary is kept
    std::vector<std::string> Summary;
  };
  class TranscriptBoxes;
  class TranscriptInputs;

  void Emit(const std::string& utf8Line);
  void Event(const std::string& cp1252Text);
  void RecordChat(int32_t to, const std::string& text);
  std::string NameOf(int32_t playerId) const;

  void RunSettings();
  void HostSession();
  void JoinStation();
  int64_t NextInstant() const;
  void PlayInstant();
  void Execute(const TimedCommand& command);
  void SyncTimers();
  void NoteStationClosed();
  Participant* Find(const std::string& name);
  void TickParticipants();
  void LetDepartedGo();
  void ReportRosterChanges();

  Scenario scenario_;
  std::string appFolder_;
  std::ostream& out_;
  AtcCycleHook atcCycle_;

  app::ProgramState state_;
  std::unique_ptr<TranscriptBoxes> boxes_;
  std::unique_ptr<TranscriptInputs> inputs_;
  std::shared_ptr<session::LoopbackHub> hub_;
  std::unique_ptr<session::LoopbackFactory> loopback_;
  std::unique_ptr<session::ChatTapFactory> factory_;
  std::unique_ptr<app::ConnectionController> connection_;
  std::unique_ptr<app::StationController> station_;
  std::unique_ptr<SimulatedHost> host_;
  std::vector<Participant> participants_;  // in order of joining; a name that joins again is a new one
  std::unordered_map<std::string, size_t> latest_;  // name -> its latest participant's index
  std::map<int32_t, std::string> names_;            // every player id ever seen, for the transcript
  PilotWorld pilotWorld_;                           // what virtual pilots know of the controlled airports
  bool summarized_ = false;
  bool corrected_ = false;

  bool setUp_ = false;
  bool stationClosedNoted_ = false;
  int64_t now_ = 0;
  int64_t played_ = -1;  // the last instant played
  size_t nextCommand_ = 0;
  Timer connectionTimer_, refreshTimer_, atcTimer_;
  std::vector<std::string> transcript_;
  bool keepTranscript_ = true;
  bool keepDeparted_ = true;
  std::vector<RosterKey> roster_;  // the station's roster as last looked at
};

}  // namespace skyvox::sim
