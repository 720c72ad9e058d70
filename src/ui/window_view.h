// What every window's view shares: it renders its controller's state after each event, runs its
// timers as QTimers that follow the controller's enabled flags, and tells the window chain once when
// the controller has closed the window (the chain then reads the controller's Next()).
#pragma once

#include <QMainWindow>
#include <functional>

namespace skyvox::ui {

class WindowView : public QMainWindow {
 public:
  using QMainWindow::QMainWindow;

  // Called once, when the controller has closed the window; the view is hidden by then.
  std::function<void()> Closed;

 protected:
  // At the end of every event handler: a closed controller hides the window and tells the chain.
  void ReportIfClosed(bool controllerOpen) {
    if (controllerOpen || reported_) return;
    reported_ = true;
    hide();
    if (Closed) Closed();
  }
  bool ClosedReported() const { return reported_; }

 private:
  bool reported_ = false;
};

}  // namespace skyvox::ui
