// The add, edit and delete loops driven end to end: the real dialogs are
// filled and their buttons pressed by a scripted dialog runner, message boxes
// are answered by the fake prompter, and the list file is read back.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/WindowServices.h"
#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakePrompter.h"
#include "iplist/IPListStore.h"
#include "iplist/ui/FormAddIP.h"
#include "iplist/ui/FormAddIPG.h"
#include "iplist/ui/FormAddIPR.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using fakes::FakePrompter;

// What one showing of a dialog displayed, and the step the user took.
struct Shown {
  std::string dialog;  // objectName
  QString status;
  QColor statusColour;
  QString field1;  // Text2 / TextTittle
  QString field2;  // - / TextIPs / TextIP
  QString command1;
};

class EditorTest : public ::testing::Test {
 protected:
  QTemporaryDir data;
  std::shared_ptr<FakePrompter> prompter = std::make_shared<FakePrompter>();
  WindowServices services;
  DialogExchange exchange;
  QWidget window;
  std::unique_ptr<IPListStore> store;
  TargetListPanel* panel = nullptr;
  std::unique_ptr<IPListEditor> editor;
  std::deque<std::function<void(QDialog&)>> steps;
  std::vector<Shown> shown;

  void SetUp() override {
    ASSERT_TRUE(data.isValid());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    services.prompter = prompter;
  }

  std::string listPath() const { return store->path(); }

  // A list file with `fileLines`, loaded into the panel, with the editor on top.
  void start(const std::vector<std::string>& fileLines) {
    store = std::make_unique<IPListStore>(
        DataFolder(), SystemFiles(), std::make_shared<fakes::FakeNetworkSettings>(), prompter);
    {
      std::ofstream out(store->path(), std::ios::binary | std::ios::trunc);
      out << FormatIPList(fileLines);
    }
    ASSERT_TRUE(store->FillIPList());
    panel = new TargetListPanel(&window);
    panel->showEntries(store->IPEntries());
    editor = std::make_unique<IPListEditor>(services.prompter, *store, exchange, *panel, &window);
  }

