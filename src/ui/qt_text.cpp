#include "ui/qt_text.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

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

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 32, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    QRadialGradient scope(64, 64, 60);
    scope.setColorAt(0, QColor("#0d4d2b"));
    scope.setColorAt(1, QColor("#06210f"));
    p.setBrush(scope);
    p.setPen(QPen(QColor("#1f2a30"), 4));
    p.drawEllipse(QPointF(64, 64), 60, 60);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(61, 220, 132, 115), 1.5));
    p.drawEllipse(QPointF(64, 64), 40, 40);
    p.drawEllipse(QPointF(64, 64), 20, 20);
    p.drawLine(64, 6, 64, 122);
    p.drawLine(6, 64, 122, 64);
    QPainterPath sweep;
    sweep.moveTo(64, 64);
    sweep.arcTo(QRectF(4, 4, 120, 120), 0, 24);
    sweep.closeSubpath();
    p.fillPath(sweep, QColor(61, 220, 132, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#ffcc33"));
    p.drawEllipse(QPointF(42, 84), 4, 4);
    p.drawEllipse(QPointF(74, 96), 4, 4);
    p.setBrush(QColor("#e8fff1"));
    p.drawEllipse(QPointF(92, 40), 5, 5);
    icon.addPixmap(pixmap);
  }
  return icon;
}

void AddAboutMenu(QMainWindow& window) {
  QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(app::kAboutMenu));
  QAction* item = menu->addAction(QString::fromUtf8(app::kAboutMenuItem));
  item->setObjectName("aboutItem");
  QObject::connect(item, &QAction::triggered, &window, [&window] { ShowAboutBox(&window); });
}

QMessageBox* NewAboutBox(QWidget* parent) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(app::kAboutMenuItem),
                              QString::fromUtf8(kAboutText), QMessageBox::Ok, parent);
  box->setIconPixmap(ProgramIcon().pixmap(64, 64));
  box->setAttribute(Qt::WA_DeleteOnClose);
  return box;
}

void ShowAboutBox(QWidget* parent) {
  NewAboutBox(parent)->exec();
}

}  // namespace skyvox::ui
