// The scenario runner: the station's windows and timers driven on a virtual clock, the participants
// played, the transcript printed.
#include "sim/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>

#include "app/config_file.h"
#include "app/data_folder.h"
#include "app/settings.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/database_files.h"
#include "session/messages.h"

namespace skyvox::sim {

// Message boxes as transcript lines: "[message box, information] Skyvox v2.0: text".
class ScenarioRunner::TranscriptBoxes : public app::MessageBoxes {
 public:
  explicit TranscriptBoxes(ScenarioRunner& runner) : runner_(runner) {}
  void Show(const std::string& title, const std::string& text, app::MessageIcon icon) override {
    runner_.Emit(std::string("[message box, ") + app::IconWord(icon) + "] " + Cp1252ToUtf8(title) + ": " +
                 Cp1252ToUtf8(text));
  }

 private:
  ScenarioRunner& runner_;
};

// The password prompt, answered with the scenario's password as a user who knows it would.
class ScenarioRunner::TranscriptInputs : public app::InputBoxes {
 public:
  explicit TranscriptInputs(ScenarioRunner& runner) : runner_(runner) {}
  std::optional<std::string> Ask(const std::string& title, const std::string& prompt) override {
    runner_.Emit("[input box] " + Cp1252ToUtf8(title) + ": " + Cp1252ToUtf8(prompt) + " (answered)");
    return runner_.scenario_.Password;
  }

