// The scan run against workers that misbehave on purpose
// (support/HostileScanWorker.cpp), started through the real process service
// with the real report channel: whatever they send, only each address's one
// sound report is stored and counted, and the scan finishes.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>

#include "platform/ProcessService_linux.h"
#include "ports/ProcessService.h"
#include "scan/ScanRun.h"

namespace sondrel {
namespace {

const std::string kHostileWorker = std::string(SONDREL_BIN_DIR) + "/sondrel-test-hostile-worker";

std::vector<std::string> Loopback(int count) {
  std::vector<std::string> out;
  for (int k = 0; k < count; ++k) out.push_back("127.0.0." + std::to_string(k + 1));
  return out;
}

struct HostileScan : ::testing::Test {
  std::unique_ptr<ProcessService> processes = MakeProcessService();
  ScanRun run{*processes, kHostileWorker};

  void useMode(const char* mode) { qputenv("SONDREL_HOSTILE_MODE", mode); }
  void TearDown() override {
    qunsetenv("SONDREL_HOSTILE_MODE");
    qunsetenv("SONDREL_HOSTILE_STOP");
  }
  bool finishes() { return QTest::qWaitFor([this] { return run.scanFinished(); }, 30000); }
  // Every record holds the worker's honest report and nothing else.
  void expectHonest(std::size_t count) {
    ASSERT_EQ(run.fullCopy().size(), count);
    for (std::size_t k = 0; k < count; ++k) {
      const ScanRecord& r = run.fullCopy()[k];
      EXPECT_EQ(r.ip, "127.0.0." + std::to_string(k + 1));
      EXPECT_EQ(r.ms, "2") << "record " << k;
      EXPECT_EQ(r.ttl, "64") << "record " << k;
      EXPECT_EQ(r.host, "") << "record " << k;
      EXPECT_EQ(r.mac, "") << "record " << k;
    }
    EXPECT_EQ(run.counters().total, static_cast<int>(count));
    EXPECT_EQ(run.counters().received, static_cast<int>(count));
    EXPECT_EQ(run.counters().active, static_cast<int>(count));
    EXPECT_EQ(run.counters().inactive, 0);
    EXPECT_EQ(run.counters().reportsShown, static_cast<int>(count));
  }
};

TEST_F(HostileScan, GarbageOverlongFramesAndForeignIdentifiersStoreNothing) {
  for (const char* mode : {"garbage", "overlong", "identifier"}) {
    SCOPED_TRACE(mode);
    useMode(mode);
    QSignalSpy failed(&run, &ScanRun::workerFailed);
    ASSERT_TRUE(run.StartScan(Loopback(20)));
    ASSERT_TRUE(finishes());
    expectHonest(20);
    EXPECT_EQ(run.progressText(), "OK");
    EXPECT_EQ(failed.count(), 0);
  }
}

// Two workers of ten addresses each: every one also reports the other's
// first index, indexes outside the table, malformed reports and, after its
// honest ones, its own indexes once more.
TEST_F(HostileScan, ReportsForIndexesNotGivenOrAlreadyReportedAreDropped) {
  useMode("stray");
  run.setPairsPerWorker(10);
  QSignalSpy complete(&run, &ScanRun::reportsComplete);
  ASSERT_TRUE(run.StartScan(Loopback(20)));
  ASSERT_TRUE(finishes());
  expectHonest(20);
  EXPECT_EQ(complete.count(), 1);
}

TEST_F(HostileScan, NamesWithCommasAndControlCharactersAreStoredClean) {
  useMode("names");
  ASSERT_TRUE(run.StartScan(Loopback(4)));
  ASSERT_TRUE(finishes());
  const ScanTable& t = run.fullCopy();
  ASSERT_EQ(t.size(), 4u);
  for (const ScanRecord& r : t) {
    EXPECT_EQ(r.ms, "1");
    EXPECT_EQ(r.ttl, "64");
  }
  EXPECT_EQ(t[0].host, "na");
  EXPECT_EQ(t[0].mac, "");  // "me" is no MAC
  EXPECT_EQ(t[1].host, "abcdef");
  EXPECT_EQ(t[1].mac, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(t[2].host, "[31mred[0m");
  EXPECT_EQ(t[2].mac, "");
  EXPECT_EQ(t[3].host, std::string(200, 'L'));  // it came whole in its frame
  EXPECT_EQ(t[3].mac, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(run.counters().active, 4);
  EXPECT_EQ(run.counters().received, 4);
}

TEST_F(HostileScan, AFloodLeavesTheEventLoopFreeAndTheCountsTrue) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string stop = dir.path().toStdString() + "/stop";
  useMode("flood");
  qputenv("SONDREL_HOSTILE_STOP", QByteArray::fromStdString(stop));
  ASSERT_TRUE(run.StartScan(Loopback(8)));
  ASSERT_TRUE(QTest::qWaitFor([this] { return !run.table()[0].pending(); }, 10000));
  // The worker floods until told to stop: a queued call is answered meanwhile.
  bool answered = false;
  QMetaObject::invokeMethod(&run, [&] { answered = true; }, Qt::QueuedConnection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000));
  EXPECT_EQ(run.workersAlive(), 1);
  EXPECT_EQ(run.counters().received, 1);
  EXPECT_EQ(run.counters().active, 1);
  std::ofstream(stop) << "stop\n";
  ASSERT_TRUE(finishes());
  expectHonest(8);
}

// Workers that die or cannot probe: the scan ends when nothing more can
// come, without ticks (they are put out of reach here) or a Stop.
TEST_F(HostileScan, AWorkerKilledOnceIsReplacedAndEveryAddressIsReported) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  useMode("killonce");
  qputenv("SONDREL_HOSTILE_STOP", QFile::encodeName(dir.filePath(QStringLiteral("killed"))));
  QSignalSpy notes(&run, &ScanRun::scanNote);
  QSignalSpy complete(&run, &ScanRun::reportsComplete);
  ASSERT_TRUE(run.StartScan(Loopback(20)));
  ASSERT_TRUE(finishes());
  EXPECT_EQ(complete.count(), 1);
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("killed"))));
  expectHonest(20);
  ASSERT_EQ(notes.count(), 1);
  const QString note = notes[0][0].toString();
  EXPECT_TRUE(note.startsWith(QStringLiteral("A scan worker ended (killed by signal 9: Killed) before "
                                             "reporting every address given to it; 19 addresses were "
                                             "probed once more.")))
      << note.toStdString();
  EXPECT_TRUE(note.endsWith(QStringLiteral("Every address was reported."))) << note.toStdString();
}

