#include "scenery/windows_paths.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

#include "base/files.h"
#include "base/text.h"

namespace skyvox::scenery {
namespace fs = std::filesystem;
namespace {

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

#ifndef _WIN32
bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool StartsWithDriveLetter(std::string_view text) {
  return text.size() >= 2 && text[1] == ':' &&
         ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

// Appends the components of `text`, applying "." and ".." on the text as Windows does before it asks
// the file system; ".." at the top of the list stays at the top, as "C:\.." is "C:\".
void AppendComponents(std::vector<std::string>& out, std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    if (IsSeparator(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && !IsSeparator(text[j])) ++j;
    const std::string_view component = text.substr(i, j - i);
    if (component == "..") {
      if (!out.empty()) out.pop_back();
    } else if (component != ".") {
      out.emplace_back(component);
    }
    i = j;
  }
}

// Components from the file-system root of a text without a drive letter: a text that starts with a
// separator is rooted, any other starts at the base folder (the current directory when it is empty).
std::optional<std::vector<std::string>> RootedComponents(std::string_view text,
                                                         const std::string& baseFolder) {
  std::vector<std::string> components;
  if (text.empty() || !IsSeparator(text.front())) {
    std::error_code ec;
    const fs::path base = baseFolder.empty() ? fs::current_path(ec) : fs::absolute(baseFolder, ec);
    if (ec) return std::nullopt;
    AppendComponents(components, base.string());
  }
  AppendComponents(components, text);
  return components;
}

// Names equal without regard to case, as Windows compares them: letters of Windows-1252 folded, the
// name on disk taken both as it is and, when it is UTF-8 (Linux names are), as Windows-1252 text. The
// first way also matches a UTF-8 text whose bytes were lower-cased as Windows-1252 letters.
bool SameNameNoCase(const std::string& foldedText, const std::string& entry) {
  if (LowerCaseCp1252(entry) == foldedText) return true;
  const bool hasHighBytes =
      std::any_of(entry.begin(), entry.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (!hasHighBytes) return false;
  const std::string asCp1252 = Utf8ToCp1252(entry);
  return Cp1252ToUtf8(asCp1252) == entry && LowerCaseCp1252(asCp1252) == foldedText;
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The entry of `folder` called `name`: the exact name (as written, then as UTF-8), else the first entry
// equal to it without regard to case. Entries that do not exist behind their name (dangling links) are
// passed over.
std::optional<fs::path> EntryNoCase(const fs::path& folder, const std::string& name) {
  fs::path exact = folder / name;
  if (Exists(exact)) return exact;
  if (const std::string utf8 = Cp1252ToUtf8(name); utf8 != name) {
    exact = folder / utf8;
    if (Exists(exact)) return exact;
  }
  const std::string folded = LowerCaseCp1252(name);
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    if (SameNameNoCase(folded, PathText(it->path().filename())) && Exists(it->path())) return it->path();
  }
  return std::nullopt;
}

std::optional<fs::path> Walk(fs::path current, const std::vector<std::string>& components) {
  for (const std::string& component : components) {
    auto next = EntryNoCase(current, component);
    if (!next) return std::nullopt;
    current = std::move(*next);
  }
  if (!Exists(current)) return std::nullopt;
  return current;
}

// The folder that drive `letter` stands for: a drive of the Wine prefix holding SimFolder.
std::optional<fs::path> DriveRoot(char letter, const PathContext& context) {
  const std::string_view simFolder = context.SimFolder;
  if (simFolder.empty() || StartsWithDriveLetter(simFolder)) return std::nullopt;
  auto components = RootedComponents(simFolder, context.BaseFolder);
  if (!components) return std::nullopt;
  // The innermost drive_c: a prefix may itself lie on a mount point called drive_c.
  auto driveC = std::find_if(components->rbegin(), components->rend(),
                             [](const std::string& c) { return EqualsNoCase(c, "drive_c"); });
  if (driveC == components->rend()) return std::nullopt;
  components->erase(std::prev(driveC.base()), components->end());
  const auto prefix = Walk(fs::path("/"), *components);
  if (!prefix) return std::nullopt;
  const char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
  if (auto device = Walk(*prefix, {"dosdevices", std::string{lower, ':'}}); device && IsDirectory(*device)) {
    return device;
  }
  if (auto drive = Walk(*prefix, {std::string("drive_") + lower}); drive && IsDirectory(*drive)) return drive;
  return std::nullopt;
}
#endif

// NTFS lists a folder by its names upper-cased and compared as UTF-16 units. The key is the name with
// its Windows-1252 letters upper-cased, in UTF-8, whose byte order is that of the code points (a name
// that is not Windows-1252 text in UTF-8 gets its ASCII letters upper-cased only).
std::string NtfsKey(const std::string& name) {
  const std::string asCp1252 = Utf8ToCp1252(name);
  if (Cp1252ToUtf8(asCp1252) != name) return ToUpperAscii(name);
  return Cp1252ToUtf8(UpperCaseCp1252(asCp1252));
}

// Names equal in NTFS order (possible on Linux only) keep a fixed order by their own bytes.
std::vector<std::string> BglNames(std::string_view folderText, const PathContext& context) {
  std::vector<std::pair<std::string, std::string>> keyed;
  const auto folder = ResolvePathNoCase(folderText, context);
  if (!folder || !IsDirectory(*folder)) return {};
  std::error_code ec;
  fs::directory_iterator it(*folder, ec);
  if (ec) return {};
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::string name = PathText(it->path().filename());
    if (name.size() < 4 || !EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".bgl")) continue;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc)) continue;
    keyed.emplace_back(NtfsKey(name), std::move(name));
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> names;
  names.reserve(keyed.size());
  for (auto& entry : keyed) names.push_back(std::move(entry.second));
  return names;
}

}  // namespace

