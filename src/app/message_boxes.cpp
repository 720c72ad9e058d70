#include "app/message_boxes.h"

#include <ostream>

#include "base/text.h"

namespace skyvox::app {

void MessageBoxLog::Show(const std::string& title, const std::string& text, MessageIcon icon) {
  shown_.push_back({title, text, icon});
}

void ConsoleMessageBoxes::Show(const std::string& title, const std::string& text, MessageIcon icon) {
  out_ << "[message box, " << IconWord(icon) << "] " << Cp1252ToUtf8(title) << ": " << Cp1252ToUtf8(text)
       << '\n';
}

void ConsoleMessageBoxes::ShowCause(const std::string& cause) {
  out_ << "[cause] " << Cp1252ToUtf8(cause) << '\n';
}

const char* IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return "information";
    case MessageIcon::Exclamation:
      return "exclamation";
    case MessageIcon::Critical:
      break;
  }
  return "critical";
}

}  // namespace skyvox::app
