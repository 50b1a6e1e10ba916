// A long run in one go: 10 million results through the run engine, its log
// and a display that counts rows, with a carrier that answers at once. The
// memory the run holds per result (peak resident memory grown, divided by
// the results) and the results per second over the whole run.
#include "bench_main.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "core/ports/IcmpCarrier.h"
#include "fakes/FakeClock.h"
#include "ping/PingRun.h"
#include "platform/Files_linux.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

// Answers every echo at once and keeps nothing: the test fake records each
// request, which would be counted here as the run's memory.
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

long PeakMemoryKiB() {
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

void BM_TenMillionResults(benchmark::State& state) {
  constexpr int kTargets = 1000;
  const std::int64_t passes = state.range(0) / kTargets;
  QTemporaryDir dir;
  auto clock = std::make_shared<fakes::FakeClock>();
  auto icmp = std::make_shared<InstantCarrier>();
  std::vector<std::string> targets;
  for (int i = 0; i < kTargets; ++i)
    targets.push_back("127.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
  PingParameters params;
  params.intervalMs = 1;
  params.pingsPerTarget = static_cast<std::int32_t>(passes);
  double perRecord = 0;
  std::int64_t shown = 0;
  for (auto _ : state) {
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    const long before = PeakMemoryKiB();
    RunLog log(dir.path().toStdString() + "/", SystemFiles());
    PingRun run({clock, icmp, nullptr, nullptr}, params, log);
    run.setTargetSource([&] { return RunTargets{targets, targets, false, false}; });
    shown = 0;
    QObject::connect(&run, &PingRun::resultAdded, &run,
                     [&](qint64, const ResultRecord&) { ++shown; });
    QEventLoop loop;
    QObject::connect(&run, &PingRun::finished, &loop, &QEventLoop::quit);
    run.StartPingTest();
    loop.exec();
    const long grown = PeakMemoryKiB() - before;
    perRecord = shown ? static_cast<double>(grown) * 1024.0 / static_cast<double>(shown) : 0;
  }
  state.counters["results"] = static_cast<double>(shown);
  state.counters["bytes_per_result"] = perRecord;
  state.counters["results_per_s"] =
      benchmark::Counter(static_cast<double>(shown), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TenMillionResults)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
