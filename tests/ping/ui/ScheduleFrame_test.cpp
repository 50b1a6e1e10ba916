#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "TestPrinting.h"
#include "app/WindowServices.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeKeepAwake.h"
#include "fakes/FakePrompter.h"
#include "ping/ScheduleCheck.h"
#include "ping/ui/ScheduleFrame.h"

namespace sondrel {
namespace {

LocalDateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return {y, mo, d, h, mi, s, 0}; }

class ScheduleCheckTest : public ::testing::Test {
 protected:
  std::shared_ptr<fakes::FakeClock> clock = std::make_shared<fakes::FakeClock>();
  std::shared_ptr<fakes::FakeKeepAwake> keepAwake = std::make_shared<fakes::FakeKeepAwake>();
  ScheduleCheck check{clock, keepAwake};
  QSignalSpy started{&check, &ScheduleCheck::startRequested};
  QSignalSpy ended{&check, &ScheduleCheck::endPassed};

  void arm(const ScheduleTime& start, const ScheduleTime& end) {
    check.setStartTime(start);
    check.setEndTime(end);
    check.setScheduleSelected(true);
    check.enable();
  }
};

TEST_F(ScheduleCheckTest, StartsOnceTheStartMinuteIsReached) {
  arm({2026, 3, 7, 10, 30}, {2026, 3, 7, 11, 0});
  EXPECT_TRUE(check.isEnabled());
  EXPECT_EQ(check.intervalMs(), 3000);
  EXPECT_TRUE(check.awaitingStart());

  clock->set(At(2026, 3, 7, 10, 29, 59));
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 0);
  EXPECT_TRUE(check.isEnabled());

  clock->set(At(2026, 3, 7, 10, 30, 2));
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 1);
  EXPECT_TRUE(check.armed());
  EXPECT_FALSE(check.isEnabled());
  EXPECT_FALSE(check.awaitingStart());

  // Armed: later checks never start a second run.
  check.enable();
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 1);
}

TEST_F(ScheduleCheckTest, StartInThePastStartsAtTheFirstCheck) {
  clock->set(At(2026, 3, 7, 14, 5, 9));
  arm({2026, 3, 7, 9, 0}, {2026, 3, 7, 22, 0});
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 1);
}

TEST_F(ScheduleCheckTest, NothingStartsWithoutTheScheduleOption) {
  clock->set(At(2026, 3, 7, 14, 5, 9));
  arm({2026, 3, 7, 9, 0}, {2026, 3, 7, 22, 0});
  check.setScheduleSelected(false);
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 0);
}

TEST_F(ScheduleCheckTest, EndPassesAfterTheEndMinute) {
  arm({2026, 3, 7, 10, 30}, {2026, 3, 7, 11, 0});
  check.setArmed(true);
  const std::pair<LocalDateTime, bool> ticks[] = {
      {At(2026, 3, 7, 10, 59, 59), false},
      {At(2026, 3, 7, 11, 0, 0), false},
      {At(2026, 3, 7, 11, 0, 59), false},
      {At(2026, 3, 7, 11, 1, 0), true},
  };
  for (const auto& [now, past] : ticks) {
    clock->set(now);
    EXPECT_EQ(check.IsPastEndTime(), past) << now.minute << ":" << now.second;
    EXPECT_EQ(check.checkEnd(), past);
  }
  EXPECT_EQ(ended.count(), 1);
  EXPECT_FALSE(check.armed());

  // With "Immediately" chosen the end time does not count.
  check.setScheduleSelected(false);
  EXPECT_TRUE(check.IsPastEndTime());
  EXPECT_FALSE(check.checkEnd());
  EXPECT_EQ(ended.count(), 1);
}

TEST_F(ScheduleCheckTest, EndBeforeStartEndsAtTheFirstTick) {
  clock->set(At(2026, 3, 7, 12, 0, 1));
  arm({2026, 3, 7, 12, 0}, {2026, 3, 7, 11, 0});
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 1);
  EXPECT_TRUE(check.checkEnd());
}

TEST_F(ScheduleCheckTest, MachineKeptAwakeWhileAStartIsAwaited) {
  QSignalSpy awaiting(&check, &ScheduleCheck::awaitingStartChanged);
  clock->set(At(2026, 3, 7, 10, 0));
  arm({2026, 3, 7, 10, 30}, {2026, 3, 7, 11, 0});
  EXPECT_EQ(keepAwake->holds, 1);
  ASSERT_EQ(awaiting.count(), 1);
  EXPECT_TRUE(awaiting.takeFirst().at(0).toBool());

  clock->set(At(2026, 3, 7, 10, 30));
  check.Timer3_Timer();
  EXPECT_EQ(keepAwake->holds, 0);
  ASSERT_EQ(awaiting.count(), 1);
  EXPECT_FALSE(awaiting.takeFirst().at(0).toBool());
  // Disabling again changes nothing and never releases twice.
  check.disable();
  check.setScheduleSelected(false);
  EXPECT_EQ(keepAwake->holds, 0);
  EXPECT_EQ(awaiting.count(), 0);
}

class ScheduleFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.clock = clock;
    services.prompter = std::make_shared<fakes::FakePrompter>();
    clock->set(At(2026, 3, 7, 14, 5, 9));
    window.resize(600, 400);
    frame = new ScheduleFrame(services.clock, check, &window);
    frame->FillScheduleLists();
    window.show();
  }

  template <typename T = QComboBox>
  T* find(const char* name) {
    auto* w = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* name) { return find(name)->currentText(); }
  void clickOption(int i) {
    testing::ClickButton(find<QRadioButton>(i == 0 ? "OptionSch_0" : "OptionSch_1"));
  }

  std::shared_ptr<fakes::FakeClock> clock = std::make_shared<fakes::FakeClock>();
  WindowServices services;
  ScheduleCheck check{clock};
  QWidget window;
  ScheduleFrame* frame = nullptr;
};

TEST_F(ScheduleFrameTest, StartsImmediatelyWithTheFieldsOff) {
  EXPECT_TRUE(find<QRadioButton>("OptionSch_0")->isChecked());
  EXPECT_EQ(find<QRadioButton>("OptionSch_0")->text(), QStringLiteral("Immediately"));
  EXPECT_EQ(find<QRadioButton>("OptionSch_1")->text(), QStringLiteral("Schedule"));
  EXPECT_FALSE(find("ComboFrom")->isEnabled());
  EXPECT_FALSE(find("ComboTo")->isEnabled());
  EXPECT_FALSE(find<QLabel>("LabelFrom")->isEnabled());
  EXPECT_FALSE(find<QFrame>("FrameTime")->isVisible());
  EXPECT_FALSE(check.isEnabled());
  EXPECT_EQ(text("ComboFrom"), QStringLiteral("03/07/2026 15:05:00"));
  EXPECT_EQ(text("ComboTo"), QStringLiteral("03/07/2026 22:05:00"));
}

TEST_F(ScheduleFrameTest, ChoosingScheduleRefreshesTimesAndShowsTheTitle) {
  QSignalSpy shown(frame, &ScheduleFrame::scheduleShown);
  clock->set(At(2026, 12, 31, 20, 30, 0));
  clickOption(1);
  EXPECT_TRUE(frame->scheduleSelected());
  EXPECT_TRUE(check.isEnabled());
  EXPECT_TRUE(check.scheduleSelected());
  EXPECT_TRUE(find("ComboFrom")->isEnabled());
  EXPECT_EQ(find("ComboFrom")->lineEdit()->palette().color(QPalette::Base), QColor(0x80, 0xFF, 0x80));
  EXPECT_EQ(text("ComboFrom"), QStringLiteral("12/31/2026 21:30:00"));
  EXPECT_EQ(text("ComboTo"), QStringLiteral("01/01/2027 04:30:00"));
  EXPECT_EQ(check.startTime(), (ScheduleTime{2026, 12, 31, 21, 30}));
  EXPECT_EQ(check.endTime(), (ScheduleTime{2027, 1, 1, 4, 30}));
  ASSERT_EQ(shown.count(), 1);
  EXPECT_EQ(shown.at(0).at(0).toString(),
            QStringLiteral("Ping Test will auto run at:  12/31/2026 21:30:00  to  01/01/2027 04:30:00"));

  // A second choice refreshes again; the lists are filled afresh, not added to.
  clock->set(At(2027, 1, 2, 8, 0, 0));
  clickOption(1);
  EXPECT_EQ(text("ComboFrom"), QStringLiteral("01/02/2027 09:00:00"));
  EXPECT_EQ(find("ComboSMonth")->count(), 12);
  EXPECT_EQ(find("ComboSDay")->count(), 31);
  EXPECT_EQ(find("ComboSHour")->count(), 24);
  EXPECT_EQ(find("ComboSMinute")->count(), 60);
  EXPECT_EQ(find("ComboSYear")->count(), 3);
  EXPECT_EQ(find("ComboSYear")->itemText(0), QStringLiteral("2027"));
  EXPECT_EQ(shown.count(), 2);
}

