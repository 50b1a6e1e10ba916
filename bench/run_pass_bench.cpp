// One pass of the ping run over 256 targets of which 255 never answer,
// time-out 500 ms, through the real carrier: sent together, and one after
// the other (a few dead targets, to extrapolate). Run it through
// bench/run_pass.sh, which makes the private network where the dead targets
// are routed into loopback and dropped; it refuses to run anywhere else.
#include "bench_main.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <fstream>

#include "ping/PingRun.h"
#include "platform/Clock_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

// Only loopback may exist, so no echo can leave the machine.
bool OnlyLoopback() {
  std::ifstream dev("/proc/net/dev");
  std::string line;
  int interfaces = 0;
  bool loopback = false;
  while (std::getline(dev, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    ++interfaces;
    loopback = loopback || line.substr(0, colon).find("lo") != std::string::npos;
  }
  return interfaces == 1 && loopback;
}

std::vector<std::string> Targets(int dead) {
  std::vector<std::string> t = {"127.0.0.1"};
  for (int i = 1; i <= dead; ++i) t.push_back("10.77.0." + std::to_string(i));
  return t;
}

// Runs `passes` passes and gives the mean time from the first result batch
// of a pass to the next, that is the length of one pass.
void MeasurePasses(benchmark::State& state, PassMode mode, int dead) {
  if (!OnlyLoopback()) {
    state.SkipWithError("run through bench/run_pass.sh (private network only)");
    return;
  }
  auto icmp = SystemIcmpCarrier();
  std::string why;
  if (!icmp->available(&why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  QTemporaryDir dir;
  const std::vector<std::string> targets = Targets(dead);
  PingParameters params;
  params.timeoutMs = 500;
  params.intervalMs = 1;
  params.passMode = mode;
  params.pingsPerTarget = 3;
  double passMs = 0;
  for (auto _ : state) {
    RunLog log(dir.path().toStdString() + "/", SystemFiles());
    PingRun run({std::make_shared<SystemClock>(), icmp, nullptr, nullptr}, params, log);
    run.setTargetSource([&] { return RunTargets{targets, targets, false, false}; });
    QElapsedTimer clock;
    std::vector<qint64> ends;
    QObject::connect(&run, &PingRun::resultAdded, &run, [&](qint64 row, const ResultRecord&) {
      if ((row + 1) % static_cast<qint64>(targets.size()) == 0) ends.push_back(clock.elapsed());
    });
    QEventLoop loop;
    QObject::connect(&run, &PingRun::finished, &loop, &QEventLoop::quit);
    clock.start();
    run.StartPingTest();
    loop.exec();
    if (ends.size() == 3) passMs = static_cast<double>(ends[2] - ends[0]) / 2.0;
  }
  state.counters["pass_ms"] = passMs;
  state.counters["targets"] = static_cast<double>(targets.size());
  // Dead targets set the length of a pass; scaled to the 255 of the full list.
  state.counters["pass_ms_for_255_dead"] = passMs * 255.0 / dead;
}

void BM_PassTogether256(benchmark::State& state) { MeasurePasses(state, PassMode::Together, 255); }
BENCHMARK(BM_PassTogether256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PassOneByOne4(benchmark::State& state) { MeasurePasses(state, PassMode::OneByOne, 3); }
BENCHMARK(BM_PassOneByOne4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
