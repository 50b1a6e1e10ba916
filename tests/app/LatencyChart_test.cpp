// The latency chart's columns: echoes while they are few, the spread of each
// pixel column once more fall on it than can be drawn, losses and outages.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "monitor/ui/LatencyChart.h"

namespace sondrel {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

// One echo a second for `count` seconds from t = 0; every `lossEvery`th lost.
ChartSeries Series(std::int64_t count, int lossEvery, std::int64_t rtt = 2'000) {
  ChartSeries s;
  s.name = QStringLiteral("127.0.0.1");
  for (std::int64_t k = 0; k < count; ++k) {
    ArchivedEcho e;
    e.pass = static_cast<std::uint32_t>(k);
    e.sentUtcUs = k * kSecond;
    e.roundTripUs = lossEvery && k % lossEvery == lossEvery - 1 ? -1 : rtt + (k % 10) * 100;
    e.ttl = 64;
    s.echoes.push_back(e);
  }
  return s;
}

TEST(LatencyChartColumns, ADayOfEchoesIsDrawnAsEachColumnsSpreadWithItsLosses) {
  LatencyChart chart;
  chart.resize(1000, 300);
  std::vector<ChartSeries> series;
  series.push_back(Series(86'400, 100));
  chart.setSeries(std::move(series));
  chart.setRange(0, 86'400 * kSecond);
  ASSERT_TRUE(chart.spreadOf(0)) << "86,400 echoes on " << chart.plotWidth() << " columns";
  std::int64_t replies = 0, lost = 0;
  for (const LatencyChart::Column& c : chart.columnsOf(0)) {
    replies += c.replies;
    lost += c.lost;
    if (c.replies == 0) continue;
    EXPECT_LE(c.minUs, c.q1Us);
    EXPECT_LE(c.q1Us, c.medianUs);
    EXPECT_LE(c.medianUs, c.q3Us);
    EXPECT_LE(c.q3Us, c.maxUs);
    EXPECT_EQ(c.minUs, 2'000);
    EXPECT_EQ(c.maxUs, 2'900);
  }
  EXPECT_EQ(replies + lost, 86'400);
  EXPECT_EQ(lost, 864);

  // Zoomed to a minute: single echoes again, and the nearest one named.
  chart.setRange(0, 60 * kSecond);
  EXPECT_FALSE(chart.spreadOf(0));
  std::int64_t shown = 0;
  for (const LatencyChart::Column& c : chart.columnsOf(0)) shown += c.replies + c.lost;
  EXPECT_EQ(shown, 61) << "0 s to 60 s, both ends in";
  const int x = 64 + chart.plotWidth() * 3 / 60;  // at 3 s
  EXPECT_TRUE(chart.echoTextAt(x).contains(QStringLiteral("2.300 ms, TTL 64, ip success"))) << chart.echoTextAt(x).toStdString();
}

TEST(LatencyChartColumns, AShiftDragZoomsToItsSpanAndADragPans) {
  LatencyChart chart;
  chart.resize(664 + 12, 300);  // a plot 600 px wide from x = 64
  std::vector<ChartSeries> series;
  series.push_back(Series(600, 0));
  chart.setSeries(std::move(series));
  chart.setRange(0, 600 * kSecond);
  QSignalSpy moved(&chart, &LatencyChart::rangeChangedByUser);
  QTest::mousePress(&chart, Qt::LeftButton, Qt::ShiftModifier, QPoint(64 + 100, 100));
  QTest::mouseMove(&chart, QPoint(64 + 200, 100));
  QTest::mouseRelease(&chart, Qt::LeftButton, Qt::ShiftModifier, QPoint(64 + 200, 100));
  EXPECT_EQ(moved.count(), 1);
  EXPECT_EQ(chart.rangeFrom(), 100 * kSecond);
  EXPECT_EQ(chart.rangeTo(), 200 * kSecond);

  // A drag without Shift pans by the pixels moved.
  QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(64 + 300, 100));
  QTest::mouseMove(&chart, QPoint(64 + 240, 100));
  QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(64 + 240, 100));
  EXPECT_EQ(chart.rangeFrom(), 110 * kSecond);
  EXPECT_EQ(chart.rangeTo(), 210 * kSecond);
}

TEST(LatencyChartColumns, OutagesOfTheChartedTargetsAreShadedWithinTheRange) {
  LatencyChart chart;
  chart.resize(664 + 12, 300);  // a plot 600 px wide
  ASSERT_EQ(chart.plotWidth(), 600);
  std::vector<ChartSeries> series;
  series.push_back(Series(600, 0));
  chart.setSeries(std::move(series));
  chart.setRange(0, 600 * kSecond);
  Outage charted{0, 100 * kSecond, 160 * kSecond, 60};
  Outage other{3, 200 * kSecond, 260 * kSecond, 60};
  Outage going{0, 500 * kSecond, -1, 5};
  chart.setOutages({charted, other, going});
  ASSERT_EQ(chart.shaded().size(), 2u) << "the other target's outage is not shaded";
  EXPECT_EQ(chart.shaded()[0], (std::pair<int, int>{64 + 100, 64 + 160}));
  EXPECT_EQ(chart.shaded()[1], (std::pair<int, int>{64 + 500, 64 + 600})) << "one under way to the end of the range";
}

}  // namespace
}  // namespace sondrel
