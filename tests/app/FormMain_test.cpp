#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/AppFixture.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/ui/ResultsDisplay.h"

namespace sondrel {
namespace {

using testing::MainWindowUnderTest;

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    app_ = std::make_unique<MainWindowUnderTest>(base_.path().toStdString());
    app_->window->Form_Load();
  }
  FormMain& w() { return *app_->window; }
  // A ping run of one target that answers at once, going until Stop.
  void startRun() {
    testing::PingTheseTargets(w(), {"127.0.0.1"});
    w().action(QStringLiteral("mnuStart"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->state() == RunState::Running; }, 5000));
  }
  void stopRun() {
    w().action(QStringLiteral("mnuStop"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  }
  template <typename T>
  T* find(const char* name) {
    return w().findChild<T*>(QString::fromLatin1(name));
  }

  QTemporaryDir base_;
  std::unique_ptr<MainWindowUnderTest> app_;
};

TEST_F(FormMainTest, CaptionIsTheProductTitleAndVersion) {
  EXPECT_EQ(w().windowTitle().toStdString(), " Network Connectivity Tester & Logger  8.23");
  EXPECT_TRUE(w().isVisible());
}

TEST_F(FormMainTest, DataFilesLieInTheDataFolder) {
  const std::string folder = base_.path().toStdString() + "/SondrelDataBas/";
  EXPECT_EQ(w().dataFolder(), folder);
  EXPECT_EQ(w().ipListFile(), folder + "Tolvane_DB.txt");
  EXPECT_EQ(w().commandHistoryFile(), folder + "Tolvane_DB2.txt");
  EXPECT_EQ(w().scanProgramPath(), folder + "PingIPscan2008112");
}

TEST_F(FormMainTest, CloseIsRefusedWhileATestRunsAndAcceptedAfter) {
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_FALSE(w().close());
  EXPECT_TRUE(w().isVisible());
  EXPECT_EQ(app_->exits, 0);
  const auto messages = app_->fakes.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].text.toStdString(), "Please click 'Stop' button to stop the testing first.");
  EXPECT_EQ(messages[0].caption.toStdString(), "Test is Running.     ");
  EXPECT_EQ(messages[0].icon, IPrompter::Icon::Information);
  EXPECT_EQ(messages[0].buttons, IPrompter::Buttons::Ok);

  stopRun();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(w().close());
  EXPECT_EQ(app_->exits, 1);
  EXPECT_EQ(app_->fakes.prompter->messages().size(), 1) << "no question after Stop";
}

TEST_F(FormMainTest, ExitFromTheMenuIsRefusedWhileATestRuns) {
  QAction* exit = w().action(QStringLiteral("mnuExit"));
  ASSERT_NE(exit, nullptr);
  startRun();
  ASSERT_FALSE(HasFatalFailure());
  exit->trigger();
  EXPECT_EQ(app_->exits, 0);
  ASSERT_EQ(app_->fakes.prompter->messages().size(), 1);
  EXPECT_EQ(app_->fakes.prompter->messages()[0].caption.toStdString(), "Test is Running.     ");
  stopRun();
  ASSERT_FALSE(HasFatalFailure());
  exit->trigger();
  EXPECT_EQ(app_->exits, 1);
}

struct MenuEntry {
  const char* name;
  const char* caption;
  const char* key;
};

