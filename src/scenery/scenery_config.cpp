#include "scenery/scenery_config.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <system_error>

#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"

namespace skyvox::scenery {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::array<std::string_view, 7> kKeys = {"Title",    "Texture_ID", "Active", "Layer",
                                                   "Required", "Remote",     "Local"};
constexpr std::array<std::string SceneryArea::*, 7> kFields = {
    &SceneryArea::Title,    &SceneryArea::Texture_ID, &SceneryArea::Active, &SceneryArea::Layer,
    &SceneryArea::Required, &SceneryArea::Remote,     &SceneryArea::Local};
// Far above any real library: a few hundred areas with some kilobytes of values, and even 32767 areas
// of 250 bytes are under 8 MiB. The file bound keeps the suffix array of the joined text (at most twice
// the file; 16 bytes a character while it is built and used) under 300 MB.
constexpr size_t kMaxValueBytes = size_t{64} << 20;
constexpr size_t kMaxFileBytes = size_t{8} << 20;

// The platform's string idioms, on single-byte text. Positions are 1-based as the platform counts.

// Reads text files a line at a time: CR or CR LF ends a line, a lone LF is part of the line, a last
// line without terminator is read, and a terminator at the very end starts no further line.
class LineInput {
 public:
  explicit LineInput(std::string_view text) : text_(text) {}
  bool AtEof() const { return pos_ >= text_.size(); }
  std::string_view Next() {
    const size_t cr = text_.find('\r', pos_);
    const size_t stop = cr == std::string_view::npos ? text_.size() : cr;
    const std::string_view line = text_.substr(pos_, stop - pos_);
    pos_ = stop;
    if (pos_ < text_.size()) ++pos_;
    if (cr != std::string_view::npos && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    return line;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Blanks only; tabs stay.
std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int64_t Len(std::string_view text) {
  return static_cast<int64_t>(text.size());
}

// Position of the first `find` at or after `start`, 0 when there is none (see detail::InStrLinear).
int64_t InStr(int64_t start, std::string_view text, std::string_view find) {
  return detail::InStrLinear(start, text, find);
}

// `length` characters from `start` (at least 1), fewer at the end of the text.
std::string_view Mid(std::string_view text, int64_t start, int64_t length) {
  if (start > Len(text)) return {};
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(std::max<int64_t>(length, 0)));
}

// Windows-1252 letters, accented ones included, as the platform lower-cases. The folder matching folds
// the same letters, so a lower-cased Local still finds its folder.
std::string LCase(std::string_view text) {
  return LowerCaseCp1252(text);
}

// Every `find`, left to right, without overlaps; an empty `find` leaves the text as it is.
std::string Replace(std::string_view text, std::string_view find, std::string_view with) {
  if (find.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  for (size_t at = text.find(find); at != std::string_view::npos; at = text.find(find, pos)) {
    out.append(text.substr(pos, at - pos)).append(with);
    pos = at + find.size();
  }
  return out.append(text.substr(pos));
}

// Replace with the occurrences found without regard to case.
std::string ReplaceNoCase(std::string_view text, std::string_view find, std::string_view with) {
  if (find.empty()) return std::string(text);
  const std::string lowered = LCase(text);
  const std::string loweredFind = LCase(find);
  std::string out;
  size_t pos = 0;
  for (size_t at = lowered.find(loweredFind); at != std::string::npos; at = lowered.find(loweredFind, pos)) {
    out.append(text.substr(pos, at - pos)).append(with);
    pos = at + find.size();
  }
  return out.append(text.substr(pos));
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The file's lines with every CR and then every LF made CR LF, joined by CR LF. Line Input never leaves
// a CR in a line, so in effect each lone LF becomes CR LF.
std::string JoinedText(std::string_view fileText) {
  std::string joined;
  joined.reserve(fileText.size() + fileText.size() / 4);
  bool firstLine = true;
  for (LineInput in(fileText); !in.AtEof();) {
    const std::string_view line = in.Next();
    if (!firstLine) joined.append(kCrLf);
    firstLine = false;
    joined.append(Replace(Replace(line, "\r", kCrLf), "\n", kCrLf));
  }
  return joined;
}

// GetKeyValue of the seven keys for any window of the joined text, by binary search in the sorted
// positions of each "key=": an area's section can be most of the text (when the next header occurs
// before the area's own), and scanning each of up to 32767 such sections would take hours. A "key="
// found in section & CR LF lies wholly inside the section, as no key holds CR or LF.
class KeyIndex {
 public:
  explicit KeyIndex(std::string_view text) : text_(text) {
    const std::string lowered = LCase(text);
    for (size_t k = 0; k < kKeys.size(); ++k) {
      const std::string needle = LCase(std::string(kKeys[k]) + "=");
      for (size_t at = lowered.find(needle); at != std::string::npos; at = lowered.find(needle, at + 1)) {
        positions_[k].push_back(at);
      }
    }
  }

  // GetKeyValue(text.substr(begin, end - begin), kKeys[k]).
  std::string_view Value(size_t k, size_t begin, size_t end) const {
    const size_t needleLength = kKeys[k].size() + 1;
    const std::vector<size_t>& positions = positions_[k];
    const auto it = std::lower_bound(positions.begin(), positions.end(), begin);
    if (it == positions.end() || *it + needleLength > end) return {};
    const size_t valueStart = *it + needleLength;
    // Up to the first CR LF wholly inside the section, else up to the CR LF appended after it; the
    // CR LF is dropped and no other can lie before it.
    const std::string_view rest = text_.substr(valueStart, end - valueStart);
    return rest.substr(0, rest.find(kCrLf));
  }

 private:
  std::string_view text_;
  std::array<std::vector<size_t>, kKeys.size()> positions_;
};

// A segment tree over ranks holding the least text position inserted so far.
class MinTree {
 public:
  explicit MinTree(size_t size) : size_(size), tree_(2 * size, kNone) {}
  void Set(size_t index, int32_t value) {
    size_t i = index + size_;
    tree_[i] = value;
    for (i /= 2; i > 0; i /= 2) tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
  }
  // Least value over [first, last).
  int32_t Min(size_t first, size_t last) const {
    int32_t best = kNone;
    for (first += size_, last += size_; first < last; first /= 2, last /= 2) {
      if (first % 2 == 1) best = std::min(best, tree_[first++]);
      if (last % 2 == 1) best = std::min(best, tree_[--last]);
    }
    return best;
  }
  static constexpr int32_t kNone = std::numeric_limits<int32_t>::max();

 private:
  size_t size_;
  std::vector<int32_t> tree_;
};

// Suffixes in byte order (unsigned; a suffix before every longer one it begins), by prefix doubling
// with counting sorts: O(n log n).
std::vector<int32_t> SuffixArray(std::string_view text) {
  const auto n = static_cast<int32_t>(text.size());
  std::vector<int32_t> sa(static_cast<size_t>(n));
  std::vector<int32_t> rank(static_cast<size_t>(n));
  std::vector<int32_t> other(static_cast<size_t>(n));
  std::vector<int32_t> count(static_cast<size_t>(std::max(n, 256)) + 1);
  for (int32_t i = 0; i < n; ++i) {
    rank[i] = static_cast<unsigned char>(text[static_cast<size_t>(i)]);
    ++count[static_cast<size_t>(rank[i]) + 1];
  }
  for (size_t c = 1; c <= 256; ++c) count[c] += count[c - 1];
  for (int32_t i = 0; i < n; ++i) sa[static_cast<size_t>(count[static_cast<size_t>(rank[i])]++)] = i;
  int32_t classes = 256;
  for (int64_t k = 1; k < n; k *= 2) {
    // Ordered by the second half (suffixes too short to have one first), then stably by the first.
    size_t p = 0;
    for (int64_t i = n - k; i < n; ++i) other[p++] = static_cast<int32_t>(i);
    for (int32_t j = 0; j < n; ++j) {
      if (sa[j] >= k) other[p++] = static_cast<int32_t>(sa[j] - k);
    }
    std::fill(count.begin(), count.begin() + classes + 1, 0);
    for (int32_t i = 0; i < n; ++i) ++count[static_cast<size_t>(rank[i]) + 1];
    for (int32_t c = 1; c <= classes; ++c) count[c] += count[c - 1];
    for (int32_t j = 0; j < n; ++j)
      sa[static_cast<size_t>(count[static_cast<size_t>(rank[other[j]])]++)] = other[j];
    const auto secondRank = [&](int32_t i) { return i + k < n ? rank[static_cast<size_t>(i + k)] : -1; };
    other[sa[0]] = 0;
    classes = 1;
    for (int32_t j = 1; j < n; ++j) {
      const int32_t a = sa[j - 1];
      const int32_t b = sa[j];
      if (rank[a] != rank[b] || secondRank(a) != secondRank(b)) ++classes;
      other[b] = classes - 1;
    }
    rank.swap(other);
    if (classes == n) break;
  }
  return sa;
}

// Collects the section headers of the text read back and cuts each area's section out of `joined`.
SceneryLibrary CutAreas(std::string_view joined, std::string_view readBack) {
  std::vector<std::string_view> headers;
  for (LineInput in(readBack); !in.AtEof();) {
    const std::string_view line = in.Next();
    const std::string_view trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[' && InStr(1, trimmed, "]") == Len(trimmed)) {
      headers.push_back(line);  // as read, with its blanks
    }
  }
  headers.emplace_back();  // the spare empty entry

  // First the search positions and ends, in order: each end is found from the search position that the
  // previous end left, so these searches together pass over the text about once.
  std::vector<int64_t> ends;
  std::vector<detail::TextSearch> startSearches;
  int64_t searchPos = 1;
  for (size_t i = 0; i + 1 < headers.size(); ++i) {
    if (InStr(1, LCase(headers[i]), "[area.") == 0) continue;
    if (ends.size() == static_cast<size_t>(kMaxSceneryAreas)) {
      throw FormatError("scenery.cfg holds more than 32767 scenery areas");
    }
    const int64_t end = i + 2 == headers.size() ? Len(joined) : InStr(searchPos, joined, headers[i + 1]) - 1;
    ends.push_back(end);
    startSearches.push_back({headers[i], searchPos});
    searchPos = end;
  }
  // Then the starts: each from its own search position, which may lie far before the header when a
  // header text also occurs early in the file; one suffix array answers them all.
  const std::vector<int64_t> starts = detail::InStrAll(joined, startSearches);

  SceneryLibrary library;
  library.SceneryAreas.resize(ends.size() + 1);
  library.SceneryAreaCount = static_cast<int16_t>(ends.size());
  const KeyIndex keys(joined);
  size_t valueBytes = 0;
  for (size_t a = 0; a < ends.size(); ++a) {
    const int64_t start = starts[a];
    const int64_t end = ends[a];
    // Every header is a line of the text at or after the search position, which never passes the next
    // header's line; a header that is not found means the text read back is not the text written.
    if (start == 0) throw FormatError("scenery.cfg changed while it was being read");
    // The next header may occur before this one (inside a value, or as a repeated header): the length
    // is then the distance backwards, and the section runs forward from this header all the same.
    // The section is Mid(joined, start, length), held as the window [begin, stop) of the text.
    const int64_t length = std::abs(end - start) + 1;
    const auto begin = static_cast<size_t>(start - 1);
    const auto stop = static_cast<size_t>(std::min(start - 1 + length, Len(joined)));
    for (size_t k = 0; k < kKeys.size(); ++k) {
      const std::string_view value = keys.Value(k, begin, stop);
      valueBytes += value.size();
      if (valueBytes > kMaxValueBytes) {
        throw FormatError("scenery.cfg: the scenery areas' values exceed 64 MiB (overlapping sections)");
      }
      library.SceneryAreas[a].*kFields[k] = std::string(value);
    }
  }
  return library;
}

void CheckFileSize(size_t size) {
  if (size > kMaxFileBytes) throw FormatError("scenery.cfg is larger than 8 MiB");
}

// Removes the temporary file however the reading ends; errors are ignored, as for every deletion.
class TempFileRemover {
 public:
  explicit TempFileRemover(std::string path) : path_(std::move(path)) {}
  ~TempFileRemover() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  TempFileRemover(const TempFileRemover&) = delete;
  TempFileRemover& operator=(const TempFileRemover&) = delete;

 private:
  std::string path_;
};

}  // namespace

namespace detail {

int64_t InStrLinear(int64_t start, std::string_view text, std::string_view pattern) {
  start = std::max<int64_t>(start, 1);
  if (text.empty() || start > Len(text)) return 0;
  if (pattern.empty()) return start;
  // border[i]: length of the longest proper prefix of pattern[0..i] that is also its suffix.
  std::vector<size_t> border(pattern.size(), 0);
  for (size_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = border[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    border[i] = k;
  }
  size_t matched = 0;
  for (auto i = static_cast<size_t>(start - 1); i < text.size(); ++i) {
    while (matched > 0 && text[i] != pattern[matched]) matched = border[matched - 1];
    if (text[i] == pattern[matched]) ++matched;
    if (matched == pattern.size()) return static_cast<int64_t>(i + 2 - pattern.size());
  }
  return 0;
}

std::vector<int64_t> InStrAll(std::string_view text, std::span<const TextSearch> searches) {
  std::vector<int64_t> results(searches.size(), 0);
  if (text.empty() || searches.empty()) return results;
  const std::vector<int32_t> sa = SuffixArray(text);
  std::vector<int32_t> rankOf(sa.size());
  for (size_t r = 0; r < sa.size(); ++r) rankOf[static_cast<size_t>(sa[r])] = static_cast<int32_t>(r);

  // The suffixes that begin with a pattern are one run [First, Last) of the suffix array.
  struct Pending {
    size_t From;  // 0-based
    size_t First;
    size_t Last;
    size_t Index;
  };
  std::vector<Pending> pending;
  for (size_t j = 0; j < searches.size(); ++j) {
    const int64_t from = std::max<int64_t>(searches[j].Start, 1);
    if (from > Len(text)) continue;
    const std::string_view pattern = searches[j].Pattern;
    const auto prefix = [&](int32_t pos) { return text.substr(static_cast<size_t>(pos), pattern.size()); };
    const auto first = std::lower_bound(sa.begin(), sa.end(), pattern,
                                        [&](int32_t pos, std::string_view p) { return prefix(pos) < p; });
    const auto last = std::upper_bound(first, sa.end(), pattern,
                                       [&](std::string_view p, int32_t pos) { return p < prefix(pos); });
    if (first == last) continue;
    pending.push_back({static_cast<size_t>(from - 1), static_cast<size_t>(first - sa.begin()),
                       static_cast<size_t>(last - sa.begin()), j});
  }
  // From the last search position down: the tree holds every position at or after the current one.
  std::sort(pending.begin(), pending.end(),
            [](const Pending& a, const Pending& b) { return a.From > b.From; });
  MinTree tree(sa.size());
  size_t inserted = text.size();  // positions [inserted, size) are in the tree
  for (const Pending& p : pending) {
    while (inserted > p.From) {
      --inserted;
      tree.Set(static_cast<size_t>(rankOf[inserted]), static_cast<int32_t>(inserted));
    }
    const int32_t best = tree.Min(p.First, p.Last);
    if (best != MinTree::kNone) results[p.Index] = static_cast<int64_t>(best) + 1;
  }
  return results;
}

}  // namespace detail

std::string GetKeyValue(std::string_view sectionText, std::string_view key) {
  const std::string s = std::string(sectionText).append(kCrLf);
  const std::string lowered = LCase(s);
  const int64_t at = InStr(1, lowered, LCase(std::string(key) + "="));
  if (at == 0) return "";
  const int64_t start = at + Len(key) + 1;
  const int64_t crlf = InStr(start, lowered, kCrLf);
  return Replace(Mid(s, start, crlf + 2 - start), kCrLf, "");
}

SceneryLibrary ParseSceneryConfig(std::span<const uint8_t> fileBytes) {
  CheckFileSize(fileBytes.size());
  const std::string joined = JoinedText(AsText(fileBytes));
  // The temporary file holds exactly the joined text, so reading it back is reading `joined`.
  return CutAreas(joined, joined);
}

SceneryLibrary ReadSceneryConfig(const std::string& path, const std::string& appFolder) {
  const size_t cut = path.find_last_of("/\\");
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  const auto file = FindFileNoCase(folder, name);
  if (!file) throw FileError("The scenery library " + path + " was not found.");
  std::vector<uint8_t> fileBytes;
  try {
    fileBytes = ReadWholeFile(*file);
  } catch (const FileError&) {
    throw FileError("The scenery library " + path + " could not be read.");
  }
  CheckFileSize(fileBytes.size());
  const std::string joined = JoinedText(AsText(fileBytes));

  const std::string tempPath = JoinPath(appFolder, kSceneryTempFileName);
  const TempFileRemover remover(tempPath);
  {
    // Replaced whole: a longer file left over from an interrupted run must not trail after the text.
    std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
    out.write(joined.data(), static_cast<std::streamsize>(joined.size()));
    out.close();
    if (!out) throw FileError("The temporary file " + tempPath + " could not be written.");
  }
  const std::vector<uint8_t> readBack = ReadWholeFile(tempPath);
  return CutAreas(joined, AsText(readBack));
}

void ResolveSceneryFolders(SceneryLibrary& library, const std::string& simFolder,
                           const std::vector<std::string>& driveList, const PathContext& context) {
  for (int32_t i = 0; i < library.SceneryAreaCount; ++i) {
    std::string& local = library.SceneryAreas[static_cast<size_t>(i)].Local;
    if (local.empty()) continue;
    local = Replace(Trim(local), "/", "\\");
    const std::string lowered = LCase(local);
    const bool endsInScenery =
        lowered.size() >= 8 && lowered.compare(lowered.size() - 8, 8, "\\scenery") == 0;
    if (!endsInScenery && lowered != "scenery") local += "\\scenery";
    for (const std::string& drive : driveList) {
      // "c: [label]": the text from the 4th character is the bracketed label or network name. A drive
      // without one gives an empty text, which every text contains and whose replacement changes nothing.
      const std::string_view label = std::string_view(drive).substr(std::min<size_t>(3, drive.size()));
      if (InStr(1, LCase(local), LCase(label)) > 0) {
        local = ReplaceNoCase(local, label, std::string_view(drive).substr(0, 2));
      }
    }
    if (!FolderExistsNoCase(local, context)) local = LCase(simFolder + "\\" + local);
    local = LCase(local);
    if (!FolderExistsNoCase(local, context)) local.clear();
  }
}

}  // namespace skyvox::scenery
