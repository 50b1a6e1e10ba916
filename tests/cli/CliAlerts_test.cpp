// Alerts of "sondrel-cli ping": --on-event starts a real program at each
// alert with the alert in its environment, --alerts takes the user's rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <fstream>

#include "settings/UserSettings.h"
#include "alerts/AlertCenter.h"
#include "archive/RunArchive.h"
#include "core/common/DataFolder.h"
#include "cli/CliTestSupport.h"
#include "platform/IcmpTestSupport.h"
#include "platform/ProcessService_linux.h"
#include "support/SkipMissing.h"

namespace sondrel::cli {
namespace {

using clitest::CliRunTest;
using clitest::ReadAll;
using Script = fakes::FakeIcmpCarrier::Script;

// A program that writes its SONDREL_ variables to FOLDER/NN-EVENT.env, one
// file per alert, numbered in the order they came.
std::string WriteEventProgram(const QString& folder) {
  const std::string path = (folder + QStringLiteral("/on-event")).toStdString();
  // Each takes the next number with an atomic mkdir, also when several run at once.
  std::ofstream(path) << "#!/bin/sh\n"
                         "n=0; while ! mkdir \"" << folder.toStdString() << "/.n$n\" 2>/dev/null; do n=$((n+1)); done\n"
                         "env | grep '^SONDREL_' | grep -v '^SONDREL_ISOLATED=' | sort > \""
                      << folder.toStdString() << "/$(printf %02d $n)-$SONDREL_EVENT.env\"\n";
  ::chmod(path.c_str(), 0755);
  return path;
}

std::map<std::string, std::string> ReadEnv(const QString& file) {
  std::map<std::string, std::string> vars;
  std::ifstream in(file.toStdString());
  for (std::string line; std::getline(in, line);)
    if (const auto eq = line.find('='); eq != std::string::npos) vars[line.substr(0, eq)] = line.substr(eq + 1);
  return vars;
}

QStringList EventFiles(const QString& folder) {
  return QDir(folder).entryList({QStringLiteral("*.env")}, QDir::Files, QDir::Name);
}

class CliAlertsTest : public CliRunTest {
 protected:
  void SetUp() override {
    CliRunTest::SetUp();
    services.processes = MakeProcessService();
    ASSERT_TRUE(events.isValid());
  }
  QTemporaryDir events;
};

TEST_F(CliAlertsTest, OnEventRunsTheProgramAtAnOutagesStartAndEndWithTheAlertInItsEnvironment) {
  const std::string program = WriteEventProgram(events.path());
  const Script ok{0, 450, 64}, lost{11010, 0, 0};
  icmp->scriptEach("127.0.0.9", {ok, lost, lost, ok, lost, lost, lost, lost, lost, ok, ok});
  icmp->script("127.0.0.1", ok);
  ASSERT_EQ(Run({"ping", "-i", "5", "-c", "11", "--on-event", program, "127.0.0.9", "127.0.0.1"}), kExitReplied)
      << ReadAll(services.err);
  const QStringList files = EventFiles(events.path());
  ASSERT_EQ(files, (QStringList{QStringLiteral("00-outage-start.env"), QStringLiteral("01-outage-end.env")}))
      << "two lost echoes are no outage; the five are one";
  const auto start = ReadEnv(events.path() + QStringLiteral("/00-outage-start.env"));
  EXPECT_EQ(start.at("SONDREL_TARGET"), "127.0.0.9");
  EXPECT_EQ(start.at("SONDREL_ADDRESS"), "127.0.0.9");
  EXPECT_EQ(start.at("SONDREL_EVENT"), "outage-start");
  EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^2026-03-07T14:05:09\.000(Z|[+-]\d\d:\d\d)$)"))
                  .match(QString::fromStdString(start.at("SONDREL_SINCE")))
                  .hasMatch())
      << start.at("SONDREL_SINCE");
  EXPECT_EQ(start.count("SONDREL_DURATION_MS"), 1u);
  // The window's loss as told: 5 of the 7 echoes sent by then, and 7 of 10.
  EXPECT_EQ(start.at("SONDREL_LOSS_PERCENT"), "71.43");
  EXPECT_EQ(start.at("SONDREL_RTT_MS"), "") << "an outage rule judges no round trip";
  const auto end = ReadEnv(events.path() + QStringLiteral("/01-outage-end.env"));
  EXPECT_EQ(end.at("SONDREL_EVENT"), "outage-end");
  EXPECT_EQ(end.at("SONDREL_DURATION_MS"), "0") << "the fake clock stands still";
  EXPECT_EQ(end.at("SONDREL_LOSS_PERCENT"), "70.00");

