// skyvox-terrain-gen: writes world_terrain.db from the ETOPO5 global relief (NetCDF classic), keeping
// the highest sample of every land cell.
//
//   skyvox-terrain-gen --etopo5 PATH --out PATH [--cell-minutes N]    (default 20 minutes)
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "netcdf_classic.h"
#include "terrain_cells.h"

namespace {
using namespace skyvox;
using namespace skyvox::tools;

constexpr int32_t kDefaultCellMinutes = 20;
constexpr int32_t kMaxCellMinutes = 90 * 60;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: skyvox-terrain-gen --etopo5 PATH --out PATH [--cell-minutes N]\n"
               "  --etopo5 PATH        ETOPO5 relief in NetCDF classic format (etopo5.cdf)\n"
               "  --out PATH           terrain file to write (world_terrain.db)\n"
               "  --cell-minutes N     cell size in arc minutes, a multiple of the sample spacing "
               "(default %d)\n",
               kDefaultCellMinutes);
}

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string Units(const NcVariable& variable) {
  const NcAttribute* units = FindAttribute(variable.Attributes, "units");
  return units != nullptr ? Lower(units->Text) : std::string();
}

// The coordinate variable of a dimension (one-dimensional, named as its dimension), when its units
// start with unitsPrefix.
const NcVariable* CoordinateVariable(const NetCdfClassicFile& file, uint32_t dimId,
                                     std::string_view unitsPrefix) {
  const NcVariable* v = file.FindVariable(file.Dimensions()[dimId].Name);
  if (v == nullptr || v->DimIds.size() != 1 || v->DimIds[0] != dimId) return nullptr;
  return Units(*v).starts_with(unitsPrefix) ? v : nullptr;
}

struct ReliefVariables {
  const NcVariable* Elevation = nullptr;
  const NcVariable* Latitude = nullptr;
  const NcVariable* Longitude = nullptr;
};

// The first two-dimensional variable laid out as latitude rows of longitude columns.
ReliefVariables FindRelief(const NetCdfClassicFile& file) {
  for (const NcVariable& v : file.Variables()) {
    if (v.DimIds.size() != 2) continue;
    const NcVariable* lat = CoordinateVariable(file, v.DimIds[0], "degrees_n");
    const NcVariable* lon = CoordinateVariable(file, v.DimIds[1], "degrees_e");
    if (lat != nullptr && lon != nullptr) return {&v, lat, lon};
  }
  throw FormatError("no variable of latitude rows and longitude columns in the file");
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw FileError("cannot create " + path);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw FileError("cannot write " + path);
}

int Run(const std::string& etopoPath, const std::string& outPath, int32_t cellMinutes) {
  NetCdfClassicFile file(etopoPath);
  const ReliefVariables relief = FindRelief(file);
  const std::string units = Units(*relief.Elevation);
  if (units != "meters" && units != "metres" && units != "m") {
    throw FormatError(relief.Elevation->Name + " is in \"" + units + "\", not metres");
  }

  const std::vector<double> latitudes = file.ReadValues(*relief.Latitude);
  const std::vector<double> longitudes = file.ReadValues(*relief.Longitude);
  ElevationGrid grid;
  grid.SpacingSeconds = AxisSpacingSeconds(longitudes);
  if (AxisSpacingSeconds(latitudes) != grid.SpacingSeconds) {
    throw FormatError("latitude and longitude samples are not equally spaced");
  }
  if (cellMinutes * 60 % grid.SpacingSeconds != 0) {
    throw FormatError("a cell of " + std::to_string(cellMinutes) + " minutes is no whole number of " +
                      std::to_string(grid.SpacingSeconds) + "-second samples");
  }
  const int32_t cellSamples = cellMinutes * 60 / grid.SpacingSeconds;
  grid.LatitudeSteps = SnapAxis(latitudes, grid.SpacingSeconds);
  grid.LongitudeSteps = SnapAxis(longitudes, grid.SpacingSeconds);
  grid.Metres = file.ReadUnpacked(*relief.Elevation);

  std::printf("source: %s, variable %s, %zu x %zu samples every %d arc seconds\n", etopoPath.c_str(),
              relief.Elevation->Name.c_str(), latitudes.size(), longitudes.size(), grid.SpacingSeconds);
  const CellSelection selection = SelectCellMaxima(grid, cellSamples);
  const std::vector<uint8_t> bytes = EncodeTerrainRecords(selection.Points);
  WriteFile(outPath, bytes);

  std::printf("cells: %llu of %d x %d arc minutes\n", static_cast<unsigned long long>(selection.CellCount),
              cellMinutes, cellMinutes);
  std::printf("points: %zu (cells above sea level)\n", selection.Points.size());
  std::printf("bytes: %zu written to %s\n", bytes.size(), outPath.c_str());
  const auto highest =
      std::max_element(selection.Points.begin(), selection.Points.end(),
                       [](const auto& a, const auto& b) { return a.Elevation < b.Elevation; });
  if (highest != selection.Points.end()) {
    std::printf("highest point: %d ft at %.4f, %.4f\n", highest->Elevation, highest->Latitude,
                highest->Longitude);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string etopoPath;
  std::string outPath;
  int32_t cellMinutes = kDefaultCellMinutes;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg != "--etopo5" && arg != "--out" && arg != "--cell-minutes") {
      std::fprintf(stderr, "skyvox-terrain-gen: unexpected argument '%s'\n", argv[i]);
      PrintUsage(stderr);
      return 2;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "skyvox-terrain-gen: %s needs a value\n", argv[i]);
      PrintUsage(stderr);
      return 2;
    }
    const std::string value = argv[++i];
    if (arg == "--etopo5") {
      etopoPath = value;
    } else if (arg == "--out") {
      outPath = value;
    } else {
      const bool digits =
          !value.empty() && value.size() <= 4 &&
          std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
      cellMinutes = digits ? std::stoi(value) : 0;
      if (cellMinutes < 1 || cellMinutes > kMaxCellMinutes) {
        std::fprintf(stderr, "skyvox-terrain-gen: --cell-minutes wants a whole number from 1 to %d\n",
                     kMaxCellMinutes);
        return 2;
      }
    }
  }
  if (etopoPath.empty() || outPath.empty()) {
    PrintUsage(stderr);
    return 2;
  }
  try {
    return Run(etopoPath, outPath, cellMinutes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skyvox-terrain-gen: %s\n", e.what());
    return 1;
  }
}
