// The receive loop tick by tick over a loopback session: roster, positions, descriptions, the pilots'
// chat commands, hosting duties and the session's end.
#include "session/receive_loop.h"

#include <gtest/gtest.h>

#include "session_fixture.h"

namespace skyvox::session {
namespace {
using skyvox::testing::LoopbackSession;
using skyvox::testing::Peer;

DpMessage Chat(const std::string& text) {
  return BuildChatMessage(text);
}

scenery::AirportRecord Airport(const std::string& ident, const std::string& name) {
  scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
  a.Ident = ident;
  a.Name = name;
  return a;
}

class ReceiveLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    s.world.ControlledAirports = {Airport("KOLM", "OLYMPIA"), Airport("KPDX", "PORTLAND"),
                                  Airport("KBFI", "BOEING FIELD"), scenery::EmptyAirportWithSpareElements()};
    s.world.ControlledAirportCount = 3;
    pilot = s.Announced("N123");
  }
  PlayerRecord& Entry() { return s.link.PlayerRoster[0]; }
  void Say(const std::string& text) {
    pilot.Send(s.link.OwnPlayerId, Chat(text));
    s.Tick();
  }

  LoopbackSession s;
  Peer pilot;
};

TEST_F(ReceiveLoop, AnnouncementsAddEachParticipantOnce) {
  ASSERT_EQ(s.link.PlayerCount, 1);
  EXPECT_EQ(Entry().Name, "N123");
  EXPECT_EQ(Entry().PlayerId, pilot.id);
  EXPECT_EQ(Entry().Kind, "player");
  EXPECT_EQ(Entry().AircraftKind, "Unknown");
  pilot.Send(s.link.OwnPlayerId, BuildAnnouncement(kPlayerAnnouncement, 999));
  Peer observer = s.Join("OBS1");
  observer.Send(s.link.OwnPlayerId, BuildAnnouncement(kObserverAnnouncement, observer.id));
  s.Tick();
  ASSERT_EQ(s.link.PlayerCount, 2);
  EXPECT_EQ(s.link.PlayerRoster[1].Kind, "observer");
  EXPECT_EQ(s.link.PlayerRoster.size(), 3u);

  s.link.SessionActive = false;  // announcements are taken only while the session is active
  Peer late = s.Join("LATE");
  late.Send(s.link.OwnPlayerId, BuildAnnouncement(kPlayerAnnouncement, late.id));
  s.Tick();
  EXPECT_EQ(s.link.PlayerCount, 2);
}

TEST_F(ReceiveLoop, PositionsAndDescriptionsGoToTheSendersEntryOnly) {
  DpMessage position;
  for (int32_t v : {0x1019, 0, 0, 0, 0, 0, 0, 655360, 0, 256 << 2, 5273337, -1459240000, 1000})
    position.WriteLong(v);
  for (int i = 0; i < 3; ++i) position.WriteShort(0);
  Peer stranger = s.Join("N9");
  stranger.Send(s.link.OwnPlayerId, position);  // not in the roster: dropped
  pilot.Send(s.link.OwnPlayerId, position);
  Entry().CyclesWithoutPosition = 7;
  DpMessage description;
  description.WriteLong(kAircraftDescription);
  description.WriteLong(5);
  description.WriteShort(3);
  for (const char c : std::string("B737", 5)) description.WriteByte(static_cast<uint8_t>(c));
  pilot.Send(s.link.OwnPlayerId, description);
  s.Tick();
  ASSERT_EQ(s.link.PlayerCount, 1);
  EXPECT_EQ(Entry().Latitude, 47.45173);
  EXPECT_EQ(Entry().Longitude, -122.31208);
  EXPECT_EQ(Entry().Altitude, 3281);
  EXPECT_EQ(Entry().Heading, 90);
  EXPECT_EQ(Entry().GroundSpeed, 19);
  EXPECT_EQ(Entry().CyclesWithoutPosition, 0);
  EXPECT_EQ(Entry().AircraftKind, "B737");
}

TEST_F(ReceiveLoop, IdentificationRequestsAreAnsweredWithTheStationsId) {
  Peer other = s.Join("N9");
  other.Send(s.link.OwnPlayerId, BuildSimpleMessage(kIdentificationRequest));
  s.Tick();
  EXPECT_EQ(other.Drain(),
            (std::vector<std::pair<int32_t, int32_t>>{{kPlayerAnnouncement, s.link.OwnPlayerId}}));
}

TEST_F(ReceiveLoop, OneCharacterIsAMenuChoice) {
  Say("3");
  EXPECT_EQ(Entry().PendingChoice, 3);
  for (const char* ignored : {"0", "a", "-", "12", "", " "}) {
    Say(ignored);
    EXPECT_EQ(Entry().PendingChoice, 3) << ignored;
  }
  Say(" 4 ");  // blanks are removed first
  EXPECT_EQ(Entry().PendingChoice, 4);
}

