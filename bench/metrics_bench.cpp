// What the metrics collector costs the run and what a scrape takes.
//
// ns per result through MetricsCollector::resultAdded on 1,000 targets, a
// pass's end (which publishes the figures) after every 1,000, alone and with
// a thread scraping all the while; one scrape of 1,000 targets in each format.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "monitor/MetricsCollector.h"

namespace sondrel {
namespace {

constexpr std::uint32_t kTargets = 1000;

RunData Targets() {
  RunData run;
  for (std::uint32_t t = 0; t < kTargets; ++t) {
    run.addresses.push_back("127.0." + std::to_string(t / 256) + "." + std::to_string(t % 256));
    run.targetLabels.push_back("host-" + std::to_string(t) + " / " + run.addresses.back());
  }
  run.targetCount = static_cast<std::int32_t>(kTargets);
  return run;
}

void Feed(benchmark::State& state, MetricsCollector& c) {
  ResultRecord r;
  EchoDetail e;
  std::uint32_t target = 0;
  std::int64_t sent = 1'772'892'309'000'000;
  for (auto _ : state) {
    r.target = target;
    const bool replied = (sent & 63) != 0;
    r.time = replied ? 1 : -1;
    r.ttl = replied ? 64 : 0;
    e.roundTripUs = replied ? static_cast<std::uint32_t>(200 + (sent & 4095)) : 0;
    e.sentUtcUs = sent++;
    c.resultAdded(0, r, e);
    if (++target == kTargets) {
      target = 0;
      c.passEnded();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ResultAdded(benchmark::State& state) {
  MetricsCollector c;
  c.runStarted(Targets(), {});
  Feed(state, c);
}
BENCHMARK(BM_ResultAdded);

void BM_ResultAddedWhileScraped(benchmark::State& state) {
  MetricsCollector c;
  c.runStarted(Targets(), {});
  std::atomic<bool> done = false;
  std::atomic<long> scrapes = 0;
  std::thread scraper([&] {
    while (!done) {
      benchmark::DoNotOptimize(c.scrape(ExpositionFormat::Text));
      ++scrapes;
    }
  });
  Feed(state, c);
  done = true;
  scraper.join();
  state.counters["scrapes"] = static_cast<double>(scrapes.load());
}
BENCHMARK(BM_ResultAddedWhileScraped)->UseRealTime();

void BM_Scrape(benchmark::State& state) {
  MetricsCollector c;
  c.runStarted(Targets(), {});
  ResultRecord r;
  EchoDetail e;
  for (std::uint32_t t = 0; t < kTargets; ++t) {
    r.target = t;
    r.time = 1;
    e.roundTripUs = 300 + t;
    c.resultAdded(0, r, e);
  }
  c.passEnded();
  const auto format = state.range(0) ? ExpositionFormat::OpenMetrics : ExpositionFormat::Text;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string body = c.scrape(format);
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Scrape)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sondrel

BENCHMARK_MAIN();
