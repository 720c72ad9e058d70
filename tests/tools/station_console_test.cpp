// The headless station's console pieces: message box and input box lines, the options that answer
// the boxes, the station timers' schedule, and the whole program played on a virtual clock against a
// simulated host and pilot over the loopback provider.
#include "station/station_console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/config_file.h"
#include "app/corrected_mode_file.h"
#include "authoring/magdec_writer.h"
#include "base/byte_io.h"
#include "scenery/database_files.h"
#include "session/loopback.h"
#include "sim/participants.h"
#include "support/temp_dir.h"
#include "tools/program_folder.h"

namespace skyvox::station {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The box lines themselves are in the program's outputs below; here the conversions between the
// terminal's UTF-8 and the program's Windows-1252 text, and a prompt that no option answers.
TEST(StationConsoleBoxes, ConvertTheirTextAndCancelPromptsNoOptionAnswers) {
  std::ostringstream out;
  ConsoleBoxes boxes(out);
  boxes.Show("Skyvox v2.0", "Caf\xE9", app::MessageIcon::Information);  // Windows-1252 e acute
  EXPECT_EQ(out.str(), "[message box, information] Skyvox v2.0: Caf\xC3\xA9\n");
  EXPECT_EQ(boxes.LastText(), "Caf\xE9");
  OptionInputBoxes withPassword(std::string("s\xC3\xA9same"), out);
  EXPECT_EQ(withPassword.Ask("Skyvox v2.0", app::kPasswordPrompt), std::optional<std::string>("s\xE9same"));
  out.str("");
  EXPECT_EQ(withPassword.Ask("Skyvox v2.0", "Another question?"), std::nullopt);
  EXPECT_EQ(out.str(), "[input box] Skyvox v2.0: Another question? (cancelled)\n");
}

TEST(StationConsoleBoxes, NetworkOptionsCarryTheTimesAndTellTheTakeOver) {
  StationOptions options;
  options.PingIntervalMs = 700;
  options.EnumTimeoutMs = 300;
  std::ostringstream out, err;
  dplay4::NetworkOptions quiet = MakeNetworkOptions(options, out, err);
  EXPECT_EQ(quiet.PingIntervalMs, 700);
  EXPECT_EQ(quiet.EnumerationTimeoutMs, 300);
  EXPECT_FALSE(quiet.Log);
  // The host question's line and the --verbose log are in runner_test.sh's run of the program. The
  // take-over is told without --verbose; without a stop flag nothing interrupts the waits.
  ASSERT_TRUE(quiet.TookOver);
  quiet.TookOver(std::string("127.0.0.1:47624"));
  quiet.TookOver(std::nullopt);
  EXPECT_EQ(Lines(out.str()),
            (std::vector<std::string>{"* the station took over the session as its host: pilots can join this "
                                      "station's session at 127.0.0.1:47624",
                                      "* the station took over the session as its host, but its search port "
                                      "is taken: new pilots cannot find the session"}));
  EXPECT_FALSE(quiet.Interrupted);
  volatile std::sig_atomic_t stop = 0;
  dplay4::NetworkOptions stoppable = MakeNetworkOptions(options, out, err, &stop);
  ASSERT_TRUE(stoppable.Interrupted);
  EXPECT_FALSE(stoppable.Interrupted());
  stop = 1;
  EXPECT_TRUE(stoppable.Interrupted());
}

TEST(StationTimerSchedule, FirstTickOneIntervalAfterEnablingAndMissedTicksAreNotMadeUp) {
  StationTimers t;
  t.Sync(1000, true, true, false);
  EXPECT_EQ(t.NextDueMs(), 1100);
  EXPECT_FALSE(t.TakeDue(StationTimers::kConnection, 1099));
  EXPECT_TRUE(t.TakeDue(StationTimers::kConnection, 1100));
  EXPECT_FALSE(t.TakeDue(StationTimers::kConnection, 1100));
  // Busy until 1455: one tick for 1200..1400, the next on the same beat at 1500.
  EXPECT_TRUE(t.TakeDue(StationTimers::kConnection, 1455));
  EXPECT_FALSE(t.TakeDue(StationTimers::kConnection, 1499));
  EXPECT_TRUE(t.TakeDue(StationTimers::kConnection, 1500));
  EXPECT_FALSE(t.TakeDue(StationTimers::kAtc, 5000));  // not enabled

  // Monitoring starts at 1730: the ATC cycle's first tick comes at 2230.
  t.Sync(1730, true, true, true);
  EXPECT_EQ(t.NextDueMs(), 1600);
  EXPECT_FALSE(t.TakeDue(StationTimers::kAtc, 2229));
  EXPECT_TRUE(t.TakeDue(StationTimers::kAtc, 2230));
  // Stopped and started again: a fresh interval from the new start.
  t.Sync(2300, true, true, false);
  t.Sync(2400, true, true, true);
  EXPECT_FALSE(t.TakeDue(StationTimers::kAtc, 2730));
  EXPECT_TRUE(t.TakeDue(StationTimers::kAtc, 2900));
  EXPECT_TRUE(t.TakeDue(StationTimers::kRefresh, 31000));
  t.Sync(31000, false, false, false);
  EXPECT_EQ(t.NextDueMs(), std::nullopt);
}

// A program folder with Olympia in its database, a host on the loopback provider, and a virtual clock
// whose waits let the host and a pilot act.
class StationProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    scenery::AirportRecord olympia;
    olympia.Ident = "KOLM";
    olympia.Name = "OLYMPIA REGIONAL";
    olympia.Latitude = 46.969444;
    olympia.Longitude = -122.902222;
    olympia.ElevationFt = 209;
    const fs::path app = skyvox::testing::WriteProgramFolder(dir_, olympia, {47.0, -122.9, 200});

