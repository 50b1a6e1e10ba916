#include "ping/ScheduleCheck.h"

#include <utility>

namespace sondrel {

ScheduleCheck::ScheduleCheck(std::shared_ptr<IClock> clock, std::shared_ptr<IKeepAwake> keepAwake,
                             QObject* parent)
    : QObject(parent), clock_(std::move(clock)), keepAwake_(std::move(keepAwake)) {
  timer_.setInterval(kIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &ScheduleCheck::Timer3_Timer);
}

ScheduleCheck::~ScheduleCheck() {
  if (awaiting_ && keepAwake_) keepAwake_->release();
}

void ScheduleCheck::setScheduleSelected(bool selected) {
  selected_ = selected;
  updateAwaiting();
}

void ScheduleCheck::setArmed(bool armed) {
  armed_ = armed;
  updateAwaiting();
}

void ScheduleCheck::enable() {
  timer_.start();
  updateAwaiting();
}

void ScheduleCheck::disable() {
  timer_.stop();
  updateAwaiting();
}

bool ScheduleCheck::awaitingStart() const { return selected_ && !armed_ && timer_.isActive(); }

bool ScheduleCheck::IsPastEndTime() const { return sondrel::IsPastEndTime(clock_->now(), end_); }

bool ScheduleCheck::checkEnd() {
  if (!selected_ || !IsPastEndTime()) return false;
  setArmed(false);
  Q_EMIT endPassed();
  return true;
}

void ScheduleCheck::Timer3_Timer() {
  if (!selected_) return;
  if (DecideStartCheck(clock_->now(), start_, armed_) != StartCheck::Start) return;
  armed_ = true;
  timer_.stop();
  updateAwaiting();
  Q_EMIT startRequested();
}

void ScheduleCheck::updateAwaiting() {
  const bool now = awaitingStart();
  if (now == awaiting_) return;
  awaiting_ = now;
  if (keepAwake_) {
    if (now)
      keepAwake_->acquire();
    else
      keepAwake_->release();
  }
  Q_EMIT awaitingStartChanged(now);
}

}  // namespace sondrel
