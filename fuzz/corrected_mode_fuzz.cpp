// Arbitrary bytes as skyvox_corrected_mode.cfg. The mode is on only when the first line is
// "corrected=on" with nothing around it but blanks and a carriage return; and a file that starts with
// a line the program writes reads as that line says, whatever follows it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "app/corrected_mode_file.h"

namespace {
bool Parse(const std::string& text) {
  std::istringstream in(text);
  return skyvox::app::ParseCorrectedMode(in);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (Parse(text)) {
    const std::string_view line = std::string_view(text).substr(0, text.find('\n'));
    const size_t at = line.find("corrected=on");
    if (at == std::string_view::npos) __builtin_trap();
    const std::string_view before = line.substr(0, at), after = line.substr(at + 12);
    if (before.find_first_not_of(" \t") != std::string_view::npos ||
        after.find_first_not_of(" \t\r") != std::string_view::npos)
      __builtin_trap();
  }
  if (!Parse("corrected=on\n" + text) || Parse("corrected=off\n" + text)) __builtin_trap();
  return 0;
}
