#include <gtest/gtest.h>

#include <QProcess>

#include "app/ui/DesktopLauncher.h"

namespace sondrel {
namespace {

TEST(DesktopLauncher, TerminalRunsTheCommandAndStaysOpen) {
  struct Case {
    const char* terminal;
    QStringList expected;
  };
  // The command is handed over as an argument, never pasted into the script:
  // a trailing comment or "&" would otherwise swallow the shell after it.
  const QString script = QStringLiteral(
      "case :$PATH: in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin:/sbin ;; esac; "
      "if [ -z \"$2\" ] || command -v \"$2\" >/dev/null 2>&1; then eval \"$1\"; "
      "else printf '%s\\n' \"$3\"; fi; exec \"${SHELL:-sh}\"");
  const QString command = QStringLiteral("ip -4 neigh show & # \"all\" $HOME");
  const Case cases[] = {
      {"/usr/bin/xterm", {"-e", "sh", "-c", script, "sh", command}},
      {"/usr/bin/x-terminal-emulator", {"-e", "sh", "-c", script, "sh", command}},
      {"/usr/bin/konsole", {"-e", "sh", "-c", script, "sh", command}},
      {"/usr/bin/gnome-terminal", {"--", "sh", "-c", script, "sh", command}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminal);
    EXPECT_EQ(TerminalArguments(QString::fromLatin1(c.terminal), command), c.expected);
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

namespace sondrel {
namespace {

// The terminal's own part run by a real shell: the command means what the
// user typed, and the shell after it still starts.
TEST(DesktopLauncher, TheTerminalScriptRunsTheCommandAsTyped) {
  const QString command = QStringLiteral(R"(printf '%s|' "a;b" 'c d' $X; printf end # tail &)");
  QStringList arguments = TerminalArguments(QStringLiteral("/usr/bin/xterm"), command);
  ASSERT_EQ(arguments.size(), 6);
  arguments.removeFirst();  // -e
  const QString program = arguments.takeFirst();
  QProcess shell;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("X"), QStringLiteral("1"));
  env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/echo"));  // stands for the user's shell
  shell.setProcessEnvironment(env);
  shell.start(program, arguments);
  ASSERT_TRUE(shell.waitForFinished(10000));
  EXPECT_EQ(shell.readAllStandardOutput().toStdString(), "a;b|c d|1|end\n");
}

}  // namespace
}  // namespace sondrel