    options_.AppFolder = app.string() + "/";
    options_.Control = {"KOLM"};
    options_.Connection = session::LoopbackHub::kConnectionName;
    options_.Session = "Pacific";
    host_.Host("Pacific", "", 8);
  }

  // Advances the virtual clock; the host and the pilot act at the new time, before the station's ticks.
  void Wait(int32_t ms) {
    now_ += ms;
    if (script_) script_(now_);
    host_.Tick(static_cast<double>(now_) / 1000);
    if (guarded_) guarded_->Tick(static_cast<double>(now_) / 1000);
    pilot_.Tick(static_cast<double>(now_) / 1000);
  }

  int Run() {
    const StationClock clock{[this] { return now_; }, [this](int32_t ms) { Wait(ms); }};
    return RunStationProgram(options_, factory_, clock, stop_, out_, err_, false);
  }

  // Runs the program and compares what it printed, standard error after "--- stderr", with
  // tests/data/runner/NAME.expected (SKYVOX_UPDATE_TRANSCRIPTS=1 rewrites the file).
  void ExpectRun(int exitCode, const std::string& name) {
    EXPECT_EQ(Run(), exitCode) << err_.str();
    const std::string printed = out_.str() + "--- stderr\n" + err_.str();
    const fs::path golden = skyvox::testing::SourceRoot() / "tests/data/runner" / (name + ".expected");
    if (std::getenv("SKYVOX_UPDATE_TRANSCRIPTS")) std::ofstream(golden, std::ios::binary) << printed;
    std::ifstream in(golden, std::ios::binary);
    EXPECT_EQ(printed, std::string(std::istreambuf_iterator<char>(in), {})) << name;
    out_.str("");
    err_.str("");
  }

  void LoseSessionAt500(bool removed, const std::string& name) {
    script_ = [this, removed](int64_t now) {
      if (now == 500) removed ? host_.RemoveFromSession(StationId()) : host_.Leave();
    };
    ExpectRun(kExitSessionLost, name);
  }

  int32_t StationId() const {
    for (const auto& p : hub_->Players(host_.InstanceId())) {
      if (p.FriendlyName == "AI_Controller") return p.Id;
    }
    return 0;
  }

  skyvox::testing::TempDir dir_;
  StationOptions options_;
  std::shared_ptr<session::LoopbackHub> hub_ = std::make_shared<session::LoopbackHub>(7);
  session::LoopbackFactory factory_{hub_};
  sim::EventSink sink_ = [](const std::string&) {};
  sim::SimulatedHost host_{std::make_unique<session::LoopbackDirectPlay>(hub_), "HOST", sink_};
  sim::SimulatedPilot pilot_{std::make_unique<session::LoopbackDirectPlay>(hub_), "N123", sink_};
  std::unique_ptr<sim::SimulatedHost> guarded_;  // a second session, with a password
  std::function<void(int64_t)> script_;
  int64_t now_ = 0;
  volatile std::sig_atomic_t stop_ = 0;
  std::ostringstream out_, err_;
};

