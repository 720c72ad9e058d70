// Tower control: the runway of a controlled airport. Departures are cleared one at a time through the
// airport's departure queue (RuntimeList1), arrivals are brought into the pattern and numbered through
// its landing queue (RuntimeList2). Both queues hold roster indexes and end in a marker entry whose
// index is -1, so a queue is empty when its front entry is the marker.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "atc/tower.h"
#include "base/rounding.h"
#include "geo/geometry.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

using scenery::AirportRecord;
using scenery::RuntimeEntry;
using session::PlayerRecord;

using Queue = std::vector<RuntimeEntry>;

constexpr int32_t kQueueMarker = -1;
constexpr int kTowerRadiusNm = 20;

const char* const kLeavingAirspace = "you are leaving my airspace, frequency change approved.";

bool QueueIsEmpty(const Queue& queue) {
  return queue.empty() || queue.front().PlayerIndex == kQueueMarker;
}

// The pilot takes the marker's place and a new marker goes behind it. Returns the pilot's place,
// counting from 1.
int32_t JoinQueue(Queue& queue, int32_t rosterIndex) {
  if (queue.empty()) queue.push_back(RuntimeEntry{kQueueMarker, ""});
  queue.back().PlayerIndex = rosterIndex;
  queue.push_back(RuntimeEntry{kQueueMarker, ""});
  return static_cast<int32_t>(queue.size() - 1);
}

// Every entry of the pilot goes (a pilot that went around without leaving the queue may hold two); the
// entries behind move up. The queue keeps at least its marker.
void LeaveQueue(Queue& queue, int32_t rosterIndex) {
  for (size_t k = 0; k < queue.size();) {
    if (queue[k].PlayerIndex != rosterIndex) {
      ++k;
    } else if (queue.size() > 1) {
      queue.erase(queue.begin() + static_cast<std::ptrdiff_t>(k));
    } else {
      queue[k] = RuntimeEntry{kQueueMarker, ""};
      ++k;
    }
  }
}

// Off the tower frequency; the cycle offers the free tuning menu next.
void Release(PlayerRecord& pilot, bool keepMessage = false) {
  if (!keepMessage) pilot.LastAtcMessage = "";
  pilot.TunedFrequency = "";
  pilot.FacilityType = "";
  pilot.PilotRequest = "";
  pilot.AirportIndex = -1;
}

struct Tower {
  AtcContext& Context;
  PlayerRecord& Pilot;
  AirportRecord& Airport;
  const AirportPrep& Prep;
  int32_t Self;  // the pilot's roster index as the queues hold it
  bool Ifr;
};

const AirportRecord* ApproachAirport(const AtcContext& context) {
  const int32_t index = context.Cycle.ApproachAirportIndex;
  if (!context.Cycle.ApproachAirportFound || index < 0 ||
      static_cast<size_t>(index) >= context.World.ControlledAirports.size()) {
    return nullptr;
  }
  return &context.World.ControlledAirports[static_cast<size_t>(index)];
}

const scenery::AirspaceRecord* CurrentCenter(const AtcContext& context) {
  const int32_t index = context.Cycle.CurrentCenterIndex;
  if (index < 0 || static_cast<size_t>(index) >= context.World.Airspaces.size()) return nullptr;
  return &context.World.Airspaces[static_cast<size_t>(index)];
}

// The radar facility that takes the pilot after the tower: the approach whose zone holds the pilot,
// else the centre that contains it. With neither, this airport's own approach facility, as the IFR
// clearance named it for departure; none when the airport has none either.
struct RadarFacility {
  std::string Station;  // "<name> Approach" or "<name> Center"
  std::string Frequency;
};

std::optional<RadarFacility> NextRadarFacility(const AtcContext& context, const AirportRecord& own) {
  if (const AirportRecord* approach = ApproachAirport(context)) {
    return RadarFacility{approach->ApproachName + " Approach", approach->ApproachFreq};
  }
  if (const scenery::AirspaceRecord* center = CurrentCenter(context)) {
    return RadarFacility{center->CenterName + " Center", center->CenterFreq};
  }
  if (!own.ApproachFreq.empty()) return RadarFacility{own.ApproachName + " Approach", own.ApproachFreq};
  return std::nullopt;
}

