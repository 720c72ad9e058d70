#include "ui/connection_view.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace skyvox::ui {
namespace {

QLabel* Caption(const char* text, QWidget* parent) {
  return new QLabel(QString::fromUtf8(text), parent);
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  return button;
}

// Makes a list widget hold exactly these entries and this current row, touching it only where it
// differs (the caller blocks its signals).
void SyncList(QListWidget& list, const std::vector<std::string>& entries, int current) {
  bool same = list.count() == static_cast<int>(entries.size());
  for (int i = 0; same && i < list.count(); ++i) same = list.item(i)->text() == ToQt(entries[i]);
  if (!same) {
    list.clear();
    for (const std::string& entry : entries) list.addItem(ToQt(entry));
  }
  if (list.currentRow() != current) list.setCurrentRow(current);
}

}  // namespace

ConnectionView::ConnectionView(app::ConnectionController& controller, QWidget* parent)
    : WindowView(parent), controller_(controller) {
  setWindowTitle(QString::fromUtf8(app::kConnectionCaption));
  AddAboutMenu(*this);
  auto* central = new QWidget(this);
  setCentralWidget(central);

  auto* settings = new QGroupBox(QString::fromUtf8(app::kMultiplayerSettingsFrame), central);
  settings->setObjectName("settingsFrame");
  auto* settingsGrid = new QGridLayout(settings);
  connectionList_ = new QListWidget(settings);
  connectionList_->setObjectName("connectionList");
  callsignEdit_ = new QLineEdit(settings);
  callsignEdit_->setObjectName("callsignEdit");
  searchButton_ = Button(app::kSearchButton, "searchButton", settings);
  statusLabel_ = new QLabel(settings);
  statusLabel_->setObjectName("statusLabel");
  statusLabel_->setFrameShape(QFrame::StyledPanel);
  statusLabel_->setMinimumWidth(
      statusLabel_->fontMetrics().horizontalAdvance(QString::fromUtf8(app::kStatusSearching) + "MM"));
  settingsGrid->addWidget(Caption(app::kConnectionTypesLabel, settings), 0, 0, 1, 2);
  settingsGrid->addWidget(Caption(app::kConnectionTypeLabel, settings), 1, 0, Qt::AlignTop);
  settingsGrid->addWidget(connectionList_, 1, 1);
  settingsGrid->addWidget(Caption(app::kCallsignLabel, settings), 2, 0);
  settingsGrid->addWidget(callsignEdit_, 2, 1);
  settingsGrid->addWidget(searchButton_, 3, 0, 1, 2);
  settingsGrid->addWidget(Caption(app::kConnectionStatusCaption, settings), 4, 0);
  settingsGrid->addWidget(statusLabel_, 4, 1);

  auto* sessions = new QGroupBox(QString::fromUtf8(app::kSessionsFrame), central);
  sessions->setObjectName("sessionsFrame");
  auto* sessionsBox = new QVBoxLayout(sessions);
  sessionList_ = new QListWidget(sessions);
  sessionList_->setObjectName("sessionList");
  joinButton_ = Button(app::kJoinButton, "joinButton", sessions);
  sessionsBox->addWidget(Caption(app::kSessionsLabel, sessions));
  sessionsBox->addWidget(sessionList_);
  sessionsBox->addWidget(joinButton_);

  closeButton_ = Button(app::kCloseButton, "closeButton", central);
  auto* frames = new QHBoxLayout;
  frames->addWidget(settings, 3);
  frames->addWidget(sessions, 2);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(closeButton_);
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(frames);
  layout->addLayout(bottom);
  // The failure's real cause, in a label of the status bar: a temporary status message would be
  // wiped by the first status tip (a hovered menu).
  causeLabel_ = new QLabel(this);
  causeLabel_->setObjectName("causeLabel");
  causeLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(causeLabel_, 1);
  resize(720, 360);

  handshakeTimer_ = new QTimer(this);
  handshakeTimer_->setObjectName("handshakeTimer");
  handshakeTimer_->setInterval(app::ConnectionController::kHandshakeIntervalMs);
  connect(handshakeTimer_, &QTimer::timeout, this, [this] { HandshakeTick(); });

  connect(connectionList_, &QListWidget::currentRowChanged, this,
          [this](int row) { Forward([&] { controller_.SelectConnection(row); }); });
  connect(sessionList_, &QListWidget::currentRowChanged, this,
          [this](int row) { Forward([&] { controller_.SelectSession(row); }); });
  connect(callsignEdit_, &QLineEdit::textEdited, this,
          [this](const QString& text) { Forward([&] { controller_.SetCallsign(FromQt(text)); }); });
  connect(searchButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.SearchPressed(); }, true); });
  connect(joinButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.JoinPressed(); }, true); });
  connect(closeButton_, &QPushButton::clicked, this,
          [this] { Forward([this] { controller_.ClosePressed(); }); });
  Render();
}

void ConnectionView::HandshakeTick() {
  Forward([this] { controller_.HandshakeTick(); });
}

void ConnectionView::closeEvent(QCloseEvent* event) {
  if (controller_.IsOpen()) controller_.Unload();
  Render();
  event->accept();
  ReportIfClosed(controller_.IsOpen());
}

template <typename Event>
void ConnectionView::Forward(Event&& event, bool blocking) {
  if (blocking) {
    // On this window only, so that the boxes the event may show keep the ordinary cursor. The
    // platform applies a window's cursor at once: no event is processed meanwhile.
    setCursor(Qt::WaitCursor);
  }
  event();
  if (blocking) unsetCursor();
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void ConnectionView::Render() {
  const QSignalBlocker connections(connectionList_), sessions(sessionList_), callsign(callsignEdit_);
  SyncList(*connectionList_, controller_.ConnectionList(), controller_.ConnectionIndex());
  SyncList(*sessionList_, controller_.SessionList(), controller_.SessionIndex());
  if (FromQt(callsignEdit_->text()) != controller_.Callsign())
    callsignEdit_->setText(ToQt(controller_.Callsign()));
  statusLabel_->setText(ToQt(controller_.Status()));
  // The failure's real cause beside the fixed box text; a new search or join clears it.
  causeLabel_->setText(ToQt(controller_.Cause()));
  if (controller_.HandshakeTimerEnabled() && !handshakeTimer_->isActive()) handshakeTimer_->start();
  if (!controller_.HandshakeTimerEnabled()) handshakeTimer_->stop();
}

}  // namespace skyvox::ui
