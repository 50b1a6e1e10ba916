// The start-up reload against a start that is still collecting its targets:
// the previous run comes back when the start gives up, and is dropped once
// the new run's log has begun.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakePrompter.h"
#include "ping/PingRun.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

TEST(PingRunReload, AReloadThatEndsWhileAStartCollectsWaitsForItsOutcome) {
  QTemporaryDir dir;
  RunLog log(dir.path().toStdString() + "/", SystemFiles());
  {
    std::ofstream out(log.logPath(), std::ios::binary);
    out << "1,1\r\n2026,03,07,14,05,09,10.9.9.9,32,7,64,0\r\n"
           "2026,03,07,14,05,10,10.9.9.9,32,8,64,0\r\n";
  }
  auto icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  icmp->script("127.0.0.1", {0, 1'000, 64});
  PingParameters params;
  params.intervalMs = 5;
  params.pingsPerTarget = 1;
  PingRun run({std::make_shared<fakes::FakeClock>(), icmp, std::make_shared<fakes::FakePrompter>(),
               nullptr},
              params, log);
  std::vector<PingRun::TargetsReady> pending;
  run.setAsyncTargetSource([&](PingRun::TargetsReady ready) { pending.push_back(std::move(ready)); });

  // The reload is handed back only after the start has begun collecting.
  ASSERT_TRUE(run.ReloadPreviousRun());
  run.setParameters(params);
  run.StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return pending.size() == 1 && !log.reloading(); }, 10000));
  EXPECT_EQ(run.rowCount(), 0);
  RunTargets nothing;
  nothing.nothingToTest = true;
  QSignalSpy shown(&run, &PingRun::previousRunLoaded);
  pending[0](nothing);
  EXPECT_FALSE(run.testRunning());
  ASSERT_EQ(shown.count(), 1) << "the files still hold the previous run: so does the screen";
  EXPECT_EQ(run.rowCount(), 2);

  // The same, but the start goes on: the new run's log wins.
  ASSERT_TRUE(run.ReloadPreviousRun());
  run.setParameters(params);
  run.StartPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return pending.size() == 2 && !log.reloading(); }, 10000));
  QSignalSpy finished(&run, &PingRun::finished);
  RunTargets one;
  one.addresses = one.labels = {"127.0.0.1"};
  pending[1](one);
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));
  QTest::qWait(20);
  EXPECT_EQ(shown.count(), 1);
  ASSERT_EQ(run.rowCount(), 1);
  EXPECT_EQ(run.data().ip(run.data().records[0]), "127.0.0.1");
  icmp->release();
}

}  // namespace
}  // namespace sondrel
