// Every menu entry and button of the main window, through the real window:
// which are enabled when idle, during a ping run, during a scan, while a Stop
// is under way and after it; that each button runs its menu entry's own
// action; that each enabled entry reaches what it is for; and the keys.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/AppFixture.h"
#include "help/ui/DialogHelp.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"
#include "ping/ui/ResultsDisplay.h"
#include "report/ui/DialogRpt.h"
#include "report/ui/ReportPresenter.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanelPresenter.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

// Every entry of the menus that runs something (separators and the two
// submenus' titles left out; the submenus' entries are in).
const char* const kEntries[] = {
    "mnuExpImp_1", "mnuExpImp_2", "mnuExpImp_4", "mnuExpImp_5", "mnuWebsite",
    "mnuExit", "mnuStart", "mnuIpscanner", "mnuStop", "mnuExport",
    "mnuOpen", "mnuCopy", "mnuReport", "mnuRuns", "mnuMonitor", "mnuAlerts", "mnuAddS", "mnuAddG",
    "munAddR", "mnuEdit", "mnuDelete", "mnuScanLocalIP", "mnuAddG2",
    "mnuAddG2Active", "mnuAddG2Inactive", "mnuAddG2All", "mnuReset", "mnuDos",
    "mnuCloseAllDOS", "mnuDeleteDos", "mnuDel_1", "mnuDel_2", "mnuDel_4",
    "mnuDel_6", "mnuDel_7", "mnuDel_8", "mnuDel_9", "mnuDel_10",
    "mnuDel_12", "mnuHowto", "mnuAbout"};

// Buttons and the menu entry whose action each runs.
struct Twin {
  const char* button;
  const char* entry;
};
const Twin kPictureTwins[] = {{"Command3", "mnuStart"}, {"Command4", "mnuStop"},
                              {"Command5", "mnuExport"}, {"Command6", "mnuOpen"},
                              {"Command7", "mnuCopy"},   {"Command11", "mnuDos"},
                              {"Command19", "mnuDos"},   {"Command12", "mnuHowto"},
                              {"CommandMonitor", "mnuMonitor"}};
const Twin kTextTwins[] = {{"CommandStart", "mnuStart"}, {"CommandStop", "mnuStop"},
                           {"CommandExport", "mnuExport"}, {"Command1", "mnuOpen"},
                           {"Command2", "mnuCopy"},        {"Command8", "mnuIpscanner"}};

class FormMainActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    // One range of thirty loopback addresses and one single address.
    const std::string folder = testing::DataFolderWithList(base_, "A127.0.0.9\r\nCR,127.0.0.1,127.0.0.30\r\n \r\n");
    std::ofstream(folder + "Tolvane_DB2.txt", std::ios::binary)
        << "ip -4 addr\r\nip neigh\r\n \r\n";
    fakes_.icmp->script("127.0.0.9", {.silent = true});
    fakes_.network->adapterList = {{"eth0", "192.168.7.23", "255.255.255.0", "", ""}};
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    fakes_.processes->script(w().scanProgramPath(), {{}, 0, true});
    w().ipListEditor()->setDialogRunner(
        [this](QDialog& d) {
          dialogs_ << QString::fromLatin1(d.metaObject()->className());
          d.reject();  // leaves it, as its Close button does
        });
  }
  void TearDown() override {
    if (DialogRpt* d = w().reportPresenter()->dialog()) d->close();
  }
  FormMain& w() { return *app_->window; }
  template <typename T = QWidget>
  T* find(const char* name) {
    return w().findChild<T*>(QString::fromLatin1(name));
  }
  QAction* entry(const char* name) { return w().action(QString::fromLatin1(name)); }
  // The list's row of the single address (the other is the range).
  int singleRow() {
    QListWidget* l = w().targetList()->ListIP();
    return l->item(0)->text().contains(QStringLiteral("127.0.0.9")) ? 0 : 1;
  }

  // A ping run against a target that never answers, with a time-out of a
  // minute: it stays under way until Stop.
  void startRun() {
    QLineEdit* timeOut = w().parameterFrame()->comboTimeOut()->lineEdit();
    timeOut->selectAll();
    QTest::keyClicks(timeOut, QStringLiteral("60000"));
    testing::PingTheseTargets(w(), {"127.0.0.9"});
    QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes_.icmp->waitForWaiting(1, 0ms); }, 5000));
    ASSERT_TRUE(w().testRunning());
  }
  // Selects the range and presses "Scan ip"; waits until the workers are out.
  void startScan() {
    QListWidget* l = w().targetList()->ListIP();
    ASSERT_EQ(l->count(), 2);
    const int range = 1 - singleRow();
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(range)).center());
    QTest::mouseClick(find<QPushButton>("Command8"), Qt::LeftButton);
    ScanRun& run = *w().scanPresenter()->scanRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.scanning() && !run.launching(); }, 10000));
    ASSERT_TRUE(w().testRunning());
  }
  void stopScan() {
    ScanRun& run = *w().scanPresenter()->scanRun();
    QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
    for (int k = 0; k < 3; ++k) run.OnStopTimerTick();
    for (int k = 0; k < 3 && !run.scanFinished(); ++k) run.OnScanTimerTick();
    ASSERT_TRUE(run.scanFinished());
    ASSERT_FALSE(w().testRunning());
  }

  // Checks every entry and button: enabled unless named in `disabled`, and
  // each button enabled exactly as its entry.
  void expectEnabledExcept(const std::set<std::string>& disabled) {
    for (const char* name : kEntries) {
      QAction* a = entry(name);
      ASSERT_NE(a, nullptr) << name;
      EXPECT_EQ(a->isEnabled(), !disabled.count(name)) << name;
    }
    std::vector<Twin> twins(std::begin(kPictureTwins), std::end(kPictureTwins));
    twins.insert(twins.end(), std::begin(kTextTwins), std::end(kTextTwins));
    for (const Twin& t : twins) {
      QWidget* b = find(t.button);
      ASSERT_NE(b, nullptr) << t.button;
      EXPECT_EQ(b->isEnabled(), !disabled.count(t.entry)) << t.button;
    }
    // The frame's other controls never grey.
    for (const char* name : {"Image2", "Picture1_1", "Command9", "Command13", "Text402"})
      EXPECT_TRUE(find(name)->isEnabled()) << name;
    EXPECT_TRUE(w().display()->PingReport()->isEnabled());
    EXPECT_TRUE(w().display()->LabelWebsite()->isEnabled());
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
  QStringList dialogs_;
};

