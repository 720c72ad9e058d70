#pragma once

#include <QObject>

class ConnectionViewTest : public QObject {
  Q_OBJECT
 private slots:
  void searchesJoinsAndIsAccepted();
  void aFailedJoinShowsItsCauseAndTheCloseBoxCloses();
};
