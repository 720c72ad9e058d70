// A DirectPlay object that forwards every call to another one and reports each chat text message
// (0x1023) that goes through it: the lines the station sends (after the inner Send succeeded) and the
// lines it receives (as Receive hands them over), with the decoded text. The station's transcript and
// the tools' radio transcripts are built on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "session/forwarding_directplay.h"

namespace skyvox::session {

struct ChatSinks {
  std::function<void(int32_t to, const std::string& text)> Sent;
  std::function<void(int32_t from, int32_t to, const std::string& text)> Received;
};

// The text of a chat text message, or false when the message is another type or shorter than its
// header says (what nobody could read as a chat line).
bool DecodeChatText(const DpMessage& message, std::string& text);

class ChatTapDirectPlay : public ForwardingDirectPlay {
 public:
  ChatTapDirectPlay(std::unique_ptr<DirectPlay> inner, ChatSinks sinks)
      : ForwardingDirectPlay(std::move(inner)), sinks_(std::move(sinks)) {}

  void Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) override;
  DpReceived Receive(int32_t flags) override;

 private:
  ChatSinks sinks_;
};

// Wraps every object another factory makes in a ChatTapDirectPlay.
class ChatTapFactory : public DirectPlayFactory {
 public:
  ChatTapFactory(DirectPlayFactory& inner, ChatSinks sinks) : inner_(inner), sinks_(std::move(sinks)) {}
  std::unique_ptr<DirectPlay> Create() override;

 private:
  DirectPlayFactory& inner_;
  ChatSinks sinks_;
};

}  // namespace skyvox::session
