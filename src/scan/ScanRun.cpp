#include "scan/ScanRun.h"

#include <QSocketNotifier>
#include <QTime>
#include <algorithm>

#include "core/ScanReportCheck.h"
#include "platform/ProcessService.h"
#include "platform/ScanSockets_linux.h"

namespace sondrel {

struct ScanRun::Worker {
  std::unique_ptr<ChildProcess> child;
  QSocketNotifier* notifier = nullptr;
  ReportFrameReader reader;
  QByteArray output;  // what it printed, for a failure message
  std::size_t first = 0;       // the run of indexes handed to it
  std::vector<bool> reported;  // one per index of the run
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
  failureReported_ = false;
  completeSent_ = false;
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
  Q_EMIT testRunningChanged(true);
  timerS1_.start();
  scanning_ = true;
  addresses_ = addresses;
  table_.resize(addresses.size());
  for (std::size_t k = 0; k < addresses.size(); ++k) table_[k].ip = addresses[k];
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
  if (!launching_) return;
  if (stopRequested_ || nextAddress_ >= addresses_.size()) {
    endLaunching();
    return;
  }
  if (static_cast<int>(workers_.size()) >= kMaxWorkers) {
    launchTimer_.stop();  // a worker's end starts it again
    return;
  }
  const std::size_t count = std::min(pairsPerWorker_, addresses_.size() - nextAddress_);
  std::vector<ScanPair> pairs;
  pairs.reserve(count);
  for (std::size_t k = 0; k < count; ++k)
    pairs.push_back({addresses_[nextAddress_ + k], std::to_string(nextAddress_ + k)});
  ProcessStart how;
  how.argv = {workerPath_, BuildWorkerCommandLine(kReportFdInWorker, pairs, workerDelay_)};
  how.socketFdInChild = kReportFdInWorker;
  auto started = processes_.start(how);
  if (!started) {
    // Nothing can be scanned without the worker: end launching, as Stop does.
    if (!failureReported_) {
      failureReported_ = true;
      Q_EMIT workerFailed(QString::fromStdString(started.error().message));
    }
    endLaunching();
    return;
  }
  nextAddress_ += count;
  counters_.total = static_cast<std::int32_t>(nextAddress_);

  auto worker = std::make_unique<Worker>();
  worker->child = std::move(started.value());
  worker->first = nextAddress_ - count;
  worker->reported.assign(count, false);
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

void ScanRun::readReports(Worker& worker) {
  const int fd = worker.child->socketFd();
  char buffer[4096];
  std::vector<ReportFrame> frames;
  // Bounded, so that one busy worker cannot hold the window; the notifier
  // comes again for the rest.
  for (int round = 0; round < 16; ++round) {
    std::size_t got = 0;
    const ChannelRead read = ReadReportBytes(fd, buffer, sizeof buffer, &got);
    if (read == ChannelRead::Data) {
      worker.reader.feed(std::string_view(buffer, got), frames);
      continue;
    }
    if (read == ChannelRead::Closed && worker.notifier) worker.notifier->setEnabled(false);
    break;
  }
  takeReports(worker, frames);
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
      if (ReadReportBytes(worker.child->socketFd(), buffer, sizeof buffer, &got) !=
          ChannelRead::Data)
        break;
      worker.reader.feed(std::string_view(buffer, got), frames);
      takeReports(worker, frames);
    }
  }
  if (exitStatus != 0 && exitStatus < 128 && !failureReported_) {
    failureReported_ = true;
    QString message = QString::fromLocal8Bit(worker.output).trimmed();
    if (message.isEmpty()) message = QStringLiteral("The scan worker ended with status %1.").arg(exitStatus);
    Q_EMIT workerFailed(message);
  }
  delete worker.notifier;
  worker.notifier = nullptr;
  // Deleted later: this runs inside the child's own signal.
  it->second->child.release()->deleteLater();
  workers_.erase(it);
  if (launching_) launchTimer_.start();
}

void ScanRun::takeReports(Worker& worker, const std::vector<ReportFrame>& frames) {
  for (const ReportFrame& frame : frames) {
    if (frame.identifier != kReportIdentifier) continue;
    // One sound report for each index handed to this worker, and nothing
    // else: a stray or repeated one would store what no probe found, count
    // an address twice, and end the scan before its last reports came.
    const auto report = CheckWorkerReport(frame.text);
    if (!report || report->index < worker.first) continue;
    const std::size_t slot = report->index - worker.first;
    if (slot >= worker.reported.size() || worker.reported[slot]) continue;
    worker.reported[slot] = true;
    OnCopyData(frame.identifier, report->text);
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
  if (completeSent_ || launching_ || !scanning_) return;
  if (counters_.total >= 1 && counters_.received >= counters_.total) {
    completeSent_ = true;
    Q_EMIT reportsComplete();
  }
}

void ScanRun::OnScanTimerTick() {
  if (text2_ == "OK") ++okTicks_;
  if (okTicks_ > 1 || stopTicks_ > 2) {
    timerS1_.stop();
    scanning_ = false;
    Q_EMIT testRunningChanged(false);
    scanFinished_ = true;
    fullCopy_ = table_;
    Q_EMIT finished();
    return;
  }
  Q_EMIT refreshRequested();
  // The finish signal the next ticks read; not while addresses are still
  // being handed out, when every report so far may be in.
  if (!launching_ && counters_.total >= 1 && counters_.received >= counters_.total)
    text2_ = "OK";
}

void ScanRun::OnStopTimerTick() {
  ++stopTicks_;
  if (stopTicks_ > 2) timerS3_.stop();
  Q_EMIT testRunningChanged(false);
}

void ScanRun::StopScan() {
  stopRequested_ = true;
  if (launching_) endLaunching();
  timerS3_.start();
}

std::string ScanRun::GetScanAddress(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return {};
  return table_[static_cast<std::size_t>(index)].ip;
}

}  // namespace sondrel
