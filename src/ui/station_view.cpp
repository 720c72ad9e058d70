#include "ui/station_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt_text.h"

namespace skyvox::ui {
namespace {

// Transcript colours: what the station said, and what it heard.
const QColor kSentColour(0x00, 0x00, 0x90);
const QColor kReceivedColour(0x20, 0x20, 0x20);

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  // Room for the whole caption whatever the style's margins.
  button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 32);
  return button;
}

QTimer* Timer(int intervalMs, const char* name, QObject* parent) {
  auto* timer = new QTimer(parent);
  timer->setObjectName(name);
  timer->setInterval(intervalMs);
  return timer;
}

void SyncTimer(QTimer& timer, bool enabled) {
  if (enabled && !timer.isActive()) timer.start();
  if (!enabled) timer.stop();
}

bool SameRow(const app::TrafficRow& a, const app::TrafficRow& b) {
  if (a.PlayerId != b.PlayerId) return false;
  for (int c = 0; c < app::kTrafficColumnCount; ++c) {
    if (app::TrafficCell(a, c) != app::TrafficCell(b, c)) return false;
  }
  return true;
}

}  // namespace

LampPanel::LampPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("lampPanel");
  setMinimumSize(sizeHint());
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LampPanel::SetFillStyles(int red, int green) {
  if (red == red_ && green == green_) return;
  red_ = red;
  green_ = green;
  update();
}

void LampPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor background = palette().color(QPalette::Window);
  // The frame around both lamps.
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
  painter.setBrush(background.darker(110));
  painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 10, 10);
  const qreal diameter = height() - 16;
  auto lamp = [&](qreal x, int32_t bgr, int style) {
    const QRectF shape(x, 8, diameter, diameter);
    const QColor colour = FromBgr(bgr);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(style == app::kFillSolid ? colour : background);
    painter.drawEllipse(shape);
    if (style != app::kFillSolid) {
      painter.setBrush(QBrush(colour, Qt::DiagCrossPattern));
      painter.drawEllipse(shape);
    }
  };
  const qreal gap = (width() - 2 * diameter) / 3;
  lamp(gap, app::kRedLampColour, red_);
  lamp(2 * gap + diameter, app::kGreenLampColour, green_);
}

bool TrafficModel::SetRows(std::vector<app::TrafficRow> rows) {
  bool samePlayers = rows.size() == rows_.size();
  for (size_t i = 0; samePlayers && i < rows.size(); ++i) samePlayers = rows[i].PlayerId == rows_[i].PlayerId;
  if (!samePlayers) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    return true;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (SameRow(rows[i], rows_[i])) continue;
    rows_[i] = std::move(rows[i]);
    const int r = static_cast<int>(i);
    emit dataChanged(index(r, 0), index(r, app::kTrafficColumnCount - 1));
  }
  return false;
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : app::kTrafficColumnCount;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const std::string& cell = app::TrafficCell(rows_[static_cast<size_t>(index.row())], index.column());
  // The cells are UTF-8 already. The last line sent is elided in its column; the tooltip has it whole.
  if (role == Qt::DisplayRole ||
      (role == Qt::ToolTipRole && index.column() == app::kTrafficColumnCount - 1)) {
    return QString::fromStdString(cell);
  }
  return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section < 0 || section >= app::kTrafficColumnCount) return {};
  return QString::fromUtf8(app::kTrafficColumns[section]);
}

