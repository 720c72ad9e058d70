// A ready program folder written in the test: a simulator folder "FS2002" (no magnetic variation) and a
// program folder "Skyvox" whose database holds one airport and the Seattle centre, one terrain point
// and the configuration file naming them. Returns the program folder's path.
#pragma once

#include <filesystem>
#include <string>

#include "app/config_file.h"
#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "scenery/database_files.h"
#include "support/temp_dir.h"

namespace skyvox::testing {

inline std::filesystem::path WriteProgramFolder(const TempDir& dir, scenery::AirportRecord airport,
                                                const scenery::TerrainPoint& terrainPoint) {
  const std::filesystem::path sim = dir.Path() / "FS2002";
  std::filesystem::create_directories(sim / "Scenery");
  dir.Write("FS2002/Scenery/magdec.bgl", authoring::BuildMagdecBgl(geo::MagVarGrid{}));
  const std::filesystem::path app = dir.Path() / "Skyvox";
  std::filesystem::create_directories(app);
  int32_t airports = 0, airspaces = 0;
  scenery::AppendAirportRecord(app / scenery::kAirportsFileName, airport, airports);
  scenery::AppendAirspaceRecord(app / scenery::kAirspacesFileName,
                                {"SEATTLE", "ARTCC/FIR (HIGH)", "128.3", 49, 42, -116.5, -126, -1, -1},
                                airspaces);
  ByteWriter terrain;
  scenery::WriteTerrainPoint(terrain, terrainPoint);
  dir.Write("Skyvox/world_terrain.db", terrain.Take());
  app::WriteConfigFile(app.string(), {sim.string(), airports, airspaces});
  return app;
}

}  // namespace skyvox::testing
