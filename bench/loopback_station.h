// A loopback session for the ATC benchmarks: the station hosts it (its SessionLink filled as after a
// join) and one more endpoint holds the pilots' players, so that the station's lines have somewhere
// to go.
#pragma once

#include <memory>
#include <string>

#include "session/loopback.h"
#include "session/roster.h"

namespace skyvox::bench {

struct LoopbackStation {
  std::shared_ptr<session::LoopbackHub> Hub = std::make_shared<session::LoopbackHub>(1);
  session::SessionLink Link;
  std::unique_ptr<session::LoopbackDirectPlay> Pilots;

  LoopbackStation() {
    auto station = std::make_unique<session::LoopbackDirectPlay>(Hub);
    station->InitializeConnection("loopback");
    session::DpSessionDesc desc;
    desc.SessionName = "bench";
    station->Open(desc, session::kOpenCreate);
    Link.OwnPlayerId = station->CreatePlayer("AI_Controller", "Player");
    Link.SessionInstanceId = station->CurrentSession().InstanceId;
    Link.SessionActive = true;
    Link.Dp = std::move(station);
    Pilots = std::make_unique<session::LoopbackDirectPlay>(Hub);
    Pilots->InitializeConnection("loopback");
    session::DpSessionDesc join;
    join.InstanceId = Link.SessionInstanceId;
    Pilots->Open(join, session::kOpenJoin);
  }

  // Empties the pilots' queues (the lines the station sent them).
  void DrainPilots(int32_t anyPilotId) {
    while (Pilots->GetMessageCount(anyPilotId) > 0) Pilots->Receive(session::kReceiveAll);
  }
};

}  // namespace skyvox::bench
