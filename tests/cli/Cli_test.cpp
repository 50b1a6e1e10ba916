#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/CliOptions.h"
#include "cli/CliPing.h"
#include "cli/CliTestSupport.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeResolver.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel::cli {
namespace {

TEST(CliOptions, MirrorTheParameterLists) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // empty: accepted
    std::uint32_t timeout, interval;
    std::int32_t size, pings;
    BufferMode mode;
  };
  const Case cases[] = {
      {{"ping", "127.0.0.1"}, "", 500, 600, 32, 0, BufferMode::Single},
      {{"ping", "-w", "900", "-i", "10", "-s", "1024", "-c", "4", "127.0.0.1"},
       "", 900, 10, 1024, 4, BufferMode::Single},
      {{"ping", "-s", "16,32,64,1024", "h"}, "", 500, 600, 16, 0, BufferMode::Multiple},
      {{"ping", "-s", "step32", "h"}, "", 500, 600, 32, 1000, BufferMode::Incremental},
      {{"ping", "-c", "7", "-s", "step32", "h"}, "", 500, 600, 32, 7, BufferMode::Incremental},
      {{"ping", "-w", "0", "h"}, "Inalid Time Out Value.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-w", "abc", "h"}, "Inalid Time Out Value.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-i", "-5", "h"}, "Inalid Test Interval.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-s", "0", "h"}, "Inalid Buffer Size Value.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-s", "16,x", "h"}, "Inalid Buffer Size Value.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-c", "1.5", "h"}, "Inalid Test Times.", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-c"}, "option -c needs a value", 0, 0, 0, 0, BufferMode::Single},
      {{"ping"}, "no target given", 0, 0, 0, 0, BufferMode::Single},
      {{"ping", "-x", "h"}, "unknown option -x", 0, 0, 0, 0, BufferMode::Single},
      {{"pong", "h"}, "unknown command 'pong'", 0, 0, 0, 0, BufferMode::Single},
      {{}, "no command given", 0, 0, 0, 0, BufferMode::Single},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedCommandLine p = ParseCommandLine(c.args);
    if (!c.error.empty()) {
      EXPECT_EQ(p.error.substr(0, c.error.size()), c.error);
      continue;
    }
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.options.params.timeoutMs, c.timeout);
    EXPECT_EQ(p.options.params.intervalMs, c.interval);
    EXPECT_EQ(p.options.params.size, c.size);
    EXPECT_EQ(p.options.params.sendData.size(), static_cast<size_t>(c.size));
    EXPECT_EQ(p.options.params.pingsPerTarget, c.pings);
    EXPECT_EQ(p.options.params.mode, c.mode);
  }
  EXPECT_TRUE(ParseCommandLine({"--help"}).options.help);
  EXPECT_TRUE(ParseCommandLine({"ping", "-h"}).options.help);
  EXPECT_EQ(ParseCommandLine({"ping", "--one-by-one", "h"}).options.params.passMode,
            PassMode::OneByOne);
}

TEST(CliTargets, RangesNamesAndAddressesInOrder) {
  fakes::FakeResolver resolver;
  resolver.add("gateway", "10.0.0.254");
  auto got = CollectCommandLineTargets(
      {"10.0.0.3-10.0.0.1", "gateway", "nosuchhost", "192.168.100.10(note)", "10.0.1.250-10.0.2.249"},
      resolver);
  ASSERT_TRUE(got);
  const RunTargets& t = got.value().targets;
  const std::vector<std::string> addresses = {"10.0.0.3",       "10.0.0.2",   "10.0.0.1",
                                              "10.0.0.254",     "192.168.100.10",
                                              "10.0.1.250",     "10.0.1.249", "10.0.2.250",
                                              "10.0.2.249"};
  EXPECT_EQ(t.addresses, addresses);
  EXPECT_EQ(t.labels[3], "gateway / 10.0.0.254");
  EXPECT_EQ(t.labels[4], "192.168.100.10");
  EXPECT_TRUE(t.longAddressFlag);
  EXPECT_EQ(got.value().unresolved, std::vector<std::string>{"nosuchhost"});

  auto huge = CollectCommandLineTargets({"10.0.0.0-10.1.255.255"}, resolver);
  ASSERT_FALSE(huge);
  EXPECT_NE(huge.error().message.find("more than 65536"), std::string::npos);
}

