#include "scenery/magvar_terrain.h"

#include <cmath>
#include <system_error>

#include "base/byte_io.h"
#include "base/errors.h"
#include "base/files.h"
#include "geo/geometry.h"
#include "scenery/bgl_reader.h"
#include "scenery/database_files.h"

namespace skyvox::scenery {

MagdecStatus LoadMagneticVariation(std::span<const uint8_t> bytes, geo::MagVarGrid& grid) {
  const BglBytes bgl(bytes);
  try {
    const int32_t v = bgl.ReadInt32(110);
    if (v < 1) return MagdecStatus::NoData;
    // The last value read is lat 90 of column 359; everything before it must be there too.
    bgl.Require(static_cast<int64_t>(v) + 8, 2 * (180 + 181 * 359) + 2);
    geo::MagVarGrid loaded = grid;
    for (int lat = -90; lat <= 90; ++lat) {
      for (int lon = 0; lon <= 359; ++lon) {
        loaded.Set(geo::MagVarGrid::Index(lon, lat),
                   bgl.ReadInt16(static_cast<int64_t>(v) + 8 + 2 * ((lat + 90) + 181 * lon)));
      }
    }
    grid = std::move(loaded);
    return MagdecStatus::Loaded;
  } catch (const ReadPastEnd&) {
    return MagdecStatus::TooShort;
  }
}

MagdecStatus LoadMagneticVariation(const std::filesystem::path& file, geo::MagVarGrid& grid) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return MagdecStatus::Missing;
  return LoadMagneticVariation(ReadWholeFile(file), grid);
}

void LoadTerrainPoints(const AirportRecord& airport, std::span<const uint8_t> terrainBytes,
                       WorldTables& tables) {
  ByteReader in(terrainBytes);
  while (in.Remaining() >= kTerrainPointSize) {
    const TerrainPoint point = ReadTerrainPoint(in);
    // A point without a real position (NaN, infinity) has no distance to anything.
    if (!std::isfinite(point.Latitude) || !std::isfinite(point.Longitude)) continue;
    // More than 1.6 degrees of latitude apart is more than 96 nm whatever the longitudes: no need to
    // compute the distance. Anything nearer goes through DistanceNm, whose rounding decides.
    if (std::fabs(point.Latitude - airport.Latitude) > 1.6) continue;
    if (geo::DistanceNm(airport.Latitude, airport.Longitude, point.Latitude, point.Longitude) >
        kTerrainRadiusNm) {
      continue;
    }
    tables.TerrainPoints.resize(static_cast<size_t>(tables.TerrainPointCount) + 1);
    tables.TerrainPoints[static_cast<size_t>(tables.TerrainPointCount)] = point;
    tables.TerrainPointCount += 1;
    tables.TerrainPoints.resize(static_cast<size_t>(tables.TerrainPointCount) + 1);
  }
}

void LoadTerrainPoints(const AirportRecord& airport, WorldTables& tables) {
  LoadTerrainPoints(airport, ReadWholeFile(JoinPath(tables.AppFolder, kTerrainFileName)), tables);
}

}  // namespace skyvox::scenery
