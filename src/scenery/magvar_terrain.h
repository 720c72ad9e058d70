// The magnetic variation grid from the simulator's magdec.bgl, and the terrain points near the
// controlled airports from the program's world_terrain.db.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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
  Modelled,  // no usable file; the grid holds the World Magnetic Model's variation instead
};

// Reads the 360 x 181 grid at V + 8, V being the value at offset 110. The grid changes only when the
// whole grid could be read; its last entry (65160) is never written.
MagdecStatus LoadMagneticVariation(std::span<const uint8_t> bytes, geo::MagVarGrid& grid);
MagdecStatus LoadMagneticVariation(const std::filesystem::path& file, geo::MagVarGrid& grid);

// The session's grid as the program loads it on start: from the simulator's magdec.bgl (magdec: nullopt
// when there is no such file), the status saying how it went. When the file gives no grid, the grid is
// left as it was, or with the corrected mode's MagVarFromModel it is computed from the World Magnetic
// Model's coefficient file (modelFile, the program's shipped WMM.COF) for decimalYear, and the status is
// Modelled; a model file that cannot be read or used leaves the grid and the file's status as they were.
MagdecStatus LoadSessionVariation(const std::optional<std::filesystem::path>& magdec, WorldTables& world,
                                  const std::filesystem::path& modelFile, double decimalYear);

// Appends to TerrainPoints every whole 20-byte record within 90 nm (DistanceNm) of the airport's
// position, in file order; a cut-short last record is ignored.
void LoadTerrainPoints(const AirportRecord& airport, std::span<const uint8_t> terrainBytes,
                       WorldTables& tables);
// The same, reading AppFolder/world_terrain.db (FileError when it cannot be read).
void LoadTerrainPoints(const AirportRecord& airport, WorldTables& tables);

// LoadTerrainPoints for each airport in turn, in one pass over the file that checks each point only
// against the airports within reach of its latitude: the same points in the same order. When the
// distance to a point cannot be worked out for an airport (a position that is not a number), the
// points of the airports before it and its own found before that point are appended, then the same
// error is thrown.
void LoadTerrainPoints(std::span<const AirportRecord> airports, std::span<const uint8_t> terrainBytes,
                       WorldTables& tables);
// The same, one pass over the file per airport: the reference the one-pass form is checked against.
void LoadTerrainPointsStraightforward(std::span<const AirportRecord> airports,
                                      std::span<const uint8_t> terrainBytes, WorldTables& tables);

// What is wrong with the bytes of a terrain file, nothing when they can be used: a file that holds no
// record or whose last record is cut short does not add up; and when the shipped file's bytes are at
// hand, a shorter file that is their beginning is a copy cut short (a full disk). A terrain file of
// the user's own (any other content) is accepted.
std::optional<std::string> TerrainFileFault(std::span<const uint8_t> bytes,
                                            std::span<const uint8_t> shipped = {});

// The program folder's world_terrain.db from the shipped one: copied when missing or at fault, through
// "world_terrain.db.copying" and a rename so that a copy is never half-written. Returns what was done
// ("" when the file was good). Throws FileError naming the cause when the copy fails, or when the file
// is missing or at fault and no shipped file is at hand.
std::string InstallTerrainFile(const std::filesystem::path& appFolder, const std::filesystem::path& shipped);

}  // namespace skyvox::scenery
