#include "atc/atc_context.h"

namespace skyvox::atc {

void ClearMenu(session::PlayerRecord& pilot) {
  pilot.MenuOptions.assign(1, std::string());
  pilot.MenuOptionCount = 0;
}

void AddOption(session::PlayerRecord& pilot, const std::string& text) {
  pilot.MenuOptionCount += 1;
  pilot.MenuOptions.resize(static_cast<size_t>(pilot.MenuOptionCount) + 1);
  pilot.MenuOptions[static_cast<size_t>(pilot.MenuOptionCount) - 1] = text;
}

void ResetMenu(session::PlayerRecord& pilot) {
  ClearMenu(pilot);
  pilot.PendingChoice = 0;
}

std::string TuningLine(const std::string& stationName, const char* word, const std::string& frequency) {
  return "Tune " + stationName + word + frequency;
}

}  // namespace skyvox::atc
