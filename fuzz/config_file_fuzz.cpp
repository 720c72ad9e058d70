// Arbitrary bytes as Skyvox_link.cfg: the record decodes or raises FormatError. A record that decodes
// has counts of 0 and up, and came from the file's first bytes: writing it gives those bytes again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/config_file.h"
#include "base/byte_io.h"
#include "base/errors.h"
#include "scenery/database_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox;
  scenery::ConfigRecord config;
  try {
    config = app::ParseConfigFile(std::span<const uint8_t>(data, size));
  } catch (const FormatError&) {
    return 0;
  }
  if (config.AirportCount < 0 || config.AirspaceCount < 0) __builtin_trap();
  ByteWriter out;
  scenery::WriteConfigRecord(out, config);
  if (out.Size() > size || !std::equal(out.Data().begin(), out.Data().end(), data)) __builtin_trap();
  return 0;
}
