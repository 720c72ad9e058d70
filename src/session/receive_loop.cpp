#include "session/receive_loop.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

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

// Handles one received message; returns false when the station was closed and the tick must end.
// ignoreErrors is set once a command whose failures must not end the session was processed.
bool Handle(SessionLink& link, scenery::WorldTables& world, SessionEvents& events, DpReceived& received,
            bool& ignoreErrors) {
  DpMessage& m = received.Message;
  const int32_t sender = received.From;
  const int32_t type = m.ReadLong();
  const int32_t count = m.ReadLong();
  auto senderEntries = [&] { return AboutSender(world, [&] { return FindRosterEntry(link, sender); }); };
  switch (type) {
    case kJoinAsPlayer:
    case kJoinAsObserver: {
      if (!link.IsSessionHost) break;
      const std::string name = AboutSender(world, [&] { return LookupPlayerName(link, sender); });
      bool known = false;
      for (int i = 0; i < link.PlayerCount; ++i) {
        const PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
        if (r.Name == name && r.PlayerId == sender) known = true;
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
    case kAircraftDescription:
      if (link.PlayerCount < 1) break;
      for (const int i : senderEntries()) {
        DpMessage copy = m;  // each matching entry reads the remaining fields again
        copy.ReadShort();
        link.PlayerRoster[static_cast<size_t>(i)].AircraftKind = ReadText(copy, count);
      }
      break;
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
      break;
    case kRemovedByHost:
      events.ShowInformation(kRemovedText);
      link.SessionActive = false;
      events.CloseStation();
      return false;
    case kPositionReport:
    case kPositionReportWithSpeed:
      if (link.PlayerCount < 1) break;
      for (const int i : senderEntries()) {
        DpMessage copy = m;
        const DecodedPosition p = DecodePosition(copy, type == kPositionReportWithSpeed, world.MagVarGrid,
                                                 world.Corrected.Applies(Correction::NumbersAsRead));
        PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
        r.CyclesWithoutPosition = 0;
        r.Latitude = p.Latitude;
        r.Longitude = p.Longitude;
        r.Altitude = p.Altitude;
        r.Heading = p.Heading;
        r.GroundSpeed = p.GroundSpeed;
      }
      break;
    case kChatText: {
      if (count <= 1) break;
      std::string text = ReadText(m, count);
      std::erase(text, ' ');
      for (const int i : senderEntries()) {
        if (text.empty()) continue;
        const std::string cmd = LowerCaseCp1252(text.substr(0, 7));
        if (text.size() > 1 && (cmd == "pst_fp:" || cmd == "atcmsg:")) ignoreErrors = true;
        InterpretChat(link, world, i, text);
      }
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

void OnConnectionTimerTick(SessionLink& link, scenery::WorldTables& world, SessionEvents& events) {
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
  while (n >= 1) {
    try {
      n -= 1;
      DpReceived received = link.Play().Receive(kReceiveAll);
      if (!Handle(link, world, events, received, ignoreErrors)) return;
    } catch (const DepartedSender&) {
      // Corrected mode: the message of a sender who left is skipped.
    } catch (const Error&) {
      if (!ignoreErrors) {
        endSession();
        return;
      }
      // After a flight plan or a copy request, failures are passed over for the rest of the tick.
    }
  }
}

}  // namespace skyvox::session