TEST_F(FormMainActionsTest, PictureButtonsAndTextButtonsRunTheirMenuEntrysOwnAction) {
  for (const Twin& t : kPictureTwins) {
    auto* b = find<QToolButton>(t.button);
    ASSERT_NE(b, nullptr) << t.button;
    EXPECT_EQ(b->defaultAction(), entry(t.entry)) << t.button;
    EXPECT_FALSE(b->icon().isNull()) << t.button;
  }
  for (const Twin& t : kTextTwins) {
    auto* b = find<QPushButton>(t.button);
    ASSERT_NE(b, nullptr) << t.button;
    ASSERT_EQ(b->actions().size(), 1) << t.button;
    EXPECT_EQ(b->actions().front(), entry(t.entry)) << t.button;
  }
  // The list buttons are the list menu's entries.
  for (int i = 0; i < 5; ++i) {
    const char* names[] = {"mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete"};
    QPushButton* b = w().targetList()->CommandAdd(i);
    QSignalSpy spy(entry(names[i]), &QAction::triggered);
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1) << names[i];
  }
  // The tool tips of the pictures are the buttons' own.
  EXPECT_EQ(find("Command4")->toolTip().toStdString(),
            "Stop the current running Ping or IP Scan test");
  EXPECT_EQ(find("Command12")->toolTip().toStdString(), "How to use?");
  EXPECT_EQ(find("Command19")->toolTip().toStdString(), "Run Other DOS Commands");
}

