// The file service on real files: whole-file replacement, copy-in, placing a
// new name without replacing, and the data-folder lock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "platform/Files_linux.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

using testing_files::Names;
using testing_files::ReadFile;

class FileServiceTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/";
  FileService& files = SystemFiles();
};

TEST_F(FileServiceTest, ReplaceGivesTheNewBytesWholeAndLeavesNoTemporary) {
  const std::string path = folder + "list.txt";
  ASSERT_TRUE(files.replaceFile(path, "a\r\nb\r\n"));
  ASSERT_TRUE(files.replaceFile(path, "c\r\n"));
  EXPECT_EQ(ReadFile(path), "c\r\n");
  EXPECT_EQ(files.fileSize(path), 3);
  EXPECT_EQ(Names(folder), std::set<std::string>{"list.txt"});

  // A folder in the file's place: the rename fails and nothing is left over.
  fs::create_directory(folder + "taken");
  std::ofstream(folder + "taken/x") << "x";
  EXPECT_FALSE(files.replaceFile(folder + "taken", "d\r\n"));
  EXPECT_EQ(Names(folder), (std::set<std::string>{"list.txt", "taken"}));
  EXPECT_FALSE(files.fileSize(folder + "missing"));
}

TEST_F(FileServiceTest, NewNamesNeverReplaceAnExistingFile) {
  const std::string source = folder + "import.txt";
  std::ofstream(source, std::ios::binary) << "10.0.0.1\r\n";
  ASSERT_TRUE(files.copyIn(source, folder + "copy.txt"));
  EXPECT_EQ(ReadFile(folder + "copy.txt"), "10.0.0.1\r\n");
  auto again = files.copyIn(folder + "list.txt.none", folder + "copy.txt");
  EXPECT_FALSE(again);

  std::ofstream(folder + "other.txt") << "other";
  auto placed = files.placeNewFile(folder + "other.txt", folder + "copy.txt");
  ASSERT_FALSE(placed);
  EXPECT_EQ(placed.error().code, EEXIST);
  EXPECT_EQ(ReadFile(folder + "copy.txt"), "10.0.0.1\r\n");
  EXPECT_EQ(Names(folder), (std::set<std::string>{"import.txt", "copy.txt", "other.txt"}));

  ASSERT_TRUE(files.writeNewFile(folder + "prog", "#!/bin/true\n", true));
  struct stat st {};
  ASSERT_EQ(::stat((folder + "prog").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(FileServiceTest, TheLockIsExclusiveUntilItsHolderGoes) {
  const std::string path = folder + "Tolvane_DB3.lock";
  EXPECT_FALSE(files.lockedElsewhere(path));
  auto first = files.lockFile(path);
  ASSERT_TRUE(first);
  EXPECT_TRUE(files.lockedElsewhere(path));
  auto second = files.lockFile(path);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().code, EWOULDBLOCK);
  first.value().reset();
  EXPECT_FALSE(files.lockedElsewhere(path));
  EXPECT_TRUE(files.lockFile(path));
}

}  // namespace
}  // namespace sondrel
