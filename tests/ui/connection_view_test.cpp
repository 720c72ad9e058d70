#include "ui/connection_view_test.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "session/loopback.h"
#include "session/messages.h"
#include "ui/connection_view.h"

using namespace skyvox;

namespace {

QStringList Entries(const QListWidget& list) {
  QStringList entries;
  for (int i = 0; i < list.count(); ++i) entries << list.item(i)->text();
  return entries;
}

// Remembers the window's cursor at each box, as the user sees it while the box is up.
struct CursorAtBoxes : app::MessageBoxLog {
  QWidget* window = nullptr;
  std::vector<Qt::CursorShape> cursors;
  void Show(const std::string& title, const std::string& text, app::MessageIcon icon) override {
    cursors.push_back(window->cursor().shape());
    MessageBoxLog::Show(title, text, icon);
  }
};

// The connection window over the loopback provider, loaded as the window chain leaves it, and a
// simulator that hosts sessions on the same hub.
struct Fixture {
  Fixture() {
    host.InitializeConnection(session::LoopbackHub::kConnectionAddress);
    boxes.window = &view;
    view.Closed = [this] { ++closedReports; };
  }
  void Host(const std::string& name, const std::string& password = "") {
    host.Open({name, 0, 8, session::kSessionKeepAlive, "", password}, session::kOpenCreate);
    hostId = host.CreatePlayer("HOST", "Player");
  }
  // Picks the connection and searches, by clicks.
  void Search() {
    auto* list = view.findChild<QListWidget*>("connectionList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(view.findChild<QPushButton*>("searchButton"), Qt::LeftButton);
  }
  template <typename T>
  T* Child(const char* name) {
    return view.findChild<T*>(name);
  }

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

void ConnectionViewTest::showsTheWindowAsFirstShown() {
  Fixture f;
  QCOMPARE(f.view.windowTitle(), QString("Connecting to FS Multiplayer Session"));
  QCOMPARE(f.Child<QGroupBox>("settingsFrame")->title(), QString("Multiplayer Settings"));
  QCOMPARE(f.Child<QGroupBox>("sessionsFrame")->title(), QString("List of FS Multiplayer Sessions"));
  QStringList labels;
  for (const QLabel* label : f.view.findChildren<QLabel*>()) labels << label->text();
  for (const char* text :
       {"Type of Connections:", "Type of Connection:", "Callsign:", "Status:", "Avaible Sessions:"})
    QVERIFY2(labels.contains(text), text);
  QCOMPARE(f.Child<QPushButton>("searchButton")->text(), QString("Search for FS Multiplayer Sessions"));
  QCOMPARE(f.Child<QPushButton>("joinButton")->text(), QString("Join Session"));
  QCOMPARE(f.Child<QPushButton>("closeButton")->text(), QString("Close"));
  QCOMPARE(f.Child<QLineEdit>("callsignEdit")->text(), QString("AI_Controller"));
  QCOMPARE(f.Child<QLabel>("statusLabel")->text(), QString("Disconnected"));
  QCOMPARE(Entries(*f.Child<QListWidget>("connectionList")),
           QStringList{"Loopback Connection For DirectPlay"});
  QCOMPARE(f.Child<QListWidget>("sessionList")->count(), 0);
  QCOMPARE(f.Child<QTimer>("handshakeTimer")->interval(), 100);
  QVERIFY(!f.Child<QTimer>("handshakeTimer")->isActive());
}

void ConnectionViewTest::searchingWithNoConnectionSelectedShowsTheBoxUnderAWaitCursor() {
  Fixture f;
  f.Host("Pacific");
  QTest::mouseClick(f.Child<QPushButton>("searchButton"), Qt::LeftButton);
  QCOMPARE(f.boxes.Shown().size(), size_t{1});
  QCOMPARE(f.boxes.Shown()[0].Text, std::string("Please Select one Type of Connection"));
  QCOMPARE(f.boxes.cursors, std::vector<Qt::CursorShape>{Qt::WaitCursor});
  QCOMPARE(f.view.cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(f.Child<QListWidget>("sessionList")->count(), 0);
}

void ConnectionViewTest::aHostedSessionIsFoundJoinedAndAcceptedByTheHost() {
  Fixture f;
  f.Host("Pacific");
  f.Search();
  QCOMPARE(f.controller.ConnectionIndex(), 0);
  auto* sessions = f.Child<QListWidget>("sessionList");
  QCOMPARE(Entries(*sessions), QStringList{"Pacific (1/8)"});
  QCOMPARE(f.Child<QLabel>("statusLabel")->text(), QString("Done"));

  QTest::mouseClick(sessions->viewport(), Qt::LeftButton, {},
                    sessions->visualItemRect(sessions->item(0)).center());
  auto* callsign = f.Child<QLineEdit>("callsignEdit");
  callsign->clear();
  QTest::keyClicks(callsign, "N42");
  QCOMPARE(f.controller.Callsign(), std::string("N42"));
  QTest::mouseClick(f.Child<QPushButton>("joinButton"), Qt::LeftButton);
  QCOMPARE(f.Child<QLabel>("statusLabel")->text(), QString("First Request Sent"));
  QVERIFY(f.Child<QTimer>("handshakeTimer")->isActive());
  QCOMPARE(f.host.GetPlayerFriendlyName(f.state.Link.OwnPlayerId), std::string("N42"));

  f.host.Send(f.hostId, f.state.Link.OwnPlayerId, session::kSendGuaranteed,
              session::BuildAnnouncement(session::kPlayerAnnouncement, f.state.Link.OwnPlayerId));
  f.view.HandshakeTick();
  QCOMPARE(f.boxes.Shown().back().Text, std::string("Connected to FS Session!"));
  QVERIFY(!f.Child<QTimer>("handshakeTimer")->isActive());
  QVERIFY(f.view.isHidden());
  QCOMPARE(f.closedReports, 1);
  QVERIFY(f.controller.Next() == app::NextWindow::Station);
}

void ConnectionViewTest::aFailedJoinShowsItsCauseInTheStatusBar() {
  Fixture f;
  f.Host("Locked", "secret");
  f.Search();
  f.inputs.Script("wrong");
  auto* sessions = f.Child<QListWidget>("sessionList");
  sessions->setCurrentRow(0);
  QTest::mouseClick(f.Child<QPushButton>("joinButton"), Qt::LeftButton);
  QCOMPARE(f.boxes.Shown().back().Text, std::string("Failed to Join Game."));
  QCOMPARE(f.Child<QLabel>("statusLabel")->text(), QString("Disconnected"));
  QVERIFY(!f.controller.Cause().empty());
  QCOMPARE(f.view.statusBar()->currentMessage().toStdString(), f.controller.Cause());
  f.Search();  // a new search clears it
  QCOMPARE(f.view.statusBar()->currentMessage(), QString());
}

void ConnectionViewTest::theCloseButtonAndTheCloseBoxCloseTheWindow_data() {
  QTest::addColumn<bool>("byButton");
  QTest::addColumn<int>("next");
  QTest::newRow("Close") << true << int(app::NextWindow::Terminate);
  QTest::newRow("close box") << false << int(app::NextWindow::Terminate);
}

void ConnectionViewTest::theCloseButtonAndTheCloseBoxCloseTheWindow() {
  QFETCH(bool, byButton);
  QFETCH(int, next);
  Fixture f;
  f.view.show();
  if (byButton) {
    QTest::mouseClick(f.Child<QPushButton>("closeButton"), Qt::LeftButton);
  } else {
    f.view.close();
  }
  QVERIFY(!f.controller.IsOpen());
  QCOMPARE(int(f.controller.Next()), next);
  QVERIFY(f.view.isHidden());
  QCOMPARE(f.closedReports, 1);
}
