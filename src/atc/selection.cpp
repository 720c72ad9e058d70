// Choosing a controlled airport to fly to, then its tower frequency.
#include "atc/selection.h"

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

}  // namespace

void SelectControlledAirport(AtcContext& context) {
  session::PlayerRecord& p = context.Pilot();
  auto& world = context.World;
  auto airportAt = [&](int32_t index) -> const scenery::AirportRecord& {
    return world.ControlledAirports[TableSlot(index)];
  };

  if (p.PilotRequest == states::kSelectingAControlledAirport) {
    if (p.PendingChoice != 0) {
      if (const std::string* chosen = ChosenOption(p)) {
        const std::string text = *chosen;
        if (text == "Back") DropSelection(p);
        for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
          if (text == Label(airportAt(a))) {
            p.PilotRequest = states::kSelectingOneFrequency;
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
        !IsAbove(p.Altitude, airportAt(context.Cycle.NearestAirportIndex).ElevationFt, kGroundBandFt)) {
      DropSelection(p);  // on the ground at an airport
    }
    return;
  }

  if (p.PilotRequest == states::kSelectingOneFrequency) {
    const auto& airport = airportAt(p.AirportIndex);
    const std::string towerLine = TuningLine(airport.TowerName, kTowerWord, airport.TowerFreq);
    if (p.PendingChoice != 0) {
      if (const std::string* chosen = ChosenOption(p)) {
        if (*chosen == "Back") {
          DropSelection(p);
          p.PilotRequest = states::kSelectingAControlledAirport;
        } else if (*chosen == towerLine) {
          p.LastAtcMessage = "";
          p.PilotRequest = "";
          p.TunedFrequency = airport.TowerFreq;
          p.FacilityType = facilities::kTower;
        }
      }
      ResetMenu(p);
      return;
    }
    ClearMenu(p);
    if (!airport.TowerFreq.empty() &&
        geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude) <=
            kAirportZoneRadiusNm &&
        IsAbove(p.Altitude, airport.ElevationFt, kGroundBandFt)) {
      AddOption(p, towerLine);
    }
    AddOption(p, "Back");
    if (!IsAbove(p.Altitude, airport.ElevationFt, kGroundBandFt)) DropSelection(p);
  }
}

}  // namespace skyvox::atc
