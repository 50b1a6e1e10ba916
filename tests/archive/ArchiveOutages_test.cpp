// The outages the archive keeps with a run's results: as each batch commits,
// closed at the run's end or, after a crash, at each target's last echo; and
// an archive of the first format brought up to date.
#include <gtest/gtest.h>

#include <limits>
#include <sqlite3.h>

#include <QTemporaryDir>

#include "archive/RunArchive.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kT0 = 1'800'000'000 * kSecond;

ArchiveResult Echo(std::uint32_t target, std::uint32_t pass, bool replied) {
  ArchiveResult r;
  r.record.when = ResultTime::from({2027, 1, 15, 8, 0, static_cast<int>(pass % 60)});
  r.record.target = target;
  r.record.bufferSize = 32;
  r.record.time = replied ? 1 : -1;
  r.record.status = replied ? 0 : 11010;
  r.record.ttl = replied ? 64 : 0;
  r.pass = pass;
  r.sentUtcUs = kT0 + pass * kSecond;
  r.roundTripUs = replied ? 800 : -1;
  return r;
}

// Passes from..to of two targets; target 1 answers where `up` says.
std::vector<ArchiveResult> Passes(std::uint32_t from, std::uint32_t to, bool up) {
  std::vector<ArchiveResult> out;
  for (std::uint32_t p = from; p <= to; ++p) {
    out.push_back(Echo(0, p, true));
    out.push_back(Echo(1, p, up));
  }
  return out;
}

class ArchiveOutagesTest : public ::testing::Test {
 protected:
  std::unique_ptr<RunArchive> Open() {
    auto opened = RunArchive::open(SystemFiles(), path_, ArchiveAccess::ReadWrite);
    EXPECT_TRUE(opened) << opened.error().message;
    return opened ? std::move(opened.value()) : nullptr;
  }
  std::int64_t Begin(RunArchive& a) {
    ArchiveRunStart start;
    start.startUtcUs = kT0;
    start.startLocal = {2027, 1, 15, 8, 0, 0, 0};
    start.addresses = {"10.0.0.1", "10.0.0.2"};
    start.outageAfter = 3;
    auto id = a.beginRun(start);
    EXPECT_TRUE(id) << id.error().message;
    return id ? id.value() : 0;
  }
  QTemporaryDir dir_;
  std::string path_ = dir_.filePath("Sondrel.sqlite").toStdString();
};

TEST_F(ArchiveOutagesTest, AnOutageIsKeptAsItGoesAndClosedAtTheNextReply) {
  auto a = Open();
  ASSERT_TRUE(a);
  const std::int64_t run = Begin(*a);
  ASSERT_TRUE(a->appendResults(run, Passes(0, 1, true)));
  ASSERT_TRUE(a->appendResults(run, Passes(2, 5, false)));  // 4 lost in a row
  auto going = a->outagesOf(run);
  ASSERT_TRUE(going);
  ASSERT_EQ(going.value().size(), 1u) << "kept with the batch that found it";
  EXPECT_EQ(going.value()[0].target, 1u);
  EXPECT_EQ(going.value()[0].startUtcUs, kT0 + 2 * kSecond);
  EXPECT_TRUE(going.value()[0].ongoing());
  EXPECT_EQ(going.value()[0].lostEchoes, 4);

  ASSERT_TRUE(a->appendResults(run, Passes(6, 7, false)));
  ASSERT_TRUE(a->appendResults(run, Passes(8, 8, true)));
  ASSERT_TRUE(a->appendResults(run, Passes(9, 9, false)));  // one loss: no outage
  ASSERT_TRUE(a->endRun(run, RunEnding::CountReached, kT0 + 10 * kSecond, {2027, 1, 15, 8, 0, 10, 0}));
  auto ended = a->outagesOf(run);
  ASSERT_TRUE(ended);
  ASSERT_EQ(ended.value().size(), 1u);
  EXPECT_EQ(ended.value()[0].endUtcUs, kT0 + 8 * kSecond) << "at the next reply's send time";
  EXPECT_EQ(ended.value()[0].lostEchoes, 6);
  EXPECT_EQ(a->outageAfterOf(run).value(), 3);

  ASSERT_TRUE(a->deleteRun(run));
  EXPECT_TRUE(a->outagesOf(run).value().empty()) << "deleted with its run";
}

TEST_F(ArchiveOutagesTest, AnOutageUnderWayWhenTheProgramDiedEndsAtItsTargetsLastEcho) {
  std::int64_t run = 0;
  {
    auto a = Open();
    ASSERT_TRUE(a);
    run = Begin(*a);
    ASSERT_TRUE(a->appendResults(run, Passes(0, 6, false)));
  }  // gone without an end, as a killed program is
  auto a = Open();
  ASSERT_TRUE(a);
  auto kept = a->outagesOf(run);
  ASSERT_TRUE(kept);
  ASSERT_EQ(kept.value().size(), 1u);
  EXPECT_EQ(kept.value()[0].startUtcUs, kT0);
  EXPECT_EQ(kept.value()[0].endUtcUs, kT0 + 6 * kSecond);
  EXPECT_EQ(a->summary(run).value().ending, RunEnding::Crashed);
}

