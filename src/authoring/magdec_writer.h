// Writes the simulator's magnetic variation file (scenery\magdec.bgl) for generated scenery, from a
// variation grid that the World Magnetic Model fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geo/mag_var_grid.h"
#include "geo/wmm.h"

namespace skyvox::authoring {

// Where the written file keeps its variation table: the 32-bit value at header offset 110 holds it.
// 168 keeps the table clear of every header field the scenery scan reads (up to offset 167).
inline constexpr size_t kMagdecTableOffset = 168;
// Header, the 8-byte table header (words 360 and 181, then zeros) and 360 x 181 16-bit values.
inline constexpr size_t kMagdecFileSize = kMagdecTableOffset + 8 + 360 * 181 * 2;  // 130,496

// The WMM declination at sea level (height 0 above the ellipsoid) for every whole degree lat -90..90,
// lon 0..359 east, at decimalYear, in counts of 360/65536 degree rounded half to even, stored at
// lon * 181 + (lat + 90). The poles hold the model's declination there measured from the cell's
// meridian. A declination of exactly +180 degrees (32768 counts) is stored as -32768, the same
// direction. Index 65160, which no column names, stays 0. Throws what WmmModel::DeclinationDeg throws
// for a year the model refuses.
geo::MagVarGrid VariationGridFromWmm(const geo::WmmModel& model, double decimalYear);

// The bytes of a magdec.bgl holding the grid's 65160 named values: a zero header except the table
// offset at 110 (so the facility magic at 118 and the section flag at 144 read 0, and the scenery scan
// skips the file), the table header at kMagdecTableOffset with 360 and 181, and from table offset + 8
// the 360 longitude columns of 181 signed little-endian 16-bit values (lat -90..90). Always
// kMagdecFileSize bytes.
std::vector<uint8_t> BuildMagdecBgl(const geo::MagVarGrid& grid);

}  // namespace skyvox::authoring
