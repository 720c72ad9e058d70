// The settings window ("Settings") and its progress window ("Processing please wait..."): the airport
// list with type-ahead completion over the whole database, the controlled list, the buttons, and the
// build's status and progress; Scan_Bgl and Wait_for_Close as QTimers.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstddef>

#include "app/settings.h"
#include "ui/window_view.h"

class QComboBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QStringListModel;

namespace skyvox::ui {

// The small modeless window shown while the settings window loads.
class ProgressView : public QWidget {
 public:
  explicit ProgressView(QWidget* parent = nullptr);
  void Render(const app::SettingsController& controller);

 private:
  QLineEdit* text_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

class SettingsView : public WindowView {
 public:
  explicit SettingsView(app::SettingsController& controller, QWidget* parent = nullptr);

  // The timers' ticks.
  void ScanTick();
  void WaitForCloseTick();

  ProgressView& Progress() { return *progress_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs one user event or tick against the controller, then renders; a message box opened by the
  // controller runs its own event loop, in which no other tick or click reaches the controller.
  template <typename F>
  void Forward(F&& action);
  void Render();
  void RenderAirportList();

  app::SettingsController& controller_;
  bool busy_ = false;
  QComboBox* airports_ = nullptr;
  QStringListModel* airportModel_ = nullptr;
  QSortFilterProxyModel* sortedAirports_ = nullptr;
  QCompleter* completer_ = nullptr;
  const void* airportListData_ = nullptr;  // which list the model holds: the vector's buffer and size
  size_t airportListSize_ = 0;
  QComboBox* controlled_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* exit_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  QLineEdit* statusText_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  ProgressView* progress_ = nullptr;
  QTimer scanTimer_{this};
  QTimer waitTimer_{this};
};

}  // namespace skyvox::ui
