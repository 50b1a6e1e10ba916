// The live display's cost per result, as a fast run feeds it, and the cost of
// writing one page to the labels.
#include <benchmark/benchmark.h>

#include "bench_widgets_main.h"

#include <QApplication>
#include <cstdlib>

#include "core/ping/RunRecords.h"
#include "ping/ui/ResultsDisplay.h"

namespace {

sondrel::RunData MakeRun(std::int64_t n) {
  sondrel::RunData run;
  run.addresses = {"127.0.0.1"};
  sondrel::ResultRecord r;
  r.when = sondrel::ResultTime::from({2026, 3, 7, 14, 5, 9, 0});
  r.bufferSize = 32;
  r.time = 3;
  r.ttl = 64;
  run.records.assign(static_cast<std::size_t>(n), r);
  return run;
}

void Attach(sondrel::ResultsDisplay& d, const sondrel::RunData& run) {
  d.setRowSource([&run](std::int64_t i) {
    const auto t = sondrel::FormatResultRow(run, run.records[static_cast<std::size_t>(i)]);
    return sondrel::RowTexts{QString::fromStdString(t.first), QString::fromStdString(t.second)};
  });
}

// One result as the run reports it: row, scroll bar and statistics; the labels
// are written once per frame, here once per 1,000 results (a 16 ms frame at
// over 60,000 results a second).
void BM_ResultArrives(benchmark::State& state) {
  const sondrel::RunData run = MakeRun(1 << 20);
  sondrel::ResultsDisplay d;
  Attach(d, run);
  d.setRunning(true);
  sondrel::RunStatistics stats;
  std::int64_t i = 0;
  for (auto _ : state) {
    const std::int64_t index = i++ & ((1 << 20) - 1);
    sondrel::CountResult(stats, run.records[static_cast<std::size_t>(index)]);
    d.ShowResultRow(index);
    d.SetupScrollBar(index);
    d.ShowRunStatistics(stats);
    if (index % 1000 == 999) d.flush();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResultArrives);

// A full page of 20 rows and the statistics column written to the labels.
void BM_FlushFullPage(benchmark::State& state) {
  const sondrel::RunData run = MakeRun(100000);
  sondrel::ResultsDisplay d;
  Attach(d, run);
  sondrel::RunStatistics stats;
  stats.sent = 100;
  stats.minTime = 1;
  std::int64_t page = 0;
  for (auto _ : state) {
    const std::int64_t first = (page++ % 4000) * 20;
    for (std::int64_t k = 0; k < 20; ++k) d.ShowResultRow(first + k);
    stats.sent++;
    d.ShowRunStatistics(stats);
    d.flush();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FlushFullPage);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksWithWidgets(argc, argv); }
