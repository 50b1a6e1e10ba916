#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ScheduleCheck.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

// Timer3 checks every 3 s: a wait for it allows a few of its ticks.
constexpr int kTimer3WaitMs = 10000;

LocalDateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return {y, mo, d, h, mi, s, 0}; }

class FormMainScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    fakes_.clock->set(At(2026, 3, 7, 14, 5, 9));
    fakes_.icmp->script("127.0.0.1", {0, 2000, 64});
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    w().parameterFrame()->comboInv()->setCurrentIndex(0);  // 10 ms
  }
  FormMain& w() { return *app_->window; }
  ResultsDisplay& d() { return *w().display(); }
  QRadioButton* option(int i) {
    return w().findChild<QRadioButton*>(QStringLiteral("OptionSch_%1").arg(i));
  }
  void typeTarget(const char* text) {
    TargetListPanel* list = w().targetList();
    list->setCurrentIndex(-1);
    list->clearSelection();
    list->TextPing()->setText(QString::fromLatin1(text));
  }
  void chooseSchedule() {
    ASSERT_NE(option(1), nullptr);
    QTest::mouseClick(option(1), Qt::LeftButton, {}, QPoint(6, option(1)->height() / 2));
    ASSERT_TRUE(option(1)->isChecked());
  }
  // The schedule is over: "Immediately" again, Timer3 off, nothing armed.
  void expectScheduleOver() {
    EXPECT_TRUE(option(0)->isChecked());
    EXPECT_FALSE(w().scheduleCheck().isEnabled());
    EXPECT_FALSE(w().scheduleCheck().armed());
    EXPECT_FALSE(w().scheduleCheck().scheduleSelected());
    EXPECT_FALSE(w().findChild<QComboBox*>(QStringLiteral("ComboFrom"))->isEnabled());
    EXPECT_TRUE(w().findChild<QPushButton*>(QStringLiteral("CommandStart"))->isEnabled());
    EXPECT_TRUE(w().action(QStringLiteral("mnuStop"))->isEnabled());
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainScheduleTest, Timer3StartsTheRunAndTheEndTimeStopsIt) {
  typeTarget("127.0.0.1");
  chooseSchedule();
  EXPECT_EQ(d().LabelTittle2()->text().toStdString(),
            "Ping Test will auto run at:  03/07/2026 15:05:00  to  03/07/2026 22:05:00");
  EXPECT_TRUE(w().scheduleCheck().isEnabled());
  EXPECT_FALSE(w().testRunning());

  fakes_.clock->set(At(2026, 3, 7, 15, 5, 1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 3; }, kTimer3WaitMs));
  EXPECT_TRUE(w().testRunning());
  EXPECT_TRUE(option(1)->isChecked()) << "the option stays until the run ends";
  EXPECT_TRUE(w().scheduleCheck().armed());
  EXPECT_FALSE(w().scheduleCheck().isEnabled());
  EXPECT_EQ(d().LabelTittle2()->text().toStdString(),
            "Ping testing with 32 bytes of data:            1  IP ");

  // Pings go on through the end minute and stop once it has passed.
  fakes_.clock->set(At(2026, 3, 7, 22, 5, 59));
  const std::int64_t rows = w().pingRun()->rowCount();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= rows + 2; }, kTimer3WaitMs));
  EXPECT_TRUE(w().testRunning());
  fakes_.clock->set(At(2026, 3, 7, 22, 6, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kTimer3WaitMs));
  expectScheduleOver();
  EXPECT_FALSE(w().runLog()->isOpen());
  EXPECT_TRUE(d().PingReport()->isVisibleTo(&d()));
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainScheduleTest, AScheduledStartWithNothingToTestSaysSoAndEndsTheSchedule) {
  typeTarget("no-such-host.invalid");
  chooseSchedule();
  fakes_.clock->set(At(2026, 3, 7, 15, 5, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes_.prompter->messages().isEmpty(); },
                              kTimer3WaitMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kTimer3WaitMs));
  const auto messages = fakes_.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].text.toStdString(),
            "Cannot find the IP address for the following 1 host:\r\n\r\n       "
            "no-such-host.invalid");
  expectScheduleOver();
  EXPECT_EQ(d().LabelTittle2()->text(), QString());
  EXPECT_EQ(w().pingRun()->rowCount(), 0);

  // A new schedule starts as the first would have.
  typeTarget("127.0.0.1");
  chooseSchedule();
  EXPECT_TRUE(w().scheduleCheck().isEnabled());
  fakes_.clock->set(At(2026, 3, 7, 16, 5, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 1; }, kTimer3WaitMs));
  w().action(QStringLiteral("mnuStop"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, kTimer3WaitMs));
  expectScheduleOver();
  EXPECT_EQ(fakes_.prompter->messages().size(), 1);
}

// Stop is enabled while nothing runs: pressed while a scheduled start is
// awaited, it calls the schedule off as it does for a scheduled run.
TEST_F(FormMainScheduleTest, StopWhileTheStartIsAwaitedCallsTheScheduleOff) {
  typeTarget("127.0.0.1");
  chooseSchedule();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(w().scheduleCheck().isEnabled());
  ASSERT_TRUE(w().findChild<QPushButton*>(QStringLiteral("CommandStop"))->isEnabled());
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStop")), Qt::LeftButton);
  expectScheduleOver();
  EXPECT_FALSE(d().LabelTittle2()->text().contains(QStringLiteral("auto run")));
  // The start time passes and nothing starts.
  fakes_.clock->set(At(2026, 3, 7, 15, 5, 0));
  QTest::qWait(3500);
  EXPECT_FALSE(w().testRunning());
  EXPECT_EQ(w().pingRun()->rowCount(), 0);
}

}  // namespace
}  // namespace sondrel
