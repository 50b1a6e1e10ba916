// The IP scan through the real window: the Scan button, the grid as reports
// come in, the finish, the filters, new groups and the local-subnet range.
// Workers are scripted; their reports are handed to the run as the report
// channel would.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/ProcessService_linux.h"
#include "app/AppFixture.h"
#include "core/scan/ScanWire.h"
#include "iplist/ui/FormAddIPG.h"
#include "iplist/ui/IPListEditor.h"
#include "iplist/ui/TargetListPanel.h"
#include "ping/PingRun.h"
#include "ping/ui/ResultsDisplay.h"
#include "scan/ScanRun.h"
#include "scan/ui/ScanPanel.h"
#include "scan/ui/ScanPanelPresenter.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

class FormMainScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    testing::DataFolderWithList(base_, "CR,127.0.0.1,127.0.0.30\r\n \r\n");
    fakes_.network->adapterList = {{"eth0", "192.168.7.23", "255.255.255.0", "", ""}};
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    fakes_.processes->script(w().scanProgramPath(), {{}, 0, true});
  }
  FormMain& w() { return *app_->window; }
  ScanPanel& panel() { return *w().scanPanel(); }
  ScanRun& run() { return *w().scanPresenter()->scanRun(); }
  template <typename T>
  T* find(const char* name) {
    return w().findChild<T*>(QString::fromLatin1(name));
  }
  QString cell(std::array<QLabel*, kScanGridRows>& column, int row) { return column[row]->text(); }
  std::uint32_t colour(int row) {
    return panel().sMS()[row]->palette().color(QPalette::Window).rgb() & 0xFFFFFF;
  }

  // Selects the range and presses "Scan ip"; waits until the workers are out.
  void scanRange() {
    QListWidget* l = w().targetList()->ListIP();
    ASSERT_EQ(l->count(), 1);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
    QTest::mouseClick(find<QPushButton>("Command8"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanning() && !run().launching(); }, 10000));
  }
  void report(const std::string& text) { run().OnCopyData(kReportIdentifier, text); }
  // Ticks until the run says it has finished (bounded).
  void tickToFinish() {
    for (int k = 0; k < 5 && !run().scanFinished(); ++k) run().OnScanTimerTick();
    ASSERT_TRUE(run().scanFinished());
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainScanTest, ThirtyAddressesFillTheGridAndFinishWithTheFiltersShown) {
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(w().findChild<QFrame*>(QStringLiteral("Picture3"))->isVisible());
  EXPECT_EQ(panel().LabelTotal()->text(), QStringLiteral("30"));
  EXPECT_EQ(panel().Text2()->text(), QStringLiteral("Scanning ..."));
  EXPECT_TRUE(w().testRunning());
  EXPECT_FALSE(find<QPushButton>("Command8")->isEnabled());
  EXPECT_FALSE(panel().CmdShowScan()[0]->isVisible());
  // Every address went to a worker, started from an argument vector.
  std::set<long> indexes;
  for (const ProcessStart& how : fakes_.processes->started()) {
    ASSERT_EQ(how.argv.size(), 2u);
    EXPECT_EQ(how.argv[0], w().scanProgramPath());
    for (const ScanPair& p : ParseWorkerCommandLine(how.argv[1]).pairs) indexes.insert(std::stol(p.index));
  }
  EXPECT_EQ(indexes.size(), 30u);
  EXPECT_EQ(*indexes.rbegin(), 29);

  for (int k = 0; k < 10; ++k) report(std::to_string(k) + ",1,64,,");
  run().OnScanTimerTick();
  // The grid follows the newest rows: 30 rows, the last 21 shown.
  EXPECT_EQ(panel().VScroll2()->maximum(), 29);
  EXPECT_EQ(cell(panel().ssTYPE(), 0), QStringLiteral("10."));
  EXPECT_EQ(cell(panel().sMS(), 0), QStringLiteral("1 ms"));
  EXPECT_EQ(colour(0), 0xC0C0FFu);
  EXPECT_EQ(cell(panel().ssIP(), 20), QStringLiteral("127.0.0.30"));
  EXPECT_EQ(cell(panel().sMS(), 20), QStringLiteral("Ping ..."));
  EXPECT_EQ(colour(20), 0xC0C0C0u);
  EXPECT_EQ(panel().LabelActive()->text(), QStringLiteral("10"));

  for (int k = 10; k < 30; ++k) report(std::to_string(k) + ",Dead");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_FALSE(w().testRunning());
  EXPECT_TRUE(find<QPushButton>("Command8")->isEnabled());
  EXPECT_EQ(cell(panel().sMS(), 20), QStringLiteral("Dead"));
  EXPECT_EQ(colour(20), 0x808080u);
  EXPECT_EQ(panel().LabelInactive()->text(), QStringLiteral("20"));
  EXPECT_EQ(panel().Label9()->text(), QStringLiteral("/"));
  for (QPushButton* b : panel().CmdShowScan()) EXPECT_TRUE(b->isVisible());

  QTest::mouseClick(panel().CmdShowScan()[1], Qt::LeftButton);  // Active
  EXPECT_EQ(cell(panel().ssTYPE(), 0), QStringLiteral("1."));
  EXPECT_EQ(cell(panel().ssTYPE(), 9), QStringLiteral("10."));
  EXPECT_EQ(cell(panel().ssTYPE(), 10), QString());
  EXPECT_EQ(colour(10), 0x404040u);
  QTest::mouseClick(panel().CmdShowScan()[2], Qt::LeftButton);  // Inactive
  EXPECT_EQ(cell(panel().ssIP(), 0), QStringLiteral("127.0.0.11"));
  EXPECT_EQ(cell(panel().ssTYPE(), 19), QStringLiteral("20."));
  QTest::mouseClick(panel().CmdShowScan()[0], Qt::LeftButton);  // All, from the first row
  EXPECT_EQ(cell(panel().ssTYPE(), 0), QStringLiteral("1."));
  EXPECT_EQ(cell(panel().ssTYPE(), 20), QStringLiteral("21."));
  panel().VScroll2()->setValue(29);
  EXPECT_EQ(cell(panel().ssTYPE(), 20), QStringLiteral("30."));
}

