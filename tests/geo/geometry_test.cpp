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

#include "base/errors.h"
#include "geo/mag_var_grid.h"

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

struct LatLon {
  long double lat;
  long double lon;
};

LatLon ReferenceDestination(long double lat, long double lon, long double course, long double distanceNm) {
  const long double phi1 = Rad(lat);
  const long double tc = Rad(course);
  const long double d = distanceNm * kTruePi / 10800;
  const long double phi =
      std::asin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(tc));
  const long double dLon =
      std::atan2(std::sin(tc) * std::sin(d) * std::cos(phi1), std::cos(d) - std::sin(phi1) * std::sin(phi));
  long double lon2 = lon + dLon * 180 / kTruePi;
  if (lon2 > 180) lon2 -= 360;
  if (lon2 < -180) lon2 += 360;
  return {phi * 180 / kTruePi, lon2};
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

// Pairs of points at several scales: short legs (haversine), and legs whose longitude difference exceeds
// one radian (law of cosines). Kept away from the poles and from antipodes.
struct Leg {
  double lat1, lon1, lat2, lon2;
};

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

void SetVariation(MagVarGrid& grid, int lonColumn, int lat, int16_t raw) {
  grid.Set(static_cast<size_t>(lonColumn * 181 + lat + 90), raw);
}

// ---------------------------------------------------------------------------------------------------------
// Distances

TEST(Distance, IdenticalPointsAreZeroWithCourse360) {
  EXPECT_EQ(DistanceNm(47.45, -122.31, 47.45, -122.31), 0);
  EXPECT_EQ(DistanceFt(47.45, -122.31, 47.45, -122.31), 0);
  EXPECT_EQ(TrueBearing(47.45, -122.31, 47.45, -122.31), 360);
  EXPECT_EQ(TrueBearing(0, 0, 0, 0), 360);
}

TEST(Distance, OneDegreeOfLatitudeIsSixtyMilesAndSaturatesInFeet) {
  EXPECT_EQ(DistanceNm(0, 0, 1, 0), 60);
  EXPECT_EQ(DistanceNm(-30, 20, -31, 20), 60);
  EXPECT_EQ(DistanceFt(0, 0, 1, 0), 32767);
}

TEST(Distance, FeetUse6080PerMile) {
  EXPECT_EQ(DistanceFt(0, 0, 0.05, 0), 18240);     // 3 nm
  EXPECT_EQ(DistanceFt(0, 0, 0.5 / 60, 0), 3040);  // half a mile
}

TEST(Distance, FeetSaturateAt32767WithoutOverflow) {
  // Latitude differences of m / 60 degrees are m nautical miles.
  EXPECT_EQ(DistanceFt(0, 0, 5.38 / 60, 0), 32710);    // 32710.4
  EXPECT_EQ(DistanceFt(0, 0, 5.3891 / 60, 0), 32766);  // 32765.728
  EXPECT_EQ(DistanceFt(0, 0, 5.3893 / 60, 0), 32767);  // 32766.944, rounded, not capped
  EXPECT_EQ(DistanceFt(0, 0, 5.3894 / 60, 0), 32767);  // 32767.552 would overflow a 16-bit conversion
  EXPECT_EQ(DistanceFt(0, 0, 80, 0), 32767);
  EXPECT_EQ(DistanceFt(-60, -170, 60, 170), 32767);
}

TEST(Distance, FeetComeFromMilesRoundedToFiveDecimals) {
  // 0.0012345 nm is 7.506 ft directly, but 0.00123 nm * 6080 = 7.4784 ft once the miles are rounded.
  EXPECT_EQ(DistanceFt(0, 0, 0.0012345 / 60, 0), 7);
  // 0.0004145 nm: 2.520 ft directly, 0.00041 * 6080 = 2.4928.
  EXPECT_EQ(DistanceFt(0, 0, 0.0004145 / 60, 0), 2);
}

TEST(Distance, MilesNeverReachTheCapBecauseTheLongestLegIsHalfTheEarth) {
  // Antipodes on the equator: the cosine sum is exactly -1, ArcCos gives kPi, and kPi * 10800 / kPi.
  EXPECT_EQ(DistanceNm(0, 0, 0, 180), 10800);
  EXPECT_EQ(DistanceNm(0, -90, 0, 90), 10800);
}

