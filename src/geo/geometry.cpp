#include "geo/geometry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "base/errors.h"
#include "base/rounding.h"

namespace skyvox::geo {
namespace {

// Conversions are written as they read (x * kPi / 180, d * 10800 / kPi): evaluation order changes the last
// bit, and the last bit decides courses that sit on a whole degree.
double Radians(double degrees) {
  return degrees * kPi / 180;
}

// Central angle in radians between two points given in radians. The haversine form while both differences
// are under one radian in size (as truncated toward zero); otherwise the spherical law of cosines, whose
// sum can round to exactly 1 for very close points and then gives 0.
double AngularDistance(double phi1, double lambda1, double phi2, double lambda2) {
  if (Fix(phi1 - phi2) == 0 && Fix(lambda2 - lambda1) == 0) {
    const double sinHalfDPhi = std::sin((phi1 - phi2) / 2);
    const double sinHalfDLambda = std::sin((lambda1 - lambda2) / 2);
    return 2 * ArcSin(std::sqrt(sinHalfDPhi * sinHalfDPhi +
                                std::cos(phi1) * std::cos(phi2) * sinHalfDLambda * sinHalfDLambda));
  }
  return ArcCos(std::sin(phi1) * std::sin(phi2) +
                std::cos(phi1) * std::cos(phi2) * std::cos(lambda1 - lambda2));
}

// NormalizeHeading's arithmetic on a wider type, for arc bounds computed as X - 210 .. X + 150. For any
// 16-bit X the corrected value fits 16 bits again.
int NormalizeWide(int h) {
  if (h > 360) h -= 360;
  if (h < 0) h += 360;
  return h;
}

bool WithinArc(int h, int fromHdg, int toHdg) {
  if (fromHdg == 0) fromHdg = 360;
  if (toHdg == 0) toHdg = 360;
  if (fromHdg == toHdg) return false;
  // Normalised ends meet toHdg within 360 steps; the bound only stops a walk that starts outside 1..360
  // and would never wrap.
  int i = fromHdg;
  for (int step = 0; step <= 360; ++step) {
    if (i == h) return true;
    i = (i == 360) ? 1 : i + 1;
    if (i == toHdg) return false;
  }
  return false;
}

struct Arc {
  int fromOffset;  // from the reference heading
  int toOffset;
  const char* sector;
  const char* clock;
};

// Tested in this order. Normalised, they tile the circle, so order only matters for headings that are not.
constexpr std::array<Arc, 8> kArcs = {{
    {-30, 30, "north", "twelve o'clock"},
    {30, 60, "northeast", "two o'clock"},
    {-60, -30, "northwest", "ten o'clock"},
    {60, 120, "east", "three o'clock"},
    {-120, -60, "west", "nine o'clock"},
    {120, 150, "southeast", "five o'clock"},
    {-150, -120, "southwest", "eight o'clock"},
    {-210, -150, "south", "six o'clock"},
}};

bool ArcHolds(int16_t& bearing, int reference, const Arc& arc) {
  const int fromHdg = NormalizeWide(reference + arc.fromOffset);
  const int toHdg = NormalizeWide(reference + arc.toOffset);
  if (bearing == 0) bearing = 360;
  return WithinArc(bearing, fromHdg, toHdg);
}

TargetPoint DestinationPoint(double lat, double lon, int16_t course, double distanceNm, int decimals) {
  const double phi1 = Radians(lat);
  const double lambda1 = -lon * kPi / 180;  // west positive inside the computation
  const double tc = Radians(course);
  const double d = distanceNm * kPi / 10800;

  const double phi = ArcSin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(tc));
  double lambda = lambda1;
  if (std::cos(phi) != 0) {
    lambda = FloatMod(lambda1 - ArcSin(std::sin(tc) * std::sin(d) / std::cos(phi)) + kPi, kTwoPi) - kPi;
  }
  TargetPoint point;
  point.Latitude = Round(phi * 180 / kPi, decimals);
  point.Longitude = Round(-lambda * 180 / kPi, decimals);
  return point;
}

// The sound forms: atan2 for every angle whose quadrant matters, arcsine arguments clamped into -1..1.
constexpr double kExactPi = std::numbers::pi;

double SoundRadians(double degrees) {
  return degrees * kExactPi / 180;
}

double SoundArcSin(double x) {
  return std::asin(std::clamp(x, -1.0, 1.0));
}

int16_t SoundTrueBearing(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = SoundRadians(lat1);
  const double phi2 = SoundRadians(lat2);
  const double dLambda = SoundRadians(lon2 - lon1);
  const double y = std::sin(dLambda) * std::cos(phi2);
  const double x = std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
  double degrees = std::atan2(y, x) * 180 / kExactPi;
  if (degrees < 0) degrees += 360;
  // Rounded up, as the courses always are; a course that is a whole degree up to rounding noise stays it.
  int16_t bearing = CInt(std::ceil(degrees - 1e-9));
  if (bearing <= 0) bearing = 360;
  return bearing;
}

TargetPoint SoundDestinationPoint(double lat, double lon, int16_t course, double distanceNm, int decimals) {
  const double phi1 = SoundRadians(lat);
  const double tc = SoundRadians(course);
  const double d = distanceNm * kExactPi / 10800;
  const double phi2 = SoundArcSin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(tc));
  const double dLambda =
      std::atan2(std::sin(tc) * std::sin(d) * std::cos(phi1), std::cos(d) - std::sin(phi1) * std::sin(phi2));
  // Longitude back into -180..180, 180 itself rather than -180 as the literal form has it.
  const double longitude = 180 - FloatMod(180 - (lon + dLambda * 180 / kExactPi), 360);
  TargetPoint point;
  point.Latitude = Round(phi2 * 180 / kExactPi, decimals);
  point.Longitude = Round(longitude, decimals);
  return point;
}

