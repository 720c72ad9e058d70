#include "ui/window_chain.h"

#include <QDir>

#include "app/drives.h"

#include "ui/connection_view.h"
#include "ui/settings_view.h"
#include "ui/sim_folder_view.h"
#include "ui/splash_view.h"
#include "ui/station_view.h"
#include "ui/window_view.h"

namespace skyvox::ui {

namespace {

// The drive list of the settings window: the drives as the list shows them, for the scenery library's
// drive letters.
std::vector<std::string> DriveTexts(const std::string& simFolder) {
  std::vector<std::string> texts;
  for (const app::Drive& d : app::ListDrives(simFolder)) texts.push_back(d.Display);
  return texts;
}

}  // namespace

WindowChain::WindowChain(app::ProgramState& state, app::MessageBoxes& boxes, app::InputBoxes& inputs,
                         session::DirectPlayFactory& network, std::string appFolder,
                         std::function<int64_t()> nowMs)
    : state_(state),
      boxes_(boxes),
      inputs_(inputs),
      appFolder_(std::move(appFolder)),
      monitor_(state, std::move(nowMs)),
      tap_(network, monitor_.Sinks()) {}

WindowChain::~WindowChain() {
  // The views go before their controllers; none may outlive the chain.
  delete splashView_;
  delete simFolderView_;
  delete settingsView_;
  delete connectionView_;
  delete stationView_;
}

template <typename View, typename Controller>
void WindowChain::Retire(View*& view, std::shared_ptr<Controller>& controller) {
  if (!view) return;
  if (current_ == view) current_ = nullptr;
  QObject::connect(view, &QObject::destroyed, [keep = std::move(controller)] { (void)keep; });
  view->deleteLater();
  view = nullptr;
}

template <typename View, typename Controller>
void WindowChain::Present(View*& view, std::shared_ptr<Controller>& controller, app::NextWindow kind) {
  Show(view, kind, [this, &view, &controller] {
    const app::NextWindow next = controller->Next();
    Retire(view, controller);
    Open(next);
  });
}

void WindowChain::Start() {
  splash_ = std::make_shared<app::SplashController>(state_, boxes_, appFolder_);
  splashView_ = new SplashView(*splash_);
  Show(splashView_, app::NextWindow::None, [this] {
    const app::NextWindow next = splash_->Next();
    Retire(splashView_, splash_);
    if (next == app::NextWindow::Terminate) {
      End(1);
    } else {
      Open(next);
    }
  });
}

void WindowChain::Show(WindowView* view, app::NextWindow kind, std::function<void()> closed) {
  current_ = view;
  currentKind_ = kind;
  view->Closed = std::move(closed);
  view->show();
}

void WindowChain::Open(app::NextWindow next) {
  switch (next) {
    case app::NextWindow::SimulatorFolder:
      simFolder_ = std::make_shared<app::SimFolderController>(state_, boxes_);
      simFolder_->Load(QDir::homePath().toStdString());
      simFolderView_ = new SimFolderView(*simFolder_, app::ListDrives(QDir::homePath().toStdString()));
      Present(simFolderView_, simFolder_, next);
      return;
    case app::NextWindow::Settings:
      settings_ =
          std::make_shared<app::SettingsController>(state_, boxes_, DriveTexts(state_.World.SimFolder));
      settings_->Load();
      settingsView_ = new SettingsView(*settings_);
      Present(settingsView_, settings_, next);
      return;
    case app::NextWindow::Connection:
      connection_ = std::make_shared<app::ConnectionController>(state_, boxes_, inputs_, tap_);
      connection_->Load();
      connectionView_ = new ConnectionView(*connection_);
      Present(connectionView_, connection_, next);
      return;
    case app::NextWindow::Station:
      station_ = std::make_shared<app::StationController>(state_, boxes_, app::ProgramAtcCycle(state_));
      station_->OpenStation();
      stationView_ = new StationView(*station_, monitor_);
      Present(stationView_, station_, next);
      return;
    case app::NextWindow::Terminate:
    case app::NextWindow::None:
      // A window closed with no window after it: the program has no window left and ends.
      End(0);
      return;
  }
}

void WindowChain::End(int code) {
  if (ended_) return;
  ended_ = true;
  current_ = nullptr;
  currentKind_ = app::NextWindow::None;
  if (Ended) Ended(code);
}

}  // namespace skyvox::ui
