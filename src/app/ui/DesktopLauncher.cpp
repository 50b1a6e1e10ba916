#include "app/ui/DesktopLauncher.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "core/command/TerminalCommand.h"

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

namespace {

// The Exec line of the desktop entry `id`; "" when it cannot be found.
QString DesktopExec(const QString& id) {
  const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
  QFile entry(file);
  if (file.isEmpty() || !entry.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  bool inMainGroup = false;
  while (!entry.atEnd()) {
    const QString line = QString::fromUtf8(entry.readLine()).trimmed();
    if (line.startsWith(QLatin1Char('[')))
      inMainGroup = line == QStringLiteral("[Desktop Entry]");
    else if (inMainGroup && line.startsWith(QStringLiteral("Exec=")))
      return line.mid(5).trimmed();
  }
  return {};
}

}  // namespace

QStringList DesktopExecArguments(const QString& exec, const QString& path) {
  QStringList out;
  bool placed = false;
  for (const QString& arg : QProcess::splitCommand(exec)) {
    static const QStringList fileCodes{QStringLiteral("%f"), QStringLiteral("%F"),
                                       QStringLiteral("%u"), QStringLiteral("%U")};
    if (fileCodes.contains(arg)) {
      if (!placed) out << path;
      placed = true;
      continue;
    }
    // Field codes inside an argument (%i, %c, %k...) are dropped; "%%" is a "%".
    QString kept;
    for (qsizetype i = 0; i < arg.size(); ++i) {
      if (arg[i] != QLatin1Char('%') || i + 1 == arg.size()) {
        kept += arg[i];
        continue;
      }
      if (arg[++i] == QLatin1Char('%')) kept += QLatin1Char('%');
    }
    if (!kept.isEmpty()) out << kept;
  }
  if (!placed && !out.isEmpty()) out << path;
  return out;
}

namespace {

// Starts the default application of the first of `types` that names one
// which starts, asking the desktop (xdg-mime) for one type at a time while
// the window goes on; each question is given up after 3 s.
void OpenWithFirstDefault(QStringList types, const QString& path, std::function<void(bool)> done) {
  if (types.isEmpty()) {
    done(false);
    return;
  }
  const QString type = types.takeFirst();
  auto* query = new QProcess;
  auto* limit = new QTimer(query);
  limit->setSingleShot(true);
  QObject::connect(limit, &QTimer::timeout, query, [query] { query->kill(); });
  auto next = [query, types, path, done] {
    query->deleteLater();
    OpenWithFirstDefault(types, path, done);
  };
  QObject::connect(query, &QProcess::errorOccurred, query, [query, next](QProcess::ProcessError error) {
    // A program that did not start sends no finished().
    if (error == QProcess::FailedToStart) next();
  });
  QObject::connect(query, &QProcess::finished, query,
                   [query, path, done, next](int code, QProcess::ExitStatus status) {
                     // Several may be named, separated by ";": the first is the default.
                     const QString app =
                         status == QProcess::NormalExit && code == 0
                             ? QString::fromLocal8Bit(query->readAllStandardOutput()).trimmed().section(QLatin1Char(';'), 0, 0)
                             : QString();
                     const QStringList argv = app.isEmpty() ? QStringList() : DesktopExecArguments(DesktopExec(app), path);
                     if (!argv.isEmpty() && QProcess::startDetached(argv.first(), argv.mid(1))) {
                       query->deleteLater();
                       done(true);
                       return;
                     }
                     next();
                   });
  query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
  limit->start(3000);
}

}  // namespace

void DesktopLauncher::openFile(FileKind kind, const QString& path, std::function<void(bool)> done) {
  // A spreadsheet's own type names a spreadsheet program for certain; the
  // CSV type may name one.
  const QStringList types = kind == FileKind::Spreadsheet
                                ? QStringList{QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"),
                                              QStringLiteral("text/csv")}
                                : QStringList{QStringLiteral("text/plain")};
  OpenWithFirstDefault(types, path, std::move(done));
}

}  // namespace sondrel
