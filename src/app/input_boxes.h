// Input boxes as the window controllers ask them: a modal prompt with one line of text to type. The
// Qt views, the console tools and the tests each provide an implementation.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace skyvox::app {

class InputBoxes {
 public:
  virtual ~InputBoxes() = default;
  // The text the user typed, or nullopt when the box was cancelled.
  virtual std::optional<std::string> Ask(const std::string& title, const std::string& prompt) = 0;
};

struct InputBoxRecord {
  std::string Title;
  std::string Prompt;
  bool operator==(const InputBoxRecord&) const = default;
};

// Answers each box with the next scripted answer (a cancel once the script is used up) and keeps
// every box asked, in order.
class ScriptedInputBoxes : public InputBoxes {
 public:
  void Script(std::optional<std::string> answer) { answers_.push_back(std::move(answer)); }
  std::optional<std::string> Ask(const std::string& title, const std::string& prompt) override;
  const std::vector<InputBoxRecord>& Asked() const { return asked_; }

 private:
  std::deque<std::optional<std::string>> answers_;
  std::vector<InputBoxRecord> asked_;
};

}  // namespace skyvox::app
