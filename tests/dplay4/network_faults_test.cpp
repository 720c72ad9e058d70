// The network failing under the station, over the network provider on 127.0.0.1, through the real
// window controllers. The link between the station and the host is cut at each step of the join
// (every message either side sends from that one on is lost): each cut ends in the connection window's
// own outcome within the provider's waits, never a hang; once the link is back the same window joins,
// and the host is rid of the half-joined machine by keep-alive. And the host vanishes mid-session
// without a word: with host migration the station, oldest machine, takes the session over and goes on
// serving its pilot; without it the station's session ends with the design's message.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <optional>

#include "app/connection.h"
#include "app/station.h"
#include "dplay4/codec.h"
#include "dplay4/network_fixture.h"
#include "session/messages.h"
#include "session/receive_loop.h"

namespace skyvox::dplay4 {
namespace {

using Clock = std::chrono::steady_clock;

// A stream message's kind: its system command, or 0x10000 + the application message's type.
uint32_t KindOf(const std::vector<uint8_t>& m) {
  if (m.size() >= kHeaderSize + 6 && std::memcmp(&m[kHeaderSize], "play", 4) == 0)
    return m[kHeaderSize + 4] | m[kHeaderSize + 5] << 8;
  if (m.size() < kHeaderSize + 10) return 0;
  return 0x10000 + (m[kHeaderSize + 8] | m[kHeaderSize + 9] << 8);
}

class JoinCut : public testing::NetworkSession {
 protected:
  // The link goes down as the nth stream message of this kind leaves this side.
  struct Cut {
    const char* Step;
    bool ByHost;
    uint32_t Kind;
    int Nth;
  };
  bool Passes(bool host, const std::vector<uint8_t>& m, bool stream) {
    if (down_) return false;
    if (!stream || !cut_ || cut_->ByHost != host || KindOf(m) != cut_->Kind) return true;
    down_ = ++seen_ == cut_->Nth;
    return !down_;
  }
  // Short waits, and every message through Passes.
  void Tune(NetworkOptions& o, bool host) {
    o.EnumerationTimeoutMs = 100;
    o.ReplyTimeoutMs = 500;
    o.NameTableTimeoutMs = 800;
    o.Outbound = [this, host](const std::vector<uint8_t>& m, bool stream) { return Passes(host, m, stream); };
  }
  void SetUp() override {
    adjust = [this](NetworkOptions& o) { Tune(o, true); };
    hostPlayer_ = Host(migration_);
    adjust = [this](NetworkOptions& o) {
      Tune(o, false);
      o.TookOver = [this](const std::optional<std::string>&) { tookOver_ = true; };
      o.AskHostAddress = [this] { return std::optional("127.0.0.1:" + std::to_string(ports.Enumeration)); };
    };
    factory_.emplace(Options(), context);
  }

  // The host's own program: join requests are admitted.
  void ServeHost() {
    while (host->GetMessageCount(hostPlayer_) > 0) {
      session::DpReceived r = host->Receive(session::kReceiveAll);
      if (r.Message.ReadLong() == session::kJoinAsPlayer) {
        host->Send(hostPlayer_, r.From, session::kSendGuaranteed,
                   session::BuildAnnouncement(session::kPlayerAnnouncement, r.From));
      }
    }
  }
  // Search, "Join Session" and up to `ticks` handshake ticks, the host answering between them.
  void JoinWith(app::ConnectionController& window, int ticks = 50) {
    window.SearchPressed();
    if (window.SessionList().empty()) return;
    window.SelectSession(0);
    window.JoinPressed();
    for (int i = 0; i < ticks && window.HandshakeTimerEnabled(); ++i) {
      Settle(20);
      ServeHost();
      window.HandshakeTick();
    }
  }
  size_t HostSeesPlayers() { return host->EnumPlayers(host->CurrentSession().InstanceId, 0).size(); }

  // The session's host, with or without host migration.
  int32_t Host(bool migration) {
    host = Make();
    host->InitializeConnection(kTcpIpConnectionAddress);
    session::DpSessionDesc desc;
    desc.SessionName = "Skyvox Test";
    desc.MaxPlayers = 8;
    desc.Flags = session::kSessionKeepAlive | (migration ? session::kSessionMigrateHost : 0);
    host->Open(desc, session::kOpenCreate);
    return host->CreatePlayer("HOST", "Player");
  }

