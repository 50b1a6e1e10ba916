// The report window opened from the main window, as a user meets it: the
// wait cursor of a build cut short by closing, Open, the period box while
// typing, the chart's figures in a decimal-comma locale and its periods
// without a reply, and the report link of a run that has no result.
#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QAction>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "report/ui/DialogRpt.h"
#include "report/ui/ReportChart.h"
#include "report/ui/ReportPresenter.h"
#include "report/ui/ReportTestSupport.h"
#include "support/ReportSample.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FormMainReportWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
  }
  void TearDown() override {
    // Whatever a test left open goes before the next one looks at the cursor.
    app_.reset();
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
  // The two-target sample run, reloaded at start-up.
  bool LoadWithSampleRun() {
    fs::create_directories(folder_);
    { std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << testing_report::kLog; }
    { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << testing_report::kTargets; }
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    return QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 6; }, 10000);
  }
  FormMain& w() { return *app_->window; }
  DialogRpt* OpenFromLink() {
    QLabel* link = w().display()->PingReport();
    if (!QTest::qWaitFor([&] { return link->isVisible(); }, 5000)) return nullptr;
    QTest::mouseClick(link, Qt::LeftButton);
    return w().reportPresenter()->dialog();
  }
  static QPushButton* Button(DialogRpt* d, const char* name) {
    return d->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  static void Generate(DialogRpt* d, const char* minutes) {
    d->ComboGroupBy()->setEditText(QString::fromLatin1(minutes));
    QTest::mouseClick(Button(d, "CommandBUild"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d->busy(); }, 20000));
  }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainReportWindowTest, ClosingTheWindowDuringALongBuildGivesTheCursorBack) {
  app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
  w().Form_Load();
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  w().pingRun()->setPreviousRun(testing::LargeTwoTargetRun());

  // The close box, Escape and the window going away with its parent.
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    w().action(QStringLiteral("mnuReport"))->trigger();
    QPointer<DialogRpt> d = w().reportPresenter()->dialog();
    ASSERT_NE(d, nullptr);
    d->ComboGroupBy()->setEditText(QStringLiteral("60"));
    QTest::mouseClick(Button(d, "CommandBUild"), Qt::LeftButton);
    ASSERT_TRUE(d->busy()) << "the build did not go off the window thread";
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    if (way == 0) d->close();
    if (way == 1) QTest::keyClick(d, Qt::Key_Escape);
    if (way == 2) delete d.data();
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.isNull() || !d->isVisible(); }, 5000));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(d && d->busy());
    // Nothing of the abandoned build arrives later to set it again.
    QTest::qWait(50);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    delete d.data();
  }
}

TEST_F(FormMainReportWindowTest, OpenShowsCsvInTheSpreadsheetAndSaysWhenNothingCanOpenIt) {
  ASSERT_TRUE(LoadWithSampleRun());
  DialogRpt* d = OpenFromLink();
  ASSERT_NE(d, nullptr);
  fakes_.prompter->paths = {QStringLiteral(" /tmp/Ping_Test_Report_1.CSV "),
                            QStringLiteral("/tmp/Ping_Test_Report_2.txt")};
  QTest::mouseClick(Button(d, "CommandOpen"), Qt::LeftButton);
  QTest::mouseClick(d->findChild<QToolButton*>(QStringLiteral("Command6")), Qt::LeftButton);
  EXPECT_EQ(fakes_.launcher->files, QStringList({QStringLiteral("spreadsheet:/tmp/Ping_Test_Report_1.CSV"),
                                                 QStringLiteral("text:/tmp/Ping_Test_Report_2.txt")}));
  ASSERT_FALSE(fakes_.prompter->calls.isEmpty());
  EXPECT_EQ(fakes_.prompter->calls[0].caption.toStdString(), "Open Log File");
  EXPECT_TRUE(fakes_.prompter->calls[0].text.endsWith(QStringLiteral("|Text/CSV Files (*.txt;*.csv)")))
      << fakes_.prompter->calls[0].text.toStdString();
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());

  // A desktop with nothing to open the file with: the user is told so.
  fakes_.launcher->result = false;
  fakes_.prompter->calls.clear();
  fakes_.prompter->paths = {QStringLiteral("/tmp/Ping_Test_Report_3.csv")};
  QTest::mouseClick(Button(d, "CommandOpen"), Qt::LeftButton);
  ASSERT_EQ(fakes_.prompter->messages().size(), 1);
  EXPECT_EQ(fakes_.prompter->messages()[0].text.toStdString(),
            "No spreadsheet application is set up on this computer to open the file:\r\n\r\n"
            "/tmp/Ping_Test_Report_3.csv");
  EXPECT_FALSE(d->busy());
  d->close();
}

