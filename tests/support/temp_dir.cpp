#include "support/temp_dir.h"

#include <atomic>
#include <fstream>
#include <random>

#include "base/files.h"

namespace skyvox::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() /
            ("skyvox-test-" + std::to_string(counter++) + "-" + std::to_string(random() % 100000));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out << text;
}

bool TempDir::Exists(const std::string& name) const {
  return fs::exists(path_ / name);
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  return ReadWholeFile(file);
}

fs::path SourceRoot() {
  return SKYVOX_SOURCE_DIR;
}

}  // namespace skyvox::testing
