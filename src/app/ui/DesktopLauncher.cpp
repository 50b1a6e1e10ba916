#include "app/ui/DesktopLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace sondrel {

bool DesktopLauncher::openUrl(const QString& urlOrPath) {
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
  const QUrl url = scheme.match(urlOrPath).hasMatch() ? QUrl(urlOrPath)
                                                      : QUrl::fromLocalFile(urlOrPath);
  return url.isValid() && QDesktopServices::openUrl(url);
}

QString FindTerminal() {
  QStringList candidates;
  const QString fromEnv = qEnvironmentVariable("TERMINAL").trimmed();
  if (!fromEnv.isEmpty()) candidates << fromEnv;
  candidates << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
             << QStringLiteral("konsole") << QStringLiteral("xterm");
  for (const QString& name : candidates) {
    if (name.contains(QLatin1Char('/'))) {
      if (QFileInfo(name).isExecutable()) return name;
    } else if (QString found = QStandardPaths::findExecutable(name); !found.isEmpty()) {
      return found;
    }
  }
  return {};
}

QStringList TerminalArguments(const QString& terminal, const QString& command) {
  const QString script = command + QStringLiteral("; exec \"${SHELL:-sh}\"");
  const QStringList shell{QStringLiteral("sh"), QStringLiteral("-c"), script};
  // gnome-terminal dropped -e for a command with arguments; the rest take -e.
  if (QFileInfo(terminal).fileName() == QStringLiteral("gnome-terminal"))
    return QStringList{QStringLiteral("--")} + shell;
  return QStringList{QStringLiteral("-e")} + shell;
}

bool DesktopLauncher::openTerminal(const QString& command) {
  const QString terminal = FindTerminal();
  if (terminal.isEmpty()) return false;
  return QProcess::startDetached(terminal, TerminalArguments(terminal, command));
}

}  // namespace sondrel
