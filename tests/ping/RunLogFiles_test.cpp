// The run log pair on a disk that fails: a new run never costs the previous
// pair before its own is whole, a full disk leaves only whole lines, and a
// data folder that cannot be written is named as such.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "ping/RunLog.h"
#include "platform/Files_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

ResultRecord Reply(int second) {
  ResultRecord r;
  r.when = ResultTime::from({2026, 3, 7, 14, 5, second});
  r.bufferSize = 32;
  r.time = 15;
  r.ttl = 64;
  return r;
}

const char* kOldLog = "1,1\r\n2026,03,07,14,05,09,10.0.0.1,32,15,64,0\r\n";
const char* kOldTargets = "10.0.0.1\r\n";

class RunLogFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    std::ofstream(folder + "Tolvane_DB3.txt", std::ios::binary) << kOldLog;
    std::ofstream(folder + "Tolvane_DB4.txt", std::ios::binary) << kOldTargets;
  }
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/";
};

TEST_F(RunLogFilesTest, AStartThatCannotWriteTheTargetsKeepsThePreviousPair) {
  // Something that is not a file where the targets go: the new pair cannot
  // be put in place.
  fs::remove(folder + "Tolvane_DB4.txt");
  fs::create_directory(folder + "Tolvane_DB4.txt");
  std::ofstream(folder + "Tolvane_DB4.txt/keep") << "x";
  RunLog log(folder, SystemFiles());
  auto started = log.StartRunLog(2, 1, {"127.0.0.1", "127.0.0.2"});
  ASSERT_FALSE(started);
  EXPECT_THAT(started.error().message, HasSubstr("The data folder " + folder));
  EXPECT_THAT(started.error().message, HasSubstr("cannot be written"));
  EXPECT_FALSE(log.isOpen());
  EXPECT_EQ(ReadFile(folder + "Tolvane_DB3.txt"), kOldLog);
  // No temporary files left behind; the lock is released.
  EXPECT_EQ(Names(folder), (std::set<std::string>{"Tolvane_DB3.txt", "Tolvane_DB3.lock",
                                                  "Tolvane_DB4.txt"}));
  EXPECT_FALSE(RunLog(folder, SystemFiles()).lockedElsewhere());

  // Once the targets can be written, the new pair replaces the old one; the
  // temporary files of a start that died midway go with it.
  fs::remove_all(folder + "Tolvane_DB4.txt");
  std::ofstream(folder + ".Tolvane_DB3.txt.99999.1.tmp") << "2,1\r\n";
  std::ofstream(folder + ".Tolvane_DB4.txt.99999.2.tmp") << "a\r\nb\r\n";
  ASSERT_TRUE(log.StartRunLog(2, 1, {"127.0.0.1", "127.0.0.2"}));
  log.CloseRunLog();
  EXPECT_EQ(ReadFile(folder + "Tolvane_DB3.txt"), "2,1\r\n");
  EXPECT_EQ(ReadFile(folder + "Tolvane_DB4.txt"), "127.0.0.1\r\n127.0.0.2\r\n");
  EXPECT_EQ(Names(folder), (std::set<std::string>{"Tolvane_DB3.txt", "Tolvane_DB3.lock",
                                                  "Tolvane_DB4.txt"}));
}

// Makes writes fail as a full disk would once a file passes `bytes`.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit small = old_;
    small.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
  bool ok() const { return ok_; }

 private:
  rlimit old_ {};
  bool ok_ = false;
};

TEST_F(RunLogFilesTest, AFullDiskStopsTheLogAtItsLastWholeLine) {
  RunLog log(folder, SystemFiles());
  ASSERT_TRUE(log.StartRunLog(1, 1, {"10.0.0.1"}));
  const std::string header = "1,1\r\n";
  const std::string line = "2026,03,07,14,05,09,10.0.0.1,32,15,64,0\r\n";
  std::string failure;
  {
    // Room for the header, two lines and half of the third.
    FileSizeLimit limit(header.size() + 2 * line.size() + line.size() / 2);
    ASSERT_TRUE(limit.ok());
    ASSERT_TRUE(log.AppendResult(Reply(9), "10.0.0.1"));
    ASSERT_TRUE(log.AppendResult(Reply(9), "10.0.0.1"));
    auto third = log.AppendResult(Reply(9), "10.0.0.1");
    ASSERT_FALSE(third);
    failure = third.error().message;
  }
  EXPECT_THAT(failure, HasSubstr("no longer written to the log " + folder + "Tolvane_DB3.txt"));
  EXPECT_THAT(failure, HasSubstr("File too large"));
  // Room again: the run's log stays stopped, so no line goes missing in the
  // middle of it, and what did not reach it is counted.
  auto later = log.AppendResult(Reply(10), "10.0.0.1");
  ASSERT_FALSE(later);
  EXPECT_EQ(later.error().code, RunLog::kLogStopped);
  EXPECT_FALSE(log.AppendResult(Reply(11), "10.0.0.1"));
  EXPECT_EQ(log.unwritten(), 3);
  log.CloseRunLog();
  EXPECT_EQ(ReadFile(log.logPath()), header + line + line);

  auto reloaded = log.loadPreviousRun();
  ASSERT_TRUE(reloaded);
  EXPECT_EQ(reloaded.value().records.size(), 2u);
  EXPECT_EQ(reloaded.value().damagedLines, 0);

  // The next run starts with nothing unwritten.
  ASSERT_TRUE(log.StartRunLog(1, 1, {"10.0.0.1"}));
  EXPECT_EQ(log.unwritten(), 0);
  EXPECT_TRUE(log.AppendResult(Reply(12), "10.0.0.1"));
}

