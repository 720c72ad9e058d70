#include "geo/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/corrected_mode.h"
#include "base/errors.h"
#include "geo/mag_var_grid.h"
#include "support/temp_dir.h"
#include "support/vectors.h"

namespace skyvox::geo {
namespace {

// ---------------------------------------------------------------------------------------------------------
// Independent references: long double, the full-precision pi, and other formulas (atan2 forms) than the
// code under test. They give the exact geometry; the tests then apply the documented rounding by hand.

const long double kTruePi = std::acos(-1.0L);

long double Rad(long double degrees) {
  return degrees * kTruePi / 180;
}

long double ReferenceDistanceNm(long double lat1, long double lon1, long double lat2, long double lon2) {
  const long double a =
      std::pow(std::sin(Rad(lat2 - lat1) / 2), 2) +
      std::cos(Rad(lat1)) * std::cos(Rad(lat2)) * std::pow(std::sin(Rad(lon2 - lon1) / 2), 2);
  return 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a)) * 10800 / kTruePi;
}

// Exact initial course, east positive, in [0, 360).
long double ReferenceCourse(long double lat1, long double lon1, long double lat2, long double lon2) {
  const long double dLon = Rad(lon2 - lon1);
  const long double y = std::sin(dLon) * std::cos(Rad(lat2));
  const long double x =
      std::cos(Rad(lat1)) * std::sin(Rad(lat2)) - std::sin(Rad(lat1)) * std::cos(Rad(lat2)) * std::cos(dLon);
  long double course = std::atan2(y, x) * 180 / kTruePi;
  if (course < 0) course += 360;
  return course;
}

// Sector index of a bearing relative to a reference heading, by modular arithmetic:
// 0 north, 1 northeast, 2 northwest, 3 east, 4 west, 5 southeast, 6 southwest, 7 south.
int ReferenceSector(int bearing, int reference) {
  const int rel = ((bearing - reference) % 360 + 360) % 360;
  if (rel >= 330 || rel < 30) return 0;
  if (rel < 60) return 1;
  if (rel < 120) return 3;
  if (rel < 150) return 5;
  if (rel < 210) return 7;
  if (rel < 240) return 6;
  if (rel < 300) return 4;
  return 2;
}

const char* const kSectorWords[] = {"north", "northeast", "northwest", "east",
                                    "west",  "southeast", "southwest", "south"};
const char* const kClockWords[] = {"twelve o'clock", "two o'clock",  "ten o'clock",   "three o'clock",
                                   "nine o'clock",   "five o'clock", "eight o'clock", "six o'clock"};

// Deterministic pseudo-random numbers for the sweeps.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : state_(seed) {}
  double Uniform(double lo, double hi) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + (hi - lo) * static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }

 private:
  uint64_t state_;
};

struct Leg {
  double lat1, lon1, lat2, lon2;
};

// Pairs of points at several scales: short legs (haversine), and legs whose longitude difference exceeds
// one radian (law of cosines). Kept away from the poles and from antipodes.
std::vector<Leg> SweepLegs() {
  std::vector<Leg> legs;
  Lcg rng(20020101);
  const double scales[] = {0.05, 0.7, 8.0, 40.0, 56.0, 60.0, 100.0};
  for (double scale : scales) {
    for (int i = 0; i < 150; ++i) {
      const double lat1 = rng.Uniform(-70, 70);
      const double lon1 = rng.Uniform(-180, 180);
      const double lat2 = std::clamp(lat1 + rng.Uniform(-scale, scale) / 2, -70.0, 70.0);
      const double lon2 = lon1 + rng.Uniform(-scale, scale);
      legs.push_back({lat1, lon1, lat2, lon2});
    }
  }
  return legs;
}

::testing::Message Trace(const Leg& l) {
  return ::testing::Message() << l.lat1 << "," << l.lon1 << " -> " << l.lat2 << "," << l.lon2;
}

void SetVariation(MagVarGrid& grid, int lonColumn, int lat, int16_t raw) {
  grid.Set(static_cast<size_t>(lonColumn * 181 + lat + 90), raw);
}

