// The window's scan against a worker that misbehaves on purpose
// (support/HostileScanWorker.cpp), put in the data folder where the window
// keeps its worker and started through the real process service: the window
// answers while it floods, and the grid and counters hold only sound reports.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "platform/ProcessService.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {
namespace {

class FormMainScanHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    const std::string folder = base_.path().toStdString() + "/SondrelDataBas/";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "Tolvane_DB.txt", std::ios::binary)
        << "CR,127.0.0.1,127.0.0.30\r\n \r\n";
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
  Services services_;
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
  EXPECT_EQ(panel().sHOST()[3]->text(), QString(63, QLatin1Char('L')));
  EXPECT_EQ(panel().sMS()[3]->text(), QStringLiteral("1 ms"));
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("30"));
  EXPECT_EQ(rowsDrawn(), 21);
}

}  // namespace
}  // namespace sondrel
