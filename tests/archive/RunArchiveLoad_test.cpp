// Reading a run back whole: the decoding of its chunks into records in
// place, and the load of a large run by two threads, each on a connection
// of its own, with the chunks that cross from one thread's rows into the
// other's.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <iterator>
#include <random>

#include "archive/ArchiveSample.h"
#include "archive/ResultChunk.h"
#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace archive_test;

// Enough results for the load to take a second thread.
constexpr int kTargets = 300;
constexpr int kPasses = 1000;

ArchiveResult ResultAt(std::int64_t sentUtcUs, std::int64_t roundTripUs, std::uint32_t target) {
  ArchiveResult a;
  a.sentUtcUs = sentUtcUs;
  a.roundTripUs = roundTripUs;
  a.record.target = target;
  a.record.bufferSize = 32;
  a.record.time = roundTripUs < 0 ? -1 : static_cast<std::int32_t>(roundTripUs / 1000);
  a.record.ttl = roundTripUs < 0 ? 0 : 64;
  a.record.status = roundTripUs < 0 ? 11010 : 0;
  a.record.when = ResultTime::from(LocalAt(sentUtcUs));
  return a;
}

void ExpectSameStatistics(const RunStatistics& got, const RunStatistics& want) {
  EXPECT_EQ(got.sent, want.sent);
  EXPECT_EQ(got.lost, want.lost);
  EXPECT_EQ(got.timeSum, want.timeSum);
  EXPECT_EQ(got.ttlSum, want.ttlSum);
  EXPECT_EQ(got.minTime, want.minTime);
  EXPECT_EQ(got.maxTime, want.maxTime);
  EXPECT_EQ(got.avgTime, want.avgTime);
  EXPECT_EQ(got.avgTtl, want.avgTtl);
  EXPECT_EQ(got.firstTarget, want.firstTarget);
}

// The records as appended, and the statistics the run counted over them
// (a damaged line of a log in none).
void ExpectLoadedAsAppended(const RunData& data, const std::vector<ArchiveResult>& results, const std::string& first) {
  ASSERT_EQ(data.records.size(), results.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < results.size() && mismatches < 5; ++i) {
    if (SameRecord(data.records[i], results[i].record)) continue;
    ++mismatches;
    EXPECT_RECORD_EQ(data.records[i], results[i].record, "row " << i);
  }
  EXPECT_EQ(mismatches, 0);
  std::vector<ArchiveResult> counted;
  std::copy_if(results.begin(), results.end(), std::back_inserter(counted),
               [](const ArchiveResult& a) { return !IsDamaged(a.record); });
  ExpectSameStatistics(data.stats, CountedStats(counted, first));
}

TEST(RecordFill, StoresOnlyItsRangeAndTellsWhatGoesOnPastIt) {
  // One target of three: rows 10, 13, ... 22.
  ResultChunk chunk;
  std::vector<ArchiveResult> results;
  for (int k = 0; k < 5; ++k) {
    results.push_back(ResultAt(kStartUtcUs + k * 1000000LL, 1500 + k, 1));
    chunk.add(10 + 3 * k, results.back());
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.bytes().data());
  std::vector<ResultRecord> records(30);
  bool beyond = false;

  RecordFill before(records.data(), 30, 0, 17);
  ASSERT_TRUE(before.add(1, chunk.firstRow(), chunk.count(), bytes, chunk.bytes().size(), beyond));
  EXPECT_TRUE(beyond);
  EXPECT_EQ(before.placed(), 3);
  EXPECT_TRUE(SameRecord(records[16], results[2].record));
  EXPECT_FALSE(SameRecord(records[19], results[3].record));

  RecordFill after(records.data(), 30, 17, 30);
  ASSERT_TRUE(after.add(1, chunk.firstRow(), chunk.count(), bytes, chunk.bytes().size(), beyond));
  EXPECT_FALSE(beyond);
  EXPECT_EQ(after.placed(), 2);
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(SameRecord(records[10 + 3 * k], results[k].record)) << k;
  EXPECT_EQ(before.counts().sent + after.counts().sent, 5);
  EXPECT_EQ(before.counts().timeSum + after.counts().timeSum, 5);  // 1 ms each

  // Rows past the run, or before the chunk's own first row, are damage.
  RecordFill shorter(records.data(), 20, 0, 20);
  EXPECT_FALSE(shorter.add(1, chunk.firstRow(), chunk.count(), bytes, chunk.bytes().size(), beyond));
  ResultChunk backwards;
  backwards.add(10, results[0]);
  backwards.add(8, results[1]);
  RecordFill all(records.data(), 30, 0, 30);
  EXPECT_FALSE(all.add(1, backwards.firstRow(), backwards.count(),
                       reinterpret_cast<const unsigned char*>(backwards.bytes().data()), backwards.bytes().size(),
                       beyond));
}

