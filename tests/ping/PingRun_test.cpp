#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>

#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeKeepAwake.h"
#include "fakes/FakePrompter.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

constexpr int kWaitMs = 20000;

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Dotted(std::uint32_t address) {
  in_addr a{address};
  return inet_ntoa(a);
}

class PingRunTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::shared_ptr<fakes::FakeClock> clock = std::make_shared<fakes::FakeClock>();
  std::shared_ptr<fakes::FakeIcmpCarrier> icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  std::shared_ptr<fakes::FakeKeepAwake> awake = std::make_shared<fakes::FakeKeepAwake>();
  PingParameters params;
  RunLog log{dir.path().toStdString() + "/", SystemFiles()};
  std::unique_ptr<PingRun> run;
  std::vector<std::string> targets;

  void SetUp() override {
    params.intervalMs = 5;
    run = std::make_unique<PingRun>(PingRunServices{clock, icmp, prompter, awake}, params, log);
    run->setTargetSource([this] {
      RunTargets t;
      t.addresses = targets;
      t.labels = targets;
      return t;
    });
  }
  void TearDown() override {
    icmp->release();
    run.reset();
  }

  // Starts a run and waits until it has finished by itself.
  void RunToEnd() {
    QSignalSpy finished(run.get(), &PingRun::finished);
    run->setParameters(params);
    run->StartPingTest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, kWaitMs));
    EXPECT_FALSE(run->testRunning());
    EXPECT_FALSE(log.isOpen());
  }
  std::vector<std::string> LogLines() { return FileLines(log.logPath()); }
};

