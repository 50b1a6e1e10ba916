#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include "ping/ui/ResultsDisplay.h"

namespace sondrel {
namespace {

RunStatistics Stats(std::int64_t sent, std::int64_t lost, std::int64_t minTime,
                    std::int64_t maxTime, std::int64_t avgTime, std::int64_t avgTtl) {
  RunStatistics s;
  s.sent = sent;
  s.lost = lost;
  s.minTime = minTime;
  s.maxTime = maxTime;
  s.avgTime = avgTime;
  s.avgTtl = avgTtl;
  return s;
}

// Rows named after their record so a page shows which records it holds.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_.setRowSource([this](std::int64_t i) {
      ++lookups_;
      return RowTexts{QStringLiteral("first %1").arg(i), QStringLiteral("second %1").arg(i)};
    });
  }
  // A run of n results, as the run feeds the panel, then stopped.
  void Run(std::int64_t n, bool stop = true) {
    display_.setRunning(true);
    for (std::int64_t i = 0; i < n; ++i) {
      display_.ShowResultRow(i);
      display_.SetupScrollBar(i);
    }
    display_.flush();
    if (!stop) return;
    display_.setRunning(false);
    display_.showLastPage();
  }
  // The row numbers shown, "" for empty rows.
  std::vector<std::string> Numbers() {
    display_.flush();
    std::vector<std::string> out;
    for (QLabel* l : display_.sTYPE) out.push_back(l->text().toStdString());
    return out;
  }
  // First and last record number of the page, 1-based as shown.
  std::pair<int, int> Page() {
    const auto n = Numbers();
    EXPECT_FALSE(n.front().empty());
    int last = 0;
    for (const auto& s : n)
      if (!s.empty()) last = std::stoi(s);
    return {std::stoi(n.front()), last};
  }

  ResultsDisplay display_;
  int lookups_ = 0;
};

TEST_F(DisplayTest, TheTwentyFirstResultStartsANewPage) {
  Run(20, false);
  EXPECT_EQ(Numbers()[19], "20.");
  display_.ShowResultRow(20);
  const auto n = Numbers();
  EXPECT_EQ(n[0], "21.");
  for (int r = 1; r < 20; ++r) EXPECT_EQ(n[r], "") << r;
  EXPECT_EQ(display_.sIP[0]->text().toStdString(), "first 20");
  EXPECT_EQ(display_.sIP2[0]->text().toStdString(), "second 20");
  EXPECT_EQ(display_.sIP[1]->text().toStdString(), "");
}

TEST_F(DisplayTest, TwentyResultsFitOnePageAndTheBarDoesNothing) {
  Run(20);
  EXPECT_EQ(Page(), std::make_pair(1, 20));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(Page(), std::make_pair(1, 20));
}

TEST_F(DisplayTest, AStoppedRunOf45PagesBackThroughAllResults) {
  Run(45);
  EXPECT_EQ(Page(), std::make_pair(26, 45));
  EXPECT_EQ(display_.sIP[0]->text().toStdString(), "first 25");
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(Page(), std::make_pair(6, 25));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(Page(), std::make_pair(1, 20));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Page(), std::make_pair(2, 21));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(Page(), std::make_pair(26, 45));
}

TEST_F(DisplayTest, ScrollingDoesNothingWhileARunGoes) {
  Run(45, false);
  EXPECT_EQ(Page(), std::make_pair(41, 45));
  display_.VScroll1()->setValue(19);
  EXPECT_EQ(Page(), std::make_pair(41, 45));
}

TEST_F(DisplayTest, ScrollBarCoversTheWholeRun) {
  struct Case {
    std::int64_t index;
    int maximum;
    int value;
  };
  for (const Case c : {Case{0, 0, 0}, Case{5, 5, 0}, Case{44, 44, 34}, Case{32700, 32700, 32690},
                       Case{39999, 39999, 39989}}) {
    SCOPED_TRACE(c.index);
    display_.SetupScrollBar(c.index);
    display_.flush();
    EXPECT_EQ(display_.VScroll1()->minimum(), 0);
    EXPECT_EQ(display_.VScroll1()->maximum(), c.maximum);
    EXPECT_EQ(display_.VScroll1()->value(), c.value);
    EXPECT_EQ(display_.VScroll1()->singleStep(), 1);
    EXPECT_EQ(display_.VScroll1()->pageStep(), 20);
  }
}

