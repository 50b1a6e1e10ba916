// The target list inside the real main window: what Ping tests after the
// select-all box, after list changes made through the dialogs, and while a
// run is going.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/AppFixture.h"
#include "iplist/ui/FormAddIP.h"
#include "iplist/ui/FormAddIPG.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ScheduleCheck.h"
#include "ping/ui/ParameterFrame.h"

namespace sondrel {
namespace {

using Labels = std::vector<std::string>;

class FormMainListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    // Shown as 127.0.0.1, 127.0.0.2, G, R.
    testing::DataFolderWithList(base_, "CR,127.0.0.5,127.0.0.6\r\nBG,127.0.0.3,127.0.0.4\r\nA127.0.0.2\r\nA127.0.0.1\r\n \r\n");
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString());
    w().Form_Load();
    QComboBox* interval = w().parameterFrame()->comboInv();
    interval->setCurrentIndex(0);  // 10 ms
    Q_EMIT interval->activated(0);
  }
  FormMain& w() { return *app_->window; }
  TargetListPanel& list() { return *w().targetList(); }
  template <typename T>
  T* find(const char* name) {
    return w().findChild<T*>(QString::fromLatin1(name));
  }

  void clickItem(int row) {
    QListWidget* l = list().ListIP();
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
  }
  void clickAll() {
    QCheckBox* box = list().CheckReset();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }
  QStringList highlighted() {
    QStringList out;
    for (int row : list().selectedIndices()) out << list().ListIP()->item(row)->text();
    return out;
  }
  // The dialogs shown by the next list operation play these steps in turn.
  void script(std::vector<std::function<void(QDialog&)>> steps) {
    steps_ = std::move(steps);
    w().ipListEditor()->setDialogRunner([this](QDialog& d) {
      ASSERT_FALSE(steps_.empty()) << "a dialog more than scripted";
      auto step = steps_.front();
      steps_.erase(steps_.begin());
      step(d);
    });
  }

  void startRun() {
    QSignalSpy started(w().pingRun(), &PingRun::runStarted);
    QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.count() == 1; }, 10000));
  }
  void stopRun() {
    w().CommandStop_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  }
  // Presses Ping and returns the labels of the targets the run took.
  Labels pingTargets() {
    Labels labels;
    startRun();
    if (::testing::Test::HasFatalFailure()) return labels;
    labels = w().pingRun()->data().targetLabels;
    stopRun();
    return labels;
  }

  QTemporaryDir base_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
  std::vector<std::function<void(QDialog&)>> steps_;
};

const Labels kEverything = {"127.0.0.1", "127.0.0.2", "127.0.0.3",
                            "127.0.0.4", "127.0.0.5", "127.0.0.6"};

TEST_F(FormMainListTest, AllThenPingTestsEveryEntryAtAFreshStart) {
  ASSERT_EQ(list().currentIndex(), -1);
  clickAll();
  EXPECT_EQ(list().TextPing()->text(), QStringLiteral("Selected 4 Items"));
  EXPECT_EQ(pingTargets(), kEverything);
  EXPECT_TRUE(app_->fakes.prompter->messages().isEmpty()) << "the summary is no host name";
}

TEST_F(FormMainListTest, AnAddKeepsTheHighlightAndTheSummaryTogether) {
  clickAll();
  script({[](QDialog& d) {
            auto& f = dynamic_cast<FormAddIP&>(d);
            f.Text2()->setText(QStringLiteral("127.0.0.9"));
            f.Command1()->click();
          },
          [](QDialog& d) { dynamic_cast<FormAddIP&>(d).Command2()->click(); }});
  w().action(QStringLiteral("mnuAddS"))->trigger();
  ASSERT_EQ(list().ListIP()->count(), 5);
  EXPECT_EQ(highlighted(), QStringList({"127.0.0.1", "127.0.0.2", "G", "R"}));
  EXPECT_EQ(list().TextPing()->text(), QStringLiteral("Selected 4 Items"));
  EXPECT_FALSE(list().CheckReset()->isChecked()) << "the new entry is not selected";
  EXPECT_EQ(pingTargets(), kEverything);
}

TEST_F(FormMainListTest, AnEditedEntryStaysHighlightedAndIsTestedAsSaved) {
  clickItem(0);
  clickItem(2);  // G, now the current item
  ASSERT_EQ(list().TextPing()->text(), QStringLiteral("Selected 2 Items"));
  script({[](QDialog& d) {
    auto& f = dynamic_cast<FormAddIPG&>(d);
    f.TextIPs()->setPlainText(QStringLiteral("127.0.0.3\n127.0.0.7"));
    f.Command1()->click();
  }});
  w().action(QStringLiteral("mnuEdit"))->trigger();
  EXPECT_EQ(highlighted(), QStringList({"127.0.0.1", "G"}));
  EXPECT_EQ(list().TextPing()->text(), QStringLiteral("Selected 2 Items"));
  EXPECT_FALSE(list().CheckReset()->isChecked());
  EXPECT_EQ(pingTargets(), (Labels{"127.0.0.1", "127.0.0.3", "127.0.0.7"}));
}

