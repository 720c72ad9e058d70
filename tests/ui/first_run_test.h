#pragma once

#include <QObject>

// The whole first run through the windows, from the splash to the station serving a pilot and back.
class FirstRunTest : public QObject {
  Q_OBJECT
 private slots:
  void splashToStationAndBack();
};
