#include "ui/station_view_test.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

#include "session/chat_tap.h"
#include "session/forwarding_directplay.h"
#include "session/loopback.h"
#include "session/messages.h"
#include "ui/station_view.h"

using namespace skyvox;

namespace {

// The station's DirectPlay object, reading the status label when the station leaves the session.
struct LeaveWatch : session::ForwardingDirectPlay {
  LeaveWatch(std::unique_ptr<session::DirectPlay> inner, QString& label, const QLabel* const& shown)
      : ForwardingDirectPlay(std::move(inner)), label_(label), shown_(shown) {}
  void DestroyPlayer(int32_t id) override {
    label_ = shown_->text();
    ForwardingDirectPlay::DestroyPlayer(id);
  }
  QString& label_;
  const QLabel* const& shown_;
};

// The station in a host's session through the chat tap that feeds the monitor, its window open.
struct Fixture {
  Fixture() {
    session::SessionLink& link = state.Link;
    link.Dp = std::make_unique<LeaveWatch>(tap.Create(), labelAtLeave, label);
    link.SessionInstanceId = Join(*link.Dp, "AI_Controller", link.OwnPlayerId);
    controller.OpenStation();
    view = std::make_unique<ui::StationView>(controller, monitor);
    label = view->findChild<QLabel*>("statusLabel");
    view->Closed = [this] { ++closedReports; };
  }
  // Hosts the session, or joins it.
  std::string Join(session::DirectPlay& dp, const std::string& name, int32_t& id) {
    dp.InitializeConnection(session::LoopbackHub::kConnectionAddress);
    dp.Open({"Pacific", 0, 8, 0, instance, ""}, instance.empty() ? session::kOpenCreate : session::kOpenJoin);
    id = dp.CreatePlayer(name, "Player");
    return instance = dp.CurrentSession().InstanceId;
  }
  // A pilot joins and announces itself; the receive loop takes it into the roster.
  int32_t PilotAnnounces(const std::string& name) {
    int32_t id = 0;
    auto& pilot = *endpoints.emplace_back(std::make_unique<session::LoopbackDirectPlay>(hub));
    Join(pilot, name, id);
    pilot.Send(id, state.Link.OwnPlayerId, 1, session::BuildAnnouncement(session::kPlayerAnnouncement, id));
    view->ConnectionTick();
    return id;
  }
  template <typename T>
  T* Child(const char* name) {
    return view->findChild<T*>(name);
  }
  void Press(const char* button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
  void ExpectControls(const char* text, bool monitoring) {
    QCOMPARE(label->text(), QString(text));
    QCOMPARE(label->palette().color(QPalette::WindowText),
             monitoring ? QColor(0x80, 0, 0) : QColor(0, 0x80, 0));
    auto* lamps = Child<ui::LampPanel>("lampPanel");
    QCOMPARE(std::pair(lamps->RedFillStyle(), lamps->GreenFillStyle()),
             monitoring ? std::pair(0, 7) : std::pair(7, 0));
    QCOMPARE(Child<QPushButton>("startButton")->isEnabled(), !monitoring);
    QCOMPARE(Child<QPushButton>("stopButton")->isEnabled(), monitoring);
    QCOMPARE(Child<QTimer>("atcTimer")->isActive(), monitoring);
  }
  QStringList Transcript() { return Child<QPlainTextEdit>("transcript")->toPlainText().split('\n'); }

  std::shared_ptr<session::LoopbackHub> hub = std::make_shared<session::LoopbackHub>();
  session::LoopbackFactory loopback{hub};
  std::string instance;
  session::LoopbackDirectPlay host{hub};
  int32_t hostId = 0;
  bool hosted = (Join(host, "HOST", hostId), true);
  std::vector<std::unique_ptr<session::LoopbackDirectPlay>> endpoints;
  app::ProgramState state;
  int64_t nowMs = 1000;
  app::StationMonitor monitor{state, [this] { return nowMs; }};
  session::ChatTapFactory tap{loopback, monitor.Sinks()};
  app::MessageBoxLog boxes;
  app::StationController controller{state, boxes, [] {}};
  std::unique_ptr<ui::StationView> view;
  const QLabel* label = nullptr;
  QString labelAtLeave;
  int closedReports = 0;
};

}  // namespace

void StationViewTest::opensListeningAndStartAndStopToggle() {
  Fixture f;
  QCOMPARE(f.view->windowTitle(), QString("ATC Station Window"));
  QCOMPARE(f.Child<QPushButton>("startButton")->text(), QString("Start Monitoring Traffic"));
  QCOMPARE(f.Child<QPushButton>("stopButton")->text(), QString("Stop Monitoring Traffic"));
  QCOMPARE(f.Child<QPushButton>("closeButton")->text(), QString("Close the ATC Station"));
  QVERIFY(f.label->font().bold() && f.Child<QPushButton>("closeButton")->isEnabled());
  QCOMPARE(f.Child<QTimer>("atcTimer")->interval(), 500);
  QCOMPARE(f.Child<QTimer>("connectionTimer")->interval(), 100);
  QCOMPARE(f.Child<QTimer>("refreshTimer")->interval(), 30000);
  QVERIFY(f.Child<QTimer>("connectionTimer")->isActive() && f.Child<QTimer>("refreshTimer")->isActive());
  for (int round = 0; round < 2; ++round) {
    f.ExpectControls("NOT MONITORING TRAFFIC", false);
    f.Press("startButton");
    f.ExpectControls("MONITORING TRAFFIC", true);
    f.Press("stopButton");
  }
}

void StationViewTest::closingEndsWithTheSettingsWindowAndAnEmptyRoster_data() {
  QTest::addColumn<bool>("byButton");
  QTest::newRow("Close the ATC Station") << true;
  QTest::newRow("close box") << false;
}

void StationViewTest::closingEndsWithTheSettingsWindowAndAnEmptyRoster() {
  QFETCH(bool, byButton);
  Fixture f;
  f.PilotAnnounces("N123");
  f.view->show();
  f.Press("startButton");
  byButton ? f.Press("closeButton") : void(f.view->close());
  QCOMPARE(f.labelAtLeave, QString("PLEASE WAIT..."));  // shown before the work started
  QVERIFY(f.controller.Next() == app::NextWindow::Settings && f.state.Link.PlayerCount == 0);
  QCOMPARE(f.Child<QTableView>("trafficTable")->model()->rowCount(), 0);
  QVERIFY(f.view->isHidden() && f.closedReports == 1);
  for (const char* timer : {"atcTimer", "connectionTimer", "refreshTimer"})
    QVERIFY(!f.Child<QTimer>(timer)->isActive());
}

void StationViewTest::theTableAndTheFilteredTranscriptFollowTheSession() {
  Fixture f;
  const int32_t n123 = f.PilotAnnounces("N123"), n456 = f.PilotAnnounces("N456");
  auto* table = f.Child<QTableView>("trafficTable");
  QAbstractItemModel* model = table->model();
  QCOMPARE(model->headerData(9, Qt::Horizontal).toString(), QString("Last line sent"));
  QCOMPARE(model->index(1, 0).data().toString(), QString("N456"));
  table->selectRow(1);
  f.PilotAnnounces("N789");

  session::ChatSinks sinks = f.monitor.Sinks();
  sinks.Received(n123, f.state.Link.OwnPlayerId, "ready to taxi");
  f.nowMs += 2500;
  session::SendChatLine(f.state.Link, "N123, taxi to runway 16L via Alpha, hold short of runway 16R", n456);
  sinks.Sent(n456, "N456, hold position");
  f.view->ConnectionTick();
  QCOMPARE(model->index(1, 9).data(Qt::ToolTipRole).toString(), QString("N456, hold position"));
  QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 1);  // kept across the refreshes
  const QStringList all{
      "[   0.0] N123 -> ready to taxi",
      "[   2.5] N456 (copy) <- N123, taxi to runway 16L via Alpha, hold short of runway 16R",
      "[   2.5] N456 <- N456, hold position"};
  QCOMPARE(f.Transcript(), all);
  const QTextDocument* doc = f.Child<QPlainTextEdit>("transcript")->document();
  QVERIFY(doc->findBlockByNumber(0).charFormat().foreground() !=
          doc->findBlockByNumber(2).charFormat().foreground());

  auto* filter = f.Child<QComboBox>("pilotFilter");
  QCOMPARE(filter->itemText(0), QString("All pilots"));
  filter->setCurrentIndex(filter->findText("N123"));
  sinks.Sent(n456, "N456, contact tower");
  sinks.Sent(n123, "N123, contact tower");
  f.view->AtcTick();
  QCOMPARE(f.Transcript(), (QStringList{all[0], all[1], "[   2.5] N123 <- N123, contact tower"}));
  filter->setCurrentIndex(0);
  QCOMPARE(f.Transcript().size(), 5);
}
