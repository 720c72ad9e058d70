#include "app/connection.h"

#include <gtest/gtest.h>

#include <map>

#include "session/loopback.h"
#include "session/messages.h"

namespace skyvox::app {
namespace {
using namespace skyvox::session;

// Failure injection around the loopback provider: every call is counted, and a listed operation
// throws on the given call (0: on every call).
struct Faults {
  std::map<std::string, int> calls;
  std::map<std::string, int> failOn;
  bool failCreate = false;
  bool secondConnection = false;  // offer a serial connection that the loopback cannot initialise
  void Note(const std::string& op) {
    const int n = ++calls[op];
    const auto f = failOn.find(op);
    if (f != failOn.end() && (f->second == 0 || f->second == n)) throw DirectPlayError("injected " + op);
  }
};

// Every operation is noted (and may throw) before the loopback provider carries it out.
#define FORWARD(Ret, Name, Params, Args) \
  Ret Name Params override {             \
    f_.Note(#Name);                      \
    return in_->Name Args;               \
  }

class FaultyDirectPlay : public DirectPlay {
 public:
  FaultyDirectPlay(std::unique_ptr<DirectPlay> inner, Faults& f) : in_(std::move(inner)), f_(f) {}
  std::vector<DpConnection> EnumConnections(int32_t flags) override {
    auto list = in_->EnumConnections(flags);
    if (f_.secondConnection) list.push_back({"Serial Connection For DirectPlay", "serial"});
    return list;
  }
  FORWARD(void, InitializeConnection, (const std::string& a), (a))
  FORWARD(std::vector<DpSessionDesc>, EnumSessions, (const DpSessionDesc& d, int32_t t, int32_t f), (d, t, f))
  FORWARD(void, Open, (const DpSessionDesc& d, int32_t f), (d, f))
  FORWARD(DpSessionDesc, CurrentSession, (), ())
  FORWARD(int32_t, CreatePlayer, (const std::string& a, const std::string& b), (a, b))
  FORWARD(void, DestroyPlayer, (int32_t id), (id))
  FORWARD(int32_t, CreateGroup, (const std::string& n), (n))
  FORWARD(void, AddPlayerToGroup, (int32_t g, int32_t p), (g, p))
  FORWARD(void, Close, (), ())
  FORWARD(void, Send, (int32_t from, int32_t to, int32_t f, const DpMessage& m), (from, to, f, m))
  FORWARD(int32_t, GetMessageCount, (int32_t id), (id))
  FORWARD(DpReceived, Receive, (int32_t f), (f))
  FORWARD(std::string, GetPlayerFriendlyName, (int32_t id), (id))
  FORWARD(std::vector<DpPlayer>, EnumPlayers, (const std::string& s, int32_t f), (s, f))
  FORWARD(std::vector<DpGroup>, EnumGroups, (const std::string& s, int32_t f), (s, f))

 private:
  std::unique_ptr<DirectPlay> in_;
  Faults& f_;
};

class FaultyFactory : public DirectPlayFactory {
 public:
  FaultyFactory(std::shared_ptr<LoopbackHub> hub, Faults& f) : loopback_(std::move(hub)), f_(f) {}
  std::unique_ptr<DirectPlay> Create() override {
    if (f_.failCreate) throw DirectPlayError("no provider");
    return std::make_unique<FaultyDirectPlay>(loopback_.Create(), f_);
  }

 private:
  LoopbackFactory loopback_;
  Faults& f_;
};

// A simulator on its own endpoint, driven by the test: the host, or a pilot already in the session.
struct SimHost {
  explicit SimHost(std::shared_ptr<LoopbackHub> hub) : Dp(std::move(hub)) {
    Dp.InitializeConnection(LoopbackHub::kConnectionAddress);
  }
  void Host(const std::string& name, int32_t maxPlayers, int32_t flags, const std::string& password = "") {
    Dp.Open({name, 0, maxPlayers, flags, "", password}, kOpenCreate);
    Instance = Dp.CurrentSession().InstanceId;
    Id = Dp.CreatePlayer("HOST", "Player");
  }
  void Join(const std::string& instance) {
    Dp.Open({"", 0, 0, 0, instance, ""}, kOpenJoin);
    Id = Dp.CreatePlayer("N123", "Player");
  }
  // Types of the messages queued for the host, oldest first.
  std::vector<int32_t> Drain() {
    std::vector<int32_t> types;
    while (Dp.GetMessageCount(Id) > 0) types.push_back(Dp.Receive(kReceiveAll).Message.ReadLong());
    return types;
  }
  void Send(const DpMessage& m, int32_t to) { Dp.Send(Id, to, kSendGuaranteed, m); }
  LoopbackDirectPlay Dp;
  std::string Instance;
  int32_t Id = 0;
};

std::vector<MessageBoxRecord> Boxes(const std::string& text, MessageIcon icon) {
  return {{"Skyvox v2.0", text, icon}};
}

class ConnectionWindow : public ::testing::Test {
 protected:
  void Search(int connection = 0) {
    window_.Load();
    window_.SelectConnection(connection);
    window_.SearchPressed();
  }
  void Join(int session = 0) {
    Search();
    window_.SelectSession(session);
    window_.JoinPressed();
  }
  int32_t StationId() const { return state_.Link.OwnPlayerId; }
  bool StationInSession() const {
    for (const auto& p : hub_->Players(host_.Instance)) {
      if (p.FriendlyName == "AI_Controller") return true;
    }
    return false;
  }
  // Back where a search starts: no handshake running, the station not in the session.
  void ExpectDisconnected() {
    EXPECT_EQ(window_.Status(), "Disconnected");
    EXPECT_FALSE(window_.HandshakeTimerEnabled());
    EXPECT_FALSE(StationInSession());
  }

  std::shared_ptr<LoopbackHub> hub_ = std::make_shared<LoopbackHub>();
  Faults faults_;
  FaultyFactory factory_{hub_, faults_};
  SimHost host_{hub_};
  ProgramState state_;
  MessageBoxLog boxes_;
  ScriptedInputBoxes inputs_;
  ConnectionController window_{state_, boxes_, inputs_, factory_};
};

// Searches without a connection type or without sessions list nothing.
TEST_F(ConnectionWindow, LoadOffersTheConnectionsAndTheDefaultCallsign) {
  EXPECT_EQ(window_.Callsign(), "-None-");
  window_.Load();
  EXPECT_EQ(window_.ConnectionList(), std::vector<std::string>{"Loopback Connection For DirectPlay"});
  EXPECT_EQ(window_.Callsign(), "AI_Controller");
  EXPECT_EQ(window_.Status(), "Disconnected");
  EXPECT_NE(state_.Link.Dp, nullptr);
  EXPECT_TRUE(boxes_.Shown().empty());
  window_.SearchPressed();
  EXPECT_EQ(boxes_.Shown(), Boxes("Please Select one Type of Connection", MessageIcon::Information));
  boxes_.Clear();
  Search();  // no session is hosted: no message
  EXPECT_TRUE(window_.SessionList().empty());
  EXPECT_EQ(window_.Status(), "Disconnected");
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_NE(state_.Link.Dp, nullptr);  // a fresh object, ready for the next search

  faults_.failCreate = true;
  window_.Load();
  EXPECT_TRUE(window_.ConnectionList().empty());
  EXPECT_EQ(boxes_.Shown(), Boxes("DirectPlay could not be started: no provider", MessageIcon::Exclamation));
}

TEST_F(ConnectionWindow, SessionsAreListedWithTheirPlayerCountsPasswordProtectedOnesIncluded) {
  host_.Host("Pacific NW", 8, kSessionKeepAlive);
  SimHost pilot1(hub_), pilot2(hub_), locked(hub_);
  pilot1.Join(host_.Instance);
  pilot2.Join(host_.Instance);
  locked.Host("Locked", 4, kSessionKeepAlive, "secret");
  Search();
  EXPECT_EQ(window_.SessionList(), (std::vector<std::string>{"Pacific NW (3/8)", "Locked (1/4)"}));
  EXPECT_EQ(window_.Status(), "Done");
}

TEST_F(ConnectionWindow, JoiningWithNeitherSessionNorCallsignShowsBothMessages) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  Search();
  window_.SetCallsign("");
  window_.JoinPressed();
  auto both = Boxes("Please select a FS Multiplayer Session.", MessageIcon::Exclamation);
  both.push_back(Boxes("Please write a nickname.", MessageIcon::Exclamation)[0]);
  EXPECT_EQ(boxes_.Shown(), both);
  EXPECT_TRUE(window_.SessionList().empty());
  ExpectDisconnected();
}

TEST_F(ConnectionWindow, TheHostsAcceptanceJoinsTheRefuseParamsGroupsAndOpensTheStation) {
  host_.Host("Pacific", 8, kSessionKeepAlive | kSessionMigrateHost);
  const int32_t refuse1 = host_.Dp.CreateGroup("FS61_REFUSE_PARAMS");
  host_.Dp.CreateGroup("FS61_OTHER");
  const int32_t refuse2 = host_.Dp.CreateGroup("FS61_REFUSE_PARAMS");
  Join();
  EXPECT_TRUE(inputs_.Asked().empty());
  EXPECT_EQ(window_.Status(), "First Request Sent");
  EXPECT_TRUE(window_.HandshakeTimerEnabled());
  EXPECT_EQ(window_.ResendCountdown(), 30000);
  EXPECT_EQ(host_.Drain(), std::vector<int32_t>{0x1001});
  const auto players = hub_->Players(host_.Instance);
  ASSERT_EQ(players.size(), 2u);
  EXPECT_EQ(players[1].Id, StationId());
  EXPECT_EQ(players[1].FormalName, "Player");
  EXPECT_EQ(state_.Link.SessionInstanceId, host_.Instance);
  EXPECT_EQ(state_.Link.SessionMaxPlayers, 8);

  // Chat and another joiner's acceptance while waiting are received and dropped.
  host_.Send(BuildChatMessage("hello"), StationId());
  host_.Send(BuildAnnouncement(kPlayerAnnouncement, StationId() + 100), StationId());
  window_.HandshakeTick();
  EXPECT_EQ(window_.Status(), "First Request Sent");
  EXPECT_EQ(hub_->Players(host_.Instance)[1].QueuedMessages, 0u);

  host_.Send(BuildAnnouncement(kPlayerAnnouncement, StationId()), StationId());
  window_.HandshakeTick();
  EXPECT_EQ(boxes_.Shown(), Boxes("Connected to FS Session!", MessageIcon::Information));
  EXPECT_EQ(window_.Status(), "Connected to Session");
  EXPECT_FALSE(window_.HandshakeTimerEnabled());
  EXPECT_FALSE(window_.IsOpen());
  EXPECT_EQ(window_.Next(), NextWindow::Station);
  for (const auto& g : hub_->Groups(host_.Instance)) {
    EXPECT_EQ(g.Members == std::vector<int32_t>{StationId()}, g.Id == refuse1 || g.Id == refuse2) << g.Name;
  }
  window_.Unload();  // the session stays open for the station window
  EXPECT_TRUE(StationInSession());
  EXPECT_NE(state_.Link.Dp, nullptr);
}

TEST_F(ConnectionWindow, ARefusalShowsItsMessageAndLeavesTheSession) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  Join();
  host_.Send(BuildSimpleMessage(kJoinRefusedPlayer), StationId());
  window_.HandshakeTick();
  EXPECT_EQ(boxes_.Shown(), Boxes("Connection Refused.", MessageIcon::Exclamation));
  ExpectDisconnected();
  EXPECT_TRUE(window_.SessionList().empty());
  EXPECT_TRUE(window_.IsOpen());
}

TEST_F(ConnectionWindow, TheRequestIsRepeatedEvery30000TicksAfterARetryNotice) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  window_.HandshakeTick();  // the timer is off before a join: nothing happens
  Join();
  host_.Drain();
  for (int i = 0; i < 29999; ++i) window_.HandshakeTick();
  EXPECT_EQ(window_.ResendCountdown(), 1);
  EXPECT_TRUE(host_.Drain().empty());
  window_.HandshakeTick();
  EXPECT_EQ(host_.Drain(), (std::vector<int32_t>{0x1008, 0x1001}));
  EXPECT_EQ(window_.Status(), "Request Resent");
  EXPECT_EQ(window_.ResendCountdown(), 30000);

