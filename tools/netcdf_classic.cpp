#include "netcdf_classic.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "base/errors.h"

namespace skyvox::tools {
namespace {

// List tags of the header.
constexpr uint32_t kTagDimension = 0x0A;
constexpr uint32_t kTagVariable = 0x0B;
constexpr uint32_t kTagAttribute = 0x0C;
constexpr uint32_t kStreamingRecords = 0xFFFFFFFF;
// Smallest encodings of one list element (empty name, no values): a dimension is a name length and a
// length; an attribute a name length, a type and a count; a variable a name length, a rank, an absent
// attribute list, a type, a size and a 4-byte offset.
constexpr uint64_t kMinDimensionBytes = 8;
constexpr uint64_t kMinAttributeBytes = 12;
constexpr uint64_t kMinVariableBytes = 28;
// Values are converted in pieces of this many bytes, so that the raw bytes never sit whole in memory.
constexpr uint64_t kChunkBytes = 1 << 20;

uint64_t TypeSize(NcType type) {
  switch (type) {
    case NcType::Byte:
    case NcType::Char:
      return 1;
    case NcType::Short:
      return 2;
    case NcType::Int:
    case NcType::Float:
      return 4;
    case NcType::Double:
      return 8;
  }
  return 1;
}

NcType CheckedType(uint32_t code, uint64_t at) {
  if (code < 1 || code > 6) {
    throw FormatError("netcdf: unknown type " + std::to_string(code) + " at offset " + std::to_string(at));
  }
  return static_cast<NcType>(code);
}

uint64_t Padded(uint64_t size) {
  return (size + 3) / 4 * 4;
}

uint64_t BigEndian(const uint8_t* p, int size) {
  uint64_t v = 0;
  for (int i = 0; i < size; ++i) v = (v << 8) | p[i];
  return v;
}

// One value of `type` at p, big-endian, widened to double (char gives its byte).
double Decode(NcType type, const uint8_t* p) {
  switch (type) {
    case NcType::Byte:
      return static_cast<int8_t>(p[0]);
    case NcType::Char:
      return p[0];
    case NcType::Short:
      return static_cast<int16_t>(BigEndian(p, 2));
    case NcType::Int:
      return static_cast<int32_t>(BigEndian(p, 4));
    case NcType::Float:
      return std::bit_cast<float>(static_cast<uint32_t>(BigEndian(p, 4)));
    case NcType::Double:
      return std::bit_cast<double>(BigEndian(p, 8));
  }
  return 0;
}

// Reads the header sequentially; every read is checked against the file's length first.
class HeaderCursor {
 public:
  HeaderCursor(std::ifstream& in, uint64_t length) : in_(in), length_(length) {}

  uint64_t Position() const { return pos_; }
  uint64_t Remaining() const { return length_ - pos_; }

