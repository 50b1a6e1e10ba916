// The day's run the monitor's benchmarks chart and make_day_run writes
// (bench/DayRun.h): written through the archive's writer, it holds what its
// description promises, and the archive finds exactly its outages.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <limits>
#include <map>

#include "DayRun.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kFirstSent = 1'772'892'309'000'000;  // 2026-03-07 14:05:09 UTC

TEST(DayRun, ADayOfTenTargetsIsKeptWithFourOutagesEachAndLoopbackRoundTrips) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  bench::DayRunShape shape;
  shape.targets = 10;  // the tenth is one of the slower ones
  shape.firstSentUtcUs = kFirstSent;
  const std::string path = dir.path().toStdString() + "/Sondrel.sqlite";
  const bench::DayRunWritten written = bench::WriteDayRun(SystemFiles(), path, shape);
  ASSERT_NE(written.run, 0) << written.failure;
  EXPECT_EQ(written.results, 864'000);

  auto archive = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadOnly);
  ASSERT_TRUE(archive);
  RunArchive& a = *archive.value();
  auto summary = a.summary(written.run);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary.value().sent, 864'000);
  EXPECT_EQ(summary.value().targetCount, 10);
  EXPECT_EQ(summary.value().ending, RunEnding::CountReached);
  EXPECT_EQ(summary.value().intervalMs, 1000);
  // The last echo went out 86,399 s after the first; lost ones end 500 ms on.
  ASSERT_TRUE(summary.value().endUtcUs);
  EXPECT_GE(*summary.value().endUtcUs, kFirstSent + 86'399 * kSecond);
  EXPECT_LE(*summary.value().endUtcUs, kFirstSent + 86'400 * kSecond);

  auto outages = a.outagesOf(written.run);
  ASSERT_TRUE(outages);
  std::map<std::uint32_t, std::vector<Outage>> byTarget;
  for (const Outage& o : outages.value()) byTarget[o.target].push_back(o);
  ASSERT_EQ(byTarget.size(), 10u);
  std::int64_t lostInOutages = 0;
  for (const auto& [target, list] : byTarget) {
    // The ten minutes all were down, and three of its own: scattered single
    // losses never make one.
    ASSERT_EQ(list.size(), 4u) << "target " << target;
    std::vector<std::int64_t> lost;
    for (const Outage& o : list) {
      EXPECT_FALSE(o.ongoing());
      lost.push_back(o.lostEchoes);
      lostInOutages += o.lostEchoes;
      // Ended by the next reply, a second after the last echo lost.
      EXPECT_NEAR(static_cast<double>(o.endUtcUs - o.startUtcUs), static_cast<double>(o.lostEchoes * kSecond), 400);
    }
    std::sort(lost.begin(), lost.end());
    EXPECT_GE(lost[0], 3);
    EXPECT_LE(lost[2], 179);
    EXPECT_EQ(lost[3], 600);
    const auto shared = std::find_if(list.begin(), list.end(), [](const Outage& o) { return o.lostEchoes == 600; });
    ASSERT_NE(shared, list.end());
    EXPECT_GE(shared->startUtcUs, kFirstSent + (3 * 3600 + 17 * 60) * kSecond);
    EXPECT_LT(shared->startUtcUs, kFirstSent + (3 * 3600 + 17 * 60) * kSecond + 400);
  }
  // About one in 1,500 of the other echoes lost on its own.
  const std::int64_t single = summary.value().lost - lostInOutages;
  EXPECT_GT(single, 10 * 86'400 / 1500 / 2);
  EXPECT_LT(single, 10 * 86'400 / 1500 * 2);

  // Round trips of tens of microseconds, a slower target in milliseconds,
  // spikes of a few ms at most.
  for (std::uint32_t t : {0u, 9u}) {
    auto echoes = a.echoesOf(written.run, t, std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::int64_t>::max());
    ASSERT_TRUE(echoes);
    ASSERT_EQ(echoes.value().size(), 86'400u);
    std::vector<std::int64_t> replies;
    for (const ArchivedEcho& e : echoes.value())
      if (e.roundTripUs >= 0) replies.push_back(e.roundTripUs);
    std::sort(replies.begin(), replies.end());
    const std::int64_t median = replies[replies.size() / 2];
    if (t == 0) {
      EXPECT_GE(median, 10);
      EXPECT_LE(median, 150);
    } else {
      EXPECT_GE(median, 500);
      EXPECT_LE(median, 4000);
    }
    EXPECT_GE(replies.front(), 8);
    EXPECT_LE(replies.back(), 50'000);
    EXPECT_GT(replies.back(), 4 * median) << "no spikes";
    // Sent once a second, in order.
    EXPECT_EQ(echoes.value().front().sentUtcUs / kSecond, kFirstSent / kSecond);
    EXPECT_EQ(echoes.value().back().sentUtcUs / kSecond, kFirstSent / kSecond + 86'399);
  }
}

}  // namespace
}  // namespace sondrel
