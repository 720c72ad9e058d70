#include "base/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace skyvox {
namespace {
namespace fs = std::filesystem;
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

TEST(Files, JoinPathKeepsAnEmptyFolderAtTheRoot) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(JoinPath("", "world_terrain.db"), sep + "world_terrain.db");
  EXPECT_EQ(JoinPath("C:", "fs2002.exe"), "C:" + sep + "fs2002.exe");
}

TEST(Files, FindsFilesWithoutRegardToCaseButNotFolders) {
  TempDir dir;
  dir.Write("FS2002.EXE", std::string("MZ"));
  fs::create_directory(dir.File("world_terrain.db"));
  EXPECT_TRUE(FileExistsNoCase(dir.Str(), "fs2002.exe"));
  // The file on disk (on Linux under its own name; Windows opens any case of it).
  std::error_code ec;
  EXPECT_TRUE(fs::equivalent(*FindFileNoCase(dir.Str(), "Fs2002.Exe"), dir.File("FS2002.EXE"), ec));
  EXPECT_FALSE(FileExistsNoCase(dir.Str(), "world_terrain.db"));  // a folder of that name is no file
  EXPECT_FALSE(FileExistsNoCase(dir.Str(), "fs2002.ex"));
  EXPECT_FALSE(FileExistsNoCase(dir.Str() + "/missing", "fs2002.exe"));
}

TEST(Files, DeleteIgnoresMissingFilesAndMatchesCase) {
  TempDir dir;
  dir.Write("World_Airports.DAT", std::string("x"));
  DeleteFileQuietly(dir.Str(), "world_airports.dat");
  EXPECT_FALSE(dir.Exists("World_Airports.DAT"));
  EXPECT_NO_THROW(DeleteFileQuietly(dir.Str(), "world_airports.dat"));
  EXPECT_NO_THROW(DeleteFileQuietly(dir.Str() + "/nowhere", "x"));
}

TEST(Files, WriteAtCreatesExtendsAndNeverTruncates) {
  TempDir dir;
  const auto file = dir.File("data.bin");
  const std::vector<uint8_t> abc = {'a', 'b', 'c', 'd', 'e'};
  WriteAt(file, 0, abc);
  EXPECT_EQ(FileLength(file), 5u);
  const std::vector<uint8_t> xy = {'x', 'y'};
  WriteAt(file, 1, xy);
  EXPECT_EQ(ReadBytes(file), (std::vector<uint8_t>{'a', 'x', 'y', 'd', 'e'}));
  WriteAt(file, 5, xy);
  EXPECT_EQ(ReadBytes(file), (std::vector<uint8_t>{'a', 'x', 'y', 'd', 'e', 'x', 'y'}));
  EXPECT_EQ(FileLength(dir.File("missing")), 0u);
}

TEST(Files, ReadingOrWritingWhereNothingCanBeOpenedThrows) {
  TempDir dir;
  EXPECT_THROW(ReadWholeFile(dir.File("missing")), FileError);
  const std::vector<uint8_t> one = {1};
  EXPECT_THROW(WriteAt(dir.File("no/such/folder/file"), 0, one), FileError);
}

}  // namespace
}  // namespace skyvox