TEST_F(ArchiveOutagesTest, AlertsAreKeptWithTheirRunReplacedByTheirNewerStateAndDeletedWithIt) {
  auto a = Open();
  ASSERT_TRUE(a);
  const std::int64_t run = Begin(*a);
  ArchivedAlert down;
  down.seq = 1;
  down.atUtcUs = kT0 + 5 * kSecond;
  down.rule = "any outage";
  down.target = 1;
  down.address = "10.0.0.2";
  down.event = "outage-start";
  down.sinceUtcUs = kT0 + 2 * kSecond;
  down.summary = "10.0.0.2 is down";
  down.body = "No reply from 10.0.0.2 since 08:00:02. (rule \u201cany outage\u201d)";
  ASSERT_TRUE(a->putAlert(run, down));
  ArchivedAlert up = down;
  up.seq = 2;
  up.event = "outage-end";
  up.folded = 3;
  ASSERT_TRUE(a->putAlert(run, up));
  down.exitStatus = 0;  // its command ended later
  ASSERT_TRUE(a->putAlert(run, down));

  auto kept = a->alertsOf(run);
  ASSERT_TRUE(kept) << kept.error().message;
  ASSERT_EQ(kept.value().size(), 2u);
  EXPECT_EQ(kept.value()[0].event, "outage-start");
  EXPECT_EQ(kept.value()[0].exitStatus, 0);
  EXPECT_EQ(kept.value()[0].body, down.body);
  EXPECT_EQ(kept.value()[0].sinceUtcUs, kT0 + 2 * kSecond);
  EXPECT_EQ(kept.value()[1].folded, 3);
  EXPECT_FALSE(kept.value()[1].exitStatus);

  ASSERT_TRUE(a->endRun(run, RunEnding::Stopped, kT0 + 6 * kSecond, {2027, 1, 15, 8, 0, 6, 0}));
  ASSERT_TRUE(a->deleteRun(run));
  EXPECT_TRUE(a->alertsOf(run).value().empty());
}

TEST_F(ArchiveOutagesTest, AnArchiveOfTheSecondFormatGetsTheSendTimeIndexWhenOpenedForWriting) {
  std::int64_t run = 0;
  {
    auto a = Open();
    ASSERT_TRUE(a);
    run = Begin(*a);
    ASSERT_TRUE(a->appendResults(run, Passes(0, 5, true)));
    ASSERT_TRUE(a->endRun(run, RunEnding::Stopped, kT0 + 6 * kSecond, {2027, 1, 15, 8, 0, 6, 0}));
    ASSERT_EQ(sqlite3_exec(a->handle(), "DROP INDEX chunks_by_target_time; PRAGMA user_version=2", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
  }
  auto countIndex = [](RunArchive& a) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(a.handle(), "SELECT count(*) FROM sqlite_master WHERE name = 'chunks_by_target_time'", -1,
                       &s, nullptr);
    sqlite3_step(s);
    const int n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return n;
  };
  {
    auto reader = RunArchive::open(SystemFiles(), path_, ArchiveAccess::ReadOnly);
    ASSERT_FALSE(reader) << "an older format is read once brought up to date";
    EXPECT_NE(reader.error().message.find("older format"), std::string::npos) << reader.error().message;
  }
  auto a = Open();
  ASSERT_TRUE(a);
  EXPECT_EQ(countIndex(*a), 1);
  auto echoes = a->echoesOf(run, 1, kT0 + 4 * kSecond, std::numeric_limits<std::int64_t>::max());
  ASSERT_TRUE(echoes) << echoes.error().message;
  ASSERT_EQ(echoes.value().size(), 2u) << "passes 4 and 5";
  EXPECT_EQ(echoes.value()[1].pass, 5u);
  auto middle = a->echoesOf(run, 1, kT0 + 2 * kSecond, kT0 + 3 * kSecond);
  ASSERT_TRUE(middle);
  ASSERT_EQ(middle.value().size(), 2u);
  EXPECT_EQ(middle.value()[0].pass, 2u);
}

TEST_F(ArchiveOutagesTest, AnArchiveOfTheFirstFormatIsBroughtUpToDateWithItsRunsKept) {
  std::int64_t run = 0;
  {
    auto a = Open();
    ASSERT_TRUE(a);
    run = Begin(*a);
    ASSERT_TRUE(a->appendResults(run, Passes(0, 2, true)));
    ASSERT_TRUE(a->endRun(run, RunEnding::Stopped, kT0 + 3 * kSecond, {2027, 1, 15, 8, 0, 3, 0}));
    // Back to the first format, as an older program left it.
    ASSERT_EQ(sqlite3_exec(a->handle(),
                           "DROP TABLE outages; ALTER TABLE runs DROP COLUMN outage_after; PRAGMA user_version=1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  auto a = Open();
  ASSERT_TRUE(a);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(a->handle(), "PRAGMA user_version", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), RunArchive::kSchemaVersion);
  sqlite3_finalize(s);
  EXPECT_EQ(a->summary(run).value().sent, 6);
  EXPECT_EQ(a->outageAfterOf(run).value(), 3);
  EXPECT_TRUE(a->outagesOf(run).value().empty());
  auto loaded = a->loadRun(run);
  ASSERT_TRUE(loaded) << loaded.error().message;
  EXPECT_EQ(loaded.value().records.size(), 6u);
}

}  // namespace
}  // namespace sondrel
