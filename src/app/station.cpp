#include "app/station.h"

#include <exception>
#include <string>

#include "app/corrected_mode_file.h"
#include "atc/atc_cycle.h"
#include "session/roster.h"

namespace skyvox::app {

std::function<void()> ProgramAtcCycle(ProgramState& state) {
  return [&state] { atc::RunAtcCycle(state.Link, state.World); };
}

StationController::StationController(ProgramState& state, MessageBoxes& boxes, std::function<void()> atcCycle)
    : state_(state), boxes_(boxes), atcCycle_(std::move(atcCycle)) {}

void StationController::ShowNotMonitoringLamps() {
  redLampFill_ = kFillDiagonalCross;
  greenLampFill_ = kFillSolid;
}

void StationController::OpenStation() {
  // The window as first shown.
  statusText_ = kNotMonitoringText;
  statusColour_ = kColourGreen;
  ShowNotMonitoringLamps();
  startEnabled_ = true;
  stopEnabled_ = false;
  closeEnabled_ = true;
  atcTimer_ = false;
  open_ = true;
  next_ = NextWindow::None;

  session::SessionLink& link = state_.Link;
  link.SessionActive = true;
  link.IsSessionHost = false;
  scenery::WorldTables& world = state_.World;
  for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
    scenery::AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    // The runway queues start with a front entry that no roster index matches.
    airport.RuntimeList1.assign(1, scenery::RuntimeEntry{-1, ""});
    airport.RuntimeList2.assign(1, scenery::RuntimeEntry{-1, ""});
  }
  // The station listens and keeps the roster; the controller talks only once monitoring starts.
  connectionTimer_ = true;
  refreshTimer_ = true;
  session::ClearRoster(link);
}

void StationController::StartMonitoring() {
  if (!open_ || !startEnabled_) return;
  statusText_ = kMonitoringText;
  statusColour_ = kColourDarkRed;
  redLampFill_ = kFillSolid;
  greenLampFill_ = kFillDiagonalCross;
  atcTimer_ = true;
  startEnabled_ = false;
  stopEnabled_ = true;
  closeEnabled_ = true;
}

void StationController::SetCorrectedMode(bool on) {
  state_.World.Corrected.On = on;
  try {
    WriteCorrectedMode(state_.World.AppFolder, on);
  } catch (const Error& e) {
    boxes_.Show(kProgramTitle,
                std::string("The corrected mode could not be kept for the next start: ") + e.what(),
                MessageIcon::Exclamation);
  }
  if (redraw_) redraw_();
}

void StationController::StopMonitoring() {
  if (!open_ || !stopEnabled_) return;
  statusText_ = kNotMonitoringText;
  statusColour_ = kColourGreen;
  ShowNotMonitoringLamps();
  atcTimer_ = false;
  stopEnabled_ = false;
  startEnabled_ = true;
  closeEnabled_ = true;
}

void StationController::RunClosingSteps() {
  statusText_ = kPleaseWaitText;
  statusColour_ = kColourGreen;
  ShowNotMonitoringLamps();
  if (redraw_) redraw_();

  // The timers stop first so that none of them touches the tables while they are emptied.
  atcTimer_ = false;
  connectionTimer_ = false;
  refreshTimer_ = false;

  session::SessionLink& link = state_.Link;
  try {
    link.Play().DestroyPlayer(link.OwnPlayerId);
    link.Play().Close();
    // Releasing the DirectPlay object; the connection window makes a new one for the next session.
    link.Dp.reset();
  } catch (const Error&) {
    // Without an object to leave (the second pass of a close) or with a session that is already
    // gone, the release is skipped and the tables are emptied all the same.
  }

  state_.World.ResetLoadedTables();
  session::ClearRoster(link);
}

void StationController::CloseStation() {
  if (!open_) return;
  RunClosingSteps();
  OnStationWindowClosing();
}

void StationController::OnStationWindowClosing() {
  if (!open_) return;
  RunClosingSteps();
  open_ = false;
  next_ = NextWindow::Settings;
}

void StationController::AtcTimerTick() {
  if (!open_ || !atcTimer_) return;
  if (state_.Link.PlayerCount > 0 && atcCycle_) atcCycle_();
}

void StationController::ConnectionTimerTick() {
  if (!open_ || !connectionTimer_) return;
  session::OnConnectionTimerTick(state_.Link, state_.World, *this);
}

void StationController::RefreshTimerTick() {
  if (!open_ || !refreshTimer_) return;
  session::RefreshPlayers(state_.Link, state_.World);
}

void StationController::ShowInformation(const std::string& text) {
  boxes_.Show(kProgramTitle, text, MessageIcon::Information);
}

}  // namespace skyvox::app
