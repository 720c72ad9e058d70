// The radar controllers: departure and approach (radar vectors to an ILS or visual approach, the climb
// to cruise and release to own navigation), center (IFR en route, flight following), and the pieces
// worth reaching from outside their dialogues.
#pragma once

#include <cstdint>

#include "atc/atc_context.h"

namespace skyvox::atc {

// One step of departure or approach control (FacilityType "Departure" or "Approach").
void RunApproachControl(AtcContext& context);
// One step of center control (FacilityType "Center").
void RunCenterControl(AtcContext& context);

// The highest terrain elevation, in feet, that the pilot's next vector must clear: the highest terrain
// point within the circle around the destination's main-runway threshold that reaches the pilot's
// VectorWaypoint (the destination's field elevation when none of them is higher than 0), and, when the
// aircraft is no nearer the threshold than the waypoint, also the points within the circle around the
// waypoint that reaches the aircraft. 0 when there are no terrain points at all. Through the context's
// radar index when it has one, with the same answer.
int32_t HighestTerrainOnVector(AtcContext& context);

}  // namespace skyvox::atc
