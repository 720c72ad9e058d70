// The airport dialogue: the preparation common to clearance delivery, ground and tower, the dispatch
// to the service the pilot is tuned to, and clearance delivery itself.
#include <cstdint>
#include <string>

#include "atc/airport_dialogue.h"

#include "atc/atc_context.h"
#include "atc/ground.h"
#include "atc/tower.h"
#include "geo/geometry.h"

namespace skyvox::atc {
namespace {

constexpr const char* kSquawk = "0231";

void RunClearanceDelivery(AtcContext& context, const AirportPrep& prep,
                          const scenery::AirportRecord& airport) {
  session::PlayerRecord& pilot = context.Pilot();
  if (pilot.IfrPlanFiled != 1) return;

  if (!prep.AtAirport) {
    // Taking off or driving away without a clearance ends the plan: heard on this step, released on
    // the next.
    CancelOrReleaseIfr(pilot);
    return;
  }

  const std::string groundLine = TuningLine(airport.GroundName, kGroundWord, airport.GroundFreq);
  if (pilot.PendingChoice == 0) {
    ClearMenu(pilot);
    if (pilot.PilotRequest == states::kRequestingIfrClearance) {
      AddOption(pilot, "Request IFR Clearance");
    } else if (pilot.PilotRequest == states::kAcknowledgeIfrClearance) {
      AddOption(pilot, "Acknowledge IFR Clearance");
    } else if (pilot.PilotRequest == states::kContactingGround) {
      AddOption(pilot, groundLine);
    }
    return;
  }

  if (const std::string* chosen = ChosenOption(pilot)) {
    const std::string text = *chosen;
    if (text == "Request IFR Clearance") {
      pilot.LastAtcMessage = IfrClearanceText(context);
      pilot.PilotRequest = states::kAcknowledgeIfrClearance;
    } else if (text == "Acknowledge IFR Clearance") {
      pilot.LastAtcMessage = "readback is correct. Contact ground on " + airport.GroundFreq + ". Good day.";
      pilot.PilotRequest = states::kContactingGround;
    } else if (text == groundLine) {
      pilot.LastAtcMessage = "";
      pilot.TunedFrequency = airport.GroundFreq;
      pilot.FacilityType = facilities::kGround;
      pilot.PilotRequest = states::kRequestingTaxiIfr;
    }
  }
  ResetMenu(pilot);
}

}  // namespace

AirportPrep PrepareAirportDialogue(AtcContext& context, const scenery::AirportRecord& airport) {
  const session::PlayerRecord& pilot = context.Pilot();
  AirportPrep prep;

  // Tower finds the pilot in the runway queues by this index; duplicates resolve to the last one.
  const auto& roster = context.Link.PlayerRoster;
  for (int i = 0; i < context.Link.PlayerCount && static_cast<size_t>(i) < roster.size(); ++i) {
    const session::PlayerRecord& entry = roster[static_cast<size_t>(i)];
    if (entry.Name == pilot.Name && entry.PlayerId == pilot.PlayerId) prep.RosterIndex = i;
  }

  const scenery::RunwayRecord& runway = airport.MainRunway;
  const int16_t bearing =
      geo::MagneticBearing(runway.ThresholdLat, runway.ThresholdLon, pilot.Latitude, pilot.Longitude,
                           context.World.MagVarGrid, context.World.Corrected);
  int16_t runwayHeading = runway.MagHeading;
  geo::NormalizeHeading(runwayHeading);
  prep.RunwaySide = geo::RunwaySector(bearing, runwayHeading);
  prep.ThresholdDistanceNm =
      geo::DistanceNm(runway.ThresholdLat, runway.ThresholdLon, pilot.Latitude, pilot.Longitude);

  prep.AirportDistanceNm =
      geo::DistanceNm(airport.Latitude, airport.Longitude, pilot.Latitude, pilot.Longitude);
  prep.AtAirport = IsAtAirport(prep.AirportDistanceNm, pilot.Altitude, airport.ElevationFt);
  return prep;
}

std::string IfrClearanceText(AtcContext& context) {
  const session::PlayerRecord& pilot = context.Pilot();
  const CycleValues& cycle = context.Cycle;

  const scenery::AirportRecord* destination = ControlledAirportAt(context.World, pilot.DestinationAirport);
  const std::string destinationName = destination != nullptr ? destination->Name : std::string();

  std::string frequency;
  bool haveFrequency = false;
  if (cycle.ApproachAirportFound) {
    if (const scenery::AirportRecord* approach =
            ControlledAirportAt(context.World, cycle.ApproachAirportIndex)) {
      frequency = approach->ApproachFreq;
      haveFrequency = true;
    }
  } else if (cycle.CurrentCenterIndex >= 0 &&
             static_cast<size_t>(cycle.CurrentCenterIndex) < context.World.Airspaces.size()) {
    frequency = context.World.Airspaces[static_cast<size_t>(cycle.CurrentCenterIndex)].CenterFreq;
    haveFrequency = true;
  } else if (const scenery::AirportRecord* own = ControlledAirportAt(context.World, pilot.AirportIndex);
             own != nullptr && !own->ApproachFreq.empty()) {
    // No centre holds the pilot: the departure airport's own approach facility is where the tower
    // will send it after takeoff, so that is the frequency worth giving.
    frequency = own->ApproachFreq;
    haveFrequency = true;
  }

  std::string text = "is cleared to " + destinationName +
                     " airport as filed. Fly runway heading, climb and maintain " +
                     std::to_string(pilot.CruiseAltitude);
  if (haveFrequency) {
    text += ". Departure frequency is " + frequency + ", squawk " + kSquawk + ".";
  } else {
    text += ", squawk " + std::string(kSquawk) + ".";
  }
  return text;
}

void CancelOrReleaseIfr(session::PlayerRecord& pilot) {
  ResetMenu(pilot);
  if (pilot.PilotRequest == states::kCancelingIfr) {
    ReleaseAfterIfrCancellation(pilot);
  } else {
    pilot.LastAtcMessage = kIfrCancellationText;
    pilot.PilotRequest = states::kCancelingIfr;
  }
}

void ReleaseAfterIfrCancellation(session::PlayerRecord& pilot) {
  pilot.LastAtcMessage = "";
  pilot.TunedFrequency = "";
  pilot.FacilityType = "";
  pilot.PilotRequest = "";
  pilot.AirportIndex = -1;
  session::DropFlightPlan(pilot);
}

void RunAirportDialogue(AtcContext& context) {
  session::PlayerRecord& pilot = context.Pilot();
  const scenery::AirportRecord* airport = ControlledAirportAt(context.World, pilot.AirportIndex);
  if (airport == nullptr) return;  // an index past the table names no airport to talk for

  const AirportPrep prep = PrepareAirportDialogue(context, *airport);
  if (pilot.FacilityType == facilities::kClearance) {
    RunClearanceDelivery(context, prep, *airport);
  } else if (pilot.FacilityType == facilities::kGround) {
    RunGroundControl(context, prep);
  } else if (pilot.FacilityType == facilities::kTower) {
    RunTowerControl(context, prep);
  }
}

}  // namespace skyvox::atc
