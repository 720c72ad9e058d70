#include "station/station_console.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "app/config_file.h"
#include "app/connection.h"
#include "app/data_folder.h"
#include "app/sim_folder.h"
#include "app/startup.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "session/receive_loop.h"
#include "sim/transcript.h"

namespace skyvox::station {

void PrintLine(std::ostream& out, const std::string& utf8Line) {
  out << utf8Line << '\n' << std::flush;
}

std::string MessageBoxLine(const std::string& title, const std::string& text, app::MessageIcon icon) {
  return std::string("[message box, ") + app::IconWord(icon) + "] " + Cp1252ToUtf8(title) + ": " +
         Cp1252ToUtf8(text);
}

void ConsoleBoxes::Show(const std::string& title, const std::string& text, app::MessageIcon icon) {
  PrintLine(out_, MessageBoxLine(title, text, icon));
  lastText_ = text;
  lastCause_.clear();
  ++count_;
}

void ConsoleBoxes::ShowCause(const std::string& cause) {
  PrintLine(out_, "[cause] " + Cp1252ToUtf8(cause));
  lastCause_ = cause;
}

std::optional<std::string> OptionInputBoxes::Ask(const std::string& title, const std::string& prompt) {
  const bool answered = password_ && prompt == app::kPasswordPrompt;
  PrintLine(out_, "[input box] " + Cp1252ToUtf8(title) + ": " + Cp1252ToUtf8(prompt) +
                      (answered ? " (answered)" : " (cancelled)"));
  if (!answered) return std::nullopt;
  return Utf8ToCp1252(*password_);
}

std::string TakeOverLine(const std::optional<std::string>& searchAddress) {
  if (!searchAddress) {
    return "* the station took over the session as its host, but its search port is taken: new pilots "
           "cannot find the session";
  }
  return "* the station took over the session as its host: pilots can join this station's session at " +
         *searchAddress;
}

dplay4::NetworkOptions MakeNetworkOptions(const StationOptions& options, std::ostream& out, std::ostream& err,
                                          const volatile std::sig_atomic_t* stop) {
  dplay4::NetworkOptions net;
  net.PingIntervalMs = options.PingIntervalMs;
  net.EnumerationTimeoutMs = options.EnumTimeoutMs;
  net.FirstPort = options.FirstPort;
  net.LastPort = options.LastPort;
  const std::string host = options.Host;
  std::ostream* console = &out;
  net.AskHostAddress = [host, console]() -> std::optional<std::string> {
    PrintLine(*console, std::string("[input box] ") + kHostAddressTitle + ": " + kHostAddressPrompt +
                            " (answered \"" + host + "\")");
    return host;
  };
  net.TookOver = [console](const std::optional<std::string>& address) {
    PrintLine(*console, TakeOverLine(address));
  };
  if (stop) net.Interrupted = [stop] { return *stop != 0; };
  if (options.Verbose) {
    std::ostream* log = &err;
    net.Log = [log](const std::string& line) { PrintLine(*log, "* net: " + line); };
  }
  return net;
}

// ---------------------------------------------------------------------------------------------------
// Build progress

BuildProgressBar::BuildProgressBar(std::ostream& err, bool terminal, std::function<int64_t()> nowMs)
    : err_(err), terminal_(terminal), nowMs_(std::move(nowMs)), startMs_(nowMs_()) {}

void BuildProgressBar::Show(const app::BuildProgress& p) {
  const double elapsed = static_cast<double>(nowMs_() - startMs_) / 1000;
  const int32_t total = std::max(p.FilesTotal, 1);
  const int32_t done = std::clamp(p.FilesDone, 0, total);
  const int percent = static_cast<int>(int64_t{100} * done / total);
  const std::string area = Cp1252ToUtf8(p.Area);
  char line[512];
  if (terminal_) {
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(int64_t{kWidth} * done / total);
    std::snprintf(line, sizeof line, "\r[%-*s] %d/%d files  %d airports  %d airspaces  %.1fs  %-30.30s",
                  kWidth, std::string(static_cast<size_t>(filled), '#').c_str(), p.FilesDone, p.FilesTotal,
                  p.Airports, p.Airspaces, elapsed, area.c_str());
    err_ << line << std::flush;
    drawn_ = true;
  } else if (percent / 10 != lastTenth_ || (p.FilesDone == p.FilesTotal && p.FilesDone != lastDone_)) {
    lastTenth_ = percent / 10;
    lastDone_ = p.FilesDone;
    std::snprintf(line, sizeof line, "%3d%%  %d/%d files  %d airports  %d airspaces  %.1fs  %s", percent,
                  p.FilesDone, p.FilesTotal, p.Airports, p.Airspaces, elapsed, area.c_str());
    PrintLine(err_, line);
  }
}

void BuildProgressBar::Done() {
  if (drawn_) err_ << '\n' << std::flush;
  drawn_ = false;
}

// ---------------------------------------------------------------------------------------------------
// Timers

void StationTimers::Sync(int64_t nowMs, bool connection, bool refresh, bool atc) {
  const bool enabled[3] = {connection, refresh, atc};
  for (int i = 0; i < 3; ++i) {
    Timer& t = timers_[i];
    if (enabled[i] && !t.Enabled) t.NextMs = nowMs + t.IntervalMs;
    t.Enabled = enabled[i];
  }
}

void StationTimers::Sync(const app::StationController& station, int64_t nowMs) {
  const bool open = station.IsOpen();
  Sync(nowMs, open && station.ConnectionTimerEnabled(), open && station.RefreshTimerEnabled(),
       open && station.AtcTimerEnabled());
}

bool StationTimers::TakeDue(Which which, int64_t nowMs) {
  Timer& t = timers_[which];
  if (!t.Enabled || nowMs < t.NextMs) return false;
  // The first tick after nowMs on the timer's own beat.
  t.NextMs += (nowMs - t.NextMs) / t.IntervalMs * t.IntervalMs + t.IntervalMs;
  return true;
}

std::optional<int64_t> StationTimers::NextDueMs() const {
  std::optional<int64_t> next;
  for (const Timer& t : timers_) {
    if (t.Enabled && (!next || t.NextMs < *next)) next = t.NextMs;
  }
  return next;
}

StationEnd RunStationLoop(app::StationController& station, const StationClock& clock,
                          const volatile std::sig_atomic_t& stop, const std::function<void()>& afterTurn) {
  constexpr int64_t kMaxWaitMs = 100;
  StationTimers timers;
  timers.Sync(station, clock.NowMs());
  while (station.IsOpen()) {
    if (stop) {
      station.CloseStation();
      return StationEnd::Interrupted;
    }
    const int64_t now = clock.NowMs();
    if (timers.TakeDue(StationTimers::kConnection, now)) station.ConnectionTimerTick();
    timers.Sync(station, now);
    if (timers.TakeDue(StationTimers::kRefresh, now)) station.RefreshTimerTick();
    timers.Sync(station, now);
    if (timers.TakeDue(StationTimers::kAtc, now)) station.AtcTimerTick();
    timers.Sync(station, now);
    if (!station.IsOpen()) break;
    if (afterTurn) afterTurn();
    const std::optional<int64_t> due = timers.NextDueMs();
    const int64_t wait = due ? std::clamp<int64_t>(*due - clock.NowMs(), 0, kMaxWaitMs) : kMaxWaitMs;
    clock.WaitMs(static_cast<int32_t>(wait));
  }
  return StationEnd::Closed;
}

// ---------------------------------------------------------------------------------------------------
// Chat lines

// ---------------------------------------------------------------------------------------------------
// The program

namespace {

namespace fs = std::filesystem;

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string NativeFolder(const std::string& folder) {
  std::string absolute = fs::absolute(folder).lexically_normal().string();
  while (absolute.size() > 1 && (absolute.back() == '/' || absolute.back() == '\\')) absolute.pop_back();
  return absolute;
}

// The session name of a session list entry, "NAME (current/maximum)".
std::string SessionNameOfEntry(const std::string& entry) {
  const size_t open = entry.rfind(" (");
  return open == std::string::npos ? entry : entry.substr(0, open);
}

// The airport list entry ("IDENT - NAME") for an Ident: the first that matches exactly, else the first
// that matches without regard to case.
int FindAirportEntry(const std::vector<std::string>& list, const std::string& ident) {
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < list.size(); ++i) {
      const size_t dash = list[i].find(" - ");
      if (dash == std::string::npos) continue;
      const std::string_view entryIdent(list[i].data(), dash);
      if (pass == 0 ? entryIdent == ident : EqualsNoCase(entryIdent, ident)) return static_cast<int>(i);
    }
  }
  return -1;
}

