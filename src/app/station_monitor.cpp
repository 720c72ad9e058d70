#include "app/station_monitor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/errors.h"
#include "base/text.h"

namespace skyvox::app {

int64_t SteadyClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string TimeStamp(int64_t timeMs) {
  const int64_t tenths = (std::max<int64_t>(timeMs, 0) + 50) / 100;
  char text[40];
  std::snprintf(text, sizeof text, "[%4lld.%lld]", static_cast<long long>(tenths / 10),
                static_cast<long long>(tenths % 10));
  return text;
}

std::string UnknownPlayerName(int32_t playerId) {
  char text[32];
  std::snprintf(text, sizeof text, "player 0x%08X", static_cast<unsigned>(playerId));
  return text;
}

std::string ChatTranscriptLine(const std::string& addressee, const std::string& text) {
  const bool copy = text.rfind(addressee + ", ", 0) != 0;
  return Cp1252ToUtf8(addressee) + (copy ? " (copy)" : "") + " <- " + Cp1252ToUtf8(text);
}

std::string FormatTranscriptEntry(const TranscriptEntry& entry) {
  const std::string line = entry.Sent ? ChatTranscriptLine(entry.Name, entry.Text)
                                      : Cp1252ToUtf8(entry.Name) + " -> " + Cp1252ToUtf8(entry.Text);
  return TimeStamp(entry.TimeMs) + " " + line;
}

const char* const kTrafficColumns[kTrafficColumnCount] = {"Name",     "Kind",          "Aircraft", "Position",
                                                          "Altitude", "Heading",       "Speed",    "Facility",
                                                          "State",    "Last line sent"};

const std::string& TrafficCell(const TrafficRow& row, int column) {
  const std::string* cells[kTrafficColumnCount] = {
      &row.Name,    &row.Kind,        &row.Aircraft, &row.Position, &row.Altitude,
      &row.Heading, &row.GroundSpeed, &row.Facility, &row.State,    &row.LastLine};
  return *cells[std::clamp(column, 0, kTrafficColumnCount - 1)];
}

namespace {

// "47.0255 N 122.9010 W": four decimals put a pilot within about ten metres.
std::string PositionText(double latitude, double longitude) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.4f %c %.4f %c", std::fabs(latitude), latitude < 0 ? 'S' : 'N',
                std::fabs(longitude), longitude < 0 ? 'W' : 'E');
  return text;
}

}  // namespace

StationMonitor::StationMonitor(ProgramState& state, std::function<int64_t()> nowMs, size_t capacity)
    : state_(state), nowMs_(std::move(nowMs)), capacity_(std::max<size_t>(capacity, 1)) {}

session::ChatSinks StationMonitor::Sinks() {
  return {[this](int32_t to, const std::string& text) { Record(true, to, text); },
          [this](int32_t from, int32_t, const std::string& text) { Record(false, from, text); }};
}

void StationMonitor::StartClock() {
  originMs_ = nowMs_();
  transcript_.clear();
  recorded_ = 0;
  names_.clear();
  lastSent_.clear();
}

std::string StationMonitor::NameOf(int32_t playerId) const {
  if (playerId == session::kAllPlayers) return "(all)";
  const session::SessionLink& link = state_.Link;
  for (int i = 0; i < link.PlayerCount && static_cast<size_t>(i) < link.PlayerRoster.size(); ++i) {
    const session::PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    if (r.PlayerId == playerId) return r.Name;
  }
  try {
    if (link.Dp) return link.Dp->GetPlayerFriendlyName(playerId);
  } catch (const Error&) {
    // A player that has just left: its id is all there is to show.
  }
  return UnknownPlayerName(playerId);
}

void StationMonitor::Record(bool sent, int32_t playerId, const std::string& text) {
  TranscriptEntry entry{nowMs_() - originMs_, sent, playerId, NameOf(playerId), text};
  if (std::find(names_.begin(), names_.end(), entry.Name) == names_.end() &&
      playerId != session::kAllPlayers) {
    names_.push_back(entry.Name);
  }
  if (sent) lastSent_[playerId] = text;
  if (transcript_.size() >= capacity_) transcript_.pop_front();
  transcript_.push_back(std::move(entry));
  ++recorded_;
  if (listener_) listener_(transcript_.back());
}

bool StationMonitor::Concerns(const TranscriptEntry& entry, const std::string& name) {
  return entry.Name == name || entry.Text.rfind(name + ", ", 0) == 0;
}

std::vector<TrafficRow> StationMonitor::Rows() const {
  std::vector<TrafficRow> rows;
  const session::SessionLink& link = state_.Link;
  for (int i = 0; i < link.PlayerCount && static_cast<size_t>(i) < link.PlayerRoster.size(); ++i) {
    const session::PlayerRecord& r = link.PlayerRoster[static_cast<size_t>(i)];
    TrafficRow row;
    row.PlayerId = r.PlayerId;
    row.Name = Cp1252ToUtf8(r.Name);
    row.Kind = Cp1252ToUtf8(r.Kind);
    row.Aircraft = Cp1252ToUtf8(r.AircraftKind);
    row.Position = PositionText(r.Latitude, r.Longitude);
    row.Altitude = std::to_string(r.Altitude) + " ft";
    row.Heading = std::to_string(r.Heading);
    row.GroundSpeed = std::to_string(r.GroundSpeed) + " kt";
    row.Facility = Cp1252ToUtf8(r.FacilityType);
    if (!r.TunedFrequency.empty()) {
      row.Facility += (row.Facility.empty() ? "" : " ") + Cp1252ToUtf8(r.TunedFrequency);
    }
    row.State = Cp1252ToUtf8(r.PilotRequest);
    const auto last = lastSent_.find(r.PlayerId);
    if (last != lastSent_.end()) row.LastLine = Cp1252ToUtf8(last->second);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> StationMonitor::FormatTable(const std::vector<TrafficRow>& rows) {
  // Widths count code points, so that accented names keep the columns aligned.
  auto width = [](const std::string& utf8) {
    return static_cast<size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  };
  size_t widths[kTrafficColumnCount];
  for (int c = 0; c < kTrafficColumnCount; ++c) {
    widths[c] = width(kTrafficColumns[c]);
    for (const TrafficRow& row : rows) widths[c] = std::max(widths[c], width(TrafficCell(row, c)));
  }
  auto line = [&](const std::function<std::string(int)>& cell) {
    std::string text;
    for (int c = 0; c < kTrafficColumnCount; ++c) {
      const std::string value = cell(c);
      text += value;
      if (c + 1 < kTrafficColumnCount) text += std::string(widths[c] - width(value) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  };
  std::vector<std::string> lines{line([](int c) { return std::string(kTrafficColumns[c]); })};
  for (const TrafficRow& row : rows) lines.push_back(line([&](int c) { return TrafficCell(row, c); }));
  return lines;
}

}  // namespace skyvox::app
