// What the archive does with files it did not expect: damaged, made by a
// newer program, left by a run that died, or failing halfway.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "archive/ArchiveSample.h"
#include "archive/RunArchive.h"
#include "fakes/FailingFiles.h"
#include "platform/Files_linux.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

using namespace archive_test;
using testing_files::Names;
using testing_files::ReadFile;

class RunArchiveDamageTest : public ::testing::Test {
 protected:
  Result<std::unique_ptr<RunArchive>> open(ArchiveAccess access = ArchiveAccess::ReadWrite) {
    return RunArchive::open(SystemFiles(), path, access);
  }
  void write(const std::string& bytes) { ASSERT_TRUE(SystemFiles().writeNewFile(path, bytes).ok()); }

  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/";
  std::string path = folder + kArchiveFile;
};

TEST_F(RunArchiveDamageTest, ABatchIsKeptWholeOrNotAtAll) {
  auto opened = open();
  ASSERT_TRUE(opened.ok());
  RunArchive& archive = *opened.value();
  const SampleRun run = MakeRun(300, 40, 4);
  const std::span<const ArchiveResult> all(run.results);
  const std::int64_t id = archive.beginRun(run.start).value();
  ASSERT_TRUE(archive.appendResults(id, all.first(600)).ok());
  // A full disk: the file may not grow past a few pages more, so the next
  // batch fails after some of its chunks are written.
  RawDb raw(path);
  const std::int64_t pages = raw.scalar("PRAGMA page_count");
  ASSERT_TRUE(raw.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
  sqlite3_stmt* s = nullptr;
  const std::string limit = "PRAGMA max_page_count=" + std::to_string(pages + 2);
  ASSERT_EQ(sqlite3_prepare_v2(archive.handle(), limit.c_str(), -1, &s, nullptr), SQLITE_OK);
  sqlite3_step(s);
  sqlite3_finalize(s);
  auto failed = archive.appendResults(id, all.subspan(600, 6000));
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.error().message.find(path), std::string::npos) << failed.error().message;
  EXPECT_NE(failed.error().message.find("full"), std::string::npos) << failed.error().message;
  EXPECT_EQ(raw.scalar("SELECT rows FROM runs"), 600);
  EXPECT_EQ(raw.scalar("SELECT sum(count) FROM chunks"), 600);
  EXPECT_EQ(archive.loadRun(id).value().records.size(), 600u);

  // Room again: the run goes on where the last whole batch left it.
  ASSERT_EQ(sqlite3_exec(archive.handle(), "PRAGMA max_page_count=1073741823", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_TRUE(archive.appendResults(id, all.subspan(600)).ok());
  const RunData data = archive.loadRun(id).value();
  ASSERT_EQ(data.records.size(), run.results.size());
  for (std::size_t i = 0; i < run.results.size(); ++i)
    ASSERT_TRUE(SameRecord(data.records[i], run.results[i].record)) << "row " << i;
}

TEST_F(RunArchiveDamageTest, NewerFormatIsOpenedReadOnlyAndLeftAsItIs) {
  {
    RawDb raw(path);
    ASSERT_TRUE(raw.exec("CREATE TABLE runs(id INTEGER PRIMARY KEY, future TEXT); PRAGMA user_version=9"));
  }
  const std::string before = ReadFile(path);
  auto opened = open();
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  RunArchive& archive = *opened.value();
  EXPECT_TRUE(archive.readOnly());
  EXPECT_NE(archive.notice().find("newer"), std::string::npos) << archive.notice();
  EXPECT_NE(archive.notice().find(path), std::string::npos);
  auto begun = archive.beginRun(MakeRun(1, 1).start);
  EXPECT_FALSE(begun.ok());
  EXPECT_FALSE(archive.setPinned(1, true).ok());
  EXPECT_FALSE(archive.applyRetention({}, kStartUtcUs).ok());
  opened.value().reset();
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(RawDb(path).scalar("PRAGMA user_version"), 9);
}

TEST_F(RunArchiveDamageTest, DamagedFilesAreKeptAsideAndANewArchiveBegun) {
  // No database at all.
  const std::string garbage(10000, '\x5a');
  write(garbage);
  {
    auto opened = open();
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    const std::string notice = opened.value()->notice();
    EXPECT_NE(notice.find(path), std::string::npos) << notice;
    EXPECT_NE(notice.find(path + ".damaged-1"), std::string::npos) << notice;
    EXPECT_EQ(ReadFile(path + ".damaged-1"), garbage);
    ASSERT_TRUE(opened.value()->beginRun(MakeRun(2, 1).start).ok());
  }
  // A database cut short: its pages past the cut are gone.
  {
    auto opened = open();
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value()->notice(), "");
    const SampleRun run = MakeRun(50, 200, 2);
    const std::int64_t id = opened.value()->beginRun(run.start).value();
    ASSERT_TRUE(opened.value()->appendResults(id, run.results).ok());
  }
  ASSERT_FALSE(SystemFiles().fileExists(path + "-wal"));  // the last connection folded it in
  std::string bytes = ReadFile(path);
  ASSERT_GT(bytes.size(), 40000u);
  bytes.resize(bytes.size() / 2);
  SystemFiles().removeFile(path);
  write(bytes);
  auto opened = open();
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  const std::string notice = opened.value()->notice();
  EXPECT_NE(notice.find(path + ".damaged-2"), std::string::npos) << notice;
  EXPECT_EQ(ReadFile(path + ".damaged-2"), bytes);
  EXPECT_EQ(ReadFile(path + ".damaged-1"), garbage);
  EXPECT_EQ(opened.value()->countRuns({}).value(), 0);
}

TEST_F(RunArchiveDamageTest, ARunLeftWithoutEndIsMarkedCrashed) {
  const SampleRun run = MakeRun(3, 20, 6);
  std::int64_t dead = 0, alive = 0;
  auto keeper = open();  // a program still running its run
  ASSERT_TRUE(keeper.ok());
  alive = keeper.value()->beginRun(MakeRun(1, 1, 1, kStartUtcUs + 5).start).value();
  {
    auto opened = open();
    dead = opened.value()->beginRun(run.start).value();
    ASSERT_TRUE(opened.value()->appendResults(dead, run.results).ok());
    // The program dies: no end.
  }
  auto opened = open();
  ASSERT_TRUE(opened.ok());
  const RunSummary s = opened.value()->summary(dead).value();
  EXPECT_EQ(s.ending, RunEnding::Crashed);
  // It ends when its last echo to end ended.
  const ArchiveResult* last = &run.results.front();
  auto endOf = [](const ArchiveResult& a) { return a.sentUtcUs + std::max<std::int64_t>(a.roundTripUs, 0); };
  for (const ArchiveResult& a : run.results)
    if (endOf(a) >= endOf(*last)) last = &a;
  EXPECT_EQ(s.endUtcUs, endOf(*last));
  EXPECT_EQ(s.endLocal, FormatArchiveLocal(last->record.when));
  EXPECT_EQ(opened.value()->summary(alive).value().ending, RunEnding::Running);
  EXPECT_EQ(opened.value()->loadRun(dead).value().records.size(), run.results.size());
  // No lock file is left of the dead run; the live one keeps its own.
  EXPECT_EQ(Names(folder).count(std::string(kArchiveFile) + ".run" + std::to_string(dead) + ".lock"), 0u);
  EXPECT_EQ(Names(folder).count(std::string(kArchiveFile) + ".run" + std::to_string(alive) + ".lock"), 1u);
}

TEST_F(RunArchiveDamageTest, AnotherProgramOpeningAsARunBeginsLeavesItGoing) {
  // The other program (a window starting, sondrel-cli runs --pin) opens the
  // archive at the worst moment: just as the run's lock is taken.
  ASSERT_TRUE(open().ok());
  fakes::FailingFiles files(SystemFiles());
  std::vector<RunEnding> seen;
  files.beforeLock = [&](const std::string&) {
    auto other = open();
    ASSERT_TRUE(other.ok()) << other.error().message;
    auto listed = other.value()->listRuns({}, 0, 10);
    ASSERT_TRUE(listed.ok()) << listed.error().message;
    for (const RunSummary& r : listed.value()) seen.push_back(r.ending);
  };
  auto opened = RunArchive::open(files, path, ArchiveAccess::ReadWrite);
  ASSERT_TRUE(opened.ok());
  const std::int64_t id = opened.value()->beginRun(MakeRun(2, 1).start).value();
  // The run is not there yet, or is there with its lock held: never ended
  // as crashed while it goes.
  for (RunEnding ending : seen) EXPECT_EQ(ending, RunEnding::Running);
  EXPECT_EQ(opened.value()->summary(id).value().ending, RunEnding::Running);
  EXPECT_EQ(open().value()->summary(id).value().ending, RunEnding::Running);
  ASSERT_TRUE(opened.value()->appendResults(id, MakeRun(2, 1).results).ok());
  ASSERT_TRUE(opened.value()->endRun(id, RunEnding::CountReached, kStartUtcUs + 1000000, LocalAt(kStartUtcUs + 1000000)).ok());
  EXPECT_EQ(Names(folder).count(std::string(kArchiveFile) + ".run" + std::to_string(id) + ".lock"), 0u);
}

TEST_F(RunArchiveDamageTest, FailuresComeBackWithTheirReason) {
  ASSERT_TRUE(SystemFiles().writeNewFile(folder + "plain", "x").ok());
  auto opened = RunArchive::open(SystemFiles(), folder + "plain/Sondrel.sqlite", ArchiveAccess::ReadWrite);
  ASSERT_FALSE(opened.ok());
  EXPECT_NE(opened.error().message.find(folder + "plain/Sondrel.sqlite"), std::string::npos) << opened.error().message;
  auto missing = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadOnly);
  EXPECT_FALSE(missing.ok());
  auto archive = open();
  ASSERT_TRUE(archive.ok());
  EXPECT_FALSE(archive.value()->appendResults(42, MakeRun(1, 1).results).ok());
  EXPECT_FALSE(archive.value()->loadRun(42).ok());
}

