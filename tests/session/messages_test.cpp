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

TEST(ChatMessage, AnEmptyTextIsTypeAndZeroCount) {
  EXPECT_EQ(BuildChatMessage("").Bytes(), Le({0x1023, 0}));
}

TEST(SimpleMessages, AreTypeAndCountWithAnIdForAnnouncements) {
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

DecodedPosition Decode(const std::vector<uint8_t>& bytes, const geo::MagVarGrid& grid = geo::MagVarGrid()) {
  DpMessage m(bytes);
  const int32_t type = m.ReadLong();
  m.ReadLong();
  return DecodePosition(m, type == 0x1019, grid);
}

TEST(PositionReports, DecodeCoordinatesAltitudeAndHeading) {
  auto p = Decode(Position(false, 1023 << 2, 10001750, 1073741824, 1000, 0));
  EXPECT_EQ(p.Latitude, 90.0);
  EXPECT_EQ(p.Longitude, 90.0);
  EXPECT_EQ(p.Altitude, 3281);
  EXPECT_EQ(p.Heading, 360);
  EXPECT_EQ(p.GroundSpeed, 0);
  p = Decode(Position(false, 256 << 2, -10001750, INT32_MIN, 0, 0));
  EXPECT_EQ(p.Latitude, -90.0);
  EXPECT_EQ(p.Longitude, -180.0);
  EXPECT_EQ(p.Heading, 90);
  // 47.4517289 N 122.3120838 W, rounded to 5 decimals.
  p = Decode(Position(false, 0, 5273337, -1459240000, 132, 0));
  EXPECT_EQ(p.Latitude, 47.45173);
  EXPECT_EQ(p.Longitude, -122.31208);
  EXPECT_EQ(p.Altitude, 433);
}

TEST(PositionReports, HeadingIsMagneticAtTheDecodedPosition) {
  geo::MagVarGrid grid;
  grid.Set(geo::MagVarGrid::Index(238, 47), 2731);                                     // 15 degrees east
  const auto p = Decode(Position(false, 512 << 2, 5273337, -1459240000, 0, 0), grid);  // 180 true
  EXPECT_EQ(p.Heading, 165);
}

TEST(PositionReports, SpeedIsWholeMetresPerSecondInKnots) {
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, 65535)).GroundSpeed, 0);
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, 655360)).GroundSpeed, 19);
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, 65536 * 100)).GroundSpeed, 194);
  EXPECT_EQ(Decode(Position(true, 0, 0, 0, 0, -65535)).GroundSpeed, 0);  // truncated toward zero
}

TEST(PositionReports, ACutShortBlockThrows) {
  auto bytes = Position(true, 0, 0, 0, 0, 0);
  bytes.resize(bytes.size() - 1);
  EXPECT_THROW(Decode(bytes), ReadPastEnd);
}

}  // namespace
}  // namespace skyvox::session
