#pragma once
// What the sondrel-cli tests share: the real program run to its end, and the
// run driven in process with fakes, its output caught in temporary files.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliPing.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeResolver.h"
#include "platform/Files_linux.h"

namespace sondrel::cli::clitest {

inline const QString kProgram = QStringLiteral(SONDREL_BIN_DIR "/sondrel-cli");

struct Finished {
  int status = -1;
  QString out;
  QString err;
};

// The process's data folder goes under dataHome.
inline void UseDataHome(QProcess& p, const QString& dataHome) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
  p.setProcessEnvironment(env);
}

// Waits for a started process's end and output; status -1 when it did not
// end by itself within `ms`.
inline Finished WaitForEnd(QProcess& p, int ms) {
  Finished f;
  if (!p.waitForFinished(ms)) {
    p.kill();
    p.waitForFinished(5000);
    return f;
  }
  f.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  f.out = QString::fromLocal8Bit(p.readAllStandardOutput());
  f.err = QString::fromLocal8Bit(p.readAllStandardError());
  return f;
}

// Runs sondrel-cli with its data folder under dataHome; status -1 when it
// did not end by itself within a minute.
inline Finished RunProgram(const QStringList& args, const QString& dataHome) {
  QProcess p;
  UseDataHome(p, dataHome);
  p.start(kProgram, args);
  return WaitForEnd(p, 60000);
}

// Whether a small tmpfs can be mounted in a private mount namespace here.
inline bool CanMountSmallTmpfs() {
  return std::system("unshare -m sh -c 'd=$(mktemp -d) && mount -t tmpfs -o size=64k t \"$d\" && "
                     "umount \"$d\"; rmdir \"$d\"' 2>/dev/null") == 0;
}

// Runs `commands` (sh: "$1" the mount point, "$2" `copy`, "$3" sondrel-cli)
// in a private mount namespace, with a new tmpfs of `size` mounted on
// `mountPoint` as the data home; the data folder is copied into `copy`
// before the mount goes. The status is that of `commands`, 99 when the
// tmpfs could not be mounted.
inline Finished RunOnTmpfs(const QString& size, const QString& mountPoint, const QString& copy,
                           const QString& commands) {
  QProcess p;
  UseDataHome(p, mountPoint);
  p.start(QStringLiteral("unshare"),
          {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
           QStringLiteral("mount -t tmpfs -o size=") + size + QStringLiteral(" t \"$1\" || exit 99; ") + commands +
               QStringLiteral("; s=$?; cp -a \"$1\"/SondrelDataBas/. \"$2\"/; exit $s"),
           QStringLiteral("sh"), mountPoint, copy, kProgram});
  return WaitForEnd(p, 120000);
}

inline std::string ReadAll(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

class CliRunTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  CliServices services;
  std::shared_ptr<fakes::FakeIcmpCarrier> icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  void SetUp() override {
    services.clock = std::make_shared<fakes::FakeClock>();
    services.icmp = icmp;
    services.resolver = std::make_shared<fakes::FakeResolver>();
    services.files = &SystemFiles();
    services.dataFolder = dir.path().toStdString() + "/";
    services.out = std::tmpfile();
    services.err = std::tmpfile();
  }
  void TearDown() override {
    if (services.out) std::fclose(services.out);
    std::fclose(services.err);
  }
  int Run(std::vector<std::string> args) {
    ParsedCommandLine p = ParseCommandLine(args);
    EXPECT_TRUE(p.ok()) << p.error;
    return RunPing(p.options, services);
  }
};

}  // namespace sondrel::cli::clitest