TEST(Distance, MatchesAnIndependentHaversineOnBothFormulaBranches) {
  int checked = 0;
  for (const Leg& leg : SweepLegs()) {
    const long double exact = ReferenceDistanceNm(leg.lat1, leg.lon1, leg.lat2, leg.lon2);
    if (std::fabs(exact - std::floor(exact) - 0.5L) < 1e-6L) continue;  // too close to a rounding edge
    ++checked;
    EXPECT_EQ(DistanceNm(leg.lat1, leg.lon1, leg.lat2, leg.lon2), static_cast<int>(std::llround(exact)))
        << leg.lat1 << "," << leg.lon1 << " -> " << leg.lat2 << "," << leg.lon2;
  }
  EXPECT_GT(checked, 1000);
}

TEST(Distance, NonFiniteCoordinatesThrowOverflow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(DistanceNm(nan, 0, 1, 1), OverflowError);
  EXPECT_THROW(DistanceFt(0, inf, 1, 1), OverflowError);
  EXPECT_THROW(TrueBearing(0, 0, nan, 1), OverflowError);
}

// ---------------------------------------------------------------------------------------------------------
// Courses

TEST(TrueBearing, CourseIsRoundedUpNotToNearest) {
  // Exact course 44.495 degrees.
  EXPECT_EQ(TrueBearing(10, 10, 10.5, 10.5), 45);
  // Exact course 135.45 from (10, 10) to (9.5, 10.5): reported 136, not 135.
  EXPECT_EQ(static_cast<int>(std::ceil(ReferenceCourse(10, 10, 9.5, 10.5))), 136);
  EXPECT_EQ(TrueBearing(10, 10, 9.5, 10.5), 136);
}

TEST(TrueBearing, DueEastComesOutOneDegreeHigh) {
  // ArcCos(0) is the full-precision pi/2, slightly more than kTwoPi / 4: the west-positive course is a hair
  // under 270, its floor 269, and the bearing 360 - 269 = 91.
  EXPECT_EQ(TrueBearing(0, 0, 0, 1), 91);
  EXPECT_EQ(TrueBearing(0, 100, 0, 100.5), 91);
  // Due west: pi/2 in degrees is a hair over 90, floor 90, bearing 270.
  EXPECT_EQ(TrueBearing(0, 0, 0, -1), 270);
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

TEST(TrueBearing, MatchesTheExactCourseRoundedUp) {
  int checked = 0;
  for (const Leg& leg : SweepLegs()) {
    const long double exact = ReferenceCourse(leg.lat1, leg.lon1, leg.lat2, leg.lon2);
    const long double fraction = exact - std::floor(exact);
    if (fraction < 1e-6L || fraction > 1 - 1e-6L) continue;
    ++checked;
    EXPECT_EQ(TrueBearing(leg.lat1, leg.lon1, leg.lat2, leg.lon2), static_cast<int>(std::ceil(exact)))
        << leg.lat1 << "," << leg.lon1 << " -> " << leg.lat2 << "," << leg.lon2;
  }
  EXPECT_GT(checked, 1000);
}

TEST(TrueBearing, LawOfCosinesOnlyWhenALongitudeDifferenceReachesOneRadian) {
  // Two points 2.5e-12 rad apart near the pole. With a longitude difference of 90 degrees (>= 1 rad) the
  // law of cosines is used: its sum rounds to exactly 1, the distance is 0 and the course 360.
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, 90), 360);
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, -90), 360);
  // With 45 degrees (under 1 rad in size) the haversine form gives a non-zero distance; sin(lat) and
  // cos(d) are both exactly 1, so c = 0 and the course is due east or due west (with east's extra degree).
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, 45), 91);
  // A negative difference of -0.79 rad truncates to 0: still haversine (a floor would pick the other form).
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, -45), 270);
  // The switch lies between 57 and 58 degrees of longitude.
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, 57), 91);
  EXPECT_EQ(TrueBearing(89.9999999999, 0, 89.9999999999, 58), 360);
}

TEST(MagneticBearing, UsesTheVariationAtTheFirstPoint) {
  MagVarGrid grid;
  SetVariation(grid, 10, 10, 1275);   // +7.0038 -> 7 east at the departure point
  SetVariation(grid, 20, 20, -2731);  // -15.0018 -> 15 west at the destination
  const int trueCourse = static_cast<int>(std::ceil(ReferenceCourse(10, 10, 20, 20)));
  ASSERT_EQ(trueCourse, 43);
  EXPECT_EQ(MagneticBearing(10, 10, 20, 20, grid), 36);
  // The way back starts in the 15 W cell.
  const int backCourse = static_cast<int>(std::ceil(ReferenceCourse(20, 20, 10, 10)));
  ASSERT_EQ(backCourse, 226);
  EXPECT_EQ(MagneticBearing(20, 20, 10, 10, grid), 241);
}

