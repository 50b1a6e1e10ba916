#include <QApplication>

#include "app/ui/Composition.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return sondrel::RunMainWindow(app);
}
