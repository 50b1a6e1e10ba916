// The run log on files that fail where a real disk seldom does: a lock held
// by another copy, a rename refused halfway through a start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/FakeFileService.h"
#include "ping/RunLog.h"

namespace sondrel {
namespace {

using ::testing::HasSubstr;

const char* kOldLog = "1,1\r\n2026,03,07,14,05,09,10.0.0.1,32,15,64,0\r\n";
const char* kOldTargets = "10.0.0.1\r\n";

class RunLogServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.files[folder + "Tolvane_DB3.txt"] = kOldLog;
    files.files[folder + "Tolvane_DB4.txt"] = kOldTargets;
  }
  fakes::FakeFileService files;
  std::string folder = "/data/SondrelDataBas/";
};

TEST_F(RunLogServiceTest, AnotherCopyHoldingTheLockKeepsItsLog) {
  files.lockedByOthers.insert(folder + "Tolvane_DB3.lock");
  RunLog log(folder, files);
  auto started = log.StartRunLog(1, 1, {"127.0.0.1"});
  ASSERT_FALSE(started);
  EXPECT_EQ(started.error().message,
            "Another copy of the program is running a ping test and writing its log in this "
            "data folder. Stop that test first.");
  EXPECT_FALSE(log.DeleteRunLog());
  EXPECT_EQ(files.files.size(), 2u);
  EXPECT_EQ(files.files[folder + "Tolvane_DB3.txt"], kOldLog);
}

TEST_F(RunLogServiceTest, ThePreviousRunIsReadThroughTheFileService) {
  RunLog log(folder, files);
  auto run = log.loadPreviousRun();
  ASSERT_TRUE(run) << run.error().message;
  ASSERT_EQ(run.value().records.size(), 1u);
  EXPECT_EQ(run.value().records[0].time, 15);
  EXPECT_EQ(run.value().targetLabels, (std::vector<std::string>{"10.0.0.1"}));

  files.failOnce("read", "Tolvane_DB3.txt", EIO);
  auto unread = log.loadPreviousRun();
  ASSERT_FALSE(unread);
  EXPECT_EQ(unread.error().message, "No previous run log.");
}

TEST_F(RunLogServiceTest, ARefusedSecondRenameBringsThePreviousLogBack) {
  files.failOnce("rename", "Tolvane_DB4.txt", EIO);
  RunLog log(folder, files);
  auto started = log.StartRunLog(2, 1, {"127.0.0.1", "127.0.0.2"});
  ASSERT_FALSE(started);
  EXPECT_THAT(started.error().message, HasSubstr("The data folder " + folder));
  EXPECT_THAT(started.error().message, HasSubstr("Input/output error"));
  EXPECT_FALSE(log.isOpen());
  EXPECT_TRUE(files.heldLocks.empty());
  // Only the previous pair is left, as it was.
  ASSERT_EQ(files.files.size(), 2u);
  EXPECT_EQ(files.files[folder + "Tolvane_DB3.txt"], kOldLog);
  EXPECT_EQ(files.files[folder + "Tolvane_DB4.txt"], kOldTargets);

  // The next start succeeds and the log follows its renamed file.
  ASSERT_TRUE(log.StartRunLog(1, 1, {"127.0.0.1"}));
  EXPECT_FALSE(files.heldLocks.empty());
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 7, 14, 5, 9});
  r.bufferSize = 32;
  r.time = 15;
  r.ttl = 64;
  ASSERT_TRUE(log.AppendResult(r, "127.0.0.1"));
  log.CloseRunLog();
  EXPECT_TRUE(files.heldLocks.empty());
  EXPECT_EQ(files.files[folder + "Tolvane_DB3.txt"],
            "1,1\r\n2026,03,07,14,05,09,127.0.0.1,32,15,64,0\r\n");
  EXPECT_EQ(files.files[folder + "Tolvane_DB4.txt"], "127.0.0.1\r\n");
}

}  // namespace
}  // namespace sondrel
