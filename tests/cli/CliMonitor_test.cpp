// "sondrel-cli monitor": one archived run per local day in a data folder of
// its own, outages told as they come, a stop by signal, its line's faults,
// and the window's ping run free beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <fstream>

#include "archive/RunArchive.h"
#include "cli/CliMonitor.h"
#include "cli/CliTestSupport.h"
#include "platform/IcmpTestSupport.h"
#include "service/ServiceJournal.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::ReadAll;
using Script = fakes::FakeIcmpCarrier::Script;
const Script kOk{0, 450, 64}, kLost{11010, 0, 0};

class CliMonitorTest : public clitest::CliRunTest {
 protected:
  int Monitor(std::vector<std::string> args) {
    ParsedMonitorLine p = ParseMonitorLine(args);
    EXPECT_TRUE(p.ok()) << p.error;
    return RunMonitorService(p.options, services);
  }
  fakes::FakeClock& clock() { return static_cast<fakes::FakeClock&>(*services.clock); }
  // The clock moves a second at each pass; at pass `stopAt` the program is
  // sent SIGTERM, as systemd stops it.
  void SecondsFrom(LocalDateTime start, int stopAt) {
    clock().set(start);
    icmp->onEachBatch([this, start, stopAt, passes = std::make_shared<int>(0)] {
      const int s = start.hour * 3600 + start.minute * 60 + start.second + ++*passes;
      const int day = start.day + s / 86400;
      clock().set({start.year, start.month, day, s / 3600 % 24, s / 60 % 60, s % 60, 0});
      if (*passes == stopAt) ::kill(::getpid(), SIGTERM);
    });
  }
  std::string MonitorArchive() const { return services.dataFolder + kMonitorFolder + kArchiveFile; }
};

