// What keeps the suite honest on CI: tests that need what the machine lacks
// skip on a developer's machine but fail where CI is set, and the runner that
// puts every test program into a private network namespace refuses to run
// one outside it there.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/SkipMissing.h"

namespace sondrel {
namespace {

// Sets CI for the scope of one check and puts back what was there.
class ScopedCi {
 public:
  explicit ScopedCi(const char* value) {
    if (const char* old = std::getenv("CI")) old_ = old;
    if (value)
      ::setenv("CI", value, 1);
    else
      ::unsetenv("CI");
  }
  ~ScopedCi() {
    if (old_)
      ::setenv("CI", old_->c_str(), 1);
    else
      ::unsetenv("CI");
  }

 private:
  std::optional<std::string> old_;
};

void SkipForWantOfRoot() { SONDREL_SKIP_MISSING("needs root, and this is user " << 1000); }

TEST(TestIsolation, AMissingNeedFailsUnderCiAndOnlyThere) {
  {
    ScopedCi ci("true");
    EXPECT_TRUE(testing::SkipsAreFailures());
    EXPECT_FATAL_FAILURE(SkipForWantOfRoot(),
                         "CI must be able to run this test, but: needs root, and this is user 1000");
  }
  for (const char* developer : {static_cast<const char*>(nullptr), "", "0", "false"}) {
    ScopedCi ci(developer);
    EXPECT_FALSE(testing::SkipsAreFailures()) << (developer ? developer : "(unset)");
  }
}

// The runner with an `unshare` that cannot make namespaces, as on a machine
// without root or user namespaces: exit status and what the command saw.
int IsolateWithoutNamespaces(const char* ci, const std::string& marker) {
  QTemporaryDir bin;
  if (!bin.isValid()) return -1;
  const std::string fake = bin.path().toStdString() + "/unshare";
  { std::ofstream(fake) << "#!/bin/sh\nexit 1\n"; }
  ::chmod(fake.c_str(), 0755);
  const std::string command = std::string("env -u SONDREL_ISOLATED ") + (ci ? "CI=" : "-u CI") +
                              (ci ? ci : "") + " PATH=" + bin.path().toStdString() +
                              ":/usr/bin:/bin sh " SONDREL_SOURCE_DIR "/tests/support/isolate " +
                              "touch " + marker + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TestIsolation, UnderCiTheRunnerRefusesToRunATestOnTheOpenNetwork) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string ran = dir.path().toStdString() + "/ran";
  EXPECT_EQ(IsolateWithoutNamespaces("true", ran), 1);
  EXPECT_FALSE(std::ifstream(ran).good()) << "the test program must not have run";
  // A developer's machine runs it as it is, saying so.
  EXPECT_EQ(IsolateWithoutNamespaces(nullptr, ran), 0);
  EXPECT_TRUE(std::ifstream(ran).good());
}

}  // namespace
}  // namespace sondrel
