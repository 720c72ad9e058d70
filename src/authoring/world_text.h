// What the world description's parser, formatter and synthetic worlds share: the limits of what a
// description may hold, the words of its frequency kinds and runway designators, and a few text helpers.
// Internal to the authoring library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/world_description.h"

namespace skyvox::authoring::detail {

inline constexpr size_t kMaxTextLength = 255;
inline constexpr size_t kMaxTableSize = 32767;  // the database counts taxi points, spots and paths in 16 bits
inline constexpr int32_t kMaxParkingNumber = 8191;  // 128 * N + code must stay within 20 bits
inline constexpr int32_t kMaxElevationFt = 30000;
inline constexpr int32_t kMinElevationFt = -1500;
inline constexpr int32_t kMaxRunwayFt = 1000000;
inline constexpr int kMaxSyntheticAirports = 1000000;

inline constexpr std::array<const char*, 5> kDesignators = {"", "L", "R", "C", "H"};

struct KindWord {
  const char* word;
  int32_t kind;
};
inline constexpr std::array<KindWord, 5> kKindWords = {{{"CLEARANCE", kFrequencyClearance},
                                                        {"GROUND", kFrequencyGround},
                                                        {"TOWER", kFrequencyTower},
                                                        {"APPROACH", kFrequencyApproach},
                                                        {"DEPARTURE", kFrequencyDeparture}}};

// MHz text of a value in units of 0.0001 MHz: the shortest decimal form.
std::string MhzText(uint64_t tenThousandths);
// Digits only, at least one.
bool IsPlainNumber(std::string_view text);
// The runway number and designator at the other end (9 <-> 27, L <-> R).
int32_t ReciprocalNumber(int32_t number);
int32_t ReciprocalDesignator(int32_t designator);
// The folder names of an area's Local path, split at \ and /.
std::vector<std::string> SplitLocal(std::string_view local);
// The words between single blanks, empty ones included.
std::vector<std::string> SplitWords(const std::string& text);
// The shortest text that reads back as the same double.
std::string FormatDouble(double v);

}  // namespace skyvox::authoring::detail
