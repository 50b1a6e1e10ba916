#include "report/ReportJob.h"

#include <QMetaObject>

namespace sondrel {

void ReportJob::start(const RunData& run, double minutes, ReportGrouping grouping) {
  cancel();
  const std::uint64_t serial = ++serial_;
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancelled;
  running_ = true;
  thread_ = std::thread([this, &run, minutes, grouping, serial, cancelled] {
    auto outcome = std::make_shared<ReportOutcome>(
        BuildReport(run, minutes, grouping, cancelled.get()));
    if (cancelled->load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, serial, outcome] {
          if (serial != serial_ || !running_) return;
          if (thread_.joinable()) thread_.join();
          running_ = false;
          Q_EMIT finished(outcome);
        },
        Qt::QueuedConnection);
  });
}

void ReportJob::cancel() {
  if (cancel_) cancel_->store(true);
  if (thread_.joinable()) thread_.join();
  running_ = false;
  ++serial_;
}

}  // namespace sondrel
