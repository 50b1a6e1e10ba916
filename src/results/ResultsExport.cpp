#include "results/ResultsExport.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <sstream>

#include "core/results/PingExport.h"
#include "core/report/Report.h"
#include "core/ping/RunRecords.h"
#include "core/ports/Clock.h"
#include "core/ports/FileService.h"
#include "ports/Launcher.h"
#include "ports/Prompter.h"
#include "results/AskSaveFile.h"
#include "results/OpenOnDesktop.h"
#include "ping/RunLog.h"
#include "text/TextBytes.h"

namespace sondrel {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

QDateTime Now(const IClock* clock) {
  if (!clock) return QDateTime::currentDateTime();
  const LocalDateTime t = clock->now();
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

bool HasNul(const std::string& bytes) { return bytes.find('\0') != std::string::npos; }

// Rewrites the unquoted runs of `letter` in a date-time format.
template <typename Rewrite>
QString RewriteRuns(const QString& format, QChar letter, Rewrite rewrite) {
  QString out;
  bool quoted = false;
  for (qsizetype k = 0; k < format.size();) {
    const QChar c = format[k];
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (quoted || c != letter) {
      out += c;
      ++k;
      continue;
    }
    qsizetype end = k;
    while (end < format.size() && format[end] == letter) ++end;
    out += rewrite(end - k);
    k = end;
  }
  return out;
}

}  // namespace

QString GeneralDateText(const QDateTime& moment, const QLocale& locale) {
  const QString date = RewriteRuns(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('y'),
                                   [](qsizetype n) { return QString(n == 2 ? 4 : n, QLatin1Char('y')); });
  const QString time = RewriteRuns(locale.timeFormat(QLocale::LongFormat), QLatin1Char('t'),
                                   [](qsizetype) { return QString(); })
                           .simplified();
  return locale.toString(moment, date + QLatin1Char(' ') + time);
}

struct ResultsExport::ListTexts {
  const std::string* file;
  const char* prefix;
  const char* saveTitle;
  const char* savedText;
  const char* overwriteQuestion;
  const char* importedText;
  const char* notAList;  // what the refused file is not
  void (ResultsExport::*replaced)();
};

ResultsExport::ResultsExport(ExportServices services, Sources sources, QObject* parent)
    : QObject(parent), services_(std::move(services)), sources_(std::move(sources)) {}

FileService& ResultsExport::files() const {
  return *services_.files;
}

namespace {

// The time of the run's last record that has one (mmddhhmm), for a run
// reloaded as for a live one.
QString RunStamp(const RunData& run) {
  for (auto r = run.records.rbegin(); r != run.records.rend(); ++r)
    if (!IsDamaged(*r)) return QString::fromStdString(ReportStamp(*r));
  return {};
}

// What the user is told of a log the export did not delete.
QString KeptLogText(RunLog::Deletion outcome, const std::string& logPath) {
  const QString log = QString::fromStdString(logPath);
  switch (outcome) {
    case RunLog::Deletion::KeptOther:
      return QStringLiteral("The ping test log %1 was kept: it holds a newer ping test than the "
                            "one exported, logged since this window read or wrote its own.")
          .arg(log);
    case RunLog::Deletion::Busy:
      return QStringLiteral("The ping test log %1 was kept: a ping test is logging into it.")
          .arg(log);
    case RunLog::Deletion::Failed:
      return QStringLiteral("The ping test log %1 could not be deleted.").arg(log);
    case RunLog::Deletion::Deleted:
    case RunLog::Deletion::NoLog:
      break;
  }
  return {};
}

}  // namespace

void ResultsExport::inform(const QString& text, const QString& caption) {
  if (services_.prompter)
    services_.prompter->message(text, caption, IPrompter::Icon::Information);
}

void ResultsExport::ExportResults() {
  if (!services_.prompter) return;
  const bool scan = sources_.scanPanelShown && sources_.scanPanelShown();
  const QString format = services_.prompter->exportFormat(scan ? QStringLiteral("SCAN") : QStringLiteral("PING"));
  if (format.isEmpty()) return;
  // "EXCEL": the CSV export, then shown in the spreadsheet application.
  const bool csv = format != QStringLiteral("TEXT");
  const bool thenOpen = format == QStringLiteral("EXCEL");
  if (scan)
    ExportScan(csv ? QStringLiteral("csv") : QStringLiteral("txt"), thenOpen);
  else
    ExportPing(csv, thenOpen);
  Q_EMIT neutralFocusWanted();
}

bool ResultsExport::writeWhole(const QString& path, const std::string& bytes) {
  const Result<void> written = files().replaceFile(path.toStdString(), bytes);
  if (written) return true;
  if (services_.prompter)
    services_.prompter->message(ProgramText(kExportFailText) + kCrLf + kCrLf +
                                    QStringLiteral("The file could not be written: ") + path +
                                    kCrLf + ProgramText(written.error().message),
                                QStringLiteral("Information"), IPrompter::Icon::Critical);
  return false;
}

void ResultsExport::openSaved(const QString& path, bool spreadsheet) {
  OpenOnDesktop(services_.launcher.get(), services_.prompter.get(), path,
                spreadsheet ? ILauncher::FileKind::Spreadsheet : ILauncher::FileKind::TextEditor);
}

void ResultsExport::ExportPing(bool csv, bool thenOpen) {
  const RunData* run = sources_.pingResults ? sources_.pingResults() : nullptr;
  if (!run || run->records.empty()) {
    inform(ProgramText(kNoDataText), QStringLiteral("Information"));
    return;
  }
  const QString path =
      AskSaveFile(*services_.prompter, {QStringLiteral("Ping Test result will be export to this File"),
                                        QStringLiteral("Ping_Test_Log_") + RunStamp(*run),
                                        csv ? QStringLiteral("csv") : QStringLiteral("txt"), {}});
  if (path.isEmpty()) return;
  std::ostringstream out;
  if (csv)
    ExportPingCsv(out, *run);
  else
    ExportPingText(out, *run);
  if (!writeWhole(path, out.str())) return;
  // Only a complete export removes the log, so the next start shows nothing;
  // and only the log of the run exported. A run opened from the archive is
  // not the log's: nothing is deleted for it.
  QStringList told;
  RunLog* log = sources_.runLog ? sources_.runLog() : nullptr;
  if (log && run->archiveRun == 0) {
    const RunLog::Deletion deleted = log->DeleteExportedRunLog(run->logStamp);
    if (deleted == RunLog::Deletion::Deleted)
      told << QStringLiteral("The ping test log %1 was deleted.").arg(QString::fromStdString(log->logPath()));
    else if (const QString kept = KeptLogText(deleted, log->logPath()); !kept.isEmpty())
      told << kept;
  }
  if (sources_.archiveNote) {
    if (const QString note = sources_.archiveNote(*run); !note.isEmpty()) told << note;
  }
  inform(QStringLiteral("Ping test result has export to file: ") + kCrLf + kCrLf + path +
             (told.isEmpty() ? QString() : kCrLf + kCrLf + told.join(kCrLf + kCrLf)),
         QStringLiteral("File Saved"));
  if (thenOpen) openSaved(path, true);
}

void ResultsExport::ExportScan(const QString& extension, bool thenOpen) {
  const ScanExportSource source = sources_.scanResults ? sources_.scanResults() : ScanExportSource{};
  if (source.table.empty()) {
    inform(ProgramText(kNoScanDataText), QStringLiteral("Information"));
    return;
  }
  const QDateTime now = Now(services_.clock.get());
  const QString path = AskSaveFile(
      *services_.prompter, {QStringLiteral("Save IP Scan Results"),
                            QStringLiteral("IP_Scan_Results_") + now.toString(QStringLiteral("yyMMddhhmm")),
                            extension, {}});
  if (path.isEmpty()) return;
  std::ostringstream out;
  WriteScanExport(out, GeneralDateText(now, QLocale()).toStdString(), source.totals, source.table);
  if (!writeWhole(path, out.str())) return;
  inform(QStringLiteral("IP Scan results has export to file: ") + kCrLf + kCrLf + path,
         QStringLiteral("File Saved"));
  if (thenOpen) openSaved(path, true);
}

void ResultsExport::OpenExportedFile() {
  if (!services_.prompter) return;
  const QString path = services_.prompter->openFileName(ProgramText(kOpenTitle), DesktopFolder(), ProgramText(kOpenFilter));
  if (path.isEmpty()) return;
  openSaved(path, path.right(4).toUpper().contains(QStringLiteral("CSV")));
}

void ResultsExport::ExportIPList() {
  ListTexts t{&sources_.ipListFile, "IP_List_", "IP List will be export to this File",
              "IP List has export to file: ", nullptr, nullptr, nullptr, nullptr};
  exportList(t);
}

void ResultsExport::ExportHistory() {
  ListTexts t{&sources_.historyFile, "DOS_CMD_HIS_", "DOS Command history will be export to this File",
              "DOS Command history has export to file: ", nullptr, nullptr, nullptr, nullptr};
  exportList(t);
}

void ResultsExport::ImportIPList() {
  ListTexts t{&sources_.ipListFile, nullptr, nullptr, nullptr, "Overwrite the current IP List?",
              "IP List has been imported", "an IP list", &ResultsExport::ipListReplaced};
  importList(t);
}

void ResultsExport::ImportHistory() {
  ListTexts t{&sources_.historyFile, nullptr, nullptr, nullptr,
              "Overwrite the current DOS command history?", "DOS command history has been imported",
              "a DOS command history", &ResultsExport::historyReplaced};
  importList(t);
}

void ResultsExport::exportList(const ListTexts& t) {
  if (!services_.prompter) return;
  const QString name =
      ProgramText(t.prefix) + Now(services_.clock.get()).toString(QStringLiteral("yyyyMMddhhmm"));
  const QString path = AskSaveFile(*services_.prompter, {ProgramText(t.saveTitle), name, QStringLiteral("txt"), {}});
  if (path.isEmpty()) return;
  Result<std::string> bytes = files().readFile(*t.file);
  if (!bytes) {
    services_.prompter->message(QStringLiteral("The file to export could not be read: ") +
                                    ProgramText(*t.file) + kCrLf + ProgramText(bytes.error().message),
                                QStringLiteral("Information"), IPrompter::Icon::Critical);
    return;
  }
  if (!writeWhole(path, bytes.value())) return;
  inform(ProgramText(t.savedText) + path, QStringLiteral("File Saved"));
}

void ResultsExport::importList(const ListTexts& t) {
  if (!services_.prompter) return;
  QString path = services_.prompter->openFileName(ProgramText(kOpenTitle), DesktopFolder(), ProgramText(kOpenFilter)).trimmed();
  path.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
  if (path.isEmpty()) return;
  const std::string from = path.toStdString();
  if (!files().fileExists(from)) {
    services_.prompter->message(QStringLiteral("Not Find This File."), QStringLiteral("File Name Error"),
                                IPrompter::Icon::Warning, IPrompter::Buttons::YesNo);
    return;
  }
  if (files().fileExists(*t.file) &&
      services_.prompter->message(ProgramText(t.overwriteQuestion), QStringLiteral("Information"), IPrompter::Icon::Warning,
                                  IPrompter::Buttons::YesNo) != IPrompter::Answer::Yes)
    return;
  // A file that cannot be a list (too large, binary) is refused before it
  // replaces the current one.
  const std::optional<std::int64_t> size = files().fileSize(from);
  Result<std::string> bytes =
      size && *size <= kImportLimitBytes ? files().readFile(from) : Result<std::string>(std::string());
  if (!size || *size > kImportLimitBytes || !bytes || HasNul(bytes.value())) {
    QString why = !size || !bytes ? QStringLiteral("It could not be read.")
                  : *size > kImportLimitBytes
                      ? QStringLiteral("It is larger than %1 bytes.").arg(kImportLimitBytes)
                      : QStringLiteral("It holds binary data.");
    services_.prompter->message(QStringLiteral("This file is not %1 and was not imported: ").arg(ProgramText(t.notAList)) +
                                    path + kCrLf + why,
                                QStringLiteral("Information"), IPrompter::Icon::Critical);
    return;
  }
  const Result<void> written = files().replaceFile(*t.file, bytes.value());
  if (!written) {
    services_.prompter->message(QStringLiteral("The file could not be imported; the current one is unchanged: ") +
                                    ProgramText(*t.file) + kCrLf + ProgramText(written.error().message),
                                QStringLiteral("Information"), IPrompter::Icon::Critical);
    return;
  }
  inform(ProgramText(t.importedText), QStringLiteral("Imported"));
  Q_EMIT(this->*t.replaced)();
}

}  // namespace sondrel
