// The configuration file AppFolder/Skyvox_link.cfg: one ConfigRecord from its first byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "scenery/records.h"

namespace skyvox::app {

inline constexpr const char* kConfigFileName = "Skyvox_link.cfg";

std::string ConfigFilePath(const std::string& appFolder);

// Writes the record at byte 1, creating the file when missing. Like every binary write of the
// program it does not truncate: bytes of an older, longer record stay after it, unread. Throws
// FileError.
void WriteConfigFile(const std::string& appFolder, const scenery::ConfigRecord& config);
// The same record written to another file (a build's temporary).
void WriteConfigFileTo(const std::string& file, const scenery::ConfigRecord& config);

// Reads the record at byte 1. Throws FileError (cannot open) or FormatError (cut short, negative
// counts).
scenery::ConfigRecord ReadConfigFile(const std::string& appFolder);
// The same record from the file's bytes. Throws FormatError.
scenery::ConfigRecord ParseConfigFile(std::span<const uint8_t> bytes);

}  // namespace skyvox::app
