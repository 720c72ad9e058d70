// Virtual pilots: simulated pilots with an intention, who fly by themselves and talk to the station only
// through the session's chat, as a person at the simulator would. A virtual pilot reads the lines
// addressed to it, obeys the instructions in them (taxi routes, hold short, takeoff and landing
// clearances, pattern entries, headings and altitudes, go-arounds, handoffs), picks the menu digit
// whose text serves its intention after a moment's thought, and asks "repeat:" when an answer it
// waits for does not come. Its aircraft moves by the flight model (taxi at 15 kt along the issued
// route's nodes, takeoff roll, climb and descent rates of its kind, standard-rate turns, pattern legs,
// a 3-degree glide path). It knows the airports as a pilot knows them from the charts: from the
// controlled airports of the program's database.
//
// Intentions:
// - VFR pattern: from a gate, parking or the ramp, taxi, takeoff, one closed pattern, full-stop
//   landing, runway exit, taxi to a gate or parking.
// - VFR cross-country: the same departure, then direct to another controlled airport, where it picks
//   the airport from the station's list, tunes its tower and lands.
// - IFR: files "pst_fp:IFR,<departure>,<destination>,<altitude>", takes the clearance, taxis, departs,
//   follows departure, centre and approach (vectors by heading and altitude, ILS or visual approach),
//   lands, exits and taxis to a gate.
// - Flight following: a VFR cross-country that asks the radar controllers for flight following on the
//   way and answers their traffic advisories.
// - Rogue: taxis out on ground's clearance and takes off without talking to the tower, flies a circuit
//   without a word and lands back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "geo/geometry.h"
#include "geo/mag_var_grid.h"
#include "scenery/records.h"
#include "sim/flight_model.h"
#include "sim/participants.h"
#include "sim/radio.h"

namespace skyvox::sim {

enum class IntentionKind { VfrPattern, VfrCrossCountry, Ifr, FlightFollowing, Rogue };

struct Intention {
  IntentionKind Kind = IntentionKind::VfrPattern;
  std::string From;      // departure airport ident
  std::string To;        // destination ident (cross-country, IFR, flight following); From otherwise
  int32_t CruiseFt = 0;  // cruise altitude (IFR, cross-country, flight following)
  // Where the aircraft starts: a parking spot's name as the scenery has it ("GATE 2", "PARKING 1"),
  // or "" for the ramp beside the main runway's threshold.
  std::string Spot;
};
// "vfr KOLM pattern", "ifr KBLI KOLM 9000" ...: how a scenario line states it.
std::string DescribeIntention(const Intention& intention);

// The airports the pilots know, and the magnetic variation to read the controller's headings with.
struct PilotWorld {
  std::vector<scenery::AirportRecord> Airports;
  geo::MagVarGrid MagVar;
  const scenery::AirportRecord* Find(const std::string& ident) const;
};
// The seed of the virtual pilot on scenario line `line`: the same on the loopback runner and over the
// network, so that a pilot thinks as long in both.
inline uint32_t VirtualPilotSeed(int line) {
  return static_cast<uint32_t>(line) * 7919u + 17u;
}

// The controlled airports and the variation grid of the program's tables (queues left out).
PilotWorld PilotWorldFrom(const scenery::WorldTables& tables);

struct PhaseMark {
  std::string Phase;
  double AtSeconds = 0;
};

class VirtualPilot {
 public:
  // Reaction time: a choice follows the line that offers it after this many seconds, plus up to
  // kThinkSpread more (drawn from the pilot's own seeded generator).
  static constexpr double kThinkSeconds = 1.5;
  static constexpr double kThinkSpread = 2.0;
  // A request answered by nothing is asked again with "repeat:" after this long.
  static constexpr double kRepeatAfterSeconds = 10;

  // Throws std::invalid_argument when an airport of the intention is not in the world, or the spot is
  // not one of the departure airport's parking spots.
  VirtualPilot(SimulatedPilot& aircraft, const PilotWorld& world, Intention intention, uint32_t seed,
               EventSink events);

  // Advances the aircraft to `nowSeconds`, lets the simulator poll the session (and report the
  // position), then reads the new lines and says what is due.
  void Tick(double nowSeconds);

  const std::string& Name() const { return sim_.Name(); }
  const Intention& Plan() const { return intention_; }
  bool Completed() const { return completed_; }
  const std::string& Phase() const { return phase_; }
  const std::vector<PhaseMark>& Phases() const { return phases_; }
  // Station lines addressed to this pilot.
  int LinesReceived() const { return linesReceived_; }
  int RepeatsAsked() const { return repeats_; }
  // Behaviours of the station the pilot had to cope with, each once, in order of meeting them.
  const std::vector<std::string>& Coping() const { return coping_; }
  const FlightModel& Aircraft() const { return model_; }
  // "flight completed", "flight not completed (last phase: taxi out)", "flight not completed (left the
  // session; last phase: final)", "flight not completed (never joined the session)".
  std::string Outcome() const;
  // "N123: flight completed" / "N123: flight not completed (last phase: taxi out)", then the phases
  // with their times, the lines received, and what the pilot coped with.
  std::vector<std::string> Summary() const;

