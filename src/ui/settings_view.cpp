#include "ui/settings_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt_text.h"

namespace skyvox::ui {
namespace {

QLabel* Label(const std::string& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(ToQt(text), parent);
  label->setObjectName(name);
  return label;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(ToQt(text), parent);
  button->setObjectName(name);
  return button;
}

QStringList ToQtList(const std::vector<std::string>& list) {
  QStringList out;
  out.reserve(qsizetype(list.size()));
  for (const std::string& entry : list) out.push_back(ToQt(entry));
  return out;
}

// A range of 0 to 0 would turn the bar into a busy indicator; an empty range shows an empty bar.
void SetProgress(QProgressBar& bar, int32_t value, int32_t max) {
  bar.setRange(0, std::max(1, max));
  bar.setValue(std::clamp(value, 0, std::max(1, max)));
}

void SyncTimer(QTimer& timer, bool enabled) {
  if (enabled && !timer.isActive()) timer.start();
  if (!enabled && timer.isActive()) timer.stop();
}

}  // namespace

ProgressView::ProgressView(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName("progressWindow");
  setWindowTitle(ToQt(app::kProgressCaption));
  text_ = new QLineEdit(this);
  text_->setObjectName("progressText");
  text_->setReadOnly(true);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("progressWindowBar");
  auto* grid = new QGridLayout(this);
  grid->addWidget(Label(app::kScanningCaption, "progressScanningCaption", this), 0, 0);
  grid->addWidget(text_, 0, 1);
  grid->addWidget(bar_, 1, 0, 1, 2);
  setFixedWidth(380);
}

void ProgressView::Render(const app::SettingsController& controller) {
  const QString text = ToQt(controller.ProgressWindowText());
  if (text_->text() != text) text_->setText(text);
  SetProgress(*bar_, controller.ProgressValue(), controller.ProgressMax());
  setVisible(controller.ProgressWindowShown());
}

SettingsView::SettingsView(app::SettingsController& controller, QWidget* parent)
    : WindowView(parent), controller_(controller) {
  setWindowTitle(ToQt(app::kSettingsCaption));
  AddAboutMenu(*this);
  auto* central = new QWidget(this);

  auto* allFrame = new QGroupBox(ToQt(app::kAllAirportsFrame), central);
  allFrame->setObjectName("allAirportsFrame");
  airports_ = new QComboBox(allFrame);
  airports_->setObjectName("airportList");
  airports_->setEditable(true);
  airports_->setInsertPolicy(QComboBox::NoInsert);
  airports_->setMaxVisibleItems(20);
  // Tens of thousands of entries: the drop-down lays them out as rows of one height.
  auto* dropDown = new QListView(airports_);
  dropDown->setUniformItemSizes(true);
  airports_->setView(dropDown);
  airportModel_ = new QStringListModel(this);
  airports_->setModel(airportModel_);
  // The completion runs over a case-insensitively sorted view of the list, so that it finds a prefix
  // by binary search; a pick maps back to the list's own row.
  sortedAirports_ = new QSortFilterProxyModel(this);
  sortedAirports_->setSortCaseSensitivity(Qt::CaseInsensitive);
  sortedAirports_->setSourceModel(airportModel_);
  sortedAirports_->sort(0);
  completer_ = new QCompleter(this);
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  completer_->setCompletionMode(QCompleter::PopupCompletion);
  completer_->setMaxVisibleItems(12);
  // A one-letter prefix matches half the list: its rows are laid out at one height, not measured.
  auto* completions = new QListView;
  completions->setUniformItemSizes(true);
  completer_->setPopup(completions);
  airports_->setCompleter(completer_);
  completer_->setModel(sortedAirports_);  // after setCompleter, which would give it the list's model
  completer_->setModelSorting(QCompleter::CaseInsensitivelySortedModel);
  add_ = Button(app::kAddButton, "addButton", allFrame);
  auto* allLayout = new QVBoxLayout(allFrame);
  allLayout->addWidget(airports_);
  allLayout->addWidget(add_, 0, Qt::AlignRight);

  auto* controlledFrame = new QGroupBox(ToQt(app::kControlledFrame), central);
  controlledFrame->setObjectName("controlledFrame");
  controlled_ = new QComboBox(controlledFrame);
  controlled_->setObjectName("controlledList");
  remove_ = Button(app::kRemoveButton, "removeButton", controlledFrame);
  auto* controlledLayout = new QVBoxLayout(controlledFrame);
  controlledLayout->addWidget(controlled_);
  controlledLayout->addWidget(remove_, 0, Qt::AlignRight);

  next_ = Button(app::kNextButton, "nextButton", central);
  exit_ = Button(app::kExitButton, "exitButton", central);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(next_);
  buttons->addWidget(exit_);

  statusLabel_ = Label(controller_.StatusLabel(), "statusLabel", central);
  statusText_ = new QLineEdit(central);
  statusText_->setObjectName("statusText");
  statusText_->setReadOnly(true);
  progressBar_ = new QProgressBar(central);
  progressBar_->setObjectName("progressBar");
  auto* status = new QGridLayout;
  status->addWidget(Label(app::kStatusCaption, "statusCaption", central), 0, 0);
  status->addWidget(statusLabel_, 0, 1);
  status->addWidget(Label(app::kScanningCaption, "scanningCaption", central), 1, 0);
  status->addWidget(statusText_, 1, 1);
  status->addWidget(progressBar_, 2, 0, 1, 2);
  status->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(central);
  layout->addWidget(allFrame);
  layout->addWidget(controlledFrame);
  layout->addLayout(buttons);
  layout->addLayout(status);
  setCentralWidget(central);
  resize(500, sizeHint().height());

  progress_ = new ProgressView(this);

  connect(airports_->lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { Forward([&] { controller_.TypeAirportText(FromQt(text)); }); });
  // A pick from the drop-down, or from the completion (the box maps it back to its own row).
  connect(airports_, &QComboBox::activated, this,
          [this](int index) { Forward([&] { controller_.SelectAirport(index); }); });
  connect(controlled_, &QComboBox::activated, this,
          [this](int index) { Forward([&] { controller_.SelectControlled(index); }); });
  connect(add_, &QPushButton::clicked, this, [this] { Forward([&] { controller_.AddPressed(); }); });
  connect(remove_, &QPushButton::clicked, this, [this] { Forward([&] { controller_.RemovePressed(); }); });
  connect(next_, &QPushButton::clicked, this, [this] { Forward([&] { controller_.NextPressed(); }); });
  connect(exit_, &QPushButton::clicked, this, [this] { Forward([&] { controller_.ExitPressed(); }); });
  scanTimer_.setObjectName("scanTimer");
  waitTimer_.setObjectName("waitForCloseTimer");
  scanTimer_.setInterval(app::SettingsController::kScanIntervalMs);
  waitTimer_.setInterval(app::SettingsController::kWaitForCloseIntervalMs);
  connect(&scanTimer_, &QTimer::timeout, this, &SettingsView::ScanTick);
  connect(&waitTimer_, &QTimer::timeout, this, &SettingsView::WaitForCloseTick);
  Render();
}

template <typename F>
void SettingsView::Forward(F&& action) {
  if (busy_) return;
  busy_ = true;
  action();
  busy_ = false;
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void SettingsView::ScanTick() {
  Forward([this] { controller_.ScanTick(); });
}

void SettingsView::WaitForCloseTick() {
  Forward([this] { controller_.WaitForCloseTick(); });
}

void SettingsView::closeEvent(QCloseEvent* event) {
  Forward([this] { controller_.Unload(); });
  event->accept();
}

void SettingsView::RenderAirportList() {
  const auto& list = controller_.AirportList();
  // The list is replaced only when the database is read; the model is rebuilt only then.
  if (list.data() != airportListData_ || list.size() != airportListSize_) {
    airportModel_->setStringList(ToQtList(list));
    airportListData_ = list.data();
    airportListSize_ = list.size();
  }
  if (airports_->currentIndex() != controller_.AirportListIndex()) {
    airports_->setCurrentIndex(controller_.AirportListIndex());
  }
  const QString text = ToQt(controller_.AirportListText());
  if (airports_->currentText() != text) airports_->setEditText(text);
}

void SettingsView::Render() {
  {
    const QSignalBlocker blockAirports(airports_);
    const QSignalBlocker blockEdit(airports_->lineEdit());
    const QSignalBlocker blockControlled(controlled_);
    RenderAirportList();
    const QStringList controlled = ToQtList(controller_.ControlledList());
    bool same = controlled_->count() == controlled.size();
    for (int i = 0; same && i < controlled.size(); ++i) same = controlled_->itemText(i) == controlled[i];
    if (!same) {
      controlled_->clear();
      controlled_->addItems(controlled);
    }
    controlled_->setCurrentIndex(controller_.ControlledListIndex());
    // The list shows no entry until one is picked: say what it holds, so that "Add" is seen to work.
    const int n = static_cast<int>(controlled.size());
    controlled_->setPlaceholderText(n == 0   ? QString("(no airport yet)")
                                    : n == 1 ? QString("(1 airport: open the list)")
                                             : QString("(%1 airports: open the list)").arg(n));
  }
  const bool enabled = controller_.ControlsEnabled();
  for (QWidget* control :
       std::initializer_list<QWidget*>{airports_, controlled_, add_, remove_, next_, exit_}) {
    control->setEnabled(enabled);
  }
  statusLabel_->setText(ToQt(controller_.StatusLabel()));
  const QString text = ToQt(controller_.StatusText());
  if (statusText_->text() != text) statusText_->setText(text);
  SetProgress(*progressBar_, controller_.ProgressValue(), controller_.ProgressMax());
  progress_->Render(controller_);
  SyncTimer(scanTimer_, controller_.ScanTimerEnabled() && controller_.IsOpen());
  SyncTimer(waitTimer_, controller_.WaitForCloseEnabled() && controller_.IsOpen());
}

}  // namespace skyvox::ui
