#include "sim/flight_model.h"

#include <algorithm>
#include <cmath>

#include "sim/earth.h"

namespace skyvox::sim {

Performance LightSingle() {
  Performance p;
  p.Aircraft = "Cessna Skyhawk 172SP";
  return p;
}

Performance Airliner() {
  Performance p;
  p.Aircraft = "Boeing 737-400";
  p.TaxiKt = 15;
  p.RotateKt = 145;
  p.ClimbKt = 210;
  p.CruiseKt = 280;
  p.PatternKt = 180;
  p.ApproachKt = 140;
  p.ClimbFpm = 2500;
  p.DescentFpm = 1800;
  p.AccelKtPerS = 4;
  p.BrakeKtPerS = 6;
  return p;
}

double HeadingDifference(double a, double b) {
  double d = std::fmod(b - a, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

void FlightModel::PlaceOnGround(double lat, double lon, double elevationFt, double trueHeading) {
  lat_ = lat;
  lon_ = lon;
  alt_ = groundElevation_ = targetAltitude_ = elevationFt;
  heading_ = trueHeading;
  speed_ = targetSpeed_ = 0;
  onGround_ = true;
  takingOff_ = false;
  route_.clear();
  heldHeading_.reset();
  glide_.reset();
}

void FlightModel::FollowRoute(std::deque<GeoPoint> points) {
  route_ = std::move(points);
  heldHeading_.reset();
}

void FlightModel::HoldHeading(double trueHeading) {
  route_.clear();
  heldHeading_ = std::fmod(trueHeading + 360, 360);
}

void FlightModel::GlideTo(const GeoPoint& touchdown, double elevationFt, double slopeDeg) {
  glide_ = Glide{touchdown, elevationFt, slopeDeg};
}

void FlightModel::StartTakeoff(double trueHeading, double climbToFt) {
  takingOff_ = true;
  heldHeading_ = trueHeading;
  route_.clear();
  targetAltitude_ = climbToFt;
  glide_.reset();
  targetSpeed_ = perf_.ClimbKt;
}

double FlightModel::DesiredHeading() {
  // Points come off the route once reached: on the ground within 30 ft, in the air within the turn
  // radius at standard rate (about speed / 200 nm) so that the aircraft does not circle a point.
  while (!route_.empty()) {
    const GeoPoint& p = route_.front();
    const double d = DistanceNmExact(lat_, lon_, p.Latitude, p.Longitude);
    const double reach = onGround_ ? 30.0 / 6076 : std::max(0.2, speed_ / 200);
    if (d > reach) return CourseDeg(lat_, lon_, p.Latitude, p.Longitude);
    route_.pop_front();
    if (route_.empty() && !onGround_) heldHeading_ = heading_;
  }
  if (heldHeading_) return *heldHeading_;
  return heading_;
}

void FlightModel::Step(double dt) {
  if (dt <= 0) return;
  const double desired = DesiredHeading();
  // On the ground with nowhere to go the aircraft stops.
  double speedGoal = targetSpeed_;
  if (onGround_ && !takingOff_ && route_.empty() && !heldHeading_) speedGoal = 0;
  const double accel = speedGoal > speed_ ? perf_.AccelKtPerS : -perf_.BrakeKtPerS;
  speed_ += accel * dt;
  if ((accel > 0 && speed_ > speedGoal) || (accel < 0 && speed_ < speedGoal)) speed_ = speedGoal;
  speed_ = std::max(0.0, speed_);

  const double rate = onGround_ ? kTaxiTurnRate : kStandardRate;
  const double turn = std::clamp(HeadingDifference(heading_, desired), -rate * dt, rate * dt);
  if (!onGround_ || speed_ > 0) heading_ = std::fmod(heading_ + turn + 360, 360);

  const double nm = speed_ * dt / 3600;
  if (nm > 0) MovePoint(lat_, lon_, heading_, nm, lat_, lon_);

  if (onGround_) {
    alt_ = groundElevation_;
    if (takingOff_ && speed_ >= perf_.RotateKt) onGround_ = false;
    return;
  }
  takingOff_ = false;
  double goal = targetAltitude_;
  if (glide_) {
    const double distFt =
        DistanceNmExact(lat_, lon_, glide_->Touchdown.Latitude, glide_->Touchdown.Longitude) * 6076;
    goal = std::min(alt_, glide_->ElevationFt + distFt * std::tan(glide_->Slope * kPi / 180));
  }
  const double up = perf_.ClimbFpm / 60 * dt, down = perf_.DescentFpm / 60 * dt * (glide_ ? 2 : 1);
  alt_ += std::clamp(goal - alt_, -down, up);
  if (glide_ && alt_ <= glide_->ElevationFt + 1) {
    alt_ = groundElevation_ = glide_->ElevationFt;
    onGround_ = true;
    touchedDown_ = true;
    glide_.reset();
    heldHeading_ = heading_;
  }
}

}  // namespace skyvox::sim
