#include "sim/participants.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <initializer_list>
#include <span>
#include <stdexcept>

#include "geo/sim_coordinates.h"
#include "session/loopback.h"
#include "session/messages.h"
#include "sim/earth.h"

namespace skyvox::sim {

using session::DpMessage;
using session::DpReceived;

namespace {

constexpr double kMetresPerSecondPerKnot = 1 / (3.28084 * 0.592484);
constexpr double kMetresPerFoot = 0.3048;
constexpr double kMetresPerDegreeLatitude = geo::kLatitudeMetresPer90Degrees / 90.0;
constexpr double kLongitudeRawPerDegree = geo::kLongitudeUnitsPerTurn / 360.0;
// Position block sizes after the count, as the receiver reads them.
constexpr int32_t kShortBlockBytes = 3 * 4 + 4 * 4 + 3 * 2;
constexpr int32_t kLongBlockBytes = 5 * 4 + 4 + 4 + 4 * 4 + 3 * 2;

int32_t NearestLong(double x) {
  return static_cast<int32_t>(std::llround(x));
}

// Opens the session on the provider's first connection and creates the player.
int32_t OpenAndCreatePlayer(session::DirectPlay& dp, const std::string& instanceId,
                            const std::string& password, const std::string& name) {
  const auto connections = dp.EnumConnections(session::kConnectionsDirectPlay);
  if (connections.empty()) throw session::DirectPlayError("the provider offers no connection");
  dp.InitializeConnection(connections.front().Address);
  session::DpSessionDesc desc;
  desc.InstanceId = instanceId;
  desc.Password = password;
  dp.Open(desc, session::kOpenJoin);
  try {
    return dp.CreatePlayer(name, "Player");
  } catch (const std::exception&) {
    dp.Close();
    throw;
  }
}

void LeaveQuietly(session::DirectPlay& dp, int32_t playerId) {
  try {
    dp.DestroyPlayer(playerId);
  } catch (const std::exception&) {
  }
  try {
    dp.Close();
  } catch (const std::exception&) {
  }
}

// Whether the message's type is one of `types` (a message too short to have a type is of none).
bool OfType(std::span<const uint8_t> bytes, std::initializer_list<int32_t> types) {
  if (bytes.size() < 4) return false;
  const auto type = static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                                         uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
  return std::find(types.begin(), types.end(), type) != types.end();
}

// Receives every queued message and hands its bytes and sender to handle. Returns false when the
// provider failed to list or deliver the queue (the session or the player is gone); a message that
// cannot be read or answered is dropped. A loopback endpoint hands the bytes over without a copy: in a
// crowd, most of what a participant receives is the others' position reports, which it passes over.
template <typename Handler>
bool Drain(session::DirectPlay& dp, session::LoopbackDirectPlay* loopback, int32_t playerId, Handler handle,
           std::string& error) {
  auto handleQuietly = [&](std::span<const uint8_t> bytes, int32_t from) {
    try {
      handle(bytes, from);
    } catch (const std::exception&) {
    }
  };
  try {
    const int32_t n = dp.GetMessageCount(playerId);
    if (loopback != nullptr) {
      loopback->ReceiveInPlace(
          n, [&](std::span<const uint8_t> bytes, int32_t from, int32_t) { handleQuietly(bytes, from); });
    } else {
      for (int32_t i = 0; i < n; ++i) {
        const DpReceived received = dp.Receive(session::kReceiveAll);
        handleQuietly(received.Message.Bytes(), received.From);
      }
    }
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace

PositionRaw EncodePosition(const PilotPosition& position) {
  PositionRaw raw;
  raw.Latitude = NearestLong(position.Latitude * kMetresPerDegreeLatitude);
  // A full turn is the whole 32-bit range: 180 degrees east wraps to -2^31.
  const int64_t longitude = std::llround(position.Longitude * kLongitudeRawPerDegree);
  raw.Longitude = static_cast<int32_t>(static_cast<uint32_t>(longitude));
  raw.Altitude = NearestLong(position.AltitudeFt * kMetresPerFoot);
  const int64_t field = (std::llround(position.TrueHeading / 360 * 1024) % 1024 + 1024) % 1024;
  raw.Attitude = static_cast<int32_t>(field << 2);
  raw.Speed = NearestLong(position.GroundSpeedKt.value_or(0) * kMetresPerSecondPerKnot * 65536);
  return raw;
}

DpMessage BuildPositionReport(const PilotPosition& position) {
  const PositionRaw raw = EncodePosition(position);
  const bool withSpeed = position.GroundSpeedKt.has_value();
  DpMessage m;
  m.WriteLong(withSpeed ? session::kPositionReportWithSpeed : session::kPositionReport);
  m.WriteLong(withSpeed ? kLongBlockBytes : kShortBlockBytes);
  if (withSpeed) {
    for (int i = 0; i < 5; ++i) m.WriteLong(0);
    m.WriteLong(raw.Speed);
    m.WriteLong(0);
  } else {
    for (int i = 0; i < 3; ++i) m.WriteLong(0);
  }
  m.WriteLong(raw.Attitude);
  m.WriteLong(raw.Latitude);
  m.WriteLong(raw.Longitude);
  m.WriteLong(raw.Altitude);
  for (int i = 0; i < 3; ++i) m.WriteShort(0);
  return m;
}

DpMessage BuildAircraftDescription(int16_t categoryCode, const std::string& text) {
  DpMessage m;
  m.WriteLong(session::kAircraftDescription);
  m.WriteLong(static_cast<int32_t>(std::min<size_t>(text.size(), 0x7FFFFFFF)));
  m.WriteShort(categoryCode);
  for (const char c : text) m.WriteByte(static_cast<uint8_t>(c));
  return m;
}

// ---------------------------------------------------------------------------------------------------

SimulatedHost::SimulatedHost(std::unique_ptr<session::DirectPlay> dp, std::string name, EventSink events)
    : dp_(std::move(dp)), name_(std::move(name)), events_(std::move(events)) {
  if (!dp_) throw std::invalid_argument("SimulatedHost needs a DirectPlay object");
  loopback_ = dynamic_cast<session::LoopbackDirectPlay*>(dp_.get());
}

void SimulatedHost::Host(const std::string& sessionName, const std::string& password, int32_t maxPlayers) {
  const auto connections = dp_->EnumConnections(session::kConnectionsDirectPlay);
  if (connections.empty()) throw session::DirectPlayError("the provider offers no connection");
  dp_->InitializeConnection(connections.front().Address);
  session::DpSessionDesc desc;
  desc.SessionName = sessionName;
  desc.MaxPlayers = maxPlayers;
  desc.Password = password;
  desc.Flags = session::kSessionKeepAlive | session::kSessionMigrateHost |
               (password.empty() ? 0 : session::kSessionPasswordRequired);
  dp_->Open(desc, session::kOpenCreate);
  instanceId_ = dp_->CurrentSession().InstanceId;
  playerId_ = dp_->CreatePlayer(name_, "Player");
  dp_->CreateGroup("FS61_REFUSE_PARAMS");
  inSession_ = true;
}

void SimulatedHost::Tick(double) {
  if (!inSession_) return;
  std::string error;
  const bool ok = Drain(
      *dp_, loopback_, playerId_,
      [this](std::span<const uint8_t> bytes, int32_t from) {
        if (!OfType(bytes, {session::kJoinAsPlayer, session::kJoinAsObserver})) return;
        DpMessage m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        const int32_t type = m.ReadLong();
        m.ReadLong();  // count
        if (type == session::kJoinAsPlayer) {
          dp_->Send(playerId_, from, session::kSendGuaranteed,
                    refuseJoins_ ? session::BuildSimpleMessage(session::kJoinRefusedPlayer)
                                 : session::BuildAnnouncement(session::kPlayerAnnouncement, from));
        } else if (type == session::kJoinAsObserver) {
          dp_->Send(playerId_, from, session::kSendGuaranteed,
                    refuseJoins_ ? session::BuildSimpleMessage(session::kJoinRefusedObserver)
                                 : session::BuildAnnouncement(session::kObserverAnnouncement, from));
        }
      },
      error);
  if (!ok) {
    inSession_ = false;
    events_(name_ + " loses the session (" + error + ")");
  }
}

void SimulatedHost::Leave() {
  if (!inSession_) return;
  try {
    dp_->Send(playerId_, session::kAllPlayers, session::kSendGuaranteed,
              session::BuildSimpleMessage(session::kHostLeft));
  } catch (const std::exception&) {
  }
  LeaveQuietly(*dp_, playerId_);
  inSession_ = false;
}

void SimulatedHost::RemoveFromSession(int32_t playerId) {
  dp_->Send(playerId_, playerId, session::kSendGuaranteed,
            session::BuildSimpleMessage(session::kRemovedByHost));
}

// ---------------------------------------------------------------------------------------------------

SimulatedParticipant::SimulatedParticipant(std::unique_ptr<session::DirectPlay> dp, std::string name,
                                           EventSink events)
    : dp_(std::move(dp)), name_(std::move(name)), events_(std::move(events)) {
  if (!dp_) throw std::invalid_argument(name_ + " needs a DirectPlay object");
  loopback_ = dynamic_cast<session::LoopbackDirectPlay*>(dp_.get());
}

void SimulatedParticipant::StartJoin(const std::string& instanceId, const std::string& password,
                                     int32_t joinRequest) {
  if (state_ != ParticipantState::Outside) throw std::logic_error(name_ + " has already joined once");
  playerId_ = OpenAndCreatePlayer(*dp_, instanceId, password, name_);
  state_ = ParticipantState::Joining;
  dp_->Send(playerId_, session::kAllPlayers, session::kSendGuaranteed,
            session::BuildSimpleMessage(joinRequest));
}

void SimulatedParticipant::Say(const std::string& text) {
  dp_->Send(playerId_, session::kAllPlayers, session::kSendGuaranteed, session::BuildChatMessage(text));
}

void SimulatedParticipant::Leave() {
  if (state_ != ParticipantState::Joining && state_ != ParticipantState::Present) return;
  LeaveQuietly(*dp_, playerId_);
  state_ = ParticipantState::Left;
}

// ---------------------------------------------------------------------------------------------------

SimulatedPilot::SimulatedPilot(std::unique_ptr<session::DirectPlay> dp, std::string name, EventSink events)
    : SimulatedParticipant(std::move(dp), std::move(name), std::move(events)) {}

void SimulatedPilot::Join(const std::string& instanceId, const std::string& password, bool announce) {
  StartJoin(instanceId, password, session::kJoinAsPlayer);
  announce_ = announce;
}

void SimulatedPilot::Handle(std::span<const uint8_t> bytes, int32_t from) {
  if (!OfType(bytes, {session::kPlayerAnnouncement, session::kJoinRefusedPlayer,
                      session::kIdentificationRequest, session::kAircraftDescriptionRequest}) &&
      !(keepChat_ && OfType(bytes, {session::kChatText}))) {
    return;
  }
  DpMessage m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  const int32_t type = m.ReadLong();
  const int32_t count = m.ReadLong();
  switch (type) {
    case session::kPlayerAnnouncement:
      // Another participant's announcement carries its own id; only the host's answer carries ours.
      if (state_ == ParticipantState::Joining && m.ReadLong() == playerId_) {
        state_ = ParticipantState::Present;
        if (announce_) {
          dp_->Send(playerId_, session::kAllPlayers, session::kSendGuaranteed,
                    session::BuildAnnouncement(session::kPlayerAnnouncement, playerId_));
          events_(name_ + " is admitted and announces itself");
        } else {
          events_(name_ + " is admitted");
        }
      }
      break;
    case session::kJoinRefusedPlayer:
      if (state_ == ParticipantState::Joining) {
        state_ = ParticipantState::Refused;
        events_(name_ + " is refused and leaves the session");
        LeaveQuietly(*dp_, playerId_);
      }
      break;
    case session::kIdentificationRequest:
      if (state_ == ParticipantState::Present) {
        dp_->Send(playerId_, from, session::kSendGuaranteed,
                  session::BuildAnnouncement(session::kPlayerAnnouncement, playerId_));
      }
      break;
    case session::kAircraftDescriptionRequest:
      if (state_ == ParticipantState::Present) {
        dp_->Send(playerId_, from, session::kSendGuaranteed,
                  BuildAircraftDescription(kCategoryCode, aircraft_));
      }
      break;
    case session::kChatText:
      chat_.push_back(session::ReadText(m, count));
      break;
    default:
      break;
  }
}

void SimulatedPilot::Tick(double nowSeconds) {
  if (state_ != ParticipantState::Joining && state_ != ParticipantState::Present) return;
  std::string error;
  if (!Drain(
          *dp_, loopback_, playerId_,
          [this](std::span<const uint8_t> bytes, int32_t from) { Handle(bytes, from); }, error)) {
    state_ = ParticipantState::Lost;
    events_(name_ + " loses the session (" + error + ")");
    return;
  }
  if (state_ != ParticipantState::Present || !position_) return;
  // The tolerance keeps a clock that counts in decimal fractions from skipping a due report.
  if (nextReport_ && nowSeconds + 1e-9 < *nextReport_) return;
  nextReport_ = (std::floor(nowSeconds / kReportInterval + 1e-9) + 1) * kReportInterval;
  const std::optional<PilotPosition> p = PositionAt(nowSeconds);
  try {
    dp_->Send(playerId_, session::kAllPlayers, 0, BuildPositionReport(*p));
  } catch (const std::exception&) {
    // A report that cannot leave is simply missed; a lost session shows at the next drain.
  }
}

void SimulatedPilot::SetPosition(const PilotPosition& position) {
  position_ = position;
  leg_.reset();
  nextReport_.reset();
}

void SimulatedPilot::FlyTo(double latitude, double longitude, double altitudeFt, double groundSpeedKt,
                           double nowSeconds) {
  const std::optional<PilotPosition> from = PositionAt(nowSeconds);
  if (!from) throw std::logic_error(name_ + " has no position to fly from");
  if (!(groundSpeedKt > 0)) throw std::invalid_argument("the ground speed must be above 0");
  Leg leg;
  leg.From = *from;
  leg.ToLatitude = latitude;
  leg.ToLongitude = longitude;
  leg.ToAltitudeFt = altitudeFt;
  leg.SpeedKt = groundSpeedKt;
  leg.Start = nowSeconds;
  leg.Duration = DistanceNmExact(from->Latitude, from->Longitude, latitude, longitude) / groundSpeedKt * 3600;
  leg_ = leg;
  position_ = PositionAt(nowSeconds);
  nextReport_.reset();
}

std::optional<PilotPosition> SimulatedPilot::PositionAt(double nowSeconds) {
  if (!position_ || !leg_) return position_;
  const Leg& leg = *leg_;
  const double f = leg.Duration > 0 ? std::clamp((nowSeconds - leg.Start) / leg.Duration, 0.0, 1.0) : 1.0;
  PilotPosition p = leg.From;
  if (f >= 1) {
    p.Latitude = leg.ToLatitude;
    p.Longitude = leg.ToLongitude;
    p.AltitudeFt = leg.ToAltitudeFt;
    p.TrueHeading = position_->TrueHeading;  // the last course flown
    p.GroundSpeedKt = 0.0;
    position_ = p;
    leg_.reset();
    return position_;
  }
  Interpolate(leg.From.Latitude, leg.From.Longitude, leg.ToLatitude, leg.ToLongitude, f, p.Latitude,
              p.Longitude);
  p.AltitudeFt = leg.From.AltitudeFt + (leg.ToAltitudeFt - leg.From.AltitudeFt) * f;
  // Within a few metres of the end the course is undefined; the last one stands.
  p.TrueHeading = DistanceNmExact(p.Latitude, p.Longitude, leg.ToLatitude, leg.ToLongitude) > 0.001
                      ? CourseDeg(p.Latitude, p.Longitude, leg.ToLatitude, leg.ToLongitude)
                      : position_->TrueHeading;
  p.GroundSpeedKt = leg.SpeedKt;
  position_ = p;
  return position_;
}

// ---------------------------------------------------------------------------------------------------

void SimulatedObserver::Join(const std::string& instanceId, const std::string& password) {
  StartJoin(instanceId, password, session::kJoinAsObserver);
}

void SimulatedObserver::Tick(double) {
  if (state_ != ParticipantState::Joining && state_ != ParticipantState::Present) return;
  std::string error;
  const bool ok = Drain(
      *dp_, loopback_, playerId_,
      [this](std::span<const uint8_t> bytes, int32_t from) {
        if (!OfType(bytes, {session::kObserverAnnouncement, session::kJoinRefusedObserver,
                            session::kIdentificationRequest}) &&
            !(keepChat_ && OfType(bytes, {session::kChatText}))) {
          return;
        }
        DpMessage m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        const int32_t type = m.ReadLong();
        const int32_t count = m.ReadLong();
        if (type == session::kObserverAnnouncement && state_ == ParticipantState::Joining &&
            m.ReadLong() == playerId_) {
          state_ = ParticipantState::Present;
          dp_->Send(playerId_, session::kAllPlayers, session::kSendGuaranteed,
                    session::BuildAnnouncement(session::kObserverAnnouncement, playerId_));
          events_(name_ + " is admitted and announces itself");
        } else if (type == session::kJoinRefusedObserver && state_ == ParticipantState::Joining) {
          state_ = ParticipantState::Refused;
          events_(name_ + " is refused and leaves the session");
          LeaveQuietly(*dp_, playerId_);
        } else if (type == session::kIdentificationRequest && state_ == ParticipantState::Present) {
          dp_->Send(playerId_, from, session::kSendGuaranteed,
                    session::BuildAnnouncement(session::kObserverAnnouncement, playerId_));
        } else if (type == session::kChatText) {
          chat_.push_back(session::ReadText(m, count));
        }
      },
      error);
  if (!ok) {
    state_ = ParticipantState::Lost;
    events_(name_ + " loses the session (" + error + ")");
  }
}

}  // namespace skyvox::sim
