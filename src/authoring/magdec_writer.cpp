#include "authoring/magdec_writer.h"

#include "base/byte_io.h"
#include "base/rounding.h"

namespace skyvox::authoring {

namespace {

constexpr size_t kTableOffsetField = 110;
constexpr int kColumns = 360;
constexpr int kRows = 181;

}  // namespace

geo::MagVarGrid VariationGridFromWmm(const geo::WmmModel& model, double decimalYear) {
  geo::MagVarGrid grid;
  for (int lon = 0; lon < kColumns; ++lon) {
    for (int lat = -90; lat <= 90; ++lat) {
      const double declination = model.DeclinationDeg(lat, lon, 0.0, decimalYear);
      int32_t counts = CLng(declination * 65536.0 / 360.0);
      if (counts == 32768) counts = -32768;
      grid.Set(geo::MagVarGrid::Index(lon, lat), static_cast<int16_t>(counts));
    }
  }
  return grid;
}

std::vector<uint8_t> BuildMagdecBgl(const geo::MagVarGrid& grid) {
  ByteWriter out;
  while (out.Size() < kTableOffsetField) out.U8(0);
  out.U32(static_cast<uint32_t>(kMagdecTableOffset));
  while (out.Size() < kMagdecTableOffset) out.U8(0);
  out.U16(kColumns);
  out.U16(kRows);
  out.U32(0);
  // Columns in file order are exactly the grid's index order 0..65159.
  for (size_t index = 0; index < static_cast<size_t>(kColumns * kRows); ++index) out.I16(grid.At(index));
  return out.Take();
}

}  // namespace skyvox::authoring