TEST_F(RunArchiveDamageTest, DamagedResultsAreToldNotRead) {
  auto opened = open();
  ASSERT_TRUE(opened.ok());
  RunArchive& archive = *opened.value();
  const SampleRun run = MakeRun(2, 200, 8);
  const std::int64_t id = archive.beginRun(run.start).value();
  ASSERT_TRUE(archive.appendResults(id, run.results).ok());
  RawDb raw(path);
  // A chunk cut short, one of noise, and one that points past the run's rows.
  ASSERT_TRUE(raw.exec("UPDATE chunks SET data = substr(data, 1, length(data) / 2) WHERE first_row = 0 AND target = 0"));
  auto cut = archive.loadRun(id);
  ASSERT_FALSE(cut.ok());
  EXPECT_NE(cut.error().message.find("damaged"), std::string::npos) << cut.error().message;
  EXPECT_FALSE(archive.echoesOf(id, 0, 0, INT64_MAX).ok());
  ASSERT_TRUE(raw.exec("UPDATE chunks SET data = randomblob(300) WHERE first_row = 0 AND target = 0"));
  EXPECT_FALSE(archive.loadRun(id).ok());
  ASSERT_TRUE(raw.exec("UPDATE chunks SET data = x'', count = 0 WHERE first_row = 0 AND target = 0"));
  EXPECT_FALSE(archive.loadRun(id).ok());  // rows missing
  ASSERT_TRUE(raw.exec("UPDATE chunks SET first_row = 1000000 WHERE first_row = 1 AND target = 1"));
  EXPECT_FALSE(archive.loadRun(id).ok());
  // The other target's chart reads its own chunks only, whole.
  auto other = archive.echoesOf(id, 1, 0, INT64_MAX);
  ASSERT_TRUE(other.ok()) << other.error().message;
  EXPECT_EQ(other.value().size(), 200u);
}

}  // namespace
}  // namespace sondrel
