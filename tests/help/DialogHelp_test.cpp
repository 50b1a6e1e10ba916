#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <string>
#include <vector>

#include "help/ui/DialogHelp.h"

namespace sondrel {
namespace {

const char* const kPanels[] = {"PictureFirst_1", "PicturePing_2",   "PictureScan_3",
                               "PictureDos_4",   "PictureReport_5", "PictureExport_6",
                               "PictureSchedule_7"};

class DialogHelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.setGeometry(137, 200, 400, 300);
    owner_.show();
    help_ = new DialogHelp(&owner_);
    help_->show();
  }
  void TearDown() override { delete help_; }
  template <typename T>
  T* find(const char* name) {
    return help_->findChild<T*>(QString::fromLatin1(name));
  }
  std::string counter() { return find<QLabel>("Label1")->text().toStdString(); }
  // The names of the page panels now shown.
  std::vector<std::string> shownPages() {
    std::vector<std::string> shown;
    for (const char* name : kPanels)
      if (find<QFrame>(name)->isVisible()) shown.push_back(name);
    return shown;
  }
  void click(const char* name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }

  QMainWindow owner_;
  DialogHelp* help_ = nullptr;
};

TEST_F(DialogHelpTest, OpensOnTheFirstPageBesideTheMainWindowWithoutBlockingIt) {
  EXPECT_EQ(help_->windowTitle().toStdString(), " How to use?");
  EXPECT_FALSE(help_->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(help_->currentPage(), 1);
  EXPECT_EQ(counter(), "1 of 7");
  EXPECT_EQ(shownPages(), std::vector<std::string>{"PictureFirst_1"});
  EXPECT_EQ(find<QFrame>("PictureFirst_1")->pos(), QPoint(9, 8)) << "140 and 120 twips";
  EXPECT_EQ(help_->frameGeometry().x(), owner_.frameGeometry().x());
  EXPECT_EQ(help_->frameGeometry().y(), owner_.screen()->availableGeometry().y() + 7);
  EXPECT_EQ(find<QPushButton>("Command1")->text().toStdString(), "&EXIT");
}

TEST_F(DialogHelpTest, NextStopsOnTheLastPageAndPreviousOnTheFirst) {
  click("CommandNext");
  EXPECT_EQ(counter(), "2 of 7");
  EXPECT_EQ(shownPages(), std::vector<std::string>{"PicturePing_2"});
  for (int i = 0; i < 7; ++i) click("CommandNext");
  EXPECT_EQ(help_->currentPage(), 7);
  EXPECT_EQ(counter(), "7 of 7");
  EXPECT_EQ(shownPages(), std::vector<std::string>{"PictureSchedule_7"});

  click("CommandPre");
  EXPECT_EQ(counter(), "6 of 7");
  EXPECT_EQ(shownPages(), std::vector<std::string>{"PictureExport_6"});
  EXPECT_EQ(find<QFrame>("PictureExport_6")->pos(), QPoint(9, 8)) << "every page on one spot";
  for (int i = 0; i < 9; ++i) click("CommandPre");
  EXPECT_EQ(help_->currentPage(), 1);
  EXPECT_EQ(counter(), "1 of 7");
  EXPECT_EQ(shownPages(), std::vector<std::string>{"PictureFirst_1"});
}

TEST_F(DialogHelpTest, ExitClosesTheWindow) {
  click("Command1");
  EXPECT_FALSE(help_->isVisible());
  EXPECT_TRUE(owner_.isVisible());
}

std::vector<std::string> TextsOf(const QFrame* page) {
  std::vector<std::string> texts;
  for (const QLabel* label : page->findChildren<QLabel*>(QStringLiteral("HelpText")))
    texts.push_back(label->text().toStdString());
  return texts;
}

TEST_F(DialogHelpTest, EveryPageCarriesItsScreenshotAndItsTexts) {
  const std::vector<std::vector<std::string>> expected = {
      {"Sondrel  --  Visual network test tool", "1. Ping one or a group of IP addresses.",
       "2. Quick scan network to find IP in use.", "3. Generate summary report for analyzing.",
       "4. Export the test results to txt or csv log file.",
       "5. Run all DOS commands in Windows form.", "6. Automatically test at scheduled time."},
      {"Perform a Ping Test :", "Step 1.  Select the one or more IP/URL items.",
       "or select 1 IP/URL from a IP Group", "or directly type 1 IP/URL in the Textbox",
       "Step 2.  Select the test parameters.", "Step 3.  Click the 'Ping' to run."},
      {"Scan network to find IP in use :", "Step 1.  Select the one or more IP/URL items.",
       "Step 2.  Click the button 'Scan ip' to run."},
      {"Run all other dos commands :", "Click the 'DOS' button to open the DOS form",
       "Select a DOS command", "Select a IP", "Run  DOS command", "Sort the DOS commands",
       "Add the current entered dos command to the list",
       "Autp add the current entered \ndos command to the list",
       "Edit, refresh, delete the dos commands list"},
      {"Generate summary report :", " Step 1:  After the test finished,",
       "Step 2:  Select the group by time interval.", "Step 3:  Click...",
       "             Click 'Open' to open report.",
       "Step 4:  \nExport the \nreport to txt \nor csv file"},
      {"Test results", "Export to ...", "Export the test results to txt or csv log file",
       "Open a saved txt or csv file", "Copy the test result screen to clipboard"},
      {"Automatically ping test at scheduled time", "Step 1:   Select 'Schedule'",
       "Step 2:   Select the test dateime", "stand by ..."},
  };
  for (int page = 0; page < 7; ++page) {
    SCOPED_TRACE(kPanels[page]);
    const QFrame* panel = find<QFrame>(kPanels[page]);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(TextsOf(panel), expected[static_cast<std::size_t>(page)]);
    const QLabel* shot = panel->findChild<QLabel*>(QStringLiteral("Screenshot"));
    ASSERT_NE(shot, nullptr);
    EXPECT_FALSE(shot->pixmap().isNull()) << "the screenshot resource is missing";
  }
}

// Every page's texts get the height their wrapped lines need, inside the page.
TEST_F(DialogHelpTest, EveryPageHasRoomForItsTexts) {
  for (const char* name : kPanels) {
    SCOPED_TRACE(name);
    auto* panel = find<QFrame>(name);
    ASSERT_NE(panel, nullptr);
    panel->show();
    panel->layout()->activate();
    for (const QLabel* label : panel->findChildren<QLabel*>()) {
      const QRect inPanel(label->mapTo(panel, QPoint(0, 0)), label->size());
      EXPECT_TRUE(panel->rect().contains(inPanel)) << label->text().toStdString();
      if (label->wordWrap())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
    }
  }
}

}  // namespace
}  // namespace sondrel
