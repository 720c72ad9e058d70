// Choosing a controlled airport to fly to, then its tower frequency.
#include "atc/atc_context.h"

namespace skyvox::atc {
namespace {

std::string Label(const scenery::AirportRecord& a) {
  return a.Ident + " (" + a.Name + ")";
}

void DropSelection(session::PlayerRecord& p) {
  p.PilotRequest = "";
  p.TunedFrequency = "";
  p.FacilityType = "";
  p.AirportIndex = -1;
  p.CenterIndex = -1;
}

// The chosen option's text, or nothing when the choice is above the option count.
const std::string* Chosen(const session::PlayerRecord& p) {
  if (p.PendingChoice > p.MenuOptionCount) return nullptr;
  return &p.MenuOptions[static_cast<size_t>(p.PendingChoice) - 1];
}

}  // namespace

void SelectControlledAirport(AtcContext& context) {
  session::PlayerRecord& p = context.Pilot();
  auto& world = context.World;
  auto airportAt = [&](int32_t index) -> const scenery::AirportRecord& {
    return world.ControlledAirports[static_cast<size_t>(index < 0 ? 0 : index)];
  };

  if (p.PilotRequest == "Selecting a controlled airport") {
    if (p.PendingChoice != 0) {
      if (const std::string* chosen = Chosen(p)) {
        const std::string text = *chosen;
        if (text == "Back") DropSelection(p);
        for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
          if (text == Label(airportAt(a))) {
            p.PilotRequest = "Selecting one frequency";
            p.AirportIndex = a;
          }
        }
      }
      ResetMenu(p);
      return;
    }
    ClearMenu(p);
    for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
      const auto& airport = airportAt(a);
      if (geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude) <= 20 &&
          !airport.TowerFreq.empty()) {
        AddOption(p, Label(airport));
      }
    }
    AddOption(p, "Back");
    if (context.Cycle.NearestAirportFound &&
        p.Altitude <= airportAt(context.Cycle.NearestAirportIndex).ElevationFt + 200) {
      DropSelection(p);  // on the ground at an airport
    }
    return;
  }

  if (p.PilotRequest == "Selecting one frequency") {
    const auto& airport = airportAt(p.AirportIndex);
    const std::string towerLine = TuningLine(airport.TowerName, kTowerWord, airport.TowerFreq);
    if (p.PendingChoice != 0) {
      if (const std::string* chosen = Chosen(p)) {
        if (*chosen == "Back") {
          DropSelection(p);
          p.PilotRequest = "Selecting a controlled airport";
        } else if (*chosen == towerLine) {
          p.LastAtcMessage = "";
          p.PilotRequest = "";
          p.TunedFrequency = airport.TowerFreq;
          p.FacilityType = "Tower";
        }
      }
      ResetMenu(p);
      return;
    }
    ClearMenu(p);
    if (!airport.TowerFreq.empty() &&
        geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude) <= 20 &&
        p.Altitude > airport.ElevationFt + 200) {
      AddOption(p, towerLine);
    }
    AddOption(p, "Back");
    if (p.Altitude <= airport.ElevationFt + 200) DropSelection(p);
  }
}

}  // namespace skyvox::atc
