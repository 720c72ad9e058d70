// What differs between the systems the tests run on: tests of what only one system does skip, with
// the reason, on the other.
#pragma once

#include <gtest/gtest.h>

namespace skyvox::testing {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace skyvox::testing

#define SKYVOX_LINUX_ONLY(why) \
  if (::skyvox::testing::kWindows) GTEST_SKIP() << "Linux only: " << why
#define SKYVOX_WINDOWS_ONLY(why) \
  if (!::skyvox::testing::kWindows) GTEST_SKIP() << "Windows only: " << why