TEST_F(PingRunTest, ThreeTargetsFivePingsGiveFifteenResultsInTargetOrder) {
  targets = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
  icmp->script("127.0.0.1", {0, 15'000, 64});
  icmp->script("127.0.0.3", {0, 2'000, 60});
  params.pingsPerTarget = 5;
  QSignalSpy started(run.get(), &PingRun::runStarted);
  QSignalSpy added(run.get(), &PingRun::resultAdded);
  QSignalSpy running(run.get(), &PingRun::testRunningChanged);
  RunToEnd();

  ASSERT_EQ(started.count(), 1);
  EXPECT_EQ(started.at(0).at(0).toString(), QStringLiteral("No."));
  EXPECT_EQ(started.at(0).at(1).toString(),
            QStringLiteral("Ping testing with 32 bytes of data:            3  IP "));
  ASSERT_EQ(running.count(), 2);
  EXPECT_TRUE(running.at(0).at(0).toBool());
  EXPECT_FALSE(running.at(1).at(0).toBool());
  EXPECT_EQ(awake->acquired, 1);
  EXPECT_EQ(awake->holds, 0);

  const RunData& data = run->data();
  ASSERT_EQ(data.records.size(), 15u);
  EXPECT_EQ(icmp->requests().size(), 15u);
  EXPECT_EQ(data.stats.sent, 15);
  EXPECT_EQ(data.stats.lost, 5);
  EXPECT_EQ(data.stats.minTime, 2);
  EXPECT_EQ(data.stats.maxTime, 15);
  EXPECT_EQ(data.stats.firstTarget, "127.0.0.1");
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0], "3,1");
  EXPECT_EQ(FileLines(log.targetsPath()), targets);
  ASSERT_EQ(added.count(), 15);
  // Every pass logs the three targets in order, as the carrier answered them.
  const std::string logged[3] = {"2026,03,07,14,05,09,127.0.0.1,32,15,64,0",
                                 "2026,03,07,14,05,09,127.0.0.2,32,-1,0,11010",
                                 "2026,03,07,14,05,09,127.0.0.3,32,2,60,0"};
  for (size_t i = 0; i < 15; ++i) {
    SCOPED_TRACE(i);
    const ResultRecord& r = data.records[i];
    EXPECT_EQ(data.ip(r), targets[i % 3]);
    EXPECT_EQ(lines[i + 1], logged[i % 3]);
    EXPECT_EQ(added.at(static_cast<int>(i)).at(0).toLongLong(), static_cast<qint64>(i));
    const auto signalled = added.at(static_cast<int>(i)).at(1).value<ResultRecord>();
    EXPECT_EQ(signalled.target, r.target);
    EXPECT_EQ(signalled.status, r.status);
    EXPECT_EQ(signalled.time, r.time);
  }
  const std::string& last = run->lastReplyLine();
  EXPECT_EQ(last.size(), kLastReplyLineWidth);
  EXPECT_EQ(last.substr(0, last.find_last_not_of(' ') + 1),
            "03/07 14:05:09   Reply from 127.0.0.3:  bytes=32  time=2ms  TTL=60");
}

TEST_F(PingRunTest, FourPingsOverTwoTargetsStopAfterTheFourthPass) {
  targets = {"127.0.0.1", "127.0.0.2"};
  params.pingsPerTarget = 4;
  QSignalSpy statistics(run.get(), &PingRun::statisticsChanged);
  RunToEnd();
  EXPECT_EQ(run->rowCount(), 8);
  // Cleared at the start, then once per pass when its echoes are sent together.
  EXPECT_EQ(statistics.count(), 1 + 4);
  EXPECT_EQ(LogLines().size(), 9u);
}

TEST_F(PingRunTest, BufferSizeCyclesReachTheEchoesRecordsAndLog) {
  struct Case {
    const char* name;
    BufferMode mode;
    std::vector<std::string> targets;
    int pings;
    const char* header;
    std::vector<std::int32_t> sizes;
  };
  const Case cases[] = {
      {"step up with 32 bytes", BufferMode::Incremental, {"127.0.0.1", "127.0.0.2"}, 3, "2,2",
       {32, 32, 64, 64, 96, 96}},
      {"16,32,64,1024", BufferMode::Multiple, {"127.0.0.1"}, 17, "1,4",
       {16, 16, 16, 16, 32, 32, 32, 32, 64, 64, 64, 64, 1024, 1024, 1024, 1024, 16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    icmp = std::make_shared<fakes::FakeIcmpCarrier>();
    params = PingParameters{};
    params.mode = c.mode;
    if (c.mode == BufferMode::Incremental) {
      params.numberOfSizes = 1000;
      params.pingsPerSize = 1;
    } else {
      params.sizes = {16, 32, 64, 1024};
      for (int n : params.sizes) params.sizeData.emplace_back(static_cast<size_t>(n), ' ');
      params.numberOfSizes = 4;
      params.pingsPerSize = 4;
    }
    params.pingsPerTarget = c.pings;
    SetUp();
    targets = c.targets;
    RunToEnd();
    const auto requests = icmp->requests();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(requests.size(), c.sizes.size());
    ASSERT_EQ(lines.size(), c.sizes.size() + 1);
    EXPECT_EQ(lines[0], c.header);
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      EXPECT_EQ(requests[i].data.size(), static_cast<size_t>(c.sizes[i])) << i;
      EXPECT_EQ(run->data().records[i].bufferSize, c.sizes[i]) << i;
      EXPECT_NE(lines[i + 1].find("," + std::to_string(c.sizes[i]) + ",-1,0,11010"),
                std::string::npos)
          << lines[i + 1];
    }
  }
}

TEST_F(PingRunTest, RepliesUnderOneMillisecondAndAllLost) {
  targets = {"127.0.0.1"};
  icmp->script("127.0.0.1", {0, 400, 64});
  params.pingsPerTarget = 3;
  QSignalSpy added(run.get(), &PingRun::resultAdded);
  RunToEnd();
  ASSERT_EQ(added.count(), 3);
  EXPECT_EQ(FormatResultRow(run->data(), run->data().records[0]).second,
            "bytes=32  time<1ms  TTL=64  ok");
  EXPECT_EQ(run->data().records[0].time, 0);
  const StatisticsTexts shown = FormatStatistics(run->data().stats);
  EXPECT_EQ(shown.minTime, "1 ms");
  EXPECT_EQ(shown.maxTime, "1 ms");
  EXPECT_EQ(shown.avgTime, "1 ms");
  EXPECT_EQ(LogLines()[1], "2026,03,07,14,05,09,127.0.0.1,32,0,64,0");

  targets = {"127.0.0.2", "127.0.0.3"};
  RunToEnd();
  const RunStatistics& s = run->data().stats;
  EXPECT_EQ(s.sent, 6);
  EXPECT_EQ(s.received(), 0);
  const StatisticsTexts lost = FormatStatistics(s);
  EXPECT_EQ(lost.minTime, "0 ms");
  EXPECT_EQ(lost.avgTime, "0 ms");
  EXPECT_EQ(lost.lossRate, "100.00 %");
  EXPECT_EQ(LogLines()[0], "2,1");  // the new run replaced the old log
}

TEST_F(PingRunTest, StopCancelsTheEchoesUnderWayAndClosesTheLogAtOnce) {
  for (PassMode mode : {PassMode::Together, PassMode::OneByOne}) {
    SCOPED_TRACE(mode == PassMode::Together ? "together" : "one by one");
    params.passMode = mode;
    targets = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    icmp->hold();
    const size_t before = icmp->requests().size();
    const size_t cancelledBefore = icmp->cancelledCount();
    QSignalSpy finished(run.get(), &PingRun::finished);
    run->setParameters(params);
    run->StartPingTest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return icmp->requests().size() > before; }, kWaitMs));
    // Ticks that come meanwhile wait for the pass under way.
    QTest::qWait(30);
    run->StopPingTest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000))
        << "Stop waited for the held echoes";
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(run->testRunning());
    // Together: the whole pass was under way; one by one: only the first echo.
    // None of them completed, so none is recorded.
    const size_t sent = mode == PassMode::Together ? 3 : 1;
    EXPECT_EQ(icmp->requests().size() - before, sent);
    EXPECT_EQ(icmp->cancelledCount() - cancelledBefore, sent);
    EXPECT_EQ(run->rowCount(), 0);
    EXPECT_EQ(run->data().stats.sent, 0);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"3,1"});
    icmp->release();
  }
}

