#include "scenery/database_build.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "scenery/bgl_reader.h"
#include "scenery/bgl_scan.h"
#include "scenery/database_files.h"

namespace skyvox::scenery {

bool ReadFacilityFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(std::string("cannot open the file: ") + std::strerror(errno));
  uint8_t head[4] = {0, 0, 0, 0};
  in.seekg(118);
  if (!in.read(reinterpret_cast<char*>(head), 4)) return false;  // too short to carry the magic
  if (BglBytes(head).ReadInt32(0) != kBglMagic) return false;
  in.close();
  bytes = ReadWholeFile(path);
  return true;
}

FacilityFileRead ReadFacilityFileInto(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return FacilityFileRead::Unsure;
  uint8_t head[4] = {0, 0, 0, 0};
  in.seekg(118);
  if (!in.read(reinterpret_cast<char*>(head), 4)) return FacilityFileRead::Skip;
  if (BglBytes(head).ReadInt32(0) != kBglMagic) return FacilityFileRead::Skip;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return FacilityFileRead::Unsure;
  bytes.resize(static_cast<size_t>(length));
  in.seekg(0, std::ios::beg);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) return FacilityFileRead::Unsure;
  return FacilityFileRead::Scan;
}

namespace {

// Runs append, turning its failure into the database's own: a record that cannot be written is not
// the BGL file's fault.
template <typename Append>
void Written(Append&& append) {
  try {
    append();
  } catch (const Error& e) {
    throw DatabaseWriteError(e.what());
  }
}

}  // namespace

DatabaseBuild::DatabaseBuild(WorldTables& tables, BuildMethod method)
    : AirportsFile(JoinPath(tables.AppFolder, kAirportsFileName)),
      AirspacesFile(JoinPath(tables.AppFolder, kAirspacesFileName)),
      tables_(tables),
      method_(method) {
  context_.BaseFolder = tables.AppFolder;
  context_.SimFolder = tables.SimFolder;
}

DatabaseBuild::~DatabaseBuild() = default;

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
  try {
    const bool more = Step();
    // While a file is still being scanned, the progress shown stays what it was before it began.
    if (!scanning_) Publish();
    return more;
  } catch (const Error&) {
    Publish();
    throw;
  }
}

void DatabaseBuild::Publish() {
  shownTitle_ = title_;
  shownFilesDone_ = filesDone_;
}

bool DatabaseBuild::Step() {
  const auto deadline = std::chrono::steady_clock::now() + SliceTime;
  if (scanning_) {
    ContinueScan(deadline);
    return true;
  }
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
    lookupFolder_.reset();  // listed afresh, as the enumeration was
  }
  if (CurrentFile.empty()) {
    ++AreaIndex;
    return true;
  }
  if (method_ == BuildMethod::Straightforward) {
    ScanFileStraightforward();
  } else {
    StartScan(deadline);
  }
  return true;
}

std::optional<std::filesystem::path> DatabaseBuild::ResolveCurrentFile() {
  if (lookupFolder_ != CurrentFolder) {
    folderLookup_.Load(LowerCaseCp1252(CurrentFolder), context_);
    lookupFolder_ = CurrentFolder;
  }
  // Found in the folder's listing as the whole name would be found; what the listing cannot answer
  // (a name it does not hold, a folder that could not be listed) is asked of the file system.
  if (auto path = folderLookup_.Find(LowerCaseCp1252(CurrentFile))) return path;
  return ResolvePathNoCase(CurrentFileName(), context_);
}

void DatabaseBuild::StartScan(std::chrono::steady_clock::time_point deadline) {
  const std::string name = CurrentFileName();
  const auto path = ResolveCurrentFile();
  ++filesDone_;
  if (!path) return;  // gone since it was listed: nothing to read
  if (!scan_) {
    scan_ = std::make_unique<BglScan>(tables_.MagVarGrid);
    appender_ = std::make_unique<DatabaseAppender>();
  }
  scanName_ = name;
  scanRealPath_ = path->string();
  try {
    switch (ReadFacilityFileInto(*path, fileBytes_)) {
      case FacilityFileRead::Scan:
        break;
      case FacilityFileRead::Skip:
        return;
      case FacilityFileRead::Unsure:
        // Read again the straightforward way, for the same outcome.
        if (!ReadFacilityFile(*path, fileBytes_)) return;
        break;
    }
  } catch (const Error& e) {
    throw BglScanError(name, e.what(), scanRealPath_);
  }
  const std::span<const uint8_t> bytes = fileBytes_;
  scan_->Start(bytes);
  scanning_ = true;
  ContinueScan(deadline);
}

void DatabaseBuild::ContinueScan(std::chrono::steady_clock::time_point deadline) {
  DecodedSink sink;
  sink.Airport = [this](const DecodedAirport& airport) {
    Written([&] { appender_->AppendAirport(AirportsFile, airport, tables_.AirportCount); });
  };
  sink.Airspace = [this](const AirspaceRecord& airspace) {
    Written([&] { appender_->AppendAirspace(AirspacesFile, airspace, tables_.AirspaceCount); });
  };
  auto finish = [this] { scanning_ = false; };
  bool done = false;
  try {
    done = scan_->Continue(sink, deadline);
  } catch (const Error& e) {
    finish();
    // The records gathered before the failure were written before it.
    Written([&] { appender_->Flush(); });
    if (dynamic_cast<const DatabaseWriteError*>(&e)) throw;
    throw BglScanError(scanName_, e.what(), scanRealPath_);
  }
  if (done) finish();
  Written([&] { appender_->Flush(); });
}

void DatabaseBuild::ScanFileStraightforward() {
  const std::string name = CurrentFileName();
  const auto path = ResolvePathNoCase(name, context_);
  ++filesDone_;
  if (!path) return;  // gone since it was listed: nothing to read
  const std::string realPath = path->string();
  try {
    // Only files with the facility magic at offset 118 are read whole.
    std::vector<uint8_t> bytes;
    if (!ReadFacilityFile(*path, bytes)) return;
    BglScanSink sink;
    sink.Airport = [&](AirportRecord& airport) {
      Written([&] { AppendAirportRecord(AirportsFile, airport, tables_.AirportCount); });
    };
    sink.Airspace = [&](const AirspaceRecord& airspace) {
      Written([&] { AppendAirspaceRecord(AirspacesFile, airspace, tables_.AirspaceCount); });
    };
    ScanBglFileStraightforward(bytes, tables_.MagVarGrid, sink);
  } catch (const DatabaseWriteError&) {
    throw;
  } catch (const Error& e) {
    throw BglScanError(name, e.what(), realPath);
  }
}

}  // namespace skyvox::scenery
