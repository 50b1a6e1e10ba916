// Alerts of the window's runs, through the real main window with the fake
// carrier, clock, desktop and programs: an outage told as it begins and
// ends, a flapping target folded into one alert, the alert log, the rule's
// command with the alert in its environment, and the monitor's alert line
// when the desktop has no notification service.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "settings/UserSettings.h"
#include "alerts/AlertCenter.h"
#include "alerts/ui/AlertLogModel.h"
#include "alerts/ui/AlertRulesDialog.h"
#include "alerts/ui/AlertsPresenter.h"
#include "app/AppFixture.h"
#include "archive/ArchiveRecorder.h"
#include "archive/RunArchive.h"
#include "monitor/ui/MonitorPresenter.h"
#include "monitor/ui/MonitorWindow.h"
#include "ping/PingRun.h"
#include "ping/ui/ParameterFrame.h"

namespace sondrel {
namespace {

using Script = fakes::FakeIcmpCarrier::Script;
const Script kOk{0, 450, 64}, kLost{11010, 0, 0};

class FormMainAlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    // One outage rule for every target, told on the desktop and to a
    // program of the user's.
    AlertSettings settings;
    AlertRuleSettings outage;
    outage.rule.name = "any outage";
    outage.command = {"/usr/local/bin/page-me", "--quiet"};
    settings.rules.push_back(outage);
    WriteAlertSettings(settings);
    fakes_.processes->script("/usr/local/bin/page-me", {{"paged\n"}, 0});
    fakes_.icmp->script("127.0.0.1", kOk);
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    w().Form_Load();
    testing::ChooseFastestInterval(w());
  }
  void TearDown() override {
    app_.reset();
    UserSettings()
        .remove(QStringLiteral("alerts"));
  }
  FormMain& w() { return *app_->window; }
  std::string ArchivePath() const { return base_.path().toStdString() + "/SondrelDataBas/" + kArchiveFile; }
  void RunOf(int pings) { ASSERT_TRUE(testing::PingThroughTheButton(w(), {"127.0.0.1", "127.0.0.9"}, pings)); }
  std::string Env(std::size_t start, const std::string& name) {
    for (const auto& [k, v] : fakes_.processes->started().at(start).environment)
      if (k == name) return v;
    return "(missing)";
  }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainAlertsTest, AnOutageIsToldAsItBeginsAndEndsAndAFlappingTargetIsFoldedIntoOneAlert) {
  // 127.0.0.9: down and up (one outage), then down, up, down and up again
  // within the minimum interval (the fake clock stands still).
  fakes_.icmp->scriptEach("127.0.0.9", {kOk, kLost, kLost, kLost, kOk, kLost, kLost, kLost, kOk, kLost, kLost,
                                        kLost, kOk, kOk});
  RunOf(14);
  const std::vector<DesktopNotification>& sent = fakes_.notifier->sent;
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].summary, QStringLiteral("127.0.0.9 is down"));
  EXPECT_TRUE(sent[0].critical);
  EXPECT_TRUE(sent[0].body.contains(QStringLiteral("since 14:05:09"))) << sent[0].body.toStdString();
  EXPECT_EQ(sent[1].summary, QStringLiteral("127.0.0.9 is up again"));
  EXPECT_FALSE(sent[1].critical);
  // Held by the interval, then told at the run's end: the state then, with
  // the three changes before it folded in.
  EXPECT_EQ(sent[2].summary, QStringLiteral("127.0.0.9 is up again"));
  EXPECT_TRUE(sent[2].body.contains(QStringLiteral("3 earlier changes folded into this alert")))
      << sent[2].body.toStdString();

  // The alert log, with the command's end once it came.
  AlertLogModel& log = *w().alertsPresenter()->log();
  ASSERT_EQ(log.rowCount(), 3);
  EXPECT_EQ(log.index(0, AlertLogModel::Event).data().toString(), QStringLiteral("outage-start"));
  EXPECT_EQ(log.index(2, AlertLogModel::Event).data().toString(), QStringLiteral("outage-end (+3)"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.index(2, AlertLogModel::Command).data().toString() == QStringLiteral("exit 0"); }, 5000));
  EXPECT_EQ(log.index(0, AlertLogModel::Desktop).data().toString(), QStringLiteral("shown"));

  // The rule's program, without a shell, with the alert in its environment.
  ASSERT_EQ(fakes_.processes->started().size(), 3u);
  EXPECT_EQ(fakes_.processes->started()[0].argv, (std::vector<std::string>{"/usr/local/bin/page-me", "--quiet"}));
  EXPECT_EQ(Env(0, "SONDREL_EVENT"), "outage-start");
  EXPECT_EQ(Env(0, "SONDREL_TARGET"), "127.0.0.9");
  EXPECT_EQ(Env(0, "SONDREL_ADDRESS"), "127.0.0.9");
  EXPECT_EQ(Env(1, "SONDREL_EVENT"), "outage-end");
  EXPECT_EQ(Env(2, "SONDREL_FOLDED"), "3");

  // Kept with the run in the archive, with the command's end.
  ASSERT_NE(w().archiveRecorder(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (!w().archiveRecorder()->waitIdle(1000)) return false;
        auto a = RunArchive::open(SystemFiles(), ArchivePath(), ArchiveAccess::ReadOnly);
        if (!a) return false;
        auto kept = a.value()->alertsOf(1);
        return kept && kept.value().size() == 3 && kept.value()[2].exitStatus == 0;
      },
      10000));
  {
    auto a = RunArchive::open(SystemFiles(), ArchivePath(), ArchiveAccess::ReadOnly);
    ASSERT_TRUE(a);
    const std::vector<ArchivedAlert> kept = a.value()->alertsOf(1).value();
    EXPECT_EQ(kept[0].event, "outage-start");
    EXPECT_EQ(kept[0].address, "127.0.0.9");
    EXPECT_EQ(kept[2].folded, 3);
    EXPECT_EQ(kept[2].summary, "127.0.0.9 is up again");
  }

  // The log is in the monitor window beside the outages; Show on the first
  // notification opens it on that target.
  fakes_.notifier->chooseShow(0);
  MonitorWindow* mw = w().monitorPresenter()->window();
  ASSERT_NE(mw, nullptr);
  EXPECT_TRUE(mw->isVisible());
  EXPECT_EQ(mw->alerts()->model()->rowCount(), 3);
  EXPECT_EQ(w().monitorPresenter()->chartedTargets(), std::vector<std::uint32_t>{1});
}