TEST_F(DisplayTest, TheEarliestResultsOfALongRunStayReachable) {
  Run(40000);
  EXPECT_EQ(Page(), std::make_pair(39981, 40000));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(Page(), std::make_pair(1, 20));
  EXPECT_EQ(display_.sIP2[19]->text().toStdString(), "second 19");
}

TEST_F(DisplayTest, FastRunsFormatOnlyTheVisiblePage) {
  Run(5000, false);
  EXPECT_LE(lookups_, 20);
  EXPECT_EQ(Page(), std::make_pair(4981, 5000));
}

TEST_F(DisplayTest, LabelsCatchUpWithoutAnExplicitFlush) {
  display_.ShowResultRow(0);
  display_.ShowRunStatistics(Stats(1, 0, 3, 3, 3, 64));
  EXPECT_TRUE(QTest::qWaitFor([&] { return display_.sTYPE[0]->text() == QStringLiteral("1."); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return display_.sIP4[0]->text() == QStringLiteral("1"); }, 5000));
}

TEST_F(DisplayTest, AReloadedRunShowsItsFirstPageAndScrollsOnByOne) {
  display_.showReloadedRun(30);
  EXPECT_EQ(Page(), std::make_pair(1, 20));
  display_.VScroll1()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Page(), std::make_pair(2, 21));
  display_.showReloadedRun(3);
  EXPECT_EQ(Numbers()[2], "3.");
  EXPECT_EQ(Numbers()[3], "");
}

TEST_F(DisplayTest, StatisticsColumnShowsValuesBesideItsCaptions) {
  display_.ShowRunStatistics(Stats(3, 1, 0, 12, 6, 64));
  display_.flush();
  const char* captions[] = {"Sent:", "Received:", "Lost:", "Loss Rate:", "", "Min Time:",
                            "Max Time:", "Avg Time:", "Avg TTL:", "", "Report:"};
  const char* values[] = {"3", "2", "1", "33.33 %", "", "1 ms", "12 ms", "6 ms", "64"};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(display_.sIP3[i]->text().toStdString(), captions[i]);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(display_.sIP4[i]->text().toStdString(), values[i]);
  display_.clearStatistics();
  display_.flush();
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(display_.sIP4[i]->text().isEmpty());
}

TEST_F(DisplayTest, LossRateRoundsToFourPlacesWithHalvesToEven) {
  struct Case {
    std::int64_t sent, lost;
    const char* text;
  };
  const Case cases[] = {
      {3, 1, "33.33 %"}, {3, 2, "66.67 %"}, {1, 1, "100.00 %"}, {10, 0, "0.00 %"},
      // 0.00125, 0.00375 and 0.00625 are exact halves: to the even neighbour.
      {800, 1, "0.12 %"}, {800, 3, "0.38 %"}, {800, 5, "0.62 %"},
      {7, 1, "14.29 %"}, {2000000000, 1999999999, "100.00 %"},
  };
  for (const Case& c : cases) {
    display_.ShowRunStatistics(Stats(c.sent, c.lost, 5, 5, 5, 64));
    display_.flush();
    EXPECT_EQ(display_.sIP4[3]->text().toStdString(), c.text) << c.sent << " " << c.lost;
  }
}

