// The boundary between the engine's single-byte text (Windows-1252) and Qt's strings, and the small
// pieces every window shares: the "About" menu and its box, the platform's colours.
#pragma once

#include <QColor>
#include <QString>
#include <string>

class QIcon;
class QMainWindow;
class QMessageBox;
class QWidget;

namespace skyvox::ui {

QString ToQt(const std::string& cp1252);
std::string FromQt(const QString& text);

// A colour as the platform writes it, &H00BBGGRR&.
QColor FromBgr(int32_t bgr);

// The program's icon, drawn (a radar scope with its sweep and two targets), so that it needs no image
// plugin; the desktop entry uses the same picture as data/skyvox.svg.
QIcon ProgramIcon();

// The menu "About" with its item "About Skyvox v2.0", which opens the about box.
void AddAboutMenu(QMainWindow& window);
// The about box: the program's name, version and credits. NewAboutBox makes it without showing it.
void ShowAboutBox(QWidget* parent);
QMessageBox* NewAboutBox(QWidget* parent);
inline constexpr const char* kAboutText =
    "<h3>Skyvox v2.0</h3>"
    "<p>An automatic air-traffic controller for FS2002 multiplayer sessions: clearance delivery, ground, "
    "tower, departure, approach and center, talking to the pilots through the session's chat.</p>"
    "<p>Written by the Skyvox team in C++20 with Qt " QT_VERSION_STR
    ".<br>"
    "Terrain elevations from public-domain data; magnetic variation from the World Magnetic Model.</p>";

}  // namespace skyvox::ui
