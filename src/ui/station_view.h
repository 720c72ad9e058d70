// The "ATC Station Window": the status label, the two lamps and the three buttons over
// app::StationController, the window's three timers, and below them, for the operator, the live table
// of the participants and the transcript of the chat from app::StationMonitor.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "app/station.h"
#include "app/station_monitor.h"
#include "ui/window_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace skyvox::ui {

// The red and the green lamp side by side inside a frame; a lamp's fill style is the controller's
// (solid: lit; diagonal cross: dark, the lamp colour hatched over the window background).
class LampPanel : public QWidget {
 public:
  explicit LampPanel(QWidget* parent = nullptr);
  void SetFillStyles(int red, int green);
  int RedFillStyle() const { return red_; }
  int GreenFillStyle() const { return green_; }
  QSize sizeHint() const override { return {112, 56}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int red_ = app::kFillDiagonalCross;
  int green_ = app::kFillSolid;
};

// The participants, one row each, with app::kTrafficColumns as titles. A refresh with the same
// players in the same order only updates the changed cells, so the view keeps its selection and
// scroll position.
class TrafficModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  // True when the players changed and the model was reset.
  bool SetRows(std::vector<app::TrafficRow> rows);
  const std::vector<app::TrafficRow>& Rows() const { return rows_; }
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<app::TrafficRow> rows_;
};

class StationView : public WindowView {
 public:
  // Starts the monitor's clock: the transcript begins with this window.
  StationView(app::StationController& controller, app::StationMonitor& monitor, QWidget* parent = nullptr);
  ~StationView() override;

  // The timers' ticks: ATC_Timer, Connection_Timer and Refresh_Players.
  void AtcTick();
  void ConnectionTick();
  void RefreshTick();

  // The pilot filter's first choice: every line.
  static constexpr const char* kAllPilots = "All pilots";

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  template <typename Event>
  void Forward(Event&& event, bool monitorChanged = false);
  void Render();
  void RenderControls();  // the label, the lamps and the buttons
  void RefreshTraffic();
  void AppendNewLines();
  void RebuildTranscript();
  void AppendLine(const app::TranscriptEntry& entry);

  app::StationController& controller_;
  app::StationMonitor& monitor_;
  QLabel* statusLabel_;
  LampPanel* lamps_;
  QPushButton* startButton_;
  QPushButton* stopButton_;
  QPushButton* closeButton_;
  QCheckBox* correctedBox_;
  QTimer* atcTimer_;
  QTimer* connectionTimer_;
  QTimer* refreshTimer_;
  TrafficModel* trafficModel_;
  QTableView* trafficTable_;
  QComboBox* pilotFilter_;
  QPlainTextEdit* transcript_;
  uint64_t linesShown_ = 0;  // the monitor's LinesRecorded() when the transcript was last brought up to date
  size_t namesShown_ = 0;    // the monitor's names already in the filter
  bool filtered_ = false;    // only the lines that concern filter_
  std::string filter_;       // single-byte pilot name
};

}  // namespace skyvox::ui
