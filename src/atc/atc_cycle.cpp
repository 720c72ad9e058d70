#include "atc/atc_cycle.h"

#include <cmath>
#include <optional>

#include "atc/airport_dialogue.h"
#include "atc/place_index.h"
#include "atc/selection.h"
#include "base/corrected_mode.h"
#include "base/errors.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "radar/radar_control.h"
#include "radar/radar_index.h"
#include "session/messages.h"

namespace skyvox::atc {
namespace {

using scenery::AirportRecord;
using scenery::AirspaceRecord;
using session::PlayerRecord;

// The cycle's indexes come from its own searches, the pilot's tuning and the flight plan, all within
// the tables; -1 reads as element 0.
const AirportRecord& AirportAt(const scenery::WorldTables& world, int32_t index) {
  return world.ControlledAirports[TableSlot(index)];
}
const AirspaceRecord& CenterAt(const scenery::WorldTables& world, int32_t index) {
  return world.Airspaces[TableSlot(index)];
}

std::string CenterLine(const AirspaceRecord& s) {
  return TuningLine(s.CenterName, kCenterWord, s.CenterFreq);
}

void Tune(PlayerRecord& p, const std::string& frequency, const char* facility) {
  p.LastAtcMessage = "";
  p.TunedFrequency = frequency;
  p.FacilityType = facility;
}

// Free flight: the tuning menu, or the tuning the pilot chose from it.
void FreeFlight(AtcContext& context) {
  PlayerRecord& p = context.Pilot();
  const auto& world = context.World;
  const CycleValues& v = context.Cycle;
  if (p.PilotRequest == states::kSelectingAControlledAirport ||
      p.PilotRequest == states::kSelectingOneFrequency) {
    SelectControlledAirport(context);
    return;
  }
  const AirportRecord& nearest = AirportAt(world, v.NearestAirportIndex);
  const AirportRecord& approach = AirportAt(world, v.ApproachAirportIndex);
  if (p.PendingChoice != 0) {
    if (p.PendingChoice <= p.MenuOptionCount) {
      const std::string chosen = p.MenuOptions[static_cast<size_t>(p.PendingChoice) - 1];
      if (chosen == TuningLine(nearest.GroundName, kGroundWord, nearest.GroundFreq)) {
        Tune(p, nearest.GroundFreq, facilities::kGround);
        p.AirportIndex = v.NearestAirportIndex;
      } else if (chosen == TuningLine(approach.ApproachName, kApproachWord, approach.ApproachFreq)) {
        Tune(p, approach.ApproachFreq, facilities::kApproach);
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == CenterLine(CenterAt(world, v.CurrentCenterIndex))) {
        Tune(p, CenterAt(world, v.CurrentCenterIndex).CenterFreq, facilities::kCenter);
        p.CenterIndex = v.CurrentCenterIndex;
      } else if (chosen == "Select a controlled airport") {
        p.LastAtcMessage = "";
        p.PilotRequest = states::kSelectingAControlledAirport;
      }
    }
    ResetMenu(p);
    return;
  }
  ClearMenu(p);
  if (v.NearestAirportFound && !nearest.GroundFreq.empty() &&
      IsAtAirport(v.NearestAirportDistance, p.Altitude, nearest.ElevationFt)) {
    AddOption(p, TuningLine(nearest.GroundName, kGroundWord, nearest.GroundFreq));
  }
  AddOption(p, "Select a controlled airport");
  if (v.ApproachAirportFound) {
    AddOption(p, TuningLine(approach.ApproachName, kApproachWord, approach.ApproachFreq));
  } else if (v.CurrentCenterIndex >= 0) {
    // Outside every high centre there is no centre to offer, and no third line.
    AddOption(p, CenterLine(CenterAt(world, v.CurrentCenterIndex)));
  }
}

// With a flight plan: the one facility the flight needs now, or the tuning the pilot chose.
void FlightPlan(AtcContext& context) {
  PlayerRecord& p = context.Pilot();
  const auto& world = context.World;
  const CycleValues& v = context.Cycle;
  const AirportRecord& dep = AirportAt(world, p.DepartureAirport);
  const AirportRecord& dest = AirportAt(world, p.DestinationAirport);
  const AirportRecord& approach = AirportAt(world, v.ApproachAirportIndex);
  const AirspaceRecord& centre = CenterAt(world, v.CurrentCenterIndex);
  const std::string clearanceLine = TuningLine(dep.ClearanceName, kClearanceWord, dep.ClearanceFreq);
  const std::string groundLine = TuningLine(dep.GroundName, kGroundWord, dep.GroundFreq);
  const std::string depTowerLine = TuningLine(dep.TowerName, kTowerWord, dep.TowerFreq);
  const std::string departureLine = TuningLine(approach.ApproachName, kDepartureWord, approach.ApproachFreq);
  const std::string destTowerLine = TuningLine(dest.TowerName, kTowerWord, dest.TowerFreq);
  const std::string approachLine = TuningLine(approach.ApproachName, kApproachWord, approach.ApproachFreq);

  if (p.PendingChoice != 0) {
    if (p.PendingChoice <= p.MenuOptionCount) {
      const std::string chosen = p.MenuOptions[static_cast<size_t>(p.PendingChoice) - 1];
      if (chosen == clearanceLine) {
        Tune(p, dep.ClearanceFreq, facilities::kClearance);
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == groundLine) {
        Tune(p, dep.GroundFreq, facilities::kGround);
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == depTowerLine) {
        Tune(p, dep.TowerFreq, facilities::kTower);
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == departureLine) {
        Tune(p, approach.ApproachFreq, facilities::kDeparture);
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == destTowerLine) {
        Tune(p, dest.TowerFreq, facilities::kTower);
        p.AirportIndex = p.DestinationAirport;
      } else if (chosen == approachLine) {
        Tune(p, approach.ApproachFreq, facilities::kApproach);
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == CenterLine(centre)) {
        Tune(p, centre.CenterFreq, facilities::kCenter);
        p.CenterIndex = v.CurrentCenterIndex;
      }
    }
    ResetMenu(p);
    return;
  }
  ClearMenu(p);
  const int16_t toDep = geo::DistanceNm(p.Latitude, p.Longitude, dep.Latitude, dep.Longitude);
  const int16_t toDest = geo::DistanceNm(p.Latitude, p.Longitude, dest.Latitude, dest.Longitude);
  if (toDep <= 20 && p.PilotRequest == states::kRequestingIfrClearance && !dep.ClearanceFreq.empty()) {
    AddOption(p, clearanceLine);
  } else if (toDep <= 20 && p.PilotRequest == states::kRequestingIfrClearance && !dep.GroundFreq.empty()) {
    AddOption(p, groundLine);
  } else if (toDep <= 20 && p.PilotRequest == states::kContactingDepartureDepartureAirport &&
             v.ApproachAirportFound) {
    AddOption(p, departureLine);
  } else if (toDest <= 20 && p.PilotRequest == states::kApproaching && !dest.TowerFreq.empty()) {
    AddOption(p, destTowerLine);
  } else if (v.ApproachAirportFound) {
    AddOption(p, approachLine);
  } else if (v.CurrentCenterIndex >= 0) {
    AddOption(p, CenterLine(centre));
  }
}

// One pass over the pilot: places it, then lets its facility's dialogue, or the tuning menus, run.
void PilotPass(AtcContext& context) {
  PlayerRecord& p = context.Pilot();
  context.Cycle =
      context.Places ? context.Places->Place(p, context.World) : ComputeCycleValues(p, context.World);
  if (!p.FacilityType.empty() || !p.TunedFrequency.empty()) {
    const std::string& facility = p.FacilityType;
    if (facility == facilities::kClearance || facility == facilities::kGround ||
        facility == facilities::kTower) {
      RunAirportDialogue(context);
    } else if (facility == facilities::kDeparture || facility == facilities::kApproach) {
      RunApproachControl(context);
    } else if (facility == facilities::kCenter) {
      RunCenterControl(context);
    }
    return;
  }
  if (p.IfrPlanFiled == 0) {
    FreeFlight(context);
  } else if (p.IfrPlanFiled == 1) {
    FlightPlan(context);
  }
}

// In corrected mode, the passes over one pilot in one tick.
constexpr int kMostPasses = 8;

// The pilot's line, to the pilot and to everyone who asked for copies of all ATC lines. A line that
// cannot be sent is not retried: the session's loss is the receive loop's to report.
void SendLine(session::SessionLink& link, const PlayerRecord& p, const std::string& line) {
  try {
    session::SendChatLine(link, line, p.PlayerId);
    for (int j = 0; j < link.PlayerCount; ++j) {
      const PlayerRecord& other = link.PlayerRoster[static_cast<size_t>(j)];
      if (other.Name != p.Name && other.PlayerId != p.PlayerId && other.CopyAllAtcMessages) {
        session::SendChatLine(link, line, other.PlayerId);
      }
    }
  } catch (const Error&) {
  }
}

// A later pass of the tick replaced the message the line before it carried: that line is sent now,
// unless it was the last one sent. A line without a message says nothing the next one does not.
void HearReplacedLine(session::SessionLink& link, PlayerRecord& p, const std::string& lineBefore,
                      const std::string& messageBefore) {
  if (messageBefore.empty() || p.LastAtcMessage == messageBefore || lineBefore == p.LastSentLine) return;
  p.LastSentLine = lineBefore;
  SendLine(link, p, lineBefore);
}

}  // namespace

std::string BuildMenuLine(const PlayerRecord& p, const scenery::WorldTables& world) {
  const std::string start = p.Name + ", " + p.LastAtcMessage;
  if (p.MenuOptionCount == 0) return start + kNoMessagesText;
  std::string header;
  const std::string& facility = p.FacilityType;
  const bool airportFacility = facility == facilities::kClearance || facility == facilities::kGround ||
                               facility == facilities::kTower || facility == facilities::kDeparture ||
                               facility == facilities::kApproach;
  if (p.AirportIndex < 0 && facility == facilities::kCenter && p.CenterIndex >= 0) {
    const AirspaceRecord& s = CenterAt(world, p.CenterIndex);
    header = " Choose an option for " + s.CenterName + kCenterWord + s.CenterFreq + ": ";
  } else if (p.AirportIndex >= 0 && airportFacility) {
    const AirportRecord& a = AirportAt(world, p.AirportIndex);
    std::string name, word, frequency;
    if (facility == facilities::kClearance) {
      name = a.ClearanceName, word = kClearanceWord, frequency = a.ClearanceFreq;
    } else if (facility == facilities::kGround) {
      name = a.GroundName, word = kGroundWord, frequency = a.GroundFreq;
    } else if (facility == facilities::kTower) {
      name = a.TowerName, word = kTowerWord, frequency = a.TowerFreq;
    } else {
      name = a.ApproachName, word = facility == facilities::kDeparture ? kDepartureWord : kApproachWord,
      frequency = a.ApproachFreq;
    }
    header = " Choose an option for " + name + word + frequency + ": ";
  } else {
    // Untuned, or a tuning that names no facility it can be spoken for: the plain header.
    header = " Choose an option: ";
  }
  std::string line = start + header;
  for (int32_t k = 1; k <= p.MenuOptionCount; ++k) {
    line += std::to_string(k) + "-" + p.MenuOptions[static_cast<size_t>(k) - 1] + " ";
  }
  return line;
}

void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world, TableScan scan) {
  // The design compares the line the last pass left with the one it found: a line written by an
  // earlier pass of the tick and replaced by the next (an IFR cancellation, replaced by the release) is
  // never heard, and a line equal to what the last pass found (the empty line after a takeoff clearance
  // is acknowledged) is never sent although the pilot was last sent another one. Corrected: the line is
  // compared with the last one sent to the pilot, and a line that the next pass replaces goes out
  // before it is lost, so that every distinct line is sent exactly once.
  const bool hearEveryLine = world.Corrected.Applies(Correction::LinesHeardInPass);
  // The design runs another pass only after one that consumed a choice, so a state that changes on its
  // own (a landing clearance, a go-around, a holding pilot cleared for takeoff) has its line sent first
  // without the new state's options, then again with them on the next tick. Corrected: a pass that
  // changed the pilot's state or facility on its own is followed by another, so that the line goes out
  // once, with its options. The further pass may replace the line (a pilot told it took off uncleared
  // is released on the next): the line is still heard only where lines replaced within a tick are sent,
  // so this goes together with that. A few passes at most, should two states ever lead to each other.
  const bool oneLineOnce = hearEveryLine && world.Corrected.Applies(Correction::OneLineOnce);
  // The tables do not move during a tick: one index of airports and centres, and one of aircraft and
  // terrain, serve every pilot's passes.
  const bool indexed = scan == TableScan::Indexed;
  const std::optional<PlaceIndex> index =
      indexed ? std::optional<PlaceIndex>(std::in_place, world) : std::nullopt;
  const PlaceIndex* places = index ? &*index : nullptr;
  std::optional<RadarIndex> radar;
  if (indexed) radar.emplace(link, world);
  for (int i = 0; i < link.PlayerCount; ++i) {
    if (link.PlayerRoster[static_cast<size_t>(i)].Kind != "player") continue;
    CycleValues values;
    AtcContext context{link, world, i, values, places, radar ? &*radar : nullptr};
    std::string snapshotMessage;
    int32_t snapshotCount = 0;
    std::vector<std::string> snapshotOptions;
    bool sayAgain = false;
    try {
      for (int pass = 1;; ++pass) {
        PlayerRecord& p = context.Pilot();
        const bool choiceFlag = p.PendingChoice > 0;
        const std::string requestBefore = p.PilotRequest;
        const std::string facilityBefore = p.FacilityType;
        snapshotMessage = p.LastAtcMessage;
        snapshotCount = p.MenuOptionCount;
        snapshotOptions = p.MenuOptions;
        if (p.LastAtcMessage.find(kSayAgain) != std::string::npos) {
          RemoveEvery(p.LastAtcMessage, kSayAgain);
          sayAgain = true;
          break;
        }
        const std::string lineBefore = hearEveryLine ? BuildMenuLine(p, world) : std::string();
        PilotPass(context);
        if (hearEveryLine) HearReplacedLine(link, context.Pilot(), lineBefore, snapshotMessage);
        const PlayerRecord& after = context.Pilot();
        if (PassConsumedChoice(choiceFlag, after)) continue;
        if (oneLineOnce && !choiceFlag && pass < kMostPasses &&
            (after.PilotRequest != requestBefore || after.FacilityType != facilityBefore)) {
          continue;
        }
        break;
      }
    } catch (const Error&) {
      // A run-time error in the pilot's pass (the vectoring's minutes overflowing for an aircraft
      // crawling far from its point) ends this pilot's turn: what the pass wrote stays, nothing is sent
      // for it in this cycle, and the cycle goes on with the next pilot.
      continue;
    }

    PlayerRecord& p = context.Pilot();
    if (hearEveryLine) {
      const std::string line = BuildMenuLine(p, world);
      if (sayAgain || line != p.LastSentLine) {
        p.LastSentLine = line;
        SendLine(link, p, line);
      }
      continue;
    }
    bool changed = sayAgain || p.LastAtcMessage != snapshotMessage || p.MenuOptionCount != snapshotCount;
    for (int32_t k = 0; !changed && k < p.MenuOptionCount; ++k) {
      const size_t at = static_cast<size_t>(k);
      changed = at >= snapshotOptions.size() || p.MenuOptions[at] != snapshotOptions[at];
    }
    if (!changed) continue;
    SendLine(link, p, BuildMenuLine(p, world));
  }
}

}  // namespace skyvox::atc