// The design's formulas misplace north, south and due east and cannot reach past 90 degrees of longitude,
// which sends pilots south of a runway to the north side of the pattern; corrected, the sound ones.
bool Sound(const CorrectedMode& mode) {
  return mode.Applies(Correction::SoundBearings);
}

}  // namespace

int16_t DistanceNm(double lat1, double lon1, double lat2, double lon2) {
  const double d = AngularDistance(Radians(lat1), Radians(lon1), Radians(lat2), Radians(lon2));
  double miles = d * 10800 / kPi;
  if (miles > 32767) miles = 32767;
  return CInt(miles);
}

int16_t DistanceFt(double lat1, double lon1, double lat2, double lon2) {
  const double d = AngularDistance(Radians(lat1), Radians(lon1), Radians(lat2), Radians(lon2));
  const double miles = Round(d * 10800 / kPi, 5);
  double feet = Round(miles * 6080, 5);
  if (feet > 32767) feet = 32767;
  return CInt(feet);
}

int16_t TrueBearing(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = Radians(lat1);
  const double lambda1 = Radians(lon1);
  const double phi2 = Radians(lat2);
  const double lambda2 = Radians(lon2);
  const double d = AngularDistance(phi1, lambda1, phi2, lambda2);
  // tc is the west-positive course; 360 - floor(degrees) turns it east-positive and rounds it up.
  double tc = 0;
  if (d != 0) {
    const double c = (std::sin(phi2) - std::sin(phi1) * std::cos(d)) / (std::cos(phi1) * std::sin(d));
    tc = std::sin(lambda2 - lambda1) < 0 ? ArcCos(c) : kTwoPi - ArcCos(c);
  }
  int16_t bearing = CInt(360 - Int(tc * 180 / kPi));
  return NormalizeHeading(bearing);
}

int16_t MagneticBearing(double lat1, double lon1, double lat2, double lon2, const MagVarGrid& grid) {
  return TrueToMagnetic(TrueBearing(lat1, lon1, lat2, lon2), lat1, lon1, grid);
}

TargetPoint DestinationPointNm(double lat, double lon, int16_t course, int16_t distance) {
  return DestinationPoint(lat, lon, course, distance, 5);
}

TargetPoint DestinationPointFt(double lat, double lon, int16_t course, int16_t distance) {
  return DestinationPoint(lat, lon, course, distance / 6080.0, 5);
}

TargetPoint DestinationPointMetres(double lat, double lon, int16_t course, double metres) {
  return DestinationPoint(lat, lon, course, std::fabs(metres) / 1852, 6);
}