TEST_F(FormMainAlertsTest, WithoutANotificationServiceTheAlertIsToldOnTheMonitorsAlertLine) {
  fakes_.notifier->shows = false;
  fakes_.icmp->scriptEach("127.0.0.9", {kOk, kLost, kLost, kLost, kLost});
  RunOf(5);
  ASSERT_EQ(fakes_.notifier->sent.size(), 1u) << "an outage the run's end closed is no target coming back";
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().alertsPresenter()->log()->rowCount() == 1; }, 5000));
  w().monitorPresenter()->showWindow();
  MonitorWindow* mw = w().monitorPresenter()->window();
  ASSERT_TRUE(QTest::qWaitFor([&] { return mw->alertLine()->text().startsWith(QStringLiteral("127.0.0.9 is down")); }, 5000))
      << mw->alertLine()->text().toStdString();
  EXPECT_EQ(w().alertsPresenter()->overall(), AlertsPresenter::Overall::SomeLossy)
      << "4 of 5 lost; the outage itself closed with the run";
}

TEST_F(FormMainAlertsTest, ARuleNamingAGroupWatchesTheTargetsThatCameFromIt) {
  AlertSettings settings;
  AlertRuleSettings office;
  office.rule.name = "office";
  office.rule.targets = {"office"};
  settings.rules.push_back(office);
  w().alertCenter()->setSettings(settings);
  // 127.0.0.1 typed alone, 127.0.0.9 and 127.0.0.8 from the group "office";
  // the two of the group and the one alone all go down.
  w().pingRun()->setTargetSource([] {
    RunTargets t;
    t.addresses = t.labels = {"127.0.0.1", "127.0.0.9", "127.0.0.8"};
    t.groups = {{1, 2, "office"}};
    return t;
  });
  for (const char* a : {"127.0.0.1", "127.0.0.9", "127.0.0.8"}) fakes_.icmp->script(a, kLost);
  w().parameterFrame()->comboTimes()->setEditText(QStringLiteral("4"));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().testRunning(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  std::vector<QString> told;
  for (const DesktopNotification& n : fakes_.notifier->sent) told.push_back(n.summary);
  EXPECT_EQ(told, (std::vector<QString>{QStringLiteral("127.0.0.9 is down"), QStringLiteral("127.0.0.8 is down")}));
}

// A monitor window of one minute, and a clock that moves 10 s a pass: the
// window slides over the run as a real one would.
class FormMainLossAlertsTest : public FormMainAlertsTest {
 protected:
  void SetUp() override {
    UserSettings().setValue(QStringLiteral("monitor/window_minutes"), 1);
    FormMainAlertsTest::SetUp();
    fakes_.icmp->onEachBatch([clock = fakes_.clock, passes = 0]() mutable {
      const int s = 5 * 60 + 9 + 10 * ++passes;
      clock->set({2026, 3, 7, 14 + s / 3600, s / 60 % 60, s % 60, 0});
    });
  }
  void TearDown() override {
    FormMainAlertsTest::TearDown();
    UserSettings().remove(QStringLiteral("monitor"));
  }
};

TEST_F(FormMainLossAlertsTest, LossIsToldOnceAsItCrossesUpNotAgainWhileItStaysAndOnceAsItClears) {
  AlertSettings settings;
  AlertRuleSettings loss;
  loss.rule.name = "lossy";
  loss.rule.kind = AlertKind::Loss;
  loss.rule.raisePercent = 30;
  loss.rule.clearPercent = 10;
  settings.rules.push_back(loss);
  w().alertCenter()->setSettings(settings);
  // Six passes answered, six lost (the window of six or seven passes goes to
  // half lost and then to all), then eight answered: it slides back to none.
  std::vector<Script> steps(6, kOk);
  steps.insert(steps.end(), 6, kLost);
  steps.insert(steps.end(), 8, kOk);
  fakes_.icmp->scriptEach("127.0.0.9", steps);
  RunOf(20);
  std::vector<QString> told;
  for (const DesktopNotification& n : fakes_.notifier->sent) told.push_back(n.summary);
  ASSERT_EQ(told.size(), 2u) << (told.empty() ? std::string() : told[0].toStdString());
  EXPECT_TRUE(told[0].startsWith(QStringLiteral("127.0.0.9 loses "))) << told[0].toStdString();
  EXPECT_EQ(told[1], QStringLiteral("127.0.0.9's loss is down to 0.0 %"));
  // Raised at two of six lost, cleared ten passes of 10 s later.
  EXPECT_TRUE(fakes_.notifier->sent[1].body.contains(QStringLiteral("after 1 min 40 s above the threshold")))
      << fakes_.notifier->sent[1].body.toStdString();
  AlertLogModel& log = *w().alertsPresenter()->log();
  ASSERT_EQ(log.rowCount(), 2);
  EXPECT_EQ(log.index(0, AlertLogModel::Event).data().toString(), QStringLiteral("loss"));
  EXPECT_EQ(log.index(1, AlertLogModel::Event).data().toString(), QStringLiteral("loss-clear"));
  EXPECT_EQ(log.index(0, AlertLogModel::Rule).data().toString(), QStringLiteral("lossy"));
}

TEST_F(FormMainAlertsTest, TheRulesDialogChecksEachRowKeepsTheRulesAndAppliesThemAtOnce) {
  w().action(QStringLiteral("mnuAlerts"))->trigger();
  AlertRulesDialog* dialog = w().alertsPresenter()->rulesDialog();
  ASSERT_NE(dialog, nullptr);
  QTableWidget* table = dialog->table();
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, AlertRulesDialog::Name)->text(), QStringLiteral("any outage"));
  EXPECT_EQ(table->item(0, AlertRulesDialog::Command)->text(), QStringLiteral("/usr/local/bin/page-me --quiet"));

  QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("AlertRuleAdd")), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 2);
  static_cast<QComboBox*>(table->cellWidget(1, AlertRulesDialog::Kind))->setCurrentIndex(1);  // loss
  table->item(1, AlertRulesDialog::Name)->setText(QStringLiteral("office loss"));
  table->item(1, AlertRulesDialog::Raise)->setText(QStringLiteral("5"));
  table->item(1, AlertRulesDialog::Clear)->setText(QStringLiteral("20"));
  table->item(1, AlertRulesDialog::Targets)->setText(QStringLiteral("router, 127.0.0.9"));
  table->item(1, AlertRulesDialog::Command)->setText(QStringLiteral("/bin/logger -t \"sondrel alert\""));
  dialog->accept();
  ASSERT_FALSE(fakes_.prompter->messages().isEmpty());
  EXPECT_EQ(fakes_.prompter->messages().back().text,
            QStringLiteral("Rule 2: \"Clears at\" must be a number from 0 up to \"Fires at\"."));
  EXPECT_TRUE(dialog->isVisible()) << "nothing kept until every row is right";
  EXPECT_EQ(ReadAlertSettings().rules.size(), 1u);

  table->item(1, AlertRulesDialog::Clear)->setText(QStringLiteral("2"));
  dialog->accept();
  const AlertSettings kept = ReadAlertSettings();
  ASSERT_EQ(kept.rules.size(), 2u);
  EXPECT_EQ(kept.rules[1].rule.kind, AlertKind::Loss);
  EXPECT_DOUBLE_EQ(kept.rules[1].rule.raisePercent, 5);
  EXPECT_DOUBLE_EQ(kept.rules[1].rule.clearPercent, 2);
  EXPECT_EQ(kept.rules[1].rule.targets, (std::vector<std::string>{"router", "127.0.0.9"}));
  EXPECT_EQ(kept.rules[1].command, (std::vector<std::string>{"/bin/logger", "-t", "sondrel alert"}))
      << "split as words, quotes kept together, no shell";
  EXPECT_EQ(w().alertCenter()->settings().rules.size(), 2u) << "applied at once";
}

}  // namespace
}  // namespace sondrel
