// The target list panel: what ListIP shows, the selection summary, the
// select-all box and the reset menu, the detail pop-up and the target box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "core/iplist/Targets.h"
#include "iplist/ui/TargetListPanel.h"

namespace sondrel {
namespace {

std::string group(int members) {
  std::string line = "BG" + std::to_string(members);
  for (int i = 0; i < members; ++i) line += ",10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
  return line;
}

void sendFocus(QWidget* w, QEvent::Type type) {
  QFocusEvent e(type, Qt::MouseFocusReason);
  QApplication::sendEvent(w, &e);
}

struct PanelTest : ::testing::Test {
  QWidget host;
  TargetListPanel* panel = new TargetListPanel(&host);
  std::vector<std::string> lines{"A127.0.0.1", "A  router (home)  ", "BLab,127.0.0.2 (db),127.0.0.3",
                                 "CNet,127.0.1.1,127.0.1.9"};
  void SetUp() override {
    host.resize(800, 600);
    panel->setDetailHost(&host);
    panel->showEntries(lines);
    host.show();
  }
  void click(int row) {
    QListWidget* list = panel->ListIP();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  QStringList detailItems() {
    QStringList out;
    for (int i = 0; i < panel->TextShowIPs()->count(); ++i) out << panel->TextShowIPs()->item(i)->text();
    return out;
  }
};

TEST_F(PanelTest, ListShowsDisplayNamesAndDocumentedNames) {
  std::vector<std::string> withLong = lines;
  withLong.push_back("A" + std::string(120, 'h'));
  withLong.insert(withLong.begin(), "");  // an empty list keeps one empty element
  panel->showEntries(withLong);
  QListWidget* list = panel->ListIP();
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("router (home)"));
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("Lab"));
  EXPECT_EQ(list->item(3)->text(), QStringLiteral("Net"));
  EXPECT_EQ(list->item(4)->text().size(), 99);
  EXPECT_EQ(panel->entryLine(2), lines[2]);
  EXPECT_EQ(panel->entryLine(9), "");

