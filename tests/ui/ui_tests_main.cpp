#include <QApplication>
#include <QtTest>

#include "ui/connection_view_test.h"
#include "ui/first_run_test.h"
#include "ui/settings_view_test.h"
#include "ui/sim_folder_view_test.h"
#include "ui/splash_view_test.h"
#include "ui/station_view_test.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int failed = 0;
  // clang-format off
#define RUN(T) { T t; failed += QTest::qExec(&t, argc, argv); }
  // clang-format on
  RUN(SplashViewTest)
  RUN(SimFolderViewTest)
  RUN(SettingsViewTest)
  RUN(ConnectionViewTest)
  RUN(StationViewTest)
  RUN(FirstRunTest)
  return failed ? 1 : 0;
}
