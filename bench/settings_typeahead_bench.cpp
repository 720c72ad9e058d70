// The settings window's type-ahead over a database of 30,000 airports ("KAAA - AIRPORT AAA" style):
// the time from typing a prefix into the airport list to the completion's filtered list being ready,
// through the real window (offscreen) and its real line edit.
#include <benchmark/benchmark.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/settings.h"
#include "scenery/database_files.h"
#include "ui/settings_view.h"

namespace {
namespace fs = std::filesystem;
using namespace skyvox;

constexpr int kAirports = 30000;

std::string Letters(int value, int count) {
  std::string text(static_cast<size_t>(count), 'A');
  for (int i = count - 1; i >= 0; --i, value /= 26) text[static_cast<size_t>(i)] = char('A' + value % 26);
  return text;
}

// A program folder whose database lists the airports, and the settings window loaded over it.
struct Window {
  fs::path app =
      fs::temp_directory_path() / ("skyvox-typeahead-bench-" + std::to_string(std::random_device{}()));
  app::ProgramState state;
  app::MessageBoxLog boxes;
  app::SettingsController controller{state, boxes};
  std::unique_ptr<ui::SettingsView> view;
  QLineEdit* edit = nullptr;
  QCompleter* completer = nullptr;

  Window() {
    fs::create_directories(app);
    int32_t count = 0;
    for (int i = 0; i < kAirports; ++i) {
      scenery::AirportRecord airport;
      airport.Ident = (i % 2 ? "C" : "K") + Letters(i / 2, 3);
      airport.Name = "AIRPORT " + Letters(i / 2, 3);
      scenery::AppendAirportRecord(app / scenery::kAirportsFileName, airport, count);
    }
    std::ofstream(app / scenery::kAirspacesFileName, std::ios::binary);
    state.World.AppFolder = app.string();
    state.World.SimFolder = (app / "no-simulator").string();
    controller.Load();
    view = std::make_unique<ui::SettingsView>(controller);
    view->show();
    auto* airports = view->findChild<QComboBox*>("airportList");
    edit = airports->lineEdit();
    completer = airports->completer();
  }
  ~Window() {
    view.reset();
    std::error_code ec;
    fs::remove_all(app, ec);
  }
};

Window& TheWindow() {
  static Window window;
  return window;
}

void BM_TypeaheadPrefix(benchmark::State& state) {
  Window& window = TheWindow();
  const QString prefix = state.range(0) == 1 ? "k" : state.range(0) == 2 ? "kq" : "kqz";
  int matches = 0;
  for (auto _ : state) {
    state.PauseTiming();
    window.edit->clear();
    window.completer->popup()->hide();
    state.ResumeTiming();
    QTest::keyClicks(window.edit, prefix);
    matches = window.completer->completionCount();
    benchmark::DoNotOptimize(matches);
  }
  state.counters["entries"] = static_cast<double>(window.controller.AirportList().size());
  state.counters["matches"] = matches;
}
BENCHMARK(BM_TypeaheadPrefix)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// One more letter on a prefix already typed: what the user waits for at each key.
void BM_TypeaheadNextLetter(benchmark::State& state) {
  Window& window = TheWindow();
  int matches = 0;
  for (auto _ : state) {
    state.PauseTiming();
    window.edit->clear();
    QTest::keyClicks(window.edit, "kq");
    state.ResumeTiming();
    QTest::keyClick(window.edit, 'z');
    matches = window.completer->completionCount();
  }
  state.counters["matches"] = matches;
}
BENCHMARK(BM_TypeaheadNextLetter)->Unit(benchmark::kMillisecond);

// Building the window over the loaded list: the list's model and its sorted view, once per load.
void BM_WindowOverTheList(benchmark::State& state) {
  Window& window = TheWindow();
  for (auto _ : state) {
    ui::SettingsView view(window.controller);
    benchmark::DoNotOptimize(&view);
  }
}
BENCHMARK(BM_WindowOverTheList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The offscreen platform's notes about keyboard grabs and raising windows, once per key.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg || !message.startsWith("This plugin does not support")) {
      fprintf(stderr, "%s\n", qPrintable(message));
    }
  });
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
