// The receive loop with N pilots reporting positions (50 and 500): every iteration each pilot sends one
// position report with speed, then one Connection_Timer tick receives, decodes and applies them all.
// BM_ReceiveLoop is the station's tick; BM_ReceiveLoop_Baseline the same tick finding each sender by a
// pass over the roster. Counter allocations_per_message: heap allocations made by the tick itself,
// per message.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "session/loopback.h"
#include "session/messages.h"
#include "session/receive_loop.h"

namespace {
std::atomic<long long> allocations{0};
}  // namespace

__attribute__((noinline)) void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// Out of line, so that the compiler does not pair the new above with a free it can see.
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {
using namespace skyvox;

struct NoEvents : session::SessionEvents {
  void ShowInformation(const std::string&) override {}
  void CloseStation() override {}
};

using TickFunction = void (*)(session::SessionLink&, scenery::WorldTables&, session::SessionEvents&);

void RunReceiveLoop(benchmark::State& state, TickFunction tick) {
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
  tick(link, world, events);
  if (link.PlayerCount != pilots) state.SkipWithError("pilots missing from the roster");

  session::DpMessage report;
  for (int32_t v : {0x1019, 0, 0, 0, 0, 0, 0, 65536 * 60, 0, 400 << 2, 5273337, -1459240000, 1000})
    report.WriteLong(v);
  for (int i = 0; i < 3; ++i) report.WriteShort(0);
  long long tickAllocations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < pilots; ++i)
      peers[static_cast<size_t>(i)]->Send(ids[static_cast<size_t>(i)], link.OwnPlayerId, 1, report);
    state.ResumeTiming();
    const long long before = allocations.load(std::memory_order_relaxed);
    tick(link, world, events);
    tickAllocations += allocations.load(std::memory_order_relaxed) - before;
  }
  if (link.PlayerRoster[0].GroundSpeed == 0) state.SkipWithError("the reports were not applied");
  state.SetItemsProcessed(state.iterations() * pilots);
  state.counters["allocations_per_message"] =
      static_cast<double>(tickAllocations) /
      static_cast<double>(std::max<int64_t>(1, state.iterations() * pilots));
}

void BM_ReceiveLoop(benchmark::State& state) {
  RunReceiveLoop(state, session::OnConnectionTimerTick);
}
void BM_ReceiveLoop_Baseline(benchmark::State& state) {
  RunReceiveLoop(state, session::OnConnectionTimerTickStraightforward);
}
BENCHMARK(BM_ReceiveLoop)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveLoop_Baseline)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
