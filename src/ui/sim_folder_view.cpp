#include "ui/sim_folder_view.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace skyvox::ui {
namespace {

QLabel* Label(const char* text, const char* name, QWidget* parent) {
  auto* label = new QLabel(ToQt(text), parent);
  label->setObjectName(name);
  return label;
}

// Paths are native file names in the system's 8-bit encoding (the ANSI code page on Windows, as the
// engine's texts are there), with the system's separators ("C:\FS2002" on Windows, where Qt itself
// writes "C:/FS2002").
QString NativePath(const std::string& path) {
  return QDir::fromNativeSeparators(QString::fromLocal8Bit(path.data(), qsizetype(path.size())));
}
std::string FromNativePath(const QString& path) {
  return QDir::toNativeSeparators(path).toLocal8Bit().toStdString();
}

bool IsSeparator(char c) {
  return c == '/' || c == QDir::separator().toLatin1();
}

// True when the drive (a root such as "/" or "C:\", or a mount point) holds the path.
bool Holds(const std::string& drive, const std::string& path) {
  if (drive.empty() || !path.starts_with(drive)) return false;
  return path.size() == drive.size() || IsSeparator(drive.back()) || IsSeparator(path[drive.size()]);
}

}  // namespace

SimFolderView::SimFolderView(app::SimFolderController& controller, std::vector<app::Drive> drives,
                             QWidget* parent)
    : WindowView(parent), controller_(controller), fixedDrives_(!drives.empty()), drives_(std::move(drives)) {
  setWindowTitle(ToQt(app::kSimFolderCaption));
  AddAboutMenu(*this);

  auto* central = new QWidget(this);
  auto* frame = new QGroupBox(ToQt(app::kSimFolderFrame), central);
  frame->setObjectName("simFolderFrame");
  driveList_ = new QComboBox(frame);
  driveList_->setObjectName("driveList");
  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  folders_->setReadOnly(true);
  folderList_ = new QTreeView(frame);
  folderList_->setObjectName("folderList");
  folderList_->setModel(folders_);
  for (int column = 1; column < folders_->columnCount(); ++column) folderList_->hideColumn(column);
  folderList_->header()->hide();
  folderList_->setMinimumHeight(240);
  pathEdit_ = new QLineEdit(frame);
  pathEdit_->setObjectName("pathEdit");
  auto* create = new QPushButton(ToQt(app::kSimFolderButton), frame);
  create->setObjectName("createButton");

  auto* grid = new QGridLayout(frame);
  grid->addWidget(driveList_, 0, 0, 1, 2);
  grid->addWidget(folderList_, 1, 0, 1, 2);
  grid->addWidget(Label(app::kSimFolderPathLabel, "pathLabel", frame), 2, 0);
  grid->addWidget(pathEdit_, 2, 1);
  grid->addWidget(Label(app::kSimFolderHintLabel, "hintLabel", frame), 3, 0);
  grid->addWidget(Label(app::kSimFolderHint, "hintText", frame), 3, 1);
  grid->addWidget(create, 4, 0, 1, 2, Qt::AlignRight);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(frame);
  setCentralWidget(central);
  resize(520, 460);

  FillDrives(controller_.FolderListPath());
  connect(driveList_, &QComboBox::activated, this, &SimFolderView::DrivePicked);
  connect(folderList_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &SimFolderView::FolderPicked);
  // The model reads folders in the background: once the folders leading to the chosen one are read,
  // the list opens them and shows the chosen folder.
  connect(folders_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
    const QString chosen = folders_->filePath(folderList_->currentIndex());
    if (!chosen.isEmpty() && chosen.startsWith(loaded))
      QTimer::singleShot(0, this, [this] { RevealCurrent(); });
  });
  connect(pathEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    controller_.TextChanged(FromQt(text));
    Render();
    ReportIfClosed(controller_.IsOpen());
  });
  connect(create, &QPushButton::clicked, this, [this] {
    controller_.CreatePressed();
    Render();
    ReportIfClosed(controller_.IsOpen());
  });
  Render();
}

void SimFolderView::FillDrives(const std::string& folder, const std::string& keepRoot) {
  winePrefix_ = app::WinePrefixOf(folder);
  if (!fixedDrives_) drives_ = app::ListDrives(folder);
  const QSignalBlocker block(driveList_);
  driveList_->clear();
  int chosen = -1;
  size_t longest = 0;
  for (size_t i = 0; i < drives_.size(); ++i) {
    driveList_->addItem(NativePath(drives_[i].Display));
    if (Holds(drives_[i].Path, folder) && drives_[i].Path.size() >= longest) {
      chosen = static_cast<int>(i);
      longest = drives_[i].Path.size();
    }
  }
  // The folder list stays where the user is browsing when that drive is still on offer.
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i].Path == keepRoot) chosen = static_cast<int>(i);
  }
  driveList_->setCurrentIndex(chosen);
  ShowDrive(chosen >= 0 ? drives_[static_cast<size_t>(chosen)].Path : "/");
}

void SimFolderView::ShowDrive(const std::string& path) {
  const QSignalBlocker block(folderList_->selectionModel());
  const QModelIndex root = folders_->setRootPath(NativePath(path));
  if (folderList_->rootIndex() != root) folderList_->setRootIndex(root);
}

void SimFolderView::DrivePicked(int index) {
  if (index < 0 || static_cast<size_t>(index) >= drives_.size()) return;
  const std::string path = drives_[static_cast<size_t>(index)].Path;
  ShowDrive(path);
  controller_.DriveChanged(path);
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void SimFolderView::FolderPicked(const QModelIndex& index) {
  if (!index.isValid()) return;
  const std::string path = FromNativePath(folders_->filePath(index));
  controller_.FolderChanged(path);
  // Entering a Wine prefix (or leaving one) changes the drive letters on offer.
  if (app::WinePrefixOf(path) != winePrefix_) FillDrives(path, FromNativePath(folders_->rootPath()));
  Render();
  ReportIfClosed(controller_.IsOpen());
}

void SimFolderView::RevealCurrent() {
  const QModelIndex current = folderList_->currentIndex();
  for (QModelIndex parent = current.parent(); parent.isValid() && parent != folderList_->rootIndex();
       parent = parent.parent()) {
    folderList_->expand(parent);
  }
  folderList_->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

void SimFolderView::Render() {
  const QString text = ToQt(controller_.Text());
  if (pathEdit_->text() != text) {
    const QSignalBlocker block(pathEdit_);
    pathEdit_->setText(text);
  }
  const QModelIndex folder = folders_->index(NativePath(controller_.FolderListPath()));
  if (folder.isValid() && folderList_->currentIndex() != folder) {
    const QSignalBlocker block(folderList_->selectionModel());
    folderList_->setCurrentIndex(folder);
    RevealCurrent();
  }
}

}  // namespace skyvox::ui
