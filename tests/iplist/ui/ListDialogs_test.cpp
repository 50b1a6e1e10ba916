// The three list dialogs on their own: what each activation shows, what each
// button ends a showing with, and the exact error boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "fakes/FakePrompter.h"
#include "iplist/DialogExchange.h"
#include "iplist/ui/FormAddIP.h"
#include "iplist/ui/FormAddIPG.h"
#include "iplist/ui/FormAddIPR.h"

namespace sondrel {
namespace {

using fakes::FakePrompter;

void focusIn(QWidget* w) {
  QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(w, &e);
}

QColor textColour(QWidget* w) { return w->palette().color(QPalette::Text); }
QColor statusColour(QLabel* l) { return l->palette().color(QPalette::WindowText); }

std::string lastMessage(const FakePrompter& p) {
  auto m = p.messages();
  return m.isEmpty() ? std::string() : m.back().text.toStdString();
}

// A showing's result as the entered text: single "target", group
// "m1,m2,...", range "first,last"; "-" when left or tested at once; "" when
// nothing was entered.
std::string value(const DialogResult& r) {
  switch (r.ending) {
    case DialogResult::Ending::Nothing:
      return "";
    case DialogResult::Ending::Left:
    case DialogResult::Ending::TestNow:
      return "-";
    case DialogResult::Ending::Entered:
      break;
  }
  if (r.entry.kind == ListEntryKind::Single) return r.entry.title;
  std::string joined;
  for (const std::string& m : r.entry.members) joined += (joined.empty() ? "" : ",") + m;
  return joined;
}

// The test-now entry: a single target's text, or the whole group or range line.
std::string testNow(const DialogResult& r) {
  if (r.ending != DialogResult::Ending::TestNow) return "";
  if (r.entry.kind == ListEntryKind::Single) return r.entry.title;
  return formatListEntry(r.entry);
}

struct DialogTest : ::testing::Test {
  DialogExchange ex;
  FakePrompter prompter;
};

// ---- FormAddIP ----

struct SingleCase {
  const char* typed;
  const char* value;  // nullptr: refused
};

class SingleAdd : public DialogTest, public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleAdd, StoresTheBlankFreeTextOrRefusesIt) {
  FormAddIP d(ex, prompter);
  d.activate();
  d.Text2()->setText(QString::fromUtf8(GetParam().typed));
  d.Command1()->click();
  if (GetParam().value) {
    EXPECT_EQ(value(d.result()), GetParam().value);
    EXPECT_TRUE(prompter.messages().isEmpty());
  } else {
    EXPECT_EQ(value(d.result()), "");
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(lastMessage(prompter), "Invalid IP entry, Please check.   ");
    EXPECT_EQ(prompter.messages().back().caption, QStringLiteral("IP Error"));
    EXPECT_EQ(prompter.messages().back().icon, IPrompter::Icon::Critical);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SingleAdd,
    ::testing::Values(SingleCase{"0.0.0.0", nullptr}, SingleCase{"0.  0.  0.  0", nullptr},
                      SingleCase{"1.2.3", nullptr}, SingleCase{"256.1.1.1", nullptr},
                      SingleCase{" 192. 168.1.1 ", "192.168.1.1"},
                      SingleCase{"010.001.000.001", "010.001.000.001"},
                      SingleCase{"host.example", "host.example"},
                      SingleCase{"router (my box)", "router(mybox)"}));

TEST_F(DialogTest, SingleActivationShowsEditedLineAndStatusColours) {
  FormAddIP d(ex, prompter);
  EXPECT_EQ(d.windowTitle(), QStringLiteral(" Add Single IP"));
  ex.DialogAnchorLeft = 1500;
  ex.DialogAnchorTop = 300;
  ex.EditMode = true;
  ex.EditOriginal = "A10.0.0.7";
  ex.DialogStatus = "The same ip/url '10.0.0.7' has existed.";
  d.activate();
  EXPECT_EQ(d.pos(), QPoint(333, 105));  // anchor + 3500, 1280 twips
  EXPECT_EQ(d.Command1()->text(), QStringLiteral("Save"));
  EXPECT_FALSE(ex.EditMode);
  EXPECT_EQ(d.Text2()->text(), QStringLiteral("10.0.0.7"));
  EXPECT_EQ(textColour(d.Text2()), QColor(0, 0, 128));
  EXPECT_EQ(value(d.result()), "");
  EXPECT_EQ(d.Label2()->text(), QStringLiteral("The same ip/url '10.0.0.7' has existed."));
  EXPECT_EQ(statusColour(d.Label2()), QColor(255, 0, 0));
  EXPECT_EQ(ex.DialogStatus, "");

  ex.EditOriginal.clear();
  ex.DialogStatus = "'10.0.0.7' has been added to the list.";
  d.activate();
  EXPECT_EQ(d.Command1()->text(), QStringLiteral("Add to IP List"));
  EXPECT_EQ(d.Text2()->text(), QStringLiteral("10.0.0.7"));  // kept as typed
  EXPECT_EQ(statusColour(d.Label2()), QColor(0, 192, 0));
}

TEST_F(DialogTest, SinglePlaceholderClearsOnFocus) {
  FormAddIP d(ex, prompter);
  EXPECT_EQ(d.Text2()->text(), QStringLiteral("0.  0.  0.  0"));
  focusIn(d.Text2());
  EXPECT_EQ(d.Text2()->text(), QString());
  EXPECT_EQ(textColour(d.Text2()), QColor(0, 0, 128));
  d.Text2()->setText(QStringLiteral("1.1.1.1"));
  focusIn(d.Text2());
  EXPECT_EQ(d.Text2()->text(), QStringLiteral("1.1.1.1"));
}

TEST_F(DialogTest, SinglePingEnterAndExit) {
  FormAddIP d(ex, prompter);
  d.activate();
  d.Text2()->setText(QStringLiteral("1.2.3"));
  d.Command3()->click();
  EXPECT_EQ(testNow(d.result()), "");
  EXPECT_EQ(prompter.messages().size(), 1);

  d.Text2()->setText(QStringLiteral("127.0.0. 5"));
  d.Command3()->click();
  EXPECT_EQ(value(d.result()), "-");
  EXPECT_EQ(testNow(d.result()), "127.0.0.5");

  d.activate();
  EXPECT_EQ(testNow(d.result()), "");  // a new showing starts without a test-now entry
  QTest::keyClick(d.Text2(), Qt::Key_Return);
  EXPECT_EQ(value(d.result()), "127.0.0.5");

  d.activate();
  d.Command2()->click();
  EXPECT_EQ(value(d.result()), "-");
  d.activate();
  d.reject();  // close box, Escape
  EXPECT_EQ(value(d.result()), "-");
}

// ---- FormAddIPG ----

struct GroupCase {
  const char* members;
  const char* value;    // nullptr: refused
  const char* message;  // the error box when refused
};

class GroupAdd : public DialogTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupAdd, JoinsMembersOrQuotesTheFirstBadOne) {
  FormAddIPG d(ex, prompter);
  d.activate();
  d.TextTittle()->setText(QStringLiteral("  Lab  "));
  d.TextIPs()->setPlainText(QString::fromUtf8(GetParam().members));
  d.Command1()->click();
  if (GetParam().value) {
    EXPECT_TRUE(prompter.messages().isEmpty()) << lastMessage(prompter);
    EXPECT_EQ(value(d.result()), GetParam().value);
    EXPECT_EQ(d.result().entry.title, "Lab");
  } else {
    EXPECT_EQ(value(d.result()), "");
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(lastMessage(prompter), GetParam().message);
    EXPECT_EQ(prompter.messages().back().caption, QStringLiteral("IP Error"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Members, GroupAdd,
    ::testing::Values(
        GroupCase{"10.0.0.1\n10.0.0.2", "10.0.0.1,10.0.0.2", nullptr},
        GroupCase{"10.0.0.1  (Host A)\nrouter\n", "10.0.0.1  (Host A),router", nullptr},
        GroupCase{"10.0.0.1\r\n10.0.0.2\r\n", "10.0.0.1,10.0.0.2", nullptr},
        GroupCase{"10.0.0.1\n\n10.0.0.2", nullptr, "Invalid IP entry ''.   "},
        GroupCase{"10.0.0.1\n10. 0.0 (note)", nullptr, "Invalid IP entry '10.0.0'.   "},
        GroupCase{"   ", nullptr, "Invalid IP entry, Please check.   "},
        GroupCase{"0.0.0.0", nullptr, "Invalid IP entry '0.0.0.0'.   "}));

TEST_F(DialogTest, GroupPlaceholderGivesNoValue) {
  FormAddIPG d(ex, prompter);
  d.activate();
  EXPECT_TRUE(d.TextIPs()->toPlainText().startsWith(QStringLiteral("Enter a group of ip/url at here:\nExample:")));
  d.Command1()->click();
  EXPECT_EQ(value(d.result()), "");
  EXPECT_TRUE(prompter.messages().isEmpty());
  focusIn(d.TextIPs());
  EXPECT_EQ(d.TextIPs()->toPlainText(), QString());
  EXPECT_EQ(textColour(d.TextIPs()), QColor(0, 0, 128));
}

TEST_F(DialogTest, GroupTitleWithCommaIsRefused) {
  FormAddIPG d(ex, prompter);
  d.activate();
  d.TextTittle()->setText(QStringLiteral("a,b"));
  d.TextIPs()->setPlainText(QStringLiteral("10.0.0.1"));
  d.Command1()->click();
  EXPECT_EQ(value(d.result()), "");
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].icon, IPrompter::Icon::Critical);
  EXPECT_EQ(lastMessage(prompter), "Invalid tittle 'a,b', a tittle cannot contain ','.   ");
}

TEST_F(DialogTest, GroupActivationPresetsAndEdit) {
  FormAddIPG d(ex, prompter);
  d.activate();
  d.TextIPs()->setPlainText(QStringLiteral("1.1.1.1"));
  d.Command4()->click();
  ASSERT_EQ(testNow(d.result()), "BManual,1.1.1.1");
  ex.NewGroupMembers = "10.0.0.1 (a)\r\n10.0.0.2";
  d.activate();
  EXPECT_EQ(testNow(d.result()), "");
  EXPECT_EQ(ex.NewGroupMembers, "");
  EXPECT_EQ(d.TextIPs()->toPlainText(), QStringLiteral("10.0.0.1 (a)\n10.0.0.2"));
  EXPECT_EQ(d.TextTittle()->text(), QStringLiteral("IP_Group_"));

  ex.EditMode = true;
  ex.EditOriginal = "BOffice,10.0.0.1,host (x)";
  d.activate();
  EXPECT_EQ(d.Command1()->text(), QStringLiteral("Save"));
  EXPECT_EQ(d.TextTittle()->text(), QStringLiteral("Office"));
  EXPECT_EQ(d.TextIPs()->toPlainText(), QStringLiteral("10.0.0.1\nhost (x)"));
  EXPECT_EQ(ex.EditOriginal, "");  // consumed
  EXPECT_EQ(textColour(d.TextTittle()), QColor(0, 0, 128));

  d.activate();
  EXPECT_EQ(d.TextTittle()->text(), QStringLiteral("IP_Group_"));
  EXPECT_EQ(d.TextIPs()->toPlainText(), QStringLiteral("10.0.0.1\nhost (x)"));
}

TEST_F(DialogTest, GroupPingAndHelpPicture) {
  FormAddIPG d(ex, prompter);
  d.activate();
  d.TextIPs()->setPlainText(QStringLiteral("127.0.0.1\n127.0.0.2 (b)"));
  d.Command4()->click();
  EXPECT_EQ(value(d.result()), "-");
  EXPECT_EQ(testNow(d.result()), "BManual,127.0.0.1,127.0.0.2 (b)");

  d.show();
  EXPECT_FALSE(d.Picture1()->isVisible());
  d.Image1()->click();
  EXPECT_TRUE(d.Picture1()->isVisible());
  d.Command3()->click();
  EXPECT_FALSE(d.Picture1()->isVisible());
  d.Command2()->click();
  EXPECT_EQ(value(d.result()), "-");
  EXPECT_FALSE(d.isVisible());
}

// ---- FormAddIPR ----

struct RangeCase {
  const char* first;
  const char* last;
  const char* value;  // nullptr: refused with message
  const char* message;
};

class RangeAdd : public DialogTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeAdd, NormalisesBothEndsOrNamesTheBadField) {
  FormAddIPR d(ex, prompter);
  d.activate();
  d.TextIP()->setText(QString::fromUtf8(GetParam().first));
  d.TextIP2()->setText(QString::fromUtf8(GetParam().last));
  d.Command1()->click();
  if (GetParam().value) {
    EXPECT_TRUE(prompter.messages().isEmpty()) << lastMessage(prompter);
    EXPECT_EQ(value(d.result()), GetParam().value);
    EXPECT_EQ(d.result().entry.title, "IP_Range_");
  } else {
    EXPECT_EQ(value(d.result()), "");
    EXPECT_EQ(lastMessage(prompter), GetParam().message);
  }
}

constexpr const char* kField1 = "Invalid IP entry, Please check IP Field 1, Cannot enter URL.   ";
constexpr const char* kField2 = "Invalid IP entry, Please check IP Field 2, Cannot enter URL.   ";

INSTANTIATE_TEST_SUITE_P(
    Ends, RangeAdd,
    ::testing::Values(RangeCase{"010.1.1.1", " 10.1.1.9 ", "10.1.1.1,10.1.1.9", nullptr},
                      RangeCase{"0.0.0.0", "0.0.0.0", "0.0.0.0,0.0.0.0", nullptr},
                      RangeCase{"1.2.3", "1.2.3.4", nullptr, kField1},
                      RangeCase{"host", "1.2.3.4", nullptr, kField1},
                      RangeCase{"1.2.3.4", "1.2. 3.4", nullptr, kField2},
                      RangeCase{"1.2.3.4", "", nullptr, kField2}));

TEST_F(DialogTest, RangeActivationPresetsEditAndCopy) {
  FormAddIPR d(ex, prompter);
  EXPECT_EQ(d.windowTitle(), QStringLiteral(" Add a Range of IP Addresses:"));
  d.activate();
  d.TextIP()->setText(QStringLiteral("1.1.1.1"));
  d.TextIP2()->setText(QStringLiteral("1.1.1.2"));
  d.Command4()->click();
  ASSERT_EQ(testNow(d.result()), "CIP_Range_Manual,1.1.1.1,1.1.1.2");
  ex.PresetRangeFirst = "10.1.2.0";
  ex.PresetRangeLast = "10.1.2.255";
  d.activate();
  EXPECT_EQ(testNow(d.result()), "");
  EXPECT_EQ(d.TextIP()->text(), QStringLiteral("10.1.2.0"));
  EXPECT_EQ(d.TextIP2()->text(), QStringLiteral("10.1.2.255"));
  EXPECT_EQ(ex.PresetRangeFirst, "");
  EXPECT_EQ(ex.PresetRangeLast, "");

  ex.EditMode = true;
  ex.EditOriginal = "CNet,10.0.0.1,10.0.0.9";
  d.activate();
  EXPECT_EQ(d.Command1()->text(), QStringLiteral("Save"));
  EXPECT_EQ(d.TextTittle()->text(), QStringLiteral("Net"));
  EXPECT_EQ(d.TextIP()->text(), QStringLiteral("10.0.0.1"));
  EXPECT_EQ(d.TextIP2()->text(), QStringLiteral("10.0.0.9"));
  EXPECT_EQ(ex.EditOriginal, "CNet,10.0.0.1,10.0.0.9");  // kept for the next showing

  d.TextIP()->setText(QStringLiteral(" 10.0.0.3 "));
  d.Command3()->click();
  EXPECT_EQ(d.TextIP2()->text(), QStringLiteral("10.0.0.3"));
  d.TextIP2()->setText(QStringLiteral("  "));
  focusIn(d.TextIP2());
  EXPECT_EQ(d.TextIP2()->text(), QStringLiteral("10.0.0.3"));
}

TEST_F(DialogTest, RangeTitleCommaScanAndExit) {
  FormAddIPR d(ex, prompter);
  d.activate();
  d.TextTittle()->setText(QStringLiteral("x,y"));
  d.TextIP()->setText(QStringLiteral("127.0.0.1"));
  d.TextIP2()->setText(QStringLiteral("127.0.0.9"));
  d.Command1()->click();
  EXPECT_EQ(value(d.result()), "");
  EXPECT_EQ(lastMessage(prompter), "Invalid tittle 'x,y', a tittle cannot contain ','.   ");

  d.Command4()->click();  // the scan uses its own title
  EXPECT_EQ(value(d.result()), "-");
  EXPECT_EQ(testNow(d.result()), "CIP_Range_Manual,127.0.0.1,127.0.0.9");

  d.activate();
  EXPECT_EQ(d.TextTittle()->text(), QStringLiteral("IP_Range_"));
  d.TextTittle()->setText(QStringLiteral("x,y"));
  QTest::keyClick(d.TextIP2(), Qt::Key_Return);  // Enter in the second field is Add
  EXPECT_EQ(prompter.messages().size(), 2);
  d.TextTittle()->setText(QStringLiteral(" Lab "));
  QTest::keyClick(d.TextIP2(), Qt::Key_Return);
  EXPECT_EQ(value(d.result()), "127.0.0.1,127.0.0.9");
  EXPECT_EQ(d.result().entry.title, "Lab");
  d.reject();
  EXPECT_EQ(value(d.result()), "-");
}

// ---- What the three dialogs share ----

// The names of the controls Tab walks through, in its order.
QStringList tabOrder(QDialog& d) {
  QStringList names;
  for (QWidget* w = d.nextInFocusChain(); w != &d; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&d)) names << w->objectName();
  return names;
}

