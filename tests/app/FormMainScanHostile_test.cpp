// The window's scan against a worker that misbehaves on purpose
// (support/HostileScanWorker.cpp), put in the data folder where the window
// keeps its worker and started through the real process service: the window
// answers while it floods, and the grid and counters hold only sound reports.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/ProcessService_linux.h"
#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ports/ProcessService.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {
namespace {

class FormMainScanHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    const std::string folder = testing::DataFolderWithList(base_, "CR,127.0.0.1,127.0.0.30\r\n \r\n");
    // A worker already in the data folder is the one the window starts.
    std::filesystem::create_symlink(std::string(SONDREL_BIN_DIR) + "/sondrel-test-hostile-worker",
                                    folder + "PingIPscan2008112");
    services_ = fakes_.services();
    services_.processes = MakeProcessService();
    w_ = std::make_unique<FormMain>(services_, base_.path().toStdString());
    w_->setExitHandler([] {});
    w_->Form_Load();
  }
  void TearDown() override {
    qunsetenv("SONDREL_HOSTILE_MODE");
    qunsetenv("SONDREL_HOSTILE_STOP");
  }
  ScanPanel& panel() { return *w_->scanPanel(); }
  ScanRun& run() { return *w_->scanPresenter()->scanRun(); }
  void scanRange() {
    QListWidget* l = w_->targetList()->ListIP();
    ASSERT_EQ(l->count(), 1);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
    QTest::mouseClick(w_->findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
  }
  int rowsDrawn() {
    int rows = 0;
    for (QLabel* cell : panel().ssTYPE()) rows += cell->text().isEmpty() ? 0 : 1;
    return rows;
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  WindowServices services_;
  std::unique_ptr<FormMain> w_;
};

TEST_F(FormMainScanHostile, AFloodingWorkerLeavesTheWindowAnsweringAndTheTableTrue) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string stop = dir.path().toStdString() + "/stop";
  qputenv("SONDREL_HOSTILE_MODE", "flood");
  qputenv("SONDREL_HOSTILE_STOP", QByteArray::fromStdString(stop));
  scanRange();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanning() && !run().table()[0].pending(); }, 10000));

  // Still flooding (it waits for the stop file): the window answers a queued
  // call, its grid ticks go on, and they show the one sound report.
  bool answered = false;
  QMetaObject::invokeMethod(w_.get(), [&] { answered = true; }, Qt::QueuedConnection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return panel().LabelActive()->text() == QStringLiteral("1"); }, 5000))
      << panel().LabelActive()->text().toStdString();
  EXPECT_EQ(panel().Text2()->text(), QStringLiteral("Scanning ...  1"));
  EXPECT_EQ(run().workersAlive(), 1);

  std::ofstream(stop) << "stop\n";
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanFinished(); }, 30000));
  EXPECT_EQ(panel().LabelTotal()->text(), QStringLiteral("30"));
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("30"));
  EXPECT_EQ(panel().LabelInactive()->text(), QStringLiteral("0"));
  ASSERT_EQ(run().fullCopy().size(), 30u);
  for (const ScanRecord& r : run().fullCopy()) {
    EXPECT_EQ(r.ms, "2");
    EXPECT_EQ(r.host, "");
  }
  EXPECT_EQ(rowsDrawn(), 21);
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainScanHostile, HostileNamesReachTheGridClean) {
  qputenv("SONDREL_HOSTILE_MODE", "names");
  scanRange();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanFinished(); }, 30000));
  // Back to the first rows.
  panel().VScroll2()->setValue(1);
  panel().VScroll2()->setValue(0);
  EXPECT_EQ(panel().ssTYPE()[0]->text(), QStringLiteral("1."));
  EXPECT_EQ(panel().sHOST()[0]->text(), QStringLiteral("na"));
  EXPECT_EQ(panel().sMAC()[0]->text(), QString());
  EXPECT_EQ(panel().sHOST()[1]->text(), QStringLiteral("abcdef"));
  EXPECT_EQ(panel().sMAC()[1]->text(), QStringLiteral("00-1A-2B-3C-4D-5E"));
  EXPECT_EQ(panel().sHOST()[2]->text(), QStringLiteral("[31mred[0m"));
  // A long name that came whole in its report is shown whole.
  EXPECT_EQ(panel().sHOST()[3]->text(), QString(200, QLatin1Char('L')));
  EXPECT_EQ(panel().sMS()[3]->text(), QStringLiteral("1 ms"));
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("30"));
  EXPECT_EQ(rowsDrawn(), 21);
}