std::optional<std::string> ApproachLine(const AtcContext& context) {
  const AirportRecord* approach = ApproachAirport(context);
  if (approach == nullptr) return std::nullopt;
  return TuningLine(approach->ApproachName, kApproachWord, approach->ApproachFreq);
}

std::optional<std::string> CenterLine(const AtcContext& context) {
  const scenery::AirspaceRecord* center = CurrentCenter(context);
  if (center == nullptr) return std::nullopt;
  return TuningLine(center->CenterName, kCenterWord, center->CenterFreq);
}

// Another roster entry is on its takeoff roll or climb-out (at any airport; corrected: at this one).
bool RunwayBusy(const Tower& t) {
  const auto& roster = t.Context.Link.PlayerRoster;
  // The design counts a takeoff at any airport. Corrected, only a pilot taking off from this airport
  // (tuned to it) makes its runway busy.
  const bool thisAirportOnly = t.Context.World.Corrected.Applies(Correction::RunwayBusyThisRunway);
  for (int i = 0; i < t.Context.Link.PlayerCount && static_cast<size_t>(i) < roster.size(); ++i) {
    const PlayerRecord& other = roster[static_cast<size_t>(i)];
    if (thisAirportOnly && other.AirportIndex != t.Pilot.AirportIndex) continue;
    if (i != t.Self && other.PilotRequest == states::kTakingoff) return true;
  }
  return false;
}

const char* TakeoffAcknowledgement(const Tower& t) {
  return t.Ifr ? states::kAcknowledgeTakeoffClearanceIfr : states::kAcknowledgeTakeoffClearanceVfr;
}

void RequestTakeoff(Tower& t) {
  const bool runwayFree = QueueIsEmpty(t.Airport.RuntimeList1) && QueueIsEmpty(t.Airport.RuntimeList2);
  JoinQueue(t.Airport.RuntimeList1, t.Self);
  if (runwayFree) {
    t.Pilot.LastAtcMessage = "cleared for takeoff.";
    t.Pilot.PilotRequest = TakeoffAcknowledgement(t);
  } else {
    t.Pilot.LastAtcMessage = "hold short.";
    t.Pilot.PilotRequest = states::kAcknowledgeHoldShort;
  }
}

void HoldShort(Tower& t) {
  const Queue& departures = t.Airport.RuntimeList1;
  if (!departures.empty() && departures.front().PlayerIndex == t.Self &&
      QueueIsEmpty(t.Airport.RuntimeList2)) {
    t.Pilot.LastAtcMessage = "cleared for takeoff.";
    t.Pilot.PilotRequest = TakeoffAcknowledgement(t);
  }
}

// The pilot leaves the tower's care once it is climbing and at least 1 nm past the runway's far end.
void FollowTakeoff(Tower& t) {
  const scenery::RunwayRecord& runway = t.Airport.MainRunway;
  // The scenery's Length is taken as feet; a distance argument is 16-bit.
  const geo::TargetPoint departureEnd =
      geo::DestinationPointFt(runway.ThresholdLat, runway.ThresholdLon, runway.MagHeading,
                              Saturate16(runway.Length), t.Context.World.Corrected);
  const int16_t e =
      geo::DistanceNm(departureEnd.Latitude, departureEnd.Longitude, t.Pilot.Latitude, t.Pilot.Longitude);
  if (!IsAbove(t.Pilot.Altitude, t.Airport.ElevationFt, t.Ifr ? 400 : 200) || e < 1) return;
  LeaveQueue(t.Airport.RuntimeList1, t.Self);
  if (!t.Ifr) {
    t.Pilot.PilotRequest = states::kFlyingTowersAirspace;
    return;
  }
  const std::optional<RadarFacility> next = NextRadarFacility(t.Context, t.Airport);
  t.Pilot.LastAtcMessage = next ? "contact departure on " + next->Frequency + "." : "contact departure.";
  t.Pilot.PilotRequest = states::kAcknowledgeHandoffContactDeparture;
}

