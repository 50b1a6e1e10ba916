#pragma once
// The real launcher: the desktop's default applications and terminal emulator.

#include <QStringList>

#include "ports/Launcher.h"

namespace sondrel {

QString FindTerminal();

class DesktopLauncher final : public ILauncher {
 public:
  // A URL with a scheme ("https:", "mailto:", "file:") opens as it is; any
  // other text is a local file path.
  bool openUrl(const QString& urlOrPath) override;
  // Opens `command` in a terminal window that stays open after it ends.
  bool openTerminal(const QString& command) override;
  // The default application of the file's kind, as the desktop's MIME
  // associations name it, started with the path as its argument.
  void openFile(FileKind kind, const QString& path, std::function<void(bool)> done) override;
  QString findTerminal() override { return FindTerminal(); }
};

// The argument vector of a desktop entry's Exec line for one file: the file
// field code (%f %F %u %U) becomes `path`, the other field codes go, and the
// path is added at the end when the line has no file field.
QStringList DesktopExecArguments(const QString& exec, const QString& path);

// The first terminal emulator found: $TERMINAL, x-terminal-emulator,
// gnome-terminal, konsole, xterm; "" when there is none.

// The argument list that makes `terminal` run `command` through the shell and
// then stay open with the user's shell; `command` is one argument, unchanged.
QStringList TerminalArguments(const QString& terminal, const QString& command);

}  // namespace sondrel
