// The summary report from the main window: the report link and the menu
// entry open the report window on the run shown (reloaded or just run), and
// its export writes the same bytes as the command line.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "report/ui/DialogRpt.h"
#include "report/ui/ReportPresenter.h"
#include "support/FileText.h"
#include "support/ReportSample.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

class FormMainReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
  }
  bool LoadWithSampleRun() {
    fs::create_directories(folder_);
    { std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << testing_report::kLog; }
    { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << testing_report::kTargets; }
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    return QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 6; }, 10000);
  }
  FormMain& w() { return *app_->window; }
  DialogRpt* Dialog() { return w().reportPresenter()->dialog(); }
  void ClickIn(DialogRpt* d, const char* name) {
    QTest::mouseClick(d->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
  }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainReportTest, TheReportLinkOpensTheReportOfTheReloadedRun) {
  ASSERT_TRUE(LoadWithSampleRun());
  QLabel* link = w().display()->PingReport();
  ASSERT_TRUE(QTest::qWaitFor([&] { return link->isVisible(); }, 5000));
  ASSERT_EQ(Dialog(), nullptr);
  QTest::mouseClick(link, Qt::LeftButton);
  DialogRpt* d = Dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(d->isModal());
  EXPECT_EQ(d->windowTitle().toStdString(), " Ping Test Summary Report");
  EXPECT_EQ(d->ComboGroupBy()->currentText().toStdString(), "1");

  ClickIn(d, "CommandBUild");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->busy(); }, 10000));
  ASSERT_EQ(d->List1(0)->count(), 12);
  EXPECT_EQ(d->List1(0)->item(8)->text().toStdString(), "Ping  host.test :");
  EXPECT_EQ(d->List1(5)->item(10)->text().toStdString(), "  50.00 % ");

  // The export writes what the command line writes; a reloaded run has no stamp.
  const std::string out = base_.path().toStdString() + "/report.txt";
  fakes_.prompter->formats = {QStringLiteral("TEXT")};
  fakes_.prompter->paths = {QString::fromStdString(out)};
  ClickIn(d, "CommandExport");
  EXPECT_EQ(testing_files::ReadFile(out), testing_report::kText);
  bool asked = false;
  for (const auto& c : fakes_.prompter->calls)
    if (c.kind == QStringLiteral("save")) {
      asked = true;
      EXPECT_TRUE(c.text.contains(QStringLiteral("/Ping_Test_Report_|"))) << c.text.toStdString();
    }
  EXPECT_TRUE(asked);

  d->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog() == nullptr; }, 5000));
}

TEST_F(FormMainReportTest, TheMenuEntryReportsANewRunWithItsStamp) {
  fakes_.icmp->script("127.0.0.1", {0, 3000, 64});
  fakes_.icmp->script("127.0.0.2", {11010, 0, 0});
  app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
  w().Form_Load();
  testing::PingTheseTargets(w(), {"127.0.0.1", "127.0.0.2"});
  QComboBox* interval = w().parameterFrame()->comboInv();
  interval->setCurrentIndex(0);
  Q_EMIT interval->activated(0);
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("3"));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 6 && !w().testRunning(); },
                              20000));

  QAction* entry = w().action(QStringLiteral("mnuReport"));
  ASSERT_TRUE(entry->isEnabled());
  entry->trigger();
  DialogRpt* d = Dialog();
  ASSERT_NE(d, nullptr);
  ClickIn(d, "CommandBUild");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->busy(); }, 10000));
  ASSERT_TRUE(d->report().has_value());
  ASSERT_EQ(d->report()->targets.size(), 2u);
  std::int32_t sent = 0;
  for (const auto& p : d->report()->targets[1].periods) {
    sent += p.sent;
    EXPECT_EQ(p.lossRate, "100.00 %");
    EXPECT_EQ(p.avgTime, -1);
  }
  EXPECT_EQ(sent, 3);

  // The default name carries mmddhhmm of the latest result.
  fakes_.prompter->formats = {QStringLiteral("CSV")};
  ClickIn(d, "CommandExport");  // the save dialog is cancelled
  const std::string stamp = w().reportPresenter()->stamp();
  ASSERT_EQ(stamp.size(), 8u);
  bool asked = false;
  for (const auto& c : fakes_.prompter->calls)
    if (c.kind == QStringLiteral("save")) {
      asked = true;
      EXPECT_TRUE(c.text.contains(QString::fromStdString("/Ping_Test_Report_" + stamp + "|")))
          << c.text.toStdString();
    }
  EXPECT_TRUE(asked);
  d->close();
}

TEST_F(FormMainReportTest, ANewRunStopsABuildReadingTheOldRecords) {
  // A run large enough to be built off the window thread.
  const int passes = static_cast<int>(kReportThreadRecords / 2) + 1;
  fs::create_directories(folder_);
  {
    std::ofstream log(folder_ + "Tolvane_DB3.txt", std::ios::binary);
    log << "2,1\r\n";
    for (int p = 0; p < passes; ++p) {
      const int s = p % 86400;
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "2026,03,%02d,%02d,%02d,%02d,", 1 + p / 86400, s / 3600,
                    s / 60 % 60, s % 60);
      log << stamp << "127.0.0.1,32,5,64,0\r\n" << stamp << "127.0.0.2,32,-1,0,11010\r\n";
    }
  }
  { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << testing_report::kTargets; }
  app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
  w().Form_Load();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 2 * passes; }, 30000));

  w().action(QStringLiteral("mnuReport"))->trigger();
  DialogRpt* d = Dialog();
  ASSERT_NE(d, nullptr);
  d->ComboGroupBy()->setEditText(QStringLiteral("1"));
  ClickIn(d, "CommandBUild");
  ASSERT_TRUE(d->busy()) << "the build must still be going when the new run starts";

  // The run announces the change before it touches its records; by then the
  // build has stopped and the window is usable again.
  bool announced = false, buildingAtChange = true, oldRecordsAtChange = false;
  QObject::connect(w().pingRun(), &PingRun::dataAboutToChange, d, [&] {
    announced = true;
    buildingAtChange = d->busy();
    oldRecordsAtChange = w().pingRun()->rowCount() == 2 * passes;
  });
  fakes_.icmp->script("127.0.0.1", {0, 3000, 64});
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  w().pingRun()->StartPingTest();
  ASSERT_TRUE(announced);
  EXPECT_FALSE(buildingAtChange);
  EXPECT_TRUE(oldRecordsAtChange);
  EXPECT_TRUE(d->findChild<QPushButton*>(QStringLiteral("CommandBUild"))->isEnabled());
  w().pingRun()->StopPingTest();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  // The stopped build never delivers a report of the records it was reading.
  QCoreApplication::processEvents();
  EXPECT_EQ(d->List1(0)->count(), 0);
  d->close();
}

}  // namespace
}  // namespace sondrel
