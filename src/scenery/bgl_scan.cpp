#include "scenery/bgl_scan.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "base/errors.h"
#include "base/rounding.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "geo/sim_coordinates.h"

namespace skyvox::scenery {
namespace {

constexpr int32_t kHeaderRecord = 0x10001;
constexpr int32_t kRunwayRecord = 0x10002;
constexpr int32_t kPositionRecord = 0x10003;
constexpr int32_t kNavAidRecord = 0x10004;
constexpr int32_t kRunwayEndRecord = 0x10005;
constexpr int32_t kNameRecord = 0x10006;
constexpr int32_t kTaxiDataRecord = 0x11001;
constexpr int32_t kFrequencyRecord = 0x20001;
constexpr int32_t kBoundaryRecord = 1;
constexpr int32_t kBoundaryGroup = 4;
constexpr int32_t kAirspaceValue = 5;
constexpr int32_t kIlsKind = 4;

double Latitude(int32_t raw) {
  return raw * 90.0 / geo::kLatitudeMetresPer90Degrees;
}
double Longitude(int32_t raw) {
  return raw * 360.0 / geo::kLongitudeUnitsPerTurn;
}
int32_t FeetFromMetres(double metres) {
  return CLng(metres / 0.3048);
}

std::optional<int64_t> NextSibling(int64_t offset, int32_t size) {
  const int64_t next = offset + static_cast<int64_t>(size) + 8;
  if (next <= offset) return std::nullopt;
  return next;
}

// Round(x, decimals) with its scale, 10 to the decimals, written out.
template <int Decimals>
double RoundTo(double x) {
  static_assert(Decimals == 5 || Decimals == 6);
  constexpr double scale = Decimals == 5 ? 1e5 : 1e6;
  if (!std::isfinite(x)) return x;
  const double scaled = x * scale;
  if (!std::isfinite(scaled)) return x;
  const double down = std::floor(scaled);
  const double diff = scaled - down;
  double r;
  if (diff < 0.5) {
    r = down;
  } else if (diff > 0.5) {
    r = down + 1.0;
  } else {
    r = std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
  }
  return r / scale;
}

// Appends the decimal text of v, as std::to_string writes it.
void AppendNumber(std::string& text, int64_t v) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  text.append(digits, end);
}

// k when text is the decimal text of a whole number k in 0..limit-1 (as std::to_string writes it),
// -1 otherwise.
int64_t IndexOfNumberText(std::string_view text, int64_t limit) {
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return -1;
  int64_t k = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    k = k * 10 + (c - '0');
  }
  return k < limit ? k : -1;
}

constexpr std::array<const char*, 5> kDesignators = {"", "L", "R", "C", "H"};

// The upper-case parking words by name code, as ParkingName spells them.
const std::array<std::string, 38>& UpperParkingWords() {
  static const std::array<std::string, 38> words = [] {
    std::array<std::string, 38> w;
    for (int32_t code = 0; code < 38; ++code)
      w[static_cast<size_t>(code)] = UpperCaseCp1252(ParkingWord(code));
    return w;
  }();
  return words;
}

// UpperCaseCp1252 of each single byte.
const std::array<char, 256>& UpperCaseTable() {
  static const std::array<char, 256> table = [] {
    std::array<char, 256> t{};
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      t[static_cast<size_t>(b)] = UpperCaseCp1252(std::string_view(&c, 1))[0];
    }
    return t;
  }();
  return table;
}

}  // namespace

