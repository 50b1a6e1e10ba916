#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "archive/ArchiveSample.h"
#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace archive_test;

class RunArchiveTest : public ::testing::Test {
 protected:
  std::unique_ptr<RunArchive> openArchive(ArchiveAccess access = ArchiveAccess::ReadWrite) {
    auto opened = RunArchive::open(SystemFiles(), path, access);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return opened ? std::move(opened.value()) : nullptr;
  }
  // Begins the run and appends it in batches of `batch` results.
  std::int64_t store(RunArchive& archive, const SampleRun& run, std::size_t batch) {
    auto id = archive.beginRun(run.start);
    EXPECT_TRUE(id.ok()) << id.error().message;
    for (std::size_t from = 0; from < run.results.size(); from += batch) {
      const std::size_t n = std::min(batch, run.results.size() - from);
      auto r = archive.appendResults(id.value(), std::span(run.results).subspan(from, n));
      EXPECT_TRUE(r.ok()) << r.error().message;
    }
    return id.value();
  }

  QTemporaryDir dir;
  std::string path = dir.filePath("Sondrel.sqlite").toStdString();
};

TEST_F(RunArchiveTest, RunComesBackAsItWasAppended) {
  const SampleRun run = MakeRun(5, 300, 7);
  std::int64_t id = 0;
  {
    auto archive = openArchive();
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->notice(), "");
    EXPECT_FALSE(archive->readOnly());
    // Batches that split passes, as a writer cut short at 100 ms would.
    id = store(*archive, run, 7);
    ASSERT_TRUE(archive->endRun(id, RunEnding::CountReached, kStartUtcUs + 301000000, LocalAt(kStartUtcUs + 301000000)).ok());
  }
  auto archive = openArchive(ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive);
  auto loaded = archive->loadRun(id);
  ASSERT_TRUE(loaded.ok()) << loaded.error().message;
  const RunData& data = loaded.value();
  EXPECT_EQ(data.addresses, run.start.addresses);
  EXPECT_EQ(data.targetLabels, run.start.labels);
  EXPECT_EQ(data.targetCount, 5);
  EXPECT_EQ(data.stepLength, 1);
  ASSERT_EQ(data.records.size(), run.results.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < run.results.size() && mismatches < 5; ++i) {
    if (!SameRecord(data.records[i], run.results[i].record)) ++mismatches;
    EXPECT_RECORD_EQ(data.records[i], run.results[i].record, "row " << i);
  }
  // The samples hold every kind of record the encoding treats apart.
  auto has = [&](auto pred) { return std::any_of(run.results.begin(), run.results.end(), pred); };
  EXPECT_TRUE(has([](const ArchiveResult& a) { return a.record.time == 0 && a.roundTripUs >= 0; }));
  EXPECT_TRUE(has([](const ArchiveResult& a) { return a.record.time == -1; }));
  EXPECT_TRUE(has([](const ArchiveResult& a) { return a.record.time > a.roundTripUs / 1000 && a.roundTripUs >= 0; }));
  EXPECT_TRUE(has([](const ArchiveResult& a) { return a.record.when.day == ResultTime::kNoField; }));
  EXPECT_TRUE(has([](const ArchiveResult& a) { return a.record.when.year == 2027; }));

  const RunStatistics expected = CountedStats(run.results, run.start.addresses[0]);
  EXPECT_EQ(data.stats.sent, expected.sent);
  EXPECT_EQ(data.stats.lost, expected.lost);
  EXPECT_EQ(data.stats.timeSum, expected.timeSum);
  EXPECT_EQ(data.stats.ttlSum, expected.ttlSum);
  EXPECT_EQ(data.stats.minTime, expected.minTime);
  EXPECT_EQ(data.stats.maxTime, expected.maxTime);
  EXPECT_EQ(data.stats.avgTime, expected.avgTime);
  EXPECT_EQ(data.stats.avgTtl, expected.avgTtl);
  EXPECT_EQ(data.stats.firstTarget, expected.firstTarget);

  auto summary = archive->summary(id);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary.value().sent, expected.sent);
  EXPECT_EQ(summary.value().lost, expected.lost);
  EXPECT_EQ(summary.value().ending, RunEnding::CountReached);
  EXPECT_EQ(summary.value().startLocal, "2027-01-01 00:58:20");
  EXPECT_EQ(summary.value().endLocal, "2027-01-01 01:03:21");
  EXPECT_EQ(summary.value().durationUs, 301000000);
  EXPECT_EQ(summary.value().timeoutMs, 900);
  EXPECT_EQ(summary.value().passMode, "together");

  // One target's echoes in a time range, with the carrier's microseconds.
  const std::int64_t from = kStartUtcUs + 100000000, to = kStartUtcUs + 200000000;
  std::vector<ArchiveResult> wanted;
  for (const ArchiveResult& a : run.results)
    if (a.record.target == 1 && a.sentUtcUs >= from && a.sentUtcUs <= to) wanted.push_back(a);
  auto echoes = archive->echoesOf(id, 1, from, to);
  ASSERT_TRUE(echoes.ok()) << echoes.error().message;
  ASSERT_EQ(echoes.value().size(), wanted.size());
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    EXPECT_EQ(echoes.value()[i].pass, wanted[i].pass);
    EXPECT_EQ(echoes.value()[i].sentUtcUs, wanted[i].sentUtcUs);
    EXPECT_EQ(echoes.value()[i].roundTripUs, wanted[i].roundTripUs);
    EXPECT_EQ(echoes.value()[i].status, wanted[i].record.status);
    EXPECT_EQ(echoes.value()[i].ttl, wanted[i].record.ttl);
  }
}