// A grid with one cell loaded from the first three fields of a case (column, latitude, raw value).
MagVarGrid OneCell(const testing::Vector& v) {
  MagVarGrid grid;
  SetVariation(grid, static_cast<int>(v.I(0)), static_cast<int>(v.I(1)), static_cast<int16_t>(v.I(2)));
  return grid;
}

int16_t H(const testing::Vector& v, size_t i) {
  return static_cast<int16_t>(v.I(i));
}

// The hand-worked cases of tests/data/vectors/geometry.txt, one loop per function.
TEST(Geometry, HandWorkedVectors) {
  const testing::Vectors vectors("geometry.txt", {{"distance-nm", "nnnni"},
                                                  {"distance-ft", "nnnni"},
                                                  {"true-bearing", "nnnni"},
                                                  {"magnetic-bearing", "iiinnnni"},
                                                  {"destination-nm", "nniinn"},
                                                  {"destination-ft", "iinn"},
                                                  {"true-to-magnetic", "iiiinni"},
                                                  {"normalize", "ii"},
                                                  {"within-arc", "iiii"},
                                                  {"runway-sector", "iiw"},
                                                  {"clock", "iit"},
                                                  {"waypoint-name", "ww"},
                                                  {"float-mod", "nnn"},
                                                  {"heading-from-packed", "ii"},
                                                  {"shift-left", "iin"},
                                                  {"shift-right", "iii"}});
  for (const auto& v : vectors["distance-nm"])
    EXPECT_EQ(DistanceNm(v.N(0), v.N(1), v.N(2), v.N(3)), v.I(4)) << v.where;
  for (const auto& v : vectors["distance-ft"])
    EXPECT_EQ(DistanceFt(v.N(0), v.N(1), v.N(2), v.N(3)), v.I(4)) << v.where;
  for (const auto& v : vectors["true-bearing"])
    EXPECT_EQ(TrueBearing(v.N(0), v.N(1), v.N(2), v.N(3)), v.I(4)) << v.where;
  for (const auto& v : vectors["magnetic-bearing"])
    EXPECT_EQ(MagneticBearing(v.N(3), v.N(4), v.N(5), v.N(6), OneCell(v)), v.I(7)) << v.where;
  // Texts empty, Value 0; the coordinates exactly the nearest doubles to five decimals.
  for (const auto& v : vectors["destination-nm"])
    EXPECT_EQ(DestinationPointNm(v.N(0), v.N(1), H(v, 2), H(v, 3)), (TargetPoint{"", "", v.N(4), v.N(5), 0}))
        << v.where;
  for (const auto& v : vectors["destination-ft"]) {
    const TargetPoint p = DestinationPointFt(0, 0, H(v, 0), H(v, 1));
    EXPECT_DOUBLE_EQ(p.Latitude, v.N(2)) << v.where;
    EXPECT_DOUBLE_EQ(p.Longitude, v.N(3)) << v.where;
  }
  for (const auto& v : vectors["true-to-magnetic"])
    EXPECT_EQ(TrueToMagnetic(H(v, 3), v.N(4), v.N(5), OneCell(v)), v.I(6)) << v.where;
  for (const auto& v : vectors["normalize"]) {
    int16_t h = H(v, 0);
    EXPECT_EQ(NormalizeHeading(h), v.I(1)) << v.where;
    EXPECT_EQ(h, v.I(1)) << v.where << ": written back";
  }
  // The heading is written back as 360 when it was 0, and only then.
  for (const auto& v : vectors["within-arc"]) {
    int16_t h = H(v, 0);
    EXPECT_EQ(IsHeadingWithinArc(h, H(v, 1), H(v, 2)), v.I(3) == 1) << v.where;
    EXPECT_EQ(h, v.I(0) == 0 ? 360 : v.I(0)) << v.where << ": written back";
  }
  for (const auto& v : vectors["runway-sector"]) EXPECT_EQ(RunwaySector(H(v, 0), H(v, 1)), v.W(2)) << v.where;
  for (const auto& v : vectors["clock"]) EXPECT_EQ(ClockPosition(H(v, 0), H(v, 1)), v.W(2)) << v.where;
  for (const auto& v : vectors["waypoint-name"]) EXPECT_EQ(WaypointName(v.W(0)), v.W(1)) << v.where;
  for (const auto& v : vectors["float-mod"]) EXPECT_EQ(FloatMod(v.N(0), v.N(1)), v.N(2)) << v.where;
  for (const auto& v : vectors["heading-from-packed"])
    EXPECT_EQ(HeadingFromPacked(static_cast<int32_t>(v.I(0))), v.I(1)) << v.where;
  for (const auto& v : vectors["shift-left"])
    EXPECT_EQ(ShiftLeft(static_cast<int32_t>(v.I(0)), static_cast<int32_t>(v.I(1))), v.N(2)) << v.where;
  for (const auto& v : vectors["shift-right"])
    EXPECT_EQ(ShiftRight(static_cast<int32_t>(v.I(0)), static_cast<int32_t>(v.I(1))), v.I(2)) << v.where;
}

