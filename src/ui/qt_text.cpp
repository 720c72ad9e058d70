#include "ui/qt_text.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include "app/program_state.h"
#include "app/sim_folder.h"
#include "base/text.h"

namespace skyvox::ui {

QString ToQt(const std::string& cp1252) {
  return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

std::string FromQt(const QString& text) {
  return Utf8ToCp1252(text.toStdString());
}

QColor FromBgr(int32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

void AddAboutMenu(QMainWindow& window) {
  QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(app::kAboutMenu));
  QAction* item = menu->addAction(QString::fromUtf8(app::kAboutMenuItem));
  item->setObjectName("aboutItem");
  QObject::connect(item, &QAction::triggered, &window, [&window] { ShowAboutBox(&window); });
}

void ShowAboutBox(QWidget* parent) {
  QMessageBox::about(parent, QString::fromUtf8(app::kAboutMenuItem), QString::fromUtf8(kAboutText));
}

}  // namespace skyvox::ui
