#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
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

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct StoreFixture : ::testing::Test {
  QTemporaryDir dir;
  std::string folder = DataFolder(dir.path().toStdString());
  std::shared_ptr<fakes::FakeNetworkSettings> network = std::make_shared<fakes::FakeNetworkSettings>();
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{folder, SystemFiles(), network, prompter};
};

TEST_F(StoreFixture, FirstStartWritesTheDefaultListAndShowsItSorted) {
  network->adapterList = {{"eth0", "192.168.7.20", "255.255.255.0", "AA-BB-CC-DD-EE-FF", "192.168.7.1"}};
  network->servers = {"192.168.7.1", "192.168.7.53"};
  ASSERT_TRUE(store.FillIPList());

  const std::string bytes = readAll(store.path());
  EXPECT_EQ(bytes.rfind("A192.168.7.1\r\nA192.168.7.53\r\nAwww.wikipedia.org\r\nAwww.debian.org\r\n"
                        "BIP_Group_01,192.168.7.1,",
                        0),
            0u);
  EXPECT_EQ(bytes.substr(bytes.size() - 58), "CIP_Range_01_Subnet_(0-255),192.168.7.0,192.168.7.255\r\n \r\n");
  EXPECT_EQ(store.IPEntryCount(), 7);
  EXPECT_EQ(store.IPEntries()[0], "A192.168.7.1");
  EXPECT_EQ(store.IPEntries()[2], "Awww.debian.org") << "sorted after loading";
  EXPECT_EQ(store.ListIP2().size(), 6u);
  EXPECT_EQ(store.ListIP2().back(), "Add a IP / URL");
  EXPECT_TRUE(prompter->calls.isEmpty());

  // A second start reads the file as it is.
  network->adapterList.clear();
  IPListStore again{folder, SystemFiles(), network, prompter};
  ASSERT_TRUE(again.FillIPList());
  EXPECT_EQ(again.IPEntries(), store.IPEntries());
}

TEST_F(StoreFixture, AnEmptyFileKeepsThePickersPreviousItems) {
  writeAll(store.path(), "A1.1.1.1\r\n \r\n");
  ASSERT_TRUE(store.FillIPList());
  auto picker = store.ListIP2();
  writeAll(store.path(), " \r\nA2.2.2.2\r\n");
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.IPEntryCount(), 0);
  EXPECT_TRUE(store.lines().empty());
  EXPECT_EQ(store.ListIP2(), picker);

  // Adding to the empty list stores the new line first: no empty first line
  // that would make the file read as empty again. The line after the blank
  // one stays behind the closing line.
  auto lines = store.lines();
  lines.push_back("Anew.host");
  store.rewrite(lines);
  EXPECT_EQ(readAll(store.path()), "Anew.host\r\n \r\nA2.2.2.2\r\n");
  EXPECT_EQ(store.IPEntries(), std::vector<std::string>{"Anew.host"});
}

TEST_F(StoreFixture, RewritesGiveTheExactBytesAndReload) {
  writeAll(store.path(), "A9.9.9.9\r\nA10.0.0.1\r\n \r\n");
  ASSERT_TRUE(store.FillIPList());
  auto lines = store.lines();
  lines.push_back("Anew.host");
  store.rewrite(lines);
  EXPECT_EQ(readAll(store.path()), "A10.0.0.1\r\nA9.9.9.9\r\nAnew.host\r\n \r\n");
  EXPECT_EQ(store.IPEntryCount(), 3);

  // A read-only list is replaced all the same.
  ASSERT_EQ(chmod(store.path().c_str(), 0444), 0);
  store.rewrite({"Aonly"});
  EXPECT_EQ(readAll(store.path()), "Aonly\r\n \r\n");
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files),
            QStringList{QStringLiteral("Tolvane_DB.txt")})
      << "no temporary file is left behind";
}

TEST_F(StoreFixture, AFailedRewriteLeavesTheOldListWhole) {
  const std::string old = "A10.0.0.1\r\nBG,1.1.1.1\r\n \r\n";
  writeAll(store.path(), old);
  ASSERT_TRUE(store.FillIPList());
  bool hookRan = false;
  store.setBeforeReplaceHook([&](const std::string& temporary) {
    hookRan = true;
    // The temporary file is complete at this point.
    EXPECT_EQ(readAll(temporary), "A10.0.0.1\r\nBG,1.1.1.1\r\nAextra\r\n \r\n");
    return false;
  });
  auto lines = store.lines();
  lines.push_back("Aextra");
  store.rewrite(lines);
  EXPECT_TRUE(hookRan);
  EXPECT_EQ(readAll(store.path()), old);
  EXPECT_EQ(store.IPEntryCount(), 2) << "the old list is shown again";
  ASSERT_EQ(prompter->messages().size(), 1);
  EXPECT_TRUE(prompter->messages()[0].text.endsWith(QStringLiteral("    Fill_IP_List_2")));
  EXPECT_EQ(prompter->messages()[0].icon, IPrompter::Icon::Warning);
}

TEST(IPListStore, AFirstStartInAnEmptyDataFolderWritesTheDefaultList) {
  QTemporaryDir home;
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
  const std::string folder = DataFolder();
  qputenv("XDG_DATA_HOME", saved);
  ASSERT_EQ(folder, home.path().toStdString() + "/SondrelDataBas/");

  // A machine without any adapter: only the two sites, no group or range.
  auto prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{folder, SystemFiles(), std::make_shared<fakes::FakeNetworkSettings>(),
                    prompter};
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(readAll(folder + "Tolvane_DB.txt"), "Awww.wikipedia.org\r\nAwww.debian.org\r\n \r\n");
  EXPECT_EQ(store.displayNames(), (std::vector<std::string>{"www.debian.org", "www.wikipedia.org"}));
  EXPECT_EQ(store.ListIP2(), (std::vector<std::string>{"www.debian.org", "www.wikipedia.org",
                                                       "----------------------------",
                                                       "Add a IP / URL"}));
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(StoreFixture, DisplayNamesFollowTheSortedEntries) {
  writeAll(store.path(), "CRange,10.0.0.1,10.0.0.9\nB Group ,10.0.0.1\nA  " + std::string(120, 'h') +
                             "\nA10.0.0.1 (router)\n");
  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.IPEntries()[0], "A  " + std::string(120, 'h')) << "the whole line is kept";
  // Characters 2 to 100 (two blanks and 97 letters), then trimmed.
  EXPECT_EQ(store.displayNames(), (std::vector<std::string>{std::string(97, 'h'), "10.0.0.1 (router)",
                                                            " Group ", "Range"}));
}

TEST(IPListStore, AnUnusableFolderIsReportedNotFatal) {
  QTemporaryDir dir;
  const std::string notAFolder = dir.path().toStdString() + "/file";
  writeAll(notAFolder, "x");
  auto prompter = std::make_shared<fakes::FakePrompter>();
  IPListStore store{notAFolder + "/", SystemFiles(),
                    std::make_shared<fakes::FakeNetworkSettings>(), prompter};
  EXPECT_FALSE(store.FillIPList());
  EXPECT_EQ(store.IPEntryCount(), 0);
  ASSERT_FALSE(prompter->messages().isEmpty());
  EXPECT_TRUE(prompter->messages()[0].text.endsWith(QStringLiteral("    Fill_IP_List_2")));
}

}  // namespace
}  // namespace sondrel