// ---------------------------------------------------------------------------------------------------------
// Distances and courses

TEST(DistanceAndBearing, MatchIndependentFormulasOnBothBranches) {
  int miles = 0, courses = 0;
  for (const Leg& leg : SweepLegs()) {
    SCOPED_TRACE(Trace(leg));
    const long double exact = ReferenceDistanceNm(leg.lat1, leg.lon1, leg.lat2, leg.lon2);
    if (std::fabs(exact - std::floor(exact) - 0.5L) >= 1e-6L) {  // else too close to a rounding edge
      ++miles;
      EXPECT_EQ(DistanceNm(leg.lat1, leg.lon1, leg.lat2, leg.lon2), static_cast<int>(std::llround(exact)));
    }
    const long double course = ReferenceCourse(leg.lat1, leg.lon1, leg.lat2, leg.lon2);
    const long double fraction = course - std::floor(course);
    if (fraction >= 1e-6L && fraction <= 1 - 1e-6L) {
      ++courses;
      EXPECT_EQ(TrueBearing(leg.lat1, leg.lon1, leg.lat2, leg.lon2), static_cast<int>(std::ceil(course)));
    }
  }
  EXPECT_GT(miles, 1000);
  EXPECT_GT(courses, 1000);
}

TEST(Distance, NonFiniteCoordinatesThrowOverflow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(DistanceNm(nan, 0, 1, 1), OverflowError);
  EXPECT_THROW(DistanceFt(0, inf, 1, 1), OverflowError);
  EXPECT_THROW(TrueBearing(0, 0, nan, 1), OverflowError);
}

TEST(TrueBearing, MeridianLegsTakeTheEastwardBranch) {
  // With no longitude difference, sin(0) is not below 0, so tc = 2 pi - ArcCos(c) with c within a few ulps
  // of +1 (north) or -1 (south). North: c >= 1 gives tc = 2 pi, bearing 0; c a hair under 1 gives 1. Never
  // 360, which only identical points produce. South: c = -1 or a hair above gives 180; a hair below is out
  // of ArcCos's domain, so tc = 2 pi and the bearing is 0.
  for (int lat = -60; lat <= 60; lat += 3) {
    for (int lon = -180; lon < 180; lon += 23) {
      const int north = TrueBearing(lat, lon, lat + 0.5, lon);
      EXPECT_TRUE(north == 0 || north == 1) << lat << "," << lon << ": " << north;
      const int south = TrueBearing(lat + 0.5, lon, lat, lon);
      EXPECT_TRUE(south == 180 || south == 0) << lat << "," << lon << ": " << south;
    }
  }
}

