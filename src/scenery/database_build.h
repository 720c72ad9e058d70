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

// A BGL file that could not be read or scanned; FileName is the lower-cased full file name (as the
// message box names it), RealPath the file as the file system knows it and Reason what went wrong.
class BglScanError : public Error {
 public:
  BglScanError(std::string fileName, const std::string& reason, std::string realPath = {})
      : Error(fileName + ": " + reason),
        FileName(std::move(fileName)),
        RealPath(realPath.empty() ? FileName : std::move(realPath)),
        Reason(reason) {}
  // "cannot scan REALPATH: REASON"
  std::string Cause() const { return "cannot scan " + RealPath + ": " + Reason; }
  std::string FileName;
  std::string RealPath;
  std::string Reason;
};

// A database file that could not be written (a full disk, a file that cannot be opened): the build's
// own failure, whatever BGL file was being scanned. The text names the file and the system's reason.
class DatabaseWriteError : public FileError {
 public:
  using FileError::FileError;
};

class DatabaseBuild {
 public:
  // The tables give AppFolder, SimFolder and the grid; AirportCount and AirspaceCount grow as the
  // files are scanned.
  explicit DatabaseBuild(WorldTables& tables);

  // The files the records are appended to: AppFolder's world_airports.dat and world_airspaces.dat
  // unless chosen otherwise before the first Tick.
  std::string AirportsFile;
  std::string AirspacesFile;

  // Reads AppFolder-relative scenery.cfg of SimFolder, resolves the areas' folders and counts their
  // BGL files. Throws FileError when scenery.cfg cannot be read.
  void Start(const std::vector<std::string>& driveList = {});

  // One step: the next file of the current area, or the next area. Returns false once every area has
  // been scanned (that tick does nothing else). Throws BglScanError when a file cannot be scanned,
  // DatabaseWriteError when a record cannot be written.
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
