#include "session/receive_loop.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/rounding.h"
#include "base/text.h"
#include "session/dialogue_states.h"
#include "session/messages.h"

namespace skyvox::session {
namespace {

// The platform's Val: the number at the start of the text (blanks skipped, an optional sign, digits
// with one decimal point, an optional exponent); 0 when there is none.
double Val(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(text[i++]);
  bool digits = false, point = false;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number.push_back(c);
    ++i;
  }
  if (!digits) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::string exponent = "e";
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent.push_back(text[j++]);
    const size_t start = j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
      exponent.push_back(text[j++]);
    if (j > start) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

std::string Mid(const std::string& text, size_t start) {  // 1-based, to the end
  return start - 1 < text.size() ? text.substr(start - 1) : std::string();
}

// 1-based position of the first comma, 0 when there is none.
size_t CommaPosition(const std::string& text) {
  const size_t p = text.find(',');
  return p == std::string::npos ? 0 : p + 1;
}

// The flight plan of a "pst_fp:" line. Parsing failures leave the fields as far as they got; the
// validity test at the end decides.
void PostFlightPlan(const scenery::WorldTables& world, PlayerRecord& entry, const std::string& text) {
  ResetDialogue(entry);
  std::string rest = Mid(text, 8);
  const std::string prefix = UpperCaseCp1252(rest.substr(0, 3));
  if (prefix == "IFR") {
    rest = Mid(rest, 5);
    std::string word;
    // Each word runs to the next comma; without one, the word stays as it was and rest stays whole.
    auto nextAirport = [&](int32_t& field) {
      const size_t p = CommaPosition(rest);
      if (p >= 1) word = UpperCaseCp1252(rest.substr(0, p - 1));
      for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
        const scenery::AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
        if (word == UpperCaseCp1252(airport.Name)) field = a;
        // The chat line reached here with its blanks taken out, so a name with a blank never matches
        // above. Corrected, the field also matches the airport's identifier and its name without blanks.
        if (world.Corrected.Applies(Correction::PlansNameRealAirports)) {
          std::string bare = UpperCaseCp1252(airport.Name);
          std::erase(bare, ' ');
          if (word == UpperCaseCp1252(airport.Ident) || word == bare) field = a;
        }
      }
      rest = Mid(rest, p + 1);
    };
    nextAirport(entry.DepartureAirport);
    nextAirport(entry.DestinationAirport);
    rest = Mid(rest, CommaPosition(rest) + 1);
    try {
      entry.CruiseAltitude = CLng(Val(rest));
    } catch (const Error&) {
      // A number too large for a Long: the altitude keeps its reset value.
    }
    if (entry.DepartureAirport != -1 && entry.DestinationAirport != -1 && entry.CruiseAltitude != 0) {
      entry.IfrPlanFiled = 1;
      entry.PilotRequest = states::kRequestingIfrClearance;
    } else {
      DropFlightPlan(entry);
    }
  }
  if (prefix == "VFR") DropFlightPlan(entry);
}

// Thrown in corrected mode when the name of a message's sender cannot be looked up: that message is
// skipped and the tick goes on.
struct DepartedSender {};

// A lookup of the sender's name (directly or through its roster entries). The design lets a failed
// lookup end the session like any other failure of the tick, so that a pilot who left the session
// after sending closes the station for everyone. Corrected, only that message is passed over.
template <class Lookup>
auto AboutSender(const scenery::WorldTables& world, Lookup lookup) {
  if (world.Corrected.Applies(Correction::DepartedSenderSkipped)) {
    try {
      return lookup();
    } catch (const Error&) {
      throw DepartedSender{};
    }
  }
  return lookup();
}

// How a tick finds senders in the roster. The index answers in constant time; the pass over the roster
// is the reference it is held to. The straightforward tick also reads a position or a description once
// per matching entry, from a copy of the message, where the fast one reads it once for all of them.
enum class Lookup { Indexed, Straightforward };

// Handles one received message; returns false when the station was closed and the tick must end.
// ignoreErrors is set once a command whose failures must not end the session was processed.
bool Handle(SessionLink& link, scenery::WorldTables& world, SessionEvents& events, DpReceived& received,
            bool& ignoreErrors, Lookup lookup) {
  DpMessage& m = received.Message;
  const int32_t sender = received.From;
  const int32_t type = m.ReadLong();
  const int32_t count = m.ReadLong();
  const bool indexed = lookup == Lookup::Indexed;
  std::vector<int> scanned;
  // The sender's entries, looked up when the message needs them; the vector holds until the next lookup.
  auto senderEntries = [&]() -> const std::vector<int>& {
    if (indexed) return *AboutSender(world, [&] { return &FindRosterEntry(link, sender); });
    scanned = AboutSender(world, [&] { return FindRosterEntryStraightforward(link, sender); });
    return scanned;
  };
  switch (type) {
    case kJoinAsPlayer:
    case kJoinAsObserver: {
      if (!link.IsSessionHost) break;
      const std::string name = AboutSender(world, [&] { return LookupPlayerName(link, sender); });
      bool known = false;
      if (indexed) {
        known = !link.Index.Find(link, sender, name).empty();
      } else {
        for (int i = 0; i < link.PlayerCount; ++i) {
          const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
          if (r.Name == name && r.PlayerId == sender) known = true;
        }
      }
      const bool room = link.PlayerCount <= link.SessionMaxPlayers;
      const bool player = type == kJoinAsPlayer;
      if (room && !known) {
        SendAnnouncement(link, player ? kPlayerAnnouncement : kObserverAnnouncement, sender, sender);
      } else {
        SendSimpleMessage(link, player ? kJoinRefusedPlayer : kJoinRefusedObserver, sender);
      }
      break;
    }
    case kPlayerAnnouncement:
    case kObserverAnnouncement:
      if (!link.SessionActive) break;
      m.ReadLong();  // the announced id, not used
      if (senderEntries().empty()) {
        AddRosterEntry(link, sender, type == kPlayerAnnouncement ? "player" : "observer");
      }
      break;
    case kIdentificationRequest:
      SendAnnouncement(link, kPlayerAnnouncement, link.OwnPlayerId, sender);
      break;
    case kAircraftDescription: {
      if (link.PlayerCount < 1) break;
      const std::vector<int>& entries = senderEntries();
      if (indexed) {
        // Every matching entry would read the same remaining fields: they are read once.
        if (entries.empty()) break;
        m.ReadShort();
        const std::string kind = ReadText(m, count);
        for (const int i : entries) link.PlayerRoster[static_cast<size_t>(i)].AircraftKind = kind;
        break;
      }
      for (const int i : entries) {
        DpMessage copy = m;  // each matching entry reads the remaining fields again
        copy.ReadShort();
        link.PlayerRoster[static_cast<size_t>(i)].AircraftKind = ReadText(copy, count);
      }
      break;
    }
    case kHostLeft:
      PurgeDepartedPlayers(link, world);
      if (link.PlayerCount == 0) {
        events.ShowInformation(kConnectionLostText);
        link.SessionActive = false;
        events.CloseStation();
        return false;
      }
      link.IsSessionHost = true;
      events.ShowInformation(kNowHostingText);
      if (indexed) link.Index.Sync(link);  // the message box may have let other timers change the roster
      break;
    case kRemovedByHost:
      events.ShowInformation(kRemovedText);
      link.SessionActive = false;
      events.CloseStation();
      return false;
    case kPositionReport:
    case kPositionReportWithSpeed: {
      if (link.PlayerCount < 1) break;
      const std::vector<int>& entries = senderEntries();
      const bool withSpeed = type == kPositionReportWithSpeed;
      const bool asRead = world.Corrected.Applies(Correction::NumbersAsRead);
      auto apply = [&](int i, const DecodedPosition& p) {
        PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
        r.CyclesWithoutPosition = 0;
        r.Latitude = p.Latitude;
        r.Longitude = p.Longitude;
        r.Altitude = p.Altitude;
        r.Heading = p.Heading;
        r.GroundSpeed = p.GroundSpeed;
      };
      if (indexed) {
        // Decoded once, from the message itself, for every matching entry.
        if (entries.empty()) break;
        const DecodedPosition p = DecodePosition(m, withSpeed, world.MagVarGrid, asRead);
        for (const int i : entries) apply(i, p);
        break;
      }
      for (const int i : entries) {
        DpMessage copy = m;
        apply(i, DecodePosition(copy, withSpeed, world.MagVarGrid, asRead));
      }
      break;
    }
    case kChatText: {
      if (count <= 1) break;
      std::string text = ReadText(m, count);
      std::erase(text, ' ');
      // The provider may have handed the line to other code on its way in (a transcript), and a command
      // may send a line: the index looks at the roster again before and after.
      if (indexed) link.Index.Sync(link);
      for (const int i : senderEntries()) {
        if (text.empty()) continue;
        const std::string cmd = LowerCaseCp1252(text.substr(0, 7));
        if (text.size() > 1 && (cmd == "pst_fp:" || cmd == "atcmsg:")) ignoreErrors = true;
        InterpretChat(link, world, i, text);
      }
      if (indexed) link.Index.Sync(link);
      break;
    }
    default:
      break;
  }
  return true;
}

}  // namespace