  // A resend that fails leaves the countdown at 0, so the next tick sends again.
  for (int i = 0; i < 29999; ++i) window_.HandshakeTick();
  faults_.failOn["Send"] = faults_.calls["Send"] + 1;
  window_.HandshakeTick();
  EXPECT_EQ(window_.ResendCountdown(), 0);
  EXPECT_TRUE(host_.Drain().empty());
  window_.HandshakeTick();
  EXPECT_EQ(host_.Drain(), (std::vector<int32_t>{0x1008, 0x1001}));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ConnectionWindow, OnlyFlags0x440And0x444AskForThePassword) {
  host_.Host("Pacific", 8, kSessionKeepAlive, "secret");  // listed as 0x440
  SimHost migrating(hub_), noKeepAlive(hub_);
  migrating.Host("Migrating", 8, kSessionKeepAlive | kSessionMigrateHost, "secret");  // 0x444
  noKeepAlive.Host("Plain", 8, 0, "secret");                                          // 0x400
  inputs_.Script("secret");
  Join(0);
  const InputBoxRecord asked{"Skyvox v2.0", "This session requires a password. Enter the password."};
  EXPECT_EQ(inputs_.Asked(), std::vector<InputBoxRecord>{asked});
  EXPECT_EQ(window_.Status(), "First Request Sent");
  window_.ClosePressed();

  // Cancelled, the password is empty and the session refuses the join.
  Join(1);
  EXPECT_EQ(inputs_.Asked().size(), 2u);
  EXPECT_EQ(boxes_.Shown(), Boxes("Failed to Join Game.", MessageIcon::Exclamation));
  EXPECT_EQ(boxes_.Causes(), std::vector<std::string>{"the host refused the password"});
  boxes_.Clear();

  Join(2);  // not asked, so joined without the password, which the session refuses
  EXPECT_EQ(inputs_.Asked().size(), 2u);
  EXPECT_EQ(boxes_.Shown(), Boxes("Failed to Join Game.", MessageIcon::Exclamation));
  EXPECT_EQ(window_.Status(), "Disconnected");
}