class Program {
 public:
  Program(const StationOptions& options, session::DirectPlayFactory& network, const StationClock& clock,
          const volatile std::sig_atomic_t& stop, std::ostream& out, std::ostream& err, bool errIsTerminal)
      : options_(options),
        clock_(clock),
        stop_(stop),
        out_(out),
        err_(err),
        errIsTerminal_(errIsTerminal),
        boxes_(out),
        inputs_(options.Password, out),
        monitor_(state_, clock.NowMs),
        factory_(network, monitor_.Sinks()) {
    state_.DataFolder = app::ShippedDataFolder(SKYVOX_DATA_DIR);
    monitor_.SetListener([this](const app::TranscriptEntry& entry) {
      if (entry.Sent || options_.Verbose) PrintLine(out_, app::FormatTranscriptEntry(entry));
    });
  }

  int Run() {
    StartupCheck();
    if (!Settings()) return 1;
    std::optional<std::string> session = Join();
    if (!session) return 0;
    return Station(*session) == StationEnd::Interrupted ? 0 : kExitSessionLost;
  }

 private:
  void Event(const std::string& utf8Text) { PrintLine(out_, "* " + utf8Text); }

  // A failed step ends the program with the text of the message box it showed, if it showed one
  // (boxes counted from boxesBefore on).
  // The cause shown beside that box follows it in parentheses.
  [[noreturn]] void FailWithBox(const std::string& what, int boxesBefore) {
    std::string text = what;
    if (boxes_.Count() > boxesBefore) {
      text += ": " + Cp1252ToUtf8(boxes_.LastText());
      if (!boxes_.LastCause().empty()) text += " (" + Cp1252ToUtf8(boxes_.LastCause()) + ")";
    }
    throw Failure(text);
  }

