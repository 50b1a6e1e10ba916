#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "fakes/FakePrompter.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

ResultRecord Reply(int second, std::int32_t time) {
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 7, 14, 5, second});
  r.bufferSize = 32;
  r.time = time;
  r.ttl = time < 0 ? 0 : 64;
  r.status = time < 0 ? 11010 : 0;
  return r;
}

class RunLogTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/";
};

TEST_F(RunLogTest, WritesHeaderLabelsAndOneFlushedLinePerResult) {
  RunLog log(folder, SystemFiles());
  ASSERT_TRUE(log.StartRunLog(2, 1, {"127.0.0.1", "localhost / 127.0.0.1"}));
  EXPECT_EQ(ReadFile(log.targetsPath()), "127.0.0.1\r\nlocalhost / 127.0.0.1\r\n");
  ASSERT_TRUE(log.AppendResult(Reply(9, 15), "127.0.0.1"));
  // Written through at once: another reader sees the line while the log is open.
  EXPECT_EQ(ReadFile(log.logPath()), "2,1\r\n2026,03,07,14,05,09,127.0.0.1,32,15,64,0\r\n");
  ASSERT_TRUE(log.AppendResult(Reply(10, -1), "127.0.0.1"));
  log.CloseRunLog();
  EXPECT_FALSE(log.AppendResult(Reply(11, 1), "127.0.0.1"));
  EXPECT_EQ(ReadFile(log.logPath()),
            "2,1\r\n2026,03,07,14,05,09,127.0.0.1,32,15,64,0\r\n"
            "2026,03,07,14,05,10,127.0.0.1,32,-1,0,11010\r\n");

  // A new run starts both files afresh, also when they are read-only.
  ::chmod(log.logPath().c_str(), 0444);
  ::chmod(log.targetsPath().c_str(), 0444);
  ASSERT_TRUE(log.StartRunLog(1, 4, {"10.0.0.1"}));
  log.CloseRunLog();
  EXPECT_EQ(ReadFile(log.logPath()), "1,4\r\n");
  EXPECT_EQ(ReadFile(log.targetsPath()), "10.0.0.1\r\n");
}

TEST_F(RunLogTest, SecondInstanceCannotTakeOverOrDeleteARunningLog) {
  RunLog first(folder, SystemFiles());
  RunLog second(folder, SystemFiles());
  ASSERT_TRUE(first.StartRunLog(1, 1, {"127.0.0.1"}));
  ASSERT_TRUE(first.AppendResult(Reply(9, 1), "127.0.0.1"));
  const std::string before = ReadFile(first.logPath());

  auto refused = second.StartRunLog(3, 1, {"a", "b", "c"});
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message.find("Another copy of the program is running a ping test"),
            std::string::npos);
  EXPECT_TRUE(second.lockedElsewhere());
  EXPECT_FALSE(second.DeleteRunLog());
  EXPECT_FALSE(first.DeleteRunLog());  // its own open log neither
  EXPECT_EQ(ReadFile(first.logPath()), before);
  EXPECT_EQ(ReadFile(first.targetsPath()), "127.0.0.1\r\n");

  // Another process is refused the same way.
  const pid_t child = fork();
  if (child == 0) {
    RunLog other(folder, SystemFiles());
    _exit(other.lockedElsewhere() && !other.StartRunLog(1, 1, {"x"}) ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  first.CloseRunLog();
  EXPECT_FALSE(second.lockedElsewhere());
  ASSERT_TRUE(second.StartRunLog(3, 1, {"a", "b", "c"}));
  second.CloseRunLog();
  EXPECT_EQ(ReadFile(second.logPath()), "3,1\r\n");
  EXPECT_TRUE(first.DeleteRunLog());
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(first.logPath())));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(first.targetsPath())));
}

TEST_F(RunLogTest, StartFailsClearlyWhenTheFolderIsMissing) {
  RunLog log(folder + "missing/", SystemFiles());
  auto started = log.StartRunLog(1, 1, {"127.0.0.1"});
  ASSERT_FALSE(started);
  EXPECT_NE(started.error().message.find("missing"), std::string::npos);
  EXPECT_FALSE(log.isOpen());
}

