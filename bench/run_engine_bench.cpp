// Sustained results per second through the run engine, the log file and a
// display that does nothing, with a carrier that answers at once; beside it,
// the same log lines written alone as the floor of what the file costs.
// Then the reload of a 100 MB log, against reading the same file line by
// line with std::getline, and the memory a reloaded record takes.
#include "bench_main.h"
#include "HundredMegabyteLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <fstream>

#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

constexpr int kTargets = 1000;

std::vector<std::string> Targets() {
  std::vector<std::string> t;
  for (int i = 0; i < kTargets; ++i)
    t.push_back("127.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
  return t;
}

void BM_EngineResults(benchmark::State& state) {
  QTemporaryDir dir;
  auto clock = std::make_shared<fakes::FakeClock>();
  auto icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  const std::vector<std::string> targets = Targets();
  for (size_t i = 0; i < targets.size(); i += 2) icmp->script(targets[i], {0, 1500, 64});
  PingParameters params;
  params.intervalMs = 1;
  params.pingsPerTarget = static_cast<std::int32_t>(state.range(0));
  std::int64_t results = 0;
  for (auto _ : state) {
    RunLog log(dir.path().toStdString() + "/", SystemFiles());
    PingRun run({clock, icmp, nullptr, nullptr}, params, log);
    run.setTargetSource([&] { return RunTargets{targets, targets, false, false}; });
    std::int64_t shown = 0;
    QObject::connect(&run, &PingRun::resultAdded, &run,
                     [&](qint64, const ResultRecord& r) {
                       // A view formats each row it shows from the run's data.
                       benchmark::DoNotOptimize(FormatResultRow(run.data(), r));
                       ++shown;
                     });
    QEventLoop loop;
    QObject::connect(&run, &PingRun::finished, &loop, &QEventLoop::quit);
    run.StartPingTest();
    loop.exec();
    results += shown;
  }
  state.counters["results_per_s"] =
      benchmark::Counter(static_cast<double>(results), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineResults)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_LogLinesAlone(benchmark::State& state) {
  QTemporaryDir dir;
  const std::vector<std::string> targets = Targets();
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 7, 14, 5, 9});
  r.bufferSize = 32;
  r.time = 1;
  r.ttl = 64;
  std::int64_t lines = 0;
  for (auto _ : state) {
    RunLog log(dir.path().toStdString() + "/", SystemFiles());
    if (!log.StartRunLog(kTargets, 1, targets)) state.SkipWithError("cannot start log");
    for (int pass = 0; pass < state.range(0); ++pass)
      for (const std::string& t : targets) {
        benchmark::DoNotOptimize(log.AppendResult(r, t));
        ++lines;
      }
    log.CloseRunLog();
  }
  state.counters["results_per_s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LogLinesAlone)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

const std::string& HundredMegabyteFolder() {
  static QTemporaryDir dir;
  static const std::string folder = [] {
    const std::string f = dir.path().toStdString() + "/";
    WriteHundredMegabyteLog(f);
    return f;
  }();
  return folder;
}

void BM_Reload100MB(benchmark::State& state) {
  RunLog log(HundredMegabyteFolder(), SystemFiles());
  std::size_t records = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto run = log.loadPreviousRun();
    if (!run) state.SkipWithError("reload failed");
    records = run.value().records.size();
    bytes = run.value().records.capacity() * sizeof(ResultRecord);
    for (const auto& a : run.value().addresses) bytes += sizeof(a) + a.capacity();
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["bytes_per_record"] = static_cast<double>(bytes) / static_cast<double>(records);
}
BENCHMARK(BM_Reload100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_GetlineSameFile(benchmark::State& state) {
  const std::string path = HundredMegabyteFolder() + "Tolvane_DB3.txt";
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::size_t n = 0;
    while (std::getline(in, line)) ++n;
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_GetlineSameFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