TEST_F(DisplayTest, TimesFollowTheOneAndZeroMillisecondRules) {
  struct Case {
    RunStatistics s;
    const char *min, *max, *avg, *loss;
  };
  const Case cases[] = {
      {Stats(4, 4, kNoMinimum, 0, 0, 0), "0 ms", "0 ms", "0 ms", "100.00 %"},  // no reply
      {Stats(4, 0, 0, 0, 0, 64), "1 ms", "1 ms", "1 ms", "0.00 %"},  // all under 1 ms
      {Stats(4, 1, 0, 15, 6, 64), "1 ms", "15 ms", "6 ms", "25.00 %"},
      {Stats(2, 0, 3, 9, 6, 128), "3 ms", "9 ms", "6 ms", "0.00 %"},
  };
  for (const Case& c : cases) {
    display_.ShowRunStatistics(c.s);
    display_.flush();
    EXPECT_EQ(display_.sIP4[5]->text().toStdString(), c.min);
    EXPECT_EQ(display_.sIP4[6]->text().toStdString(), c.max);
    EXPECT_EQ(display_.sIP4[7]->text().toStdString(), c.avg);
    EXPECT_EQ(display_.sIP4[3]->text().toStdString(), c.loss);
    EXPECT_EQ(display_.sIP4[8]->text().toLongLong(), c.s.avgTtl);
  }
}

TEST_F(DisplayTest, RowsAreGreyWhenIdleAndBlackWhileRunning) {
  auto background = [](QWidget* w) { return w->palette().color(QPalette::Window).rgb() & 0xFFFFFF; };
  std::vector<QWidget*> painted{display_.LabelTittle1(), display_.LabelTittle2()};
  for (int r = 0; r < 20; ++r)
    for (QLabel* l : {display_.sTYPE[r], display_.sIP[r], display_.sIP2[r], display_.sIP3[r],
                      display_.sIP4[r]})
      painted.push_back(l);
  for (QWidget* w : painted) EXPECT_EQ(background(w), 0x808080u) << w->objectName().toStdString();
  display_.paintRunning();
  for (QWidget* w : painted) EXPECT_EQ(background(w), 0u) << w->objectName().toStdString();
  EXPECT_EQ(background(&display_), 0u);
}

TEST_F(DisplayTest, NamesAndTheSecondColumnsPlace) {
  EXPECT_EQ(display_.objectName().toStdString(), "Picture2");
  EXPECT_EQ(display_.findChild<QLabel*>(QStringLiteral("sIP_3")), display_.sIP[3]);
  EXPECT_EQ(display_.findChild<QLabel*>(QStringLiteral("sIP4_19")), display_.sIP4[19]);
  EXPECT_EQ(display_.PingReport()->text().toStdString(), "Open");
  EXPECT_EQ(display_.PingReport()->toolTip().toStdString(), "Open Summary Report");
  EXPECT_EQ(display_.sIP2[0]->x(), 4715 / 15);
  display_.placeSecondColumn(true);
  EXPECT_EQ(display_.sIP2[7]->x(), 4815 / 15);
  display_.placeSecondColumn(false);
  EXPECT_EQ(display_.sIP2[7]->x(), 4715 / 15);
}

TEST_F(DisplayTest, LinksLightUpUnderTheMouse) {
  auto text = [](QWidget* w) { return w->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF; };
  struct Case {
    QLabel* label;
    unsigned idle;
  };
  for (const Case c : {Case{display_.LabelWebsite(), 0x404040u}, Case{display_.PingReport(), 0xC0C0C0u}}) {
    SCOPED_TRACE(c.label->objectName().toStdString());
    EXPECT_EQ(text(c.label), c.idle);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(c.label, &enter);
    EXPECT_EQ(text(c.label), 0x00FF00u);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(c.label, &leave);
    EXPECT_EQ(text(c.label), c.idle);
  }
}

TEST_F(DisplayTest, AWiderPanelKeepsTheStatisticsAtItsRightEdge) {
  display_.setPanelWidth(1000);
  EXPECT_EQ(display_.width(), 1000);
  EXPECT_EQ(display_.sIP4[0]->geometry().right(), 1000 - 5);
  EXPECT_EQ(display_.sIP2[0]->x(), 4715 / 15);
  EXPECT_LT(display_.sIP2[0]->geometry().right(), display_.VScroll1()->x());
  EXPECT_LT(display_.VScroll1()->geometry().right(), display_.sIP3[0]->x());
  EXPECT_EQ(display_.PingReport()->x(), display_.sIP4[10]->x());
}

}  // namespace
}  // namespace sondrel