TEST_F(FormMainScanTest, StopDuringAScanEndsItWithinThreeStopTicks) {
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  report("0,Dead");
  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  EXPECT_TRUE(run().scanStopRequested());
  EXPECT_TRUE(run().timerS3().isActive());
  for (int k = 0; k < 3; ++k) run().OnStopTimerTick();
  run().OnScanTimerTick();
  EXPECT_TRUE(run().scanFinished());
  EXPECT_FALSE(w().testRunning());
  // The records without a report stay pending.
  EXPECT_TRUE(run().fullCopy()[1].pending());
}

TEST_F(FormMainScanTest, ANewGroupFromTheActiveHostsOpensTheGroupDialogWithThem) {
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  report("0,2,64,PRINTSRV,00-1A-2B-3C-4D-5E");
  report("1,3,64,,");
  for (int k = 2; k < 30; ++k) report(std::to_string(k) + ",Dead");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());
  QString members;
  int dialogs = 0;
  w().ipListEditor()->setDialogRunner([&](QDialog& d) {
    ++dialogs;
    auto& f = dynamic_cast<FormAddIPG&>(d);
    members = f.TextIPs()->toPlainText();
    f.Command2()->click();
  });
  w().action(QStringLiteral("mnuAddG2Active"))->trigger();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(members, QStringLiteral("127.0.0.1 (PRINTSRV)\n127.0.0.2"));
}

