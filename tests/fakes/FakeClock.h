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
