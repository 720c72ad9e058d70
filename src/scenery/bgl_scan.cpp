#include "scenery/bgl_scan.h"

#include <limits>

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
#include "scenery/bgl_format.h"

namespace skyvox::scenery {
namespace {

using namespace bgl_format;

// std::floor(x) for |x| < 2^52, a whole x (-0 too) returned as it is.
double FloorSmall(double x) {
  const auto t = static_cast<double>(static_cast<int64_t>(x));
  if (t == x) return x;
  return t > x ? t - 1 : t;
}

// CLng(x) and CInt(x): half to even, the conversion worked out here for the values that fit and left to
// CLng (CInt) for its error otherwise.
template <class Whole>
Whole ToWhole(double x, Whole (*checked)(double)) {
  constexpr double kLow = static_cast<double>(std::numeric_limits<Whole>::min());
  constexpr double kHigh = static_cast<double>(std::numeric_limits<Whole>::max());
  if (!(x > kLow && x < kHigh)) return checked(x);
  const double down = FloorSmall(x);
  const double diff = x - down;
  const auto whole = static_cast<int64_t>(down);
  return static_cast<Whole>(diff < 0.5 ? whole : diff > 0.5 ? whole + 1 : whole + (whole & 1));
}
int32_t ToLong(double x) {
  return ToWhole<int32_t>(x, CLng);
}
int16_t ToInteger(double x) {
  return ToWhole<int16_t>(x, CInt);
}

int32_t FeetFromMetres(double metres) {
  return ToLong(metres / 0.3048);
}

// Round(x, decimals) with its scale, 10 to the decimals, written out.
template <int Decimals>
double RoundTo(double x) {
  static_assert(Decimals == 5 || Decimals == 6);
  constexpr double scale = Decimals == 5 ? 1e5 : 1e6;
  if (!std::isfinite(x)) return x;
  const double scaled = x * scale;
  if (!std::isfinite(scaled)) return x;
  const double down = std::fabs(scaled) < 0x1p52 ? FloorSmall(scaled) : std::floor(scaled);
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
void AppendNumber(TextBuffer& text, int64_t v) {
  if (v >= 0 && v < 1000) {
    char* at = text.Extend(v < 10 ? 1 : v < 100 ? 2 : 3);
    if (v >= 100) *at++ = static_cast<char>('0' + v / 100);
    if (v >= 10) *at++ = static_cast<char>('0' + v / 10 % 10);
    *at = static_cast<char>('0' + v % 10);
    return;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  text.Append(std::string_view(digits, static_cast<size_t>(end - digits)));
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

namespace {

// FrequencyText(code) into out (room for 16); its length. Throws FrequencyText's FormatError for a code
// with a nibble above 9.
size_t FormatFrequency(int32_t code, char* out) {
  const auto bits = static_cast<uint32_t>(code);
  uint32_t value = 0;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const uint32_t digit = (bits >> shift) & 0xF;
    if (digit > 9) FrequencyText(code);  // throws its FormatError
    value = value * 10 + digit;
  }
  // value / 10000 with up to 15 significant digits and no trailing zeros: at most 8 digits, so exact.
  if (value == 0) {
    out[0] = '0';
    return 1;
  }
  char* end = std::to_chars(out, out + 16, value / 10000).ptr;
  uint32_t fraction = value % 10000;
  if (fraction == 0) return static_cast<size_t>(end - out);
  end[0] = '.';
  for (int i = 4; i >= 1; --i) {
    end[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  size_t length = 5;
  while (end[length - 1] == '0') --length;
  return static_cast<size_t>(end - out) + length;
}

}  // namespace

void AppendFrequencyText(std::string& text, int32_t code) {
  char out[16];
  text.append(out, FormatFrequency(code, out));
}

void TextBuffer::Grow(size_t n) {
  const size_t capacity = std::max(size_ + n, std::max<size_t>(capacity_ * 2, 256));
  auto data = std::make_unique_for_overwrite<char[]>(capacity + kBlockSlack);
  if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

namespace {

constexpr double kOrdinaryLatitude = 80;   // degrees
constexpr double kOrdinaryOffset = 10000;  // metres
constexpr double kBoundaryMargin = 1e-3;   // in units of the 6th decimal: 1e-9 degrees

// The value RoundTo<6> gives for every number within 1e-9 degrees of `degrees` (false when a rounding
// boundary lies that near).
inline bool RoundedClear(double degrees, double& rounded) {
  const double scaled = degrees * 1e6;
  const double down = FloorSmall(scaled);
  const double diff = scaled - down;
  rounded = (diff < 0.5 ? down : down + 1.0) / 1e6;
  return std::fabs(diff - 0.5) > kBoundaryMargin;
}

}  // namespace

OffsetPlacer::OffsetPlacer() {
  for (int32_t course : {0, 90, 180, 270}) {
    const double tc = static_cast<double>(static_cast<int16_t>(course)) * geo::kPi / 180;
    sinCourse_[course / 90] = std::sin(tc);
    cosCourse_[course / 90] = std::cos(tc);
  }
  coursesExact_ = cosCourse_[0] == 1 && cosCourse_[2] == -1 && sinCourse_[1] == 1 && sinCourse_[3] == -1;
  SetReference(0, 0);
}

void OffsetPlacer::SetReference(double lat, double lon) {
  // As DestinationPoint works them out from the reference.
  refLat_ = lat;
  refLon_ = lon;
  const double phi1 = lat * geo::kPi / 180;
  sinRef_ = std::sin(phi1);
  cosRef_ = std::cos(phi1);
  lambdaRef_ = -lon * geo::kPi / 180;
  ordinary_ = coursesExact_ && std::fabs(lat) <= kOrdinaryLatitude && std::fabs(lon) <= 180;
}

bool OffsetPlacer::ClosedLongitude(double m, size_t c, double& lon) const {
  // Along the great circle leaving due east or west: sin(phi) = sin(phi1) cos(d), and the longitude
  // changes by asin(sin(d) / cos(phi)).
  // Constants as products rather than quotients: a last bit here is far inside the margin.
  constexpr double kRadiansPerMetre = geo::kPi / 1852 / 10800;
  constexpr double kDegreesPerRadian = 180 / geo::kPi;
  const double d = m * kRadiansPerMetre;
  const double d2 = d * d;
  const double sinD = d * (1 - d2 * (1.0 / 6) * (1 - d2 * (1.0 / 20) * (1 - d2 * (1.0 / 42))));
  const double cosD = 1 - d2 * 0.5 * (1 - d2 * (1.0 / 12) * (1 - d2 * (1.0 / 30) * (1 - d2 * (1.0 / 56))));
  const double sinPhi = sinRef_ * cosD;
  const double y = sinD / std::sqrt(1 - sinPhi * sinPhi);
  const double y2 = y * y;
  const double change = y * (1 + y2 * (1.0 / 6 + y2 * (3.0 / 40 + y2 * (5.0 / 112 + y2 * (35.0 / 1152)))));
  const double a = lambdaRef_ - sinCourse_[c] * change + geo::kPi;
  if (!(a > 1e-6 && a < geo::kTwoPi - 1e-6)) return false;  // near the 180th meridian
  return RoundedClear(-(a - geo::kPi) * kDegreesPerRadian, lon);
}

bool OffsetPlacer::ClosedLatitude(double m, size_t c, double& lat) const {
  // Along the meridian the latitude changes by the arc itself: m / 1852 minutes.
  constexpr double kDegreesPerMetre = 1.0 / 1852 / 60;
  return RoundedClear(refLat_ + (c == 0 ? m : -m) * kDegreesPerMetre, lat);
}

double OffsetPlacer::Longitude(double m, size_t c) const {
  const double d = m / 1852 * geo::kPi / 10800;
  const double phi = geo::ArcSin(sinRef_ * std::cos(d) + cosRef_ * std::sin(d) * cosCourse_[c]);
  double lambda = lambdaRef_;
  if (std::cos(phi) != 0) {
    lambda = geo::FloatMod(lambdaRef_ - geo::ArcSin(sinCourse_[c] * std::sin(d) / std::cos(phi)) + geo::kPi,
                           geo::kTwoPi) -
             geo::kPi;
  }
  return RoundTo<6>(-lambda * 180 / geo::kPi);
}

double OffsetPlacer::Latitude(double m, size_t c) const {
  const double d = m / 1852 * geo::kPi / 10800;
  const double phi = geo::ArcSin(sinRef_ * std::cos(d) + cosRef_ * std::sin(d) * cosCourse_[c]);
  return RoundTo<6>(phi * 180 / geo::kPi);
}

void OffsetPlacer::Place(float x, float z, double& lat, double& lon) const {
  if (!std::isfinite(x) || !std::isfinite(z)) {
    // Not a distance: the general form, whose arithmetic on the value decides the result's bits.
    lon = x == 0 ? refLon_ : geo::DestinationPointMetres(refLat_, refLon_, x > 0 ? 90 : 270, x).Longitude;
    lat = z == 0 ? refLat_ : geo::DestinationPointMetres(refLat_, refLon_, z > 0 ? 0 : 180, z).Latitude;
    return;
  }
  // Courses as DestinationPointMetres is given them: 90 or 270 for x, 0 or 180 for z.
  const double mx = std::fabs(static_cast<double>(x));
  const double mz = std::fabs(static_cast<double>(z));
  const size_t cx = x > 0 ? 1 : 3;
  const size_t cz = z > 0 ? 0 : 2;
  const bool closedX = x != 0 && ordinary_ && mx <= kOrdinaryOffset && ClosedLongitude(mx, cx, lon);
  const bool closedZ = z != 0 && ordinary_ && mz <= kOrdinaryOffset && ClosedLatitude(mz, cz, lat);
  if (!closedX) lon = x == 0 ? refLon_ : Longitude(mx, cx);
  if (!closedZ) lat = z == 0 ? refLat_ : Latitude(mz, cz);
}

// The walk of the section chains, as the straightforward scan walks them, noting the items to decode
// instead of decoding them.
class BglScan::Walk {
 public:
  Walk(std::span<const uint8_t> bytes, std::vector<Item>& items)
      : bgl_(bytes), bytes_(bytes), items_(items) {}

  void File() {
    if (Int32(144) != 1) return;
    const int32_t airports = Int32(156);
    const int32_t airspaces = Int32(164);
    if (airports > 0) {
      Require(airports, 8);
      AirportList(airports);
    }
    if (airspaces > 0) {
      Require(airspaces, 8);
      AirspaceSection(airspaces);
    }
  }

 private:
  // BglBytes' reads, checked here and left to it for the error.
  void Require(int64_t offset, int64_t length) const {
    const auto size = static_cast<int64_t>(bytes_.size());
    if (offset < 0 || length < 0 || offset > size || length > size - offset) bgl_.Require(offset, length);
  }
  int32_t Int32(int64_t offset) const {
    Require(offset, 4);
    const uint8_t* p = bytes_.data() + offset;
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
  }

  std::optional<int64_t> AirportList(int64_t offset) {
    while (Int32(offset) == kAirportListType) {
      const int32_t size = Int32(offset + 4);
      const int32_t n = Int32(offset + 20);
      int64_t p = 0;
      for (int32_t i = 0; i < n; ++i) {
        const int64_t e = offset + 24 + p;
        const int32_t type = Int32(e);
        const int32_t entrySize = Int32(e + 4);
        const int32_t kind = Int32(e + 8);
        const int32_t d = Int32(e + 12);
        if (type == kAirportEntryType) {
          const int64_t identLength = static_cast<int64_t>(entrySize) - 8;
          if (identLength > 0) Require(e + 16, identLength);
          Require(d, 16);
          const int32_t h0 = Int32(d);
          const int32_t h2 = Int32(static_cast<int64_t>(d) + 8);
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
      const int32_t type = Int32(offset);
      const int32_t size = Int32(offset + 4);
      if (type == kBoundaryRecord) {
        // A value that cannot be read drops the airspace, as a failure inside one does.
        try {
          if (Int32(offset + 8) == kAirspaceValue) items_.push_back(Item{offset, -1, 0});
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
      const int32_t type = Int32(offset);
      if (type == kAirportListType) {
        const auto after = AirportList(offset);
        if (!after) return;
        offset = *after;
        continue;
      }
      if (type != kBoundaryRecord) return;
      const int32_t size = Int32(offset + 4);
      if (Int32(offset + 8) == kBoundaryGroup) BoundaryGroup(offset + 16);
      const auto next = NextSibling(offset, size);
      if (!next) return;
      offset = *next;
    }
  }

  const BglBytes bgl_;
  std::span<const uint8_t> bytes_;
  std::vector<Item>& items_;
};

// One airport's records into a DecodedAirport kept from one airport to the next, field for field as
// the straightforward AirportWalk decodes them into an AirportRecord.
class BglScan::AirportDecoder {
 public:
  explicit AirportDecoder(const geo::MagVarGrid& grid) : grid_(grid) {}

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
    a.texts_.Clear();
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
    placer_.SetReference(0, 0);
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
    return TextRef{static_cast<uint32_t>(from), static_cast<uint32_t>(airport_.texts_.Size() - from)};
  }

  [[noreturn]] void OutOfFile(int64_t offset, int64_t length) const {
    BglBytes(bytes_).Require(offset, length);
    throw ReadPastEnd("read outside the file");  // not reached: Require has thrown
  }
  void Require(int64_t offset, int64_t length) const {
    if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) OutOfFile(offset, length);
  }
  int32_t Int32(int64_t offset) const {
    if (offset < 0 || offset > size_ - 4) OutOfFile(offset, 4);
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
    TextBuffer& texts = airport_.texts_;
    const size_t from = texts.Size();
    char* out = texts.Extend(static_cast<size_t>(length));
    const uint8_t* p = bytes_.data() + offset;
    size_t kept = 0;
    int64_t i = 0;
    // Eight bytes at a time while they hold no zero byte, or only zero bytes (the padding after a text).
    for (; i + 8 <= length; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (word == 0) continue;
      if (((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0) break;
      std::memcpy(out + kept, &word, 8);
      kept += 8;
    }
    for (; i < length; ++i) {
      out[kept] = static_cast<char>(p[i]);
      kept += p[i] != 0;
    }
    texts.Truncate(from + kept);
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
    CachedFrequency& cached = frequencies_[(static_cast<uint32_t>(code) * 2654435761u) >> 20];
    if (cached.Length == 0 || cached.Code != code) {
      char text[16];
      const size_t length = FormatFrequency(code, text);
      cached.Code = code;
      cached.Length = static_cast<uint8_t>(length);
      std::memcpy(cached.Text, text, sizeof cached.Text);
    }
    TextBuffer& texts = airport_.texts_;
    const size_t from = texts.Size();
    std::memcpy(texts.Extend(cached.Length), cached.Text, cached.Length);
    return TextFrom(from);
  }

  // The runway ident of a number and designator code into ident; ident is left as it was when either
  // is out of the named range.
  void RunwayIdent(int32_t number, int32_t designator, TextRef& ident) {
    if (number > 36 || designator > 4 || designator < 0) return;
    const size_t from = airport_.texts_.Size();
    AppendNumber(airport_.texts_, number);
    airport_.texts_.Append(kDesignators[static_cast<size_t>(designator)]);
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
      placer_.Place(SingleUnchecked(e + 4), SingleUnchecked(e + 8), p.Latitude, p.Longitude);
    }
  }

  void ParkingSpots(int64_t first, int32_t n, int32_t s) {
    RequireElements(first, n, s);
    airport_.ParkingCount = ElementCount(n);
    airport_.ParkingSpots.assign(static_cast<size_t>(n), DecodedAirport::Parking{});
    for (int32_t i = 0; i < n; ++i) {
      const int64_t e = first + static_cast<int64_t>(i) * s;
      DecodedAirport::Parking& p = airport_.ParkingSpots[static_cast<size_t>(i)];
      placer_.Place(SingleUnchecked(e), SingleUnchecked(e + 4), p.Latitude, p.Longitude);
      p.RadiusFt = FeetFromMetres(SingleUnchecked(e + 8));
      // ParkingName: the last five hex digits hold 128 * number + name code.
      const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(Int32Unchecked(e + 16)) & 0xFFFFF);
      const int32_t number = ToLong(v / 128.0);
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
      const size_t from = airport_.texts_.Size();
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
    TextBuffer& texts = airport_.texts_;
    const size_t from = texts.Size();
    char* name = texts.Extend(7 + runwayIdent_.Length);  // the ident is copied from the same buffer
    std::memcpy(name, "Runway ", 7);
    std::memcpy(name + 7, texts.Data() + runwayIdent_.Offset, runwayIdent_.Length);
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
      a.MagHeading = geo::TrueToMagnetic(ToInteger(heading), a.ThresholdLat, a.ThresholdLon, grid_);
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
          placer_.SetReference(lat, lon);
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
          char* c = airport_.texts_.Data() + name.Offset;
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
    char Text[16] = {};
  };

  const geo::MagVarGrid& grid_;
  std::span<const uint8_t> bytes_;
  int64_t size_ = 0;
  DecodedAirport airport_;
  OffsetPlacer placer_;
  std::vector<TextRef> runwayNames_;  // "Runway " and the ident, per runway so far
  TextRef runwayIdent_;
  TextRef runwayEndIdent_;
  TextRef frequencyName_;
  int32_t parkingWord_ = 0;  // name code of the previous spot's word, 0 for none yet
  std::vector<int32_t> pathNumbers_;
  std::vector<int32_t> bucketHead_;
  std::vector<int32_t> bucketNext_;
  std::array<CachedFrequency, 4096> frequencies_{};
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

namespace {

// The upper-case parking words as blocks of 16 bytes, for RecordCursor::Bytes.
struct ParkingWordBlock {
  char Text[16 + kBlockSlack] = {};
  size_t Length = 0;
};

const std::array<ParkingWordBlock, 38>& ParkingWordBlocks() {
  static const std::array<ParkingWordBlock, 38> blocks = [] {
    std::array<ParkingWordBlock, 38> b{};
    for (size_t code = 0; code < b.size(); ++code) {
      const std::string& word = UpperParkingWords()[code];
      b[code].Length = std::min(word.size(), size_t{16});
      std::memcpy(b[code].Text, word.data(), b[code].Length);
    }
    return b;
  }();
  return blocks;
}

}  // namespace

size_t DecodedAirport::Write(RecordBytes& out) const {
  // The layout of WriteAirportRecord; an array without elements is two zero bytes. The size first,
  // checking the texts in their order, then every field into the room made for them.
  const auto& words = ParkingWordBlocks();
  size_t size = 4 + 8 + 8 + 4 + 8 + 8 + 4 + 4 + 4 + 2;
  for (TextRef t : {Ident, Name, ClearanceFreq, ClearanceName, GroundFreq, GroundName, TowerFreq, TowerName,
                    ApproachFreq, ApproachName, RunwayIdent, IlsFrequency}) {
    RecordBytes::CheckText(t.Length);
    size += 2 + t.Length;
  }
  auto arraySize = [](size_t n) { return n == 0 ? size_t{2} : size_t{10}; };
  size += arraySize(TaxiPoints.size()) + TaxiPoints.size() * 20 + 2;
  size += arraySize(ParkingSpots.size()) + 2;
  char digits[32];
  for (const Parking& p : ParkingSpots) {
    size += 2 + 4 + 8 + 8 + 1;
    if (p.Number >= 0) {
      const auto length = static_cast<size_t>(std::to_chars(digits, digits + 16, p.Number).ptr - digits);
      size += words[static_cast<size_t>(p.Word)].Length + 1 + length;
    }
  }
  size += arraySize(TaxiPaths.size()) + 2;
  for (const Path& p : TaxiPaths) {
    RecordBytes::CheckText(p.Name.Length);
    size += 12 + 2 + p.Name.Length;
  }
  size += 2 + 2;

  RecordCursor at(out.Extend(size));
  const char* texts = texts_.Data();
  auto text = [&at, texts](TextRef t) { at.String16(texts + t.Offset, t.Length); };
  auto descriptor = [&at](size_t n) {
    if (n == 0) {
      at.I16(0);
      return;
    }
    at.I16(1);
    at.I32(static_cast<int32_t>(n));
    at.I32(0);
  };
  text(Ident);
  text(Name);
  at.I32(0);  // NextRecordPos
  at.F64(Latitude);
  at.F64(Longitude);
  at.I32(ElevationFt);
  for (TextRef t : {ClearanceFreq, ClearanceName, GroundFreq, GroundName, TowerFreq, TowerName, ApproachFreq,
                    ApproachName, RunwayIdent}) {
    text(t);
  }
  at.F64(ThresholdLat);
  at.F64(ThresholdLon);
  at.I32(ThresholdElevationFt);
  at.I32(RunwayLength);
  at.I32(RunwayWidth);
  at.I16(MagHeading);
  text(IlsFrequency);
  descriptor(TaxiPoints.size());
  for (const TaxiPoint& p : TaxiPoints) {
    at.I32(p.PointType);
    at.F64(p.Latitude);
    at.F64(p.Longitude);
  }
  at.I16(TaxiPointCount);
  descriptor(ParkingSpots.size());
  for (const Parking& p : ParkingSpots) {
    if (p.Number < 0) {
      at.I16(0);
    } else {
      const ParkingWordBlock& word = words[static_cast<size_t>(p.Word)];
      const auto length = static_cast<size_t>(std::to_chars(digits, digits + 16, p.Number).ptr - digits);
      at.I16(static_cast<int16_t>(word.Length + 1 + length));
      at.Bytes(word.Text, word.Length);
      at.U8(' ');
      at.Bytes(digits, length);
    }
    at.I32(p.RadiusFt);
    at.F64(p.Latitude);
    at.F64(p.Longitude);
    at.U8(0);
  }
  at.I16(ParkingCount);
  descriptor(TaxiPaths.size());
  for (const Path& p : TaxiPaths) {
    at.I32(p.PathType);
    at.I32(p.StartPoint);
    at.I32(p.EndPoint);
    text(p.Name);
  }
  at.I16(TaxiPathCount);
  at.I16(0);  // the two lists kept while running, empty in the file
  at.I16(0);
  return 2 + Ident.Length + 2 + Name.Length;
}

BglScan::BglScan(const geo::MagVarGrid& grid) : decoder_(std::make_unique<AirportDecoder>(grid)) {}

BglScan::~BglScan() = default;

void BglScan::Start(std::span<const uint8_t> bytes) {
  bytes_ = bytes;
  items_.clear();
  next_ = 0;
  pendingError_ = nullptr;
  try {
    Walk(bytes, items_).File();
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