void EnterPattern(Tower& t) {
  const std::string& side = t.Prep.RunwaySide;
  const std::string& runway = t.Airport.MainRunway.Ident;
  if (side == "north" || side == "northwest" || side == "west") {
    t.Pilot.LastAtcMessage = "make left downwind runway " + runway + ".";
  } else if (side == "northeast" || side == "east") {
    t.Pilot.LastAtcMessage = "make right downwind runway " + runway + ".";
  } else if (side == "southeast") {
    t.Pilot.LastAtcMessage = "make right base runway " + runway + ".";
  } else if (side == "southwest") {
    t.Pilot.LastAtcMessage = "make left base runway " + runway + ".";
  } else if (side == "south") {
    t.Pilot.LastAtcMessage = "make straight in runway " + runway + ".";
  }
  t.Pilot.PilotRequest = states::kFlyingPattern;
}

// On final within 8 nm the pilot gets its number; the number is given once, on joining the queue.
void ClearToLand(Tower& t) {
  if (t.Prep.ThresholdDistanceNm <= 8 && t.Prep.RunwaySide == "south") {
    const int32_t place = JoinQueue(t.Airport.RuntimeList2, t.Self);
    t.Pilot.LastAtcMessage = "cleared to land on runway " + t.Airport.MainRunway.Ident + ". Number " +
                             std::to_string(place) + " for landing.";
    t.Pilot.PilotRequest = states::kAcknowledgeLandingClearance;
  } else if (!t.Ifr) {
    AddOption(t.Pilot, "Cancel Landing Intentions");
  }
}

void FollowLanding(Tower& t) {
  const scenery::RunwayRecord& runway = t.Airport.MainRunway;
  if (IsAbove(t.Pilot.Altitude, runway.ThresholdElevationFt, 200)) {
    if (RunwayBusy(t) && t.Prep.ThresholdDistanceNm <= 2) {
      LeaveQueue(t.Airport.RuntimeList2, t.Self);
      t.Pilot.LastAtcMessage = "go around.";
      t.Pilot.PilotRequest = states::kAcknowledgeGoAround;
    } else {
      AddOption(t.Pilot, t.Ifr ? "Declare Missed Approach" : "Report Go-Around");
    }
    return;
  }
  t.Pilot.LastAtcMessage = "exit runway when able.";
  int16_t runwayHeading = runway.MagHeading;
  geo::NormalizeHeading(runwayHeading);
  int16_t from = static_cast<int16_t>(runwayHeading - 10);
  int16_t to = static_cast<int16_t>(runwayHeading + 10);
  geo::NormalizeHeading(from);
  geo::NormalizeHeading(to);
  int16_t heading = t.Pilot.Heading;  // the arc test may rewrite 0 as 360; the record keeps its value
  if (!geo::IsHeadingWithinArc(heading, from, to)) {
    LeaveQueue(t.Airport.RuntimeList2, t.Self);
    t.Pilot.LastAtcMessage = "contact ground on " + t.Airport.GroundFreq + ".";
    t.Pilot.PilotRequest = states::kAcknowledgeGroundHandoff;
  }
}

// A go-around the pilot reports or a missed approach it declares. The design keeps the pilot's place in
// the landing queue, so that every departure holds short until the pilot lands or leaves, and its next
// landing clearance gives it a second place behind the first. The corrected mode takes the pilot out
// of the queue, as a go-around the tower orders does; the next clearance gives it a place anew.
void LeaveLandingQueueOnGoAround(Tower& t) {
  if (t.Context.World.Corrected.Applies(Correction::GoAroundLeavesQueue)) {
    LeaveQueue(t.Airport.RuntimeList2, t.Self);
  }
}