TEST(RecordFill, ReadsEveryFieldAtTheEdgesOfItsEncoding) {
  // Each field at sizes of one to ten bytes, jumps back and forth, and the
  // last results within a few bytes of the chunk's end.
  std::vector<ArchiveResult> results;
  std::int64_t sent = kStartUtcUs;
  const std::int64_t trips[] = {0, 127, 128, 16383, 16384, (1 << 21) - 1, 1 << 21, (1 << 28) - 1, 1 << 28,
                                std::int64_t{1} << 40, INT64_MAX / 2, -1};
  for (std::size_t k = 0; k < std::size(trips); ++k) {
    sent += k % 3 == 2 ? -86'400'000'000LL * 400 : std::int64_t{1} << (k * 5 % 50);
    ArchiveResult a = ResultAt(sent, trips[k], 7);
    a.pass = static_cast<std::uint32_t>(k % 4 == 3 ? 4000000000u : k * k);
    a.record.ttl = static_cast<std::int16_t>(k % 2 ? -5 : 255);
    a.record.bufferSize = k % 5 == 4 ? 65500 : 32;
    a.record.status = k % 4 == 1 ? -2147483647 : a.record.status;
    if (k == 4) a.record.time = 2147483647;  // not the round trip's
    if (k == 6) a.record.when = ResultTime{2025, 2, 31, 25, 61, 99};  // no calendar date: kept as given
    if (k == 8) a.record.when.day = ResultTime::kNoField;
    results.push_back(a);
  }
  ResultChunk chunk;
  std::vector<std::int64_t> rows;
  for (std::size_t k = 0; k < results.size(); ++k) {
    rows.push_back(5 + static_cast<std::int64_t>(k * k * 1000));
    chunk.add(rows.back(), results[k]);
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.bytes().data());

  ChunkReader reader;
  reader.start(7, chunk.firstRow(), bytes, chunk.bytes().size());
  std::vector<ResultRecord> records(static_cast<std::size_t>(rows.back() + 1));
  RecordFill fill(records.data(), rows.back() + 1, 0, rows.back() + 1);
  bool beyond = false;
  ASSERT_TRUE(fill.add(7, chunk.firstRow(), chunk.count(), bytes, chunk.bytes().size(), beyond));
  for (std::size_t k = 0; k < results.size(); ++k) {
    DecodedResult d;
    ASSERT_TRUE(reader.next(d)) << k;
    EXPECT_EQ(d.row, rows[k]);
    EXPECT_EQ(d.result.pass, results[k].pass) << k;
    EXPECT_EQ(d.result.sentUtcUs, results[k].sentUtcUs) << k;
    EXPECT_EQ(d.result.roundTripUs, results[k].roundTripUs) << k;
    EXPECT_RECORD_EQ(d.result.record, results[k].record, "result " << k);
    EXPECT_RECORD_EQ(records[static_cast<std::size_t>(rows[k])], results[k].record, "stored " << k);
  }
  DecodedResult past;
  EXPECT_FALSE(reader.next(past));
  // Cut anywhere, the chunk never reads as whole.
  for (std::size_t cut = 0; cut < chunk.bytes().size(); ++cut) {
    RecordFill partial(records.data(), rows.back() + 1, 0, rows.back() + 1);
    EXPECT_FALSE(partial.add(7, chunk.firstRow(), chunk.count(), bytes, cut, beyond)) << cut;
  }
}

