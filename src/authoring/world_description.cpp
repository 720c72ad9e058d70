#include "authoring/world_description.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <unordered_set>

#include "authoring/world_text.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/rounding.h"
#include "base/text.h"
#include "scenery/bgl_reader.h"

namespace skyvox::authoring {
namespace detail {

// MHz text of a value in units of 0.0001 MHz: the shortest decimal form.
std::string MhzText(uint64_t tenThousandths) {
  std::string text = std::to_string(tenThousandths / 10000);
  uint64_t fraction = tenThousandths % 10000;
  if (fraction == 0) return text;
  std::string digits = std::to_string(fraction);
  digits.insert(0, 4 - digits.size(), '0');
  while (digits.back() == '0') digits.pop_back();
  return text + "." + digits;
}

bool IsPlainNumber(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int32_t ReciprocalNumber(int32_t number) {
  return number <= 18 ? number + 18 : number - 18;
}

int32_t ReciprocalDesignator(int32_t designator) {
  if (designator == 1) return 2;
  if (designator == 2) return 1;
  return designator;
}

std::vector<std::string> SplitLocal(std::string_view local) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : local) {
    if (c == '\\' || c == '/') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string FormatDouble(double v) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace detail

using namespace detail;

uint32_t FrequencyCode(std::string_view mhz) {
  const size_t dot = mhz.find('.');
  const std::string_view whole = mhz.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : mhz.substr(dot + 1);
  const bool ok = IsPlainNumber(whole) && (dot == std::string_view::npos || IsPlainNumber(fraction)) &&
                  fraction.size() <= 4;
  uint64_t value = 0;
  for (char c : whole) {
    if (!ok) break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value >= 1000) break;
  }
  if (!ok || value >= 1000) throw FormatError("bad frequency '" + std::string(mhz) + "'");
  uint64_t scale = 1000;
  value *= 10000;
  for (char c : fraction) {
    value += static_cast<uint64_t>(c - '0') * scale;
    scale /= 10;
  }
  uint32_t code = 0;
  for (uint64_t digitScale = 1000000; digitScale > 0; digitScale /= 10) {
    code = code * 16 + static_cast<uint32_t>(value / digitScale % 10);
  }
  return code;
}

std::string RunwayIdent(int32_t number, int32_t designator) {
  std::string ident = std::to_string(number);
  if (designator >= 0 && designator < static_cast<int32_t>(kDesignators.size()))
    ident += kDesignators[designator];
  return ident;
}

std::vector<std::string> AreaSceneryFolder(std::string_view local) {
  std::vector<std::string> parts = SplitLocal(local);
  if (!EqualsNoCase(parts.back(), "scenery")) parts.emplace_back("scenery");
  return parts;
}

}  // namespace skyvox::authoring
