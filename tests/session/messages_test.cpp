#include "session/messages.h"

#include <gtest/gtest.h>

#include "base/errors.h"

namespace skyvox::session {
namespace {

std::vector<uint8_t> Le(std::initializer_list<int32_t> longs) {
  std::vector<uint8_t> b;
  for (int32_t v : longs) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  }
  return b;
}

TEST(ChatMessage, DeclaresTwiceTheLengthAndCarriesThreeTimesTheBytes) {
  const DpMessage m = BuildChatMessage("N1 \xE9");
  std::vector<uint8_t> expected = Le({0x1023, 8});
  for (const int b : std::initializer_list<int>{'N', '1', ' ', 0xE9})
    expected.push_back(static_cast<uint8_t>(b));
  expected.insert(expected.end(), 8, 0);
  EXPECT_EQ(m.Bytes(), expected);

  DpMessage read(m.Bytes());
  EXPECT_EQ(read.ReadLong(), 0x1023);
  const int32_t count = read.ReadLong();
  EXPECT_EQ(ReadText(read, count), "N1 \xE9");  // zero bytes dropped wherever they are
  EXPECT_EQ(read.Remaining(), 4u);
}

TEST(SimpleMessages, AreTypeAndCountWithAnIdForAnnouncementsAndAnEmptyChat) {
  EXPECT_EQ(BuildChatMessage("").Bytes(), Le({0x1023, 0}));
  EXPECT_EQ(BuildSimpleMessage(0x1007).Bytes(), Le({0x1007, 0}));
  EXPECT_EQ(BuildAnnouncement(0x1003, 0x0F000002).Bytes(), Le({0x1003, 4, 0x0F000002}));
}

TEST(AircraftDescription, SkipsItsCodeAndDropsZeros) {
  std::vector<uint8_t> bytes = Le({0x100E, 6});
  for (const int b : std::initializer_list<int>{0x02, 0x00, 'C', 0, '1', '7', '2', 0})
    bytes.push_back(static_cast<uint8_t>(b));
  DpMessage m(bytes);
  m.ReadLong();
  const int32_t count = m.ReadLong();
  m.ReadShort();
  EXPECT_EQ(ReadText(m, count), "C172");
}

std::vector<uint8_t> Position(bool withSpeed, int32_t attitude, int32_t lat, int32_t lon, int32_t alt,
                              int32_t speed) {
  std::vector<uint8_t> b = withSpeed ? Le({0x1019, 0, 1, 2, 3, 4, 5, speed, 6, attitude, lat, lon, alt})
                                     : Le({0x1018, 0, 1, 2, 3, attitude, lat, lon, alt});
  b.insert(b.end(), 6, 0x11);  // three Shorts not used
  return b;
}

DecodedPosition Decode(const std::vector<uint8_t>& bytes, const geo::MagVarGrid& grid = geo::MagVarGrid(),
                       bool speedAsRead = false) {
  DpMessage m(bytes);
  const int32_t type = m.ReadLong();
  m.ReadLong();
  return DecodePosition(m, type == 0x1019, grid, speedAsRead);
}

// The last row is 47.4517289 N 122.3120838 W, rounded to 5 decimals; its heading is 180 true, 165
// magnetic with 15 degrees east in the Seattle cell of the grid. Speeds are whole metres per second in
// knots, truncated toward zero.
TEST(PositionReports, DecodeCoordinatesAltitudeMagneticHeadingAndSpeed) {
  geo::MagVarGrid grid;
  grid.Set(geo::MagVarGrid::Index(238, 47), 2731);
  const struct {
    int32_t attitude, lat, lon, metres;
    DecodedPosition expected;
  } cases[] = {{1023 << 2, 10001750, 1073741824, 1000, {90.0, 90.0, 3281, 360, 0}},
               {256 << 2, -10001750, INT32_MIN, 0, {-90.0, -180.0, 0, 90, 0}},
               {512 << 2, 5273337, -1459240000, 132, {47.45173, -122.31208, 433, 165, 0}}};
  for (const auto& c : cases) {
    const DecodedPosition p = Decode(Position(false, c.attitude, c.lat, c.lon, c.metres, 0), grid);
    EXPECT_EQ(p.Latitude, c.expected.Latitude);
    EXPECT_EQ(p.Longitude, c.expected.Longitude);
    EXPECT_EQ(p.Altitude, c.expected.Altitude);
    EXPECT_EQ(p.Heading, c.expected.Heading);
    EXPECT_EQ(p.GroundSpeed, 0);
  }
  for (auto [speed, knots] : {std::pair{65535, 0}, {655360, 19}, {65536 * 100, 194}, {-65535, 0}})
    EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, speed)).GroundSpeed, knots) << speed;
  // 120 kt is 61.73 m/s: 119 from the whole metres, 120 as a pilot reads it (the corrected mode).
  const int32_t knots120 = static_cast<int32_t>(120 / 1.943844 * 65536);
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, knots120)).GroundSpeed, 119);
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, knots120), geo::MagVarGrid(), true).GroundSpeed, 120);
}

TEST(PositionReports, ACutShortBlockThrows) {
  auto bytes = Position(true, 0, 0, 0, 0, 0);
  bytes.resize(bytes.size() - 1);
  EXPECT_THROW(Decode(bytes), ReadPastEnd);
}

}  // namespace
}  // namespace skyvox::session
