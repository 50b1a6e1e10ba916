#pragma once
#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/IcmpCarrier.h"

namespace sondrel::fakes {

// Answers echoes from a script per address. An address without a script
// times out at once with 11010. A held carrier blocks every echo until
// release(), so tests can act while echoes are under way.
class FakeIcmpCarrier final : public IIcmpCarrier {
 public:
  struct Script {
    std::int32_t status = 0;
    std::uint32_t roundTripUs = 0;
    std::uint8_t ttl = 64;
  };

  void script(const std::string& dotted, Script s) {
    std::lock_guard lock(mutex_);
    scripts_[dotted] = s;
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
  // Waits until at least n echoes have been asked for (bounded by timeout).
  bool waitForRequests(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
  }
  std::vector<EchoRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  void setAvailable(bool ok, std::string why = {}) {
    std::lock_guard lock(mutex_);
    available_ = ok;
    why_ = std::move(why);
  }

  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& batch) override {
    std::unique_lock lock(mutex_);
    requests_.insert(requests_.end(), batch.begin(), batch.end());
    cv_.notify_all();
    cv_.wait(lock, [&] { return !held_; });
    std::vector<EchoReply> out;
    for (const auto& r : batch) {
      EchoReply reply;
      in_addr a{r.address};
      auto it = scripts_.find(inet_ntoa(a));
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
      out.push_back(std::move(reply));
    }
    return out;
  }
  bool available(std::string* why) override {
    std::lock_guard lock(mutex_);
    if (why) *why = why_;
    return available_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<std::string, Script> scripts_;
  std::vector<EchoRequest> requests_;
  bool held_ = false;
  bool available_ = true;
  std::string why_;
};

}  // namespace sondrel::fakes
