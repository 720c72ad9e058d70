#include "ui/first_run_test.h"

#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QtTest>

#include "app/settings.h"
#include "app/sim_folder.h"
#include "dplay4/network.h"
#include "session/loopback.h"
#include "support/temp_dir.h"
#include "ui/connection_view.h"
#include "ui/station_view.h"
#include "windows/guided_run.h"

using namespace skyvox;

namespace {

bool Shown(const app::MessageBoxLog& boxes, const char* text) {
  for (const app::MessageBoxRecord& b : boxes.Shown()) {
    if (b.Text == text && b.Title == app::kProgramTitle) return true;
  }
  return false;
}

QStringList Entries(QWidget& window, const QString& first) {
  for (QListWidget* list : window.findChildren<QListWidget*>()) {
    QStringList entries;
    for (int row = 0; row < list->count(); ++row) entries << list->item(row)->text();
    if (!entries.isEmpty() && entries.first() == first) return entries;
  }
  return {};
}

}  // namespace

void FirstRunTest::splashToStationAndBack() {
  testing::TempDir work;
  try {
    windows::GuidedRun run(work.Path(), (testing::SourceRoot() / "data").string());
    run.Splash();
    run.SimFolder();
    QVERIFY(Shown(run.Boxes(), app::kConfigCreatedText));
    QVERIFY(Shown(run.Boxes(), app::kFirstRunText));
    run.BuildDatabase();
    QVERIFY(Shown(run.Boxes(), app::kDatabaseCompletedText));
    run.ChooseAirports();

    // Both connections: the real DirectPlay 4 one first, then the in-process loopback one.
    const QStringList connections =
        Entries(*run.Chain().Connection(), QString::fromUtf8(dplay4::kTcpIpConnectionName));
    QCOMPARE(connections, QStringList({QString::fromUtf8(dplay4::kTcpIpConnectionName),
                                       QString::fromUtf8(session::LoopbackHub::kConnectionName)}));
    run.Connect();
    QVERIFY(Shown(run.Boxes(), app::kConnectedText));

    // The pilot at the Olympia gate is offered ground; its choice is heard and answered.
    run.ServePilot();
    const QString transcript = run.TranscriptText();
    QVERIFY2(transcript.contains("N1 <- N1,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6"),
             qPrintable(transcript));
    QVERIFY2(transcript.contains("N1 -> 1"), qPrintable(transcript));
    QTableView* table = run.Chain().Station()->findChild<QTableView*>();
    QVERIFY(table != nullptr);
    QCOMPARE(table->model()->rowCount(), 1);
    QCOMPARE(table->model()->index(0, 0).data().toString(), QString("N1"));

    run.CloseStation();
  } catch (const std::exception& e) {
    QFAIL(e.what());
  }
}