  // Kept with the run in the archive.
  {
    auto a = RunArchive::open(SystemFiles(), services.dataFolder + kArchiveFile, ArchiveAccess::ReadOnly);
    ASSERT_TRUE(a) << a.error().message;
    auto kept = a.value()->alertsOf(1);
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept.value().size(), 2u);
    EXPECT_EQ(kept.value()[0].event, "outage-start");
    EXPECT_EQ(kept.value()[1].event, "outage-end");
  }

  const std::string err = ReadAll(services.err);
  EXPECT_NE(err.find("sondrel-cli: alert: 127.0.0.9 is down."), std::string::npos) << err;
  EXPECT_NE(err.find("sondrel-cli: alert: 127.0.0.9 is up again."), std::string::npos) << err;
}

TEST_F(CliAlertsTest, AlertsTakesTheUsersRulesAndTheirCommands) {
  const std::string program = WriteEventProgram(events.path());
  // A loss rule from the settings, its command that program; no outage rule.
  AlertSettings settings;
  AlertRuleSettings loss;
  loss.rule.name = "lossy";
  loss.rule.kind = AlertKind::Loss;
  loss.rule.raisePercent = 30;
  loss.rule.clearPercent = 10;
  loss.notify = false;
  loss.command = {program};
  settings.rules.push_back(loss);
  WriteAlertSettings(settings);
  // Where the README says the user's settings are.
  EXPECT_TRUE(QFileInfo::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/sondrel/sondrel.ini")));
  const AlertSettings back = ReadAlertSettings();
  ASSERT_EQ(back.rules.size(), 1u);
  EXPECT_EQ(back.rules[0].rule.kind, AlertKind::Loss);
  EXPECT_DOUBLE_EQ(back.rules[0].rule.clearPercent, 10);
  EXPECT_EQ(back.rules[0].command, std::vector<std::string>{program});

  const Script ok{0, 450, 64}, lost{11010, 0, 0};
  icmp->scriptEach("127.0.0.9", {ok, lost, lost, lost, lost, lost, ok});
  ASSERT_EQ(Run({"ping", "-i", "5", "-c", "7", "--alerts", "127.0.0.9"}), kExitReplied) << ReadAll(services.err);
  // The window is judged as results come and at the run's end: 5 of 7 lost.
  // No outage rule was set, so the outage in it is told by nothing.
  ASSERT_EQ(EventFiles(events.path()), QStringList{QStringLiteral("00-loss.env")}) << ReadAll(services.err);
  const auto told = ReadEnv(events.path() + QStringLiteral("/00-loss.env"));
  EXPECT_EQ(told.at("SONDREL_LOSS_PERCENT"), "71.43");
  EXPECT_EQ(told.at("SONDREL_RULE"), "lossy");
  EXPECT_EQ(told.at("SONDREL_RTT_MS"), "0.450");
  UserSettings()
      .remove(QStringLiteral("alerts"));
}

TEST_F(CliAlertsTest, ARuleNamingAGroupOfTheListAlertsOnlyForTheTargetsOfThatGroup) {
  const std::string program = WriteEventProgram(events.path());
  std::ofstream(services.dataFolder + std::string(kIPListFile), std::ios::binary)
      << "BLab,127.0.0.9\r\nCNet,127.0.1.1,127.0.1.2\r\n";
  AlertSettings settings;
  AlertRuleSettings outage;
  outage.rule.name = "lab down";
  outage.rule.targets = {"Lab"};
  outage.notify = false;
  outage.command = {program};
  settings.rules.push_back(outage);
  settings.commandsAtOnce = 1;  // the program numbers its files by those before it
  WriteAlertSettings(settings);
  const Script ok{0, 450, 64}, lost{11010, 0, 0};
  // Every target but 127.0.1.2 goes down for a while: only the group's one
  // is told.
  for (const char* address : {"127.0.0.9", "127.0.0.5", "127.0.1.1"})
    icmp->scriptEach(address, {ok, lost, lost, lost, lost, ok});
  icmp->script("127.0.1.2", ok);
  ASSERT_EQ(Run({"ping", "-i", "5", "-c", "6", "--alerts", "--list", "Net", "127.0.0.5", "--list", "Lab"}),
            kExitReplied)
      << ReadAll(services.err);
  ASSERT_EQ(EventFiles(events.path()),
            (QStringList{QStringLiteral("00-outage-start.env"), QStringLiteral("01-outage-end.env")}))
      << ReadAll(services.err);
  EXPECT_EQ(ReadEnv(events.path() + QStringLiteral("/00-outage-start.env")).at("SONDREL_ADDRESS"), "127.0.0.9");
  UserSettings().remove(QStringLiteral("alerts"));
}

// A real run against a host in a namespace of the test's own, gone for a
// second: one alert as it goes, one as it comes back, each with the
// documented environment.
TEST(CliAlertsLive, AHostGoneForASecondRunsTheProgramOnceAsItGoesAndOnceAsItComesBack) {
  if (const std::string why = testing::WhyNoNamespaces(); !why.empty()) SONDREL_SKIP_MISSING(why);
  testing::PeerNamespace peer("alert", "salrt0", "10.237.0.1", "10.237.0.2");
  ASSERT_TRUE(peer.ok()) << "the test namespace could not be made";
  QTemporaryDir data, events;
  ASSERT_TRUE(data.isValid() && events.isValid());
  const std::string program = WriteEventProgram(events.path());
  QProcess p;
  cli::clitest::UseDataHome(p, data.path());
  constexpr int kIntervalMs = 100;
  p.start(cli::clitest::kProgram,
          {QStringLiteral("ping"), QStringLiteral("-i"), QString::number(kIntervalMs), QStringLiteral("-w"),
           QStringLiteral("100"), QStringLiteral("-c"), QStringLiteral("40"), QStringLiteral("--on-event"),
           QString::fromStdString(program), QStringLiteral("10.237.0.2")});
  ASSERT_TRUE(p.waitForStarted(10000));
  p.waitForFinished(1000);
  ASSERT_EQ(p.state(), QProcess::Running);
  QElapsedTimer gap;
  ASSERT_TRUE(peer.inside("ip addr del 10.237.0.2/24 dev salrt0p"));
  gap.start();
  p.waitForFinished(1000);
  ASSERT_TRUE(peer.inside("ip addr add 10.237.0.2/24 dev salrt0p"));
  const qint64 goneMs = gap.elapsed();
  ASSERT_TRUE(p.waitForFinished(30000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QStringList files = EventFiles(events.path());
  ASSERT_EQ(files, (QStringList{QStringLiteral("00-outage-start.env"), QStringLiteral("01-outage-end.env")}))
      << p.readAllStandardError().toStdString();
  const auto end = ReadEnv(events.path() + QStringLiteral("/01-outage-end.env"));
  EXPECT_EQ(end.at("SONDREL_ADDRESS"), "10.237.0.2");
  EXPECT_NEAR(std::stod(end.at("SONDREL_DURATION_MS")), static_cast<double>(goneMs), kIntervalMs + 30);
}

}  // namespace
}  // namespace sondrel::cli