  std::string fileText() const {
    std::ifstream in(listPath(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  QStringList items() const {
    QStringList out;
    for (int i = 0; i < panel->ListIP()->count(); ++i) out << panel->ListIP()->item(i)->text();
    return out;
  }

  // A runner that records each showing and plays the next scripted step;
  // with the script used up it leaves through Exit.
  void script(std::initializer_list<std::function<void(QDialog&)>> s) {
    steps.assign(s.begin(), s.end());
    editor->setDialogRunner([this](QDialog& d) {
      Shown seen;
      seen.dialog = d.objectName().toStdString();
      if (auto* f = qobject_cast<FormAddIP*>(&d)) {
        seen = {seen.dialog, f->Label2()->text(), f->Label2()->palette().color(QPalette::WindowText),
                f->Text2()->text(), {}, f->Command1()->text()};
      } else if (auto* g = qobject_cast<FormAddIPG*>(&d)) {
        seen = {seen.dialog, g->Label3()->text(), g->Label3()->palette().color(QPalette::WindowText),
                g->TextTittle()->text(), g->TextIPs()->toPlainText(), g->Command1()->text()};
      } else if (auto* r = qobject_cast<FormAddIPR*>(&d)) {
        seen = {seen.dialog, r->Label1()->text(), r->Label1()->palette().color(QPalette::WindowText),
                r->TextTittle()->text(), r->TextIP()->text() + "," + r->TextIP2()->text(),
                r->Command1()->text()};
      }
      shown.push_back(seen);
      ASSERT_LT(shown.size(), 50u) << "the loop does not end";
      if (steps.empty()) {
        d.reject();
        return;
      }
      auto step = steps.front();
      steps.pop_front();
      step(d);
    });
  }
};

std::function<void(QDialog&)> single(const char* text, bool ping = false) {
  return [=](QDialog& d) {
    auto& f = dynamic_cast<FormAddIP&>(d);
    f.Text2()->setText(QString::fromUtf8(text));
    (ping ? f.Command3() : f.Command1())->click();
  };
}

std::function<void(QDialog&)> group(const char* title, const char* members, bool ping = false) {
  return [=](QDialog& d) {
    auto& f = dynamic_cast<FormAddIPG&>(d);
    if (title) f.TextTittle()->setText(QString::fromUtf8(title));
    if (members) f.TextIPs()->setPlainText(QString::fromUtf8(members));
    (ping ? f.Command4() : f.Command1())->click();
  };
}

std::function<void(QDialog&)> range(const char* title, const char* first, const char* last,
                                    bool scan = false) {
  return [=](QDialog& d) {
    auto& f = dynamic_cast<FormAddIPR&>(d);
    if (title) f.TextTittle()->setText(QString::fromUtf8(title));
    f.TextIP()->setText(QString::fromUtf8(first));
    f.TextIP2()->setText(QString::fromUtf8(last));
    (scan ? f.Command4() : f.Command1())->click();
  };
}

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 192, 0);

TEST_F(EditorTest, AddSingleRewritesSortedListThenNewLineAndReopensGreen) {
  start({"A127.0.0.9", "BLab,127.0.0.2", "A127.0.0.1"});
  script({single(" 127.0.0. 5 ")});
  editor->AddSingle();
  EXPECT_EQ(fileText(), "A127.0.0.1\r\nA127.0.0.9\r\nBLab,127.0.0.2\r\nA127.0.0.5\r\n \r\n");
  EXPECT_EQ(items(), QStringList({"127.0.0.1", "127.0.0.5", "127.0.0.9", "Lab"}));
  EXPECT_EQ(panel->currentText(), QStringLiteral("127.0.0.5"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].status, QStringLiteral("'127.0.0.5' has been added to the list."));
  EXPECT_EQ(shown[1].statusColour, kGreen);
  EXPECT_EQ(shown[1].field1, QStringLiteral(" 127.0.0. 5 "));  // kept as typed
  EXPECT_EQ(shown[1].command1, QStringLiteral("Add to IP List"));
}

TEST_F(EditorTest, DuplicatesInAnotherCaseAreRefusedInRed) {
  start({"Ahost.example", "BLab,127.0.0.2", "CNet,127.0.1.1,127.0.1.9"});
  script({single("HOST.example"), single("lab")});
  editor->AddSingle();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].status, QStringLiteral("The same ip/url 'HOST.example' has existed."));
  EXPECT_EQ(shown[1].statusColour, kRed);
  EXPECT_EQ(shown[2].status, QStringLiteral("The same ip/url 'lab' has existed."));

  shown.clear();
  script({group("  NET ", "127.0.0.4"), group("", "127.0.0.4")});
  editor->AddGroup();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].status, QStringLiteral("The same tittle 'NET' has existed."));
  EXPECT_EQ(shown[1].field1, QStringLiteral("IP_Group_"));  // the title is reset
  EXPECT_EQ(shown[1].field2, QStringLiteral("127.0.0.4"));
  EXPECT_EQ(shown[2].status, QStringLiteral("'IP_Group' has been added to the list."));
  EXPECT_NE(fileText().find("\r\nBIP_Group,127.0.0.4\r\n \r\n"), std::string::npos);

  shown.clear();
  script({range("ip_group", "127.0.2.1", "127.0.2.3"), range("", "127.0.2.1", "127.0.2.3")});
  editor->AddRange();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].status, QStringLiteral("The same tittle 'ip_group' has existed."));
  EXPECT_EQ(shown[2].status, QStringLiteral("'IP_Range' has been added to the list."));
  EXPECT_EQ(shown[2].field2, QStringLiteral("127.0.2.1,127.0.2.3"));
  EXPECT_EQ(panel->currentText(), QStringLiteral("IP_Range"));
}

