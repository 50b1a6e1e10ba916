// The data files when their writer dies half way: killed at random moments
// of the history's rewrites, cut off by a file-size limit while writing the
// default history, a new list or the scan worker. Each file is whole (old or
// new) afterwards, and the temporary a dead writer left is gone once the
// file is next loaded or written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "scan/ScanProgram.h"
#include "core/command/CommandHistory.h"
#include "core/common/DataFolder.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakePrompter.h"
#include "iplist/IPListStore.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

const char kDefaultHistory[] =
    "traceroute www.wikipedia.org\r\n"
    "traceroute www.debian.org\r\n"
    "ip addr\r\n"
    "hostname\r\n"
    "hostnamectl\r\n"
    "smbtree\r\n"
    "cp -r ~/test ~/test2\r\n"
    "netstat\r\n"
    "nslookup www.debian.org\r\n"
    "arp -a\r\n"
    "arp -d\r\n"
    " \r\n";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Names in `folder` that are temporaries of `file`.
std::vector<std::string> Temporaries(const std::string& folder, const std::string& file) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("." + file + ".", 0) == 0 && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0)
      names.push_back(name);
  }
  return names;
}

// Runs `work` in a child whose files may grow to `limit` bytes at most: the
// write that passes it ends the child (SIGXFSZ) in its middle. Returns the
// signal that ended the child, 0 when it ended by itself.
template <typename Work>
int RunCutOffAt(rlim_t limit, Work work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit size{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &size);
    work();
    ::_exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

struct DataFileKill : ::testing::Test {
  QTemporaryDir dir;
  std::string folder = DataFolder(dir.path().toStdString());
  std::string history = folder + "Tolvane_DB2.txt";
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    fs::create_directories(folder);
  }
};

// SIGKILL at 20 random moments of a child that rewrites the history over and
// over: each time the file is a whole history, the old one or the new one.
TEST_F(DataFileKill, TheHistoryIsWholeAfterAKillAtAnyMomentOfItsRewrite) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> moment(1, 80);
  int killed = 0;
  for (int round = 0; round < 20; ++round) {
    const int ms = moment(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(ms) + " ms");
    std::ofstream(history, std::ios::binary | std::ios::trunc) << "seed\r\n \r\n";
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CommandHistory h(SystemFiles(), history);
      if (!h.LoadHistory()) ::_exit(1);
      for (int i = 1; i <= 5000; ++i)
        if (!h.AddToHistory("line " + std::to_string(i))) ::_exit(1);
      ::_exit(0);
    }
    ::usleep(static_cast<useconds_t>(ms) * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) ++killed;
    else ASSERT_EQ(WEXITSTATUS(status), 0);

    const std::string bytes = ReadAll(history);
    std::size_t lineEnds = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++lineEnds;
    ASSERT_GE(lineEnds, 2u) << bytes;
    std::string expected = "seed\r\n";
    for (std::size_t i = 1; i + 2 <= lineEnds; ++i) expected += "line " + std::to_string(i) + "\r\n";
    expected += " \r\n";
    ASSERT_EQ(bytes, expected);

    CommandHistory again(SystemFiles(), history);
    ASSERT_TRUE(again.LoadHistory());
    EXPECT_EQ(again.HistoryLines().size(), lineEnds - 1);
    EXPECT_TRUE(Temporaries(folder, "Tolvane_DB2.txt").empty()) << "left by the killed rewrite";
  }
  EXPECT_GT(killed, 0) << "no round was killed before it was done";
}

// The first start writes the default history; a writer cut off half way must
// not leave half a default, which would then never be written again.
TEST_F(DataFileKill, AWriterCutOffInTheDefaultHistoryLeavesNoHalfHistory) {
  EXPECT_EQ(RunCutOffAt(100, [&] { (void)CommandHistory(SystemFiles(), history).LoadHistory(); }),
            SIGXFSZ);
  CommandHistory h(SystemFiles(), history);
  ASSERT_TRUE(h.LoadHistory());
  EXPECT_EQ(ReadAll(history), kDefaultHistory);
  EXPECT_EQ(h.HistoryLines().size(), 11u);
  EXPECT_TRUE(Temporaries(folder, "Tolvane_DB2.txt").empty());
}

