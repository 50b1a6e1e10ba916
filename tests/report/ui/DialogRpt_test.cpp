// The report window over records held by the test: the table it fills, the
// period box, selection and scrolling across the columns, the chart, the
// export and the build off the window thread.
#include <gtest/gtest.h>

#include <QBarSet>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "ReportTestSupport.h"
#include "report/ui/ReportChart.h"

namespace sondrel {
namespace {

using testing::RecordAt;
using testing::ReportWindow;
using V = std::vector<std::string>;

QPushButton* Button(ReportWindow& w, const char* name) {
  return w.dialog->findChild<QPushButton*>(QString::fromLatin1(name));
}

void Generate(ReportWindow& w, const char* minutes) {
  w.dialog->ComboGroupBy()->setEditText(QString::fromLatin1(minutes));
  QTest::mouseClick(Button(w, "CommandBUild"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.dialog->busy(); }, 20000));
}

TEST(DialogRptTest, WindowAndPeriodBox) {
  ReportWindow w(testing::TwoTargetRun());
  EXPECT_EQ(w.dialog->windowTitle().toStdString(), " Ping Test Summary Report");
  QComboBox* box = w.dialog->ComboGroupBy();
  ASSERT_EQ(box->count(), 68);
  EXPECT_EQ(box->itemText(0).toStdString(), "1");
  EXPECT_EQ(box->itemText(59).toStdString(), "60");
  EXPECT_EQ(box->itemText(60).toStdString(), "90");
  EXPECT_EQ(box->itemText(67).toStdString(), "300");
  EXPECT_TRUE(w.dialog->findChild<QRadioButton*>(QStringLiteral("Option1_0"))->isChecked());
  EXPECT_EQ(w.dialog->focusWidget(), w.dialog->findChild<QLineEdit*>(QStringLiteral("Text4")));
  EXPECT_FALSE(w.dialog->findChild<QLineEdit*>(QStringLiteral("Text2"))->isVisible());

  // 0 and an empty box turn into 1 when the value is taken, not while
  // typing; a length that is no item stays.
  box->setEditText(QStringLiteral("0"));
  EXPECT_EQ(box->currentText().toStdString(), "0");
  Q_EMIT box->lineEdit()->editingFinished();
  EXPECT_EQ(box->currentText().toStdString(), "1");
  box->setEditText(QString());
  Q_EMIT box->lineEdit()->editingFinished();
  EXPECT_EQ(box->currentText().toStdString(), "1");
  box->lineEdit()->selectAll();
  QTest::keyClicks(box->lineEdit(), QStringLiteral("45"));
  EXPECT_EQ(box->currentText().toStdString(), "45");
  box->setEditText(QStringLiteral("2.5"));
  EXPECT_EQ(box->currentText().toStdString(), "2.5");
}

TEST(DialogRptTest, ProposalIsTheRunsMinutesDivTen) {
  RunData run95 = testing::TwoTargetRun();
  run95.records[4].when = ResultTime::from({2026, 3, 7, 15, 40, 0});
  run95.records[5].when = ResultTime::from({2026, 3, 7, 15, 40, 0});  // 14:05 to 15:40
  ReportWindow long_(run95);
  EXPECT_EQ(long_.dialog->ComboGroupBy()->currentText().toStdString(), "9");

  RunData run5 = testing::TwoTargetRun();
  run5.records[5].when = ResultTime::from({2026, 3, 7, 14, 10, 0});
  ReportWindow short_(run5);
  EXPECT_EQ(short_.dialog->ComboGroupBy()->currentText().toStdString(), "1");

  ReportWindow none{RunData{}};
  EXPECT_EQ(none.dialog->ComboGroupBy()->currentText().toStdString(), "1");
}

TEST(DialogRptTest, GenerateFillsTheSevenColumnsForTwoTargets) {
  ReportWindow w(testing::TwoTargetRun());
  Generate(w, "1");
  EXPECT_EQ(w.column(0), (V{"", "", "Ping  127.0.0.1 :", "", "03/07 14:05:09 - 03/07 14:05:40",
                            "03/07 14:06:01 - 03/07 14:06:01", "", "", "Ping  host.test :", "",
                            "03/07 14:05:09 - 03/07 14:05:40",
                            "03/07 14:06:01 - 03/07 14:06:01"}));
  EXPECT_EQ(w.column(1), (V{"", "", "", "", "64", "64", "", "", "", "", "64", "0"}));
  EXPECT_EQ(w.column(2), (V{"", "", "", "", "2", "1", "", "", "", "", "2", "1"}));
  EXPECT_EQ(w.column(3), (V{"", "", "", "", "0", "0", "", "", "", "", "1", "1"}));
  EXPECT_EQ(w.column(4), (V{"", "", "", "", "13 ms", "20 ms", "", "", "", "", "<1 ms", "---"}));
  EXPECT_EQ(w.column(5), (V{"", "", "", "", "    0.00 %  ", "    0.00 %  ", "", "", "", "",
                            "  50.00 % ", "100.00 %"}));
  EXPECT_EQ(w.column(6), (V{"", "", "", "", "", "", "", "", "", "", "==========",
                            "===================="}));
  EXPECT_EQ(w.dialog->findChild<QLineEdit*>(QStringLiteral("Text3_0"))->text().toStdString(),
            "From        -        To");
  EXPECT_EQ(w.dialog->focusWidget(), w.dialog->findChild<QLineEdit*>(QStringLiteral("Text4")));

  // A longer period puts each target's rounds in one row.
  Generate(w, "5");
  EXPECT_EQ(w.column(0), (V{"", "", "Ping  127.0.0.1 :", "", "03/07 14:05:09 - 03/07 14:06:01",
                            "", "", "Ping  host.test :", "", "03/07 14:05:09 - 03/07 14:06:01"}));
  EXPECT_EQ(w.column(5), (V{"", "", "", "", "    0.00 %  ", "", "", "", "", "  66.67 % "}));
}

TEST(DialogRptTest, BySizeRowsCarryTheSize) {
  RunData run = testing::TwoTargetRun();
  run.records[2].bufferSize = run.records[3].bufferSize = 64;
  ReportWindow w(run);
  w.dialog->findChild<QRadioButton*>(QStringLiteral("Option1_1"))->setChecked(true);
  Generate(w, "1");
  EXPECT_EQ(w.column(0), (V{"", "", "Ping  127.0.0.1 :", "", "03/07 14:05:09 - 03/07 14:06:01  32",
                            "03/07 14:05:40 - 03/07 14:05:40  64", "", "", "Ping  host.test :", "",
                            "03/07 14:05:09 - 03/07 14:06:01  32",
                            "03/07 14:05:40 - 03/07 14:05:40  64"}));
  EXPECT_EQ(w.column(4), (V{"", "", "", "", "18 ms", "10 ms", "", "", "", "", "<1 ms", "---"}));
}

TEST(DialogRptTest, RowsAreSelectedAcrossAllListsAndTheLastListScrollsThem) {
  // Enough periods to scroll: 40 one-minute periods per target.
  RunData run;
  run.targetCount = 2;
  run.internAddress("127.0.0.1");
  run.internAddress("127.0.0.2");
  run.targetLabels = {"127.0.0.1", "127.0.0.2"};
  for (int m = 0; m < 40; ++m)
    for (std::uint32_t k = 0; k < 2; ++k) {
      ResultRecord r = RecordAt(7, 10, m, 0, m % 3 == 0 ? -1 : 5);
      r.target = k;
      run.records.push_back(r);
    }
  ReportWindow w(run);
  w.dialog->resize(1000, 400);
  Generate(w, "1");
  ASSERT_EQ(w.dialog->List1(2)->count(), 88);

  QListWidget* sent = w.dialog->List1(2);
  sent->scrollToItem(sent->item(12));
  QTest::mouseClick(sent->viewport(), Qt::LeftButton, {}, sent->visualItemRect(sent->item(12)).center());
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(w.dialog->List1(i)->currentRow(), 12);
    EXPECT_TRUE(w.dialog->List1(i)->item(12)->isSelected());
  }
  // Row 50 lies in the second target's block: the chart follows.
  EXPECT_EQ(w.dialog->chart()->currentTarget(), 0);
  w.dialog->List1(4)->setCurrentRow(50);
  EXPECT_EQ(w.dialog->List1(0)->currentRow(), 50);
  EXPECT_EQ(w.dialog->chart()->currentTarget(), 1);