  std::vector<uint8_t> Bytes(uint64_t count) {
    if (count > Remaining()) {
      throw ReadPastEnd("netcdf: header read of " + std::to_string(count) + " bytes at offset " +
                        std::to_string(pos_) + " goes past the end of the file (" + std::to_string(length_) +
                        " bytes)");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    if (count == 0) return bytes;
    in_.seekg(static_cast<std::streamoff>(pos_));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    if (!in_) throw FileError("netcdf: cannot read the header at offset " + std::to_string(pos_));
    pos_ += count;
    return bytes;
  }

  uint32_t U32() {
    const auto b = Bytes(4);
    return static_cast<uint32_t>(BigEndian(b.data(), 4));
  }

  uint64_t U64() {
    const auto b = Bytes(8);
    return BigEndian(b.data(), 8);
  }

  // A non-negative 32-bit count or length of the format.
  uint32_t NonNegative(const char* what) {
    const uint64_t at = pos_;
    const uint32_t v = U32();
    if (v > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
      throw FormatError(std::string("netcdf: negative ") + what + " at offset " + std::to_string(at));
    }
    return v;
  }

  // A list's element count, refused when its elements cannot fit in the rest of the file.
  uint32_t Count(const char* what, uint64_t minBytesEach) {
    const uint64_t at = pos_;
    const uint32_t n = NonNegative((std::string(what) + " count").c_str());
    if (n > Remaining() / minBytesEach) {
      throw FormatError(std::string("netcdf: ") + what + " count " + std::to_string(n) + " at offset " +
                        std::to_string(at) + " does not fit in the file");
    }
    return n;
  }

  // A counted name, padded to four bytes.
  std::string Name() {
    const uint32_t n = NonNegative("name length");
    const auto b = Bytes(Padded(n));
    return std::string(b.begin(), b.begin() + n);
  }

  // A list header: the expected tag and a count, or ABSENT (two zero words) for an empty list.
  uint32_t ListHeader(uint32_t tag, const char* what, uint64_t minBytesEach) {
    const uint64_t at = pos_;
    const uint32_t t = U32();
    if (t == 0) {
      if (U32() != 0) throw FormatError(std::string("netcdf: malformed empty ") + what + " list");
      return 0;
    }
    if (t != tag) {
      throw FormatError(std::string("netcdf: expected the ") + what + " list at offset " +
                        std::to_string(at));
    }
    return Count(what, minBytesEach);
  }

  std::vector<NcAttribute> Attributes() {
    const uint32_t n = ListHeader(kTagAttribute, "attribute", kMinAttributeBytes);
    std::vector<NcAttribute> attributes;
    attributes.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
      NcAttribute a;
      a.Name = Name();
      const uint32_t typeCode = U32();
      a.Type = CheckedType(typeCode, pos_ - 4);
      const uint64_t size = TypeSize(a.Type);
      const uint32_t count = NonNegative("attribute value count");
      if (count > Remaining() / size) {
        throw ReadPastEnd("netcdf: values of attribute " + a.Name + " go past the end of the file");
      }
      const auto b = Bytes(Padded(count * size));
      if (a.Type == NcType::Char) {
        a.Text.assign(b.begin(), b.begin() + count);
        while (!a.Text.empty() && a.Text.back() == '\0') a.Text.pop_back();
      } else {
        a.Numbers.reserve(count);
        for (uint64_t k = 0; k < count; ++k) a.Numbers.push_back(Decode(a.Type, b.data() + k * size));
      }
      attributes.push_back(std::move(a));
    }
    return attributes;
  }

