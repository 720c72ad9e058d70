// Message boxes and input boxes as modal Qt dialogs over the window that is open.
#pragma once

#include <functional>
#include <string>

#include "app/input_boxes.h"
#include "app/message_boxes.h"

class QWidget;

namespace skyvox::ui {

class QtMessageBoxes : public app::MessageBoxes {
 public:
  // parent: the window the boxes belong to (the one open at the time); causeSink shows a failure's
  // real cause in that window's status bar.
  QtMessageBoxes(std::function<QWidget*()> parent, std::function<void(const std::string&)> causeSink)
      : parent_(std::move(parent)), causeSink_(std::move(causeSink)) {}
  void Show(const std::string& title, const std::string& text, app::MessageIcon icon) override;
  void ShowCause(const std::string& cause) override;

 private:
  std::function<QWidget*()> parent_;
  std::function<void(const std::string&)> causeSink_;
};

class QtInputBoxes : public app::InputBoxes {
 public:
  explicit QtInputBoxes(std::function<QWidget*()> parent) : parent_(std::move(parent)) {}
  std::optional<std::string> Ask(const std::string& title, const std::string& prompt) override;

 private:
  std::function<QWidget*()> parent_;
};

}  // namespace skyvox::ui
