// Pieces of the radar controllers (departure, approach and center) that are worth reaching from
// outside their dialogues. RunApproachControl and RunCenterControl themselves are declared with the
// other dialogue procedures in atc/atc_context.h.
#pragma once

#include <cstdint>

#include "atc/atc_context.h"

namespace skyvox::atc {

// The highest terrain elevation, in feet, that the pilot's next vector must clear: the highest terrain
// point within the circle around the destination's main-runway threshold that reaches the pilot's
// VectorWaypoint (the destination's field elevation when none of them is higher than 0), and, when the
// aircraft is no nearer the threshold than the waypoint, also the points within the circle around the
// waypoint that reaches the aircraft. 0 when there are no terrain points at all.
int32_t HighestTerrainOnVector(AtcContext& context);

}  // namespace skyvox::atc
