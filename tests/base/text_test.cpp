#include "base/text.h"

#include <gtest/gtest.h>

namespace skyvox {
namespace {

TEST(Text, Cp1252ConvertsToUtf8AndBack) {
  const std::string cp1252 = "Z\xFCrich \x80 \x93quoted\x94 \xE9";
  const std::string utf8 = Cp1252ToUtf8(cp1252);
  EXPECT_EQ(utf8, "Z\xC3\xBCrich \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D \xC3\xA9");
  EXPECT_EQ(Utf8ToCp1252(utf8), cp1252);
}

TEST(Text, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Text, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(Utf8ToCp1252("\xE2\x9C\x88 jet"), "? jet");  // U+2708 airplane
  EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");                // cut-short sequence
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x9B\xAB!"), "?!");    // four-byte sequence
  EXPECT_EQ(Utf8ToCp1252("\x80x"), "?x");                // stray continuation byte
}

TEST(Text, CaseFoldingTouchesAsciiLettersOnly) {
  EXPECT_EQ(ToUpperAscii("ksea \xE9t\xE9"), "KSEA \xE9T\xE9");
  EXPECT_EQ(ToLowerAscii("FS2002.EXE"), "fs2002.exe");
  EXPECT_TRUE(EqualsNoCase("Scenery\\BASE", "scenery\\base"));
  EXPECT_FALSE(EqualsNoCase("abc", "abd"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
}

TEST(Text, Cp1252CaseMappingCoversAccentedLetters) {
  EXPECT_EQ(UpperCaseCp1252("a\xE9\xFF\x9A\x9C\x9E\xF7\xDF\xB5z"), "A\xC9\x9F\x8A\x8C\x8E\xF7\xDF\xB5Z");
  EXPECT_EQ(LowerCaseCp1252("A\xC9\x9F\x8A\x8C\x8E\xD7Z"), "a\xE9\xFF\x9A\x9C\x9E\xD7z");
}

// As the platform's Replace with "": left to right, and what a removal joins is not searched again.
TEST(Text, RemoveEveryScansOnceLeftToRight) {
  const struct {
    const char* text;
    const char* what;
    const char* left;
  } cases[] = {
      {"bbcc", "bc", "bc"},
      {"Reporting Traffic and Reporting Traffic and Descending", "Reporting Traffic and ", "Descending"},
      {"cleared.- (Say Again)- (Say Again)", "- (Say Again)", "cleared."},
      {"aaaa", "aa", ""},
      {"abc", "", "abc"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    RemoveEvery(text, c.what);
    EXPECT_EQ(text, c.left) << c.text;
  }
}

}  // namespace
}  // namespace skyvox