// A rewrite cut off while its new file is written leaves the old history and
// a piece of a temporary; the next load takes the temporary away, and keeps
// those of writers still running (this process's).
TEST_F(DataFileKill, AHistoryRewriteCutOffLeavesTheOldFileAndItsTemporaryGoesAtTheNextLoad) {
  std::string old;
  for (int i = 0; i < 10; ++i) old += "ping 10.0.0." + std::to_string(i) + "\r\n";
  old += " \r\n";
  std::ofstream(history, std::ios::binary) << old;
  const rlim_t limit = old.size() - 20;
  EXPECT_EQ(RunCutOffAt(limit, [&] {
              CommandHistory h(SystemFiles(), history);
              if (h.LoadHistory()) (void)h.AddToHistory("ip route");
            }),
            SIGXFSZ);
  EXPECT_EQ(ReadAll(history), old);
  ASSERT_EQ(Temporaries(folder, "Tolvane_DB2.txt").size(), 1u) << "the cut-off temporary";

  const std::string ours = folder + ".Tolvane_DB2.txt." + std::to_string(::getpid()) + ".999.tmp";
  const std::string other = folder + ".Tolvane_DB.txt.2147483646.1.tmp";  // not the history's
  std::ofstream(ours) << "x";
  std::ofstream(other) << "x";
  CommandHistory h(SystemFiles(), history);
  ASSERT_TRUE(h.LoadHistory());
  EXPECT_EQ(h.HistoryLines().size(), 10u);
  EXPECT_EQ(Temporaries(folder, "Tolvane_DB2.txt"),
            std::vector<std::string>{".Tolvane_DB2.txt." + std::to_string(::getpid()) + ".999.tmp"});
  EXPECT_TRUE(fs::exists(other));
}

// The list's rewrite killed between writing its new file and putting it in
// place leaves the old list and a temporary; the next load removes it.
TEST_F(DataFileKill, TheListsTemporaryLeftByAKilledRewriteGoesAtTheNextLoad) {
  const std::string list = folder + "Tolvane_DB.txt";
  const std::string old = "A10.0.0.1\r\n \r\n";
  std::ofstream(list, std::ios::binary) << old;
  auto prompter = std::make_shared<fakes::FakePrompter>();
  auto network = std::make_shared<fakes::FakeNetworkSettings>();
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IPListStore store{folder, SystemFiles(), network, prompter};
    store.setBeforeReplaceHook([](const std::string&) {
      ::raise(SIGKILL);
      return true;
    });
    store.rewrite({"A10.0.0.9"});
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadAll(list), old);
  ASSERT_EQ(Temporaries(folder, "Tolvane_DB.txt").size(), 1u);

  IPListStore store{folder, SystemFiles(), network, prompter};
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.IPEntries(), std::vector<std::string>{"A10.0.0.1"});
  EXPECT_TRUE(Temporaries(folder, "Tolvane_DB.txt").empty());
  EXPECT_TRUE(prompter->messages().isEmpty());
}

// The worker's extraction cut off half way: no half program in its place,
// and the piece of the temporary goes at the next extraction.
TEST_F(DataFileKill, AWorkerExtractionCutOffLeavesNoHalfProgramAndNoTemporaryLater) {
  const std::vector<std::byte> program(256 * 1024, std::byte{0x90});
  EXPECT_EQ(RunCutOffAt(64 * 1024, [&] { (void)ExtractScanProgram(folder, program, SystemFiles()); }),
            SIGXFSZ);
  EXPECT_FALSE(fs::exists(ScanProgramPath(folder)));
  ASSERT_EQ(Temporaries(folder, "PingIPscan2008112").size(), 1u);

  auto placed = ExtractScanProgram(folder, program, SystemFiles());
  ASSERT_TRUE(placed) << placed.error().message;
  EXPECT_EQ(fs::file_size(ScanProgramPath(folder)), program.size());
  EXPECT_TRUE(Temporaries(folder, "PingIPscan2008112").empty());
}

}  // namespace
}  // namespace sondrel
