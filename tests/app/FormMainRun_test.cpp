#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"

namespace sondrel {
namespace {

class FormMainRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    folder_ = base_.path().toStdString() + "/SondrelDataBas/";
  }
  void Load() {
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
  }
  FormMain& w() { return *app_->window; }
  ResultsDisplay& d() { return *w().display(); }
  template <typename T>
  T* find(const char* name) {
    return w().findChild<T*>(QString::fromLatin1(name));
  }

  QTemporaryDir base_;
  std::string folder_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainRunTest, ARunFillsTheDisplayAndStopShowsItsLastPage) {
  fakes_.icmp->script("127.0.0.1", {0, 400, 64});   // under 1 ms
  fakes_.icmp->script("127.0.0.2", {0, 7000, 64});  // 7 ms
  Load();
  testing::PingTheseTargets(w(), {"127.0.0.1", "127.0.0.2"});
  QComboBox* interval = w().parameterFrame()->comboInv();
  interval->setCurrentIndex(0);  // 10 ms
  Q_EMIT interval->activated(0);

  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 46; }, 30000));
  EXPECT_TRUE(w().testRunning());
  EXPECT_FALSE(find<QPushButton>("CommandStart")->isEnabled());
  EXPECT_FALSE(find<QToolButton>("Command3")->isEnabled());
  EXPECT_FALSE(d().PingReport()->isVisibleTo(&d()));
  EXPECT_EQ(d().LabelTittle1()->text().toStdString(), "No.");
  EXPECT_EQ(d().LabelTittle2()->text().toStdString(),
            "Ping testing with 32 bytes of data:            2  IP ");
  EXPECT_EQ(d().sIP[0]->palette().color(QPalette::Window).rgb() & 0xFFFFFF, 0u);

  // The window cannot be closed while the run goes.
  EXPECT_FALSE(w().close());
  EXPECT_EQ(app_->exits, 0);

  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  d().flush();
  const std::int64_t rows = w().pingRun()->rowCount();
  ASSERT_GE(rows, 46);
  // The last page: the 20 latest results, the latest at the bottom.
  EXPECT_EQ(d().sTYPE[19]->text().toStdString(), std::to_string(rows) + ".");
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), std::to_string(rows - 19) + ".");
  EXPECT_EQ(d().sIP4[0]->text().toStdString(), std::to_string(rows));
  EXPECT_EQ(d().sIP4[5]->text().toStdString(), "1 ms");
  EXPECT_EQ(d().sIP4[6]->text().toStdString(), "7 ms");
  EXPECT_TRUE(d().PingReport()->isVisibleTo(&d()));
  EXPECT_TRUE(find<QPushButton>("CommandStart")->isEnabled());
  EXPECT_TRUE(find<QPushButton>("CommandStop")->isEnabled());
  EXPECT_TRUE(d().sIP2[0]->text().contains(QStringLiteral("bytes=32  time")));

  // Paging back through the whole run.
  d().VScroll1()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "1.");
  EXPECT_TRUE(d().sIP[0]->text().endsWith(QStringLiteral("Reply from 127.0.0.1")));
  EXPECT_TRUE(d().sIP[1]->text().endsWith(QStringLiteral("Reply from 127.0.0.2")));

  EXPECT_TRUE(w().close());
  EXPECT_EQ(app_->exits, 1);
}

TEST_F(FormMainRunTest, StartUpReloadsThePreviousRun) {
  std::filesystem::create_directories(folder_);
  {
    std::ofstream log(folder_ + "Tolvane_DB3.txt", std::ios::binary);
    log << "1,1\r\n";
    for (int i = 0; i < 25; ++i)
      log << "2026,03,07,14,05," << (i < 10 ? "0" : "") << i << ",127.0.0.1,32,"
          << (i % 5 == 4 ? "-1,0,11010" : "0,64,0") << "\r\n";
  }
  { std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << "127.0.0.1\r\n"; }
  Load();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return d().LabelTittle2()->text() == QStringLiteral("Previous Ping Test Result"); },
      10000));
  d().flush();
  EXPECT_EQ(d().sTYPE[0]->text().toStdString(), "1.");
  EXPECT_EQ(d().sTYPE[19]->text().toStdString(), "20.");
  EXPECT_EQ(d().sIP[0]->text().toStdString(), "03/07 14:05:00   Reply from 127.0.0.1");
  EXPECT_EQ(d().sIP2[0]->text().toStdString(), "bytes=32  time<1ms  TTL=64  ok");
  EXPECT_EQ(d().sIP2[4]->text().toStdString(), "bytes=32  Request  timed  out.");
  EXPECT_EQ(d().sIP4[0]->text().toStdString(), "25");
  EXPECT_EQ(d().sIP4[2]->text().toStdString(), "5");
  EXPECT_EQ(d().sIP4[3]->text().toStdString(), "20.00 %");
  EXPECT_EQ(d().sIP4[5]->text().toStdString(), "1 ms");
  EXPECT_TRUE(d().PingReport()->isVisibleTo(&d()));
  EXPECT_FALSE(d().LabelTittle3()->isVisibleTo(&d()));
  // The reloaded run pages on to its last results.
  d().VScroll1()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(d().sTYPE[19]->text().toStdString(), "25.");
}

TEST_F(FormMainRunTest, TheTargetBoxIsCollectedAndUnknownNamesAreReportedOnce) {
  fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
  Load();
  QComboBox* interval = w().parameterFrame()->comboInv();
  interval->setCurrentIndex(0);
  Q_EMIT interval->activated(0);
  TargetListPanel* list = w().targetList();
  ASSERT_GT(list->ListIP()->count(), 0) << "the default list is loaded at start-up";

  list->setCurrentIndex(-1);
  list->clearSelection();
  list->TextPing()->setText(QStringLiteral("no-such-host.invalid"));
  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  const auto messages = fakes_.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].text.startsWith(
      QStringLiteral("Cannot find the IP address for the following 1 host:")));
  EXPECT_TRUE(messages[0].text.contains(QStringLiteral("no-such-host.invalid")));
  EXPECT_EQ(w().pingRun()->rowCount(), 0);
  EXPECT_TRUE(find<QPushButton>("CommandStart")->isEnabled());

  list->setCurrentIndex(-1);
  list->TextPing()->setText(QStringLiteral("127.0.0.1"));
  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 3; }, 10000));
  w().action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  d().flush();
  EXPECT_EQ(d().sIP[0]->text().right(20).toStdString(), "Reply from 127.0.0.1");
  EXPECT_EQ(d().sIP2[0]->text().toStdString(), "bytes=32  time=2ms  TTL=64  ok");
  EXPECT_EQ(fakes_.prompter->messages().size(), 1);
}

}  // namespace
}  // namespace sondrel