TEST_F(DialogTest, EachDialogKeepsItsNamesTabOrderAndButtons) {
  FormAddIP single(ex, prompter);
  FormAddIPG group(ex, prompter);
  FormAddIPR range(ex, prompter);
  EXPECT_EQ(single.objectName(), QStringLiteral("FormAddIP"));
  EXPECT_EQ(group.objectName(), QStringLiteral("FormAddIPG"));
  EXPECT_EQ(range.objectName(), QStringLiteral("FormAddIPR"));
  EXPECT_EQ(group.windowTitle(), QStringLiteral(" Add a Group of IP Addresses:"));
  EXPECT_EQ(tabOrder(single), QStringList({"Text2", "Command1", "Command3", "Command2"}));
  EXPECT_EQ(tabOrder(group), QStringList({"TextTittle", "TextIPs", "Image1", "Command1",
                                          "Command4", "Command2"}));
  EXPECT_EQ(tabOrder(range), QStringList({"TextTittle", "TextIP", "TextIP2", "Command3",
                                          "Command1", "Command4", "Command2"}));
  EXPECT_EQ(single.Label2()->objectName(), QStringLiteral("Label2"));
  EXPECT_EQ(group.Label3()->objectName(), QStringLiteral("Label3"));
  EXPECT_EQ(range.Label1()->objectName(), QStringLiteral("Label1"));

  for (ListEntryDialog* d : std::initializer_list<ListEntryDialog*>{&single, &group, &range}) {
    SCOPED_TRACE(d->objectName().toStdString());
    EXPECT_TRUE(d->isModal());
    EXPECT_EQ(d->Command1()->text(), QStringLiteral("Add to IP List"));
    EXPECT_EQ(d->Command2()->text(), QStringLiteral("Exit"));
    EXPECT_FALSE(d->Command1()->autoDefault());
    EXPECT_FALSE(d->Command2()->autoDefault());
    d->activate();
    d->Command2()->click();
    EXPECT_EQ(value(d->result()), "-");
    d->activate();
    EXPECT_EQ(value(d->result()), "");  // a new showing forgets the last one
  }
}

