#include "sim/virtual_pilot.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "atc/taxi.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "sim/earth.h"

namespace skyvox::sim {

namespace {

constexpr double kFeetPerNm = 6076.12;
// A VFR arrival starts down to pattern altitude this far out and calls the tower from closer in.
constexpr double kDescentNm = 18;
constexpr double kCallTowerNm = 10;

const char* ModeName(int mode) {
  static const char* const names[] = {"boarding", "at the spot", "taxi out",    "holding short", "line up",
                                      "takeoff",  "departure",   "en route",    "vectors",       "pattern",
                                      "final",    "landing",     "runway exit", "taxi in",       "parked"};
  return names[mode];
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string FormatSeconds(double s) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(1);
  out << s;
  return out.str();
}

// Choices whose effect the station may not answer with a line of its own: the pilot does not wait for
// one.
bool ExpectsNoReply(const std::string& option) {
  for (const char* silent :
       {"Acknowledge Takeoff Clearance", "Acknowledge Hold Short", "Acknowledge Go-Around", "Report traffic",
        "Report Parking", "Acknowledge Landing Clearance"}) {
    if (option.rfind(silent, 0) == 0) return true;
  }
  return false;
}

}  // namespace

std::string DescribeIntention(const Intention& i) {
  std::ostringstream out;
  switch (i.Kind) {
    case IntentionKind::VfrPattern:
      out << "vfr " << i.From << " pattern";
      break;
    case IntentionKind::VfrCrossCountry:
      out << "vfr " << i.From << " to " << i.To << " " << i.CruiseFt;
      break;
    case IntentionKind::Ifr:
      out << "ifr " << i.From << " " << i.To << " " << i.CruiseFt;
      break;
    case IntentionKind::FlightFollowing:
      out << "following " << i.From << " " << i.To << " " << i.CruiseFt;
      break;
    case IntentionKind::Rogue:
      out << "rogue " << i.From;
      break;
  }
  out << " from " << (i.Spot.empty() ? std::string("ramp") : ToLowerAscii(i.Spot));
  return out.str();
}

const scenery::AirportRecord* PilotWorld::Find(const std::string& ident) const {
  for (const auto& a : Airports) {
    if (Upper(a.Ident) == Upper(ident)) return &a;
  }
  return nullptr;
}

PilotWorld PilotWorldFrom(const scenery::WorldTables& tables) {
  PilotWorld world;
  for (int32_t i = 0; i < tables.ControlledAirportCount; ++i) {
    scenery::AirportRecord a = tables.ControlledAirports[static_cast<size_t>(i)];
    a.RuntimeList1.clear();
    a.RuntimeList2.clear();
    world.Airports.push_back(std::move(a));
  }
  world.MagVar = tables.MagVarGrid;
  return world;
}

VirtualPilot::VirtualPilot(SimulatedPilot& aircraft, const PilotWorld& world, Intention intention,
                           uint32_t seed, EventSink events)
    : sim_(aircraft),
      world_(world),
      intention_(std::move(intention)),
      random_(seed),
      events_(std::move(events)),
      model_(intention_.Kind == IntentionKind::Ifr ? Airliner() : LightSingle()) {
  departure_ = world_.Find(intention_.From);
  if (!departure_) throw std::invalid_argument("no controlled airport " + intention_.From + " to start from");
  destination_ = intention_.To.empty() ? departure_ : world_.Find(intention_.To);
  if (!destination_) throw std::invalid_argument("no controlled airport " + intention_.To + " to fly to");
  if (!intention_.Spot.empty()) {
    const auto& spots = departure_->ParkingSpots;
    const auto it = std::find_if(
        spots.begin(), spots.begin() + departure_->ParkingCount,
        [&](const scenery::ParkingRecord& p) { return Upper(p.Name) == Upper(intention_.Spot); });
    if (it == spots.begin() + departure_->ParkingCount) {
      std::string known;
      for (int32_t i = 0; i < departure_->ParkingCount; ++i)
        known += (known.empty() ? "" : ", ") + spots[static_cast<size_t>(i)].Name;
      throw std::invalid_argument(
          intention_.From + " has no spot \"" + intention_.Spot + "\"" +
          (known.empty() ? " (it has none: start from ramp)" : " (it has " + known + ")"));
    }
  }
  airport_ = departure_;
  sim_.SetAircraft(model_.Perf().Aircraft);
}

// ---------------------------------------------------------------------------------------------------
// Geometry

VirtualPilot::Runway VirtualPilot::RunwayOf(const scenery::AirportRecord& a) const {
  Runway r;
  r.Threshold = {a.MainRunway.ThresholdLat, a.MainRunway.ThresholdLon};
  r.Ident = a.MainRunway.Ident;
  r.ElevationFt = a.MainRunway.ThresholdElevationFt;
  r.LengthNm = std::max(1000, a.MainRunway.Length) / kFeetPerNm;
  // The scenery keeps the magnetic heading; the pilot flies it by the compass.
  const double h = a.MainRunway.MagHeading;
  double delta = 0;
  try {
    delta = geo::TrueToMagnetic(180, r.Threshold.Latitude, r.Threshold.Longitude, world_.MagVar) - 180;
  } catch (const std::exception&) {
    delta = 0;
  }
  r.TrueHeading = std::fmod(h - delta + 720, 360);
  return r;
}

GeoPoint VirtualPilot::Along(const Runway& r, double alongNm, double sideNm) const {
  GeoPoint p = r.Threshold;
  if (alongNm != 0) MovePoint(p.Latitude, p.Longitude, r.TrueHeading, alongNm, p.Latitude, p.Longitude);
  if (sideNm != 0) MovePoint(p.Latitude, p.Longitude, r.TrueHeading + 90, sideNm, p.Latitude, p.Longitude);
  return p;
}

double VirtualPilot::MagneticToTrue(double magnetic) const {
  double delta = 0;
  try {
    delta = geo::TrueToMagnetic(180, model_.Latitude(), model_.Longitude(), world_.MagVar) - 180;
  } catch (const std::exception&) {
    delta = 0;
  }
  return std::fmod(magnetic - delta + 720, 360);
}

// +1 when the apron (the parking spots, else the reference point) lies right of the runway, -1 left.
double VirtualPilot::ApronSide(const scenery::AirportRecord& a, const Runway& r) const {
  GeoPoint apron{a.Latitude, a.Longitude};
  if (a.ParkingCount > 0) apron = {a.ParkingSpots[0].Latitude, a.ParkingSpots[0].Longitude};
  const double course =
      CourseDeg(r.Threshold.Latitude, r.Threshold.Longitude, apron.Latitude, apron.Longitude);
  const double d =
      DistanceNmExact(r.Threshold.Latitude, r.Threshold.Longitude, apron.Latitude, apron.Longitude);
  if (d < 0.01) return 1;
  return HeadingDifference(r.TrueHeading, course) < 0 ? -1 : 1;
}

bool VirtualPilot::AtAirport(const scenery::AirportRecord& a) const {
  return model_.OnGround() && DistanceTo(a) < 5;
}

double VirtualPilot::DistanceTo(const scenery::AirportRecord& a) const {
  return DistanceNmExact(model_.Latitude(), model_.Longitude(), a.Latitude, a.Longitude);
}

bool VirtualPilot::Arriving() const {
  return departed_ && !model_.OnGround() && DistanceTo(*destination_) <= kCallTowerNm &&
         (destination_ != departure_ || intention_.Kind != IntentionKind::VfrPattern);
}

// ---------------------------------------------------------------------------------------------------
// Phases and radio

void VirtualPilot::Mark(const std::string& phase, double now) {
  if (phase == phase_ && phase != "go-around") return;  // every go-around counts
  phase_ = phase;
  phases_.push_back({phase, now});
}

void VirtualPilot::SetMode(Mode mode, double now) {
  mode_ = mode;
  std::string name = ModeName(static_cast<int>(mode));
  if (mode == Mode::Parked)
    name = intention_.Spot.empty() ? "on the ramp" : "at " + ToLowerAscii(intention_.Spot);
  Mark(name, now);
}

void VirtualPilot::Note(const std::string& behaviour) {
  if (std::find(coping_.begin(), coping_.end(), behaviour) != coping_.end()) return;
  coping_.push_back(behaviour);
  events_(sim_.Name() + " copes: " + behaviour);
}

void VirtualPilot::Say(const std::string& text, double now, bool expectReply) {
  try {
    sim_.Say(text);
  } catch (const std::exception&) {
    return;  // the session is gone: the next poll says so
  }
  events_(sim_.Name() + " says: " + text);
  if (text != "repeat:") lastChoice_.clear();
  lastSaid_ = text;
  waitingSince_ = expectReply ? std::optional<double>(now) : std::nullopt;
}

void VirtualPilot::Tick(double now) {
  if (mode_ == Mode::Boarding) {
    sim_.Tick(now);
    if (sim_.State() == ParticipantState::Present) Board(now);
    lastNow_ = now;
    return;
  }
  // Out of the session, the pilot has closed its simulator: nothing flies any more.
  if (sim_.State() == ParticipantState::Left || sim_.State() == ParticipantState::Lost) return;
  Fly(now);
  sim_.Tick(now);
  if (sim_.State() != ParticipantState::Present) return;
  for (const std::string& text : sim_.TakeReceivedChat()) {
    if (auto line = ReadStationLine(sim_.Name(), text)) Read(*line, now);
  }
  Decide(now);
}

void VirtualPilot::Board(double now) {
  const Runway r = RunwayOf(*departure_);
  if (!intention_.Spot.empty()) {
    for (int32_t i = 0; i < departure_->ParkingCount; ++i) {
      const auto& p = departure_->ParkingSpots[static_cast<size_t>(i)];
      if (Upper(p.Name) != Upper(intention_.Spot)) continue;
      model_.PlaceOnGround(p.Latitude, p.Longitude, departure_->ElevationFt,
                           CourseDeg(p.Latitude, p.Longitude, r.Threshold.Latitude, r.Threshold.Longitude));
    }
  } else {
    const double side = ApronSide(*departure_, r);
    const GeoPoint ramp = Along(r, 0.1, side * 0.1);
    model_.PlaceOnGround(ramp.Latitude, ramp.Longitude, departure_->ElevationFt, r.TrueHeading - side * 90);
  }
  lastNow_ = now;
  SetMode(Mode::Parked, now);
  Fly(now);
}

void VirtualPilot::Read(const StationLine& line, double now) {
  ++linesReceived_;
  waitingSince_.reset();
  repeatsInRow_ = 0;
  if (Ifr() && mode_ == Mode::Parked && lastSaid_.rfind("pst_fp:", 0) == 0 &&
      FindOption(line.Options, "Select a controlled airport")) {
    // The station reads chat lines with their blanks taken out, so a name with a blank never matches.
    const bool blanks =
        departure_->Name.find(' ') != std::string::npos || destination_->Name.find(' ') != std::string::npos;
    Note("the station did not take the flight plan \"" + lastSaid_ + "\"" +
         (blanks ? " (an airport name with a blank: the station reads chat without blanks)" : "") +
         ": flew VFR");
    planCancelled_ = true;
  }
  if (!line.Message.empty() && line.Message != lastMessage_) Obey(line.Message, now);
  lastMessage_ = line.Message;
  line_ = line;
  lineAt_ = now;
  decideAt_.reset();
  if (!line.Options.empty()) {
    std::uniform_real_distribution<double> think(0, kThinkSpread);
    decideAt_ = now + kThinkSeconds + think(random_);
  } else if (intention_.Kind == IntentionKind::Ifr && !planFiled_ && mode_ == Mode::Parked) {
    decideAt_ = now + kThinkSeconds;
  }
}

void VirtualPilot::Decide(double now) {
  if (completed_) return;
  if (waitingSince_ && now - *waitingSince_ >= kRepeatAfterSeconds) {
    if (repeatsInRow_ < 3) {
      Note("no answer to \"" + lastSaid_ + "\"" + (lastChoice_.empty() ? "" : " (" + lastChoice_ + ")") +
           ": asked \"repeat:\"");
      ++repeats_;
      ++repeatsInRow_;
      Say("repeat:", now, true);
    } else {
      waitingSince_.reset();  // stop asking; a later line or menu carries on
    }
    return;
  }
  // The IFR pilot files its plan when the station first offers it a menu on the ground.
  if (intention_.Kind == IntentionKind::Ifr && !planFiled_ && mode_ == Mode::Parked && line_ && decideAt_ &&
      now >= *decideAt_) {
    planFiled_ = true;
    decideAt_.reset();
    Say("pst_fp:IFR," + departure_->Name + "," + destination_->Name + "," +
            std::to_string(intention_.CruiseFt),
        now, true);
    return;
  }
  if (!line_ || line_->Options.empty() || !decideAt_ || now < *decideAt_) return;
  const int k = Choose(*line_, now);
  if (k <= 0) {
    decideAt_ = now + 2;  // look at the menu again in a moment
    return;
  }
  const std::string chosen = line_->Options[static_cast<size_t>(k) - 1];
  decideAt_.reset();
  Say(std::to_string(k), now, !ExpectsNoReply(chosen));
  lastChoice_ = chosen;
  // What the pilot does as it says it.
  if (chosen == "Acknowledge Taxi Clearance") StartTaxi(now);
  if (chosen.rfind("Acknowledge Takeoff Clearance", 0) == 0 && mode_ == Mode::HoldingShort) LineUpAndGo(now);
  if (chosen == "Report Parking") {
    completed_ = true;
    SetMode(Mode::Done, now);
  }
  if (chosen == "Select a controlled airport") selecting_ = true;
  if (chosen == "Request Flight Following") followingRequested_ = true;
  if (chosen.rfind("Request Takeoff Clearance", 0) == 0) takeoffRequested_ = true;
  if (chosen == "Request Full Stop Landing") landingRequested_ = true;
  if (chosen == "Request Taxi to Gate" || chosen == "Request Taxi to Parking") gateRequested_ = true;
  if (chosen.rfind("Tune ", 0) == 0 && Contains(chosen, " Tower on ")) selecting_ = false;
}

int VirtualPilot::Choose(const StationLine& line, double now) {
  const auto& o = line.Options;
  auto has = [&](const std::string& prefix) { return FindOption(o, prefix); };
  const bool rogue = intention_.Kind == IntentionKind::Rogue;

  for (const char* ack :
       {"Acknowledge IFR Clearance", "Acknowledge Taxi Clearance", "Acknowledge Takeoff Clearance",
        "Acknowledge Hold Short", "Acknowledge Landing Clearance", "Acknowledge Go-Around",
        "Acknowledge Ground Handoff", "Acknowledge Handoff", "Acknowledge Instruction",
        "Acknowledge Squawk Code", "Acknowledge Radar Contact"}) {
    if (rogue && departed_) return 0;
    if (int k = has(ack)) return k;
  }
  if (int k = has("Report traffic in sight")) {
    std::uniform_int_distribution<int> seen(0, 4);
    return seen(random_) == 0 ? has("Report traffic not in sight") : k;
  }
  if (int k = has("Report runway in sight")) {
    const Runway r = RunwayOf(*destination_);
    return DistanceNmExact(model_.Latitude(), model_.Longitude(), r.Threshold.Latitude,
                           r.Threshold.Longitude) <= 12
               ? k
               : 0;
  }
  if (int k = has("Report Parking")) return mode_ == Mode::TaxiIn && Stopped() ? k : 0;

  const bool onGround = model_.OnGround();
  // Ground.
  if (mode_ == Mode::Parked && !departed_) {
    if (Ifr()) {
      if (int k = has("Request IFR Clearance")) return k;
      // Clearance delivery sends the pilot on to ground once the readback is correct.
      if (line.Facility.find(" Clearance on ") != std::string::npos) {
        if (int k = has("Tune " + departure_->GroundName + " Ground on ")) return k;
      }
    }
    if (int k = has(Ifr() ? "Request Taxi IFR" : "Request Taxi for Takeoff")) return k;
  }
  if (landed_ && onGround && !gateRequested_ && (mode_ == Mode::Exit || mode_ == Mode::TaxiIn)) {
    const bool wantGate = intention_.Spot.empty() || Upper(intention_.Spot).find("GATE") != std::string::npos;
    const int gate = has("Request Taxi to Gate"), parking = has("Request Taxi to Parking");
    if (gate || parking) return wantGate ? (gate ? gate : parking) : (parking ? parking : gate);
  }
  // Tower.
  if (mode_ == Mode::HoldingShort && !rogue) {
    if (int k = has("Request Takeoff Clearance")) return takeoffRequested_ ? 0 : k;
    if (line.Facility.find(" Ground on ") != std::string::npos) {
      if (int k = has("Tune " + departure_->TowerName + " Tower on ")) return k;
    }
  }
  if (int k = has("Request Full Stop Landing")) {
    // Only the tower of the field it means to land at: a neighbour's tower would sequence it into a
    // pattern it is not flying.
    if (landingRequested_ || onGround || !line.Facility.starts_with(destination_->TowerName + " Tower on "))
      return 0;
    if (intention_.Kind == IntentionKind::VfrPattern && mode_ == Mode::Pattern) return k;
    if (Arriving() || (airport_ == destination_ && departed_ && DistanceTo(*destination_) <= kCallTowerNm))
      return k;
    return 0;
  }
  if (rogue) {
    if (departed_) return 0;
    if (int k = has("Tune " + departure_->GroundName + " Ground on ")) return mode_ == Mode::Parked ? k : 0;
    return 0;
  }
  // Untuned: the free menu, the airport list, the tower line, the flight plan's one tuning line.
  if (line.Facility.empty()) {
    if (onGround && ((mode_ == Mode::Parked && !departed_) || (landed_ && mode_ == Mode::Exit))) {
      const auto& a = landed_ ? *destination_ : *departure_;
      if (int k = has("Tune " + a.GroundName + " Ground on ")) return k;
    }
    if (selecting_ || Arriving()) {
      if (int k = has(destination_->Ident + " (")) return k;
      if (int k = has("Tune " + destination_->TowerName + " Tower on ")) return k;
      if (int k = has("Select a controlled airport")) return k;
      if (selecting_) {
        if (int k = has("Back"); k && o.size() == 1) return 0;  // not yet within reach: wait
      }
    }
    const bool planMenu = o.size() == 1 && o[0].rfind("Tune ", 0) == 0;
    if (Ifr() && planMenu && !(landed_ && onGround)) return 1;
    if (intention_.Kind == IntentionKind::FlightFollowing && departed_ && !onGround && !Arriving() &&
        !followingRequested_) {
      if (int k = has("Tune ")) {
        for (size_t i = 0; i < o.size(); ++i) {
          if (Contains(o[i], " Approach on ") || Contains(o[i], " Center on "))
            return static_cast<int>(i) + 1;
        }
        (void)k;
      }
    }
    if (intention_.Kind == IntentionKind::FlightFollowing && followingRequested_ && !onGround &&
        !Arriving()) {
      // Handed off while followed: the next radar controller continues the service.
      for (size_t i = 0; i < o.size(); ++i) {
        if (Contains(o[i], " Approach on ") || Contains(o[i], " Center on ")) return static_cast<int>(i) + 1;
      }
    }
    return 0;
  }
  // Radar.
  if (int k = has("Request Flight Following")) {
    return intention_.Kind == IntentionKind::FlightFollowing && !followingRequested_ && !Arriving() ? k : 0;
  }
  if (int k = has("Select a controlled airport")) return Arriving() ? k : 0;
  (void)now;
  return 0;
}

// ---------------------------------------------------------------------------------------------------
// Instructions

void VirtualPilot::Obey(const std::string& m, double now) {
  const bool ifr = Ifr();
  if (Contains(m, "taxi to ")) {
    geo::TargetPoint target;
    const auto& a = landed_ ? *destination_ : *departure_;
    airport_ = &a;
    if (Contains(m, "hold short on runway")) {
      target.Kind = "Runway";
      target.Name = a.MainRunway.Ident;
      target.Latitude = a.MainRunway.ThresholdLat;
      target.Longitude = a.MainRunway.ThresholdLon;
      target.Value = a.MainRunway.ThresholdElevationFt;
    } else {
      const size_t from = m.find("taxi to ") + 8;
      size_t end = m.find(" using taxiway", from);
      if (end == std::string::npos) end = m.find('.', from);
      target.Kind = "Gate or parking";
      target.Name = m.substr(from, end == std::string::npos ? std::string::npos : end - from);
      for (int32_t i = 0; i < a.ParkingCount; ++i) {
        const auto& p = a.ParkingSpots[static_cast<size_t>(i)];
        if (Upper(p.Name) == Upper(target.Name)) {
          target.Latitude = p.Latitude;
          target.Longitude = p.Longitude;
        }
      }
    }
    taxiTarget_ = target;
    return;
  }
  if (m.rfind("cleared for takeoff.", 0) == 0) {
    takeoffCleared_ = true;
    return;
  }
  if (m.rfind("hold short.", 0) == 0) return;
  if (Contains(m, "you were not cleared for takeoff.")) {
    Note("took off on ground frequency and heard \"you were not cleared for takeoff.\"");
    return;
  }
  if (m.rfind("make ", 0) == 0 && Contains(m, "runway ")) {
    const int side = Contains(m, "make right") ? 1 : -1;
    std::string entry = Contains(m, "downwind") ? "downwind" : Contains(m, "base") ? "base" : "straight in";
    airport_ = departed_ ? (destination_ == departure_ ? departure_ : destination_) : departure_;
    if (approachCleared_ && entry == "straight in" && (mode_ == Mode::Final || mode_ == Mode::Pattern))
      return;
    StartPattern(entry, side, now);
    return;
  }
  if (m.rfind("cleared to land", 0) == 0) {
    landingCleared_ = true;
    return;
  }
  if (m.rfind("go around.", 0) == 0) {
    landingCleared_ = false;
    StartGoAround(now);
    return;
  }
  if (Contains(m, "IFR flight plan is cancelled")) {
    if (Ifr()) {
      Note("the IFR flight plan was cancelled by the station: went on VFR");
      planCancelled_ = true;
    }
    return;
  }
  if (Contains(m, "Resume and maintain own navigation")) {
    if (auto alt = AssignedAltitude(m)) intention_.CruiseFt = *alt;
    StartEnroute(now);
    return;
  }
  if (Contains(m, "Cleared for the ILS runway") || m.rfind("cleared for the visual approach", 0) == 0) {
    approachCleared_ = true;
    if (auto h = AssignedHeading(m)) model_.HoldHeading(MagneticToTrue(*h));
    if (auto alt = AssignedAltitude(m)) model_.ClimbTo(*alt);
    StartFinal(now);
    return;
  }
  if (ifr && !model_.OnGround() && !approachCleared_) {
    const auto h = AssignedHeading(m);
    const auto alt = Contains(m, "Fly runway heading") ? std::nullopt : AssignedAltitude(m);
    if (h) {
      model_.HoldHeading(MagneticToTrue(*h));
      SetMode(Mode::Vectors, now);
    }
    if (alt) model_.ClimbTo(*alt);
  }
  if (m.rfind("contact ", 0) == 0 && !Contains(m, "ground") && !Contains(m, "departure") &&
      !Contains(m, "Good day") && Ifr() && mode_ != Mode::Vectors) {
    // Sent to approach after a go-around: fly the missed approach on runway heading.
    const Runway r = RunwayOf(*destination_);
    model_.HoldHeading(r.TrueHeading);
    model_.ClimbTo(destination_->ElevationFt + 2000);
    SetMode(Mode::Vectors, now);
  }
}

void VirtualPilot::StartTaxi(double now) {
  if (!taxiTarget_) return;
  const scenery::AirportRecord& a = *airport_;
  const geo::TargetPoint& t = *taxiTarget_;
  const bool runway = t.Kind == "Runway";
  const Runway r = RunwayOf(a);
  std::deque<GeoPoint> route;
  lineUp_.clear();
  bool routed = false;
  if (a.TaxiPointCount > 0 && a.TaxiPathCount > 0) {
    const int32_t s = atc::FindTaxiStartNode(a, model_.Latitude(), model_.Longitude());
    const int32_t e = atc::FindTaxiEndNode(a, t);
    if (s >= 0 && e >= 0) {
      const atc::TaxiRouteSearch search = atc::SearchTaxiRoute(a, s, e, t.Latitude, t.Longitude);
      if (search.Found) {
        routed = true;
        auto node = [&](int32_t n, bool spot) -> std::optional<GeoPoint> {
          if (spot) {
            if (n < 0 || n >= a.ParkingCount) return std::nullopt;
            const auto& p = a.ParkingSpots[static_cast<size_t>(n)];
            return GeoPoint{p.Latitude, p.Longitude};
          }
          if (n < 0 || n >= a.TaxiPointCount) return std::nullopt;
          const auto& p = a.TaxiPoints[static_cast<size_t>(n)];
          return GeoPoint{p.Latitude, p.Longitude};
        };
        std::vector<std::pair<GeoPoint, bool>> points;  // the point, and whether it is a hold-short line
        if (auto p = node(s, false)) points.push_back({*p, false});
        for (const auto& step : search.Steps) {
          if (auto p = node(step.EndPoint, step.PathType == 2)) {
            const bool hold = step.PathType != 2 && step.EndPoint < a.TaxiPointCount &&
                              a.TaxiPoints[static_cast<size_t>(step.EndPoint)].PointType == 2;
            points.push_back({*p, hold});
          }
        }
        // To the runway the aircraft stops at the last hold-short line near the end; the rest is
        // the line-up.
        size_t stop = points.size();
        if (runway) {
          for (size_t i = points.size(); i-- > 0 && i + 3 > points.size();) {
            if (points[i].second) {
              stop = i + 1;
              break;
            }
          }
        }
        for (size_t i = 0; i < points.size(); ++i) {
          if (i < stop) {
            route.push_back(points[i].first);
          } else {
            lineUp_.push_back(points[i].first);
          }
        }
      }
    }
  }
  if (!routed) {
    if (runway) {
      const double side = ApronSide(a, r);
      route.push_back(Along(r, 0.02, side * 0.05));
    } else if (t.Latitude != 0 || t.Longitude != 0) {
      route.push_back({t.Latitude, t.Longitude});
    }
  }
  if (runway) {
    lineUp_.push_back(Along(r, 0, 0));
  } else if (t.Latitude != 0 || t.Longitude != 0) {
    const GeoPoint spot{t.Latitude, t.Longitude};
    if (route.empty() || DistanceNmExact(route.back().Latitude, route.back().Longitude, spot.Latitude,
                                         spot.Longitude) > 0.001) {
      route.push_back(spot);
    }
  }
  model_.FollowRoute(std::move(route));
  model_.SetSpeed(model_.Perf().TaxiKt);
  model_.SetGroundElevation(a.ElevationFt);
  SetMode(runway ? Mode::TaxiOut : Mode::TaxiIn, now);
}

void VirtualPilot::LineUpAndGo(double now) {
  const Runway r = RunwayOf(*departure_);
  std::deque<GeoPoint> route(lineUp_.begin(), lineUp_.end());
  if (route.empty()) route.push_back(Along(r, 0, 0));
  route.push_back(Along(r, 0.03, 0));
  model_.FollowRoute(std::move(route));
  model_.SetSpeed(model_.Perf().TaxiKt);
  SetMode(Mode::LineUp, now);
}

void VirtualPilot::StartEnroute(double now) {
  const double cruise = intention_.CruiseFt > 0 ? intention_.CruiseFt : departure_->ElevationFt + 3500;
  model_.ClimbTo(cruise);
  model_.SetSpeed(model_.Perf().CruiseKt);
  model_.FollowRoute({GeoPoint{destination_->Latitude, destination_->Longitude}});
  SetMode(Mode::Enroute, now);
}

void VirtualPilot::StartPattern(const std::string& entry, int side, double now) {
  const scenery::AirportRecord& a = *airport_;
  const Runway r = RunwayOf(a);
  patternSide_ = side;
  const double s = side;
  std::deque<GeoPoint> route;
  if (entry == "downwind") {
    route = {Along(r, r.LengthNm * 0.8, s), Along(r, -0.8, s), Along(r, -2.0, s), Along(r, -2.0, 0)};
  } else if (entry == "base") {
    route = {Along(r, -2.5, s * 1.5), Along(r, -2.0, 0)};
  } else {
    const double t =
        DistanceNmExact(model_.Latitude(), model_.Longitude(), r.Threshold.Latitude, r.Threshold.Longitude);
    if (t > 4.5) route = {Along(r, -4.0, 0)};
  }
  route.push_back(Along(r, 0.1, 0));
  model_.FollowRoute(std::move(route));
  model_.ClimbTo(r.ElevationFt + (intention_.Kind == IntentionKind::Ifr ? 1500 : 1000));
  model_.SetSpeed(model_.Perf().PatternKt);
  SetMode(Mode::Pattern, now);
}

void VirtualPilot::StartFinal(double now) {
  const Runway r = RunwayOf(*airport_);
  const GeoPoint touchdown = Along(r, 0.1, 0);
  if (mode_ != Mode::Pattern) {
    // Cleared for an approach from vectors: join the final course and follow it in.
    const double t =
        DistanceNmExact(model_.Latitude(), model_.Longitude(), r.Threshold.Latitude, r.Threshold.Longitude);
    std::deque<GeoPoint> route;
    if (t > 5.5) route.push_back(Along(r, -5.0, 0));
    route.push_back(touchdown);
    model_.FollowRoute(std::move(route));
    model_.SetSpeed(model_.Perf().ApproachKt + 20);
  } else {
    model_.SetSpeed(model_.Perf().ApproachKt);
  }
  model_.GlideTo(touchdown, r.ElevationFt);
  SetMode(Mode::Final, now);
}

void VirtualPilot::StartGoAround(double now) {
  const scenery::AirportRecord& a = *airport_;
  const Runway r = RunwayOf(a);
  landingCleared_ = false;
  landingRequested_ = false;
  if (Ifr()) {
    model_.HoldHeading(r.TrueHeading);
    model_.ClimbTo(r.ElevationFt + 2000);
    model_.SetSpeed(model_.Perf().PatternKt);
    approachCleared_ = false;
    SetMode(Mode::Vectors, now);
    return;
  }
  // Upwind, crosswind, and around the pattern again on the same side.
  const double s = patternSide_;
  std::deque<GeoPoint> route = {Along(r, r.LengthNm + 1.0, 0),
                                Along(r, r.LengthNm + 1.0, s),
                                Along(r, -0.8, s),
                                Along(r, -2.0, s),
                                Along(r, -2.0, 0),
                                Along(r, 0.1, 0)};
  model_.FollowRoute(std::move(route));
  model_.ClimbTo(r.ElevationFt + 1000);
  model_.SetSpeed(model_.Perf().PatternKt);
  mode_ = Mode::Pattern;
  Mark("go-around", now);
}

void VirtualPilot::StartExit(double now) {
  const Runway r = RunwayOf(*airport_);
  const double side = ApronSide(*airport_, r);
  GeoPoint a{model_.Latitude(), model_.Longitude()}, b;
  MovePoint(a.Latitude, a.Longitude, r.TrueHeading + side * 45, 0.03, a.Latitude, a.Longitude);
  MovePoint(a.Latitude, a.Longitude, r.TrueHeading + side * 90, 0.04, b.Latitude, b.Longitude);
  model_.FollowRoute({a, b});
  model_.SetSpeed(model_.Perf().TaxiKt);
  SetMode(Mode::Exit, now);
}

// ---------------------------------------------------------------------------------------------------
// Flying

void VirtualPilot::Fly(double now) {
  double dt = now - lastNow_;
  lastNow_ = now;
  while (dt > 1e-9) {
    const double step = std::min(dt, 0.25);
    model_.Step(step);
    dt -= step;
  }
  PilotPosition p;
  p.Latitude = model_.Latitude();
  p.Longitude = model_.Longitude();
  p.AltitudeFt = model_.AltitudeFt();
  p.TrueHeading = model_.TrueHeading();
  p.GroundSpeedKt = model_.GroundSpeedKt();
  sim_.MoveTo(p);

  const Runway here = RunwayOf(departed_ ? *destination_ : *departure_);
  switch (mode_) {
    case Mode::TaxiOut:
      if (model_.RouteDone()) {
        SetMode(Mode::HoldingShort, now);
        if (intention_.Kind == IntentionKind::Rogue) {
          Note("took off without a takeoff clearance");
          LineUpAndGo(now);
        } else if (takeoffCleared_) {
          LineUpAndGo(now);
        } else if (line_ && !line_->Options.empty()) {
          decideAt_ = now + kThinkSeconds;
        }
      }
      break;
    case Mode::LineUp:
      if (model_.RouteDone()) {
        const bool pattern =
            intention_.Kind == IntentionKind::VfrPattern || intention_.Kind == IntentionKind::Rogue;
        const double climb =
            pattern || intention_.CruiseFt <= 0 ? here.ElevationFt + 1000 : intention_.CruiseFt;
        model_.StartTakeoff(here.TrueHeading, climb);
        SetMode(Mode::Takeoff, now);
      }
      break;
    case Mode::Takeoff:
      if (!model_.OnGround()) {
        departed_ = true;
        airport_ = destination_;
        const double s = patternSide_;
        if (intention_.Kind == IntentionKind::VfrPattern || intention_.Kind == IntentionKind::Rogue) {
          model_.FollowRoute({Along(here, here.LengthNm + 1.2, 0), Along(here, here.LengthNm + 1.2, s),
                              Along(here, here.LengthNm * 0.8, s), Along(here, -0.8, s), Along(here, -2.0, s),
                              Along(here, -2.0, 0), Along(here, 0.1, 0)});
          model_.SetSpeed(model_.Perf().PatternKt);
          mode_ = Mode::Pattern;
          Mark("departure", now);
        } else if (Ifr()) {
          model_.HoldHeading(here.TrueHeading);
          SetMode(Mode::Departure, now);
        } else {
          model_.FollowRoute({Along(here, here.LengthNm + 1.0, 0)});
          SetMode(Mode::Departure, now);
        }
      }
      break;
    case Mode::Departure:
      if (!Ifr() && model_.RouteDone()) StartEnroute(now);
      break;
    case Mode::Enroute:
      if (departed_ && !Ifr() && DistanceTo(*destination_) <= kDescentNm) {
        // Down to pattern altitude for the arrival.
        model_.ClimbTo(destination_->ElevationFt + 1500);
        model_.SetSpeed(model_.Perf().PatternKt + 20);
      }
      if (model_.RouteDone() && !model_.OnGround()) {
        // Over the field without a word from the tower yet: circle overhead.
        const Runway r = RunwayOf(*destination_);
        model_.FollowRoute({Along(r, r.LengthNm * 0.5, -2), Along(r, r.LengthNm * 0.5, 2),
                            GeoPoint{destination_->Latitude, destination_->Longitude}});
      }
      break;
    case Mode::Pattern: {
      // Faster on the way to a pattern entry far out; pattern speed once near the field.
      const Runway r = RunwayOf(*airport_);
      const double t =
          DistanceNmExact(model_.Latitude(), model_.Longitude(), r.Threshold.Latitude, r.Threshold.Longitude);
      const Performance& perf = model_.Perf();
      model_.SetSpeed(t > 4 ? std::min(perf.CruiseKt, perf.PatternKt + 30) : perf.PatternKt);
      if (model_.RouteLeft() <= 1) StartFinal(now);
      break;
    }
    case Mode::Final: {
      const Runway r = RunwayOf(*airport_);
      const double t =
          DistanceNmExact(model_.Latitude(), model_.Longitude(), r.Threshold.Latitude, r.Threshold.Longitude);
      if (model_.TakeTouchdown()) {
        landed_ = true;
        model_.SetSpeed(20);
        model_.HoldHeading(r.TrueHeading);
        SetMode(Mode::Rollout, now);
        break;
      }
      if (!landingCleared_ && intention_.Kind != IntentionKind::Rogue && t < 0.5 &&
          model_.AltitudeFt() < r.ElevationFt + 300) {
        Note("not cleared to land on short final: went around");
        StartGoAround(now);
      }
      break;
    }
    case Mode::Rollout:
      if (model_.GroundSpeedKt() <= 22) StartExit(now);
      break;
    case Mode::Exit:
      if (Stopped() && intention_.Kind == IntentionKind::Rogue) {
        completed_ = true;
        SetMode(Mode::Done, now);
      }
      if (model_.RouteDone() && line_ && !line_->Options.empty() && !decideAt_)
        decideAt_ = now + kThinkSeconds;
      break;
    case Mode::TaxiIn:
      if (model_.RouteDone() && line_ && !line_->Options.empty() && !decideAt_)
        decideAt_ = now + kThinkSeconds;
      break;
    default:
      break;
  }
  // With only the takeoff offered on the ground after landing (no gate or parking), the pilot taxis to
  // the apron on its own and calls it a flight.
  if (landed_ && mode_ == Mode::Exit && Stopped() && line_ &&
      line_->Facility.find(" Ground on ") != std::string::npos &&
      !FindOption(line_->Options, "Request Taxi to Gate") &&
      !FindOption(line_->Options, "Request Taxi to Parking") &&
      FindOption(line_->Options, "Request Taxi for Takeoff")) {
    Note("no gate or parking offered after landing: taxied to the apron");
    completed_ = true;
    SetMode(Mode::Done, now);
  }
}

std::string VirtualPilot::Outcome() const {
  const std::string last = "last phase: " + (phase_.empty() ? std::string("boarding") : phase_);
  if (completed_) return "flight completed";
  if (phase_.empty() &&
      (sim_.State() == ParticipantState::Refused || sim_.State() == ParticipantState::Outside))
    return "flight not completed (never joined the session)";
  if (sim_.State() == ParticipantState::Left || sim_.State() == ParticipantState::Lost)
    return "flight not completed (left the session; " + last + ")";
  return "flight not completed (" + last + ")";
}

std::vector<std::string> VirtualPilot::Summary() const {
  std::vector<std::string> out;
  const std::string state = Outcome();
  out.push_back(sim_.Name() + ": " + state + " [" + DescribeIntention(intention_) + "]");
  std::string phases;
  for (const auto& p : phases_)
    phases += (phases.empty() ? "" : ", ") + p.Phase + " " + FormatSeconds(p.AtSeconds);
  out.push_back(sim_.Name() + " phases: " + phases);
  out.push_back(sim_.Name() + " lines received: " + std::to_string(linesReceived_) +
                (repeats_ ? ", repeats asked: " + std::to_string(repeats_) : ""));
  for (const auto& c : coping_) out.push_back(sim_.Name() + " coped: " + c);
  return out;
}

}  // namespace skyvox::sim