StationView::StationView(app::StationController& controller, app::StationMonitor& monitor, QWidget* parent)
    : WindowView(parent), controller_(controller), monitor_(monitor) {
  setWindowTitle(QString::fromUtf8(app::kStationCaption));
  AddAboutMenu(*this);
  monitor_.StartClock();

  // The window's own controls, on top.
  auto* controls = new QWidget;
  statusLabel_ = new QLabel(controls);
  statusLabel_->setObjectName("statusLabel");
  QFont bold = statusLabel_->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  statusLabel_->setFont(bold);
  statusLabel_->setAlignment(Qt::AlignCenter);
  statusLabel_->setMinimumWidth(
      statusLabel_->fontMetrics().horizontalAdvance(QString::fromUtf8(app::kNotMonitoringText) + "MMMM"));
  lamps_ = new LampPanel(controls);
  startButton_ = Button(app::kStartMonitoringButton, "startButton", controls);
  stopButton_ = Button(app::kStopMonitoringButton, "stopButton", controls);
  closeButton_ = Button(app::kCloseStationButton, "closeButton", controls);
  correctedBox_ = new QCheckBox(QString::fromUtf8(app::kCorrectedModeBox), controls);
  correctedBox_->setObjectName("correctedBox");
  correctedBox_->setToolTip(QString::fromUtf8(app::kCorrectedModeTip));
  auto* grid = new QGridLayout(controls);
  grid->addWidget(statusLabel_, 0, 0);
  grid->addWidget(lamps_, 0, 1, Qt::AlignCenter);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(startButton_);
  buttons->addWidget(stopButton_);
  buttons->addStretch();
  buttons->addWidget(correctedBox_);
  buttons->addSpacing(12);
  buttons->addWidget(closeButton_);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setColumnStretch(0, 1);

  // Below them, for the operator: the participants and the transcript.
  trafficModel_ = new TrafficModel(this);
  trafficTable_ = new QTableView;
  trafficTable_->setObjectName("trafficTable");
  trafficTable_->setModel(trafficModel_);
  trafficTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
  trafficTable_->setSelectionMode(QAbstractItemView::SingleSelection);
  trafficTable_->setTextElideMode(Qt::ElideRight);
  trafficTable_->setWordWrap(false);
  trafficTable_->verticalHeader()->hide();
  trafficTable_->verticalHeader()->setDefaultSectionSize(trafficTable_->fontMetrics().height() + 8);
  trafficTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  trafficTable_->horizontalHeader()->setStretchLastSection(true);
  trafficTable_->horizontalHeader()->setSectionResizeMode(app::kTrafficColumnCount - 1, QHeaderView::Stretch);

  auto* transcriptPane = new QWidget;
  pilotFilter_ = new QComboBox(transcriptPane);
  pilotFilter_->setObjectName("pilotFilter");
  pilotFilter_->addItem(QString::fromUtf8(kAllPilots));
  pilotFilter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  transcript_ = new QPlainTextEdit(transcriptPane);
  transcript_->setObjectName("transcript");
  transcript_->setReadOnly(true);
  transcript_->setLineWrapMode(QPlainTextEdit::NoWrap);
  transcript_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  transcript_->setMaximumBlockCount(static_cast<int>(std::min<size_t>(monitor_.Capacity(), 1 << 30)));
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(new QLabel(tr("Transcript of"), transcriptPane));
  filterRow->addWidget(pilotFilter_);
  filterRow->addStretch();
  auto* transcriptBox = new QVBoxLayout(transcriptPane);
  transcriptBox->setContentsMargins(0, 0, 0, 0);
  transcriptBox->addLayout(filterRow);
  transcriptBox->addWidget(transcript_);

  auto* operatorPanes = new QSplitter(Qt::Vertical);
  operatorPanes->setObjectName("operatorPanes");
  operatorPanes->addWidget(trafficTable_);
  operatorPanes->addWidget(transcriptPane);
  operatorPanes->setChildrenCollapsible(false);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(controls);
  layout->addWidget(operatorPanes, 1);
  setCentralWidget(central);
  resize(900, 620);

  atcTimer_ = Timer(app::StationController::kAtcIntervalMs, "atcTimer", this);
  connectionTimer_ = Timer(app::StationController::kConnectionIntervalMs, "connectionTimer", this);
  refreshTimer_ = Timer(app::StationController::kRefreshIntervalMs, "refreshTimer", this);
  connect(atcTimer_, &QTimer::timeout, this, [this] { AtcTick(); });
  connect(connectionTimer_, &QTimer::timeout, this, [this] { ConnectionTick(); });
  connect(refreshTimer_, &QTimer::timeout, this, [this] { RefreshTick(); });

  connect(startButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.StartMonitoring(); }); });
  connect(stopButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.StopMonitoring(); }); });
  connect(correctedBox_, &QCheckBox::toggled, this, [this](bool on) {
    if (on != controller_.CorrectedMode()) Forward([this, on] { controller_.SetCorrectedMode(on); });
  });
  connect(closeButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.CloseStation(); }, true); });
  connect(pilotFilter_, &QComboBox::currentIndexChanged, this, [this](int index) {
    filtered_ = index > 0 && static_cast<size_t>(index) <= monitor_.Names().size();
    filter_ = filtered_ ? monitor_.Names()[static_cast<size_t>(index - 1)] : std::string();
    RebuildTranscript();
  });
  // The closing's first step shows before its work starts.
  controller_.SetRedrawCallback([this] {
    RenderControls();
    statusLabel_->repaint();
    lamps_->repaint();
  });
  RefreshTraffic();
  Render();
}

StationView::~StationView() {
  controller_.SetRedrawCallback(nullptr);
}