  // The last list carries the others; the others move only themselves.
  for (int i = 0; i < 7; ++i) w.dialog->List1(i)->verticalScrollBar()->setValue(0);
  QScrollBar* bar = w.dialog->List1(6)->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 20);
  bar->setValue(20);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(w.dialog->List1(i)->verticalScrollBar()->value(), 20);
  w.dialog->List1(1)->verticalScrollBar()->setValue(5);
  EXPECT_EQ(w.dialog->List1(0)->verticalScrollBar()->value(), 20);
  EXPECT_EQ(bar->value(), 20);
}

TEST(DialogRptTest, ChartShowsTheChosenTargetsFigures) {
  ReportWindow w(testing::TwoTargetRun());
  Generate(w, "1");
  ReportChart* chart = w.dialog->chart();
  ASSERT_EQ(chart->targetChooser()->count(), 2);
  EXPECT_EQ(chart->targetChooser()->itemText(1).toStdString(), "host.test");
  ASSERT_NE(chart->timeLine(), nullptr);
  ASSERT_EQ(chart->timeLine()->count(), 2);
  EXPECT_EQ(chart->timeLine()->at(0).y(), 13);
  EXPECT_EQ(chart->timeLine()->at(1).y(), 20);
  Q_EMIT chart->targetChooser()->activated(1);
  EXPECT_EQ(chart->currentTarget(), 1);
  ASSERT_EQ(chart->lossBars()->count(), 2);
  EXPECT_EQ(chart->lossBars()->at(0), 50);
  EXPECT_EQ(chart->lossBars()->at(1), 100);
}