 private:
  std::ifstream& in_;
  uint64_t length_;
  uint64_t pos_ = 0;
};

const NcAttribute* NumericAttribute(const NcVariable& variable, std::string_view name) {
  const NcAttribute* a = FindAttribute(variable.Attributes, name);
  if (a == nullptr) return nullptr;
  if (a->Numbers.empty()) {
    throw FormatError("netcdf: attribute " + std::string(name) + " of " + variable.Name + " has no number");
  }
  return a;
}

}  // namespace

const NcAttribute* FindAttribute(const std::vector<NcAttribute>& attributes, std::string_view name) {
  for (const NcAttribute& a : attributes) {
    if (a.Name == name) return &a;
  }
  return nullptr;
}

NetCdfClassicFile::NetCdfClassicFile(const std::filesystem::path& path) {
  in_.open(path, std::ios::binary);
  if (!in_) throw FileError("cannot open " + path.string());
  in_.seekg(0, std::ios::end);
  const std::streamoff end = in_.tellg();
  if (end < 0) throw FileError("cannot read " + path.string());
  fileLength_ = static_cast<uint64_t>(end);

  HeaderCursor cur(in_, fileLength_);
  const auto magic = cur.Bytes(4);
  if (magic[0] != 'C' || magic[1] != 'D' || magic[2] != 'F') {
    throw FormatError("netcdf: " + path.string() + " is no NetCDF classic file");
  }
  if (magic[3] != 1 && magic[3] != 2) {
    throw FormatError("netcdf: unsupported format version " + std::to_string(magic[3]) + " in " +
                      path.string());
  }
  version_ = magic[3];

  const uint64_t numRecsAt = cur.Position();
  uint32_t numRecs = cur.U32();
  if (numRecs == kStreamingRecords) {
    numRecs = 0;  // still being written: no complete record to speak of
  } else if (numRecs > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    throw FormatError("netcdf: negative record count at offset " + std::to_string(numRecsAt));
  }

  const uint32_t dimCount = cur.ListHeader(kTagDimension, "dimension", kMinDimensionBytes);
  dimensions_.reserve(dimCount);
  for (uint32_t i = 0; i < dimCount; ++i) {
    NcDimension d;
    d.Name = cur.Name();
    d.Length = cur.NonNegative("dimension length");
    if (d.Length == 0) {
      if (std::any_of(dimensions_.begin(), dimensions_.end(), [](const auto& x) { return x.IsRecord; })) {
        throw FormatError("netcdf: more than one record dimension");
      }
      d.IsRecord = true;
      d.Length = numRecs;
    }
    dimensions_.push_back(std::move(d));
  }

  globalAttributes_ = cur.Attributes();

  const uint32_t varCount = cur.ListHeader(kTagVariable, "variable", kMinVariableBytes);
  variables_.reserve(varCount);
  for (uint32_t i = 0; i < varCount; ++i) {
    NcVariable v;
    v.Name = cur.Name();
    const uint32_t rank = cur.Count("dimension id", 4);
    v.DimIds.reserve(rank);
    for (uint32_t k = 0; k < rank; ++k) {
      const uint32_t id = cur.U32();
      if (id >= dimensions_.size()) {
        throw FormatError("netcdf: variable " + v.Name + " names dimension " + std::to_string(id) + " of " +
                          std::to_string(dimensions_.size()));
      }
      if (dimensions_[id].IsRecord) {
        if (k != 0) throw FormatError("netcdf: variable " + v.Name + " has the record dimension inside");
        v.IsRecordVariable = true;
      }
      v.DimIds.push_back(id);
    }
    v.Attributes = cur.Attributes();
    const uint32_t typeCode = cur.U32();
    v.Type = CheckedType(typeCode, cur.Position() - 4);
    cur.U32();  // vsize: recomputed from the shape, since it overflows for large variables
    v.Begin = version_ == 1 ? cur.U32() : cur.U64();
    variables_.push_back(std::move(v));
  }
}

const NcVariable* NetCdfClassicFile::FindVariable(std::string_view name) const {
  for (const NcVariable& v : variables_) {
    if (v.Name == name) return &v;
  }
  return nullptr;
}

std::vector<uint64_t> NetCdfClassicFile::Shape(const NcVariable& variable) const {
  std::vector<uint64_t> shape;
  for (uint32_t id : variable.DimIds) shape.push_back(dimensions_.at(id).Length);
  return shape;
}

std::vector<double> NetCdfClassicFile::ReadValues(const NcVariable& variable) {
  if (variable.IsRecordVariable) {
    throw FormatError("netcdf: " + variable.Name + " is a record variable, which this reader does not read");
  }
  if (variable.Type == NcType::Char) throw FormatError("netcdf: " + variable.Name + " holds characters");
  const uint64_t size = TypeSize(variable.Type);
  const std::string pastEnd = "netcdf: the values of " + variable.Name + " go past the end of the file";
  if (variable.Begin > fileLength_) throw ReadPastEnd(pastEnd);
  const uint64_t available = fileLength_ - variable.Begin;
  uint64_t count = 1;
  for (uint64_t length : Shape(variable)) {
    if (length == 0) {
      count = 0;
      break;
    }
    if (count > available / size / length) throw ReadPastEnd(pastEnd);
    count *= length;
  }

  std::vector<double> values;
  values.reserve(static_cast<size_t>(count));
  std::vector<uint8_t> chunk;
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(variable.Begin));
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min(count - done, kChunkBytes / size);
    chunk.resize(static_cast<size_t>(n * size));
    in_.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    if (!in_) throw FileError("netcdf: cannot read the values of " + variable.Name);
    for (uint64_t k = 0; k < n; ++k) values.push_back(Decode(variable.Type, chunk.data() + k * size));
    done += n;
  }
  return values;
}

std::vector<double> NetCdfClassicFile::ReadUnpacked(const NcVariable& variable) {
  std::vector<double> missing;
  if (const NcAttribute* a = NumericAttribute(variable, "missing_value")) missing = a->Numbers;
  if (const NcAttribute* a = NumericAttribute(variable, "_FillValue")) missing.push_back(a->Numbers[0]);
  const NcAttribute* scaleAttr = NumericAttribute(variable, "scale_factor");
  const NcAttribute* offsetAttr = NumericAttribute(variable, "add_offset");
  const double scale = scaleAttr != nullptr ? scaleAttr->Numbers[0] : 1.0;
  const double offset = offsetAttr != nullptr ? offsetAttr->Numbers[0] : 0.0;

  // A file may list many missing values: sorted for a binary search, without NaN, which equals nothing
  // and would break the ordering.
  std::erase_if(missing, [](double m) { return std::isnan(m); });
  std::sort(missing.begin(), missing.end());

  std::vector<double> values = ReadValues(variable);
  for (double& v : values) {
    if (!std::isfinite(v) || std::binary_search(missing.begin(), missing.end(), v)) {
      v = std::numeric_limits<double>::quiet_NaN();
    } else {
      v = v * scale + offset;
    }
  }
  return values;
}

}  // namespace skyvox::tools
