// Departure, approach and center control. The radar services are not built yet: a pilot tuned to
// one of them is kept tuned, and nothing is said to it.
#include "atc/atc_context.h"

namespace skyvox::atc {

void RunApproachControl(AtcContext& context) {
  (void)context;
}

void RunCenterControl(AtcContext& context) {
  (void)context;
}

}  // namespace skyvox::atc