TEST(DialogRptTest, RefusalsLeaveTheTableEmptyAndKeepTheLastReport) {
  RunData short_ = testing::TwoTargetRun();
  short_.targetCount = 3;
  short_.records.resize(2);
  ReportWindow w(short_);
  Generate(w, "1");
  ASSERT_EQ(w.prompter->messages().size(), 1);
  EXPECT_EQ(w.prompter->messages()[0].text.toStdString(),
            "Ping test doesn't completed, Cannot generate report.    ");
  EXPECT_EQ(w.prompter->messages()[0].icon, IPrompter::Icon::Critical);
  EXPECT_EQ(w.dialog->List1(0)->count(), 0);
  EXPECT_FALSE(w.dialog->report().has_value());
  EXPECT_TRUE(Button(w, "CommandExport")->isEnabled());

  ReportWindow empty{RunData{}};
  Generate(empty, "1");
  ASSERT_EQ(empty.prompter->messages().size(), 1);
  EXPECT_EQ(empty.prompter->messages()[0].text.toStdString(), "No Data to Generate Report.    ");
}

TEST(DialogRptTest, ExportWritesTheGeneratedReport) {
  ReportWindow w(testing::TwoTargetRun());
  w.stamp = "03071406";
  // Before any Generate nothing is written.
  w.prompter->formats = {QStringLiteral("TEXT")};
  QTest::mouseClick(Button(w, "CommandExport"), Qt::LeftButton);
  ASSERT_EQ(w.prompter->messages().size(), 1);
  EXPECT_EQ(w.prompter->messages()[0].text.toStdString(),
            "No report generated yet, click 'Generate' first.");
  EXPECT_TRUE(w.files.files.empty());

  Generate(w, "1");
  const QString path = QDir::tempPath() + QStringLiteral("/report-test-out.csv");
  w.prompter->calls.clear();
  w.prompter->formats = {QStringLiteral("CSV")};
  w.prompter->paths = {QStringLiteral("  ") + path + QStringLiteral(" ")};
  QTest::mouseClick(w.dialog->findChild<QToolButton*>(QStringLiteral("Command5")), Qt::LeftButton);
  ASSERT_EQ(w.prompter->calls.size(), 3);
  EXPECT_EQ(w.prompter->calls[0].kind.toStdString(), "export");
  EXPECT_EQ(w.prompter->calls[0].text.toStdString(), "REPORT");
  EXPECT_EQ(w.prompter->calls[1].caption.toStdString(),
            "Ping Test Report will be export to this File");
  EXPECT_TRUE(w.prompter->calls[1].text.contains(QStringLiteral("/Ping_Test_Report_03071406|")));
  EXPECT_EQ(w.prompter->calls[2].text, QStringLiteral("Ping test report has export to file: \r\n\r\n") + path);
  EXPECT_EQ(w.prompter->calls[2].caption.toStdString(), "File Saved");
  EXPECT_EQ(w.files.files[path.toStdString()],
            "Ping Test Report\r\n"
            "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: 127.0.0.1\r\n\r\n"
            "03/07 14:05:09,03/07 14:05:40,64,2,0,13,0.00 %  \r\n"
            "03/07 14:06:01,03/07 14:06:01,64,1,0,20,0.00 %  \r\n"
            "\r\n \r\n"
            "IP: host.test / 127.0.0.2\r\n\r\n"
            "03/07 14:05:09,03/07 14:05:40,64,2,1,0,50.00 % \r\n"
            "03/07 14:06:01,03/07 14:06:01,0,1,1,,100.00 %\r\n"
            "\r\n \r\n");

  // EXCEL and a cancelled chooser do nothing; a cancelled save writes nothing.
  w.files.files.clear();
  w.prompter->calls.clear();
  w.prompter->formats = {QStringLiteral("EXCEL")};
  QTest::mouseClick(Button(w, "CommandExport"), Qt::LeftButton);
  w.prompter->formats = {QStringLiteral("TEXT")};
  QTest::mouseClick(Button(w, "CommandExport"), Qt::LeftButton);  // no path: cancelled
  EXPECT_TRUE(w.files.files.empty());
  EXPECT_TRUE(w.prompter->messages().isEmpty());
  EXPECT_EQ(w.dialog->focusWidget(), w.dialog->findChild<QLineEdit*>(QStringLiteral("Text4")));
}