TEST_F(FormMainTest, MenuEntriesCarryTheirCaptionsAndKeys) {
  const MenuEntry entries[] = {
      {"mnuExpImp_1", "Export IP List", ""},
      {"mnuExpImp_5", "Import DOS Command History", ""},
      {"mnuWebsite", "Goto Our Website", "F10"},
      {"mnuExit", "E&xit", "Ctrl+Q"},
      {"mnuStart", "Start", "F5"},
      {"mnuIpscanner", "Scan IP", "F11"},
      {"mnuStop", "S&top", "F4"},
      {"mnuExport", "&Export", "F6"},
      {"mnuOpen", "O&pen", "F7"},
      {"mnuCopy", "&Copy Screen", "F9"},
      {"mnuReport", "Open Summary Report", "Ctrl+R"},
      {"mnuRuns", "Archived &Runs...", "Ctrl+H"},
      {"mnuMonitor", "&Monitor...", "Ctrl+M"},
      {"mnuAlerts", "&Alert Rules...", ""},
      {"munAddR", "Add a range of IP addresses", ""},
      {"mnuEdit", "Edit the seleted item", ""},
      {"mnuDelete", "Detete the seleted item", ""},
      {"mnuScanLocalIP", "Scan local subnet and save the ip addresses", ""},
      {"mnuAddG2Inactive", "Add Inactive IP to a New IP Group", ""},
      {"mnuReset", "Reset all checked Checkbox", ""},
      {"mnuDos", "DOS Commands", "F8"},
      {"mnuCloseAllDOS", "Close All Opening DOS Forms", ""},
      {"mnuDel_1", "Edit the DOS commands list use Notepad", ""},
      {"mnuDel_9", "Delete all except the last 50 records", ""},
      {"mnuDel_12", "Delete all history records", ""},
      {"mnuHowto", "&How to Use ?", "F1"},
      {"mnuAbout", "&About", "F3"},
  };
  for (const MenuEntry& e : entries) {
    SCOPED_TRACE(e.name);
    QAction* a = find<QAction>(e.name);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text().toStdString(), e.caption);
    EXPECT_EQ(a->shortcut().toString().toStdString(), e.key);
  }
  for (const char* separator : {"mnuExpImp_3", "mnu005", "mnu8099", "mnuDel_0", "mnuDel_13"}) {
    QAction* a = find<QAction>(separator);
    ASSERT_NE(a, nullptr) << separator;
    EXPECT_TRUE(a->isSeparator()) << separator;
  }
  const char* menus[][2] = {{"mnuFile", "&File"}, {"mnuOperate", "&Operate"}, {"mnuIPList", "&IP"},
                            {"mnuUtility", "&Utility"}, {"mnuHelp", "&Help"},
                            {"mnuDeleteDos", "Delete DOS Run History"},
                            {"mnuAddG2", "Add the scanned IP to a new IP Group"}};
  for (const auto& m : menus) {
    QMenu* menu = find<QMenu>(m[0]);
    ASSERT_NE(menu, nullptr) << m[0];
    EXPECT_EQ(menu->title().toStdString(), m[1]);
  }
}

TEST_F(FormMainTest, ButtonsAndMenuEntriesShareOneAction) {
  QAction* copy = w().action(QStringLiteral("mnuCopy"));
  QSignalSpy triggered(copy, &QAction::triggered);
  QTest::mouseClick(find<QPushButton>("Command2"), Qt::LeftButton);
  QTest::mouseClick(find<QToolButton>("Command7"), Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 2);
  EXPECT_EQ(find<QPushButton>("Command2")->toolTip().toStdString(),
            "Copy the test result screen to clipboard");
  // Greying the entry greys both of its buttons, and they come back with it:
  // a button wired to the entry by a signal alone would stay as it was.
  QAction* exportAction = w().action(QStringLiteral("mnuExport"));
  ASSERT_TRUE(exportAction->isEnabled());
  exportAction->setEnabled(false);
  EXPECT_FALSE(find<QPushButton>("CommandExport")->isEnabled());
  EXPECT_FALSE(find<QToolButton>("Command5")->isEnabled());
  exportAction->setEnabled(true);
  EXPECT_TRUE(find<QPushButton>("CommandExport")->isEnabled());
  EXPECT_TRUE(find<QToolButton>("Command5")->isEnabled());
}

TEST_F(FormMainTest, PanelSwitching) {
  auto* ping = find<QWidget>("Picture2");
  auto* scan = find<QWidget>("Picture3");
  auto* dos = find<QWidget>("PictureDOS");
  ASSERT_TRUE(ping && scan && dos);
  EXPECT_TRUE(ping->isVisible());
  EXPECT_FALSE(scan->isVisible());
  EXPECT_EQ(scan->pos(), QPoint(8, 184));

  QTest::mouseClick(find<QToolButton>("Image2"), Qt::LeftButton);
  EXPECT_FALSE(ping->isVisible());
  EXPECT_TRUE(scan->isVisible());
  EXPECT_TRUE(find<QLineEdit>("Text402")->hasFocus() || !QApplication::focusWindow());

  w().ShowDosPanel();
  EXPECT_TRUE(dos->isVisible());
  EXPECT_EQ(dos->pos(), QPoint(363, 188));
  QTest::mouseClick(find<QToolButton>("Image1"), Qt::LeftButton);
  EXPECT_TRUE(ping->isVisible());
  EXPECT_FALSE(scan->isVisible());
  EXPECT_FALSE(dos->isVisible());
}

