// The station without a display: the window controllers driven from command-line options, their
// message boxes printed on standard output and their input boxes answered from the options, the first
// run's database build drawn as a progress bar on standard error, and the station window's three
// timers run on a real-time clock between which the network is polled.
//
// Standard output, one line each, flushed as written:
//   [message box, information] Skyvox v2.0: TEXT        every message box (or "exclamation", "critical")
//   [cause] TEXT                                         the real cause beside a fixed box text
//   [input box] TITLE: PROMPT (answered)                 an input box answered from the options
//   [input box] TITLE: PROMPT (cancelled)                one the options cannot answer
//   [input box] TITLE: PROMPT (answered "TEXT")          the host address question, with its answer
//   * ...                                                what the program does (settings, search, join,
//                                                        "* station open in session NAME",
//                                                        "* N1 joined the session (player)",
//                                                        "* N1 left the session",
//                                                        "* the host left the session",
//                                                        "* the station took over ...: pilots can join
//                                                        this station's session at ADDRESS:PORT",
//                                                        "* session lost", "* station closed")
//   [   1.5] NAME <- TEXT                                every chat line the station sends, with the
//   [   1.5] NAME (copy) <- TEXT                         seconds since the station window opened
//   [   1.5] NAME -> TEXT                                with --verbose, every chat line it receives
//   * traffic at [  30.0]:                               with --verbose, every 30 s: the participants'
//     Name  Kind  Aircraft ...                           table, one line of titles and one per row
// Text is UTF-8. Failures are one line on standard error, "skyvox-station: MESSAGE".
//
// Exit codes: 0 when the user closed the station (the stop flag), 1 on a failure, kExitSessionLost
// when the session was lost under the station (the host ended it or removed the station, the network
// failed).
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/connection.h"
#include "app/input_boxes.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/station.h"
#include "app/station_monitor.h"
#include "dplay4/network.h"
#include "session/directplay.h"

namespace skyvox::station {

inline constexpr int kExitSessionLost = 3;

// What the command line says. Text is UTF-8 as typed.
struct StationOptions {
  std::string AppFolder;
  std::string SimFolder;             // used only when the start-up check asks for it (first run)
  std::vector<std::string> Control;  // Idents, added to the controlled airports list in this order
  std::string Connection = dplay4::kTcpIpConnectionName;
  std::string Host;     // "" searches the local network
  std::string Session;  // "" joins the first session found
  std::string Callsign = app::kDefaultCallsign;
  std::optional<std::string> Password;
  bool Monitor = false;
  bool Corrected = false;  // the corrected mode for this run, whatever its settings file says
  int32_t PingIntervalMs = 35000;
  int32_t EnumTimeoutMs = 5000;
  uint16_t FirstPort = 2300;  // our stream and datagram ports come from this range
  uint16_t LastPort = 2400;
  bool Verbose = false;
};

// Writes one line and flushes it: whoever reads the output reads it while the program runs.
void PrintLine(std::ostream& out, const std::string& utf8Line);

// "[message box, information] Skyvox v2.0: TEXT", title and text converted to UTF-8.
std::string MessageBoxLine(const std::string& title, const std::string& text, app::MessageIcon icon);

// Prints every message box and remembers the last text, which a failure repeats on standard error.
class ConsoleBoxes : public app::MessageBoxes {
 public:
  explicit ConsoleBoxes(std::ostream& out) : out_(out) {}
  void Show(const std::string& title, const std::string& text, app::MessageIcon icon) override;
  void ShowCause(const std::string& cause) override;         // "[cause] TEXT" on a line of its own
  const std::string& LastText() const { return lastText_; }  // single-byte text
  // The cause shown after the last box, "" when none was.
  const std::string& LastCause() const { return lastCause_; }
  int Count() const { return count_; }

 private:
  std::ostream& out_;
  std::string lastText_;
  std::string lastCause_;
  int count_ = 0;
};

// Answers the session's password prompt with --password; without the option, and for any other
// prompt, the box is cancelled (the connection window then joins with an empty password). The
// password itself is never printed.
class OptionInputBoxes : public app::InputBoxes {
 public:
  OptionInputBoxes(std::optional<std::string> utf8Password, std::ostream& out)
      : password_(std::move(utf8Password)), out_(out) {}
  std::optional<std::string> Ask(const std::string& title, const std::string& prompt) override;

