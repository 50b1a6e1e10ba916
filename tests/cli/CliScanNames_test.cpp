// "sondrel-cli scan" with the system resolver pointed at name servers of the
// test's own: slow ones, a dead first one, long names, and the scan's
// program killed while its worker still has news to send.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <map>

#include "cli/CliTestSupport.h"
#include "support/TestNameServer.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using testing::TestNameServer;
using testing::TestResolvConf;

struct ScanOutput {
  int status = -1;
  qint64 ms = 0;
  QStringList lines;
  QString err;
};

ScanOutput ScanWith(const TestResolvConf& resolv, const QString& targets, const QString& home) {
  QProcess p;
  clitest::UseDataHome(p, home);
  QElapsedTimer took;
  took.start();
  p.start(QStringLiteral("unshare"), resolv.wrap(clitest::kProgram, {QStringLiteral("scan"), targets}));
  ScanOutput out;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished(5000);
    return out;
  }
  out.ms = took.elapsed();
  out.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  out.lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(QStringLiteral("\r\n"));
  out.err = QString::fromLocal8Bit(p.readAllStandardError());
  return out;
}

// Address -> host name of the listed hosts that have one.
std::map<QString, QString> NamesOf(const QStringList& lines) {
  std::map<QString, QString> names;
  for (const QString& line : lines) {
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() == 6 && f[1].startsWith(QStringLiteral("127.")) && !f[3].isEmpty()) names[f[1]] = f[3];
  }
  return names;
}

void ExpectEveryName(const ScanOutput& out, int hosts) {
  const auto names = NamesOf(out.lines);
  EXPECT_EQ(static_cast<int>(names.size()), hosts) << out.err.toStdString();
  for (int k = 1; k <= hosts; ++k) {
    const QString ip = QStringLiteral("127.1.0.%1").arg(k);
    const auto it = names.find(ip);
    EXPECT_TRUE(it != names.end() && it->second == QStringLiteral("host-127-1-0-%1.test").arg(k))
        << ip.toStdString();
  }
}

class CliScanNames : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = testing::WhyNoTestNameServer(); !why.empty()) SONDREL_SKIP_MISSING(why);
    ASSERT_TRUE(home_.isValid());
  }
  QTemporaryDir home_;
};

TEST_F(CliScanNames, AHundredHostsOfASlowServerAllGetTheirNamesAskedSideBySide) {
  TestNameServer server;
  ASSERT_TRUE(server.start(QStringLiteral("127.0.0.53"), {QStringLiteral("--delay"), QStringLiteral("2000")}));
  const TestResolvConf resolv({"127.0.0.53"});
  const ScanOutput out = ScanWith(resolv, QStringLiteral("127.1.0.1-127.1.0.100"), home_.path());
  ASSERT_EQ(out.status, 0) << out.err.toStdString();
  EXPECT_EQ(out.lines.value(4), QStringLiteral("Active:   100"));
  ExpectEveryName(out, 100);
  // The lookups wait side by side, not a few at a time: far more than the
  // sixteen a worker once allowed were at the server together.
  EXPECT_GE(server.peakWaiting(), 50);
  RecordProperty("scan_ms", static_cast<int>(out.ms));
}

TEST_F(CliScanNames, NamesComeThroughADeadFirstServerFromASlowSecondOne) {
  TestNameServer dead;
  ASSERT_TRUE(dead.start(QStringLiteral("127.0.0.54"), {QStringLiteral("--silent")}));
  TestNameServer slow;
  ASSERT_TRUE(slow.start(QStringLiteral("127.0.0.53"), {QStringLiteral("--delay"), QStringLiteral("4500")}));
  // The resolver waits its 5 s for the first, then asks the second.
  const TestResolvConf resolv({"127.0.0.54", "127.0.0.53"});
  const ScanOutput out = ScanWith(resolv, QStringLiteral("127.1.0.1-127.1.0.100"), home_.path());
  ASSERT_EQ(out.status, 0) << out.err.toStdString();
  ExpectEveryName(out, 100);
  RecordProperty("scan_ms", static_cast<int>(out.ms));
}

