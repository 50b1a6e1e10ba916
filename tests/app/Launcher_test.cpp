#include <gtest/gtest.h>

#include "app/ui/DesktopLauncher.h"

namespace sondrel {
namespace {

TEST(DesktopLauncher, TerminalRunsTheCommandAndStaysOpen) {
  struct Case {
    const char* terminal;
    QStringList expected;
  };
  const QString script = QStringLiteral("ip -4 neigh show; exec \"${SHELL:-sh}\"");
  const Case cases[] = {
      {"/usr/bin/xterm", {"-e", "sh", "-c", script}},
      {"/usr/bin/x-terminal-emulator", {"-e", "sh", "-c", script}},
      {"/usr/bin/konsole", {"-e", "sh", "-c", script}},
      {"/usr/bin/gnome-terminal", {"--", "sh", "-c", script}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminal);
    EXPECT_EQ(TerminalArguments(QString::fromLatin1(c.terminal), QStringLiteral("ip -4 neigh show")),
              c.expected);
  }
}

TEST(DesktopLauncher, TerminalFromTheEnvironmentComesFirst) {
  const QByteArray old = qgetenv("TERMINAL");
  qputenv("TERMINAL", "/bin/sh");
  EXPECT_EQ(FindTerminal().toStdString(), "/bin/sh");
  qputenv("TERMINAL", "/no/such/terminal");
  EXPECT_NE(FindTerminal().toStdString(), "/no/such/terminal");
  if (old.isNull())
    qunsetenv("TERMINAL");
  else
    qputenv("TERMINAL", old);
}

TEST(DesktopLauncher, FileTakesThePlaceOfTheFileFieldAndOtherCodesGo) {
  const QString path = QStringLiteral("/home/u/my results; rm -rf ~.csv");
  EXPECT_EQ(DesktopExecArguments(QStringLiteral("libreoffice --calc %U"), path),
            (QStringList{"libreoffice", "--calc", path}));
  EXPECT_EQ(DesktopExecArguments(QStringLiteral("gedit %F --name=%c %i"), path),
            (QStringList{"gedit", path, "--name="}));
  // No file field: the path goes last, as one argument.
  EXPECT_EQ(DesktopExecArguments(QStringLiteral("\"/opt/my editor/ed\" -x 100%%"), path),
            (QStringList{"/opt/my editor/ed", "-x", "100%", path}));
  EXPECT_TRUE(DesktopExecArguments(QString(), path).isEmpty());
}

}  // namespace
}  // namespace sondrel
