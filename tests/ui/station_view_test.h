#pragma once

#include <QObject>

class StationViewTest : public QObject {
  Q_OBJECT
 private slots:
  void opensListeningAndStartAndStopToggle();
  void closingEndsWithTheSettingsWindowAndAnEmptyRoster_data();
  void closingEndsWithTheSettingsWindowAndAnEmptyRoster();
  void theTableAndTheFilteredTranscriptFollowTheSession();
};
