#include "atc/atc_cycle.h"

#include <cmath>
#include <exception>

#include "geo/geometry.h"
#include "session/messages.h"

namespace skyvox::atc {
namespace {

using scenery::AirportRecord;
using scenery::AirspaceRecord;
using session::PlayerRecord;

// Table elements by an index that a search may have left at -1, which is read as 0 (the tables
// always hold element 0).
const AirportRecord& AirportAt(const scenery::WorldTables& world, int32_t index) {
  return world.ControlledAirports[static_cast<size_t>(index < 0 ? 0 : index)];
}
const AirspaceRecord& AirspaceAt(const scenery::WorldTables& world, int32_t index) {
  return world.Airspaces[static_cast<size_t>(index < 0 ? 0 : index)];
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
  if (p.PilotRequest == "Selecting a controlled airport" || p.PilotRequest == "Selecting one frequency") {
    SelectControlledAirport(context);
    return;
  }
  const AirportRecord& nearest = AirportAt(world, v.NearestAirportIndex);
  const AirportRecord& approach = AirportAt(world, v.ApproachAirportIndex);
  if (p.PendingChoice != 0) {
    if (p.PendingChoice <= p.MenuOptionCount) {
      const std::string chosen = p.MenuOptions[static_cast<size_t>(p.PendingChoice) - 1];
      if (chosen == TuningLine(nearest.GroundName, kGroundWord, nearest.GroundFreq)) {
        Tune(p, nearest.GroundFreq, "Ground");
        p.AirportIndex = v.NearestAirportIndex;
      } else if (chosen == TuningLine(approach.ApproachName, kApproachWord, approach.ApproachFreq)) {
        Tune(p, approach.ApproachFreq, "Approach");
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == CenterLine(AirspaceAt(world, v.CurrentCenterIndex))) {
        Tune(p, AirspaceAt(world, v.CurrentCenterIndex).CenterFreq, "Center");
        p.CenterIndex = v.CurrentCenterIndex;
      } else if (chosen == "Select a controlled airport") {
        p.LastAtcMessage = "";
        p.PilotRequest = "Selecting a controlled airport";
      }
    }
    ResetMenu(p);
    return;
  }
  ClearMenu(p);
  if (v.NearestAirportFound && !nearest.GroundFreq.empty() && p.Altitude <= nearest.ElevationFt + 200 &&
      v.NearestAirportDistance <= 20) {
    AddOption(p, TuningLine(nearest.GroundName, kGroundWord, nearest.GroundFreq));
  }
  AddOption(p, "Select a controlled airport");
  if (v.ApproachAirportFound) {
    AddOption(p, TuningLine(approach.ApproachName, kApproachWord, approach.ApproachFreq));
  } else if (v.CurrentCenterIndex >= 0) {
    // Outside every high centre there is no centre to offer, and no third line.
    AddOption(p, CenterLine(AirspaceAt(world, v.CurrentCenterIndex)));
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
  const AirspaceRecord& centre = AirspaceAt(world, v.CurrentCenterIndex);
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
        Tune(p, dep.ClearanceFreq, "Clearance");
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == groundLine) {
        Tune(p, dep.GroundFreq, "Ground");
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == depTowerLine) {
        Tune(p, dep.TowerFreq, "Tower");
        p.AirportIndex = p.DepartureAirport;
      } else if (chosen == departureLine) {
        Tune(p, approach.ApproachFreq, "Departure");
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == destTowerLine) {
        Tune(p, dest.TowerFreq, "Tower");
        p.AirportIndex = p.DestinationAirport;
      } else if (chosen == approachLine) {
        Tune(p, approach.ApproachFreq, "Approach");
        p.AirportIndex = v.ApproachAirportIndex;
      } else if (chosen == CenterLine(centre)) {
        Tune(p, centre.CenterFreq, "Center");
        p.CenterIndex = v.CurrentCenterIndex;
      }
    }
    ResetMenu(p);
    return;
  }
  ClearMenu(p);
  const int16_t toDep = geo::DistanceNm(p.Latitude, p.Longitude, dep.Latitude, dep.Longitude);
  const int16_t toDest = geo::DistanceNm(p.Latitude, p.Longitude, dest.Latitude, dest.Longitude);
  if (toDep <= 20 && p.PilotRequest == "Requesting IFR Clearance" && !dep.ClearanceFreq.empty()) {
    AddOption(p, clearanceLine);
  } else if (toDep <= 20 && p.PilotRequest == "Requesting IFR Clearance" && !dep.GroundFreq.empty()) {
    AddOption(p, groundLine);
  } else if (toDep <= 20 && p.PilotRequest == "Contacting Departure - Departure Airport" &&
             v.ApproachAirportFound) {
    AddOption(p, departureLine);
  } else if (toDest <= 20 && p.PilotRequest == "Approaching" && !dest.TowerFreq.empty()) {
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
  context.Cycle = ComputeCycleValues(p, context.World);
  if (!p.FacilityType.empty() || !p.TunedFrequency.empty()) {
    const std::string& facility = p.FacilityType;
    if (facility == "Clearance" || facility == "Ground" || facility == "Tower") {
      RunAirportDialogue(context);
    } else if (facility == "Departure" || facility == "Approach") {
      RunApproachControl(context);
    } else if (facility == "Center") {
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

// More than 0.35 degrees of latitude apart is at least 21 nm whatever the longitudes, so DistanceNm
// cannot come out at 20 or less: the distance need not be computed. (A position that is not a number
// fails this test and goes on to DistanceNm, as before.)
bool FartherThan20Nm(const PlayerRecord& p, const AirportRecord& airport) {
  return std::fabs(p.Latitude - airport.Latitude) > 0.35;
}

void RemoveAll(std::string& text, const std::string& what) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what))
    text.erase(at, what.size());
}

}  // namespace

