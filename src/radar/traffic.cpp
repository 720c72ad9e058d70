// ScanTraffic: called first by approach and center control for the pilot being served, so a report
// replaces whatever the pilot's dialogue would have said in this cycle.
#include "radar/traffic.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "base/text.h"
#include "geo/geometry.h"
#include "radar/radar_index.h"

namespace skyvox::atc {

bool HasTrafficPrefix(std::string_view pilotRequest) {
  return LowerCaseCp1252(pilotRequest).find(LowerCaseCp1252(states::kReportingTrafficPrefix)) !=
         std::string::npos;
}

void RemoveTrafficPrefix(std::string& pilotRequest) {
  RemoveEvery(pilotRequest, states::kReportingTrafficPrefix);
}

void ScanTraffic(AtcContext& context) {
  session::PlayerRecord& pilot = context.Pilot();
  const auto& roster = context.Link.PlayerRoster;
  const int count = std::min<int>(context.Link.PlayerCount, static_cast<int>(roster.size()));

  // The pilot's own entry is found by name and id, not taken from PilotIndex: with duplicate entries
  // the last one is "own", and the others are scanned like any other aircraft.
  std::optional<int> own;
  if (context.Radar != nullptr) own = context.Radar->OwnEntry(context.PilotIndex, count);
  if (!own) {
    own = 0;
    for (int i = 0; i < count; ++i) {
      const session::PlayerRecord& entry = roster[static_cast<size_t>(i)];
      if (entry.Name == pilot.Name && entry.PlayerId == pilot.PlayerId) own = i;
    }
  }
  const int ownIndex = *own;

  const auto scan = [&](int i) {
    if (i == ownIndex) return;
    const session::PlayerRecord& other = roster[static_cast<size_t>(i)];

    const int16_t distance =
        geo::DistanceNm(other.Latitude, other.Longitude, pilot.Latitude, pilot.Longitude);
    if (distance >= kTrafficRadiusNm) return;
    const int64_t separation = static_cast<int64_t>(pilot.Altitude) - other.Altitude;
    if (std::llabs(separation) >= kTrafficBandFt) return;
    // A plain substring test: a name contained in an already reported one (or an empty name) counts as
    // reported.
    if (LowerCaseCp1252(pilot.ReportedTraffic).find(LowerCaseCp1252(other.Name)) != std::string::npos) {
      return;
    }

    // Worked out before anything is written, so a position off the variation grid changes nothing.
    const int16_t bearing =
        geo::MagneticBearing(pilot.Latitude, pilot.Longitude, other.Latitude, other.Longitude,
                             context.World.MagVarGrid, context.World.Corrected);
    geo::NormalizeHeading(pilot.Heading);
    const std::string clock = geo::ClockPosition(bearing, pilot.Heading);

    // The menu is reset, the pending choice with it: a digit typed for the menu this report replaces
    // must not answer the report the pilot has not seen yet.
    ResetMenu(pilot);
    pilot.ReportedTraffic += other.Name + ", ";
    pilot.LastAtcMessage =
        std::string(distance < kTrafficAlertRadiusNm ? "TRAFFIC ALERT!, " : "traffic is, ") +
        std::to_string(distance) + " miles, " + clock + ", " + std::to_string(other.Altitude) + " ft, type " +
        other.AircraftKind + ". Avoid traffic and report them.";
    pilot.PilotRequest = states::kReportingTrafficPrefix + pilot.PilotRequest;
    AddOption(pilot, "Report traffic in sight");
    AddOption(pilot, "Report traffic not in sight");
    if (pilot.IfrPlanFiled == 1) AddOption(pilot, "Cancel IFR");
  };

  // The index leaves out only aircraft whose distance is finite and too great: skipping them changes
  // nothing, and the rest come in roster order.
  if (context.Radar != nullptr) {
    if (const std::vector<int>* near =
            context.Radar->AircraftNear(context.PilotIndex, count, kTrafficRadiusNm - 1)) {
      for (const int i : *near) scan(i);
      return;
    }
  }
  for (int i = 0; i < count; ++i) scan(i);
}

}  // namespace skyvox::atc