 private:
  enum class Mode {
    Boarding,      // not yet in the session
    Parked,        // at the start spot
    TaxiOut,       // taxiing to the runway
    HoldingShort,  // at the runway, waiting
    LineUp,        // cleared: rolling onto the runway
    Takeoff,       // takeoff roll and initial climb
    Departure,     // climbing out (runway heading or pattern upwind)
    Enroute,       // direct to the destination
    Vectors,       // radar vectors: heading and altitude held
    Pattern,       // pattern legs to the runway
    Final,         // on the glide path
    Rollout,       // wheels down, slowing
    Exit,          // turning off the runway and stopping clear
    TaxiIn,        // taxiing to the spot
    Done,          // parked at the end of the flight
  };
  struct Runway {
    GeoPoint Threshold;
    double TrueHeading = 0;
    double LengthNm = 0;
    double ElevationFt = 0;
    std::string Ident;
  };

  void Board(double now);
  void Fly(double now);
  void Read(const StationLine& line, double now);
  void Obey(const std::string& message, double now);
  void Decide(double now);
  int Choose(const StationLine& line, double now);
  void Say(const std::string& text, double now, bool expectReply);
  void SetMode(Mode mode, double now);
  void Mark(const std::string& phase, double now);
  void Note(const std::string& behaviour);

  // Routes and geometry.
  Runway RunwayOf(const scenery::AirportRecord& airport) const;
  GeoPoint Along(const Runway& r, double alongNm, double sideNm) const;
  double MagneticToTrue(double magnetic) const;
  double ApronSide(const scenery::AirportRecord& airport, const Runway& r) const;
  void StartTaxi(double now);
  void StartPattern(const std::string& entry, int side, double now);
  void StartFinal(double now);
  void StartGoAround(double now);
  void StartExit(double now);
  void StartEnroute(double now);
  void LineUpAndGo(double now);
  const scenery::AirportRecord& Here() const { return *airport_; }
  bool AtAirport(const scenery::AirportRecord& a) const;
  double DistanceTo(const scenery::AirportRecord& a) const;
  bool Arriving() const;
  // At the end of its route and at a standstill.
  bool Stopped() const { return model_.RouteDone() && model_.GroundSpeedKt() < 0.5; }
  // Flying under an accepted IFR plan.
  bool Ifr() const { return intention_.Kind == IntentionKind::Ifr && planFiled_ && !planCancelled_; }

  SimulatedPilot& sim_;
  const PilotWorld& world_;
  Intention intention_;
  std::mt19937 random_;
  EventSink events_;
  FlightModel model_;
  const scenery::AirportRecord* departure_ = nullptr;
  const scenery::AirportRecord* destination_ = nullptr;
  const scenery::AirportRecord* airport_ = nullptr;  // the airport the pilot deals with now

  Mode mode_ = Mode::Boarding;
  std::string phase_;
  std::vector<PhaseMark> phases_;
  std::vector<std::string> coping_;
  bool completed_ = false;
  double lastNow_ = 0;

  // Radio.
  int linesReceived_ = 0;
  std::optional<StationLine> line_;
  std::string lastMessage_;
  double lineAt_ = 0;
  std::optional<double> decideAt_;
  std::optional<double> waitingSince_;  // a request said, its answer not yet heard
  std::string lastSaid_;
  std::string lastChoice_;  // the option text behind the last digit said
  int repeats_ = 0;
  int repeatsInRow_ = 0;
  bool planFiled_ = false;

  // What the controller told the pilot.
  std::optional<geo::TargetPoint> taxiTarget_;
  bool taxiCleared_ = false;
  bool takeoffRequested_ = false;
  bool takeoffCleared_ = false;
  bool landingRequested_ = false;
  bool landingCleared_ = false;
  bool approachCleared_ = false;  // ILS or visual
  bool departed_ = false;         // wheels left the departure runway
  bool landed_ = false;           // wheels on the destination runway
  bool gateRequested_ = false;
  bool selecting_ = false;  // picking the destination from the station's list
  bool followingRequested_ = false;
  bool planCancelled_ = false;    // the station cancelled the IFR plan: on under VFR
  int patternSide_ = -1;          // -1 left traffic, +1 right
  std::vector<GeoPoint> lineUp_;  // from the hold-short line onto the runway
};

}  // namespace skyvox::sim
