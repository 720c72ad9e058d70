#include "app/config_file.h"

#include "base/byte_io.h"
#include "base/files.h"
#include "scenery/database_files.h"

namespace skyvox::app {

std::string ConfigFilePath(const std::string& appFolder) {
  return JoinPath(appFolder, kConfigFileName);
}

void WriteConfigFile(const std::string& appFolder, const scenery::ConfigRecord& config) {
  WriteConfigFileTo(ConfigFilePath(appFolder), config);
}

void WriteConfigFileTo(const std::string& file, const scenery::ConfigRecord& config) {
  ByteWriter out;
  scenery::WriteConfigRecord(out, config);
  WriteAt(file, 0, out.Data());
}

scenery::ConfigRecord ReadConfigFile(const std::string& appFolder) {
  return ParseConfigFile(ReadWholeFile(ConfigFilePath(appFolder)));
}

scenery::ConfigRecord ParseConfigFile(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return scenery::ReadConfigRecord(in);
}

}  // namespace skyvox::app
