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
    const int y = now_.month <= 2 ? now_.year - 1 : now_.year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (now_.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + now_.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
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