TEST_F(ReceiveLoop, RepeatFreeflightAndCopyCommands) {
  Entry().LastAtcMessage = "N123, cleared.";
  Say("RePeAt:");
  EXPECT_EQ(Entry().LastAtcMessage, "N123, cleared.- (Say Again)");
  Say("repeat");
  EXPECT_EQ(Entry().LastAtcMessage, "N123, cleared.- (Say Again)");

  Say("atcmsg : true ");
  EXPECT_TRUE(Entry().CopyAllAtcMessages);
  Entry().PilotRequest = "Taxiing";
  Say("freeflt");
  EXPECT_EQ(Entry().PilotRequest, "");
  EXPECT_EQ(Entry().LastAtcMessage, "");
  EXPECT_TRUE(Entry().CopyAllAtcMessages);  // kept by the dialogue reset
  Say("atcmsg:yes");
  EXPECT_FALSE(Entry().CopyAllAtcMessages);
}

TEST_F(ReceiveLoop, AirportListAnswersTheAskerOnly) {
  Say("airpts:");
  pilot.dp->Receive(kReceiveAll);  // nothing else queued for the pilot but the answer
  s.world.ControlledAirportCount = 0;
  pilot.Send(s.link.OwnPlayerId, Chat("AIRPTS:"));
  s.Tick();
  DpMessage answer = pilot.dp->Receive(kReceiveAll).Message;
  answer.ReadLong();
  EXPECT_EQ(ReadText(answer, answer.ReadLong()), "N123, List of controlled airports: ");
}

TEST_F(ReceiveLoop, AirportListNamesEveryControlledAirport) {
  Say("airpts:");
  DpMessage answer = pilot.dp->Receive(kReceiveAll).Message;
  answer.ReadLong();
  EXPECT_EQ(ReadText(answer, answer.ReadLong()),
            "N123, List of controlled airports: KOLM (OLYMPIA), KPDX (PORTLAND), KBFI (BOEING FIELD), ");
}

TEST_F(ReceiveLoop, FlightPlans) {
  Say("pst_fp:IFR,OLYMPIA,PORTLAND,9000");
  EXPECT_EQ(Entry().IfrPlanFiled, 1);
  EXPECT_EQ(Entry().DepartureAirport, 0);
  EXPECT_EQ(Entry().DestinationAirport, 1);
  EXPECT_EQ(Entry().CruiseAltitude, 9000);
  EXPECT_EQ(Entry().PilotRequest, "Requesting IFR Clearance");

  Say("pst_fp:ifr,portland,olympia,12000ft");  // any case; the unit after the number does no harm
  EXPECT_EQ(Entry().DepartureAirport, 1);
  EXPECT_EQ(Entry().CruiseAltitude, 12000);

  for (const char* noPlan :
       {"pst_fp:IFR,OLYMPIA,PORTLAND,0", "pst_fp:IFR,OLYMPIA,SEATTLE,9000",
        "pst_fp:IFR,BOEING FIELD,OLYMPIA,9000", "pst_fp:IFR OLYMPIA PORTLAND 9000", "pst_fp:VFR"}) {
    Say(noPlan);
    EXPECT_EQ(Entry().IfrPlanFiled, 0) << noPlan;
    EXPECT_EQ(Entry().DepartureAirport, -1) << noPlan;
    EXPECT_EQ(Entry().CruiseAltitude, 0) << noPlan;
    EXPECT_EQ(Entry().PilotRequest, "") << noPlan;
  }
  EXPECT_EQ(s.events.closes, 0);
}

TEST_F(ReceiveLoop, FlightPlansNamingAirportsWithBlanksOnlyInTheCorrectedMode) {
  for (const bool corrected : {false, true}) {
    s.world.Corrected.On = corrected;
    for (const char* plan : {"pst_fp:IFR,BOEING FIELD,OLYMPIA,9000", "pst_fp:IFR,KBFI,kolm,9000"}) {
      Say(plan);
      EXPECT_EQ(Entry().IfrPlanFiled, corrected ? 1 : 0) << plan;
      EXPECT_EQ(Entry().DepartureAirport, corrected ? 2 : -1) << plan;
      EXPECT_EQ(Entry().DestinationAirport, corrected ? 0 : -1) << plan;
    }
  }
}

TEST_F(ReceiveLoop, TwoDigitChoicesOnlyInTheCorrectedMode) {
  for (const bool corrected : {false, true}) {
    s.world.Corrected.On = corrected;
    Entry().PendingChoice = 0;
    Say("12");
    EXPECT_EQ(Entry().PendingChoice, corrected ? 12 : 0);
    Say("05");  // not a two-digit number in either mode
    EXPECT_EQ(Entry().PendingChoice, corrected ? 12 : 0);
  }
}

TEST_F(ReceiveLoop, AfterAFlightPlanAFailureDoesNotEndTheSession) {
  pilot.Send(s.link.OwnPlayerId, Chat("pst_fp:VFR"));
  DpMessage broken;
  broken.WriteLong(kChatText);  // no count
  pilot.Send(s.link.OwnPlayerId, broken);
  s.Tick();
  EXPECT_EQ(s.events.closes, 0);
  pilot.Send(s.link.OwnPlayerId, broken);  // in a tick of its own it ends the session
  s.Tick();
  EXPECT_EQ(s.events.boxes, std::vector<std::string>{kRemovedText});
  EXPECT_EQ(s.events.closes, 1);
  EXPECT_FALSE(s.link.SessionActive);
}