void HandOffMissedApproach(Tower& t, bool declaredByPilot) {
  const std::optional<RadarFacility> next = NextRadarFacility(t.Context, t.Airport);
  const std::string contact =
      next ? "contact " + next->Station + " on " + next->Frequency + "." : "contact approach.";
  t.Pilot.LastAtcMessage = declaredByPilot ? "roger, " + contact : contact;
  t.Pilot.PilotRequest = states::kAcknowledgeHandoffMissedApproach;
}

// The tuning lines a VFR pilot may choose on tower frequency, matched against what the pilot can reach
// now; a stale line for a facility it has left matches nothing.
void TuneRadarFacility(Tower& t, const std::string& choice) {
  PlayerRecord& pilot = t.Pilot;
  if (const std::optional<std::string> line = ApproachLine(t.Context); line && choice == *line) {
    pilot.LastAtcMessage = "";
    pilot.TunedFrequency = ApproachAirport(t.Context)->ApproachFreq;
    pilot.FacilityType = facilities::kApproach;
    pilot.AirportIndex = t.Context.Cycle.ApproachAirportIndex;
    pilot.PilotRequest = "";
    return;
  }
  if (const std::optional<std::string> line = CenterLine(t.Context); line && choice == *line) {
    pilot.LastAtcMessage = "";
    pilot.TunedFrequency = CurrentCenter(t.Context)->CenterFreq;
    pilot.FacilityType = facilities::kCenter;
    pilot.CenterIndex = t.Context.Cycle.CurrentCenterIndex;
    pilot.PilotRequest = "";
  }
}

void ApplyVfrChoice(Tower& t, const std::string& choice) {
  PlayerRecord& pilot = t.Pilot;
  if (choice == "Request Takeoff Clearance VFR") {
    RequestTakeoff(t);
  } else if (choice == "Acknowledge Takeoff Clearance VFR") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kTakingoff;
  } else if (choice == "Acknowledge Hold Short") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kHoldingShort;
  } else if (choice == "Request Full Stop Landing") {
    EnterPattern(t);
  } else if (choice == "Cancel Landing Intentions") {
    pilot.LastAtcMessage = "your cancelation is received.";
    pilot.PilotRequest = "";
  } else if (choice == "Acknowledge Landing Clearance") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kLanding;
  } else if (choice == "Acknowledge Go-Around") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kGoingAround;
  } else if (choice == "Report Go-Around") {
    LeaveLandingQueueOnGoAround(t);
    pilot.LastAtcMessage = "roger.";
    pilot.PilotRequest = states::kGoingAround;
  } else if (choice == "Acknowledge Ground Handoff") {
    Release(pilot);
  } else {
    TuneRadarFacility(t, choice);
  }
}

void ApplyIfrChoice(Tower& t, const std::string& choice) {
  PlayerRecord& pilot = t.Pilot;
  if (choice == "Request Takeoff Clearance IFR") {
    RequestTakeoff(t);
  } else if (choice == "Acknowledge Takeoff Clearance IFR") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kTakingoff;
  } else if (choice == "Acknowledge Handoff") {
    const bool toDeparture = pilot.PilotRequest == states::kAcknowledgeHandoffContactDeparture;
    if (toDeparture || pilot.PilotRequest == states::kAcknowledgeHandoffMissedApproach) {
      pilot.LastAtcMessage = "";
      pilot.TunedFrequency = "";
      pilot.FacilityType = "";
      pilot.PilotRequest =
          toDeparture ? states::kContactingDepartureDepartureAirport : states::kMissedApproach;
    }
  } else if (choice == "Acknowledge Hold Short") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kHoldingShort;
  } else if (choice == "Acknowledge Landing Clearance") {
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = states::kLanding;
  } else if (choice == "Acknowledge Go-Around" || choice == "Declare Missed Approach") {
    if (choice == "Declare Missed Approach") LeaveLandingQueueOnGoAround(t);
    HandOffMissedApproach(t, choice == "Declare Missed Approach");
  } else if (choice == "Acknowledge Ground Handoff") {
    Release(pilot);
    pilot.IfrPlanFiled = 0;
  } else if (choice == "Cancel IFR") {
    pilot.LastAtcMessage = kIfrCancellationText;
    pilot.PilotRequest = states::kCancelingIfr;
  }
}

