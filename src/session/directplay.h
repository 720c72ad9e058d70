// The DirectPlay operations the station relies on, as an interface. Two providers implement it: an
// in-process loopback session (tests, simulated pilots, the demo) and the DirectPlay 4 wire protocol
// over TCP/IP. Both are polled from the timer ticks; nothing here blocks or starts a thread.
//
// Every operation that fails throws DirectPlayError; reading past the end of a message throws
// ReadPastEnd. Player and group ids are DirectPlay's 32-bit ids; 0 addresses all players.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/byte_io.h"
#include "base/errors.h"

namespace skyvox::session {

// A DirectPlay operation that failed; the text is the provider's reason.
class DirectPlayError : public Error {
 public:
  using Error::Error;
};

// Flags and ids, with DirectPlay's values.
inline constexpr int32_t kAllPlayers = 0;
inline constexpr int32_t kConnectionsDirectPlay = 1;  // enumerate connections: DirectPlay ones
inline constexpr int32_t kEnumSessionsAvailable = 1;
inline constexpr int32_t kEnumSessionsPasswordRequired = 0x40;
inline constexpr int32_t kOpenJoin = 1;
inline constexpr int32_t kOpenCreate = 2;
inline constexpr int32_t kSendGuaranteed = 1;
inline constexpr int32_t kReceiveAll = 1;
// Session description flags.
inline constexpr int32_t kSessionMigrateHost = 0x4;
inline constexpr int32_t kSessionKeepAlive = 0x40;
inline constexpr int32_t kSessionPasswordRequired = 0x400;

// DirectPlay's message object: fields written and read in order, little-endian, no padding.
class DpMessage {
 public:
  DpMessage() = default;
  explicit DpMessage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  void WriteLong(int32_t v);
  void WriteShort(int16_t v);
  void WriteByte(uint8_t v);
  // Each read throws ReadPastEnd when the message has no more bytes for it.
  int32_t ReadLong();
  int16_t ReadShort();
  uint8_t ReadByte();

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Remaining() const { return bytes_.size() - read_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t read_ = 0;
};

struct DpConnection {
  std::string Name;     // e.g. "Internet TCP/IP Connection For DirectPlay"
  std::string Address;  // opaque to the program: handed back to InitializeConnection
};

struct DpSessionDesc {
  std::string SessionName;
  int32_t CurrentPlayers = 0;
  int32_t MaxPlayers = 0;
  int32_t Flags = 0;
  std::string InstanceId;  // the instance GUID as text
  std::string Password;    // set by the joiner before Open
};

struct DpPlayer {
  int32_t Id = 0;
  std::string Name;  // friendly name
};

struct DpGroup {
  int32_t Id = 0;
  std::string Name;
};

struct DpReceived {
  DpMessage Message;
  int32_t From = 0;
  int32_t To = 0;
};

class DirectPlay {
 public:
  virtual ~DirectPlay() = default;

  virtual std::vector<DpConnection> EnumConnections(int32_t flags) = 0;
  virtual void InitializeConnection(const std::string& address) = 0;
  // Sessions seen on the initialised connection. The filter's fields are not used (no application
  // filter); flags as kEnumSessions*.
  virtual std::vector<DpSessionDesc> EnumSessions(const DpSessionDesc& filter, int32_t timeoutMs,
                                                  int32_t flags) = 0;
  // kOpenJoin joins the session named by InstanceId (with Password); kOpenCreate hosts a new one
  // from the description (its InstanceId is assigned and can be read back with CurrentSession).
  virtual void Open(const DpSessionDesc& session, int32_t flags) = 0;
  virtual DpSessionDesc CurrentSession() = 0;
  virtual int32_t CreatePlayer(const std::string& friendlyName, const std::string& formalName) = 0;
  virtual void DestroyPlayer(int32_t playerId) = 0;
  virtual int32_t CreateGroup(const std::string& name) = 0;
  virtual void AddPlayerToGroup(int32_t groupId, int32_t playerId) = 0;
  virtual void Close() = 0;

  virtual void Send(int32_t from, int32_t to, int32_t flags, const DpMessage& message) = 0;
  // Messages queued for the local player.
  virtual int32_t GetMessageCount(int32_t playerId) = 0;
  // The next queued message for any local player; throws DirectPlayError when there is none.
  virtual DpReceived Receive(int32_t flags) = 0;

  virtual std::string GetPlayerFriendlyName(int32_t playerId) = 0;
  virtual std::vector<DpPlayer> EnumPlayers(const std::string& sessionInstanceId, int32_t flags) = 0;
  virtual std::vector<DpGroup> EnumGroups(const std::string& sessionInstanceId, int32_t flags) = 0;
};

// "Create DirectPlay object": each call gives a new object on the provider's default settings.
class DirectPlayFactory {
 public:
  virtual ~DirectPlayFactory() = default;
  virtual std::unique_ptr<DirectPlay> Create() = 0;
};

}  // namespace skyvox::session
