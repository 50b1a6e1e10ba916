#include <QApplication>

#include "app/ui/FormMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return sondrel::RunMainWindow(app);
}