int16_t TrueBearing(double lat1, double lon1, double lat2, double lon2, const CorrectedMode& mode) {
  return Sound(mode) ? SoundTrueBearing(lat1, lon1, lat2, lon2) : TrueBearing(lat1, lon1, lat2, lon2);
}

int16_t MagneticBearing(double lat1, double lon1, double lat2, double lon2, const MagVarGrid& grid,
                        const CorrectedMode& mode) {
  return TrueToMagnetic(TrueBearing(lat1, lon1, lat2, lon2, mode), lat1, lon1, grid);
}

TargetPoint DestinationPointNm(double lat, double lon, int16_t course, int16_t distance,
                               const CorrectedMode& mode) {
  return Sound(mode) ? SoundDestinationPoint(lat, lon, course, distance, 5)
                     : DestinationPointNm(lat, lon, course, distance);
}

TargetPoint DestinationPointFt(double lat, double lon, int16_t course, int16_t distance,
                               const CorrectedMode& mode) {
  return Sound(mode) ? SoundDestinationPoint(lat, lon, course, distance / 6080.0, 5)
                     : DestinationPointFt(lat, lon, course, distance);
}

int16_t TrueToMagnetic(int heading, double lat, double lon, const MagVarGrid& grid) {
  const double la = Round(lat, 0);
  double lo = Round(lon, 0);
  // Round(-0.4) is -0, which is not below 0: longitudes down to -0.5 stay in column 0.
  if (lo < 0) lo += 360;
  const int32_t index = CLng(lo * 181 + (la + 90));
  if (index < 0) {
    throw SubscriptError("TrueToMagnetic: grid index " + std::to_string(index) + " outside 0.." +
                         std::to_string(MagVarGrid::kSize - 1));
  }
  const double variation = Fix(grid.At(static_cast<size_t>(index)) * 360 / 65536.0);
  // 16-bit subtraction: a result outside the Integer range is an overflow, as the CInt calls are.
  int16_t magnetic = CInt(static_cast<double>(CInt(heading) - CInt(variation)));
  return NormalizeHeading(magnetic);
}

int16_t NormalizeHeading(int16_t& h) {
  h = static_cast<int16_t>(NormalizeWide(h));
  return h;
}

bool IsHeadingWithinArc(int16_t& h, int16_t fromHdg, int16_t toHdg) {
  if (h == 0) h = 360;
  return WithinArc(h, fromHdg, toHdg);
}

std::string RunwaySector(int16_t bearing, int16_t runwayHeading) {
  for (const Arc& arc : kArcs) {
    if (ArcHolds(bearing, runwayHeading, arc)) return arc.sector;
  }
  return "";
}

std::string ClockPosition(int16_t bearing, int16_t ownHeading) {
  std::string word;
  for (const Arc& arc : kArcs) {
    if (ArcHolds(bearing, ownHeading, arc)) word = arc.clock;
  }
  return word;
}

std::string WaypointName(std::string_view sectorWord) {
  std::string name(sectorWord);
  if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return name;
}

double ArcSin(double x) {
  if (x < -1 || x > 1) return 0;
  return 2 * std::atan(x / (1 + std::sqrt(1 - x * x)));
}

double ArcCos(double x) {
  if (x < -1 || x > 1) return 0;
  if (x >= 0) return 2 * std::atan(std::sqrt((1 - x) / (1 + x)));
  return kPi - 2 * std::atan(std::sqrt((1 + x) / (1 - x)));
}

double FloatMod(double a, double b) {
  double r = a - b * Int(a / b);
  if (r < 0) r += b;
  return r;
}

int32_t HeadingFromPacked(int32_t x) {
  const int32_t field = ShiftRight(x, 2) & 1023;
  return CLng(field / 1024.0 * 360);
}

double ShiftLeft(int32_t x, int32_t n) {
  return x * std::pow(2.0, n);
}

int32_t ShiftRight(int32_t x, int32_t n) {
  const int32_t divisor = CLng(std::pow(2.0, n));
  if (divisor == 0) {
    throw DivisionByZeroError("ShiftRight: division by zero (2^" + std::to_string(n) + " rounds to 0)");
  }
  // C++ integer division truncates toward zero, as required; the divisor is positive, so no overflow.
  return x / divisor;
}

}  // namespace skyvox::geo
