// One DirectPlay object over several providers, as DirectPlay itself offered every service provider
// of the machine: the connection list holds each provider's connections in the providers' order, and
// initialising a connection picks its provider for every later call of the object.
#pragma once

#include <memory>
#include <vector>

#include "session/directplay.h"

namespace skyvox::session {

class CombinedDirectPlay : public DirectPlay {
 public:
  explicit CombinedDirectPlay(std::vector<std::unique_ptr<DirectPlay>> providers);

  std::vector<DpConnection> EnumConnections(int32_t flags) override;
  // The provider whose connection list holds the address takes over; an unknown address throws.
  void InitializeConnection(const std::string& address) override;
  // Every other operation goes to the chosen provider and throws DirectPlayError before one is chosen.
  std::vector<DpSessionDesc> EnumSessions(const DpSessionDesc& filter, int32_t timeoutMs,
                                          int32_t flags) override;
  void Open(const DpSessionDesc& session, int32_t flags) override;
  DpSessionDesc CurrentSession() override;
  int32_t CreatePlayer(const std::string& friendlyName, const std::string& formalName) override;
  void DestroyPlayer(int32_t playerId) override;
  int32_t CreateGroup(const std::string& name) override;
  void AddPlayerToGroup(int32_t groupId, int32_t playerId) override;
  void Close() override;
  void Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) override;
  int32_t GetMessageCount(int32_t playerId) override;
  DpReceived Receive(int32_t flags) override;
  std::string GetPlayerFriendlyName(int32_t playerId) override;
  std::vector<DpPlayer> EnumPlayers(const std::string& sessionInstanceId, int32_t flags) override;
  std::vector<DpGroup> EnumGroups(const std::string& sessionInstanceId, int32_t flags) override;

 private:
  DirectPlay& Chosen();

  std::vector<std::unique_ptr<DirectPlay>> providers_;
  DirectPlay* chosen_ = nullptr;
};

// Makes a CombinedDirectPlay over a new object of each factory, in the factories' order.
class CombinedDirectPlayFactory : public DirectPlayFactory {
 public:
  explicit CombinedDirectPlayFactory(std::vector<DirectPlayFactory*> factories)
      : factories_(std::move(factories)) {}
  std::unique_ptr<DirectPlay> Create() override;

 private:
  std::vector<DirectPlayFactory*> factories_;
};

}  // namespace skyvox::session
