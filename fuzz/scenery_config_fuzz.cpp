// Arbitrary bytes as scenery.cfg: the parse ends with a library or a FormatError, whatever the bytes
// say, and no value it returns holds a CR LF pair (each ends at the first one). The header searches
// behind the section cutting must agree with a plain substring search.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "scenery/scenery_config.h"

namespace {
void CheckValue(std::string_view value) {
  if (value.find("\r\n") != std::string_view::npos) __builtin_trap();
}

int64_t PlainInStr(int64_t start, std::string_view text, std::string_view pattern) {
  start = start < 1 ? 1 : start;
  if (text.empty() || start > static_cast<int64_t>(text.size())) return 0;
  const size_t at = text.find(pattern, static_cast<size_t>(start - 1));
  return at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// The linear and the suffix-array searches against a plain one: every line of the input (and the empty
// text) as a pattern, from starts spread over the text and below it.
void CheckSearches(std::string_view text) {
  using skyvox::scenery::detail::TextSearch;
  std::vector<TextSearch> searches{{"", 0}, {"", static_cast<int64_t>(text.size()) + 1}};
  size_t from = 0;
  while (from <= text.size() && searches.size() < 64) {
    const size_t stop = std::min(text.find_first_of("\r\n", from), text.size());
    const std::string_view line = text.substr(from, stop - from);
    const auto start = static_cast<int64_t>((line.size() * 7919 + from) % (text.size() + 3)) - 1;
    searches.push_back({line, start});
    from = stop + 1;
  }
  const std::vector<int64_t> all = skyvox::scenery::detail::InStrAll(text, searches);
  for (size_t i = 0; i < searches.size(); ++i) {
    const int64_t expected = PlainInStr(searches[i].Start, text, searches[i].Pattern);
    if (all[i] != expected) __builtin_trap();
    if (skyvox::scenery::detail::InStrLinear(searches[i].Start, text, searches[i].Pattern) != expected)
      __builtin_trap();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::scenery;
  try {
    const SceneryLibrary library = ParseSceneryConfig(std::span<const uint8_t>(data, size));
    if (library.SceneryAreaCount < 0 ||
        library.SceneryAreas.size() != static_cast<size_t>(library.SceneryAreaCount) + 1)
      __builtin_trap();
    if (!(library.SceneryAreas.back() == SceneryArea{})) __builtin_trap();
    for (const SceneryArea& a : library.SceneryAreas) {
      for (const std::string* v :
           {&a.Title, &a.Texture_ID, &a.Active, &a.Layer, &a.Required, &a.Remote, &a.Local})
        CheckValue(*v);
    }
  } catch (const skyvox::FormatError&) {
  }
  // The whole input as one section's text.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckSearches(text);
  for (const char* key : {"Local", "title", "", "="}) {
    const std::string value = GetKeyValue(text, key);
    CheckValue(value);
    if (value.size() > size) __builtin_trap();
  }
  return 0;
}
