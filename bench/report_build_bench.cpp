// Building the summary report over a long run: 10 million records of three
// targets, one round a second, with a loss now and then; grouped by 10-minute
// periods and by buffer size; beside them, a plain pass over the records.
#include <benchmark/benchmark.h>

#include "core/report/Report.h"

namespace {

constexpr std::int64_t kRecords = 10'000'000;
constexpr std::int32_t kTargets = 3;

const sondrel::RunData& LongRun() {
  static const sondrel::RunData run = [] {
    sondrel::RunData r;
    r.targetCount = kTargets;
    for (int k = 0; k < kTargets; ++k) {
      r.internAddress("127.0.0." + std::to_string(k + 1));
      r.targetLabels.push_back("127.0.0." + std::to_string(k + 1));
    }
    r.records.reserve(kRecords);
    std::int64_t second = 0;
    for (std::int64_t i = 0; i < kRecords; ++i) {
      if (i % kTargets == 0) ++second;
      sondrel::ResultRecord rec;
      // Seconds from 2026-01-01 00:00:00; months kept to 28 days for brevity.
      const std::int64_t day = second / 86400;
      rec.when.year = static_cast<std::uint16_t>(2026 + day / 336);
      rec.when.month = static_cast<std::uint8_t>(1 + day / 28 % 12);
      rec.when.day = static_cast<std::uint8_t>(1 + day % 28);
      rec.when.hour = static_cast<std::uint8_t>(second / 3600 % 24);
      rec.when.minute = static_cast<std::uint8_t>(second / 60 % 60);
      rec.when.second = static_cast<std::uint8_t>(second % 60);
      rec.target = static_cast<std::uint32_t>(i % kTargets);
      rec.bufferSize = static_cast<std::int32_t>(32 + 32 * (second / 600 % 16));
      rec.time = i % 97 == 0 ? -1 : static_cast<std::int32_t>(i % 40);
      rec.ttl = rec.time == -1 ? 0 : 64;
      r.records.push_back(rec);
    }
    return r;
  }();
  return run;
}

void BM_BuildReportByPeriod(benchmark::State& state) {
  const sondrel::RunData& run = LongRun();
  for (auto _ : state) {
    auto report = sondrel::BuildReport(run, 10);
    benchmark::DoNotOptimize(report);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BuildReportByPeriod)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BuildReportBySize(benchmark::State& state) {
  const sondrel::RunData& run = LongRun();
  for (auto _ : state) {
    auto report = sondrel::BuildReport(run, 10, sondrel::ReportGrouping::BufferSize);
    benchmark::DoNotOptimize(report);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BuildReportBySize)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor beside it: one plain pass over the same records, reading every
// field the report reads.
void BM_PlainPassOverRecords(benchmark::State& state) {
  const sondrel::RunData& run = LongRun();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (const sondrel::ResultRecord& r : run.records)
      sum += r.time + r.ttl + r.bufferSize + r.target + r.when.minute + r.when.hour + r.when.day;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PlainPassOverRecords)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