TEST_F(FormMainScanTest, GroupActionsWarnOnAnEmptyScanOrAnEmptySelection) {
  int dialogs = 0;
  w().ipListEditor()->setDialogRunner([&](QDialog&) { ++dialogs; });
  w().action(QStringLiteral("mnuAddG2All"))->trigger();
  ASSERT_EQ(fakes_.prompter->calls.size(), 1);
  EXPECT_EQ(fakes_.prompter->calls[0].text, QStringLiteral("No IP for add.   "));

  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  for (int k = 0; k < 30; ++k) report(std::to_string(k) + ",Dead");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());
  w().action(QStringLiteral("mnuAddG2Active"))->trigger();
  ASSERT_EQ(fakes_.prompter->calls.size(), 2);
  EXPECT_EQ(fakes_.prompter->calls[1].text, QStringLiteral("No Active IP address to add ...     "));
  EXPECT_EQ(dialogs, 0);
  // "Active" with only dead hosts shows an empty grid.
  QTest::mouseClick(panel().CmdShowScan()[1], Qt::LeftButton);
  EXPECT_EQ(cell(panel().ssTYPE(), 0), QString());
}

TEST_F(FormMainScanTest, LocalSubnetPresetsTheRangeDialog) {
  QString first;
  QString last;
  w().ipListEditor()->setDialogRunner([&](QDialog& d) {
    first = d.findChild<QLineEdit*>(QStringLiteral("TextIP"))->text();
    last = d.findChild<QLineEdit*>(QStringLiteral("TextIP2"))->text();
    d.reject();
  });
  w().action(QStringLiteral("mnuScanLocalIP"))->trigger();
  EXPECT_EQ(first, QStringLiteral("192.168.7.0"));
  EXPECT_EQ(last, QStringLiteral("192.168.7.255"));
}

// The scan's timers end with it and never touch a ping run: Ping after a
// stopped scan runs until Stop, and during the stop ticks it is refused.
TEST_F(FormMainScanTest, APingRunStartedAfterAStoppedScanKeepsGoingUntilStop) {
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  // Short ticks, so that a stop timer left running would tick often here.
  run().timerS1().setInterval(10);
  run().timerS3().setInterval(30);
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  for (int k = 0; k < 30; ++k) report(std::to_string(k) + ",Dead");
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().scanFinished(); }, 5000));
  EXPECT_FALSE(run().timerS3().isActive());
  ASSERT_TRUE(find<QPushButton>("CommandStart")->isEnabled());

  QTest::mouseClick(find<QPushButton>("CommandStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 1; }, 5000));
  // Many stop-timer intervals later the run still goes, the start buttons off.
  EXPECT_FALSE(QTest::qWaitFor([&] { return !w().testRunning(); }, 700));
  EXPECT_FALSE(find<QPushButton>("CommandStart")->isEnabled());
  EXPECT_FALSE(find<QPushButton>("Command8")->isEnabled());
  EXPECT_FALSE(w().Form_QueryUnload());
  const qint64 rows = w().pingRun()->rowCount();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() > rows; }, 5000));

  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 5000));
  EXPECT_TRUE(w().display()->PingReport()->isVisibleTo(w().display()));
  EXPECT_TRUE(find<QPushButton>("Command8")->isEnabled());
}

// The scan and the ping run each keep their own state; the window is busy
// while either goes.
TEST_F(FormMainScanTest, AScanLeavesThePingRunIdleAndRefusesItsStarts) {
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  std::vector<RunState> states;
  QObject::connect(w().pingRun(), &PingRun::stateChanged, [&](RunState s) { states.push_back(s); });
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(w().testRunning());
  EXPECT_EQ(w().pingRun()->state(), RunState::Idle);
  w().CommandStart_Click();
  QTest::qWait(50);
  EXPECT_TRUE(states.empty());
  for (int k = 0; k < 30; ++k) report(std::to_string(k) + ",1,64,,");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_FALSE(w().testRunning());
  EXPECT_TRUE(states.empty()) << "the scan touched the ping run";
}

