// What a pilot reads in the station's chat lines: whether a line is addressed to it, the controller's
// words, the menu header and the numbered options; and the numbers in the phrases it obeys (headings,
// altitudes).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skyvox::sim {

struct StationLine {
  std::string Message;   // the controller's words, "" when it said nothing
  std::string Facility;  // "NAME Tower on 124.4" from "Choose an option for ...: ", "" when untuned
  std::vector<std::string> Options;  // option k is Options[k - 1]
  bool NoMessages = false;           // ended with "<No messages to transmit to the ATC by this moment>"
};

// The line as the pilot called `name` reads it: nullopt when it is not addressed to that name (another
// pilot's line, of which an observer gets copies) or not a station line at all.
std::optional<StationLine> ReadStationLine(const std::string& name, const std::string& text);

// The 1-based number of the first option that starts with `prefix`, 0 when none does.
int FindOption(const std::vector<std::string>& options, const std::string& prefix);

// The number after the first occurrence of `word` in the text ("heading 270" -> 270).
std::optional<int> NumberAfter(const std::string& text, const std::string& word);
// "maintain 4000 ft" / "climb and maintain 9000." -> the last altitude the text assigns.
std::optional<int> AssignedAltitude(const std::string& text);
// "turn left heading 270" -> 270.
std::optional<int> AssignedHeading(const std::string& text);

}  // namespace skyvox::sim
