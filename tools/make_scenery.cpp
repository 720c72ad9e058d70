#include "make_scenery.h"

#include <filesystem>
#include <iostream>
#include <string_view>

#include "authoring/bgl_writer.h"
#include "authoring/magdec_writer.h"
#include "authoring/world_description.h"
#include "base/files.h"
#include "geo/wmm.h"

namespace skyvox::tools {

int MakeScenery(const std::string& world, int synthetic, int perFile, uint32_t seed, double year,
                const std::string& out, const std::string& dataDir) {
  const authoring::WorldDescription description = world.empty()
                                                      ? authoring::SyntheticWorld(synthetic, perFile, seed)
                                                      : authoring::ReadWorldDescription(world);
  const std::vector<uint8_t> cof = ReadWholeFile(std::filesystem::path(dataDir) / "WMM.COF");
  const geo::WmmModel model =
      geo::WmmModel::Parse(std::string_view(reinterpret_cast<const char*>(cof.data()), cof.size()));
  const std::vector<uint8_t> magdec = authoring::BuildMagdecBgl(authoring::VariationGridFromWmm(model, year));
  authoring::WriteSceneryFolder(description, out, magdec);

  size_t files = 0, airports = 0, airspaces = 0;
  for (const auto& area : description.Areas) {
    files += area.Files.size();
    for (const auto& file : area.Files) {
      airports += file.Airports.size();
      airspaces += file.Airspaces.size();
    }
  }
  std::cout << "wrote " << out << ": " << description.Areas.size() << " areas, " << files << " BGL files, "
            << airports << " airports, " << airspaces << " airspaces, magnetic variation of " << year << '\n';
  return 0;
}

}  // namespace skyvox::tools
