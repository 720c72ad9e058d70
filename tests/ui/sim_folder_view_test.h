#pragma once

#include <QObject>

class SimFolderViewTest : public QObject {
  Q_OBJECT
 private slots:
  void ChoosingAFolderAndCreatingTheConfiguration();
};