TEST_F(ScheduleFrameTest, ImmediatelyTurnsTheScheduleOff) {
  QSignalSpy cleared(frame, &ScheduleFrame::scheduleTitleCleared);
  clickOption(1);
  clickOption(0);
  EXPECT_FALSE(frame->scheduleSelected());
  EXPECT_FALSE(check.isEnabled());
  EXPECT_FALSE(check.scheduleSelected());
  EXPECT_FALSE(find("ComboTo")->isEnabled());
  EXPECT_EQ(cleared.count(), 1);

  // Start and Stop choose "Immediately" the same way.
  clickOption(1);
  frame->selectImmediately();
  EXPECT_TRUE(find<QRadioButton>("OptionSch_0")->isChecked());
  EXPECT_FALSE(check.isEnabled());
  EXPECT_EQ(cleared.count(), 2);
}

TEST_F(ScheduleFrameTest, ShowScheduleWaitsForTheRunToEnd) {
  QSignalSpy shown(frame, &ScheduleFrame::scheduleShown);
  frame->setTestRunning(true);
  frame->ShowSchedule();
  EXPECT_EQ(shown.count(), 0);
  frame->setTestRunning(false);
  frame->ShowSchedule();
  EXPECT_EQ(shown.count(), 1);
}

TEST_F(ScheduleFrameTest, TimeEditorSetsTheStartTime) {
  clickOption(1);
  QSignalSpy shown(frame, &ScheduleFrame::scheduleShown);
  find("ComboFrom")->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return find<QFrame>("FrameTime")->isVisible(); }, 2000));
  EXPECT_EQ(text("ComboSYear"), QStringLiteral("2026"));
  EXPECT_EQ(text("ComboSMonth"), QStringLiteral("3"));
  EXPECT_EQ(text("ComboSDay"), QStringLiteral("7"));
  EXPECT_EQ(text("ComboSHour"), QStringLiteral("15"));
  EXPECT_EQ(text("ComboSMinute"), QStringLiteral("5"));
  EXPECT_TRUE(find<QPushButton>("CommandOK")->hasFocus());

  find("ComboSYear")->setCurrentIndex(1);
  find("ComboSMonth")->setCurrentIndex(0);
  find("ComboSDay")->setCurrentIndex(8);
  find("ComboSHour")->setCurrentIndex(0);
  find("ComboSMinute")->setCurrentIndex(7);
  QTest::mouseClick(find<QPushButton>("CommandOK"), Qt::LeftButton);
  EXPECT_FALSE(find<QFrame>("FrameTime")->isVisible());
  EXPECT_EQ(text("ComboFrom"), QStringLiteral("01/09/2027 00:07:00"));
  EXPECT_EQ(check.startTime(), (ScheduleTime{2027, 1, 9, 0, 7}));
  EXPECT_EQ(text("ComboTo"), QStringLiteral("03/07/2026 22:05:00"));
  ASSERT_EQ(shown.count(), 1);
  EXPECT_EQ(shown.at(0).at(0).toString(),
            QStringLiteral("Ping Test will auto run at:  01/09/2027 00:07:00  to  03/07/2026 22:05:00"));
}

TEST_F(ScheduleFrameTest, TimeEditorCancelChangesNothing) {
  clickOption(1);
  const ScheduleTime end = check.endTime();
  find("ComboTo")->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return find<QFrame>("FrameTime")->isVisible(); }, 2000));
  EXPECT_EQ(text("ComboSHour"), QStringLiteral("22"));
  find("ComboSHour")->setCurrentIndex(3);
  QTest::mouseClick(find<QPushButton>("CommandCancel"), Qt::LeftButton);
  EXPECT_FALSE(find<QFrame>("FrameTime")->isVisible());
  EXPECT_EQ(check.endTime(), end);
  EXPECT_EQ(text("ComboTo"), QStringLiteral("03/07/2026 22:05:00"));
}

TEST_F(ScheduleFrameTest, ScheduleStartsTheRunThroughTheCheck) {
  QSignalSpy started(&check, &ScheduleCheck::startRequested);
  clickOption(1);
  // The start is an hour ahead: nothing yet.
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 0);
  clock->set(At(2026, 3, 7, 15, 5, 0));
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 1);
}

TEST_F(ScheduleFrameTest, ScheduleCanStartAgainAfterAStartThatFoundNothing) {
  QSignalSpy started(&check, &ScheduleCheck::startRequested);
  clickOption(1);
  clock->set(At(2026, 3, 7, 15, 5, 0));
  check.Timer3_Timer();
  ASSERT_EQ(started.count(), 1);
  // The run found no targets and went back to idle without a stop; the flag
  // it left must not block the next schedule.
  ASSERT_TRUE(check.armed());
  clickOption(1);
  EXPECT_FALSE(check.armed());
  clock->set(At(2026, 3, 7, 16, 5, 0));
  check.Timer3_Timer();
  EXPECT_EQ(started.count(), 2);
}

}  // namespace
}  // namespace sondrel
