// Simulated participants of an FS2002 multiplayer session, speaking the simulator's protocol over any
// DirectPlay provider: a host that admits or refuses joiners, pilots that join, announce themselves,
// answer the roster's requests, report their position four times a second and type chat lines, and
// observers. Each is polled by Tick(now) from the caller's clock; nothing blocks and no thread starts.
//
// Every participant owns its DirectPlay object. A DirectPlay failure inside Tick (the session is gone,
// the player was dropped) is reported once as an event and the participant goes quiet; a message that
// cannot be read or answered is dropped. Join, Host, Say and RemoveFromSession throw what DirectPlay
// throws; Leave ignores the failures of leaving.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "session/directplay.h"
#include "session/loopback.h"

namespace skyvox::sim {

// Receives one line of text for each thing a participant does or meets (joins, accepted, refused,
// says, leaves, loses the session).
using EventSink = std::function<void(const std::string&)>;

// Where a pilot is: degrees north/east, feet, true heading in degrees, knots. Without a ground speed the
// pilot sends the short report (0x1018), with one the report with speed (0x1019).
struct PilotPosition {
  double Latitude = 0;
  double Longitude = 0;
  double AltitudeFt = 0;
  double TrueHeading = 0;
  std::optional<double> GroundSpeedKt;
};

// The raw fields of a position report, each the nearest raw value to the position: latitude in metres
// north (10001750 m = 90 degrees), longitude in 2^32 per turn wrapped to signed 32 bits, altitude in
// whole metres, the attitude word with the 10-bit true heading field at bits 2..11, speed in 16.16
// metres per second. Inputs must be finite and within the ranges a scenario allows (|lat| <= 90,
// |lon| <= 360, |alt| <= 1e6 ft, heading 0..360, speed 0..1e4 kt).
struct PositionRaw {
  int32_t Latitude = 0;
  int32_t Longitude = 0;
  int32_t Altitude = 0;
  int32_t Attitude = 0;
  int32_t Speed = 0;
};
PositionRaw EncodePosition(const PilotPosition& position);

// [0x1019, 50, five zero Longs, speed, a zero Long, attitude, latitude, longitude, altitude, three zero
// Shorts] with a ground speed; [0x1018, 34, three zero Longs, attitude, latitude, longitude, altitude,
// three zero Shorts] without.
session::DpMessage BuildPositionReport(const PilotPosition& position);
// [0x100E, length, category code, the text's bytes].
session::DpMessage BuildAircraftDescription(int16_t categoryCode, const std::string& text);

// The host of the session: creates it (with the "FS61_REFUSE_PARAMS" group the simulator keeps) and
// its own player, then answers join requests: 0x1001 with 0x1003 carrying the joiner's id (or 0x1005
// while refusing), 0x1002 with 0x1004 (or 0x1006). The host is not a pilot: it answers no
// identification request, so the station never lists it.
class SimulatedHost {
 public:
  SimulatedHost(std::unique_ptr<session::DirectPlay> dp, std::string name, EventSink events);

  // Initialises the provider's first connection and hosts a session with keep-alive and host
  // migration; a non-empty password makes it password-protected. maxPlayers 0 means no limit.
  void Host(const std::string& sessionName, const std::string& password, int32_t maxPlayers);
  void Tick(double nowSeconds);
  void SetRefuseJoins(bool refuse) { refuseJoins_ = refuse; }
  // Tells the others that the host leaves (0x1012 to all players), then leaves the session.
  void Leave();
  // Sends the "removed from the session" notice (0x1016) to a player.
  void RemoveFromSession(int32_t playerId);

  const std::string& Name() const { return name_; }
  int32_t PlayerId() const { return playerId_; }
  const std::string& InstanceId() const { return instanceId_; }
  bool InSession() const { return inSession_; }
  // Makes the host forget its session without a word (the provider dropped it).
  void Lost() { inSession_ = false; }

 private:
  std::unique_ptr<session::DirectPlay> dp_;
  session::LoopbackDirectPlay* loopback_ = nullptr;  // dp_ when it is a loopback endpoint
  std::string name_;
  EventSink events_;
  int32_t playerId_ = 0;
  std::string instanceId_;
  bool inSession_ = false;
  bool refuseJoins_ = false;
};

enum class ParticipantState { Outside, Joining, Present, Refused, Left, Lost };

// What a pilot's and an observer's simulator share: the DirectPlay object, the player, the state of
// its part in the session, the chat it received, and saying and leaving.
class SimulatedParticipant {
 public:
  SimulatedParticipant(std::unique_ptr<session::DirectPlay> dp, std::string name, EventSink events);
  virtual ~SimulatedParticipant() = default;

