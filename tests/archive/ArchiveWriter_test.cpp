#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <mutex>

#include "archive/ArchiveSample.h"
#include "archive/ArchiveWriter.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace archive_test;
using namespace std::chrono_literals;

constexpr auto kWait = 10s;

int CountCommit(void* counter) {
  static_cast<std::atomic<int>*>(counter)->fetch_add(1);
  return 0;
}

class ArchiveWriterTest : public ::testing::Test {
 protected:
  ArchiveWriter::Options counting() {
    ArchiveWriter::Options o;
    o.opened = [this](RunArchive& a) { sqlite3_commit_hook(a.handle(), CountCommit, &commits); };
    return o;
  }
  ArchiveWriter::FailureReport collect() {
    return [this](std::string message) {
      std::lock_guard lock(mutex);
      failures.push_back(std::move(message));
    };
  }
  std::vector<std::string> reported() {
    std::lock_guard lock(mutex);
    return failures;
  }
  std::int64_t storedRows() { return RawDb(path).scalar("SELECT coalesce(sum(rows), 0) FROM runs"); }

  QTemporaryDir dir;
  std::string path = dir.filePath("Sondrel.sqlite").toStdString();
  std::atomic<int> commits{0};
  std::mutex mutex;
  std::vector<std::string> failures;
};

TEST_F(ArchiveWriterTest, CommitsByPassAndAtMostOnceIn100Ms) {
  const SampleRun run = MakeRun(5, 301, 2);
  ArchiveWriter writer(path, SystemFiles(), collect(), counting());
  writer.beginRun(run.start);
  ASSERT_TRUE(writer.waitIdle(kWait));
  ASSERT_NE(writer.runId(), 0);
  const int begun = commits.load();

  // A pass not yet ended stays queued.
  for (int k = 0; k < 5; ++k) writer.add(run.results[static_cast<std::size_t>(k)]);
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_EQ(storedRows(), 0);
  EXPECT_EQ(commits.load(), begun);
  writer.passEnded();
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_EQ(storedRows(), 5);
  EXPECT_EQ(commits.load(), begun + 1);

  // 300 passes at once: batches of several passes, never two in 100 ms.
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 5; i < run.results.size(); ++i) {
    writer.add(run.results[i]);
    if (i % 5 == 4) writer.passEnded();
  }
  ASSERT_TRUE(writer.waitIdle(kWait));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(storedRows(), static_cast<std::int64_t>(run.results.size()));
  const int batches = commits.load() - begun - 1;
  EXPECT_GE(batches, 1);
  EXPECT_LE(batches, 1 + static_cast<int>(elapsed / 100ms));
  writer.endRun(RunEnding::CountReached, kStartUtcUs + 400000000, LocalAt(kStartUtcUs + 400000000));
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_TRUE(reported().empty());

  auto archive = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive.ok());
  const RunData data = archive.value()->loadRun(writer.runId()).value();
  ASSERT_EQ(data.records.size(), run.results.size());
  for (std::size_t i = 0; i < run.results.size(); ++i)
    ASSERT_TRUE(SameRecord(data.records[i], run.results[i].record)) << "row " << i;
  EXPECT_EQ(archive.value()->summary(writer.runId()).value().ending, RunEnding::CountReached);
}

TEST_F(ArchiveWriterTest, RetentionAskedMidPassLeavesThePassForItsOwnBatch) {
  // As the daily retention comes while a pass is half in: the half pass is
  // not committed ahead of its other half, which a crash could then lose.
  const SampleRun run = MakeRun(4, 2, 9);
  ArchiveWriter writer(path, SystemFiles(), collect());
  writer.beginRun(run.start);
  ASSERT_TRUE(writer.waitIdle(kWait));
  auto rowsOfRun = [&] { return RawDb(path).scalar("SELECT rows FROM runs WHERE id = " + std::to_string(writer.runId())); };
  for (std::size_t i = 0; i < 4; ++i) writer.add(run.results[i]);
  writer.passEnded();
  for (std::size_t i = 4; i < 6; ++i) writer.add(run.results[i]);
  writer.keep(Retention{}, kStartUtcUs);
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_EQ(rowsOfRun(), 4) << "the first pass only";
  for (std::size_t i = 6; i < 8; ++i) writer.add(run.results[i]);
  writer.passEnded();
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_EQ(rowsOfRun(), 8);
  EXPECT_TRUE(reported().empty());
}

