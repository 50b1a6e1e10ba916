// The archive's size per result and its read times on large runs. Each
// figure is recorded as a test property (in the XML output) and checked
// against its bound.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>

#include "archive/ArchiveSample.h"
#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace archive_test;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class RunArchiveFigures : public ::testing::Test {
 protected:
  std::unique_ptr<RunArchive> openArchive() {
    auto opened = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadWrite);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return std::move(opened.value());
  }
  // Appends in batches of `perBatch` passes, as the writer does.
  std::int64_t store(RunArchive& archive, const SampleRun& run, int targets, int perBatch) {
    const std::int64_t id = archive.beginRun(run.start).value();
    const std::size_t batch = static_cast<std::size_t>(targets) * static_cast<std::size_t>(perBatch);
    for (std::size_t from = 0; from < run.results.size(); from += batch) {
      auto r = archive.appendResults(id, std::span(run.results).subspan(from, std::min(batch, run.results.size() - from)));
      EXPECT_TRUE(r.ok()) << r.error().message;
      if (!r) break;
    }
    EXPECT_TRUE(archive.endRun(id, RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs)).ok());
    return id;
  }
  void recordMs(const char* name, double ms) { RecordProperty(name, std::to_string(ms)); }

  QTemporaryDir dir;
  std::string path = dir.filePath("Sondrel.sqlite").toStdString();
};

TEST_F(RunArchiveFigures, ManyTargetsTakeAtMost24BytesAResult) {
  auto archive = openArchive();
  const SampleRun run = MakeRun(200, 2000, 11);
  const std::int64_t id = store(*archive, run, 200, 1);
  const double n = static_cast<double>(run.results.size());
  const double asWritten = static_cast<double>(archive->usedBytes().value()) / n;
  ASSERT_EQ(sqlite3_exec(archive->handle(), "VACUUM", nullptr, nullptr, nullptr), SQLITE_OK);
  const double vacuumed = static_cast<double>(archive->usedBytes().value()) / n;
  RecordProperty("bytes_per_result_as_written", std::to_string(asWritten));
  RecordProperty("bytes_per_result_vacuumed", std::to_string(vacuumed));
  EXPECT_LE(asWritten, 24.0);
  EXPECT_LE(vacuumed, 24.0);

  const auto t = Clock::now();
  auto data = archive->loadRun(id);
  const double loadMs = MsSince(t);
  ASSERT_TRUE(data.ok());
  ASSERT_EQ(data.value().records.size(), run.results.size());
  recordMs("load_400k_ms", loadMs);
  EXPECT_LT(loadMs, 400.0);
}

TEST_F(RunArchiveFigures, ADayOfOneTargetIsSmallAndChartsFast) {
  auto archive = openArchive();
  const SampleRun run = MakeRun(1, 86400, 12);
  const std::int64_t id = store(*archive, run, 1, 10);
  const double perResult = static_cast<double>(archive->usedBytes().value()) / 86400.0;
  RecordProperty("bytes_per_result_one_target", std::to_string(perResult));
  EXPECT_LE(perResult, 24.0);

  const auto t = Clock::now();
  auto echoes = archive->echoesOf(id, 0, kStartUtcUs, kStartUtcUs + 86400LL * 1000000);
  const double ms = MsSince(t);
  ASSERT_TRUE(echoes.ok());
  EXPECT_EQ(echoes.value().size(), 86400u);
  recordMs("echoes_86400_ms", ms);
  EXPECT_LT(ms, 50.0);
  // An hour of it reads only that hour's chunks.
  auto hour = archive->echoesOf(id, 0, kStartUtcUs + 3600LL * 1000000, kStartUtcUs + 7200LL * 1000000 - 1);
  ASSERT_TRUE(hour.ok());
  EXPECT_EQ(hour.value().size(), 3600u);
}

TEST_F(RunArchiveFigures, TenThousandRunsListFast) {
  auto archive = openArchive();
  ASSERT_EQ(sqlite3_exec(archive->handle(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr), SQLITE_OK);
  SampleRun run = MakeRun(3, 0);
  for (int k = 0; k < 10000; ++k) {
    run.start.startUtcUs = kStartUtcUs + std::int64_t{k} * 60 * 1000000;
    run.start.labels[0] = "site-" + std::to_string(k);
    const std::int64_t id = archive->beginRun(run.start).value();
    ASSERT_TRUE(archive->endRun(id, RunEnding::Stopped, run.start.startUtcUs + 1, run.start.startLocal).ok());
  }
  auto t = Clock::now();
  auto page = archive->listRuns({}, 0, 100);
  const double listMs = MsSince(t);
  ASSERT_TRUE(page.ok());
  ASSERT_EQ(page.value().size(), 100u);
  EXPECT_EQ(page.value()[0].firstLabels[0], "site-9999");
  t = Clock::now();
  const std::int64_t all = archive->countRuns({}).value();
  const double countMs = MsSince(t);
  EXPECT_EQ(all, 10000);
  t = Clock::now();
  auto found = archive->listRuns({"site-12", {}, {}}, 0, 100);
  const double filterMs = MsSince(t);
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(found.value().size(), 100u);  // site-12, site-120.., site-1200..
  recordMs("list_100_of_10000_ms", listMs);
  recordMs("count_10000_ms", countMs);
  recordMs("list_filtered_ms", filterMs);
  EXPECT_LT(listMs, 50.0);
  EXPECT_LT(countMs, 50.0);
  EXPECT_LT(filterMs, 50.0);
}

// Ten million results (about 1.5 GB of memory to make): run by hand with
// --gtest_also_run_disabled_tests.
TEST_F(RunArchiveFigures, DISABLED_TenMillionResultsLoad) {
  auto archive = openArchive();
  const SampleRun run = MakeRun(100, 100000, 13);
  const std::int64_t id = store(*archive, run, 100, 10);
  RecordProperty("bytes_per_result_10m", std::to_string(static_cast<double>(archive->usedBytes().value()) / 1e7));
  const auto t = Clock::now();
  auto data = archive->loadRun(id);
  const double ms = MsSince(t);
  ASSERT_TRUE(data.ok());
  EXPECT_EQ(data.value().records.size(), 10000000u);
  recordMs("load_10m_ms", ms);
  std::printf("load of 10M results: %.0f ms\n", ms);
}

}  // namespace
}  // namespace sondrel