// ---- Text from a single-byte list ----

TEST_F(DialogTest, EntriesAndStatusFromASingleByteListShowTheirLetters) {
  // Latin-1 bytes for "ö", "ü" and "é", as a list from a single-byte system
  // has them; a UTF-8 line beside shows the same letters.
  const QString koeln = QString::fromUtf8("K\xC3\xB6ln");
  FormAddIP single(ex, prompter);
  ex.EditMode = true;
  ex.EditOriginal = "AK\xF6ln.lan";
  ex.DialogStatus = "'B\xFCro' has been added to the list.";
  single.activate();
  EXPECT_EQ(single.Text2()->text(), koeln + QStringLiteral(".lan"));
  EXPECT_EQ(single.Label2()->text(), QString::fromUtf8("'B\xC3\xBCro' has been added to the list."));
  EXPECT_EQ(statusColour(single.Label2()), QColor(0, 192, 0));

  FormAddIPR range(ex, prompter);
  ex.EditMode = true;
  ex.EditOriginal = "CK\xF6ln,10.0.0.1,10.0.0.9";
  range.activate();
  EXPECT_EQ(range.TextTittle()->text(), koeln);
  EXPECT_EQ(range.TextIP2()->text(), QStringLiteral("10.0.0.9"));

  FormAddIPG group(ex, prompter);
  for (const char* line : {"BK\xF6ln,10.0.0.1 (Caf\xE9),10.0.0.2",
                           "BK\xC3\xB6ln,10.0.0.1 (Caf\xC3\xA9),10.0.0.2"}) {
    SCOPED_TRACE(line);
    ex.EditMode = true;
    ex.EditOriginal = line;
    group.activate();
    EXPECT_EQ(group.TextTittle()->text(), koeln);
    EXPECT_EQ(group.TextIPs()->toPlainText(), QString::fromUtf8("10.0.0.1 (Caf\xC3\xA9)\n10.0.0.2"));
  }
}

}  // namespace
}  // namespace sondrel
