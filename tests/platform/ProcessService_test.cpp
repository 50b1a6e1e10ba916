// Children started from an argument vector: merged output in bounded pieces
// through the event loop, exit status, the whole group stopped, and a socket
// end handed over at a chosen descriptor.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <csignal>
#include <fstream>
#include <string>

#include "platform/ProcessService_linux.h"
#include "fakes/FakeProcessService.h"
#include "ports/ProcessService.h"

namespace sondrel {
namespace {

struct Watch {
  QByteArray all;
  int pieces = 0;
  int largest = 0;
  int finishedCount = 0;
  int status = -1;

  explicit Watch(ChildProcess& child) {
    QObject::connect(&child, &ChildProcess::output, [this](const QByteArray& piece) {
      all += piece;
      ++pieces;
      largest = std::max(largest, static_cast<int>(piece.size()));
      EXPECT_EQ(finishedCount, 0) << "output after finished";
    });
    QObject::connect(&child, &ChildProcess::finished, [this](int s) {
      ++finishedCount;
      status = s;
    });
  }
  bool waitFinished() {
    return QTest::qWaitFor([this] { return finishedCount > 0; }, 10000);
  }
};

std::unique_ptr<ChildProcess> Start(ProcessService& service, ProcessStart how) {
  auto started = service.start(how);
  EXPECT_TRUE(started) << started.error().message;
  return started ? std::move(started.value()) : nullptr;
}

TEST(ProcessService, ArgumentsReachTheProgramUnchangedAndOutputComesInSmallPieces) {
  auto service = MakeProcessService();
  // No shell between: quotes, "$" and ";" are plain bytes of the argument.
  auto child = Start(*service, {{"/bin/echo", "a 'b' $HOME;", "c"}});
  ASSERT_TRUE(child);
  Watch watch(*child);
  ASSERT_TRUE(watch.waitFinished());
  EXPECT_EQ(watch.all, QByteArray("a 'b' $HOME; c\n"));
  EXPECT_EQ(watch.status, 0);
  EXPECT_EQ(child->exitStatus(), 0);
  EXPECT_FALSE(child->running());

  // 1000 bytes on standard output and a message on standard error, in order.
  auto big = Start(*service, {{"/usr/bin/printf", "%01000d", "0"}});
  ASSERT_TRUE(big);
  Watch bigWatch(*big);
  ASSERT_TRUE(bigWatch.waitFinished());
  EXPECT_EQ(bigWatch.all, QByteArray(1000, '0'));
  EXPECT_LE(bigWatch.largest, 256);
  EXPECT_GE(bigWatch.pieces, 4);
  EXPECT_EQ(bigWatch.finishedCount, 1);
}

TEST(ProcessService, StandardErrorIsMergedAndTheExitStatusKept) {
  auto service = MakeProcessService();
  auto child = Start(*service, {{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}});
  ASSERT_TRUE(child);
  Watch watch(*child);
  ASSERT_TRUE(watch.waitFinished());
  EXPECT_EQ(watch.all, QByteArray("out\nerr\n"));
  EXPECT_EQ(watch.status, 3);

  auto missing = service->start({{"/nonexistent/program"}});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ENOENT);
  EXPECT_FALSE(service->start({{}}));
}

TEST(ProcessService, TheChildGetsTheVariablesGivenBesideThisProgramsOwn) {
  auto service = MakeProcessService();
  qputenv("SONDREL_TEST_KEPT", "kept");
  qputenv("SONDREL_TEST_REPLACED", "old");
  ProcessStart how{{"/usr/bin/env"}};
  how.environment = {{"SONDREL_TEST_REPLACED", "new"}, {"SONDREL_TEST_ADDED", "a b;$c"}, {"SONDREL_TEST_CUT", std::string("x\0y", 3)}};
  auto child = Start(*service, how);
  ASSERT_TRUE(child);
  Watch watch(*child);
  ASSERT_TRUE(watch.waitFinished());
  const QList<QByteArray> lines = watch.all.split('\n');
  EXPECT_TRUE(lines.contains("SONDREL_TEST_KEPT=kept"));
  EXPECT_TRUE(lines.contains("SONDREL_TEST_REPLACED=new"));
  EXPECT_FALSE(lines.contains("SONDREL_TEST_REPLACED=old")) << "replaced, not doubled";
  EXPECT_TRUE(lines.contains("SONDREL_TEST_ADDED=a b;$c"));
  EXPECT_TRUE(lines.contains("SONDREL_TEST_CUT=x"));
  EXPECT_TRUE(lines.contains("PATH=" + qgetenv("PATH")));
  qunsetenv("SONDREL_TEST_KEPT");
  qunsetenv("SONDREL_TEST_REPLACED");
}

bool GoneOrZombie(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  if (!(stat >> pidText >> name >> state)) return true;
  return state == "Z" || state == "X";
}

TEST(ProcessService, TerminatingTheGroupEndsWhatTheChildStarted) {
  auto service = MakeProcessService();
  auto child = Start(*service, {{"/bin/sh", "-c", "sleep 60 & echo $!; wait"}});
  ASSERT_TRUE(child);
  Watch watch(*child);
  ASSERT_TRUE(QTest::qWaitFor([&] { return watch.all.endsWith('\n'); }, 10000));
  const pid_t grandchild = watch.all.trimmed().toInt();
  ASSERT_GT(grandchild, 0);
  EXPECT_FALSE(GoneOrZombie(grandchild));

  child->terminateGroup(SIGTERM);
  ASSERT_TRUE(watch.waitFinished());
  EXPECT_EQ(watch.status, 128 + SIGTERM);
  EXPECT_TRUE(QTest::qWaitFor([&] { return GoneOrZombie(grandchild); }, 10000));
}

TEST(ProcessService, DestroyingARunningChildKillsItsGroup) {
  auto service = MakeProcessService();
  auto child = Start(*service, {{"/bin/sleep", "60"}});
  ASSERT_TRUE(child);
  const pid_t pid = static_cast<pid_t>(child->pid());
  child.reset();
  // Reaped by the destructor: no process, not even a zombie, is left.
  EXPECT_NE(::kill(pid, 0), 0);
}

TEST(ProcessService, TheChildGetsASocketEndAtTheChosenDescriptor) {
  auto service = MakeProcessService();
  ProcessStart how{{"/bin/sh", "-c", "echo hello >&5; read line <&5; echo \"got $line\""}, 5};
  auto child = Start(*service, how);
  ASSERT_TRUE(child);
  Watch watch(*child);
  ASSERT_GE(child->socketFd(), 0);

  char buf[16] = {};
  ssize_t n = -1;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    n = ::recv(child->socketFd(), buf, sizeof buf, MSG_DONTWAIT);
    return n > 0;
  }, 10000));
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "hello\n");
  ASSERT_EQ(::send(child->socketFd(), "back\n", 5, MSG_NOSIGNAL), 5);
  ASSERT_TRUE(watch.waitFinished());
  EXPECT_EQ(watch.all, QByteArray("got back\n"));

  // Descriptors 0-2 are the child's own; a number there is refused.
  EXPECT_FALSE(service->start({{"/bin/true"}, 1}));
}

TEST(FakeProcessService, PlaysItsScriptInTheOrderARealChildKeeps) {
  fakes::FakeProcessService service;
  service.script("/worker", {{"one", QByteArray(300, 'x')}, 2, false});
  service.script("/terminal", {{"ready"}, 0, true});

  auto worker = Start(service, {{"/worker", "-a"}});
  Watch watch(*worker);
  ASSERT_TRUE(watch.waitFinished());
  EXPECT_EQ(watch.all, QByteArray("one") + QByteArray(256, 'x'));
  EXPECT_EQ(watch.status, 2);

  auto terminal = Start(service, {{"/terminal"}});
  Watch held(*terminal);
  ASSERT_TRUE(QTest::qWaitFor([&] { return held.all == "ready"; }, 1000));
  EXPECT_TRUE(terminal->running());
  terminal->terminateGroup(SIGTERM);
  ASSERT_TRUE(held.waitFinished());
  EXPECT_EQ(held.status, 128 + SIGTERM);

  EXPECT_FALSE(service.start({{"/missing"}}));
  ASSERT_EQ(service.started().size(), 3u);
  EXPECT_EQ(service.started()[0].argv, (std::vector<std::string>{"/worker", "-a"}));
}

}  // namespace
}  // namespace sondrel
