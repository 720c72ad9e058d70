#include "base/files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "base/errors.h"
#include "base/text.h"

namespace skyvox {
namespace fs = std::filesystem;

namespace {

// ": REASON" for a system error number, nothing when there is none.
std::string SystemReason(int error) {
  return error != 0 ? std::string(": ") + std::strerror(error) : std::string();
}

}  // namespace

#ifdef _WIN32
fs::path NativePath(std::string_view text) {
  const std::string utf8 = Cp1252ToUtf8(text);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const fs::path& path) {
  const std::wstring& wide = path.native();
  return Utf8ToCp1252(
      Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size())));
}
#else
fs::path NativePath(std::string_view text) {
  return fs::path(std::string(text));
}

std::string PathText(const fs::path& path) {
  return path.native();
}
#endif

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  path.push_back(kPathSeparator);
  path.append(name);
  return path;
}

std::optional<fs::path> FindFileNoCase(std::string_view folder, std::string_view name) {
  std::error_code ec;
  const fs::path exact = NativePath(JoinPath(folder, name));
  if (fs::is_regular_file(exact, ec)) return exact;
  const fs::path dir = NativePath(folder.empty() ? std::string(1, kPathSeparator) : std::string(folder));
  fs::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    if (!EqualsNoCase(PathText(it->path().filename()), name)) continue;
    std::error_code typeEc;
    if (it->is_regular_file(typeEc)) return it->path();
  }
  return std::nullopt;
}

bool FileExistsNoCase(std::string_view folder, std::string_view name) {
  return FindFileNoCase(folder, name).has_value();
}

void DeleteFileQuietly(std::string_view folder, std::string_view name) {
  if (const auto found = FindFileNoCase(folder, name)) {
    std::error_code ec;
    fs::remove(*found, ec);
  }
}

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot open " + PathText(path));
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) throw FileError("cannot read " + PathText(path));
  in.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    throw FileError("cannot read " + PathText(path));
  }
  return bytes;
}

uint64_t FileLength(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

void WriteAt(const fs::path& path, uint64_t offset, std::span<const uint8_t> bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  int createError = 0;
  if (!out) {
    // Missing: create it, then reopen without truncation for positioned writes. Why the creation
    // failed is the reason to give (a read-only folder): reopening would only find the file missing.
    errno = 0;
    if (!std::ofstream(path, std::ios::binary)) createError = errno;
    out.open(path, std::ios::binary | std::ios::in | std::ios::out);
  }
  if (!out) {
    throw FileError("cannot open " + PathText(path) + " for writing" +
                    SystemReason(createError != 0 ? createError : errno));
  }
  errno = 0;
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  // The stream keeps no reason of its own; the failed system call left it in errno (a full disk:
  // "No space left on device").
  if (!out) throw FileError("cannot write " + PathText(path) + SystemReason(errno));
}

}  // namespace skyvox
