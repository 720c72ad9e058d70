// Arbitrary text as a world description: it parses or raises a FormatError that names the line. A world
// that parses is written back as text that parses to the same world, and each of its BGL files, when
// the writer can lay it out, is one the scenery scan reads without a format error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/bgl_writer.h"
#include "authoring/world_description.h"
#include "base/errors.h"
#include "scenery/bgl_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox;
  using namespace skyvox::authoring;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  WorldDescription world;
  try {
    world = ParseWorldDescription(text);
  } catch (const FormatError& e) {
    if (std::string_view(e.what()).substr(0, 5) != "line ") __builtin_trap();
    return 0;
  }
  if (!(ParseWorldDescription(FormatWorldDescription(world)) == world)) __builtin_trap();

  static const geo::MagVarGrid grid;
  for (const DescribedArea& area : world.Areas) {
    for (const DescribedFile& file : area.Files) {
      std::vector<uint8_t> bgl;
      try {
        bgl = BuildBglFile(file.Airports, file.Airspaces);
      } catch (const FormatError&) {
        continue;
      }
      scenery::ScanBglFile(
          bgl, grid,
          scenery::BglScanSink{[](scenery::AirportRecord&) {}, [](const scenery::AirspaceRecord&) {}});
    }
  }
  return 0;
}
