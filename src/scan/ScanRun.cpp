#include "scan/ScanRun.h"

#include <QSocketNotifier>
#include <QStringList>
#include <QTime>
#include <algorithm>
#include <cstring>

#include "core/scan/ScanGridRules.h"
#include "core/scan/ScanReportCheck.h"
#include "ports/ProcessService.h"

namespace sondrel {

struct ScanRun::Worker {
  std::unique_ptr<ChildProcess> child;
  QSocketNotifier* notifier = nullptr;
  ReportFrameReader reader;
  QByteArray output;  // what it printed, for a failure message
  std::vector<std::size_t> indexes;  // handed to it, ascending
  // One per index: no report yet, reported live with its name still to
  // come, or reported for good.
  enum Step : std::uint8_t { Unreported, AwaitingName, Reported };
  std::vector<Step> steps;
  std::size_t namesAwaited = 0;
};

ScanRun::ScanRun(ProcessService& processes, std::string workerPath, QObject* parent)
    : QObject(parent), processes_(processes), workerPath_(std::move(workerPath)) {
  timerS1_.setObjectName(QStringLiteral("TimerS1"));
  timerS1_.setInterval(500);
  timerS3_.setObjectName(QStringLiteral("TimerS3"));
  timerS3_.setInterval(5000);
  launchTimer_.setInterval(0);
  connect(&timerS1_, &QTimer::timeout, this, &ScanRun::OnScanTimerTick);
  connect(&timerS3_, &QTimer::timeout, this, &ScanRun::OnStopTimerTick);
  connect(&launchTimer_, &QTimer::timeout, this, &ScanRun::launchOne);
}

ScanRun::~ScanRun() {
  // Notifiers go before the children that own their descriptors.
  for (auto& [child, worker] : workers_) delete worker->notifier;
}

bool ScanRun::StartScan(const std::vector<std::string>& addresses) {
  // Workers of an earlier scan would write into this one's table.
  for (auto& [child, worker] : workers_) delete worker->notifier;
  workers_.clear();
  counters_ = ScanCounters{};
  stopRequested_ = false;
  scanFinished_ = false;
  userScrolled_ = false;
  completeSent_ = false;
  cannotRun_.clear();
  workersDied_ = 0;
  lastSignal_ = 0;
  probedAgain_ = 0;
  notReported_ = 0;
  retry_.clear();
  namesAwaited_ = 0;
  okTicks_ = 0;
  stopTicks_ = 0;
  peakWorkers_ = 0;
  const QTime now = QTime::currentTime();
  startSeconds_ = now.hour() * 3600 + now.minute() * 60 + now.second();
  scanMode_ = true;
  timerS3_.stop();
  table_.clear();
  fullCopy_.clear();
  if (addresses.empty()) {
    scanning_ = false;
    return false;
  }
  timerS1_.start();
  scanning_ = true;
  Q_EMIT testRunningChanged(true);
  addresses_ = addresses;
  table_.resize(addresses.size());
  for (std::size_t k = 0; k < addresses.size(); ++k) table_[k].ip = addresses[k];
  retried_.assign(addresses.size(), false);
  text2_ = "Scanning ...";
  // In runs of consecutive addresses.
  pairsPerWorker_ = std::clamp<std::size_t>(
      (addresses.size() + kSpreadWorkers - 1) / kSpreadWorkers, kMinPairsPerWorker,
      kMaxPairsPerWorker);
  if (fixedPairs_ > 0) pairsPerWorker_ = std::min(fixedPairs_, kMaxPairsPerWorker);
  nextAddress_ = 0;
  launching_ = true;
  launchTimer_.start();
  return true;
}

void ScanRun::launchOne() {
  // A second try for the addresses of a worker that died comes first.
  const bool again = !retry_.empty();
  if (!again && !launching_) {
    launchTimer_.stop();
    return;
  }
  if (!again && (stopRequested_ || nextAddress_ >= addresses_.size())) {
    endLaunching();
    return;
  }
  if (static_cast<int>(workers_.size()) >= kMaxWorkers) {
    launchTimer_.stop();  // a worker's end starts it again
    return;
  }
  std::vector<std::size_t> indexes;
  if (again) {
    std::sort(retry_.begin(), retry_.end());
    const std::size_t count = std::min(pairsPerWorker_, retry_.size());
    indexes.assign(retry_.begin(), retry_.begin() + static_cast<std::ptrdiff_t>(count));
    retry_.erase(retry_.begin(), retry_.begin() + static_cast<std::ptrdiff_t>(count));
  } else {
    const std::size_t count = std::min(pairsPerWorker_, addresses_.size() - nextAddress_);
    for (std::size_t k = 0; k < count; ++k) indexes.push_back(nextAddress_ + k);
  }
  std::vector<ScanPair> pairs;
  pairs.reserve(indexes.size());
  for (std::size_t index : indexes) pairs.push_back({addresses_[index], std::to_string(index)});
  ProcessStart how;
  how.argv = {workerPath_, BuildWorkerCommandLine(kReportFdInWorker, pairs, workerDelay_)};
  how.socketFdInChild = kReportFdInWorker;
  auto started = processes_.start(how);
  if (!started) {
    if (again)
      for (std::size_t index : indexes) markNotReported(index);
    workersCannotRun(QString::fromStdString(started.error().message));
    settle();
    return;
  }
  if (!again) {
    nextAddress_ += indexes.size();
    counters_.total = static_cast<std::int32_t>(nextAddress_);
  }

  auto worker = std::make_unique<Worker>();
  worker->child = std::move(started.value());
  worker->steps.assign(indexes.size(), Worker::Unreported);
  worker->indexes = std::move(indexes);
  ChildProcess* child = worker->child.get();
  child->setParent(this);  // still owned by the worker record; findable by tests and tools
  Worker* raw = worker.get();
  if (child->socketFd() >= 0) {
    worker->notifier = new QSocketNotifier(child->socketFd(), QSocketNotifier::Read, this);
    connect(worker->notifier, &QSocketNotifier::activated, this, [this, raw] { readReports(*raw); });
  }
  connect(child, &ChildProcess::output, this, [raw](const QByteArray& piece) {
    if (raw->output.size() < 4096) raw->output += piece;
  });
  connect(child, &ChildProcess::finished, this,
          [this, child](int status) { workerEnded(child, status); });
  workers_.emplace(child, std::move(worker));
  peakWorkers_ = std::max(peakWorkers_, static_cast<int>(workers_.size()));
  if (again) return;
  Q_EMIT workerStarted(counters_.total);
  if (nextAddress_ >= addresses_.size()) endLaunching();
}

void ScanRun::endLaunching() {
  launchTimer_.stop();
  if (!launching_) return;
  launching_ = false;
  // What was never handed out is not part of this scan.
  table_.resize(static_cast<std::size_t>(counters_.total));
  Q_EMIT launchEnded(counters_.total);
  checkComplete();
}

void ScanRun::workersCannotRun(const QString& why) {
  if (cannotRun_.isEmpty()) {
    cannotRun_ = why.isEmpty() ? QStringLiteral("the scan worker failed.") : why;
    Q_EMIT workerFailed(cannotRun_);
  }
  // No worker would probe them: the rest of the scan gets no report.
  for (std::size_t index : retry_) markNotReported(index);
  retry_.clear();
  if (launching_) {
    for (std::size_t k = nextAddress_; k < addresses_.size(); ++k) markNotReported(k);
    nextAddress_ = addresses_.size();
    counters_.total = static_cast<std::int32_t>(nextAddress_);
    endLaunching();
  }
}

void ScanRun::markNotReported(std::size_t index) {
  if (index >= table_.size()) return;
  ScanRecord& record = table_[index];
  if (!record.pending()) return;
  record.notReported = true;
  ++notReported_;
}

void ScanRun::settle() {
  // While a worker lives or one is still to start, reports can come.
  if (!scanning_ || launching() || !workers_.empty()) return;
  for (std::size_t k = 0; k < table_.size(); ++k) markNotReported(k);
  checkComplete();
  // Nothing is awaited any more: the end need not wait for the ticks. The
  // progress box no longer says it is scanning.
  if (notReported_ > 0) {
    text2_ = "Scan ended:  " + std::to_string(notReported_) + " without report";
    finishScan();
  }
}

void ScanRun::readReports(Worker& worker) {
  char buffer[4096];
  std::vector<ReportFrame> frames;
  // Bounded, so that one busy worker cannot hold the window; the notifier
  // comes again for the rest.
  for (int round = 0; round < 16; ++round) {
    std::size_t got = 0;
    const ChannelRead read = worker.child->readChannel(buffer, sizeof buffer, &got);
    if (read == ChannelRead::Data) {
      worker.reader.feed(std::string_view(buffer, got), frames);
      continue;
    }
    if (read == ChannelRead::Closed && worker.notifier) worker.notifier->setEnabled(false);
    takeReports(worker, frames);
    if (read == ChannelRead::Closed) noMoreNames(worker);
    return;
  }
  takeReports(worker, frames);
}

void ScanRun::noMoreNames(Worker& worker) {
  namesAwaited_ -= worker.namesAwaited;
  worker.namesAwaited = 0;
  checkComplete();
}

bool ScanRun::allReported() const {
  // Rows marked not reported (their workers died or cannot run) count as in.
  return !launching() && counters_.total >= 1 &&
         counters_.received + notReported_ >= counters_.total && namesAwaited_ == 0;
}

void ScanRun::workerEnded(ChildProcess* child, int exitStatus) {
  auto it = workers_.find(child);
  if (it == workers_.end()) return;
  Worker& worker = *it->second;
  // Reports written before its end are still in the channel.
  if (worker.child->socketFd() >= 0) {
    for (int round = 0; round < 4096; ++round) {
      std::size_t got = 0;
      char buffer[4096];
      std::vector<ReportFrame> frames;
      if (worker.child->readChannel(buffer, sizeof buffer, &got) != ChannelRead::Data)
        break;
      worker.reader.feed(std::string_view(buffer, got), frames);
      takeReports(worker, frames);
    }
  }
  std::vector<std::size_t> unreported;
  for (std::size_t slot = 0; slot < worker.indexes.size(); ++slot)
    if (worker.steps[slot] == Worker::Unreported) unreported.push_back(worker.indexes[slot]);
  const QByteArray output = worker.output;
  delete worker.notifier;
  worker.notifier = nullptr;
  noMoreNames(worker);
  // Deleted later: this runs inside the child's own signal.
  it->second->child.release()->deleteLater();
  workers_.erase(it);
  if (!scanning_) return;  // ended after its scan: nothing is awaited from it

  if (exitStatus != 0 && exitStatus < 128) {
    // It said why it cannot probe; the next one would say the same.
    for (std::size_t index : unreported) markNotReported(index);
    QString why = QString::fromLocal8Bit(output).trimmed();
    if (why.isEmpty()) why = QStringLiteral("The scan worker ended with status %1.").arg(exitStatus);
    workersCannotRun(why);
  } else if (!unreported.empty()) {
    // Killed, or gone without a word: its addresses get one more worker.
    ++workersDied_;
    if (exitStatus >= 128) lastSignal_ = exitStatus - 128;
    for (std::size_t index : unreported) {
      if (stopRequested_ || !cannotRun_.isEmpty() || retried_[index]) {
        markNotReported(index);
        continue;
      }
      retried_[index] = true;
      retry_.push_back(index);
      ++probedAgain_;
    }
  }
  if (launching()) launchTimer_.start();
  settle();
}

void ScanRun::takeReports(Worker& worker, const std::vector<ReportFrame>& frames) {
  for (const ReportFrame& frame : frames) {
    if (frame.identifier != kReportIdentifier) continue;
    // The reports each index handed to this worker has, and nothing else: a
    // stray or repeated one would store what no probe found, count an
    // address twice, and end the scan before its last reports came.
    const auto report = CheckWorkerReport(frame.text);
    if (!report) continue;
    const auto at = std::lower_bound(worker.indexes.begin(), worker.indexes.end(),
                                     static_cast<std::size_t>(report->index));
    if (at == worker.indexes.end() || *at != static_cast<std::size_t>(report->index)) continue;
    const auto slot = static_cast<std::size_t>(at - worker.indexes.begin());
    Worker::Step& step = worker.steps[slot];
    if (step == Worker::Unreported) {
      // A live host without a name has its lookup's report still to come.
      const bool nameToCome = report->nameToCome;
      step = nameToCome ? Worker::AwaitingName : Worker::Reported;
      if (nameToCome) {
        ++worker.namesAwaited;
        ++namesAwaited_;
      }
      OnCopyData(frame.identifier, report->text);
    } else if (step == Worker::AwaitingName) {
      // Only its own second report: the same echo's time and TTL.
      if (report->index >= table_.size() || !scanning_ ||
          !ApplyNameReport(report->text, table_[report->index]))
        continue;
      step = Worker::Reported;
      --worker.namesAwaited;
      --namesAwaited_;
      Q_EMIT reportArrived();
      checkComplete();
    }
  }
}

void ScanRun::OnCopyData(unsigned identifier, const std::string& text) {
  if (identifier != kReportIdentifier) return;
  if (!scanMode_) return;
  // Cut at the first NUL, as a copied buffer would be.
  const std::string_view report(text.c_str());
  ApplyScanReport(report, table_, counters_);
  text2_ = "Scanning ...  " + std::to_string(counters_.reportsShown);
  Q_EMIT reportArrived();
  checkComplete();
}

void ScanRun::checkComplete() {
  if (completeSent_ || !scanning_) return;
  if (allReported()) {
    completeSent_ = true;
    if (!cannotRun_.isEmpty() || workersDied_ > 0) Q_EMIT scanNote(noteText());
    Q_EMIT reportsComplete();
  }
}

QString ScanRun::noteText() const {
  QStringList parts;
  if (!cannotRun_.isEmpty()) parts << QStringLiteral("The IP scan cannot run: ") + cannotRun_;
  if (workersDied_ > 0) {
    QString died = workersDied_ == 1
                       ? QStringLiteral("A scan worker ended")
                       : QStringLiteral("%1 scan workers ended").arg(workersDied_);
    if (lastSignal_ > 0)
      died += QStringLiteral(" (killed by signal %1: %2)")
                  .arg(lastSignal_)
                  .arg(QString::fromLocal8Bit(::strsignal(lastSignal_)));
    died += workersDied_ == 1 ? QStringLiteral(" before reporting every address given to it")
                              : QStringLiteral(" before reporting every address given to them");
    died += probedAgain_ > 0
                ? QStringLiteral("; %1 addresses were probed once more.").arg(probedAgain_)
                : QStringLiteral(".");
    parts << died;
  }
  if (notReported_ > 0)
    parts << QStringLiteral("%1 of %2 addresses got no report and are shown as \"%3\".")
                 .arg(notReported_)
                 .arg(table_.size())
                 .arg(QString::fromLatin1(kScanNotReportedText));
  else
    parts << QStringLiteral("Every address was reported.");
  return parts.join(QStringLiteral("\n\n"));
}

void ScanRun::finishScan() {
  timerS1_.stop();
  // The stop timer ends with the scan: its ticks belong to no other run.
  timerS3_.stop();
  launchTimer_.stop();
  retry_.clear();
  scanning_ = false;
  Q_EMIT testRunningChanged(false);
  scanFinished_ = true;
  fullCopy_ = table_;
  Q_EMIT finished();
}

void ScanRun::OnScanTimerTick() {
  if (!scanning_) {
    timerS1_.stop();
    return;
  }
  if (text2_ == "OK") ++okTicks_;
  if (okTicks_ > 1 || stopTicks_ > 2) {
    finishScan();
    return;
  }
  Q_EMIT refreshRequested();
  // The finish signal the next ticks read; not while addresses are still
  // being handed out, when every report so far may be in. A scan with rows
  // not reported ends by itself and says so instead.
  if (reportedInFull()) text2_ = "OK";
}

void ScanRun::OnStopTimerTick() {
  // Only counts: the scan stays going (and the start buttons off) until
  // TimerS1 finishes it.
  ++stopTicks_;
  if (stopTicks_ > 2 || !scanning_) timerS3_.stop();
}

void ScanRun::StopScan() {
  // A second Stop leaves the end where the first one put it.
  if (!scanning_ || stopRequested_) return;
  stopRequested_ = true;
  // Addresses waiting for a second try are not tried after Stop.
  for (std::size_t index : retry_) markNotReported(index);
  retry_.clear();
  if (launching_) endLaunching();
  timerS3_.start();
  settle();
}

std::string ScanRun::GetScanAddress(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return {};
  return table_[static_cast<std::size_t>(index)].ip;
}

}  // namespace sondrel