TEST(CliTargets, StoredGroupsAndRangesByTitle) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/Tolvane_DB.txt";
  std::ofstream(path, std::ios::binary)
      << "A127.0.0.1\r\n=comment\r\nBIP_Group_01,10.0.0.1,10.0.0.2 (printer)\r\n"
         "CIP_Range_01,10.0.1.2,10.0.1.1\r\n \r\nBAfterTheEnd,10.9.9.9\r\n";
  auto got = ListTargets(SystemFiles(), path, {"IP_Range_01", "IP_Group_01"});
  ASSERT_TRUE(got) << got.error().message;
  EXPECT_EQ(got.value(),
            (std::vector<std::string>{"10.0.1.2-10.0.1.1", "10.0.0.1", "10.0.0.2 (printer)"}));
  fakes::FakeResolver resolver;
  auto targets = CollectCommandLineTargets(got.value(), resolver);
  ASSERT_TRUE(targets);
  EXPECT_EQ(targets.value().targets.addresses,
            (std::vector<std::string>{"10.0.1.2", "10.0.1.1", "10.0.0.1", "10.0.0.2"}));

  for (const char* missing : {"AfterTheEnd", "127.0.0.1", "nothing"}) {
    auto none = ListTargets(SystemFiles(), path, {missing});
    ASSERT_FALSE(none);
    EXPECT_NE(none.error().message.find("no group or range titled"), std::string::npos);
  }
  EXPECT_FALSE(ListTargets(SystemFiles(), dir.path().toStdString() + "/none.txt", {"IP_Group_01"}));
}

using clitest::CliRunTest;
using clitest::ReadAll;

TEST_F(CliRunTest, PrintsRowsAndTheStatisticsBlock) {
  icmp->script("127.0.0.1", {0, 2'000, 64});
  EXPECT_EQ(Run({"ping", "-i", "5", "-c", "2", "127.0.0.1", "127.0.0.9"}), kExitReplied);
  EXPECT_EQ(ReadAll(services.out),
            "Ping testing with 32 bytes of data:            2  IP \n"
            "1. 03/07 14:05:09   Reply from 127.0.0.1  bytes=32  time=2ms  TTL=64  ok\n"
            "2. 03/07 14:05:09   Reply from 127.0.0.9  bytes=32  Request  timed  out.\n"
            "3. 03/07 14:05:09   Reply from 127.0.0.1  bytes=32  time=2ms  TTL=64  ok\n"
            "4. 03/07 14:05:09   Reply from 127.0.0.9  bytes=32  Request  timed  out.\n"
            "\nReault:\n \n"
            "Sent:       4\nReceived:   2\nLost:       2\nLoss Rate:  50.00 %\n"
            "Min Time:   2 ms\nMax Time:   2 ms\nAvg Time:   2 ms\nAvg TTL:    64\n");
  std::ifstream log(services.dataFolder + "Tolvane_DB3.txt", std::ios::binary);
  std::stringstream bytes;
  bytes << log.rdbuf();
  EXPECT_EQ(bytes.str(),
            "2,1\r\n"
            "2026,03,07,14,05,09,127.0.0.1,32,2,64,0\r\n"
            "2026,03,07,14,05,09,127.0.0.9,32,-1,0,11010\r\n"
            "2026,03,07,14,05,09,127.0.0.1,32,2,64,0\r\n"
            "2026,03,07,14,05,09,127.0.0.9,32,-1,0,11010\r\n");
}

TEST_F(CliRunTest, NoReplyNothingToTestAndARefusedRun) {
  EXPECT_EQ(Run({"ping", "-i", "5", "-c", "1", "127.0.0.9"}), kExitNoReply);
  EXPECT_NE(ReadAll(services.out).find("Loss Rate:  100.00 %"), std::string::npos);

  EXPECT_EQ(Run({"ping", "unknown.invalid"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("Cannot find the IP address for the following 1 host:\n"
                                       "       unknown.invalid\n"),
            std::string::npos);

  RunLog other(services.dataFolder, SystemFiles());
  ASSERT_TRUE(other.StartRunLog(1, 1, {"10.0.0.1"}));
  EXPECT_EQ(Run({"ping", "-c", "1", "127.0.0.1"}), kExitCannotStart);
  EXPECT_NE(ReadAll(services.err).find("Another copy of the program is running a ping test"),
            std::string::npos);
}

TEST_F(CliRunTest, InterruptStopsAContinualRunLikeStop) {
  icmp->script("127.0.0.1", {0, 1'000, 64});
  // The interrupt comes once some passes are in.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (icmp->requests().size() >= 3) {
      poll.stop();
      std::raise(SIGINT);
    }
  });
  poll.start(5);
  EXPECT_EQ(Run({"ping", "-i", "5", "127.0.0.1"}), kExitReplied);
  const std::string out = ReadAll(services.out);
  EXPECT_NE(out.find("\nReault:\n"), std::string::npos);
  EXPECT_NE(out.find("Lost:       0\n"), std::string::npos);
  // SIGINT is back to its default once the run is over.
  struct sigaction now {};
  sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace sondrel::cli