TEST_F(RunArchiveTest, RunGoesOnAfterTheWriterOpensAnew) {
  const SampleRun run = MakeRun(3, 100, 3);
  std::int64_t id = 0;
  const std::span<const ArchiveResult> all(run.results);
  {
    auto archive = openArchive();
    id = archive->beginRun(run.start).value();
    ASSERT_TRUE(archive->appendResults(id, all.first(100)).ok());
    // A second connection takes the run over while the first still holds it.
    auto other = openArchive();
    ASSERT_TRUE(other->appendResults(id, all.subspan(100)).ok());
    ASSERT_TRUE(other->endRun(id, RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs)).ok());
  }
  auto archive = openArchive();
  auto data = archive->loadRun(id);
  ASSERT_TRUE(data.ok()) << data.error().message;
  ASSERT_EQ(data.value().records.size(), run.results.size());
  for (std::size_t i = 0; i < run.results.size(); ++i)
    ASSERT_TRUE(SameRecord(data.value().records[i], run.results[i].record)) << "row " << i;
  EXPECT_EQ(archive->summary(id).value().ending, RunEnding::Stopped);
}

TEST_F(RunArchiveTest, ListsNewestFirstAndFilters) {
  auto archive = openArchive();
  std::vector<std::int64_t> ids;
  const char* const names[] = {"alpha-gw", "beta", "Gamma-Router", "delta"};
  for (int k = 0; k < 4; ++k) {
    SampleRun run = MakeRun(4, 2, static_cast<unsigned>(k), kStartUtcUs + std::int64_t{k} * 86400 * 1000000);
    run.start.labels[0] = names[k];
    run.start.addresses[3] = "192.168.7." + std::to_string(k);
    run.start.origin = k == 3 ? RunOrigin::CommandLine : RunOrigin::Window;
    ids.push_back(store(*archive, run, 100));
    if (k < 3) {
      ASSERT_TRUE(archive->endRun(ids.back(), RunEnding::Stopped, run.start.startUtcUs + 5000000,
                                  LocalAt(run.start.startUtcUs + 5000000)).ok());
    }
  }
  auto all = archive->listRuns({}, 0, 100);
  ASSERT_TRUE(all.ok()) << all.error().message;
  ASSERT_EQ(all.value().size(), 4u);
  EXPECT_EQ(all.value()[0].id, ids[3]);
  EXPECT_EQ(all.value()[3].id, ids[0]);
  const RunSummary& going = all.value()[0];
  EXPECT_EQ(going.ending, RunEnding::Running);
  EXPECT_FALSE(going.endUtcUs.has_value());
  EXPECT_EQ(going.endLocal, "");
  EXPECT_EQ(going.origin, RunOrigin::CommandLine);
  EXPECT_EQ(going.targetCount, 4);
  EXPECT_EQ(going.sent, 8);
  // Labels of the first targets; a target without one shows its address.
  EXPECT_EQ(going.firstLabels, (std::vector<std::string>{"delta", "host-1", "10.0.0.3"}));
  EXPECT_EQ(all.value()[1].endUtcUs, kStartUtcUs + 2LL * 86400 * 1000000 + 5000000);

  auto ids_of = [&](const RunFilter& f) {
    std::vector<std::int64_t> out;
    const auto listed = archive->listRuns(f, 0, 100);
    for (const RunSummary& s : listed.value()) out.push_back(s.id);
    EXPECT_EQ(archive->countRuns(f).value(), static_cast<std::int64_t>(out.size()));
    return out;
  };
  EXPECT_EQ(ids_of({"gamma", {}, {}}), (std::vector<std::int64_t>{ids[2]}));       // a label, any case
  EXPECT_EQ(ids_of({"192.168.7.1", {}, {}}), (std::vector<std::int64_t>{ids[1]}));  // an address
  EXPECT_EQ(ids_of({"8a2e:370", {}, {}}).size(), 4u);
  EXPECT_EQ(ids_of({"_", {}, {}}).size(), 0u);  // taken literally, not as any character
  EXPECT_EQ(ids_of({"", kStartUtcUs + 86400LL * 1000000, kStartUtcUs + 3 * 86400LL * 1000000}),
            (std::vector<std::int64_t>{ids[2], ids[1]}));
  EXPECT_EQ(ids_of({"-", kStartUtcUs + 1, {}}), (std::vector<std::int64_t>{ids[3], ids[2], ids[1]}));
  auto page = archive->listRuns({}, 1, 2);
  ASSERT_EQ(page.value().size(), 2u);
  EXPECT_EQ(page.value()[0].id, ids[2]);
  EXPECT_EQ(page.value()[1].id, ids[1]);
}

