#include "authoring/world_description.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <set>
#include <stdexcept>

#include "base/errors.h"

namespace skyvox::authoring {
namespace {

// A bit of everything, written the way a person would: comments, odd spacing, mixed case, CR LF.
constexpr const char* kSmallWorld =
    "\xEF\xBB\xBF# test world\r\n"
    "AREA Scenery/World  World Airports\r\n"
    "\r\n"
    "file ap_test.BGL\r\n"
    "AIRPORT KTST 47.5 -122.25 433 Test Field  # the reference point\r\n"
    "  POSITION 47.51 -122.26\r\n"
    "  FREQ tower 119.90 TEST  TOWER\r\n"
    "  FREQ 3 122.95\r\n"
    "  RUNWAY 09 5000 150 ils 110.3\r\n"
    "  RUNWAY 16L 9000 150\r\n"
    "  END 9 47.5 -122.26 430 90.5\r\n"
    "  END 34R 47.49 -122.25 420 340\r\n"
    "  POINT 0 1 47.501 -122.251\r\n"
    "  POINT 1 2 47.502 -122.252\r\n"
    "  PARKING 0 nw parking 12 47.503 -122.253 40.5\r\n"
    "  PARKING 1 GATE B 24 47.504 -122.254 80\r\n"
    "  PATH TAXIWAY 0 1 A\r\n"
    "  PATH RUNWAY 1 0 16l\r\n"
    "  PATH PARKING 1 1\r\n"
    "AIRSPACE 49 42 -116.5 -126 -1 -1 125.1 SEATTLE CENTER\r\n"
    "AIRPORT KNON 10 20 0\r\n";

TEST(WorldDescriptionParser, ReadsEveryKindOfLine) {
  const WorldDescription world = ParseWorldDescription(kSmallWorld);
  ASSERT_EQ(world.Areas.size(), 1u);
  const DescribedArea& area = world.Areas[0];
  EXPECT_EQ(area.Local, "Scenery\\World");
  EXPECT_EQ(area.Title, "World Airports");
  ASSERT_EQ(area.Files.size(), 1u);
  const DescribedFile& file = area.Files[0];
  EXPECT_EQ(file.Name, "ap_test.BGL");
  ASSERT_EQ(file.Airports.size(), 2u);

  const DescribedAirport& a = file.Airports[0];
  EXPECT_EQ(a.Ident, "KTST");
  EXPECT_EQ(a.Name, "Test Field");
  EXPECT_EQ(a.Latitude, 47.5);
  EXPECT_EQ(a.Longitude, -122.25);
  EXPECT_EQ(a.ElevationFt, 433);
  EXPECT_EQ(a.Position, (LatLon{47.51, -122.26}));
  ASSERT_EQ(a.Frequencies.size(), 2u);
  EXPECT_EQ(a.Frequencies[0], (DescribedFrequency{kFrequencyTower, "119.9", "TEST  TOWER"}));
  EXPECT_EQ(a.Frequencies[1], (DescribedFrequency{3, "122.95", ""}));
  ASSERT_EQ(a.Runways.size(), 2u);
  EXPECT_EQ(a.Runways[0], (DescribedRunway{9, 0, 5000, 150, "110.3"}));
  EXPECT_EQ(a.Runways[1], (DescribedRunway{16, 1, 9000, 150, ""}));
  ASSERT_EQ(a.RunwayEnds.size(), 2u);
  EXPECT_EQ(a.RunwayEnds[0], (DescribedRunwayEnd{9, 0, 47.5, -122.26, 430, 90.5}));
  EXPECT_EQ(a.RunwayEnds[1], (DescribedRunwayEnd{34, 2, 47.49, -122.25, 420, 340}));
  ASSERT_EQ(a.TaxiPoints.size(), 2u);
  EXPECT_EQ(a.TaxiPoints[1], (DescribedTaxiPoint{2, 47.502, -122.252}));
  ASSERT_EQ(a.ParkingSpots.size(), 2u);
  EXPECT_EQ(a.ParkingSpots[0], (DescribedParking{9, 12, 47.503, -122.253, 40.5}));
  EXPECT_EQ(a.ParkingSpots[1], (DescribedParking{13, 24, 47.504, -122.254, 80}));
  ASSERT_EQ(a.TaxiPaths.size(), 3u);
  EXPECT_EQ(a.TaxiPaths[0], (DescribedTaxiPath{kTaxiwayPath, 0, 1, "A", 0}));
  EXPECT_EQ(a.TaxiPaths[1], (DescribedTaxiPath{kRunwayPath, 1, 0, "", 1}));
  EXPECT_EQ(a.TaxiPaths[2], (DescribedTaxiPath{kParkingPath, 1, 1, "", 0}));

  const DescribedAirport& bare = file.Airports[1];
  EXPECT_EQ(bare.Name, "");
  EXPECT_TRUE(bare.Frequencies.empty());
  ASSERT_EQ(file.Airspaces.size(), 1u);
  EXPECT_EQ(file.Airspaces[0], (DescribedAirspace{"SEATTLE CENTER", "125.1", -1, -1, 49, 42, -116.5, -126}));
}

TEST(WorldDescriptionParser, StoresTextAsWindows1252) {
  const WorldDescription world =
      ParseWorldDescription("AREA A a\nFILE f.bgl\nAIRPORT EDDM 48.35 11.78 1487 M\xC3\x9CNCHEN\n");
  EXPECT_EQ(world.Areas[0].Files[0].Airports[0].Name, "M\xDCNCHEN");
}

TEST(WorldDescriptionParser, RejectsEveryMistakeWithItsLineNumber) {
  const std::string prefix =
      "AREA Scenery\\A Area A\nFILE a.bgl\nAIRPORT KTST 47 -122 100 Test\nRUNWAY 16L 9000 150\n";
  struct Case {
    std::string line;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"TAXI 1", "line 5: unknown keyword 'TAXI'"},
      {"POSITION 47x -122", "line 5: bad number '47x' for latitude"},
      {"POSITION 91 -122", "line 5: latitude 91 is outside -90..90"},
      {"POSITION 47 -180.5", "line 5: longitude -180.5 is outside -180..180"},
      {"POSITION 47 nan", "line 5: bad number 'nan' for longitude"},
      {"POSITION 47", "line 5: expected POSITION lat lon"},
      {"POSITION 47 -122 9", "line 5: expected POSITION lat lon"},
      {"FREQ ATIS 118.0", "line 5: unknown frequency kind 'ATIS'"},
      {"FREQ TOWER 121.", "line 5: bad frequency '121.'"},
      {"FREQ TOWER 1000", "line 5: bad frequency '1000'"},
      {"FREQ TOWER 121.12345", "line 5: bad frequency '121.12345'"},
      {"RUNWAY 37 5000 100", "line 5: bad runway ident '37'"},
      {"RUNWAY 16X 5000 100", "line 5: bad runway ident '16X'"},
      {"RUNWAY 16l 5000 100", "line 5: runway 16L is already written"},
      {"RUNWAY 4 5000.5 100", "line 5: bad whole number '5000.5' for runway length"},
      {"RUNWAY 4 5000 100 LOC 110.3", "line 5: expected ILS after the runway width, found 'LOC'"},
      {"END 16R 47 -122 100 160", "line 5: runway end 16R belongs to no RUNWAY above"},
      {"END 34R 47 -122 100 361", "line 5: heading 361 is outside 0..360"},
      {"POINT 1 1 47 -122", "line 5: taxi point 1 out of order (expected 0)"},
      {"PARKING 0 GATE AA 1 47 -122 50", "line 5: unknown parking name 'GATE AA'"},
      {"PARKING 0 GATE 8192 47 -122 50", "line 5: parking number 8192 is outside 0..8191"},
      {"PARKING 0 GATE 1 47 -122 0", "line 5: radius 0 is outside 0..10000 ft (above 0)"},
      {"PATH TAXIWAY 0 1 A", "line 5: PATH refers to taxi point 0, which is not written above"},
      {"PATH RUNWAY 0 1 34R", "line 5: PATH refers to taxi point 0"},
      {"PATH ROAD 0 1 A", "line 5: unknown path kind 'ROAD'"},
      {"FILE a.BGL", "line 5: file 'a.BGL' is already in this area"},
      {"FILE magdec.bgl", "line 5: the file name magdec.bgl is the simulator's own"},
      {"FILE a.txt", "line 5: bad file name 'a.txt'"},
      {"AREA ..\\x X", "line 5: bad area folder '..\\x'"},
      {"AREA scenery\\a\\SCENERY Again",
       "line 5: area folder 'scenery\\a\\SCENERY' is already used by area 'Area A'"},
      {"AREA Scenery\\B Local=X", "line 5: an area title may not contain '='"},
      {"AIRSPACE 40 42 -116 -126 0 0 125.1 X", "line 5: the north edge lies south of the south edge"},
      {"AIRSPACE 49 42 -116 -126 0 0 125.1", "line 5: expected AIRSPACE north south east west"},
      {"AIRPORT KTOOLONGID 1 2 3", "line 5: airport ident 'KTOOLONGID' is longer than 8 characters"},
      {"FREQ TOWER 120.1 A\tB", "line 5: station name contains a tab"},
      {"FREQ TOWER 120.1 A\x01", "line 5: control character in the line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    try {
      ParseWorldDescription(prefix + c.line + "\n");
      ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message);
    }
  }
}