void AppendFrequencyText(std::string& text, int32_t code) {
  const auto bits = static_cast<uint32_t>(code);
  uint32_t value = 0;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const uint32_t digit = (bits >> shift) & 0xF;
    if (digit > 9) {
      FrequencyText(code);  // throws its FormatError
      return;
    }
    value = value * 10 + digit;
  }
  // value / 10000 with up to 15 significant digits and no trailing zeros: at most 8 digits, so exact.
  if (value == 0) {
    text.push_back('0');
    return;
  }
  AppendNumber(text, value / 10000);
  uint32_t fraction = value % 10000;
  if (fraction == 0) return;
  char digits[5] = {'.', 0, 0, 0, 0};
  size_t length = 5;
  for (int i = 4; i >= 1; --i) {
    digits[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  while (digits[length - 1] == '0') --length;
  text.append(digits, length);
}

// The walk of the section chains, as the straightforward scan walks them, noting the items to decode
// instead of decoding them.
class BglScan::Walk {
 public:
  Walk(const BglBytes& bgl, std::vector<Item>& items) : bgl_(bgl), items_(items) {}

  void File() {
    if (bgl_.ReadInt32(144) != 1) return;
    const int32_t airports = bgl_.ReadInt32(156);
    const int32_t airspaces = bgl_.ReadInt32(164);
    if (airports > 0) {
      bgl_.Require(airports, 8);
      AirportList(airports);
    }
    if (airspaces > 0) {
      bgl_.Require(airspaces, 8);
      AirspaceSection(airspaces);
    }
  }

 private:
  std::optional<int64_t> AirportList(int64_t offset) {
    while (bgl_.ReadInt32(offset) == kAirportListType) {
      const int32_t size = bgl_.ReadInt32(offset + 4);
      const int32_t n = bgl_.ReadInt32(offset + 20);
      int64_t p = 0;
      for (int32_t i = 0; i < n; ++i) {
        const int64_t e = offset + 24 + p;
        const int32_t type = bgl_.ReadInt32(e);
        const int32_t entrySize = bgl_.ReadInt32(e + 4);
        const int32_t kind = bgl_.ReadInt32(e + 8);
        const int32_t d = bgl_.ReadInt32(e + 12);
        if (type == kAirportEntryType) {
          const int64_t identLength = static_cast<int64_t>(entrySize) - 8;
          if (identLength > 0) bgl_.Require(e + 16, identLength);
          bgl_.Require(d, 16);
          const int32_t h0 = bgl_.ReadInt32(d);
          const int32_t h2 = bgl_.ReadInt32(static_cast<int64_t>(d) + 8);
          if (kind == kAirportEntryKind && d >= 1 && h0 == 1 && h2 == 1) {
            items_.push_back(Item{d, e + 16, identLength});
          }
        }
        if (static_cast<int64_t>(entrySize) + 8 <= 0) break;
        p += static_cast<int64_t>(entrySize) + 8;
      }
      const auto next = NextSibling(offset, size);
      if (!next) return std::nullopt;
      offset = *next;
    }
    return offset;
  }

  void BoundaryGroup(int64_t offset) {
    for (;;) {
      const int32_t type = bgl_.ReadInt32(offset);
      const int32_t size = bgl_.ReadInt32(offset + 4);
      if (type == kBoundaryRecord) {
        // A value that cannot be read drops the airspace, as a failure inside one does.
        try {
          if (bgl_.ReadInt32(offset + 8) == kAirspaceValue) items_.push_back(Item{offset, -1, 0});
        } catch (const Error&) {
        }
      } else if (type != kAirportListType) {
        return;
      }
      const auto next = NextSibling(offset, size);
      if (!next) return;
      offset = *next;
    }
  }

  void AirspaceSection(int64_t offset) {
    for (;;) {
      const int32_t type = bgl_.ReadInt32(offset);
      if (type == kAirportListType) {
        const auto after = AirportList(offset);
        if (!after) return;
        offset = *after;
        continue;
      }
      if (type != kBoundaryRecord) return;
      const int32_t size = bgl_.ReadInt32(offset + 4);
      if (bgl_.ReadInt32(offset + 8) == kBoundaryGroup) BoundaryGroup(offset + 16);
      const auto next = NextSibling(offset, size);
      if (!next) return;
      offset = *next;
    }
  }

  const BglBytes& bgl_;
  std::vector<Item>& items_;
};

// One airport's records into a DecodedAirport kept from one airport to the next, field for field as
// the straightforward AirportWalk decodes them into an AirportRecord.
class BglScan::AirportDecoder {
 public:
  explicit AirportDecoder(const geo::MagVarGrid& grid) : grid_(grid) {
    for (int32_t course : {0, 90, 180, 270}) {
      const double tc = static_cast<double>(static_cast<int16_t>(course)) * geo::kPi / 180;
      sinCourse_[static_cast<size_t>(course / 90)] = std::sin(tc);
      cosCourse_[static_cast<size_t>(course / 90)] = std::cos(tc);
    }
  }

  // Decodes the airport whose data header is at item.Offset; the airport when it qualifies (it has a
  // tower or ground frequency), else null.
  const DecodedAirport* Decode(std::span<const uint8_t> bytes, const Item& item) {
    bytes_ = bytes;
    size_ = static_cast<int64_t>(bytes.size());
    Reset();
    DecodedAirport& a = airport_;
    a.Ident = ReadText(item.IdentOffset, item.IdentLength);
    try {
      Records(item.Offset + 16);
    } catch (const Error&) {
      // A failure ends this airport's records; what was decoded still counts.
    }
    if (a.GroundFreq.Length == 0 && a.GroundName.Length == 0) {
      a.GroundFreq = a.TowerFreq;
      a.GroundName = a.TowerName;
    }
    if (a.TowerFreq.Length == 0 && a.TowerName.Length == 0) {
      a.TowerFreq = a.GroundFreq;
      a.TowerName = a.GroundName;
    }
    return a.TowerFreq.Length == 0 ? nullptr : &a;
  }

 private:
  void Reset() {
    DecodedAirport& a = airport_;
    a.texts_.clear();
    for (TextRef* t :
         {&a.Ident, &a.Name, &a.ClearanceFreq, &a.ClearanceName, &a.GroundFreq, &a.GroundName, &a.TowerFreq,
          &a.TowerName, &a.ApproachFreq, &a.ApproachName, &a.RunwayIdent, &a.IlsFrequency}) {
      *t = TextRef{};
    }
    a.Latitude = 0;
    a.Longitude = 0;
    a.ElevationFt = 0;
    a.ThresholdLat = 0;
    a.ThresholdLon = 0;
    a.ThresholdElevationFt = 0;
    a.RunwayLength = 0;
    a.RunwayWidth = 0;
    a.MagHeading = 0;
    a.TaxiPoints.clear();
    a.TaxiPointCount = 0;
    a.ParkingSpots.clear();
    a.ParkingCount = 0;
    a.TaxiPaths.clear();
    a.TaxiPathCount = 0;
    refLat_ = 0;
    refLon_ = 0;
    SetReference(0, 0);
    runwayNames_.clear();
    runwayIdent_ = TextRef{};
    runwayEndIdent_ = TextRef{};
    frequencyName_ = TextRef{};
    parkingWord_ = 0;
  }

  std::string_view Text(TextRef ref) const { return airport_.Text(ref); }
  bool SameText(TextRef a, TextRef b) const { return Text(a) == Text(b); }
  // Closes a text begun at `from` in the text buffer.
  TextRef TextFrom(size_t from) const {
    return TextRef{static_cast<uint32_t>(from), static_cast<uint32_t>(airport_.texts_.size() - from)};
  }

  [[noreturn]] void OutOfFile(int64_t offset, int64_t length) const {
    BglBytes(bytes_).Require(offset, length);
    throw ReadPastEnd("read outside the file");  // not reached: Require has thrown
  }
  void Require(int64_t offset, int64_t length) const {
    if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) OutOfFile(offset, length);
  }
  int32_t Int32(int64_t offset) const {
    Require(offset, 4);
    return Int32Unchecked(offset);
  }
  int32_t Int32Unchecked(int64_t offset) const {
    const uint8_t* p = bytes_.data() + offset;
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
  }
  float SingleUnchecked(int64_t offset) const { return std::bit_cast<float>(Int32Unchecked(offset)); }
  // ReadText: length bytes with the zero bytes dropped, "" for a length of 0 or less; a read outside
  // the file throws before anything is added.
  TextRef ReadText(int64_t offset, int64_t length) {
    if (length <= 0) return TextRef{};
    Require(offset, length);
    std::string& texts = airport_.texts_;
    const size_t from = texts.size();
    const auto* p = reinterpret_cast<const char*>(bytes_.data() + offset);
    const auto* end = p + length;
    while (p < end) {
      const auto* zero = static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
      const auto* stop = zero ? zero : end;
      texts.append(p, stop);
      p = zero ? zero + 1 : end;
    }
    return TextFrom(from);
  }
  void RequireElements(int64_t offset, int32_t n, int32_t s) const {
    if (n < 0) throw FormatError("negative element count " + std::to_string(n));
    Require(offset, static_cast<int64_t>(n) * s);
  }
  static int16_t ElementCount(int32_t n) {
    if (n > 32767) throw OverflowError("more than 32767 elements in a taxi list");
    return static_cast<int16_t>(n);
  }

  // FrequencyText(code) added to the texts, through a small cache of the codes met.
  TextRef FrequencyRef(int32_t code) {
    CachedFrequency& cached = frequencies_[(static_cast<uint32_t>(code) * 2654435761u) >> 22];
    std::string& texts = airport_.texts_;
    const size_t from = texts.size();
    if (cached.Length != 0 && cached.Code == code) {
      texts.append(cached.Text, cached.Length);
    } else {
      AppendFrequencyText(texts, code);
      const size_t length = texts.size() - from;
      if (length <= sizeof cached.Text) {
        cached.Code = code;
        cached.Length = static_cast<uint8_t>(length);
        std::memcpy(cached.Text, texts.data() + from, length);
      }
    }
    return TextFrom(from);
  }

  // The position of a taxi or parking element, as DestinationPointMetres places it: the longitude of
  // the point x metres east (course 90 or 270) and the latitude of the point z metres north (course 0
  // or 180) of the reference, with the reference's sine and cosine worked out once per airport.
  void PlaceOffset(float x, float z, double& lat, double& lon) const {
    if (!std::isfinite(x) || !std::isfinite(z)) {
      // Not a distance: the general form, whose arithmetic on the value decides the result's bits.
      lon = x == 0 ? refLon_ : geo::DestinationPointMetres(refLat_, refLon_, x > 0 ? 90 : 270, x).Longitude;
      lat = z == 0 ? refLat_ : geo::DestinationPointMetres(refLat_, refLon_, z > 0 ? 0 : 180, z).Latitude;
      return;
    }
    if (x == 0) {
      lon = refLon_;
    } else {
      const size_t c = x > 0 ? 1 : 3;
      const double d = std::fabs(static_cast<double>(x)) / 1852 * geo::kPi / 10800;
      const double phi = geo::ArcSin(sinRef_ * std::cos(d) + cosRef_ * std::sin(d) * cosCourse_[c]);
      double lambda = lambdaRef_;
      if (std::cos(phi) != 0) {
        lambda =
            geo::FloatMod(lambdaRef_ - geo::ArcSin(sinCourse_[c] * std::sin(d) / std::cos(phi)) + geo::kPi,
                          geo::kTwoPi) -
            geo::kPi;
      }
      lon = RoundTo<6>(-lambda * 180 / geo::kPi);
    }
    if (z == 0) {
      lat = refLat_;
    } else {
      const size_t c = z > 0 ? 0 : 2;
      const double d = std::fabs(static_cast<double>(z)) / 1852 * geo::kPi / 10800;
      const double phi = geo::ArcSin(sinRef_ * std::cos(d) + cosRef_ * std::sin(d) * cosCourse_[c]);
      lat = RoundTo<6>(phi * 180 / geo::kPi);
    }
  }

  void SetReference(double lat, double lon) {
    refLat_ = lat;
    refLon_ = lon;
    const double phi1 = lat * geo::kPi / 180;
    sinRef_ = std::sin(phi1);
    cosRef_ = std::cos(phi1);
    lambdaRef_ = -lon * geo::kPi / 180;
  }

  // The runway ident of a number and designator code into ident; ident is left as it was when either
  // is out of the named range.
  void RunwayIdent(int32_t number, int32_t designator, TextRef& ident) {
    if (number > 36 || designator > 4 || designator < 0) return;
    const size_t from = airport_.texts_.size();
    AppendNumber(airport_.texts_, number);
    airport_.texts_.append(kDesignators[static_cast<size_t>(designator)]);
    ident = TextFrom(from);
  }

  void TaxiPoints(int64_t first, int32_t n, int32_t s) {
    RequireElements(first, n, s);
    airport_.TaxiPointCount = ElementCount(n);
    airport_.TaxiPoints.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      const int64_t e = first + static_cast<int64_t>(i) * s;
      TaxiPoint& p = airport_.TaxiPoints[static_cast<size_t>(i)];
      p.PointType = Int32Unchecked(e);
      PlaceOffset(SingleUnchecked(e + 4), SingleUnchecked(e + 8), p.Latitude, p.Longitude);
    }
  }

  void ParkingSpots(int64_t first, int32_t n, int32_t s) {
    RequireElements(first, n, s);
    airport_.ParkingCount = ElementCount(n);
    airport_.ParkingSpots.assign(static_cast<size_t>(n), DecodedAirport::Parking{});
    for (int32_t i = 0; i < n; ++i) {
      const int64_t e = first + static_cast<int64_t>(i) * s;
      DecodedAirport::Parking& p = airport_.ParkingSpots[static_cast<size_t>(i)];
      PlaceOffset(SingleUnchecked(e), SingleUnchecked(e + 4), p.Latitude, p.Longitude);
      p.RadiusFt = FeetFromMetres(SingleUnchecked(e + 8));
      // ParkingName: the last five hex digits hold 128 * number + name code.
      const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(Int32Unchecked(e + 16)) & 0xFFFFF);
      const int32_t number = CLng(v / 128.0);
      const int32_t code = v - 128 * number;
      if (code >= 1 && code <= 37) parkingWord_ = code;
      p.Word = parkingWord_;
      p.Number = number;
    }
  }

  void TaxiPaths(int64_t first, int32_t n, int32_t s) {
    RequireElements(first, n, s);
    airport_.TaxiPathCount = ElementCount(n);
    airport_.TaxiPaths.resize(static_cast<size_t>(n));
    pathNumbers_.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      const int64_t e = first + static_cast<int64_t>(i) * s;
      DecodedAirport::Path& p = airport_.TaxiPaths[static_cast<size_t>(i)];
      p.PathType = Int32Unchecked(e);
      p.StartPoint = Int32Unchecked(e + 12);
      p.EndPoint = Int32Unchecked(e + 16);
      const int32_t number = Int32Unchecked(e + 28);
      pathNumbers_[static_cast<size_t>(i)] = number;
      const size_t from = airport_.texts_.size();
      AppendNumber(airport_.texts_, number);
      p.Name = TextFrom(from);
    }
  }

  // The taxiway names: entry j renames every taxiway path then named after the number j, in list
  // order, so that a path renamed to the text of a later number is renamed again. Each path waits in
  // the bucket of the number its name spells until that entry comes.
  void TaxiwayNames(int64_t first, int32_t n, int32_t s) {
    RequireElements(first, n, s);
    std::vector<DecodedAirport::Path>& paths = airport_.TaxiPaths;
    bucketHead_.assign(static_cast<size_t>(n), -1);
    bucketNext_.assign(paths.size(), -1);
    for (size_t k = 0; k < paths.size(); ++k) {
      if (paths[k].PathType != 0) continue;
      const int64_t j = IndexOfNumberText(Text(paths[k].Name), n);
      if (j < 0) continue;
      bucketNext_[k] = bucketHead_[static_cast<size_t>(j)];
      bucketHead_[static_cast<size_t>(j)] = static_cast<int32_t>(k);
    }
    for (int32_t j = 0; j < n; ++j) {
      int32_t k = bucketHead_[static_cast<size_t>(j)];
      if (k < 0) continue;
      const TextRef name = ReadText(first + static_cast<int64_t>(j) * s, 8);
      const int64_t again = IndexOfNumberText(Text(name), n);
      while (k >= 0) {
        const int32_t following = bucketNext_[static_cast<size_t>(k)];
        paths[static_cast<size_t>(k)].Name = name;
        if (again > j) {
          bucketNext_[static_cast<size_t>(k)] = bucketHead_[static_cast<size_t>(again)];
          bucketHead_[static_cast<size_t>(again)] = k;
        }
        k = following;
      }
    }
    for (size_t k = 0; k < paths.size(); ++k) {
      DecodedAirport::Path& p = paths[k];
      if (p.PathType != 1) continue;
      const int32_t index = k < pathNumbers_.size() ? pathNumbers_[k] : 0;
      if (index < 0 || static_cast<size_t>(index) >= runwayNames_.size()) {
        throw SubscriptError("runway path names runway " + std::to_string(index) + " of " +
                             std::to_string(runwayNames_.size()));
      }
      p.Name = runwayNames_[static_cast<size_t>(index)];
    }
  }

  void TaxiData(int64_t offset, int32_t size) {
    const int64_t end = offset + static_cast<int64_t>(size) + 8;
    pathNumbers_.clear();
    int64_t list = offset + 8;
    while (list < end) {
      const int32_t n = Int32(list);
      const int32_t s = Int32(list + 4);
      const int64_t first = list + 8;
      if (s == 12) {
        TaxiPoints(first, n, s);
      } else if (s == 20) {
        ParkingSpots(first, n, s);
      } else if (s == 32) {
        TaxiPaths(first, n, s);
      } else if (s == 8) {
        TaxiwayNames(first, n, s);
        return;
      } else {
        return;
      }
      list = first + static_cast<int64_t>(n) * s;
    }
  }

  void Frequency(int64_t offset, int32_t size) {
    const TextRef text = FrequencyRef(Int32(offset + 8));
    if (size > 8) frequencyName_ = ReadText(offset + 16, static_cast<int64_t>(size) - 8);
    const int32_t kind = Int32(offset + 12);
    DecodedAirport& a = airport_;
    if (kind == 7) {
      a.ClearanceFreq = text;
      a.ClearanceName = frequencyName_;
    } else if (kind == 5) {
      a.GroundFreq = text;
      a.GroundName = frequencyName_;
    } else if (kind == 6) {
      a.TowerFreq = text;
      a.TowerName = frequencyName_;
    } else if (kind == 8 || kind == 9) {
      a.ApproachFreq = text;
      a.ApproachName = frequencyName_;
    }
  }

  // A runway and the navigation aids after it; returns where the walk goes on.
  std::optional<int64_t> Runway(int64_t offset, std::optional<int64_t> next) {
    const int32_t length = Int32(offset + 40);
    const int32_t width = Int32(offset + 44);
    const int32_t designator = Int32(offset + 48);
    const int32_t number = Int32(offset + 52);
    RunwayIdent(number, designator, runwayIdent_);
    std::string& texts = airport_.texts_;
    const size_t from = texts.size();
    texts.reserve(from + 7 + runwayIdent_.Length);  // the ident is copied from the same buffer
    texts.append("Runway ");
    texts.append(texts.data() + runwayIdent_.Offset, runwayIdent_.Length);
    runwayNames_.push_back(TextFrom(from));
    DecodedAirport& a = airport_;
    if (length > a.RunwayLength) {
      a.RunwayIdent = runwayIdent_;
      a.RunwayLength = length;
      a.RunwayWidth = width;
      a.IlsFrequency = TextRef{};
    }
    while (next && Int32(*next) == kNavAidRecord) {
      const int64_t aid = *next;
      const int32_t aidSize = Int32(aid + 4);
      if (SameText(runwayIdent_, a.RunwayIdent) && Int32(aid + 40) == kIlsKind) {
        a.IlsFrequency = FrequencyRef(Int32(aid + 36));
      }
      next = NextSibling(aid, aidSize);
    }
    return next;
  }

  void RunwayEnd(int64_t offset) {
    const int32_t presence = Int32(offset + 36);
    const int32_t designator = Int32(offset + 40);
    const int32_t number = Int32(offset + 44);
    if (presence >= 1) RunwayIdent(number, designator, runwayEndIdent_);
    DecodedAirport& a = airport_;
    if (SameText(runwayEndIdent_, a.RunwayIdent)) {
      a.ThresholdLat = RoundTo<5>(Latitude(Int32(offset + 12)));
      a.ThresholdLon = RoundTo<5>(Longitude(Int32(offset + 20)));
      a.ThresholdElevationFt = FeetFromMetres(Int32(offset + 28));
      const double heading = Int32(offset + 32) / 65536.0 * 360 / 65536;
      a.MagHeading = geo::TrueToMagnetic(CInt(heading), a.ThresholdLat, a.ThresholdLon, grid_);
    }
  }

  void Records(int64_t offset) {
    for (;;) {
      const int32_t type = Int32(offset);
      const int32_t size = Int32(offset + 4);
      std::optional<int64_t> next = NextSibling(offset, size);
      switch (type) {
        case kHeaderRecord: {
          const double lat = RoundTo<6>(Latitude(Int32(offset + 12)));
          const double lon = RoundTo<6>(Longitude(Int32(offset + 20)));
          SetReference(lat, lon);
          airport_.Latitude = lat;
          airport_.Longitude = lon;
          airport_.ElevationFt = FeetFromMetres(Int32(offset + 28));
          break;
        }
        case kPositionRecord:
          airport_.Latitude = RoundTo<6>(Latitude(Int32(offset + 12)));
          airport_.Longitude = RoundTo<6>(Longitude(Int32(offset + 20)));
          break;
        case kNameRecord: {
          const TextRef name = ReadText(offset + 8, size);
          const auto& upper = UpperCaseTable();
          char* c = airport_.texts_.data() + name.Offset;
          for (uint32_t i = 0; i < name.Length; ++i) c[i] = upper[static_cast<uint8_t>(c[i])];
          airport_.Name = name;
          break;
        }
        case kFrequencyRecord:
          Frequency(offset, size);
          break;
        case kRunwayRecord:
          next = Runway(offset, next);
          break;
        case kRunwayEndRecord:
          RunwayEnd(offset);
          break;
        case kTaxiDataRecord:
          TaxiData(offset, size);
          break;
        default:
          return;
      }
      if (!next) return;
      offset = *next;
    }
  }

  struct CachedFrequency {
    int32_t Code = 0;
    uint8_t Length = 0;  // 0: empty slot
    char Text[11] = {};
  };

  const geo::MagVarGrid& grid_;
  std::span<const uint8_t> bytes_;
  int64_t size_ = 0;
  DecodedAirport airport_;
  double refLat_ = 0;
  double refLon_ = 0;
  double sinRef_ = 0;
  double cosRef_ = 1;
  double lambdaRef_ = 0;
  std::array<double, 4> sinCourse_{};
  std::array<double, 4> cosCourse_{};
  std::vector<TextRef> runwayNames_;  // "Runway " and the ident, per runway so far
  TextRef runwayIdent_;
  TextRef runwayEndIdent_;
  TextRef frequencyName_;
  int32_t parkingWord_ = 0;  // name code of the previous spot's word, 0 for none yet
  std::vector<int32_t> pathNumbers_;
  std::vector<int32_t> bucketHead_;
  std::vector<int32_t> bucketNext_;
  std::array<CachedFrequency, 1024> frequencies_{};
};

