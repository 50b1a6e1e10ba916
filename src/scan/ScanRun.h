#pragma once
// The IP scan: hands the addresses to worker processes (several addresses
// each, at most kMaxWorkers alive), collects their reports into the scan
// table, and finishes by the tick rules. The window thread owns everything;
// reports arrive through socket notifiers, launching goes a worker per event
// loop turn so that the window never waits for it.

#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/scan/ScanRecord.h"
#include "core/scan/ScanWire.h"

class QSocketNotifier;

namespace sondrel {

class ChildProcess;
class ProcessService;

class ScanRun final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMaxWorkers = 64;
  // A worker probes its addresses together on one socket, so a few large
  // workers beat many small ones: a process start costs more than an echo.
  // The most pairs keep a worker's command line far below the system's
  // limit for one argument (128 KiB).
  static constexpr std::size_t kSpreadWorkers = 16;
  static constexpr std::size_t kMinPairsPerWorker = 256;
  static constexpr std::size_t kMaxPairsPerWorker = 4096;
  static constexpr int kReportFdInWorker = 3;

  ScanRun(ProcessService& processes, std::string workerPath, QObject* parent = nullptr);
  ~ScanRun() override;

  void setWorkerDelay(long delay) { workerDelay_ = delay; }
  // Addresses per worker; 0 chooses by the scan's size.
  void setPairsPerWorker(std::size_t pairs) { fixedPairs_ = pairs; }

  // Steps 2 and 5-7 of a scan start, with the addresses already collected.
  // False (and nothing started) for an empty list.
  bool StartScan(const std::vector<std::string>& addresses);
  // One report as it came from a worker. Reports read from a worker's
  // channel come here only once checked: their shape, and an index handed
  // to that worker and not yet reported by it.
  void OnCopyData(unsigned identifier, const std::string& text);
  void OnScanTimerTick();
  void OnStopTimerTick();
  void StopScan();
  std::string GetScanAddress(int index) const;
  // Launching is over and every address handed out has been reported, with
  // the names of the live hosts whose lookups were still going.
  bool allReported() const;
  // As allReported(), with a report from every address: the scan's "OK".
  bool reportedInFull() const { return allReported() && notReported_ == 0; }

  ScanTable& table() { return table_; }
  const ScanTable& table() const { return table_; }
  // The whole table as it was when the scan finished; the filters start here.
  const ScanTable& fullCopy() const { return fullCopy_; }
  // Takes the table's later changes (the MACs completed after the scan) into
  // the copy the filters and the export read.
  void refreshFullCopy() { fullCopy_ = table_; }
  const ScanCounters& counters() const { return counters_; }
  const std::string& progressText() const { return text2_; }
  void setProgressText(std::string text) { text2_ = std::move(text); }
  bool scanning() const { return scanning_; }
  // Addresses are still being handed out (a second try included).
  bool launching() const { return launching_ || !retry_.empty(); }
  bool scanStopRequested() const { return stopRequested_; }
  bool scanFinished() const { return scanFinished_; }
  void setScanFinished(bool finished) { scanFinished_ = finished; }
  bool userScrolled() const { return userScrolled_; }
  void setUserScrolled(bool scrolled) { userScrolled_ = scrolled; }
  int okTicks() const { return okTicks_; }
  int stopTicks() const { return stopTicks_; }
  int startSeconds() const { return startSeconds_; }
  void setStartSeconds(int seconds) { startSeconds_ = seconds; }
  int workersAlive() const { return static_cast<int>(workers_.size()); }
  int peakWorkers() const { return peakWorkers_; }
  QTimer& timerS1() { return timerS1_; }
  QTimer& timerS3() { return timerS3_; }

 Q_SIGNALS:
  // The scan began (true) or ended (false).
  void testRunningChanged(bool running);
  // A worker was started; `total` counts the addresses handed out so far.
  void workerStarted(int total);
  // Launching has ended (all handed out, or Stop); `total` is final.
  void launchEnded(int total);
  // Counters, progress text or a host's name changed after a report.
  void reportArrived();
  // allReported() has become true.
  void reportsComplete();
  // A TimerS1 tick that does not finish: the grid is to be redrawn.
  void refreshRequested();
  // The scan finished by the tick rules (the MAC completion comes next).
  void finished();
  // A worker could not start, or ended saying why it could not probe; once
  // a scan. No more workers are started for it.
  void workerFailed(const QString& message);
  // Once a scan, when no more reports can come and its workers failed or
  // died: why, which addresses were probed again, how many got no report.
  void scanNote(const QString& message);

 private:
  struct Worker;
  ProcessService& processes_;
  std::string workerPath_;
  long workerDelay_ = 350;
  ScanTable table_;
  ScanTable fullCopy_;
  ScanCounters counters_;
  std::string text2_;
  std::vector<std::string> addresses_;
  std::size_t nextAddress_ = 0;
  // Addresses of workers that died before reporting them, to be probed
  // once more; each address gets that second try at most once.
  std::vector<std::size_t> retry_;
  std::vector<bool> retried_;
  std::size_t pairsPerWorker_ = 1;
  std::size_t fixedPairs_ = 0;
  std::map<ChildProcess*, std::unique_ptr<Worker>> workers_;
  QTimer timerS1_;
  QTimer timerS3_;
  QTimer launchTimer_;
  bool scanMode_ = false;
  bool scanning_ = false;
  bool launching_ = false;
  bool stopRequested_ = false;
  bool scanFinished_ = false;
  bool userScrolled_ = false;
  bool completeSent_ = false;
  QString cannotRun_;  // why the workers cannot run; empty while they can
  int workersDied_ = 0;
  int lastSignal_ = 0;
  int probedAgain_ = 0;
  int notReported_ = 0;
  std::size_t namesAwaited_ = 0;  // live hosts whose name report is to come
  int okTicks_ = 0;
  int stopTicks_ = 0;
  int startSeconds_ = 0;
  int peakWorkers_ = 0;

  void launchOne();
  void endLaunching();
  void readReports(Worker& worker);
  void takeReports(Worker& worker, const std::vector<ReportFrame>& frames);
  void workerEnded(ChildProcess* child, int exitStatus);
  void workersCannotRun(const QString& why);
  void markNotReported(std::size_t index);
  void settle();
  // The worker's channel is closed: the names it has not sent never come.
  void noMoreNames(Worker& worker);
  void checkComplete();
  void finishScan();
  QString noteText() const;
};

}  // namespace sondrel
