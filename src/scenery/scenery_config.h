// The simulator's scenery library, scenery.cfg: an INI-style text with one section per scenery area,
// whose header begins with "[area." in any case. The reader keeps every area in file order with the raw
// values of its seven keys; the folder resolution then turns each Local into an existing folder ending
// in "\scenery", or "" for an area the database build skips.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scenery/windows_paths.h"

namespace skyvox::scenery {

inline constexpr const char* kSceneryConfigFileName = "scenery.cfg";
inline constexpr const char* kSceneryTempFileName = "sceneryCFG.tmp";
// SceneryAreaCount is a 16-bit Integer: a library with more areas is refused with FormatError.
inline constexpr int16_t kMaxSceneryAreas = 32767;

// One area section: the raw values of the keys of the same names ("" for a missing key), in the
// section's text case, untrimmed. Local is rewritten by ResolveSceneryFolders.
struct SceneryArea {
  std::string Title;
  std::string Texture_ID;
  std::string Active;
  std::string Layer;
  std::string Required;
  std::string Remote;
  std::string Local;
  bool operator==(const SceneryArea&) const = default;
};

// Areas at 0..SceneryAreaCount-1 in the order of their sections in the file, and one spare empty
// element after them. Active, Layer and the others neither filter nor order the areas.
struct SceneryLibrary {
  std::vector<SceneryArea> SceneryAreas{SceneryArea{}};
  int16_t SceneryAreaCount = 0;
};

// The value of `key` in a section's text: the text after the first "key=" found anywhere in it without
// regard to case, up to the end of that line; "" when absent. A plain substring search: "xlocal=" is
// taken for "local=", and "local =" is not found. The value keeps its case and blanks.
std::string GetKeyValue(std::string_view sectionText, std::string_view key);

// The areas of scenery.cfg's bytes, parsed as ReadSceneryConfig does but without the temporary file.
// Throws FormatError for a file over 8 MiB, more than kMaxSceneryAreas areas, or when the areas' values
// would exceed 64 MiB in all (a hostile file can make sections overlap so that each area repeats most
// of the text).
SceneryLibrary ParseSceneryConfig(std::span<const uint8_t> fileBytes);

// Reads the scenery library at `path` (SimFolder & "\scenery.cfg"; the file name is matched without
// regard to case, "\" and "/" both end the folder part) by way of the temporary file
// appFolder/sceneryCFG.tmp, which is always deleted afterwards. Same result as ParseSceneryConfig.
// Throws FileError when scenery.cfg is missing or unreadable or the temporary file cannot be written,
// FormatError as ParseSceneryConfig.
SceneryLibrary ReadSceneryConfig(const std::string& path, const std::string& appFolder);

// Rewrites every non-empty Local to the lower-cased text of an existing folder ending in "\scenery"
// (tried as written, then under simFolder), or to "". `driveList` holds the platform's drive list
// entries, "c: [label]"; an entry's label found in Local (without regard to case) is replaced by its
// drive letter and colon. "Folder exists" is FolderExistsNoCase in `context`.
void ResolveSceneryFolders(SceneryLibrary& library, const std::string& simFolder,
                           const std::vector<std::string>& driveList, const PathContext& context);

namespace detail {

// InStr(start, text, pattern): 1-based position of the first pattern at or after start, 0 when there is
// none; a start below 1 searches from the first character. In time linear in the text passed over and
// the pattern, whatever the pattern repeats (a header text can be any line of the file).
int64_t InStrLinear(int64_t start, std::string_view text, std::string_view pattern);

struct TextSearch {
  std::string_view Pattern;
  int64_t Start = 1;
};

// InStrLinear of every search, answered together through one suffix array of the text, in
// O((n + total pattern length) log n) however far each search would run. Exposed for the fuzz target,
// which compares both with a plain search.
std::vector<int64_t> InStrAll(std::string_view text, std::span<const TextSearch> searches);

}  // namespace detail

}  // namespace skyvox::scenery
