#include "windows/guided_run.h"

#include <QApplication>
#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <stdexcept>

#include "app/sim_folder.h"
#include "app/startup.h"
#include "base/text.h"
#include "make_scenery.h"
#include "scenery/database_files.h"
#include "ui/connection_view.h"
#include "ui/settings_view.h"
#include "ui/sim_folder_view.h"
#include "ui/splash_view.h"
#include "ui/station_view.h"

namespace skyvox::windows {

namespace fs = std::filesystem;

namespace {

QPushButton* Button(QWidget& window, const char* caption) {
  for (QPushButton* b : window.findChildren<QPushButton*>()) {
    if (b->text() == QString::fromUtf8(caption)) return b;
  }
  throw std::runtime_error(std::string("no button \"") + caption + "\" in " +
                           window.windowTitle().toStdString());
}

void Click(QWidget& window, const char* caption) {
  QPushButton* b = Button(window, caption);
  if (!b->isEnabled()) throw std::runtime_error(std::string("the button \"") + caption + "\" is disabled");
  QTest::mouseClick(b, Qt::LeftButton);
}

// The list widget holding an entry that starts with `text`, and that entry's row.
std::pair<QListWidget*, int> ListEntry(QWidget& window, const QString& text) {
  for (QListWidget* list : window.findChildren<QListWidget*>()) {
    for (int row = 0; row < list->count(); ++row) {
      if (list->item(row)->text().startsWith(text)) return {list, row};
    }
  }
  throw std::runtime_error("no list entry \"" + text.toStdString() + "\" in " +
                           window.windowTitle().toStdString());
}

void ClickEntry(QWidget& window, const QString& text) {
  const auto [list, row] = ListEntry(window, text);
  list->scrollToItem(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void Settle() {
  QApplication::processEvents();
}

}  // namespace

GuidedRun::GuidedRun(const fs::path& work, const fs::path& dataFolder)
    : appFolder_(work / "Skyvox"),
      simFolder_(work / "FS2002"),
      hub_(std::make_shared<session::LoopbackHub>(7)),
      loopback_(hub_),
      network_(dplay4::NetworkOptions{}),
      providers_({&network_, &loopback_}) {
  state_.DataFolder = dataFolder;
  fs::create_directories(appFolder_);
  fs::copy_file(dataFolder / scenery::kTerrainFileName, appFolder_ / scenery::kTerrainFileName,
                fs::copy_options::overwrite_existing);
  if (tools::MakeScenery((dataFolder / "sample_world.txt").string(), 0, 1, 0, 2025.0, simFolder_.string(),
                         dataFolder.string()) != 0) {
    throw std::runtime_error("the sample simulator folder could not be written");
  }
  chain_ = std::make_unique<ui::WindowChain>(state_, boxes_, inputs_, providers_, appFolder_.string(),
                                             [this] { return nowMs_; });
}

GuidedRun::~GuidedRun() = default;

void GuidedRun::Expect(bool condition, const std::string& what) const {
  if (!condition) throw std::runtime_error(what);
}

void GuidedRun::Run() {
  Splash();
  SimFolder();
  BuildDatabase();
  ChooseAirports();
  Connect();
  ServePilot();
  CloseStation();
}

void GuidedRun::Splash() {
  chain_->Start();
  Settle();
  Expect(chain_->Splash() != nullptr, "the splash window did not open");
  if (AtWindow) AtWindow("splash", *chain_->Splash());
  chain_->Splash()->Tick();
  Expect(chain_->CurrentWindow() == app::NextWindow::SimulatorFolder,
         "the first run did not open the simulator-folder window");
}

void GuidedRun::SimFolder() {
  ui::SimFolderView& view = *chain_->SimFolder();
  // The user picks the folder in the folder list (typing a path letter by letter meets the text box's
  // drive-root rule at the third character).
  QTreeView* folders = view.findChild<QTreeView*>();
  auto* model = folders ? qobject_cast<QFileSystemModel*>(folders->model()) : nullptr;
  Expect(model != nullptr, "the simulator-folder window has no folder list");
  folders->setCurrentIndex(model->index(QString::fromStdString(simFolder_.string())));
  Expect(chain_->SimFolder()->findChild<QLineEdit*>()->text() == QString::fromStdString(simFolder_.string()),
         "the chosen folder is not in the path box");
  Settle();
  if (AtWindow) AtWindow("sim_folder", view);
  Click(view, app::kSimFolderButton);
  Expect(chain_->CurrentWindow() == app::NextWindow::Settings,
         "\"" + std::string(app::kSimFolderButton) + "\" did not open the settings window");
}

void GuidedRun::BuildDatabase() {
  ui::SettingsView& view = *chain_->Settings();
  app::SettingsController& settings = *chain_->SettingsControl();
  for (int tick = 0; settings.ScanTimerEnabled(); ++tick) {
    Expect(tick < 100000, "the database build did not finish");
    view.ScanTick();
    if (tick == 2 && AtWindow) AtWindow("settings_building", view);
  }
  Expect(settings.StatusLabel() == app::kStatusDone, "the build did not end with \"Done!\"");
}

void GuidedRun::ChooseAirports() {
  ui::SettingsView& view = *chain_->Settings();
  app::SettingsController& settings = *chain_->SettingsControl();
  QComboBox* airports = nullptr;
  for (QComboBox* c : view.findChildren<QComboBox*>()) {
    if (c->isEditable()) airports = c;
  }
  Expect(airports != nullptr, "the settings window has no airport list");
  const int index = airports->findText("KOLM - ", Qt::MatchStartsWith);
  Expect(index >= 0, "KOLM is not in the airport list");
  airports->lineEdit()->selectAll();
  QTest::keyClicks(airports->lineEdit(), "KOL");
  airports->setCurrentIndex(index);
  emit airports->activated(index);
  Settle();
  Click(view, app::kAddButton);
  Expect(settings.ControlledList().size() == 1, "\"Add\" did not put KOLM on the controlled list");
  if (AtWindow) AtWindow("settings", view);
  Click(view, app::kNextButton);
  Expect(settings.WaitForCloseEnabled(), "\"Next\" did not load the controlled airports");
  view.WaitForCloseTick();
  Expect(chain_->CurrentWindow() == app::NextWindow::Connection, "the connection window did not open");
}

void GuidedRun::Connect() {
  host_ = std::make_unique<sim::SimulatedHost>(loopback_.Create(), "HOST", nullptr);
  host_->Host(kSessionName, "", 8);
  ui::ConnectionView& view = *chain_->Connection();
  ClickEntry(view, QString::fromUtf8(session::LoopbackHub::kConnectionName));
  Click(view, app::kSearchButton);
  Settle();
  if (AtWindow) AtWindow("connection", view);
  ClickEntry(view, QString::fromUtf8(kSessionName));
  Click(view, app::kJoinButton);
  for (int tick = 0; chain_->CurrentWindow() == app::NextWindow::Connection; ++tick) {
    Expect(tick < 100 && chain_->Connection() != nullptr, "the join was not accepted");
    host_->Tick(static_cast<double>(nowMs_) / 1000.0);
    chain_->Connection()->HandshakeTick();
    nowMs_ += app::ConnectionController::kHandshakeIntervalMs;
  }
  Expect(chain_->CurrentWindow() == app::NextWindow::Station, "the station window did not open");
}

void GuidedRun::Advance(int steps) {
  for (int i = 0; i < steps && chain_->Station(); ++i) {
    nowMs_ += app::StationController::kConnectionIntervalMs;
    const double now = static_cast<double>(nowMs_) / 1000.0;
    host_->Tick(now);
    if (pilot_) pilot_->Tick(now);
    chain_->Station()->ConnectionTick();
    if (!chain_->Station()) return;
    if (nowMs_ % app::StationController::kAtcIntervalMs == 0) chain_->Station()->AtcTick();
    if (nowMs_ % 3000 == 0) chain_->Station()->RefreshTick();
  }
  Settle();
}

void GuidedRun::ServePilot() {
  pilot_ = std::make_unique<sim::SimulatedPilot>(loopback_.Create(), kPilot, nullptr);
  pilot_->Join(host_->InstanceId(), "");
  // At the Olympia gate, on the ground.
  pilot_->SetPosition({46.969837, -122.906598, 209, 90, 0.0});
  Advance(10);
  Click(*chain_->Station(), app::kStartMonitoringButton);
  Advance(30);
  pilot_->Say("1");
  Advance(30);
  if (AtWindow) AtWindow("station", *chain_->Station());
}

void GuidedRun::CloseStation() {
  Click(*chain_->Station(), app::kCloseStationButton);
  Settle();
  Expect(chain_->CurrentWindow() == app::NextWindow::Settings, "closing the station did not show Settings");
  Expect(state_.Link.PlayerCount == 0, "the roster was not emptied");
}

QString GuidedRun::TranscriptText() const {
  if (!chain_->Station()) return {};
  QString text;
  for (QPlainTextEdit* e : chain_->Station()->findChildren<QPlainTextEdit*>()) text += e->toPlainText();
  return text;
}

}  // namespace skyvox::windows
