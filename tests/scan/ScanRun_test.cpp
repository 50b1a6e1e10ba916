// The scan run with scripted workers: what is launched, how reports are
// counted, and the finishing rules.
#include <gtest/gtest.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <set>

#include "core/scan/ScanGridRules.h"
#include "core/scan/ScanWire.h"
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
  // Workers die (their addresses get one more worker); the rest are launched.
  for (int round = 0; round < 20 && run.launching(); ++round) {
    for (auto* child : run.findChildren<ChildProcess*>()) child->terminateGroup(SIGKILL);
    QTest::qWait(20);
  }
  ASSERT_TRUE(launchDone());
  EXPECT_EQ(run.counters().total, 300000);
  const std::multiset<long> launched = LaunchedIndexes(processes);
  EXPECT_EQ(std::set<long>(launched.begin(), launched.end()).size(), 300000u);
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

void KillWorkers(ScanRun& run) {
  for (auto* child : run.findChildren<ChildProcess*>()) child->terminateGroup(SIGKILL);
}

TEST_F(ScanRunTest, AKilledWorkersAddressesGetOneMoreWorkerThenNoReport) {
  QSignalSpy finished(&run, &ScanRun::finished);
  QSignalSpy failed(&run, &ScanRun::workerFailed);
  QSignalSpy notes(&run, &ScanRun::scanNote);
  QSignalSpy running(&run, &ScanRun::testRunningChanged);
  ASSERT_TRUE(run.StartScan(Loopback(3)));
  ASSERT_TRUE(launchDone());
  run.OnCopyData(3, "0,Dead");  // as if from the worker; its channel gives nothing
  KillWorkers(run);
  // The second worker is given the three again (this run takes no report it
  // did not read from a worker's channel as that worker's).
  ASSERT_TRUE(QTest::qWaitFor([this] { return processes.started().size() == 2; }, 5000));
  EXPECT_EQ(ParseWorkerCommandLine(processes.started()[1].argv[1]).pairs.size(), 3u);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(run.table()[1].pending());
  KillWorkers(run);
  // No third try; nothing more can come, so the scan ends without its ticks.
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  EXPECT_EQ(processes.started().size(), 2u);
  EXPECT_TRUE(run.table()[1].notReported);
  EXPECT_TRUE(run.table()[2].notReported);
  EXPECT_FALSE(run.table()[0].notReported);  // it has its report
  EXPECT_EQ(FormatScanRow(run.table()[1], 1).ms, "No report");
  EXPECT_FALSE(run.timerS1().isActive());
  ASSERT_EQ(running.count(), 2);
  EXPECT_FALSE(running[1][0].toBool());
  EXPECT_EQ(failed.count(), 0);  // killed is not a failure to probe
  ASSERT_EQ(notes.count(), 1);
  const QString note = notes[0][0].toString();
  EXPECT_TRUE(note.contains(QStringLiteral("2 scan workers ended (killed by signal 9"))) << note.toStdString();
  EXPECT_TRUE(note.contains(QStringLiteral("3 addresses were probed once more"))) << note.toStdString();
  EXPECT_TRUE(note.contains(QStringLiteral("2 of 3 addresses got no report"))) << note.toStdString();
}

TEST_F(ScanRunTest, StopEndsAtTheThirdStopTickHoweverOftenItIsPressedAndNeverClearsTheFlag) {
  QSignalSpy running(&run, &ScanRun::testRunningChanged);
  ASSERT_TRUE(run.StartScan(Loopback(3)));
  ASSERT_TRUE(launchDone());
  run.timerS3().setInterval(300);
  run.StopScan();
  const int left = run.timerS3().remainingTime();
  QTest::qWait(20);
  run.StopScan();  // the stop ticks run on from the first press
  // Started again, the stop timer would have its whole interval left.
  EXPECT_LT(run.timerS3().remainingTime(), left);
  ASSERT_TRUE(QTest::qWaitFor([this] { return run.stopTicks() == 1; }, 5000));
  for (int tick = 0; tick < 2; ++tick) run.OnStopTimerTick();
  EXPECT_FALSE(run.timerS3().isActive());
  // The stop ticks only count; the flag goes with the scan's end.
  EXPECT_EQ(running.count(), 1);
  EXPECT_TRUE(run.scanning());
  run.OnScanTimerTick();
  EXPECT_TRUE(run.scanFinished());
  ASSERT_EQ(running.count(), 2);
  EXPECT_FALSE(running[1][0].toBool());
}

TEST_F(ScanRunTest, TheStopTimerEndsWithAScanThatFinishedWhileItRan) {
  ASSERT_TRUE(run.StartScan(Loopback(2)));
  ASSERT_TRUE(launchDone());
  run.StopScan();
  run.OnCopyData(3, "0,Dead");
  run.OnCopyData(3, "1,Dead");
  for (int tick = 0; tick < 4 && !run.scanFinished(); ++tick) run.OnScanTimerTick();
  ASSERT_TRUE(run.scanFinished());
  EXPECT_FALSE(run.timerS3().isActive());
}

TEST(ScanRunStart, AMissingWorkerProgramEndsTheScanAtOnceAndSaysWhyAndHowMany) {
  fakes::FakeProcessService processes;  // no script: the program is missing
  ScanRun run(processes, kWorker);
  QSignalSpy failed(&run, &ScanRun::workerFailed);
  QSignalSpy notes(&run, &ScanRun::scanNote);
  QSignalSpy finished(&run, &ScanRun::finished);
  ASSERT_TRUE(run.StartScan(Loopback(5)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  EXPECT_EQ(processes.started().size(), 1u);
  EXPECT_EQ(failed.count(), 1);
  EXPECT_FALSE(run.scanning());
  // Every address stays in the table, none awaited.
  EXPECT_EQ(run.counters().total, 5);
  ASSERT_EQ(run.fullCopy().size(), 5u);
  for (const ScanRecord& r : run.fullCopy()) EXPECT_TRUE(r.notReported) << r.ip;
  ASSERT_EQ(notes.count(), 1);
  const QString note = notes[0][0].toString();
  EXPECT_TRUE(note.startsWith(QStringLiteral("The IP scan cannot run: Cannot start"))) << note.toStdString();
  EXPECT_TRUE(note.contains(QStringLiteral("5 of 5 addresses got no report"))) << note.toStdString();
}

}  // namespace
}  // namespace sondrel