TEST_F(FormMainActionsTest, OnlyTheStartsGreyDuringARunAndStopWhileItStops) {
  expectEnabledExcept({});
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  expectEnabledExcept({"mnuStart", "mnuIpscanner"});

  entry("mnuStop")->trigger();
  EXPECT_TRUE(w().testRunning()) << "the cancelled echo is not back yet";
  expectEnabledExcept({"mnuStart", "mnuIpscanner", "mnuStop"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  expectEnabledExcept({});
}

TEST_F(FormMainActionsTest, OnlyTheStartsGreyDuringAScan) {
  startScan();
  ASSERT_FALSE(HasFatalFailure());
  expectEnabledExcept({"mnuStart", "mnuIpscanner"});
  stopScan();
  ASSERT_FALSE(HasFatalFailure());
  expectEnabledExcept({});
}

TEST_F(FormMainActionsTest, ExitIsRefusedDuringAScanAndAllowedAfterStop) {
  startScan();
  ASSERT_FALSE(HasFatalFailure());
  entry("mnuExit")->trigger();
  EXPECT_FALSE(w().close());
  EXPECT_EQ(app_->exits, 0);
  const auto messages = fakes_.prompter->messages();
  ASSERT_EQ(messages.size(), 2);
  for (const auto& m : messages) {
    EXPECT_EQ(m.text.toStdString(), "Please click 'Stop' button to stop the testing first.");
    EXPECT_EQ(m.caption.toStdString(), "Test is Running.     ");
  }
  stopScan();
  ASSERT_FALSE(HasFatalFailure());
  entry("mnuExit")->trigger();
  EXPECT_EQ(app_->exits, 1);
  EXPECT_EQ(fakes_.prompter->messages().size(), 2);
}

// What each entry is for, seen from outside: a dialog asked of the prompter,
// a list dialog run, a panel or window shown, the clipboard filled.
TEST_F(FormMainActionsTest, EveryEntryReachesItsAction) {
  const auto calls = [&](const char* kind) {
    QStringList out;
    for (const auto& c : fakes_.prompter->calls)
      if (c.kind == QLatin1String(kind)) out << c.caption + QLatin1Char('|') + c.text;
    return out;
  };
  const auto trigger = [&](const char* name) {
    SCOPED_TRACE(name);
    fakes_.prompter->calls.clear();
    QAction* a = entry(name);
    EXPECT_TRUE(a->isEnabled());
    a->trigger();
  };

  trigger("mnuExpImp_1");
  EXPECT_EQ(calls("save").size(), 1);
  EXPECT_TRUE(calls("save").value(0).contains(QStringLiteral("IP_List_")));
  trigger("mnuExpImp_2");
  EXPECT_EQ(calls("open").size(), 1);
  trigger("mnuExpImp_4");
  EXPECT_TRUE(calls("save").value(0).contains(QStringLiteral("DOS_CMD_HIS_")));
  trigger("mnuExpImp_5");
  EXPECT_EQ(calls("open").size(), 1);
  trigger("mnuWebsite");
  EXPECT_EQ(fakes_.launcher->opened.value(0).toStdString(), kWebsite);
  trigger("mnuExport");
  EXPECT_EQ(calls("export"), QStringList({QStringLiteral(" Export|PING")}));
  trigger("mnuOpen");
  EXPECT_EQ(calls("open").size(), 1);

  QGuiApplication::clipboard()->clear();
  trigger("mnuCopy");
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(),
            w().display()->size() * w().display()->devicePixelRatioF());

  trigger("mnuAddS");
  trigger("mnuAddG");
  trigger("munAddR");
  trigger("mnuScanLocalIP");
  w().targetList()->ListIP()->setCurrentRow(singleRow());
  w().targetList()->ListIP()->item(singleRow())->setSelected(true);
  trigger("mnuEdit");
  EXPECT_EQ(dialogs_, QStringList({QStringLiteral("sondrel::FormAddIP"),
                                   QStringLiteral("sondrel::FormAddIPG"),
                                   QStringLiteral("sondrel::FormAddIPR"),
                                   QStringLiteral("sondrel::FormAddIPR"),
                                   QStringLiteral("sondrel::FormAddIP")}));
  fakes_.prompter->answers = {IPrompter::Answer::No};
  trigger("mnuDelete");
  EXPECT_EQ(fakes_.prompter->messages().size(), 1) << "the delete asks first";
  trigger("mnuReset");
  EXPECT_TRUE(w().targetList()->ListIP()->selectedItems().isEmpty());

  // No scan yet: each new-group entry says so.
  for (const char* name : {"mnuAddG2Active", "mnuAddG2Inactive", "mnuAddG2All"}) {
    trigger(name);
    EXPECT_EQ(fakes_.prompter->messages().size(), 1) << name;
  }

  trigger("mnuDos");
  EXPECT_TRUE(find("PictureDOS")->isVisible());
  trigger("mnuCloseAllDOS");
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty()) << "nothing open, nothing to say";
  trigger("mnuDel_1");
  EXPECT_TRUE(fakes_.launcher->opened.last().endsWith(QStringLiteral("Tolvane_DB2.txt")));
  for (const char* name : {"mnuDel_4", "mnuDel_6", "mnuDel_7", "mnuDel_8", "mnuDel_9",
                           "mnuDel_10", "mnuDel_12"}) {
    fakes_.prompter->answers = {IPrompter::Answer::No};
    trigger(name);
    EXPECT_EQ(fakes_.prompter->messages().size(), 1) << name << " asks or tells";
  }
  trigger("mnuDel_2");
  EXPECT_TRUE(fakes_.prompter->calls.isEmpty());

  trigger("mnuHowto");
  ASSERT_NE(w().helpWindow(), nullptr);
  EXPECT_TRUE(w().helpWindow()->isVisible());
  w().helpWindow()->close();
  trigger("mnuAbout");
  ASSERT_EQ(fakes_.prompter->messages().size(), 1);
  EXPECT_EQ(fakes_.prompter->messages()[0].text.section(QLatin1Char('\n'), 0, 0),
            w().windowTitle());

  // The start entries start, Stop stops.
  const auto scansBefore = fakes_.processes->started().size();
  w().targetList()->ListIP()->clearSelection();
  w().targetList()->ListIP()->item(1 - singleRow())->setSelected(true);
  trigger("mnuIpscanner");
  ScanRun& scan = *w().scanPresenter()->scanRun();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scan.scanning() && !scan.launching(); }, 10000));
  EXPECT_GT(fakes_.processes->started().size(), scansBefore);
  stopScan();
  ASSERT_FALSE(HasFatalFailure());
  testing::PingTheseTargets(w(), {"127.0.0.9"});
  trigger("mnuStart");
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes_.icmp->waitForWaiting(1, 0ms); }, 5000));
  EXPECT_TRUE(w().testRunning());
  trigger("mnuStop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));

  trigger("mnuReport");
  ASSERT_NE(w().reportPresenter()->dialog(), nullptr);
  EXPECT_TRUE(w().reportPresenter()->dialog()->isVisible());
  w().reportPresenter()->dialog()->close();
  QTest::mouseClick(w().display()->PingReport(), Qt::LeftButton);
  EXPECT_NE(w().reportPresenter()->dialog(), nullptr) << "the report link opens it too";

  trigger("mnuExit");
  EXPECT_EQ(app_->exits, 1);
}