void InterpretChat(SessionLink& link, scenery::WorldTables& world, int index, const std::string& text) {
  PlayerRecord& entry = link.PlayerRoster[static_cast<size_t>(index)];
  if (text.size() == 1) {
    const double value = Val(text);
    if (value > 0) entry.PendingChoice = static_cast<uint8_t>(value);
    return;
  }
  // A menu may hold more than nine options, but only a one-character line is a choice. Corrected, two
  // digits choose options 10 to 99 as well.
  if (text.size() == 2 && world.Corrected.Applies(Correction::TwoDigitChoices) &&
      std::isdigit(static_cast<unsigned char>(text[0])) &&
      std::isdigit(static_cast<unsigned char>(text[1])) && text[0] != '0') {
    entry.PendingChoice = static_cast<uint8_t>((text[0] - '0') * 10 + (text[1] - '0'));
    return;
  }
  const std::string cmd = LowerCaseCp1252(text.substr(0, 7));
  if (cmd == "repeat:") {
    entry.LastAtcMessage += "- (Say Again)";
  } else if (cmd == "pst_fp:") {
    PostFlightPlan(world, entry, text);
  } else if (cmd == "freeflt") {
    ResetDialogue(entry);
  } else if (cmd == "airpts:") {
    std::string answer = entry.Name + ", List of controlled airports: ";
    for (int32_t a = 0; a < world.ControlledAirportCount; ++a) {
      const scenery::AirportRecord& airport = world.ControlledAirports[static_cast<size_t>(a)];
      answer += airport.Ident + " (" + airport.Name + "), ";
    }
    SendChatLine(link, answer, entry.PlayerId);
  } else if (cmd == "atcmsg:") {
    entry.CopyAllAtcMessages = false;
    std::string value = UpperCaseCp1252(Mid(text, 8));
    const auto first = value.find_first_not_of(' ');
    value = first == std::string::npos ? "" : value.substr(first, value.find_last_not_of(' ') - first + 1);
    if (value == "TRUE") entry.CopyAllAtcMessages = true;
  }
}

