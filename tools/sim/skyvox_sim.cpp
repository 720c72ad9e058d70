// skyvox-sim: plays a scenario of simulated FS2002 participants against the station and prints the
// radio transcript.
//   skyvox-sim run SCENARIO --app APPFOLDER
// Exit code 0 when the scenario was played to its end; 1 with "SCENARIO:LINE: message" for a mistake
// in the scenario, or "skyvox-sim: message" when it cannot be played (the program folder, the join).
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "sim/scenario.h"

int main(int argc, char** argv) {
  CLI::App cli{"skyvox-sim: simulated FS2002 participants and the scenario runner"};
  cli.require_subcommand(1);
  std::string scenarioPath, appFolder;
  auto* run = cli.add_subcommand("run", "play a scenario and print the radio transcript");
  run->add_option("SCENARIO", scenarioPath, "the scenario file")->required();
  run->add_option("--app", appFolder, "the program folder holding the database files")->required();
  CLI11_PARSE(cli, argc, argv);

  using namespace skyvox::sim;
  try {
    ScenarioRunner runner(ParseScenarioFile(scenarioPath), appFolder, std::cout);
    runner.Run();
  } catch (const ScenarioError& e) {
    std::cout.flush();
    std::cerr << scenarioPath << ':' << e.Line() << ": " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "skyvox-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
