#include "geo/wmm.h"

#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/errors.h"
#include "base/rounding.h"

namespace skyvox::geo {
namespace {

constexpr int kN = WmmModel::kMaxDegree;
constexpr double kDegToRad = std::numbers::pi / 180.0;

// WGS-84 ellipsoid, km.
constexpr double kSemiMajorKm = 6378.137;
constexpr double kFlattening = 1.0 / 298.257223563;
constexpr double kEccentricitySq = kFlattening * (2.0 - kFlattening);
// The model's reference radius (the geomagnetic reference sphere), km.
constexpr double kReferenceRadiusKm = 6371.2;

constexpr double kMaxCoefficient = 1e6;
constexpr double kMinEpoch = 1900.0;
constexpr double kMaxEpoch = 2200.0;
constexpr double kMinAltitudeKm = -1000.0;
constexpr double kMaxYearsFromEpoch = 100.0;

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

[[noreturn]] void Fail(size_t lineNumber, const std::string& what) {
  throw FormatError("WMM coefficients, line " + std::to_string(lineNumber) + ": " + what);
}

// The whole word must be a finite number.
bool ParseDouble(std::string_view word, double& value) {
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInt(std::string_view word, int& value) {
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool IsEndLine(std::string_view firstWord) {
  return firstWord.starts_with("9999");
}

void RequireFinite(double value, const char* name) {
  if (!std::isfinite(value)) throw std::invalid_argument(std::string("WmmModel: ") + name + " is not finite");
}

}  // namespace

WmmModel WmmModel::Parse(std::string_view cofText) {
  WmmModel model;
  std::array<std::array<bool, kN + 1>, kN + 1> seen{};
  int pairsSeen = 0;
  bool haveHeader = false;
  bool ended = false;
  size_t lineNumber = 0;
  size_t pos = 0;
  while (pos < cofText.size() && !ended) {
    size_t eol = cofText.find('\n', pos);
    if (eol == std::string_view::npos) eol = cofText.size();
    const std::string_view line = cofText.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNumber;
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.empty()) continue;

    if (!haveHeader) {
      double epoch = 0;
      if (words.size() < 2 || !ParseDouble(words[0], epoch)) {
        Fail(lineNumber, "expected the header \"epoch model-name date\"");
      }
      if (epoch < kMinEpoch || epoch > kMaxEpoch) Fail(lineNumber, "epoch out of range");
      model.epoch_ = epoch;
      model.modelName_ = std::string(words[1]);
      haveHeader = true;
      continue;
    }
    if (IsEndLine(words[0])) {
      ended = true;
      continue;
    }
    if (words.size() != 6) Fail(lineNumber, "expected \"n m g h dg dh\"");
    int n = 0;
    int m = 0;
    if (!ParseInt(words[0], n) || !ParseInt(words[1], m))
      Fail(lineNumber, "degree and order must be integers");
    if (n < 1 || n > kN || m < 0 || m > n) Fail(lineNumber, "degree or order out of range");
    std::array<double, 4> values{};
    for (size_t i = 0; i < values.size(); ++i) {
      if (!ParseDouble(words[2 + i], values[i])) Fail(lineNumber, "coefficient is not a number");
      if (std::fabs(values[i]) > kMaxCoefficient) Fail(lineNumber, "coefficient out of range");
    }
    if (seen[n][m]) Fail(lineNumber, "coefficients for this degree and order given twice");
    seen[n][m] = true;
    ++pairsSeen;
    model.g_[n][m] = values[0];
    model.h_[n][m] = values[1];
    model.dg_[n][m] = values[2];
    model.dh_[n][m] = values[3];
  }
  if (!haveHeader) throw FormatError("WMM coefficients: empty text");
  if (!ended) throw FormatError("WMM coefficients: no end line of nines");
  constexpr int kPairs = kN * (kN + 3) / 2;  // orders 0..n for n = 1..12
  if (pairsSeen != kPairs) {
    throw FormatError("WMM coefficients: " + std::to_string(pairsSeen) + " of the " + std::to_string(kPairs) +
                      " degree and order pairs given");
  }
  return model;
}

double WmmModel::DeclinationDeg(double latDeg, double lonDeg, double altitudeKm, double decimalYear) const {
  RequireFinite(latDeg, "latitude");
  RequireFinite(lonDeg, "longitude");
  RequireFinite(altitudeKm, "altitude");
  RequireFinite(decimalYear, "year");
  if (latDeg < -90.0 || latDeg > 90.0) throw std::invalid_argument("WmmModel: latitude outside -90..90");
  if (altitudeKm < kMinAltitudeKm) throw std::invalid_argument("WmmModel: altitude below -1000 km");
  const double dt = decimalYear - epoch_;
  if (std::fabs(dt) > kMaxYearsFromEpoch) {
    throw std::invalid_argument("WmmModel: year more than 100 years from the model epoch");
  }

  // Geodetic to geocentric spherical coordinates.
  const double lat = latDeg * kDegToRad;
  const double lon = lonDeg * kDegToRad;
  const double sinLat = std::sin(lat);
  const double cosLat = std::cos(lat);
  const double primeVerticalKm = kSemiMajorKm / std::sqrt(1.0 - kEccentricitySq * sinLat * sinLat);
  const double p = (primeVerticalKm + altitudeKm) * cosLat;
  const double z = (primeVerticalKm * (1.0 - kEccentricitySq) + altitudeKm) * sinLat;
  const double r = std::hypot(p, z);
  const double s = z / r;  // sine and cosine of the geocentric latitude
  const double c = p / r;
  const double geocentricLat = std::atan2(z, p);

  // Schmidt semi-normalised associated Legendre functions P[n][m] of sin(geocentric latitude), their
  // derivatives dP with respect to that latitude, and Q[n][m] = P[n][m] / cos(latitude) for m >= 1,
  // built by the same recursion from a seed without the cosine factor so that the east component
  // needs no division and stays finite at the poles.
  using Table = std::array<std::array<double, kN + 1>, kN + 1>;
  Table pTab{};
  Table dpTab{};
  Table qTab{};
  pTab[0][0] = 1.0;
  for (int m = 0; m <= kN; ++m) {
    if (m == 1) {
      pTab[1][1] = c;
      dpTab[1][1] = -s;
      qTab[1][1] = 1.0;
    } else if (m >= 2) {
      const double k = std::sqrt((2.0 * m - 1.0) / (2.0 * m));
      pTab[m][m] = k * c * pTab[m - 1][m - 1];
      dpTab[m][m] = k * (c * dpTab[m - 1][m - 1] - s * pTab[m - 1][m - 1]);
      qTab[m][m] = k * c * qTab[m - 1][m - 1];
    }
    for (int n = m + 1; n <= kN; ++n) {
      const double denom = std::sqrt(static_cast<double>(n * n - m * m));
      const double a1 = (2.0 * n - 1.0) / denom;
      const double a2 = std::sqrt(static_cast<double>((n - 1) * (n - 1) - m * m)) / denom;
      // For n = m + 1, a2 is 0 and the n - 2 term (below the diagonal) does not exist.
      const bool hasPrev2 = n - 2 >= m;
      const double p2 = hasPrev2 ? pTab[n - 2][m] : 0.0;
      const double dp2 = hasPrev2 ? dpTab[n - 2][m] : 0.0;
      const double q2 = hasPrev2 ? qTab[n - 2][m] : 0.0;
      pTab[n][m] = a1 * s * pTab[n - 1][m] - a2 * p2;
      dpTab[n][m] = a1 * (s * dpTab[n - 1][m] + c * pTab[n - 1][m]) - a2 * dp2;
      qTab[n][m] = a1 * s * qTab[n - 1][m] - a2 * q2;
    }
  }

  std::array<double, kN + 1> cosMLon{};
  std::array<double, kN + 1> sinMLon{};
  for (int m = 0; m <= kN; ++m) {
    cosMLon[m] = std::cos(m * lon);
    sinMLon[m] = std::sin(m * lon);
  }

  // Field components in the geocentric frame: north, east, down (nT).
  double xPrime = 0;
  double yPrime = 0;
  double zPrime = 0;
  const double ratio = kReferenceRadiusKm / r;
  double radial = ratio * ratio;
  for (int n = 1; n <= kN; ++n) {
    radial *= ratio;  // (a / r)^(n + 2)
    for (int m = 0; m <= n; ++m) {
      const double g = g_[n][m] + dt * dg_[n][m];
      const double h = h_[n][m] + dt * dh_[n][m];
      const double cosTerm = g * cosMLon[m] + h * sinMLon[m];
      xPrime -= radial * cosTerm * dpTab[n][m];
      zPrime -= (n + 1) * radial * cosTerm * pTab[n][m];
      if (m >= 1) yPrime += radial * m * (g * sinMLon[m] - h * cosMLon[m]) * qTab[n][m];
    }
  }

  // Back to the geodetic frame: a rotation about the east axis by the latitude difference.
  const double psi = geocentricLat - lat;
  const double x = xPrime * std::cos(psi) - zPrime * std::sin(psi);
  return std::atan2(yPrime, x) / kDegToRad;
}

MagVarGrid VariationGridFromModel(const WmmModel& model, double decimalYear) {
  MagVarGrid grid;
  for (int lon = 0; lon < 360; ++lon) {
    for (int lat = -90; lat <= 90; ++lat) {
      const double declination = model.DeclinationDeg(lat, lon, 0.0, decimalYear);
      int32_t counts = CLng(declination * 65536.0 / 360.0);
      if (counts == 32768) counts = -32768;
      grid.Set(MagVarGrid::Index(lon, lat), static_cast<int16_t>(counts));
    }
  }
  return grid;
}

double DecimalYear(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const sys_days day = floor<days>(when);
  const year y = year_month_day(day).year();
  const sys_days start = y / January / 1;
  const sys_days next = (y + years(1)) / January / 1;
  const duration<double, days::period> elapsed = when - start;
  return static_cast<int>(y) + elapsed.count() / (next - start).count();
}

}  // namespace skyvox::geo
