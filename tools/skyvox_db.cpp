// skyvox-db: the world database from the command line.
//   build          the first-run build, headless, with a progress bar, into temporaries that replace
//                  the working database only when it succeeds
//   list           the airport list entries, one a line
//   dump           every field of the records as JSON
//   make-scenery   a simulator folder written from a world description (or a synthetic world)
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/config_file.h"
#include "app/data_folder.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/sim_folder.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "make_scenery.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {
namespace fs = std::filesystem;
using namespace skyvox;
using nlohmann::json;

bool IsTerminal() {
#ifndef _WIN32
  return ::isatty(2) != 0;
#else
  return false;
#endif
}

std::string NativeFolder(const std::string& folder) {
  std::string absolute = fs::absolute(folder).lexically_normal().string();
  while (absolute.size() > 1 && (absolute.back() == '/' || absolute.back() == '\\')) absolute.pop_back();
  return absolute;
}

// Draws the build's progress on standard error: a bar on a terminal, a line every tenth otherwise.
class ProgressBar {
 public:
  void Show(const app::BuildProgress& p) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const int total = p.FilesTotal > 0 ? p.FilesTotal : 1;
    const int percent = static_cast<int>(100.0 * p.FilesDone / total);
    char line[512];
    if (IsTerminal()) {
      const int width = 30;
      const int filled = width * p.FilesDone / total;
      std::snprintf(line, sizeof line, "\r[%-*s] %d/%d files  %d airports  %d airspaces  %.1fs  %-30.30s",
                    width, std::string(static_cast<size_t>(std::min(filled, width)), '#').c_str(),
                    p.FilesDone, p.FilesTotal, p.Airports, p.Airspaces, elapsed,
                    Cp1252ToUtf8(p.Area).c_str());
      std::cerr << line << std::flush;
    } else if (percent / 10 != lastTenth_ || (p.FilesDone == p.FilesTotal && p.FilesDone != lastDone_)) {
      lastTenth_ = percent / 10;
      lastDone_ = p.FilesDone;
      std::snprintf(line, sizeof line, "%3d%%  %d/%d files  %d airports  %d airspaces  %.1fs  %s\n", percent,
                    p.FilesDone, p.FilesTotal, p.Airports, p.Airspaces, elapsed,
                    Cp1252ToUtf8(p.Area).c_str());
      std::cerr << line;
    }
  }
  void Done() {
    if (IsTerminal()) std::cerr << '\n';
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int lastTenth_ = -1;
  int lastDone_ = -1;
};

// Set by SIGINT and SIGTERM; the build looks at it between two files.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) {
  stopRequested = 1;
}

// The message boxes on standard output as the windows show them; the real cause beside a box (or a
// warning without one) on standard error.
class ToolBoxes : public app::ConsoleMessageBoxes {
 public:
  using app::ConsoleMessageBoxes::ConsoleMessageBoxes;
  void ShowCause(const std::string& cause) override {
    std::cerr << "[cause] " << Cp1252ToUtf8(cause) << '\n';
  }
};

// The build's files in the program folder while it runs: the database and configuration under names
// ending in ".building". They replace the real ones only once the build succeeded; otherwise (and
// when a killed run left some behind, at the next build) they are removed.
class BuildTemporaries {
 public:
  static constexpr const char* kSuffix = ".building";

  explicit BuildTemporaries(const std::string& folder) : folder_(folder) {
    for (const char* name : kNames) RemoveQuietly(Temporary(name));
    RemoveQuietly(JoinPath(folder_, std::string(scenery::kTerrainFileName) + ".copying"));
  }
  ~BuildTemporaries() {
    if (!committed_) {
      for (const char* name : kNames) RemoveQuietly(Temporary(name));
    }
  }
  BuildTemporaries(const BuildTemporaries&) = delete;
  BuildTemporaries& operator=(const BuildTemporaries&) = delete;

  app::BuildFiles Files() const { return {Temporary(kNames[0]), Temporary(kNames[1]), Temporary(kNames[2])}; }