TEST(DialogRptTest, AFailedWriteIsToldAndNotCalledSaved) {
  ReportWindow w(testing::TwoTargetRun());
  Generate(w, "1");
  const std::string path = (QDir::tempPath() + QStringLiteral("/report-test-full.txt")).toStdString();
  w.files.failOnce("write", "report-test-full", ENOSPC);
  w.prompter->formats = {QStringLiteral("TEXT")};
  w.prompter->paths = {QString::fromStdString(path)};
  QTest::mouseClick(Button(w, "CommandExport"), Qt::LeftButton);
  ASSERT_EQ(w.prompter->messages().size(), 1);
  EXPECT_NE(w.prompter->messages()[0].caption.toStdString(), "File Saved");
  EXPECT_EQ(w.prompter->messages()[0].icon, IPrompter::Icon::Critical);
  EXPECT_EQ(w.files.files.count(path), 0u);
  EXPECT_FALSE(w.dialog->busy());
}

TEST(DialogRptTest, OpenHandsTheChosenFileToTheDesktop) {
  ReportWindow w(testing::TwoTargetRun());
  w.prompter->paths = {QStringLiteral(" /tmp/r.csv "), QString()};
  QTest::mouseClick(Button(w, "CommandOpen"), Qt::LeftButton);
  QTest::mouseClick(w.dialog->findChild<QToolButton*>(QStringLiteral("Command6")), Qt::LeftButton);
  EXPECT_EQ(w.launcher->files, QStringList{QStringLiteral("spreadsheet:/tmp/r.csv")});
  EXPECT_EQ(w.prompter->calls[0].caption.toStdString(), "Open Log File");
}

TEST(DialogRptTest, LargeRunsAreBuiltOffTheWindowThread) {
  RunData run = testing::LargeTwoTargetRun();
  ReportWindow w(std::move(run));
  w.dialog->ComboGroupBy()->setEditText(QStringLiteral("60"));
  QTest::mouseClick(Button(w, "CommandBUild"), Qt::LeftButton);
  // The click returns while the build goes on: the window shows it is busy.
  ASSERT_TRUE(w.dialog->busy());
  EXPECT_TRUE(w.dialog->findChild<QLineEdit*>(QStringLiteral("Text2"))->isVisible());
  EXPECT_FALSE(Button(w, "CommandExport")->isEnabled());
  EXPECT_FALSE(w.dialog->findChild<QToolButton*>(QStringLiteral("Command3"))->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.dialog->busy(); }, 60000));
  EXPECT_FALSE(w.dialog->findChild<QLineEdit*>(QStringLiteral("Text2"))->isVisible());
  EXPECT_TRUE(Button(w, "CommandExport")->isEnabled());
  // 400,000 seconds in hours: 112 periods per target.
  EXPECT_EQ(w.dialog->List1(0)->count(), 2 * (4 + 112));

  // Records about to change stop a build under way; the window is usable again.
  QTest::mouseClick(Button(w, "CommandBUild"), Qt::LeftButton);
  ASSERT_TRUE(w.dialog->busy());
  w.dialog->AbandonBuild();
  EXPECT_FALSE(w.dialog->busy());
  EXPECT_TRUE(Button(w, "CommandBUild")->isEnabled());
  EXPECT_EQ(w.dialog->List1(0)->count(), 0);

  // Records of a run under way are built at once, never on another thread.
  w.live = true;
  QTest::mouseClick(Button(w, "CommandBUild"), Qt::LeftButton);
  EXPECT_FALSE(w.dialog->busy());
  EXPECT_EQ(w.dialog->List1(0)->count(), 2 * (4 + 112));
}

// Generate greys its own button while it builds; the focus it gives up must
// not land on a heading and leave its text showing selected.
TEST(DialogRptTest, GenerateLeavesNoHeadingSelected) {
  ReportWindow w(testing::TwoTargetRun());
  w.dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.dialog.get()));
  Generate(w, "1");
  ASSERT_FALSE(HasFatalFailure());
  for (QLineEdit* head : w.dialog->findChildren<QLineEdit*>()) {
    if (!head->objectName().startsWith(QStringLiteral("Text3_"))) continue;
    EXPECT_FALSE(head->hasSelectedText()) << head->objectName().toStdString();
    EXPECT_FALSE(head->hasFocus()) << head->objectName().toStdString();
  }
}

}  // namespace
}  // namespace sondrel