TEST_F(ArchiveWriterTest, DestructionCommitsWhatIsQueued) {
  const SampleRun run = MakeRun(3, 10, 3);
  std::int64_t id = 0;
  {
    ArchiveWriter writer(path, SystemFiles());
    writer.beginRun(run.start);
    for (const ArchiveResult& r : run.results) writer.add(r);  // no pass end, no run end
    ASSERT_TRUE(writer.waitIdle(kWait));
    id = writer.runId();
  }
  EXPECT_EQ(storedRows(), static_cast<std::int64_t>(run.results.size()));
  auto archive = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadWrite);
  ASSERT_TRUE(archive.ok());
  EXPECT_EQ(archive.value()->summary(id).value().ending, RunEnding::Crashed);
}

TEST_F(ArchiveWriterTest, TellsAFailureOnceAndTriesAgainNextRun) {
  // The archive's name is taken by a folder: nothing can be opened.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
  const SampleRun run = MakeRun(4, 20, 4);
  ArchiveWriter writer(path, SystemFiles(), collect());
  writer.beginRun(run.start);
  for (std::size_t i = 0; i < run.results.size(); ++i) {
    writer.add(run.results[i]);
    if (i % 4 == 3) writer.passEnded();
  }
  writer.endRun(RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs));
  ASSERT_TRUE(writer.waitIdle(kWait));
  ASSERT_EQ(reported().size(), 1u);
  EXPECT_NE(reported()[0].find(path), std::string::npos) << reported()[0];
  EXPECT_EQ(writer.dropped(), static_cast<std::int64_t>(run.results.size()));

  ASSERT_TRUE(QDir().rmdir(QString::fromStdString(path)));
  writer.beginRun(run.start);
  for (const ArchiveResult& r : run.results) writer.add(r);
  writer.passEnded();
  writer.endRun(RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs));
  ASSERT_TRUE(writer.waitIdle(kWait));
  EXPECT_EQ(reported().size(), 1u);
  EXPECT_EQ(writer.dropped(), 0);
  EXPECT_EQ(storedRows(), static_cast<std::int64_t>(run.results.size()));
}

TEST_F(ArchiveWriterTest, AFullDiskMidRunIsToldOnceAndTheRestDropped) {
  ArchiveWriter::Options options;
  options.opened = [](RunArchive& a) {
    // Room for the run's start and a little more, as on a disk nearly full.
    sqlite3_exec(a.handle(), "PRAGMA max_page_count=12", nullptr, nullptr, nullptr);
  };
  const SampleRun run = MakeRun(200, 30, 5);
  ArchiveWriter writer(path, SystemFiles(), collect(), options);
  writer.beginRun(run.start);
  ASSERT_TRUE(writer.waitIdle(kWait));
  for (std::size_t i = 0; i < run.results.size(); ++i) {
    writer.add(run.results[i]);
    if (i % 200 == 199) {
      writer.passEnded();
      ASSERT_TRUE(writer.waitIdle(kWait));  // one batch a pass
    }
  }
  writer.endRun(RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs));
  ASSERT_TRUE(writer.waitIdle(kWait));
  ASSERT_EQ(reported().size(), 1u);
  EXPECT_NE(reported()[0].find("full"), std::string::npos) << reported()[0];
  const std::int64_t kept = storedRows();
  EXPECT_LT(kept, static_cast<std::int64_t>(run.results.size()));
  EXPECT_EQ(kept % 200, 0);  // whole batches only
  EXPECT_EQ(writer.dropped() + kept, static_cast<std::int64_t>(run.results.size()));
}

}  // namespace
}  // namespace sondrel