TEST(WorldDescriptionParser, RejectsReferencesToUndefinedThings) {
  const std::string airport =
      "AREA A A\nFILE a.bgl\nAIRPORT KTST 47 -122 100\nPOINT 0 1 47 -122\nPOINT 1 1 47 -122\n";
  EXPECT_THROW(
      {
        try {
          ParseWorldDescription(airport + "PATH RUNWAY 0 1 16\n");
        } catch (const FormatError& e) {
          EXPECT_STREQ(e.what(), "line 6: PATH refers to runway 16, which is not written above");
          throw;
        }
      },
      FormatError);
  // A parking path to no spot, a taxi point not written, a taxiway named by a number or by 9 characters.
  for (const char* path : {"PARKING 0 0", "TAXIWAY 0 2 A", "TAXIWAY 0 1 123", "TAXIWAY 0 1 ABCDEFGHI"})
    EXPECT_THROW(ParseWorldDescription(airport + "PATH " + path + "\n"), FormatError) << path;
  EXPECT_THROW(ParseWorldDescription("FILE a.bgl\n"), FormatError);
  EXPECT_THROW(ParseWorldDescription("AREA A A\nAIRPORT KTST 47 -122 100\n"), FormatError);
  // An AIRSPACE line closes the airport above it.
  EXPECT_THROW(ParseWorldDescription(airport + "AIRSPACE 1 0 1 0 0 0 120 X\nRUNWAY 9 100 10\n"), FormatError);
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

TEST(SampleWorld, DescribesTowerAirportsAndCentres) {
  const std::filesystem::path root = skyvox::testing::SourceRoot();
  const WorldDescription world = ReadWorldDescription(root / "data" / "sample_world.txt");
  size_t airports = 0;
  size_t taxiNetworks = 0;
  size_t airspaces = 0;
  for (const DescribedArea& area : world.Areas) {
    for (const DescribedFile& file : area.Files) {
      airspaces += file.Airspaces.size();
      for (const DescribedAirport& a : file.Airports) {
        ++airports;
        if (!a.TaxiPaths.empty()) ++taxiNetworks;
      }
    }
  }
  EXPECT_GE(airports, 6u);
  EXPECT_EQ(taxiNetworks, 1u);
  EXPECT_GE(airspaces, 3u);
  EXPECT_THROW(ReadWorldDescription(root / "data" / "no_such_world.txt"), FileError);
}

}  // namespace
}  // namespace skyvox::authoring
