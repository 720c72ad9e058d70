#include "authoring/magdec_writer.h"

#include "base/byte_io.h"

namespace skyvox::authoring {

namespace {

constexpr size_t kTableOffsetField = 110;
constexpr int kColumns = 360;
constexpr int kRows = 181;

}  // namespace

geo::MagVarGrid VariationGridFromWmm(const geo::WmmModel& model, double decimalYear) {
  return geo::VariationGridFromModel(model, decimalYear);
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
