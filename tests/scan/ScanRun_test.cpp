// The scan run with scripted workers: what is launched, how reports are
// counted, and the finishing rules.
#include <gtest/gtest.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <set>

#include "core/ScanWire.h"
#include "fakes/FakeProcessService.h"
#include "scan/ScanRun.h"

namespace sondrel {
namespace {

const std::string kWorker = "/data/PingIPscan2008112";

std::vector<std::string> Loopback(int count) {
  std::vector<std::string> out;
  for (int k = 0; k < count; ++k)
    out.push_back("127.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1));
  return out;
}

// Every index the started workers were given, with their argv checked.
std::multiset<long> LaunchedIndexes(const fakes::FakeProcessService& processes) {
  std::multiset<long> indexes;
  for (const ProcessStart& how : processes.started()) {
    EXPECT_EQ(how.argv.size(), 2u);
    EXPECT_EQ(how.argv[0], kWorker);
    EXPECT_EQ(how.socketFdInChild, 3);
    const WorkerJob job = ParseWorkerCommandLine(how.argv[1]);
    EXPECT_EQ(job.reportFd, 3);
    EXPECT_EQ(job.delay, 350);
    for (const ScanPair& pair : job.pairs) indexes.insert(std::stol(pair.index));
  }
  return indexes;
}

struct ScanRunTest : ::testing::Test {
  fakes::FakeProcessService processes;
  ScanRun run{processes, kWorker};
  void SetUp() override {
    processes.script(kWorker, {{}, 0, true});  // workers stay until stopped
  }
  bool launchDone() {
    return QTest::qWaitFor([this] { return !run.launching(); }, 10000);
  }
};

TEST_F(ScanRunTest, ThirtyAddressesGoToWorkersForIndexesZeroToTwentyNine) {
  QSignalSpy running(&run, &ScanRun::testRunningChanged);
  ASSERT_TRUE(run.StartScan(Loopback(30)));
  ASSERT_TRUE(launchDone());
  std::multiset<long> expected;
  for (long k = 0; k < 30; ++k) expected.insert(k);
  EXPECT_EQ(LaunchedIndexes(processes), expected);
  EXPECT_EQ(run.counters().total, 30);
  EXPECT_EQ(run.table().size(), 30u);
  EXPECT_EQ(run.GetScanAddress(29), "127.0.0.30");
  EXPECT_EQ(run.GetScanAddress(30), "");
  EXPECT_EQ(run.progressText(), "Scanning ...");
  ASSERT_EQ(running.count(), 1);
  EXPECT_TRUE(running[0][0].toBool());
  EXPECT_TRUE(run.timerS1().isActive());
  EXPECT_EQ(run.timerS1().interval(), 500);
}

TEST_F(ScanRunTest, AnEmptyListStartsNothing) {
  QSignalSpy running(&run, &ScanRun::testRunningChanged);
  EXPECT_FALSE(run.StartScan({}));
  EXPECT_TRUE(processes.started().empty());
  EXPECT_EQ(running.count(), 0);
  EXPECT_FALSE(run.timerS1().isActive());
}

TEST_F(ScanRunTest, SmallScansGoToOneWorkerAndLargeOnesAreSpread) {
  ASSERT_TRUE(run.StartScan(Loopback(254)));
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(processes.started().size(), 1u);
  ASSERT_TRUE(run.StartScan(Loopback(65536)));
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(processes.started().size(), 1u + 16u);
}

TEST_F(ScanRunTest, NeverMoreThanSixtyFourWorkersAliveAndTheRestFollowAsTheyEnd) {
  ASSERT_TRUE(run.StartScan(Loopback(300000)));
  ASSERT_TRUE(QTest::qWaitFor([this] { return processes.started().size() >= 64; }, 10000));
  QTest::qWait(50);
  EXPECT_EQ(processes.started().size(), 64u);
  EXPECT_EQ(run.workersAlive(), 64);
  EXPECT_TRUE(run.launching());
  // The number of pairs per worker is bounded, so a worker's command line is too.
  EXPECT_LE(ParseWorkerCommandLine(processes.started()[0].argv[1]).pairs.size(),
            ScanRun::kMaxPairsPerWorker);
  // Workers end (their records stay pending); the rest are launched.
  for (int round = 0; round < 10 && run.launching(); ++round) {
    for (auto* child : run.findChildren<ChildProcess*>()) child->terminateGroup(SIGKILL);
    QTest::qWait(20);
  }
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(run.counters().total, 300000);
  EXPECT_EQ(LaunchedIndexes(processes).size(), 300000u);
  EXPECT_LE(run.peakWorkers(), 64);
}

TEST_F(ScanRunTest, ReportsAreCountedAndOnlyIdentifierThreeIsOne) {
  ASSERT_TRUE(run.StartScan(Loopback(30)));
  run.OnCopyData(2, "3,Dead");
  EXPECT_EQ(run.counters().received, 0);
  EXPECT_TRUE(run.table()[3].pending());
  run.OnCopyData(3, "3,Dead");
  run.OnCopyData(3, "4,1,64,host,00-1A-2B-3C-4D-5E");
  run.OnCopyData(3, "99,Dead");
  EXPECT_EQ(run.counters().received, 3);
  EXPECT_EQ(run.counters().active, 1);
  EXPECT_EQ(run.counters().inactive, 1);
  EXPECT_EQ(run.table()[3].ms, "Dead");
  EXPECT_EQ(run.table()[4].host, "host");
  EXPECT_EQ(run.progressText(), "Scanning ...  2");
}

TEST_F(ScanRunTest, ReportsBeforeAnyScanAreIgnored) {
  run.OnCopyData(3, "0,Dead");
  EXPECT_EQ(run.counters().received, 0);
}

TEST_F(ScanRunTest, FinishesTwoTicksAfterEveryReportIsIn) {
  QSignalSpy finished(&run, &ScanRun::finished);
  QSignalSpy complete(&run, &ScanRun::reportsComplete);
  ASSERT_TRUE(run.StartScan(Loopback(3)));
  ASSERT_TRUE(launchDone());
  run.OnCopyData(3, "0,Dead");
  run.OnCopyData(3, "1,2,64,,");
  run.OnScanTimerTick();
  EXPECT_NE(run.progressText(), "OK");
  run.OnCopyData(3, "2,Dead");
  EXPECT_EQ(complete.count(), 1);
  run.OnScanTimerTick();
  EXPECT_EQ(run.progressText(), "OK");
  run.OnScanTimerTick();
  EXPECT_EQ(finished.count(), 0);
  QSignalSpy running(&run, &ScanRun::testRunningChanged);
  run.OnScanTimerTick();
  ASSERT_EQ(finished.count(), 1);
  EXPECT_TRUE(run.scanFinished());
  EXPECT_FALSE(run.timerS1().isActive());
  ASSERT_EQ(running.count(), 1);
  EXPECT_FALSE(running[0][0].toBool());
  EXPECT_EQ(run.fullCopy().size(), 3u);
}

TEST_F(ScanRunTest, NotOkWhileAddressesAreStillBeingHandedOut) {
  run.setPairsPerWorker(1);
  std::string textAfterFirst;
  QObject::connect(&run, &ScanRun::workerStarted, &run, [&](int total) {
    if (total != 1) return;
    // Every address handed out so far has reported; two more are to come.
    run.OnCopyData(3, "0,Dead");
    run.OnScanTimerTick();
    textAfterFirst = run.progressText();
  });
  QSignalSpy complete(&run, &ScanRun::reportsComplete);
  ASSERT_TRUE(run.StartScan(Loopback(3)));
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(textAfterFirst, "Scanning ...  1");
  EXPECT_EQ(complete.count(), 0);
  run.OnCopyData(3, "1,Dead");
  run.OnCopyData(3, "2,Dead");
  EXPECT_EQ(complete.count(), 1);
  run.OnScanTimerTick();
  EXPECT_EQ(run.progressText(), "OK");
}

TEST_F(ScanRunTest, ANewScanEndsTheWorkersOfTheLastOne) {
  ASSERT_TRUE(run.StartScan(Loopback(3)));
  ASSERT_TRUE(launchDone());
  QList<QPointer<ChildProcess>> old;
  for (auto* child : run.findChildren<ChildProcess*>()) old << child;
  ASSERT_EQ(old.size(), 1);
  ASSERT_TRUE(run.StartScan(Loopback(2)));
  // Its reports would land in the new table: it is gone (and its group killed).
  EXPECT_TRUE(old[0].isNull());
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(run.workersAlive(), 1);
}

TEST_F(ScanRunTest, StopAfterTheTenthAddressKeepsTenAndEndsWithinThreeStopTicks) {
  run.setPairsPerWorker(1);  // one address a worker, as the window's scan of old
  QObject::connect(&run, &ScanRun::workerStarted, &run, [this](int total) {
    if (total == 10) run.StopScan();
  });
  QSignalSpy finished(&run, &ScanRun::finished);
  ASSERT_TRUE(run.StartScan(Loopback(30)));
  ASSERT_TRUE(launchDone());
  QTest::qWait(20);
  EXPECT_EQ(run.counters().total, 10);
  EXPECT_EQ(run.table().size(), 10u);
  EXPECT_EQ(LaunchedIndexes(processes).size(), 10u);
  EXPECT_TRUE(run.timerS3().isActive());
  EXPECT_EQ(run.timerS3().interval(), 5000);
  // A report for an address never handed out counts but stores nothing.
  run.OnCopyData(3, "12,Dead");
  EXPECT_EQ(run.counters().received, 1);
  for (int tick = 0; tick < 3; ++tick) {
    run.OnScanTimerTick();
    EXPECT_EQ(finished.count(), 0);
    run.OnStopTimerTick();
  }
  EXPECT_FALSE(run.timerS3().isActive());
  run.OnScanTimerTick();
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(ScanRunTest, AWorkerKilledBeforeReportingLeavesItsRecordsPending) {
  QSignalSpy finished(&run, &ScanRun::finished);
  QSignalSpy failed(&run, &ScanRun::workerFailed);
  ASSERT_TRUE(run.StartScan(Loopback(2)));
  ASSERT_TRUE(launchDone());
  run.OnCopyData(3, "0,Dead");
  for (auto* child : run.findChildren<ChildProcess*>()) child->terminateGroup(SIGKILL);
  ASSERT_TRUE(QTest::qWaitFor([this] { return run.workersAlive() == 0; }, 5000));
  for (int tick = 0; tick < 5; ++tick) run.OnScanTimerTick();
  EXPECT_TRUE(run.table()[1].pending());
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(failed.count(), 0);  // killed is not a failure to report
}

TEST(ScanRunStart, AMissingWorkerProgramEndsLaunchingAndSaysWhy) {
  fakes::FakeProcessService processes;  // no script: the program is missing
  ScanRun run(processes, kWorker);
  QSignalSpy failed(&run, &ScanRun::workerFailed);
  ASSERT_TRUE(run.StartScan(Loopback(5)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run.launching(); }, 5000));
  EXPECT_EQ(failed.count(), 1);
  EXPECT_EQ(run.counters().total, 0);
  EXPECT_TRUE(run.table().empty());
}

}  // namespace
}  // namespace sondrel
