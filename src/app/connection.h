// The connection window ("Connecting to FS Multiplayer Session"): the user picks a DirectPlay
// connection type, searches for multiplayer sessions, picks one and a callsign and joins it the way a
// simulator does: open the session, create a player, ask the host to be admitted (0x1001) and wait on
// the 100 ms handshake timer, repeating the request every 30000 ticks, until the host accepts (0x1003
// with the station's id) or refuses (0x1005). On acceptance the station window takes over the session.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/input_boxes.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "app/windows.h"
#include "session/directplay.h"

namespace skyvox::app {

inline constexpr const char* kConnectionCaption = "Connecting to FS Multiplayer Session";
inline constexpr const char* kMultiplayerSettingsFrame = "Multiplayer Settings";
inline constexpr const char* kConnectionTypesLabel = "Type of Connections:";
inline constexpr const char* kConnectionTypeLabel = "Type of Connection:";
inline constexpr const char* kCallsignLabel = "Callsign:";
inline constexpr const char* kCallsignInitialText = "-None-";
inline constexpr const char* kDefaultCallsign = "AI_Controller";
inline constexpr const char* kSearchButton = "Search for FS Multiplayer Sessions";
inline constexpr const char* kConnectionStatusCaption = "Status:";
inline constexpr const char* kSessionsFrame = "List of FS Multiplayer Sessions";
inline constexpr const char* kSessionsLabel = "Avaible Sessions:";  // sic: the window's own caption
inline constexpr const char* kJoinButton = "Join Session";
inline constexpr const char* kCloseButton = "Close";

inline constexpr const char* kStatusDisconnected = "Disconnected";
inline constexpr const char* kStatusSearching = "Searching for FS Multiplayer Sessions";
inline constexpr const char* kStatusSearchDone = "Done";
inline constexpr const char* kStatusConnecting = "Connecting...";
inline constexpr const char* kStatusCreatingPlayer = "Creating Player";
inline constexpr const char* kStatusPlayerCreated = "Player created";
inline constexpr const char* kStatusFirstRequestSent = "First Request Sent";
inline constexpr const char* kStatusResending = "Resending Request";
inline constexpr const char* kStatusRequestResent = "Request Resent";
inline constexpr const char* kStatusConnected = "Connected to Session";
inline constexpr const char* kStatusFailedConnection = "Failed Connection";

inline constexpr const char* kSelectConnectionText = "Please Select one Type of Connection";
inline constexpr const char* kLanInitErrorText = "Error while the initialization of your LAN network card.";
inline constexpr const char* kConnectionInitErrorText =
    "Error while the initialization of the type of connection.";
inline constexpr const char* kUserCanceledText = "User Canceled Connection.";
inline constexpr const char* kSelectSessionText = "Please select a FS Multiplayer Session.";
inline constexpr const char* kWriteNicknameText = "Please write a nickname.";
inline constexpr const char* kPasswordPrompt = "This session requires a password. Enter the password.";
inline constexpr const char* kJoinFailedText = "Failed to Join Game.";
inline constexpr const char* kCreatePlayerFailedText = "Failed to Create Player.";
inline constexpr const char* kConnectedText = "Connected to FS Session!";
inline constexpr const char* kRefusedText = "Connection Refused.";

// The session group the station's player enters once the host has accepted it.
inline constexpr const char* kRefuseParamsGroup = "FS61_REFUSE_PARAMS";
inline constexpr const char* kPlayerFormalName = "Player";

// The TCP/IP connection asks where the session's host is the first time it searches, as DirectPlay's
// own address dialog did: a host name or IP address (optionally ":port"), empty to search the local
// network. The question goes through the window's input boxes; a cancel ends the search with "User
// Canceled Connection.".
inline constexpr const char* kHostAddressTitle = "Locate Session";
inline constexpr const char* kHostAddressPrompt =
    "Enter the host name or IP address of the session's computer (leave it empty to search the local "
    "network):";
std::function<std::optional<std::string>()> HostAddressQuestion(InputBoxes& inputs);

// name & " (" & current players & "/" & maximum players & ")".
std::string SessionEntryText(const session::DpSessionDesc& session);

class ConnectionController {
 public:
  static constexpr int kHandshakeIntervalMs = 100;
  // Handshake ticks between two join requests (nominally 3000 s at 100 ms).
  static constexpr int16_t kResendTicks = 30000;