TEST_F(FormMainListTest, AfterADeleteTheTargetBoxNamesWhatPingTests) {
  clickItem(2);  // G
  ASSERT_EQ(list().TextPing()->text(), QStringLiteral("Selected 1 Items"));
  w().action(QStringLiteral("mnuDelete"))->trigger();  // the fake prompter answers Yes
  ASSERT_EQ(list().ListIP()->count(), 3);
  EXPECT_TRUE(highlighted().isEmpty());
  EXPECT_FALSE(list().CheckReset()->isChecked());
  // The entry that took the deleted one's place is current, and the box says so.
  EXPECT_EQ(list().currentText(), QStringLiteral("R"));
  EXPECT_EQ(list().TextPing()->text(), QStringLiteral("R"));
  EXPECT_EQ(pingTargets(), (Labels{"127.0.0.5", "127.0.0.6"}));

  // With nothing current either, the typed target is what Ping tests.
  list().setCurrentIndex(-1);
  list().clearSelection();
  list().TextPing()->setText(QStringLiteral("127.0.0.8"));
  EXPECT_EQ(pingTargets(), Labels{"127.0.0.8"});
}

TEST_F(FormMainListTest, TestNowButtonsAreOffDuringARunAndLeaveNothingBehind) {
  clickItem(0);
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  bool singleEnabled = true;
  bool groupEnabled = true;
  script({[&](QDialog& d) {
            auto& f = dynamic_cast<FormAddIP&>(d);
            f.Text2()->setText(QStringLiteral("127.0.0.9"));
            singleEnabled = f.Command3()->isEnabled();
            f.Command3()->click();
            f.Command2()->click();
          },
          [&](QDialog& d) {
            auto& f = dynamic_cast<FormAddIPG&>(d);
            f.TextIPs()->setPlainText(QStringLiteral("127.0.0.10"));
            groupEnabled = f.Command4()->isEnabled();
            f.Command4()->click();
            f.Command2()->click();
          }});
  w().action(QStringLiteral("mnuAddS"))->trigger();
  w().action(QStringLiteral("mnuAddG"))->trigger();
  EXPECT_FALSE(singleEnabled);
  EXPECT_FALSE(groupEnabled);
  stopRun();

  // The next run tests the selection, not an entry typed during the last one.
  clickItem(0);
  clickItem(1);
  ASSERT_EQ(highlighted(), QStringList({"127.0.0.2"}));
  EXPECT_EQ(pingTargets(), Labels{"127.0.0.2"});

  // Between runs the buttons are on again.
  script({[&](QDialog& d) {
    auto& f = dynamic_cast<FormAddIP&>(d);
    singleEnabled = f.Command3()->isEnabled();
    f.Command2()->click();
  }});
  w().action(QStringLiteral("mnuAddS"))->trigger();
  EXPECT_TRUE(singleEnabled);
}

TEST_F(FormMainListTest, TestNowRunsJustTheEnteredTargetsOnce) {
  clickItem(0);
  // The single dialog's Ping on `target`, and the group dialog's on `members`.
  const auto single = [](const char* target) {
    return [target](QDialog& d) {
      auto& f = dynamic_cast<FormAddIP&>(d);
      f.Text2()->setText(QString::fromLatin1(target));
      f.Command3()->click();
    };
  };
  const auto group = [](const char* members) {
    return [members](QDialog& d) {
      auto& f = dynamic_cast<FormAddIPG&>(d);
      f.TextIPs()->setPlainText(QString::fromLatin1(members));
      f.Command4()->click();
    };
  };
  const auto testNow = [&](std::function<void(QDialog&)> step, const char* add) {
    script({std::move(step)});
    QSignalSpy started(w().pingRun(), &PingRun::runStarted);
    w().action(QString::fromLatin1(add))->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return started.count() == 1; }, 10000));
    const Labels labels = w().pingRun()->data().targetLabels;
    stopRun();
    return labels;
  };
  EXPECT_EQ(testNow(single("127.0.0.9"), "mnuAddS"), Labels{"127.0.0.9"});
  EXPECT_EQ(testNow(group("127.0.0.10\n127.0.0.11 (b)"), "mnuAddG"),
            (Labels{"127.0.0.10", "127.0.0.11"}));
  EXPECT_EQ(pingTargets(), Labels{"127.0.0.1"}) << "the next run tests the selection";

  // A test-now start stopped before it collected anything leaves nothing
  // behind for the next run either.
  script({single("127.0.0.12")});
  w().action(QStringLiteral("mnuAddS"))->trigger();
  stopRun();
  EXPECT_EQ(pingTargets(), Labels{"127.0.0.1"});
}

TEST_F(FormMainListTest, ARefusedStartLeavesTheScheduleOptionAlone) {
  clickItem(0);
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  auto* schedule = find<QRadioButton>("OptionSch_1");
  QTest::mouseClick(schedule, Qt::LeftButton, {}, QPoint(6, schedule->height() / 2));
  ASSERT_TRUE(schedule->isChecked());
  ASSERT_TRUE(w().scheduleCheck().scheduleSelected());

  // Enter in the target box and a dialog's test-now request both ask for a start.
  QTest::keyClick(list().TextPing(), Qt::Key_Return);
  Q_EMIT w().ipListEditor()->pingTestRequested();
  EXPECT_TRUE(schedule->isChecked());
  EXPECT_TRUE(w().scheduleCheck().scheduleSelected());
  EXPECT_TRUE(w().testRunning());
  stopRun();
}

}  // namespace
}  // namespace sondrel
