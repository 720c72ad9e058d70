#include "app/connection.h"

#include <exception>

#include "session/messages.h"

namespace skyvox::app {

using session::DpSessionDesc;

std::function<std::optional<std::string>()> HostAddressQuestion(InputBoxes& inputs) {
  return [&inputs] { return inputs.Ask(kHostAddressTitle, kHostAddressPrompt); };
}

std::string SessionEntryText(const DpSessionDesc& session) {
  return session.SessionName + " (" + std::to_string(session.CurrentPlayers) + "/" +
         std::to_string(session.MaxPlayers) + ")";
}

ConnectionController::ConnectionController(ProgramState& state, MessageBoxes& boxes, InputBoxes& inputs,
                                           session::DirectPlayFactory& factory)
    : state_(state), boxes_(boxes), inputs_(inputs), factory_(factory) {}

void ConnectionController::CreateDirectPlay() {
  createError_.clear();
  connections_.clear();
  state_.Link.Dp.reset();
  try {
    state_.Link.Dp = factory_.Create();
    connections_ = state_.Link.Play().EnumConnections(session::kConnectionsDirectPlay);
  } catch (const Error& e) {
    createError_ = e.what();
    if (createError_.empty()) createError_ = "unknown error";
  }
}

void ConnectionController::ReleaseDirectPlay() {
  connections_.clear();
  sessions_.clear();
  state_.Link.Dp.reset();
}

void ConnectionController::ResetConnectionUi() {
  ReleaseDirectPlay();
  sessionList_.clear();
  sessionIndex_ = -1;
  handshakeEnabled_ = false;
  status_ = kStatusDisconnected;
  cause_.clear();
}

void ConnectionController::RecoverFromFailure() {
  ResetConnectionUi();
  CreateDirectPlay();
}

void ConnectionController::Fail(const char* text, MessageIcon icon) {
  boxes_.Show(kProgramTitle, text, icon);
  RecoverFromFailure();
}

void ConnectionController::FailWithCause(const char* text, MessageIcon icon, const std::exception& cause) {
  std::string why = cause.what();
  if (why.empty()) why = "unknown error";
  boxes_.Show(kProgramTitle, text, icon);
  boxes_.ShowCause(why);
  status_ = kStatusDisconnected;
  RecoverFromFailure();
  cause_ = std::move(why);
}

void ConnectionController::Load() {
  connections_.clear();
  sessions_.clear();
  connectionList_.clear();
  connectionIndex_ = -1;
  sessionList_.clear();
  sessionIndex_ = -1;
  status_ = kStatusDisconnected;
  handshakeEnabled_ = false;
  resendCountdown_ = 0;
  open_ = true;
  next_ = NextWindow::None;

  callsign_ = kDefaultCallsign;
  CreateDirectPlay();
  if (!createError_.empty()) {
    // Without a DirectPlay object the connection-type list stays empty; say why.
    boxes_.Show(kProgramTitle, "DirectPlay could not be started: " + createError_, MessageIcon::Exclamation);
  }
  for (const session::DpConnection& connection : connections_) connectionList_.push_back(connection.Name);
}

void ConnectionController::SelectConnection(int index) {
  if (!open_ || index < 0 || static_cast<size_t>(index) >= connectionList_.size()) return;
  connectionIndex_ = index;
  RecoverFromFailure();
}

void ConnectionController::SelectSession(int index) {
  if (!open_ || index < -1 || index >= static_cast<int>(sessionList_.size())) return;
  sessionIndex_ = index;
}

void ConnectionController::SetCallsign(const std::string& text) {
  callsign_ = text;
}

void ConnectionController::SearchPressed() {
  if (!open_) return;
  RecoverFromFailure();
  if (connectionIndex_ < 0) {
    Fail(kSelectConnectionText, MessageIcon::Information);
    return;
  }

  // The connections were enumerated again by CreateDirectPlay; the list's position picks one of them.
  try {
    if (static_cast<size_t>(connectionIndex_) >= connections_.size()) {
      throw session::DirectPlayError("the selected connection is no longer offered");
    }
    state_.Link.Play().InitializeConnection(connections_[static_cast<size_t>(connectionIndex_)].Address);
  } catch (const Error& e) {
    FailWithCause(connectionIndex_ == 0 ? kLanInitErrorText : kConnectionInitErrorText,
                  MessageIcon::Exclamation, e);
    return;
  }

  status_ = kStatusSearching;
  const DpSessionDesc filter;  // no application filter: sessions of every application
  try {
    session::DirectPlay& dp = state_.Link.Play();
    sessions_ = dp.EnumSessions(filter, 0, session::kEnumSessionsAvailable);
    // The second enumeration, password-protected sessions included, replaces the first.
    sessions_ = dp.EnumSessions(filter, 0, session::kEnumSessionsPasswordRequired);
  } catch (const Error& e) {
    FailWithCause(kUserCanceledText, MessageIcon::Information, e);
    return;
  }

  // The sessions found are plain values here, so reading them into the list cannot fail, and no
  // "Error in enumeration functions." box can come of it; an entry is never empty either (it holds at
  // least the player counts), so an empty list is what "nothing found" looks like: no message.
  for (const DpSessionDesc& desc : sessions_) sessionList_.push_back(SessionEntryText(desc));
  if (sessionList_.empty()) {
    RecoverFromFailure();
    return;
  }
  status_ = kStatusSearchDone;
}

void ConnectionController::JoinPressed() {
  if (!open_) return;
  session::SessionLink& link = state_.Link;
  // A selected entry is never empty (see SearchPressed), so "a non-empty entry selected" is "selected".
  const bool selected = sessionIndex_ >= 0 && static_cast<size_t>(sessionIndex_) < sessionList_.size();
  if (!selected || callsign_.empty()) {
    if (!selected) boxes_.Show(kProgramTitle, kSelectSessionText, MessageIcon::Exclamation);
    if (callsign_.empty()) boxes_.Show(kProgramTitle, kWriteNicknameText, MessageIcon::Exclamation);
    RecoverFromFailure();
    return;
  }

  status_ = kStatusConnecting;
  // The list holds one entry per session found, in the same order.
  DpSessionDesc desc = sessions_[static_cast<size_t>(sessionIndex_)];

  // Only these two exact values ask: the password flag with keep-alive, without or with host
  // migration. A session flagged 0x400 alone is joined without a password.
  constexpr int32_t kPasswordKeepAlive = session::kSessionPasswordRequired | session::kSessionKeepAlive;
  if (desc.Flags == kPasswordKeepAlive || desc.Flags == (kPasswordKeepAlive | session::kSessionMigrateHost)) {
    desc.Password = inputs_.Ask(kProgramTitle, kPasswordPrompt).value_or("");
  }
  link.SessionInstanceId = desc.InstanceId;
  link.SessionMaxPlayers = desc.MaxPlayers;

  try {
    link.Play().Open(desc, session::kOpenJoin);
  } catch (const Error& e) {
    FailWithCause(kJoinFailedText, MessageIcon::Exclamation, e);
    return;
  }

  status_ = kStatusCreatingPlayer;
  try {
    link.OwnPlayerId = link.Play().CreatePlayer(callsign_, kPlayerFormalName);
    status_ = kStatusPlayerCreated;
    // A first request that cannot be sent fails the join like the player's creation: a request that
    // never left would keep the window waiting for an answer that cannot come.
    session::SendSimpleMessage(link, session::kJoinAsPlayer, session::kAllPlayers);
  } catch (const Error& e) {
    FailWithCause(kCreatePlayerFailedText, MessageIcon::Exclamation, e);
    return;
  }

  status_ = kStatusFirstRequestSent;
  resendCountdown_ = kResendTicks;
  handshakeEnabled_ = true;
}

void ConnectionController::HandshakeTick() {
  if (!open_ || !handshakeEnabled_) return;
  session::SessionLink& link = state_.Link;
  if (resendCountdown_ >= 1 && resendCountdown_ <= kResendTicks) resendCountdown_ -= 1;
  if (resendCountdown_ == 0) {
    try {
      session::SendSimpleMessage(link, session::kJoinRetryNotice, session::kAllPlayers);
      status_ = kStatusResending;
      session::SendSimpleMessage(link, session::kJoinAsPlayer, session::kAllPlayers);
      status_ = kStatusRequestResent;
      resendCountdown_ = kResendTicks;
    } catch (const Error&) {
      // The countdown stays at 0, so the next tick tries again.
      return;
    }
  }
  ReceiveHandshakeMessages();
}

void ConnectionController::ReceiveHandshakeMessages() {
  session::SessionLink& link = state_.Link;
  // Any failure while receiving ends the tick without a word; the next tick tries again.
  try {
    const int32_t n = link.Play().GetMessageCount(link.OwnPlayerId);
    for (int32_t i = 0; i < n; ++i) {
      session::DpReceived received = link.Play().Receive(session::kReceiveAll);
      const int32_t type = received.Message.ReadLong();
      received.Message.ReadLong();  // count
      if (type == session::kPlayerAnnouncement) {
        // Acceptances for other joining players are dropped.
        if (received.Message.ReadLong() != link.OwnPlayerId) continue;
        session::DirectPlay& dp = link.Play();
        for (const session::DpGroup& group : dp.EnumGroups(link.SessionInstanceId, 0)) {
          if (group.Name == kRefuseParamsGroup) dp.AddPlayerToGroup(group.Id, link.OwnPlayerId);
        }
        boxes_.Show(kProgramTitle, kConnectedText, MessageIcon::Information);
        status_ = kStatusConnected;
        handshakeEnabled_ = false;
        CloseWindow();
        next_ = NextWindow::Station;
        // The rest of this tick's messages are still received, and dropped unless one of them is
        // another answer of the host.
      } else if (type == session::kJoinRefusedPlayer) {
        boxes_.Show(kProgramTitle, kRefusedText, MessageIcon::Exclamation);
        status_ = kStatusFailedConnection;
        RecoverFromFailure();
        return;
      }
    }
  } catch (const Error&) {
  }
}

void ConnectionController::LeaveSession() {
  session::SessionLink& link = state_.Link;
  try {
    link.Play().DestroyPlayer(link.OwnPlayerId);
  } catch (const Error&) {
  }
  try {
    link.Play().Close();
  } catch (const Error&) {
  }
}

void ConnectionController::ClosePressed() {
  if (!open_) return;
  LeaveSession();
  ReleaseDirectPlay();
  sessionList_.clear();
  sessionIndex_ = -1;
  handshakeEnabled_ = false;
  status_ = kStatusDisconnected;
  open_ = false;
  next_ = NextWindow::Terminate;
}

// The unload handler: after a successful join the session stays open for the station window.
void ConnectionController::CloseWindow() {
  if (status_ != kStatusConnected) {
    LeaveSession();
    ResetConnectionUi();
  }
  open_ = false;
}

void ConnectionController::Unload() {
  if (!open_) return;
  CloseWindow();
  // No other window is open: closing this one ends the program.
  next_ = NextWindow::Terminate;
}

}  // namespace skyvox::app