TEST_F(CliScanNames, ALongNameIsKeptWholeAndOneTooLongForItsReportIsCutAtALabel) {
  const QString long107 = QString(50, QLatin1Char('p')) + QLatin1Char('.') + QString(48, QLatin1Char('q')) +
                          QStringLiteral(".example");
  ASSERT_EQ(long107.size(), 107);
  const QString a(63, QLatin1Char('a')), b(63, QLatin1Char('b')), c(63, QLatin1Char('c')),
      d(61, QLatin1Char('d'));
  const QString longest = a + QLatin1Char('.') + b + QLatin1Char('.') + c + QLatin1Char('.') + d;
  ASSERT_EQ(longest.size(), 253);
  TestNameServer server;
  ASSERT_TRUE(server.start(QStringLiteral("127.0.0.53"),
                           {QStringLiteral("--name-of"), QStringLiteral("127.1.0.1=") + long107,
                            QStringLiteral("--name-of"), QStringLiteral("127.1.0.2=") + longest}));
  const TestResolvConf resolv({"127.0.0.53"});
  const ScanOutput out = ScanWith(resolv, QStringLiteral("127.1.0.1-127.1.0.2"), home_.path());
  ASSERT_EQ(out.status, 0) << out.err.toStdString();
  const auto names = NamesOf(out.lines);
  EXPECT_EQ(names.count(QStringLiteral("127.1.0.1")) ? names.at(QStringLiteral("127.1.0.1")) : QString(),
            long107);
  // "1,MS,64,NAME," in 254 bytes leaves no room for the last label: the
  // first three and the mark.
  EXPECT_EQ(names.count(QStringLiteral("127.1.0.2")) ? names.at(QStringLiteral("127.1.0.2")) : QString(),
            a + QLatin1Char('.') + b + QLatin1Char('.') + c + QStringLiteral("..."));
}

// The scan workers whose parent is `parent`.
std::vector<pid_t> WorkersOf(pid_t parent) {
  std::vector<pid_t> children;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const QByteArray name = text.mid(text.indexOf('(') + 1, text.lastIndexOf(')') - text.indexOf('(') - 1);
    if (rest.size() > 1 && rest[1].toInt() == parent && name.startsWith("PingIPscan"))
      children.push_back(pid);
  }
  return children;
}

bool Alive(pid_t pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray text = stat.readAll();
  return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

TEST_F(CliScanNames, AWorkerWhoseScanProgramWasKilledEndsAtItsNextReport) {
  // One name comes after a second, the others only after eight.
  TestNameServer server;
  ASSERT_TRUE(server.start(QStringLiteral("127.0.0.53"),
                           {QStringLiteral("--delay"), QStringLiteral("8000"), QStringLiteral("--delay-of"),
                            QStringLiteral("127.1.0.1=1000")}));
  const TestResolvConf resolv({"127.0.0.53"});
  QProcess cli;
  clitest::UseDataHome(cli, home_.path());
  cli.start(QStringLiteral("unshare"),
            resolv.wrap(clitest::kProgram, {QStringLiteral("scan"), QStringLiteral("127.1.0.1-127.1.0.5")}));
  ASSERT_TRUE(cli.waitForStarted(10000));
  std::vector<pid_t> workers;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !(workers = WorkersOf(static_cast<pid_t>(cli.processId()))).empty(); },
                              10000));
  ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
  ASSERT_TRUE(cli.waitForFinished(5000));
  QElapsedTimer since;
  since.start();
  const bool ended = QTest::qWaitFor([&] { return !Alive(workers.front()); }, 15000);
  const qint64 took = since.elapsed();
  if (!ended) ::kill(workers.front(), SIGKILL);
  EXPECT_TRUE(ended);
  // Its next report, the first name's, fails: it ends then, not after the
  // last lookup.
  EXPECT_LT(took, 3000);
}

}  // namespace
}  // namespace sondrel::cli
