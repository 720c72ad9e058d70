#pragma once

#include <QObject>

class StationViewTest : public QObject {
  Q_OBJECT
 private slots:
  void opensListeningWithStopDisabled();
  void startAndStopToggleTheLampsButtonsAndAtcTimer();
  void closingEndsWithTheSettingsWindowAndAnEmptyRoster_data();
  void closingEndsWithTheSettingsWindowAndAnEmptyRoster();
  void theTableShowsTheParticipantsAndKeepsTheSelection();
  void theTranscriptAppendsAndFiltersByPilot();
};
