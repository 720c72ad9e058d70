// The program-wide tables, one instance for the life of the process, passed by reference to every
// window controller. Later layers add their tables here (the player roster, the session objects).
#pragma once

#include <filesystem>

#include "scenery/records.h"
#include "session/roster.h"

namespace skyvox::app {

inline constexpr const char* kProgramTitle = "Skyvox v2.0";

struct ProgramState {
  scenery::WorldTables World;
  session::SessionLink Link;
  // The shipped data folder (WMM.COF among its files), "" when the program does not know it.
  std::filesystem::path DataFolder;
};

}  // namespace skyvox::app