TEST_F(PingRunTest, OneByOneKeepsOrderAndBadAddressesAreNotSent) {
  params.passMode = PassMode::OneByOne;
  params.pingsPerTarget = 2;
  targets = {"127.0.0.1", "300.1.1.1", "127.0.0.2"};
  icmp->script("127.0.0.1", {0, 1'000, 64});
  icmp->script("127.0.0.2", {0, 3'000, 64});
  RunToEnd();
  ASSERT_EQ(run->rowCount(), 6);
  EXPECT_EQ(icmp->requests().size(), 4u);
  for (const auto& r : icmp->requests()) EXPECT_NE(Dotted(r.address), "300.1.1.1");
  const RunData& d = run->data();
  const std::vector<std::int32_t> times = {1, -1, 3, 1, -1, 3};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(d.records[i].time, times[i]) << i;
  EXPECT_EQ(d.records[1].status, -1);
  EXPECT_EQ(FormatResultRow(d, d.records[1]).second, "bytes=32  inet_addr: bad IP format");
}

TEST_F(PingRunTest, TypedSizesAboveTheReplyRoomAreKeptAndNotSent) {
  targets = {"127.0.0.1"};
  params.size = 40000;
  params.sendData = std::string(40000, ' ');
  params.pingsPerTarget = 1;
  RunToEnd();
  EXPECT_TRUE(icmp->requests().empty());
  EXPECT_EQ(run->data().records[0].bufferSize, 40000);
  EXPECT_EQ(LogLines()[1], "2026,03,07,14,05,09,127.0.0.1,40000,-1,0,11001");
}

// A reader of the run's own, added from outside as the composition root
// adds one: every event in order, with the carrier's microseconds.
struct RecordingReader final : RunReader {
  std::vector<std::string> events;
  void runStarted(const RunData& run, const PingParameters& p) override {
    events.push_back("started " + std::to_string(run.targetCount) + " targets, " +
                     std::to_string(p.pingsPerTarget) + " pings");
  }
  void resultAdded(std::int64_t row, const ResultRecord& r, const EchoDetail& echo) override {
    events.push_back("result " + std::to_string(row) + " target " + std::to_string(r.target) + " " +
                     std::to_string(r.time) + " ms " + std::to_string(echo.roundTripUs) + " us");
  }
  void passEnded() override { events.push_back("pass"); }
  void runEnded(const RunData& run, RunEnd) override {
    events.push_back("ended " + std::to_string(run.records.size()) + " records");
  }
  void previousRunShown(const RunData& run) override {
    events.push_back("previous " + std::to_string(run.records.size()) + " records");
  }
};

TEST_F(PingRunTest, ReadersGetEveryResultWithTheCarriersMicroseconds) {
  targets = {"127.0.0.1", "127.0.0.2"};
  icmp->script("127.0.0.1", {0, 1'234, 64});
  icmp->script("127.0.0.2", {11010, 0, 0});
  params.pingsPerTarget = 2;
  RecordingReader reader, second;
  run->addReader(&reader);
  run->addReader(&reader);
  run->addReader(&second);
  RunToEnd();
  EXPECT_EQ(reader.events, (std::vector<std::string>{
                               "started 2 targets, 2 pings",
                               "result 0 target 0 1 ms 1234 us",
                               "result 1 target 1 -1 ms 0 us",
                               "pass",
                               "result 2 target 0 1 ms 1234 us",
                               "result 3 target 1 -1 ms 0 us",
                               "pass",
                               "ended 4 records",
                           }));
  EXPECT_EQ(second.events, reader.events);

  // A removed reader hears nothing more; the reloaded run is shown to the rest.
  run->removeReader(&second);
  reader.events.clear();
  ASSERT_TRUE(run->ReloadPreviousRun());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !reader.events.empty(); }, kWaitMs));
  EXPECT_EQ(reader.events, std::vector<std::string>{"previous 4 records"});
  EXPECT_EQ(second.events.size(), 8u);
}

// Each echo's moment of sending and its pass reach the readers, and the end
// says why the run ended.
TEST_F(PingRunTest, ReadersHearWhenEachEchoWentOutItsPassAndWhyTheRunEnded) {
  struct EndWatcher final : RunReader {
    std::vector<std::pair<std::uint32_t, std::int64_t>> echoes;  // pass, sent
    std::vector<RunEnd> ends;
    void resultAdded(std::int64_t, const ResultRecord&, const EchoDetail& echo) override {
      echoes.emplace_back(echo.pass, echo.sentUtcUs);
    }
    void runEnded(const RunData&, RunEnd how) override { ends.push_back(how); }
  } watcher;
  run->addReader(&watcher);
  targets = {"127.0.0.1", "127.0.0.2"};
  params.pingsPerTarget = 2;
  RunToEnd();
  // The fake clock stands at 2026-03-07 14:05:09 and has no time zone.
  constexpr std::int64_t kSent = 1'772'892'309'000'000;
  EXPECT_EQ(watcher.echoes, (std::vector<std::pair<std::uint32_t, std::int64_t>>{
                                {0, kSent}, {0, kSent}, {1, kSent}, {1, kSent}}));
  ASSERT_EQ(watcher.ends, std::vector<RunEnd>{RunEnd::CountReached});

  // Stopped by the user; then ended by the schedule, its passes counted anew.
  params.pingsPerTarget = 0;
  QSignalSpy finished(run.get(), &PingRun::finished);
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->rowCount() >= 2; }, kWaitMs));
  run->StopPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, kWaitMs));
  int asked = 0;
  run->setPastEndCheck([&] { return ++asked == 2; });
  watcher.echoes.clear();
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, kWaitMs));
  EXPECT_EQ(watcher.ends, (std::vector<RunEnd>{RunEnd::CountReached, RunEnd::Stopped, RunEnd::ScheduledEnd}));
  ASSERT_EQ(watcher.echoes.size(), 4u);
  EXPECT_EQ(watcher.echoes.front().first, 0u);
  EXPECT_EQ(watcher.echoes.back().first, 1u);
}