AirportRecord DecodedAirport::ToRecord() const {
  AirportRecord a;
  auto text = [this](TextRef ref) { return std::string(Text(ref)); };
  a.Ident = text(Ident);
  a.Name = text(Name);
  a.Latitude = Latitude;
  a.Longitude = Longitude;
  a.ElevationFt = ElevationFt;
  a.ClearanceFreq = text(ClearanceFreq);
  a.ClearanceName = text(ClearanceName);
  a.GroundFreq = text(GroundFreq);
  a.GroundName = text(GroundName);
  a.TowerFreq = text(TowerFreq);
  a.TowerName = text(TowerName);
  a.ApproachFreq = text(ApproachFreq);
  a.ApproachName = text(ApproachName);
  RunwayRecord& r = a.MainRunway;
  r.Ident = text(RunwayIdent);
  r.ThresholdLat = ThresholdLat;
  r.ThresholdLon = ThresholdLon;
  r.ThresholdElevationFt = ThresholdElevationFt;
  r.Length = RunwayLength;
  r.Width = RunwayWidth;
  r.MagHeading = MagHeading;
  r.IlsFrequency = text(IlsFrequency);
  a.TaxiPoints = TaxiPoints;
  a.TaxiPointCount = TaxiPointCount;
  for (const Parking& p : ParkingSpots) {
    ParkingRecord spot;
    if (p.Number >= 0)
      spot.Name = UpperParkingWords()[static_cast<size_t>(p.Word)] + " " + std::to_string(p.Number);
    spot.RadiusFt = p.RadiusFt;
    spot.Latitude = p.Latitude;
    spot.Longitude = p.Longitude;
    a.ParkingSpots.push_back(std::move(spot));
  }
  a.ParkingCount = ParkingCount;
  for (const Path& p : TaxiPaths)
    a.TaxiPaths.push_back(TaxiPath{p.PathType, p.StartPoint, p.EndPoint, text(p.Name)});
  a.TaxiPathCount = TaxiPathCount;
  return a;
}

