// The MAC completion after a scan: empty MACs filled from the neighbour
// table command's output, read whole, this machine's own MAC, the closing
// line, and the time-out for a command that does not end.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

#include "platform/ProcessService_linux.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakeProcessService.h"
#include "fakes/FakePrompter.h"
#include "scan/ArpLookup.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using namespace fakes;

ScanRecord Live(const std::string& ip, const std::string& mac = {}) {
  return {ip, "3", "", mac, "64"};
}
ScanRecord Dead(const std::string& ip) { return {ip, "Dead", "", "", ""}; }

struct Lookup : ::testing::Test {
  FakeProcessService processes;
  FakePrompter prompter;
  FakeNetworkSettings network;
  FakeClock clock;
  ArpLookup lookup{processes, prompter, network, clock};
  QSignalSpy finished{&lookup, &ArpLookup::finished};
  QSignalSpy changed{&lookup, &ArpLookup::tableChanged};

  void script(std::vector<QByteArray> pieces, bool endless = false) {
    processes.script("ip", {std::move(pieces), 0, endless});
  }
  // The closing line, once the lookup has ended.
  QString run(ScanTable& table) {
    lookup.RunArpLookup(table);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(lookup.running());
    return finished.isEmpty() ? QStringLiteral("<none>") : finished.first().at(0).toString();
  }
};

TEST_F(Lookup, FillsOnlyEmptyMacsFromTheTableAndRunsTheCommandWithoutShell) {
  script({"10.0.0.2 dev eth0 lladdr 02:00:00:00:00:02 REACHABLE \n10.0.0.3 dev eth0 ll",
          "addr 02:00:00:00:00:03 STALE \n10.0.0.4 dev eth0 lladdr 02:00:00:00:00:04 REACHABLE \n",
          "1.2 dev eth0 lladdr 02:00:00:00:00:99 REACHABLE \n"});
  ScanTable table{Live("10.0.0.2"), Live("10.0.0.3", "0A-0B-0C-0D-0E-0F"), Dead("10.0.0.4"),
                  Live("10.0.0.5"), Live("1.2")};
  EXPECT_EQ(run(table), QString()) << "this machine's address was not scanned: no closing line";

  EXPECT_EQ(table[0].mac, "02-00-00-00-00-02") << "an entry split between two pieces";
  EXPECT_EQ(table[1].mac, "0A-0B-0C-0D-0E-0F") << "the worker's MAC stays";
  EXPECT_EQ(table[2].mac, "02-00-00-00-00-04") << "answers for the link though not for echo";
  EXPECT_EQ(table[3].mac, "");
  EXPECT_EQ(table[4].mac, "") << "addresses of 4 characters or fewer are not looked for";
  EXPECT_EQ(table[0].ms, "3");

  ASSERT_EQ(processes.started().size(), 1u);
  EXPECT_EQ(processes.started()[0].argv,
            (std::vector<std::string>{"ip", "-4", "neigh", "show", "nud", "reachable", "nud",
                                      "stale", "nud", "delay", "nud", "probe", "nud",
                                      "permanent"}));
  EXPECT_TRUE(prompter.calls.isEmpty());
}

