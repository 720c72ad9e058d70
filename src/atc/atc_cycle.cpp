#include "atc/atc_cycle.h"

namespace skyvox::atc {

void RunAtcCycle(session::SessionLink& link, scenery::WorldTables& world) {
  (void)link;
  (void)world;
}

}  // namespace skyvox::atc
