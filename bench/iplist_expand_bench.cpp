// Expanding a whole /16 range into run targets (65,536 addresses and labels).
#include <benchmark/benchmark.h>

#include "core/Targets.h"

namespace {

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
  sondrel::CollectRequest request;
  request.entries = {"CWhole,10.20.0.0,10.20.255.255"};
  request.currentIndex = 0;
  request.currentText = "Whole";
  request.selected = {0};
  for (auto _ : state) {
    auto result = sondrel::CollectTargets(request, nullptr);
    benchmark::DoNotOptimize(result.targets.TargetAddresses.data());
  }
}
BENCHMARK(BM_CollectSelectedSlash16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