TEST_F(FormMainReportWindowTest, ThePeriodBoxTakesWhatIsTypedAndCorrectsZeroWhenTheValueIsTaken) {
  ASSERT_TRUE(LoadWithSampleRun());
  DialogRpt* d = OpenFromLink();
  ASSERT_NE(d, nullptr);
  QLineEdit* box = d->ComboGroupBy()->lineEdit();
  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("0.25"));
  EXPECT_EQ(box->text().toStdString(), "0.25");
  QTest::mouseClick(Button(d, "CommandBUild"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->busy(); }, 10000));
  EXPECT_EQ(box->text().toStdString(), "0.25");
  // A quarter of a minute groups by whole clock minutes: two rows per target.
  ASSERT_EQ(d->List1(0)->count(), 12);
  EXPECT_EQ(d->List1(0)->item(5)->text().toStdString(), "03/07 14:06:01 - 03/07 14:06:01");

  // A zero left in the box becomes 1 when it is entered, or at Generate.
  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("0"));
  EXPECT_EQ(box->text().toStdString(), "0");
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(box->text().toStdString(), "1");
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  EXPECT_EQ(box->text().toStdString(), "");
  QTest::mouseClick(Button(d, "CommandBUild"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->busy(); }, 10000));
  EXPECT_EQ(box->text().toStdString(), "1");
  EXPECT_EQ(d->List1(0)->count(), 12);
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
  d->close();
}

// Makes a locale whose decimal separator is a comma, for LC_NUMERIC only;
// false when the machine cannot build one.
bool UseDecimalCommaLocale(const QString& folder, std::string* why) {
  const QString source = folder + QStringLiteral("/comma.src");
  {
    std::ofstream out(source.toStdString());
    out << "comment_char %\nescape_char /\nLC_NUMERIC\ndecimal_point \",\"\n"
           "thousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n";
  }
  QProcess localedef;
  localedef.start(QStringLiteral("localedef"),
                  {QStringLiteral("-c"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                   QStringLiteral("-i"), source, folder + QStringLiteral("/xx_XX.UTF-8")});
  if (!localedef.waitForFinished(60000)) {
    *why = "localedef did not run";
    return false;
  }
  qputenv("LOCPATH", folder.toLocal8Bit());
  if (!std::setlocale(LC_NUMERIC, "xx_XX.UTF-8")) {
    *why = "no decimal-comma locale could be made";
    return false;
  }
  return true;
}

std::vector<QPointF> TimePoints(ReportChart* chart) {
  std::vector<QPointF> points;
  for (QAbstractSeries* s : chart->view()->chart()->series())
    if (auto* line = qobject_cast<QLineSeries*>(s))
      for (const QPointF& p : line->points()) points.push_back(p);
  return points;
}

TEST_F(FormMainReportWindowTest, TheChartReadsRatesInAnyLocaleAndLeavesPeriodsWithoutRepliesOut) {
  ASSERT_TRUE(LoadWithSampleRun());
  DialogRpt* d = OpenFromLink();
  ASSERT_NE(d, nullptr);
  ReportChart* chart = d->chart();

  // Target 1 (host.test) by minutes: 14:05 has a reply of under 1 ms, 14:06
  // none. The chart has a time for the first and no point at all for the second.
  Generate(d, "1");
  ASSERT_FALSE(HasFatalFailure());
  d->List1(0)->setCurrentRow(10);
  ASSERT_EQ(chart->currentTarget(), 1);
  const std::vector<QPointF> points = TimePoints(chart);
  EXPECT_EQ(points.size(), 1u);
  EXPECT_EQ(points.empty() ? QPointF(-1, -1) : points[0], QPointF(0, 0));
  ASSERT_EQ(chart->lossBars()->count(), 2);
  EXPECT_EQ(chart->lossBars()->at(1), 100);

  QTemporaryDir locales;
  ASSERT_TRUE(locales.isValid());
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const QByteArray locpath = qgetenv("LOCPATH");
  std::string why;
  const bool comma = UseDecimalCommaLocale(locales.path(), &why);
  if (comma) {
    // One period of five minutes: 2 of 3 lost.
    Generate(d, "5");
    d->List1(0)->setCurrentRow(9);
    const bool target1 = chart->currentTarget() == 1;
    const qreal rate = chart->lossBars()->count() == 1 ? chart->lossBars()->at(0) : -1;
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_TRUE(target1);
    EXPECT_NEAR(rate, 66.67, 1e-9);
  }
  std::setlocale(LC_NUMERIC, before.c_str());
  if (locpath.isNull())
    qunsetenv("LOCPATH");
  else
    qputenv("LOCPATH", locpath);
  d->close();
  if (!comma) SONDREL_SKIP_MISSING("the decimal-comma part did not run: " << why);
}

TEST_F(FormMainReportWindowTest, AStoppedRunWithoutResultsOffersNoReport) {
  fakes_.icmp->script("127.0.0.9", {.silent = true});
  app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
  w().Form_Load();
  QLineEdit* timeOut = w().parameterFrame()->comboTimeOut()->lineEdit();
  timeOut->selectAll();
  QTest::keyClicks(timeOut, QStringLiteral("60000"));
  testing::PingTheseTargets(w(), {"127.0.0.9"});
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes_.icmp->waitForWaiting(1, 0ms); }, 5000));
  w().action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  ASSERT_EQ(w().pingRun()->rowCount(), 0);
  EXPECT_FALSE(w().display()->PingReport()->isVisibleTo(w().display()));

  // A run with a result offers it again.
  fakes_.icmp->script("127.0.0.1", {0, 3000, 64});
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("1"));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 1 && !w().testRunning(); },
                              10000));
  EXPECT_TRUE(w().display()->PingReport()->isVisibleTo(w().display()));
}

}  // namespace
}  // namespace sondrel
