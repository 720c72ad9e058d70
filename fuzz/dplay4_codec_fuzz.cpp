// Arbitrary bytes through every DirectPlay 4 decoder, both as a whole framed message and as a bare body.
// Decoders may only refuse with FormatError. Whatever decodes must re-encode, and the re-encoded bytes
// must decode to the same message and encode to the same bytes again. The input as GUID text reads
// back as the same text in upper case.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/errors.h"
#include "dplay4/codec.h"

namespace {
using namespace skyvox;
using namespace skyvox::dplay4;

template <typename Message>
void RoundTrip(Bytes body) {
  Message m;
  try {
    m = Message::Decode(body);
  } catch (const FormatError&) {
    return;
  }
  std::vector<uint8_t> encoded;
  try {
    encoded = m.Encode();
  } catch (const FormatError&) {
    return;  // e.g. a message that fit the input but is too large once framed
  }
  const Message again = Message::Decode(encoded);
  if (!(again == m) || again.Encode() != encoded) std::abort();
}

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void AllDecoders(Bytes body) {
  RoundTrip<EnumSessionsRequest>(body);
  RoundTrip<EnumSessionsReply>(body);
  RoundTrip<RequestPlayerId>(body);
  RoundTrip<RequestPlayerReply>(body);
  RoundTrip<PlayerCreation>(body);
  RoundTrip<PlayerGroupChange>(body);
  RoundTrip<Ping>(body);
  RoundTrip<SingleValue>(body);
  RoundTrip<SuperEnumPlayersReply>(body);
  RoundTrip<IAmNameServer>(body);
  RoundTrip<PlayerMessage>(body);
  RoundTrip<PlayerNameChanged>(body);
  RoundTrip<PlayerDataChanged>(body);
  RoundTrip<SessionDescChanged>(body);
  try {
    ProviderAddresses::Decode(body);
  } catch (const FormatError&) {
  }
  try {
    const Bytes inner = UnwrapPlayerMessage(body);
    if (inner.data() < body.data() || inner.data() + inner.size() > body.data() + body.size()) std::abort();
  } catch (const FormatError&) {
  }
  (void)IsSystemMessage(body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes input(data, size);
  AllDecoders(input);
  try {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (Guid::FromText(text).ToText() != ToUpper(text)) std::abort();
  } catch (const FormatError&) {
  }
  try {
    const Framed f = Unframe(input);
    AllDecoders(f.Body);
    if (Frame(f.Head.Sender, f.Body, f.Head.Token) !=
        std::vector<uint8_t>(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(f.Head.Size))) {
      std::abort();
    }
  } catch (const FormatError&) {
  }
  // Bodies that pass the signature check are the interesting ones: give every command a chance.
  if (size >= 4) {
    std::vector<uint8_t> body = {'p', 'l', 'a', 'y'};
    body.insert(body.end(), data, data + size);
    AllDecoders(body);
  }
  return 0;
}
