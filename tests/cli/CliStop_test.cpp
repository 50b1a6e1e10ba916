#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "cli/CliTestSupport.h"
#include "core/ports/IcmpCarrier.h"
#include "platform/IcmpTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using cli::clitest::kProgram;
using cli::clitest::UseDataHome;

// sondrel-cli pinging a silent loopback with the longest time-out there is.
class CliStopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private network namespace");
    std::string why;
    if (!SystemIcmpCarrier()->available(&why)) SONDREL_SKIP_MISSING("no ICMP socket: " << why);
    silent_ = std::make_unique<testing::ScopedSysctl>("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
    ASSERT_TRUE(silent_->ok());
    ASSERT_TRUE(data_.isValid());
    UseDataHome(p_, data_.path());
    p_.start(kProgram, {QStringLiteral("ping"), QStringLiteral("-w"), QStringLiteral("2147483647"),
                        QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(p_.waitForStarted(10000));
    // The run has begun once its log has a header; the first echo follows 99 ms later.
    QElapsedTimer t;
    t.start();
    while (LogBytes() != "1,1\r\n" && t.elapsed() < 10000) p_.waitForFinished(20);
    ASSERT_EQ(LogBytes(), "1,1\r\n") << "the run did not start";
    p_.waitForFinished(300);  // the echo is out and waiting
    ASSERT_EQ(p_.state(), QProcess::Running);
  }
  void TearDown() override {
    if (p_.state() != QProcess::NotRunning) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }
  void Signal(int sig) { ::kill(static_cast<pid_t>(p_.processId()), sig); }
  // True when the program ended within `ms`.
  bool EndsWithin(int ms) { return p_.waitForFinished(ms); }
  std::string LogBytes() {
    std::ifstream in(data_.path().toStdString() + "/SondrelDataBas/Tolvane_DB3.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  QTemporaryDir data_;
  std::unique_ptr<testing::ScopedSysctl> silent_;
  QProcess p_;
};

TEST_F(CliStopTest, InterruptStopsARunWaitingOnTheLongestTimeOut) {
  Signal(SIGINT);
  ASSERT_TRUE(EndsWithin(3000)) << "SIGINT waited for the time-out";
  EXPECT_EQ(p_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p_.exitCode(), 1);
  const QByteArray out = p_.readAllStandardOutput();
  EXPECT_TRUE(out.contains("\nReault:\n \nSent:       0\n")) << out.toStdString();
  // The cancelled echo never completed: the log holds the header only.
  EXPECT_EQ(LogBytes(), "1,1\r\n");
}

TEST_F(CliStopTest, ASecondSignalDuringTheStopEndsTheProgramAtOnce) {
  // Held, the program takes both signals one after the other before its event
  // loop can finish the stop that the first one asked for.
  Signal(SIGSTOP);
  Signal(SIGINT);
  Signal(SIGTERM);
  Signal(SIGCONT);
  ASSERT_TRUE(EndsWithin(3000));
  EXPECT_EQ(p_.exitStatus(), QProcess::CrashExit) << "ended by the second signal";
}

}  // namespace
}  // namespace sondrel