// Joins, serves a pilot (the airport list said at 1100 ms is answered at the tick of that instant),
// tells who comes and goes and the host's departure, and leaves the session on the stop flag.
TEST_F(StationProgram, JoinsServesAPilotAndLeavesTheSessionOnTheStopFlag) {
  options_.Monitor = true;
  // The join request goes out at 0 and is answered at the first handshake tick (100 ms), when the
  // station window opens. The station's receive loop then ticks at 200, 300, ... ms.
  script_ = [this](int64_t now) {
    if (now == 300) pilot_.Join(host_.InstanceId(), "");
    if (now == 1100) pilot_.Say("airpts:");
    if (now == 1500) host_.Leave();
    if (now == 1800) pilot_.Leave();  // out of the roster at the roster's refresh, 30 s after the start
    if (now == 30500) stop_ = 1;
  };
  ExpectRun(0, "station_serves_a_pilot");
  EXPECT_EQ(pilot_.ReceivedChat().size(), 2u);  // every line the golden shows sent to N123
  EXPECT_EQ(StationId(), 0) << "the station left the session";
}

// A session that ends under the station (removed by the host, or the host gone with nobody left) is
// lost: the station says so and exits with its own code.
TEST_F(StationProgram, EndsWithSessionLostWhenTheHostRemovesTheStation) {
  LoseSessionAt500(true, "station_removed_by_host");
}

TEST_F(StationProgram, EndsWithSessionLostWhenTheHostLeavesNobodyToServe) {
  LoseSessionAt500(false, "station_host_left_alone");
}

TEST_F(StationProgram, AnswersThePasswordPromptWithThePasswordOption) {
  guarded_ = std::make_unique<sim::SimulatedHost>(std::make_unique<session::LoopbackDirectPlay>(hub_),
                                                  "HOST2", sink_);
  guarded_->Host("Atlantic", "s3same", 8);
  options_.Session = "Atlantic";
  // Without --password the prompt is cancelled and the host turns the empty password away.
  ExpectRun(1, "station_password_cancelled");
  options_.Password = "s3same";
  script_ = [this](int64_t now) {
    if (now == 300) stop_ = 1;
  };
  ExpectRun(0, "station_password_answered");  // the password itself is never printed
}

// --corrected holds for the run only: the settings file stays unwritten. The pilot's plan names
// Olympia with its blank, which only the corrected mode reads.
TEST_F(StationProgram, TheCorrectedModeForOneRun) {
  options_.Monitor = true;
  options_.Corrected = true;
  script_ = [this](int64_t now) {
    if (now == 300) pilot_.Join(host_.InstanceId(), "");
    if (now == 1100) pilot_.Say("pst_fp:IFR,OLYMPIA REGIONAL,KOLM,9000");
    if (now == 2500) stop_ = 1;
  };
  ExpectRun(0, "station_corrected");
  EXPECT_FALSE(fs::exists(fs::path(options_.AppFolder) / app::kCorrectedModeFileName));
}

TEST_F(StationProgram, FailsWithTheReasonForARefusalOrAMissingSession) {
  host_.SetRefuseJoins(true);
  ExpectRun(1, "station_join_refused");
  options_.Session = "Atlantic";
  ExpectRun(1, "station_session_missing");
}

}  // namespace
}  // namespace skyvox::station
