// Expanding a whole /16 range into run targets (65,536 addresses and labels):
// the plain expansion, the whole collection, and the collection off the
// window thread up to the result's delivery back on it.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QObject>

#include "core/iplist/Targets.h"
#include "fakes/FakeResolver.h"
#include "iplist/TargetSelection.h"
#include "bench_main.h"

namespace {

sondrel::CollectRequest slash16Request() {
  sondrel::CollectRequest request;
  request.entries = {"CWhole,10.20.0.0,10.20.255.255"};
  request.currentIndex = 0;
  request.currentText = "Whole";
  request.selected = {0};
  return request;
}

void BM_ExpandSlash16(benchmark::State& state) {
  for (auto _ : state) {
    sondrel::RunTargetState targets;
    sondrel::ExpandEntry(targets, "CWhole,10.20.0.0,10.20.255.255", nullptr);
    benchmark::DoNotOptimize(targets.TargetAddresses.data());
    if (targets.TargetCount() != 65536) state.SkipWithError("wrong count");
  }
  state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_ExpandSlash16)->Unit(benchmark::kMillisecond);

void BM_CollectSelectedSlash16(benchmark::State& state) {
  const auto request = slash16Request();
  for (auto _ : state) {
    auto result = sondrel::CollectTargets(request, nullptr);
    benchmark::DoNotOptimize(result.targets.TargetAddresses.data());
  }
}
BENCHMARK(BM_CollectSelectedSlash16)->Unit(benchmark::kMillisecond);

// The collector with a group of 50 names (25 known to the table resolver)
// beside a range of 65,280 addresses (the rest of a /16 under the cap), timed
// from start() to finished() on this thread.
void BM_CollectorRangeAndNames(benchmark::State& state) {
  auto resolver = std::make_shared<sondrel::fakes::FakeResolver>();
  auto request = slash16Request();
  request.entries[0] = "CMost,10.20.0.0,10.20.254.255";
  std::string group = "BNames";
  for (int i = 0; i < 50; ++i) {
    const std::string name = "host" + std::to_string(i) + ".lan";
    if (i % 2 == 0) resolver->add(name, "10.30.0." + std::to_string(i));
    group += "," + name;
  }
  request.entries.push_back(group);
  request.selected = {0, 1};

  sondrel::TargetCollector collector(resolver);
  QEventLoop loop;
  std::size_t count = 0;
  QObject::connect(&collector, &sondrel::TargetCollector::finished, &loop,
                   [&](const sondrel::CollectResult& r) {
                     count = r.targets.TargetCount();
                     loop.quit();
                   });
  for (auto _ : state) {
    collector.start(request);
    loop.exec();
    if (count != 65280 + 25) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_CollectorRangeAndNames)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
