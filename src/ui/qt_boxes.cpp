#include "ui/qt_boxes.h"

#include <QInputDialog>
#include <QMessageBox>

#include "ui/qt_text.h"

namespace skyvox::ui {

void QtMessageBoxes::Show(const std::string& title, const std::string& text, app::MessageIcon icon) {
  const QMessageBox::Icon qtIcon = icon == app::MessageIcon::Information   ? QMessageBox::Information
                                   : icon == app::MessageIcon::Exclamation ? QMessageBox::Warning
                                                                           : QMessageBox::Critical;
  QMessageBox box(qtIcon, ToQt(title), ToQt(text), QMessageBox::Ok, parent_ ? parent_() : nullptr);
  box.exec();
}

void QtMessageBoxes::ShowCause(const std::string& cause) {
  if (causeSink_) causeSink_(cause);
}

std::optional<std::string> QtInputBoxes::Ask(const std::string& title, const std::string& prompt) {
  bool ok = false;
  const QString answer = QInputDialog::getText(parent_ ? parent_() : nullptr, ToQt(title), ToQt(prompt),
                                               QLineEdit::Normal, {}, &ok);
  if (!ok) return std::nullopt;
  return FromQt(answer);
}

}  // namespace skyvox::ui
