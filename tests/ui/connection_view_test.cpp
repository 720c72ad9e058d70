#include "ui/connection_view_test.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "session/loopback.h"
#include "session/messages.h"
#include "ui/connection_view.h"

using namespace skyvox;

namespace {

// What the user reads on a control: a caption, a text, or a list's entries joined by "|".
QString TextOf(QObject* control) {
  QStringList entries;
  if (auto* list = qobject_cast<QListWidget*>(control)) {
    for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
    return entries.join('|');
  }
  return control->property(qobject_cast<QGroupBox*>(control) ? "title" : "text").toString();
}

// Remembers the window's cursor at each box.
struct CursorAtBoxes : app::MessageBoxLog {
  QWidget* window = nullptr;
  std::vector<Qt::CursorShape> cursors;
  void Show(const std::string& title, const std::string& text, app::MessageIcon icon) override {
    cursors.push_back(window->cursor().shape());
    MessageBoxLog::Show(title, text, icon);
  }
};

// The window over the loopback provider, loaded as the chain leaves it, and a simulator hosting on the hub.
struct Fixture {
  Fixture() {
    boxes.window = &view;
    view.Closed = [this] { ++closedReports; };
  }
  void Host(const std::string& password) {
    host.InitializeConnection(session::LoopbackHub::kConnectionAddress);
    host.Open({"Pacific", 0, 8, session::kSessionKeepAlive, "", password}, session::kOpenCreate);
    hostId = host.CreatePlayer("HOST", "Player");
  }
  void Click(const char* list, int row) {
    auto* w = view.findChild<QListWidget*>(list);
    QTest::mouseClick(w->viewport(), Qt::LeftButton, {}, w->visualItemRect(w->item(row)).center());
  }
  void Press(const char* button) { QTest::mouseClick(view.findChild<QPushButton*>(button), Qt::LeftButton); }
  QString Text(const char* name) { return TextOf(view.findChild<QObject*>(name)); }

  std::shared_ptr<session::LoopbackHub> hub = std::make_shared<session::LoopbackHub>();
  session::LoopbackFactory factory{hub};
  session::LoopbackDirectPlay host{hub};
  int32_t hostId = 0;
  app::ProgramState state;
  CursorAtBoxes boxes;
  app::ScriptedInputBoxes inputs;
  app::ConnectionController controller{state, boxes, inputs, factory};
  bool loaded = (controller.Load(), true);  // as the window chain does before it builds the view
  ui::ConnectionView view{controller};
  int closedReports = 0;
};

}  // namespace

void ConnectionViewTest::searchesJoinsAndIsAccepted() {
  Fixture f;
  QCOMPARE(f.view.windowTitle(), QString("Connecting to FS Multiplayer Session"));
  const std::pair<const char*, const char*> shown[] = {
      {"settingsFrame", "Multiplayer Settings"},
      {"sessionsFrame", "List of FS Multiplayer Sessions"},
      {"searchButton", "Search for FS Multiplayer Sessions"},
      {"joinButton", "Join Session"},
      {"closeButton", "Close"},
      {"callsignEdit", "AI_Controller"},
      {"statusLabel", "Disconnected"},
      {"sessionList", ""},
      {"connectionList", "Loopback Connection For DirectPlay"}};
  for (const auto& [name, text] : shown) QCOMPARE(f.Text(name), QString(text));
  QStringList labels;
  for (const QLabel* label : f.view.findChildren<QLabel*>()) labels << label->text();
  for (const char* text :
       {"Type of Connections:", "Type of Connection:", "Callsign:", "Status:", "Avaible Sessions:"})
    QVERIFY2(labels.contains(text), text);

  f.Press("searchButton");  // nothing selected
  QCOMPARE(f.boxes.Shown().at(0).Text, std::string("Please Select one Type of Connection"));
  QCOMPARE(f.boxes.cursors, std::vector<Qt::CursorShape>{Qt::WaitCursor});
  QCOMPARE(f.view.cursor().shape(), Qt::ArrowCursor);

  f.Host("");
  f.Click("connectionList", 0);
  f.Press("searchButton");
  QCOMPARE(f.Text("sessionList"), QString("Pacific (1/8)"));
  QCOMPARE(f.Text("statusLabel"), QString("Done"));
  f.Click("sessionList", 0);
  auto* callsign = f.view.findChild<QLineEdit*>("callsignEdit");
  callsign->clear();
  QTest::keyClicks(callsign, "N42");
  f.Press("joinButton");
  QCOMPARE(f.Text("statusLabel"), QString("First Request Sent"));
  QCOMPARE(f.host.GetPlayerFriendlyName(f.state.Link.OwnPlayerId), std::string("N42"));
  auto* timer = f.view.findChild<QTimer*>("handshakeTimer");
  QVERIFY(timer->isActive() && timer->interval() == 100);

  f.host.Send(f.hostId, f.state.Link.OwnPlayerId, session::kSendGuaranteed,
              session::BuildAnnouncement(session::kPlayerAnnouncement, f.state.Link.OwnPlayerId));
  f.view.HandshakeTick();
  QCOMPARE(f.boxes.Shown().back().Text, std::string("Connected to FS Session!"));
  QVERIFY(!timer->isActive() && f.view.isHidden() && f.closedReports == 1);
  QVERIFY(f.controller.Next() == app::NextWindow::Station);
}

void ConnectionViewTest::aFailedJoinShowsItsCauseAndTheCloseBoxCloses() {
  Fixture f;
  f.Host("secret");
  f.Click("connectionList", 0);
  f.Press("searchButton");
  f.Click("sessionList", 0);
  f.inputs.Script("wrong");
  f.Press("joinButton");
  QCOMPARE(f.boxes.Shown().back().Text, std::string("Failed to Join Game."));
  QCOMPARE(f.Text("statusLabel"), QString("Disconnected"));  // the cause is beside it, not in it
  QVERIFY(!f.controller.Cause().empty());
  QCOMPARE(f.Text("causeLabel").toStdString(), f.controller.Cause());
  f.view.show();
  f.view.close();
  QVERIFY(f.controller.Next() == app::NextWindow::Terminate && f.view.isHidden() && f.closedReports == 1);
}
