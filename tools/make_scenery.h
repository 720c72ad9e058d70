// skyvox-db make-scenery: a simulator folder written from a world description or a synthetic world,
// with a magdec.bgl computed from the World Magnetic Model.
#pragma once

#include <cstdint>
#include <string>

namespace skyvox::tools {

// world: a description file, or "" for a synthetic world of `synthetic` airports, perFile per BGL
// file. dataDir holds WMM.COF. Prints a summary; returns the exit code. Throws on failure.
int MakeScenery(const std::string& world, int synthetic, int perFile, uint32_t seed, double year,
                const std::string& out, const std::string& dataDir);

}  // namespace skyvox::tools
