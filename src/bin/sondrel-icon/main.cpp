// Build tool: writes the program's icon as PNG files of the usual sizes into
// <folder>/hicolor/<N>x<N>/apps/, from the same drawing the window uses.
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>

#include "app/ui/ButtonIcons.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: sondrel-icon FOLDER\n");
    return 2;
  }
  const QIcon icon = sondrel::DrawnIcon(sondrel::ButtonIcon::Application);
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    const QString folder =
        QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(side);
    if (!QDir().mkpath(folder) ||
        !icon.pixmap(side, side).save(folder + QStringLiteral("/org.example.sondrel.png"))) {
      std::fprintf(stderr, "sondrel-icon: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
