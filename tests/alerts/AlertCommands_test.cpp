// The user's alert commands run as real programs: their environment, their
// output and exit status, the time-out, and a flood held to a few at once.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "alerts/AlertCommands.h"
#include "platform/ProcessService_linux.h"

namespace sondrel {
namespace {

struct Ended {
  int status = -2;
  QByteArray output;
  bool timedOut = false;
};

class AlertCommandsTest : public ::testing::Test {
 protected:
  std::unique_ptr<AlertCommands> Make(AlertCommandSettings settings = {}) {
    auto c = std::make_unique<AlertCommands>(std::shared_ptr<ProcessService>(MakeProcessService()), settings);
    QObject::connect(c.get(), &AlertCommands::finished, [this](quint64 id, int status, const QByteArray& out, bool late) {
      ended[id] = {status, out, late};
    });
    return c;
  }
  bool WaitFor(std::size_t count, int ms = 20000) {
    return QTest::qWaitFor([&] { return ended.size() >= count; }, ms);
  }
  std::string Path(const char* name) { return (dir.path() + QStringLiteral("/") + QString::fromLatin1(name)).toStdString(); }

  QTemporaryDir dir;
  std::map<quint64, Ended> ended;
};

TEST_F(AlertCommandsTest, TheProgramGetsTheAlertInItsEnvironmentAndItsOutputAndStatusComeBack) {
  auto commands = Make();
  const std::string file = Path("env.txt");
  commands->run(7,
                {"/bin/sh", "-c", "env | grep -E '^SONDREL_(EVENT|TARGET|ADDRESS)=' | sort > \"$1\"; echo told; exit 3", "sh", file},
                {{"SONDREL_EVENT", "outage-start"}, {"SONDREL_TARGET", "router; rm -rf ~"}, {"SONDREL_ADDRESS", "127.0.0.1"}});
  ASSERT_TRUE(WaitFor(1));
  EXPECT_EQ(ended[7].status, 3);
  EXPECT_EQ(ended[7].output, QByteArray("told\n"));
  EXPECT_FALSE(ended[7].timedOut);
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "SONDREL_ADDRESS=127.0.0.1\nSONDREL_EVENT=outage-start\nSONDREL_TARGET=router; rm -rf ~\n")
      << "a value is text, never run";

  commands->run(8, {"/nonexistent/alert-program"}, {});
  ASSERT_TRUE(WaitFor(2));
  EXPECT_EQ(ended[8].status, -1);
  EXPECT_TRUE(ended[8].output.contains("/nonexistent/alert-program")) << ended[8].output.toStdString();
}

TEST_F(AlertCommandsTest, ACommandPastItsTimeOutIsStoppedAndOneThatIgnoresTheStopIsKilled) {
  auto commands = Make({.maxAtOnce = 4, .timeoutMs = 200});
  commands->run(1, {"/bin/sleep", "60"}, {});
  commands->run(2, {"/bin/sh", "-c", "trap '' TERM; echo stubborn; while :; do sleep 0.05; done"}, {});
  ASSERT_TRUE(WaitFor(2, 10000));
  EXPECT_EQ(ended[1].status, 128 + SIGTERM);
  EXPECT_TRUE(ended[1].timedOut);
  EXPECT_EQ(ended[2].status, 128 + SIGKILL);
  EXPECT_TRUE(ended[2].timedOut);
  EXPECT_EQ(ended[2].output, QByteArray("stubborn\n"));
  EXPECT_EQ(commands->running(), 0);
}

TEST_F(AlertCommandsTest, AFloodOfAThousandRunsAFewAtOnceAndEveryOneInTurn) {
  auto commands = Make({.maxAtOnce = 3, .timeoutMs = 30'000});
  const std::string log = Path("log.txt");
  // Each command notes its start and its end in one shared file (appends of
  // a few bytes are whole), so the most at once is counted from outside.
  for (quint64 k = 0; k < 1000; ++k)
    commands->run(k, {"/bin/sh", "-c", "echo + >> \"$1\"; sleep 0.002; echo - >> \"$1\"", "sh", log}, {});
  EXPECT_LE(commands->running(), 3);
  EXPECT_EQ(commands->waiting(), 997);
  ASSERT_TRUE(WaitFor(1000, 120000)) << ended.size() << " ended";
  std::ifstream in(log);
  std::string mark;
  int now = 0, most = 0, starts = 0;
  while (in >> mark) {
    now += mark == "+" ? 1 : -1;
    starts += mark == "+";
    most = std::max(most, now);
  }
  EXPECT_EQ(starts, 1000);
  EXPECT_EQ(now, 0);
  EXPECT_LE(most, 3);
  EXPECT_GE(most, 2) << "they do run side by side";
  for (const auto& [id, e] : ended) EXPECT_EQ(e.status, 0) << id;
}

TEST_F(AlertCommandsTest, WaitingBeyondItsBoundDropsTheOldestWaiting) {
  auto commands = Make({.maxAtOnce = 1, .timeoutMs = 30'000, .maxWaiting = 2});
  for (quint64 k = 0; k < 5; ++k) commands->run(k, {"/bin/true"}, {});
  EXPECT_EQ(commands->dropped(), 2);
  ASSERT_TRUE(WaitFor(3));
  QTest::qWait(100);
  EXPECT_EQ(ended.size(), 3u);
  EXPECT_TRUE(ended.count(0) && ended.count(3) && ended.count(4)) << "the first ran; 1 and 2 were dropped";
}

}  // namespace
}  // namespace sondrel