TEST(MagneticBearing, WrapsThroughNormalisation) {
  MagVarGrid grid;
  EXPECT_EQ(MagneticBearing(10, 10, 10.5, 10.5, grid), 45);  // unloaded grid: magnetic is true
  SetVariation(grid, 10, 10, 3641);                          // +20.0006 -> 20 east
  // True 45 - 20 = 25; identical points: 360 - 20 = 340.
  EXPECT_EQ(MagneticBearing(10, 10, 10.5, 10.5, grid), 25);
  EXPECT_EQ(MagneticBearing(10, 10, 10, 10, grid), 340);
  SetVariation(grid, 10, 10, -9102);                     // -49.998 -> 49 west (truncated toward zero)
  EXPECT_EQ(MagneticBearing(10, 10, 10, 10, grid), 49);  // 360 + 49 = 409, less 360
}

// ---------------------------------------------------------------------------------------------------------
// Destination points

TEST(DestinationPoint, CardinalCourses) {
  EXPECT_EQ(DestinationPointNm(0, 0, 90, 60), (TargetPoint{"", "", 0, 1, 0}));  // texts empty, Value 0
  EXPECT_EQ(DestinationPointNm(0, 0, 0, 60), (TargetPoint{"", "", 1, 0, 0}));
  EXPECT_EQ(DestinationPointNm(0, 0, 360, 60), (TargetPoint{"", "", 1, 0, 0}));
  EXPECT_EQ(DestinationPointNm(10, 20, 180, 30), (TargetPoint{"", "", 9.5, 20, 0}));
  EXPECT_EQ(DestinationPointNm(0, 0, 270, 120), (TargetPoint{"", "", 0, -2, 0}));
  EXPECT_EQ(DestinationPointNm(47, -122, 0, 0), (TargetPoint{"", "", 47, -122, 0}));
}

TEST(DestinationPoint, CrossesTheAntimeridian) {
  EXPECT_EQ(DestinationPointNm(0, 179.5, 90, 60), (TargetPoint{"", "", 0, -179.5, 0}));
  EXPECT_EQ(DestinationPointNm(0, -179.5, 270, 60), (TargetPoint{"", "", 0, 179.5, 0}));
}

// True when x is a whole number of 1e-5 (what Round(x, 5) produces), up to the representation error.
bool OnFiveDecimalGrid(double x) {
  const double scaled = x * 1e5;
  return std::fabs(scaled - std::round(scaled)) < 1e-6;
}

TEST(DestinationPoint, ResultIsTheExactPointRoundedToFiveDecimals) {
  struct Case {
    double lat, lon;
    int16_t course, distance;
  };
  const Case cases[] = {{47.4498889, -122.3117778, 163, 12},
                        {51.4775, -0.461389, 272, 35},
                        {-33.9461, 151.1772, 341, 250},
                        {35.7647, 140.3864, 45, 7},
                        {64.13, -21.94, 117, 90},
                        {-54.84, -68.29, 208, 400},
                        {1.35, 103.99, 1, 1}};
  for (const Case& c : cases) {
    const TargetPoint p = DestinationPointNm(c.lat, c.lon, c.course, c.distance);
    const LatLon exact = ReferenceDestination(c.lat, c.lon, c.course, c.distance);
    EXPECT_TRUE(OnFiveDecimalGrid(p.Latitude)) << p.Latitude;
    EXPECT_TRUE(OnFiveDecimalGrid(p.Longitude)) << p.Longitude;
    // Within half a unit of the fifth decimal of the exact point (plus noise of the 15-digit pi).
    EXPECT_LE(std::fabs(p.Latitude - exact.lat), 0.5e-5 + 1e-9) << c.lat << "," << c.lon;
    EXPECT_LE(std::fabs(p.Longitude - exact.lon), 0.5e-5 + 1e-9) << c.lat << "," << c.lon;
  }
}

