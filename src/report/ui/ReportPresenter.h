#pragma once
// Opens the summary report window on the last run's records (live or
// reloaded) and keeps what the window needs from the main window: the
// records, whether they may change under a build, and the latest result's
// stamp for the default file name.

#include <QObject>
#include <QPointer>
#include <optional>
#include <string>

#include "app/WindowServices.h"
#include "core/report/Report.h"
#include "core/ping/RunRecords.h"
#include "ping/RunReader.h"

class QWidget;

namespace sondrel {

class DialogRpt;
class FileService;
class PingRun;

// A reader of the run: it keeps the latest result for the file name. Whoever
// makes it adds it to the run's readers.
class ReportPresenter final : public QObject, public RunReader {
  Q_OBJECT
 public:
  // `run` must outlive the presenter; `window` is the dialog's parent.
  ReportPresenter(WindowServices services, PingRun& run, QWidget* window);

  // The report label and menu entry: shows the report window, modal.
  void OpenReport();
  DialogRpt* dialog() const;
  // mmddhhmm of the latest result since start-up; "" when none came.
  std::string stamp() const { return lastRecord_ ? ReportStamp(*lastRecord_) : std::string(); }

 // The latest result, for the stamp.
  void resultAdded(std::int64_t row, const ResultRecord& record, const EchoDetail& echo) override;

 Q_SIGNALS:
  void dialogOpened(sondrel::DialogRpt* dialog);

 private:
  WindowServices services_;
  PingRun& run_;
  QWidget* window_;
  FileService* files_;
  std::optional<ResultRecord> lastRecord_;  // formatted only when a name is wanted
  QPointer<DialogRpt> dialog_;
};

}  // namespace sondrel