// Each failing step, its message with the provider's reason beside it, and the window back in the
// Disconnected state with a new object.
TEST_F(ConnectionWindow, EveryFailingStepShowsItsMessageAndItsCause) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  faults_.secondConnection = true;
  // The operation made to fail (none: the serial connection the loopback cannot initialise), the
  // connection chosen, whether a join follows the search, and the message.
  const struct {
    std::string op;
    int connection;
    bool join;
    std::string text;
    MessageIcon icon = MessageIcon::Exclamation;
  } cases[] = {
      {"InitializeConnection", 0, false, "Error while the initialization of your LAN network card."},
      {"", 1, false, "Error while the initialization of the type of connection."},
      {"EnumSessions", 0, false, "User Canceled Connection.", MessageIcon::Information},
      {"Open", 0, true, "Failed to Join Game."},
      {"CreatePlayer", 0, true, "Failed to Create Player."},
      {"Send", 0, true, "Failed to Create Player."},  // the first request
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    faults_.failOn.clear();
    if (!c.op.empty()) faults_.failOn[c.op] = 0;
    const std::string cause = c.op.empty() ? "unknown connection" : "injected " + c.op;
    boxes_.Clear();
    Search(c.connection);
    if (c.join) {
      EXPECT_EQ(window_.Status(), "Done");
      window_.SelectSession(0);
      window_.JoinPressed();
    }
    EXPECT_EQ(boxes_.Shown(), Boxes(c.text, c.icon));
    EXPECT_EQ(boxes_.Causes(), std::vector<std::string>{cause});
    EXPECT_EQ(window_.Cause(), cause);
    ExpectDisconnected();
    EXPECT_NE(state_.Link.Dp, nullptr);
  }
  // Only the second of the two session enumerations fails: the same message.
  faults_.failOn = {{"EnumSessions", faults_.calls["EnumSessions"] + 2}};
  boxes_.Clear();
  Search();
  EXPECT_EQ(boxes_.Shown(), Boxes("User Canceled Connection.", MessageIcon::Information));
  window_.SelectConnection(0);  // the window is reset: the cause goes with the failure
  EXPECT_EQ(window_.Cause(), "");
}