TEST_F(RunArchiveTest, DeletesAndPins) {
  auto archive = openArchive();
  const std::int64_t a = store(*archive, MakeRun(2, 50, 1), 10);
  const std::int64_t b = store(*archive, MakeRun(2, 50, 2, kStartUtcUs + 1000), 10);
  ASSERT_TRUE(archive->setPinned(b, true).ok());
  EXPECT_TRUE(archive->summary(b).value().pinned);
  EXPECT_FALSE(archive->summary(a).value().pinned);
  ASSERT_TRUE(archive->setPinned(b, false).ok());
  EXPECT_FALSE(archive->summary(b).value().pinned);
  EXPECT_FALSE(archive->setPinned(999, true).ok());

  EXPECT_FALSE(archive->deleteRun(a).ok());  // not while it goes
  ASSERT_TRUE(archive->endRun(a, RunEnding::Stopped, kStartUtcUs, LocalAt(kStartUtcUs)).ok());
  ASSERT_TRUE(archive->deleteRun(a).ok());
  EXPECT_FALSE(archive->loadRun(a).ok());
  EXPECT_EQ(archive->countRuns({}).value(), 1);
  EXPECT_EQ(archive->loadRun(b).value().records.size(), 100u);
  RawDb raw(path);
  EXPECT_EQ(raw.scalar("SELECT count(*) FROM chunks WHERE run = " + std::to_string(a)), 0);
  EXPECT_EQ(raw.scalar("SELECT count(*) FROM targets WHERE run = " + std::to_string(a)), 0);
}

TEST_F(RunArchiveTest, RetentionKeepsPinnedNewestAndRunning) {
  auto archive = openArchive();
  const std::int64_t day = 86400LL * 1000000;
  const std::int64_t now = kStartUtcUs + 500 * day;
  auto ended = [&](std::int64_t start, int passes) {
    const SampleRun run = MakeRun(20, passes, 5, start);
    const std::int64_t id = store(*archive, run, 200);
    EXPECT_TRUE(archive->endRun(id, RunEnding::Stopped, start + passes * 1000000LL, LocalAt(start)).ok());
    return id;
  };
  const std::int64_t old1 = ended(kStartUtcUs, 10);
  const std::int64_t oldPinned = ended(kStartUtcUs + day, 10);
  ASSERT_TRUE(archive->setPinned(oldPinned, true).ok());
  const std::int64_t oldRunning = store(*archive, MakeRun(2, 2, 1, kStartUtcUs + 2 * day), 10);
  std::vector<std::int64_t> recent;
  for (int k = 0; k < 6; ++k) recent.push_back(ended(now - (10 - k) * day, 400));

  auto gone = archive->applyRetention(Retention{365, std::int64_t{1} << 40}, now);
  ASSERT_TRUE(gone.ok()) << gone.error().message;
  EXPECT_EQ(gone.value(), 1);
  EXPECT_FALSE(archive->summary(old1).ok());
  EXPECT_TRUE(archive->summary(oldPinned).ok());
  EXPECT_TRUE(archive->summary(oldRunning).ok());

  // By size: the oldest unpinned go until the data fits.
  const std::int64_t used = archive->usedBytes().value();
  gone = archive->applyRetention(Retention{365, used - 1}, now);
  ASSERT_TRUE(gone.ok());
  EXPECT_EQ(gone.value(), 1);
  EXPECT_FALSE(archive->summary(recent[0]).ok());
  EXPECT_TRUE(archive->summary(recent[1]).ok());
  gone = archive->applyRetention(Retention{365, 0}, now);
  EXPECT_EQ(gone.value(), 5);
  std::vector<std::int64_t> left;
  const auto listed = archive->listRuns({}, 0, 100);
  for (const RunSummary& s : listed.value()) left.push_back(s.id);
  EXPECT_EQ(left, (std::vector<std::int64_t>{oldRunning, oldPinned}));
  EXPECT_LT(archive->usedBytes().value(), used);
}

