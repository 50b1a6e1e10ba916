#include "app/ui/DesktopLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include "core/TerminalCommand.h"

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
  for (const char* name : kTerminalCandidates) candidates << QString::fromLatin1(name);
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
  QStringList arguments;
  const std::vector<std::string> argv = TerminalArgv(terminal.toStdString(), command.toStdString());
  for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
  return arguments;
}

bool DesktopLauncher::openTerminal(const QString& command) {
  const QString terminal = FindTerminal();
  if (terminal.isEmpty()) return false;
  return QProcess::startDetached(terminal, TerminalArguments(terminal, command));
}

}  // namespace sondrel
