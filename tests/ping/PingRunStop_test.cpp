#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeKeepAwake.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> LogLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class PingRunWaitTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::shared_ptr<fakes::FakeClock> clock = std::make_shared<fakes::FakeClock>();
  std::shared_ptr<fakes::FakeIcmpCarrier> icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  std::shared_ptr<fakes::FakeKeepAwake> awake = std::make_shared<fakes::FakeKeepAwake>();
  PingParameters params;
  RunLog log{dir.path().toStdString() + "/", SystemFiles()};
  std::unique_ptr<PingRun> run;
  std::vector<std::string> targets;

  void SetUp() override {
    params.intervalMs = 5;
    icmp->script("127.0.0.1", {0, 3'000, 64});
    icmp->script("127.0.0.3", {0, 5'000, 60});
    icmp->script("127.0.0.9", {.silent = true});
    run = std::make_unique<PingRun>(PingRunServices{clock, icmp, nullptr, awake}, params, log);
    run->setTargetSource([this] {
      RunTargets t;
      t.addresses = targets;
      t.labels = targets;
      return t;
    });
  }
  void TearDown() override {
    icmp->timeOutWaiting();
    run.reset();
  }
};

TEST_F(PingRunWaitTest, StopDoesNotWaitForAnEchoWithTheLongestTimeOut) {
  params.timeoutMs = 2147483647;
  targets = {"127.0.0.1", "127.0.0.9"};
  for (PassMode mode : {PassMode::Together, PassMode::OneByOne}) {
    SCOPED_TRACE(mode == PassMode::Together ? "together" : "one by one");
    params.passMode = mode;
    QSignalSpy finished(run.get(), &PingRun::finished);
    QSignalSpy titles(run.get(), &PingRun::titlesChanged);
    run->setParameters(params);
    run->StartPingTest();
    // The live target's result comes in while the silent one still waits.
    ASSERT_TRUE(QTest::qWaitFor([&] { return run->rowCount() == 1; }, 5000));
    ASSERT_TRUE(icmp->waitForWaiting(1, 5s));

    run->StopPingTest();
    EXPECT_EQ(titles.last().at(1).toString().toStdString(), "   Stopping, Please wait ...");
    EXPECT_TRUE(run->testRunning()) << "idle before the cancelled echo came back";
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 2000))
        << "Stop waited for the time-out";
    EXPECT_FALSE(run->testRunning());
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(awake->holds, 0);
    // The title line is the run's again.
    EXPECT_EQ(titles.last().at(1).toString().toStdString(),
              "Ping testing with 32 bytes of data:            2  IP ");
    // The cancelled echo never completed: one record, one log line.
    EXPECT_EQ(run->rowCount(), 1);
    EXPECT_EQ(run->data().stats.sent, 1);
    EXPECT_EQ(run->data().stats.lost, 0);
    EXPECT_EQ(LogLines(log.logPath()),
              (std::vector<std::string>{"2,1", "2026,03,07,14,05,09,127.0.0.1,32,3,64,0"}));
  }
}

TEST_F(PingRunWaitTest, AStopWhileLaterResultsWaitKeepsOnlyThoseBeforeTheCancelledEcho) {
  // The third target has answered, but it may not take the silent one's place
  // in the target order.
  params.timeoutMs = 60000;
  targets = {"127.0.0.1", "127.0.0.9", "127.0.0.3"};
  QSignalSpy finished(run.get(), &PingRun::finished);
  run->setParameters(params);
  run->StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->rowCount() == 1; }, 5000));
  ASSERT_TRUE(icmp->waitForWaiting(1, 5s));
  run->StopPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 2000));
  ASSERT_EQ(run->rowCount(), 1);
  EXPECT_EQ(run->data().ip(run->data().records[0]), "127.0.0.1");
  EXPECT_EQ(LogLines(log.logPath()).size(), 2u);
}

TEST_F(PingRunWaitTest, TogetherEachRecordCarriesTheTimeItsOwnEchoEnded) {
  params.timeoutMs = 60000;
  params.pingsPerTarget = 1;
  targets = {"127.0.0.1", "127.0.0.9", "127.0.0.3"};
  QSignalSpy added(run.get(), &PingRun::resultAdded);
  QSignalSpy finished(run.get(), &PingRun::finished);
  run->setParameters(params);
  run->StartPingTest();
  // The first row does not wait for the dead target; the third does.
  ASSERT_TRUE(QTest::qWaitFor([&] { return added.count() == 1; }, 5000));
  ASSERT_TRUE(icmp->waitForWaiting(1, 5s));
  QTest::qWait(50);
  EXPECT_EQ(added.count(), 1) << "a row came out of target order";

  clock->set({2026, 3, 7, 14, 6, 10, 0});
  icmp->timeOutWaiting();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
  ASSERT_EQ(added.count(), 3);
  const RunData& d = run->data();
  EXPECT_EQ(FormatResultRow(d, d.records[0]).first, "03/07 14:05:09   Reply from 127.0.0.1");
  EXPECT_EQ(FormatResultRow(d, d.records[1]).first, "03/07 14:06:10   Reply from 127.0.0.9");
  EXPECT_EQ(FormatResultRow(d, d.records[2]).first, "03/07 14:05:09   Reply from 127.0.0.3");
  EXPECT_EQ(LogLines(log.logPath()),
            (std::vector<std::string>{"3,1", "2026,03,07,14,05,09,127.0.0.1,32,3,64,0",
                                      "2026,03,07,14,06,10,127.0.0.9,32,-1,0,11010",
                                      "2026,03,07,14,05,09,127.0.0.3,32,5,60,0"}));
}

}  // namespace
}  // namespace sondrel