TEST(ReceiveLoopDepartures, ASenderWhoLeftEndsTheSessionUnlessCorrectedSkipsItsMessage) {
  for (const bool corrected : {false, true}) {
    LoopbackSession t;
    t.world.Corrected.On = corrected;
    Peer gone = t.Announced("N9"), stays = t.Announced("N10");
    gone.Send(t.link.OwnPlayerId, Chat("freeflt"));
    stays.Send(t.link.OwnPlayerId, Chat("3"));
    t.hub->DropPlayer(gone.id);  // its name is no longer found once its last message is received
    t.Tick();
    EXPECT_EQ(t.events.closes, corrected ? 0 : 1);
    EXPECT_EQ(t.link.PlayerCount, corrected ? 2 : 0);
    if (corrected) {
      EXPECT_EQ(t.link.PlayerRoster[1].PendingChoice, 3);  // the tick went on
    }
  }
}

TEST_F(ReceiveLoop, AChatCountBeyondItsBytesEndsTheSession) {
  DpMessage oversized;
  oversized.WriteLong(kChatText);
  oversized.WriteLong(1000);  // claims 1000 bytes, carries 3
  for (const char c : std::string("abc")) oversized.WriteByte(static_cast<uint8_t>(c));
  pilot.Send(s.link.OwnPlayerId, oversized);
  s.Tick();
  EXPECT_EQ(s.events.boxes, std::vector<std::string>{kRemovedText});
  EXPECT_EQ(s.events.closes, 1);
}

TEST_F(ReceiveLoop, JoinRequestsAreAnsweredOnlyWhileHosting) {
  Peer newcomer = s.Join("N5");
  newcomer.Send(s.link.OwnPlayerId, BuildSimpleMessage(kJoinAsPlayer));
  s.Tick();
  EXPECT_TRUE(newcomer.Drain().empty());
  s.link.IsSessionHost = true;
  newcomer.Send(s.link.OwnPlayerId, BuildSimpleMessage(kJoinAsPlayer));
  newcomer.Send(s.link.OwnPlayerId, BuildSimpleMessage(kJoinAsObserver));
  pilot.Send(s.link.OwnPlayerId, BuildSimpleMessage(kJoinAsPlayer));  // already known: refused
  s.Tick();
  EXPECT_EQ(newcomer.Drain(), (std::vector<std::pair<int32_t, int32_t>>{
                                  {kPlayerAnnouncement, newcomer.id}, {kObserverAnnouncement, newcomer.id}}));
  EXPECT_EQ(pilot.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kJoinRefusedPlayer, 0}}));
  s.link.SessionMaxPlayers = 0;  // no room: PlayerCount 1 is above it
  newcomer.Send(s.link.OwnPlayerId, BuildSimpleMessage(kJoinAsObserver));
  s.Tick();
  EXPECT_EQ(newcomer.Drain(), (std::vector<std::pair<int32_t, int32_t>>{{kJoinRefusedObserver, 0}}));
}

TEST_F(ReceiveLoop, HostLeavingWithPilotsLeftMakesTheStationTheHost) {
  s.host.Send(s.link.OwnPlayerId, BuildSimpleMessage(kHostLeft));
  s.hub->DropPlayer(s.host.id);
  s.Tick();
  EXPECT_TRUE(s.link.IsSessionHost);
  EXPECT_EQ(s.events.boxes, std::vector<std::string>{kNowHostingText});
  EXPECT_EQ(s.events.closes, 0);
  EXPECT_EQ(s.link.PlayerCount, 1);
}

TEST_F(ReceiveLoop, HostLeavingWithNobodyLeftEndsTheSession) {
  s.hub->DropPlayer(pilot.id);
  s.host.Send(s.link.OwnPlayerId, BuildSimpleMessage(kHostLeft));
  s.host.Send(s.link.OwnPlayerId, BuildSimpleMessage(kIdentificationRequest));  // never handled
  s.Tick();
  EXPECT_EQ(s.events.boxes, std::vector<std::string>{kConnectionLostText});
  EXPECT_EQ(s.events.closes, 1);
  EXPECT_FALSE(s.link.SessionActive);
}

TEST_F(ReceiveLoop, RemovalAndALostSessionCloseTheStation) {
  s.host.Send(s.link.OwnPlayerId, BuildSimpleMessage(kRemovedByHost));
  s.Tick();
  EXPECT_EQ(s.events.boxes, std::vector<std::string>{kRemovedText});
  EXPECT_EQ(s.events.closes, 1);

  LoopbackSession other;
  other.hub->EndSession(other.instance);
  other.Tick();
  EXPECT_EQ(other.events.boxes, std::vector<std::string>{kRemovedText});
  EXPECT_EQ(other.events.closes, 1);
}

}  // namespace
}  // namespace skyvox::session
