// The "Connecting to FS Multiplayer Session" window: the connection types, the callsign, the search,
// the sessions found and the join, over app::ConnectionController.
#pragma once

#include "app/connection.h"
#include "ui/window_view.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace skyvox::ui {

class ConnectionView : public WindowView {
 public:
  explicit ConnectionView(app::ConnectionController& controller, QWidget* parent = nullptr);

  // The 100 ms join handshake timer's tick.
  void HandshakeTick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs one controller event, then renders and reports a closed window. blocking: the event may
  // wait on the network (a search's enumeration, a join), so the window shows a wait cursor meanwhile.
  template <typename Event>
  void Forward(Event&& event, bool blocking = false);
  void Render();

  app::ConnectionController& controller_;
  QListWidget* connectionList_;
  QLineEdit* callsignEdit_;
  QPushButton* searchButton_;
  QLabel* statusLabel_;
  QListWidget* sessionList_;
  QPushButton* joinButton_;
  QPushButton* closeButton_;
  QLabel* causeLabel_;
  QTimer* handshakeTimer_;
};

}  // namespace skyvox::ui
