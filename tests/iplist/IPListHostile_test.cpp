// IP lists edited by hand with the wrong tools: lines of a megabyte, NUL
// bytes, bytes that are not UTF-8, a tail of garbage. The list loads, shows
// what it holds, and a rewrite keeps every byte it does not own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "core/common/DataFolder.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakePrompter.h"
#include "iplist/IPListStore.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

using namespace std::string_literals;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct HostileList : ::testing::Test {
  QTemporaryDir dir;
  std::string folder = DataFolder(dir.path().toStdString());
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{folder, SystemFiles(), std::make_shared<fakes::FakeNetworkSettings>(), prompter};

  void Write(const std::string& bytes) {
    QDir().mkpath(QString::fromStdString(folder));
    std::ofstream(folder + std::string(kIPListFile), std::ios::binary) << bytes;
  }
};

TEST_F(HostileList, HugeLinesNulBytesAndBinaryLoadAndSurviveARewrite) {
  const std::string huge = "A" + std::string(1 << 20, 'x');
  const std::string withNul = "A10.0.0.1\0tail"s;
  const std::string binary = "B\xff\xfe\x80,\xc3\x28,10.0.0.2";
  const std::string tail = "\0\0garbage \xff after the blank line\r\n"s + std::string(1 << 20, '\0');
  Write(huge + "\r\n" + withNul + "\r\n" + binary + "\r\nA10.0.0.3\r\n \r\n" + tail);

  ASSERT_TRUE(store.FillIPList());
  const std::vector<std::string> entries = store.IPEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_NE(std::find(entries.begin(), entries.end(), huge), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), withNul), entries.end()) << "NUL kept in the entry";
  EXPECT_NE(std::find(entries.begin(), entries.end(), binary), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "A10.0.0.3"), entries.end());
  EXPECT_EQ(store.displayNames().size(), 4u);

  // A rewrite of the same entries gives back the same bytes after the blank line.
  auto rewrite = store.BeginIPListRewrite();
  ASSERT_TRUE(rewrite);
  for (const auto& e : entries) rewrite->WriteLine(e);
  ASSERT_TRUE(store.EndIPListRewrite(std::move(rewrite)));
  const std::string after = ReadAll(folder + std::string(kIPListFile));
  ASSERT_GE(after.size(), tail.size());
  EXPECT_EQ(after.substr(after.size() - tail.size()), tail) << "the tail is kept byte for byte";
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.IPEntries(), entries);
}

// Killed between writing the new list and putting it in place: the list is
// the old one, whole, and loads as before.
TEST_F(HostileList, KillDuringARewriteLeavesTheOldListWhole) {
  const std::string old = "A10.0.0.1\r\nBG,1.1.1.1,1.1.1.2\r\n \r\nkept\r\n";
  Write(old);
  ASSERT_TRUE(store.FillIPList());
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    store.setBeforeReplaceHook([](const std::string&) {
      ::raise(SIGKILL);
      return true;
    });
    store.rewrite({"A10.0.0.9", "A10.0.0.8"});
    ::_exit(0);  // never reached when the hook ran
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the rewriter was killed";

  EXPECT_EQ(ReadAll(folder + std::string(kIPListFile)), old);
  IPListStore again{folder, SystemFiles(), std::make_shared<fakes::FakeNetworkSettings>(), prompter};
  ASSERT_TRUE(again.FillIPList());
  std::vector<std::string> entries = again.IPEntries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"A10.0.0.1", "BG,1.1.1.1,1.1.1.2"}));
}

}  // namespace
}  // namespace sondrel