TEST(DestinationPoint, FeetAreDividedBy6080AsAFraction) {
  // 6080 ft is one minute of latitude: 0.016666.. rounded to 0.01667.
  const TargetPoint north = DestinationPointFt(0, 0, 0, 6080);
  EXPECT_DOUBLE_EQ(north.Latitude, 0.01667);
  EXPECT_EQ(north.Longitude, 0);
  // 3040 ft is half a mile (an integer division would make it 0).
  EXPECT_DOUBLE_EQ(DestinationPointFt(0, 0, 0, 3040).Latitude, 0.00833);
  // 30400 ft = 5 nm east: 5/60 = 0.083333.. -> 0.08333.
  const TargetPoint east = DestinationPointFt(0, 0, 90, 30400);
  EXPECT_EQ(east.Latitude, 0);
  EXPECT_DOUBLE_EQ(east.Longitude, 0.08333);
  // 6076 ft (the international mile) is not quite a minute: 0.016660 -> 0.01666.
  EXPECT_DOUBLE_EQ(DestinationPointFt(0, 0, 0, 6076).Latitude, 0.01666);
}

// ---------------------------------------------------------------------------------------------------------
// True to magnetic

TEST(TrueToMagnetic, UnloadedGridLeavesTheHeading) {
  const MagVarGrid grid;
  EXPECT_EQ(TrueToMagnetic(123, 47.4, -122.3, grid), 123);
  EXPECT_EQ(TrueToMagnetic(360, 0, 0, grid), 360);
  EXPECT_EQ(TrueToMagnetic(0, 0, 0, grid), 0);  // normalisation keeps 0
}

TEST(TrueToMagnetic, SubtractsEastVariationAndWraps) {
  MagVarGrid grid;
  SetVariation(grid, 0, 0, 1821);  // 10.003 -> 10 E
  EXPECT_EQ(TrueToMagnetic(100, 0, 0, grid), 90);
  EXPECT_EQ(TrueToMagnetic(5, 0, 0, grid), 355);
  EXPECT_EQ(TrueToMagnetic(10, 0, 0, grid), 0);  // not 360: only one correction, and 0 stays 0
  SetVariation(grid, 0, 0, -1821);               // 10 W
  EXPECT_EQ(TrueToMagnetic(355, 0, 0, grid), 5);
  EXPECT_EQ(TrueToMagnetic(350, 0, 0, grid), 360);
}

TEST(TrueToMagnetic, VariationIsTruncatedTowardZero) {
  MagVarGrid grid;
  SetVariation(grid, 0, 0, 1900);    // +10.437 -> 10
  SetVariation(grid, 1, 0, -3700);   // -20.325 -> -20, not -21
  SetVariation(grid, 2, 0, -182);    // -0.9998 -> 0
  SetVariation(grid, 3, 0, 32767);   // 179.9945 -> 179
  SetVariation(grid, 4, 0, -32768);  // exactly -180
  EXPECT_EQ(TrueToMagnetic(100, 0, 0, grid), 90);
  EXPECT_EQ(TrueToMagnetic(100, 0, 1, grid), 120);
  EXPECT_EQ(TrueToMagnetic(100, 0, 2, grid), 100);
  EXPECT_EQ(TrueToMagnetic(200, 0, 3, grid), 21);
  EXPECT_EQ(TrueToMagnetic(200, 0, 4, grid), 20);  // 380 -> 20
}

TEST(TrueToMagnetic, SmallWestLongitudesPickColumnZeroOr359) {
  MagVarGrid grid;
  SetVariation(grid, 0, 0, 1821);                      // 10 E in column 0
  SetVariation(grid, 359, 0, -3700);                   // 20 W in column 359
  EXPECT_EQ(TrueToMagnetic(100, 0, -0.4, grid), 90);   // rounds to -0, which is not below 0
  EXPECT_EQ(TrueToMagnetic(100, 0, -0.5, grid), 90);   // half to even: -0
  EXPECT_EQ(TrueToMagnetic(100, 0, -0.6, grid), 120);  // -1 -> 359
  EXPECT_EQ(TrueToMagnetic(100, 0, 0.5, grid), 90);
}

