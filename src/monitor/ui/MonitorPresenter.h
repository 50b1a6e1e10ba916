#pragma once
// The monitor window's wiring: its tables follow the run monitor (the live
// run, the reloaded previous run, a run opened from the archive) a few
// times a second, its filter and sort, the outage log's CSV, and the
// window's size and layout kept in the user's settings.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor/ui/MonitorWindow.h"

class QAbstractItemModel;
class QSortFilterProxyModel;

namespace sondrel {

class FileService;
class IClock;
class IPrompter;
class EchoSeries;
class OutageLogModel;
class RunArchive;
class RunMonitor;
class TargetsModel;

class MonitorPresenter final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kRefreshMs = 250;

  // The chart reads the shown run's echoes from the archive at
  // `archivePath`; `shownRun` tells which archived run is shown (0: none).
  MonitorPresenter(RunMonitor& monitor, std::shared_ptr<IClock> clock, std::shared_ptr<IPrompter> prompter,
                   FileService& files, std::string archivePath, std::function<std::int64_t()> shownRun,
                   QWidget* mainWindow, QObject* parent = nullptr);
  ~MonitorPresenter() override;

  void showWindow();
  // The alert log the window lists beside the outages.
  void setAlertLog(QAbstractItemModel* log);
  // Shows the window with `target`'s row selected (and charted).
  void showTarget(std::uint32_t target);
  // Says an alert on the window's alert line (the desktop could not).
  void tellAlert(const QString& text);
  // The report's period length in minutes, for the details' periods.
  void setReportMinutes(std::function<double()> minutes) { reportMinutes_ = std::move(minutes); }
  // A run has started: the window opens if the user asked for that.
  void runStarted();
  bool opensWithRuns() const { return openWithRuns_; }
  MonitorWindow* window() const { return window_; }
  TargetsModel* targetsModel() const { return targets_; }
  OutageLogModel* outageModel() const { return outages_; }
  QSortFilterProxyModel* sortedTargets() const { return sorted_; }
  // Reads the monitor now (the timer does it while the window is shown).
  void refresh();
  void saveOutages();
  void saveChart();
  void saveDetails();
  // Reads the chart's echoes again for the selected targets and its span.
  void refreshChart();
  // The targets the chart shows (the table's selection, at most ten).
  std::vector<std::uint32_t> chartedTargets() const;

 private:
  void makeWindow();
  void keepLayout();
  // Asks where, then writes `bytes` there (telling a failure).
  void saveCsv(const QString& title, const QString& name, const std::string& bytes);
  RunArchive* archive();

  RunMonitor& monitor_;
  std::shared_ptr<IClock> clock_;
  std::shared_ptr<IPrompter> prompter_;
  FileService& files_;
  QPointer<QWidget> mainWindow_;
  QPointer<MonitorWindow> window_;
  TargetsModel* targets_;
  OutageLogModel* outages_;
  QSortFilterProxyModel* sorted_;
  QTimer timer_;
  std::string archivePath_;
  std::function<std::int64_t()> shownRun_;
  std::function<double()> reportMinutes_;
  QPointer<QAbstractItemModel> alertLog_;
  QString alertLine_;
  std::unique_ptr<RunArchive> archive_;
  // The charted targets' echoes of the shown archived run, kept between
  // refreshes.
  std::int64_t chartRun_ = 0;
  std::map<std::uint32_t, std::shared_ptr<EchoSeries>> chartEchoes_;
  bool openWithRuns_ = false;  // [monitor] open_with_runs
};

}  // namespace sondrel