// What a reader is shown is in the log already: the journal hears each
// result first, so a row anyone saw survives a kill right after.
TEST_F(PingRunTest, EveryReaderSeesAResultOnlyOnceTheLogHoldsIt) {
  targets = {"127.0.0.1", "127.0.0.2"};
  params.pingsPerTarget = 3;
  struct LogWatcher final : RunReader {
    std::function<std::size_t()> lines;
    std::vector<std::pair<std::int64_t, std::size_t>> seen;  // row, log lines then
    void resultAdded(std::int64_t row, const ResultRecord&, const EchoDetail&) override {
      seen.emplace_back(row, lines());
    }
  } watcher;
  watcher.lines = [this] { return LogLines().size(); };
  run->addReader(&watcher);
  RunToEnd();
  ASSERT_EQ(watcher.seen.size(), 6u);
  for (const auto& [row, lines] : watcher.seen)
    EXPECT_EQ(lines, static_cast<std::size_t>(row) + 2) << "row " << row;  // header, rows 0..row
}

// The run needs no log of files: any journal keeps it, and may refuse it.
class MemoryJournal final : public RunJournal {
 public:
  std::optional<std::string> refusal;
  std::vector<std::string> kept;
  bool keeping = false;
  Result<void> checkFolder() const override { return {}; }
  Result<void> beginRun(const RunData& run) override {
    if (refusal) return Error{EIO, *refusal};
    keeping = true;
    kept.push_back("begin " + std::to_string(run.targetCount));
    return {};
  }
  void resultAdded(std::int64_t row, const ResultRecord& r, const EchoDetail& echo) override {
    kept.push_back(std::to_string(row) + ":" + std::to_string(r.target) + ":" +
                   std::to_string(echo.roundTripUs));
  }
  void runEnded(const RunData& run, RunEnd) override {
    kept.push_back("ended " + std::to_string(run.records.size()));
  }
  std::optional<FileStamp> endRun() override {
    keeping = false;
    kept.push_back("end");
    return FileStamp{1, 2, 3, 4};
  }
  bool ReloadPreviousRun(IPrompter&) override { return false; }
  Result<RunData> loadPreviousRun() const override { return Error{ENOENT, "nothing kept"}; }
  void cancelReload() override {}
  std::string logPath() const override { return "memory"; }
};

