// Echo throughput and round-trip time of the ICMP carrier on loopback.
// Run inside a private network namespace with loopback up (bench/icmp_compare.sh
// and scripts/bench do that).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdint>
#include <vector>

#include "platform/IcmpSocketCarrier_linux.h"

namespace {

using sondrel::EchoReply;
using sondrel::EchoRequest;

const std::uint32_t kLoopback = inet_addr("127.0.0.1");
// The payload ping and fping send by default.
const std::string kPayload(56, 'p');

// The CSV report wants the same counters in every run.
void ReportRoundTrips(benchmark::State& state, std::vector<std::uint32_t>& rtt, std::int64_t failed) {
  std::sort(rtt.begin(), rtt.end());
  state.counters["rtt_min_us"] = rtt.empty() ? 0 : rtt.front();
  state.counters["rtt_median_us"] = rtt.empty() ? 0 : rtt[rtt.size() / 2];
  state.counters["failed"] = static_cast<double>(failed);
}

bool CarrierReady(benchmark::State& state) {
  std::string why;
  if (sondrel::SystemIcmpCarrier()->available(&why)) return true;
  state.SkipWithError(why.c_str());
  return false;
}

// Many echoes outstanding at once: one echoMany per iteration.
void BM_EchoManyLoopback(benchmark::State& state) {
  if (!CarrierReady(state)) return;
  auto carrier = sondrel::SystemIcmpCarrier();
  const std::vector<EchoRequest> batch(static_cast<std::size_t>(state.range(0)),
                                       EchoRequest{kLoopback, kPayload, 1000});
  std::vector<std::uint32_t> rtt;
  std::int64_t failed = 0;
  for (auto _ : state) {
    const std::vector<EchoReply> replies = carrier->echoMany(batch);
    for (const EchoReply& r : replies) {
      if (r.status != 0) {
        ++failed;
      } else if (rtt.size() < (1u << 20)) {
        rtt.push_back(r.roundTripUs);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  ReportRoundTrips(state, rtt, failed);
}
BENCHMARK(BM_EchoManyLoopback)->Arg(64)->Arg(256)->Arg(1024)->Threads(1)->Threads(2)->UseRealTime()->MinTime(1.0);

// One blocking echo at a time; the carrier's own round-trip figures.
void BM_SingleEchoLoopback(benchmark::State& state) {
  if (!CarrierReady(state)) return;
  auto carrier = sondrel::SystemIcmpCarrier();
  std::vector<std::uint32_t> rtt;
  rtt.reserve(1 << 20);
  std::int64_t failed = 0;
  for (auto _ : state) {
    const EchoReply r = carrier->echo({kLoopback, kPayload, 1000});
    if (r.status == 0 && rtt.size() < (1u << 20)) {
      rtt.push_back(r.roundTripUs);
    } else if (r.status != 0) {
      ++failed;
    }
  }
  state.SetItemsProcessed(state.iterations());
  ReportRoundTrips(state, rtt, failed);
}
BENCHMARK(BM_SingleEchoLoopback)->UseRealTime()->MinTime(1.0);

// One echo every 2 ms, as ping -i 0.002 sends them: the same cadence makes
// the round-trip figures comparable with ping's.
void BM_PacedEchoLoopback(benchmark::State& state) {
  if (!CarrierReady(state)) return;
  auto carrier = sondrel::SystemIcmpCarrier();
  std::vector<std::uint32_t> rtt;
  std::int64_t failed = 0;
  auto next = std::chrono::steady_clock::now();
  for (auto _ : state) {
    next += std::chrono::milliseconds(2);
    std::this_thread::sleep_until(next);
    const EchoReply r = carrier->echo({kLoopback, kPayload, 1000});
    if (r.status == 0) {
      rtt.push_back(r.roundTripUs);
    } else {
      ++failed;
    }
  }
  state.SetItemsProcessed(state.iterations());
  ReportRoundTrips(state, rtt, failed);
}
BENCHMARK(BM_PacedEchoLoopback)->UseRealTime()->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
