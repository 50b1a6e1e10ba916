#pragma once
// Opens the summary report window on the last run's records (live or
// reloaded) and keeps what the window needs from the main window: the
// records, whether they may change under a build, and the latest result's
// stamp for the default file name.

#include <QObject>
#include <QPointer>
#include <optional>
#include <string>

#include "app/Services.h"
#include "core/report/Report.h"
#include "core/ping/RunRecords.h"

class QWidget;

namespace sondrel {

class DialogRpt;
class FileService;
class PingRun;

class ReportPresenter final : public QObject {
  Q_OBJECT
 public:
  // `run` must outlive the presenter; `window` is the dialog's parent.
  ReportPresenter(Services services, PingRun& run, QWidget* window);

  // The report label and menu entry: shows the report window, modal.
  void OpenReport();
  DialogRpt* dialog() const;
  // mmddhhmm of the latest result since start-up; "" when none came.
  std::string stamp() const { return lastRecord_ ? ReportStamp(*lastRecord_) : std::string(); }

 Q_SIGNALS:
  void dialogOpened(sondrel::DialogRpt* dialog);

 private:
  Services services_;
  PingRun& run_;
  QWidget* window_;
  FileService* files_;
  std::optional<ResultRecord> lastRecord_;  // formatted only when a name is wanted
  QPointer<DialogRpt> dialog_;
};

}  // namespace sondrel