// Literal courses put north at 1, south at 0, due east at 91 and no destination past 90 degrees of
// longitude; sound ones are the exact course rounded up (north 360) and reach anywhere.
TEST(SoundBearings, CardinalCoursesAndFarDestinationsByMode) {
  const CorrectedMode literal, sound{true};
  const struct {
    double lat1, lon1, lat2, lon2;
    int literal, sound;
  } cases[] = {{47, -122, 47.5, -122, 1, 360},
               {47.5, -122, 47, -122, 0, 180},
               {0, 0, 0, 1, 91, 90},
               {0, 1, 0, 0, 270, 270},
               {47, -122, 47, -122, 360, 360}};
  for (const auto& c : cases) {
    EXPECT_EQ(TrueBearing(c.lat1, c.lon1, c.lat2, c.lon2, literal), c.literal) << c.lat1 << "," << c.lon1;
    EXPECT_EQ(TrueBearing(c.lat1, c.lon1, c.lat2, c.lon2, sound), c.sound) << c.lat1 << "," << c.lon1;
  }
  for (const Leg& l : SweepLegs()) {
    const long double course = ReferenceCourse(l.lat1, l.lon1, l.lat2, l.lon2);
    if (course - std::floor(course) < 1e-6L) continue;  // too close to a rounding edge
    EXPECT_EQ(TrueBearing(l.lat1, l.lon1, l.lat2, l.lon2, sound), std::ceil(course)) << Trace(l);
  }
  EXPECT_THROW(TrueBearing(0, 0, std::nan(""), 1, sound), OverflowError);
  EXPECT_EQ(DestinationPointNm(0, 0, 90, 7200, literal).Longitude, 60);  // 120 degrees of arc
  EXPECT_EQ(DestinationPointNm(0, 0, 90, 7200, sound), (TargetPoint{"", "", 0, 120, 0}));
  EXPECT_EQ(DestinationPointNm(0, 170, 90, 1200, sound).Longitude, -170);
  const TargetPoint far = DestinationPointNm(50, 10, 60, 6000, sound);  // some 120 degrees of longitude
  EXPECT_NEAR(ReferenceCourse(50, 10, far.Latitude, far.Longitude), 60, 1e-4);
  EXPECT_NEAR(ReferenceDistanceNm(50, 10, far.Latitude, far.Longitude), 6000, 1e-2);
}

TEST(TrueToMagnetic, BadInputThrowsInsteadOfMisbehaving) {
  const MagVarGrid grid;
  // A rounded longitude of 360 lands past the last column.
  EXPECT_THROW(TrueToMagnetic(100, 0, 359.6, grid), SubscriptError);
  try {
    TrueToMagnetic(100, -91, 0, grid);  // index -1
    FAIL() << "no exception";
  } catch (const SubscriptError& e) {
    EXPECT_NE(std::string(e.what()).find("-1"), std::string::npos) << e.what();
  }
  EXPECT_THROW(TrueToMagnetic(100, std::nan(""), 0, grid), OverflowError);
  EXPECT_THROW(TrueToMagnetic(100, 0, 1e300, grid), OverflowError);
  EXPECT_THROW(TrueToMagnetic(40000, 0, 0, grid), OverflowError);  // not a 16-bit heading
  MagVarGrid east;
  SetVariation(east, 0, 0, 1821);                                   // 10 E
  EXPECT_THROW(TrueToMagnetic(-32768, 0, 0, east), OverflowError);  // -32778 does not fit 16 bits
  EXPECT_EQ(TrueToMagnetic(-32758, 0, 0, east), -32768 + 360);      // fits, then one correction
}

// Every bearing, so both sides of every bound, for reference headings whose bounds wrap past 0/360: runway
// 010 (north arc 340..039), 350 (north 320..019), 360 and 0 (the same runway; bearings 0 and 360 the same),
// and 030, whose north arc starts at a bound that normalises to exactly 0 and is read as 360.
TEST(SectorsAndClock, TileTheCircleForAllNormalisedHeadings) {
  std::vector<int> references = {0, 1, 10, 29, 30, 31, 150, 160, 209, 210, 211, 329, 330, 331, 350, 359, 360};
  for (int reference = 2; reference < 360; reference += 7) references.push_back(reference);
  for (int reference : references) {
    for (int bearing = 0; bearing <= 360; ++bearing) {
      const int sector = ReferenceSector(bearing, reference);
      const auto b = static_cast<int16_t>(bearing);
      const auto r = static_cast<int16_t>(reference);
      ASSERT_EQ(RunwaySector(b, r), kSectorWords[sector]) << "bearing " << bearing << " ref " << reference;
      ASSERT_EQ(ClockPosition(b, r), kClockWords[sector]) << "bearing " << bearing << " ref " << reference;
    }
  }
}

