// When alert rules fire: once as a condition begins and once as it clears,
// with hysteresis, and a flapping target folded into one alert per interval.
#include <gtest/gtest.h>

#include "core/alerts/AlertRules.h"

namespace sondrel {
namespace {

constexpr std::int64_t kS = 1'000'000;

AlertRule Rule(AlertKind kind) {
  AlertRule r;
  r.name = "rule";
  r.kind = kind;
  return r;
}

std::vector<AlertTarget> Targets() {
  return {{"router", "127.0.0.1", "office"}, {"", "127.0.0.2", ""}, {"printer", "127.0.0.3", "office"}};
}

TEST(AlertRules, AnOutageFiresAsItBeginsAndAsItEndsWithItsLength) {
  AlertEngine engine({Rule(AlertKind::Outage)}, Targets(), 0);
  engine.figures(1, 40.0, 2'000, 3'000, 1 * kS);
  engine.outageBegan({1, 10 * kS, -1, 3}, 12 * kS);
  engine.outageBegan({1, 10 * kS, -1, 4}, 13 * kS);  // told again by a second reader: once only
  std::vector<Alert> a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::OutageStart);
  EXPECT_EQ(a[0].target, 1u);
  EXPECT_EQ(a[0].sinceUtcUs, 10 * kS) << "since the first lost echo";
  EXPECT_EQ(a[0].atUtcUs, 12 * kS);
  EXPECT_DOUBLE_EQ(a[0].lossPercent, 40.0);
  EXPECT_TRUE(engine.active(0, 1));

  engine.outageEnded({1, 10 * kS, 25 * kS, 15}, 25 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::OutageEnd);
  EXPECT_EQ(a[0].durationUs, 15 * kS);
  EXPECT_EQ(a[0].sinceUtcUs, 25 * kS);
  EXPECT_FALSE(engine.active(0, 1));
  EXPECT_EQ(EventName(AlertEvent::OutageStart), "outage-start");
  EXPECT_EQ(EventName(AlertEvent::LatencyClear), "latency-clear");
}

TEST(AlertRules, LossFiresAtItsThresholdStaysQuietWhileHighAndClearsOnlyAtTheLowerOne) {
  AlertRule loss = Rule(AlertKind::Loss);
  loss.raisePercent = 10;
  loss.clearPercent = 5;
  AlertEngine engine({loss}, Targets(), 0);
  const double series[] = {0, 9.9, 10, 30, 12, 7, 5.1, 9.9, 5, 3, 10};
  std::vector<std::pair<AlertEvent, std::int64_t>> told;
  for (int k = 0; k < 11; ++k) {
    engine.figures(0, series[k], 1'000, 1'000, k * kS);
    for (const Alert& a : engine.take()) told.emplace_back(a.event, a.atUtcUs / kS);
  }
  const std::vector<std::pair<AlertEvent, std::int64_t>> expected = {
      {AlertEvent::Loss, 2}, {AlertEvent::LossClear, 8}, {AlertEvent::Loss, 10}};
  EXPECT_EQ(told, expected) << "7 % and 5.1 % lie between the thresholds: still lossy";
}

TEST(AlertRules, LatencyWatchesItsMeasureClearsBelowTheLowerTimeAndIgnoresWindowsWithoutReplies) {
  AlertRule slow = Rule(AlertKind::Latency);
  slow.measure = LatencyMeasure::P95;
  slow.raiseMs = 100;
  slow.clearMs = 80;
  AlertEngine engine({slow}, Targets(), 0);
  engine.figures(2, 0, 50'000, 99'999, 1 * kS);
  EXPECT_TRUE(engine.take().empty());
  engine.figures(2, 0, 50'000, 100'000, 2 * kS);
  std::vector<Alert> a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::Latency);
  ASSERT_TRUE(a[0].rttMs);
  EXPECT_DOUBLE_EQ(*a[0].rttMs, 100.0) << "the 95th percentile, not the median";
  engine.figures(2, 100, std::nullopt, std::nullopt, 3 * kS);
  engine.figures(2, 0, 50'000, 80'000, 4 * kS);
  EXPECT_TRUE(engine.take().empty()) << "no replies, then exactly 80 ms: not below the clearing time";
  engine.figures(2, 0, 50'000, 79'999, 5 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::LatencyClear);
  EXPECT_EQ(a[0].durationUs, 3 * kS);
}

