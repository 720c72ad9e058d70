// The splash window: the program's name in large letters while the start-up check waits for its tick.
#pragma once

#include <QTimer>

#include "app/startup.h"
#include "ui/window_view.h"

class QLabel;

namespace skyvox::ui {

class SplashView : public WindowView {
 public:
  explicit SplashView(app::SplashController& controller, QWidget* parent = nullptr);

  // The timer's tick: runs the start-up check.
  void Tick();

 private:
  void Render();

  app::SplashController& controller_;
  QLabel* label_ = nullptr;
  QTimer timer_{this};
};

}  // namespace skyvox::ui
