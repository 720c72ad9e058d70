// Where the program finds its shipped data (world_terrain.db and the sample world): beside an
// installed program in ../share/skyvox, else the source tree's data folder it was built from.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace skyvox::app {

// The installed data folder for a program at `executable`: <prefix>/share/skyvox for <prefix>/bin/NAME.
std::filesystem::path InstalledDataFolder(const std::filesystem::path& executable);

// The first of the installed folder and `builtFrom` that holds world_terrain.db; "" when neither does.
std::filesystem::path FindDataFolder(const std::filesystem::path& executable,
                                     const std::filesystem::path& builtFrom);

// The path of the running program (/proc/self/exe on Linux); `fallback` (argv[0]) elsewhere.
std::filesystem::path RunningExecutable(const char* fallback);

}  // namespace skyvox::app

namespace skyvox::app {

// The running program's data folder: FindDataFolder for this executable, `builtFrom` when neither
// holds the terrain file (the caller's own checks then report what is missing).
std::filesystem::path ShippedDataFolder(const std::filesystem::path& builtFrom);

}  // namespace skyvox::app
