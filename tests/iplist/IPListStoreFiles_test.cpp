// The list store on files in memory: what it writes, and what a failed
// rewrite leaves behind.
#include <gtest/gtest.h>

#include <cerrno>

#include "fakes/FakeFileService.h"
#include "fakes/FakeNetworkSettings.h"
#include "fakes/FakePrompter.h"
#include "iplist/IPListStore.h"

namespace sondrel {
namespace {

constexpr const char* kList = "/data/Tolvane_DB.txt";

struct StoreOnFakeFiles : ::testing::Test {
  fakes::FakeFileService files;
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{"/data/", files, std::make_shared<fakes::FakeNetworkSettings>(), prompter};
};

TEST_F(StoreOnFakeFiles, AMissingListIsWrittenThroughTheFileService) {
  ASSERT_TRUE(store.FillIPList());
  ASSERT_EQ(files.files.size(), 1u) << "no temporary file is left";
  EXPECT_EQ(files.files[kList], "Awww.wikipedia.org\r\nAwww.debian.org\r\n \r\n");
  EXPECT_EQ(store.lines(), (std::vector<std::string>{"Awww.debian.org", "Awww.wikipedia.org"}));
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(StoreOnFakeFiles, AFailedRewriteLeavesTheOldListAndNoTemporaryFile) {
  const std::string before = "A10.0.0.1\r\n \r\nA10.0.0.9 (kept)\r\n";
  files.files[kList] = before;
  ASSERT_TRUE(store.FillIPList());

  // The replacing step fails (a full disk at rename time, say).
  files.failOnce("rename", "Tolvane_DB.txt", ENOSPC);
  EXPECT_FALSE(store.rewrite({"A10.0.0.1", "A10.0.0.2"}));
  EXPECT_EQ(files.files[kList], before);
  EXPECT_EQ(files.files.size(), 1u);
  EXPECT_EQ(store.lines(), std::vector<std::string>{"A10.0.0.1"});
  ASSERT_FALSE(prompter->messages().isEmpty());
  EXPECT_TRUE(prompter->messages().back().text.endsWith(QStringLiteral("    Fill_IP_List_2")));
  EXPECT_EQ(prompter->messages().back().icon, IPrompter::Icon::Warning);

  // Writing the new file fails: the same.
  files.failOnce("write", ".Tolvane_DB.txt.", ENOSPC);
  EXPECT_FALSE(store.rewrite({"A10.0.0.3"}));
  EXPECT_EQ(files.files[kList], before);
  EXPECT_EQ(files.files.size(), 1u);

  // The next rewrite goes through and keeps the lines after the blank line.
  EXPECT_TRUE(store.rewrite({"A10.0.0.1", "A10.0.0.2"}));
  EXPECT_EQ(files.files[kList], "A10.0.0.1\r\nA10.0.0.2\r\n \r\nA10.0.0.9 (kept)\r\n");
}

}  // namespace
}  // namespace sondrel
