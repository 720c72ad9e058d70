#include "scenery/windows_paths.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace skyvox::scenery {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::TempDir;

// How Linux finds what Windows would find for a path text. On Windows the file system finds it
// itself (NativeWindowsPaths.* test that), and only the enumeration's order is ours.
#define LINUX_ONLY() SKYVOX_LINUX_ONLY("on Windows the file system itself finds names in any case")

class WindowsPaths : public ::testing::Test {
 protected:
  fs::path Dir(const std::string& relative) const {
    fs::create_directories(tmp_.Path() / relative);
    return tmp_.Path() / relative;
  }
  std::string Root() const { return tmp_.Str(); }

  TempDir tmp_;
};

TEST_F(WindowsPaths, ComponentsMatchWithoutRegardToCaseAcrossBothSeparators) {
  LINUX_ONLY();
  const fs::path base = Dir("FS2002/Scenery/BASE/scenery");
  const PathContext context{Root(), ""};
  EXPECT_EQ(ResolvePathNoCase(Root() + "/fs2002\\SCENERY\\base/Scenery", context), base);
  EXPECT_EQ(ResolvePathNoCase("FS2002\\scenery\\Base\\SCENERY\\", context), base);  // from BaseFolder
  EXPECT_EQ(ResolvePathNoCase("fs2002\\missing\\..\\.\\SCENERY", context), tmp_.Path() / "FS2002/Scenery");
  EXPECT_EQ(ResolvePathNoCase("FS2002\\Scenery\\Missing", context), std::nullopt);
  EXPECT_EQ(ResolvePathNoCase("", context), std::nullopt);
  EXPECT_EQ(ResolvePathNoCase(std::string("FS2002\0x", 8), context), std::nullopt);
}

TEST_F(WindowsPaths, AnExactNameIsPreferredToACaseVariant) {
  LINUX_ONLY();
  Dir("a/Scenery");
  Dir("a/scenery");
  const PathContext context{Root(), ""};
  EXPECT_EQ(ResolvePathNoCase("a\\scenery", context), tmp_.Path() / "a/scenery");
  EXPECT_EQ(ResolvePathNoCase("a\\Scenery", context), tmp_.Path() / "a/Scenery");
}

TEST_F(WindowsPaths, FoldersAreFoldersAndLinkLoopsEndTheSearch) {
  LINUX_ONLY();
  Dir("f");
  tmp_.Write("f/Scenery", std::string("not a folder"));
  fs::create_symlink(tmp_.Path() / "f/loop", tmp_.Path() / "f/loop");
  const PathContext context{Root(), ""};
  EXPECT_TRUE(FolderExistsNoCase("F", context));
  EXPECT_FALSE(FolderExistsNoCase("f\\scenery", context));
  EXPECT_TRUE(ResolvePathNoCase("f\\scenery", context).has_value());
  EXPECT_EQ(ResolvePathNoCase("f\\LOOP\\x", context), std::nullopt);
}

TEST_F(WindowsPaths, Windows1252TextFindsUtf8NamesInEitherCase) {
  LINUX_ONLY();
  const fs::path scenes = Dir("Sc\xC3\x88nes");     // "ScÈnes" as Linux stores it
  const fs::path jose = Dir("Jos\xC3\xA9/FS2002");  // "José"
  const PathContext context{Root(), ""};
  EXPECT_EQ(ResolvePathNoCase("Sc\xC8nes", context), scenes);  // "ScÈnes" in Windows-1252
  EXPECT_EQ(ResolvePathNoCase("SC\xE8NES", context), scenes);  // "SCèNES"
  // A UTF-8 folder text lower-cased as Windows-1252 bytes (0xC3 becomes 0xE3) still finds itself.
  EXPECT_EQ(ResolvePathNoCase(LowerCaseCp1252(jose.string()), context), jose);
}

TEST_F(WindowsPaths, DriveLettersMapIntoTheWinePrefixOfTheSimulatorFolder) {
  LINUX_ONLY();
  const fs::path fs2002 = Dir("prefix/drive_c/FS2002/Addon Scenery/scenery");
  const PathContext context{Dir("app").string(), Root() + "/Prefix/Drive_C/fs2002"};
  EXPECT_EQ(ResolvePathNoCase("C:\\fs2002\\ADDON SCENERY\\Scenery", context), fs2002);
  EXPECT_EQ(ResolvePathNoCase("c:\\..\\FS2002\\addon scenery\\scenery", context), fs2002);
  EXPECT_EQ(ResolvePathNoCase("D:\\Scenery", context), std::nullopt);
  EXPECT_EQ(ResolvePathNoCase("C:\\FS2002", PathContext{Root(), Root() + "/FS2002"}), std::nullopt);

  // dosdevices wins over drive_x when it has the letter.
  const fs::path other = Dir("elsewhere/FS2002");
  Dir("prefix/drive_d/Scenery");
  Dir("prefix/dosdevices");
  fs::create_directory_symlink(tmp_.Path() / "elsewhere", tmp_.Path() / "prefix/dosdevices/c:");
  EXPECT_EQ(ResolvePathNoCase("C:\\FS2002", context), tmp_.Path() / "prefix/dosdevices/c:/FS2002");
  EXPECT_EQ(ResolvePathNoCase("d:\\scenery", context), tmp_.Path() / "prefix/drive_d/Scenery");
}

TEST_F(WindowsPaths, BglFilesAreEnumeratedInNtfsOrderAndTheEndRepeats) {
  const fs::path folder = Dir("FS2002/Scenery/World/scenery");
  for (const char* name : {"b.BGL", "aab.bgl", "A.bgl", "a_b.bgl", "c.txt", "x.bglx", "bgl"}) {
    tmp_.Write(std::string("FS2002/Scenery/World/scenery/") + name, std::string("x"));
  }
  Dir("FS2002/Scenery/World/scenery/dir.bgl");
  const PathContext context{Root(), ""};
  const std::string text = Root() + "/fs2002\\scenery\\world\\scenery";

  EXPECT_EQ(BglEnumeration::Count(text, context), 4);
  BglEnumeration enumeration;
  EXPECT_EQ(enumeration.Next(), "");  // nothing started yet
  // Upper-cased: "A.BGL" < "AAB.BGL" < "A_B.BGL" < "B.BGL" ('.' < 'A' < '_').
  EXPECT_EQ(enumeration.First(text, context), "A.bgl");
  EXPECT_EQ(enumeration.Next(), "aab.bgl");
  EXPECT_EQ(enumeration.Next(), "a_b.bgl");
  EXPECT_EQ(enumeration.Next(), "b.BGL");
  EXPECT_EQ(enumeration.Next(), "");
  EXPECT_EQ(enumeration.Next(), "");                     // an exhausted enumeration stays exhausted
  EXPECT_EQ(enumeration.First(text, context), "A.bgl");  // First starts over

  EXPECT_EQ(enumeration.First(text + "\\missing", context), "");
  EXPECT_EQ(enumeration.Next(), "");
  EXPECT_EQ(BglEnumeration::Count(text + "\\missing", context), 0);
  EXPECT_EQ(enumeration.First(text + "\\A.bgl", context), "");  // a file is no folder
}

}  // namespace
}  // namespace skyvox::scenery
