// "sondrel-cli scan": its command line, and the real program with its
// worker over loopback, printing the scan export's lines.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/CliScan.h"
#include "cli/CliTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

TEST(ScanCommandLine, TargetsListsAndRefusals) {
  ParsedScanLine p = ParseScanCommandLine({"10.0.0.1-10.0.0.9", "--list", "Office", "--list=Lab",
                                           "--", "-odd"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(p.options.targets, (std::vector<std::string>{"10.0.0.1-10.0.0.9", "-odd"}));
  EXPECT_EQ(p.options.lists, (std::vector<std::string>{"Office", "Lab"}));
  EXPECT_TRUE(ParseScanCommandLine({"--help"}).options.help);
  EXPECT_EQ(ParseScanCommandLine({}).error, "no target given");
  EXPECT_EQ(ParseScanCommandLine({"-w", "5", "10.0.0.1"}).error, "unknown option -w");
  EXPECT_EQ(ParseScanCommandLine({"--list"}).error, "option --list needs a value");
  EXPECT_EQ(ParseScanCommandLine({" "}).error, "empty target");
}

TEST(CliScanProgram, HelpAndBadUsageExitStatus) {
  QTemporaryDir home;
  clitest::Finished help = clitest::RunProgram({"scan", "--help"}, home.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: sondrel-cli scan")));
  clitest::Finished bad = clitest::RunProgram({"scan", "-x", "127.0.0.1"}, home.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.out.isEmpty());
  EXPECT_TRUE(clitest::RunProgram({"--help"}, home.path()).out.contains(QStringLiteral("sondrel-cli scan")));
}

TEST(CliScanProgram, LoopbackHostsAreListedAsTheExportWritesThem) {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1")
    SONDREL_SKIP_MISSING("needs the private test namespace (echoes and name lookups)");
  QTemporaryDir home;
  // The date in the general form: the whole year, the seconds.
  const QByteArray locale = qgetenv("LC_ALL");
  qputenv("LC_ALL", "en_US.UTF-8");
  clitest::Finished f = clitest::RunProgram({"scan", "127.0.0.1-127.0.0.5"}, home.path());
  if (locale.isNull()) qunsetenv("LC_ALL");
  else qputenv("LC_ALL", locale);
  ASSERT_EQ(f.status, 0) << f.err.toStdString();
  const QStringList lines = f.out.split(QStringLiteral("\r\n"));
  ASSERT_GE(lines.size(), 20);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^IP Scan at :  \\d{1,2}/\\d{1,2}/20\\d\\d \\d{1,2}:\\d\\d:\\d\\d [AP]M$"))
                  .match(lines[0]).hasMatch())
      << lines[0].toStdString();
  EXPECT_EQ(lines[3], QStringLiteral("Total:   5"));
  EXPECT_EQ(lines[4], QStringLiteral("Active:   5"));
  EXPECT_EQ(lines[5], QStringLiteral("Inactive:   0"));
  EXPECT_EQ(lines[10], QStringLiteral("No,IP,Ping,Host Name,MAC Address,TTL"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^1,127\\.0\\.0\\.1,\\d+,localhost,,64$"))
                  .match(lines[11]).hasMatch())
      << lines[11].toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^5,127\\.0\\.0\\.5,\\d+,[^,]*,,64$"))
                  .match(lines[15]).hasMatch())
      << lines[15].toStdString();
}

TEST(CliScanProgram, NoAnswerAtAllExitsWithOne) {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1")
    SONDREL_SKIP_MISSING("needs the private test namespace (no route leaves it)");
  QTemporaryDir home;
  // No route to it inside the namespace: both echoes fail at once.
  clitest::Finished f = clitest::RunProgram({"scan", "192.0.2.7"}, home.path());
  EXPECT_EQ(f.status, 1) << f.err.toStdString();
  EXPECT_TRUE(f.out.contains(QStringLiteral("\r\n1,192.0.2.7,Dead,,,\r\n")));
}

// A worker killed on its first and its second try: the scan still ends,
// prints what came in and says on standard error what did not.
TEST(CliScanProgram, WorkersKilledTwiceEndTheScanWithWhatCameIn) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QString folder = home.filePath(QStringLiteral("SondrelDataBas"));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QFile::copy(QStringLiteral(SONDREL_BIN_DIR "/sondrel-test-hostile-worker"),
                          folder + QStringLiteral("/PingIPscan2008112")));
  qputenv("SONDREL_HOSTILE_MODE", "killed");
  clitest::Finished f = clitest::RunProgram({"scan", "127.0.0.1-127.0.0.3"}, home.path());
  qunsetenv("SONDREL_HOSTILE_MODE");
  ASSERT_EQ(f.status, 0) << f.err.toStdString();
  EXPECT_TRUE(f.out.contains(QStringLiteral("Total:   3\r\nActive:   2\r\n"))) << f.out.toStdString();
  EXPECT_TRUE(f.out.contains(QStringLiteral("\r\n1,127.0.0.1,2,,,64\r\n"))) << f.out.toStdString();
  EXPECT_TRUE(f.err.contains(QStringLiteral("2 addresses were probed once more"))) << f.err.toStdString();
  EXPECT_TRUE(f.err.contains(QStringLiteral("1 of 3 addresses got no report"))) << f.err.toStdString();
}

}  // namespace
}  // namespace sondrel::cli
