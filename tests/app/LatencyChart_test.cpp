// The latency chart's columns: echoes while they are few, the spread of each
// pixel column once more fall on it than can be drawn, losses and outages.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "monitor/ui/LatencyChart.h"

#include <algorithm>

namespace sondrel {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

// One echo a second for `count` seconds from t = 0; every `lossEvery`th lost.
ChartSeries Series(std::int64_t count, int lossEvery, std::int64_t rtt = 2'000) {
  ChartSeries s;
  s.name = QStringLiteral("127.0.0.1");
  std::vector<ArchivedEcho> echoes;
  for (std::int64_t k = 0; k < count; ++k) {
    ArchivedEcho e;
    e.pass = static_cast<std::uint32_t>(k);
    e.sentUtcUs = k * kSecond;
    e.roundTripUs = lossEvery && k % lossEvery == lossEvery - 1 ? -1 : rtt + (k % 10) * 100;
    e.ttl = 64;
    echoes.push_back(e);
  }
  s.echoes = std::make_shared<EchoSeries>(std::move(echoes));
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

  // Drawn: between a column's minimum and its lower quartile the light band
  // alone, the series' colour at 60 of 255 over the white plot.
  QImage picture(chart.size(), QImage::Format_ARGB32);
  chart.render(&picture);
  const int plotTop = 10, plotHeight = chart.height() - 10 - 44;  // the plot's margins
  const double top = 2'900 * 1.1;
  const int y = plotTop + static_cast<int>(plotHeight * (1.0 - 2'100 / top));
  const QColor seen = picture.pixelColor(64 + 300, y);
  const QColor colour = LatencyChart::colourOf(0);
  auto over = [](int c) { return c * 60 / 255.0 + 255 * (195 / 255.0); };
  EXPECT_NEAR(seen.red(), over(colour.red()), 4);
  EXPECT_NEAR(seen.green(), over(colour.green()), 4);
  EXPECT_NEAR(seen.blue(), over(colour.blue()), 4);

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
  Outage overlapping{0, 140 * kSecond, 170 * kSecond, 30};
  chart.setOutages({charted, other, going, overlapping});
  ASSERT_EQ(chart.shaded().size(), 2u) << "the other target's outage is not shaded";
  EXPECT_EQ(chart.shaded()[0], (std::pair<int, int>{64 + 100, 64 + 170})) << "two that overlap, shaded once";
  EXPECT_EQ(chart.shaded()[1], (std::pair<int, int>{64 + 500, 64 + 600})) << "one under way to the end of the range";
}

// Echoes every 250 ms with round trips that wander (seeded), every 13th lost.
std::vector<ArchivedEcho> Wandering(std::int64_t count) {
  std::vector<ArchivedEcho> echoes;
  std::uint32_t x = 12345;
  for (std::int64_t k = 0; k < count; ++k) {
    x = x * 1103515245u + 12345u;
    ArchivedEcho e;
    e.sentUtcUs = k * 250'000;
    e.roundTripUs = k % 13 == 12 ? -1 : 500 + static_cast<std::int64_t>((x >> 8) % 4000);
    echoes.push_back(e);
  }
  return echoes;
}

TEST(EchoSeriesColumns, ASpanOfManyEchoesPerColumnIsReadFromBlocksWithItsExactCountsAndExtremes) {
  // 400 columns of 2^24 µs each: the blocks (an eighth of a column) line up
  // with the columns, so counts and extremes must match the echoes'.
  constexpr int kWidth = 400;
  constexpr std::int64_t kColumnUs = std::int64_t{1} << 24;
  const std::vector<ArchivedEcho> echoes = Wandering(kWidth * kColumnUs / 250'000);
  const EchoSeries series(echoes);
  bool exact = true;
  const std::vector<EchoColumn> columns = series.columns(0, kWidth * kColumnUs - 1, kWidth, &exact);
  ASSERT_FALSE(exact) << "67 echoes a column";
  ASSERT_EQ(columns.size(), static_cast<std::size_t>(kWidth));
  for (int c = 0; c < kWidth; ++c) {
    std::vector<std::int64_t> replies;
    std::int64_t lost = 0;
    for (const ArchivedEcho& e : echoes)
      if (e.sentUtcUs / kColumnUs == c) {
        if (e.roundTripUs < 0)
          ++lost;
        else
          replies.push_back(e.roundTripUs);
      }
    std::sort(replies.begin(), replies.end());
    const EchoColumn& col = columns[static_cast<std::size_t>(c)];
    ASSERT_EQ(col.replies, static_cast<std::int64_t>(replies.size())) << "column " << c;
    EXPECT_EQ(col.lost, lost) << "column " << c;
    EXPECT_EQ(col.minUs, replies.front());
    EXPECT_EQ(col.maxUs, replies.back());
    // The merged quartiles stay near the exact ones: within the exact
    // 10th to 40th, 35th to 65th and 60th to 90th percentiles.
    auto rank = [&](double q) { return replies[static_cast<std::size_t>(q * static_cast<double>(replies.size() - 1))]; };
    EXPECT_GE(col.q1Us, rank(0.10));
    EXPECT_LE(col.q1Us, rank(0.40));
    EXPECT_GE(col.medianUs, rank(0.35));
    EXPECT_LE(col.medianUs, rank(0.65));
    EXPECT_GE(col.q3Us, rank(0.60));
    EXPECT_LE(col.q3Us, rank(0.90));
  }
}

TEST(EchoSeriesColumns, EchoesAddedAsTheyComeGiveTheColumnsOfAllReadAtOnce) {
  const std::vector<ArchivedEcho> all = Wandering(40'000);
  const EchoSeries whole(all);
  EchoSeries growing;
  const std::int64_t end = all.back().sentUtcUs;
  // Read at three zooms between every batch, so each level has blocks to
  // sum again from where the batch began (mid-block, as live echoes come).
  for (std::size_t k = 0; k < all.size(); k += 777) {
    growing.append(std::vector<ArchivedEcho>(all.begin() + static_cast<std::ptrdiff_t>(k),
                                             all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), k + 777))));
    for (int width : {300, 1000, 1600}) growing.columns(0, end, width);
  }
  ASSERT_EQ(growing.echoes().size(), all.size());
  growing.append({all.front()});  // sent before the latest: left out
  EXPECT_EQ(growing.echoes().size(), all.size());
  for (int width : {300, 1000, 1600, 5000}) {
    bool exactWhole = false, exactGrown = false;
    const std::vector<EchoColumn> a = whole.columns(1'000'000, end - 3'000'000, width, &exactWhole);
    const std::vector<EchoColumn> b = growing.columns(1'000'000, end - 3'000'000, width, &exactGrown);
    EXPECT_EQ(exactWhole, width == 5000) << "8 echoes a column or fewer: walked one by one";
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t c = 0; c < a.size(); ++c) {
      EXPECT_EQ(a[c].replies, b[c].replies) << width << " px, column " << c;
      EXPECT_EQ(a[c].lost, b[c].lost);
      EXPECT_EQ(a[c].minUs, b[c].minUs);
      EXPECT_EQ(a[c].medianUs, b[c].medianUs);
      EXPECT_EQ(a[c].maxUs, b[c].maxUs);
    }
  }
  std::int64_t inRange = 0;
  for (const EchoColumn& c : whole.columns(1'000'000, end - 3'000'000, 1000)) inRange += c.replies + c.lost;
  EXPECT_EQ(inRange, whole.countIn(1'000'000, end - 3'000'000)) << "nothing lost or counted twice at the ends";
}

}  // namespace
}  // namespace sondrel