TEST(PingRunJournal, AnyJournalKeepsTheRunAndARefusalGivesTheStartUp) {
  auto clock = std::make_shared<fakes::FakeClock>();
  auto icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  icmp->script("127.0.0.1", {0, 2'500, 64});
  MemoryJournal journal;
  PingParameters params;
  params.intervalMs = 5;
  params.pingsPerTarget = 2;
  PingRun run(PingRunServices{clock, icmp, nullptr, nullptr}, params, journal);
  run.setTargetSource([] {
    RunTargets t;
    t.addresses = t.labels = {"127.0.0.1"};
    return t;
  });

  journal.refusal = "The journal is full.";
  QSignalSpy problems(&run, &PingRun::problem);
  QSignalSpy abandoned(&run, &PingRun::startAbandoned);
  run.StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return abandoned.count() == 1; }, kWaitMs));
  ASSERT_EQ(problems.count(), 1);
  EXPECT_EQ(problems.at(0).at(0).toString(), QStringLiteral("The journal is full."));
  EXPECT_TRUE(journal.kept.empty());
  EXPECT_TRUE(icmp->requests().empty());

  journal.refusal.reset();
  QSignalSpy finished(&run, &PingRun::finished);
  run.StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, kWaitMs));
  EXPECT_EQ(journal.kept,
            (std::vector<std::string>{"begin 1", "0:0:2500", "1:0:2500", "end", "ended 2"}));
  EXPECT_FALSE(journal.keeping);
  ASSERT_TRUE(run.data().logStamp.has_value());
  EXPECT_EQ(run.data().logStamp->size, 3);
  icmp->release();
}

TEST_F(PingRunTest, SecondInstanceIsRefusedWithAMessage) {
  RunLog other(log.dataFolder(), SystemFiles());
  ASSERT_TRUE(other.StartRunLog(1, 1, {"10.0.0.1"}));
  targets = {"127.0.0.1"};
  QSignalSpy running(run.get(), &PingRun::testRunningChanged);
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run->testRunning(); }, kWaitMs));
  ASSERT_EQ(prompter->messages().size(), 1);
  EXPECT_TRUE(prompter->messages()[0].text.startsWith(
      QStringLiteral("Another copy of the program is running a ping test")));
  EXPECT_TRUE(icmp->requests().empty());
  EXPECT_EQ(FileLines(other.logPath()), std::vector<std::string>{"1,1"});
  EXPECT_EQ(awake->acquired, 0);
}

TEST_F(PingRunTest, StartsThatFindNothingOrNoSocketReturnToIdle) {
  QSignalSpy abandoned(run.get(), &PingRun::startAbandoned);
  QSignalSpy finished(run.get(), &PingRun::finished);
  targets = {};
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run->testRunning(); }, kWaitMs));
  EXPECT_TRUE(prompter->messages().isEmpty());
  EXPECT_EQ(abandoned.count(), 1);

  targets = {"127.0.0.1"};
  icmp->setAvailable(false, "No ICMP socket can be opened.");
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run->testRunning(); }, kWaitMs));
  ASSERT_EQ(prompter->messages().size(), 1);
  EXPECT_EQ(prompter->messages()[0].text, QStringLiteral("No ICMP socket can be opened."));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(log.logPath())));
  EXPECT_EQ(abandoned.count(), 2);
  EXPECT_EQ(finished.count(), 0);
}

