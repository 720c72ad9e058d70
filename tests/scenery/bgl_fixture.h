// Hand-built BGL bytes for the reader's tests: records spelled out field by field at the offsets the
// reader uses, independent of the scenery writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace skyvox::testing {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, size_t at, int32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

inline int32_t FloatBits(float f) {
  int32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}

// A record: type, size (= total length - 8), then zeroed content of `total - 8` bytes with the given
// 32-bit fields at offsets counted from the record's start, and text at a given offset.
inline Bytes Record(int32_t type, size_t total, std::initializer_list<std::pair<size_t, int32_t>> fields = {},
                    size_t textAt = 0, const std::string& text = "") {
  Bytes r(total, 0);
  for (const auto& [at, v] : fields) Put32(r, at, v);
  if (!text.empty()) {
    if (r.size() < textAt + text.size()) r.resize(textAt + text.size());
    std::memcpy(r.data() + textAt, text.data(), text.size());
  }
  Put32(r, 0, type);
  Put32(r, 4, static_cast<int32_t>(r.size() - 8));
  return r;
}

inline Bytes Terminator() {
  return Record(0, 8);
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline int32_t LatRaw(double lat) {
  return static_cast<int32_t>(lat * 10001750 / 90);
}
inline int32_t LonRaw(double lon) {
  return static_cast<int32_t>(static_cast<int64_t>(lon * 4294967296.0 / 360));
}

// A whole file: a 168-byte header, then the airport section (lists of entries whose data follow) and
// the airspace section bytes given as they are (their offsets relative to the section start).
class BglFile {
 public:
  BglFile() : bytes_(168, 0) {
    Put32(bytes_, 118, static_cast<int32_t>(0x87654321u));
    Put32(bytes_, 144, 1);
  }

  // One airport list holding an entry per airport; each airport's records are placed after the list,
  // behind a data header (1, 0, 1, 0). kind and header values can be spoiled per airport.
  struct Airport {
    std::string ident;
    Bytes records;  // ended by the caller (usually with Terminator())
    int32_t kind = 0x50001;
    int32_t header0 = 1;
    int32_t header2 = 1;
    int32_t entryType = 0x30002;
  };

  void AirportSection(const std::vector<Airport>& airports) {
    const size_t list = bytes_.size();
    Put32(bytes_, 156, static_cast<int32_t>(list));
    // Entries first, to know the list's size; data offsets are patched afterwards.
    Bytes entries;
    std::vector<size_t> dataFields;
    for (const Airport& a : airports) {
      Bytes e = Record(a.entryType, 16, {{8, a.kind}}, 16, a.ident);
      dataFields.push_back(entries.size() + 12);
      entries.insert(entries.end(), e.begin(), e.end());
    }
    Bytes header = Record(0x30001, 24, {{20, static_cast<int32_t>(airports.size())}});
    header.insert(header.end(), entries.begin(), entries.end());
    Put32(header, 4, static_cast<int32_t>(header.size() - 8));
    bytes_.insert(bytes_.end(), header.begin(), header.end());
    const Bytes end = Terminator();
    bytes_.insert(bytes_.end(), end.begin(), end.end());
    for (size_t i = 0; i < airports.size(); ++i) {
      const size_t d = bytes_.size();
      Put32(bytes_, list + 24 + dataFields[i], static_cast<int32_t>(d));
      Bytes data(16, 0);
      Put32(data, 0, airports[i].header0);
      Put32(data, 8, airports[i].header2);
      bytes_.insert(bytes_.end(), data.begin(), data.end());
      bytes_.insert(bytes_.end(), airports[i].records.begin(), airports[i].records.end());
    }
  }

  void AirspaceSection(const Bytes& section) {
    Put32(bytes_, 164, static_cast<int32_t>(bytes_.size()));
    bytes_.insert(bytes_.end(), section.begin(), section.end());
  }

  Bytes& Data() { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace skyvox::testing