// A log of exactly `size` bytes: two results, a blank line, then filler that
// the reload never reads.
std::string LogOfSize(size_t size) {
  std::string log =
      "1,1\r\n2026,03,07,14,05,09,127.0.0.1,32,0,64,0\r\n"
      "2026,03,07,14,05,10,127.0.0.1,32,3,64,0\r\n\r\n";
  log.resize(size, 'x');
  return log;
}

TEST_F(RunLogTest, LargeLogsAreReloadedOnlyWhenTheUserAgrees) {
  struct Case {
    size_t size;
    std::deque<IPrompter::Answer> answers;
    bool asked;
    bool loaded;
  };
  const Case cases[] = {
      {1'000'000, {}, false, true},
      {1'000'001, {IPrompter::Answer::No}, true, false},
      {1'000'001, {IPrompter::Answer::Yes}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    RunLog log(folder, SystemFiles());
    WriteFile(log.logPath(), LogOfSize(c.size));
    WriteFile(log.targetsPath(), "127.0.0.1\r\n");
    fakes::FakePrompter prompter;
    prompter.answers = c.answers;
    QSignalSpy started(&log, &RunLog::reloadStarted);
    QSignalSpy done(&log, &RunLog::reloadFinished);
    EXPECT_EQ(log.ReloadPreviousRun(prompter), c.loaded);
    ASSERT_EQ(prompter.messages().size(), c.asked ? 1 : 0);
    if (c.asked) {
      EXPECT_EQ(prompter.messages()[0].text, QStringLiteral("Load the pre ping test log ?"));
      EXPECT_EQ(prompter.messages()[0].buttons, IPrompter::Buttons::YesNo);
    }
    if (!c.loaded) {
      EXPECT_EQ(started.count(), 0);
      continue;
    }
    EXPECT_EQ(started.count(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 10000));
    auto run = done.at(0).at(0).value<std::shared_ptr<RunData>>();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->records.size(), 2u);
    EXPECT_EQ(run->targetLabels, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(run->stats.minTime, 1);
    EXPECT_EQ(run->stats.maxTime, 3);
    EXPECT_FALSE(log.reloading());
  }
}

TEST_F(RunLogTest, ReloadReportsProgressAndNothingForAHeaderOnlyLog) {
  RunLog log(folder, SystemFiles());
  fakes::FakePrompter prompter;
  EXPECT_FALSE(log.ReloadPreviousRun(prompter));  // no log yet

  std::string big = "2,1\r\n";
  for (int i = 0; i < 200'000; ++i)
    big += i % 2 ? "2026,03,07,14,05,09,10.0.0.2,32,-1,0,11010\r\n"
                 : "2026,03,07,14,05,09,10.0.0.1,32,4,64,0\r\n";
  WriteFile(log.logPath(), big);
  prompter.answers = {IPrompter::Answer::Yes};
  QSignalSpy progress(&log, &RunLog::reloadProgress);
  QSignalSpy done(&log, &RunLog::reloadFinished);
  ASSERT_TRUE(log.ReloadPreviousRun(prompter));
  ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 20000));
  ASSERT_GE(progress.count(), 2);
  for (int i = 1; i < progress.count(); ++i)
    EXPECT_LT(progress.at(i).at(0).toLongLong(), progress.at(i - 1).at(0).toLongLong());
  EXPECT_EQ(progress.last().at(0).toLongLong(), 0);
  auto run = done.at(0).at(0).value<std::shared_ptr<RunData>>();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->records.size(), 200'000u);
  EXPECT_EQ(run->stats.lost, 100'000);
  EXPECT_TRUE(run->targetLabels.empty());  // no target file

  WriteFile(log.logPath(), "2,1\r\n");
  QSignalSpy doneAgain(&log, &RunLog::reloadFinished);
  ASSERT_TRUE(log.ReloadPreviousRun(prompter));
  ASSERT_TRUE(QTest::qWaitFor([&] { return doneAgain.count() == 1; }, 10000));
  EXPECT_FALSE(doneAgain.at(0).at(0).value<std::shared_ptr<RunData>>());
}

}  // namespace
}  // namespace sondrel
