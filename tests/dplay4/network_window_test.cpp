// The connection window over the network provider: the host address is asked in an input box at the
// first search; a cancelled question is the user cancelling the search.
#include <gtest/gtest.h>

#include "app/connection.h"
#include "dplay4/network_fixture.h"

namespace skyvox::dplay4 {
namespace {

using testing::NetworkSession;

TEST_F(NetworkSession, TheConnectionWindowAsksForTheHostAndListsItsSession) {
  Host();
  app::ProgramState state;
  app::MessageBoxLog boxes;
  app::ScriptedInputBoxes inputs;
  NetworkOptions o = Options();
  o.AskHostAddress = app::HostAddressQuestion(inputs);
  NetworkDirectPlayFactory factory(o, context);
  app::ConnectionController window(state, boxes, inputs, factory);
  window.Load();
  ASSERT_EQ(window.ConnectionList(), std::vector<std::string>{kTcpIpConnectionName});
  window.SelectConnection(0);

  inputs.Script("127.0.0.1:" + std::to_string(ports.Enumeration));
  window.SearchPressed();
  EXPECT_EQ(window.SessionList(), std::vector<std::string>{"Skyvox Test (1/8)"});
  EXPECT_EQ(window.Status(), app::kStatusSearchDone);
  ASSERT_EQ(inputs.Asked().size(), 1u);  // once for both enumerations
  EXPECT_EQ(inputs.Asked()[0], (app::InputBoxRecord{app::kHostAddressTitle, app::kHostAddressPrompt}));

  window.SearchPressed();  // the script is used up: the question is cancelled
  EXPECT_TRUE(window.SessionList().empty());
  ASSERT_FALSE(boxes.Shown().empty());
  EXPECT_EQ(boxes.Shown().back().Text, app::kUserCanceledText);
}

}  // namespace
}  // namespace skyvox::dplay4