size_t DecodedAirport::Write(RecordBytes& out) const {
  // The layout of WriteAirportRecord; an array without elements is two zero bytes.
  out.String16(Text(Ident));
  out.String16(Text(Name));
  const size_t nextRecordPos = 2 + Ident.Length + 2 + Name.Length;
  out.I32(0);
  out.F64(Latitude);
  out.F64(Longitude);
  out.I32(ElevationFt);
  for (TextRef t : {ClearanceFreq, ClearanceName, GroundFreq, GroundName, TowerFreq, TowerName, ApproachFreq,
                    ApproachName, RunwayIdent}) {
    out.String16(Text(t));
  }
  out.F64(ThresholdLat);
  out.F64(ThresholdLon);
  out.I32(ThresholdElevationFt);
  out.I32(RunwayLength);
  out.I32(RunwayWidth);
  out.I16(MagHeading);
  out.String16(Text(IlsFrequency));
  auto descriptor = [&out](size_t n) {
    if (n == 0) {
      out.I16(0);
      return false;
    }
    out.I16(1);
    out.I32(static_cast<int32_t>(n));
    out.I32(0);
    return true;
  };
  if (descriptor(TaxiPoints.size())) {
    for (const TaxiPoint& p : TaxiPoints) {
      out.I32(p.PointType);
      out.F64(p.Latitude);
      out.F64(p.Longitude);
    }
  }
  out.I16(TaxiPointCount);
  if (descriptor(ParkingSpots.size())) {
    const auto& words = UpperParkingWords();
    for (const Parking& p : ParkingSpots) {
      if (p.Number < 0) {
        out.I16(0);
      } else {
        const std::string& word = words[static_cast<size_t>(p.Word)];
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, p.Number).ptr;
        const auto length = static_cast<size_t>(end - digits);
        out.I16(static_cast<int16_t>(word.size() + 1 + length));
        out.Bytes(word);
        out.Bytes(" ");
        out.Bytes(std::string_view(digits, length));
      }
      out.I32(p.RadiusFt);
      out.F64(p.Latitude);
      out.F64(p.Longitude);
      out.U8(0);
    }
  }
  out.I16(ParkingCount);
  if (descriptor(TaxiPaths.size())) {
    for (const Path& p : TaxiPaths) {
      out.I32(p.PathType);
      out.I32(p.StartPoint);
      out.I32(p.EndPoint);
      out.String16(Text(p.Name));
    }
  }
  out.I16(TaxiPathCount);
  out.I16(0);  // the two lists kept while running, empty in the file
  out.I16(0);
  return nextRecordPos;
}

