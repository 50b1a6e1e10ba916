#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

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

// A desktop of the test's own: an xdg-mime on the search path that names an
// editor for plain text after SONDREL_TEST_MIME_DELAY seconds ("never": no
// answer; no other type),
// and that editor's desktop entry in a data home of its own.
class DesktopOfOurOwn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    const QString bin = dir_.filePath(QStringLiteral("bin"));
    const QString apps = dir_.filePath(QStringLiteral("data/applications"));
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(apps));
    write(bin + QStringLiteral("/xdg-mime"),
          "#!/bin/sh\ncase \"$3\" in\n"
          "text/plain) [ \"$SONDREL_TEST_MIME_DELAY\" = never ] && exec sleep 60\n"
          "  sleep \"$SONDREL_TEST_MIME_DELAY\"\n"
          "  echo sondrel-test-editor.desktop ;;\n"
          "*) exit 4 ;;\nesac\n");
    editor_ = bin + QStringLiteral("/test-editor");
    write(editor_, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.opened\"\n");
    write(apps + QStringLiteral("/sondrel-test-editor.desktop"),
          ("[Desktop Entry]\nType=Application\nName=Test editor\nExec=" + editor_.toUtf8() + " %f\n").constData());
    oldPath_ = qgetenv("PATH");
    oldData_ = qgetenv("XDG_DATA_HOME");
    qputenv("PATH", QFile::encodeName(bin) + ":" + oldPath_);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("data"))));
  }
  void TearDown() override {
    qputenv("PATH", oldPath_);
    if (oldData_.isNull())
      qunsetenv("XDG_DATA_HOME");
    else
      qputenv("XDG_DATA_HOME", oldData_);
    qunsetenv("SONDREL_TEST_MIME_DELAY");
  }
  static void write(const QString& path, const char* text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  // Asks `launcher` to open `path` as `kind`; the answer, once it came.
  static std::optional<bool> open(DesktopLauncher& launcher, ILauncher::FileKind kind, const QString& path,
                                  bool& answeredAtOnce) {
    std::optional<bool> opened;
    launcher.openFile(kind, path, [&opened](bool ok) { opened = ok; });
    answeredAtOnce = opened.has_value();
    QTest::qWaitFor([&] { return opened.has_value(); }, 15000);
    return opened;
  }
  QTemporaryDir dir_;
  QString editor_;
  QByteArray oldPath_, oldData_;
};

TEST_F(DesktopOfOurOwn, AFileOpensInTheDefaultApplicationWhileTheWindowGoesOn) {
  qputenv("SONDREL_TEST_MIME_DELAY", "1");
  DesktopLauncher launcher;
  const QString path = QStringLiteral("/tmp/my results; x.txt");
  bool atOnce = true;
  EXPECT_EQ(open(launcher, ILauncher::FileKind::TextEditor, path, atOnce), std::optional<bool>(true));
  EXPECT_FALSE(atOnce) << "the answer waited for the desktop on the caller's thread";
  QFile opened(editor_ + QStringLiteral(".opened"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return opened.exists(); }, 10000));
  ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(opened.readAll()), path);
}

TEST_F(DesktopOfOurOwn, NoApplicationOrADesktopThatNeverAnswersIsToldOnce) {
  DesktopLauncher launcher;
  bool atOnce = true;
  // Neither spreadsheet type names an application.
  qputenv("SONDREL_TEST_MIME_DELAY", "0");
  EXPECT_EQ(open(launcher, ILauncher::FileKind::Spreadsheet, QStringLiteral("/tmp/r.csv"), atOnce),
            std::optional<bool>(false));
  // A question the desktop does not answer is given up.
  qputenv("SONDREL_TEST_MIME_DELAY", "never");
  int answers = 0;
  launcher.openFile(ILauncher::FileKind::TextEditor, QStringLiteral("/tmp/r.txt"), [&](bool ok) {
    ++answers;
    EXPECT_FALSE(ok);
  });
  EXPECT_EQ(answers, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return answers > 0; }, 15000));
  QTest::qWait(200);
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(QFile::exists(editor_ + QStringLiteral(".opened")));
}

}  // namespace
}  // namespace sondrel
