// A reader of NetCDF classic files (CDF-1, and CDF-2 with 64-bit offsets), enough for the data
// generators: the header (dimensions, attributes, variables) and the values of one non-record
// variable. The file is never trusted: every count, size and offset it declares is checked against
// the file's length before anything is read or allocated, so a corrupt or hostile file gives a
// FormatError (ReadPastEnd when it ends too early) and memory stays within a small multiple of the
// file's size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace skyvox::tools {

// The external types of the classic format, with their codes in the file.
enum class NcType : int32_t { Byte = 1, Char = 2, Short = 3, Int = 4, Float = 5, Double = 6 };

struct NcDimension {
  std::string Name;
  // For the record dimension: the file's record count.
  uint64_t Length = 0;
  bool IsRecord = false;
};

struct NcAttribute {
  std::string Name;
  NcType Type = NcType::Char;
  // Char attributes: the text, trailing NULs removed. Other types: every value, widened to double.
  std::string Text;
  std::vector<double> Numbers;
};

struct NcVariable {
  std::string Name;
  std::vector<uint32_t> DimIds;  // slowest-varying first, each a valid index into the dimensions
  std::vector<NcAttribute> Attributes;
  NcType Type = NcType::Char;
  uint64_t Begin = 0;  // offset of the first value in the file
  bool IsRecordVariable = false;
};

const NcAttribute* FindAttribute(const std::vector<NcAttribute>& attributes, std::string_view name);

class NetCdfClassicFile {
 public:
  // Opens the file and reads its header. Throws FileError when it cannot be opened or read, and
  // FormatError when it is no CDF-1 or CDF-2 file or its header is inconsistent with its length.
  explicit NetCdfClassicFile(const std::filesystem::path& path);

  int Version() const { return version_; }  // 1 = classic, 2 = 64-bit offsets
  uint64_t FileLength() const { return fileLength_; }
  const std::vector<NcDimension>& Dimensions() const { return dimensions_; }
  const std::vector<NcAttribute>& GlobalAttributes() const { return globalAttributes_; }
  const std::vector<NcVariable>& Variables() const { return variables_; }
  // nullptr when there is no variable of that exact name.
  const NcVariable* FindVariable(std::string_view name) const;
  // The lengths of the variable's dimensions, slowest-varying first.
  std::vector<uint64_t> Shape(const NcVariable& variable) const;

  // Every value of a non-record numeric variable, in file order (last dimension fastest), as stored.
  // Record variables and char variables throw FormatError, as does data reaching past the file's end.
  std::vector<double> ReadValues(const NcVariable& variable);
  // The same values unpacked: a value equal to one of the variable's missing_value or _FillValue
  // values, or not finite, becomes NaN; the others become value × scale_factor + add_offset when
  // those attributes are present.
  std::vector<double> ReadUnpacked(const NcVariable& variable);

 private:
  std::ifstream in_;
  uint64_t fileLength_ = 0;
  int version_ = 0;
  std::vector<NcDimension> dimensions_;
  std::vector<NcAttribute> globalAttributes_;
  std::vector<NcVariable> variables_;
};

}  // namespace skyvox::tools
