// Spherical-earth navigation helpers: distances, initial courses, destination points, true to magnetic
// conversion, whole-degree heading arithmetic, and the two eight-arc classifications of a bearing
// (runway-relative compass word and clock position).
//
// Conventions: latitude and longitude are degrees, north and east positive. Headings, courses and bearings
// are whole degrees in 0..360 once normalised, 360 and 0 both meaning north. The controllers' words and
// numbers depend on the exact rounding below (courses rounded up, half-to-even conversions, 6080 ft per nm,
// pi written to 15 significant digits), so none of it is "improved".
//
// All functions are pure. Non-finite coordinates end in skyvox::OverflowError from the integer conversion
// of the helpers that return integers; nothing here has undefined behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/corrected_mode.h"
#include "geo/mag_var_grid.h"

namespace skyvox::geo {

// Deliberately not the full-precision value: the results are meant to match this constant's rounding.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kTwoPi = 6.28318530717958;

// A named point; the destination-point helpers fill only Latitude and Longitude.
struct TargetPoint {
  std::string Name;
  std::string Kind;
  double Latitude = 0;
  double Longitude = 0;
  int32_t Value = 0;
  bool operator==(const TargetPoint&) const = default;
};

// Great-circle distance in whole nautical miles (one minute of arc = 1 nm), half-to-even, capped at 32767.
int16_t DistanceNm(double lat1, double lon1, double lat2, double lon2);

// Great-circle distance in whole feet at 6080 ft per nm, capped at 32767 (about 5.4 nm). The miles are
// rounded to 5 decimals before the conversion, and the feet to 5 decimals before the final rounding.
int16_t DistanceFt(double lat1, double lon1, double lat2, double lon2);

// Initial true course from point 1 to point 2, rounded UP to the next whole degree, in 0..360.
// Identical points give 360.
int16_t TrueBearing(double lat1, double lon1, double lat2, double lon2);

// TrueBearing converted to magnetic with the variation at point 1, where the course is flown from.
int16_t MagneticBearing(double lat1, double lon1, double lat2, double lon2, const MagVarGrid& grid);

// The point reached from (lat, lon) by a great circle on true `course` for `distance` nm. Both coordinates
// are rounded to 5 decimals; Name, Kind and Value are left empty / 0.
TargetPoint DestinationPointNm(double lat, double lon, int16_t course, int16_t distance);
// Idem with the distance in feet (6080 per nm).
TargetPoint DestinationPointFt(double lat, double lon, int16_t course, int16_t distance);
// Idem with the distance in metres, of which the absolute value is used (1852 per nm), and both
// coordinates rounded to 6 decimals: how scenery offsets from an airport's reference point are placed.
TargetPoint DestinationPointMetres(double lat, double lon, int16_t course, double metres);

// The same three, choosing their formulas by the corrected mode. The formulas above are kept as they are:
// north comes out as 0 or 1 (never 360), south often as 0 (an arc cosine of a value a hair below -1 is
// taken as 0), an exactly east course one degree high, and a destination point never more than 90 degrees
// of longitude away. With SoundBearings the course is an atan2 of the exact components (arguments clamped,
// full-precision pi), still rounded up to the next whole degree in 1..360 (north 360, identical points
// 360), a course within a billionth of a degree of a whole degree counting as that degree; the destination
// point uses the atan2 form for the longitude, so any distance and course lands where it should.
int16_t TrueBearing(double lat1, double lon1, double lat2, double lon2, const CorrectedMode& mode);
int16_t MagneticBearing(double lat1, double lon1, double lat2, double lon2, const MagVarGrid& grid,
                        const CorrectedMode& mode);
TargetPoint DestinationPointNm(double lat, double lon, int16_t course, int16_t distance,
                               const CorrectedMode& mode);
TargetPoint DestinationPointFt(double lat, double lon, int16_t course, int16_t distance,
                               const CorrectedMode& mode);

// True heading to magnetic, using the grid cell of the position rounded half-to-even to whole degrees and
// the variation truncated toward zero to whole degrees. Result in 0..360 for a true heading in 0..360.
// Throws skyvox::OverflowError if the heading or the difference does not fit 16 bits, and
// SubscriptError if the rounded position falls outside the grid (e.g. a longitude of 359.5 or more).
int16_t TrueToMagnetic(int heading, double lat, double lon, const MagVarGrid& grid);

// One correction each way: above 360 subtract 360, then below 0 add 360. Inputs -360..720 land in 0..360;
// 0 stays 0 and 360 stays 360. Writes the result back to h and returns it.
int16_t NormalizeHeading(int16_t& h);

// Whole-degree arc test, clockwise from fromHdg inclusive to toHdg exclusive, 360 followed by 1. A zero h
// is written back as 360; a zero fromHdg or toHdg is read as 360. Equal ends make an empty arc. Meant for
// normalised headings; anything else gives some answer after at most 361 steps, never a hang.
bool IsHeadingWithinArc(int16_t& h, int16_t fromHdg, int16_t toHdg);

// The runway-relative compass word of a bearing from the airport: "north" within 30 degrees of the runway
// heading (beyond the far end), "south" on the approach side, and "northeast", "east", "southeast",
// "southwest", "west", "northwest" between. The first arc that holds wins; "" if none does (possible only
// for headings that are not normalised).
std::string RunwaySector(int16_t bearing, int16_t runwayHeading);

// The clock position of a bearing relative to an aircraft's own heading: "twelve o'clock", "two o'clock",
// "three o'clock", "five o'clock", "six o'clock", "eight o'clock", "nine o'clock", "ten o'clock".
// Same arcs as RunwaySector, but the LAST arc that holds wins; "" if none does.
std::string ClockPosition(int16_t bearing, int16_t ownHeading);

// A RunwaySector word as a vector waypoint name: "north" -> "North", "southwest" -> "Southwest".
std::string WaypointName(std::string_view sectorWord);

// Arc sine in radians; 0 (not an error) for arguments outside -1..1.
double ArcSin(double x);
// Arc cosine in radians; 0 (not an error, not pi) for arguments outside -1..1.
double ArcCos(double x);

// a - b * floor(a / b), then b added once if negative. In 0..b for b > 0.
double FloatMod(double a, double b);

// The 10-bit heading field of a multiplayer position word (bits 2..11, taken after a division by 4 that
// truncates toward zero), scaled to whole degrees half-to-even: field 1023 gives 360.
int32_t HeadingFromPacked(int32_t x);

// x * 2^n as a double (never overflows an integer).
double ShiftLeft(int32_t x, int32_t n);

// x divided by CLng(2^n), truncating toward zero (so -5, 2 gives -1). Throws skyvox::OverflowError for
// n >= 31 and DivisionByZeroError for n < 0 (2^n then rounds to a zero divisor).
int32_t ShiftRight(int32_t x, int32_t n);

}  // namespace skyvox::geo
