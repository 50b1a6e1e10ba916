#include "archive/ArchiveRecorder.h"

#include <QMetaObject>
#include <QPointer>
#include <chrono>

#include "core/ports/Clock.h"

namespace sondrel {

RunEnding ArchiveEndingOf(RunEnd how) {
  switch (how) {
    case RunEnd::CountReached:
      return RunEnding::CountReached;
    case RunEnd::ScheduledEnd:
      return RunEnding::ScheduledEnd;
    case RunEnd::Stopped:
      break;
  }
  return RunEnding::Stopped;
}

ArchiveRecorder::ArchiveRecorder(std::string path, FileService& files, RunOrigin origin,
                                 std::shared_ptr<IClock> clock, QObject* parent)
    : QObject(parent), origin_(origin), clock_(std::move(clock)) {
  QPointer<ArchiveRecorder> self(this);
  writer_ = std::make_unique<ArchiveWriter>(std::move(path), files, [self](std::string message) {
    // The writer's thread: the message goes to the recorder's.
    QMetaObject::invokeMethod(
        self.data(),
        [self, text = QString::fromStdString(message)] {
          if (self) Q_EMIT self->problem(text);
        },
        Qt::QueuedConnection);
  });
}

ArchiveRecorder::~ArchiveRecorder() {
  // A run still going when the program closes is ended as stopped; the
  // writer finishes its queue as it goes.
  if (running_ && clock_) writer_->endRun(RunEnding::Stopped, clock_->utcMicros(), clock_->now());
  writer_.reset();
}

void ArchiveRecorder::runStarted(const RunData& run, const PingParameters& parameters) {
  ArchiveRunStart start;
  start.origin = origin_;
  start.startUtcUs = clock_->utcMicros();
  start.startLocal = clock_->now();
  start.parameters = parameters;
  start.addresses = run.addresses;
  start.labels = run.targetLabels;
  start.stepLength = run.stepLength;
  start.targetCount = run.targetCount;
  writer_->beginRun(std::move(start));
  running_ = true;
}

void ArchiveRecorder::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail& echo) {
  if (!running_) return;
  ArchiveResult result;
  result.record = record;
  result.pass = echo.pass;
  result.sentUtcUs = echo.sentUtcUs;
  result.roundTripUs = record.time < 0 ? -1 : std::int64_t{echo.roundTripUs};
  writer_->add(result);
}

void ArchiveRecorder::passEnded() {
  if (running_) writer_->passEnded();
}

void ArchiveRecorder::runEnded(const RunData&, RunEnd how) {
  if (!running_) return;
  running_ = false;
  writer_->endRun(ArchiveEndingOf(how), clock_->utcMicros(), clock_->now());
}

bool ArchiveRecorder::waitIdle(int timeoutMs) {
  return writer_->waitIdle(std::chrono::milliseconds(timeoutMs));
}

}  // namespace sondrel
