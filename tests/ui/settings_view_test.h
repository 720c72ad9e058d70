#pragma once

#include <QObject>

class SettingsViewTest : public QObject {
  Q_OBJECT
 private slots:
  void FirstRunBuildThenChoosingAirports();
};
