// Files damaged between two runs of the program, each start going the way the program goes: the
// shipped terrain put back as installing does, the start-up check, the settings window's load, every
// listed airport added and "Next". The sample world's folder, built by a real first start, is cut at
// every length that changes what a reader meets (record and header ends, the bytes around them, the
// magnetic grid's offsets); each start either reads what is whole, or says in a box what is not and
// goes on without it. Nothing is read back that the files did not hold whole, and nothing throws.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "app/config_file.h"
#include "app/settings.h"
#include "app/startup.h"
#include "base/byte_io.h"
#include "base/files.h"
#include "sample_program.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "support/temp_dir.h"

namespace skyvox {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// What one start did.
struct Start {
  app::NextWindow AfterCheck = app::NextWindow::None;
  std::vector<std::string> Boxes;
  std::vector<std::string> Listed;
  bool HandedOver = false;
  scenery::WorldTables World;
  bool Said(const std::string& part) const {
    return std::any_of(Boxes.begin(), Boxes.end(), [&](const auto& b) { return b.find(part) != b.npos; });
  }
};

class DamagedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new testing::TempDir();
    std::ostringstream narrative;
    const auto program = tools::FirstStartOnSampleWorld(work_->Str(), {"KOLM"}, Data().string(), narrative);
    app_ = new fs::path(program.AppFolder);
    magdec_ = new fs::path(fs::path(program.SimFolder) / "Scenery" / "magdec.bgl");
  }
  static void TearDownTestSuite() {
    delete magdec_;
    delete app_;
    delete work_;
  }
  static fs::path Data() { return testing::SourceRoot() / "data"; }

  // The program's start, as far as the connection window.
  static Start StartProgram(const fs::path& shipped = Data()) {
    Start s;
    try {
      scenery::InstallTerrainFile(*app_, shipped / scenery::kTerrainFileName);
    } catch (const Error&) {  // the program says so on its console and goes on
    }
    app::ProgramState state;
    app::MessageBoxLog boxes;
    s.AfterCheck = app::RunStartupCheck(app_->string(), state, boxes);
    if (s.AfterCheck == app::NextWindow::Settings) {
      app::SettingsController settings(state, boxes);
      settings.Load();
      s.Listed = settings.AirportList();
      for (int i = 0; i < static_cast<int>(s.Listed.size()); ++i) {
        settings.SelectAirport(i);
        settings.AddPressed();
      }
      settings.NextPressed();
      s.HandedOver = settings.WaitForCloseEnabled();
    }
    for (const auto& b : boxes.Shown()) s.Boxes.push_back(b.Text);
    s.World = state.World;
    return s;
  }

  // Each length of `file` in `lengths` (below its whole length) in turn, then the file put back.
  static void ForEachCut(const fs::path& file, const std::set<size_t>& lengths,
                         const std::function<void(size_t, const Start&)>& check) {
    const Bytes whole = testing::ReadBytes(file);
    for (const size_t length : lengths) {
      if (length >= whole.size()) continue;
      fs::remove(file);
      WriteAt(file, 0, std::span(whole).first(length));
      SCOPED_TRACE(file.filename().string() + " cut to " + std::to_string(length) + " bytes");
      check(length, StartProgram());
    }
    fs::remove(file);
    WriteAt(file, 0, whole);
  }
  // 0 to 2 and the bytes around each offset given.
  static std::set<size_t> Around(const std::vector<size_t>& offsets) {
    std::set<size_t> lengths{0, 1, 2};
    for (const size_t o : offsets) lengths.insert({o - 1, o, o + 1});
    return lengths;
  }

  static testing::TempDir* work_;
  static fs::path* app_;
  static fs::path* magdec_;
};
testing::TempDir* DamagedFiles::work_ = nullptr;
fs::path* DamagedFiles::app_ = nullptr;
fs::path* DamagedFiles::magdec_ = nullptr;