TEST_F(EditorTest, AddToAnEmptyListKeepsTheEntry) {
  start({});
  script({single("127.0.0.3")});
  editor->AddSingle();
  EXPECT_EQ(fileText(), "A127.0.0.3\r\n \r\n");
  EXPECT_EQ(items(), QStringList({"127.0.0.3"}));
}

TEST_F(EditorTest, EditSingleToTheSameTextInAnotherCaseChangesNothing) {
  start({"Ahost.example", "A127.0.0.1"});
  const std::string before = fileText();
  panel->setCurrentIndex(1);
  script({single("HOST.EXAMPLE")});
  editor->EditEntry();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].field1, QStringLiteral("host.example"));
  EXPECT_EQ(shown[0].command1, QStringLiteral("Save"));
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(items(), QStringList({"127.0.0.1", "host.example"}));
}

TEST_F(EditorTest, EditSingleReplacesInPlaceOrRefusesAnotherEntry) {
  start({"A127.0.0.1", "A127.0.0.2", "A127.0.0.3"});
  panel->setCurrentIndex(1);
  script({single("127.0.0.3"), single("127.0.0.7")});
  editor->EditEntry();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].status, QStringLiteral("The same ip/url '127.0.0.3' has existed."));
  EXPECT_EQ(shown[1].field1, QStringLiteral("127.0.0.2"));  // the edited line again
  EXPECT_EQ(fileText(), "A127.0.0.1\r\nA127.0.0.7\r\nA127.0.0.3\r\n \r\n");
  EXPECT_EQ(panel->currentText(), QStringLiteral("127.0.0.7"));
}

TEST_F(EditorTest, AbandonedGroupEditAfterDuplicateTitleKeepsTheOriginal) {
  start({"BLab,127.0.0.2,127.0.0.3", "BOffice,127.0.0.4"});
  const std::string before = fileText();
  panel->setCurrentIndex(0);
  script({group("office", nullptr)});
  editor->EditEntry();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].field1, QStringLiteral("Lab"));
  EXPECT_EQ(shown[0].field2, QStringLiteral("127.0.0.2\n127.0.0.3"));
  EXPECT_EQ(shown[1].status, QStringLiteral("The same tittle 'office' has existed."));
  EXPECT_EQ(shown[1].field1, QStringLiteral("IP_Group_"));
  EXPECT_EQ(shown[1].command1, QStringLiteral("Save"));
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(store->IPEntries()[0], "BLab,127.0.0.2,127.0.0.3");

  // A later add must not store the refused edit either.
  shown.clear();
  script({single("127.0.0.9")});
  editor->AddSingle();
  EXPECT_NE(fileText().find("BLab,127.0.0.2,127.0.0.3\r\n"), std::string::npos);
}

TEST_F(EditorTest, RangeEditShowsTheEditedLineAgainAfterDuplicate) {
  start({"CNet,127.0.1.1,127.0.1.9", "CLan,127.0.2.1,127.0.2.9"});
  panel->setCurrentIndex(1);  // Net
  script({range("LAN", "127.0.1.1", "127.0.1.5"), range("Net2", "127.0.1.1", "127.0.1.5")});
  editor->EditEntry();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].field1, QStringLiteral("Net"));
  EXPECT_EQ(shown[1].field2, QStringLiteral("127.0.1.1,127.0.1.9"));
  EXPECT_EQ(fileText(), "CLan,127.0.2.1,127.0.2.9\r\nCNet2,127.0.1.1,127.0.1.5\r\n \r\n");
  EXPECT_EQ(panel->currentText(), QStringLiteral("Net2"));
}

