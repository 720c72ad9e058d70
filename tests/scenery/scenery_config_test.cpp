#include "scenery/scenery_config.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::TempDir;

// A stock-shaped library: CRLF, a [General] section, @IDS_ titles, mixed-case folders.
const std::string kStockCfg =
    "[General]\r\nTitle=FS2002 World Scenery\r\nClean_on_Exit=TRUE\r\n\r\n"
    "[Area.001]\r\nTitle=@IDS_DEFAULT_TERRAIN\r\nTexture_ID=1\r\nRemote=\r\nLocal=Scenery\\BASE\r\n"
    "Layer=1\r\nActive=TRUE\r\nRequired=TRUE\r\n\r\n"
    "[Area.002]\r\nTitle=Addon Scenery\r\nLocal=Addon "
    "Scenery\r\nLayer=2\r\nActive=TRUE\r\nRequired=FALSE\r\n";

SceneryLibrary Parse(const std::string& text) {
  return ParseSceneryConfig({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

std::vector<std::string> Field(const SceneryLibrary& library, std::string SceneryArea::*field) {
  std::vector<std::string> values;
  for (int i = 0; i < library.SceneryAreaCount; ++i) values.push_back(library.SceneryAreas[i].*field);
  return values;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST(SceneryConfig, AreasKeepFileOrderAndRawValuesWhateverTheLineEnds) {
  const SceneryLibrary crlf = Parse(kStockCfg);
  ASSERT_EQ(crlf.SceneryAreaCount, 2);
  ASSERT_EQ(crlf.SceneryAreas.size(), 3u);
  EXPECT_EQ(crlf.SceneryAreas[0],
            (SceneryArea{"@IDS_DEFAULT_TERRAIN", "1", "TRUE", "1", "TRUE", "", "Scenery\\BASE"}));
  EXPECT_EQ(crlf.SceneryAreas[1],
            (SceneryArea{"Addon Scenery", "", "TRUE", "2", "FALSE", "", "Addon Scenery"}));
  EXPECT_EQ(crlf.SceneryAreas[2], SceneryArea{});
  for (const char* ending : {"\n", "\r"}) {
    const SceneryLibrary other = Parse(ReplaceAll(kStockCfg, "\r\n", ending));
    EXPECT_EQ(other.SceneryAreaCount, 2);
    EXPECT_EQ(other.SceneryAreas, crlf.SceneryAreas) << "line end " << int(ending[0]);
  }
  // A lone LF inside a CR-ended line, and a last line without terminator.
  EXPECT_EQ(Field(Parse("[Area.1]\rTitle=A\nLocal=B\rLayer=3"), &SceneryArea::Local),
            std::vector<std::string>{"B"});
  EXPECT_EQ(Field(Parse("[Area.1]\rTitle=A\nLocal=B\rLayer=3"), &SceneryArea::Layer),
            std::vector<std::string>{"3"});
}

TEST(SceneryConfig, KeysAreFoundByAPlainCaseInsensitiveSubstringSearch) {
  const SceneryLibrary library = Parse(
      "[Area.1]\r\nxlocal=Wrong\r\nLocal=Right\r\n"
      "[Area.2]\r\nLocal =Scenery\\X\r\nTITLE=  My Scenery  \r\n"
      "[Area.3]\r\nTitle=No folder\r\n"
      "[Area.4]\r\nlocal=Last");
  EXPECT_EQ(Field(library, &SceneryArea::Local), (std::vector<std::string>{"Wrong", "", "", "Last"}));
  EXPECT_EQ(Field(library, &SceneryArea::Title),
            (std::vector<std::string>{"", "  My Scenery  ", "No folder", ""}));
  EXPECT_EQ(GetKeyValue("a=1\r\nlayer=2\r\n", "LAYER"), "2");
  EXPECT_EQ(GetKeyValue("Layer=2\r\r\nx", "Layer"), "2\r");  // only the CR LF pair ends the value
  EXPECT_EQ(GetKeyValue("Layer=2\nx", "Layer"), "2\nx");
  EXPECT_EQ(GetKeyValue("Layer 2", "Layer"), "");
}

TEST(SceneryConfig, HeadersAreTrimmedLinesWithTheirOnlyClosingBracketLast) {
  const SceneryLibrary library = Parse(
      "[Area.001]\r\nLocal=a\r\n[AREA.001]\r\nLocal=b\r\n  [area.7]  \r\nTitle=c\r\n[Area.8] ; note\r\n"
      "Local=e\r\n[Area.9\r\n[Area.10]]\r\n\t[Area.11]\r\n[Areas]\r\nLocal=d\r\n[AREA.12]\r\nLocal=f\r\n");
  // "[Area.8] ; note", "[Area.9" and "[Area.10]]" are no headers, nor is "\t[Area.11]" (only blanks are
  // trimmed): their lines belong to the area before them. [Areas] is a section but no area.
  EXPECT_EQ(Field(library, &SceneryArea::Local), (std::vector<std::string>{"a", "b", "e", "f"}));
  EXPECT_EQ(Field(library, &SceneryArea::Title), (std::vector<std::string>{"", "", "c", ""}));
  EXPECT_EQ(Parse("[General]\r\nTitle=x\r\n").SceneryAreaCount, 0);
  EXPECT_EQ(Parse("").SceneryAreas.size(), 1u);
}

TEST(SceneryConfig, SectionsAreCutAtTheFirstOccurrenceOfTheNextHeaderText) {
  // "[Area.2]" first occurs inside area 1's title: area 1 ends there and area 2's section starts at
  // that occurrence, so it holds area 1's Local before its own.
  EXPECT_EQ(
      Field(Parse("[Area.1]\r\nTitle=see [Area.2]\r\nLocal=One\r\n[Area.2]\r\nTitle=Two\r\nLocal=Second"),
            &SceneryArea::Local),
      (std::vector<std::string>{"", "One"}));
  // Text: [General] at 1, "[Area.2]" inside its title at 20, [Area.1] at 30, [Area.2] at 49. Area 1
  // runs from 30 back to 19: Mid(text, 30, 12) = "[Area.1]\r\nLo", no Local; area 2 starts at 20.
  EXPECT_EQ(Field(Parse("[General]\r\nTitle=x [Area.2]\r\n[Area.1]\r\nLocal=A\r\n[Area.2]\r\nLocal=B"),
                  &SceneryArea::Local),
            (std::vector<std::string>{"", "A"}));
  // A header repeated at the very start: area 1 is "[A" and leaves the search position at 0; the next
  // search starts at the first character.
  EXPECT_EQ(
      Field(Parse("[Area.1]\r\nLocal=A\r\n[Area.1]\r\nLocal=B\r\n[Area.2]\r\nLocal=C"), &SceneryArea::Local),
      (std::vector<std::string>{"", "A", "C"}));
}

TEST(SceneryConfig, HeaderSearchesFindTheFirstOccurrenceAtOrAfterTheStart) {
  const std::string_view text = "abcabcab";
  const std::vector<detail::TextSearch> searches = {{"abc", 1}, {"abc", 2}, {"abc", 5}, {"", 3},
                                                    {"b", 0},   {"cab", 9}, {"cabx", 1}};
  const std::vector<int64_t> expected = {1, 4, 0, 3, 2, 0, 0};
  EXPECT_EQ(detail::InStrAll(text, searches), expected);
  for (size_t i = 0; i < searches.size(); ++i) {
    EXPECT_EQ(detail::InStrLinear(searches[i].Start, text, searches[i].Pattern), expected[i]) << i;
  }
}

TEST(SceneryConfig, OversizedLibrariesAreFormatErrors) {
  std::string text;
  for (int i = 0; i < 32767; ++i) text += "[Area.1]\r\n";
  EXPECT_EQ(Parse(text).SceneryAreaCount, 32767);
  EXPECT_THROW(Parse(text + "[Area.1]"), FormatError);
  EXPECT_THROW(Parse(std::string((8 << 20) + 1, ' ')), FormatError);
}

class SceneryConfigFile : public ::testing::Test {
 protected:
  bool TempLeft() const { return fs::exists(app_.Path() / "sceneryCFG.tmp"); }
  TempDir sim_;
  TempDir app_;
};

TEST_F(SceneryConfigFile, ReadsByWayOfTheTemporaryFileWhichIsAlwaysRemoved) {
  const std::string lfText = ReplaceAll(kStockCfg, "\r\n", "\n");
  sim_.Write("SCENERY.CFG", lfText);
  // A longer file left by an interrupted run must not leak into the reading.
  app_.Write("sceneryCFG.tmp", std::string(5000, '\n') + "[Area.9]\r\nLocal=Stale\r\n");
  const SceneryLibrary library = ReadSceneryConfig(sim_.Str() + "\\scenery.cfg", app_.Str());
  EXPECT_EQ(library.SceneryAreaCount, 2);
  EXPECT_EQ(library.SceneryAreas, Parse(lfText).SceneryAreas);
  EXPECT_FALSE(TempLeft());

  EXPECT_THROW(ReadSceneryConfig(sim_.Str() + "/missing.cfg", app_.Str()), FileError);
  EXPECT_THROW(ReadSceneryConfig(sim_.Str() + "/scenery.cfg", app_.Str() + "/no/such/folder"), FileError);
  std::string tooMany;
  for (int i = 0; i < 32768; ++i) tooMany += "[Area.1]\r";
  sim_.Write("SCENERY.CFG", tooMany);
  EXPECT_THROW(ReadSceneryConfig(sim_.Str() + "/scenery.cfg", app_.Str()), FormatError);
  EXPECT_FALSE(TempLeft());
}

class SceneryFolders : public ::testing::Test {
 protected:
  void Dir(const std::string& relative) const { fs::create_directories(tmp_.Path() / NativePath(relative)); }
  std::vector<std::string> Resolve(const std::vector<std::string>& locals, const std::string& simFolder,
                                   const std::vector<std::string>& driveList = {}) const {
    SceneryLibrary library;
    for (const std::string& local : locals) {
      library.SceneryAreas.back().Local = local;
      library.SceneryAreas.emplace_back();
      ++library.SceneryAreaCount;
    }
    ResolveSceneryFolders(library, simFolder, driveList,
                          PathContext{(tmp_.Path() / "app").string(), simFolder});
    return Field(library, &SceneryArea::Local);
  }
  TempDir tmp_;
};

TEST_F(SceneryFolders, EntriesBecomeExistingLowerCaseSceneryFoldersOrNothing) {
  for (const char* dir :
       {"FS2002/scenery/base/scenery", "FS2002/scenery/World/scenery", "FS2002/Addon Scenery/scenery",
        testing::kWindows ? "FS2002/Sc\xC8nes/scenery"
                          : "FS2002/Sc\xC3\x88nes/scenery",  // the name as each stores it
        "Extra/MyScenery/scenery", "app/Local/Mine/scenery"}) {
    Dir(dir);
  }
  const std::string sim = tmp_.Str() + "/FS2002";
  const std::string lowSim = LowerCaseCp1252(sim);
  const std::string extra =
      ReplaceAll(LowerCaseCp1252(tmp_.Str()), "/", "\\") + "\\extra\\myscenery\\scenery";
  EXPECT_EQ(
      Resolve({"Scenery\\BASE", "Scenery/World/", "scenery", " Addon Scenery ", "Scenery\\World\\SCENERY",
               "Scenery\\Missing", "", "Sc\xC8nes", tmp_.Str() + "/Extra/MyScenery", "Local\\Mine"},
              sim),
      (std::vector<std::string>{lowSim + "\\scenery\\base\\scenery",
                                lowSim + "\\scenery\\world\\\\scenery",  // "\\" as one separator
                                lowSim + "\\scenery", lowSim + "\\addon scenery\\scenery",
                                lowSim + "\\scenery\\world\\scenery", "", "", lowSim + "\\sc\xE8nes\\scenery",
                                extra, "local\\mine\\scenery"}));
}

TEST_F(SceneryFolders, DriveLettersAndLabelsResolveInTheWinePrefix) {
  SKYVOX_LINUX_ONLY("a Wine prefix maps drive letters on Linux; Windows has its own");
  Dir("prefix/drive_c/FS2002/Addon Scenery/scenery");
  Dir("prefix/drive_c/FS2002/Scenery/World/scenery");
  const std::string sim = tmp_.Str() + "/prefix/drive_c/FS2002";
  EXPECT_EQ(Resolve({"C:\\FS2002\\Addon Scenery", "D:\\Scenery\\World", "Scenery\\World",
                     "[System]\\FS2002\\Addon Scenery", "[Data]\\Scenery\\World"},
                    sim, {"c: [SYSTEM]", "d:", "e: [Data]"}),
            (std::vector<std::string>{"c:\\fs2002\\addon scenery\\scenery", "",
                                      LowerCaseCp1252(sim) + "\\scenery\\world\\scenery",
                                      "c:\\fs2002\\addon scenery\\scenery", ""}));
}

}  // namespace
}  // namespace skyvox::scenery
