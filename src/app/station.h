// The station window ("ATC Station Window"): the program's main window while it is in a session. It
// owns the three timers that drive the station (Connection_Timer: the receive loop; Refresh_Players:
// the roster refresh; ATC_Timer: the ATC cycle, only while monitoring traffic), lets the user start and
// stop the controller, and closes the station: it leaves the session, empties the controlled area's
// tables and the roster and hands back to the settings window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/windows.h"
#include "session/receive_loop.h"

namespace skyvox::app {

inline constexpr const char* kStationCaption = "ATC Station Window";
inline constexpr const char* kStopMonitoringButton = "Stop Monitoring Traffic";
inline constexpr const char* kStartMonitoringButton = "Start Monitoring Traffic";
inline constexpr const char* kCloseStationButton = "Close the ATC Station";
inline constexpr const char* kNotMonitoringText = "NOT MONITORING TRAFFIC";
inline constexpr const char* kMonitoringText = "MONITORING TRAFFIC";
inline constexpr const char* kPleaseWaitText = "PLEASE WAIT...";
// The corrected mode's check box (an addition of ours: the design has no such control).
inline constexpr const char* kCorrectedModeBox = "Corrected mode";
inline constexpr const char* kCorrectedModeTip =
    "Fixes of the controller's known defects (see the README's table); off, the controller follows its "
    "design to the letter. Kept in skyvox_corrected_mode.cfg.";

// Colours as the platform writes them, &H00BBGGRR&: blue in the high byte, red in the low one. A view
// turns them into RGB as (c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF).
inline constexpr int32_t kColourGreen = 0x008000;    // the status text while not monitoring
inline constexpr int32_t kColourDarkRed = 0x000080;  // the status text while monitoring
inline constexpr int32_t kRedLampColour = 0x0000FF;
inline constexpr int32_t kGreenLampColour = 0x00C000;
// Fill styles of the lamps: solid is lit, the diagonal cross is dark.
inline constexpr int kFillSolid = 0;
inline constexpr int kFillDiagonalCross = 7;

// The ATC_Timer's work in the program: the ATC cycle over the program's roster and tables.
std::function<void()> ProgramAtcCycle(ProgramState& state);

class StationController : public session::SessionEvents {
 public:
  static constexpr int kAtcIntervalMs = 500;
  static constexpr int kConnectionIntervalMs = 100;
  static constexpr int kRefreshIntervalMs = 30000;

  // atcCycle: one ATC_Timer tick of the ATC engine, called only while some participant is in the
  // roster.
  StationController(ProgramState& state, MessageBoxes& boxes, std::function<void()> atcCycle);

  void OpenStation();  // window load
  void StartMonitoring();
  void StopMonitoring();
  // The corrected mode, at once for the next ATC cycle, and kept in its settings file for the next
  // start. A file that cannot be written is said in a message box; the mode still changes.
  void SetCorrectedMode(bool on);
  bool CorrectedMode() const { return state_.World.Corrected.On; }
  // "Close the ATC Station", and the receive loop's close when the session ends. Leaves the session,
  // empties the controlled airports, airspaces, terrain points and roster, and unloads the window.
  void CloseStation() override;
  // The window is being unloaded (close box, or the end of CloseStation): the closing steps again,
  // then the settings window.
  void OnStationWindowClosing();

  void AtcTimerTick();
  void ConnectionTimerTick();
  void RefreshTimerTick();

  // An information box with the program's title (the receive loop's session messages).
  void ShowInformation(const std::string& text) override;

  // Called when the closing's first step has changed the label and lamps, before the work starts, so
  // that a view can repaint them at once.
  void SetRedrawCallback(std::function<void()> redraw) { redraw_ = std::move(redraw); }

  const std::string& StatusText() const { return statusText_; }
  int32_t StatusColour() const { return statusColour_; }  // &H00BBGGRR&
  int RedLampFillStyle() const { return redLampFill_; }
  int GreenLampFillStyle() const { return greenLampFill_; }
  bool StartEnabled() const { return startEnabled_; }
  bool StopEnabled() const { return stopEnabled_; }
  bool CloseEnabled() const { return closeEnabled_; }
  bool AtcTimerEnabled() const { return atcTimer_; }
  bool ConnectionTimerEnabled() const { return connectionTimer_; }
  bool RefreshTimerEnabled() const { return refreshTimer_; }
  bool IsOpen() const { return open_; }
  NextWindow Next() const { return next_; }

 private:
  void ShowNotMonitoringLamps();
  void RunClosingSteps();  // steps 1 to 5 of the close

  ProgramState& state_;
  MessageBoxes& boxes_;
  std::function<void()> atcCycle_;
  std::function<void()> redraw_;

  std::string statusText_ = kNotMonitoringText;
  int32_t statusColour_ = kColourGreen;
  int redLampFill_ = kFillDiagonalCross;
  int greenLampFill_ = kFillSolid;
  bool startEnabled_ = true;
  bool stopEnabled_ = false;
  bool closeEnabled_ = true;
  bool atcTimer_ = false;
  bool connectionTimer_ = false;
  bool refreshTimer_ = false;
  bool open_ = true;
  NextWindow next_ = NextWindow::None;
};

}  // namespace skyvox::app