class RunArchiveLoadTest : public ::testing::Test {
 protected:
  std::unique_ptr<RunArchive> openArchive() {
    auto opened = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadWrite);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return opened ? std::move(opened.value()) : nullptr;
  }
  void append(RunArchive& archive, std::int64_t id, std::span<const ArchiveResult> results, std::size_t batch) {
    for (std::size_t from = 0; from < results.size(); from += batch) {
      auto r = archive.appendResults(id, results.subspan(from, std::min(batch, results.size() - from)));
      ASSERT_TRUE(r.ok()) << r.error().message;
    }
  }

  QTemporaryDir dir;
  std::string path = dir.filePath("Sondrel.sqlite").toStdString();
};

// Targets that miss passes and one that answers only now and then, so that
// the targets' chunks begin and end at rows of their own; the writer
// started anew halfway, leaving every target's chunk then unfilled; and a
// run cut off in its last pass, never ended.
TEST_F(RunArchiveLoadTest, ALargeUnevenInterruptedRunComesBackAsAppended) {
  SampleRun run = MakeRun(kTargets, kPasses, 21);
  std::mt19937 rng(5);
  std::vector<ArchiveResult> kept;
  for (const ArchiveResult& a : run.results) {
    const std::uint32_t t = a.record.target;
    if (t % 7 == 3 && rng() % 4 == 0) continue;
    if (t == 11 && a.pass % 9 != 0) continue;
    kept.push_back(a);
  }
  kept.resize(kept.size() - kTargets / 3);
  ASSERT_GE(kept.size(), std::size_t{1} << 18);
  const std::span<const ArchiveResult> all(kept);
  std::int64_t id = 0;
  {
    auto first = openArchive();
    id = first->beginRun(run.start).value();
    append(*first, id, all.first(kept.size() / 2 + 17), 4 * kTargets);
    // A second writer takes the run over, in chunks of its own.
    auto second = openArchive();
    append(*second, id, all.subspan(kept.size() / 2 + 17), 3 * kTargets + 5);
  }
  auto archive = openArchive();
  EXPECT_EQ(archive->summary(id).value().ending, RunEnding::Crashed);
  auto loaded = archive->loadRun(id);
  ASSERT_TRUE(loaded.ok()) << loaded.error().message;
  ExpectLoadedAsAppended(loaded.value(), kept, run.start.addresses[0]);
  EXPECT_EQ(loaded.value().addresses, run.start.addresses);
  EXPECT_EQ(loaded.value().targetCount, kTargets);

  // Read-only, as the command line reads it, the same.
  auto reader = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadOnly);
  ASSERT_TRUE(reader.ok());
  auto again = reader.value()->loadRun(id);
  ASSERT_TRUE(again.ok()) << again.error().message;
  ExpectLoadedAsAppended(again.value(), kept, run.start.addresses[0]);
}

