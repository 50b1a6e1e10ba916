// Exit statuses, option forms and output flushing of sondrel-cli: what a
// script calling it relies on.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QProcess>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "cli/CliScan.h"
#include "cli/CliTestSupport.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::CliRunTest;
using clitest::Finished;
using clitest::kProgram;
using clitest::ReadAll;
using clitest::RunProgram;
using clitest::UseDataHome;

bool CanPing() {
  std::string why;
  return std::getenv("SONDREL_ISOLATED") != nullptr && SystemIcmpCarrier()->available(&why);
}

TEST(CliProgramConventions, VersionHelpAndEmptyTarget) {
  QTemporaryDir data;
  const Finished version = RunProgram({QStringLiteral("--version")}, data.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, QStringLiteral("sondrel-cli 8.23\n"));
  EXPECT_EQ(RunProgram({QStringLiteral("ping"), QStringLiteral("--version")}, data.path()).out,
            QStringLiteral("sondrel-cli 8.23\n"));

  const Finished help = RunProgram({QStringLiteral("--help")}, data.path());
  EXPECT_EQ(help.status, 0);
  for (const char* part :
       {"  0  some reply came\n", "  1  no reply came\n", "  2  bad usage",
        "  3  the run could not start", "127.0.0.1-127.0.1.10 is 20 addresses",
        "  --version ", "-c5", "--list=TITLE"})
    EXPECT_TRUE(help.out.contains(QLatin1String(part))) << part;

  const Finished empty = RunProgram({QStringLiteral("ping"), QString()}, data.path());
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, QStringLiteral("sondrel-cli: empty target\nTry 'sondrel-cli --help'.\n"));
}

// Every command answers a line it does not understand alike: one line naming
// the fault and one pointing to its help, on standard error, status 2; and
// its help on standard output alone, status 0.
TEST(CliProgramConventions, EachCommandPointsToItsOwnHelp) {
  QTemporaryDir data;
  struct Case {
    QStringList args;
    const char* err;
  };
  const Case cases[] = {
      {{}, "sondrel-cli: no command given\nTry 'sondrel-cli --help'.\n"},
      {{"frob"}, "sondrel-cli: unknown command 'frob'\nTry 'sondrel-cli --help'.\n"},
      {{"export", "extra"},
       "sondrel-cli: unexpected argument 'extra'\n"
       "Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]\n"},
      {{"report", "extra"},
       "sondrel-cli: unexpected argument 'extra'\nTry 'sondrel-cli report --help'.\n"},
      {{"scan"}, "sondrel-cli: no target given\nTry 'sondrel-cli scan --help'.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
    const Finished f = RunProgram(c.args, data.path());
    EXPECT_EQ(f.status, 2);
    EXPECT_EQ(f.out, QString());
    EXPECT_EQ(f.err, QString::fromUtf8(c.err));
  }
  for (const char* command : {"ping", "export", "report", "scan"}) {
    SCOPED_TRACE(command);
    const Finished help = RunProgram({QString::fromUtf8(command), QStringLiteral("--help")}, data.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: sondrel-cli "))) << help.out.toStdString();
    EXPECT_EQ(help.err, QString());
  }
}

// A data folder that cannot be made is a broken set-up, not a dead host.
TEST(CliProgramConventions, UnusableDataFolderIsACannotStart) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  QTemporaryDir dir;
  const QString notAFolder = dir.path() + QStringLiteral("/file");
  std::ofstream(notAFolder.toStdString()) << "x";
  const Finished f =
      RunProgram({QStringLiteral("ping"), QStringLiteral("-c1"), QStringLiteral("127.0.0.1")},
                 notAFolder);
  EXPECT_EQ(f.status, 3) << f.err.toStdString();
  EXPECT_FALSE(f.out.contains(QStringLiteral("Reault:")));
}

// Through a real pipe, rows arrive while the run still goes on.
TEST(CliProgramConventions, RowsReachAPipeWhileTheRunGoesOn) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  QTemporaryDir data;
  QProcess p;
  UseDataHome(p, data.path());
  p.start(kProgram, {QStringLiteral("ping"), QStringLiteral("-i"), QStringLiteral("200"),
                     QStringLiteral("127.0.0.1")});
  ASSERT_TRUE(p.waitForStarted(10000));
  QByteArray got;
  const bool firstRow = QTest::qWaitFor(
      [&] {
        got += p.readAllStandardOutput();
        return got.contains("\n1. ");
      },
      20000);
  EXPECT_TRUE(firstRow) << got.toStdString();
  EXPECT_EQ(p.state(), QProcess::Running);
  EXPECT_TRUE(got.startsWith("Ping testing with 32 bytes of data:            1  IP \n"));
  p.terminate();  // stops like Stop: statistics follow, then the exit
  ASSERT_TRUE(p.waitForFinished(20000));
  got += p.readAllStandardOutput();
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_NE(got.indexOf("\nReault:\n"), -1);
}

