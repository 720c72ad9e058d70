#include "geo/wmm.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/vectors.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/files.h"

namespace skyvox::geo {
namespace {

// The shipped coefficient file, found from the source tree.
std::string ShippedCofText() {
  const std::filesystem::path root = skyvox::testing::SourceRoot();
  const std::vector<uint8_t> bytes = ReadWholeFile(root / "data" / "WMM.COF");
  return std::string(bytes.begin(), bytes.end());
}

const WmmModel& Shipped() {
  static const WmmModel model = WmmModel::Parse(ShippedCofText());
  return model;
}

TEST(WmmModel, DecimalYearCountsTheDaysOfItsYear) {
  using namespace std::chrono;
  EXPECT_EQ(DecimalYear(sys_days{2025y / January / 1}), 2025.0);
  EXPECT_DOUBLE_EQ(DecimalYear(sys_days{2024y / July / 2} + 12h), 2024 + 183.5 / 366);
}

TEST(WmmModel, ShippedFileIsTheWmm2025Model) {
  EXPECT_EQ(Shipped().Epoch(), 2025.0);
  EXPECT_EQ(Shipped().ModelName(), "WMM-2025");
}

// Published test values and an independent implementation's, in tests/data/vectors/wmm.txt.
TEST(WmmModel, MatchesPublishedAndIndependentValues) {
  const testing::Vectors vectors("wmm.txt", {{"declination", "nnnnn"}});
  for (const auto& v : vectors["declination"])
    EXPECT_NEAR(Shipped().DeclinationDeg(v.N(2), v.N(3), v.N(1), v.N(0)), v.N(4), 0.01) << v.where;
}

// The variation read from a stock simulator file (about +15.5 at Seattle, -13 at New York) came from
// an older model; the current one must still be close.
TEST(WmmModel, AgreesRoughlyWithStockSceneryVariation) {
  EXPECT_NEAR(Shipped().DeclinationDeg(47.45, -122.31, 0, 2025.0), 15.5, 2.0);
  EXPECT_NEAR(Shipped().DeclinationDeg(40.64, -73.78, 0, 2025.0), -13.0, 2.0);
}

TEST(WmmModel, LongitudesAreTakenModulo360) {
  EXPECT_NEAR(Shipped().DeclinationDeg(47, 238, 0, 2025.0), Shipped().DeclinationDeg(47, -122, 0, 2025.0),
              1e-9);
}

TEST(WmmModel, RefusesArgumentsOutsideItsDomain) {
  const WmmModel& m = Shipped();
  EXPECT_THROW(m.DeclinationDeg(90.001, 0, 0, 2025), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(-91, 0, 0, 2025), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(std::nan(""), 0, 0, 2025), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(0, HUGE_VAL, 0, 2025), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(0, 0, -1001, 2025), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(0, 0, 0, 2126), std::invalid_argument);
  EXPECT_THROW(m.DeclinationDeg(0, 0, 0, std::nan("")), std::invalid_argument);
}

TEST(WmmModel, AcceptsCrLfLineEndsAndBlankLines) {
  std::string text;
  for (char ch : ShippedCofText()) {
    text += ch == '\n' ? std::string("\r\n\r\n") : std::string(1, ch);
  }
  const WmmModel crlf = WmmModel::Parse(text);
  EXPECT_EQ(crlf.Epoch(), 2025.0);
  EXPECT_EQ(crlf.DeclinationDeg(47.45, -122.31, 0, 2025.0),
            Shipped().DeclinationDeg(47.45, -122.31, 0, 2025.0));
}

// The shipped text with one line (found by its start) replaced; an empty replacement removes it.
std::string WithLine(const std::string& lineStart, const std::string& replacement) {
  std::string text = ShippedCofText();
  const size_t at = text.find("\n" + lineStart);
  if (at == std::string::npos) throw std::logic_error("no line " + lineStart);
  const size_t end = text.find('\n', at + 1);
  text.replace(at + 1, end - at, replacement.empty() ? "" : replacement + "\n");
  return text;
}

TEST(WmmModel, RejectsMalformedCoefficientText) {
  const std::string nines(48, '9');
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"header without epoch",
       "WMM-2025 11/13/2024\n" + ShippedCofText().substr(ShippedCofText().find('\n') + 1)},
      {"no end line", ShippedCofText().substr(0, ShippedCofText().find(nines))},
      {"missing pair", WithLine(" 12 12", "")},
      {"repeated pair", WithLine(" 12 12", "  1  0  -29351.8       0.0       12.0        0.0")},
      {"degree 13", WithLine(" 12 12", " 13 12      -0.7       0.2       -0.1       -0.1")},
      {"order above degree", WithLine(" 12 12", " 11 12      -0.7       0.2       -0.1       -0.1")},
      {"five fields", WithLine("  1  0", "  1  0  -29351.8       0.0       12.0")},
      {"seven fields", WithLine("  1  0", "  1  0  -29351.8       0.0       12.0        0.0 1")},
      {"not a number", WithLine("  1  0", "  1  0  -29351.8x      0.0       12.0        0.0")},
      {"nan", WithLine("  1  0", "  1  0  nan       0.0       12.0        0.0")},
      {"fractional order", WithLine("  1  0", "  1  0.5  -29351.8       0.0       12.0        0.0")},
      {"huge", WithLine("  1  0", "  1  0  -2e7       0.0       12.0        0.0")},
  };
  for (const auto& [name, text] : cases) {
    EXPECT_THROW(WmmModel::Parse(text), FormatError) << name;
  }
  try {
    WmmModel::Parse(WithLine("  2  1", "  2  1  x 0 0 0"));
    FAIL() << "no exception";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("line 5"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace skyvox::geo