TEST_F(FormMainScanTest, PingIsRefusedFromStopUntilTheStoppedScanHasEnded) {
  testing::PingTheseTargets(w(), {"127.0.0.1"});
  QSignalSpy preparing(w().pingRun(), &PingRun::runPreparing);
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  run().timerS3().setInterval(300);
  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  const int left = run().timerS3().remainingTime();
  QTest::qWait(20);
  // A second Stop leaves the end where the first one put it: started again,
  // the stop timer would have its whole interval left.
  QTest::mouseClick(find<QPushButton>("CommandStop"), Qt::LeftButton);
  EXPECT_LT(run().timerS3().remainingTime(), left);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run().stopTicks() == 1; }, 5000));
  run().OnStopTimerTick();
  EXPECT_TRUE(w().testRunning());
  EXPECT_FALSE(find<QPushButton>("CommandStart")->isEnabled());
  w().action(QStringLiteral("mnuStart"))->trigger();
  w().CommandStart_Click();
  EXPECT_EQ(preparing.count(), 0);

  run().OnStopTimerTick();
  run().OnScanTimerTick();
  ASSERT_TRUE(run().scanFinished());
  EXPECT_FALSE(w().testRunning());
  EXPECT_TRUE(find<QPushButton>("CommandStart")->isEnabled());
  EXPECT_TRUE(w().Form_QueryUnload());
}

TEST_F(FormMainScanTest, AScanStartClearsTheTitleLine) {
  w().display()->LabelTittle2()->setText(QStringLiteral("Previous Ping Test Result"));
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(w().display()->LabelTittle2()->text(), QString());
}

// The neighbour-table command missing: the command runner's message box
// carries the program's title.
TEST(FormMainScanCommandRunner, ItsMessageCarriesTheProgramsTitle) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::DataFolderWithList(base, "CR,127.0.0.1,127.0.0.3\r\n \r\n");
  testing::FakeServices fakes;
  fakes.processes = std::make_shared<fakes::FakeProcessService>();  // no "ip" program
  testing::MainWindowUnderTest app(base.path().toStdString(), fakes);
  FormMain& w = *app.window;
  w.Form_Load();
  fakes.processes->script(w.scanProgramPath(), {{}, 0, true});
  QListWidget* l = w.targetList()->ListIP();
  QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
  ScanRun& run = *w.scanPresenter()->scanRun();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.scanning() && !run.launching(); }, 10000));
  for (int k = 0; k < 3; ++k) run.OnCopyData(kReportIdentifier, std::to_string(k) + ",Dead");
  for (int k = 0; k < 5 && !run.scanFinished(); ++k) run.OnScanTimerTick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes.prompter->calls.isEmpty(); }, 5000));
  ASSERT_EQ(fakes.prompter->calls.size(), 1);
  EXPECT_EQ(fakes.prompter->calls[0].text, QStringLiteral("File or command not found"));
  EXPECT_EQ(fakes.prompter->calls[0].caption, QStringLiteral("Sondrel"));
  EXPECT_EQ(fakes.prompter->calls[0].icon, IPrompter::Icon::Critical);
}

// The whole road: the worker carried in the program, written to the data
// folder, started for real, its reports read from the channel into the grid.
TEST(FormMainRealScan, ALoopbackRangeFillsTheGridLiveAndFinishesWithOk) {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1")
    SONDREL_SKIP_MISSING("needs the private test namespace (echoes and name lookups)");
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  testing::DataFolderWithList(base, "CLoopback,127.0.0.1,127.0.0.60\r\n \r\n");
  testing::FakeServices fakes;
  WindowServices services = fakes.services();
  services.processes = MakeProcessService();
  FormMain w(services, base.path().toStdString());
  w.setExitHandler([] {});
  w.Form_Load();
  QListWidget* l = w.targetList()->ListIP();
  QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command8")), Qt::LeftButton);
  ScanRun& run = *w.scanPresenter()->scanRun();
  ScanPanel& panel = *w.scanPanel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.scanFinished(); }, 30000));
  EXPECT_EQ(panel.Text2()->text(), QStringLiteral("OK"));
  EXPECT_EQ(panel.LabelTotal()->text(), QStringLiteral("60"));
  EXPECT_EQ(panel.LabelActive()->text(), QStringLiteral("60"));
  EXPECT_EQ(panel.LabelInactive()->text(), QStringLiteral("0"));
  EXPECT_EQ(panel.sTTL()[20]->text(), QStringLiteral("64"));
  EXPECT_TRUE(panel.sMS()[20]->text().endsWith(QStringLiteral(" ms")));
  EXPECT_TRUE(panel.CmdShowScan()[3]->isVisible());
  if (const char* shot = std::getenv("SONDREL_SCAN_SCREENSHOT")) w.grab().save(QString::fromLocal8Bit(shot));
}

}  // namespace
}  // namespace sondrel

