// skyvox: the program a user starts. The splash, then the chain of windows over the program's folder
// (the current directory, or --app FOLDER); the connection window offers the real DirectPlay 4
// TCP/IP connection and the in-process loopback one.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QIcon>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "app/connection.h"
#include "app/data_folder.h"
#include "app/program_state.h"
#include "base/errors.h"
#include "dplay4/network.h"
#include "scenery/database_files.h"
#include "scenery/magvar_terrain.h"
#include "session/combined_directplay.h"
#include "session/loopback.h"
#include "ui/qt_boxes.h"
#include "ui/qt_text.h"
#include "ui/window_chain.h"
#include "ui/window_view.h"

namespace fs = std::filesystem;
using namespace skyvox;

int main(int argc, char** argv) {
  CLI::App cli("Skyvox v2.0: an automatic air-traffic controller for FS2002 multiplayer sessions", "skyvox");
  std::string appFolder;
  cli.add_option("--app", appFolder,
                 "the program's folder, where its database and configuration live (default: the current "
                 "directory)");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli.exit(e) == 0 ? 0 : 1;
  }
  std::error_code ec;
  const fs::path folder = appFolder.empty() ? fs::current_path(ec) : fs::absolute(appFolder, ec);
  if (!appFolder.empty() && !fs::is_directory(folder, ec)) {
    std::cerr << "skyvox: the program folder " << folder.string() << " does not exist\n";
    return 1;
  }

  // As installing the program does: a program folder without its terrain file (or with a damaged
  // one) gets the shipped copy. Without a shipped copy the start-up check says what is missing.
  const fs::path data = app::ShippedDataFolder(SKYVOX_DATA_DIR);
  try {
    scenery::InstallTerrainFile(folder, data / scenery::kTerrainFileName);
  } catch (const Error& e) {
    std::cerr << "skyvox: " << e.what() << '\n';
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName("Skyvox");
  QApplication::setApplicationVersion("2.0");
  QApplication::setWindowIcon(ui::ProgramIcon());

  app::ProgramState state;
  state.DataFolder = data;
  ui::WindowChain* chainPtr = nullptr;
  auto parent = [&chainPtr]() -> QWidget* { return chainPtr ? chainPtr->Current() : nullptr; };
  ui::QtMessageBoxes boxes(parent, [&chainPtr](const std::string& cause) {
    if (chainPtr && chainPtr->Current()) chainPtr->Current()->statusBar()->showMessage(ui::ToQt(cause));
  });
  ui::QtInputBoxes inputs(parent);

  std::shared_ptr<dplay4::NetworkContext> context = dplay4::MakeNetworkContext();
  dplay4::NetworkOptions networkOptions;
  networkOptions.AskHostAddress = app::HostAddressQuestion(inputs);
  dplay4::NetworkDirectPlayFactory network(networkOptions, context);
  session::LoopbackFactory loopback(std::make_shared<session::LoopbackHub>());
  session::CombinedDirectPlayFactory providers({&network, &loopback});

  ui::WindowChain chain(state, boxes, inputs, providers, folder.string(), app::SteadyClockMs);
  chainPtr = &chain;
  chain.Ended = [](int code) { QApplication::exit(code); };

  // The network delivers between the windows' own ticks too, as the console station's waits do.
  QTimer networkPump;
  QObject::connect(&networkPump, &QTimer::timeout, [&context] { dplay4::PollNetwork(*context); });
  networkPump.start(20);

  chain.Start();
  const int code = QApplication::exec();
  chainPtr = nullptr;
  return code;
}
