#include "scenery/database_build.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/bgl_reader.h"
#include "scenery/database_files.h"

namespace skyvox::scenery {

DatabaseBuild::DatabaseBuild(WorldTables& tables)
    : AirportsFile(JoinPath(tables.AppFolder, kAirportsFileName)),
      AirspacesFile(JoinPath(tables.AppFolder, kAirspacesFileName)),
      tables_(tables) {
  context_.BaseFolder = tables.AppFolder;
  context_.SimFolder = tables.SimFolder;
}

void DatabaseBuild::Start(const std::vector<std::string>& driveList) {
  Library = ReadSceneryConfig(JoinPath(tables_.SimFolder, "scenery.cfg"), tables_.AppFolder);
  ResolveSceneryFolders(Library, tables_.SimFolder, driveList, context_);
  BglFileCount = 0;
  for (int16_t i = 0; i < Library.SceneryAreaCount; ++i) {
    const std::string& local = Library.SceneryAreas[static_cast<size_t>(i)].Local;
    if (!local.empty()) BglFileCount += BglEnumeration::Count(local, context_);
  }
}

std::string DatabaseBuild::CurrentFileName() const {
  return LowerCaseCp1252(CurrentFolder + "\\" + CurrentFile);
}

bool DatabaseBuild::Tick() {
  if (Finished()) return false;
  const SceneryArea& area = Library.SceneryAreas[static_cast<size_t>(AreaIndex)];
  if (area.Local.empty()) {
    ++AreaIndex;
    return true;
  }
  title_ = area.Title;
  if (area.Local == CurrentFolder) {
    CurrentFile = enumeration_.Next();
  } else {
    CurrentFolder = area.Local;
    CurrentFile = enumeration_.First(CurrentFolder, context_);
  }
  if (CurrentFile.empty()) {
    ++AreaIndex;
    return true;
  }
  ScanFile();
  return true;
}

void DatabaseBuild::ScanFile() {
  const std::string name = CurrentFileName();
  const auto path = ResolvePathNoCase(name, context_);
  ++filesDone_;
  if (!path) return;  // gone since it was listed: nothing to read
  const std::string realPath = path->string();
  try {
    // Only files with the facility magic at offset 118 are read whole.
    std::ifstream in(*path, std::ios::binary);
    if (!in) throw FileError(std::string("cannot open the file: ") + std::strerror(errno));
    uint8_t head[4] = {0, 0, 0, 0};
    in.seekg(118);
    if (!in.read(reinterpret_cast<char*>(head), 4)) return;  // too short to carry the magic
    const auto magic =
        static_cast<int32_t>(static_cast<uint32_t>(head[0]) | (static_cast<uint32_t>(head[1]) << 8) |
                             (static_cast<uint32_t>(head[2]) << 16) | (static_cast<uint32_t>(head[3]) << 24));
    if (magic != kBglMagic) return;
    in.close();
    const std::vector<uint8_t> bytes = ReadWholeFile(*path);
    // A record that cannot be written is the database's failure, not the BGL file's.
    auto written = [](auto&& append) {
      try {
        append();
      } catch (const Error& e) {
        throw DatabaseWriteError(e.what());
      }
    };
    BglScanSink sink;
    sink.Airport = [&](AirportRecord& airport) {
      written([&] { AppendAirportRecord(AirportsFile, airport, tables_.AirportCount); });
    };
    sink.Airspace = [&](const AirspaceRecord& airspace) {
      written([&] { AppendAirspaceRecord(AirspacesFile, airspace, tables_.AirspaceCount); });
    };
    ScanBglFile(bytes, tables_.MagVarGrid, sink);
  } catch (const DatabaseWriteError&) {
    throw;
  } catch (const Error& e) {
    throw BglScanError(name, e.what(), realPath);
  }
}

}  // namespace skyvox::scenery
