// Great circles on a spherical earth, for the simulated aircraft: exact distances and courses in
// floating point (the station's own helpers round to whole miles and degrees), points along a great
// circle, and the point reached from another along a course.
#pragma once

#include <cmath>

namespace skyvox::sim {

inline constexpr double kPi = 3.14159265358979323846;

inline double Radians(double degrees) {
  return degrees * kPi / 180;
}
inline double Degrees(double radians) {
  return radians * 180 / kPi;
}

struct Vector3 {
  double X, Y, Z;
};

inline Vector3 ToVector(double lat, double lon) {
  const double phi = Radians(lat), lambda = Radians(lon);
  return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

// The central angle between two points, in radians.
inline double CentralAngle(const Vector3& a, const Vector3& b) {
  const Vector3 c{a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
  return std::atan2(std::sqrt(c.X * c.X + c.Y * c.Y + c.Z * c.Z), a.X * b.X + a.Y * b.Y + a.Z * b.Z);
}

// Great-circle distance in nautical miles, one minute of arc being one mile.
inline double DistanceNmExact(double lat1, double lon1, double lat2, double lon2) {
  return Degrees(CentralAngle(ToVector(lat1, lon1), ToVector(lat2, lon2))) * 60;
}

// Initial true course from point 1 to point 2, degrees in 0..360.
inline double CourseDeg(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = Radians(lat1), phi2 = Radians(lat2), dLambda = Radians(lon2 - lon1);
  const double y = std::sin(dLambda) * std::cos(phi2);
  const double x = std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
  const double course = std::fmod(Degrees(std::atan2(y, x)) + 360, 360);
  return course;
}

// The point a fraction f of the way along the great circle from 1 to 2. Nearly antipodal ends have no
// single great circle; the path then runs straight through latitude and longitude.
inline void Interpolate(double lat1, double lon1, double lat2, double lon2, double f, double& lat,
                        double& lon) {
  const Vector3 a = ToVector(lat1, lon1), b = ToVector(lat2, lon2);
  const double theta = CentralAngle(a, b);
  const double s = std::sin(theta);
  if (theta < 1e-12 || s < 1e-9) {
    lat = lat1 + (lat2 - lat1) * f;
    lon = lon1 + (lon2 - lon1) * f;
    return;
  }
  const double wa = std::sin((1 - f) * theta) / s, wb = std::sin(f * theta) / s;
  const Vector3 p{wa * a.X + wb * b.X, wa * a.Y + wb * b.Y, wa * a.Z + wb * b.Z};
  lat = Degrees(std::atan2(p.Z, std::hypot(p.X, p.Y)));
  lon = Degrees(std::atan2(p.Y, p.X));
}

// The point reached from (lat, lon) after `nm` nautical miles along the initial true course `course`.
inline void MovePoint(double lat, double lon, double course, double nm, double& outLat, double& outLon) {
  const double phi1 = Radians(lat), lambda1 = Radians(lon), theta = Radians(course), delta = Radians(nm / 60);
  const double phi2 =
      std::asin(std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(theta));
  const double lambda2 = lambda1 + std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                                              std::cos(delta) - std::sin(phi1) * std::sin(phi2));
  outLat = Degrees(phi2);
  outLon = std::remainder(Degrees(lambda2), 360.0);
}

}  // namespace skyvox::sim
