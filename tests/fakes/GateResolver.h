#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "core/ports/Resolver.h"

namespace sondrel::fakes {

// Lookups of "held.lan" wait until the test opens the gate, then give
// 10.7.7.7; every other name is unknown at once.
class GateResolver final : public IResolver {
 public:
  std::string firstIPv4(const std::string& name) override {
    std::unique_lock lock(mutex_);
    if (name == "held.lan") {
      ++waiting_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
      return "10.7.7.7";
    }
    return {};
  }
  std::string nameOf(const std::string&) override { return {}; }
  // Waits (at most 5 s) until n lookups of "held.lan" are waiting or done.
  bool awaitWaiting(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return waiting_ >= n; });
  }
  int waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

}  // namespace sondrel::fakes