TEST_F(PingRunTest, StartWhileRunningLeavesTheRunAlone) {
  targets = {"127.0.0.1", "127.0.0.2"};
  QSignalSpy added(run.get(), &PingRun::resultAdded);
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return added.count() >= 2; }, kWaitMs));
  targets = {"10.0.0.1"};
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return added.count() >= 6; }, kWaitMs));
  QSignalSpy finished(run.get(), &PingRun::finished);
  run->StopPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, kWaitMs));
  EXPECT_EQ(run->data().targetCount, 2);
  EXPECT_EQ(run->rowCount() % 2, 0);
  for (const auto& r : icmp->requests()) EXPECT_NE(Dotted(r.address), "10.0.0.1");
}

TEST_F(PingRunTest, ScheduledEndStopsAfterThePass) {
  targets = {"127.0.0.1"};
  int asked = 0;
  run->setPastEndCheck([&] { return ++asked == 3; });
  RunToEnd();
  EXPECT_EQ(run->rowCount(), 3);
}

TEST_F(PingRunTest, AdvancedIntervalMovesPerPassToItsLimit) {
  targets = {"127.0.0.1"};
  params.advancedInterval = true;
  params.intervalStart = 40;
  params.intervalStep = -15;
  params.intervalLimit = 5;
  params.pingsPerTarget = 5;
  std::vector<int> intervals;
  QObject::connect(run.get(), &PingRun::resultAdded, run.get(),
          [&] { intervals.push_back(run->timer1().interval()); });
  RunToEnd();
  EXPECT_EQ(intervals, (std::vector<int>{40, 25, 10, 5, 5}));
}

TEST_F(PingRunTest, ReloadedRunBecomesTheShownData) {
  {
    std::ofstream out(log.logPath(), std::ios::binary);
    out << "1,1\r\n2026,03,07,14,05,09,127.0.0.1,32,7,64,0\r\n";
  }
  QSignalSpy loaded(run.get(), &PingRun::previousRunLoaded);
  QSignalSpy loading(run.get(), &PingRun::reloadStarted);
  ASSERT_TRUE(run->ReloadPreviousRun());
  ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.count() == 1; }, kWaitMs));
  EXPECT_EQ(loading.at(0).at(0).toString(),
            QStringLiteral("Loading previous test results, please wait ....."));
  EXPECT_EQ(loaded.at(0).at(0).toString(), QStringLiteral("Previous Ping Test Result"));
  ASSERT_EQ(run->rowCount(), 1);
  EXPECT_EQ(FormatResultRow(run->data(), run->data().records[0]).first,
            "03/07 14:05:09   Reply from 127.0.0.1");
}

}  // namespace
}  // namespace sondrel

namespace sondrel {
namespace {

// A collection that answers later, as names resolving on other threads do.
TEST_F(PingRunTest, ALateCollectionStartsTheRunUnlessStopCameFirst) {
  std::vector<PingRun::TargetsReady> pending;
  run->setAsyncTargetSource([&](PingRun::TargetsReady ready) { pending.push_back(std::move(ready)); });
  RunTargets one;
  one.addresses = one.labels = {"127.0.0.1"};
  icmp->script("127.0.0.1", {0, 1'000, 64});
  params.pingsPerTarget = 1;

  // Stop while the names resolve: the start gives up, no log is begun.
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return pending.size() == 1; }, kWaitMs));
  EXPECT_TRUE(run->testRunning());
  QSignalSpy abandoned(run.get(), &PingRun::startAbandoned);
  run->StopPingTest();
  // Idle at once: a name that never resolves must not hold the run.
  EXPECT_FALSE(run->testRunning());
  EXPECT_EQ(abandoned.count(), 1);
  pending[0](one);
  EXPECT_FALSE(run->testRunning());
  EXPECT_FALSE(log.isOpen());
  EXPECT_TRUE(icmp->requests().empty());

  // An answer for a start that is over is ignored; the current one runs.
  QSignalSpy finished(run.get(), &PingRun::finished);
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return pending.size() == 2; }, kWaitMs));
  pending[0](one);
  EXPECT_EQ(run->rowCount(), 0);
  pending[1](one);
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, kWaitMs));
  EXPECT_EQ(run->rowCount(), 1);
  EXPECT_EQ(LogLines().size(), 2u);
  pending[1](one);  // a second answer to the same start changes nothing
  EXPECT_FALSE(run->testRunning());
  EXPECT_EQ(run->rowCount(), 1);
}

}  // namespace
}  // namespace sondrel
