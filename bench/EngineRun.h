#pragma once
// A run through the run engine as fast as it goes, for the benchmarks of
// the engine and of its readers: a carrier that answers every echo at once,
// the run log in a folder of the caller's, and a display that only counts
// rows. How long it took and how much memory it held.
#include <QEventLoop>
#include <QObject>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/ports/Clock.h"
#include "core/ports/IcmpCarrier.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel::bench {

// Answers every echo at once (1.5 ms, TTL 64) and keeps nothing: the test
// fake records each request, which would be counted here as the run's memory.
class InstantCarrier final : public IIcmpCarrier {
 public:
  using IIcmpCarrier::echoMany;
  std::vector<EchoReply> echoMany(const std::vector<EchoRequest>& requests,
                                  const EchoWatch& watch) override {
    std::vector<EchoReply> out(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      EchoReply& r = out[i];
      r.status = 0;
      r.replyAddress = requests[i].address;
      r.roundTripUs = 1500;
      r.roundTripMs = 1;
      r.ttl = 64;
      r.dataSize = static_cast<std::uint32_t>(requests[i].data.size());
      if (watch.ended) watch.ended(i, r);
    }
    return out;
  }
  bool available(std::string*) override { return true; }
};

// The peak resident memory of this process (VmHWM), in KiB; -1 unread.
inline long PeakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long v = -1;
      status >> v;
      return v;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

struct EngineRunFigures {
  std::int64_t shown = 0;         // rows the display was told of
  double seconds = 0;             // from the start to the end
  double firstToLastSeconds = 0;  // from the first result to the end
  double bytesPerResult = 0;      // peak resident memory grown, per result
};

// `targets` loopback targets, `passes` passes one after the other (interval
// 1 ms), the log in `folder` (with its slash), `reader` (may be null) added
// to the run as the window adds its own.
inline EngineRunFigures RunThroughEngine(int targets, std::int64_t passes, std::shared_ptr<IClock> clock,
                                         const std::string& folder, RunReader* reader = nullptr) {
  auto icmp = std::make_shared<InstantCarrier>();
  std::vector<std::string> addresses;
  for (int i = 0; i < targets; ++i)
    addresses.push_back("127.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
  PingParameters params;
  params.intervalMs = 1;
  params.pingsPerTarget = static_cast<std::int32_t>(passes);
  EngineRunFigures f;
  // The peak from here on.
  { std::ofstream("/proc/self/clear_refs") << "5"; }
  const long before = PeakMemoryKiB();
  RunLog log(folder, SystemFiles());
  PingRun run({std::move(clock), icmp, nullptr, nullptr}, params, log);
  run.setTargetSource([&] { return RunTargets{addresses, addresses, false, false}; });
  if (reader) run.addReader(reader);
  using Clock = std::chrono::steady_clock;
  Clock::time_point first;
  QObject::connect(&run, &PingRun::resultAdded, &run, [&](qint64, const ResultRecord&) {
    if (f.shown++ == 0) first = Clock::now();
  });
  QEventLoop loop;
  QObject::connect(&run, &PingRun::finished, &loop, &QEventLoop::quit);
  const Clock::time_point start = Clock::now();
  run.StartPingTest();
  loop.exec();
  const Clock::time_point end = Clock::now();
  const long grown = PeakMemoryKiB() - before;
  f.seconds = std::chrono::duration<double>(end - start).count();
  f.firstToLastSeconds = f.shown ? std::chrono::duration<double>(end - first).count() : 0;
  f.bytesPerResult = f.shown ? static_cast<double>(grown) * 1024.0 / static_cast<double>(f.shown) : 0;
  return f;
}

}  // namespace sondrel::bench
