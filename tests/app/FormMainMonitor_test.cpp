// The monitor window through the real main window: each target's state and
// figures in microseconds, and the outage log, for the live run and for a
// run shown again.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

#include "settings/UserSettings.h"
#include "app/AppFixture.h"
#include "archive/ui/RunsPresenter.h"
#include "monitor/ui/LatencyChart.h"
#include "monitor/ui/MonitorModels.h"
#include "monitor/ui/MonitorPresenter.h"
#include "monitor/ui/MonitorWindow.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

using Script = fakes::FakeIcmpCarrier::Script;
const Script kOk{0, 450, 64}, kLost{11010, 0, 0};

class FormMainMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    fakes_.icmp->script("127.0.0.1", {0, 13, 64});
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    testing::ChooseFastestInterval(w());
  }
  FormMain& w() { return *app_->window; }
  void RunOf(int pings) { ASSERT_TRUE(testing::PingThroughTheButton(w(), {"127.0.0.1", "127.0.0.9"}, pings)); }
  MonitorPresenter& Monitor() { return *w().monitorPresenter(); }
  MonitorWindow& OpenMonitor() {
    w().action(QStringLiteral("mnuMonitor"))->trigger();
    EXPECT_NE(Monitor().window(), nullptr);
    return *Monitor().window();
  }
  // A target's cell as the table shows it (source rows: the run's targets).
  QString Cell(int target, int column) {
    return Monitor().targetsModel()->index(target, column).data().toString();
  }
  QString Logged(int row, int column) { return Monitor().outageModel()->index(row, column).data().toString(); }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainMonitorTest, TwoLostEchoesAreLossFiveAreAnOutageAndTimesAreShownInMicroseconds) {
  // 127.0.0.9: a reply, 2 lost, a reply, 5 lost, then replies.
  fakes_.icmp->scriptEach("127.0.0.9", {kOk, kLost, kLost, kOk, kLost, kLost, kLost, kLost, kLost, kOk, kOk});
  RunOf(11);
  MonitorWindow& mw = OpenMonitor();
  EXPECT_TRUE(mw.isVisible());
  ASSERT_EQ(Monitor().targetsModel()->rowCount(), 2);

  EXPECT_EQ(Cell(0, TargetsModel::State), QStringLiteral("\u2714 up"));
  EXPECT_EQ(Cell(0, TargetsModel::Last), QStringLiteral("0.013")) << "never \"<1\"";
  EXPECT_EQ(Cell(0, TargetsModel::Outages), QStringLiteral("0"));
  EXPECT_EQ(Cell(0, TargetsModel::Jitter), QStringLiteral("0.000"));

  EXPECT_EQ(Cell(1, TargetsModel::State), QStringLiteral("\u26A0 lossy")) << "7 of 11 lost in the last 5 minutes";
  EXPECT_EQ(Cell(1, TargetsModel::Last), QStringLiteral("0.450"));
  EXPECT_EQ(Cell(1, TargetsModel::Median), QStringLiteral("0.450")) << "equal times read exactly";
  EXPECT_EQ(Cell(1, TargetsModel::P95), QStringLiteral("0.450"));
  EXPECT_EQ(Cell(1, TargetsModel::Sent), QStringLiteral("11"));
  EXPECT_EQ(Cell(1, TargetsModel::Received), QStringLiteral("4"));
  EXPECT_EQ(Cell(1, TargetsModel::Loss), QStringLiteral("63.64 %"));
  EXPECT_EQ(Cell(1, TargetsModel::Outages), QStringLiteral("1")) << "the 2 lost echoes were no outage";
  EXPECT_EQ(Cell(1, TargetsModel::OutageNow), QString());

  ASSERT_EQ(Monitor().outageModel()->rowCount(), 1);
  EXPECT_EQ(Logged(0, OutageLogModel::Target), QStringLiteral("127.0.0.9"));
  EXPECT_EQ(Logged(0, OutageLogModel::Lost), QStringLiteral("5"));
  EXPECT_TRUE(Logged(0, OutageLogModel::Start).startsWith(QStringLiteral("2026-03-07 14:05:09")))
      << Logged(0, OutageLogModel::Start).toStdString();

  // Filtered by text, sorted by a figure.
  mw.filterText()->setText(QStringLiteral("0.0.9"));
  ASSERT_EQ(Monitor().sortedTargets()->rowCount(), 1);
  mw.filterText()->clear();
  mw.targets()->sortByColumn(TargetsModel::Loss, Qt::DescendingOrder);
  EXPECT_EQ(Monitor().sortedTargets()->index(0, TargetsModel::Address).data().toString(), QStringLiteral("127.0.0.9"));

  // Selecting a target charts it: its replies, its lost echoes on the
  // loss band, its outage shaded.
  mw.targets()->selectRow(0);  // sorted by loss: 127.0.0.9 first
  LatencyChart& chart = *mw.chart();
  ASSERT_EQ(chart.series().size(), 1u);
  EXPECT_EQ(chart.series()[0].name, QStringLiteral("127.0.0.9"));
  std::int64_t replies = 0, lost = 0;
  for (const LatencyChart::Column& c : chart.columnsOf(0)) {
    replies += c.replies;
    lost += c.lost;
  }
  EXPECT_EQ(replies, 4);
  EXPECT_EQ(lost, 7);
  EXPECT_EQ(chart.shaded().size(), 1u);

  // The log as CSV.
  const QString path = base_.path() + QStringLiteral("/outages.csv");
  fakes_.prompter->paths = {path};
  QTest::mouseClick(mw.saveOutagesButton(), Qt::LeftButton);
  const std::string csv = testing_files::ReadFile(path.toStdString());
  EXPECT_EQ(csv.rfind("target,address,start,end,length s,lost\r\n127.0.0.9,127.0.0.9,2026-03-07 14:05:09", 0), 0u)
      << csv;
  EXPECT_EQ(csv.substr(csv.size() - 4), ",5\r\n") << csv;

  // Every target's figures.
  const QString details = base_.path() + QStringLiteral("/details.csv");
  fakes_.prompter->paths = {details};
  QTest::mouseClick(mw.saveDetailsButton(), Qt::LeftButton);
  // Every target's figures over the run, then per period of the report's
  // length: the run is under 10 minutes, so the report proposes 1 minute,
  // cut at the whole minute the run began in.
  EXPECT_EQ(testing_files::ReadFile(details.toStdString()),
            "target,address,period,from,to,sent,received,loss %,last ms,min ms,median ms,mean ms,95% ms,max ms,"
            "jitter ms,smoothed jitter ms,outages,time down s\r\n"
            "127.0.0.1,127.0.0.1,run,2026-03-07 14:05:09,2026-03-07 14:05:09,11,11,0.00,0.013,0.013,0.013,0.013,"
            "0.013,0.013,0.000,0.000,0,0.000\r\n"
            "127.0.0.1,127.0.0.1,1,2026-03-07 14:05:00,2026-03-07 14:06:00,11,11,0.00,0.013,0.013,0.013,0.013,"
            "0.013,0.013,0.000,0.000,0,0.000\r\n"
            "127.0.0.9,127.0.0.9,run,2026-03-07 14:05:09,2026-03-07 14:05:09,11,4,63.64,0.450,0.450,0.450,0.450,"
            "0.450,0.450,0.000,0.000,1,0.000\r\n"
            "127.0.0.9,127.0.0.9,1,2026-03-07 14:05:00,2026-03-07 14:06:00,11,4,63.64,0.450,0.450,0.450,0.450,"
            "0.450,0.450,0.000,0.000,1,0.000\r\n");

  // The chart as a picture and as vectors.
  const QString png = base_.path() + QStringLiteral("/latency.png");
  fakes_.prompter->paths = {png};
  QTest::mouseClick(mw.saveChartButton(), Qt::LeftButton);
  const QImage picture(png);
  EXPECT_EQ(picture.size(), chart.size());
  const QString svg = base_.path() + QStringLiteral("/latency.svg");
  fakes_.prompter->paths = {svg};
  QTest::mouseClick(mw.saveChartButton(), Qt::LeftButton);
  const std::string drawing = testing_files::ReadFile(svg.toStdString());
  EXPECT_NE(drawing.find("<svg"), std::string::npos);
  EXPECT_NE(drawing.find("127.0.0.9"), std::string::npos) << "the legend, as text";

  // The same run opened again from the archive: the same outage.
  w().runsPresenter()->openRun(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->data().archiveRun == 1; }, 10000));
  // Its records carry whole milliseconds; the archive's microseconds follow.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        Monitor().refresh();
        return Cell(1, TargetsModel::Last) == QStringLiteral("0.450");
      },
      10000))
      << Cell(1, TargetsModel::Last).toStdString();
  EXPECT_EQ(Cell(0, TargetsModel::Last), QStringLiteral("0.013"));
  EXPECT_EQ(Cell(1, TargetsModel::Outages), QStringLiteral("1"));
  EXPECT_EQ(Cell(1, TargetsModel::Sent), QStringLiteral("11"));
  ASSERT_EQ(Monitor().outageModel()->rowCount(), 1);
  EXPECT_EQ(Logged(0, OutageLogModel::Lost), QStringLiteral("5"));
}

