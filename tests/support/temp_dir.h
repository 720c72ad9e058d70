// A fresh folder under the system's temporary directory, removed with its contents at destruction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace skyvox::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string Str() const { return path_.string(); }
  std::filesystem::path File(const std::string& name) const { return path_ / name; }
  // Creates (or replaces) a file with the given bytes.
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& name, const std::string& text) const;
  bool Exists(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);

// The source tree's root, for the shipped data files the tests read. Defined in the support library
// alone, so that the test sources compile the same in any checkout.
std::filesystem::path SourceRoot();

}  // namespace skyvox::testing