TEST_F(DamagedFiles, TheUndamagedFolderLoadsEverything) {
  const Start s = StartProgram();
  EXPECT_EQ(s.AfterCheck, app::NextWindow::Settings);
  EXPECT_TRUE(s.Boxes.empty());
  EXPECT_EQ(s.Listed.size(), 9u);
  EXPECT_TRUE(s.HandedOver);
  EXPECT_EQ(s.World.AirspaceCount, 5);
}

// Airports whose header (Ident, Name, NextRecordPos) is whole are listed; loading one whose record is
// not whole is refused with a box, and nothing is handed over half-loaded.
TEST_F(DamagedFiles, AnAirportFileCutShortListsWhatIsThereAndLoadsOnlyWholeRecords) {
  const Start good = StartProgram();
  const Bytes bytes = testing::ReadBytes(*app_ / scenery::kAirportsFileName);
  std::vector<size_t> starts{0}, headerEnds;
  for (const auto& a : good.World.ControlledAirports) {
    if (a.Ident.empty()) break;
    headerEnds.push_back(starts.back() + 8 + a.Ident.size() + a.Name.size());
    starts.push_back(static_cast<size_t>(a.NextRecordPos - 1));
  }
  std::vector<size_t> offsets = starts;
  offsets.insert(offsets.end(), headerEnds.begin(), headerEnds.end());
  ForEachCut(*app_ / scenery::kAirportsFileName, Around(offsets), [&](size_t length, const Start& s) {
    const auto listed = static_cast<size_t>(
        std::count_if(headerEnds.begin(), headerEnds.end(), [&](size_t end) { return end <= length; }));
    const auto whole = static_cast<size_t>(
        std::count_if(starts.begin() + 1, starts.end(), [&](size_t end) { return end <= length; }));
    EXPECT_EQ(s.Listed, std::vector(good.Listed.begin(), good.Listed.begin() + listed));
    EXPECT_EQ(s.HandedOver, listed == whole && listed > 0);
    EXPECT_EQ(s.Said("The controlled airports could not be loaded"), listed > whole);
    EXPECT_EQ(s.World.ControlledAirportCount, s.HandedOver ? static_cast<int32_t>(listed) : 0);
    for (int32_t i = 0; i < s.World.ControlledAirportCount; ++i) {
      EXPECT_EQ(s.World.ControlledAirports[i], good.World.ControlledAirports[i]);
    }
  });
}

// An airspace file that does not hold the configuration's count of records: each record is the one
// written or empty, and one too short for that count at all is reported and none is loaded.
TEST_F(DamagedFiles, AnAirspaceFileCutShortNeverGivesAPartRecord) {
  const Start good = StartProgram();
  const fs::path file = *app_ / scenery::kAirspacesFileName;
  std::vector<size_t> ends{5 * scenery::kMinAirspaceRecordSize};
  ByteWriter written;
  for (int32_t i = 0; i < good.World.AirspaceCount; ++i) {
    scenery::WriteAirspaceRecord(written, good.World.Airspaces[static_cast<size_t>(i)]);
    ends.push_back(written.Size());
    ends.push_back(written.Size() - 40);  // the strings end, the numbers begin
  }
  ForEachCut(file, Around(ends), [&](size_t length, const Start& s) {
    EXPECT_TRUE(s.HandedOver);
    const bool refused = length < 5 * scenery::kMinAirspaceRecordSize;
    EXPECT_EQ(s.Said("The airspaces could not be read"), refused);
    if (refused) {
      EXPECT_EQ(s.World.Airspaces, std::vector<scenery::AirspaceRecord>(1));
      return;
    }
    ASSERT_EQ(s.World.Airspaces.size(), good.World.Airspaces.size());
    bool gap = false;
    for (size_t i = 0; i < s.World.Airspaces.size(); ++i) {
      const bool empty = s.World.Airspaces[i] == scenery::AirspaceRecord{};
      EXPECT_TRUE(empty || (!gap && s.World.Airspaces[i] == good.World.Airspaces[i])) << i;
      gap = gap || empty;
    }
  });
}

