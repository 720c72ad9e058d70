#include "scenery/magvar_terrain.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "base/byte_io.h"
#include "base/errors.h"
#include "base/files.h"
#include "geo/geometry.h"
#include "geo/wmm.h"
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

MagdecStatus LoadSessionVariation(const std::optional<std::filesystem::path>& magdec, WorldTables& world,
                                  const std::filesystem::path& modelFile, double decimalYear) {
  const MagdecStatus status =
      magdec ? LoadMagneticVariation(*magdec, world.MagVarGrid) : MagdecStatus::Missing;
  if (status == MagdecStatus::Loaded) return status;
  // The design then gives no variation at all: every heading and bearing said is true, not magnetic,
  // off by as much as the local variation. Corrected, the variation comes from the World Magnetic Model
  // shipped with the program, for the date, as the simulator's own file would have given it.
  if (world.Corrected.Applies(Correction::MagVarFromModel)) {
    try {
      const std::vector<uint8_t> cof = ReadWholeFile(modelFile);
      const geo::WmmModel model =
          geo::WmmModel::Parse(std::string_view(reinterpret_cast<const char*>(cof.data()), cof.size()));
      world.MagVarGrid = geo::VariationGridFromModel(model, decimalYear);
      return MagdecStatus::Modelled;
    } catch (const Error&) {
    } catch (const std::invalid_argument&) {  // a year the model refuses
    }
  }
  return status;
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

void LoadTerrainPointsStraightforward(std::span<const AirportRecord> airports,
                                      std::span<const uint8_t> terrainBytes, WorldTables& tables) {
  for (const AirportRecord& airport : airports) LoadTerrainPoints(airport, terrainBytes, tables);
}

namespace {

double LittleDouble(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return std::bit_cast<double>(v);
}

int32_t LittleInt32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

}  // namespace

void LoadTerrainPoints(std::span<const AirportRecord> airports, std::span<const uint8_t> terrainBytes,
                       WorldTables& tables) {
  // Airports by latitude, for the points of ordinary latitudes: only those within 2 degrees of a
  // point's latitude can pass the 1.6 degree test, which is then made as the one-airport scan makes it.
  // The rest (a latitude that is not a number, infinite, or a point beyond a million degrees, where
  // rounding could blur the 2 degrees) are checked against the point one by one.
  struct ByLatitude {
    double Latitude;
    size_t Airport;
  };
  constexpr double kOrdinary = 1e6;
  std::vector<ByLatitude> sorted;
  std::vector<size_t> unsorted;
  for (size_t k = 0; k < airports.size(); ++k) {
    const double lat = airports[k].Latitude;
    if (std::isfinite(lat)) {
      sorted.push_back({lat, k});
    } else {
      unsorted.push_back(k);
    }
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const ByLatitude& a, const ByLatitude& b) { return a.Latitude < b.Latitude; });

  // How far in longitude a point within 1.6 degrees of latitude of an airport may lie and still be
  // within 95 nm of it (more than the 90.5 nm that DistanceNm could round to 90): on the sphere the
  // haversine of the distance is at least cos(lat1) cos(lat2) sin^2(dLon / 2), sin(x) >= 2x / pi, so
  // the distance is at least sqrt(cos(lat1) cos(lat2)) dLon / 90 radians. Farther points are not
  // worked out; for an airport beyond 88 degrees or off the map, every point is.
  std::vector<double> reach(airports.size(), std::numeric_limits<double>::infinity());
  for (size_t k = 0; k < airports.size(); ++k) {
    const double lat = airports[k].Latitude;
    const double lon = airports[k].Longitude;
    if (!(std::fabs(lat) <= 88 && std::fabs(lon) <= 180)) continue;
    const double factor = std::sqrt(std::cos(lat * std::numbers::pi / 180) *
                                    std::cos((std::fabs(lat) + 1.6) * std::numbers::pi / 180));
    constexpr double kDegrees = 95 * std::numbers::pi / 10800 * 90;  // 95 nm in radians, times 90
    reach[k] = kDegrees / (factor * 0.999);
  }

  struct Found {
    size_t Airport;
    TerrainPoint Point;
  };
  std::vector<Found> found;
  std::vector<std::exception_ptr> failures(airports.size());
  auto check = [&](size_t k, const TerrainPoint& point) {
    if (failures[k]) return;  // that airport's scan has ended
    const AirportRecord& airport = airports[k];
    if (std::fabs(point.Latitude - airport.Latitude) > 1.6) return;
    double dLon = std::fabs(point.Longitude - airport.Longitude);
    if (dLon > 180) dLon = 360 - dLon;
    if (dLon > reach[k]) return;  // surely more than 95 nm away
    try {
      if (geo::DistanceNm(airport.Latitude, airport.Longitude, point.Latitude, point.Longitude) >
          kTerrainRadiusNm) {
        return;
      }
    } catch (const Error&) {
      failures[k] = std::current_exception();
      return;
    }
    found.push_back({k, point});
  };

  const size_t count = terrainBytes.size() / kTerrainPointSize;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = terrainBytes.data() + i * kTerrainPointSize;
    TerrainPoint point;
    point.Latitude = LittleDouble(p);
    point.Longitude = LittleDouble(p + 8);
    point.Elevation = LittleInt32(p + 16);
    if (!std::isfinite(point.Latitude) || !std::isfinite(point.Longitude)) continue;
    if (std::fabs(point.Latitude) <= kOrdinary) {
      const double low = point.Latitude - 2;
      const double high = point.Latitude + 2;
      auto it = std::lower_bound(sorted.begin(), sorted.end(), low,
                                 [](const ByLatitude& a, double lat) { return a.Latitude < lat; });
      for (; it != sorted.end() && it->Latitude <= high; ++it) check(it->Airport, point);
    } else {
      for (const ByLatitude& a : sorted) check(a.Airport, point);
    }
    for (size_t k : unsorted) check(k, point);
  }

  // Each airport's points in file order, the airports in turn.
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.Airport < b.Airport; });
  auto next = found.begin();
  for (size_t k = 0; k < airports.size(); ++k) {
    const auto first = next;
    while (next != found.end() && next->Airport == k) ++next;
    if (first != next) {
      const auto n = static_cast<int32_t>(next - first);
      tables.TerrainPoints.resize(static_cast<size_t>(tables.TerrainPointCount));
      tables.TerrainPoints.reserve(static_cast<size_t>(tables.TerrainPointCount) + static_cast<size_t>(n) +
                                   1);
      for (auto f = first; f != next; ++f) tables.TerrainPoints.push_back(f->Point);
      tables.TerrainPointCount += n;
      tables.TerrainPoints.emplace_back();
    }
    if (failures[k]) std::rethrow_exception(failures[k]);
  }
}

