#include "session/combined_directplay.h"

namespace skyvox::session {

CombinedDirectPlay::CombinedDirectPlay(std::vector<std::unique_ptr<DirectPlay>> providers)
    : providers_(std::move(providers)) {}

std::vector<DpConnection> CombinedDirectPlay::EnumConnections(int32_t flags) {
  std::vector<DpConnection> all;
  for (auto& provider : providers_) {
    for (DpConnection& c : provider->EnumConnections(flags)) all.push_back(std::move(c));
  }
  return all;
}

void CombinedDirectPlay::InitializeConnection(const std::string& address) {
  for (auto& provider : providers_) {
    for (const DpConnection& c : provider->EnumConnections(kConnectionsDirectPlay)) {
      if (c.Address != address) continue;
      provider->InitializeConnection(address);
      chosen_ = provider.get();
      return;
    }
  }
  throw DirectPlayError("no provider offers the connection \"" + address + "\"");
}

DirectPlay& CombinedDirectPlay::Chosen() {
  if (!chosen_) throw DirectPlayError("no connection has been initialised");
  return *chosen_;
}

std::vector<DpSessionDesc> CombinedDirectPlay::EnumSessions(const DpSessionDesc& filter, int32_t timeoutMs,
                                                            int32_t flags) {
  return Chosen().EnumSessions(filter, timeoutMs, flags);
}
void CombinedDirectPlay::Open(const DpSessionDesc& session, int32_t flags) {
  Chosen().Open(session, flags);
}
DpSessionDesc CombinedDirectPlay::CurrentSession() {
  return Chosen().CurrentSession();
}
int32_t CombinedDirectPlay::CreatePlayer(const std::string& friendlyName, const std::string& formalName) {
  return Chosen().CreatePlayer(friendlyName, formalName);
}
void CombinedDirectPlay::DestroyPlayer(int32_t playerId) {
  Chosen().DestroyPlayer(playerId);
}
int32_t CombinedDirectPlay::CreateGroup(const std::string& name) {
  return Chosen().CreateGroup(name);
}
void CombinedDirectPlay::AddPlayerToGroup(int32_t groupId, int32_t playerId) {
  Chosen().AddPlayerToGroup(groupId, playerId);
}
void CombinedDirectPlay::Close() {
  Chosen().Close();
}
void CombinedDirectPlay::Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) {
  Chosen().Send(from, to, flags, message);
}
int32_t CombinedDirectPlay::GetMessageCount(int32_t playerId) {
  return Chosen().GetMessageCount(playerId);
}
DpReceived CombinedDirectPlay::Receive(int32_t flags) {
  return Chosen().Receive(flags);
}
std::string CombinedDirectPlay::GetPlayerFriendlyName(int32_t playerId) {
  return Chosen().GetPlayerFriendlyName(playerId);
}
std::vector<DpPlayer> CombinedDirectPlay::EnumPlayers(const std::string& sessionInstanceId, int32_t flags) {
  return Chosen().EnumPlayers(sessionInstanceId, flags);
}
std::vector<DpGroup> CombinedDirectPlay::EnumGroups(const std::string& sessionInstanceId, int32_t flags) {
  return Chosen().EnumGroups(sessionInstanceId, flags);
}

std::unique_ptr<DirectPlay> CombinedDirectPlayFactory::Create() {
  std::vector<std::unique_ptr<DirectPlay>> providers;
  for (DirectPlayFactory* f : factories_) providers.push_back(f->Create());
  return std::make_unique<CombinedDirectPlay>(std::move(providers));
}

}  // namespace skyvox::session