  // Both database files exist afterwards, an empty one for a scenery without airports or airspaces,
  // so that the start-up check keeps the database; then each temporary replaces its real file.
  void Commit() {
    for (const char* name : {kNames[0], kNames[1]}) {
      const std::string file = Temporary(name);
      if (fs::exists(file)) continue;
      errno = 0;
      std::ofstream create(file, std::ios::binary);
      if (!create) throw FileError("cannot write " + file + ": " + std::strerror(errno));
    }
    for (const char* name : kNames) {
      std::error_code ec;
      fs::rename(Temporary(name), JoinPath(folder_, name), ec);
      if (ec) throw FileError("cannot replace " + JoinPath(folder_, name) + ": " + ec.message());
    }
    committed_ = true;
  }

 private:
  static constexpr const char* kNames[3] = {scenery::kAirportsFileName, scenery::kAirspacesFileName,
                                            app::kConfigFileName};
  std::string Temporary(const char* name) const { return JoinPath(folder_, std::string(name) + kSuffix); }
  static void RemoveQuietly(const std::string& file) {
    std::error_code ec;
    fs::remove(file, ec);
  }

  std::string folder_;
  bool committed_ = false;
};

int Build(const std::string& sim, const std::string& appFolder, const std::string& dataDir) {
  fs::create_directories(appFolder);
  const std::string folder = NativeFolder(appFolder);
  ToolBoxes boxes(std::cout);

  // The terrain file ships with the program: a new program folder gets a copy, and so does one whose
  // copy was cut short. The database can be built without it: a failure is only a warning.
  try {
    const std::string done =
        scenery::InstallTerrainFile(folder, fs::path(dataDir) / scenery::kTerrainFileName);
    if (!done.empty()) std::cerr << "skyvox-db: " << done << '\n';
  } catch (const std::exception& e) {
    std::cerr << "skyvox-db: warning: " << e.what() << '\n';
  }

  // The simulator folder is checked as the simulator-folder window checks it, but the working
  // database and configuration stay untouched until the new ones are complete.
  const std::string simFolder = app::ApplyDriveRootRule(NativeFolder(sim));
  if (!FileExistsNoCase(simFolder, app::kSimulatorExecutable)) {
    boxes.Show(app::kProgramTitle, app::kNotSimFolderText, app::MessageIcon::Exclamation);
    return 1;
  }
  app::ProgramState state;
  state.World.AppFolder = folder;
  state.World.SimFolder = simFolder;
  state.World.FirstRun = true;

  BuildTemporaries temporaries(folder);
  app::SettingsController settings(state, boxes);
  settings.SetBuildFiles(temporaries.Files());
  ProgressBar bar;
  settings.SetProgressCallback([&bar](const app::BuildProgress& p) { bar.Show(p); });
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  settings.Load();
  while (settings.ScanTimerEnabled()) {
    if (stopRequested) {
      bar.Done();
      std::cerr << "skyvox-db: interrupted; the database in " << folder << " was left as it was\n";
      return 130;
    }
    settings.ScanTick();
  }
  bar.Done();
  if (settings.Next() == app::NextWindow::Terminate) {
    std::cerr << "skyvox-db: the build failed; the database in " << folder << " was left as it was\n";
    return 1;
  }
  temporaries.Commit();
  std::cout << state.World.AirportCount << " airports and " << state.World.AirspaceCount << " airspaces in "
            << state.World.AppFolder << '\n';
  return 0;
}

// A database file of the program folder, whole: a missing one is an error.
std::vector<uint8_t> ReadDatabaseFile(const std::string& folder, const char* name) {
  const auto path = FindFileNoCase(folder, name);
  if (!path) throw FileError(std::string("no database in ") + folder + ": " + name + " is missing");
  return ReadWholeFile(*path);
}