std::optional<std::string> TerrainFileFault(std::span<const uint8_t> bytes,
                                            std::span<const uint8_t> shipped) {
  const std::string size = std::to_string(bytes.size()) + " bytes";
  if (bytes.empty()) return std::string(kTerrainFileName) + " holds no terrain point (0 bytes)";
  if (bytes.size() % kTerrainPointSize != 0) {
    return std::string(kTerrainFileName) + " is cut short: " + size + " is not a whole number of " +
           std::to_string(kTerrainPointSize) + "-byte records";
  }
  if (bytes.size() < shipped.size() && std::equal(bytes.begin(), bytes.end(), shipped.begin())) {
    return std::string(kTerrainFileName) + " is a copy cut short: " + size + " of the shipped file's " +
           std::to_string(shipped.size());
  }
  return std::nullopt;
}

std::string InstallTerrainFile(const std::filesystem::path& appFolder, const std::filesystem::path& shipped) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target = appFolder / kTerrainFileName;
  const bool present = fs::is_regular_file(target, ec);
  const bool haveShipped = fs::is_regular_file(shipped, ec);
  const std::vector<uint8_t> shippedBytes = haveShipped ? ReadWholeFile(shipped) : std::vector<uint8_t>();
  std::optional<std::string> fault;
  if (present) {
    fault = TerrainFileFault(ReadWholeFile(target), shippedBytes);
    if (!fault) return "";
  }
  if (!haveShipped) {
    throw FileError(fault ? *fault + ", and there is no shipped " + shipped.string() + " to copy again"
                          : target.string() + " is missing, and there is no shipped " + shipped.string());
  }
  const fs::path temporary = appFolder / (std::string(kTerrainFileName) + ".copying");
  fs::remove(temporary, ec);  // a leftover of a killed copy: positioned writes would keep its tail
  try {
    WriteAt(temporary, 0, shippedBytes);
    if (FileLength(temporary) != shippedBytes.size()) throw FileError("cannot write " + temporary.string());
    fs::rename(temporary, target, ec);
    if (ec) throw FileError("cannot rename " + temporary.string() + ": " + ec.message());
  } catch (const Error& e) {
    fs::remove(temporary, ec);
    throw FileError("cannot copy " + shipped.string() + " to " + target.string() + ": " + e.what());
  }
  return fault ? *fault + "; copied again from " + shipped.string()
               : "copied " + shipped.string() + " to " + target.string();
}

}  // namespace skyvox::scenery