TEST(TrueToMagnetic, PositionRoundsHalfToEven) {
  MagVarGrid grid;
  // Distinct variations around (0, 0) so a wrong cell shows.
  SetVariation(grid, 0, 0, 183);                      // 1.0005 -> 1
  SetVariation(grid, 0, 1, 365);                      // 2
  SetVariation(grid, 0, 2, 547);                      // 3
  SetVariation(grid, 0, -1, 729);                     // 4
  SetVariation(grid, 0, -2, 911);                     // 5
  SetVariation(grid, 1, 0, 1093);                     // 6
  SetVariation(grid, 2, 0, 1275);                     // 7
  SetVariation(grid, 358, 0, 1457);                   // 8
  EXPECT_EQ(TrueToMagnetic(100, 0.5, 0, grid), 99);   // lat 0
  EXPECT_EQ(TrueToMagnetic(100, 1.5, 0, grid), 97);   // lat 2
  EXPECT_EQ(TrueToMagnetic(100, 2.5, 0, grid), 97);   // lat 2
  EXPECT_EQ(TrueToMagnetic(100, 1.49, 0, grid), 98);  // lat 1
  EXPECT_EQ(TrueToMagnetic(100, -0.5, 0, grid), 99);  // lat 0
  EXPECT_EQ(TrueToMagnetic(100, -1.5, 0, grid), 95);  // lat -2
  EXPECT_EQ(TrueToMagnetic(100, 0, 1.5, grid), 93);   // column 2
  EXPECT_EQ(TrueToMagnetic(100, 0, 2.5, grid), 93);   // column 2
  EXPECT_EQ(TrueToMagnetic(100, 0, 0.51, grid), 94);  // column 1
  EXPECT_EQ(TrueToMagnetic(100, 0, -1.5, grid), 92);  // -2 -> column 358
}

TEST(TrueToMagnetic, WestLongitudesAreStoredAt360PlusLongitude) {
  MagVarGrid grid;
  SetVariation(grid, 238, 47, 3277);   // Seattle cell, 18.0016 -> 18 E
  SetVariation(grid, 122, 47, -3277);  // the east-longitude cell of the same numbers, 18 W
  EXPECT_EQ(TrueToMagnetic(163, 47.4498889, -122.3117778, grid), 145);
  EXPECT_EQ(TrueToMagnetic(163, 47.4498889, 122.3117778, grid), 181);
  SetVariation(grid, 180, -10, 1821);  // 10 E; -180 and 180 share column 180
  EXPECT_EQ(TrueToMagnetic(90, -10, -180, grid), 80);
  EXPECT_EQ(TrueToMagnetic(90, -10, 179.6, grid), 80);
  // Grid corners.
  grid.Set(0, 1821);      // lon 0, lat -90
  grid.Set(65159, 3641);  // lon 359, lat 90
  EXPECT_EQ(TrueToMagnetic(100, -90, 0, grid), 90);
  EXPECT_EQ(TrueToMagnetic(100, 90, -1, grid), 80);
}