  // A chat line to all players (the simulator's chat window), text as single-byte characters.
  void Say(const std::string& text);
  // Leaves the session (the player is destroyed, the session closed).
  void Leave();
  // The provider dropped the player: no more operations on it.
  void Lost() { state_ = ParticipantState::Lost; }

  const std::string& Name() const { return name_; }
  int32_t PlayerId() const { return playerId_; }
  ParticipantState State() const { return state_; }
  // Chat lines received, in order of arrival, text with zero bytes dropped.
  const std::vector<std::string>& ReceivedChat() const { return chat_; }
  // The lines received since the last call, which ReceivedChat then no longer holds.
  std::vector<std::string> TakeReceivedChat() { return std::exchange(chat_, {}); }
  // Whether chat lines are kept at all (the default). In a crowd every participant hears every
  // other's chat: a simulator whose chat nobody reads drops it unread.
  void KeepChat(bool keep) { keepChat_ = keep; }

 protected:
  // Opens the session, creates the player and asks all players to be admitted with `joinRequest`.
  void StartJoin(const std::string& instanceId, const std::string& password, int32_t joinRequest);

  std::unique_ptr<session::DirectPlay> dp_;
  session::LoopbackDirectPlay* loopback_ = nullptr;  // dp_ when it is a loopback endpoint
  std::string name_;
  EventSink events_;
  int32_t playerId_ = 0;
  ParticipantState state_ = ParticipantState::Outside;
  std::vector<std::string> chat_;
  bool keepChat_ = true;
};

// A pilot's simulator. Join opens the session, creates the player and asks all players to be admitted
// (0x1001); once a 0x1003 carrying its own id arrives it announces itself to all (0x1003 with its own
// id) and is present. While present it answers 0x1007 with 0x1003 and 0x100F with its aircraft
// description, and from the first known position on reports it at every quarter second of the clock
// (0, 0.25, 0.5 ...), and at once on a new position or leg.
//
// FlyTo follows the great circle from where the pilot is to the target at the given ground speed,
// altitude changing linearly with time and the reported heading the course still to fly; on arrival
// the pilot stays at the target with ground speed 0.
class SimulatedPilot : public SimulatedParticipant {
 public:
  static constexpr double kReportInterval = 0.25;
  static constexpr int16_t kCategoryCode = 1;

  SimulatedPilot(std::unique_ptr<session::DirectPlay> dp, std::string name, EventSink events);

  // announce = false: a pilot that was in the session before anyone listened; it is admitted but its
  // announcement is not sent (it is found by identification requests only).
  void Join(const std::string& instanceId, const std::string& password, bool announce = true);
  void Tick(double nowSeconds);

  void SetPosition(const PilotPosition& position);
  // Where the aircraft is now, as its own flight model moves it: reported at the next quarter second
  // without disturbing the schedule of reports (SetPosition reports at once).
  void MoveTo(const PilotPosition& position) {
    position_ = position;
    leg_.reset();
  }
  // Throws std::logic_error when the pilot has no position yet.
  void FlyTo(double latitude, double longitude, double altitudeFt, double groundSpeedKt, double nowSeconds);
  // The position reported at that time (with the leg flown so far); nullopt before the first one.
  std::optional<PilotPosition> PositionAt(double nowSeconds);
  void SetAircraft(std::string description) { aircraft_ = std::move(description); }

 private:
  struct Leg {
    PilotPosition From;
    double ToLatitude = 0;
    double ToLongitude = 0;
    double ToAltitudeFt = 0;
    double SpeedKt = 0;
    double Start = 0;
    double Duration = 0;  // seconds
  };
  void Handle(std::span<const uint8_t> bytes, int32_t from);

  bool announce_ = true;
  std::string aircraft_ = "Cessna Skyhawk 172SP";
  std::optional<PilotPosition> position_;
  std::optional<Leg> leg_;
  std::optional<double> nextReport_;
};

// An observer's simulator: joins with 0x1002, and once a 0x1004 carrying its own id arrives announces
// itself (0x1004 with its own id); answers identification requests with 0x1004; sends no positions.
class SimulatedObserver : public SimulatedParticipant {
 public:
  using SimulatedParticipant::SimulatedParticipant;

  void Join(const std::string& instanceId, const std::string& password);
  void Tick(double nowSeconds);
};

}  // namespace skyvox::sim
