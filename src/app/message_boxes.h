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
  // The real cause behind a failure whose box text is fixed ("Failed to Join Game." for a wrong password
  // and for a host that never answered alike): the provider's or the file system's reason, single-byte
  // text. Shown beside the box, never in it: the windows put it in their status, the console tools on a
  // line of its own. Called right after the box it explains, or alone for a cause that has no box.
  virtual void ShowCause(const std::string& cause) { (void)cause; }
};

// Keeps every box shown, in order; for tests and for tools that report them afterwards.
class MessageBoxLog : public MessageBoxes {
 public:
  void Show(const std::string& title, const std::string& text, MessageIcon icon) override;
  void ShowCause(const std::string& cause) override { causes_.push_back(cause); }
  const std::vector<MessageBoxRecord>& Shown() const { return shown_; }
  const std::vector<std::string>& Causes() const { return causes_; }
  void Clear() {
    shown_.clear();
    causes_.clear();
  }

 private:
  std::vector<MessageBoxRecord> shown_;
  std::vector<std::string> causes_;
};

// Prints each box on a line of its own: "[message box] Title: text" (the icon as a word).
class ConsoleMessageBoxes : public MessageBoxes {
 public:
  explicit ConsoleMessageBoxes(std::ostream& out) : out_(out) {}
  void Show(const std::string& title, const std::string& text, MessageIcon icon) override;
  // "[cause] text"
  void ShowCause(const std::string& cause) override;

 private:
  std::ostream& out_;
};

const char* IconWord(MessageIcon icon);

}  // namespace skyvox::app
