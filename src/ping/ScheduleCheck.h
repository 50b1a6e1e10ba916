#pragma once
// The scheduled start and end of a ping run, without a window: a 3-second
// check (Timer3) that asks for the run to start once the start minute is
// reached, and the end test the run makes on every tick.
//
// Wiring: the run sets the armed flag when it starts (setArmed(true)) and
// clears it when it stops or its start is given up (setArmed(false),
// disable()); while armed the check does nothing. This is the only schedule
// state: the run itself keeps none. The schedule frame sets the times and enables the check when
// "Schedule" is chosen.

#include <QObject>
#include <QTimer>
#include <memory>

#include "core/ping/Schedule.h"
#include "core/ports/Clock.h"
#include "ports/KeepAwake.h"

namespace sondrel {

class ScheduleCheck final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kIntervalMs = 3000;

  // keepAwake may be null; when given, it is held while a start is awaited,
  // so the machine does not sleep through the scheduled start.
  explicit ScheduleCheck(std::shared_ptr<IClock> clock,
                         std::shared_ptr<IKeepAwake> keepAwake = nullptr,
                         QObject* parent = nullptr);
  ~ScheduleCheck() override;
  Q_DISABLE_COPY_MOVE(ScheduleCheck)

  void setStartTime(const ScheduleTime& t) { start_ = t; }
  void setEndTime(const ScheduleTime& t) { end_ = t; }
  const ScheduleTime& startTime() const { return start_; }
  const ScheduleTime& endTime() const { return end_; }

  // Whether "Schedule" is the chosen option; the end test only counts then.
  void setScheduleSelected(bool selected);
  bool scheduleSelected() const { return selected_; }

  // The schedule armed flag: set while a run is armed or going.
  void setArmed(bool armed);
  bool armed() const { return armed_; }

  // Timer3 on or off.
  void enable();
  void disable();
  bool isEnabled() const { return timer_.isActive(); }
  int intervalMs() const { return timer_.interval(); }

  // True while "Schedule" is chosen, Timer3 runs and no run is armed: the
  // report link stays hidden meanwhile.
  bool awaitingStart() const;

  // Whether the clock is past the end minute.
  bool IsPastEndTime() const;

  // For the run's tick: when "Schedule" is chosen and the end has passed,
  // clears the armed flag, emits endPassed() and returns true; the run then
  // stops as Stop does.
  bool checkEnd();

 public Q_SLOTS:
  // One start check; Timer3 calls it every 3 s.
  void Timer3_Timer();

 Q_SIGNALS:
  // The scheduled start is reached: start the run (StartPingTest).
  void startRequested();
  // The scheduled end has passed during a run.
  void endPassed();
  // A scheduled start began or stopped being awaited.
  void awaitingStartChanged(bool awaiting);

 private:
  void updateAwaiting();

  std::shared_ptr<IClock> clock_;
  std::shared_ptr<IKeepAwake> keepAwake_;
  QTimer timer_;
  ScheduleTime start_;
  ScheduleTime end_;
  bool selected_ = false;
  bool armed_ = false;
  bool awaiting_ = false;
};

}  // namespace sondrel
