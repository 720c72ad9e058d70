// The receive loop with 500 pilots reporting positions: every iteration each pilot sends one position
// report with speed, then one Connection_Timer tick receives, decodes and applies them all.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "session/loopback.h"
#include "session/messages.h"
#include "session/receive_loop.h"

namespace {
using namespace skyvox;

struct NoEvents : session::SessionEvents {
  void ShowInformation(const std::string&) override {}
  void CloseStation() override {}
};

void BM_ReceiveLoop500Pilots(benchmark::State& state) {
  const int pilots = static_cast<int>(state.range(0));
  auto hub = std::make_shared<session::LoopbackHub>(1);
  auto endpoint = [&] {
    auto dp = std::make_unique<session::LoopbackDirectPlay>(hub);
    dp->InitializeConnection("loopback");
    return dp;
  };
  auto host = endpoint();
  session::DpSessionDesc desc;
  desc.SessionName = "bench";
  host->Open(desc, session::kOpenCreate);
  session::DpSessionDesc join;
  join.InstanceId = host->CurrentSession().InstanceId;
  host->CreatePlayer("HOST", "Player");

  session::SessionLink link;
  auto station = endpoint();
  station->Open(join, session::kOpenJoin);
  link.OwnPlayerId = station->CreatePlayer("AI_Controller", "Player");
  link.SessionInstanceId = join.InstanceId;
  link.SessionMaxPlayers = pilots + 10;
  link.SessionActive = true;
  link.Dp = std::move(station);
  scenery::WorldTables world;
  NoEvents events;

  std::vector<std::unique_ptr<session::LoopbackDirectPlay>> peers;
  std::vector<int32_t> ids;
  for (int i = 0; i < pilots; ++i) {
    peers.push_back(endpoint());
    peers.back()->Open(join, session::kOpenJoin);
    ids.push_back(peers.back()->CreatePlayer("N" + std::to_string(1000 + i), "Player"));
    peers.back()->Send(ids.back(), link.OwnPlayerId, 1,
                       session::BuildAnnouncement(session::kPlayerAnnouncement, ids.back()));
  }
  session::OnConnectionTimerTick(link, world, events);
  if (link.PlayerCount != pilots) state.SkipWithError("pilots missing from the roster");

  session::DpMessage report;
  for (int32_t v : {0x1019, 0, 0, 0, 0, 0, 0, 65536 * 60, 0, 400 << 2, 5273337, -1459240000, 1000})
    report.WriteLong(v);
  for (int i = 0; i < 3; ++i) report.WriteShort(0);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < pilots; ++i)
      peers[static_cast<size_t>(i)]->Send(ids[static_cast<size_t>(i)], link.OwnPlayerId, 1, report);
    state.ResumeTiming();
    session::OnConnectionTimerTick(link, world, events);
  }
  state.SetItemsProcessed(state.iterations() * pilots);
}
BENCHMARK(BM_ReceiveLoop500Pilots)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
