// The hand-made airport of the airport dialogue and ground tests: Olympia at 47 N 122 W, field
// elevation 200 ft, runway 16 (magnetic 160) with its threshold on the reference point, ground on
// 121.6, tower on 124.4, no magnetic variation (magnetic bearings equal true ones), and the Seattle
// centre on 125.1. The pilot under test is the first roster entry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atc/airport_dialogue.h"
#include "atc/atc_context.h"
#include "session/chat_tap.h"
#include "session/session_fixture.h"

namespace skyvox::atc {

using Strings = std::vector<std::string>;

// The pilot's last answer and the state it left the pilot in.
inline void ExpectAnswer(const session::PlayerRecord& p, const std::string& message,
                         const std::string& request) {
  EXPECT_EQ(p.LastAtcMessage, message);
  EXPECT_EQ(p.PilotRequest, request);
}

// A loopback session the fixture's link joins as the station, and a peer that hears the chat lines the
// ATC cycle sends the pilot it listens for.
struct Airwaves {
  explicit Airwaves(session::SessionLink& link) {
    link.Dp = std::move(radio.link.Dp);
    link.OwnPlayerId = radio.link.OwnPlayerId;
  }
  void Listen(session::PlayerRecord& pilot) { pilot.PlayerId = (ear = radio.Join(pilot.Name)).id; }
  Strings Heard() {  // since the last call
    Strings lines;
    for (std::string text; ear.dp->GetMessageCount(ear.id) > 0;) {
      if (session::DecodeChatText(ear.dp->Receive(session::kReceiveAll).Message, text)) lines.push_back(text);
    }
    return lines;
  }
  skyvox::testing::LoopbackSession radio;
  skyvox::testing::Peer ear;
};

class OlympiaFixture : public ::testing::Test {
 protected:
  OlympiaFixture() {
    scenery::AirportRecord a = scenery::EmptyAirportWithSpareElements();
    a.Name = a.GroundName = a.TowerName = "Olympia";
    a.Latitude = 47.0;
    a.Longitude = -122.0;
    a.ElevationFt = 200;
    a.GroundFreq = "121.6";
    a.TowerFreq = "124.4";
    a.MainRunway = {"16", 47.0, -122.0, 195, 5000, 150, 160, ""};
    world.ControlledAirports = {a, scenery::EmptyAirportWithSpareElements()};
    world.ControlledAirportCount = 1;
    world.Airspaces = {{"Seattle", "ARTCC/FIR (HIGH)", "125.1"}, {}};
    cycle.CurrentCenterIndex = 0;
  }

  // Appends a player entry (id: its roster position, counted from 1) before the spare element.
  session::PlayerRecord& Entry(const std::string& name, double lat, double lon) {
    session::PlayerRecord& r = link.PlayerRoster.back();
    r.Name = name;
    r.PlayerId = link.PlayerCount + 1;
    r.Kind = "player";
    r.Latitude = lat;
    r.Longitude = lon;
    link.PlayerCount += 1;
    link.PlayerRoster.emplace_back();
    return link.PlayerRoster[static_cast<size_t>(link.PlayerCount) - 1];
  }
  scenery::AirportRecord& airport() { return world.ControlledAirports[0]; }
  session::PlayerRecord& pilot() { return link.PlayerRoster[0]; }
  void Step() { RunAirportDialogue(context); }
  void Choose(uint8_t n) {
    pilot().PendingChoice = n;
    RunAirportDialogue(context);
  }
  Strings Menu() {
    return {pilot().MenuOptions.begin(), pilot().MenuOptions.begin() + pilot().MenuOptionCount};
  }

  session::SessionLink link;
  scenery::WorldTables world;
  CycleValues cycle;
  AtcContext context{link, world, 0, cycle};
};

}  // namespace skyvox::atc
