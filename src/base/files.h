// File access the way the program's platform gave it: folder & separator & name paths, existence
// tests that match names without regard to case (a directory query on Windows does), deletions
// whose errors are ignored, and binary files written at a position without being truncated.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skyvox {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The native path for a path text of the program's. On Windows texts are Windows-1252, as the ANSI file
// functions of the simulator's platform take them; elsewhere a text is the bytes of the names on disk.
std::filesystem::path NativePath(std::string_view text);

// A path as the program's text, the inverse of NativePath: on Windows what Windows-1252 cannot hold
// becomes '?', as the ANSI file functions give it. Never throws.
std::string PathText(const std::filesystem::path& path);

// folder, the separator and name joined as text. An empty folder (a root whose trailing separator was
// removed) gives a path at the root, as "C:" & "\x" gives "C:\x".
std::string JoinPath(std::string_view folder, std::string_view name);

// The regular file `name` in `folder`: the exact name if it exists, otherwise the first entry whose
// name equals it without regard to ASCII case. Directories do not count. Never throws.
std::optional<std::filesystem::path> FindFileNoCase(std::string_view folder, std::string_view name);
bool FileExistsNoCase(std::string_view folder, std::string_view name);

// Deletes the file if it exists (matched as FindFileNoCase does); every error is ignored.
void DeleteFileQuietly(std::string_view folder, std::string_view name);

// Whole file into memory; throws FileError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Length in bytes, 0 when the file does not exist.
uint64_t FileLength(const std::filesystem::path& path);

// Writes bytes at a 0-based offset, creating the file when missing and keeping whatever lies beyond
// the written range (binary access never truncates). Throws FileError.
void WriteAt(const std::filesystem::path& path, uint64_t offset, std::span<const uint8_t> bytes);

}  // namespace skyvox
