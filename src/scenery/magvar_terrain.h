// The magnetic variation grid from the simulator's magdec.bgl, and the terrain points near the
// controlled airports from the program's world_terrain.db.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "geo/mag_var_grid.h"
#include "scenery/records.h"

namespace skyvox::scenery {

inline constexpr double kTerrainRadiusNm = 90;

enum class MagdecStatus {
  Loaded,    // the grid holds the file's values
  NoData,    // the file's variation offset is below 1: the grid is left as it was
  Missing,   // no such file: the grid is left as it was
  TooShort,  // the file ends before the grid does: the grid is left as it was
};

// Reads the 360 x 181 grid at V + 8, V being the value at offset 110. The grid changes only when the
// whole grid could be read; its last entry (65160) is never written.
MagdecStatus LoadMagneticVariation(std::span<const uint8_t> bytes, geo::MagVarGrid& grid);
MagdecStatus LoadMagneticVariation(const std::filesystem::path& file, geo::MagVarGrid& grid);

// Appends to TerrainPoints every whole 20-byte record within 90 nm (DistanceNm) of the airport's
// position, in file order; a cut-short last record is ignored.
void LoadTerrainPoints(const AirportRecord& airport, std::span<const uint8_t> terrainBytes,
                       WorldTables& tables);
// The same, reading AppFolder/world_terrain.db (FileError when it cannot be read).
void LoadTerrainPoints(const AirportRecord& airport, WorldTables& tables);

}  // namespace skyvox::scenery
