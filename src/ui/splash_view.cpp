#include "ui/splash_view.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace skyvox::ui {

SplashView::SplashView(app::SplashController& controller, QWidget* parent)
    : WindowView(parent), controller_(controller) {
  // No title bar and no close box: the window goes away only by its tick.
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setWindowTitle(QString::fromUtf8(app::kProgramTitle));
  auto* frame = new QFrame(this);
  frame->setObjectName("splashFrame");
  frame->setFrameShape(QFrame::Box);
  frame->setLineWidth(2);
  frame->setStyleSheet(
      "#splashFrame { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1d3557, stop:1 #0b1a2e);"
      " border: 2px solid #9fb8d8; }");
  label_ = new QLabel(ToQt(app::SplashController::kLabel), frame);
  label_->setObjectName("splashLabel");
  label_->setAlignment(Qt::AlignCenter);
  QFont font = label_->font();
  font.setPointSize(26);
  font.setBold(true);
  font.setLetterSpacing(QFont::PercentageSpacing, 110);
  label_->setFont(font);
  label_->setStyleSheet("color: #f1f5fb; background: transparent;");
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(48, 40, 48, 40);
  layout->addWidget(label_);
  setCentralWidget(frame);
  setFixedSize(sizeHint().expandedTo(QSize(520, 200)));

  timer_.setObjectName("splashTimer");
  timer_.setInterval(app::SplashController::kTimerIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &SplashView::Tick);
  Render();
}

void SplashView::Tick() {
  controller_.Tick();
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void SplashView::Render() {
  if (controller_.TimerEnabled() && !timer_.isActive()) timer_.start();
  if (!controller_.TimerEnabled()) timer_.stop();
}

}  // namespace skyvox::ui
