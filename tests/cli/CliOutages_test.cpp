// The outages of a run: printed by "sondrel-cli ping" after its statistics,
// and listed again from the archive by "sondrel-cli outages".
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "cli/CliRuns.h"
#include "cli/CliTestSupport.h"
#include "platform/IcmpTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::CliRunTest;
using clitest::ReadAll;
using Script = fakes::FakeIcmpCarrier::Script;

class CliOutagesTest : public CliRunTest {
 protected:
  // 127.0.0.9: a reply, 2 lost (a loss), a reply, 5 lost (an outage), then
  // replies; 127.0.0.1 always answers.
  void PingWithAnOutage() {
    const Script ok{0, 450, 64}, lost{11010, 0, 0};
    icmp->scriptEach("127.0.0.9", {ok, lost, lost, ok, lost, lost, lost, lost, lost, ok, ok});
    icmp->script("127.0.0.1", ok);
    ASSERT_EQ(Run({"ping", "-i", "5", "-c", "11", "127.0.0.9", "127.0.0.1"}), kExitReplied)
        << ReadAll(services.err);
  }
  std::pair<int, std::string> Outages(const std::vector<std::string>& args) {
    const ParsedOutagesLine parsed = ParseOutagesLine(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    std::ostringstream out, err;
    const int status = RunOutages(parsed.options, services.dataFolder, *services.files, out, err);
    EXPECT_TRUE(err.str().empty()) << err.str();
    return {status, out.str()};
  }
};

TEST_F(CliOutagesTest, PingPrintsTheRunsOutagesAfterItsStatisticsAndTheArchiveListsThemAgain) {
  PingWithAnOutage();
  const std::string out = ReadAll(services.out);
  const std::size_t stats = out.find("Avg TTL:");
  const std::size_t heading = out.find("\nOutages (3 or more echoes lost in a row):\n");
  ASSERT_NE(stats, std::string::npos) << out;
  ASSERT_NE(heading, std::string::npos) << out;
  EXPECT_LT(stats, heading);
  const std::string block = out.substr(heading + 1);
  EXPECT_EQ(std::count(block.begin(), block.end(), '\n'), 2) << "one outage:\n" << block;
  EXPECT_NE(block.find("  127.0.0.9  "), std::string::npos) << block;
  EXPECT_NE(block.find("  5 lost\n"), std::string::npos) << block;

  auto [status, listed] = Outages({});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(listed, "Run 1: " + block) << "the same outage, found from the archived echoes";

  auto [csvStatus, csv] = Outages({"--run", "1", "--csv"});
  EXPECT_EQ(csvStatus, 0);
  EXPECT_EQ(csv.rfind("run,target,name,address,start,end,length s,lost\r\n1,0,127.0.0.9,127.0.0.9,", 0), 0u) << csv;
  EXPECT_EQ(csv.substr(csv.size() - 4), ",5\r\n") << csv;

  // Counted as the user asks: with 6 in a row there was none, with 2 both.
  EXPECT_EQ(Outages({"--after", "6"}).second, "Run 1: no outage (6 or more echoes lost in a row).\n");
  const std::string two = Outages({"--after", "2"}).second;
  EXPECT_NE(two.find("  2 lost\n"), std::string::npos) << two;
  EXPECT_NE(two.find("  5 lost\n"), std::string::npos) << two;
}

TEST_F(CliOutagesTest, APingWithoutOutagesPrintsAsBeforeAndBadArgumentsAreUsageFaults) {
  icmp->script("127.0.0.1", Script{0, 450, 64});
  ASSERT_EQ(Run({"ping", "-i", "5", "-c", "3", "127.0.0.1"}), kExitReplied);
  const std::string out = ReadAll(services.out);
  EXPECT_EQ(out.find("Outages"), std::string::npos) << out;
  EXPECT_NE(out.find("Avg TTL:"), std::string::npos) << out;

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--after", "0"}, {"--after", "101"}, {"--after", "x"}, {"--run", "0"}, {"extra"}})
    EXPECT_FALSE(ParseOutagesLine(bad).ok()) << bad[0];
  std::ostringstream o, e;
  OutagesOptions missing;
  missing.runId = 9;
  EXPECT_EQ(RunOutages(missing, services.dataFolder, *services.files, o, e), kExitNoReply);
  EXPECT_NE(e.str().find("there is no run 9"), std::string::npos) << e.str();
}

}  // namespace
}  // namespace sondrel::cli

namespace sondrel {
namespace {

// A real run against a host in a namespace of the test's own, whose address
// goes away for a second and comes back.
TEST(CliOutagesLive, AHostGoneForASecondIsOneOutageAsLongAsItWasGone) {
  if (const std::string why = testing::WhyNoNamespaces(); !why.empty()) SONDREL_SKIP_MISSING(why);
  testing::PeerNamespace peer("gone", "sgone0", "10.236.0.1", "10.236.0.2");
  ASSERT_TRUE(peer.ok()) << "the test namespace could not be made";
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  QProcess p;
  cli::clitest::UseDataHome(p, data.path());
  constexpr int kIntervalMs = 100;
  p.start(cli::clitest::kProgram, {QStringLiteral("ping"), QStringLiteral("-i"), QString::number(kIntervalMs),
                                   QStringLiteral("-w"), QStringLiteral("100"), QStringLiteral("-c"),
                                   QStringLiteral("40"), QStringLiteral("10.236.0.2")});
  ASSERT_TRUE(p.waitForStarted(10000));
  p.waitForFinished(1000);  // a second of replies
  ASSERT_EQ(p.state(), QProcess::Running);
  QElapsedTimer gap;
  ASSERT_TRUE(peer.inside("ip addr del 10.236.0.2/24 dev sgone0p"));
  gap.start();
  p.waitForFinished(1000);
  ASSERT_TRUE(peer.inside("ip addr add 10.236.0.2/24 dev sgone0p"));
  const qint64 goneMs = gap.elapsed();
  ASSERT_TRUE(p.waitForFinished(30000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_NE(out.find("Outages (3 or more echoes lost in a row):"), std::string::npos) << out;

  const cli::clitest::Finished listed =
      cli::clitest::RunProgram({QStringLiteral("outages"), QStringLiteral("--csv")}, data.path());
  ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
  const QStringList lines = listed.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << "one outage:\n" << listed.out.toStdString();
  const QStringList fields = lines[1].split(QLatin1Char(','));
  ASSERT_EQ(fields.size(), 8) << lines[1].toStdString();
  const double lengthMs = fields[6].toDouble() * 1000;
  // Measured from send times, so to within one interval of the gap (and the
  // few milliseconds the address commands take).
  EXPECT_NEAR(lengthMs, static_cast<double>(goneMs), kIntervalMs + 30) << lines[1].toStdString();
  EXPECT_GE(fields[7].toInt(), 8) << lines[1].toStdString();
}

}  // namespace
}  // namespace sondrel