TEST_F(HostileScan, WorkersKilledTwiceOrUnableToProbeEndTheScanAtOnce) {
  struct Case {
    const char* mode;
    std::string firstMs;  // what its first address shows
    const char* says;
    int notReported;
  };
  // One worker of twenty, its second of nineteen: each reports its first.
  for (const Case& c : {Case{"killed", "2", "19 addresses were probed once more", 18},
                        Case{"cannot", "", "The IP scan cannot run: no ICMP socket here", 20}}) {
    SCOPED_TRACE(c.mode);
    useMode(c.mode);
    run.timerS1().setInterval(3600 * 1000);
    QSignalSpy notes(&run, &ScanRun::scanNote);
    QSignalSpy finished(&run, &ScanRun::finished);
    ASSERT_TRUE(run.StartScan(Loopback(20)));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(run.scanning());
    ASSERT_EQ(run.fullCopy().size(), 20u);
    EXPECT_EQ(run.fullCopy()[0].ms, c.firstMs);
    int notReported = 0;
    for (const ScanRecord& r : run.fullCopy()) notReported += r.notReported ? 1 : 0;
    EXPECT_EQ(notReported, c.notReported);
    ASSERT_EQ(notes.count(), 1);
    const QString note = notes[0][0].toString();
    EXPECT_TRUE(note.contains(QString::fromLatin1(c.says))) << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("%1 of 20 addresses got no report").arg(c.notReported)))
        << note.toStdString();
  }
}

}  // namespace
}  // namespace sondrel
