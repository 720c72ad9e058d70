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

scenery::AirportRecord* ControlledAirportAt(scenery::WorldTables& world, int32_t index) {
  const size_t slot = TableSlot(index);
  return slot < world.ControlledAirports.size() ? &world.ControlledAirports[slot] : nullptr;
}

const scenery::AirspaceRecord* AirspaceAt(const scenery::WorldTables& world, int32_t index) {
  const size_t slot = TableSlot(index);
  return slot < world.Airspaces.size() ? &world.Airspaces[slot] : nullptr;
}

const std::string* ChosenOption(const session::PlayerRecord& pilot) {
  if (pilot.PendingChoice == 0 || pilot.PendingChoice > pilot.MenuOptionCount) return nullptr;
  const size_t slot = static_cast<size_t>(pilot.PendingChoice) - 1;
  return slot < pilot.MenuOptions.size() ? &pilot.MenuOptions[slot] : nullptr;
}

bool IsInsideHighCenter(const scenery::AirspaceRecord& s, double latitude, double longitude) {
  if (s.AirspaceClass != kHighCenterClass) return false;
  if (!(s.SouthLat < latitude && latitude < s.NorthLat)) return false;
  if (s.WestLon < s.EastLon) return s.WestLon < longitude && longitude < s.EastLon;
  if (s.WestLon > s.EastLon) {
    return (s.WestLon < longitude && longitude <= 180) || (-180 <= longitude && longitude < s.EastLon);
  }
  return false;
}

std::string TuningLine(const std::string& stationName, const char* word, const std::string& frequency) {
  return "Tune " + stationName + word + frequency;
}

}  // namespace skyvox::atc
