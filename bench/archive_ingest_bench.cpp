// Results into the run archive, beside a bare SQLite insert loop on the same
// machine in the same run: one row per result, one prepared statement, one
// transaction per pass, WAL and synchronous=NORMAL as the archive has them.
// Each ingest benchmark writes 200 targets x 500 passes into a new file.
//
// Then what the archive gives back: a run of 10 million results opened with
// loadRun, beside the reload of a 100 MB run log; the bytes a result takes
// on disk, beside the run log of the same results; one target's day at one
// echo a second for a chart; the first page of a list of 10,000 runs.
// Each is repeated and reported as its median.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "HundredMegabyteLog.h"
#include "archive/ArchiveWriter.h"
#include "archive/RunArchive.h"
#include "ping/RunLog.h"
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
BENCHMARK(BM_BareInsertLoop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

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
BENCHMARK(BM_ArchiveAppendPerPass)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

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
BENCHMARK(BM_WriterIngest)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

// ---- reading back ----

constexpr int kLoadTargets = 1000;
constexpr int kLoadPasses = 10000;

// A long run's result: replies of 0.2 to 80 ms, sent a few ms apart within
// the pass, one in twenty lost.
ArchiveResult SteadyResult(int pass, int target, int targets) {
  ArchiveResult r;
  r.pass = static_cast<std::uint32_t>(pass);
  const std::uint32_t mix = static_cast<std::uint32_t>(pass) * 2654435761u ^ static_cast<std::uint32_t>(target) * 40503u;
  r.sentUtcUs = kStart + std::int64_t{pass} * 1'000'000 + std::int64_t{target} * 900'000 / targets + mix % 3000;
  r.record.target = static_cast<std::uint32_t>(target);
  r.record.bufferSize = 32;
  if (mix % 20 == 7) {
    r.roundTripUs = -1;
    r.record.time = -1;
    r.record.ttl = 0;
    r.record.status = 11010;
  } else {
    r.roundTripUs = 200 + mix % 80'000;
    r.record.time = static_cast<std::int32_t>(r.roundTripUs / 1000);
    r.record.ttl = 57;
  }
  const std::int64_t local = (r.sentUtcUs + std::max<std::int64_t>(r.roundTripUs, 0)) / 1'000'000 + 3600;
  const std::int64_t inDay = local % 86400;
  const std::int64_t day = local / 86400 - 20'519;  // days after 2026-03-07
  r.record.when = ResultTime{2026, 3, static_cast<std::uint8_t>(7 + day), static_cast<std::uint8_t>(inDay / 3600),
                             static_cast<std::uint8_t>(inDay / 60 % 60), static_cast<std::uint8_t>(inDay % 60)};
  return r;
}

ArchiveRunStart StartWith(int targets) {
  ArchiveRunStart start = StartOf();
  start.addresses.clear();
  for (int k = 0; k < targets; ++k)
    start.addresses.push_back("127." + std::to_string(k / 62500) + "." + std::to_string(k / 250 % 250) + "." +
                              std::to_string(k % 250 + 1));
  start.labels = start.addresses;
  start.targetCount = targets;
  return start;
}

// An archive holding one run of `targets` x `passes`, appended ten passes
// a transaction; made once per program run. The run log of the same
// results is counted as it goes: its bytes, as RunLog writes them.
struct StoredRun {
  std::string path;
  std::int64_t id = 0;
  std::int64_t results = 0;
  std::int64_t logBytes = 0;
};

StoredRun StoreRun(const char* name, int targets, int passes) {
  StoredRun stored;
  stored.path = FreshPath(name);
  auto archive = RunArchive::open(SystemFiles(), stored.path, ArchiveAccess::ReadWrite);
  const ArchiveRunStart start = StartWith(targets);
  stored.id = archive.value()->beginRun(start).value();
  stored.logBytes = static_cast<std::int64_t>(FormatLogHeader(targets, 1).size() + kLineEnd.size());
  std::vector<ArchiveResult> batch;
  for (int pass = 0; pass < passes; ++pass) {
    for (int target = 0; target < targets; ++target) {
      batch.push_back(SteadyResult(pass, target, targets));
      stored.logBytes += static_cast<std::int64_t>(
          FormatLogLine(batch.back().record, RecordIP(start.addresses[static_cast<std::size_t>(target)])).size() +
          kLineEnd.size());
    }
    if (pass % 10 == 9 || pass + 1 == passes) {
      if (!archive.value()->appendResults(stored.id, batch)) std::fprintf(stderr, "append failed\n");
      batch.clear();
    }
  }
  archive.value()->endRun(stored.id, RunEnding::Stopped, kStart + passes * 1'000'000LL, {2026, 3, 7, 14, 5, 9, 0});
  stored.results = std::int64_t{targets} * passes;
  // As a closed archive is: the log folded into the file.
  sqlite3_exec(archive.value()->handle(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
  return stored;
}

const StoredRun& TenMillionRun() {
  static const StoredRun run = StoreRun("load10m", kLoadTargets, kLoadPasses);
  return run;
}

std::int64_t FileBytes(const std::string& path) {
  std::int64_t total = 0;
  for (const char* end : {"", "-wal"}) {
    if (FILE* f = std::fopen((path + end).c_str(), "rb")) {
      std::fseek(f, 0, SEEK_END);
      total += std::ftell(f);
      std::fclose(f);
    }
  }
  return total;
}

void BM_LoadTenMillionResults(benchmark::State& state) {
  const StoredRun& stored = TenMillionRun();
  auto archive = RunArchive::open(SystemFiles(), stored.path, ArchiveAccess::ReadOnly);
  if (!archive) {
    state.SkipWithError("no archive");
    return;
  }
  for (auto _ : state) {
    auto run = archive.value()->loadRun(stored.id);
    if (!run || static_cast<std::int64_t>(run.value().records.size()) != stored.results)
      state.SkipWithError("load failed");
  }
  state.counters["results"] = static_cast<double>(stored.results);
}
BENCHMARK(BM_LoadTenMillionResults)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)->ReportAggregatesOnly();

// The peer: the reload of a 100 MB log, as the window does it at start-up.
void BM_Reload100MBLog(benchmark::State& state) {
  static QTemporaryDir dir;
  static const std::string folder = [] {
    const std::string f = dir.path().toStdString() + "/";
    WriteHundredMegabyteLog(f);
    return f;
  }();
  RunLog log(folder, SystemFiles());
  std::size_t records = 0;
  for (auto _ : state) {
    auto run = log.loadPreviousRun();
    if (!run) state.SkipWithError("reload failed");
    records = run.value().records.size();
  }
  state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_Reload100MBLog)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)->ReportAggregatesOnly();

// Bytes on disk per result of the 10-million-result run, beside its run log.
void BM_BytesPerResult(benchmark::State& state) {
  const StoredRun& stored = TenMillionRun();
  for (auto _ : state) benchmark::DoNotOptimize(FileBytes(stored.path));
  const auto n = static_cast<double>(stored.results);
  state.counters["archive_bytes_per_result"] = static_cast<double>(FileBytes(stored.path)) / n;
  state.counters["log_bytes_per_result"] = static_cast<double>(stored.logBytes) / n;
}
BENCHMARK(BM_BytesPerResult)->Iterations(1);

// One target's 24 hours at one echo a second, read back for a chart.
void BM_EchoesOfADay(benchmark::State& state) {
  static const StoredRun stored = StoreRun("day", 1, 86400);
  auto archive = RunArchive::open(SystemFiles(), stored.path, ArchiveAccess::ReadOnly);
  std::size_t echoes = 0;
  for (auto _ : state) {
    auto got = archive.value()->echoesOf(stored.id, 0, kStart, kStart + 86400LL * 1'000'000);
    echoes = got ? got.value().size() : 0;
    if (echoes != 86400) state.SkipWithError("echoes missing");
  }
  state.counters["echoes"] = static_cast<double>(echoes);
}
BENCHMARK(BM_EchoesOfADay)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)->Repetitions(5)->ReportAggregatesOnly();

// The runs list of an archive of 10,000 runs: its first page and the count.
void BM_ListTenThousandRuns(benchmark::State& state) {
  static const std::string path = [] {
    const std::string p = FreshPath("runs");
    auto archive = RunArchive::open(SystemFiles(), p, ArchiveAccess::ReadWrite);
    sqlite3_exec(archive.value()->handle(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    ArchiveRunStart start = StartWith(3);
    for (int k = 0; k < 10000; ++k) {
      start.startUtcUs = kStart + std::int64_t{k} * 60'000'000;
      start.labels[0] = "site-" + std::to_string(k);
      const std::int64_t id = archive.value()->beginRun(start).value();
      archive.value()->endRun(id, RunEnding::Stopped, start.startUtcUs + 1, start.startLocal);
    }
    return p;
  }();
  auto archive = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadOnly);
  for (auto _ : state) {
    auto page = archive.value()->listRuns({}, 0, 100);
    auto count = archive.value()->countRuns({});
    if (!page || page.value().size() != 100 || !count || count.value() != 10000) state.SkipWithError("list failed");
  }
}
BENCHMARK(BM_ListTenThousandRuns)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace sondrel

BENCHMARK_MAIN();
