// The first-run build of the world database: the scenery library is read, every area's folder
// resolved and its BGL files counted; then each Tick scans one file (or steps over one area), the way
// the settings window's Scan_Bgl timer does, appending airports and airspaces to the database files.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "scenery/records.h"
#include "scenery/scenery_config.h"
#include "scenery/windows_paths.h"

namespace skyvox::scenery {

// A BGL file that could not be read or scanned; FileName is the lower-cased full file name.
class BglScanError : public Error {
 public:
  BglScanError(std::string fileName, const std::string& reason)
      : Error(fileName + ": " + reason), FileName(std::move(fileName)) {}
  std::string FileName;
};

class DatabaseBuild {
 public:
  // The tables give AppFolder, SimFolder and the grid; AirportCount and AirspaceCount grow as the
  // files are scanned.
  explicit DatabaseBuild(WorldTables& tables);

  // Reads AppFolder-relative scenery.cfg of SimFolder, resolves the areas' folders and counts their
  // BGL files. Throws FileError when scenery.cfg cannot be read.
  void Start(const std::vector<std::string>& driveList = {});

  // One step: the next file of the current area, or the next area. Returns false once every area has
  // been scanned (that tick does nothing else). Throws BglScanError when a file cannot be scanned.
  bool Tick();

  bool Finished() const { return AreaIndex >= Library.SceneryAreaCount; }
  // The area being scanned (shown while building) and the progress in files.
  const std::string& CurrentTitle() const { return title_; }
  int32_t FilesDone() const { return filesDone_; }
  // The full name of the file read last, lower-cased, as error messages give it.
  std::string CurrentFileName() const;

  SceneryLibrary Library;
  int16_t AreaIndex = 0;
  std::string CurrentFolder;
  std::string CurrentFile;
  int32_t BglFileCount = 0;

 private:
  void ScanFile();

  WorldTables& tables_;
  PathContext context_;
  BglEnumeration enumeration_;
  std::string title_;
  int32_t filesDone_ = 0;
};

}  // namespace skyvox::scenery
