#include "sim/radio.h"

#include <cctype>

namespace skyvox::sim {

namespace {

constexpr const char* kNoMessages = " <No messages to transmit to the ATC by this moment>";
constexpr const char* kChoose = " Choose an option";

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

std::optional<StationLine> ReadStationLine(const std::string& name, const std::string& text) {
  const std::string head = name + ", ";
  if (text.rfind(head, 0) != 0) return std::nullopt;
  StationLine line;
  const std::string body = text.substr(head.size());
  if (const size_t none = body.rfind(kNoMessages); none != std::string::npos) {
    line.Message = body.substr(0, none);
    line.NoMessages = true;
  } else {
    const size_t at = body.rfind(kChoose);
    if (at == std::string::npos) return std::nullopt;
    line.Message = body.substr(0, at);
    std::string rest = body.substr(at + std::char_traits<char>::length(kChoose));
    const size_t colon = rest.find(": ");
    if (colon == std::string::npos) return std::nullopt;
    if (rest.rfind(" for ", 0) == 0) line.Facility = rest.substr(5, colon - 5);
    rest = rest.substr(colon + 2);
    // "1-TEXT 2-TEXT " : each option runs to the blank before the next number.
    for (int k = 1;; ++k) {
      const std::string mark = std::to_string(k) + "-";
      if (rest.rfind(mark, 0) != 0) break;
      const std::string next = " " + std::to_string(k + 1) + "-";
      size_t end = rest.find(next);
      if (end == std::string::npos) {
        end = rest.size();
        while (end > mark.size() && rest[end - 1] == ' ') --end;
        line.Options.push_back(rest.substr(mark.size(), end - mark.size()));
        break;
      }
      line.Options.push_back(rest.substr(mark.size(), end - mark.size()));
      rest = rest.substr(end + 1);
    }
  }
  while (!line.Message.empty() && line.Message.front() == ' ') line.Message.erase(0, 1);
  return line;
}

int FindOption(const std::vector<std::string>& options, const std::string& prefix) {
  for (size_t i = 0; i < options.size(); ++i) {
    if (options[i].rfind(prefix, 0) == 0) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::optional<int> NumberAfter(const std::string& text, const std::string& word) {
  const size_t at = text.find(word);
  if (at == std::string::npos) return std::nullopt;
  size_t i = at + word.size();
  while (i < text.size() && text[i] == ' ') ++i;
  size_t j = i;
  while (j < text.size() && IsDigit(text[j])) ++j;
  if (j == i || j - i > 6) return std::nullopt;
  return std::stoi(text.substr(i, j - i));
}

std::optional<int> AssignedAltitude(const std::string& text) {
  std::optional<int> last;
  for (size_t at = text.find("maintain "); at != std::string::npos; at = text.find("maintain ", at + 1)) {
    if (auto n = NumberAfter(text.substr(at), "maintain ")) last = n;
  }
  return last;
}

std::optional<int> AssignedHeading(const std::string& text) {
  return NumberAfter(text, "heading ");
}

}  // namespace skyvox::sim
