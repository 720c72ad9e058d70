// Ground control: gate and parking assignment, taxi clearances to the main runway or to a spot, the
// handoff to the tower, the IFR clearance for pilots who come to ground first, and the end of the
// dialogue for pilots who park, leave or take off without a clearance.
#include <algorithm>
#include <cstdint>
#include <string>

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "atc/ground.h"
#include "atc/taxi.h"
#include "base/text.h"
#include "geo/geometry.h"

namespace skyvox::atc {
namespace {

constexpr const char* kRunwayKind = "Runway";
constexpr const char* kSpotKind = "Gate or parking";

struct SpotAvailability {
  bool FreeGate = false;
  bool FreeParking = false;
  bool Computed = false;  // false when the airport lacks a taxi network or spots: then nothing is free
};

bool IsGate(const scenery::ParkingRecord& spot) {
  return ToUpperAscii(spot.Name).find("GATE") != std::string::npos;
}

bool HasTaxiNetwork(const scenery::AirportRecord& airport) {
  return airport.TaxiPointCount > 0 && airport.TaxiPathCount > 0;
}

size_t SpotCount(const scenery::AirportRecord& airport) {
  return std::min(static_cast<size_t>(std::max<int16_t>(airport.ParkingCount, 0)),
                  airport.ParkingSpots.size());
}

size_t PathCount(const scenery::AirportRecord& airport) {
  return std::min(static_cast<size_t>(std::max<int16_t>(airport.TaxiPathCount, 0)), airport.TaxiPaths.size());
}

// A spot is free when a parking path reaches it and no roster entry (the asking pilot included) stands
// within its radius. Rewrites every spot's Occupied flag.
SpotAvailability UpdateSpotAvailability(const session::SessionLink& link, scenery::AirportRecord& airport) {
  SpotAvailability result;
  if (airport.TaxiPointCount <= 0 || airport.TaxiPathCount <= 0 || airport.ParkingCount <= 0) return result;
  result.Computed = true;

  const size_t spots = SpotCount(airport);
  const size_t paths = PathCount(airport);
  const size_t entries =
      std::min(static_cast<size_t>(std::max<int16_t>(link.PlayerCount, 0)), link.PlayerRoster.size());
  for (size_t k = 0; k < spots; ++k) {
    scenery::ParkingRecord& spot = airport.ParkingSpots[k];
    spot.Occupied = 1;
    for (size_t p = 0; p < paths; ++p) {
      const scenery::TaxiPath& path = airport.TaxiPaths[p];
      if (path.PathType == 2 && path.EndPoint >= 0 && static_cast<size_t>(path.EndPoint) == k)
        spot.Occupied = 0;
    }
    for (size_t e = 0; e < entries; ++e) {
      const session::PlayerRecord& entry = link.PlayerRoster[e];
      if (geo::DistanceFt(entry.Latitude, entry.Longitude, spot.Latitude, spot.Longitude) < spot.RadiusFt) {
        spot.Occupied = 1;
      }
    }
    if (spot.Occupied == 0) {
      if (IsGate(spot)) {
        result.FreeGate = true;
      } else {
        result.FreeParking = true;
      }
    }
  }
  return result;
}

void EmptyTaxiRoute(session::PlayerRecord& pilot) {
  pilot.TaxiRoute.assign(1, scenery::TaxiPath{});
  pilot.TaxiTarget = geo::TargetPoint{};
}

// Released from ground: untuned, no plan airports; IfrPlanFiled is left as it is.
void ReleaseFromGround(session::PlayerRecord& pilot) {
  pilot.LastAtcMessage = "";
  pilot.PilotRequest = "";
  pilot.FacilityType = "";
  pilot.TunedFrequency = "";
  pilot.AirportIndex = -1;
  session::ClearPlannedRoute(pilot);
  EmptyTaxiRoute(pilot);
}

void TaxiToRunway(AtcContext& context, const scenery::AirportRecord& airport) {
  const scenery::RunwayRecord& runway = airport.MainRunway;
  const geo::TargetPoint target{runway.Ident, kRunwayKind, runway.ThresholdLat, runway.ThresholdLon,
                                runway.ThresholdElevationFt};
  if (HasTaxiNetwork(airport)) {
    BuildTaxiInstructions(context, target);
    return;
  }
  session::PlayerRecord& pilot = context.Pilot();
  pilot.LastAtcMessage = "taxi to and hold short on runway " + runway.Ident + ". Contact tower on " +
                         airport.TowerFreq + " when ready.";
  pilot.TaxiTarget = target;
  pilot.PilotRequest = states::kAcknowledgeTaxiClearance;
}

// Taxi to the first free spot of the asked class. Without one (taken since the menu was offered) the
// request falls through like an unknown choice and the rebuilt menu no longer offers it.
void TaxiToSpot(AtcContext& context, const scenery::AirportRecord& airport, const SpotAvailability& spots,
                bool gate) {
  if (!spots.Computed) return;
  const size_t count = SpotCount(airport);
  for (size_t k = 0; k < count; ++k) {
    const scenery::ParkingRecord& spot = airport.ParkingSpots[k];
    if (spot.Occupied != 0 || IsGate(spot) != gate) continue;
    const geo::TargetPoint target{spot.Name, kSpotKind, spot.Latitude, spot.Longitude, 0};
    if (HasTaxiNetwork(airport)) {
      BuildTaxiInstructions(context, target);
    } else {
      session::PlayerRecord& pilot = context.Pilot();
      pilot.LastAtcMessage =
          "taxi to " + UpperCaseCp1252(spot.Name) +
          ". If you don't know where is the GATE or PARKING then taxi anywhere but out of the "
          "runway/s.";
      pilot.TaxiTarget = target;
      pilot.PilotRequest = states::kAcknowledgeTaxiClearance;
    }
    return;
  }
}

void HandOffToTower(session::PlayerRecord& pilot, const scenery::AirportRecord& airport) {
  pilot.LastAtcMessage = "";
  pilot.TunedFrequency = airport.TowerFreq;
  pilot.FacilityType = facilities::kTower;
  EmptyTaxiRoute(pilot);  // PilotRequest stays "Taxiing": the tower takes it from there
}

void CancelIfr(session::PlayerRecord& pilot) {
  pilot.LastAtcMessage = kIfrCancellationText;
  pilot.PilotRequest = states::kCancelingIfr;
}

std::string TowerLine(const scenery::AirportRecord& airport) {
  return TuningLine(airport.TowerName, kTowerWord, airport.TowerFreq);
}

void VfrAtAirport(AtcContext& context, const scenery::AirportRecord& airport, const SpotAvailability& spots) {
  session::PlayerRecord& pilot = context.Pilot();
  const std::string state = pilot.PilotRequest;
  const std::string kind = pilot.TaxiTarget.Kind;

  if (pilot.PendingChoice != 0) {
    if (const std::string* chosen = ChosenOption(pilot)) {
      const std::string text = *chosen;
      if (state.empty()) {
        if (text == "Request Taxi for Takeoff") {
          TaxiToRunway(context, airport);
        } else if (text == "Request Taxi to Gate") {
          TaxiToSpot(context, airport, spots, true);
        } else if (text == "Request Taxi to Parking") {
          TaxiToSpot(context, airport, spots, false);
        }
      } else if (state == states::kAcknowledgeTaxiClearance) {
        if (text == "Acknowledge Taxi Clearance") {
          if (kind == kRunwayKind) pilot.LastAtcMessage = "";
          if (kind == kSpotKind) pilot.LastAtcMessage = "report when you are parked in the gate or parking.";
          pilot.PilotRequest = states::kTaxiing;
        }
      } else if (state == states::kTaxiing && kind == kRunwayKind) {
        if (text == TowerLine(airport)) HandOffToTower(pilot, airport);
      } else if (state == states::kTaxiing && kind == kSpotKind) {
        if (text == "Report Parking") {
          pilot.LastAtcMessage = "";
          pilot.PilotRequest = "";
          EmptyTaxiRoute(pilot);
        }
      }
    }
    ResetMenu(pilot);
    return;
  }

  ClearMenu(pilot);
  if (state.empty()) {
    AddOption(pilot, "Request Taxi for Takeoff");
    if (spots.FreeGate) AddOption(pilot, "Request Taxi to Gate");
    if (spots.FreeParking) AddOption(pilot, "Request Taxi to Parking");
  } else if (state == states::kAcknowledgeTaxiClearance) {
    AddOption(pilot, "Acknowledge Taxi Clearance");
  } else if (state == states::kTaxiing && kind == kRunwayKind) {
    AddOption(pilot, TowerLine(airport));
  } else if (state == states::kTaxiing && kind == kSpotKind) {
    AddOption(pilot, "Report Parking");
  } else {
    ReleaseFromGround(pilot);
  }
}

void VfrAwayFromAirport(session::PlayerRecord& pilot, const scenery::AirportRecord& airport) {
  ResetMenu(pilot);
  session::ClearPlannedRoute(pilot);
  EmptyTaxiRoute(pilot);

  const bool airborne = IsAbove(pilot.Altitude, airport.ElevationFt, kGroundBandFt);
  if (airborne && pilot.PilotRequest != states::kPlayerIsAirbone) {
    // Took off from ground frequency: told once, released on the next step.
    pilot.LastAtcMessage = "you were not cleared for takeoff.";
    pilot.PilotRequest = states::kPlayerIsAirbone;
    return;
  }
  pilot.LastAtcMessage = "";
  pilot.TunedFrequency = "";
  pilot.FacilityType = "";
  pilot.PilotRequest = "";
  pilot.AirportIndex = -1;
}

void IfrAtAirport(AtcContext& context, const scenery::AirportRecord& airport) {
  session::PlayerRecord& pilot = context.Pilot();
  const std::string state = pilot.PilotRequest;
  const std::string kind = pilot.TaxiTarget.Kind;

  if (pilot.PendingChoice != 0) {
    if (const std::string* chosen = ChosenOption(pilot)) {
      const std::string text = *chosen;
      if (state == states::kRequestingIfrClearance) {
        if (text == "Request IFR Clearance") {
          pilot.LastAtcMessage = IfrClearanceText(context);
          pilot.PilotRequest = states::kAcknowledgeIfrClearance;
        }
      } else if (state == states::kAcknowledgeIfrClearance) {
        if (text == "Acknowledge IFR Clearance") {
          pilot.LastAtcMessage = "readback is correct. Request taxi. Good day.";
          pilot.PilotRequest = states::kRequestingTaxiIfr;
        }
      } else if (state == states::kRequestingTaxiIfr) {
        if (text == "Request Taxi IFR") {
          TaxiToRunway(context, airport);
        } else if (text == "Cancel IFR") {
          CancelIfr(pilot);
        }
      } else if (state == states::kAcknowledgeTaxiClearance) {
        if (text == "Acknowledge Taxi Clearance") {
          if (kind == kRunwayKind) pilot.LastAtcMessage = "";
          pilot.PilotRequest = states::kTaxiing;
        }
      } else if (state == states::kTaxiing && kind == kRunwayKind) {
        if (text == TowerLine(airport)) {
          HandOffToTower(pilot, airport);
        } else if (text == "Cancel IFR") {
          CancelIfr(pilot);
        }
      }
    }
    ResetMenu(pilot);
    return;
  }

  ClearMenu(pilot);
  if (state == states::kRequestingIfrClearance) {
    AddOption(pilot, "Request IFR Clearance");
  } else if (state == states::kAcknowledgeIfrClearance) {
    AddOption(pilot, "Acknowledge IFR Clearance");
  } else if (state == states::kRequestingTaxiIfr) {
    AddOption(pilot, "Request Taxi IFR");
    AddOption(pilot, "Cancel IFR");
  } else if (state == states::kAcknowledgeTaxiClearance) {
    AddOption(pilot, "Acknowledge Taxi Clearance");
  } else if (state == states::kTaxiing && kind == kRunwayKind) {
    AddOption(pilot, TowerLine(airport));
    AddOption(pilot, "Cancel IFR");
  } else if (state == states::kTaxiing && kind == kSpotKind) {
    // An IFR pilot bound for a spot has nothing to ask of ground.
  } else if (state == states::kCancelingIfr) {
    ReleaseAfterIfrCancellation(pilot);
    EmptyTaxiRoute(pilot);
  } else {
    ReleaseFromGround(pilot);
  }
}

void IfrAwayFromAirport(session::PlayerRecord& pilot) {
  ResetMenu(pilot);
  if (pilot.PilotRequest == states::kCancelingIfr) {
    ReleaseAfterIfrCancellation(pilot);
    EmptyTaxiRoute(pilot);
  } else {
    CancelIfr(pilot);
  }
}

}  // namespace

void RunGroundControl(AtcContext& context, const AirportPrep& prep) {
  session::PlayerRecord& pilot = context.Pilot();
  scenery::AirportRecord* airport = ControlledAirportAt(context.World, pilot.AirportIndex);
  if (airport == nullptr) return;

  const SpotAvailability spots = UpdateSpotAvailability(context.Link, *airport);
  if (pilot.IfrPlanFiled == 0) {
    if (prep.AtAirport) {
      VfrAtAirport(context, *airport, spots);
    } else {
      VfrAwayFromAirport(pilot, *airport);
    }
  } else if (pilot.IfrPlanFiled == 1) {
    if (prep.AtAirport) {
      IfrAtAirport(context, *airport);
    } else {
      IfrAwayFromAirport(pilot);
    }
  }
}

}  // namespace skyvox::atc