TEST_F(Lookup, OwnAddressGetsItsInterfaceMacAndTheClosingLine) {
  network.adapterList = {{"eth0", "", "", "02-00-00-00-00-01", ""},
                         {"eth1", "192.168.1.50", "255.255.255.0", "52-54-00-AB-CD-0F", ""}};
  script({"192.168.1.1 dev eth1 lladdr 00:1a:2b:3c:4d:5e router REACHABLE \n"});
  clock.set({2026, 3, 7, 14, 5, 21, 0});
  lookup.ScanStartSeconds = 14 * 3600 + 5 * 60 + 9;
  EXPECT_EQ(lookup.LocalAddress(), "192.168.1.50") << "the first adapter holding an address";

  ScanTable table{Live("192.168.1.1"), Live("192.168.1.50")};
  EXPECT_EQ(run(table), QStringLiteral("Scanning finished:   12  Second    "));
  EXPECT_EQ(table[0].mac, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(table[1].mac, "52-54-00-AB-CD-0F");
}

TEST_F(Lookup, OwnAddressWithAMacAlreadyOrAScanOverMidnight) {
  network.adapterList = {{"eth0", "10.0.0.9", "255.0.0.0", "52-54-00-AB-CD-0F", ""}};
  script({});
  ScanTable known{Live("10.0.0.9", "0A-0B-0C-0D-0E-0F")};
  EXPECT_EQ(run(known), QString());
  EXPECT_EQ(known[0].mac, "0A-0B-0C-0D-0E-0F");

  finished.clear();
  changed.clear();
  clock.set({2026, 3, 8, 0, 0, 5, 0});
  lookup.ScanStartSeconds = 23 * 3600 + 59 * 60 + 50;
  ScanTable overnight{Dead("10.0.0.8"), Live("10.0.0.9")};
  EXPECT_EQ(run(overnight), QStringLiteral("Scanning finished:   15  Second    "));
  EXPECT_EQ(overnight[1].mac, "52-54-00-AB-CD-0F");
}

TEST_F(Lookup, ACommandThatNeverEndsIsReadUpToItsTimeOut) {
  // 45 pieces of one entry each from a command that never ends by itself.
  std::vector<QByteArray> pieces;
  for (int k = 1; k <= 45; ++k)
    pieces.push_back(QByteArray("10.0.1.") + QByteArray::number(k) +
                     " dev eth0 lladdr 02:00:00:00:01:" + QByteArray::number(k).rightJustified(2, '0') +
                     " REACHABLE \n");
  script(pieces, /*endless=*/true);
  lookup.setCommandTimeoutMs(2000);
  ScanTable table;
  for (int k = 1; k <= 45; ++k) table.push_back(Live("10.0.1." + std::to_string(k)));
  run(table);
  EXPECT_EQ(table[39].mac, "02-00-00-00-01-40") << "past the 40th piece";
  EXPECT_EQ(table[44].mac, "02-00-00-00-01-45");
  EXPECT_EQ(lookup.OutputBuffer().count(QLatin1Char('\n')), 45);
  QTest::qWait(50);
  EXPECT_EQ(finished.count(), 1) << "the command's end changes nothing";
}

TEST_F(Lookup, BlankPieceInsideTheOutputDoesNotEndTheReading) {
  script({"10.0.0.2 dev eth0 lladdr 02:00:00:00:00:02 REACHABLE", "\n",
          "10.0.0.3 dev eth0 lladdr 02:00:00:00:00:03 REACHABLE \n"});
  ScanTable table{Live("10.0.0.2"), Live("10.0.0.3")};
  run(table);
  EXPECT_EQ(table[0].mac, "02-00-00-00-00-02");
  EXPECT_EQ(table[1].mac, "02-00-00-00-00-03");
}

TEST_F(Lookup, MissingCommandIsToldAndTheLookupStillEnds) {
  network.adapterList = {{"eth0", "10.0.0.9", "255.0.0.0", "52-54-00-AB-CD-0F", ""}};
  clock.set({2026, 3, 7, 10, 0, 30, 0});
  lookup.ScanStartSeconds = 10 * 3600;
  ScanTable table{Live("10.0.0.2"), Live("10.0.0.9")};
  EXPECT_EQ(run(table), QStringLiteral("Scanning finished:   30  Second    "));
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].text, QStringLiteral("File or command not found"));
  EXPECT_EQ(table[0].mac, "");
  EXPECT_EQ(table[1].mac, "52-54-00-AB-CD-0F");
}

TEST_F(Lookup, ASecondLookupDropsTheFirst) {
  script({"10.0.0.2 dev eth0 lladdr 02:00:00:00:00:02 REACHABLE \n"});
  ScanTable first{Live("10.0.0.2")};
  ScanTable second{Live("10.0.0.2")};
  lookup.RunArpLookup(first);
  EXPECT_EQ(run(second), QString());
  EXPECT_EQ(second[0].mac, "02-00-00-00-00-02");
  EXPECT_EQ(first[0].mac, "") << "the dropped lookup writes nothing";
}

bool Sh(const QString& command) {
  return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}) == 0;
}

// The real `ip` on a neighbour table this test fills in its own namespace.
TEST(LookupOnThisSystem, RealNeighbourTable) {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1")
    SONDREL_SKIP_MISSING("needs the private network namespace of the test runner");
  if (!Sh(QStringLiteral("ip link add sdarp0 type veth peer name sdarp1 2>/dev/null")))
    SONDREL_SKIP_MISSING("cannot make a veth pair here (needs root)");
  const bool made =
      Sh(QStringLiteral("ip link set sdarp0 up && ip addr add 10.79.0.1/24 dev sdarp0 && "
                        "ip neigh add 10.79.0.7 lladdr 02:79:00:00:00:07 dev sdarp0 nud permanent && "
                        "ip neigh add 10.79.0.8 lladdr 02:79:00:00:00:08 dev sdarp0 nud stale && "
                        "ip neigh add 10.79.0.9 dev sdarp0 nud failed 2>/dev/null; "
                        "ip neigh show 10.79.0.7 | grep -q lladdr"));
  auto processes = MakeProcessService();
  FakePrompter prompter;
  FakeNetworkSettings network;
  FakeClock clock;
  ArpLookup lookup(*processes, prompter, network, clock);
  QSignalSpy finished(&lookup, &ArpLookup::finished);
  ScanTable table{Live("10.79.0.7"), Live("10.79.0.8"), Dead("10.79.0.9"), Live("10.79.0.70")};
  if (made) {
    lookup.RunArpLookup(table);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, 10000));
  }
  Sh(QStringLiteral("ip link del sdarp0"));
  ASSERT_TRUE(made);
  EXPECT_TRUE(prompter.calls.isEmpty());
  EXPECT_EQ(table[0].mac, "02-79-00-00-00-07");
  EXPECT_EQ(table[1].mac, "02-79-00-00-00-08");
  EXPECT_EQ(table[2].mac, "");
  EXPECT_EQ(table[3].mac, "") << "10.79.0.7's entry is not a prefix match";
}

}  // namespace
}  // namespace sondrel
