// A session over the network provider on 127.0.0.1 for tests: a host and its peers as separate
// DirectPlay objects on one polled context, with ports of their own and short timers.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dplay4/network.h"

namespace skyvox::dplay4::testing {

using session::DirectPlayError;
using session::DpMessage;
using session::DpSessionDesc;

// Ports of our own, away from other test runs: a random block of 100 above 20000.
struct Ports {
  uint16_t Enumeration;
  uint16_t First;
  Ports() {
    std::random_device rd;
    First = static_cast<uint16_t>(20000 + (rd() % 400) * 100);
    Enumeration = static_cast<uint16_t>(First + 99);
  }
};

class NetworkSession : public ::testing::Test {
 protected:
  NetworkOptions Options() {
    NetworkOptions o;
    o.EnumerationPort = ports.Enumeration;
    o.FirstPort = ports.First;
    o.LastPort = static_cast<uint16_t>(ports.First + 90);
    o.EnumerationTimeoutMs = 300;
    o.ReplyTimeoutMs = 2000;
    o.NameTableTimeoutMs = 3000;
    o.PingIntervalMs = 100;
    o.MissedPingsLimit = 3;
    o.IdKey = 0;  // ids in joining order: the oldest machine takes over from the host
    if (adjust) adjust(o);
    return o;
  }
  std::unique_ptr<NetworkDirectPlay> Make() {
    return std::make_unique<NetworkDirectPlay>(Options(), context);
  }

  // The host's session, hosted on its own object.
  int32_t Host(const std::string& password = "", int32_t maxPlayers = 8) {
    host = Make();
    host->InitializeConnection(kTcpIpConnectionAddress);
    DpSessionDesc desc;
    desc.SessionName = "Skyvox Test";
    desc.MaxPlayers = maxPlayers;
    desc.Flags = session::kSessionKeepAlive | session::kSessionMigrateHost;
    desc.Password = password;
    host->Open(desc, session::kOpenCreate);
    return host->CreatePlayer("HOST", "Player");
  }
  std::vector<DpSessionDesc> Search(NetworkDirectPlay& dp, int32_t flags) {
    dp.InitializeConnection(std::string(kTcpIpConnectionAddress) +
                            ":127.0.0.1:" + std::to_string(ports.Enumeration));
    return dp.EnumSessions(DpSessionDesc{}, 0, flags);
  }
  // A peer that searches, joins and creates its player.
  std::pair<std::unique_ptr<NetworkDirectPlay>, int32_t> Join(const std::string& name,
                                                              const std::string& password = "") {
    auto dp = Make();
    auto found = Search(*dp, session::kEnumSessionsPasswordRequired);
    EXPECT_EQ(found.size(), 1u);
    if (found.empty()) throw DirectPlayError("no session");
    found[0].Password = password;
    dp->Open(found[0], session::kOpenJoin);
    const int32_t id = dp->CreatePlayer(name, "Player");
    return {std::move(dp), id};
  }
  void Settle(int ms = 200) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) PollNetworkFor(*context, 10);
  }
  static DpMessage Text(int32_t type, int32_t value) {
    DpMessage m;
    m.WriteLong(type);
    m.WriteLong(value);
    return m;
  }
  // Every (from, to, type, value) queued for that player.
  static std::vector<std::array<int32_t, 4>> Drain(NetworkDirectPlay& dp, int32_t player) {
    std::vector<std::array<int32_t, 4>> got;
    while (dp.GetMessageCount(player) > 0) {
      session::DpReceived r = dp.Receive(session::kReceiveAll);
      const int32_t type = r.Message.ReadLong();
      got.push_back({r.From, r.To, type, r.Message.ReadLong()});
    }
    return got;
  }

  std::function<void(NetworkOptions&)> adjust;  // a test's own options, applied to every object
  Ports ports;
  std::shared_ptr<NetworkContext> context = MakeNetworkContext();
  std::unique_ptr<NetworkDirectPlay> host;
};

}  // namespace skyvox::dplay4::testing
