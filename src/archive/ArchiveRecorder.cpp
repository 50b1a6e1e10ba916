#include "archive/ArchiveRecorder.h"
#include "settings/UserSettings.h"

#include "monitor/RunMonitor.h"

#include <QMetaObject>
#include <QDateTime>
#include <QPointer>
#include <QSettings>
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
  connect(&daily_, &QTimer::timeout, this, [this] { writer_->keep(rule_, clock_->utcMicros()); });
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
  start.outageAfter = ReadMonitorSettings().outageAfter;
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

void ArchiveRecorder::previousRunShown(const RunData& run) {
  if (!importNext_ || run.records.empty()) return;
  importNext_ = false;
  // The log knows local times only: its run began at its first result's.
  const ResultTime& first = run.records.front().when;
  const QDateTime start(QDate(first.year, first.month, first.day), QTime(first.hour, first.minute, first.second));
  if (!start.isValid()) return;
  const LocalDateTime local{first.year, first.month, first.day, first.hour, first.minute, first.second, 0};
  writer_->importRun(run, start.toMSecsSinceEpoch() * 1000, local);
}

void ArchiveRecorder::keepDaily(const Retention& rule) {
  rule_ = rule;
  writer_->keep(rule_, clock_->utcMicros());
  daily_.start(std::chrono::hours(24));
}

Retention ArchiveRetentionSettings() {
  Retention rule;
  const QSettings settings = UserSettings();
  bool ok = false;
  const int days = settings.value(QStringLiteral("archive/keep_days")).toInt(&ok);
  if (ok && days > 0) rule.days = days;
  const qint64 megabytes = settings.value(QStringLiteral("archive/keep_megabytes")).toLongLong(&ok);
  if (ok && megabytes > 0) rule.maxBytes = megabytes * 1024 * 1024;
  return rule;
}

bool ArchiveRecorder::waitIdle(int timeoutMs) {
  return writer_->waitIdle(std::chrono::milliseconds(timeoutMs));
}

}  // namespace sondrel
