#include "app/input_boxes.h"

namespace skyvox::app {

std::optional<std::string> ScriptedInputBoxes::Ask(const std::string& title, const std::string& prompt) {
  asked_.push_back({title, prompt});
  if (answers_.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

}  // namespace skyvox::app