  for (const char* name : {"Picture1_0", "ListIP", "TextPing", "CheckReset", "CommandAdd_0",
                           "CommandAdd_4"})
    EXPECT_NE(panel->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  for (const char* name : {"PictureShowIP", "TextShowIPs", "TextShowIPsT", "TextShowIPsT2", "Command18"})
    EXPECT_NE(host.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  EXPECT_EQ(panel->CommandAdd(3)->text(), QStringLiteral("Edit"));
  EXPECT_EQ(panel->CommandAdd(4)->toolTip(), QStringLiteral("Detete the seleted item"));
  EXPECT_EQ(panel->resetAction()->objectName(), QStringLiteral("mnuReset"));
  EXPECT_EQ(panel->resetAction()->text(), QStringLiteral("Reset all checked Checkbox"));
}

TEST_F(PanelTest, GroupDetailHeightGrowsWithMembersUpToTheCap) {
  struct Case {
    int members;
    int twips;
  };
  for (Case c : {Case{1, 1580}, Case{10, 3290}, Case{21, 5380}, Case{22, 5405}, Case{256, 5405}}) {
    panel->ShowEntryDetails(group(c.members));
    EXPECT_EQ(panel->detailHeightTwips(), c.twips) << c.members;
    EXPECT_EQ(panel->PictureShowIP()->height(), (c.twips + 7) / 15) << c.members;
    EXPECT_EQ(panel->TextShowIPs()->count(), c.members);
    EXPECT_EQ(panel->TextShowIPsT2()->text(), QStringLiteral("G%1").arg(c.members));
  }
  EXPECT_TRUE(panel->PictureShowIP()->isVisible());
  EXPECT_EQ(panel->PictureShowIP()->pos(), QPoint(12, 188));  // 180, 2820 twips
  EXPECT_EQ(panel->ShownEntryKind(), 'B');
  EXPECT_EQ(panel->TextShowIPsT()->text(), QStringLiteral("Current selected IP Group:"));
}

TEST_F(PanelTest, RangeDetailAndSingleHides) {
  panel->ShowEntryDetails("CNet,127.0.1.1,127.0.1.9");
  EXPECT_EQ(panel->detailHeightTwips(), 1700);
  EXPECT_EQ(panel->TextShowIPsT()->text(), QStringLiteral("Current selected IP Range:"));
  EXPECT_EQ(panel->TextShowIPsT2()->text(), QStringLiteral("Net"));
  EXPECT_EQ(detailItems(), QStringList({QString(), QStringLiteral("127.0.1.1  -  127.0.1.9")}));
  EXPECT_EQ(panel->ShownEntryKind(), 'C');
  EXPECT_TRUE(panel->PictureShowIP()->isVisible());

  panel->ShowEntryDetails("A127.0.0.1");
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
  EXPECT_EQ(panel->TextShowIPsT2()->text(), QString());
  EXPECT_EQ(panel->TextShowIPs()->count(), 0);

  panel->ShowEntryDetails("CNet,127.0.1.1,127.0.1.9");
  panel->Command18()->click();
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
  panel->ShowEntryDetails("CNet,127.0.1.1,127.0.1.9");
  panel->showEntries(lines);  // every reload hides it
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
}

TEST_F(PanelTest, ClicksToggleItemsAndSummariseTheSelection) {
  click(2);
  EXPECT_EQ(panel->selectedIndices(), std::vector<int>({2}));
  EXPECT_EQ(panel->pingText(), QStringLiteral("Selected 1 Items"));
  EXPECT_FALSE(panel->CheckReset()->isChecked()) << "one entry is not all of them";
  EXPECT_TRUE(panel->PictureShowIP()->isVisible());
  EXPECT_EQ(panel->ShownEntryKind(), 'B');

  click(0);
  click(3);
  EXPECT_EQ(panel->selectedIndices(), std::vector<int>({0, 2, 3}));
  EXPECT_EQ(panel->pingText(), QStringLiteral("Selected 3 Items"));
  EXPECT_EQ(panel->ShownEntryKind(), 'C');
  EXPECT_FALSE(panel->SelectionUpdating());

  click(0);
  click(2);
  click(3);  // the last click deselects: the current item's text is the target
  EXPECT_TRUE(panel->selectedIndices().empty());
  EXPECT_EQ(panel->currentIndex(), 3);
  EXPECT_EQ(panel->pingText(), QStringLiteral("Net"));
  EXPECT_FALSE(panel->CheckReset()->isChecked());
}

TEST_F(PanelTest, NoDetailsWhileRunningOrExpanded) {
  panel->setRunActive(true);
  click(2);
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
  EXPECT_EQ(panel->pingText(), QStringLiteral("Selected 1 Items"));
  panel->setRunActive(false);

  panel->ShowEntryDetails(lines[3]);
  panel->setListExpanded(true);
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
  EXPECT_EQ(panel->ListIP()->height(), 467);  // 7000 twips
  EXPECT_EQ(panel->Picture1()->height(), 473);
  click(3);
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());
  panel->setListExpanded(false);
  EXPECT_EQ(panel->ListIP()->height(), 107);  // 1605 twips
  EXPECT_EQ(panel->Picture1()->height(), 113);
}

TEST_F(PanelTest, SelectAllBoxAndResetMenu) {
  QLineEdit neutral(&host);
  panel->setNeutralFocus(&neutral);
  panel->ShowEntryDetails(lines[2]);
  panel->CheckReset()->click();
  EXPECT_EQ(panel->selectedIndices(), std::vector<int>({0, 1, 2, 3}));
  EXPECT_EQ(panel->pingText(), QStringLiteral("Selected 4 Items"));
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());

  panel->CheckReset()->click();
  EXPECT_TRUE(panel->selectedIndices().empty());
  EXPECT_FALSE(panel->CheckReset()->isChecked());