TEST_F(ConnectionWindow, ErrorsWhileReceivingEndTheTickSilently) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  host_.Dp.CreateGroup("FS61_REFUSE_PARAMS");
  Join();
  // The host's acceptance; a failure after it was received has used it up, so the host repeats it.
  auto accept = [&] {
    if (hub_->Players(host_.Instance)[1].QueuedMessages > 0) return;
    host_.Send(BuildAnnouncement(kPlayerAnnouncement, StationId()), StationId());
  };
  for (const char* op : {"GetMessageCount", "Receive", "EnumGroups", "AddPlayerToGroup"}) {
    accept();
    faults_.failOn = {{op, 0}};
    window_.HandshakeTick();
    EXPECT_TRUE(boxes_.Shown().empty()) << op;
    EXPECT_TRUE(window_.HandshakeTimerEnabled()) << op;
    EXPECT_EQ(window_.Status(), "First Request Sent") << op;
  }
  accept();
  faults_.failOn.clear();
  window_.HandshakeTick();
  EXPECT_EQ(window_.Next(), NextWindow::Station);
}

TEST_F(ConnectionWindow, CloseAndTheCloseBoxLeaveTheSessionOnceAndEndTheProgram) {
  host_.Host("Pacific", 8, kSessionKeepAlive);
  for (const bool button : {true, false}) {
    SCOPED_TRACE(button ? "Close" : "close box");
    Join();
    ASSERT_TRUE(StationInSession());
    button ? window_.ClosePressed() : window_.Unload();
    window_.Unload();  // the window is gone: closing it again does nothing
    EXPECT_EQ(faults_.calls["DestroyPlayer"], button ? 1 : 2);
    EXPECT_EQ(faults_.calls["Close"], button ? 1 : 2);
    ExpectDisconnected();
    EXPECT_EQ(state_.Link.Dp, nullptr);
    EXPECT_FALSE(window_.IsOpen());
    EXPECT_EQ(window_.Next(), NextWindow::Terminate);
  }
}

}  // namespace
}  // namespace skyvox::app
