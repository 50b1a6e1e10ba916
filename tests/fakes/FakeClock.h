#pragma once
#include <atomic>
#include <mutex>

#include "core/ports/Clock.h"

namespace sondrel::fakes {

// A clock that only moves when the test says so.
class FakeClock final : public IClock {
 public:
  LocalDateTime now() const override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  std::int64_t monotonicMs() const override { return mono_.load(); }
  // The local time read as UTC: the fake has no time zone.
  std::int64_t utcMicros() const override {
    std::lock_guard lock(mutex_);
    const std::int64_t days =
        DaysFromCivil(now_.year, static_cast<unsigned>(now_.month), static_cast<unsigned>(now_.day));
    const std::int64_t seconds = days * 86400 + now_.hour * 3600 + now_.minute * 60 + now_.second;
    return seconds * 1'000'000 + std::int64_t{now_.millisecond} * 1000;
  }

  void set(const LocalDateTime& t) {
    std::lock_guard lock(mutex_);
    now_ = t;
  }
  void advanceMs(std::int64_t ms) { mono_ += ms; }

 private:
  mutable std::mutex mutex_;
  LocalDateTime now_{2026, 3, 7, 14, 5, 9, 0};
  std::atomic<std::int64_t> mono_{0};
};

}  // namespace sondrel::fakes