// A configuration file cut anywhere is reported and taken for a missing one: the database goes with
// it and the next window is the simulator folder's, which builds it again.
TEST_F(DamagedFiles, AConfigurationCutShortIsReportedAndTheDatabaseBuiltAgain) {
  const fs::path file = *app_ / app::kConfigFileName;
  const Bytes config = testing::ReadBytes(file);
  const Bytes airports = testing::ReadBytes(*app_ / scenery::kAirportsFileName);
  const Bytes airspaces = testing::ReadBytes(*app_ / scenery::kAirspacesFileName);
  std::set<size_t> every;
  for (size_t i = 0; i < config.size(); ++i) every.insert(i);
  ForEachCut(file, every, [&](size_t, const Start& s) {
    EXPECT_EQ(s.AfterCheck, app::NextWindow::SimulatorFolder);
    EXPECT_EQ(s.Boxes, std::vector<std::string>{app::kConfigDamagedText});
    EXPECT_FALSE(fs::exists(*app_ / scenery::kAirportsFileName));
    WriteAt(*app_ / scenery::kAirportsFileName, 0, airports);
    WriteAt(*app_ / scenery::kAirspacesFileName, 0, airspaces);
  });
}

// A terrain file cut short or missing is copied again from the shipped one; without a shipped copy a
// missing one ends the program with the design's box, and one whose last record is cut is refused by
// "Next".
TEST_F(DamagedFiles, TheTerrainFileCutShortOrMissing) {
  const fs::path file = *app_ / scenery::kTerrainFileName;
  const int32_t points = StartProgram().World.TerrainPointCount;
  ForEachCut(file, Around({20, fs::file_size(file) / 2, fs::file_size(file) - 20}),
             [&](size_t, const Start& s) { EXPECT_EQ(s.World.TerrainPointCount, points); });

  const Bytes whole = testing::ReadBytes(file);
  fs::remove(file);
  const Start noTerrain = StartProgram(work_->Path());
  EXPECT_EQ(noTerrain.AfterCheck, app::NextWindow::Terminate);
  EXPECT_EQ(noTerrain.Boxes, std::vector<std::string>{app::kTerrainMissingText});
  WriteAt(file, 0, std::span(whole).first(whole.size() - 7));
  const Start cut = StartProgram(work_->Path());
  EXPECT_FALSE(cut.HandedOver);
  EXPECT_TRUE(cut.Said("world_terrain.db is cut short"));
  fs::remove(file);
  EXPECT_EQ(StartProgram().World.TerrainPointCount, points);
}

// magdec.bgl missing or too short for the grid its header points to: a box, headings without
// variation (the grid all zero), and the rest of the start as usual.
TEST_F(DamagedFiles, AMagdecFileMissingOrShortLeavesTheGridZero) {
  const Start good = StartProgram();
  const Bytes bytes = testing::ReadBytes(*magdec_);
  const size_t v = bytes[110] | bytes[111] << 8 | bytes[112] << 16 | static_cast<size_t>(bytes[113]) << 24;
  const size_t end = v + 8 + 2 * 65160;  // just past the last value the grid reads
  ForEachCut(*magdec_, Around({110, 114, v + 8, end}), [&](size_t length, const Start& s) {
    EXPECT_TRUE(s.HandedOver);
    EXPECT_EQ(s.Said("magdec.bgl of the simulator is too short to be read"), length < end);
    EXPECT_EQ(s.World.MagVarGrid, length < end ? geo::MagVarGrid() : good.World.MagVarGrid);
  });
  EXPECT_NE(good.World.MagVarGrid, geo::MagVarGrid());
  const Bytes whole = testing::ReadBytes(*magdec_);
  fs::remove(*magdec_);
  const Start missing = StartProgram();
  EXPECT_TRUE(missing.HandedOver);
  EXPECT_TRUE(missing.Said("magdec.bgl of the simulator is missing"));
  WriteAt(*magdec_, 0, whole);
}

}  // namespace
}  // namespace skyvox
