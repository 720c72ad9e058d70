// A DirectPlay object that hands every call to another one: the base of wrappers that watch some of the
// traffic (the station's chat tap for its transcript, the tests' counting, the network benchmark's
// timing).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "session/directplay.h"

namespace skyvox::session {

class ForwardingDirectPlay : public DirectPlay {
 public:
  explicit ForwardingDirectPlay(std::unique_ptr<DirectPlay> inner) : inner_(std::move(inner)) {}

  std::vector<DpConnection> EnumConnections(int32_t flags) override { return inner_->EnumConnections(flags); }
  void InitializeConnection(const std::string& address) override { inner_->InitializeConnection(address); }
  std::vector<DpSessionDesc> EnumSessions(const DpSessionDesc& filter, int32_t timeoutMs,
                                          int32_t flags) override {
    return inner_->EnumSessions(filter, timeoutMs, flags);
  }
  void Open(const DpSessionDesc& session, int32_t flags) override { inner_->Open(session, flags); }
  DpSessionDesc CurrentSession() override { return inner_->CurrentSession(); }
  int32_t CreatePlayer(const std::string& friendlyName, const std::string& formalName) override {
    return inner_->CreatePlayer(friendlyName, formalName);
  }
  void DestroyPlayer(int32_t playerId) override { inner_->DestroyPlayer(playerId); }
  int32_t CreateGroup(const std::string& name) override { return inner_->CreateGroup(name); }
  void AddPlayerToGroup(int32_t groupId, int32_t playerId) override {
    inner_->AddPlayerToGroup(groupId, playerId);
  }
  void Close() override { inner_->Close(); }
  void Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) override {
    inner_->Send(from, to, flags, message);
  }
  int32_t GetMessageCount(int32_t playerId) override { return inner_->GetMessageCount(playerId); }
  DpReceived Receive(int32_t flags) override { return inner_->Receive(flags); }
  std::string GetPlayerFriendlyName(int32_t playerId) override {
    return inner_->GetPlayerFriendlyName(playerId);
  }
  std::vector<DpPlayer> EnumPlayers(const std::string& sessionInstanceId, int32_t flags) override {
    return inner_->EnumPlayers(sessionInstanceId, flags);
  }
  std::vector<DpGroup> EnumGroups(const std::string& sessionInstanceId, int32_t flags) override {
    return inner_->EnumGroups(sessionInstanceId, flags);
  }

 private:
  std::unique_ptr<DirectPlay> inner_;
};

}  // namespace skyvox::session