TEST_F(EditorTest, DeleteTwelveSelectedListsNineAndDots) {
  std::vector<std::string> lines;
  for (int i = 10; i < 24; ++i) lines.push_back("A127.0.0." + std::to_string(i));
  start(lines);
  for (int i = 1; i <= 12; ++i) panel->ListIP()->item(i)->setSelected(true);
  prompter->answers = {IPrompter::Answer::Yes};
  editor->DeleteEntries();
  ASSERT_EQ(prompter->messages().size(), 1);
  const auto m = prompter->messages()[0];  // a copy: messages() returns a new list
  QString expected = QStringLiteral("Are you sure to delete 12 seleted items ?\r\n");
  for (int i = 11; i < 20; ++i) expected += QStringLiteral("\r\n    127.0.0.%1").arg(i);
  expected += QStringLiteral("\r\n    ......");
  EXPECT_EQ(m.text, expected);
  EXPECT_EQ(m.caption, QStringLiteral("Delete IP"));
  EXPECT_EQ(m.icon, IPrompter::Icon::Information);
  EXPECT_EQ(m.buttons, IPrompter::Buttons::YesNo);
  EXPECT_EQ(fileText(), "A127.0.0.10\r\nA127.0.0.23\r\n \r\n");
  EXPECT_EQ(panel->currentIndex(), 1);  // index 12 no longer exists: the last item
}

TEST_F(EditorTest, DeleteCurrentItemAsksAndNoKeepsIt) {
  start({"A127.0.0.1", "A127.0.0.2", "A127.0.0.3"});
  const std::string before = fileText();
  panel->setCurrentIndex(1);
  prompter->answers = {IPrompter::Answer::No};
  editor->DeleteEntries();
  ASSERT_EQ(prompter->messages().size(), 1);
  EXPECT_EQ(prompter->messages()[0].text, QStringLiteral("Are you sure to delete the item '127.0.0.2'?"));
  EXPECT_EQ(fileText(), before);

  prompter->answers = {IPrompter::Answer::Yes};
  editor->DeleteEntries();
  EXPECT_EQ(fileText(), "A127.0.0.1\r\nA127.0.0.3\r\n \r\n");
  EXPECT_EQ(panel->currentIndex(), 1);

  panel->setCurrentIndex(-1);
  editor->DeleteEntries();  // nothing current, nothing selected: no question
  EXPECT_EQ(prompter->messages().size(), 2);
}

// The entry a test-now signal carried: a single target's text, or the whole
// group or range line.
std::string carried(const QSignalSpy& spy, qsizetype i) {
  const auto entry = spy.at(i).at(0).value<ListEntry>();
  return entry.kind == ListEntryKind::Single ? entry.title : formatListEntry(entry);
}

TEST_F(EditorTest, TestNowButtonsAskForARunOnTheirEntry) {
  start({"A127.0.0.1"});
  const std::string before = fileText();
  QSignalSpy pings(editor.get(), &IPListEditor::pingTestRequested);
  QSignalSpy scans(editor.get(), &IPListEditor::scanRequested);

  script({single("127.0.0.4", true)});
  editor->AddSingle();
  EXPECT_EQ(pings.count(), 1);
  EXPECT_EQ(carried(pings, 0), "127.0.0.4");

  script({group(nullptr, "127.0.0.5\n127.0.0.6 (b)", true)});
  editor->AddGroup();
  EXPECT_EQ(pings.count(), 2);
  EXPECT_EQ(carried(pings, 1), "BManual,127.0.0.5,127.0.0.6 (b)");

  script({range(nullptr, "127.0.3.1", "127.0.3.4", true)});
  editor->AddRange();
  EXPECT_EQ(scans.count(), 1);
  EXPECT_EQ(carried(scans, 0), "CIP_Range_Manual,127.0.3.1,127.0.3.4");

  script({});  // plain Exit asks for nothing, even after a test-now before
  editor->AddSingle();
  editor->AddGroup();
  editor->AddRange();
  EXPECT_EQ(scans.count(), 1);
  EXPECT_EQ(pings.count(), 2);
  EXPECT_EQ(fileText(), before);  // nothing stored
}

