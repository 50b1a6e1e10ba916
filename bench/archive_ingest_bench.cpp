// Results into the run archive, beside a bare SQLite insert loop on the same
// machine in the same run: one row per result, one prepared statement, one
// transaction per pass, WAL and synchronous=NORMAL as the archive has them.
// Each benchmark writes 200 targets x 500 passes into a new file.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

constexpr int kTargets = 200;
constexpr int kPasses = 500;
constexpr std::int64_t kStart = 1'772'892'309'000'000;  // 2026-03-07 14:05:09 UTC

std::string FreshPath(const char* name) {
  const std::string path = "/tmp/sondrel-bench-" + std::string(name) + ".sqlite";
  for (const char* end : {"", "-wal", "-shm"}) std::remove((path + end).c_str());
  return path;
}

ArchiveResult ResultOf(int pass, int target) {
  ArchiveResult r;
  r.pass = static_cast<std::uint32_t>(pass);
  r.sentUtcUs = kStart + std::int64_t{pass} * 1'000'000;
  r.roundTripUs = 40 + (target * 7 + pass) % 90;
  r.record.target = static_cast<std::uint32_t>(target);
  r.record.bufferSize = 32;
  r.record.time = 0;
  r.record.ttl = 64;
  const int second = 9 + pass;
  r.record.when = ResultTime{2026, 3, 7, static_cast<std::uint8_t>(14 + second / 3600),
                             static_cast<std::uint8_t>(5 + second / 60 % 60), static_cast<std::uint8_t>(second % 60)};
  return r;
}

ArchiveRunStart StartOf() {
  ArchiveRunStart start;
  start.startUtcUs = kStart;
  start.startLocal = {2026, 3, 7, 14, 5, 9, 0};
  for (int k = 0; k < kTargets; ++k) start.addresses.push_back("127.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1));
  start.labels = start.addresses;
  start.targetCount = kTargets;
  return start;
}

void BM_BareInsertLoop(benchmark::State& state) {
  for (auto _ : state) {
    const std::string path = FreshPath("bare");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE results(run INTEGER, target INTEGER, pass INTEGER, sent INTEGER, rtt INTEGER,"
                     " ttl INTEGER, status INTEGER, size INTEGER, PRIMARY KEY(run, target, pass)) WITHOUT ROWID",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO results VALUES(1, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
    for (int pass = 0; pass < kPasses; ++pass) {
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      for (int target = 0; target < kTargets; ++target) {
        const ArchiveResult r = ResultOf(pass, target);
        sqlite3_bind_int(insert, 1, target);
        sqlite3_bind_int(insert, 2, pass);
        sqlite3_bind_int64(insert, 3, r.sentUtcUs);
        sqlite3_bind_int64(insert, 4, r.roundTripUs);
        sqlite3_bind_int(insert, 5, r.record.ttl);
        sqlite3_bind_int(insert, 6, r.record.status);
        sqlite3_bind_int(insert, 7, r.record.bufferSize);
        sqlite3_step(insert);
        sqlite3_reset(insert);
      }
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations() * kTargets * kPasses);
}
BENCHMARK(BM_BareInsertLoop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The archive's own batches: one appendResults per pass.
void BM_ArchiveAppendPerPass(benchmark::State& state) {
  for (auto _ : state) {
    auto archive = RunArchive::open(SystemFiles(), FreshPath("archive"), ArchiveAccess::ReadWrite);
    const std::int64_t run = archive.value()->beginRun(StartOf()).value();
    std::vector<ArchiveResult> batch(kTargets);
    for (int pass = 0; pass < kPasses; ++pass) {
      for (int target = 0; target < kTargets; ++target) batch[target] = ResultOf(pass, target);
      if (!archive.value()->appendResults(run, batch)) state.SkipWithError("append failed");
    }
    archive.value()->endRun(run, RunEnding::CountReached, kStart + kPasses * 1'000'000LL, {2026, 3, 7, 14, 13, 29, 0});
  }
  state.SetItemsProcessed(state.iterations() * kTargets * kPasses);
}
BENCHMARK(BM_ArchiveAppendPerPass)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// What the run pays and what reaches the disk: results handed to the writer
// as fast as they come, then the wait until all are committed.
void BM_WriterIngest(benchmark::State& state) {
  for (auto _ : state) {
    ArchiveWriter writer(FreshPath("writer"), SystemFiles());
    writer.beginRun(StartOf());
    for (int pass = 0; pass < kPasses; ++pass) {
      for (int target = 0; target < kTargets; ++target) writer.add(ResultOf(pass, target));
      writer.passEnded();
    }
    writer.endRun(RunEnding::CountReached, kStart + kPasses * 1'000'000LL, {2026, 3, 7, 14, 13, 29, 0});
    if (!writer.waitIdle(std::chrono::seconds(60))) state.SkipWithError("writer did not finish");
  }
  state.SetItemsProcessed(state.iterations() * kTargets * kPasses);
}
BENCHMARK(BM_WriterIngest)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace sondrel

BENCHMARK_MAIN();