std::optional<fs::path> ResolvePathNoCase(std::string_view text, const PathContext& context) {
  // An embedded NUL would cut the name short inside the operating system and find another file.
  if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
#ifdef _WIN32
  // Windows finds names without regard to case itself. A relative text starts from the program's
  // folder ("\x" from its drive's root; "C:x" from drive C's current folder), as from the program's
  // current directory when it was started from its own folder.
  fs::path path = NativePath(text);
  if (path.is_relative() && !context.BaseFolder.empty()) path = NativePath(context.BaseFolder) / path;
  path = path.lexically_normal();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();  // "a\b\" is "a\b"
  std::error_code ec;
  if (fs::exists(path, ec)) return path;
  return std::nullopt;
#else
  if (StartsWithDriveLetter(text)) {
    // "C:x" is taken from the drive's root, the current directory of a drive the program is not on.
    auto root = DriveRoot(text[0], context);
    if (!root) return std::nullopt;
    std::vector<std::string> components;
    AppendComponents(components, text.substr(2));
    return Walk(std::move(*root), components);
  }
  const auto components = RootedComponents(text, context.BaseFolder);
  if (!components) return std::nullopt;
  return Walk(fs::path("/"), *components);
#endif
}

bool FolderLookup::IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool FolderLookup::Load(std::string_view folderText, const PathContext& context) {
  entries_.clear();
  folder_ = ResolvePathNoCase(folderText, context);
  if (folder_ && IsDirectory(*folder_)) {
    std::error_code ec;
    fs::directory_iterator it(*folder_, ec);
    if (!ec) {
      for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code existsEc;
        entries_.push_back({PathText(it->path().filename()), it->exists(existsEc)});
      }
      if (!ec) return true;
    }
  }
  folder_.reset();
  entries_.clear();
  return false;
}

std::optional<fs::path> FolderLookup::Find(const std::string& name) const {
  if (!folder_ || !IsPlainName(name)) return std::nullopt;
#ifdef _WIN32
  // Windows finds names without regard to case itself: the caller asks ResolvePathNoCase.
  return std::nullopt;
#else
  // The exact names are asked of the file system, as the walk asks them, so that a folder on a
  // case-blind mount gives the same path; only the search through the entries uses the listing.
  fs::path exact = *folder_ / name;
  if (Exists(exact)) return exact;
  if (const std::string utf8 = Cp1252ToUtf8(name); utf8 != name) {
    exact = *folder_ / utf8;
    if (Exists(exact)) return exact;
  }
  const std::string folded = LowerCaseCp1252(name);
  for (const Entry& entry : entries_) {
    if (entry.Exists && SameNameNoCase(folded, entry.Name)) return *folder_ / entry.Name;
  }
  return std::nullopt;
#endif
}

bool FolderExistsNoCase(std::string_view text, const PathContext& context) {
  const auto path = ResolvePathNoCase(text, context);
  return path && IsDirectory(*path);
}

std::string BglEnumeration::First(std::string_view folderText, const PathContext& context) {
  names_ = BglNames(folderText, context);
  next_ = 0;
  return Next();
}

std::string BglEnumeration::Next() {
  if (next_ >= names_.size()) return "";
  return names_[next_++];
}

int32_t BglEnumeration::Count(std::string_view folderText, const PathContext& context) {
  const size_t count = BglNames(folderText, context).size();
  return static_cast<int32_t>(std::min<size_t>(count, std::numeric_limits<int32_t>::max()));
}

}  // namespace skyvox::scenery
