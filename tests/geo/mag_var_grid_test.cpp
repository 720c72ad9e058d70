#include "geo/mag_var_grid.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/errors.h"

namespace skyvox::geo {
namespace {

TEST(MagVarGrid, StartsAllZeroWith65161Entries) {
  const MagVarGrid grid;
  ASSERT_EQ(grid.Values().size(), 65161u);
  for (int16_t v : grid.Values()) ASSERT_EQ(v, 0);
  EXPECT_EQ(grid.At(0), 0);
  EXPECT_EQ(grid.At(65160), 0);
}

TEST(MagVarGrid, IndexIsLongitudeColumnThenLatitude) {
  EXPECT_EQ(MagVarGrid::Index(0, -90), 0u);
  EXPECT_EQ(MagVarGrid::Index(0, 0), 90u);
  EXPECT_EQ(MagVarGrid::Index(0, 90), 180u);
  EXPECT_EQ(MagVarGrid::Index(1, -90), 181u);
  EXPECT_EQ(MagVarGrid::Index(238, 47), 43215u);  // 122 W, 47 N
  EXPECT_EQ(MagVarGrid::Index(359, 90), 65159u);
  EXPECT_EQ(MagVarGrid::Index(360, -90), 65160u);  // the one entry no column names
}

TEST(MagVarGrid, SetThenAtKeepsSignedValues) {
  MagVarGrid grid;
  grid.Set(0, -32768);
  grid.Set(90, 1821);
  grid.Set(65160, 32767);
  EXPECT_EQ(grid.At(0), -32768);
  EXPECT_EQ(grid.At(90), 1821);
  EXPECT_EQ(grid.At(65160), 32767);
  EXPECT_EQ(grid.At(91), 0);
  EXPECT_EQ(grid.Values()[90], 1821);
}

TEST(MagVarGrid, IndexOutsideTheTableThrowsWithTheIndex) {
  MagVarGrid grid;
  EXPECT_THROW(grid.At(65161), SubscriptError);
  EXPECT_THROW(grid.Set(65161, 1), SubscriptError);
  // A negative position wraps to a huge index, which is refused as well.
  EXPECT_THROW(grid.At(MagVarGrid::Index(0, -91)), SubscriptError);
  EXPECT_THROW(grid.Set(MagVarGrid::Index(-1, 0), 1), SubscriptError);
  try {
    grid.At(70000);
    FAIL() << "no exception";
  } catch (const SubscriptError& e) {
    EXPECT_NE(std::string(e.what()).find("70000"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("65160"), std::string::npos) << e.what();
  }
  EXPECT_EQ(grid, MagVarGrid());  // failed writes changed nothing
}

TEST(MagVarGrid, EqualityComparesEveryValue) {
  MagVarGrid a;
  MagVarGrid b;
  EXPECT_EQ(a, b);
  a.Set(65160, 1);
  EXPECT_NE(a, b);
  b.Set(65160, 1);
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace skyvox::geo
