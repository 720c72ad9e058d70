#include "session/roster.h"

#include <gtest/gtest.h>

#include "session_fixture.h"

namespace skyvox::session {
namespace {
using skyvox::testing::LoopbackSession;
using skyvox::testing::Peer;

TEST(Roster, ResetsKeepWhatTheyPromise) {
  // Who and where, and the copy flag, survive a dialogue reset; the dialogue fields do not.
  PlayerRecord kept;
  kept.Name = "N1";
  kept.PlayerId = 5;
  kept.Kind = "player";
  kept.AircraftKind = "C172";
  kept.Latitude = 1;
  kept.Heading = 90;
  kept.GroundSpeed = 100;
  kept.CopyAllAtcMessages = true;
  PlayerRecord r = kept;
  r.LastAtcMessage = "x";
  r.MenuOptions = {"a", "b", ""};
  r.MenuOptionCount = 2;
  r.CenterIndex = 3;
  r.IfrPlanFiled = 1;
  r.PilotRequest = "Taxiing";
  PlayerRecord dialogue = r;
  ResetDialogue(dialogue);
  EXPECT_EQ(dialogue, kept);
  EXPECT_EQ(dialogue.MenuOptions.size(), 1u);
  EXPECT_EQ(dialogue.CenterIndex, -1);
  ResetFullRecord(r);
  PlayerRecord fresh;
  fresh.Name = "N1";
  fresh.PlayerId = 5;
  EXPECT_EQ(r, fresh);
}

TEST(Roster, PurgeSkipsTheEntryThatMovesIntoAFreedPlace) {
  LoopbackSession s;
  Peer a = s.Announced("A"), b = s.Announced("B"), c = s.Announced("C");
  ASSERT_EQ(s.link.PlayerCount, 3);
  s.hub->DropPlayer(a.id);
  s.hub->DropPlayer(b.id);
  PurgeDepartedPlayers(s.link, s.world);
  ASSERT_EQ(s.link.PlayerCount, 2);  // B moved into place 0 and waits for the next pass
  EXPECT_EQ(s.link.PlayerRoster[0].Name, "B");
  EXPECT_EQ(s.link.PlayerRoster[1].Name, "C");
  EXPECT_EQ(s.link.PlayerRoster.size(), 3u);
  PurgeDepartedPlayers(s.link, s.world);
  ASSERT_EQ(s.link.PlayerCount, 1);
  EXPECT_EQ(s.link.PlayerRoster[0].Name, "C");
}

TEST(Roster, APurgeTakesDepartedIndexesOutOfTheRunwayQueues) {
  scenery::WorldTables world;
  world.ControlledAirportCount = 1;
  world.ControlledAirports = {scenery::EmptyAirportWithSpareElements(),
                              scenery::EmptyAirportWithSpareElements()};
  auto& airport = world.ControlledAirports[0];
  airport.RuntimeList1 = {{-1, ""}, {2, "x"}, {2, "y"}, {3, "z"}};
  airport.RuntimeList2 = {{2, "only"}};
  RemovePlayerFromAirportLists(world, 2);
  // The second 2 moved into the place just emptied and is not looked at again.
  EXPECT_EQ(airport.RuntimeList1, (std::vector<scenery::RuntimeEntry>{{-1, ""}, {2, "y"}, {3, "z"}}));
  EXPECT_EQ(airport.RuntimeList2, (std::vector<scenery::RuntimeEntry>{{-1, ""}}));  // never below one element
}

TEST(Roster, RefreshAsksStrangersToIdentifyAndPilotsForTheirAircraft) {
  LoopbackSession s;
  Peer pilot = s.Announced("N1");
  Peer observer = s.Announced("OBS", kObserverAnnouncement);
  Peer present = s.Join("N9");          // in the session, never announced
  Peer twin = s.Join("AI_Controller");  // carries the station's own name
  RefreshPlayers(s.link, s.world);
  EXPECT_EQ(s.host.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kIdentificationRequest, 0}}));
  EXPECT_EQ(present.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kIdentificationRequest, 0}}));
  EXPECT_TRUE(twin.Drain().empty());
  EXPECT_TRUE(observer.Drain().empty());
  EXPECT_EQ(pilot.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kAircraftDescriptionRequest, 0}}));

  // A re-join under the same name has a new id: purged, then asked to identify.
  s.hub->DropPlayer(pilot.id);
  Peer again = s.Join("N1");
  RefreshPlayers(s.link, s.world);
  EXPECT_EQ(s.link.PlayerCount, 1);
  EXPECT_EQ(again.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kIdentificationRequest, 0}}));
}

TEST(Roster, RefreshGoesOnWhenTheSessionIsGone) {
  LoopbackSession s;
  s.Announced("N1");
  s.hub->EndSession(s.instance);
  EXPECT_NO_THROW(RefreshPlayers(s.link, s.world));
  EXPECT_EQ(s.link.PlayerCount, 1);
  ClearRoster(s.link);
  EXPECT_EQ(s.link.PlayerCount, 0);
  EXPECT_EQ(s.link.PlayerRoster.size(), 1u);
}

// A departed pilot's queue places go (all of them, even two in a row) and the places of the pilots
// behind it in the roster follow them down, so the queues go on naming the same pilots.
TEST(Roster, PurgeRenumbersTheRunwayQueues) {
  LoopbackSession s;
  Peer a = s.Announced("A"), b = s.Announced("B"), c = s.Announced("C");
  s.world.ControlledAirportCount = 1;
  s.world.ControlledAirports.resize(2);
  scenery::AirportRecord& airport = s.world.ControlledAirports[0];
  airport.RuntimeList1 = {{0, ""}, {2, ""}, {-1, ""}};
  airport.RuntimeList2 = {{0, ""}, {0, ""}, {1, ""}, {-1, ""}};
  s.hub->DropPlayer(a.id);
  PurgeDepartedPlayers(s.link, s.world);
  ASSERT_EQ(s.link.PlayerRoster[0].Name, "B");
  const auto indexes = [](const std::vector<scenery::RuntimeEntry>& list) {
    std::vector<int32_t> out;
    for (const auto& e : list) out.push_back(e.PlayerIndex);
    return out;
  };
  EXPECT_EQ(indexes(airport.RuntimeList1), (std::vector<int32_t>{1, -1}));  // C
  EXPECT_EQ(indexes(airport.RuntimeList2), (std::vector<int32_t>{0, -1}));  // B
}

}  // namespace
}  // namespace skyvox::session