TEST(AlertRules, AFlappingTargetIsToldOncePerIntervalWithTheChangesFoldedIn) {
  AlertEngine engine({Rule(AlertKind::Outage)}, Targets(), 60 * kS);
  // Down at 0 s and up at 10 s (both told: one outage), then down, up and
  // down again within the minute after.
  engine.outageBegan({0, 0, -1, 3}, 0);
  engine.outageEnded({0, 0, 10 * kS, 3}, 10 * kS);
  engine.outageBegan({0, 20 * kS, -1, 3}, 20 * kS);
  engine.outageEnded({0, 20 * kS, 30 * kS, 3}, 30 * kS);
  engine.outageBegan({0, 40 * kS, -1, 3}, 40 * kS);
  engine.tick(69 * kS);
  std::vector<Alert> a = engine.take();
  ASSERT_EQ(a.size(), 2u) << "the first outage's start and end only";
  EXPECT_EQ(a[0].event, AlertEvent::OutageStart);
  EXPECT_EQ(a[1].event, AlertEvent::OutageEnd);
  EXPECT_EQ(a[1].atUtcUs, 10 * kS) << "an end is told as it comes";
  EXPECT_EQ(a[1].folded, 0);

  engine.tick(70 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::OutageStart) << "the state at the interval's end: down again";
  EXPECT_EQ(a[0].sinceUtcUs, 40 * kS);
  EXPECT_EQ(a[0].atUtcUs, 70 * kS);
  EXPECT_EQ(a[0].folded, 2) << "the down and up before it";

  // Its end is told at once.
  engine.tick(200 * kS);
  EXPECT_TRUE(engine.take().empty());
  engine.outageEnded({0, 40 * kS, 200 * kS, 3}, 200 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::OutageEnd);
  EXPECT_EQ(a[0].folded, 0);
  EXPECT_EQ(a[0].durationUs, 160 * kS);

  // Targets are held apart: another target's first change is told at once.
  engine.outageBegan({2, 201 * kS, -1, 3}, 201 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].target, 2u);

  // Held at the run's end: told then.
  engine.outageEnded({2, 201 * kS, 205 * kS, 3}, 205 * kS);
  engine.outageBegan({2, 206 * kS, -1, 3}, 206 * kS);
  engine.take();
  engine.flush(207 * kS);
  a = engine.take();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].event, AlertEvent::OutageStart);
  EXPECT_EQ(a[0].atUtcUs, 207 * kS);
}

TEST(AlertRules, ARuleForChosenTargetsMatchesTheirLabelAddressOrGroup) {
  AlertRule office = Rule(AlertKind::Outage);
  office.targets = {"office"};
  AlertRule one = Rule(AlertKind::Outage);
  one.targets = {"127.0.0.2"};
  AlertEngine engine({office, one}, Targets(), 0);
  for (std::uint32_t t = 0; t < 3; ++t) engine.outageBegan({t, 0, -1, 3}, kS);
  std::vector<std::pair<std::size_t, std::uint32_t>> told;
  for (const Alert& a : engine.take()) told.emplace_back(a.rule, a.target);
  const std::vector<std::pair<std::size_t, std::uint32_t>> expected = {{0, 0}, {1, 1}, {0, 2}};
  EXPECT_EQ(told, expected);
  EXPECT_TRUE(RuleApplies(office, {"router", "10.0.0.1", "office"}));
  EXPECT_FALSE(RuleApplies(office, {"", "10.0.0.1", ""})) << "an empty group matches no name";
}

}  // namespace
}  // namespace sondrel
