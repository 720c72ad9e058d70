// The kinematics of a simulated aircraft: where it is, and how it moves toward what its pilot set —
// a route of points or a heading, a speed, an altitude or a glide path — at the rates of its kind
// (standard-rate turns in the air, taxi turns on the ground, climb and descent rates, acceleration).
// Headings and courses are true degrees; positions degrees north and east; altitudes feet.
#pragma once

#include <deque>
#include <optional>
#include <string>

namespace skyvox::sim {

struct Performance {
  std::string Aircraft;    // the description the simulator sends
  double TaxiKt = 15;      // taxi speed
  double RotateKt = 55;    // lift-off speed
  double ClimbKt = 75;     // climb-out speed
  double CruiseKt = 110;   // en route
  double PatternKt = 80;   // in the pattern
  double ApproachKt = 65;  // on final
  double ClimbFpm = 700;
  double DescentFpm = 600;
  double AccelKtPerS = 3;  // on the runway and in the air
  double BrakeKtPerS = 5;
};
// A light single (VFR pilots) and an airliner (IFR pilots).
Performance LightSingle();
Performance Airliner();

struct GeoPoint {
  double Latitude = 0;
  double Longitude = 0;
};

class FlightModel {
 public:
  static constexpr double kStandardRate = 3;  // degrees per second in the air
  static constexpr double kTaxiTurnRate = 30;

  explicit FlightModel(Performance performance) : perf_(std::move(performance)) {}
  const Performance& Perf() const { return perf_; }

  // Stands still on the ground at a place, elevation and heading.
  void PlaceOnGround(double lat, double lon, double elevationFt, double trueHeading);
  void Step(double seconds);

  // Lateral guidance: a route of points flown in order (then the last course is held, or the aircraft
  // stops when it is on the ground), or a heading held.
  void FollowRoute(std::deque<GeoPoint> points);
  void HoldHeading(double trueHeading);
  // Vertical guidance: an altitude to reach at the kind's rates, or a glide path of `slopeDeg` to a
  // touchdown point at an elevation (never climbing to meet it).
  void ClimbTo(double altitudeFt) {
    targetAltitude_ = altitudeFt;
    glide_.reset();
  }
  void GlideTo(const GeoPoint& touchdown, double elevationFt, double slopeDeg = 3);
  void SetSpeed(double knots) { targetSpeed_ = knots; }
  // On the runway: accelerate, lift off at the rotation speed and climb; `groundElevation` is where
  // the wheels are until then.
  void StartTakeoff(double trueHeading, double climbToFt);
  // Keeps the wheels on the ground at this elevation (taxi, rollout).
  void SetGroundElevation(double elevationFt) { groundElevation_ = elevationFt; }

  double Latitude() const { return lat_; }
  double Longitude() const { return lon_; }
  double AltitudeFt() const { return alt_; }
  double TrueHeading() const { return heading_; }
  double GroundSpeedKt() const { return speed_; }
  bool OnGround() const { return onGround_; }
  bool RouteDone() const { return route_.empty(); }
  size_t RouteLeft() const { return route_.size(); }
  // True once after the wheels touched the ground.
  bool TakeTouchdown() {
    const bool t = touchedDown_;
    touchedDown_ = false;
    return t;
  }

 private:
  double DesiredHeading();

  Performance perf_;
  double lat_ = 0, lon_ = 0, alt_ = 0, heading_ = 0, speed_ = 0;
  bool onGround_ = true;
  bool takingOff_ = false;
  bool touchedDown_ = false;
  double groundElevation_ = 0;
  double targetSpeed_ = 0;
  double targetAltitude_ = 0;
  std::deque<GeoPoint> route_;
  std::optional<double> heldHeading_;
  struct Glide {
    GeoPoint Touchdown;
    double ElevationFt = 0;
    double Slope = 3;
  };
  std::optional<Glide> glide_;
};

// The signed difference b - a of two headings, in -180..180.
double HeadingDifference(double a, double b);

}  // namespace skyvox::sim
