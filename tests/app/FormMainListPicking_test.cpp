// Picking targets in the real main window: the select-all box follows the
// list's selection, and the range dialog's prefilled end address is replaced
// by what the user types.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/AppFixture.h"
#include "iplist/ui/FormAddIPR.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"

namespace sondrel {
namespace {

class FormMainListPickingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    testing::DataFolderWithList(base_, "A127.0.0.3\r\nA127.0.0.2\r\nA127.0.0.1\r\n \r\n");
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString());
    w().Form_Load();
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  }
  FormMain& w() { return *app_->window; }
  TargetListPanel& list() { return *w().targetList(); }
  void clickItem(int row) {
    QListWidget* l = list().ListIP();
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
  }
  void clickAll() {
    QCheckBox* box = list().CheckReset();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }
  int selected() { return static_cast<int>(list().selectedIndices().size()); }

  QTemporaryDir base_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainListPickingTest, AllIsTickedOnlyWhenEveryEntryIsSelected) {
  ASSERT_EQ(list().ListIP()->count(), 3);
  QCheckBox* all = list().CheckReset();
  clickItem(0);
  EXPECT_EQ(list().TextPing()->text().toStdString(), "Selected 1 Items");
  EXPECT_FALSE(all->isChecked());
  clickItem(1);
  EXPECT_EQ(list().TextPing()->text().toStdString(), "Selected 2 Items");
  EXPECT_FALSE(all->isChecked());
  clickItem(2);
  EXPECT_EQ(list().TextPing()->text().toStdString(), "Selected 3 Items");
  EXPECT_TRUE(all->isChecked());
  // Leaving one out clears the box again.
  clickItem(1);
  EXPECT_EQ(selected(), 2);
  EXPECT_FALSE(all->isChecked());

  // The box over a partial selection selects everything; clicked again, nothing.
  clickAll();
  EXPECT_EQ(selected(), 3);
  EXPECT_TRUE(all->isChecked());
  clickAll();
  EXPECT_EQ(selected(), 0);
  EXPECT_FALSE(all->isChecked());
}

TEST_F(FormMainListPickingTest, TheRangeDialogsPrefilledEndIsReplacedByTyping) {
  // Each way into the end field: a click, Tab, Enter in the start field and ">>".
  int ways = 0;
  w().ipListEditor()->setDialogRunner([&](QDialog& dialog) {
    auto& d = dynamic_cast<FormAddIPR&>(dialog);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    auto enterEnd = [&](int way) {
      d.TextIP2()->clear();
      d.TextIP()->setFocus(Qt::MouseFocusReason);
      d.TextIP()->selectAll();
      QTest::keyClicks(d.TextIP(), QStringLiteral("127.0.0.1"));
      if (way == 0) QTest::mouseClick(d.TextIP2(), Qt::LeftButton);
      if (way == 1) QTest::keyClick(d.TextIP(), Qt::Key_Tab);
      if (way == 2) QTest::keyClick(d.TextIP(), Qt::Key_Return);
      if (way == 3) QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("Command3")),
                                      Qt::LeftButton);
      EXPECT_TRUE(QTest::qWaitFor([&] { return d.TextIP2()->hasSelectedText(); }, 1000));
      ASSERT_TRUE(d.TextIP2()->hasFocus());
      QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("127.0.20.254"));
      EXPECT_EQ(d.TextIP2()->text().toStdString(), "127.0.20.254");
      ++ways;
    };
    for (int way = 0; way < 4; ++way) {
      SCOPED_TRACE(way);
      enterEnd(way);
    }
    d.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
  });
  w().action(QStringLiteral("munAddR"))->trigger();
  EXPECT_EQ(ways, 4);
}

}  // namespace
}  // namespace sondrel