// The menu's keys reach their entries from anywhere in the window.
TEST_F(FormMainActionsTest, ShortcutKeysTriggerTheirEntries) {
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  const std::pair<QKeySequence, const char*> keys[] = {
      {Qt::Key_F4, "mnuStop"},     {Qt::Key_F6, "mnuExport"},  {Qt::Key_F7, "mnuOpen"},
      {Qt::Key_F8, "mnuDos"},      {Qt::Key_F9, "mnuCopy"},    {Qt::Key_F10, "mnuWebsite"},
      {Qt::Key_F3, "mnuAbout"},    {Qt::Key_F11, "mnuIpscanner"},
      {Qt::Key_F5, "mnuStart"},    {QKeySequence(Qt::CTRL | Qt::Key_Q), "mnuExit"},
      {Qt::Key_F1, "mnuHowto"},
  };
  for (const auto& [key, name] : keys) {
    SCOPED_TRACE(name);
    if (w().helpWindow()) w().helpWindow()->close();
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QSignalSpy spy(entry(name), &QAction::triggered);
    QTest::keySequence(&w(), key);
    EXPECT_EQ(spy.count(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  }
  EXPECT_EQ(app_->exits, 1);
  // Ctrl+Q during a run is refused as Exit is.
  w().activateWindow();
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  QTest::keySequence(&w(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(app_->exits, 1);
  EXPECT_EQ(fakes_.prompter->messages().last().caption.toStdString(), "Test is Running.     ");
  // F4 stops it; Ctrl+R opens the report.
  QTest::keySequence(&w(), Qt::Key_F4);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  QTest::keySequence(&w(), QKeySequence(Qt::CTRL | Qt::Key_R));
  EXPECT_NE(w().reportPresenter()->dialog(), nullptr);
}

// The two pop-ups close on the clicks and hovers of the frame: the
// selected-targets list on the second column and the title line, both on the
// ping panel itself, the time editor on the window's background.
TEST_F(FormMainActionsTest, PopUpsCloseOnTheFramesClicksAndHovers) {
  QWidget* selection = w().targetList()->PictureShowIP();
  QWidget* frameTime = find("FrameTime");
  ASSERT_TRUE(selection && frameTime);
  ResultsDisplay* d = w().display();
  const auto send = [](QWidget* target, QEvent::Type type) {
    if (type == QEvent::Enter) {
      QEvent e(type);
      QApplication::sendEvent(target, &e);
    } else {
      QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
    }
  };

  // Over an address the list only collapses; over the second column the
  // pop-up goes too.
  selection->show();
  w().ExpandTargetList();
  selection->show();
  send(d->sIP[2], QEvent::Enter);
  EXPECT_TRUE(selection->isVisible());
  EXPECT_TRUE(find("Picture1_1")->isVisible()) << "collapsed";
  send(d->sIP2[2], QEvent::Enter);
  EXPECT_FALSE(selection->isVisible());

  selection->show();
  send(d->LabelTittle2(), QEvent::MouseButtonPress);
  EXPECT_FALSE(selection->isVisible());
  selection->show();
  send(d->sIP2[4], QEvent::MouseButtonPress);
  EXPECT_FALSE(selection->isVisible());

  selection->show();
  frameTime->show();
  send(d, QEvent::MouseButtonPress);
  EXPECT_FALSE(selection->isVisible());
  EXPECT_FALSE(frameTime->isVisible());

  frameTime->show();
  send(find("FormMainClient"), QEvent::MouseButtonPress);
  EXPECT_FALSE(frameTime->isVisible());
  frameTime->show();
  send(w().parameterFrame(), QEvent::MouseButtonPress);
  EXPECT_FALSE(frameTime->isVisible());
}

}  // namespace
}  // namespace sondrel
