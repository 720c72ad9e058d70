#include "dplay4/stream.h"

#include <gtest/gtest.h>

#include <random>

#include "base/errors.h"
#include "dplay4/codec.h"

namespace skyvox::dplay4 {
namespace {

std::vector<uint8_t> Message(size_t bodySize, uint8_t fill) {
  SockAddr sender;
  sender.Family = 2;
  sender.Port = 2300;
  const std::vector<uint8_t> body(bodySize, fill);
  return Frame(sender, body);
}

TEST(StreamAssembler, GivesBackWholeMessagesWhateverThePieces) {
  const std::vector<std::vector<uint8_t>> sent = {Message(0, 1), Message(37, 2), Message(5000, 3),
                                                  Message(1, 4)};
  std::vector<uint8_t> stream;
  for (const auto& m : sent) stream.insert(stream.end(), m.begin(), m.end());

  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    StreamAssembler assembler;
    std::vector<std::vector<uint8_t>> got;
    size_t at = 0;
    while (at < stream.size()) {
      const size_t piece = std::min<size_t>(stream.size() - at, 1 + random() % (round < 2 ? 1 : 700));
      assembler.Append(std::span<const uint8_t>(stream.data() + at, piece));
      at += piece;
      while (auto m = assembler.Next()) got.push_back(std::move(*m));
    }
    EXPECT_EQ(got, sent) << "round " << round;
    EXPECT_EQ(assembler.Pending(), 0u);
  }
}

TEST(StreamAssembler, WaitsForTheRestOfAMessage) {
  const auto m = Message(100, 9);
  StreamAssembler assembler;
  assembler.Append(std::span<const uint8_t>(m.data(), 19));
  EXPECT_FALSE(assembler.Next());
  assembler.Append(std::span<const uint8_t>(m.data() + 19, 50));
  EXPECT_FALSE(assembler.Next());
  EXPECT_EQ(assembler.Pending(), 69u);
  assembler.Append(std::span<const uint8_t>(m.data() + 69, m.size() - 69));
  EXPECT_EQ(assembler.Next(), m);
}

TEST(StreamAssembler, AHeaderThatCannotStartAMessageIsRefused) {
  auto m = Message(10, 1);
  m[0] = 19;  // a size smaller than the header itself
  m[1] = m[2] = 0;
  StreamAssembler small;
  small.Append(m);
  EXPECT_THROW(small.Next(), FormatError);

  auto foreign = Message(10, 1);
  foreign[2] =
      static_cast<uint8_t>((foreign[2] & 0x0F) | 0x30);  // the token's bits: 0x123, no DirectPlay token
  foreign[3] = 0x12;
  StreamAssembler other;
  other.Append(foreign);
  EXPECT_THROW(other.Next(), FormatError);
}

}  // namespace
}  // namespace skyvox::dplay4
