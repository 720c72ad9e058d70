// Arbitrary messages from a pilot of a loopback session to the station's receive loop. The input is
// cut into messages by a one-byte length before each; every fourth message is followed by a tick. The
// station may end its session (that is its answer to a malformed message) but never crashes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "session/loopback.h"
#include "session/messages.h"
#include "session/receive_loop.h"

namespace {
using namespace skyvox;

struct Events : session::SessionEvents {
  explicit Events(session::SessionLink& l) : link(l) {}
  void ShowInformation(const std::string&) override {}
  void CloseStation() override {
    link.Dp.reset();
    session::ClearRoster(link);
    closed = true;
  }
  session::SessionLink& link;
  bool closed = false;
};

std::unique_ptr<session::LoopbackDirectPlay> Endpoint(const std::shared_ptr<session::LoopbackHub>& hub) {
  auto dp = std::make_unique<session::LoopbackDirectPlay>(hub);
  dp->InitializeConnection("loopback");
  return dp;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto hub = std::make_shared<session::LoopbackHub>(1);
  auto host = Endpoint(hub);
  session::DpSessionDesc desc;
  desc.SessionName = "fuzz";
  desc.MaxPlayers = 8;
  host->Open(desc, session::kOpenCreate);
  const std::string instance = host->CurrentSession().InstanceId;
  host->CreatePlayer("HOST", "Player");
  session::DpSessionDesc join;
  join.InstanceId = instance;

  session::SessionLink link;
  auto station = Endpoint(hub);
  station->Open(join, session::kOpenJoin);
  link.OwnPlayerId = station->CreatePlayer("AI_Controller", "Player");
  link.SessionInstanceId = instance;
  link.SessionMaxPlayers = 8;
  link.SessionActive = true;
  link.IsSessionHost = size > 0 && (data[0] & 1);
  link.Dp = std::move(station);

  auto pilot = Endpoint(hub);
  pilot->Open(join, session::kOpenJoin);
  const int32_t pilotId = pilot->CreatePlayer("N123", "Player");
  pilot->Send(pilotId, link.OwnPlayerId, 1,
              session::BuildAnnouncement(session::kPlayerAnnouncement, pilotId));

  scenery::WorldTables world;
  world.ControlledAirports = {scenery::EmptyAirportWithSpareElements(),
                              scenery::EmptyAirportWithSpareElements()};
  world.ControlledAirports[0].Ident = "KOLM";
  world.ControlledAirports[0].Name = "OLYMPIA";
  world.ControlledAirportCount = 1;
  Events events(link);
  session::OnConnectionTimerTick(link, world, events);

  size_t at = 1;
  int sent = 0;
  while (at < size && !events.closed) {
    const size_t length = data[at++];
    const size_t take = std::min(length, size - at);
    if (take > 0) {
      pilot->Send(pilotId, link.OwnPlayerId, 1,
                  session::DpMessage(std::vector<uint8_t>(data + at, data + at + take)));
    }
    at += take;
    if (++sent % 4 == 0) session::OnConnectionTimerTick(link, world, events);
  }
  if (!events.closed) session::OnConnectionTimerTick(link, world, events);
  if (link.PlayerCount < 0 || link.PlayerRoster.size() != static_cast<size_t>(link.PlayerCount) + 1)
    __builtin_trap();
  return 0;
}