// Workers that cannot run or die: the scan ends as soon as nothing more can
// come, the rows without a report say so, and one message says how many.
TEST_F(FormMainScanHostile, AWorkerThatCannotRunEndsTheScanAtOnceWithOneMessage) {
  const std::string worker = w_->scanProgramPath();
  struct Case {
    const char* what;
    const char* says;
  };
  for (const Case& c : {Case{"no run bit", "Permission denied"}, Case{"cannot", "no ICMP socket here"}}) {
    SCOPED_TRACE(c.what);
    fakes_.prompter->calls.clear();
    if (std::string(c.what) == "no run bit") {
      std::filesystem::remove(worker);
      std::filesystem::copy_file(std::string(SONDREL_BIN_DIR) + "/sondrel-test-hostile-worker", worker);
      std::filesystem::permissions(worker, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_write);
    } else {
      std::filesystem::permissions(worker, std::filesystem::perms::owner_exec,
                                   std::filesystem::perm_options::add);
      qputenv("SONDREL_HOSTILE_MODE", c.what);
    }
    scanRange();
    // The message comes once the scan is over.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 10000));
    ASSERT_TRUE(run().scanFinished());
    EXPECT_FALSE(w_->testRunning());
    EXPECT_TRUE(w_->findChild<QPushButton*>(QStringLiteral("Command8"))->isEnabled());
    EXPECT_TRUE(w_->Form_QueryUnload());
    EXPECT_EQ(panel().LabelTotal()->text(), QStringLiteral("30"));
    EXPECT_EQ(panel().Text2()->text(), QStringLiteral("Scan ended:  30 without report"));
    // The grid shows the last rows, as at the end of every scan.
    EXPECT_EQ(panel().ssTYPE()[20]->text(), QStringLiteral("30."));
    EXPECT_EQ(panel().sMS()[20]->text(), QStringLiteral("No report"));
    for (const ScanRecord& r : run().fullCopy()) EXPECT_TRUE(r.notReported) << r.ip;
    QTest::qWait(50);
    ASSERT_EQ(fakes_.prompter->messages().size(), 1);
    const QString message = fakes_.prompter->messages()[0].text;
    EXPECT_TRUE(message.startsWith(QStringLiteral("The IP scan cannot run: "))) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromLatin1(c.says))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("30 of 30 addresses got no report"))) << message.toStdString();
  }
}

TEST_F(FormMainScanHostile, AKilledWorkersAddressesAreProbedOnceMoreAndTheWindowSaysSo) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  qputenv("SONDREL_HOSTILE_MODE", "killonce");
  qputenv("SONDREL_HOSTILE_STOP", QFile::encodeName(dir.filePath(QStringLiteral("killed"))));
  scanRange();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanFinished(); }, 30000));
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("30"));
  EXPECT_EQ(panel().sMS()[20]->text(), QStringLiteral("2 ms"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 5000));
  EXPECT_TRUE(fakes_.prompter->messages()[0].text.contains(QStringLiteral("29 addresses were probed once more")))
      << fakes_.prompter->messages()[0].text.toStdString();

  // Killed again on the second try: those rows get no report, and the scan
  // ends without a Stop.
  fakes_.prompter->calls.clear();
  qputenv("SONDREL_HOSTILE_MODE", "killed");
  scanRange();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 30000));
  ASSERT_TRUE(run().scanFinished());
  EXPECT_FALSE(w_->testRunning());
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("2"));
  EXPECT_EQ(panel().sMS()[20]->text(), QStringLiteral("No report"));
  EXPECT_TRUE(fakes_.prompter->messages()[0].text.contains(QStringLiteral("28 of 30 addresses got no report")))
      << fakes_.prompter->messages()[0].text.toStdString();
}

}  // namespace
}  // namespace sondrel
