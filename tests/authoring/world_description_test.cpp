#include "authoring/world_description.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <set>
#include <stdexcept>

#include "base/errors.h"

namespace skyvox::authoring {
namespace {

// What the database does not show: the runways besides the longest, their ends, frequencies of raw kinds
// and airports the build drops (the rest comes back through the database, see tests/data/golden).
TEST(WorldDescriptionParser, ReadsWhatTheDatabaseDropsToo) {
  const WorldDescription world =
      ReadWorldDescription(skyvox::testing::SourceRoot() / "tests/data/golden/small.world");
  EXPECT_EQ(world.Areas.at(0).Local, "Scenery\\World");
  EXPECT_EQ(world.Areas[0].Title, "World Airports");
  const DescribedFile& file = world.Areas[0].Files.at(0);
  EXPECT_EQ(file.Name, "ap_test.BGL");
  const DescribedAirport& a = file.Airports.at(0);
  EXPECT_EQ(a.Frequencies.at(1), (DescribedFrequency{3, "122.95", ""}));
  EXPECT_EQ(a.Runways.at(0), (DescribedRunway{9, 0, 5000, 150, "110.3"}));
  ASSERT_EQ(a.RunwayEnds.size(), 3u);
  EXPECT_EQ(a.RunwayEnds[0], (DescribedRunwayEnd{9, 0, 47.5, -122.26, 430, 90.5}));
  EXPECT_EQ(a.RunwayEnds[1], (DescribedRunwayEnd{34, 2, 47.49, -122.25, 420, 340}));
  EXPECT_EQ(file.Airports.at(1).Ident, "KNON");
  EXPECT_TRUE(file.Airports[1].Frequencies.empty());
}

TEST(FrequencyCodes, HoldTheMegahertzDigitsAsHexadecimalDigits) {
  EXPECT_EQ(FrequencyCode("121.9"), 0x01219000u);
  EXPECT_EQ(FrequencyCode("110.3"), 0x01103000u);
  EXPECT_EQ(FrequencyCode("118.025"), 0x01180250u);
  EXPECT_EQ(FrequencyCode("0121.90"), 0x01219000u);
  EXPECT_EQ(FrequencyCode("999.9999"), 0x09999999u);
  for (const char* bad : {"", ".5", "121.", "12a.5", "-121.9", "121.9.1", "1000.0"}) {
    EXPECT_THROW(FrequencyCode(bad), FormatError) << bad;
  }
}

TEST(RunwayAndParkingNames, FollowTheDatabaseSpelling) {
  EXPECT_EQ(RunwayIdent(9, 3), "9C");
  EXPECT_EQ(RunwayIdent(16, 1), "16L");
  EXPECT_EQ(AreaSceneryFolder("Scenery\\World"), (std::vector<std::string>{"Scenery", "World", "scenery"}));
  EXPECT_EQ(AreaSceneryFolder("Addon/SCENERY"), (std::vector<std::string>{"Addon", "SCENERY"}));
}

TEST(SyntheticWorld, IsDeterministicAndSurvivesItsOwnTextForm) {
  const WorldDescription world = SyntheticWorld(300, 40, 7);
  EXPECT_EQ(world, SyntheticWorld(300, 40, 7));
  EXPECT_NE(world, SyntheticWorld(300, 40, 8));
  EXPECT_EQ(ParseWorldDescription(FormatWorldDescription(world)), world);

  ASSERT_EQ(world.Areas.size(), 1u);
  const std::vector<DescribedFile>& files = world.Areas[0].Files;
  ASSERT_EQ(files.size(), 8u);  // 7 files of 40 and one of 20
  EXPECT_EQ(files[0].Name, "synth00001.bgl");
  EXPECT_EQ(files[7].Airports.size(), 20u);
  std::set<std::string> idents;
  size_t airspaces = 0;
  size_t withTaxiNetwork = 0;
  size_t withoutController = 0;
  for (const DescribedFile& file : files) {
    airspaces += file.Airspaces.size();
    for (const DescribedAirport& a : file.Airports) {
      idents.insert(a.Ident);
      if (!a.TaxiPaths.empty()) ++withTaxiNetwork;
      bool controller = false;
      for (const DescribedFrequency& f : a.Frequencies) {
        controller = controller || f.Kind == kFrequencyTower || f.Kind == kFrequencyGround;
      }
      if (!controller) ++withoutController;
      EXPECT_FALSE(a.Runways.empty());
      EXPECT_EQ(a.RunwayEnds.size(), 2 * a.Runways.size());
    }
  }
  EXPECT_EQ(idents.size(), 300u);
  EXPECT_EQ(airspaces, 13u);  // 1 + 300 / 25
  EXPECT_GT(withTaxiNetwork, 30u);
  EXPECT_LT(withTaxiNetwork, 100u);
  EXPECT_GT(withoutController, 0u);
  EXPECT_LT(withoutController, 30u);

  WorldDescription hashed = ParseWorldDescription("AREA A A\nFILE a.bgl\nAIRPORT KTST 1 2 3 NAME\n");
  hashed.Areas[0].Files[0].Airports[0].Name = "FIELD #2";
  EXPECT_THROW(FormatWorldDescription(hashed), FormatError);

  EXPECT_TRUE(SyntheticWorld(0, 5, 1).Areas[0].Files.empty());
  EXPECT_THROW(SyntheticWorld(-1, 5, 1), std::invalid_argument);
  EXPECT_THROW(SyntheticWorld(5, 0, 1), std::invalid_argument);
}

}  // namespace
}  // namespace skyvox::authoring