TEST_F(CliMonitorTest, ARunOverMidnightIsKeptAsOneRunPerDayAndOutagesAreToldAsTheyComeAndGo) {
  icmp->script("127.0.0.1", kOk);
  icmp->scriptEach("127.0.0.9", {kOk, kLost, kLost, kLost, kOk, kOk});
  SecondsFrom({2026, 3, 7, 23, 59, 57, 0}, 6);
  ASSERT_EQ(Monitor({"-i", "5", "127.0.0.1", "127.0.0.9", "--listen", "none"}), kExitReplied) << ReadAll(services.err);
  // Told as the third echo is lost, from the first lost one.

  const std::string out = ReadAll(services.out);
  EXPECT_NE(out.find("sondrel-cli monitor: 2 targets every 5 ms (time-out 800 ms), kept in " + MonitorArchive()),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("2026-03-07 23:59:58.000  127.0.0.9 is down\n"), std::string::npos) << out;
  EXPECT_NE(out.find("2026-03-08 00:00:01.000  127.0.0.9 is up again after 3.000 s, 3 lost\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("sondrel-cli monitor: stopped; "), std::string::npos) << out;

  auto archive = RunArchive::open(SystemFiles(), MonitorArchive(), ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive) << archive.error().message;
  auto runs = archive.value()->listRuns({}, 0, 10);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs.value().size(), 2u);
  // Newest first.
  const RunSummary& first = runs.value()[1];
  const RunSummary& second = runs.value()[0];
  EXPECT_EQ(first.origin, RunOrigin::Monitor);
  EXPECT_EQ(first.ending, RunEnding::ScheduledEnd);
  EXPECT_EQ(first.startLocal, "2026-03-07 23:59:57");
  EXPECT_EQ(first.sent, 6) << "three passes of two targets before midnight";
  EXPECT_EQ(first.lost, 2);
  EXPECT_EQ(second.ending, RunEnding::Stopped);
  EXPECT_EQ(second.startLocal.substr(0, 10), "2026-03-08");
  EXPECT_GE(second.sent, 4);
  // The day's run counts its passes from its own start.
  auto echoes = archive.value()->echoesOf(second.id, 1, 0, INT64_MAX);
  ASSERT_TRUE(echoes);
  ASSERT_GE(echoes.value().size(), 2u);
  EXPECT_EQ(echoes.value()[0].pass, 0u);
  EXPECT_EQ(echoes.value()[0].roundTripUs, -1) << "the day began in the outage";
  // The window's data folder has no run log of the monitor's.
  EXPECT_FALSE(SystemFiles().fileSize(services.dataFolder + "Tolvane_DB3.txt"));
}

TEST_F(CliMonitorTest, TheLineTheTargetsFileAndASecondMonitorOnTheFolderAreRefusedClearly) {
  EXPECT_EQ(ParseMonitorLine({}).error, "no target given");
  EXPECT_EQ(ParseMonitorLine({"-i", "0", "127.0.0.1"}).error,
            "the interval must be a whole number of milliseconds, 1 or more");
  EXPECT_EQ(ParseMonitorLine({"-s", "16,32", "127.0.0.1"}).error, "the buffer size must be a number of bytes, 1 to 32000");
  EXPECT_EQ(ParseMonitorLine({"--bogus", "127.0.0.1"}).error, "unknown option --bogus");
  const ParsedMonitorLine defaults = ParseMonitorLine({"127.0.0.1"});
  EXPECT_EQ(defaults.options.params.intervalMs, 1000u);
  EXPECT_EQ(defaults.options.listen, "127.0.0.1:9374");

  EXPECT_EQ(TargetsFileLines("# office\r\n127.0.0.1\r\n\r\n  gateway.lan  \n#127.0.0.2\n10.0.0.1-10.0.0.3"),
            (std::vector<std::string>{"127.0.0.1", "gateway.lan", "10.0.0.1-10.0.0.3"}));
  EXPECT_EQ(Monitor({"--targets", services.dataFolder + "missing.txt", "--listen", "none"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("cannot read the targets file " + services.dataFolder + "missing.txt"),
            std::string::npos);

  // Another monitor holds the folder.
  ServiceJournal other(services.dataFolder + kMonitorFolder, SystemFiles());
  ASSERT_TRUE(other.beginRun(RunData{}));
  icmp->script("127.0.0.1", kOk);
  EXPECT_EQ(Monitor({"127.0.0.1", "--listen", "none"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("another monitor is running on the data folder " + services.dataFolder +
                                       kMonitorFolder),
            std::string::npos)
      << ReadAll(services.err);
}

// The real program on loopback: while it monitors, a ping run of the same
// account starts and ends as the window's would, and SIGTERM ends the
// monitor with its run closed.
TEST(CliMonitorLive, AMonitorLeavesThePingLockFreeAndEndsAtSigtermWithItsRunClosed) {
  if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private network namespace");
  std::string why;
  if (!SystemIcmpCarrier()->available(&why)) SONDREL_SKIP_MISSING("no ICMP socket: " << why);
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  QProcess monitor;
  clitest::UseDataHome(monitor, data.path());
  monitor.start(clitest::kProgram, {QStringLiteral("monitor"), QStringLiteral("-i"), QStringLiteral("50"),
                                    QStringLiteral("--listen"), QStringLiteral("none"), QStringLiteral("127.0.0.1")});
  ASSERT_TRUE(monitor.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (!monitor.readAllStandardOutput().contains("targets every") && t.elapsed() < 10000)
    monitor.waitForReadyRead(100);
  ASSERT_EQ(monitor.state(), QProcess::Running);

  const clitest::Finished ping = clitest::RunProgram(
      {QStringLiteral("ping"), QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-i"), QStringLiteral("50"),
       QStringLiteral("127.0.0.1")},
      data.path());
  EXPECT_EQ(ping.status, kExitReplied) << ping.err.toStdString();

  ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
  ASSERT_TRUE(monitor.waitForFinished(5000));
  EXPECT_EQ(monitor.exitCode(), kExitReplied) << monitor.readAllStandardError().toStdString();
  auto archive = RunArchive::open(SystemFiles(), data.path().toStdString() + "/SondrelDataBas/" + kMonitorFolder + kArchiveFile,
                                  ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive) << archive.error().message;
  auto runs = archive.value()->listRuns({}, 0, 10);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs.value().size(), 1u);
  EXPECT_EQ(runs.value()[0].ending, RunEnding::Stopped);
  EXPECT_GT(runs.value()[0].sent, 0);
  // The command line lists it beside the ping run, each from its archive.
  const clitest::Finished listed = clitest::RunProgram({QStringLiteral("runs"), QStringLiteral("--monitor")}, data.path());
  EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
  EXPECT_TRUE(listed.out.contains(QStringLiteral("  monitor  "))) << listed.out.toStdString();
  const clitest::Finished window = clitest::RunProgram({QStringLiteral("runs")}, data.path());
  EXPECT_TRUE(window.out.contains(QStringLiteral("command line"))) << window.out.toStdString();
  EXPECT_FALSE(window.out.contains(QStringLiteral("  monitor  ")));
}

}  // namespace
}  // namespace sondrel::cli