 private:
  std::optional<std::string> password_;
  std::ostream& out_;
};

// The host address question is the connection window's (app::kHostAddressTitle, app::kHostAddressPrompt).
using app::kHostAddressPrompt;
using app::kHostAddressTitle;

// The network provider's options from the command line: the host address question answered with
// --host (the question and the answer printed on `out`), the ping interval and enumeration timeout,
// the station's take-over of the session as a "* ..." line on `out`, the waits for the network cut
// short by the stop flag (when given), and with --verbose the protocol log as "* net: ..." lines on
// `err`.
dplay4::NetworkOptions MakeNetworkOptions(const StationOptions& options, std::ostream& out, std::ostream& err,
                                          const volatile std::sig_atomic_t* stop = nullptr);
// The line for the station taking the session over: where pilots find it, or that they cannot.
std::string TakeOverLine(const std::optional<std::string>& searchAddress);

// The first-run build's progress on standard error: a redrawn bar on a terminal, otherwise a line at
// every tenth of the files.
class BuildProgressBar {
 public:
  BuildProgressBar(std::ostream& err, bool terminal, std::function<int64_t()> nowMs);
  void Show(const app::BuildProgress& progress);
  void Done();  // ends the bar's line

 private:
  std::ostream& err_;
  bool terminal_;
  std::function<int64_t()> nowMs_;
  int64_t startMs_;
  int lastTenth_ = -1;
  int lastDone_ = -1;
  bool drawn_ = false;
};

// The three timers of the station window on a clock of milliseconds. A timer ticks first one interval
// after it was enabled and then every interval; ticks that fall due while the program is busy are not
// made up (a window timer does not queue them), the next one keeps the timer's phase.
class StationTimers {
 public:
  enum Which { kConnection = 0, kRefresh = 1, kAtc = 2 };

  // Follows the window's enabled flags at time nowMs.
  void Sync(int64_t nowMs, bool connection, bool refresh, bool atc);
  void Sync(const app::StationController& station, int64_t nowMs);
  // True when the timer is enabled and due at nowMs; it is then scheduled for its next tick.
  bool TakeDue(Which which, int64_t nowMs);
  // The earliest due time of an enabled timer; nullopt when all are disabled.
  std::optional<int64_t> NextDueMs() const;

 private:
  struct Timer {
    int32_t IntervalMs;
    bool Enabled = false;
    int64_t NextMs = 0;
  };
  Timer timers_[3] = {{app::StationController::kConnectionIntervalMs},
                      {app::StationController::kRefreshIntervalMs},
                      {app::StationController::kAtcIntervalMs}};
};

// Time for the program: NowMs a monotonic clock in milliseconds; WaitMs waits up to that long (0: not
// at all) while it handles what the network delivers.
struct StationClock {
  std::function<int64_t()> NowMs;
  std::function<void(int32_t)> WaitMs;
};

enum class StationEnd {
  Closed,       // the station closed itself: the session ended or the host removed it
  Interrupted,  // the stop flag was seen and "Close the ATC Station" pressed
};

// The station window's timers until it closes: in each turn Connection_Timer, Refresh_Players and
// ATC_Timer when due, in that order, then a wait until the next due time (at most 100 ms, so that the
// stop flag is seen promptly). A set stop flag presses "Close the ATC Station" once. afterTurn, when
// given, is called after each turn's ticks while the window is open.
StationEnd RunStationLoop(app::StationController& station, const StationClock& clock,
                          const volatile std::sig_atomic_t& stop,
                          const std::function<void()>& afterTurn = {});

// The whole program after the command line: start-up check, first-run build, settings, connection
// and station, on DirectPlay objects from `network`. Returns the exit code: 0 when the stop flag closed
// the station or pressed the connection window's "Close" while searching or joining; kExitSessionLost
// when the station closed by itself (the session ended under it); 1 on any failure, with its message
// on `err`. A stop during the first-run build also gives
// 1: the unfinished database cannot be used, so the configuration file is removed and the next start
// builds it again.
int RunStationProgram(const StationOptions& options, session::DirectPlayFactory& network,
                      const StationClock& clock, const volatile std::sig_atomic_t& stop, std::ostream& out,
                      std::ostream& err, bool errIsTerminal);

}  // namespace skyvox::station
