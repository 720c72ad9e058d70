#pragma once

#include <QObject>

class ConnectionViewTest : public QObject {
  Q_OBJECT
 private slots:
  void showsTheWindowAsFirstShown();
  void searchingWithNoConnectionSelectedShowsTheBoxUnderAWaitCursor();
  void aHostedSessionIsFoundJoinedAndAcceptedByTheHost();
  void aFailedJoinShowsItsCauseInTheStatusBar();
  void theCloseButtonAndTheCloseBoxCloseTheWindow_data();
  void theCloseButtonAndTheCloseBoxCloseTheWindow();
};
