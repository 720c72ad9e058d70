// The splash window over a program folder without its terrain file: the label, the timer, and the
// check run by the tick, which ends the program with its message box.
#include "ui/splash_view_test.h"

#include <QLabel>
#include <QtTest>

#include "support/temp_dir.h"
#include "ui/splash_view.h"

using namespace skyvox;

void SplashViewTest::ShowsTheLabelAndRunsTheCheckOnItsTick() {
  testing::TempDir dir;
  app::ProgramState state;
  app::MessageBoxLog boxes;
  app::SplashController controller(state, boxes, dir.Str());
  ui::SplashView view(controller);
  int closed = 0;
  view.Closed = [&] { ++closed; };
  view.show();
  QCOMPARE(view.findChild<QLabel*>("splashLabel")->text(), QString("SKYVOX VERSION 2.0"));
  auto* timer = view.findChild<QTimer*>("splashTimer");
  QVERIFY(timer->isActive());
  QCOMPARE(timer->interval(), 3000);
  view.Tick();
  QVERIFY(!timer->isActive());
  QCOMPARE(closed, 1);
  QVERIFY(view.isHidden());
  QCOMPARE(controller.Next(), app::NextWindow::Terminate);
  QCOMPARE(boxes.Shown().size(), size_t(1));
}
