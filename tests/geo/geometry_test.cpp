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

// Two points and the expected result between them.
struct Leg {
  double lat1, lon1, lat2, lon2;
  int expected = 0;
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

// ---------------------------------------------------------------------------------------------------------
// Distances and courses

// Miles never reach a cap because the longest leg is half the earth: for antipodes on the equator the
// cosine sum is exactly -1, ArcCos gives kPi, and kPi * 10800 / kPi.
// Feet are 6080 a mile, from the miles rounded to five decimals, saturating at 32767 without overflow;
// latitude differences of m / 60 degrees are m nautical miles. The rows after one degree: 3 nm, half a
// mile, then 32710.4, 32765.728, 32766.944 (rounded, not capped) and 32767.552 ft (which would overflow a
// 16-bit conversion). Last, 0.0012345 nm is 7.506 ft directly but 0.00123 nm * 6080 = 7.4784 ft once the
// miles are rounded, and 0.0004145 nm is 2.520 ft directly but 0.00041 * 6080 = 2.4928.
TEST(Distance, MilesAndFeetOnHandComputedLegs) {
  const Leg miles[] = {{47.45, -122.31, 47.45, -122.31, 0},
                       {0, 0, 1, 0, 60},
                       {-30, 20, -31, 20, 60},
                       {0, 0, 0, 180, 10800},
                       {0, -90, 0, 90, 10800}};
  for (const Leg& l : miles) EXPECT_EQ(DistanceNm(l.lat1, l.lon1, l.lat2, l.lon2), l.expected) << Trace(l);
  const Leg feet[] = {
      {47.45, -122.31, 47.45, -122.31, 0}, {0, 0, 1, 0, 32767},           {0, 0, 0.05, 0, 18240},
      {0, 0, 0.5 / 60, 0, 3040},           {0, 0, 5.38 / 60, 0, 32710},   {0, 0, 5.3891 / 60, 0, 32766},
      {0, 0, 5.3893 / 60, 0, 32767},       {0, 0, 5.3894 / 60, 0, 32767}, {0, 0, 80, 0, 32767},
      {-60, -170, 60, 170, 32767},         {0, 0, 0.0012345 / 60, 0, 7},  {0, 0, 0.0004145 / 60, 0, 2}};
  for (const Leg& l : feet) EXPECT_EQ(DistanceFt(l.lat1, l.lon1, l.lat2, l.lon2), l.expected) << Trace(l);
}

// Identical points give 360. Courses are rounded up, not to the nearest: exact 44.495, and 135.45 (reported
// 136, not 135). Due east comes out one degree high: ArcCos(0) is the full-precision pi/2, slightly more
// than kTwoPi / 4, so the west-positive course is a hair under 270, its floor 269, the bearing 91; due west,
// pi/2 in degrees is a hair over 90, floor 90, bearing 270.
// The law of cosines is used only when a longitude difference reaches one radian. The last rows are two
// points 2.5e-12 rad apart near the pole: with 90 degrees the law of cosines sums to exactly 1, distance 0,
// course 360. With 45 degrees (under 1 rad) the haversine form gives a non-zero distance; sin(lat) and
// cos(d) are both exactly 1, so c = 0 and the course is due east or due west (with east's extra degree).
// -45 degrees, -0.79 rad, truncates to 0: still haversine (a floor would pick the other form). The switch
// lies between 57 and 58 degrees of longitude.
TEST(TrueBearing, HandComputedCourses) {
  EXPECT_EQ(static_cast<int>(std::ceil(ReferenceCourse(10, 10, 9.5, 10.5))), 136);
  const double p = 89.9999999999;
  const Leg cases[] = {{47.45, -122.31, 47.45, -122.31, 360},
                       {0, 0, 0, 0, 360},
                       {10, 10, 10.5, 10.5, 45},
                       {10, 10, 9.5, 10.5, 136},
                       {0, 0, 0, 1, 91},
                       {0, 100, 0, 100.5, 91},
                       {0, 0, 0, -1, 270},
                       {p, 0, p, 90, 360},
                       {p, 0, p, -90, 360},
                       {p, 0, p, 45, 91},
                       {p, 0, p, -45, 270},
                       {p, 0, p, 57, 91},
                       {p, 0, p, 58, 360}};
  for (const Leg& l : cases) EXPECT_EQ(TrueBearing(l.lat1, l.lon1, l.lat2, l.lon2), l.expected) << Trace(l);
}

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

TEST(MagneticBearing, UsesTheVariationAtTheFirstPointAndWraps) {
  MagVarGrid grid;
  EXPECT_EQ(MagneticBearing(10, 10, 10.5, 10.5, grid), 45);  // unloaded grid: magnetic is true
  SetVariation(grid, 10, 10, 1275);                          // +7.0038 -> 7 east at the departure point
  SetVariation(grid, 20, 20, -2731);                         // -15.0018 -> 15 west at the destination
  ASSERT_EQ(static_cast<int>(std::ceil(ReferenceCourse(10, 10, 20, 20))), 43);
  EXPECT_EQ(MagneticBearing(10, 10, 20, 20, grid), 36);
  // The way back starts in the 15 W cell.
  ASSERT_EQ(static_cast<int>(std::ceil(ReferenceCourse(20, 20, 10, 10))), 226);
  EXPECT_EQ(MagneticBearing(20, 20, 10, 10, grid), 241);
  SetVariation(grid, 10, 10, 3641);  // +20.0006 -> 20 east
  // True 45 - 20 = 25; identical points: 360 - 20 = 340.
  EXPECT_EQ(MagneticBearing(10, 10, 10.5, 10.5, grid), 25);
  EXPECT_EQ(MagneticBearing(10, 10, 10, 10, grid), 340);
  SetVariation(grid, 10, 10, -9102);                     // -49.998 -> 49 west (truncated toward zero)
  EXPECT_EQ(MagneticBearing(10, 10, 10, 10, grid), 49);  // 360 + 49 = 409, less 360
}

// ---------------------------------------------------------------------------------------------------------
// Destination points

TEST(DestinationPoint, CardinalCoursesAndTheAntimeridian) {
  struct Case {
    double lat, lon;
    int16_t course, distance;
    double toLat, toLon;
  };
  const Case cases[] = {{0, 0, 90, 60, 0, 1},          {0, 0, 0, 60, 1, 0},
                        {0, 0, 360, 60, 1, 0},         {10, 20, 180, 30, 9.5, 20},
                        {0, 0, 270, 120, 0, -2},       {47, -122, 0, 0, 47, -122},
                        {0, 179.5, 90, 60, 0, -179.5}, {0, -179.5, 270, 60, 0, 179.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lat << "," << c.lon << " " << c.course << " " << c.distance);
    // Texts empty, Value 0.
    EXPECT_EQ(DestinationPointNm(c.lat, c.lon, c.course, c.distance),
              (TargetPoint{"", "", c.toLat, c.toLon, 0}));
  }
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

// 6080 ft is one minute of latitude (0.016666.. -> 0.01667); 3040 ft half a mile (an integer division
// would make it 0); 30400 ft = 5 nm east (0.08333); 6076 ft, the international mile, is not quite a
// minute (0.016660 -> 0.01666).
TEST(DestinationPoint, FeetAreDividedBy6080AsAFraction) {
  const struct {
    int16_t course, feet;
    double lat, lon;
  } cases[] = {{0, 6080, 0.01667, 0}, {0, 3040, 0.00833, 0}, {90, 30400, 0, 0.08333}, {0, 6076, 0.01666, 0}};
  for (const auto& c : cases) {
    const TargetPoint p = DestinationPointFt(0, 0, c.course, c.feet);
    EXPECT_DOUBLE_EQ(p.Latitude, c.lat) << c.feet;
    EXPECT_DOUBLE_EQ(p.Longitude, c.lon) << c.feet;
  }
}

// ---------------------------------------------------------------------------------------------------------
// True to magnetic

// Each row loads one grid cell (column, latitude, raw value) into an otherwise empty grid, so a lookup in
// the wrong cell finds no variation and shows. In order:
// - raw 0, an unloaded grid, leaves the heading; normalisation keeps 0;
// - east variation is subtracted with one correction (10.003 -> 10 E, then 10 W): 10 - 10 is 0, not 360,
//   since there is only one correction and 0 stays 0;
// - the variation is truncated toward zero: +10.437 -> 10, -20.325 -> -20 (not -21), -0.9998 -> 0,
//   179.9945 -> 179, exactly -180 (380 -> 20);
// - small west longitudes pick column 0 or 359: -0.4 rounds to -0, which is not below 0; -0.5 half to even
//   is -0; -0.6 is -1 -> 359;
// - the position rounds half to even: lat 0.5 -> 0, 1.5 -> 2, 2.5 -> 2, 1.49 -> 1, -0.5 -> 0, -1.5 -> -2;
//   lon 1.5 -> 2, 2.5 -> 2, 0.51 -> 1, -1.5 -> -2 -> column 358;
// - west longitudes are stored at 360 + longitude: the Seattle cell (18.0016 -> 18 E) and the
//   east-longitude cell of the same numbers (18 W); -180 and 180 share column 180 (10 E);
// - the grid corners, indexes 0 and 65159.
TEST(TrueToMagnetic, OneLoadedCellPerCase) {
  struct Case {
    int column, cellLat;
    int16_t raw;
    int heading;
    double lat, lon;
    int16_t expected;
  };
  const Case cases[] = {
      {0, 0, 0, 123, 47.4, -122.3, 123},  {0, 0, 0, 360, 0, 0, 360},      {0, 0, 0, 0, 0, 0, 0},
      {0, 0, 1821, 100, 0, 0, 90},        {0, 0, 1821, 5, 0, 0, 355},     {0, 0, 1821, 10, 0, 0, 0},
      {0, 0, -1821, 355, 0, 0, 5},        {0, 0, -1821, 350, 0, 0, 360},  {0, 0, 1900, 100, 0, 0, 90},
      {1, 0, -3700, 100, 0, 1, 120},      {2, 0, -182, 100, 0, 2, 100},   {3, 0, 32767, 200, 0, 3, 21},
      {4, 0, -32768, 200, 0, 4, 20},      {0, 0, 1821, 100, 0, -0.4, 90}, {0, 0, 1821, 100, 0, -0.5, 90},
      {359, 0, -3700, 100, 0, -0.6, 120}, {0, 0, 1821, 100, 0, 0.5, 90},  {0, 0, 183, 100, 0.5, 0, 99},
      {0, 2, 547, 100, 1.5, 0, 97},       {0, 2, 547, 100, 2.5, 0, 97},   {0, 1, 365, 100, 1.49, 0, 98},
      {0, 0, 183, 100, -0.5, 0, 99},      {0, -2, 911, 100, -1.5, 0, 95}, {2, 0, 1275, 100, 0, 1.5, 93},
      {2, 0, 1275, 100, 0, 2.5, 93},      {1, 0, 1093, 100, 0, 0.51, 94}, {358, 0, 1457, 100, 0, -1.5, 92}};
  const Case west[] = {{238, 47, 3277, 163, 47.4498889, -122.3117778, 145},
                       {122, 47, -3277, 163, 47.4498889, 122.3117778, 181},
                       {180, -10, 1821, 90, -10, -180, 80},
                       {180, -10, 1821, 90, -10, 179.6, 80},
                       {0, -90, 1821, 100, -90, 0, 90},
                       {359, 90, 3641, 100, 90, -1, 80}};
  auto check = [](const Case& c) {
    MagVarGrid grid;
    SetVariation(grid, c.column, c.cellLat, c.raw);
    EXPECT_EQ(TrueToMagnetic(c.heading, c.lat, c.lon, grid), c.expected)
        << c.heading << " at " << c.lat << "," << c.lon;
  };
  for (const Case& c : cases) check(c);
  for (const Case& c : west) check(c);
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

// Clockwise from fromHdg inclusive to toHdg exclusive; h is written back as 360 when it was 0, and only
// then (an unnormalised 400 is left alone). In order: 0 is read as 360; the empty arc 20..20; 0 and 360
// are the same end; toHdg 0 is read as 360, exclusive; fromHdg 0 is read as 360, inclusive; nearly the
// whole circle, 11 round to 9; 0 is written back even when outside. Then ends outside the circle, which
// still terminate: from 400 the walk never wraps to 1 and never meets toHdg; with an unreachable end the
// walk goes round once, finds any heading of the circle, and stops; from -30 the walk climbs through 0 to
// 1..: an unnormalised start may still find h.
TEST(IsHeadingWithinArc, ClockwiseFromInclusiveToExclusive) {
  struct Case {
    int16_t h, fromHdg, toHdg;
    bool within;
  };
  const Case cases[] = {
      {0, 350, 10, true},  {360, 350, 10, true},  {10, 350, 10, false},  {9, 350, 10, true},
      {1, 350, 10, true},  {350, 350, 10, true},  {349, 350, 10, false}, {180, 350, 10, false},
      {5, 20, 20, false},  {20, 20, 20, false},   {360, 0, 360, false},  {360, 330, 0, false},
      {359, 330, 0, true}, {360, 0, 30, true},    {1, 0, 30, true},      {30, 0, 30, false},
      {5, 11, 10, true},   {9, 11, 10, true},     {10, 11, 10, false},   {0, 90, 180, false},
      {45, 0, 90, true},   {5, 400, 10, false},   {5, 32767, 10, false}, {5, -32768, 10, false},
      {9, 10, 500, true},  {400, 10, 500, false}, {1, -30, 360, true}};
  for (const Case& c : cases) {
    int16_t h = c.h;
    EXPECT_EQ(IsHeadingWithinArc(h, c.fromHdg, c.toHdg), c.within)
        << c.h << " in " << c.fromHdg << ".." << c.toHdg;
    EXPECT_EQ(h, c.h == 0 ? 360 : c.h) << c.h;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Sectors and clock positions

TEST(SectorsAndClock, AroundRunway160AndAnAircraftHeadingNorth) {
  struct Case {
    int16_t bearing, reference;
    const char* word;
  };
  const Case sectors[] = {{160, 160, "north"},     {340, 160, "south"},     {250, 160, "east"},
                          {70, 160, "west"},       {200, 160, "northeast"}, {120, 160, "northwest"},
                          {290, 160, "southeast"}, {30, 160, "southwest"}};
  for (const Case& c : sectors) EXPECT_EQ(RunwaySector(c.bearing, c.reference), c.word) << c.bearing;
  const Case clock[] = {{360, 360, "twelve o'clock"}, {45, 360, "two o'clock"},  {90, 0, "three o'clock"},
                        {135, 0, "five o'clock"},     {180, 0, "six o'clock"},   {225, 0, "eight o'clock"},
                        {270, 0, "nine o'clock"},     {315, 0, "ten o'clock"},   {329, 0, "ten o'clock"},
                        {330, 0, "twelve o'clock"},   {29, 0, "twelve o'clock"}, {30, 0, "two o'clock"}};
  for (const Case& c : clock) EXPECT_EQ(ClockPosition(c.bearing, c.reference), c.word) << c.bearing;
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

TEST(SectorsAndClock, FirstArcWinsForSectorsLastArcForClockAndNoArcOffTheCircle) {
  // Reference -330 (not normalised). North: -360 -> 0 (read 360) to -300 -> 60, holds 1. Northwest:
  // -390 -> -30 (one correction only) to -360 -> 0 (read 360); the walk climbs -30, -29, .., 1 and holds
  // too. No later arc holds 1.
  EXPECT_EQ(RunwaySector(1, -330), "north");
  EXPECT_EQ(ClockPosition(1, -330), "ten o'clock");
  EXPECT_EQ(RunwaySector(400, 90), "");
  EXPECT_EQ(ClockPosition(-5, 90), "");
  EXPECT_EQ(RunwaySector(32767, -32768), "");
  EXPECT_EQ(ClockPosition(-32768, 32767), "");
}

TEST(WaypointName, CapitalisesTheSectorWord) {
  for (auto [word, name] : {std::pair{"north", "North"}, {"southwest", "Southwest"}, {"", ""}})
    EXPECT_EQ(WaypointName(word), name);
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
  const double above = 1.0000000000000002;
  for (double x : {above, -above, 2.0, std::numeric_limits<double>::infinity()}) EXPECT_EQ(ArcSin(x), 0) << x;
  for (double x : {above, -above, -7.0}) EXPECT_EQ(ArcCos(x), 0) << x;  // -above: not pi
  EXPECT_TRUE(std::isnan(ArcCos(std::nan(""))));
}

TEST(FloatMod, ResultTakesTheSignOfAPositiveModulus) {
  struct Case {
    double x, m, expected;
  };
  // A negative modulus: 7 - (-3) * floor(-2.33) = -2, then once more -3.
  const Case cases[] = {{7, 3, 1}, {-1, 3, 2}, {-7, 3, 2}, {6, 3, 0}, {-6, 3, 0}, {5.5, 2, 1.5}, {7, -3, -5}};
  for (const Case& c : cases) EXPECT_EQ(FloatMod(c.x, c.m), c.expected) << c.x << " mod " << c.m;
  EXPECT_NEAR(FloatMod(-0.5, kTwoPi), kTwoPi - 0.5, 1e-15);
}

// The ten-bit field above the low two bits, scaled to degrees and rounded half to even: fields 1023, 1022,
// 1, 2, 64 and 192 are 359.648, 359.297, 0.352, 0.703, 22.5 and 67.5 degrees. Other bits are ignored.
// Negative words divide toward zero: -3 \ 4 = 0 (an arithmetic shift would give -1, field 1023, 360);
// -4 \ 4 = -1, field 1023; -5 \ 4 = -1 (a shift: -2, field 1022, 359); -8 \ 4 = -2, field 1022.
const int32_t kMax = std::numeric_limits<int32_t>::max();
const int32_t kMin = std::numeric_limits<int32_t>::min();

// 1027 is field 256 with both low bits set.
TEST(HeadingFromPacked, TenBitFieldScaledToDegrees) {
  struct Case {
    int32_t packed;
    int16_t heading;
  };
  const Case cases[] = {{0, 0},           {256 << 2, 90},  {512 << 2, 180}, {768 << 2, 270}, {1023 << 2, 360},
                        {1022 << 2, 359}, {1 << 2, 0},     {2 << 2, 1},     {64 << 2, 22},   {192 << 2, 68},
                        {1027, 90},       {0x7FFF400, 90}, {kMax, 360},     {kMin, 0},       {-3, 0},
                        {-4, 360},        {-5, 360},       {-8, 359}};
  for (const Case& c : cases) EXPECT_EQ(HeadingFromPacked(c.packed), c.heading) << c.packed;
}

TEST(Shifts, LeftIsADoubleProductRightDividesTruncatingTowardZero) {
  struct Case {
    int32_t value, bits;
    double expected;
  };
  const Case left[] = {{3, 4, 48.0}, {-3, 2, -12.0}, {1, 31, 2147483648.0}, {kMax, 1, 4294967294.0},
                       {1, -1, 0.5}, {5, 0, 5.0}};
  for (const Case& c : left) EXPECT_EQ(ShiftLeft(c.value, c.bits), c.expected) << c.value << " " << c.bits;
  const Case right[] = {{5, 2, 1},         {-5, 2, -1},    {-8, 1, -4},  {-1, 1, 0},
                        {12345, 0, 12345}, {kMin, 30, -2}, {kMax, 30, 1}};
  for (const Case& c : right) EXPECT_EQ(ShiftRight(c.value, c.bits), c.expected) << c.value << " " << c.bits;
  // Divisors that do not exist are refused.
  EXPECT_THROW(ShiftRight(1, 31), OverflowError);        // 2^31 is not a Long
  EXPECT_THROW(ShiftRight(1, -1), DivisionByZeroError);  // 2^-1 rounds to 0
  EXPECT_THROW(ShiftRight(1, kMin), DivisionByZeroError);
}

}  // namespace
}  // namespace skyvox::geo