CycleValues ComputeCycleValues(const PlayerRecord& p, const scenery::WorldTables& world) {
  CycleValues v;
  for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
    const AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    if (FartherThan20Nm(p, airport)) continue;
    const int16_t d = geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude);
    if (d <= 20 && (!v.NearestAirportFound || d < v.NearestAirportDistance)) {
      v.NearestAirportFound = true;
      v.NearestAirportDistance = d;
      v.NearestAirportIndex = a;
    }
  }
  for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
    const AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
    if (airport.ApproachFreq.empty() || FartherThan20Nm(p, airport)) continue;
    const int16_t d = geo::DistanceNm(p.Latitude, p.Longitude, airport.Latitude, airport.Longitude);
    const bool inZone =
        d <= 20 && p.Altitude > airport.ElevationFt + 200 && p.Altitude <= airport.ElevationFt + 10000;
    if (inZone && (!v.ApproachAirportFound || d < v.ApproachAirportDistance)) {
      v.ApproachAirportFound = true;
      v.ApproachAirportDistance = d;
      v.ApproachAirportIndex = a;
    }
  }
  for (int32_t i = 0; i < world.AirspaceCount && static_cast<size_t>(i) < world.Airspaces.size(); ++i) {
    const AirspaceRecord& s = world.Airspaces[static_cast<size_t>(i)];
    if (s.AirspaceClass != "ARTCC/FIR (HIGH)") continue;
    const bool latitudeInside = s.SouthLat < p.Latitude && p.Latitude < s.NorthLat;
    bool inside = false;
    if (s.WestLon < s.EastLon) {
      inside = latitudeInside && s.WestLon < p.Longitude && p.Longitude < s.EastLon;
    } else if (s.WestLon > s.EastLon) {  // across the 180th meridian
      inside = latitudeInside && ((s.WestLon < p.Longitude && p.Longitude <= 180) ||
                                  (-180 <= p.Longitude && p.Longitude < s.EastLon));
    }
    if (inside) v.CurrentCenterIndex = i;  // the last containing centre wins
  }
  return v;
}

std::string BuildMenuLine(const PlayerRecord& p, const scenery::WorldTables& world) {
  const std::string start = p.Name + ", " + p.LastAtcMessage;
  if (p.MenuOptionCount == 0) return start + kNoMessagesText;
  std::string header;
  const std::string& facility = p.FacilityType;
  const bool airportFacility = facility == "Clearance" || facility == "Ground" || facility == "Tower" ||
                               facility == "Departure" || facility == "Approach";
  if (p.AirportIndex < 0 && facility == "Center" && p.CenterIndex >= 0) {
    const AirspaceRecord& s = AirspaceAt(world, p.CenterIndex);
    header = " Choose an option for " + s.CenterName + kCenterWord + s.CenterFreq + ": ";
  } else if (p.AirportIndex >= 0 && airportFacility) {
    const AirportRecord& a = AirportAt(world, p.AirportIndex);
    std::string name, word, frequency;
    if (facility == "Clearance") {
      name = a.ClearanceName, word = kClearanceWord, frequency = a.ClearanceFreq;
    } else if (facility == "Ground") {
      name = a.GroundName, word = kGroundWord, frequency = a.GroundFreq;
    } else if (facility == "Tower") {
      name = a.TowerName, word = kTowerWord, frequency = a.TowerFreq;
    } else {
      name = a.ApproachName, word = facility == "Departure" ? kDepartureWord : kApproachWord,
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

void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world) {
  for (int i = 0; i < link.PlayerCount; ++i) {
    if (link.PlayerRoster[static_cast<size_t>(i)].Kind != "player") continue;
    CycleValues values;
    AtcContext context{link, world, i, values};
    std::string snapshotMessage;
    int32_t snapshotCount = 0;
    std::vector<std::string> snapshotOptions;
    bool sayAgain = false;
    for (;;) {
      PlayerRecord& p = context.Pilot();
      const bool choiceFlag = p.PendingChoice > 0;
      snapshotMessage = p.LastAtcMessage;
      snapshotCount = p.MenuOptionCount;
      snapshotOptions = p.MenuOptions;
      if (p.LastAtcMessage.find(kSayAgain) != std::string::npos) {
        RemoveAll(p.LastAtcMessage, kSayAgain);
        sayAgain = true;
        break;
      }
      PilotPass(context);
      if (!(choiceFlag && context.Pilot().PendingChoice == 0)) break;
    }

    const PlayerRecord& p = context.Pilot();
    bool changed = sayAgain || p.LastAtcMessage != snapshotMessage || p.MenuOptionCount != snapshotCount;
    for (int32_t k = 0; !changed && k < p.MenuOptionCount; ++k) {
      const size_t at = static_cast<size_t>(k);
      changed = at >= snapshotOptions.size() || p.MenuOptions[at] != snapshotOptions[at];
    }
    if (!changed) continue;
    // A line that cannot be sent is not retried: the session's loss is the receive loop's to report.
    try {
      const std::string line = BuildMenuLine(p, world);
      session::SendChatLine(link, line, p.PlayerId);
      for (int j = 0; j < link.PlayerCount; ++j) {
        const PlayerRecord& other = link.PlayerRoster[static_cast<size_t>(j)];
        if (other.Name != p.Name && other.PlayerId != p.PlayerId && other.CopyAllAtcMessages) {
          session::SendChatLine(link, line, other.PlayerId);
        }
      }
    } catch (const std::exception&) {
    }
  }
}

}  // namespace skyvox::atc
