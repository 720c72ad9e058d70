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

// The station's DirectPlay object, telling the test when the station leaves the session.
class LeaveWatch : public session::ForwardingDirectPlay {
 public:
  LeaveWatch(std::unique_ptr<session::DirectPlay> inner, std::function<void()> onLeave)
      : ForwardingDirectPlay(std::move(inner)), onLeave_(std::move(onLeave)) {}
  void DestroyPlayer(int32_t id) override {
    onLeave_();
    ForwardingDirectPlay::DestroyPlayer(id);
  }

 private:
  std::function<void()> onLeave_;
};

// The station joined to a host's session on the loopback hub through the chat tap that feeds the
// monitor, its window open.
struct Fixture {
  Fixture() {
    host.InitializeConnection(session::LoopbackHub::kConnectionAddress);
    host.Open({"Pacific", 0, 8, 0, "", ""}, session::kOpenCreate);
    host.CreatePlayer("HOST", "Player");
    session::SessionLink& link = state.Link;
    link.Dp = std::make_unique<LeaveWatch>(tap.Create(), [this] { labelAtLeave = Label()->text(); });
    link.Dp->InitializeConnection(session::LoopbackHub::kConnectionAddress);
    link.SessionInstanceId = host.CurrentSession().InstanceId;
    link.Dp->Open({"", 0, 0, 0, link.SessionInstanceId, ""}, session::kOpenJoin);
    link.OwnPlayerId = link.Dp->CreatePlayer("AI_Controller", "Player");
    controller.OpenStation();
    view = std::make_unique<ui::StationView>(controller, monitor);
    view->Closed = [this] { ++closedReports; };
  }
  // A pilot joins and announces itself; the receive loop takes it into the roster.
  int32_t PilotAnnounces(const std::string& name) {
    auto& pilot = pilots.emplace_back(std::make_unique<session::LoopbackDirectPlay>(hub));
    pilot->InitializeConnection(session::LoopbackHub::kConnectionAddress);
    pilot->Open({"", 0, 0, 0, state.Link.SessionInstanceId, ""}, session::kOpenJoin);
    const int32_t id = pilot->CreatePlayer(name, "Player");
    pilot->Send(id, state.Link.OwnPlayerId, session::kSendGuaranteed,
                session::BuildAnnouncement(session::kPlayerAnnouncement, id));
    view->ConnectionTick();
    return id;
  }
  template <typename T>
  T* Child(const char* name) {
    return view->findChild<T*>(name);
  }
  QLabel* Label() { return Child<QLabel>("statusLabel"); }
  void ExpectControls(const char* text, bool monitoring) {
    QCOMPARE(Label()->text(), QString(text));
    QCOMPARE(Label()->palette().color(QPalette::WindowText),
             monitoring ? QColor(0x80, 0, 0) : QColor(0, 0x80, 0));
    QCOMPARE(Child<ui::LampPanel>("lampPanel")->RedFillStyle(), monitoring ? 0 : 7);
    QCOMPARE(Child<ui::LampPanel>("lampPanel")->GreenFillStyle(), monitoring ? 7 : 0);
    QCOMPARE(Child<QPushButton>("startButton")->isEnabled(), !monitoring);
    QCOMPARE(Child<QPushButton>("stopButton")->isEnabled(), monitoring);
    QVERIFY(Child<QPushButton>("closeButton")->isEnabled());
    QCOMPARE(Child<QTimer>("atcTimer")->isActive(), monitoring);
  }
  QStringList TranscriptLines() { return Child<QPlainTextEdit>("transcript")->toPlainText().split('\n'); }

  std::shared_ptr<session::LoopbackHub> hub = std::make_shared<session::LoopbackHub>();
  session::LoopbackFactory loopback{hub};
  session::LoopbackDirectPlay host{hub};
  std::vector<std::unique_ptr<session::LoopbackDirectPlay>> pilots;
  app::ProgramState state;
  int64_t nowMs = 1000;
  app::StationMonitor monitor{state, [this] { return nowMs; }};
  session::ChatTapFactory tap{loopback, monitor.Sinks()};
  app::MessageBoxLog boxes;
  app::StationController controller{state, boxes, [] {}};
  std::unique_ptr<ui::StationView> view;
  QString labelAtLeave;
  int closedReports = 0;
};

}  // namespace