TEST_F(FormMainMonitorTest, ItOpensWithEveryRunOnceAskedAndRemembersItsChoice) {
  fakes_.icmp->script("127.0.0.9", kOk);
  RunOf(1);
  EXPECT_EQ(Monitor().window(), nullptr) << "not before the user asks";
  MonitorWindow& mw = OpenMonitor();
  mw.openWithRuns()->setChecked(true);
  mw.close();
  ASSERT_FALSE(mw.isVisible());
  RunOf(1);
  EXPECT_TRUE(mw.isVisible()) << "opened by the run";

  // The next start of the program remembers it.
  app_.reset();
  app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
  w().Form_Load();
  EXPECT_TRUE(Monitor().opensWithRuns());
  Monitor().showWindow();
  Monitor().window()->openWithRuns()->setChecked(false);
}

TEST_F(FormMainMonitorTest, ATargetThatEndsTheRunInAnOutageStaysDownWithItsOutageClosedAtItsLastEcho) {
  fakes_.icmp->scriptEach("127.0.0.9", {kOk, kLost, kLost, kLost, kLost});
  OpenMonitor();
  RunOf(5);
  Monitor().refresh();
  EXPECT_EQ(Cell(1, TargetsModel::State), QStringLiteral("\u2716 down since 14:05:09"));
  ASSERT_EQ(Monitor().outageModel()->rowCount(), 1);
  EXPECT_EQ(Logged(0, OutageLogModel::Lost), QStringLiteral("4"));
  EXPECT_NE(Logged(0, OutageLogModel::End), QStringLiteral("(going on)"));
  EXPECT_EQ(Cell(0, TargetsModel::State), QStringLiteral("\u2714 up"));
}

TEST_F(FormMainMonitorTest, ASizeKeptAtALargerScaleOrScreenIsBroughtWithinThisScreen) {
  {
    MonitorWindow big;
    big.setGeometry(0, 0, 5000, 4000);
    UserSettings()
        .setValue(QStringLiteral("monitor/geometry"), big.saveGeometry());
  }
  MonitorWindow& mw = OpenMonitor();
  const QRect room = mw.screen()->availableGeometry();
  EXPECT_LE(mw.width(), room.width());
  EXPECT_LE(mw.height(), room.height());
  mw.close();
}

}  // namespace
}  // namespace sondrel