TEST_F(EditorTest, TestNowFromAnEditRunsOnlyWhatThatDialogEntered) {
  start({"A127.0.0.1", "CNet,127.0.1.1,127.0.1.9"});
  const std::string before = fileText();
  QSignalSpy pings(editor.get(), &IPListEditor::pingTestRequested);
  QSignalSpy scans(editor.get(), &IPListEditor::scanRequested);
  panel->setCurrentIndex(1);
  script({range(nullptr, "127.0.1.2", "127.0.1.3", true)});
  editor->EditEntry();
  EXPECT_EQ(scans.count(), 1);
  EXPECT_EQ(carried(scans, 0), "CIP_Range_Manual,127.0.1.2,127.0.1.3");
  EXPECT_EQ(pings.count(), 0);
  EXPECT_EQ(fileText(), before);
}

TEST_F(EditorTest, ActionsAreSharedWithTheButtonsAndPresetsReachTheDialogs) {
  start({"A127.0.0.1"});
  const char* names[] = {"mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(editor->commandAction(i)->objectName(), QString::fromLatin1(names[i]));
  EXPECT_EQ(editor->commandAction(2)->text(), QStringLiteral("Add a range of IP addresses"));

  exchange.NewGroupMembers = "127.0.0.7 (a)\r\n127.0.0.8";
  script({group("Scanned", nullptr)});
  panel->CommandAdd(1)->click();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].dialog, "FormAddIPG");
  EXPECT_EQ(shown[0].field2, QStringLiteral("127.0.0.7 (a)\n127.0.0.8"));
  EXPECT_NE(fileText().find("BScanned,127.0.0.7 (a),127.0.0.8\r\n"), std::string::npos);

  shown.clear();
  exchange.PresetRangeFirst = "127.0.5.0";
  exchange.PresetRangeLast = "127.0.5.255";
  script({});
  editor->commandAction(2)->trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].field2, QStringLiteral("127.0.5.0,127.0.5.255"));

  shown.clear();
  panel->setCurrentIndex(-1);
  script({});
  panel->CommandAdd(3)->click();  // no current item: no dialog
  EXPECT_TRUE(shown.empty());
}

TEST_F(EditorTest, DialogsSitAtTheMainWindowAnchor) {
  start({});
  window.move(150, 60);
  ASSERT_EQ(window.pos(), QPoint(150, 60));
  script({[](QDialog& d) { d.reject(); }});
  editor->AddSingle();
  EXPECT_EQ(exchange.DialogAnchorLeft, 2250);  // twips, 15 to a pixel
  EXPECT_EQ(exchange.DialogAnchorTop, 900);
}

TEST_F(EditorTest, DefaultRunnerShowsTheDialogModally) {
  start({"A127.0.0.1"});
  // While the real modal loop runs, type into the dialog and leave it.
  QStringList seen;
  QTimer poke;
  poke.setInterval(0);
  QObject::connect(&poke, &QTimer::timeout, [&] {
    auto* d = qobject_cast<FormAddIP*>(QApplication::activeModalWidget());
    if (!d) return;
    seen << d->windowTitle();
    if (seen.size() == 1) {
      d->Text2()->setText(QStringLiteral("127.0.0.6"));
      d->Command1()->click();
    } else {
      d->Command2()->click();
    }
  });
  poke.start();
  editor->AddSingle();
  EXPECT_EQ(seen, QStringList({QStringLiteral(" Add Single IP"), QStringLiteral(" Add Single IP")}));
  EXPECT_EQ(items(), QStringList({"127.0.0.1", "127.0.0.6"}));
}

QString u8(const char* text) { return QString::fromUtf8(text); }