// A log taken into the archive keeps millisecond times and damaged lines.
TEST_F(RunArchiveLoadTest, ALargeImportedLogComesBackAsLogged) {
  RunData log;
  log.targetCount = 3;
  for (const char* a : {"10.1.1.1", "10.1.1.2", "gateway.example"}) log.internAddress(a);
  std::mt19937 rng(8);
  std::vector<ArchiveResult> expected;
  for (int i = 0; i < 300000; ++i) {
    ResultRecord r;
    r.target = static_cast<std::uint32_t>(i % 3);
    r.when = ResultTime::from(LocalAt(kStartUtcUs + (i / 3) * 1000000LL + (rng() % 3 == 0 ? 1000000 : 0)));
    r.bufferSize = 32;
    r.time = rng() % 10 == 0 ? -1 : static_cast<std::int32_t>(rng() % 400);
    r.ttl = r.time < 0 ? 0 : 60;
    r.status = r.time < 0 ? 11010 : 0;
    if (rng() % 1000 == 0) {
      r.status = kDamagedLineStatus;
      r.time = -1;
      r.when = ResultTime{};
      ++log.damagedLines;
    }
    log.records.push_back(r);
    ArchiveResult a;
    a.record = r;
    expected.push_back(a);
  }
  auto archive = openArchive();
  auto id = archive->importRun(log, kStartUtcUs, LocalAt(kStartUtcUs));
  ASSERT_TRUE(id.ok()) << id.error().message;
  auto loaded = archive->loadRun(id.value());
  ASSERT_TRUE(loaded.ok()) << loaded.error().message;
  ExpectLoadedAsAppended(loaded.value(), expected, "10.1.1.1");
  EXPECT_EQ(loaded.value().damagedLines, log.damagedLines);
  EXPECT_GT(log.damagedLines, 0);
}

// The second connection cannot open the file (it was moved while open):
// this one reads all of the run itself.
TEST_F(RunArchiveLoadTest, ALargeRunIsReadWholeWhenTheSecondConnectionCannotOpen) {
  const SampleRun run = MakeRun(kTargets, kPasses, 22);
  auto archive = openArchive();
  const std::int64_t id = archive->beginRun(run.start).value();
  append(*archive, id, run.results, 10 * kTargets);
  ASSERT_TRUE(archive->endRun(id, RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs)).ok());
  const std::string moved = path + ".moved";
  for (const char* end : {"", "-wal", "-shm"})
    ASSERT_TRUE(SystemFiles().renameFile(path + end, moved + end).ok()) << end;
  auto loaded = archive->loadRun(id);
  ASSERT_TRUE(loaded.ok()) << loaded.error().message;
  ExpectLoadedAsAppended(loaded.value(), run.results, run.start.addresses[0]);
}

// Damage in the rows of either thread, or a chunk running past the run's
// rows from the first thread's part into the second's, is told.
TEST_F(RunArchiveLoadTest, DamageInEitherPartOfALargeRunIsTold) {
  const SampleRun run = MakeRun(kTargets, kPasses, 23, kStartUtcUs, false);
  auto archive = openArchive();
  const std::int64_t id = archive->beginRun(run.start).value();
  append(*archive, id, run.results, 10 * kTargets);
  ASSERT_TRUE(archive->loadRun(id).ok());
  RawDb raw(path);
  const std::int64_t rows = std::int64_t{kTargets} * kPasses;
  const std::string split = std::to_string(rows / 100 * 54);
  // The first chunk, the last to begin before the second thread's rows (it
  // goes on into them), the first after, and the last.
  for (const std::string& where :
       {std::string("first_row = 0"), "first_row = (SELECT max(first_row) FROM chunks WHERE first_row < " + split + ")",
        "first_row = (SELECT min(first_row) FROM chunks WHERE first_row >= " + split + ")",
        std::string("first_row = (SELECT max(first_row) FROM chunks)")}) {
    SCOPED_TRACE(where);
    ASSERT_TRUE(raw.exec("UPDATE chunks SET data = substr(data, 1, length(data) - 2) WHERE " + where));
    ASSERT_EQ(sqlite3_changes(raw.db), 1);
    auto cut = archive->loadRun(id);
    ASSERT_FALSE(cut.ok());
    EXPECT_NE(cut.error().message.find("damaged"), std::string::npos) << cut.error().message;
    ASSERT_TRUE(raw.exec("DELETE FROM chunks WHERE " + where));
    EXPECT_FALSE(archive->loadRun(id).ok());  // missing
  }
  // The run's rows short of its chunks: the last chunks run past its end.
  ASSERT_TRUE(raw.exec("UPDATE runs SET rows = rows - 700 WHERE id = " + std::to_string(id)));
  EXPECT_FALSE(archive->loadRun(id).ok());
}

}  // namespace
}  // namespace sondrel