  // The factory stands for the DirectX root object: it lives as long as the program and makes a new
  // DirectPlay object for every connection attempt.
  ConnectionController(ProgramState& state, MessageBoxes& boxes, InputBoxes& inputs,
                       session::DirectPlayFactory& factory);

  // Window load: the window as first shown, callsign "AI_Controller", a fresh DirectPlay object
  // and its connection names in the connection-type list.
  void Load();
  void SelectConnection(int index);  // a click on the connection-type list
  void SearchPressed();              // "Search for FS Multiplayer Sessions"
  void SelectSession(int index);
  void SetCallsign(const std::string& text);
  void JoinPressed();  // "Join Session"
  void HandshakeTick();
  void ClosePressed();  // "Close": leaves the session and ends the program
  void Unload();        // the close box

  // A new DirectPlay object in the program state and its DirectPlay connections. On failure there are
  // no connections (and no object when the provider could not make one): the next step that needs
  // them fails with its own message. CreateError tells why.
  void CreateDirectPlay();
  // Drops the connections, the sessions and the DirectPlay object.
  void ReleaseDirectPlay();
  // ReleaseDirectPlay, an empty session list, the handshake timer off, status "Disconnected".
  void ResetConnectionUi();

  const std::vector<std::string>& ConnectionList() const { return connectionList_; }
  int ConnectionIndex() const { return connectionIndex_; }
  const std::vector<std::string>& SessionList() const { return sessionList_; }
  int SessionIndex() const { return sessionIndex_; }
  const std::string& Callsign() const { return callsign_; }
  const std::string& Status() const { return status_; }
  bool HandshakeTimerEnabled() const { return handshakeEnabled_; }
  int16_t ResendCountdown() const { return resendCountdown_; }
  bool IsOpen() const { return open_; }
  NextWindow Next() const { return next_; }
  // The error of the last CreateDirectPlay that failed, "" after one that succeeded.
  const std::string& CreateError() const { return createError_; }
  // The real cause of the last failure whose box has a fixed text (the provider's reason), as given
  // to MessageBoxes::ShowCause; "" after a reset of the window (a new search or join starts with one).
  const std::string& Cause() const { return cause_; }

 private:
  void RecoverFromFailure();  // ResetConnectionUi, then CreateDirectPlay
  void Fail(const char* text, MessageIcon icon);
  // The failure box, then its cause beside it; the window recovers and keeps the cause.
  void FailWithCause(const char* text, MessageIcon icon, const std::exception& cause);
  void LeaveSession();  // destroys the station's player and closes the session, failures ignored
  void ReceiveHandshakeMessages();
  void CloseWindow();

  ProgramState& state_;
  MessageBoxes& boxes_;
  InputBoxes& inputs_;
  session::DirectPlayFactory& factory_;

  std::vector<session::DpConnection> connections_;  // DirectPlay's lists, kept apart from the list boxes
  std::vector<session::DpSessionDesc> sessions_;
  std::vector<std::string> connectionList_;
  int connectionIndex_ = -1;
  std::vector<std::string> sessionList_;
  int sessionIndex_ = -1;
  std::string callsign_ = kCallsignInitialText;
  std::string status_ = kStatusDisconnected;
  bool handshakeEnabled_ = false;
  int16_t resendCountdown_ = 0;
  bool open_ = true;
  NextWindow next_ = NextWindow::None;
  std::string createError_;
  std::string cause_;
};

}  // namespace skyvox::app