void StationView::AtcTick() {
  Forward([this] { controller_.AtcTimerTick(); }, true);
}

void StationView::ConnectionTick() {
  Forward([this] { controller_.ConnectionTimerTick(); }, true);
}

void StationView::RefreshTick() {
  Forward([this] { controller_.RefreshTimerTick(); });
}

void StationView::closeEvent(QCloseEvent* event) {
  if (controller_.IsOpen()) controller_.OnStationWindowClosing();
  RefreshTraffic();
  Render();
  event->accept();
  ReportIfClosed(controller_.IsOpen());
}

template <typename Event>
void StationView::Forward(Event&& event, bool monitorChanged) {
  event();
  if (monitorChanged) RefreshTraffic();
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void StationView::RenderControls() {
  statusLabel_->setText(ToQt(controller_.StatusText()));
  QPalette palette = statusLabel_->palette();
  palette.setColor(QPalette::WindowText, FromBgr(controller_.StatusColour()));
  statusLabel_->setPalette(palette);
  lamps_->SetFillStyles(controller_.RedLampFillStyle(), controller_.GreenLampFillStyle());
  startButton_->setEnabled(controller_.StartEnabled());
  stopButton_->setEnabled(controller_.StopEnabled());
  closeButton_->setEnabled(controller_.CloseEnabled());
  const QSignalBlocker quiet(correctedBox_);
  correctedBox_->setChecked(controller_.CorrectedMode());
}

void StationView::Render() {
  RenderControls();
  SyncTimer(*atcTimer_, controller_.AtcTimerEnabled());
  SyncTimer(*connectionTimer_, controller_.ConnectionTimerEnabled());
  SyncTimer(*refreshTimer_, controller_.RefreshTimerEnabled());
}

void StationView::RefreshTraffic() {
  // A pilot came or went: the selected pilot stays selected and the table where it was scrolled.
  const QModelIndexList selected = trafficTable_->selectionModel()->selectedRows();
  const int32_t selectedId =
      selected.isEmpty() ? 0 : trafficModel_->Rows()[static_cast<size_t>(selected[0].row())].PlayerId;
  const int scroll = trafficTable_->verticalScrollBar()->value();
  if (trafficModel_->SetRows(monitor_.Rows())) {
    const std::vector<app::TrafficRow>& rows = trafficModel_->Rows();
    for (size_t i = 0; i < rows.size() && !selected.isEmpty(); ++i) {
      if (rows[i].PlayerId == selectedId) trafficTable_->selectRow(static_cast<int>(i));
    }
    trafficTable_->verticalScrollBar()->setValue(scroll);
  }
  // New pilots join the filter's choices; the choice made stays.
  const std::vector<std::string>& names = monitor_.Names();
  if (names.size() < namesShown_) {
    // The monitor started over: so do the choices.
    const QSignalBlocker blocker(pilotFilter_);
    while (pilotFilter_->count() > 1) pilotFilter_->removeItem(1);
    namesShown_ = 0;
    filtered_ = false;
    pilotFilter_->setCurrentIndex(0);
  }
  for (; namesShown_ < names.size(); ++namesShown_) pilotFilter_->addItem(ToQt(names[namesShown_]));
  AppendNewLines();
}

void StationView::AppendNewLines() {
  const uint64_t recorded = monitor_.LinesRecorded();
  if (recorded < linesShown_) return RebuildTranscript();
  const std::deque<app::TranscriptEntry>& lines = monitor_.Transcript();
  const size_t fresh = static_cast<size_t>(std::min<uint64_t>(recorded - linesShown_, lines.size()));
  if (fresh == 0) return;
  // Follow the end unless the operator scrolled up to read.
  QScrollBar* bar = transcript_->verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  const int keep = bar->value();
  for (size_t i = lines.size() - fresh; i < lines.size(); ++i) {
    if (!filtered_ || app::StationMonitor::Concerns(lines[i], filter_)) AppendLine(lines[i]);
  }
  linesShown_ = recorded;
  bar->setValue(following ? bar->maximum() : keep);
}

void StationView::RebuildTranscript() {
  transcript_->clear();
  linesShown_ = 0;
  AppendNewLines();
  QScrollBar* bar = transcript_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void StationView::AppendLine(const app::TranscriptEntry& entry) {
  QTextCharFormat format;
  format.setForeground(entry.Sent ? kSentColour : kReceivedColour);
  QTextCursor cursor(transcript_->document());
  cursor.movePosition(QTextCursor::End);
  if (!transcript_->document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(QString::fromStdString(app::FormatTranscriptEntry(entry)), format);
}

}  // namespace skyvox::ui