TEST_F(RunArchiveTest, ImportsARunLog) {
  RunData log;
  log.targetCount = 2;
  log.stepLength = 1;
  log.internAddress("10.1.1.1");
  log.internAddress("10.1.1.2");
  log.targetLabels = {"gw", ""};
  for (int i = 0; i < 40; ++i) {
    ResultRecord r;
    r.target = static_cast<std::uint32_t>(i % 2);
    r.when = ResultTime::from(LocalAt(kStartUtcUs + (i / 2) * 1000000LL));
    r.bufferSize = 32;
    r.time = i % 7 == 0 ? -1 : i % 5;
    r.ttl = r.time < 0 ? 0 : 60;
    r.status = r.time < 0 ? 11010 : 0;
    if (i == 13) {  // a damaged line
      r.status = kDamagedLineStatus;
      r.when = ResultTime{};
    }
    log.records.push_back(r);
  }
  auto archive = openArchive();
  auto id = archive->importRun(log, kStartUtcUs, LocalAt(kStartUtcUs));
  ASSERT_TRUE(id.ok()) << id.error().message;
  const RunSummary s = archive->summary(id.value()).value();
  EXPECT_EQ(s.origin, RunOrigin::Imported);
  EXPECT_EQ(s.ending, RunEnding::Stopped);
  EXPECT_EQ(s.endLocal, "2027-01-01 00:58:39");
  auto data = archive->loadRun(id.value());
  ASSERT_TRUE(data.ok());
  ASSERT_EQ(data.value().records.size(), log.records.size());
  for (std::size_t i = 0; i < log.records.size(); ++i)
    EXPECT_RECORD_EQ(data.value().records[i], log.records[i], "row " << i);
  EXPECT_EQ(data.value().damagedLines, 1);
  EXPECT_EQ(data.value().stats.sent, 39);  // the damaged line counts in no figure
  auto echoes = archive->echoesOf(id.value(), 0, kStartUtcUs, kStartUtcUs + 3000000).value();
  ASSERT_EQ(echoes.size(), 4u);
  EXPECT_EQ(echoes[0].roundTripUs, -1);
  EXPECT_EQ(echoes[1].roundTripUs, 2000);
  EXPECT_EQ(echoes[1].sentUtcUs, kStartUtcUs + 1000000);
}

TEST_F(RunArchiveTest, ReadersSeeCommittedBatchesWhileTheWriterGoes) {
  auto writer = openArchive();
  const SampleRun run = MakeRun(4, 50, 9);
  const std::int64_t id = writer->beginRun(run.start).value();
  const std::span<const ArchiveResult> all(run.results);
  ASSERT_TRUE(writer->appendResults(id, all.first(40)).ok());

  auto reader = openArchive(ArchiveAccess::ReadOnly);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->readOnly());
  EXPECT_EQ(reader->loadRun(id).value().records.size(), 40u);
  // A read under way holds its snapshot and does not hold up the writer.
  RawDb raw(path, SQLITE_OPEN_READONLY);
  ASSERT_TRUE(raw.exec("BEGIN"));
  EXPECT_EQ(raw.scalar("SELECT rows FROM runs"), 40);
  ASSERT_TRUE(writer->appendResults(id, all.subspan(40, 60)).ok());
  EXPECT_EQ(raw.scalar("SELECT rows FROM runs"), 40);
  EXPECT_EQ(reader->loadRun(id).value().records.size(), 100u);
  ASSERT_TRUE(raw.exec("COMMIT"));
  EXPECT_EQ(raw.scalar("SELECT rows FROM runs"), 100);
  EXPECT_FALSE(reader->beginRun(run.start).ok());
}

}  // namespace
}  // namespace sondrel