  bool migration_ = true;
  bool tookOver_ = false;
  int32_t hostPlayer_ = 0;
  std::optional<Cut> cut_;
  bool down_ = false;
  int seen_ = 0;
  std::optional<NetworkDirectPlayFactory> factory_;
};

TEST_F(JoinCut, EachStepEndsInTheWindowsOwnOutcomeAndTheNextJoinWorks) {
  const std::string none, joinFailed = app::kJoinFailedText, createFailed = app::kCreatePlayerFailedText;
  // The step, and the box the window shows ("" for none: an empty search, or a wait for the host).
  const std::vector<std::pair<Cut, std::string>> cuts{
      {{"the enumeration reply", true, kEnumSessionsReply, 1}, none},
      {{"the request for a system player id", false, kRequestPlayerId, 1}, joinFailed},
      {{"the host's id reply", true, kRequestPlayerReply, 1}, joinFailed},
      {{"the add-forward request", false, kAddForwardRequest, 1}, joinFailed},
      {{"the host's name table", true, kSuperEnumPlayersReply, 1}, joinFailed},
      {{"the request for the player's id", false, kRequestPlayerId, 2}, createFailed},
      {{"the host's player id reply", true, kRequestPlayerReply, 2}, createFailed},
      {{"the player's creation", false, kCreatePlayer, 1}, none},
      {{"the join request 0x1001", false, 0x10000 + session::kJoinAsPlayer, 1}, none},
      {{"the host's acceptance 0x1003", true, 0x10000 + session::kPlayerAnnouncement, 1}, none},
  };
  for (const auto& [cut, box] : cuts) {
    SCOPED_TRACE(std::string("the link cut at ") + cut.Step);
    cut_ = cut;
    down_ = false;
    seen_ = 0;
    app::ProgramState state;
    app::MessageBoxLog boxes;
    app::ScriptedInputBoxes inputs;
    app::ConnectionController window(state, boxes, inputs, *factory_);
    window.Load();
    window.SelectConnection(0);
    const auto start = Clock::now();
    JoinWith(window);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_TRUE(down_);
    if (box.empty()) {
      // Nothing found, or the window still waits for the host, as it would for one that never answers.
      EXPECT_TRUE(boxes.Shown().empty());
      EXPECT_EQ(window.HandshakeTimerEnabled(), !window.SessionList().empty());
    } else {
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_EQ(boxes.Shown()[0].Text, box);
      EXPECT_EQ(window.Status(), app::kStatusDisconnected);
      EXPECT_LT(ms, 5000);
    }
    std::cout << "cut at " << cut.Step << ": " << (box.empty() ? window.Status() : box) << " after " << ms
              << " ms\n";

    // The link is back: the same window joins (a waiting one gives up with a new search first).
    down_ = false;
    cut_.reset();
    boxes.Clear();
    JoinWith(window);
    EXPECT_EQ(window.Status(), app::kStatusConnected);
    EXPECT_TRUE(boxes.Shown().size() == 1 && boxes.Shown()[0].Text == app::kConnectedText);
    EXPECT_EQ(HostSeesPlayers(), 2u);
    state.Link.Dp.reset();  // leaves the session
    Settle(600);            // three missed pings: a half-joined machine is gone
    EXPECT_EQ(HostSeesPlayers(), 1u);
  }
}

class HostVanishes : public JoinCut {
 protected:
  // The station joined and open, and pilot N1 announced to it and answered once ("airpts:").
  void SetUp() override {
    JoinCut::SetUp();
    window_.emplace(state_, boxes_, inputs_, *factory_);
    window_->Load();
    window_->SelectConnection(0);
    JoinWith(*window_);
    ASSERT_EQ(window_->Next(), app::NextWindow::Station);
    station_.emplace(state_, boxes_, [] {});
    station_->OpenStation();
    std::tie(pilot_, pilotId_) = NetworkSession::Join("N1");
    pilot_->Send(pilotId_, session::kAllPlayers, session::kSendGuaranteed,
                 session::BuildAnnouncement(session::kPlayerAnnouncement, pilotId_));
    ASSERT_TRUE(Answered(1000));
    boxes_.Clear();
  }
  // Runs the receive loop until the pilot hears the airport list it asks for; false after `ms`.
  bool Answered(int ms) {
    pilot_->Send(pilotId_, state_.Link.OwnPlayerId, session::kSendGuaranteed,
                 session::BuildChatMessage("airpts:"));
    for (int waited = 0; waited < ms && station_->IsOpen(); waited += 20) {
      Settle(20);
      station_->ConnectionTimerTick();
      while (pilot_->GetMessageCount(pilotId_) > 0) {
        if (pilot_->Receive(session::kReceiveAll).Message.ReadLong() == session::kChatText) return true;
      }
    }
    return false;
  }

  app::ProgramState state_;
  app::MessageBoxLog boxes_;
  app::ScriptedInputBoxes inputs_;
  std::optional<app::ConnectionController> window_;
  std::optional<app::StationController> station_;
  std::unique_ptr<NetworkDirectPlay> pilot_;
  int32_t pilotId_ = 0;
};

// Nobody tells the station that the host is gone (no 0x1012): the station keeps serving its pilot as
// the session's new name server, but does not take the host's own duties (admitting join requests),
// which the design gives it only with that notice.
TEST_F(HostVanishes, WithMigrationTheStationTakesTheSessionOverAndServesOn) {
  host->Abandon();
  const auto start = Clock::now();
  EXPECT_TRUE(Answered(3000));
  for (int waited = 0; !tookOver_ && waited < 3000; waited += 20) Settle(20);
  std::cout << "the station took the session over after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() << " ms\n";
  EXPECT_TRUE(tookOver_);
  EXPECT_TRUE(Answered(1000));
  EXPECT_TRUE(station_->IsOpen());
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_FALSE(state_.Link.IsSessionHost);
}

class HostVanishesWithoutMigration : public HostVanishes {
 protected:
  HostVanishesWithoutMigration() { migration_ = false; }
};

TEST_F(HostVanishesWithoutMigration, TheStationsSessionEndsWithTheDesignsMessage) {
  host->Abandon();
  const auto start = Clock::now();
  for (int waited = 0; station_->IsOpen() && waited < 3000; waited += 20) {
    Settle(20);
    station_->ConnectionTimerTick();
  }
  std::cout << "the station's session ended after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() << " ms\n";
  EXPECT_FALSE(station_->IsOpen());
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].Text, session::kRemovedText);
}

}  // namespace
}  // namespace skyvox::dplay4
