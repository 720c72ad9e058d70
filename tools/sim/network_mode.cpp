#include "sim/network_mode.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "app/config_file.h"
#include "app/corrected_mode_file.h"
#include "app/data_folder.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "geo/wmm.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "scenery/windows_paths.h"
#include "session/chat_tap.h"
#include "session/loopback.h"
#include "session/messages.h"
#include "sim/participants.h"
#include "sim/processes.h"

namespace skyvox::sim {

namespace {

constexpr int64_t kTickMs = ScenarioRunner::kParticipantPollMs;
// How long a process keeps serving the network after it left, so that its goodbyes go out.
constexpr int32_t kFarewellMs = 500;
// A participant (the host too) is silent this long before it leaves, the host's "host left" notice
// coming first. The station takes its queue every 100 ms; what is still queued there when the departure
// arrives is lost with its sender, or, read after it, names no one the station could look up, which
// ends its session. With a real clock on both sides nobody could time a leave between two messages.
constexpr int32_t kQuietBeforeLeaveMs = 300;
// How long the host waits for its children to end by themselves (at the end of the run, after a
// signal) before it kills them.
constexpr int64_t kChildGraceMs = 3000;
constexpr int kSearchTries = 3;

// The report lines of a virtual pilot's child (see ParticipantRunOptions::ReportFd).
constexpr std::string_view kCompletedReport = "completed";
constexpr std::string_view kSummaryReport = "summary ";

int64_t EpochMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Lines on stdout, each in one write so that the host's and its children's lines, sharing one output,
// never interleave within a line.
class LinePrinter {
 public:
  void SetStart(int64_t epochMs) {
    start_ = epochMs;
    started_ = true;
  }
  int64_t StartEpochMs() const { return start_; }
  // Milliseconds since the shared start; 0 before it.
  int64_t NowMs() const { return started_ ? EpochMs() - start_ : 0; }
  void Print(const std::string& utf8) const { WriteAll(1, TimeStamp(NowMs()) + " " + utf8 + "\n"); }
  void Event(const std::string& cp1252) const { Print("* " + Cp1252ToUtf8(cp1252)); }

 private:
  int64_t start_ = 0;
  bool started_ = false;
};

// Serves the network until the shared clock reaches untilMs (at most one tick), returning early when
// something arrived.
void PollUntil(dplay4::NetworkContext& context, const LinePrinter& clock, int64_t untilMs) {
  const int64_t wait = std::clamp<int64_t>(untilMs - clock.NowMs(), 0, kTickMs);
  if (wait == 0) {
    dplay4::PollNetwork(context);
  } else {
    dplay4::PollNetworkFor(context, static_cast<int32_t>(wait));
  }
}

void PollFor(dplay4::NetworkContext& context, int32_t ms) {
  const int64_t until = EpochMs() + ms;
  for (int64_t now = EpochMs(); now < until; now = EpochMs()) {
    dplay4::PollNetworkFor(context, static_cast<int32_t>(std::min<int64_t>(until - now, kTickMs)));
  }
}

dplay4::NetworkOptions ProviderOptions(const NetworkSettings& settings, const LinePrinter& out,
                                       const std::string& who) {
  dplay4::NetworkOptions options;
  options.EnumerationPort = settings.EnumerationPort;
  options.FirstPort = settings.FirstPort;
  options.LastPort = settings.LastPort;
  if (settings.PingIntervalMs) options.PingIntervalMs = *settings.PingIntervalMs;
  options.EnumerationTimeoutMs = settings.EnumerationTimeoutMs;
  options.IdKey = settings.IdKey;
  options.Log = [&out, who](const std::string& text) { out.Print("(network) " + who + ": " + text); };
  return options;
}

std::string NameOrId(session::DirectPlay& dp, int32_t playerId) {
  try {
    return dp.GetPlayerFriendlyName(playerId);
  } catch (const std::exception&) {
    return "player " + std::to_string(playerId);
  }
}

// A participant's DirectPlay object, reporting every chat line it receives with its sender's name.
class PeerDirectPlay : public session::ForwardingDirectPlay {
 public:
  using HeardSink = std::function<void(const std::string& sender, const std::string& text)>;
  PeerDirectPlay(std::unique_ptr<session::DirectPlay> inner, HeardSink heard)
      : ForwardingDirectPlay(std::move(inner)), heard_(std::move(heard)) {}

