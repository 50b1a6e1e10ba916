#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/Files_linux.h"

namespace sondrel {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AppendOnlyLog, AShortWriteIsCutBackSoTheNextLineStandsAlone) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/log.txt";
  AppendOnlyLog log;
  ASSERT_TRUE(log.create(path, "1,1\r\n"));
  ASSERT_TRUE(log.appendLine("first\r\n"));

  // The disk takes four bytes of the next line, then is full.
  int calls = 0;
  log.setWriter([&](int fd, const char* data, std::size_t size) -> ssize_t {
    if (++calls == 1) return ::write(fd, data, std::min<std::size_t>(size, 4));
    errno = ENOSPC;
    return -1;
  });
  auto failed = log.appendLine("second\r\n");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().code, ENOSPC);
  EXPECT_TRUE(log.atLineStart());
  EXPECT_EQ(ReadFile(path), "1,1\r\nfirst\r\n");

  log.setWriter(nullptr);
  ASSERT_TRUE(log.appendLine("third\r\n"));
  log.close();
  EXPECT_EQ(ReadFile(path), "1,1\r\nfirst\r\nthird\r\n");
}

TEST(AppendOnlyLog, NewFilesNeverReplaceAndTemporaryNamesAreUnique) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/";
  std::set<std::string> names;
  for (int i = 0; i < 100; ++i) names.insert(UniqueTempPath(folder, "Tolvane_DB3.txt"));
  EXPECT_EQ(names.size(), 100u);
  const std::string name = *names.begin();
  EXPECT_EQ(name.rfind(folder + ".Tolvane_DB3.txt." + std::to_string(::getpid()) + ".", 0), 0u);

  ASSERT_TRUE(WriteNewFile(name, "a\r\n"));
  EXPECT_FALSE(WriteNewFile(name, "b\r\n"));
  EXPECT_EQ(ReadFile(name), "a\r\n");
  EXPECT_TRUE(CheckFolderWritable(folder));
  EXPECT_EQ(CheckFolderWritable(name).error().code, ENOTDIR);
  EXPECT_EQ(CheckFolderWritable(folder + "missing").error().code, ENOENT);
}

}  // namespace
}  // namespace sondrel
