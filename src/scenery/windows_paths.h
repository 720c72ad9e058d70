// Windows path texts on any file system. scenery.cfg names folders the way Windows does ("C:\FS2002\Addon
// Scenery", "Scenery\BASE"); on Linux the simulator folder is a copy of a Windows installation or lies in
// a Wine prefix, and names on disk differ in case from what the file says. These functions find what
// Windows would find for the same text: "\" and "/" both separate components, every component matches
// without regard to ASCII case, and a drive letter is a drive of the Wine prefix that holds SimFolder.
// Texts stay texts everywhere else (Local is kept lower-cased with its backslashes); they become native
// paths only here, when the file system is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skyvox::scenery {

struct PathContext {
  // Folder that relative texts start from: the program's folder (its current directory on Windows).
  std::string BaseFolder;
  // The simulator folder as a native path. When it lies in a Wine prefix (a component named drive_c,
  // any case), drive letters map into that prefix: X: is prefix/dosdevices/x: when that exists, else
  // prefix/drive_x. Without a prefix no drive letter can be mapped.
  std::string SimFolder;
};

// The existing file or folder that Windows would find for `text`, or nullopt. Each component is taken
// by its exact name first, then as the first directory entry equal to it without regard to case (ASCII
// and accented Windows-1252 letters). The text is Windows-1252 while names on Linux are UTF-8: a name on
// disk is compared both as it is and converted to Windows-1252, so "Sc\xC8nes" and "sc\xE8nes" find
// "ScÈnes", and a UTF-8 SimFolder lower-cased as Windows-1252 still finds itself. "." and ".." are
// applied to the text before the file system is asked, as Windows does. A drive letter that cannot be
// mapped, an empty text and any I/O error give nullopt; nothing throws. On Windows the text is used as
// it is.
std::optional<std::filesystem::path> ResolvePathNoCase(std::string_view text, const PathContext& context);

// True when `text` resolves to a directory (a directory query with the directory attribute).
bool FolderExistsNoCase(std::string_view text, const PathContext& context);

// One folder resolved and listed once, so that many names in it are found as ResolvePathNoCase finds
// "folder\\name" without walking the folder's path and listing the folder again for each name. The
// listing is the folder as it was when Load ran.
class FolderLookup {
 public:
  // Resolves `folderText` as ResolvePathNoCase does and lists the folder; false when it does not
  // resolve to a folder that can be listed (Find then finds nothing).
  bool Load(std::string_view folderText, const PathContext& context);
  // What ResolvePathNoCase gives for the folder's text, a separator and `name`, from the listing: the
  // exact name (as written, then as UTF-8), else the first entry equal to it without regard to case, in
  // the order the folder lists its entries. A name with a separator, "." or ".." is not a plain entry:
  // nullopt, and the caller asks ResolvePathNoCase.
  std::optional<std::filesystem::path> Find(const std::string& name) const;
  // False for a name Find cannot answer for (see Find).
  static bool IsPlainName(std::string_view name);

 private:
  struct Entry {
    std::string Name;
    bool Exists = false;  // false for a link to nothing
  };
  std::optional<std::filesystem::path> folder_;
  std::vector<Entry> entries_;
};

// The running enumeration of a folder's "*.bgl" files that the database build steps through, one name
// per call. Names are the regular files whose name ends in ".bgl" without regard to case, as they are
// on disk, in the order NTFS lists them: compared upper-cased, code by code (so "_" sorts after the
// letters). The list is taken when First is called.
class BglEnumeration {
 public:
  // Starts over on `folderText`: its first name, or "" when it has none or does not resolve to a folder.
  std::string First(std::string_view folderText, const PathContext& context);
  // The next name, or "" once the names are used up (and on every call after that, or before any First).
  std::string Next();
  // How many names First would go through.
  static int32_t Count(std::string_view folderText, const PathContext& context);

 private:
  std::vector<std::string> names_;
  size_t next_ = 0;
};

}  // namespace skyvox::scenery
