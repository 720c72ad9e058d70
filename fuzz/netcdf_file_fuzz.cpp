// Arbitrary bytes as a NetCDF classic file for the terrain generator: the header reads or raises
// FormatError, and so does each numeric variable's values. Every dimension a variable names exists,
// and the values read never outnumber the file's bytes. The reader takes a path: the input goes to a
// scratch file of this process first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "base/errors.h"
#include "netcdf_classic.h"

namespace {
struct ScratchFile {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("skyvox-fuzz-netcdf-" + std::to_string(std::random_device()()) + ".nc");
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::tools;
  static const ScratchFile scratch;
  std::ofstream(scratch.path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  try {
    NetCdfClassicFile file(scratch.path);
    if (file.FileLength() != size) __builtin_trap();
    for (const NcVariable& v : file.Variables()) {
      for (uint32_t id : v.DimIds) {
        if (id >= file.Dimensions().size()) __builtin_trap();
      }
      if (v.Type == NcType::Char || v.IsRecordVariable) continue;
      try {
        if (file.ReadUnpacked(v).size() > size) __builtin_trap();
      } catch (const skyvox::FormatError&) {
      }
    }
  } catch (const skyvox::FormatError&) {
  }
  return 0;
}
