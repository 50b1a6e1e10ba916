#pragma once
// Builds a summary report on a thread of its own, so the report window stays
// responsive over a run of millions of records, and hands the result back on
// the thread that started it.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "core/report/Report.h"

namespace sondrel {

using ReportOutcome = Result<Report>;

class ReportJob final : public QObject {
  Q_OBJECT
 public:
  explicit ReportJob(QObject* parent = nullptr) : QObject(parent) {}
  ~ReportJob() override { cancel(); }
  Q_DISABLE_COPY_MOVE(ReportJob)

  // Starts building; `run` must not change until finished() came or cancel()
  // returned. A job under way is cancelled first.
  void start(const RunData& run, double minutes, ReportGrouping grouping);
  // Stops a job under way and waits for its thread (a short wait: the walk
  // checks often); no finished() follows for it.
  void cancel();
  bool running() const { return running_; }

 Q_SIGNALS:
  void finished(std::shared_ptr<sondrel::ReportOutcome> outcome);

 private:
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  std::uint64_t serial_ = 0;
  bool running_ = false;
};

}  // namespace sondrel
