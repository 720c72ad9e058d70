#include "geo/mag_var_grid.h"

#include <stdexcept>
#include <string>

#include "base/errors.h"

namespace skyvox::geo {
namespace {

void CheckIndex(size_t index, const char* operation) {
  if (index >= MagVarGrid::kSize) {
    throw SubscriptError(std::string("MagVarGrid::") + operation + ": index " + std::to_string(index) +
                         " outside 0.." + std::to_string(MagVarGrid::kSize - 1));
  }
}

}  // namespace

MagVarGrid::MagVarGrid() : values_(kSize, 0) {}

int16_t MagVarGrid::At(size_t index) const {
  CheckIndex(index, "At");
  return values_[index];
}

void MagVarGrid::Set(size_t index, int16_t value) {
  CheckIndex(index, "Set");
  values_[index] = value;
}

size_t MagVarGrid::Index(int lon, int lat) {
  // 64-bit arithmetic: no int overflow whatever the arguments.
  const int64_t index = static_cast<int64_t>(lon) * 181 + (static_cast<int64_t>(lat) + 90);
  return static_cast<size_t>(index);
}

}  // namespace skyvox::geo