void BuildVfrMenu(Tower& t) {
  PlayerRecord& pilot = t.Pilot;
  ClearMenu(pilot);
  const std::string state = pilot.PilotRequest;
  const bool airborne = IsAbove(pilot.Altitude, t.Airport.ElevationFt, 200);
  if (state.empty()) {
    if (!airborne) {
      Release(pilot);
      return;
    }
    AddOption(pilot, "Request Full Stop Landing");
    if (const std::optional<std::string> line = ApproachLine(t.Context)) {
      AddOption(pilot, *line);
    } else if (const std::optional<std::string> center = CenterLine(t.Context)) {
      AddOption(pilot, *center);
    }
  } else if (state == states::kFlyingTowersAirspace) {
    if (!airborne) {
      Release(pilot);
    } else if (t.Prep.AirportDistanceNm <= 4 && !IsAbove(pilot.Altitude, t.Airport.ElevationFt, 2500)) {
      AddOption(pilot, "Request Full Stop Landing");
    } else {
      pilot.LastAtcMessage = kLeavingAirspace;
      Release(pilot, /*keepMessage=*/true);
    }
  } else if (state == states::kTaxiing) {
    AddOption(pilot, "Request Takeoff Clearance VFR");
  } else if (state == states::kAcknowledgeTakeoffClearanceVfr || state == states::kAcknowledgeHoldShort ||
             state == states::kAcknowledgeLandingClearance || state == states::kAcknowledgeGoAround ||
             state == states::kAcknowledgeGroundHandoff) {
    AddOption(pilot, state);
  } else if (state == states::kHoldingShort) {
    HoldShort(t);
  } else if (state == states::kTakingoff) {
    FollowTakeoff(t);
  } else if (state == states::kFlyingPattern) {
    ClearToLand(t);
  } else if (state == states::kLanding) {
    FollowLanding(t);
  } else if (state == states::kGoingAround) {
    if (t.Prep.RunwaySide != "south") pilot.PilotRequest = states::kFlyingPattern;
  }
}

void BuildIfrMenu(Tower& t) {
  PlayerRecord& pilot = t.Pilot;
  ClearMenu(pilot);
  const std::string state = pilot.PilotRequest;
  if (state == states::kTaxiing) {
    AddOption(pilot, "Request Takeoff Clearance IFR");
    AddOption(pilot, "Cancel IFR");
  } else if (state == states::kAcknowledgeTakeoffClearanceIfr || state == states::kAcknowledgeHoldShort ||
             state == states::kAcknowledgeLandingClearance || state == states::kAcknowledgeGoAround ||
             state == states::kAcknowledgeGroundHandoff) {
    AddOption(pilot, state);
  } else if (state == states::kAcknowledgeHandoffContactDeparture ||
             state == states::kAcknowledgeHandoffMissedApproach) {
    AddOption(pilot, "Acknowledge Handoff");
  } else if (state == states::kHoldingShort) {
    HoldShort(t);
  } else if (state == states::kTakingoff) {
    FollowTakeoff(t);
  } else if (state == states::kApproaching) {
    EnterPattern(t);
  } else if (state == states::kFlyingPattern) {
    ClearToLand(t);
  } else if (state == states::kLanding) {
    FollowLanding(t);
  } else if (state == states::kCancelingIfr) {
    ReleaseAfterIfrCancellation(pilot);
  } else {
    // A state the IFR dialogue does not know: the plan is dropped and the pilot, still on tower
    // frequency, is served as VFR from the next step on.
    pilot.LastAtcMessage = "";
    pilot.PilotRequest = "";
    session::DropFlightPlan(pilot);
    session::RemovePlayerFromAirportLists(t.Context.World, t.Self);
  }
}

