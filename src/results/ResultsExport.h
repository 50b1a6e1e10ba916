#pragma once
// The Export and Open buttons and the list entries of the File menu: the
// ping results or the scan table written to a file the user chooses, a saved
// file shown in the user's own application, and the IP list and the command
// history copied out and in.
//
// Every file is written whole under a temporary name beside its target and
// renamed over it only when complete: a failed write leaves any file of that
// name as it was, says so with the path and the reason, and (for a ping
// export) keeps the run log.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/ping/RunRecords.h"
#include "core/results/ScanExport.h"

class QDateTime;
class QLocale;

namespace sondrel {

// A moment in the locale's general date form: its short date with the whole
// year, then its long time (seconds included, the time zone left out), as
// "12/9/2026 5:39:12 AM".
QString GeneralDateText(const QDateTime& moment, const QLocale& locale);

class FileService;
class IClock;
class ILauncher;
class IPrompter;
class RunLog;
struct RunData;

// What the scan panel shows: its table and its three counter captions.
struct ScanExportSource {
  ScanTable table;
  ScanTotals totals;
};

inline constexpr const char* kNoDataText = "No data to be export.     ";
inline constexpr const char* kNoScanDataText = "No ip scan data to be export.     ";
inline constexpr const char* kExportFailText = "Export Fail.   ";
inline constexpr const char* kOpenTitle = "Open Log File";
inline constexpr const char* kOpenFilter = "Text/CSV Files (*.txt;*.csv)";
// An imported list or history larger than this is not one of ours.
inline constexpr std::int64_t kImportLimitBytes = 4 * 1024 * 1024;

// What the export is given from outside.
struct ExportServices {
  std::shared_ptr<IPrompter> prompter;
  std::shared_ptr<ILauncher> launcher;
  std::shared_ptr<IClock> clock;
  FileService* files = nullptr;  // must be given, and outlive this
};

class ResultsExport final : public QObject {
  Q_OBJECT
 public:
  struct Sources {
    std::function<bool()> scanPanelShown;
    // The ping results on screen; null or empty when there are none.
    std::function<const RunData*()> pingResults;
    std::function<ScanExportSource()> scanResults;
    std::function<RunLog*()> runLog;  // deleted after a ping export; may give null
    // Where the run archive keeps the exported run, for the confirmation
    // ("" when it does not: the log was its only copy). May be empty.
    std::function<QString(const RunData&)> archiveNote;
    std::string ipListFile;
    std::string historyFile;
  };
  ResultsExport(ExportServices services, Sources sources, QObject* parent = nullptr);

  // The Export button: the format chooser, then the ping or scan export.
  void ExportResults();
  // The Open button.
  void OpenExportedFile();
  void ExportIPList();
  void ImportIPList();
  void ExportHistory();
  void ImportHistory();

 Q_SIGNALS:
  void neutralFocusWanted();
  // An import replaced the file: the list or the history is read again.
  void ipListReplaced();
  void historyReplaced();

 private:
  struct ListTexts;
  void ExportPing(bool csv, bool thenOpen);
  void ExportScan(const QString& extension, bool thenOpen);
  // Writes `bytes` to `path` whole; false (after telling the user) on failure.
  bool writeWhole(const QString& path, const std::string& bytes);
  void openSaved(const QString& path, bool spreadsheet);
  void exportList(const ListTexts& texts);
  void importList(const ListTexts& texts);
  void inform(const QString& text, const QString& caption);
  FileService& files() const;

  ExportServices services_;
  Sources sources_;
};


}  // namespace sondrel
