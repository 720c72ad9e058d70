#pragma once

#include <QObject>

class SplashViewTest : public QObject {
  Q_OBJECT
 private slots:
  void ShowsTheLabelAndRunsTheCheckOnItsTick();
};