TEST_F(EditorTest, SingleByteAndUtf8ListTextKeepTheirBytes) {
  // A group from a single-byte list (Latin-1 bytes for "ü" and "ö") beside
  // one written by this program (UTF-8 "é").
  const std::string latin = "BB\xFCro,127.0.0.1,127.0.0.2 (K\xF6ln)";
  const std::string utf8 = "BLab,127.0.0.3 (Caf\xC3\xA9)";
  start({latin, utf8});
  EXPECT_EQ(items(), QStringList({u8("B\xC3\xBCro"), u8("Lab")}));
  panel->ShowEntryDetails(latin);
  ASSERT_EQ(panel->TextShowIPs()->count(), 2);
  EXPECT_EQ(panel->TextShowIPs()->item(1)->text(), u8("127.0.0.2 (K\xC3\xB6ln)"));
  panel->ShowEntryDetails(utf8);
  EXPECT_EQ(panel->TextShowIPs()->item(0)->text(), u8("127.0.0.3 (Caf\xC3\xA9)"));

  // Saved unchanged, both lines are written back byte for byte.
  const std::string before = fileText();
  for (int row : {0, 1}) {
    panel->setCurrentIndex(row);
    script({[](QDialog& d) { dynamic_cast<FormAddIPG&>(d).Command1()->click(); }});
    editor->EditEntry();
  }
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].field1, u8("B\xC3\xBCro"));
  EXPECT_EQ(shown[0].field2, u8("127.0.0.1\n127.0.0.2 (K\xC3\xB6ln)"));
  EXPECT_EQ(fileText(), before);

  // The duplicate check compares the stored title with the typed one.
  shown.clear();
  script({group("B\xC3\x9CRO", "127.0.0.4"), group("Z\xC3\xBCrich", "127.0.0.4")});
  editor->AddGroup();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].status, u8("The same tittle 'B\xC3\x9CRO' has existed."));
  EXPECT_EQ(shown[2].status, u8("'Z\xC3\xBCrich' has been added to the list."));
  EXPECT_EQ(fileText(), latin + "\r\n" + utf8 + "\r\nBZ\xC3\xBCrich,127.0.0.4\r\n \r\n");

  // What was typed comes back after a restart.
  IPListStore restarted(DataFolder(), SystemFiles(),
                        std::make_shared<fakes::FakeNetworkSettings>(), prompter);
  ASSERT_TRUE(restarted.FillIPList());
  TargetListPanel again;
  again.showEntries(restarted.IPEntries());
  ASSERT_EQ(again.ListIP()->count(), 3);
  EXPECT_EQ(again.ListIP()->item(2)->text(), u8("Z\xC3\xBCrich"));

  // A changed entry is written as typed, in UTF-8.
  shown.clear();
  panel->setCurrentIndex(0);
  script({group(nullptr, "127.0.0.1\n127.0.0.2 (K\xC3\xB6ln)\n127.0.0.5")});
  editor->EditEntry();
  EXPECT_NE(fileText().find("BB\xC3\xBCro,127.0.0.1,127.0.0.2 (K\xC3\xB6ln),127.0.0.5\r\n"),
            std::string::npos);
}

TEST_F(EditorTest, AFailedRewriteReopensWithoutTheAddedLine) {
  start({"A127.0.0.1"});
  store->setBeforeReplaceHook([](const std::string&) { return false; });
  script({single("127.0.0.5"), single("127.0.0.5")});
  shown.clear();
  // The second showing lifts the failure before its add.
  steps[1] = [this](QDialog& d) {
    store->setBeforeReplaceHook({});
    single("127.0.0.5")(d);
  };
  editor->AddSingle();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].status, QString()) << "no success line after a failed rewrite";
  EXPECT_EQ(shown[1].field1, QStringLiteral("127.0.0.5"));
  EXPECT_EQ(prompter->messages().size(), 1);
  EXPECT_EQ(shown[2].status, QStringLiteral("'127.0.0.5' has been added to the list."));
  EXPECT_EQ(fileText(), "A127.0.0.1\r\nA127.0.0.5\r\n \r\n");
}

}  // namespace
}  // namespace sondrel