// ---------------------------------------------------------------------------------------------------------
// Primitives

TEST(ArcSinArcCos, AgreeWithTheLibraryInsideTheDomain) {
  for (double x = -1; x <= 1.0000001; x += 0.0625) {
    EXPECT_NEAR(ArcSin(x), std::asin(x), 1e-15) << x;
  }
  for (double x = 0; x <= 1.0000001; x += 0.0625) {
    EXPECT_NEAR(ArcCos(x), std::acos(x), 1e-15) << x;
  }
  // Negative arguments go through kPi, which is 3.2e-15 short of pi.
  for (double x = -1; x < 0; x += 0.0625) {
    EXPECT_NEAR(ArcCos(x), std::acos(x) - (std::numbers::pi - kPi), 1e-15) << x;
  }
  EXPECT_EQ(ArcCos(1), 0);
  EXPECT_EQ(ArcCos(-1), kPi);
  EXPECT_EQ(ArcSin(0), 0);
}

TEST(FloatMod, ANegativeNumberModuloTwoPi) {
  EXPECT_NEAR(FloatMod(-0.5, kTwoPi), kTwoPi - 0.5, 1e-15);
}

// Divisors that do not exist are refused.
TEST(Shifts, RightShiftsWithoutADivisorThrow) {
  EXPECT_THROW(ShiftRight(1, 31), OverflowError);        // 2^31 is not a Long
  EXPECT_THROW(ShiftRight(1, -1), DivisionByZeroError);  // 2^-1 rounds to 0
  EXPECT_THROW(ShiftRight(1, std::numeric_limits<int32_t>::min()), DivisionByZeroError);
}

TEST(ArcSinArcCos, OutOfDomainGivesZero) {
  const double above = 1.0000000000000002;
  for (double x : {above, -above, 2.0, std::numeric_limits<double>::infinity()}) EXPECT_EQ(ArcSin(x), 0) << x;
  for (double x : {above, -above, -7.0}) EXPECT_EQ(ArcCos(x), 0) << x;  // -above: not pi
  EXPECT_TRUE(std::isnan(ArcCos(std::nan(""))));
}

// The vector loader refuses whatever would let a loop over its cases pass vacuously or read a case wrongly.
TEST(Vectors, MalformedFilesAreRefusedWithTheirLine) {
  const testing::TempDir dir;
  const std::pair<const char*, const char*> cases[] = {{"n", ""},       {"n", "# a comment only\n"},
                                                       {"nn", "a 1\n"}, {"n", "a 1 2\n"},
                                                       {"n", "a x\n"},  {"n", "b 1\n"},
                                                       {"n", "  1\n"},  {"x", "a 0A1\n"},
                                                       {"x", "a 0G\n"}, {"i", "a 1.5\n"},
                                                       {"n", "a 1/x\n"}};
  for (const auto& [pattern, text] : cases) {
    dir.Write("v.txt", std::string(text));
    EXPECT_THROW(testing::Vectors(dir.File("v.txt"), {{"a", pattern}}), std::runtime_error) << text;
  }
  dir.Write("v.txt", std::string("a 1\n\nb 2\n"));
  EXPECT_NO_THROW(testing::Vectors(dir.File("v.txt"), {{"a", "n"}, {"b", "n"}}));
  EXPECT_THROW(testing::Vectors(dir.File("v.txt"), {{"a", "n"}, {"b", "n"}, {"c", "n"}}), std::runtime_error);
  EXPECT_THROW(testing::Vectors(dir.File("missing.txt"), {{"a", "n"}}), std::runtime_error);
}

}  // namespace
}  // namespace skyvox::geo
