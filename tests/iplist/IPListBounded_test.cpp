// A list file with a line too long to be an entry: the list loads what is
// valid around it, and a rewrite keeps the long line in the file, after its
// blank line, byte for byte. On the real files (read in pieces) and on the
// fake ones (read whole).
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "fakes/FakeFileService.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakePrompter.h"
#include "iplist/IPListStore.h"
#include "platform/Files_linux.h"

namespace sondrel {
namespace {

const std::string& TooLong() {
  static const std::string line = "BHuge," + std::string(3 << 20, '7');  // 3 MB
  return line;
}

std::string Before() {
  return "A10.0.0.2\r\n" + TooLong() + "\r\nA10.0.0.1\r\n \r\nAafter (kept)\r\n";
}

std::string After() {
  return "A10.0.0.1\r\nA10.0.0.2\r\nA10.0.0.3\r\n \r\n" + TooLong() + "\r\nAafter (kept)\r\n";
}

void LoadLeavesOutTheLongLineAndARewriteKeepsIt(IPListStore& store, fakes::FakePrompter& prompter,
                                               const std::function<std::string()>& fileBytes) {
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.IPEntries(), (std::vector<std::string>{"A10.0.0.1", "A10.0.0.2"}));
  EXPECT_EQ(store.displayNames(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));

  ASSERT_TRUE(store.rewrite({"A10.0.0.1", "A10.0.0.2", "A10.0.0.3"}));
  EXPECT_TRUE(fileBytes() == After()) << "the long line moved after the blank line, whole";
  EXPECT_EQ(store.IPEntryCount(), 3);
  // Now it stands with the other lines that are not loaded, and the user is
  // told of both.
  ASSERT_FALSE(prompter.calls.isEmpty());
  EXPECT_TRUE(prompter.calls.back().text.startsWith("The IP list holds 2 lines after an empty line."))
      << prompter.calls.back().text.toStdString();
}

TEST(IPListBounded, OnTheRealFiles) {
  QTemporaryDir dir;
  const std::string folder = DataFolder(dir.path().toStdString());
  QDir().mkpath(QString::fromStdString(folder));
  const std::string path = folder + std::string(kIPListFile);
  std::ofstream(path, std::ios::binary) << Before();
  auto prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{folder, SystemFiles(), std::make_shared<fakes::FakeNetworkSettings>(), prompter};
  LoadLeavesOutTheLongLineAndARewriteKeepsIt(store, *prompter, [&] {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  });
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "no temporary file is left";
}

TEST(IPListBounded, OnFakeFiles) {
  fakes::FakeFileService files;
  files.files["/data/Tolvane_DB.txt"] = Before();
  auto prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{"/data/", files, std::make_shared<fakes::FakeNetworkSettings>(), prompter};
  LoadLeavesOutTheLongLineAndARewriteKeepsIt(store, *prompter,
                                             [&] { return files.files["/data/Tolvane_DB.txt"]; });
  EXPECT_EQ(files.files.size(), 1u);
}

}  // namespace
}  // namespace sondrel
