// Arbitrary chat lines as a virtual pilot reads them: the pilot's name up to the first line feed, the
// line after it. A line the pilot takes as the station's is addressed to it, and the words and options
// it finds are pieces of the line; the numbers it obeys have at most six digits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/radio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyvox::sim;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\n');
  const std::string name = cut == std::string::npos ? "N123" : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? input : input.substr(cut + 1);
  const auto line = ReadStationLine(name, text);
  for (const std::string& t : {text, line ? line->Message : std::string()}) {
    for (const auto& n : {AssignedAltitude(t), AssignedHeading(t)}) {
      if (n && (*n < 0 || *n > 999999)) __builtin_trap();
    }
  }
  if (!line) return 0;
  if (text.rfind(name + ", ", 0) != 0) __builtin_trap();
  if (text.find(line->Message) == std::string::npos || text.find(line->Facility) == std::string::npos)
    __builtin_trap();
  for (const std::string& option : line->Options) {
    if (text.find(option) == std::string::npos) __builtin_trap();
    if (FindOption(line->Options, option) < 1) __builtin_trap();
  }
  return 0;
}
