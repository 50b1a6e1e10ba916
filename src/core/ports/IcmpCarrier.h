#pragma once
// ICMP echo transport. One carrier serves the whole process; it is safe to
// call from any thread and keeps many echoes outstanding on one socket.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sondrel {

struct EchoRequest {
  std::uint32_t address = 0;  // IPv4, network byte order
  std::string data;           // payload bytes, sent as they are
  std::uint32_t timeoutMs = 500;
};

struct EchoReply {
  std::int32_t status = 11050;       // 0 success, else an 11001..11255 code
  std::uint32_t replyAddress = 0;    // network byte order; the sender of the reply or error
  std::uint32_t roundTripUs = 0;     // microseconds, monotonic clock
  std::uint32_t roundTripMs = 0;     // whole milliseconds (roundTripUs / 1000)
  std::uint8_t ttl = 0;              // TTL of the reply's IP header
  std::uint32_t dataSize = 0;        // bytes echoed back
  std::string data;                  // the echoed bytes
  bool cancelled = false;            // ended by EchoCancel, never answered (status 11050)
};

// A flag another thread raises to wake an echoMany call.
class EchoSignal {
 public:
  // For carriers: `wake` runs when the flag is raised (at once when it is up
  // already) until cleared; once clearWake returns it runs no more. It must
  // not call back into this object.
  void setWake(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
    if (raised_.load() && wake_) wake_();
  }
  void clearWake() {
    std::lock_guard lock(mutex_);
    wake_ = nullptr;
  }

 protected:
  void raise() {
    std::lock_guard lock(mutex_);
    raised_.store(true);
    if (wake_) wake_();
  }
  std::atomic<bool> raised_{false};

 private:
  std::mutex mutex_;
  std::function<void()> wake_;
};

// Lets another thread end an echoMany call at once, whatever its time-outs:
// a Stop must not wait for an echo that may wait for minutes.
class EchoCancel : public EchoSignal {
 public:
  // Any thread, any number of times. Echoes of the call still waiting end
  // with `cancelled` set and those not yet sent are not sent.
  void cancel() { raise(); }
  bool cancelled() const { return raised_.load(); }
};

// Lets another thread have the call run its watch's `settled` soon, on the
// calling thread, while echoes still wait: news that is not an echo's end
// (a scan's name lookup done) goes out without waiting for the next one.
class EchoPoke : public EchoSignal {
 public:
  // Any thread, any number of times; pokes before the carrier looks are one.
  void poke() { raise(); }
  // For carriers: true once per run of pokes.
  bool take() { return raised_.exchange(false); }
  bool pending() const { return raised_.load(); }
};

// What the caller of echoMany hears while the call goes.
struct EchoWatch {
  // Runs on the calling thread as each echo ends (reply, error, time-out or
  // cancel), in the order they end, before echoMany returns; `index` is the
  // request's. Nothing of the carrier is locked while it runs.
  std::function<void(std::size_t index, const EchoReply& reply)> ended;
  // Runs on the calling thread after a run of `ended` calls when echoes are
  // still waiting: what has ended so far can be passed on together.
  std::function<void()> settled;
  EchoCancel* cancel = nullptr;  // may be null
  EchoPoke* poke = nullptr;      // may be null; a carrier may ignore it
};

class IIcmpCarrier {
 public:
  virtual ~IIcmpCarrier() = default;
  // Sends every request at once and returns when each has its reply, its
  // error or its time-out; replies in request order. Never blocks longer than
  // the largest time-out (plus scheduling slack).
  virtual std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests,
                                          const EchoWatch& watch) = 0;
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests) {
    return echoMany(requests, EchoWatch{});
  }
  EchoReply echo(const EchoRequest& request, EchoCancel* cancel = nullptr) {
    EchoWatch watch;
    watch.cancel = cancel;
    return echoMany({request}, watch).front();
  }
  // False with a plain explanation when no ICMP socket can be opened.
  virtual bool available(std::string* why) = 0;
};

}  // namespace sondrel