TEST(TrueToMagnetic, BadInputThrowsInsteadOfMisbehaving) {
  const MagVarGrid grid;
  // A rounded longitude of 360 lands past the last column.
  EXPECT_THROW(TrueToMagnetic(100, 0, 359.6, grid), std::out_of_range);
  try {
    TrueToMagnetic(100, -91, 0, grid);  // index -1
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
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

// ---------------------------------------------------------------------------------------------------------
// Heading arithmetic

TEST(NormalizeHeading, OneCorrectionEachWayWrittenBack) {
  struct Case {
    int16_t in, out;
  };
  const Case cases[] = {{370, 10}, {-10, 350}, {360, 360}, {0, 0}, {721, 361},     {720, 360},
                        {-360, 0}, {-361, -1}, {361, 1},   {1, 1}, {32767, 32407}, {-32768, -32408}};
  for (const Case& c : cases) {
    int16_t h = c.in;
    EXPECT_EQ(NormalizeHeading(h), c.out) << c.in;
    EXPECT_EQ(h, c.out) << c.in;
  }
}

bool Within(int16_t h, int16_t fromHdg, int16_t toHdg) {
  return IsHeadingWithinArc(h, fromHdg, toHdg);
}

TEST(IsHeadingWithinArc, ClockwiseFromInclusiveToExclusive) {
  EXPECT_TRUE(Within(0, 350, 10));  // 0 read as 360
  EXPECT_TRUE(Within(360, 350, 10));
  EXPECT_FALSE(Within(10, 350, 10));
  EXPECT_TRUE(Within(9, 350, 10));
  EXPECT_TRUE(Within(1, 350, 10));
  EXPECT_TRUE(Within(350, 350, 10));
  EXPECT_FALSE(Within(349, 350, 10));
  EXPECT_FALSE(Within(180, 350, 10));
  EXPECT_FALSE(Within(5, 20, 20));  // empty arc
  EXPECT_FALSE(Within(20, 20, 20));
  EXPECT_FALSE(Within(360, 0, 360));  // 0 and 360 are the same end
  EXPECT_FALSE(Within(360, 330, 0));  // toHdg 0 read as 360, exclusive
  EXPECT_TRUE(Within(359, 330, 0));
  EXPECT_TRUE(Within(360, 0, 30));  // fromHdg 0 read as 360, inclusive
  EXPECT_TRUE(Within(1, 0, 30));
  EXPECT_FALSE(Within(30, 0, 30));
  // Nearly the whole circle: 11 round to 9.
  EXPECT_TRUE(Within(5, 11, 10));
  EXPECT_TRUE(Within(9, 11, 10));
  EXPECT_FALSE(Within(10, 11, 10));
}

TEST(IsHeadingWithinArc, WritesBackZeroAs360Only) {
  int16_t h = 0;
  EXPECT_FALSE(IsHeadingWithinArc(h, 90, 180));  // written back even when outside
  EXPECT_EQ(h, 360);
  h = 0;
  EXPECT_TRUE(IsHeadingWithinArc(h, 350, 10));
  EXPECT_EQ(h, 360);
  h = 45;
  EXPECT_TRUE(IsHeadingWithinArc(h, 0, 90));
  EXPECT_EQ(h, 45);
  h = 400;  // not normalised: left alone
  IsHeadingWithinArc(h, 0, 90);
  EXPECT_EQ(h, 400);
}

TEST(IsHeadingWithinArc, EndsOutsideTheCircleStillTerminate) {
  // From 400 the walk never wraps to 1 and never meets toHdg.
  EXPECT_FALSE(Within(5, 400, 10));
  EXPECT_FALSE(Within(5, 32767, 10));
  EXPECT_FALSE(Within(5, -32768, 10));
  // An unreachable end: the walk goes round once, finds any heading of the circle, and stops.
  EXPECT_TRUE(Within(9, 10, 500));
  EXPECT_FALSE(Within(400, 10, 500));
  // From -30 the walk climbs through 0 to 1..: an unnormalised start may still find h.
  EXPECT_TRUE(Within(1, -30, 360));
}

// ---------------------------------------------------------------------------------------------------------
// Sectors and clock positions

TEST(RunwaySector, RunwayHeading160) {
  EXPECT_EQ(RunwaySector(160, 160), "north");
  EXPECT_EQ(RunwaySector(340, 160), "south");
  EXPECT_EQ(RunwaySector(250, 160), "east");
  EXPECT_EQ(RunwaySector(70, 160), "west");
  EXPECT_EQ(RunwaySector(200, 160), "northeast");
  EXPECT_EQ(RunwaySector(120, 160), "northwest");
  EXPECT_EQ(RunwaySector(290, 160), "southeast");
  EXPECT_EQ(RunwaySector(30, 160), "southwest");
}

TEST(RunwaySector, BoundsThatWrapPastNorth) {
  // Runway 010: north arc 340..039, northwest 310..339, south 160..219.
  EXPECT_EQ(RunwaySector(340, 10), "north");
  EXPECT_EQ(RunwaySector(339, 10), "northwest");
  EXPECT_EQ(RunwaySector(39, 10), "north");
  EXPECT_EQ(RunwaySector(40, 10), "northeast");
  EXPECT_EQ(RunwaySector(0, 10), "north");
  EXPECT_EQ(RunwaySector(310, 10), "northwest");
  EXPECT_EQ(RunwaySector(309, 10), "west");
  EXPECT_EQ(RunwaySector(160, 10), "south");
  EXPECT_EQ(RunwaySector(159, 10), "southeast");
  EXPECT_EQ(RunwaySector(219, 10), "south");
  EXPECT_EQ(RunwaySector(220, 10), "southwest");
  // Runway 350: north 320..019, northeast 020..049.
  EXPECT_EQ(RunwaySector(19, 350), "north");
  EXPECT_EQ(RunwaySector(20, 350), "northeast");
  EXPECT_EQ(RunwaySector(320, 350), "north");
  EXPECT_EQ(RunwaySector(319, 350), "northwest");
  EXPECT_EQ(RunwaySector(50, 350), "east");
  EXPECT_EQ(RunwaySector(109, 350), "east");
  EXPECT_EQ(RunwaySector(110, 350), "southeast");
  // Runway 360 and runway 0 are the same; bearing 0 and 360 are the same.
  EXPECT_EQ(RunwaySector(0, 0), "north");
  EXPECT_EQ(RunwaySector(360, 360), "north");
  EXPECT_EQ(RunwaySector(0, 360), "north");
  EXPECT_EQ(RunwaySector(150, 0), "south");
  EXPECT_EQ(RunwaySector(149, 360), "southeast");
  EXPECT_EQ(RunwaySector(210, 0), "southwest");
  EXPECT_EQ(RunwaySector(209, 360), "south");
  // A bound that normalises to exactly 0 is read as 360: runway 030, north from 0.
  EXPECT_EQ(RunwaySector(360, 30), "north");
  EXPECT_EQ(RunwaySector(0, 30), "north");
  EXPECT_EQ(RunwaySector(359, 30), "northwest");
}

TEST(ClockPosition, AroundAnAircraftHeadingNorth) {
  EXPECT_EQ(ClockPosition(360, 360), "twelve o'clock");
  EXPECT_EQ(ClockPosition(45, 360), "two o'clock");
  EXPECT_EQ(ClockPosition(90, 0), "three o'clock");
  EXPECT_EQ(ClockPosition(135, 0), "five o'clock");
  EXPECT_EQ(ClockPosition(180, 0), "six o'clock");
  EXPECT_EQ(ClockPosition(225, 0), "eight o'clock");
  EXPECT_EQ(ClockPosition(270, 0), "nine o'clock");
  EXPECT_EQ(ClockPosition(315, 0), "ten o'clock");
  EXPECT_EQ(ClockPosition(329, 0), "ten o'clock");
  EXPECT_EQ(ClockPosition(330, 0), "twelve o'clock");
  EXPECT_EQ(ClockPosition(29, 0), "twelve o'clock");
  EXPECT_EQ(ClockPosition(30, 0), "two o'clock");
}

// Every bearing, so both sides of every bound, for reference headings whose bounds wrap past 0/360.
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

TEST(SectorsAndClock, FirstArcWinsForSectorsLastArcForClock) {
  // Reference -330 (not normalised). North: -360 -> 0 (read 360) to -300 -> 60, holds 1. Northwest:
  // -390 -> -30 (one correction only) to -360 -> 0 (read 360); the walk climbs -30, -29, .., 1 and holds
  // too. No later arc holds 1.
  EXPECT_EQ(RunwaySector(1, -330), "north");
  EXPECT_EQ(ClockPosition(1, -330), "ten o'clock");
}

TEST(SectorsAndClock, NoArcHoldsForABearingOffTheCircle) {
  EXPECT_EQ(RunwaySector(400, 90), "");
  EXPECT_EQ(ClockPosition(-5, 90), "");
  EXPECT_EQ(RunwaySector(32767, -32768), "");
  EXPECT_EQ(ClockPosition(-32768, 32767), "");
}

TEST(WaypointName, CapitalisesTheSectorWord) {
  EXPECT_EQ(WaypointName("north"), "North");
  EXPECT_EQ(WaypointName("southwest"), "Southwest");
  EXPECT_EQ(WaypointName(""), "");
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

TEST(ArcSinArcCos, OutOfDomainGivesZero) {
  EXPECT_EQ(ArcSin(1.0000000000000002), 0);
  EXPECT_EQ(ArcSin(-1.0000000000000002), 0);
  EXPECT_EQ(ArcCos(1.0000000000000002), 0);
  EXPECT_EQ(ArcCos(-1.0000000000000002), 0);  // not pi
  EXPECT_EQ(ArcSin(2), 0);
  EXPECT_EQ(ArcCos(-7), 0);
  EXPECT_EQ(ArcSin(std::numeric_limits<double>::infinity()), 0);
  EXPECT_TRUE(std::isnan(ArcCos(std::nan(""))));
}

TEST(FloatMod, ResultTakesTheSignOfAPositiveModulus) {
  EXPECT_EQ(FloatMod(7, 3), 1);
  EXPECT_EQ(FloatMod(-1, 3), 2);
  EXPECT_EQ(FloatMod(-7, 3), 2);
  EXPECT_EQ(FloatMod(6, 3), 0);
  EXPECT_EQ(FloatMod(-6, 3), 0);
  EXPECT_EQ(FloatMod(5.5, 2), 1.5);
  EXPECT_NEAR(FloatMod(-0.5, kTwoPi), kTwoPi - 0.5, 1e-15);
  // A negative modulus: 7 - (-3) * floor(-2.33) = -2, then once more -3.
  EXPECT_EQ(FloatMod(7, -3), -5);
}

TEST(HeadingFromPacked, TenBitFieldScaledToDegrees) {
  EXPECT_EQ(HeadingFromPacked(0), 0);
  EXPECT_EQ(HeadingFromPacked(256 << 2), 90);
  EXPECT_EQ(HeadingFromPacked(512 << 2), 180);
  EXPECT_EQ(HeadingFromPacked(768 << 2), 270);
  EXPECT_EQ(HeadingFromPacked(1023 << 2), 360);  // 359.648
  EXPECT_EQ(HeadingFromPacked(1022 << 2), 359);  // 359.297
  EXPECT_EQ(HeadingFromPacked(1 << 2), 0);       // 0.352
  EXPECT_EQ(HeadingFromPacked(2 << 2), 1);       // 0.703
  EXPECT_EQ(HeadingFromPacked(64 << 2), 22);     // 22.5, half to even
  EXPECT_EQ(HeadingFromPacked(192 << 2), 68);    // 67.5, half to even
}

TEST(HeadingFromPacked, OtherBitsAreIgnored) {
  EXPECT_EQ(HeadingFromPacked((256 << 2) | 3), 90);
  EXPECT_EQ(HeadingFromPacked((0x7FFF << 12) | (256 << 2)), 90);
  EXPECT_EQ(HeadingFromPacked(std::numeric_limits<int32_t>::max()), 360);
  EXPECT_EQ(HeadingFromPacked(std::numeric_limits<int32_t>::min()), 0);
}

TEST(HeadingFromPacked, NegativeWordsDivideTowardZero) {
  // -3 \ 4 = 0; an arithmetic shift would give -1, field 1023, 360.
  EXPECT_EQ(HeadingFromPacked(-3), 0);
  // -4 \ 4 = -1: field 1023.
  EXPECT_EQ(HeadingFromPacked(-4), 360);
  // -5 \ 4 = -1 (a shift: -2, field 1022, 359).
  EXPECT_EQ(HeadingFromPacked(-5), 360);
  // -8 \ 4 = -2: field 1022.
  EXPECT_EQ(HeadingFromPacked(-8), 359);
}

TEST(Shifts, ShiftLeftIsADoubleProduct) {
  EXPECT_EQ(ShiftLeft(3, 4), 48.0);
  EXPECT_EQ(ShiftLeft(-3, 2), -12.0);
  EXPECT_EQ(ShiftLeft(1, 31), 2147483648.0);
  EXPECT_EQ(ShiftLeft(std::numeric_limits<int32_t>::max(), 1), 4294967294.0);
  EXPECT_EQ(ShiftLeft(1, -1), 0.5);
  EXPECT_EQ(ShiftLeft(5, 0), 5.0);
}

TEST(Shifts, ShiftRightDividesTruncatingTowardZero) {
  EXPECT_EQ(ShiftRight(5, 2), 1);
  EXPECT_EQ(ShiftRight(-5, 2), -1);
  EXPECT_EQ(ShiftRight(-8, 1), -4);
  EXPECT_EQ(ShiftRight(-1, 1), 0);
  EXPECT_EQ(ShiftRight(12345, 0), 12345);
  EXPECT_EQ(ShiftRight(std::numeric_limits<int32_t>::min(), 30), -2);
  EXPECT_EQ(ShiftRight(std::numeric_limits<int32_t>::max(), 30), 1);
}

TEST(Shifts, ShiftRightRefusesDivisorsThatDoNotExist) {
  EXPECT_THROW(ShiftRight(1, 31), OverflowError);      // 2^31 is not a Long
  EXPECT_THROW(ShiftRight(1, -1), std::domain_error);  // 2^-1 rounds to 0
  EXPECT_THROW(ShiftRight(1, std::numeric_limits<int32_t>::min()), std::domain_error);
}

}  // namespace
}  // namespace skyvox::geo
