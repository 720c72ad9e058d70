// A first run of skyvox driven through its windows as a user clicks them, on a fresh program folder
// and a simulator folder written from the sample world: the splash, the simulator folder typed and
// accepted, the database built tick by tick, Olympia put on the controlled list, the loopback
// connection searched and a hosted session joined, and the station serving a simulated pilot. The
// window tests walk it and check each window; skyvox-window-shots walks it and saves each window as a
// PNG.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/input_boxes.h"
#include "app/message_boxes.h"
#include "app/program_state.h"
#include "dplay4/network.h"
#include "session/combined_directplay.h"
#include "session/loopback.h"
#include "sim/participants.h"
#include "ui/window_chain.h"

class QWidget;

namespace skyvox::windows {

class GuidedRun {
 public:
  // work: an empty folder for the program folder ("Skyvox") and the simulator folder ("FS2002").
  // dataFolder: the shipped data (world_terrain.db, sample_world.txt).
  GuidedRun(const std::filesystem::path& work, const std::filesystem::path& dataFolder);
  ~GuidedRun();

  // Called with each window as the user sees it: a name ("splash", "sim_folder", "settings_building",
  // "settings", "connection", "station") and the window.
  std::function<void(const std::string& name, QWidget& window)> AtWindow;

  // Walks the whole run; throws std::runtime_error saying what did not go as a user expects.
  void Run();
  // The steps of Run, in order, for a caller that checks between them.
  void Splash();
  void SimFolder();
  void BuildDatabase();
  void ChooseAirports();
  void Connect();
  void ServePilot();
  void CloseStation();

  ui::WindowChain& Chain() { return *chain_; }
  app::ProgramState& State() { return state_; }
  app::MessageBoxLog& Boxes() { return boxes_; }
  sim::SimulatedPilot& Pilot() { return *pilot_; }
  // The text of the station window's transcript and of its traffic table's first column.
  QString TranscriptText() const;

  static constexpr const char* kSessionName = "Skyvox Friday Fly-In";
  static constexpr const char* kPilot = "N1";

 private:
  void Advance(int steps);  // host, pilot and station timers on a virtual 100 ms step
  void Expect(bool condition, const std::string& what) const;

  std::filesystem::path appFolder_;
  std::filesystem::path simFolder_;
  app::ProgramState state_;
  app::MessageBoxLog boxes_;
  app::ScriptedInputBoxes inputs_;
  std::shared_ptr<session::LoopbackHub> hub_;
  session::LoopbackFactory loopback_;
  dplay4::NetworkDirectPlayFactory network_;
  session::CombinedDirectPlayFactory providers_;
  std::unique_ptr<ui::WindowChain> chain_;
  std::unique_ptr<sim::SimulatedHost> host_;
  std::unique_ptr<sim::SimulatedPilot> pilot_;
  int64_t nowMs_ = 0;
};

}  // namespace skyvox::windows
