#pragma once
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ports/IcmpCarrier.h"

namespace sondrel::fakes {

// Answers echoes from a script per address. An address without a script
// times out at once with 11010; a silent one waits for its time-out (or
// timeOutWaiting()). A held carrier blocks every echo until release(), so
// tests can act while echoes are under way. A cancel ends whatever waits.
class FakeIcmpCarrier final : public IIcmpCarrier {
 public:
  struct Script {
    std::int32_t status = 0;
    std::uint32_t roundTripUs = 0;
    std::uint8_t ttl = 64;
    bool silent = false;  // never answers: 11010 once the time-out has passed
  };

  void script(const std::string& dotted, Script s) {
    std::lock_guard lock(mutex_);
    scripts_[dotted] = s;
  }
  // The address answers `steps` in order, one per echo; the last repeats.
  // (A step is never silent: a loss is its status, at once.)
  void scriptEach(const std::string& dotted, std::vector<Script> steps) {
    std::lock_guard lock(mutex_);
    scripts_[dotted] = steps.empty() ? Script{} : steps.back();
    sequences_[dotted] = std::deque<Script>(steps.begin(), steps.end());
  }
  void hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    cv_.notify_all();
  }
  // Silent echoes waiting now end as timed out, as if their time-out had come.
  void timeOutWaiting() {
    {
      std::lock_guard lock(mutex_);
      ++timeOutRound_;
    }
    cv_.notify_all();
  }
  // Waits until at least n echoes have been asked for (bounded by timeout).
  bool waitForRequests(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
  }
  // Waits until n silent echoes are waiting for their time-out.
  bool waitForWaiting(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return waiting_ >= n; });
  }
  std::vector<EchoRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  size_t cancelledCount() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }
  // Called as each batch of echoes is asked for (a pass sent together),
  // before any is answered: a test moves its clock there.
  void onEachBatch(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    onEachBatch_ = hook ? std::make_shared<std::function<void()>>(std::move(hook)) : nullptr;
  }
  void setAvailable(bool ok, std::string why = {}) {
    std::lock_guard lock(mutex_);
    available_ = ok;
    why_ = std::move(why);
  }

  using IIcmpCarrier::echoMany;
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& batch,
                                  const EchoWatch& watch) override {
    if (watch.cancel) watch.cancel->setWake([this] {
      { std::lock_guard lock(mutex_); }
      cv_.notify_all();
    });
    {
      // The hook itself, not a copy: it may keep count.
      std::shared_ptr<std::function<void()>> hook;
      {
        std::lock_guard lock(mutex_);
        hook = onEachBatch_;
      }
      if (hook) (*hook)();
    }
    const auto began = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    const std::uint64_t round = timeOutRound_;
    requests_.insert(requests_.end(), batch.begin(), batch.end());
    cv_.notify_all();
    std::vector<EchoReply> out(batch.size());
    std::vector<bool> done(batch.size(), false);
    size_t left = batch.size();
    size_t waitingHere = 0;
    auto finish = [&](size_t i, EchoReply reply) {
      out[i] = std::move(reply);
      done[i] = true;
      --left;
      if (watch.ended) {
        lock.unlock();
        watch.ended(i, out[i]);
        lock.lock();
      }
    };
    while (left > 0) {
      if (watch.cancel && watch.cancel->cancelled()) {
        for (size_t i = 0; i < batch.size(); ++i) {
          if (done[i]) continue;
          EchoReply r;
          r.cancelled = true;
          ++cancelled_;
          finish(i, std::move(r));
        }
        break;
      }
      const size_t before = left;
      auto wake = std::chrono::steady_clock::time_point::max();
      waitingHere = 0;
      if (!held_) {
        for (size_t i = 0; i < batch.size() && !(watch.cancel && watch.cancel->cancelled()); ++i) {
          if (done[i]) continue;
          in_addr a{batch[i].address};
          auto it = scripts_.find(inet_ntoa(a));
          if (!available_ || it == scripts_.end() || !it->second.silent) {
            finish(i, answer(batch[i]));
            continue;
          }
          const auto deadline = began + std::chrono::milliseconds(batch[i].timeoutMs);
          if (timeOutRound_ != round || std::chrono::steady_clock::now() >= deadline) {
            EchoReply r;
            r.status = 11010;
            finish(i, std::move(r));
            continue;
          }
          ++waitingHere;
          wake = std::min(wake, deadline);
        }
      }
      if (left == 0) break;
      if (watch.cancel && watch.cancel->cancelled()) continue;
      if (left < before && watch.settled) {
        lock.unlock();
        watch.settled();
        lock.lock();
        continue;
      }
      waiting_ += waitingHere;
      cv_.notify_all();
      if (wake == std::chrono::steady_clock::time_point::max())
        cv_.wait(lock);
      else
        cv_.wait_until(lock, wake);
      waiting_ -= waitingHere;
    }
    lock.unlock();
    if (watch.cancel) watch.cancel->clearWake();
    return out;
  }
  bool available(std::string* why) override {
    std::lock_guard lock(mutex_);
    if (why) *why = why_;
    return available_;
  }

 private:
  // The scripted answer of a request; the lock is held.
  EchoReply answer(const EchoRequest& r) {
    EchoReply reply;
    in_addr a{r.address};
    auto it = scripts_.find(inet_ntoa(a));
    if (auto seq = sequences_.find(inet_ntoa(a)); seq != sequences_.end() && !seq->second.empty()) {
      it->second = seq->second.front();
      if (seq->second.size() > 1) seq->second.pop_front();
    }
    if (!available_) {
      reply.status = 11050;
    } else if (it == scripts_.end()) {
      reply.status = 11010;
    } else {
      reply.status = it->second.status;
      reply.roundTripUs = it->second.roundTripUs;
      reply.roundTripMs = it->second.roundTripUs / 1000;
      reply.ttl = reply.status == 0 ? it->second.ttl : 0;
      reply.replyAddress = r.address;
      if (reply.status == 0) {
        reply.data = r.data;
        reply.dataSize = static_cast<std::uint32_t>(r.data.size());
      }
    }
    return reply;
  }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<std::string, Script> scripts_;
  std::map<std::string, std::deque<Script>> sequences_;
  std::vector<EchoRequest> requests_;
  size_t waiting_ = 0;
  size_t cancelled_ = 0;
  std::uint64_t timeOutRound_ = 0;
  bool held_ = false;
  std::shared_ptr<std::function<void()>> onEachBatch_;
  bool available_ = true;
  std::string why_;
};

}  // namespace sondrel::fakes
