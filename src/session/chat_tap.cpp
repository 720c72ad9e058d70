#include "session/chat_tap.h"

#include "session/messages.h"

namespace skyvox::session {

bool DecodeChatText(const DpMessage& message, std::string& text) {
  DpMessage copy(message.Bytes());
  try {
    if (copy.ReadLong() != kChatText) return false;
    const int32_t count = copy.ReadLong();
    text = ReadText(copy, count);
    return true;
  } catch (const FormatError&) {
    return false;
  }
}

void ChatTapDirectPlay::Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) {
  ForwardingDirectPlay::Send(from, to, flags, message);
  std::string text;
  if (sinks_.Sent && DecodeChatText(message, text)) sinks_.Sent(to, text);
}

DpReceived ChatTapDirectPlay::Receive(int32_t flags) {
  DpReceived received = ForwardingDirectPlay::Receive(flags);
  std::string text;
  if (sinks_.Received && DecodeChatText(received.Message, text)) {
    sinks_.Received(received.From, received.To, text);
  }
  return received;
}

std::unique_ptr<DirectPlay> ChatTapFactory::Create() {
  return std::make_unique<ChatTapDirectPlay>(inner_.Create(), sinks_);
}

}  // namespace skyvox::session
