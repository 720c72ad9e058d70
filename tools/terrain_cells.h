// The selection behind world_terrain.db: from an evenly spaced elevation grid, the highest sample of
// every land cell of a fixed size, as terrain points in whole feet.
#pragma once

#include <cstdint>
#include <vector>

namespace skyvox::tools {

// An evenly spaced latitude/longitude grid. A row or column is given by its position in whole
// samples: latitude = step × spacing north of the equator, longitude = step × spacing east of the
// prime meridian (any turn: 0 … 360 and −180 … 180 grids both work).
struct ElevationGrid {
  int32_t SpacingSeconds = 0;           // arc seconds between samples; must divide 360 degrees
  std::vector<int32_t> LatitudeSteps;   // one per row, |latitude| ≤ 90 degrees
  std::vector<int32_t> LongitudeSteps;  // one per column
  std::vector<double> Metres;           // row-major, NaN where there is no value
};

// One record of world_terrain.db.
struct TerrainRecord {
  double Latitude = 0;    // degrees, north positive
  double Longitude = 0;   // degrees, east positive, −180 ≤ longitude < 180
  int32_t Elevation = 0;  // feet
  bool operator==(const TerrainRecord&) const = default;
};

struct CellSelection {
  std::vector<TerrainRecord> Points;
  uint64_t CellCount = 0;  // cells holding at least one sample with a value
};

// The sample spacing of an axis of coordinates in degrees, in whole arc seconds, from its mean step.
// Throws FormatError for an axis of fewer than two values or with a mean step under one second.
int32_t AxisSpacingSeconds(const std::vector<double>& degrees);

// Each coordinate as a whole number of samples of the given spacing. Coordinates off the exact grid
// by less than a quarter of a sample are snapped to it (some files store a slightly drifting axis);
// farther off, or not advancing by exactly one sample each time, throws FormatError.
std::vector<int32_t> SnapAxis(const std::vector<double>& degrees, int32_t spacingSeconds);

// The highest sample of each cell of cellSamples × cellSamples samples, for the cells whose highest
// sample lies above sea level (> 0 m). Cells are aligned on the equator and the antimeridian;
// longitudes are taken into −180 … 180 first, and a row or column that repeats one already seen (a
// grid that closes its turn) is ignored. The point keeps its sample's position; its elevation is the
// metres in whole feet, rounded half to even. Points are ordered by cell, rows south to north, then
// west to east; among equal highest samples the southernmost, then westernmost, wins.
// Throws FormatError for an inconsistent grid, OverflowError for an elevation beyond 32-bit feet.
CellSelection SelectCellMaxima(const ElevationGrid& grid, int32_t cellSamples);

// The records as the file stores them: 20 bytes each, little-endian double latitude, double
// longitude, 32-bit elevation.
std::vector<uint8_t> EncodeTerrainRecords(const std::vector<TerrainRecord>& records);

}  // namespace skyvox::tools
