// The chain of windows: splash, then "Creating Configuration File" when there is no configuration,
// "Settings", "Connecting to FS Multiplayer Session" and the "ATC Station Window"; closing the station
// shows the settings window again, and "Exit" ends the program. The chain owns the window controllers
// and their views; each view tells it when its controller closed the window, and the chain opens the
// window the controller names.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/connection.h"
#include "app/input_boxes.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/sim_folder.h"
#include "app/startup.h"
#include "app/station.h"
#include "app/station_monitor.h"
#include "app/windows.h"
#include "session/chat_tap.h"

namespace skyvox::ui {

class WindowView;
class SplashView;
class SimFolderView;
class SettingsView;
class ConnectionView;
class StationView;

class WindowChain : public QObject {
 public:
  // appFolder: the program's folder (the current directory of the design). network: the DirectPlay
  // objects' maker (the connections the connection window lists). nowMs: the transcript's clock.
  WindowChain(app::ProgramState& state, app::MessageBoxes& boxes, app::InputBoxes& inputs,
              session::DirectPlayFactory& network, std::string appFolder, std::function<int64_t()> nowMs);
  ~WindowChain() override;

  // Shows the splash window.
  void Start();
  // Called once when the program ends, with its exit code.
  std::function<void(int)> Ended;

  // The window open now, and which it is (None once the program ended).
  WindowView* Current() const { return current_; }
  app::NextWindow CurrentWindow() const { return currentKind_; }

  // The open windows' views and controllers (null when that window is not open).
  SplashView* Splash() const { return splashView_; }
  SimFolderView* SimFolder() const { return simFolderView_; }
  SettingsView* Settings() const { return settingsView_; }
  ConnectionView* Connection() const { return connectionView_; }
  StationView* Station() const { return stationView_; }
  app::SettingsController* SettingsControl() const { return settings_.get(); }
  app::ConnectionController* ConnectionControl() const { return connection_.get(); }
  app::StationController* StationControl() const { return station_.get(); }
  app::StationMonitor& Monitor() { return monitor_; }

 private:
  void Open(app::NextWindow next);
  void Show(WindowView* view, app::NextWindow kind, std::function<void()> closed);
  void End(int code);

  app::ProgramState& state_;
  app::MessageBoxes& boxes_;
  app::InputBoxes& inputs_;
  std::string appFolder_;
  app::StationMonitor monitor_;
  session::ChatTapFactory tap_;

  // A window that closed is destroyed once control is back in the event loop (never inside its own
  // event handler), and its controller with it: a tick already queued still finds both alive.
  template <typename View, typename Controller>
  void Retire(View*& view, std::shared_ptr<Controller>& controller);
  // Shows the view; when its controller closes the window, the window it names opens.
  template <typename View, typename Controller>
  void Present(View*& view, std::shared_ptr<Controller>& controller, app::NextWindow kind);

  std::shared_ptr<app::SplashController> splash_;
  std::shared_ptr<app::SimFolderController> simFolder_;
  std::shared_ptr<app::SettingsController> settings_;
  std::shared_ptr<app::ConnectionController> connection_;
  std::shared_ptr<app::StationController> station_;
  SplashView* splashView_ = nullptr;
  SimFolderView* simFolderView_ = nullptr;
  SettingsView* settingsView_ = nullptr;
  ConnectionView* connectionView_ = nullptr;
  StationView* stationView_ = nullptr;
  WindowView* current_ = nullptr;
  app::NextWindow currentKind_ = app::NextWindow::None;
  bool ended_ = false;
};

}  // namespace skyvox::ui
