#include "authoring/magdec_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/byte_io.h"
#include "base/files.h"
#include "geo/wmm.h"
#include "support/temp_dir.h"

namespace skyvox::authoring {
namespace {
using skyvox::testing::ReadBytes;
using skyvox::testing::TempDir;

// Writes the file for grid and reads it back as the simulator folder would hold it.
std::vector<uint8_t> WrittenAndReadBack(const geo::MagVarGrid& grid) {
  const TempDir dir;
  dir.Write("magdec.bgl", BuildMagdecBgl(grid));
  return ReadBytes(dir.File("magdec.bgl"));
}

TEST(MagdecWriter, HeaderAndTableHeaderSitWhereTheLoaderLooks) {
  const std::vector<uint8_t> bytes = WrittenAndReadBack(geo::MagVarGrid());
  ASSERT_EQ(bytes.size(), 130496u);  // 168 header + 8 table header + 360 * 181 * 2
  ByteReader in(bytes);
  in.Seek(110);
  EXPECT_EQ(in.U32(), 168u);  // V
  in.Seek(118);
  EXPECT_EQ(in.U32(), 0u);  // no facility magic: the scenery scan skips the file
  in.Seek(144);
  EXPECT_EQ(in.U32(), 0u);
  for (size_t i = 0; i < 168; ++i) {
    if (i < 110 || i > 113) {
      ASSERT_EQ(bytes[i], 0) << "header byte " << i;
    }
  }
  in.Seek(168);
  EXPECT_EQ(in.U16(), 360);  // columns
  EXPECT_EQ(in.U16(), 181);  // rows
  EXPECT_EQ(in.U32(), 0u);
}

TEST(MagdecWriter, CellsAreColumnsOfLongitudeWithLatitudeRows) {
  geo::MagVarGrid grid;
  grid.Set(0, -32768);     // lat -90, lon 0
  grid.Set(90, 1821);      // lat 0, lon 0: 10.0 degrees
  grid.Set(180, -1);       // lat 90, lon 0
  grid.Set(181, 7);        // lat -90, lon 1
  grid.Set(43215, 2712);   // lat 47, lon 238 (122 W)
  grid.Set(65159, 32767);  // lat 90, lon 359
  grid.Set(65160, 1234);   // named by no column: not written
  const std::vector<uint8_t> bytes = WrittenAndReadBack(grid);
  ASSERT_EQ(bytes.size(), 130496u);

  // Offsets V + 8 + 2 * ((lat + 90) + 181 * lon), worked out by hand.
  EXPECT_EQ(bytes[176], 0x00);  // -32768
  EXPECT_EQ(bytes[177], 0x80);
  EXPECT_EQ(bytes[356], 0x1D);  // 1821 = 0x071D
  EXPECT_EQ(bytes[357], 0x07);
  EXPECT_EQ(bytes[536], 0xFF);  // -1
  EXPECT_EQ(bytes[537], 0xFF);
  EXPECT_EQ(bytes[538], 0x07);  // 7
  EXPECT_EQ(bytes[539], 0x00);
  EXPECT_EQ(bytes[86606], 0x98);  // 2712 = 0x0A98
  EXPECT_EQ(bytes[86607], 0x0A);
  EXPECT_EQ(bytes[130494], 0xFF);  // 32767, the file's last two bytes
  EXPECT_EQ(bytes[130495], 0x7F);
  EXPECT_EQ(bytes[178], 0);  // lat -89, lon 0 untouched
  EXPECT_EQ(bytes[179], 0);
}

TEST(MagdecWriter, EveryNamedCellReadsBackInTheLoadersLoopOrder) {
  geo::MagVarGrid grid;
  for (size_t i = 0; i < geo::MagVarGrid::kSize; ++i)
    grid.Set(i, static_cast<int16_t>(static_cast<int>(i * 7919 % 65536) - 32768));
  const std::vector<uint8_t> bytes = WrittenAndReadBack(grid);
  ByteReader in(bytes);
  in.Seek(110);
  const size_t v = in.U32();
  geo::MagVarGrid loaded;
  for (int lat = -90; lat <= 90; ++lat) {
    for (int lon = 0; lon <= 359; ++lon) {
      in.Seek(v + 8 + 2 * ((lat + 90) + 181 * lon));
      loaded.Set(geo::MagVarGrid::Index(lon, lat), in.I16());
    }
  }
  grid.Set(65160, 0);
  EXPECT_EQ(loaded, grid);
}

geo::WmmModel ShippedModel() {
  const std::filesystem::path root = skyvox::testing::SourceRoot();
  const std::vector<uint8_t> bytes = ReadWholeFile(root / "data" / "WMM.COF");
  return geo::WmmModel::Parse(std::string(bytes.begin(), bytes.end()));
}

// Expected declinations at whole-degree cells for 2025.0 from the npm package magvar 2.2.0:
//   node -e 'console.log(require("magvar").calculateMagVarForDecimalYear(2025.0, lat, lon, 0))'
// compared in counts of 360/65536 degree, allowing its 0.01-degree rounding and ours.
TEST(MagdecWriter, GridFromTheModelHoldsTheDeclinationOfEachCell) {
  const geo::MagVarGrid grid = VariationGridFromWmm(ShippedModel(), 2025.0);
  struct Cell {
    int lat;
    int lon;  // east, 0..359
    double declination;
  };
  const Cell cells[] = {
      {47, 238, 14.89},   // near Seattle
      {40, 286, -12.41},  // near New York
      {51, 0, 0.99},      // London
      {-34, 151, 12.77},  // Sydney
      {0, 0, -4.02},      // Gulf of Guinea
      {90, 0, 14.01},     // north pole, from the meridian of the cell
      {-90, 0, -31.53},   // south pole
  };
  for (const Cell& c : cells) {
    EXPECT_NEAR(grid.At(geo::MagVarGrid::Index(c.lon, c.lat)), c.declination * 65536 / 360, 2.5)
        << c.lat << " " << c.lon;
  }
  EXPECT_EQ(grid.At(65160), 0);
}

// A reversed dipole (g10 > 0, every other coefficient 0) has magnetic north due south: a declination
// of 180 degrees, 32768 counts, which a signed 16-bit cell holds as -32768.
TEST(MagdecWriter, DeclinationOf180DegreesIsStoredAsMinus32768) {
  std::string cof = "2025.0 REVERSED 01/01/2025\n";
  for (int n = 1; n <= 12; ++n) {
    for (int m = 0; m <= n; ++m) {
      cof += std::to_string(n) + " " + std::to_string(m) + (n == 1 && m == 0 ? " 30000" : " 0") + " 0 0 0\n";
    }
  }
  cof += "9999999999999999\n";
  const geo::MagVarGrid grid = VariationGridFromWmm(geo::WmmModel::Parse(cof), 2025.0);
  for (int lon : {0, 90, 200, 359}) {
    for (int lat : {-60, 0, 45}) {
      EXPECT_EQ(grid.At(geo::MagVarGrid::Index(lon, lat)), -32768) << lat << " " << lon;
    }
  }
}

}  // namespace
}  // namespace skyvox::authoring