namespace {

void Tick(SessionLink& link, scenery::WorldTables& world, SessionEvents& events, Lookup lookup) {
  bool ignoreErrors = false;
  auto endSession = [&] {
    events.ShowInformation(kRemovedText);
    link.SessionActive = false;
    events.CloseStation();
  };
  int32_t n = 0;
  try {
    n = link.Play().GetMessageCount(link.OwnPlayerId);
  } catch (const Error&) {
    endSession();
    return;
  }
  // Whatever changed the roster since the last tick (timers, the window, tests) is seen here.
  if (lookup == Lookup::Indexed) link.Index.Sync(link);
  while (n >= 1) {
    try {
      n -= 1;
      DpReceived received = link.Play().Receive(kReceiveAll);
      if (!Handle(link, world, events, received, ignoreErrors, lookup)) return;
    } catch (const DepartedSender&) {
      // Corrected mode: the message of a sender who left is skipped.
    } catch (const Error&) {
      if (!ignoreErrors) {
        endSession();
        return;
      }
      // After a flight plan or a copy request, failures are passed over for the rest of the tick.
      if (lookup == Lookup::Indexed) link.Index.Sync(link);
    }
  }
}

}  // namespace

void OnConnectionTimerTick(SessionLink& link, scenery::WorldTables& world, SessionEvents& events) {
  Tick(link, world, events, Lookup::Indexed);
}

void OnConnectionTimerTickStraightforward(SessionLink& link, scenery::WorldTables& world,
                                          SessionEvents& events) {
  Tick(link, world, events, Lookup::Straightforward);
}

}  // namespace skyvox::session
