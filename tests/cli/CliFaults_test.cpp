// sondrel-cli when things go wrong around it: killed at any moment, its
// data folder unusable, the disk full under its log. Whatever happens, the
// log keeps every line it had whole and the next reload reads them all.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "cli/CliTestSupport.h"
#include "core/ping/RunRecords.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::kProgram;
using clitest::UseDataHome;

bool CanPing() {
  std::string why;
  return std::getenv("SONDREL_ISOLATED") != nullptr && SystemIcmpCarrier()->available(&why);
}

std::string ReadBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The log's result lines that end with their line end, as written.
std::vector<std::string> CompleteResultLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t pos = log.find("\r\n");  // after the header
  if (pos == std::string::npos) return lines;
  pos += 2;
  for (std::size_t end; (end = log.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(log.substr(pos, end - pos));
  return lines;
}

// "2026,03,07,14,05,09,127.0.0.1,32,0,64,0"
const QRegularExpression kLogLine(QStringLiteral(
    "^\\d{4},\\d{2},\\d{2},\\d{2},\\d{2},\\d{2},127\\.0\\.0\\.\\d{1,3},32,-?\\d+,\\d+,\\d+$"));

// The addresses of the rows printed on stdout, in order.
std::vector<std::string> RowAddresses(const QByteArray& out) {
  static const QRegularExpression row(QStringLiteral("^\\d+\\. .*Reply from (127\\.0\\.0\\.\\d+)"));
  std::vector<std::string> ips;
  for (const QByteArray& line : out.split('\n')) {
    const auto m = row.match(QString::fromLocal8Bit(line));
    if (m.hasMatch()) ips.push_back(m.captured(1).toStdString());
  }
  return ips;
}

// Killed with SIGKILL at 20 moments of a run over loopback: each time the
// reload gives back every line the log had whole, none cut short or garbled,
// and every row the program had printed.
TEST(CliFaults, KillAtAnyMomentLosesNoCompletedLine) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  QTemporaryDir data;
  const QString logPath = data.path() + QStringLiteral("/SondrelDataBas/Tolvane_DB3.txt");
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> moment(5, 700);
  for (int round = 0; round < 20; ++round) {
    const int ms = moment(random);
    SCOPED_TRACE("killed after " + std::to_string(ms) + " ms, round " + std::to_string(round));
    QProcess p;
    UseDataHome(p, data.path());
    p.start(kProgram, {QStringLiteral("ping"), QStringLiteral("-i"), QStringLiteral("10"),
                       QStringLiteral("-w"), QStringLiteral("200"),
                       QStringLiteral("127.0.0.1-127.0.0.8")});
    ASSERT_TRUE(p.waitForStarted(10000));
    QTest::qWait(ms);
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(10000));
    const QByteArray out = p.readAllStandardOutput();

    const std::string log = ReadBytes(logPath);
    const std::vector<std::string> lines = CompleteResultLines(log);
    for (const std::string& line : lines)
      EXPECT_TRUE(kLogLine.match(QString::fromStdString(line)).hasMatch()) << "garbled: " << line;

    RunData run;
    const bool loaded = LoadRunLog(std::string_view(log), nullptr, run);
    EXPECT_EQ(loaded, !lines.empty());
    EXPECT_EQ(run.records.size(), loaded ? lines.size() : 0u);
    EXPECT_EQ(run.damagedLines, 0);

    // Every row shown was logged first, in the same order.
    const std::vector<std::string> shown = RowAddresses(out);
    if (shown.empty()) continue;
    ASSERT_LE(shown.size(), run.records.size());
    for (std::size_t i = 0; i < shown.size(); ++i)
      EXPECT_EQ(shown[i], std::string(run.ip(run.records[i]))) << "row " << i + 1;
  }
}

// A data folder the program cannot write in is a clear refusal, and leaves
// what is there as it was.
TEST(CliFaults, ReadOnlyDataFolderIsRefusedAndLeftAlone) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  if (std::system("command -v unshare >/dev/null && unshare -m true 2>/dev/null") != 0)
    SONDREL_SKIP_MISSING("needs a private mount namespace for a read-only folder (root ignores modes)");
  QTemporaryDir data;
  const QString folder = data.path() + QStringLiteral("/SondrelDataBas");
  ASSERT_TRUE(QDir().mkpath(folder));
  const std::string previous = "1,1\r\n2026,03,07,14,05,09,127.0.0.1,32,0,64,0\r\n";
  std::ofstream(QString(folder + QStringLiteral("/Tolvane_DB3.txt")).toStdString(), std::ios::binary)
      << previous;

  QProcess p;
  UseDataHome(p, data.path());
  p.start(QStringLiteral("unshare"),
          {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
           QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
                          "exec \"$2\" ping -c1 127.0.0.1"),
           QStringLiteral("sh"), folder, kProgram});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString err = QString::fromLocal8Bit(p.readAllStandardError());
  if (err.contains(QStringLiteral("mount:"))) SONDREL_SKIP_MISSING("cannot mount here: " << err.toStdString());
  EXPECT_EQ(p.exitCode(), 3) << err.toStdString();
  EXPECT_TRUE(err.contains(folder)) << "the message names the folder: " << err.toStdString();
  EXPECT_EQ(ReadBytes(folder + QStringLiteral("/Tolvane_DB3.txt")), previous);
}

// The disk fills while the log is written: the run goes on and says so once,
// and the log keeps, whole, the rows that were written before.
TEST(CliFaults, FullDiskKeepsEveryLineWrittenBefore) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  if (!clitest::CanMountSmallTmpfs())
    SONDREL_SKIP_MISSING("cannot mount a small tmpfs in a private mount namespace here");
  QTemporaryDir data;
  const QString full = data.path() + QStringLiteral("/full");
  const QString copy = data.path() + QStringLiteral("/copy");
  ASSERT_TRUE(QDir().mkpath(full));
  ASSERT_TRUE(QDir().mkpath(copy));

  // 2,400 results of about 42 bytes each overflow 64 KiB.
  const clitest::Finished f = clitest::RunOnTmpfs(QStringLiteral("64k"), full, copy,
                                                  QStringLiteral("\"$3\" ping -c 60 -i 1 -w 200 127.0.0.1-127.0.0.40"));
  const QByteArray out = f.out.toLocal8Bit();
  const QString& err = f.err;
  ASSERT_NE(f.status, 99) << err.toStdString();
  EXPECT_EQ(f.status, 0) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("are no longer written to the log"))) << err.toStdString();
  EXPECT_EQ(RowAddresses(out).size(), 2400u) << "the run went on to its end";

  const std::string log = ReadBytes(copy + QStringLiteral("/Tolvane_DB3.txt"));
  const std::vector<std::string> lines = CompleteResultLines(log);
  EXPECT_GT(lines.size(), 500u);
  EXPECT_LT(lines.size(), 2400u);
  EXPECT_TRUE(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0)
      << "no piece of a line is left at the end";
  RunData run;
  ASSERT_TRUE(LoadRunLog(std::string_view(log), nullptr, run));
  EXPECT_EQ(run.records.size(), lines.size());
  EXPECT_EQ(run.damagedLines, 0);
  const std::vector<std::string> shown = RowAddresses(out);
  for (std::size_t i = 0; i < run.records.size() && i < shown.size(); ++i)
    ASSERT_EQ(shown[i], std::string(run.ip(run.records[i]))) << "row " << i + 1;
}

}  // namespace
}  // namespace sondrel::cli