void StationViewTest::opensListeningWithStopDisabled() {
  Fixture f;
  QCOMPARE(f.view->windowTitle(), QString("ATC Station Window"));
  QCOMPARE(f.Child<QPushButton>("startButton")->text(), QString("Start Monitoring Traffic"));
  QCOMPARE(f.Child<QPushButton>("stopButton")->text(), QString("Stop Monitoring Traffic"));
  QCOMPARE(f.Child<QPushButton>("closeButton")->text(), QString("Close the ATC Station"));
  QVERIFY(f.Label()->font().bold());
  f.ExpectControls("NOT MONITORING TRAFFIC", false);
  QCOMPARE(f.Child<QTimer>("atcTimer")->interval(), 500);
  QCOMPARE(f.Child<QTimer>("connectionTimer")->interval(), 100);
  QCOMPARE(f.Child<QTimer>("refreshTimer")->interval(), 30000);
  QVERIFY(f.Child<QTimer>("connectionTimer")->isActive() && f.Child<QTimer>("refreshTimer")->isActive());
}

void StationViewTest::startAndStopToggleTheLampsButtonsAndAtcTimer() {
  Fixture f;
  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(f.Child<QPushButton>("startButton"), Qt::LeftButton);
    f.ExpectControls("MONITORING TRAFFIC", true);
    QTest::mouseClick(f.Child<QPushButton>("stopButton"), Qt::LeftButton);
    f.ExpectControls("NOT MONITORING TRAFFIC", false);
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
  QCOMPARE(f.state.Link.PlayerCount, int16_t{1});
  f.view->show();
  QTest::mouseClick(f.Child<QPushButton>("startButton"), Qt::LeftButton);
  if (byButton) {
    QTest::mouseClick(f.Child<QPushButton>("closeButton"), Qt::LeftButton);
  } else {
    f.view->close();
  }
  QCOMPARE(f.labelAtLeave, QString("PLEASE WAIT..."));  // shown before the work started
  QVERIFY(f.controller.Next() == app::NextWindow::Settings);
  QCOMPARE(f.state.Link.PlayerCount, int16_t{0});
  QCOMPARE(f.Child<QTableView>("trafficTable")->model()->rowCount(), 0);
  QVERIFY(f.view->isHidden());
  QCOMPARE(f.closedReports, 1);
  for (const char* timer : {"atcTimer", "connectionTimer", "refreshTimer"})
    QVERIFY(!f.Child<QTimer>(timer)->isActive());
}

void StationViewTest::theTableShowsTheParticipantsAndKeepsTheSelection() {
  Fixture f;
  const int32_t pilot = f.PilotAnnounces("N123");
  f.PilotAnnounces("N456");
  auto* table = f.Child<QTableView>("trafficTable");
  QAbstractItemModel* model = table->model();
  QCOMPARE(model->rowCount(), 2);
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Name"));
  QCOMPARE(model->headerData(9, Qt::Horizontal).toString(), QString("Last line sent"));
  QCOMPARE(model->index(1, 0).data().toString(), QString("N456"));
  table->selectRow(1);

  const std::string line = "N123, taxi to runway 16L via Alpha, Bravo and Charlie, hold short of runway 16R";
  session::SendChatLine(f.state.Link, line, pilot);
  f.view->AtcTick();
  QCOMPARE(model->index(0, 9).data(Qt::ToolTipRole).toString(), QString::fromStdString(line));
  QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 1);
}

void StationViewTest::theTranscriptAppendsAndFiltersByPilot() {
  Fixture f;
  const int32_t n123 = f.PilotAnnounces("N123");
  const int32_t n456 = f.PilotAnnounces("N456");
  session::ChatSinks sinks = f.monitor.Sinks();
  sinks.Received(n123, f.state.Link.OwnPlayerId, "ready to taxi");
  f.nowMs += 2500;
  sinks.Sent(n456, "N123, taxi to runway 16L");  // N456 asked for copies
  sinks.Sent(n456, "N456, hold position");
  f.view->ConnectionTick();
  const QStringList all{"[   0.0] N123 -> ready to taxi", "[   2.5] N456 (copy) <- N123, taxi to runway 16L",
                        "[   2.5] N456 <- N456, hold position"};
  QCOMPARE(f.TranscriptLines(), all);
  const QTextDocument* doc = f.Child<QPlainTextEdit>("transcript")->document();
  QVERIFY(doc->findBlockByNumber(0).charFormat().foreground() !=
          doc->findBlockByNumber(2).charFormat().foreground());

  auto* filter = f.Child<QComboBox>("pilotFilter");
  QCOMPARE(filter->count(), 3);
  QCOMPARE(filter->itemText(0), QString("All pilots"));
  filter->setCurrentIndex(filter->findText("N123"));
  QCOMPARE(f.TranscriptLines(), (QStringList{all[0], all[1]}));
  sinks.Sent(n456, "N456, contact tower");
  sinks.Sent(n123, "N123, contact tower");
  f.view->AtcTick();
  QCOMPARE(f.TranscriptLines(), (QStringList{all[0], all[1], "[   2.5] N123 <- N123, contact tower"}));
  filter->setCurrentIndex(0);
  QCOMPARE(f.TranscriptLines().size(), 5);
}
