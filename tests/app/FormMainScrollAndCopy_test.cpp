// The results display and the scan grid moved by the mouse wheel and the page
// keys as their scroll bars would move them, and Copy giving the visible rows
// as text beside the picture.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/ResultsDisplay.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

// Notches of the wheel over the middle of `widget`, delivered to its window
// as the window system delivers them: only such events travel on to the
// parents of the widget under the mouse when it ignores them.
void Wheel(QWidget* widget, int notches) {
  const QPointF middle(widget->width() / 2.0, widget->height() / 2.0);
  QWidget* top = widget->window();
  const QPointF at = widget->mapTo(top, middle);
  QWheelEvent event(at, top->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&event);
  QApplication::sendEvent(top->windowHandle(), &event);
}

class FormMainScrollAndCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
    fs::create_directories(folder_);
  }
  void Load() {
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  }
  // A reloaded run of 45 results of one target.
  void LoadFortyFiveResults() {
    std::ofstream log(folder_ + "Tolvane_DB3.txt", std::ios::binary);
    log << "1,1\r\n";
    for (int k = 0; k < 45; ++k)
      log << "2026,03,07,14," << (10 + k / 60) << ',' << (k % 60 < 10 ? "0" : "") << k % 60
          << ",127.0.0.1,32," << k + 1 << ",64,0\r\n";
    log.close();
    std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << "127.0.0.1\r\n";
    Load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() == 45; }, 10000));
    w().display()->flush();
  }
  FormMain& w() { return *app_->window; }
  ResultsDisplay& d() { return *w().display(); }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainScrollAndCopyTest, TheWheelAndThePageKeysPageThroughAStoppedRun) {
  LoadFortyFiveResults();
  ASSERT_FALSE(HasFatalFailure());
  QScrollBar* bar = d().VScroll1();
  ASSERT_EQ(d().sTYPE[0]->text().toStdString(), "1.");
  const int top = bar->value();

  // Down over a result row moves as far as the bar's own wheel step.
  Wheel(d().sIP[5], -1);
  const int step = QApplication::wheelScrollLines();
  EXPECT_EQ(bar->value(), top + step);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), std::to_string(1 + step) + ".");
  Wheel(d().sIP2[3], 1);
  EXPECT_EQ(bar->value(), top);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "1.");

  // A click on the rows gives the panel the keys: a page down, then the end.
  QTest::mouseClick(d().sIP[2], Qt::LeftButton);
  QWidget* keys = QApplication::focusWidget();
  ASSERT_NE(keys, nullptr);
  QTest::keyClick(keys, Qt::Key_PageDown);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "21.");
  QTest::keyClick(keys, Qt::Key_End);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "26.");
  EXPECT_EQ(d().sTYPE[19]->text().toStdString(), "45.");
  QTest::keyClick(keys, Qt::Key_PageUp);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "6.");
  QTest::keyClick(keys, Qt::Key_Home);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "1.");
}

TEST_F(FormMainScrollAndCopyTest, TheWheelAndThePageKeysMoveTheScanGrid) {
  std::ofstream(folder_ + "Tolvane_DB.txt", std::ios::binary) << "CR,127.0.0.1,127.0.0.60\r\n \r\n";
  Load();
  ASSERT_FALSE(HasFatalFailure());
  fakes_.processes->script(w().scanProgramPath(), {{}, 0, true});
  QListWidget* l = w().targetList()->ListIP();
  QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
  ScanRun& run = *w().scanPresenter()->scanRun();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.scanning() && !run.launching(); }, 10000));
  for (int k = 0; k < 60; ++k) run.OnCopyData(kReportIdentifier, std::to_string(k) + ",Dead");
  for (int k = 0; k < 5 && !run.scanFinished(); ++k) run.OnScanTimerTick();
  ASSERT_TRUE(run.scanFinished());

  ScanPanel& grid = *w().scanPanel();
  QScrollBar* bar = grid.VScroll2();
  // The grid ends at the newest row; the wheel up goes back a step of the bar.
  ASSERT_EQ(grid.ssTYPE()[20]->text().toStdString(), "60.");
  const int end = bar->value();
  const int step = QApplication::wheelScrollLines();
  Wheel(grid.sHOST()[10], 1);
  EXPECT_EQ(bar->value(), end - step);
  EXPECT_EQ(grid.ssTYPE()[20]->text().toStdString(), std::to_string(60 - step) + ".");

  QTest::mouseClick(grid.ssIP()[4], Qt::LeftButton);
  QWidget* keys = QApplication::focusWidget();
  ASSERT_NE(keys, nullptr);
  QTest::keyClick(keys, Qt::Key_Home);
  EXPECT_EQ(grid.ssTYPE()[0]->text().toStdString(), "1.");
  QTest::keyClick(keys, Qt::Key_PageDown);
  EXPECT_EQ(bar->value(), bar->minimum() + bar->pageStep());
  QTest::keyClick(keys, Qt::Key_End);
  EXPECT_EQ(grid.ssTYPE()[20]->text().toStdString(), "60.");
}

TEST_F(FormMainScrollAndCopyTest, CopyGivesThePictureAndTheVisibleRowsAsText) {
  LoadFortyFiveResults();
  ASSERT_FALSE(HasFatalFailure());
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  w().action(QStringLiteral("mnuCopy"))->trigger();
  const QMimeData* data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasImage());
  EXPECT_FALSE(clipboard->image().isNull());
  ASSERT_TRUE(data->hasText());
  const QStringList lines = data->text().split(QLatin1Char('\n'));
  // The title line, the 20 rows shown, then the statistics.
  ASSERT_GE(lines.size(), 22) << data->text().toStdString();
  EXPECT_EQ(lines[0], d().LabelTittle2()->text());
  EXPECT_EQ(lines[1].toStdString(),
            "1.\t03/07 14:10:00   Reply from 127.0.0.1\tbytes=32  time=1ms  TTL=64  ok");
  EXPECT_TRUE(lines[20].startsWith(QStringLiteral("20.\t"))) << lines[20].toStdString();
  EXPECT_TRUE(data->text().contains(QStringLiteral("Sent:\t45"))) << data->text().toStdString();
  EXPECT_TRUE(data->text().contains(QStringLiteral("Loss Rate:\t0.00 %")));

  // The scan grid: its heading and the rows it shows.
  w().ShowScanPanel();
  w().CopyScreen();
  data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasImage());
  EXPECT_TRUE(data->text().startsWith(
      QStringLiteral("No.\tIP Address\tTime\tTTL\tHost Name\tMAC Address")))
      << data->text().toStdString();
}

}  // namespace
}  // namespace sondrel