  session::DpReceived Receive(int32_t flags) override {
    session::DpReceived received = ForwardingDirectPlay::Receive(flags);
    std::string text;
    if (session::DecodeChatText(received.Message, text)) heard_(NameOrId(*this, received.From), text);
    return received;
  }

 private:
  HeardSink heard_;
};

// The host's DirectPlay object: opens the session with or without host migration.
class HostDirectPlay : public session::ForwardingDirectPlay {
 public:
  HostDirectPlay(std::unique_ptr<session::DirectPlay> inner, bool migrate)
      : ForwardingDirectPlay(std::move(inner)), migrate_(migrate) {}

  void Open(const session::DpSessionDesc& desc, int32_t flags) override {
    session::DpSessionDesc d = desc;
    if (!migrate_) d.Flags &= ~session::kSessionMigrateHost;
    ForwardingDirectPlay::Open(d, flags);
  }

 private:
  bool migrate_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Pure parts

std::pair<uint16_t, uint16_t> ParsePortRange(const std::string& text) {
  auto bad = [&text](const char* why) {
    return std::invalid_argument("bad port range '" + text + "': " + why);
  };
  auto number = [&](std::string_view part) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value < 1 || value > 65535) {
      throw bad("expected FIRST-LAST, ports 1 to 65535");
    }
    return static_cast<uint16_t>(value);
  };
  const size_t dash = text.find('-');
  if (dash == std::string::npos) throw bad("expected FIRST-LAST, ports 1 to 65535");
  const std::string_view all(text);
  const uint16_t first = number(all.substr(0, dash)), last = number(all.substr(dash + 1));
  if (first > last) throw bad("the first port is above the last");
  return {first, last};
}

ParticipantScript ScriptFor(const Scenario& scenario, int line) {
  ParticipantScript script;
  size_t from = scenario.Commands.size();
  bool found = false;
  for (const NamedLine& present : scenario.Present) {
    if (present.Line == line) {
      script.Name = present.Name;
      script.Present = true;
      from = 0;
      found = true;
    }
  }
  for (size_t i = 0; i < scenario.Commands.size() && !found; ++i) {
    const TimedCommand& c = scenario.Commands[i];
    if (c.Line == line && (c.What == Verb::Join || c.What == Verb::Observer || c.What == Verb::Pilot)) {
      script.Name = c.Name;
      script.IsObserver = c.What == Verb::Observer;
      script.JoinMs = c.TimeMs;
      if (c.What == Verb::Pilot) script.Flight = c.Flight;
      from = i + 1;
      found = true;
    }
  }
  if (!found) {
    throw std::invalid_argument("line " + std::to_string(line) +
                                " of the scenario is not a join, observer, pilot or present line");
  }
  for (size_t i = from; i < scenario.Commands.size(); ++i) {
    const TimedCommand& c = scenario.Commands[i];
    if (c.What == Verb::EndSession) break;
    if (c.Name != script.Name) continue;
    switch (c.What) {
      case Verb::Pos:
      case Verb::Fly:
      case Verb::Say:
      case Verb::Aircraft:
        script.Lines.push_back(c);
        break;
      case Verb::Leave:
      case Verb::Drop:
        script.Lines.push_back(c);
        return script;
      default:
        break;
    }
  }
  return script;
}

bool IsScenarioName(const Scenario& scenario, const std::string& name) {
  if (name == scenario.HostName) return true;
  for (const NamedLine& p : scenario.Present) {
    if (p.Name == name) return true;
  }
  for (const TimedCommand& c : scenario.Commands) {
    if ((c.What == Verb::Join || c.What == Verb::Observer || c.What == Verb::Pilot) && c.Name == name)
      return true;
  }
  return false;
}

PilotWorld LoadPilotWorld(const Scenario& scenario, const std::string& appFolder, std::ostream* notes) {
  const std::string folder = app::AppFolderFromCurrentDirectory(appFolder);
  const std::optional<std::filesystem::path> airports = FindFileNoCase(folder, scenery::kAirportsFileName);
  if (!airports || !FileExistsNoCase(folder, app::kConfigFileName)) {
    throw SimulationError("the program folder " + folder + " lacks " +
                          (airports ? app::kConfigFileName : scenery::kAirportsFileName) +
                          " (skyvox-db build writes a database there)");
  }
  scenery::WorldTables tables;
  tables.AppFolder = folder;
  try {
    tables.SimFolder = app::ReadConfigFile(folder).SimFolder;
    const std::vector<std::string> list = scenery::ListAllAirports(*airports);
    std::vector<std::string> entries;
    for (const NamedLine& control : scenario.Controlled) {
      const std::string prefix = control.Name + " - ";
      const auto it = std::find_if(list.begin(), list.end(),
                                   [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
      if (it == list.end()) {
        throw ScenarioError(control.Line,
                            "no airport with Ident " + Cp1252ToUtf8(control.Name) + " in the database");
      }
      entries.push_back(*it);
    }
    scenery::LoadControlledAirports(*airports, entries, tables);
  } catch (const Error& e) {
    throw SimulationError(std::string("the program folder's database cannot be read: ") + e.what());
  }
  const auto magdec = scenery::ResolvePathNoCase(tables.SimFolder + "\\scenery\\magdec.bgl",
                                                 scenery::PathContext{folder, tables.SimFolder});
  // The pilots read headings with the variation the station says them with: the station on this
  // folder takes it from the model when the corrected mode is on and the simulator has no magdec.bgl.
  tables.Corrected.On = app::ReadCorrectedMode(folder);
  scenery::MagdecStatus status = scenery::MagdecStatus::Missing;
  try {
    status =
        scenery::LoadSessionVariation(magdec, tables, app::ShippedDataFolder(SKYVOX_DATA_DIR) / "WMM.COF",
                                      geo::DecimalYear(std::chrono::system_clock::now()));
  } catch (const Error&) {
    status = scenery::MagdecStatus::TooShort;
  }
  if (notes && (status == scenery::MagdecStatus::Missing || status == scenery::MagdecStatus::TooShort)) {
    *notes << "skyvox-sim: the simulator's scenery\\magdec.bgl cannot be read: the virtual pilots read "
              "headings without magnetic variation\n";
  }
  return PilotWorldFrom(tables);
}

// ---------------------------------------------------------------------------------------------------
// The host

namespace {

class HostProcess {
 public:
  explicit HostProcess(const HostRunOptions& options)
      : options_(options), scenario_(ParseScenarioFile(options.ScenarioPath)) {
    CheckVirtualPilots();
  }

  int Run();

 private:
  struct Child {
    std::unique_ptr<ChildProcess> Process;
    std::string Name;
    bool Running = true;
    bool Virtual = false;
    std::string Pending;  // report text short of a whole line
    bool Completed = false;
    std::vector<std::string> Summary;
  };

  void NoteStationLines() const;
  // Refuses virtual pilots without the program folder, or with an airport or spot its database lacks.
  void CheckVirtualPilots() const;
  bool HostSession();
  void WaitForStation();
  void Tick();
  void ReportPlayers();
  std::map<int32_t, std::string> Players();
  void Execute(const TimedCommand& command);
  void Spawn(const std::string& name, int line, bool observer, bool virtualPilot = false);
  void ReadReport(Child& child);
  void Reap();
  bool FlightsEnded() const;
  void PrintSummaries();
  bool AnyChildRunning() const;
  void SignalChildren(ChildSignal signal);
  // Lets the children end by themselves for a while (after `first`, when given), then kills those
  // still running.
  void StopChildren(std::optional<ChildSignal> first);
  // Leaves the session, with the "host left" notice (0x1012) ahead of it or without a word.
  void LeaveSession(bool notice);

  HostRunOptions options_;
  Scenario scenario_;
  LinePrinter out_;
  std::shared_ptr<dplay4::NetworkContext> context_;
  dplay4::NetworkDirectPlay* net_ = nullptr;  // owned by host_
  std::unique_ptr<SimulatedHost> host_;
  std::vector<Child> children_;
  std::map<int32_t, std::string> players_;  // the session's players at the last look
};

void HostProcess::NoteStationLines() const {
  for (const TimedCommand& c : scenario_.Commands) {
    if (c.What == Verb::Monitor || c.What == Verb::StopMonitor || c.What == Verb::CloseStation) {
      std::cerr << options_.ScenarioPath << ':' << c.Line
                << ": the station's window is not played in network mode; the line is ignored\n";
    }
  }
}

void HostProcess::CheckVirtualPilots() const {
  const auto isPilot = [](const TimedCommand& c) { return c.What == Verb::Pilot; };
  const auto first = std::find_if(scenario_.Commands.begin(), scenario_.Commands.end(), isPilot);
  if (first == scenario_.Commands.end()) return;
  if (options_.AppFolder.empty()) {
    throw std::invalid_argument(options_.ScenarioPath + " has virtual pilots (the first on line " +
                                std::to_string(first->Line) +
                                "): they need the program folder with the database, --app FOLDER");
  }
  const PilotWorld world = LoadPilotWorld(scenario_, options_.AppFolder, &std::cerr);
  const auto nowhere = std::make_shared<session::LoopbackHub>(1);
  for (auto it = first; it != scenario_.Commands.end();
       it = std::find_if(it + 1, scenario_.Commands.end(), isPilot)) {
    // An aircraft that never joins: the pilot only looks its airports and spot up in the world.
    SimulatedPilot probe(std::make_unique<session::LoopbackDirectPlay>(nowhere), it->Name, {});
    try {
      VirtualPilot check(probe, world, it->Flight, 0, {});
    } catch (const std::invalid_argument& e) {
      throw ScenarioError(it->Line, e.what());
    }
  }
}

bool HostProcess::HostSession() {
  context_ = dplay4::MakeNetworkContext();
  auto dp = std::make_unique<dplay4::NetworkDirectPlay>(
      ProviderOptions(options_.Network, out_, Cp1252ToUtf8(scenario_.HostName)), context_);
  net_ = dp.get();
  // A scenario that ends the session while the host is in it needs a session that dies with its host:
  // no host migration. Otherwise the station can take the session over when the host leaves.
  const bool hostEndsSession =
      std::any_of(scenario_.Commands.begin(), scenario_.Commands.end(),
                  [](const TimedCommand& c) { return c.What == Verb::EndSession; }) &&
      std::none_of(scenario_.Commands.begin(), scenario_.Commands.end(),
                   [](const TimedCommand& c) { return c.What == Verb::HostLeave; });
  host_ = std::make_unique<SimulatedHost>(std::make_unique<HostDirectPlay>(std::move(dp), !hostEndsSession),
                                          scenario_.HostName,
                                          [this](const std::string& text) { out_.Event(text); });
  try {
    host_->Host(scenario_.SessionName, scenario_.Password, scenario_.MaxPlayers);
  } catch (const std::exception& e) {
    std::cerr << "skyvox-sim: the host cannot open the session: " << e.what() << '\n';
    return false;
  }
  out_.Event(scenario_.HostName + " hosts the session \"" + scenario_.SessionName + "\"" +
             (scenario_.Password.empty() ? "" : " with a password") + " (stream port " +
             std::to_string(net_->StreamPort()) + ")");
  out_.Print("* session up on port " + std::to_string(options_.Network.EnumerationPort));
  players_ = Players();
  return true;
}

std::map<int32_t, std::string> HostProcess::Players() {
  std::map<int32_t, std::string> players;
  if (!host_->InSession()) return players;
  try {
    for (const session::DpPlayer& p : net_->EnumPlayers(host_->InstanceId(), 0)) players[p.Id] = p.Name;
  } catch (const std::exception&) {
    return players_;  // no fresh view: nothing changed as far as we know
  }
  return players;
}

void HostProcess::ReportPlayers() {
  std::map<int32_t, std::string> now = Players();
  for (const auto& [id, name] : players_) {
    if (!now.count(id)) out_.Event(name + " has left the session");
  }
  for (const auto& [id, name] : now) {
    if (!players_.count(id)) out_.Event(name + " is in the session");
  }
  players_ = std::move(now);
}

void HostProcess::WaitForStation() {
  if (options_.WaitStationSeconds <= 0) return;
  out_.Event("waiting up to " + std::to_string(static_cast<int64_t>(options_.WaitStationSeconds)) +
             " s for the station to join");
  const int64_t until = EpochMs() + static_cast<int64_t>(options_.WaitStationSeconds * 1000);
  while (!StopSignal() && EpochMs() < until) {
    dplay4::PollNetworkFor(*context_, kTickMs);
    host_->Tick(0);
    ReportPlayers();
    for (const auto& [id, name] : players_) {
      if (!IsScenarioName(scenario_, name)) return;
    }
  }
  if (!StopSignal()) out_.Event("no station joined: the scenario starts without it");
}

void HostProcess::Tick() {
  host_->Tick(static_cast<double>(out_.NowMs()) / 1000);
  ReportPlayers();
  Reap();
}

void HostProcess::Spawn(const std::string& name, int line, bool observer, bool virtualPilot) {
  const NetworkSettings& n = options_.Network;
  std::vector<std::string> args = {
      "skyvox-sim",
      observer ? "observer" : "pilot",
      "--network",
      options_.ScenarioPath,
      "--name",
      Cp1252ToUtf8(name),
      "--line",
      std::to_string(line),
      "--host",
      host_->InSession() ? "127.0.0.1:" + std::to_string(n.EnumerationPort) : options_.RejoinAddress,
      "--start",
      std::to_string(out_.StartEpochMs()),
      "--ports",
      std::to_string(n.FirstPort) + "-" + std::to_string(n.LastPort),
      "--enum-timeout",
      std::to_string(n.EnumerationTimeoutMs)};
  if (n.PingIntervalMs) {
    args.push_back("--ping-interval");
    args.push_back(std::to_string(*n.PingIntervalMs));
  }
  if (virtualPilot) args.insert(args.end(), {"--app", options_.AppFolder});
  // A virtual pilot reports on a channel of its own (see ParticipantRunOptions::ReportFd).
  std::string error;
  std::unique_ptr<ChildProcess> process = ChildProcess::Start(std::move(args), virtualPilot, error);
  if (!process) {
    out_.Event(name + " cannot be started: " + error);
    return;
  }
  Child child;
  child.Process = std::move(process);
  child.Name = name;
  child.Virtual = virtualPilot;
  children_.push_back(std::move(child));
}

void HostProcess::ReadReport(Child& c) {
  c.Process->ReadReport(c.Pending);
  for (size_t end = c.Pending.find('\n'); end != std::string::npos; end = c.Pending.find('\n')) {
    const std::string line = c.Pending.substr(0, end);
    c.Pending.erase(0, end + 1);
    if (line == kCompletedReport) c.Completed = true;
    if (line.starts_with(kSummaryReport)) c.Summary.push_back(line.substr(kSummaryReport.size()));
  }
}

void HostProcess::Reap() {
  for (Child& c : children_) {
    if (!c.Running) continue;
    ReadReport(c);
    std::string ending;
    if (c.Process->Running(ending)) continue;
    c.Running = false;
    ReadReport(c);  // the rest, up to its end
    if (!ending.empty()) out_.Event("the process of " + c.Name + " " + ending);
  }
}

bool HostProcess::FlightsEnded() const {
  bool any = false;
  for (const Child& c : children_) {
    if (!c.Virtual) continue;
    any = true;
    if (c.Running && !c.Completed) return false;
  }
  return any;
}

void HostProcess::PrintSummaries() {
  for (Child& c : children_) {
    if (!c.Virtual) continue;
    ReadReport(c);
    if (c.Summary.empty()) out_.Event(c.Name + ": no summary came from its process");
    for (const std::string& line : c.Summary) out_.Event(line);
  }
}

bool HostProcess::AnyChildRunning() const {
  return std::any_of(children_.begin(), children_.end(), [](const Child& c) { return c.Running; });
}

void HostProcess::SignalChildren(ChildSignal signal) {
  for (const Child& c : children_) {
    if (c.Running) c.Process->Signal(signal);
  }
}

void HostProcess::StopChildren(std::optional<ChildSignal> first) {
  if (first) SignalChildren(*first);
  const int64_t until = EpochMs() + kChildGraceMs;
  while (AnyChildRunning() && EpochMs() < until) {
    dplay4::PollNetworkFor(*context_, kTickMs);
    host_->Tick(static_cast<double>(out_.NowMs()) / 1000);
    Reap();
  }
  if (!AnyChildRunning()) return;
  SignalChildren(ChildSignal::Kill);
  for (Child& c : children_) {
    if (!c.Running) continue;
    c.Process->Wait();
    c.Running = false;
    ReadReport(c);
    out_.Event("the process of " + c.Name + " is killed");
  }
}

void HostProcess::LeaveSession(bool notice) {
  if (!host_ || !host_->InSession()) return;
  if (notice) {
    try {
      net_->Send(host_->PlayerId(), session::kAllPlayers, session::kSendGuaranteed,
                 session::BuildSimpleMessage(session::kHostLeft));
    } catch (const std::exception&) {
    }
    PollFor(*context_, kQuietBeforeLeaveMs);
  }
  try {
    net_->DestroyPlayer(host_->PlayerId());
  } catch (const std::exception&) {
  }
  try {
    net_->Close();
  } catch (const std::exception&) {
  }
  host_->Lost();
  players_.clear();
}

void HostProcess::Execute(const TimedCommand& command) {
  switch (command.What) {
    case Verb::Join:
    case Verb::Observer:
      Spawn(command.Name, command.Line, command.What == Verb::Observer);
      break;
    case Verb::Pilot:
      Spawn(command.Name, command.Line, false, true);
      break;
    case Verb::HostLeave:
      if (!host_->InSession()) {
        out_.Event(scenario_.HostName + " is no longer in the session: nothing happens");
        break;
      }
      out_.Event(scenario_.HostName + " leaves the session");
      LeaveSession(true);
      break;
    case Verb::HostRemove: {
      if (!host_->InSession()) {
        out_.Event(scenario_.HostName + " is no longer in the session: nothing happens");
        break;
      }
      ReportPlayers();
      bool any = false;
      for (const auto& [id, name] : players_) {
        if (IsScenarioName(scenario_, name)) continue;
        any = true;
        out_.Event(scenario_.HostName + " removes " + name + " from the session");
        try {
          host_->RemoveFromSession(id);
        } catch (const std::exception& e) {
          out_.Event(scenario_.HostName + " cannot send it: " + e.what());
        }
      }
      if (!any) out_.Event(scenario_.HostName + " finds no station in the session to remove");
      break;
    }
    case Verb::EndSession:
      if (host_->InSession()) {
        // The session was opened without host migration (see HostSession): the host going without
        // the "host left" notice ends it for every machine, the station's included.
        out_.Event("the session ends: " + scenario_.HostName + " closes it");
        LeaveSession(false);
      } else {
        // The station hosts it now and lives on; every participant vanishes at once without a word.
        out_.Event("the session ends for every participant; the station, hosting it now, stays");
        SignalChildren(ChildSignal::Kill);
        StopChildren(std::nullopt);
      }
      break;
    default:
      break;  // the participants' own lines, played by their processes; the station's lines
  }
}

int HostProcess::Run() {
  NoteStationLines();
  InstallStopHandlers(false);
  if (!HostSession()) return 1;
  WaitForStation();
  out_.SetStart(EpochMs());
  if (!StopSignal()) out_.Event("t = 0: the scenario starts");

  for (const NamedLine& present : scenario_.Present) Spawn(present.Name, present.Line, false);
  const std::vector<TimedCommand>& commands = scenario_.Commands;
  size_t next = 0;
  int64_t nextTick = 0;
  bool flightsEnded = false;
  while (!StopSignal()) {
    const int64_t now = out_.NowMs();
    while (next < commands.size() && commands[next].TimeMs <= now) Execute(commands[next++]);
    if (now >= nextTick) {
      Tick();
      nextTick = (now / kTickMs + 1) * kTickMs;
      if (scenario_.EndWhenFlightsEnd && next >= commands.size() && FlightsEnded()) {
        flightsEnded = true;
        break;
      }
    }
    if (now >= scenario_.EndMs) break;
    int64_t until = std::min(nextTick, scenario_.EndMs);
    if (next < commands.size()) until = std::min(until, commands[next].TimeMs);
    PollUntil(*context_, out_, until);
  }

  if (const int signal = StopSignal()) {
    out_.Event("stopped by signal " + std::to_string(signal));
    StopChildren(ChildSignal::Stop);
    PrintSummaries();
    if (host_->InSession()) out_.Event(scenario_.HostName + " leaves the session");
    LeaveSession(true);
    return 128 + signal;
  }
  if (flightsEnded) {
    out_.Event("every virtual pilot's flight has ended: the run stops");
    SignalChildren(ChildSignal::RunEnds);
  }
  out_.Event("the run ends");
  // The children leave by themselves at the end of the run (or at the host's word).
  StopChildren(std::nullopt);
  PrintSummaries();
  if (host_->InSession()) out_.Event(scenario_.HostName + " leaves the session");
  LeaveSession(true);
  return 0;
}

// ---------------------------------------------------------------------------------------------------
// A participant

class ParticipantProcess {
 public:
  explicit ParticipantProcess(const ParticipantRunOptions& options)
      : options_(options),
        scenario_(ParseScenarioFile(options.ScenarioPath)),
        script_(ScriptFor(scenario_, options.Line)) {
    if (script_.Name != Utf8ToCp1252(options.Name)) {
      throw std::invalid_argument("line " + std::to_string(options.Line) + " declares " +
                                  Cp1252ToUtf8(script_.Name) + ", not " + options.Name);
    }
    if (script_.IsObserver != options.AsObserver) {
      throw std::invalid_argument(options.Name + (script_.IsObserver ? " is an observer" : " is a pilot") +
                                  " on line " + std::to_string(options.Line));
    }
    if (script_.Flight) {
      if (options.AppFolder.empty()) {
        throw std::invalid_argument(options.Name +
                                    " is a virtual pilot: it needs the program folder with the database, "
                                    "--app FOLDER");
      }
      world_ = LoadPilotWorld(scenario_, options.AppFolder);
    }
    out_.SetStart(options.StartEpochMs);
  }

  int Run();

 private:
  ParticipantState State() const { return pilot_ ? pilot_->State() : observer_->State(); }
  bool InSession() const {
    return State() == ParticipantState::Joining || State() == ParticipantState::Present;
  }
  std::optional<std::string> FindSession(PeerDirectPlay& dp);
  bool Join();
  // Plays one line; returns an exit code when the process ends with it.
  std::optional<int> Execute(const TimedCommand& command);
  // Leaves the session; a virtual pilot's summary comes before (at the end of the run) or after (its
  // own leave line, so that it says the pilot left).
  int LeaveAndExit(const std::string& why, int code, bool summaryFirst = true);
  void Report(std::string_view line) const;
  // A virtual pilot's summary, once: to the host's report pipe, or printed as events without one.
  void ReportSummary();

  ParticipantRunOptions options_;
  Scenario scenario_;
  ParticipantScript script_;
  LinePrinter out_;
  std::shared_ptr<dplay4::NetworkContext> context_;
  std::unique_ptr<SimulatedPilot> pilot_;
  std::unique_ptr<SimulatedObserver> observer_;
  std::optional<PilotWorld> world_;
  std::unique_ptr<VirtualPilot> virtual_;  // flies pilot_ with world_
  bool completedReported_ = false;
  bool summaryReported_ = false;
};

void ParticipantProcess::Report(std::string_view line) const {
  if (options_.ReportFd >= 0) WriteAll(options_.ReportFd, std::string(line) + "\n");
}

void ParticipantProcess::ReportSummary() {
  if (!virtual_ || summaryReported_) return;
  summaryReported_ = true;
  for (const std::string& line : virtual_->Summary()) {
    if (options_.ReportFd >= 0) {
      Report(std::string(kSummaryReport) + line);
    } else {
      out_.Event(line);
    }
  }
}

std::optional<std::string> ParticipantProcess::FindSession(PeerDirectPlay& dp) {
  dp.InitializeConnection(std::string(dplay4::kTcpIpConnectionAddress) + ":" + options_.HostAddress);
  const int32_t flags = session::kEnumSessionsAvailable | session::kEnumSessionsPasswordRequired;
  std::string lastError = "no answer";
  for (int attempt = 0; attempt < kSearchTries && !StopSignal(); ++attempt) {
    try {
      for (const session::DpSessionDesc& s :
           dp.EnumSessions({}, options_.Network.EnumerationTimeoutMs, flags)) {
        if (s.SessionName == scenario_.SessionName) return s.InstanceId;
      }
      lastError = "the session is not among those found";
    } catch (const std::exception& e) {
      lastError = e.what();
    }
  }
  out_.Event(script_.Name + " finds no session \"" + scenario_.SessionName + "\" at " +
             Utf8ToCp1252(options_.HostAddress) + " (" + lastError + ")");
  return std::nullopt;
}

bool ParticipantProcess::Join() {
  auto onEvent = [this](const std::string& text) { out_.Event(text); };
  const std::string who = Cp1252ToUtf8(script_.Name);
  auto dp = std::make_unique<PeerDirectPlay>(
      std::make_unique<dplay4::NetworkDirectPlay>(ProviderOptions(options_.Network, out_, who), context_),
      [this, who](const std::string& sender, const std::string& text) {
        out_.Print(who + " hears " + Cp1252ToUtf8(sender) + ": " + Cp1252ToUtf8(text));
      });
  PeerDirectPlay& peer = *dp;
  if (script_.IsObserver) {
    observer_ = std::make_unique<SimulatedObserver>(std::move(dp), script_.Name, onEvent);
  } else {
    pilot_ = std::make_unique<SimulatedPilot>(std::move(dp), script_.Name, onEvent);
  }
  if (script_.Flight) {
    virtual_ = std::make_unique<VirtualPilot>(*pilot_, *world_, *script_.Flight,
                                              VirtualPilotSeed(options_.Line), onEvent);
    out_.Event(script_.Name + " joins as a virtual pilot: " + DescribeIntention(*script_.Flight));
  } else {
    out_.Event(script_.Name + (script_.IsObserver ? " joins as an observer" : " joins as a pilot") +
               (script_.Present ? " (present: it does not announce itself)" : ""));
  }
  const std::optional<std::string> instance = FindSession(peer);
  if (!instance) return false;
  try {
    if (pilot_) pilot_->Join(*instance, scenario_.Password, !script_.Present);
    if (observer_) observer_->Join(*instance, scenario_.Password);
  } catch (const std::exception& e) {
    out_.Event(script_.Name + " cannot join: " + e.what());
    return false;
  }
  return true;
}

int ParticipantProcess::LeaveAndExit(const std::string& why, int code, bool summaryFirst) {
  if (summaryFirst) ReportSummary();
  if (InSession()) {
    PollFor(*context_, kQuietBeforeLeaveMs);
    out_.Event(script_.Name + " leaves the session" + why);
    if (pilot_) pilot_->Leave();
    if (observer_) observer_->Leave();
    PollFor(*context_, kFarewellMs);
  }
  ReportSummary();
  return code;
}

std::optional<int> ParticipantProcess::Execute(const TimedCommand& command) {
  const double now = static_cast<double>(out_.NowMs()) / 1000;
  if (!InSession()) {
    out_.Event(command.Name + " is not in the session: nothing happens");
    return std::nullopt;
  }
  switch (command.What) {
    case Verb::Pos:
      pilot_->SetPosition(command.Position);
      break;
    case Verb::Fly:
      try {
        pilot_->FlyTo(command.Position.Latitude, command.Position.Longitude, command.Position.AltitudeFt,
                      *command.Position.GroundSpeedKt, now);
      } catch (const std::exception& e) {
        out_.Event(command.Name + " cannot fly: " + e.what());
      }
      break;
    case Verb::Say:
      out_.Event(command.Name + " says: " + command.Text);
      try {
        if (pilot_) pilot_->Say(command.Text);
        if (observer_) observer_->Say(command.Text);
      } catch (const std::exception& e) {
        out_.Event(command.Name + " cannot send it: " + e.what());
      }
      break;
    case Verb::Aircraft:
      pilot_->SetAircraft(command.Text);
      break;
    case Verb::Leave:
      return LeaveAndExit("", 0, false);
    case Verb::Drop:
      // The process vanishes without a word: its connections close with it.
      out_.Event(command.Name + "'s connection is lost");
      if (pilot_) pilot_->Lost();
      ReportSummary();
      std::_Exit(0);
    default:
      break;
  }
  return std::nullopt;
}

int ParticipantProcess::Run() {
  InstallStopHandlers(true);
  context_ = dplay4::MakeNetworkContext();
  while (!StopSignal() && !RunEnds() && out_.NowMs() < script_.JoinMs)
    PollUntil(*context_, out_, script_.JoinMs);
  if (StopSignal()) return 128 + StopSignal();
  if (RunEnds()) return 0;
  if (!Join()) {
    ReportSummary();
    return 1;
  }

  const std::vector<TimedCommand>& lines = script_.Lines;
  size_t next = 0;
  int64_t nextTick = 0;
  while (!StopSignal()) {
    const int64_t now = out_.NowMs();
    while (next < lines.size() && lines[next].TimeMs <= now) {
      if (const std::optional<int> code = Execute(lines[next++])) return *code;
    }
    if (now >= nextTick) {
      const double seconds = static_cast<double>(now) / 1000;
      if (virtual_) {
        virtual_->Tick(seconds);
      } else if (pilot_) {
        pilot_->Tick(seconds);
      }
      if (observer_) observer_->Tick(seconds);
      nextTick = (now / kTickMs + 1) * kTickMs;
      if (virtual_ && virtual_->Completed() && !completedReported_) {
        completedReported_ = true;
        Report(kCompletedReport);
      }
      // Refused or lost: the participant said so and has nothing more to do.
      if (!InSession()) {
        ReportSummary();
        return 0;
      }
    }
    if (RunEnds() || now >= scenario_.EndMs) return LeaveAndExit(" (the run ends)", 0);
    int64_t until = std::min(nextTick, scenario_.EndMs);
    if (next < lines.size()) until = std::min(until, lines[next].TimeMs);
    PollUntil(*context_, out_, until);
  }
  const int signal = StopSignal();
  return LeaveAndExit(" (stopped by signal " + std::to_string(signal) + ")", 128 + signal);
}

}  // namespace

int RunNetworkHost(const HostRunOptions& options) {
  HostProcess host(options);
  return host.Run();
}

int RunNetworkParticipant(const ParticipantRunOptions& options) {
  ParticipantProcess participant(options);
  return participant.Run();
}

}  // namespace skyvox::sim
