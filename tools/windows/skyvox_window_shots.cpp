// skyvox-window-shots OUTFOLDER: renders every window of skyvox off screen as a PNG, in the state a
// user meets it during a first run (see guided_run.h): splash.png, sim_folder.png,
// settings_building.png, settings.png, connection.png, station.png, and about.png.
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "app/data_folder.h"
#include "ui/qt_text.h"
#include "windows/guided_run.h"

namespace fs = std::filesystem;
using namespace skyvox;

namespace {

bool Save(QWidget& window, const fs::path& file) {
  QApplication::processEvents();
  if (!window.grab().save(QString::fromStdString(file.string()))) {
    std::cerr << "skyvox-window-shots: cannot write " << file.string() << '\n';
    return false;
  }
  std::cout << file.string() << '\n';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]).rfind("-", 0) == 0) {
    std::cerr << "Usage: skyvox-window-shots OUTFOLDER\n"
                 "Renders every window off screen as a PNG in OUTFOLDER.\n";
    return argc == 2 && std::string(argv[1]) == "--help" ? 0 : 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const fs::path out = fs::absolute(argv[1]);
  std::error_code ec;
  fs::create_directories(out, ec);
  const fs::path work = fs::temp_directory_path() / ("skyvox-window-shots-" + std::to_string(::getpid()));
  bool ok = true;
  try {
    fs::create_directories(work);
    windows::GuidedRun run(work, app::ShippedDataFolder(SKYVOX_DATA_DIR));
    run.AtWindow = [&](const std::string& name, QWidget& window) {
      ok &= Save(window, out / (name + ".png"));
    };
    run.Run();
    QMessageBox* about = ui::NewAboutBox(nullptr);
    about->show();
    ok &= Save(*about, out / "about.png");
    about->close();
  } catch (const std::exception& e) {
    std::cerr << "skyvox-window-shots: " << e.what() << '\n';
    ok = false;
  }
  fs::remove_all(work, ec);
  return ok ? 0 : 1;
}