TEST_F(FormMainTest, TargetListExpandsAndCollapses) {
  auto* box = find<QWidget>("Picture1_0");
  auto* expand = find<QToolButton>("Picture1_1");
  auto* collapse = find<QToolButton>("Picture1_2");
  ASSERT_TRUE(box && expand && collapse);
  EXPECT_EQ(box->height(), (1695 + 7) / 15);
  EXPECT_TRUE(expand->isVisible());
  EXPECT_FALSE(collapse->isVisible());
  EXPECT_EQ(expand->toolTip().toStdString(), "Maximize the IP Listbox");

  QWidget* popup = w().targetList()->PictureShowIP();
  popup->show();
  QTest::mouseClick(expand, Qt::LeftButton);
  EXPECT_EQ(box->height(), (7090 + 7) / 15);
  EXPECT_FALSE(popup->isVisible()) << "expanding closes the selected-targets pop-up";
  EXPECT_FALSE(expand->isVisible());
  EXPECT_TRUE(collapse->isVisible());

  // Moving over a result row collapses it again.
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(w().display()->sIP[5], &enter);
  EXPECT_EQ(box->height(), (1695 + 7) / 15);
  EXPECT_TRUE(expand->isVisible());
}

TEST_F(FormMainTest, CopyScreenPutsTheVisibleResultsPanelOnTheClipboard) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  w().ShowDosPanel();  // in front, but the ping panel beneath is what is copied
  w().action(QStringLiteral("mnuCopy"))->trigger();
  const QImage image = clipboard->image();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), w().display()->size() * w().display()->devicePixelRatioF());

  w().ShowScanPanel();
  w().CopyScreen();
  EXPECT_EQ(clipboard->image().size(), find<QWidget>("Picture3")->size());

  find<QWidget>("Picture3")->hide();
  w().CopyScreen();
  EXPECT_TRUE(clipboard->image().isNull()) << "nothing to copy leaves the clipboard empty";
}

TEST_F(FormMainTest, WebsiteAndAbout) {
  w().action(QStringLiteral("mnuWebsite"))->trigger();
  QTest::mouseClick(w().display()->LabelWebsite(), Qt::LeftButton);
  EXPECT_EQ(app_->fakes.launcher->opened,
            QStringList({QString::fromLatin1(kWebsite), QString::fromLatin1(kWebsite)}));

  w().action(QStringLiteral("mnuAbout"))->trigger();
  const auto messages = app_->fakes.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].text.split(QLatin1Char('\n')).front(), w().windowTitle());
  EXPECT_EQ(messages[0].icon, IPrompter::Icon::Information);
}

TEST_F(FormMainTest, ActivationPlacesTheWindowAndResetsTheListButtons) {
  w().ExpandTargetList();
  w().Form_Activate();
  EXPECT_TRUE(find<QToolButton>("Picture1_1")->isVisible());
  EXPECT_FALSE(find<QToolButton>("Picture1_2")->isVisible());
  const QRect screen = w().screen()->availableGeometry();
  const QRect frame = w().frameGeometry();
  EXPECT_NEAR(frame.left(), screen.x() + (screen.width() - frame.width()) / 2, 1);
  EXPECT_NEAR(frame.top(),
              std::max(screen.y(), screen.y() + (screen.height() - frame.height()) / 2 - 6), 1);
}

TEST(FormMainIcmp, TellsOnceHowToAllowIcmpWhenNoSocketOpens) {
  QTemporaryDir base;
  testing::FakeServices fakes;
  fakes.icmp->setAvailable(false, "Allow ICMP with: sudo setcap cap_net_raw+ep sondrel");
  MainWindowUnderTest app(base.path().toStdString(), fakes);
  app.window->Form_Load();
  const auto messages = fakes.prompter->messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].text.contains(QStringLiteral("sudo setcap cap_net_raw+ep sondrel")));
}

}  // namespace
}  // namespace sondrel