// Runs `body` in a child with a mount namespace of its own, so a small or
// read-only file system can be mounted without touching the machine. The
// child's exit code: 0 pass, 1 fail, 77 cannot mount here.
int InPrivateMount(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      ::_exit(77);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 1;
  return WEXITSTATUS(status);
}

TEST_F(RunLogFilesTest, ARealFullDiskLeavesOnlyWholeLines) {
  const std::string mountPoint = folder + "small/";
  fs::create_directory(mountPoint);
  const int rc = InPrivateMount([&] {
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) return 77;
    RunLog log(mountPoint, SystemFiles());
    if (!log.StartRunLog(1, 1, {"10.0.0.1"})) return 1;
    int written = 0;
    while (written < 10000 && log.AppendResult(Reply(9), "10.0.0.1")) ++written;
    if (written == 10000) return 1;  // the disk never filled
    const auto failure = log.AppendResult(Reply(9), "10.0.0.1");
    log.CloseRunLog();
    const std::string bytes = ReadFile(log.logPath());
    if (bytes.size() < 2 || bytes.substr(bytes.size() - 2) != "\r\n") return 1;
    auto reloaded = log.loadPreviousRun();
    if (!reloaded || reloaded.value().damagedLines != 0) return 1;
    if (static_cast<int>(reloaded.value().records.size()) != written) return 1;
    return failure ? 1 : 0;
  });
  if (rc == 77) SONDREL_SKIP_MISSING("no private mount namespace or tmpfs here");
  EXPECT_EQ(rc, 0);
}

TEST_F(RunLogFilesTest, AReadOnlyDataFolderIsNamedWithTheReason) {
  const std::string mountPoint = folder + "ro/";
  fs::create_directory(mountPoint);
  const int rc = InPrivateMount([&] {
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) return 77;
    RunLog log(mountPoint, SystemFiles());
    const auto checked = log.checkFolder();
    const auto started = log.StartRunLog(1, 1, {"10.0.0.1"});
    const std::string expected = "The data folder " + mountPoint +
                                 " cannot be written: Read-only file system.";
    if (checked || started) return 1;
    if (checked.error().message.rfind(expected, 0) != 0) return 1;
    return started.error().message.rfind(expected, 0) == 0 ? 0 : 1;
  });
  if (rc == 77) SONDREL_SKIP_MISSING("no private mount namespace or tmpfs here");
  EXPECT_EQ(rc, 0);
}

// The address space of this process now, in bytes.
rlim_t AddressSpace() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmSize:") {
      rlim_t kb = 0;
      status >> kb;
      return kb * 1024;
    }
  }
  return 0;
}

TEST_F(RunLogFilesTest, ALogTooLargeForTheMemoryGivesAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // A sanitizer maps terabytes of shadow memory: no address-space limit holds it.
  GTEST_SKIP() << "an address-space limit cannot be set under a sanitizer";
#endif
  {
    std::ofstream out(folder + "Tolvane_DB3.txt", std::ios::binary);
    out << "1,1\r\n";
    for (int i = 0; i < 500'000; ++i) out << "2026,03,07,14,05,09,10.0.0.1,32,15,64,0\r\n";
  }
  const pid_t child = ::fork();
  if (child == 0) {
    // Room for a few small pieces, not for half a million records.
    rlimit tight {};
    tight.rlim_cur = tight.rlim_max = AddressSpace() + (4u << 20);
    if (::setrlimit(RLIMIT_AS, &tight) != 0) ::_exit(77);
    RunLog log(folder, SystemFiles());
    const auto loaded = log.loadPreviousRun();
    if (loaded || loaded.error().code != ENOMEM) ::_exit(1);
    ::_exit(loaded.error().message.find("too large") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the reload must not end the program";
  if (WEXITSTATUS(status) == 77) SONDREL_SKIP_MISSING("cannot limit the address space here");
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace sondrel
