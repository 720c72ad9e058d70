// Departure, approach and center control. One implementation serves all three: the approach facility
// of a controlled airport holds the 20-nm cylinder around it, a centre its bounding box; inside, the
// pilot gets flight following (no IFR plan) or the IFR dialogue: climb-out and release to own
// navigation, then within 90 nm of the destination vectors to named waypoints around its main runway,
// ending in an ILS clearance or a visual approach and the handoff to the tower. Leaving the airspace
// hands the pilot to the next facility with the dialogue state kept behind "Out of Airspace - ".
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "atc/selection.h"
#include "base/corrected_mode.h"
#include "base/rounding.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "radar/radar_control.h"
#include "radar/radar_index.h"
#include "radar/traffic.h"
#include "scenery/records.h"
#include "scenery/terrain_index.h"
#include "session/roster.h"

namespace skyvox::atc {
namespace {

using geo::TargetPoint;
using scenery::AirportRecord;
using session::PlayerRecord;

constexpr const char* kPassedWaypoint = "Passed Waypoint";
constexpr const char* kSouthWaypoint = "South";

constexpr int kDescentRangeNm = 90;     // an IFR arrival starts its descent within this of the airport
constexpr int kTowerHandoffNm = 10;     // approach hands an established arrival to the tower here
constexpr int kMinimumLegNm = 15;       // waypoints lie at least this far from the threshold
constexpr int kFinalApproachFixNm = 7;  // the ILS and visual approaches aim at this point on final
constexpr int kVectorMinutes = 2;       // points this close in time are not worth a vector
constexpr int kAltitudeStepFt = 2000;   // clearance above terrain, and re-vector threshold

// Which table of IFR states a call follows: the departure facility's, the approach facility's, or the
// center's (which holds both the departure and the arrival states).
enum class IfrService { Departure, Arrival, Center };

// Where the aircraft is relative to the destination airport and its main runway.
struct Position {
  int16_t ThresholdNm = 0;  // distThr
  std::string Sector;       // runway-relative compass word of the bearing from the threshold
  int16_t AirportNm = 0;    // distApt
  std::string DirWord;      // true-north compass word of the bearing from the reference point
  int16_t Left = 0;         // courses from the threshold to the waypoints
  int16_t Right = 0;
  int16_t Final = 0;
};

struct Radar {
  AtcContext& Context;
  PlayerRecord& Pilot;
  bool Center;
  const AirportRecord* Destination;  // never null; an empty airport when the index is past the table
  Position Where;
  std::string Message;  // the vectoring's message accumulator
};

// One correction each way, as NormalizeHeading does, on a sum that may leave the 16-bit range.
int16_t Heading(int value) {
  if (value > 360) value -= 360;
  if (value < 0) value += 360;
  return Saturate16(value);
}

// Altitudes plus a margin; elevations come from files and may be anything, so the sum saturates.
int32_t PlusFeet(int32_t altitude, int32_t margin) {
  const int64_t sum = static_cast<int64_t>(altitude) + margin;
  return sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return ToLowerAscii(text).find(ToLowerAscii(part)) != std::string::npos;
}

std::string Number(int64_t value) {
  return std::to_string(value);
}

void ClearWaypoint(PlayerRecord& p, bool withHeadingAndAltitude) {
  p.VectorWaypoint = TargetPoint{};
  if (withHeadingAndAltitude) {
    p.AssignedHeading = 0;
    p.AssignedAltitude = 0;
  }
}

// The airport dialogue's release, plus the radar's own fields: traffic reported and the vector.
void ReleasePilot(PlayerRecord& p) {
  ReleaseAfterIfrCancellation(p);
  p.ReportedTraffic = "";
  ClearWaypoint(p, true);
}

void CancelIfr(PlayerRecord& p) {
  p.LastAtcMessage = kIfrCancellationText;
  p.PilotRequest = states::kCancelingIfr;
}

const scenery::RunwayRecord& Runway(const Radar& r) {
  return r.Destination->MainRunway;
}

// The arithmetic of the vectoring needs a positive ground speed; callers check it. Minutes are an
// Integer: a crawling aircraft far from its point overflows them, a run-time error (OverflowError).
int16_t MinutesTo(const PlayerRecord& p, int16_t distanceNm) {
  return CInt(static_cast<double>(distanceNm) / p.GroundSpeed * 60);
}

int16_t DistanceFromAircraft(const PlayerRecord& p, const TargetPoint& point) {
  return geo::DistanceNm(point.Latitude, point.Longitude, p.Latitude, p.Longitude);
}

TargetPoint FromThreshold(const Radar& r, int16_t course, int16_t distanceNm, const char* name) {
  const scenery::RunwayRecord& runway = Runway(r);
  TargetPoint point = geo::DestinationPointNm(runway.ThresholdLat, runway.ThresholdLon, course, distanceNm,
                                              r.Context.World.Corrected);
  point.Name = name;
  return point;
}

void Locate(Radar& r) {
  const PlayerRecord& p = r.Pilot;
  const scenery::RunwayRecord& runway = Runway(r);
  const geo::MagVarGrid& grid = r.Context.World.MagVarGrid;
  const int16_t runwayHeading = Heading(runway.MagHeading);
  Position& w = r.Where;
  w.ThresholdNm = geo::DistanceNm(runway.ThresholdLat, runway.ThresholdLon, p.Latitude, p.Longitude);
  w.Sector = geo::RunwaySector(geo::MagneticBearing(runway.ThresholdLat, runway.ThresholdLon, p.Latitude,
                                                    p.Longitude, grid, r.Context.World.Corrected),
                               runwayHeading);
  const AirportRecord& d = *r.Destination;
  w.AirportNm = geo::DistanceNm(d.Latitude, d.Longitude, p.Latitude, p.Longitude);
  w.DirWord = geo::RunwaySector(
      geo::TrueBearing(d.Latitude, d.Longitude, p.Latitude, p.Longitude, r.Context.World.Corrected), 0);
  w.Left = Heading(runwayHeading - 135);
  w.Right = Heading(runwayHeading + 135);
  w.Final = Heading(runwayHeading - 180);
}

// True when two latitudes alone put the points more than `radius` whole nautical miles apart: a
// degree of latitude is 60 nm at least whatever the longitudes, so DistanceNm cannot round down to
// the radius. Such points need no distance. (NaN latitudes fail this test and go on to DistanceNm.)
bool BeyondNm(double latitude1, double latitude2, int16_t radius) {
  return std::fabs(latitude1 - latitude2) * 60 > radius + 1.0;
}

// Starting from `floor`, the highest elevation above what was found so far among the terrain points
// within `radius` of the centre, testing the points in table order; through the tick's terrain index
// when there is one and it can answer.
int32_t HighestWithin(const scenery::WorldTables& world, const scenery::TerrainIndex* index, int32_t floor,
                      double latitude, double longitude, int16_t radius) {
  const auto within = [&](const scenery::TerrainPoint& t) {
    return !BeyondNm(latitude, t.Latitude, radius) &&
           geo::DistanceNm(latitude, longitude, t.Latitude, t.Longitude) <= radius;
  };
  if (index != nullptr) {
    if (const std::optional<int32_t> highest =
            index->HighestWithin(latitude, longitude, radius, floor, within)) {
      return *highest;
    }
  }
  int32_t highest = floor;
  const int32_t count = world.TerrainPointCount;
  for (int32_t i = 0; i < count && static_cast<size_t>(i) < world.TerrainPoints.size(); ++i) {
    const scenery::TerrainPoint& t = world.TerrainPoints[static_cast<size_t>(i)];
    if (t.Elevation > highest && within(t)) highest = t.Elevation;
  }
  return highest;
}

int32_t HighestTerrain(AtcContext& context, const AirportRecord& destination, const PlayerRecord& p) {
  const scenery::WorldTables& world = context.World;
  if (world.TerrainPointCount <= 0) return 0;
  const scenery::TerrainIndex* index = context.Radar != nullptr ? &context.Radar->Terrain() : nullptr;
  const scenery::RunwayRecord& runway = destination.MainRunway;
  const TargetPoint& waypoint = p.VectorWaypoint;

  const int16_t radius =
      geo::DistanceNm(runway.ThresholdLat, runway.ThresholdLon, waypoint.Latitude, waypoint.Longitude);
  int32_t highest = HighestWithin(world, index, 0, runway.ThresholdLat, runway.ThresholdLon, radius);
  if (highest == 0) highest = destination.ElevationFt;

  if (geo::DistanceNm(runway.ThresholdLat, runway.ThresholdLon, p.Latitude, p.Longitude) >= radius) {
    const int16_t toAircraft = DistanceFromAircraft(p, waypoint);
    highest = HighestWithin(world, index, highest, waypoint.Latitude, waypoint.Longitude, toAircraft);
  }
  return highest;
}

int32_t VectorAltitude(const Radar& r) {
  const int32_t terrain = HighestTerrain(r.Context, *r.Destination, r.Pilot);
  return PlusFeet(terrain == 0 ? r.Destination->ElevationFt : terrain, kAltitudeStepFt);
}

void AppendAltitudePhrase(Radar& r) {
  const PlayerRecord& p = r.Pilot;
  if (p.Altitude < p.AssignedAltitude) {
    r.Message += " Climb and maintain " + Number(p.AssignedAltitude) + " ft.";
  } else if (p.Altitude > p.AssignedAltitude) {
    r.Message += " Descent and maintain " + Number(p.AssignedAltitude) + " ft.";
  }
}

// Points the pilot at its waypoint and tells it which way to turn: left when the new heading lies in
// the half circle counter-clockwise of the present one.
bool TurnTowardsWaypoint(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const TargetPoint& w = p.VectorWaypoint;
  p.AssignedHeading = geo::MagneticBearing(p.Latitude, p.Longitude, w.Latitude, w.Longitude,
                                           r.Context.World.MagVarGrid, r.Context.World.Corrected);
  // The arc test writes a heading of 0 back as 360, which is also how it is said.
  return geo::IsHeadingWithinArc(p.AssignedHeading, Heading(p.Heading - 180), Heading(p.Heading));
}

enum class TurnPhrase { Short, Long };

void IssueVector(Radar& r, TurnPhrase phrase) {
  PlayerRecord& p = r.Pilot;
  const bool left = TurnTowardsWaypoint(r);
  const std::string heading = Number(p.AssignedHeading);
  if (phrase == TurnPhrase::Short) {
    r.Message = (left ? "turn left heading " : "turn right heading ") + heading + ".";
  } else {
    r.Message += (left ? " Turn left heading " : " Turn right heading ") + heading + ",";
  }
  p.AssignedAltitude = VectorAltitude(r);
  AppendAltitudePhrase(r);
}

void AppendExpectation(Radar& r) {
  const scenery::RunwayRecord& runway = Runway(r);
  if (runway.IlsFrequency.empty()) {
    r.Message += " Expect visual approach, vectors for the runway " + runway.Ident + ".";
  } else {
    r.Message +=
        " Expect vectors for the ILS runway " + runway.Ident + " (" + runway.IlsFrequency + " Mhz) approach.";
  }
}

void PositionReport(Radar& r) {
  r.Message = "you are " + Number(r.Where.AirportNm) + " miles " + r.Where.DirWord + ".";
}

void VisualApproachReport(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const AirportRecord& d = *r.Destination;
  const int16_t bearing = geo::MagneticBearing(p.Latitude, p.Longitude, d.Latitude, d.Longitude,
                                               r.Context.World.MagVarGrid, r.Context.World.Corrected);
  r.Message = "airport is " + Number(r.Where.AirportNm) + " miles at your " +
              geo::ClockPosition(bearing, p.Heading) + ".";
  p.VectorWaypoint = FromThreshold(r, r.Where.Final, kFinalApproachFixNm, kSouthWaypoint);
  const bool left = TurnTowardsWaypoint(r);
  r.Message += (left ? " Turn left heading " : " Turn right heading ") + Number(p.AssignedHeading) + ".";
  r.Message += " Report runway in sight.";
}

// On final: cleared for the ILS when the runway has one, else asked to look for the airport.
void FinalStep(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const scenery::RunwayRecord& runway = Runway(r);
  if (runway.IlsFrequency.empty()) {
    VisualApproachReport(r);
    p.PilotRequest = states::kLookingForAirport;
    return;
  }
  PositionReport(r);
  p.VectorWaypoint = FromThreshold(r, r.Where.Final, kFinalApproachFixNm, kSouthWaypoint);
  const bool left = TurnTowardsWaypoint(r);
  r.Message += (left ? " Turn left heading " : " Turn right heading ") + Number(p.AssignedHeading) + ",";
  p.AssignedAltitude = PlusFeet(r.Destination->ElevationFt, kAltitudeStepFt);
  AppendAltitudePhrase(r);
  r.Message += " Cleared for the ILS runway " + runway.Ident + " approach. Maintain " +
               Number(p.AssignedAltitude) + " ft until established on the localizer.";
  p.PilotRequest = states::kIlsApproach;
}

// A waypoint is passed when it is 2 minutes away or less, or when the aircraft is no longer within
// 45 degrees of the course that leads to it.
void CheckWaypoint(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const TargetPoint& w = p.VectorWaypoint;
  if (w.Name.empty() || w.Name == kPassedWaypoint) return;
  const int16_t reciprocal = Heading(p.AssignedHeading - 180);
  int16_t bearing = geo::MagneticBearing(w.Latitude, w.Longitude, p.Latitude, p.Longitude,
                                         r.Context.World.MagVarGrid, r.Context.World.Corrected);
  const bool passed = MinutesTo(p, DistanceFromAircraft(p, w)) <= kVectorMinutes ||
                      !geo::IsHeadingWithinArc(bearing, Heading(reciprocal - 45), Heading(reciprocal + 45));
  if (passed) {
    p.VectorWaypoint = TargetPoint{kPassedWaypoint, "", 0, 0, 0};
  } else if (std::llabs(static_cast<int64_t>(p.AssignedAltitude) - VectorAltitude(r)) >= kAltitudeStepFt) {
    IssueVector(r, TurnPhrase::Short);
  }
}

struct SectorLeg {
  const char* Sector;
  const char* Waypoint;
  int16_t Position::*Course;
};

constexpr SectorLeg kLegs[] = {
    {"north", "North", &Position::Left},          {"northwest", "Northwest", &Position::Left},
    {"northeast", "Northeast", &Position::Right}, {"west", "West", &Position::Left},
    {"east", "East", &Position::Right},           {"southwest", "Southwest", &Position::Final},
    {"southeast", "Southeast", &Position::Final},
};

void SectorStep(Radar& r, const SectorLeg& leg) {
  PlayerRecord& p = r.Pilot;
  const int16_t course = r.Where.*leg.Course;
  int16_t distance = CInt(r.Where.ThresholdNm / 2.0);
  if (distance < kMinimumLegNm) distance = kMinimumLegNm;
  if (p.VectorWaypoint.Name.empty()) {
    PositionReport(r);
    p.VectorWaypoint = FromThreshold(r, course, distance, leg.Waypoint);
    IssueVector(r, TurnPhrase::Long);
    AppendExpectation(r);
    return;
  }
  TargetPoint point = FromThreshold(r, course, distance, leg.Waypoint);
  if (p.VectorWaypoint.Name != leg.Waypoint &&
      MinutesTo(p, DistanceFromAircraft(p, point)) > kVectorMinutes) {
    p.VectorWaypoint = point;
    IssueVector(r, TurnPhrase::Short);
  }
}

// The approach side: a waypoint on the final approach course halfway out, unless the aircraft is so
// close to the 15-nm point, or the halfway point so short a flight, that the final step is due.
void SouthStep(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const TargetPoint p15 = FromThreshold(r, r.Where.Final, kMinimumLegNm, "");
  if (MinutesTo(p, DistanceFromAircraft(p, p15)) <= kVectorMinutes) {
    FinalStep(r);
    return;
  }
  const std::string& name = p.VectorWaypoint.Name;
  if (name == kSouthWaypoint) return;
  const bool firstContact = name.empty();
  if (firstContact) PositionReport(r);
  const int16_t half = CInt(r.Where.ThresholdNm / 2.0);
  p.VectorWaypoint = FromThreshold(r, r.Where.Final, half, kSouthWaypoint);
  if (MinutesTo(p, half) <= kVectorMinutes) {
    FinalStep(r);
  } else if (firstContact) {
    IssueVector(r, TurnPhrase::Long);
    AppendExpectation(r);
  } else {
    IssueVector(r, TurnPhrase::Short);
  }
}

void Vectoring(Radar& r) {
  PlayerRecord& p = r.Pilot;
  if (p.GroundSpeed <= 0) return;
  r.Message.clear();
  CheckWaypoint(r);
  if (r.Where.Sector == "south") {
    SouthStep(r);
  } else {
    for (const SectorLeg& leg : kLegs) {
      if (r.Where.Sector == leg.Sector) SectorStep(r, leg);
    }
  }
  if (!r.Message.empty()) p.LastAtcMessage = r.Message;
}

void AdvanceIfr(Radar& r, IfrService service) {
  PlayerRecord& p = r.Pilot;
  const std::string state = p.PilotRequest;
  const bool departs = service != IfrService::Arrival;
  const bool arrives = service != IfrService::Departure;
  if (state == states::kContactingDepartureDepartureAirport) {
    if (service == IfrService::Arrival) p.FacilityType = facilities::kDeparture;
    p.PilotRequest = states::kDeparting;
  } else if (departs && state == states::kDeparting) {
    p.LastAtcMessage =
        "climb and maintain " + Number(p.CruiseAltitude) + " ft. Resume and maintain own navigation.";
    p.PilotRequest = states::kAcknowledgeInstructionDeparting;
  } else if (departs && state == states::kAcknowledgeInstructionDeparting) {
    AddOption(p, "Acknowledge Instruction");
  } else if (state == states::kEnroute) {
    if (r.Where.AirportNm <= kDescentRangeNm) {
      if (service == IfrService::Departure) p.FacilityType = facilities::kApproach;
      p.PilotRequest = states::kDescending;
    } else {
      AddOption(p, "Cancel IFR");
    }
  } else if (arrives && state == states::kDescending) {
    Vectoring(r);
    AddOption(p, "Cancel IFR");
  } else if (arrives && state == states::kMissedApproach) {
    if (r.Where.Sector == "south") {
      p.LastAtcMessage =
          "climb and maintain " + Number(PlusFeet(r.Destination->ElevationFt, kAltitudeStepFt)) + " ft.";
      // The design offers nothing here, so until the aircraft leaves the south sector its pilot reads
      // "no messages" and cannot even cancel; the corrected mode offers what every other arrival state
      // offers.
      if (r.Context.World.Corrected.Applies(Correction::NumbersAsRead)) AddOption(p, "Cancel IFR");
    } else {
      p.ReportedTraffic = "";
      ClearWaypoint(p, true);
      p.PilotRequest = states::kDescending;
    }
  } else if (arrives && (state == states::kIlsApproach || state == states::kVisualApproach)) {
    if (r.Where.ThresholdNm <= kTowerHandoffNm) {
      const AirportRecord& d = *r.Destination;
      p.LastAtcMessage = "contact " + d.TowerName + " Tower on " + d.TowerFreq + ". Good day.";
      p.PilotRequest = states::kAcknowledgeHandoff;
    } else {
      AddOption(p, "Cancel IFR");
    }
  } else if (arrives && state == states::kLookingForAirport) {
    if (r.Where.Sector != "south") {
      ClearWaypoint(p, true);
      // The center starts the vectoring over at once; approach flies the missed approach first.
      p.PilotRequest = service == IfrService::Center ? states::kDescending : states::kMissedApproach;
    } else {
      AddOption(p, "Report runway in sight");
      AddOption(p, "Report runway NOT in sight");
      AddOption(p, "Cancel IFR");
    }
  } else if (arrives && state == states::kAcknowledgeHandoff) {
    AddOption(p, "Acknowledge Handoff");
  } else {
    ReleasePilot(p);
  }
}

void ChooseIfr(Radar& r, IfrService service, const std::string& text) {
  PlayerRecord& p = r.Pilot;
  const bool departs = service != IfrService::Arrival;
  const bool arrives = service != IfrService::Departure;
  if (text == "Cancel IFR") {
    CancelIfr(p);
  } else if (departs && text == "Acknowledge Instruction") {
    if (p.PilotRequest == states::kAcknowledgeInstructionDeparting) {
      p.LastAtcMessage = "";
      p.PilotRequest = states::kEnroute;
    }
  } else if (arrives && text == "Report runway in sight") {
    p.LastAtcMessage = "cleared for the visual approach runway " + Runway(r).Ident + ".";
    p.PilotRequest = states::kVisualApproach;
  } else if (arrives && text == "Report runway NOT in sight") {
    VisualApproachReport(r);
    p.LastAtcMessage = r.Message;
  } else if (arrives && text == "Acknowledge Handoff") {
    // The tower takes the pilot from here, as an arrival.
    p.LastAtcMessage = "";
    p.TunedFrequency = "";
    p.FacilityType = "";
    (r.Center ? p.CenterIndex : p.AirportIndex) = -1;
    p.ReportedTraffic = "";
    p.PilotRequest = states::kApproaching;
  }
}

void AdvanceFlightFollowing(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const std::string& state = p.PilotRequest;
  if (state.empty()) {
    AddOption(p, "Request Flight Following");
    AddOption(p, "Select a controlled airport");
  } else if (state == states::kSelectingAControlledAirport) {
    p.LastAtcMessage = "";
    p.ReportedTraffic = "";
    ClearWaypoint(p, true);
    p.TunedFrequency = "";
    p.FacilityType = "";
    p.AirportIndex = -1;
    p.CenterIndex = -1;
    SelectControlledAirport(r.Context);
  } else if (state == states::kAcknowledgeSquawkCode) {
    AddOption(p, "Acknowledge Squawk Code");
  } else if (state == states::kAcknowledgeRadarContact) {
    AddOption(p, "Acknowledge Radar Contact");
  } else if (state == states::kFlightFollowingInProgress) {
    AddOption(p, "Cancel Flight Following");
    AddOption(p, "Select a controlled airport");
  } else {
    p.LastAtcMessage = "";
    p.PilotRequest = "";
    p.AirportIndex = -1;
    p.ReportedTraffic = "";
    ClearWaypoint(p, true);
    session::DropFlightPlan(p);
  }
}

void ChooseFlightFollowing(Radar& r, const std::string& text) {
  PlayerRecord& p = r.Pilot;
  const CycleValues& cycle = r.Context.Cycle;
  if (text == "Select a controlled airport") {
    p.PilotRequest = states::kSelectingAControlledAirport;
  } else if (text == "Request Flight Following") {
    p.LastAtcMessage = "squawk 7372.";
    p.PilotRequest = states::kAcknowledgeSquawkCode;
  } else if (text == "Acknowledge Squawk Code") {
    const AirportRecord* nearest = ControlledAirportAt(r.Context.World, cycle.NearestAirportIndex);
    if (cycle.NearestAirportFound && nearest != nullptr) {
      p.LastAtcMessage = "radar contact " + Number(cycle.NearestAirportDistance) + " miles away from " +
                         nearest->Ident + ", " + Number(p.Altitude) + " ft.";
    } else {
      p.LastAtcMessage = "radar contact, " + Number(p.Altitude) + " ft.";
    }
    p.PilotRequest = states::kAcknowledgeRadarContact;
  } else if (text == "Acknowledge Radar Contact") {
    p.LastAtcMessage = "";
    p.PilotRequest = states::kFlightFollowingInProgress;
  } else if (text == "Cancel Flight Following") {
    p.LastAtcMessage = "cancellation received. Squawk 1200. Frequency change approved.";
    p.PilotRequest = "";
  } else if (text == "Cancel IFR") {
    CancelIfr(p);  // reachable only from a traffic report's menu
  }
}

// Out of the airspace: the next facility is named once and the state kept behind the prefix until
// the pilot acknowledges.
void HandOff(Radar& r) {
  PlayerRecord& p = r.Pilot;
  const AtcContext& context = r.Context;
  const bool trafficReported = HasTrafficPrefix(p.PilotRequest);
  if (trafficReported) RemoveTrafficPrefix(p.PilotRequest);
  if (!ContainsNoCase(p.PilotRequest, states::kOutOfAirspacePrefix)) {
    ResetMenu(p);
    std::string name;
    std::string frequency;
    if (context.Cycle.ApproachAirportFound) {
      if (const AirportRecord* a = ControlledAirportAt(context.World, context.Cycle.ApproachAirportIndex)) {
        name = a->ApproachName + " Approach";
        frequency = a->ApproachFreq;
      }
    } else if (context.Cycle.CurrentCenterIndex >= 0) {
      if (const scenery::AirspaceRecord* s = AirspaceAt(context.World, context.Cycle.CurrentCenterIndex)) {
        name = s->CenterName + " Center";
        frequency = s->CenterFreq;
      }
    }
    p.LastAtcMessage = "contact " + name + " on " + frequency + ". Good day.";
    // With neither an approach zone nor a centre the design's line names nobody ("contact  on . Good
    // day."). Corrected, the pilot is told the service ends.
    if (name.empty() && context.World.Corrected.Applies(Correction::NoEmptyHandoff)) {
      p.LastAtcMessage = "radar service terminated, frequency change approved. Good day.";
    }
    p.PilotRequest = states::kOutOfAirspacePrefix + p.PilotRequest;
    AddOption(p, "Acknowledge Handoff");
    return;
  }
  if (trafficReported && context.World.Corrected.Applies(Correction::HandoffSurvivesTraffic)) {
    // A report made out of the airspace replaces the handoff's menu with answers this frame never takes:
    // in the design "Acknowledge Handoff" is gone and the pilot may be left with no way out. Corrected:
    // the report is told, and the handoff's option alone is offered under it.
    ResetMenu(p);
    AddOption(p, "Acknowledge Handoff");
    return;
  }
  if (p.PendingChoice == 0) return;
  const std::string* chosen = ChosenOption(p);
  if (chosen != nullptr && *chosen == "Acknowledge Handoff") {
    p.LastAtcMessage = "";
    p.TunedFrequency = "";
    p.FacilityType = "";
    RemoveEvery(p.PilotRequest, states::kOutOfAirspacePrefix);
    (r.Center ? p.CenterIndex : p.AirportIndex) = -1;
  }
  ResetMenu(p);
}

bool InsideApproachCylinder(const Radar& r) {
  const PlayerRecord& p = r.Pilot;
  const AirportRecord* t = ControlledAirportAt(r.Context.World, p.AirportIndex);
  if (t == nullptr) return false;
  return IsInApproachZone(geo::DistanceNm(t->Latitude, t->Longitude, p.Latitude, p.Longitude), p.Altitude,
                          t->ElevationFt);
}

// Strictly inside the tuned centre's box; a box whose west edge lies east of its east edge spans the
// 180th meridian, and one whose edges coincide holds nothing.
bool InsideCenterBox(const Radar& r) {
  const PlayerRecord& p = r.Pilot;
  const scenery::AirspaceRecord* s = AirspaceAt(r.Context.World, p.CenterIndex);
  return s != nullptr && IsInsideHighCenter(*s, p.Latitude, p.Longitude);
}

enum class Dialogue { FlightFollowing, Departure, Arrival, CenterIfr };

// The frame every dialogue shares: handoff outside the airspace, the answer to a traffic report, a
// choice from the menu, or else one step of the state.
void RunDialogue(Radar& r, Dialogue dialogue, bool inside) {
  PlayerRecord& p = r.Pilot;
  if (!inside) {
    HandOff(r);
    return;
  }
  if (HasTrafficPrefix(p.PilotRequest)) {
    if (p.PendingChoice == 0) return;
    if (const std::string* chosen = ChosenOption(p)) {
      if (*chosen == "Report traffic in sight" || *chosen == "Report traffic not in sight") {
        p.LastAtcMessage = "";
        RemoveTrafficPrefix(p.PilotRequest);
      } else if (*chosen == "Cancel IFR") {
        CancelIfr(p);
      }
    }
    ResetMenu(p);
    return;
  }
  if (ContainsNoCase(p.PilotRequest, states::kOutOfAirspacePrefix) &&
      r.Context.World.Corrected.Applies(Correction::HandoffSurvivesTraffic)) {
    // Back inside before acknowledging the handoff: the design takes the prefixed state for one no
    // dialogue knows and releases the pilot, dropping an IFR plan. Corrected: the handoff lapses (its
    // message, its option, a choice made from it) and the dialogue goes on where it stood.
    RemoveEvery(p.PilotRequest, states::kOutOfAirspacePrefix);
    p.LastAtcMessage = "";
    ResetMenu(p);
  }
  const IfrService service = dialogue == Dialogue::Departure ? IfrService::Departure
                             : dialogue == Dialogue::Arrival ? IfrService::Arrival
                                                             : IfrService::Center;
  if (p.PendingChoice != 0) {
    if (const std::string* chosen = ChosenOption(p)) {
      const std::string text = *chosen;
      if (dialogue == Dialogue::FlightFollowing) {
        ChooseFlightFollowing(r, text);
      } else {
        ChooseIfr(r, service, text);
      }
    }
    ResetMenu(p);
    return;
  }
  ResetMenu(p);
  if (dialogue == Dialogue::FlightFollowing) {
    AdvanceFlightFollowing(r);
  } else {
    AdvanceIfr(r, service);
  }
}

void RunRadarControl(AtcContext& context, bool center) {
  ScanTraffic(context);
  PlayerRecord& p = context.Pilot();

  std::optional<AirportRecord> noAirport;
  const AirportRecord* destination = ControlledAirportAt(context.World, p.DestinationAirport);
  if (destination == nullptr) destination = &noAirport.emplace(scenery::EmptyAirportWithSpareElements());

  Radar r{context, p, center, destination, {}, {}};
  if (p.IfrPlanFiled == 1) Locate(r);

  std::optional<Dialogue> dialogue;
  if (center) {
    if (p.IfrPlanFiled == 0) dialogue = Dialogue::FlightFollowing;
    if (p.IfrPlanFiled == 1) dialogue = Dialogue::CenterIfr;
  } else if (p.FacilityType == facilities::kDeparture) {
    dialogue = Dialogue::Departure;
  } else if (p.FacilityType == facilities::kApproach) {
    if (p.IfrPlanFiled == 0) dialogue = Dialogue::FlightFollowing;
    if (p.IfrPlanFiled == 1) dialogue = Dialogue::Arrival;
  }
  if (!dialogue) return;
  RunDialogue(r, *dialogue, center ? InsideCenterBox(r) : InsideApproachCylinder(r));
}

}  // namespace

int32_t HighestTerrainOnVector(AtcContext& context) {
  const PlayerRecord& p = context.Pilot();
  const AirportRecord* destination = ControlledAirportAt(context.World, p.DestinationAirport);
  if (destination == nullptr) {
    return HighestTerrain(context, scenery::EmptyAirportWithSpareElements(), p);
  }
  return HighestTerrain(context, *destination, p);
}

void RunApproachControl(AtcContext& context) {
  RunRadarControl(context, false);
}

void RunCenterControl(AtcContext& context) {
  RunRadarControl(context, true);
}

}  // namespace skyvox::atc
