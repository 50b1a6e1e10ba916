// What a rewrite keeps: lines a user put after a blank line, and the list of
// another instance rewriting the same file at the same time.
#include <gtest/gtest.h>

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

struct KeepFixture : ::testing::Test {
  QTemporaryDir dir;
  std::string folder = DataFolder(dir.path().toStdString());
  std::shared_ptr<fakes::FakeNetworkSettings> network = std::make_shared<fakes::FakeNetworkSettings>();
  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
};

TEST_F(KeepFixture, LinesAfterABlankLineSurviveEveryRewriteAndAreToldOnce) {
  IPListStore store(folder, SystemFiles(), network, prompter);
  const std::string tail = "A10.0.0.7 (added by hand)\r\nBHand,10.0.0.8,10.0.0.9\r\n";
  std::ofstream(store.path(), std::ios::binary) << "A10.0.0.2\r\nA10.0.0.1\r\n\r\n" << tail;

  ASSERT_TRUE(store.FillIPList());
  EXPECT_EQ(store.lines(), (std::vector<std::string>{"A10.0.0.1", "A10.0.0.2"}));
  ASSERT_EQ(prompter->messages().size(), 1);
  EXPECT_EQ(prompter->messages()[0].text,
            QStringLiteral("The IP list holds 2 lines after an empty line. They are not loaded; "
                           "they are kept in the file as they are:\r\n") +
                QString::fromStdString(store.path()));
  EXPECT_EQ(prompter->messages()[0].icon, IPrompter::Icon::Information);

  auto lines = store.lines();
  lines.push_back("A10.0.0.3");
  ASSERT_TRUE(store.rewrite(lines));
  EXPECT_EQ(readAll(store.path()), "A10.0.0.1\r\nA10.0.0.2\r\nA10.0.0.3\r\n \r\n" + tail);
  // A delete keeps them too, and the reloads do not tell again.
  ASSERT_TRUE(store.rewrite({"A10.0.0.3"}));
  EXPECT_EQ(readAll(store.path()), "A10.0.0.3\r\n \r\n" + tail);
  EXPECT_EQ(store.lines(), std::vector<std::string>{"A10.0.0.3"});
  EXPECT_EQ(prompter->messages().size(), 1);
}

TEST_F(KeepFixture, TwoInstancesRewritingAtOnceUseTheirOwnTemporaryFiles) {
  IPListStore first(folder, SystemFiles(), network, prompter);
  IPListStore second(folder, SystemFiles(), network, prompter);
  std::ofstream(first.path(), std::ios::binary) << "A10.0.0.1\r\n \r\n";
  ASSERT_TRUE(first.FillIPList());
  ASSERT_TRUE(second.FillIPList());

  std::string firstTemp;
  std::string secondTemp;
  second.setBeforeReplaceHook([&](const std::string& temp) {
    secondTemp = temp;
    return true;
  });
  // The other instance rewrites the list while this one's file is complete
  // but not yet in place.
  first.setBeforeReplaceHook([&](const std::string& temp) {
    firstTemp = temp;
    EXPECT_TRUE(second.rewrite({"A10.0.0.1", "Asecond"}));
    return true;
  });
  EXPECT_TRUE(first.rewrite({"A10.0.0.1", "Afirst"}));
  EXPECT_NE(firstTemp, secondTemp);
  EXPECT_EQ(QFileInfo(QString::fromStdString(firstTemp)).absolutePath(),
            QFileInfo(QString::fromStdString(first.path())).absolutePath());
  // The last rename wins whole; neither file was written over by the other.
  EXPECT_EQ(readAll(first.path()), "A10.0.0.1\r\nAfirst\r\n \r\n");
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files),
            QStringList{QStringLiteral("Tolvane_DB.txt")});
  EXPECT_TRUE(prompter->messages().isEmpty());
}

}  // namespace
}  // namespace sondrel
