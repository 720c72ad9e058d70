// The simulator-folder window over real folders: the texts, a folder chosen in the chooser and a
// drive chosen in the drive list reaching the text box, typing, and "Create Configuration File" on a
// folder without and with fs2002.exe.
#include "ui/sim_folder_view_test.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>
#include <filesystem>

#include "app/config_file.h"
#include "support/temp_dir.h"
#include "ui/sim_folder_view.h"

using namespace skyvox;

void SimFolderViewTest::ChoosingAFolderAndCreatingTheConfiguration() {
  testing::TempDir app, disk;
  for (const char* folder : {"Other", "FS2002"}) std::filesystem::create_directories(disk.Path() / folder);
  disk.Write("FS2002/FS2002.EXE", std::string("MZ"));
  const std::string sim = (disk.Path() / "FS2002").string(), other = (disk.Path() / "Other").string();
  app::ProgramState state;
  state.World.AppFolder = app.Str();
  app::MessageBoxLog boxes;
  app::SimFolderController controller(state, boxes);
  controller.Load(disk.Str());
  ui::SimFolderView view(controller, {{"/", "/"}, {"fs", sim}});
  int closed = 0;
  view.Closed = [&] { ++closed; };
  view.show();

  QCOMPARE(view.windowTitle(), QString("Creating Configuration File"));
  QCOMPARE(view.findChild<QGroupBox*>("simFolderFrame")->title(), QString("Getting FS2002 Path"));
  QCOMPARE(view.findChild<QLabel*>("pathLabel")->text(), QString("Current Path:"));
  QCOMPARE(view.findChild<QLabel*>("hintLabel")->text() + view.findChild<QLabel*>("hintText")->text(),
           QString("Example:C:\\Program Files\\Microsoft Games\\FS2002"));
  auto* create = view.findChild<QPushButton*>("createButton");
  QCOMPARE(create->text(), QString("Create Configuration File"));
  auto* path = view.findChild<QLineEdit*>("pathEdit");
  QCOMPARE(path->text(), QString::fromStdString(disk.Str()));

  auto* tree = view.findChild<QTreeView*>("folderList");
  auto* model = qobject_cast<QFileSystemModel*>(tree->model());
  tree->setCurrentIndex(model->index(QString::fromStdString(other)));
  QCOMPARE(path->text(), QString::fromStdString(other));
  QTest::mouseClick(create, Qt::LeftButton);
  QCOMPARE(boxes.Shown().back().Text, std::string(app::kNotSimFolderText));
  QVERIFY(controller.IsOpen());

  path->clear();
  QTest::keyClicks(path, "C:\\");  // a drive root loses its separator
  QCOMPARE(path->text(), QString("C:"));

  emit view.findChild<QComboBox*>("driveList")->activated(1);
  QCOMPARE(model->filePath(tree->rootIndex()), QString::fromStdString(sim));
  QCOMPARE(path->text(), QString::fromStdString(sim));
  QTest::mouseClick(create, Qt::LeftButton);
  QCOMPARE(boxes.Shown().back().Text, std::string(app::kConfigCreatedText));
  QCOMPARE(app::ReadConfigFile(app.Str()).SimFolder, sim);
  QCOMPARE(closed, 1);
  QVERIFY(view.isHidden());
}
