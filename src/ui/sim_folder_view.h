// The simulator-folder window ("Creating Configuration File"): a drive list, a folder chooser over the
// file system showing folders only, the path text box and the button that writes the configuration.
#pragma once

#include <vector>

#include "app/drives.h"
#include "app/sim_folder.h"
#include "ui/window_view.h"

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QModelIndex;
class QTreeView;

namespace skyvox::ui {

class SimFolderView : public WindowView {
 public:
  // drives: the drive list's entries; empty lists this machine's drives (app::ListDrives).
  explicit SimFolderView(app::SimFolderController& controller, std::vector<app::Drive> drives = {},
                         QWidget* parent = nullptr);

 private:
  void Render();
  // Fills the drive list for the folder path (a Wine prefix adds its letters) and picks the drive that
  // holds the path (keepRoot when it is still listed), without telling the controller.
  void FillDrives(const std::string& folder, const std::string& keepRoot = {});
  void ShowDrive(const std::string& path);
  // Opens the folders leading to the chosen one and scrolls it into view.
  void RevealCurrent();
  void DrivePicked(int index);
  void FolderPicked(const QModelIndex& index);

  app::SimFolderController& controller_;
  bool fixedDrives_;
  std::vector<app::Drive> drives_;
  std::string winePrefix_;
  QComboBox* driveList_ = nullptr;
  QFileSystemModel* folders_ = nullptr;
  QTreeView* folderList_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
};

}  // namespace skyvox::ui
