// Message boxes as the window controllers show them. The Qt views, the console tools and the tests
// each provide an implementation; a controller only calls Show and goes on when it returns (the box
// is modal: it returns once the user closed it).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace skyvox::app {

enum class MessageIcon { Information, Exclamation, Critical };

struct MessageBoxRecord {
  std::string Title;
  std::string Text;
  MessageIcon Icon = MessageIcon::Information;
  bool operator==(const MessageBoxRecord&) const = default;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(const std::string& title, const std::string& text, MessageIcon icon) = 0;
};

// Keeps every box shown, in order; for tests and for tools that report them afterwards.
class MessageBoxLog : public MessageBoxes {
 public:
  void Show(const std::string& title, const std::string& text, MessageIcon icon) override;
  const std::vector<MessageBoxRecord>& Shown() const { return shown_; }
  void Clear() { shown_.clear(); }

 private:
  std::vector<MessageBoxRecord> shown_;
};

// Prints each box on a line of its own: "[message box] Title: text" (the icon as a word).
class ConsoleMessageBoxes : public MessageBoxes {
 public:
  explicit ConsoleMessageBoxes(std::ostream& out) : out_(out) {}
  void Show(const std::string& title, const std::string& text, MessageIcon icon) override;

 private:
  std::ostream& out_;
};

const char* IconWord(MessageIcon icon);

}  // namespace skyvox::app
