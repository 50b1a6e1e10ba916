#include "service/DailyRuns.h"

#include "core/ports/Clock.h"

namespace sondrel {

DailyRuns::DailyRuns(RunReader& inner, std::shared_ptr<IClock> clock) : inner_(inner), clock_(std::move(clock)) {}

DailyRuns::Day DailyRuns::today() const {
  const LocalDateTime now = clock_->now();
  return {now.year, now.month, now.day};
}

void DailyRuns::runStarted(const RunData& run, const PingParameters& parameters) {
  run_ = &run;
  parameters_ = parameters;
  day_ = today();
  passes_ = firstPass_ = 0;
  rows_ = firstRow_ = 0;
  inner_.runStarted(run, parameters);
}

void DailyRuns::resultAdded(std::int64_t, const ResultRecord& record, const EchoDetail& echo) {
  EchoDetail inDay = echo;
  inDay.pass = echo.pass - firstPass_;
  inner_.resultAdded(rows_++ - firstRow_, record, inDay);
}

void DailyRuns::passEnded() {
  ++passes_;
  inner_.passEnded();
  if (!run_ || today() == day_) return;
  inner_.runEnded(*run_, RunEnd::ScheduledEnd);
  day_ = today();
  firstPass_ = passes_;
  firstRow_ = rows_;
  inner_.runStarted(*run_, parameters_);
}

void DailyRuns::runEnded(const RunData& run, RunEnd how) {
  run_ = nullptr;
  inner_.runEnded(run, how);
}

}  // namespace sondrel