  // What installing the program does, as skyvox-db build does it: a new program folder is created and
  // gets the shipped world_terrain.db, and so does one whose copy is missing or was cut short. With
  // no shipped file at hand a missing one is left to the start-up check's own box.
  void PrepareProgramFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder)) {
      fs::create_directories(folder, ec);
      if (ec) throw Failure("cannot create the program folder " + folder + ": " + ec.message());
      Event("program folder " + folder + " created");
    }
    try {
      const std::string done = scenery::InstallTerrainFile(
          folder, app::ShippedDataFolder(SKYVOX_DATA_DIR) / scenery::kTerrainFileName);
      if (!done.empty()) Event(done);
    } catch (const std::exception& e) {
      if (FileExistsNoCase(folder, scenery::kTerrainFileName)) throw Failure(e.what());
    }
  }

  // The splash window's check at once (its 3 s pause is for the eye), then the simulator-folder
  // window when there is no configuration file.
  void StartupCheck() {
    const std::string folder = NativeFolder(options_.AppFolder);
    PrepareProgramFolder(folder);
    app::SplashController splash(state_, boxes_, folder);
    splash.Tick();
    if (options_.Corrected) state_.World.Corrected.On = true;
    if (state_.World.Corrected.On) Event("the corrected mode is on");
    if (splash.Next() == app::NextWindow::Terminate) FailWithBox("the start-up check ended the program", 0);
    if (splash.Next() != app::NextWindow::SimulatorFolder) return;
    if (options_.SimFolder.empty()) {
      throw Failure(std::string("there is no ") + app::kConfigFileName + " in " + folder +
                    ": the first run needs the simulator's folder, --sim SIMFOLDER");
    }
    app::SimFolderController simFolder(state_, boxes_);
    const int boxesBefore = boxes_.Count();
    simFolder.Load(NativeFolder(options_.SimFolder));
    simFolder.CreatePressed();
    if (simFolder.Next() != app::NextWindow::Settings) {
      FailWithBox("the simulator folder " + NativeFolder(options_.SimFolder) + " was not accepted",
                  boxesBefore);
    }
  }

  // The settings window: the first run's build, then each --control Ident picked, "Add", "Next".
  // False when the build was interrupted.
  bool Settings() {
    app::SettingsController settings(state_, boxes_);
    BuildProgressBar bar(err_, errIsTerminal_, clock_.NowMs);
    settings.SetProgressCallback([&bar](const app::BuildProgress& p) { bar.Show(p); });
    const int boxesBefore = boxes_.Count();
    settings.Load();
    while (settings.ScanTimerEnabled()) {
      if (stop_) {
        bar.Done();
        // An unfinished database would pass the next start-up check; without the configuration file
        // the next start deletes it and builds it again.
        DeleteFileQuietly(state_.World.AppFolder, app::kConfigFileName);
        PrintLine(err_, std::string("skyvox-station: interrupted during the database build; ") +
                            app::kConfigFileName + " was removed so that the next start builds it again");
        return false;
      }
      settings.ScanTick();
    }
    bar.Done();
    if (settings.Next() == app::NextWindow::Terminate) FailWithBox("the database build failed", boxesBefore);

    for (const std::string& ident : options_.Control) {
      const int index = FindAirportEntry(settings.AirportList(), Utf8ToCp1252(ident));
      if (index < 0) {
        throw Failure("no airport with Ident " + ident + " in the database (" +
                      std::to_string(settings.AirportList().size()) + " airports listed)");
      }
      settings.SelectAirport(index);
      settings.AddPressed();
      Event("Settings: \"" + Cp1252ToUtf8(settings.AirportList()[static_cast<size_t>(index)]) +
            "\" added to the controlled airports list");
    }
    if (settings.ControlledList().empty()) throw Failure("no controlled airport: give --control IDENT");
    const int boxesBeforeNext = boxes_.Count();
    settings.NextPressed();
    if (!settings.WaitForCloseEnabled()) {
      FailWithBox("the controlled airports could not be loaded", boxesBeforeNext);
    }
    // Wait_for_Close only lets the window be seen closing.
    settings.WaitForCloseTick();
    Event("Settings: Next; " + std::to_string(state_.World.ControlledAirportCount) +
          " controlled airports and " + std::to_string(state_.World.TerrainPointCount) +
          " terrain points loaded");
    return true;
  }

  // The connection window: connection type, search, session, callsign, "Join Session" and the
  // handshake. Returns the session's name once connected; nullopt when stopped meanwhile (the
  // window's "Close" pressed).
  std::optional<std::string> Join() {
    connection_ = std::make_unique<app::ConnectionController>(state_, boxes_, inputs_, factory_);
    app::ConnectionController& c = *connection_;
    c.Load();
    const auto& connections = c.ConnectionList();
    if (connections.empty()) throw Failure("DirectPlay offers no connection: " + c.CreateError());
    const std::string wanted = Utf8ToCp1252(options_.Connection);
    const auto connection = std::find(connections.begin(), connections.end(), wanted);
    if (connection == connections.end()) {
      std::string offered;
      for (const std::string& name : connections) offered += (offered.empty() ? "\"" : ", \"") + name + "\"";
      throw Failure("no connection named \"" + options_.Connection + "\"; DirectPlay offers " +
                    Cp1252ToUtf8(offered));
    }
    c.SelectConnection(static_cast<int>(connection - connections.begin()));

    const int boxesBefore = boxes_.Count();
    Event("searching for sessions on \"" + options_.Connection + "\"");
    c.SearchPressed();
    if (Stopped(c)) return std::nullopt;
    const auto& sessions = c.SessionList();
    if (sessions.empty()) {
      if (boxes_.Count() > boxesBefore) FailWithBox("the search failed", boxesBefore);
      throw Failure("the search found no session");
    }
    for (const std::string& entry : sessions) Event("session found: " + Cp1252ToUtf8(entry));

    int index = 0;
    if (!options_.Session.empty()) {
      const std::string name = Utf8ToCp1252(options_.Session);
      const auto it = std::find_if(sessions.begin(), sessions.end(), [&](const std::string& entry) {
        return SessionNameOfEntry(entry) == name;
      });
      if (it == sessions.end()) throw Failure("no session named \"" + options_.Session + "\" was found");
      index = static_cast<int>(it - sessions.begin());
    }
    const std::string sessionName = SessionNameOfEntry(sessions[static_cast<size_t>(index)]);
    c.SelectSession(index);
    c.SetCallsign(Utf8ToCp1252(options_.Callsign));
    Event("joining \"" + Cp1252ToUtf8(sessions[static_cast<size_t>(index)]) + "\" as " + options_.Callsign);
    const int boxesBeforeJoin = boxes_.Count();
    c.JoinPressed();
    if (Stopped(c)) return std::nullopt;
    if (!c.HandshakeTimerEnabled()) FailWithBox("the join failed", boxesBeforeJoin);

    // The handshake timer, every 100 ms until the host answers; a host that never answers keeps the
    // window waiting, as it would on screen.
    int64_t next = clock_.NowMs() + app::ConnectionController::kHandshakeIntervalMs;
    while (c.IsOpen() && c.HandshakeTimerEnabled()) {
      if (Stopped(c)) return std::nullopt;
      const int64_t now = clock_.NowMs();
      if (now < next) {
        clock_.WaitMs(static_cast<int32_t>(std::min<int64_t>(next - now, 100)));
        continue;
      }
      next += ((now - next) / app::ConnectionController::kHandshakeIntervalMs + 1) *
              app::ConnectionController::kHandshakeIntervalMs;
      c.HandshakeTick();
    }
    if (c.Next() != app::NextWindow::Station) FailWithBox("the join failed", boxesBeforeJoin);
    return sessionName;
  }

  // On the stop flag, the connection window's "Close": the session is left and the program ends.
  bool Stopped(app::ConnectionController& c) {
    if (!stop_) return false;
    c.ClosePressed();
    Event("interrupted: \"" + std::string(app::kCloseButton) + "\" pressed in the connection window");
    return true;
  }

  // The roster's entries as the console names them: who came and went is told by comparing two.
  // After each turn of the station window: participants that joined or left, and the host's departure
  // (the station then hosts the session's joins).
  void ReportSessionChanges(std::vector<sim::RosterKey>& roster, bool& hosting) {
    std::vector<sim::RosterKey> now = sim::RosterKeys(state_.Link);
    const sim::RosterChanges changes = sim::CompareRosters(roster, now);
    for (const sim::RosterKey& k : changes.Left) Event(Cp1252ToUtf8(k.Name) + " left the session");
    for (const sim::RosterKey& k : changes.Joined) {
      Event(Cp1252ToUtf8(k.Name) + " joined the session (" + k.Kind + ")");
    }
    roster = std::move(now);
    if (state_.Link.IsSessionHost && !hosting) Event("the host left the session; the station now hosts it");
    hosting = state_.Link.IsSessionHost;
  }

  // The traffic table of the station window's view, as text.
  void PrintTrafficTable() {
    PrintLine(out_, "* traffic at " + app::TimeStamp(clock_.NowMs() - monitorOriginMs_) + ":");
    for (const std::string& line : app::StationMonitor::FormatTable(monitor_.Rows()))
      PrintLine(out_, "  " + line);
  }

  // The station window until it closes; the settings window it hands back to is not shown again.
  StationEnd Station(const std::string& sessionName) {
    app::StationController station(state_, boxes_, app::ProgramAtcCycle(state_));
    station.OpenStation();
    monitor_.StartClock();
    monitorOriginMs_ = clock_.NowMs();
    Event("station open in session " + Cp1252ToUtf8(sessionName));
    if (options_.Monitor) {
      station.StartMonitoring();
      Event("\"" + std::string(app::kStartMonitoringButton) + "\": " + station.StatusText());
    }
    std::vector<sim::RosterKey> roster = sim::RosterKeys(state_.Link);
    bool hosting = state_.Link.IsSessionHost;
    int64_t tableDueMs = clock_.NowMs() + app::StationController::kRefreshIntervalMs;
    const StationEnd end = RunStationLoop(station, clock_, stop_, [&] {
      ReportSessionChanges(roster, hosting);
      if (options_.Verbose && clock_.NowMs() >= tableDueMs) {
        PrintTrafficTable();
        tableDueMs += app::StationController::kRefreshIntervalMs;
      }
    });
    if (end == StationEnd::Interrupted) {
      Event("interrupted: \"" + std::string(app::kCloseStationButton) + "\" pressed");
    } else {
      // The host's departure with nobody left to serve ends the session at once.
      if (boxes_.LastText() == session::kConnectionLostText) Event("the host left the session");
      Event("session lost");
    }
    Event("station closed");
    return end;
  }

  const StationOptions& options_;
  const StationClock& clock_;
  const volatile std::sig_atomic_t& stop_;
  std::ostream& out_;
  std::ostream& err_;
  bool errIsTerminal_;

  app::ProgramState state_;
  ConsoleBoxes boxes_;
  OptionInputBoxes inputs_;
  app::StationMonitor monitor_;
  int64_t monitorOriginMs_ = 0;
  session::ChatTapFactory factory_;
  std::unique_ptr<app::ConnectionController> connection_;
};

}  // namespace

int RunStationProgram(const StationOptions& options, session::DirectPlayFactory& network,
                      const StationClock& clock, const volatile std::sig_atomic_t& stop, std::ostream& out,
                      std::ostream& err, bool errIsTerminal) {
  try {
    Program program(options, network, clock, stop, out, err, errIsTerminal);
    return program.Run();
  } catch (const std::exception& e) {
    out << std::flush;
    PrintLine(err, std::string("skyvox-station: ") + e.what());
    return 1;
  }
}

}  // namespace skyvox::station