// The records of a database file, checked against the count the configuration file gives (when it
// can be read): a file cut short at a record's end reads well but holds fewer.
template <typename Read>
auto ReadDatabaseRecords(const std::string& folder, const char* name, Read read, bool airports) {
  const std::vector<uint8_t> bytes = ReadDatabaseFile(folder, name);
  const std::string damaged = std::string(name) + " in " + folder + " is damaged: ";
  decltype(read(bytes)) records;
  try {
    records = read(bytes);
  } catch (const FormatError& e) {
    throw FormatError(damaged + e.what());
  }
  scenery::ConfigRecord config;
  try {
    config = app::ReadConfigFile(folder);
  } catch (const std::exception&) {
    return records;
  }
  const int32_t expected = airports ? config.AirportCount : config.AirspaceCount;
  if (records.size() != static_cast<size_t>(expected)) {
    throw FormatError(damaged + "it holds " + std::to_string(records.size()) + " records, " +
                      app::kConfigFileName + " names " + std::to_string(expected));
  }
  return records;
}

std::vector<scenery::AirportRecord> Airports(const std::string& folder) {
  return ReadDatabaseRecords(
      folder, scenery::kAirportsFileName,
      [](const std::vector<uint8_t>& bytes) { return scenery::ReadAllAirportRecords(bytes); }, true);
}

int List(const std::string& appFolder) {
  for (const auto& a : Airports(NativeFolder(appFolder))) {
    std::cout << Cp1252ToUtf8(a.Ident + " - " + a.Name) << '\n';
  }
  return 0;
}

json Text(const std::string& bytes) {
  return Cp1252ToUtf8(bytes);
}

json AirportJson(const scenery::AirportRecord& a) {
  json taxiPoints = json::array(), parking = json::array(), paths = json::array(), list1 = json::array(),
       list2 = json::array();
  for (const auto& p : a.TaxiPoints) {
    taxiPoints.push_back({{"PointType", p.PointType}, {"Latitude", p.Latitude}, {"Longitude", p.Longitude}});
  }
  for (const auto& p : a.ParkingSpots) {
    parking.push_back({{"Name", Text(p.Name)},
                       {"RadiusFt", p.RadiusFt},
                       {"Latitude", p.Latitude},
                       {"Longitude", p.Longitude},
                       {"Occupied", p.Occupied}});
  }
  for (const auto& p : a.TaxiPaths) {
    paths.push_back({{"PathType", p.PathType},
                     {"StartPoint", p.StartPoint},
                     {"EndPoint", p.EndPoint},
                     {"Name", Text(p.Name)}});
  }
  for (const auto& e : a.RuntimeList1)
    list1.push_back({{"PlayerIndex", e.PlayerIndex}, {"Text", Text(e.Text)}});
  for (const auto& e : a.RuntimeList2)
    list2.push_back({{"PlayerIndex", e.PlayerIndex}, {"Text", Text(e.Text)}});
  const auto& r = a.MainRunway;
  json o = json::object();
  o["Ident"] = Text(a.Ident);
  o["Name"] = Text(a.Name);
  o["NextRecordPos"] = a.NextRecordPos;
  o["Latitude"] = a.Latitude;
  o["Longitude"] = a.Longitude;
  o["ElevationFt"] = a.ElevationFt;
  o["ClearanceFreq"] = Text(a.ClearanceFreq);
  o["ClearanceName"] = Text(a.ClearanceName);
  o["GroundFreq"] = Text(a.GroundFreq);
  o["GroundName"] = Text(a.GroundName);
  o["TowerFreq"] = Text(a.TowerFreq);
  o["TowerName"] = Text(a.TowerName);
  o["ApproachFreq"] = Text(a.ApproachFreq);
  o["ApproachName"] = Text(a.ApproachName);
  o["MainRunway"] = {{"Ident", Text(r.Ident)},
                     {"ThresholdLat", r.ThresholdLat},
                     {"ThresholdLon", r.ThresholdLon},
                     {"ThresholdElevationFt", r.ThresholdElevationFt},
                     {"Length", r.Length},
                     {"Width", r.Width},
                     {"MagHeading", r.MagHeading},
                     {"IlsFrequency", Text(r.IlsFrequency)}};
  o["TaxiPoints"] = taxiPoints;
  o["TaxiPointCount"] = a.TaxiPointCount;
  o["ParkingSpots"] = parking;
  o["ParkingCount"] = a.ParkingCount;
  o["TaxiPaths"] = paths;
  o["TaxiPathCount"] = a.TaxiPathCount;
  o["RuntimeList1"] = list1;
  o["RuntimeList2"] = list2;
  return o;
}

