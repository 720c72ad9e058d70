// The first-run build of the world database: the scenery library is read, every area's folder
// resolved and its BGL files counted; then each Tick scans one file (or steps over one area), the way
// the settings window's Scan_Bgl timer does, appending airports and airspaces to the database files.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "scenery/records.h"
#include "scenery/scenery_config.h"
#include "scenery/windows_paths.h"

namespace skyvox::scenery {

class BglScan;
class DatabaseAppender;

// A BGL file's bytes for the build, read the straightforward way: false (nothing to scan) when the
// file is too short to carry the facility magic at offset 118 or carries another value there; only a
// file with the magic is read whole. Throws FileError when it cannot be opened or read.
bool ReadFacilityFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// The same reading into a buffer kept from file to file, in one opening of the file. Unsure when
// something went wrong: ReadFacilityFile then tells what.
enum class FacilityFileRead { Scan, Skip, Unsure };
FacilityFileRead ReadFacilityFileInto(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

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

// How the build reads and writes. Sliced: each file read whole into a buffer kept from file to file (a
// mapping costs more than the copy for files of this size) and scanned by a BglScan, a
// file that takes long spread over several ticks, the records gathered and written once per tick
// (DatabaseAppender). Straightforward: each file read whole and scanned in one tick, each record
// appended to its file on its own; the reference the sliced build is checked against.
enum class BuildMethod { Sliced, Straightforward };

class DatabaseBuild {
 public:
  // The tables give AppFolder, SimFolder and the grid; AirportCount and AirspaceCount grow as the
  // files are scanned.
  explicit DatabaseBuild(WorldTables& tables, BuildMethod method = BuildMethod::Sliced);
  ~DatabaseBuild();
  DatabaseBuild(const DatabaseBuild&) = delete;
  DatabaseBuild& operator=(const DatabaseBuild&) = delete;

  // How long one tick of the sliced build decodes a file before it leaves the rest for the next tick
  // (it always decodes at least one airport or airspace). The ticks that finish a file show the same
  // area and file count as the one that began it.
  std::chrono::microseconds SliceTime{6000};

  // The files the records are appended to: AppFolder's world_airports.dat and world_airspaces.dat
  // unless chosen otherwise before the first Tick.
  std::string AirportsFile;
  std::string AirspacesFile;

  // Reads AppFolder-relative scenery.cfg of SimFolder, resolves the areas' folders and counts their
  // BGL files. Throws FileError when scenery.cfg cannot be read.
  void Start(const std::vector<std::string>& driveList = {});

  // One step: the next file of the current area (or, sliced, more of the file being scanned), or the
  // next area. Returns false once every area has been scanned (that tick does nothing else). Throws
  // BglScanError when a file cannot be scanned, DatabaseWriteError when a record cannot be written.
  bool Tick();

  bool Finished() const { return !scanning_ && AreaIndex >= Library.SceneryAreaCount; }
  // The area being scanned (shown while building) and the progress in files. While a file spread over
  // several ticks is being scanned they stay as they were before it began, and they change with the
  // tick that finishes it (or fails), so that the window shows what it would show for one tick a file.
  const std::string& CurrentTitle() const { return shownTitle_; }
  int32_t FilesDone() const { return shownFilesDone_; }
  // The full name of the file read last, lower-cased, as error messages give it.
  std::string CurrentFileName() const;

  SceneryLibrary Library;
  int16_t AreaIndex = 0;
  std::string CurrentFolder;
  std::string CurrentFile;
  int32_t BglFileCount = 0;

 private:
  bool Step();
  void Publish();
  void ScanFileStraightforward();
  std::optional<std::filesystem::path> ResolveCurrentFile();
  void StartScan(std::chrono::steady_clock::time_point deadline);
  void ContinueScan(std::chrono::steady_clock::time_point deadline);

  WorldTables& tables_;
  BuildMethod method_;
  PathContext context_;
  BglEnumeration enumeration_;
  std::string title_;
  int32_t filesDone_ = 0;
  std::string shownTitle_;
  int32_t shownFilesDone_ = 0;
  // The sliced build's folder, listed once when it reaches the folder's first file.
  FolderLookup folderLookup_;
  std::optional<std::string> lookupFolder_;
  // The sliced build's file being scanned.
  bool scanning_ = false;
  std::string scanName_;
  std::string scanRealPath_;
  std::vector<uint8_t> fileBytes_;
  std::unique_ptr<BglScan> scan_;
  std::unique_ptr<DatabaseAppender> appender_;
};

}  // namespace skyvox::scenery