  panel->CheckReset()->click();
  panel->resetAction()->trigger();
  EXPECT_TRUE(panel->selectedIndices().empty());
  EXPECT_FALSE(panel->CheckReset()->isChecked());
  EXPECT_FALSE(panel->SelectionUpdating());
  EXPECT_FALSE(panel->pingText().startsWith(QStringLiteral("Selected")));
}

TEST_F(PanelTest, GroupMemberClickBecomesTheTarget) {
  panel->CheckReset()->click();  // every entry selected: CheckReset is checked
  ASSERT_TRUE(panel->CheckReset()->isChecked());
  const QString all = panel->pingText();
  panel->ShowEntryDetails(lines[2]);
  panel->TextShowIPs_Click(0);
  EXPECT_EQ(panel->pingText(), all);  // refused while checked

  panel->resetAction()->trigger();
  panel->ShowEntryDetails(lines[2]);
  panel->setCurrentIndex(2);
  QListWidget* members = panel->TextShowIPs();
  QTest::mouseClick(members->viewport(), Qt::LeftButton, {},
                    members->visualItemRect(members->item(0)).center());
  EXPECT_EQ(panel->pingText(), QStringLiteral("127.0.0.2"));
  EXPECT_EQ(panel->currentIndex(), -1);
  EXPECT_TRUE(panel->selectedIndices().empty());

  panel->ShowEntryDetails(lines[3]);  // a range's lines are not targets
  panel->TextShowIPs_Click(1);
  EXPECT_EQ(panel->pingText(), QStringLiteral("127.0.0.2"));
}

TEST_F(PanelTest, TargetBoxFocusToolTipsAndEnter) {
  QPushButton start, ping, scan;
  panel->setToolTipTargets({&start, &ping}, {&scan});
  panel->TextPing()->setText(QStringLiteral("127.0.0.8"));
  EXPECT_EQ(start.toolTip(), QStringLiteral("Run Ping Test on the '127.0.0.8'."));
  EXPECT_EQ(ping.toolTip(), start.toolTip());
  EXPECT_EQ(scan.toolTip(), QStringLiteral("Quickly scan the ip addresses of '127.0.0.8'. "));

  click(1);
  click(2);
  sendFocus(panel->TextPing(), QEvent::FocusIn);
  EXPECT_EQ(panel->pingText(), QString());  // "Selected 2 Items" is emptied
  EXPECT_TRUE(panel->selectedIndices().empty());
  EXPECT_EQ(panel->currentIndex(), -1);
  EXPECT_FALSE(panel->PictureShowIP()->isVisible());

  panel->TextPing()->setText(QStringLiteral(" 127.0. 0.9 "));
  sendFocus(panel->TextPing(), QEvent::FocusIn);
  EXPECT_EQ(panel->TextPing()->selectedText(), QStringLiteral(" 127.0. 0.9 "));
  sendFocus(panel->TextPing(), QEvent::FocusOut);
  EXPECT_EQ(panel->pingText(), QStringLiteral("127.0.0.9"));
  EXPECT_EQ(panel->currentIndex(), -1);
  panel->TextPing()->setText(QStringLiteral("   "));
  sendFocus(panel->TextPing(), QEvent::FocusOut);
  EXPECT_EQ(panel->currentIndex(), 0);

  QSignalSpy started(panel, &TargetListPanel::startRequested);
  QTest::keyClick(panel->TextPing(), Qt::Key_Return);
  EXPECT_EQ(started.count(), 1);
}

TEST_F(PanelTest, CollectionHelpersAndBoundButtons) {
  panel->setCurrentIndex(3);
  EXPECT_EQ(panel->currentText(), QStringLiteral("Net"));
  EXPECT_TRUE(panel->selectedIndices().empty());  // making an item current selects nothing
  panel->selectCurrentItem();
  EXPECT_EQ(panel->selectedIndices(), std::vector<int>({3}));
  click(1);
  panel->TextPing()->setText(QStringLiteral("typed"));
  CollectRequest request;
  panel->fillListState(request);
  EXPECT_EQ(request.currentIndex, 1);
  EXPECT_EQ(request.currentText, "router (home)");
  EXPECT_EQ(request.textPing, "typed");
  EXPECT_EQ(request.selected, std::vector<int>({1, 3}));
  EXPECT_EQ(request.entries, lines);

  panel->setCurrentIndex(-1);
  EXPECT_EQ(panel->currentText(), QString());

  QAction add(QStringLiteral("Add a single IP or URL"));
  QSignalSpy triggered(&add, &QAction::triggered);
  panel->bindCommandAdd(0, &add);
  QTest::mouseClick(panel->CommandAdd(0), Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 1);
  add.setEnabled(false);
  EXPECT_FALSE(panel->CommandAdd(0)->isEnabled());

  QAction other;
  QSignalSpy otherTriggered(&other, &QAction::triggered);
  panel->bindCommandAdd(0, &other);  // replaces the first binding
  EXPECT_TRUE(panel->CommandAdd(0)->isEnabled());
  panel->CommandAdd(0)->click();
  EXPECT_EQ(otherTriggered.count(), 1);
  EXPECT_EQ(triggered.count(), 1);
  add.setEnabled(true);
  other.setEnabled(false);
  EXPECT_FALSE(panel->CommandAdd(0)->isEnabled());
}

}  // namespace
}  // namespace sondrel