TEST(CliOptionForms, AttachedValuesEqualsVersionAndDoubleDash) {
  ParsedCommandLine p =
      ParseCommandLine({"ping", "-c5", "-w900", "-i10", "-s64", "--list=Office Printers", "h"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(p.options.params.pingsPerTarget, 5);
  EXPECT_EQ(p.options.params.timeoutMs, 900u);
  EXPECT_EQ(p.options.params.intervalMs, 10u);
  EXPECT_EQ(p.options.params.size, 64);
  EXPECT_EQ(p.options.lists, std::vector<std::string>{"Office Printers"});
  EXPECT_EQ(p.options.targets, std::vector<std::string>{"h"});

  p = ParseCommandLine({"ping", "-c", "2", "--", "-c3", "--list=x"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(p.options.params.pingsPerTarget, 2);
  EXPECT_EQ(p.options.targets, (std::vector<std::string>{"-c3", "--list=x"}));
  EXPECT_TRUE(p.options.lists.empty());

  EXPECT_TRUE(ParseCommandLine({"--version"}).options.version);
  EXPECT_EQ(ParseCommandLine({"ping", "-cx", "h"}).error, "Inalid Test Times.");
  EXPECT_EQ(ParseCommandLine({"ping", "--list="}).error, "an empty list title");
  EXPECT_EQ(ParseCommandLine({"ping", "--one-by-one=yes", "h"}).error,
            "unknown option --one-by-one=yes");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"ping", ""}, {"ping", "127.0.0.1", "  "}, {"ping", "--", ""}})
    EXPECT_EQ(ParseCommandLine(args).error, "empty target") << ::testing::PrintToString(args);
}

TEST(CliOptionForms, ValuesInTheOrderGivenAndBytesAsTyped) {
  // Values are taken in the order given, and bytes in any encoding pass
  // through as typed.
  EXPECT_EQ(ParseCommandLine({"ping", "-i", "x", "-w", "0", "h"}).error, "Inalid Test Interval.");
  ParsedCommandLine p = ParseCommandLine({"ping", "--list", "B\xe9ro", "-s", "64", "h\xff\x80"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(p.options.lists, std::vector<std::string>{"B\xe9ro"});
  EXPECT_EQ(p.options.targets, std::vector<std::string>{"h\xff\x80"});
  EXPECT_EQ(ParseScanCommandLine({"--list=Caf\xe9"}).options.lists, std::vector<std::string>{"Caf\xe9"});
}

TEST(CliTargetLimit, SeveralRangesNameTheirTotal) {
  fakes::FakeResolver resolver;
  // Two ranges of 32768 and one of 6: each fits, together they do not.
  auto got = CollectCommandLineTargets(
      {"127.0.0.0-127.0.127.255", "127.1.0.0-127.1.127.255", "127.2.0.0-127.2.0.5"}, resolver);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().code, kExitUsage);
  EXPECT_EQ(got.error().message, "the targets come to 65542 addresses, more than 65536");

  got = CollectCommandLineTargets({"10.0.0.1", "10.0.0.0-10.1.255.255"}, resolver);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().message,
            "the range 10.0.0.0-10.1.255.255 holds 131072 addresses, more than 65536");

  // Exactly the limit is accepted, walked octet by octet.
  got = CollectCommandLineTargets({"127.0.0.0-127.0.127.255", "127.1.0.0-127.1.127.255"},
                                  resolver);
  ASSERT_TRUE(got) << got.error().message;
  EXPECT_EQ(got.value().targets.addresses.size(), 65536u);
  got = CollectCommandLineTargets({"127.0.0.1-127.0.1.10"}, resolver);
  ASSERT_TRUE(got);
  EXPECT_EQ(got.value().targets.addresses.size(), 20u);
  EXPECT_EQ(got.value().targets.addresses[10], "127.0.1.1");
}

TEST_F(CliRunTest, ARunThatCannotStartIsNotANoReply) {
  // No ICMP socket.
  icmp->setAvailable(false, "no ICMP here");
  EXPECT_EQ(Run({"ping", "-c", "1", "127.0.0.1"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("no ICMP here"), std::string::npos);
  icmp->setAvailable(true);

  // Another copy holds the run log.
  {
    RunLog other(services.dataFolder, SystemFiles());
    ASSERT_TRUE(other.StartRunLog(1, 1, {"10.0.0.1"}));
    EXPECT_EQ(Run({"ping", "-c", "1", "127.0.0.1"}), kExitCannotStart);
  }

  // Only names that do not resolve: nothing left to test.
  EXPECT_EQ(Run({"ping", "nowhere.invalid"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("sondrel-cli: nothing to test\n"), std::string::npos);

  // A data folder that is not there.
  services.dataFolder = dir.path().toStdString() + "/missing/";
  EXPECT_EQ(Run({"ping", "-c", "1", "127.0.0.1"}), kExitCannotStart);

  // An IP list that cannot be read is the set-up; a title it lacks is usage.
  EXPECT_EQ(Run({"ping", "--list", "IP_Group_01"}), kExitCannotStart);
  services.dataFolder = dir.path().toStdString() + "/";
  std::ofstream(services.dataFolder + "Tolvane_DB.txt", std::ios::binary)
      << "BIP_Group_01,127.0.0.1\r\n";
  EXPECT_EQ(Run({"ping", "--list", "Other"}), kExitUsage);

  // And a host that never answers is still 1.
  EXPECT_EQ(Run({"ping", "-i", "5", "-c", "1", "--list", "IP_Group_01"}), kExitNoReply);
}

TEST_F(CliRunTest, TheTitleLineIsWrittenBeforeTheFirstEchoReturns) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::fclose(services.out);
  services.out = ::fdopen(fds[1], "w");  // a pipe: fully buffered by default
  ASSERT_NE(services.out, nullptr);
  icmp->script("127.0.0.1", {0, 1'000, 64});
  icmp->hold();
  // While the first echo is held, look into the pipe for up to 200 ms.
  std::string seen;
  int rounds = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (icmp->requests().empty()) return;
    pollfd pfd{fds[0], POLLIN, 0};
    if (::poll(&pfd, 1, 0) == 1) {
      char buf[256];
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n > 0) seen.append(buf, static_cast<size_t>(n));
    }
    if (!seen.empty() || ++rounds > 40) {
      watch.stop();
      icmp->release();
    }
  });
  watch.start(5);
  EXPECT_EQ(Run({"ping", "-i", "5", "-c", "1", "127.0.0.1"}), kExitReplied);
  icmp->release();
  EXPECT_EQ(seen, "Ping testing with 32 bytes of data:            1  IP \n");
  ::close(fds[0]);
}


TEST(CliProgramConventions, AReaderThatGoesAwayStopsTheRunWithItsLogWhole) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  QTemporaryDir data;
  QProcess p;
  UseDataHome(p, data.path());
  // A real pipe whose reader leaves after the title and one row; the status
  // is the program's own (141 when SIGPIPE kills it).
  p.start(QStringLiteral("bash"),
          {QStringLiteral("-c"),
           QStringLiteral("\"$0\" ping -i 50 127.0.0.1 | head -n 2; exit ${PIPESTATUS[0]}"),
           kProgram});
  const bool ended = p.waitForFinished(20000);
  if (!ended) p.kill();
  ASSERT_TRUE(ended) << "still running with nobody reading";
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardOutput().contains("\n1. "));
  std::ifstream log(data.path().toStdString() + "/SondrelDataBas/Tolvane_DB3.txt",
                    std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

}  // namespace
}  // namespace sondrel::cli
