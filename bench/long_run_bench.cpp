// A long run in one go: 10 million results through the run engine, its log
// and a display that counts rows, with a carrier that answers at once. The
// memory the run holds per result (peak resident memory grown, divided by
// the results) and the results per second over the whole run.
#include "bench_main.h"

#include <QTemporaryDir>

#include "EngineRun.h"
#include "fakes/FakeClock.h"

namespace sondrel {
namespace {

void BM_TenMillionResults(benchmark::State& state) {
  constexpr int kTargets = 1000;
  const std::int64_t passes = state.range(0) / kTargets;
  QTemporaryDir dir;
  auto clock = std::make_shared<fakes::FakeClock>();
  bench::EngineRunFigures f;
  for (auto _ : state) f = bench::RunThroughEngine(kTargets, passes, clock, dir.path().toStdString() + "/");
  state.counters["results"] = static_cast<double>(f.shown);
  state.counters["bytes_per_result"] = f.bytesPerResult;
  state.counters["results_per_s"] =
      benchmark::Counter(static_cast<double>(f.shown), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TenMillionResults)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace sondrel

int main(int argc, char** argv) { return RunBenchmarksWithQt(argc, argv); }