namespace sondrel {
namespace {

TEST_F(FormMainScanTest, AFinishedScanTakesMissingMacsFromTheNeighbourTable) {
  fakes_.processes->script(
      "ip", {{QByteArray("127.0.0.2 dev lo lladdr 00:1a:2b:3c:4d:5e REACHABLE\n"
                         "127.0.0.3 dev lo  FAILED\n")},
             0});
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  report("0,1,64,,00-11-22-33-44-55");
  report("1,1,64,,");
  report("2,1,64,,");
  for (int k = 3; k < 30; ++k) report(std::to_string(k) + ",Dead");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());

  ASSERT_TRUE(QTest::qWaitFor([&] { return run().fullCopy()[1].mac != ""; }, 5000));
  // The grid's first rows, scrolled back to the top.
  panel().VScroll2()->setValue(1);
  panel().VScroll2()->setValue(0);
  EXPECT_EQ(cell(panel().sMAC(), 0), QStringLiteral("00-11-22-33-44-55"));  // the worker's stays
  EXPECT_EQ(cell(panel().sMAC(), 1), QStringLiteral("00-1A-2B-3C-4D-5E"));
  EXPECT_EQ(cell(panel().sMAC(), 2), QString());
  // The export reads the completed table too.
  EXPECT_EQ(w().scanPresenter()->scanTable()[1].mac, "00-1A-2B-3C-4D-5E");
  bool askedTheTable = false;
  for (const ProcessStart& how : fakes_.processes->started())
    if (!how.argv.empty() && how.argv.front() == "ip") askedTheTable = true;
  EXPECT_TRUE(askedTheTable);
  EXPECT_TRUE(fakes_.prompter->messages().isEmpty());
}

TEST_F(FormMainScanTest, ABusyNeighbourTableIsReadWholeForTheMacs) {
  // A table of 2,000 other neighbours, and the scanned hosts after them,
  // in the runner's pieces of 256 bytes.
  QByteArray table;
  for (int k = 0; k < 2000; ++k)
    table += QByteArray("10.9.") + QByteArray::number(k / 250) + "." + QByteArray::number(k % 250 + 1) +
             " dev eth0 lladdr 02:00:00:00:" + QByteArray::number(k / 250).rightJustified(2, '0') + ":" +
             QByteArray::number(k % 100).rightJustified(2, '0') + " STALE\n";
  for (int k = 1; k <= 30; ++k)
    table += QByteArray("127.0.0.") + QByteArray::number(k) + " dev lo lladdr 00:1a:2b:3c:4d:" +
             QByteArray::number(k).rightJustified(2, '0') + " REACHABLE\n";
  std::vector<QByteArray> pieces;
  for (qsizetype at = 0; at < table.size(); at += 256) pieces.push_back(table.mid(at, 256));
  ASSERT_GT(pieces.size(), 300u);
  fakes_.processes->script("ip", {pieces, 0});
  scanRange();
  ASSERT_FALSE(HasFatalFailure());
  for (int k = 0; k < 30; ++k) report(std::to_string(k) + ",1,64,,");
  tickToFinish();
  ASSERT_FALSE(HasFatalFailure());

  ASSERT_TRUE(QTest::qWaitFor([&] { return run().fullCopy()[29].mac != ""; }, 10000));
  for (int k = 0; k < 30; ++k) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "00-1A-2B-3C-4D-%02d", k + 1);
    EXPECT_EQ(run().fullCopy()[static_cast<std::size_t>(k)].mac, mac) << k;
  }
  EXPECT_EQ(cell(panel().sMAC(), 20), QStringLiteral("00-1A-2B-3C-4D-30"));
}

}  // namespace
}  // namespace sondrel
