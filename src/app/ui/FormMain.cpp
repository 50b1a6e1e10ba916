#include "app/ui/FormMain.h"

#include <QApplication>

namespace sondrel {

FormMain::FormMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QStringLiteral(" Network Connectivity Tester & Logger  8.23"));
}

int RunMainWindow(QApplication& app) {
  FormMain w;
  w.show();
  return app.exec();
}

}  // namespace sondrel
