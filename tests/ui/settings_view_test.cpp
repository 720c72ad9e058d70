// The settings window over a small simulator folder written for the test: the first-run build tick by
// tick with the controls disabled and the progress shown, then the airport list with its completion,
// add, remove, "Next" with an empty list, and the close box.
#include "ui/settings_view_test.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "app/config_file.h"
#include "authoring/bgl_writer.h"
#include "authoring/magdec_writer.h"
#include "support/temp_dir.h"
#include "ui/settings_view.h"

using namespace skyvox;

void SettingsViewTest::FirstRunBuildThenChoosingAirports() {
  testing::TempDir dir;
  const std::string sim = (dir.Path() / "FS2002").string();
  authoring::WriteSceneryFolder(authoring::SyntheticWorld(6, 2, 7), sim,
                                authoring::BuildMagdecBgl(geo::MagVarGrid{}));
  app::ProgramState state;
  std::tie(state.World.AppFolder, state.World.SimFolder, state.World.FirstRun) =
      std::tuple(dir.Str(), sim, true);
  app::WriteConfigFile(dir.Str(), {sim, 0, 0});
  app::MessageBoxLog boxes;
  app::SettingsController controller(state, boxes);
  controller.Load();
  ui::SettingsView view(controller);
  int closed = 0;
  view.Closed = [&] { ++closed; };
  view.show();

  const auto widget = [&](const char* name) { return view.findChild<QWidget*>(name); };
  const auto text = [&](const char* name) { return view.findChild<QLabel*>(name)->text(); };
  QCOMPARE(view.windowTitle(), QString("Settings"));
  QCOMPARE(view.findChild<QGroupBox*>("allAirportsFrame")->title(), QString("All airports of the FS world"));
  QCOMPARE(view.findChild<QGroupBox*>("controlledFrame")->title(), QString("Controlled airports list"));
  QCOMPARE(text("statusCaption") + text("scanningCaption"), QString("Status:Scanning:"));
  auto* airports = view.findChild<QComboBox*>("airportList");
  QCOMPARE(airports->currentText(), QString("[Type and select an airport's ICAO_ID from the list]"));
  QCOMPARE(text("statusLabel"), QString("Processing Please Wait..."));
  for (const char* name :
       {"airportList", "controlledList", "addButton", "removeButton", "nextButton", "exitButton"})
    QVERIFY2(!widget(name)->isEnabled(), name);
  auto* scanTimer = view.findChild<QTimer*>("scanTimer");
  QVERIFY(scanTimer->isActive());
  QVERIFY(view.Progress().isHidden());

  auto* bar = view.findChild<QProgressBar*>("progressBar");
  int most = 0;
  for (int ticks = 0; scanTimer->isActive() && ticks < 100; ++ticks) {
    view.ScanTick();
    most = std::max(most, bar->value());
    if (scanTimer->isActive()) QVERIFY(!view.findChild<QLineEdit*>("statusText")->text().isEmpty());
  }
  QCOMPARE(most, bar->maximum() - 1);  // every file counted; the finish sets the bar back to 0
  QCOMPARE(text("statusLabel"), QString("Done!"));
  QVERIFY(widget("addButton")->isEnabled() && widget("airportList")->isEnabled());
  QVERIFY(airports->count() >= 5 && size_t(airports->count()) == controller.AirportList().size());

  QTest::mouseClick(view.findChild<QPushButton*>("nextButton"), Qt::LeftButton);  // empty list: nothing
  QVERIFY(!view.findChild<QTimer*>("waitForCloseTimer")->isActive());

  const QString wanted = QString::fromStdString(controller.AirportList()[4]);
  airports->lineEdit()->clear();
  QTest::keyClicks(airports->lineEdit(), wanted.left(3).toLower());
  QCOMPARE(QString::fromStdString(controller.AirportListText()), wanted.left(3).toLower());
  QCompleter* completer = airports->completer();
  QVERIFY(completer->popup()->isVisible());
  const QModelIndexList picks = completer->completionModel()->match(
      completer->completionModel()->index(0, 0), Qt::DisplayRole, wanted, 1, Qt::MatchExactly);
  QCOMPARE(picks.size(), 1);
  completer->popup()->setCurrentIndex(picks[0]);
  QTest::keyClick(completer->popup(), Qt::Key_Return);
  QCOMPARE(controller.AirportListIndex(), 4);

  auto* controlled = view.findChild<QComboBox*>("controlledList");
  QTest::mouseClick(view.findChild<QPushButton*>("addButton"), Qt::LeftButton);
  QCOMPARE(controlled->count(), 1);
  QCOMPARE(controlled->itemText(0), wanted);
  QCOMPARE(controlled->placeholderText(), QString("(1 airport: open the list)"));
  QCOMPARE(airports->currentText(), QString());
  emit controlled->activated(0);
  QTest::mouseClick(view.findChild<QPushButton*>("removeButton"), Qt::LeftButton);
  QCOMPARE(controlled->count(), 0);

  view.close();
  QCOMPARE(closed, 1);
  QCOMPARE(controller.Next(), app::NextWindow::Terminate);
}
