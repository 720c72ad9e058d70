// A loopback session for the session-link tests: a host, the station (its SessionLink joined like
// the connection window joins) and pilots that send what the simulator sends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "session/loopback.h"
#include "session/messages.h"
#include "session/receive_loop.h"
#include "session/roster.h"

namespace skyvox::testing {

struct Peer {
  std::unique_ptr<session::LoopbackDirectPlay> dp;
  int32_t id = 0;

  void Send(int32_t to, const session::DpMessage& m) { dp->Send(id, to, session::kSendGuaranteed, m); }
  // Types of the messages queued for this peer, with the Long after the count when there is one.
  std::vector<std::pair<int32_t, int32_t>> Drain() {
    std::vector<std::pair<int32_t, int32_t>> got;
    while (dp->GetMessageCount(id) > 0) {
      session::DpMessage m = dp->Receive(session::kReceiveAll).Message;
      const int32_t type = m.ReadLong();
      m.ReadLong();
      got.emplace_back(type, m.Remaining() >= 4 ? m.ReadLong() : 0);
    }
    return got;
  }
};

struct RecordedEvents : session::SessionEvents {
  explicit RecordedEvents(session::SessionLink& l) : link(l) {}
  void ShowInformation(const std::string& text) override { boxes.push_back(text); }
  void CloseStation() override {
    ++closes;
    link.Dp.reset();
    session::ClearRoster(link);
  }
  session::SessionLink& link;
  std::vector<std::string> boxes;
  int closes = 0;
};

class LoopbackSession {
 public:
  LoopbackSession() {
    host.dp = std::make_unique<session::LoopbackDirectPlay>(hub);
    host.dp->InitializeConnection("loopback");
    session::DpSessionDesc desc;
    desc.SessionName = "FS2002 session";
    desc.MaxPlayers = 8;
    host.dp->Open(desc, session::kOpenCreate);
    instance = host.dp->CurrentSession().InstanceId;
    host.id = host.dp->CreatePlayer("HOST", "Player");
    host.dp->CreateGroup("FS61_REFUSE_PARAMS");

    auto station = std::make_unique<session::LoopbackDirectPlay>(hub);
    station->InitializeConnection("loopback");
    session::DpSessionDesc join;
    join.InstanceId = instance;
    station->Open(join, session::kOpenJoin);
    link.OwnPlayerId = station->CreatePlayer("AI_Controller", "Player");
    link.SessionInstanceId = instance;
    link.SessionMaxPlayers = 8;
    link.SessionActive = true;
    link.Dp = std::move(station);
  }

  Peer Join(const std::string& name) {
    Peer p;
    p.dp = std::make_unique<session::LoopbackDirectPlay>(hub);
    p.dp->InitializeConnection("loopback");
    session::DpSessionDesc join;
    join.InstanceId = instance;
    p.dp->Open(join, session::kOpenJoin);
    p.id = p.dp->CreatePlayer(name, "Player");
    return p;
  }

  // A pilot that joined and announced itself, and is in the roster after one tick.
  Peer Announced(const std::string& name, int32_t type = session::kPlayerAnnouncement) {
    Peer p = Join(name);
    p.Send(link.OwnPlayerId, session::BuildAnnouncement(type, p.id));
    Tick();
    return p;
  }

  void Tick() { session::OnConnectionTimerTick(link, world, events); }

  std::shared_ptr<session::LoopbackHub> hub = std::make_shared<session::LoopbackHub>(7);
  Peer host;
  std::string instance;
  session::SessionLink link;
  scenery::WorldTables world;
  RecordedEvents events{link};
};

}  // namespace skyvox::testing
