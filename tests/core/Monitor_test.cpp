// Outages found from a target's echoes, and its round-trip figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/monitor/LatencyFigures.h"
#include "core/monitor/Outages.h"

namespace sondrel {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

// Feeds `replies` (true: a reply) one a second from t = 0; what each gave.
std::vector<OutageTracker::Change> Feed(OutageTracker& tracker, std::uint32_t target, const std::vector<bool>& replies,
                                        std::int64_t from = 0) {
  std::vector<OutageTracker::Change> changes;
  for (std::size_t k = 0; k < replies.size(); ++k)
    changes.push_back(tracker.add(target, from + static_cast<std::int64_t>(k) * kSecond, replies[k]));
  return changes;
}

TEST(Outages, ShortLossesAreLossAndALongerRunIsOneOutageFromItsFirstLostEchoToTheNextReply) {
  using C = OutageTracker::Change;
  OutageTracker tracker;  // three in a row
  // t: 0 ok, 1-2 lost, 3 ok, 4-8 lost, 9 ok, 10 ok
  const auto changes = Feed(tracker, 0, {true, false, false, true, false, false, false, false, false, true, true});
  EXPECT_EQ(changes, (std::vector<C>{C::None, C::None, C::None, C::None, C::None, C::None, C::Began, C::None, C::None,
                                     C::Ended, C::None}));
  ASSERT_EQ(tracker.outages().size(), 1u);
  const Outage& o = tracker.outages()[0];
  EXPECT_EQ(o.startUtcUs, 4 * kSecond) << "begins at the first lost echo, not the third";
  EXPECT_EQ(o.endUtcUs, 9 * kSecond) << "ends at the reply's send time";
  EXPECT_EQ(o.lengthUs(0), 5 * kSecond);
  EXPECT_EQ(o.lostEchoes, 5);
  EXPECT_EQ(tracker.current(0), nullptr);
}

TEST(Outages, TargetsAreTrackedApartAndTheThresholdIsHeldInItsRange) {
  OutageTracker one(0);  // below the least: one lost echo is an outage
  EXPECT_EQ(one.threshold(), 1);
  EXPECT_EQ(one.add(0, 0, false), OutageTracker::Change::Began);
  EXPECT_EQ(OutageTracker(500).threshold(), 100);

  OutageTracker tracker(2);
  tracker.add(0, 0, false);
  tracker.add(1, 10, true);
  EXPECT_EQ(tracker.add(0, kSecond, false), OutageTracker::Change::Began);
  tracker.add(1, kSecond + 10, false);
  ASSERT_NE(tracker.current(0), nullptr);
  EXPECT_EQ(tracker.current(1), nullptr) << "one lost echo of the other target";
  EXPECT_EQ(tracker.lostInARow(1), 1);
  EXPECT_EQ(tracker.current(0)->lengthUs(3 * kSecond), 3 * kSecond) << "one under way is measured to now";

  // The run ends with the outage under way: closed at its last echo sent.
  tracker.add(0, 2 * kSecond, false);
  tracker.closeAll();
  ASSERT_EQ(tracker.outages().size(), 1u);
  EXPECT_EQ(tracker.outages()[0].endUtcUs, 2 * kSecond);
  EXPECT_EQ(tracker.outages()[0].lostEchoes, 3);
  EXPECT_EQ(tracker.current(0), nullptr);
}

TEST(LatencyFigures, SmallTimesAreExactAndLargeOnesWithinOnePercent) {
  LatencyHistogram h;
  EXPECT_FALSE(h.quantile(0.5));
  for (std::int64_t v : {50, 10, 40, 20, 30}) h.add(v);
  EXPECT_EQ(h.quantile(0.5), 30);
  EXPECT_EQ(h.quantile(0.95), 50);
  EXPECT_EQ(h.quantile(0.0), 10);
  h.remove(50);
  EXPECT_EQ(h.quantile(0.5), 20) << "nearest rank of four: the second";
  EXPECT_EQ(h.quantile(1.0), 40);

  // Times from 0.1 ms to 10 s, spread over the range.
  LatencyHistogram wide;
  std::vector<std::int64_t> values;
  for (int k = 0; k < 2000; ++k) values.push_back(static_cast<std::int64_t>(100 * std::pow(1.0058, k)));
  for (std::int64_t v : values) wide.add(v);
  std::sort(values.begin(), values.end());
  for (double q : {0.01, 0.25, 0.5, 0.9, 0.95, 0.99, 1.0}) {
    const std::int64_t exact = values[static_cast<std::size_t>(std::ceil(q * 2000)) - 1];
    const double got = static_cast<double>(*wide.quantile(q));
    EXPECT_LE(std::abs(got - static_cast<double>(exact)) / static_cast<double>(exact), 0.01) << "q " << q;
  }
}

TEST(LatencyFigures, JitterIsTheMeanDifferenceOfConsecutiveRepliesBesideItsSmoothedForm) {
  TargetLatency t;
  // 10, 14, lost, 11, 11 µs: differences 4, 3, 0 (the loss is skipped).
  for (auto [k, rtt] : std::vector<std::pair<int, std::int64_t>>{{0, 10}, {1, 14}, {2, -1}, {3, 11}, {4, 11}})
    t.add(k * kSecond, rtt);
  const LatencySummary s = t.run();
  EXPECT_EQ(s.sent, 5);
  EXPECT_EQ(s.received, 4);
  EXPECT_DOUBLE_EQ(s.lossPercent(), 20.0);
  ASSERT_TRUE(s.jitterUs);
  EXPECT_DOUBLE_EQ(*s.jitterUs, 7.0 / 3);
  EXPECT_DOUBLE_EQ(s.smoothedJitterUs, 0.3955078125);  // 0 -> 0.25 -> 0.421875 -> 0.3955...
  EXPECT_EQ(s.minUs, 10);
  EXPECT_EQ(s.maxUs, 14);
  EXPECT_EQ(s.lastUs, 11);
  EXPECT_DOUBLE_EQ(*s.meanUs, 11.5);
  EXPECT_EQ(s.medianUs, 11);

  // Equal times above the exact buckets read exactly, not as a bucket's middle.
  TargetLatency equal;
  for (int k = 0; k < 4; ++k) equal.add(k * kSecond, 450);
  EXPECT_EQ(equal.run().medianUs, 450);
  EXPECT_EQ(equal.run().p95Us, 450);
  EXPECT_EQ(equal.window().medianUs, 450);

  TargetLatency none;
  none.add(0, -1);
  EXPECT_FALSE(none.run().jitterUs);
  EXPECT_FALSE(none.run().medianUs);
  EXPECT_DOUBLE_EQ(none.run().lossPercent(), 100.0);
}

TEST(LatencyFigures, TheWindowHoldsTheEchoesSentWithinItsLength) {
  TargetLatency t(2 * kSecond);
  t.add(0, 10);
  t.add(kSecond, -1);
  t.add(2 * kSecond, 30);  // the first echo is 2 s old now: out
  LatencySummary w = t.window();
  EXPECT_EQ(w.sent, 2);
  EXPECT_EQ(w.received, 1);
  EXPECT_EQ(w.medianUs, 30);
  EXPECT_EQ(w.minUs, 30);
  EXPECT_DOUBLE_EQ(w.lossPercent(), 50.0);
  const LatencySummary r = t.run();
  EXPECT_EQ(r.sent, 3);
  EXPECT_EQ(r.medianUs, 10);
  EXPECT_EQ(r.minUs, 10);

  t.add(10 * kSecond, -1);  // a long gap: only the latest is in
  w = t.window();
  EXPECT_EQ(w.sent, 1);
  EXPECT_EQ(w.received, 0);
  EXPECT_FALSE(w.medianUs);
}

TEST(LatencyFigures, PeriodsHoldTheEchoesSentWithinThemAndEmptyOnesAreLeftOut) {
  constexpr std::int64_t kS = 1'000'000;
  PeriodLatency periods(0, 60 * kS);
  periods.add(-5 * kS, 900);  // before the origin: a period of its own
  const std::int64_t first[] = {100, 200, 300, 400, 500, -1};
  for (int k = 0; k < 6; ++k) periods.add(k * 10 * kS, first[k]);
  // Nothing from 60 s to 120 s.
  periods.add(125 * kS, 50);
  periods.add(130 * kS, -1);
  periods.add(179'999'999, 70);
  ASSERT_EQ(periods.periods().size(), 3u);

  const PeriodLatency::Period& before = periods.periods()[0];
  EXPECT_EQ(before.index, -1);
  EXPECT_EQ(before.fromUs, -60 * kS);
  EXPECT_EQ(before.figures.run().sent, 1);

  const PeriodLatency::Period& one = periods.periods()[1];
  EXPECT_EQ(one.index, 0);
  EXPECT_EQ(one.fromUs, 0);
  EXPECT_EQ(one.toUs, 60 * kS);
  const LatencySummary a = one.figures.run();
  EXPECT_EQ(a.sent, 6);
  EXPECT_EQ(a.received, 5);
  EXPECT_EQ(a.minUs, 100);
  EXPECT_EQ(a.medianUs, 300);
  EXPECT_EQ(a.maxUs, 500);
  EXPECT_DOUBLE_EQ(*a.meanUs, 300.0);
  EXPECT_DOUBLE_EQ(*a.jitterUs, 100.0);

  const PeriodLatency::Period& three = periods.periods()[2];
  EXPECT_EQ(three.index, 2);
  EXPECT_EQ(three.fromUs, 120 * kS);
  const LatencySummary c = three.figures.run();
  EXPECT_EQ(c.sent, 3);
  EXPECT_EQ(c.received, 2);
  EXPECT_EQ(c.minUs, 50);
  EXPECT_EQ(c.maxUs, 70);
  EXPECT_DOUBLE_EQ(*c.jitterUs, 20.0) << "the period's own pairs, not one across the periods";
}

TEST(Outages, TheTimeDownWithinASpanIsTheOverlapOfItsTargetsOutages) {
  constexpr std::int64_t kS = 1'000'000;
  const std::vector<Outage> outages = {{0, 30 * kS, 90 * kS, 6}, {1, 0, 200 * kS, 20}, {0, 150 * kS, -1, 3}};
  const DownTime firstMinute = DownTimeWithin(outages, 0, 0, 60 * kS, 170 * kS);
  EXPECT_EQ(firstMinute.outages, 1);
  EXPECT_EQ(firstMinute.downUs, 30 * kS);
  const DownTime second = DownTimeWithin(outages, 0, 60 * kS, 120 * kS, 170 * kS);
  EXPECT_EQ(second.outages, 0) << "it began before";
  EXPECT_EQ(second.downUs, 30 * kS);
  const DownTime third = DownTimeWithin(outages, 0, 120 * kS, 180 * kS, 170 * kS);
  EXPECT_EQ(third.outages, 1);
  EXPECT_EQ(third.downUs, 20 * kS) << "the one under way counts to now";
}

}  // namespace
}  // namespace sondrel