BglScan::BglScan(const geo::MagVarGrid& grid) : decoder_(std::make_unique<AirportDecoder>(grid)) {}

BglScan::~BglScan() = default;

void BglScan::Start(std::span<const uint8_t> bytes) {
  bytes_ = bytes;
  items_.clear();
  next_ = 0;
  pendingError_ = nullptr;
  try {
    const BglBytes bgl(bytes);
    Walk(bgl, items_).File();
  } catch (...) {
    pendingError_ = std::current_exception();
  }
}

template <typename OnAirport, typename OnAirspace>
bool BglScan::Run(Deadline deadline, const OnAirport& onAirport, const OnAirspace& onAirspace) {
  const bool timed = deadline != Deadline::max();
  const BglBytes bgl(bytes_);
  BglScanSink airspaceSink;
  airspaceSink.Airspace = onAirspace;
  bool first = true;
  while (next_ < items_.size()) {
    if (!first && timed && std::chrono::steady_clock::now() >= deadline) return false;
    first = false;
    const Item& item = items_[next_++];
    if (item.IdentOffset >= 0) {
      if (const DecodedAirport* airport = decoder_->Decode(bytes_, item)) onAirport(*airport);
    } else {
      try {
        ExtractAirspace(bgl, item.Offset, airspaceSink);
      } catch (const FileError&) {
        throw;
      } catch (const Error&) {
        // This airspace is dropped; the group goes on.
      }
    }
  }
  if (pendingError_) {
    std::exception_ptr error = pendingError_;
    pendingError_ = nullptr;
    std::rethrow_exception(error);
  }
  return true;
}

bool BglScan::Continue(const BglScanSink& sink, Deadline deadline) {
  return Run(
      deadline,
      [&sink](const DecodedAirport& airport) {
        if (!sink.Airport) return;
        AirportRecord record = airport.ToRecord();
        sink.Airport(record);
      },
      [&sink](const AirspaceRecord& airspace) {
        if (sink.Airspace) sink.Airspace(airspace);
      });
}

bool BglScan::Continue(const DecodedSink& sink, Deadline deadline) {
  return Run(
      deadline,
      [&sink](const DecodedAirport& airport) {
        if (sink.Airport) sink.Airport(airport);
      },
      [&sink](const AirspaceRecord& airspace) {
        if (sink.Airspace) sink.Airspace(airspace);
      });
}

void ScanBglFile(std::span<const uint8_t> bytes, const geo::MagVarGrid& grid, const BglScanSink& sink) {
  BglScan scan(grid);
  scan.Start(bytes);
  scan.Continue(sink);
}

}  // namespace skyvox::scenery
