// Test vectors: text files of cases, one case per line: a tag naming the group, then whitespace-separated
// fields. '#' starts a comment (a whole line or the end of one); a line that begins with a blank continues
// the case above it, so long byte strings can be split and commented field by field.
//
// Each tag declares the pattern of its fields, one letter a field:
//   n  a number: decimal, 0x hex, or a quotient "a/b" worked out in double (5.38/60)
//   i  an integer (a number with no fraction)
//   w  one word; "" stands for the empty word
//   t  the rest of the line as text, words joined by one space; "" for the empty text
//   x  the rest of the line as bytes: hex digits in groups of any length, an even count in all
// Any line that does not fit its pattern, an unknown tag, a declared tag without a case and a file without
// cases are refused with the file and line, so a loop over the cases can never pass vacuously.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace skyvox::testing {

inline std::optional<double> ParseVectorNumber(const std::string& s) {
  const size_t slash = s.find('/');
  if (slash != std::string::npos && slash == s.rfind('/')) {
    const auto a = ParseVectorNumber(s.substr(0, slash)), b = ParseVectorNumber(s.substr(slash + 1));
    if (!a || !b) return std::nullopt;
    return *a / *b;
  }
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size() || errno != 0 || !std::isfinite(v)) return std::nullopt;
  return v;
}

inline std::optional<std::vector<uint8_t>> ParseVectorHex(const std::string& s) {
  if (s.empty() || s.size() % 2 != 0 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < s.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), 0, 16)));
  return bytes;
}

// One case; its fields were checked against the tag's pattern when the file was read.
struct Vector {
  std::string where;                // "file:line", for failure messages
  std::vector<std::string> fields;  // after the tag; a rest-of-line field is one entry
  double N(size_t i) const { return *ParseVectorNumber(fields.at(i)); }
  long long I(size_t i) const { return static_cast<long long>(N(i)); }
  std::string W(size_t i) const { return fields.at(i) == "\"\"" ? "" : fields.at(i); }
  std::vector<uint8_t> X(size_t i) const { return *ParseVectorHex(fields.at(i)); }
};

class Vectors {
 public:
  // Reads tests/data/vectors/NAME (or any path with a folder) with the patterns of its tags.
  Vectors(const std::filesystem::path& name, const std::map<std::string, std::string>& patterns) {
    const std::filesystem::path file =
        name.has_parent_path() ? name : SourceRoot() / "tests" / "data" / "vectors" / name;
    std::ifstream in(file);
    if (!in) throw std::runtime_error(file.string() + ": cannot be read");
    std::vector<std::pair<Vector, std::vector<std::string>>> raw;  // case, tag and tokens
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      const bool continues = !line.empty() && (line[0] == ' ' || line[0] == '\t');
      std::istringstream words(line.substr(0, line.find('#')));
      std::vector<std::string> tokens;
      for (std::string w; words >> w;) tokens.push_back(w);
      if (tokens.empty()) continue;
      const std::string where = file.filename().string() + ":" + std::to_string(number);
      if (continues && raw.empty()) throw std::runtime_error(where + ": continuation without a case");
      if (continues) raw.back().second.insert(raw.back().second.end(), tokens.begin(), tokens.end());
      if (!continues) raw.push_back({Vector{where, {}}, tokens});
    }
    for (auto& [vector, tokens] : raw) cases_[tokens[0]].push_back(Check(vector, tokens, patterns));
    if (cases_.empty()) throw std::runtime_error(file.string() + ": no cases");
    for (const auto& [tag, pattern] : patterns)
      if (!cases_.count(tag)) throw std::runtime_error(file.string() + ": no case of " + tag);
  }

  const std::vector<Vector>& operator[](const std::string& tag) const { return cases_.at(tag); }

 private:
  static Vector Check(Vector v, const std::vector<std::string>& tokens,
                      const std::map<std::string, std::string>& patterns) {
    const auto pattern = patterns.find(tokens[0]);
    if (pattern == patterns.end()) throw std::runtime_error(v.where + ": unknown tag " + tokens[0]);
    size_t next = 1;
    for (char kind : pattern->second) {
      if (next >= tokens.size()) throw std::runtime_error(v.where + ": too few fields");
      std::string field = tokens[next++];
      for (; (kind == 't' || kind == 'x') && next < tokens.size(); ++next)
        field += (kind == 't' ? " " : "") + tokens[next];
      const std::optional<double> n = ParseVectorNumber(field);
      const bool ok = kind == 'n'   ? n.has_value()
                      : kind == 'i' ? n && std::trunc(*n) == *n && std::fabs(*n) < 1e18
                      : kind == 'x' ? ParseVectorHex(field).has_value()
                                    : kind == 'w' || kind == 't';
      if (!ok) throw std::runtime_error(v.where + ": bad field '" + field + "' for '" + kind + "'");
      v.fields.push_back(field);
    }
    if (next != tokens.size()) throw std::runtime_error(v.where + ": too many fields");
    return v;
  }

  std::map<std::string, std::vector<Vector>> cases_;
};

}  // namespace skyvox::testing
