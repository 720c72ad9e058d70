// The World Magnetic Model: a degree-12 spherical-harmonic model of the main geomagnetic field, with a
// linear secular variation from its epoch, read from the public coefficient file (WMM.COF).
#pragma once

#include <array>
#include <chrono>
#include <string>
#include <string_view>

#include "geo/mag_var_grid.h"

namespace skyvox::geo {

class WmmModel {
 public:
  static constexpr int kMaxDegree = 12;

  // Reads the COF text: a header line "epoch model-name release-date", then one line "n m g h dg dh"
  // for every degree n = 1..12 and order m = 0..n (nT and nT/year, any line order), ended by a line of
  // nines. Blank lines are skipped, CR line ends accepted, anything after the end line ignored.
  // Throws skyvox::FormatError naming the line for a missing or malformed header, a line that is not
  // six numbers, n or m out of range, a repeated or missing coefficient pair, a coefficient whose
  // magnitude exceeds 1e6 (no real model comes near; it keeps every later sum finite), or a missing
  // end line.
  static WmmModel Parse(std::string_view cofText);

  double Epoch() const { return epoch_; }
  const std::string& ModelName() const { return modelName_; }

  // Declination D = atan2(Y, X) in degrees, -180..180, east positive, at a geodetic point on WGS-84.
  // altitudeKm is the height above the ellipsoid (the model's own height; it differs from height above
  // sea level by the geoid, under 0.11 km everywhere). The coefficients are carried linearly from the
  // epoch to decimalYear; years outside the model's five-year life give extrapolated values.
  // At a geographic pole (lat +-90) the east component is taken as its limit along the meridian lonDeg,
  // so the result is the declination measured from that meridian, continuous with nearby latitudes.
  // Throws std::invalid_argument for a non-finite argument, a latitude outside -90..90, an altitude
  // below -1000 km, or a year more than 100 years from the epoch.
  double DeclinationDeg(double latDeg, double lonDeg, double altitudeKm, double decimalYear) const;

 private:
  // Indexed [n][m]; unused entries (m > n, n = 0) are zero.
  using Table = std::array<std::array<double, kMaxDegree + 1>, kMaxDegree + 1>;

  double epoch_ = 0;
  std::string modelName_;
  Table g_{};
  Table h_{};
  Table dg_{};
  Table dh_{};
};

// The model's declination at sea level (height 0 above the ellipsoid) for every whole degree lat -90..90,
// lon 0..359 east, at decimalYear, in counts of 360/65536 degree rounded half to even, stored at
// lon * 181 + (lat + 90): the simulator's own magdec.bgl grid. The poles hold the model's declination
// there measured from the cell's meridian. A declination of exactly +180 degrees (32768 counts) is stored
// as -32768, the same direction. Index 65160, which no column names, stays 0. Throws what DeclinationDeg
// throws for a year the model refuses.
MagVarGrid VariationGridFromModel(const WmmModel& model, double decimalYear);

// The date of a moment (UTC) as a decimal year: 2025.0 at the start of 2025, the fraction counted in days
// of that year.
double DecimalYear(std::chrono::system_clock::time_point when);

}  // namespace skyvox::geo
