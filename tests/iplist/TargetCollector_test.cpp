#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "fakes/FakePrompter.h"
#include "fakes/FakeResolver.h"
#include "fakes/GateResolver.h"
#include "iplist/DialogExchange.h"
#include "iplist/TargetSelection.h"

namespace sondrel {
namespace {

CollectRequest groupRequest(int members, int knownEvery) {
  CollectRequest r;
  r.currentIndex = 0;
  r.currentText = "G";
  std::string group = "BG";
  for (int i = 0; i < members; ++i)
    group += i % knownEvery == 0 ? ",known" + std::to_string(i) + ".lan"
                                 : ",name" + std::to_string(i) + ".lan";
  r.entries = {group, "A10.0.0.1"};
  r.selected = {0, 1};
  return r;
}

TEST(TargetCollector, AsyncCollectionEqualsTheOneAtATimeResult) {
  auto resolver = std::make_shared<fakes::FakeResolver>();
  for (int i = 0; i < 40; i += 3) resolver->add("known" + std::to_string(i) + ".lan", "10.1.0." + std::to_string(i));
  const CollectRequest request = groupRequest(40, 3);

  const CollectResult sequential = CollectTargets(request, [&](const std::string& n) {
    return resolver->firstIPv4(n);
  });

  TargetCollector collector(resolver);
  QSignalSpy spy(&collector, &TargetCollector::finished);
  collector.start(request);
  EXPECT_TRUE(collector.busy());
  ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, 5000));
  EXPECT_FALSE(collector.busy());
  const auto result = spy.at(0).at(0).value<CollectResult>();
  EXPECT_EQ(result.targets.TargetAddresses, sequential.targets.TargetAddresses);
  EXPECT_EQ(result.targets.TargetLabels, sequential.targets.TargetLabels);
  EXPECT_EQ(result.targets.UnresolvedText, sequential.targets.UnresolvedText);
  EXPECT_EQ(result.targets.UnresolvedCount, 26);
  EXPECT_EQ(result.targets.TargetAddresses.back(), "10.0.0.1");
}

using fakes::GateResolver;

CollectRequest heldRequest() {
  CollectRequest r;
  r.textPing = "held.lan";
  return r;
}

// The collection threads hold the resolver until they end; once they have,
// anything they posted is delivered by one round of events.
bool awaitThreadsDone(const std::shared_ptr<GateResolver>& resolver) {
  const bool done = QTest::qWaitFor([&] { return resolver.use_count() == 1; }, 5000);
  QCoreApplication::processEvents();
  return done;
}

TEST(TargetCollector, ARestartDropsTheEarlierResult) {
  auto resolver = std::make_shared<GateResolver>();
  auto collector = std::make_unique<TargetCollector>(resolver);
  QSignalSpy spy(collector.get(), &TargetCollector::finished);
  collector->start(heldRequest());
  ASSERT_TRUE(resolver->awaitWaiting(1));
  CollectRequest second;
  second.textPing = "10.0.0.9";
  collector->start(second);
  ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, 5000));
  resolver->open();
  collector.reset();  // the resolver's only other holders are the threads
  ASSERT_TRUE(awaitThreadsDone(resolver));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).value<CollectResult>().targets.TargetAddresses,
            std::vector<std::string>{"10.0.0.9"});
}

TEST(TargetCollector, CancelledOrDeletedCollectorsAreNotCalledBack) {
  auto resolver = std::make_shared<GateResolver>();
  TargetCollector cancelled(resolver);
  QSignalSpy spy(&cancelled, &TargetCollector::finished);
  cancelled.start(heldRequest());
  auto doomed = std::make_unique<TargetCollector>(resolver);
  doomed->start(heldRequest());
  ASSERT_TRUE(resolver->awaitWaiting(2));
  cancelled.cancel();
  EXPECT_FALSE(cancelled.busy());
  doomed.reset();
  resolver->open();
  const auto holders = [&] { return resolver.use_count(); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return holders() == 2; }, 5000)) << "the test and `cancelled`";
  QCoreApplication::processEvents();
  EXPECT_EQ(spy.count(), 0);
}

TEST(TargetCollector, TestNowEntriesGoToTheirPurposeOnly) {
  const ListEntry single = ListEntry::single("10.0.0.5");
  const ListEntry group = ListEntry::group("G", {"10.0.0.6"});
  const ListEntry range = ListEntry::range("R", "10.0.0.7", "10.0.0.8");

  auto scan = TestNowRequest(CollectPurpose::Scan, range);
  EXPECT_EQ(scan.PendingRange, "CR,10.0.0.7,10.0.0.8");
  EXPECT_TRUE(scan.PendingSingle.empty());

  auto ping = TestNowRequest(CollectPurpose::PingTest, single);
  EXPECT_EQ(ping.PendingSingle, "10.0.0.5");
  EXPECT_TRUE(ping.PendingGroup.empty());
  auto next = TestNowRequest(CollectPurpose::PingTest, group);
  EXPECT_EQ(next.PendingGroup, "BG,10.0.0.6");
  EXPECT_TRUE(next.PendingSingle.empty());

  // A range is for a scan, a single for a ping test; neither crosses over.
  auto rangeForPing = TestNowRequest(CollectPurpose::PingTest, range);
  EXPECT_TRUE(rangeForPing.PendingRange.empty() && rangeForPing.PendingSingle.empty() &&
              rangeForPing.PendingGroup.empty());
  auto singleForScan = TestNowRequest(CollectPurpose::Scan, single);
  EXPECT_TRUE(singleForScan.PendingSingle.empty() && singleForScan.PendingRange.empty());
  auto none = TestNowRequest(CollectPurpose::PingTest, ListEntry{});
  EXPECT_TRUE(none.PendingSingle.empty() && none.PendingGroup.empty());
}

TEST(TargetCollector, UnresolvedNamesAreReportedOnce) {
  fakes::FakePrompter prompter;
  RunTargetState state;
  EXPECT_FALSE(ReportUnresolved(state, prompter));
  state.UnresolvedCount = 1;
  state.UnresolvedText = "\r\n       gone.lan";
  EXPECT_TRUE(ReportUnresolved(state, prompter));
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].text,
            QStringLiteral("Cannot find the IP address for the following 1 host:\r\n\r\n       gone.lan"));
  EXPECT_EQ(prompter.messages()[0].icon, IPrompter::Icon::Information);

  EXPECT_FALSE(ReportTruncated(state, prompter));
  state.Truncated = true;
  EXPECT_TRUE(ReportTruncated(state, prompter));
  ASSERT_EQ(prompter.messages().size(), 2);
  EXPECT_TRUE(prompter.messages()[1].text.startsWith(QStringLiteral("The selection holds more than 65536")));
}

}  // namespace
}  // namespace sondrel