 private:
  ScenarioRunner& runner_;
};

ScenarioRunner::ScenarioRunner(Scenario scenario, std::string appFolder, std::ostream& out,
                               AtcCycleHook atcCycle)
    : scenario_(std::move(scenario)),
      appFolder_(std::move(appFolder)),
      out_(out),
      atcCycle_(std::move(atcCycle)),
      boxes_(std::make_unique<TranscriptBoxes>(*this)),
      inputs_(std::make_unique<TranscriptInputs>(*this)),
      hub_(std::make_shared<session::LoopbackHub>(1)),
      loopback_(std::make_unique<session::LoopbackFactory>(hub_)),
      factory_(std::make_unique<session::ChatTapFactory>(
          *loopback_,
          session::ChatSinks{[this](int32_t to, const std::string& text) { RecordChat(to, text); }, {}})) {
  state_.DataFolder = app::ShippedDataFolder(SKYVOX_DATA_DIR);
}

ScenarioRunner::~ScenarioRunner() = default;

void ScenarioRunner::Emit(const std::string& utf8Line) {
  std::string line = TimeStamp(now_) + " " + utf8Line;
  out_ << line << '\n';
  if (keepTranscript_) transcript_.push_back(std::move(line));
}

void ScenarioRunner::Event(const std::string& cp1252Text) {
  Emit("* " + Cp1252ToUtf8(cp1252Text));
}

std::string ScenarioRunner::NameOf(int32_t playerId) const {
  if (playerId == session::kAllPlayers) return "(all)";
  const auto it = names_.find(playerId);
  return it != names_.end() ? it->second : UnknownPlayerName(playerId);
}

void ScenarioRunner::RecordChat(int32_t to, const std::string& text) {
  Emit(ChatTranscriptLine(NameOf(to), text));
}

ScenarioRunner::Participant* ScenarioRunner::Find(const std::string& name) {
  const auto it = latest_.find(name);
  return it != latest_.end() ? &participants_[it->second] : nullptr;
}

SimulatedPilot* ScenarioRunner::Pilot(const std::string& name) {
  Participant* p = Find(name);
  return p ? p->AsPilot.get() : nullptr;
}

SimulatedObserver* ScenarioRunner::Observer(const std::string& name) {
  Participant* p = Find(name);
  return p ? p->AsObserver.get() : nullptr;
}

void ScenarioRunner::Setup() {
  if (setUp_) return;
  setUp_ = true;  // a setup that failed half-way is not tried again
  const std::string folder = app::AppFolderFromCurrentDirectory(appFolder_);
  std::string missing;
  for (const char* file : {scenery::kTerrainFileName, scenery::kAirportsFileName, scenery::kAirspacesFileName,
                           app::kConfigFileName}) {
    if (!FileExistsNoCase(folder, file)) missing += std::string(missing.empty() ? "" : ", ") + file;
  }
  // The start-up check deletes a database it cannot use; a folder that is not ready is left alone.
  if (!missing.empty()) {
    throw SimulationError("the program folder " + folder + " lacks " + missing +
                          " (skyvox-db build writes a database there)");
  }
  try {
    app::ReadConfigFile(folder);
  } catch (const std::exception& e) {
    throw SimulationError(std::string("the configuration file cannot be read: ") + e.what());
  }
  if (app::RunStartupCheck(folder, state_, *boxes_) != app::NextWindow::Settings) {
    throw SimulationError("the start-up check did not open the settings window");
  }
  if (corrected_) state_.World.Corrected.On = true;
  if (state_.World.Corrected.On) Event("the corrected mode is on");
  RunSettings();
  pilotWorld_ = PilotWorldFrom(state_.World);
  HostSession();
  JoinStation();
}

void ScenarioRunner::RunSettings() {
  app::SettingsController settings(state_, *boxes_);
  settings.Load();
  for (const NamedLine& control : scenario_.Controlled) {
    const std::string prefix = control.Name + " - ";
    const auto& list = settings.AirportList();
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
    if (it == list.end()) {
      throw ScenarioError(control.Line,
                          "no airport with Ident " + Cp1252ToUtf8(control.Name) + " in the database");
    }
    settings.SelectAirport(static_cast<int>(it - list.begin()));
    settings.AddPressed();
    Event("Settings: \"" + *it + "\" added to the controlled airports list");
  }
  settings.NextPressed();
  if (!settings.WaitForCloseEnabled()) throw SimulationError("the controlled airports could not be loaded");
  settings.WaitForCloseTick();
  Event("Settings: Next; " + std::to_string(state_.World.ControlledAirportCount) +
        " controlled airports and " + std::to_string(state_.World.TerrainPointCount) +
        " terrain points loaded");
}

void ScenarioRunner::HostSession() {
  host_ =
      std::make_unique<SimulatedHost>(std::make_unique<session::LoopbackDirectPlay>(hub_), scenario_.HostName,
                                      [this](const std::string& text) { Event(text); });
  try {
    host_->Host(scenario_.SessionName, scenario_.Password, scenario_.MaxPlayers);
  } catch (const std::exception& e) {
    throw SimulationError(std::string("the host cannot open the session: ") + e.what());
  }
  names_[host_->PlayerId()] = scenario_.HostName;
  Event(scenario_.HostName + " hosts the session \"" + scenario_.SessionName + "\"");

  for (const NamedLine& present : scenario_.Present) {
    latest_[present.Name] = participants_.size();
    Participant& p = participants_.emplace_back();
    p.Name = present.Name;
    p.AsPilot =
        std::make_unique<SimulatedPilot>(std::make_unique<session::LoopbackDirectPlay>(hub_), present.Name,
                                         [this](const std::string& text) { Event(text); });
    p.AsPilot->KeepChat(false);
    try {
      p.AsPilot->Join(host_->InstanceId(), scenario_.Password, false);
    } catch (const std::exception& e) {
      throw ScenarioError(present.Line, Cp1252ToUtf8(present.Name) + " cannot join the session: " + e.what());
    }
    names_[p.AsPilot->PlayerId()] = present.Name;
    Event(present.Name + " is in the session");
    // The host admits it at once; the pilot hears it on its next poll.
    host_->Tick(0);
    p.AsPilot->Tick(0);
    if (p.AsPilot->State() != ParticipantState::Present) {
      throw ScenarioError(present.Line, Cp1252ToUtf8(present.Name) + " was not admitted by the host");
    }
  }
}

void ScenarioRunner::JoinStation() {
  app::ConnectionController& c =
      *(connection_ = std::make_unique<app::ConnectionController>(state_, *boxes_, *inputs_, *factory_));
  c.Load();
  if (c.ConnectionList().empty())
    throw SimulationError("DirectPlay offers no connection: " + c.CreateError());
  c.SelectConnection(0);
  c.SearchPressed();
  const std::string prefix = scenario_.SessionName + " (";
  const auto& sessions = c.SessionList();
  const auto it = std::find_if(sessions.begin(), sessions.end(),
                               [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
  if (it == sessions.end()) {
    throw SimulationError("the search did not list the session (status \"" + c.Status() + "\")");
  }
  c.SelectSession(static_cast<int>(it - sessions.begin()));
  c.SetCallsign(scenario_.Callsign);
  c.JoinPressed();
  if (!c.HandshakeTimerEnabled()) throw SimulationError("the join failed (status \"" + c.Status() + "\")");
  names_[state_.Link.OwnPlayerId] = scenario_.Callsign;
  // The host answers on its first poll; a few rounds leave room for nothing more.
  for (int round = 0; round < 10 && c.IsOpen(); ++round) {
    host_->Tick(0);
    TickParticipants();
    c.HandshakeTick();
  }
  if (c.Next() != app::NextWindow::Station) {
    throw SimulationError("the host did not admit the station (status \"" + c.Status() + "\")");
  }
  Event(scenario_.Callsign + " is connected to the session");
  station_ = std::make_unique<app::StationController>(
      state_, *boxes_,
      atcCycle_ ? std::function<void()>([this] { atcCycle_(state_); }) : app::ProgramAtcCycle(state_));
  station_->OpenStation();
  Event(std::string(app::kStationCaption) + " opens: " + station_->StatusText());
  SyncTimers();
}

bool ScenarioRunner::ReopenStation() {
  if (!station_ || station_->IsOpen()) return false;
  Event("the user opens the station again");
  RunSettings();
  JoinStation();
  station_->StartMonitoring();
  Event(std::string("\"") + app::kStartMonitoringButton + "\": " + station_->StatusText());
  SyncTimers();
  stationClosedNoted_ = false;
  return true;
}

void ScenarioRunner::TickParticipants() {
  const double now = static_cast<double>(now_) / 1000;
  if (host_) host_->Tick(now);
  for (Participant& p : participants_) {
    if (p.Virtual) {
      p.Virtual->Tick(now);
    } else if (p.AsPilot) {
      p.AsPilot->Tick(now);
    }
    if (p.AsObserver) p.AsObserver->Tick(now);
  }
}

// A timer's first tick comes one interval after it was enabled.
void ScenarioRunner::SyncTimers() {
  auto sync = [this](Timer& timer, bool enabled, int interval) {
    if (enabled && !timer.Enabled) timer.Next = now_ + interval;
    timer.Enabled = enabled;
  };
  const bool open = station_ && station_->IsOpen();
  sync(connectionTimer_, open && station_->ConnectionTimerEnabled(),
       app::StationController::kConnectionIntervalMs);
  sync(refreshTimer_, open && station_->RefreshTimerEnabled(), app::StationController::kRefreshIntervalMs);
  sync(atcTimer_, open && station_->AtcTimerEnabled(), app::StationController::kAtcIntervalMs);
}

void ScenarioRunner::NoteStationClosed() {
  if (stationClosedNoted_ || !station_ || station_->IsOpen()) return;
  stationClosedNoted_ = true;
  Event(std::string(app::kStationCaption) + " closes; the " + app::kSettingsCaption +
        " window is shown again");
}

int64_t ScenarioRunner::NextInstant() const {
  int64_t next = played_ < 0 ? 0 : (played_ / kParticipantPollMs + 1) * kParticipantPollMs;
  if (nextCommand_ < scenario_.Commands.size())
    next = std::min(next, scenario_.Commands[nextCommand_].TimeMs);
  for (const Timer* t : {&connectionTimer_, &refreshTimer_, &atcTimer_}) {
    if (t->Enabled) next = std::min(next, t->Next);
  }
  return next;
}

void ScenarioRunner::RunUntil(int64_t timeMs) {
  Setup();
  const int64_t until = std::min(timeMs, scenario_.EndMs);
  bool flightsEnded = false;
  for (int64_t next = NextInstant(); next <= until; next = NextInstant()) {
    now_ = next;
    PlayInstant();
    played_ = next;
    // Checked on whole seconds: a finished crowd ends the run without playing its remaining time.
    if (scenario_.EndWhenFlightsEnd && now_ % 1000 == 0 && nextCommand_ >= scenario_.Commands.size() &&
        FlightsEnded()) {
      flightsEnded = true;
      break;
    }
  }
  if (!flightsEnded) now_ = std::max(now_, until);
  if ((flightsEnded || until >= scenario_.EndMs) && !summarized_) {
    summarized_ = true;
    if (flightsEnded) Event("every virtual pilot's flight has ended: the run stops");
    for (const std::string& line : FlightSummary()) Event(line);
  }
}

std::vector<const VirtualPilot*> ScenarioRunner::VirtualPilots() const {
  std::vector<const VirtualPilot*> pilots;
  for (const Participant& p : participants_) {
    if (p.Virtual) pilots.push_back(p.Virtual.get());
  }
  return pilots;
}

bool ScenarioRunner::FlightsEnded() const {
  bool any = false;
  for (const Participant& p : participants_) {
    any = any || p.WasVirtual;
    if (!p.Virtual) continue;
    any = true;
    const ParticipantState state = p.AsPilot->State();
    const bool gone = state != ParticipantState::Joining && state != ParticipantState::Present;
    if (!p.Virtual->Completed() && !gone) return false;
  }
  return any;
}

std::vector<std::string> ScenarioRunner::FlightSummary() const {
  std::vector<std::string> lines;
  for (const Participant& p : participants_) {
    if (p.Virtual) {
      for (std::string& line : p.Virtual->Summary()) lines.push_back(std::move(line));
    } else {
      lines.insert(lines.end(), p.Summary.begin(), p.Summary.end());
    }
  }
  return lines;
}

void ScenarioRunner::LetDepartedGo() {
  for (Participant& p : participants_) {
    const SimulatedParticipant* s =
        p.AsPilot ? static_cast<const SimulatedParticipant*>(p.AsPilot.get()) : p.AsObserver.get();
    if (s == nullptr || (s->State() != ParticipantState::Left && s->State() != ParticipantState::Lost))
      continue;
    if (p.Virtual) {
      p.Summary = p.Virtual->Summary();
      p.WasVirtual = true;
    }
    p.Virtual.reset();
    p.AsPilot.reset();
    p.AsObserver.reset();
  }
}

void ScenarioRunner::PlayInstant() {
  while (nextCommand_ < scenario_.Commands.size() && scenario_.Commands[nextCommand_].TimeMs <= now_) {
    Execute(scenario_.Commands[nextCommand_++]);
    SyncTimers();
    NoteStationClosed();
  }
  TickParticipants();
  if (!keepDeparted_) LetDepartedGo();
  auto due = [this](Timer& t, int interval) {
    if (!t.Enabled || t.Next != now_) return false;
    t.Next += interval;
    return true;
  };
  auto tick = [this](void (app::StationController::*handler)()) {
    if (!RosterMatches(roster_, state_.Link)) roster_ = RosterKeys(state_.Link);
    ((*station_).*handler)();
    ReportRosterChanges();
  };
  if (due(connectionTimer_, app::StationController::kConnectionIntervalMs)) {
    tick(&app::StationController::ConnectionTimerTick);
  }
  SyncTimers();
  if (due(refreshTimer_, app::StationController::kRefreshIntervalMs))
    tick(&app::StationController::RefreshTimerTick);
  SyncTimers();
  if (due(atcTimer_, app::StationController::kAtcIntervalMs)) tick(&app::StationController::AtcTimerTick);
  SyncTimers();
  NoteStationClosed();
}

// Who came and went since roster_ was taken, which then follows the station's roster.
void ScenarioRunner::ReportRosterChanges() {
  if (!station_->IsOpen() || RosterMatches(roster_, state_.Link)) return;
  std::vector<RosterKey> now = RosterKeys(state_.Link);
  const RosterChanges changes = CompareRosters(roster_, now);
  roster_ = std::move(now);
  for (const RosterKey& k : changes.Left) Event("roster: " + k.Name + " removed");
  for (const RosterKey& k : changes.Joined) Event("roster: " + k.Name + " added (" + k.Kind + ")");
}

void ScenarioRunner::Execute(const TimedCommand& command) {
  const double now = static_cast<double>(now_) / 1000;
  auto onEvent = [this](const std::string& text) { Event(text); };
  auto stationAction = [&](const char* button, void (app::StationController::*press)()) {
    if (!station_ || !station_->IsOpen()) {
      Event(std::string("\"") + button + "\": the " + app::kStationCaption + " is not open");
      return;
    }
    ((*station_).*press)();
    if (station_->IsOpen()) Event(std::string("\"") + button + "\": " + station_->StatusText());
  };
  Participant* who = command.Name.empty() ? nullptr : Find(command.Name);
  const bool joins =
      command.What == Verb::Join || command.What == Verb::Observer || command.What == Verb::Pilot;
  // A participant let go after it left can no longer act, nor can one whose join failed or whose
  // session is gone.
  if (who && !joins && !who->AsPilot && !who->AsObserver) {
    Event(command.Name + " is not in the session: nothing happens");
    return;
  }
  if (who && (command.What == Verb::Say || command.What == Verb::Leave || command.What == Verb::Drop)) {
    const ParticipantState state = who->AsPilot ? who->AsPilot->State() : who->AsObserver->State();
    if (state != ParticipantState::Joining && state != ParticipantState::Present) {
      Event(command.Name + " is not in the session: nothing happens");
      return;
    }
  }

  switch (command.What) {
    case Verb::Monitor:
      stationAction(app::kStartMonitoringButton, &app::StationController::StartMonitoring);
      break;
    case Verb::StopMonitor:
      stationAction(app::kStopMonitoringButton, &app::StationController::StopMonitoring);
      break;
    case Verb::CloseStation:
      stationAction(app::kCloseStationButton, &app::StationController::CloseStation);
      break;
    case Verb::Join:
    case Verb::Observer:
    case Verb::Pilot: {
      latest_[command.Name] = participants_.size();
      Participant& p = participants_.emplace_back();
      p.Name = command.Name;
      auto dp = std::make_unique<session::LoopbackDirectPlay>(hub_);
      const bool pilot = command.What != Verb::Observer;
      if (command.What == Verb::Pilot) {
        Event(command.Name + " joins as a virtual pilot: " + DescribeIntention(command.Flight));
      } else {
        Event(command.Name + (pilot ? " joins as a pilot" : " joins as an observer"));
      }
      try {
        if (pilot) {
          p.AsPilot = std::make_unique<SimulatedPilot>(std::move(dp), command.Name, onEvent);
          p.AsPilot->KeepChat(command.What == Verb::Pilot);  // a virtual pilot reads its lines
          if (command.What == Verb::Pilot) {
            try {
              p.Virtual = std::make_unique<VirtualPilot>(*p.AsPilot, pilotWorld_, command.Flight,
                                                         VirtualPilotSeed(command.Line), onEvent);
            } catch (const std::invalid_argument& e) {
              throw ScenarioError(command.Line, e.what());
            }
          }
          p.AsPilot->Join(host_->InstanceId(), scenario_.Password);
          names_[p.AsPilot->PlayerId()] = command.Name;
        } else {
          p.AsObserver = std::make_unique<SimulatedObserver>(std::move(dp), command.Name, onEvent);
          p.AsObserver->KeepChat(false);
          p.AsObserver->Join(host_->InstanceId(), scenario_.Password);
          names_[p.AsObserver->PlayerId()] = command.Name;
        }
      } catch (const std::exception& e) {
        Event(command.Name + " cannot join: " + e.what());
      }
      break;
    }
    case Verb::Pos:
      who->AsPilot->SetPosition(command.Position);
      break;
    case Verb::Fly:
      try {
        who->AsPilot->FlyTo(command.Position.Latitude, command.Position.Longitude,
                            command.Position.AltitudeFt, *command.Position.GroundSpeedKt, now);
      } catch (const std::logic_error& e) {
        throw ScenarioError(command.Line, e.what());
      }
      break;
    case Verb::Say:
      Event(command.Name + " says: " + command.Text);
      try {
        if (who->AsPilot) who->AsPilot->Say(command.Text);
        if (who->AsObserver) who->AsObserver->Say(command.Text);
      } catch (const std::exception& e) {
        Event(command.Name + " cannot send it: " + e.what());
      }
      break;
    case Verb::Aircraft:
      who->AsPilot->SetAircraft(command.Text);
      break;
    case Verb::Leave:
      Event(command.Name + " leaves the session");
      if (who->AsPilot) who->AsPilot->Leave();
      if (who->AsObserver) who->AsObserver->Leave();
      break;
    case Verb::Drop: {
      Event(command.Name + "'s connection is lost");
      const int32_t id = who->AsPilot ? who->AsPilot->PlayerId() : who->AsObserver->PlayerId();
      try {
        hub_->DropPlayer(id);
      } catch (const std::exception&) {
        // Already gone from the session (refused, or lost with it).
      }
      if (who->AsPilot) who->AsPilot->Lost();
      if (who->AsObserver) who->AsObserver->Lost();
      break;
    }
    case Verb::HostLeave:
      Event(scenario_.HostName + " leaves the session");
      host_->Leave();
      break;
    case Verb::HostRemove:
      Event(scenario_.HostName + " removes " + scenario_.Callsign + " from the session");
      try {
        host_->RemoveFromSession(state_.Link.OwnPlayerId);
      } catch (const std::exception& e) {
        Event(scenario_.HostName + " cannot send it: " + e.what());
      }
      break;
    case Verb::EndSession:
      Event("the session ends");
      try {
        hub_->EndSession(host_->InstanceId());
      } catch (const std::exception&) {
        // Everyone had left already.
      }
      host_->Lost();
      for (Participant& p : participants_) {
        if (p.AsPilot) p.AsPilot->Lost();
        if (p.AsObserver) p.AsObserver->Lost();
      }
      break;
  }
}

}  // namespace skyvox::sim