json AirspaceJson(const scenery::AirspaceRecord& s) {
  json o = json::object();
  o["CenterName"] = Text(s.CenterName);
  o["AirspaceClass"] = Text(s.AirspaceClass);
  o["CenterFreq"] = Text(s.CenterFreq);
  o["NorthLat"] = s.NorthLat;
  o["SouthLat"] = s.SouthLat;
  o["EastLon"] = s.EastLon;
  o["WestLon"] = s.WestLon;
  o["LowerLimit"] = s.LowerLimit;
  o["UpperLimit"] = s.UpperLimit;
  return o;
}

int Dump(const std::string& appFolder, const std::vector<std::string>& idents, bool airspaces) {
  const std::string folder = NativeFolder(appFolder);
  json out = json::array();
  if (airspaces) {
    for (const auto& s : ReadDatabaseRecords(
             folder, scenery::kAirspacesFileName,
             [](const std::vector<uint8_t>& bytes) { return scenery::ReadAllAirspaceRecords(bytes); },
             false)) {
      out.push_back(AirspaceJson(s));
    }
  } else {
    // Idents match without regard to case, as the station's --control does.
    auto wanted = [&idents](const std::string& ident) {
      return idents.empty() || std::any_of(idents.begin(), idents.end(), [&](const std::string& w) {
               return EqualsNoCase(Utf8ToCp1252(w), ident);
             });
    };
    for (const auto& a : Airports(folder)) {
      if (wanted(a.Ident)) out.push_back(AirportJson(a));
    }
  }
  std::cout << out.dump(2) << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"skyvox-db: build, list and dump the Skyvox world database; write simulator scenery folders"};
  cli.require_subcommand(1);

  std::string sim, app, world, out;
  std::vector<std::string> idents;
  bool airspaces = false;
  int synthetic = 0, perFile = 500;
  uint32_t seed = 1;
  double year = 2025.0;

  auto* build =
      cli.add_subcommand("build", "build the database from a simulator folder into a program folder");
  build->add_option("--sim", sim, "the simulator folder (holding fs2002.exe and scenery.cfg)")->required();
  build->add_option("--app", app, "the program folder that receives the database files")->required();

  auto* list = cli.add_subcommand("list", "the airport list entries, one a line");
  list->add_option("--app", app, "the program folder")->required();

  auto* dump = cli.add_subcommand("dump", "every field of the records as a JSON array");
  dump->add_option("--app", app, "the program folder")->required();
  dump->add_option("--ident", idents, "only the airports with this Ident (repeatable)");
  dump->add_flag("--airspaces", airspaces, "the airspace records instead of the airports");

  auto* make = cli.add_subcommand("make-scenery", "write a simulator folder from a world description");
  auto* worldOption = make->add_option("--world", world, "the world description file");
  auto* syntheticOption = make->add_option("--synthetic", synthetic, "a synthetic world of N airports")
                              ->check(CLI::Range(1, 1000000));
  make->add_option("--per-file", perFile, "airports per BGL file of the synthetic world")
      ->check(CLI::Range(1, 100000));
  make->add_option("--seed", seed, "seed of the synthetic world");
  make->add_option("--year", year, "date of the magnetic variation (decimal year)")
      ->check(CLI::Range(2025.0, 2030.0));
  make->add_option("--out", out, "the simulator folder to write")->required();
  worldOption->excludes(syntheticOption);

  CLI11_PARSE(cli, argc, argv);
  try {
    if (*build) return Build(sim, app, app::ShippedDataFolder(SKYVOX_DATA_DIR).string());
    if (*list) return List(app);
    if (*dump) return Dump(app, idents, airspaces);
    if (*make) {
      if (world.empty() && synthetic == 0) throw CLI::RequiredError("--world or --synthetic");
      return skyvox::tools::MakeScenery(world, synthetic, perFile, seed, year, out,
                                        app::ShippedDataFolder(SKYVOX_DATA_DIR).string());
    }
  } catch (const CLI::Error& e) {
    return cli.exit(e);
  } catch (const std::exception& e) {
    std::cerr << "skyvox-db: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
