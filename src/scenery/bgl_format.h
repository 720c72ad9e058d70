// What the BGL readers share of the files' layout: the record kinds they look for, the raw coordinate
// units, the walk from a record to the next, and the runway designator letters.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "geo/sim_coordinates.h"

namespace skyvox::scenery::bgl_format {

inline constexpr int32_t kHeaderRecord = 0x10001;
inline constexpr int32_t kRunwayRecord = 0x10002;
inline constexpr int32_t kPositionRecord = 0x10003;
inline constexpr int32_t kNavAidRecord = 0x10004;
inline constexpr int32_t kRunwayEndRecord = 0x10005;
inline constexpr int32_t kNameRecord = 0x10006;
inline constexpr int32_t kTaxiDataRecord = 0x11001;
inline constexpr int32_t kFrequencyRecord = 0x20001;
inline constexpr int32_t kLimitsRecord = 0x12002;
inline constexpr int32_t kBoxRecord = 0x1000B;
inline constexpr int32_t kBoundaryRecord = 1;
inline constexpr int32_t kBoundaryGroup = 4;
inline constexpr int32_t kAirspaceValue = 5;
inline constexpr int32_t kIlsKind = 4;

inline constexpr std::array<const char*, 5> kDesignators = {"", "L", "R", "C", "H"};

inline double Latitude(int32_t raw) {
  return raw * 90.0 / geo::kLatitudeMetresPer90Degrees;
}
inline double Longitude(int32_t raw) {
  return raw * 360.0 / geo::kLongitudeUnitsPerTurn;
}

// The offset after a record whose size field is `size`; nothing when that would not move forward.
inline std::optional<int64_t> NextSibling(int64_t offset, int32_t size) {
  const int64_t next = offset + static_cast<int64_t>(size) + 8;
  if (next <= offset) return std::nullopt;
  return next;
}

}  // namespace skyvox::scenery::bgl_format