void RunVfr(Tower& t) {
  PlayerRecord& pilot = t.Pilot;
  if (t.Prep.AirportDistanceNm > kTowerRadiusNm) {
    ResetMenu(pilot);
    if (pilot.PilotRequest == states::kChangingFrequency) {
      Release(pilot);
      session::RemovePlayerFromAirportLists(t.Context.World, t.Self);
    } else {
      pilot.LastAtcMessage = kLeavingAirspace;
      pilot.PilotRequest = states::kChangingFrequency;
      session::ClearPlannedRoute(pilot);
    }
    return;
  }
  if (pilot.PendingChoice == 0) {
    BuildVfrMenu(t);
    return;
  }
  if (const std::string* choice = ChosenOption(pilot)) ApplyVfrChoice(t, std::string(*choice));
  ResetMenu(pilot);
}

void RunIfr(Tower& t) {
  PlayerRecord& pilot = t.Pilot;
  if (t.Prep.AirportDistanceNm > kTowerRadiusNm) {
    CancelOrReleaseIfr(pilot);
    return;
  }
  if (pilot.PendingChoice == 0) {
    BuildIfrMenu(t);
    return;
  }
  if (const std::string* choice = ChosenOption(pilot)) ApplyIfrChoice(t, std::string(*choice));
  ResetMenu(pilot);
}

// 60 s of 500-ms ATC cycles.
constexpr int32_t kSilentCyclesBeforeRelease = 120;

bool HoldsRunwayPlace(const Tower& t) {
  for (const Queue* queue : {&t.Airport.RuntimeList1, &t.Airport.RuntimeList2}) {
    for (const RuntimeEntry& entry : *queue) {
      if (entry.PlayerIndex == t.Self) return true;
    }
  }
  return false;
}

// A pilot whose position reports stopped (its simulator gone, yet still in the session) keeps its place
// in a runway queue for ever in the design, and every pilot behind it waits. In the corrected mode one
// that holds a place after 60 s without a report loses it, is told so and leaves the tower; the others
// move up. The silence is counted once per cycle (a pass that takes a choice is followed by another in
// the same cycle), and the receive loop starts it over with each position report.
bool ReleaseIfSilent(Tower& t) {
  PlayerRecord& pilot = t.Pilot;
  if (pilot.PendingChoice == 0 && pilot.CyclesWithoutPosition < kSilentCyclesBeforeRelease) {
    ++pilot.CyclesWithoutPosition;
  }
  if (pilot.CyclesWithoutPosition < kSilentCyclesBeforeRelease || !HoldsRunwayPlace(t)) return false;
  LeaveQueue(t.Airport.RuntimeList1, t.Self);
  LeaveQueue(t.Airport.RuntimeList2, t.Self);
  ResetMenu(pilot);
  pilot.LastAtcMessage = "radar contact lost, you are removed from the sequence.";
  Release(pilot, /*keepMessage=*/true);
  return true;
}

}  // namespace

void RunTowerControl(AtcContext& context, const AirportPrep& prep) {
  PlayerRecord& pilot = context.Pilot();
  // Read as the airport dialogue reads it (an index of -1 as 0), so the tower talks for the airport
  // the preparation was made for.
  AirportRecord* airport = ControlledAirportAt(context.World, pilot.AirportIndex);
  if (airport == nullptr) return;
  const int32_t self = prep.RosterIndex >= 0 ? prep.RosterIndex : context.PilotIndex;
  // Only a known flight plan makes an IFR pilot; any other value is served as VFR.
  Tower tower{context, pilot, *airport, prep, self, pilot.IfrPlanFiled == 1};
  if (context.World.Corrected.Applies(Correction::SilentPilotsReleaseSlots) && ReleaseIfSilent(tower)) return;
  if (tower.Ifr) {
    RunIfr(tower);
  } else {
    RunVfr(tower);
  }
}

}  // namespace skyvox::atc
