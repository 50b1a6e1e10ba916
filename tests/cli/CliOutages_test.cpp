// The outages of a run: printed by "sondrel-cli ping" after its statistics,
// and listed again from the archive by "sondrel-cli outages".
#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliRuns.h"
#include "cli/CliTestSupport.h"

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
