// The command runner: output handed over in order and in small pieces as it
// comes, one empty piece at the end, standard error in the same stream, and
// its three messages, on real children and on scripted ones.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "platform/ProcessService_linux.h"
#include "fakes/FakeProcessService.h"
#include "fakes/FakePrompter.h"
#include "ports/ProcessService.h"
#include "command/ClassDos.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using fakes::FakePrompter;
using fakes::FakeProcessService;

// Every ReceiveOutputs in order.
struct Events {
  QStringList pieces;
  explicit Events(ClassDos& dos) {
    QObject::connect(&dos, &ClassDos::ReceiveOutputs,
                     [this](const QString& piece) { pieces.push_back(piece); });
  }
  int ends() const { return static_cast<int>(pieces.count(QString())); }
  bool waitEnd() {
    return QTest::qWaitFor([this] { return ends() > 0; }, 10000);
  }
};

struct RealRunner : ::testing::Test {
  std::unique_ptr<ProcessService> service = MakeProcessService();
  FakePrompter prompter;
  ClassDos dos{*service, prompter};
  Events events{dos};
};

TEST_F(RealRunner, LongOutputComesInPiecesOfAtMost256BytesThenOneEmptyPiece) {
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/usr/bin/printf %01000d 0")));
  ASSERT_TRUE(events.waitEnd());
  QTest::qWait(50);  // nothing may follow the end
  ASSERT_GE(events.pieces.size(), 5);
  EXPECT_EQ(events.ends(), 1);
  EXPECT_TRUE(events.pieces.back().isEmpty());
  QString joined;
  for (const QString& piece : events.pieces) {
    EXPECT_LE(piece.size(), 256);
    joined += piece;
  }
  EXPECT_EQ(joined, QString(1000, QLatin1Char('0')));
  EXPECT_EQ(dos.Outputs(), QString(1000, QLatin1Char('0')));
  EXPECT_FALSE(dos.running());
  EXPECT_TRUE(prompter.calls.isEmpty());
}

TEST_F(RealRunner, StandardErrorSharesTheStreamAndQuotesKeepAWordWhole) {
  // Found on the search path; the quoted script is one argument, no shell
  // is put in front of it.
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("sh -c \"echo out; echo err >&2; echo again\"")));
  ASSERT_TRUE(events.waitEnd());
  EXPECT_EQ(dos.Outputs(), QStringLiteral("out\nerr\nagain\n"));
  EXPECT_EQ(dos.CommandLine, QStringLiteral("sh -c \"echo out; echo err >&2; echo again\""));
}

TEST_F(RealRunner, SilentCommandGivesExactlyTheEmptyEvent) {
  dos.CommandLine = QStringLiteral("/bin/true");
  ASSERT_TRUE(dos.ExecuteCommand());
  ASSERT_TRUE(events.waitEnd());
  QTest::qWait(50);
  EXPECT_EQ(events.pieces, QStringList{QString()});
  EXPECT_EQ(dos.Outputs(), QString());
}

TEST_F(RealRunner, OutputIsReadAsItComesNotAtTheCall) {
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/bin/sh -c \"echo first; sleep 0.3; echo second\"")));
  // The call returns before the child has been read at all.
  EXPECT_EQ(dos.Outputs(), QString());
  EXPECT_TRUE(events.pieces.isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.pieces.isEmpty(); }, 5000));
  EXPECT_EQ(events.pieces.front(), QStringLiteral("first\n"));
  ASSERT_TRUE(events.waitEnd());
  EXPECT_EQ(dos.Outputs(), QStringLiteral("first\nsecond\n"));
}

TEST_F(RealRunner, ACharacterSplitBetweenTwoReadsStaysWhole) {
  // 255 bytes, then a two-byte character across the 256-byte boundary.
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/usr/bin/printf %0255d\\303\\251 0")));
  ASSERT_TRUE(events.waitEnd());
  EXPECT_EQ(dos.Outputs(), QString(255, QLatin1Char('0')) + QChar(0xE9));
  EXPECT_EQ(events.ends(), 1);
}

TEST_F(RealRunner, MissingProgramAndEmptyLineAreToldAndKeepTheLastOutput) {
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/bin/echo kept")));
  ASSERT_TRUE(events.waitEnd());
  events.pieces.clear();

  EXPECT_FALSE(dos.ExecuteCommand(QStringLiteral("sondrel-no-such-program -x")));
  EXPECT_FALSE(dos.ExecuteCommand(QStringLiteral("/nonexistent/folder/prog")));
  dos.CommandLine.clear();
  EXPECT_FALSE(dos.ExecuteCommand());
  QTest::qWait(50);

  const auto messages = prompter.messages();
  ASSERT_EQ(messages.size(), 3);
  EXPECT_EQ(messages[0].text, QStringLiteral("File or command not found"));
  EXPECT_EQ(messages[1].text, QStringLiteral("File or command not found"));
  EXPECT_EQ(messages[2].text, QStringLiteral("Command Line empty"));
  for (const auto& m : messages) EXPECT_EQ(m.icon, IPrompter::Icon::Critical);
  EXPECT_TRUE(events.pieces.isEmpty());
  EXPECT_EQ(dos.Outputs(), QStringLiteral("kept\n"));
}

TEST_F(RealRunner, StartingAgainDropsTheRunStillGoing) {
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/bin/sh -c \"sleep 3; echo old\"")));
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("/bin/echo new")));
  ASSERT_TRUE(events.waitEnd());
  QTest::qWait(100);
  EXPECT_EQ(events.pieces, (QStringList{QStringLiteral("new\n"), QString()}));
  EXPECT_EQ(dos.Outputs(), QStringLiteral("new\n"));
}

// Restores the search path and working folder a test changes.
struct PathAndFolder {
  QByteArray path = qgetenv("PATH");
  QString folder = QDir::currentPath();
  ~PathAndFolder() {
    qputenv("PATH", path);
    QDir::setCurrent(folder);
  }
};

TEST_F(RealRunner, BareNamesAreSoughtInSystemFoldersButNeverInTheWorkingFolder) {
  PathAndFolder keep;
  QTemporaryDir here;
  ASSERT_TRUE(here.isValid());
  QFile planted(here.filePath(QStringLiteral("sondrel-planted")));
  ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
  planted.write("#!/bin/sh\necho planted\n");
  planted.close();
  planted.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ASSERT_TRUE(QDir::setCurrent(here.path()));
  // An empty entry of the path would name the working folder.
  qputenv("PATH", "/usr/bin::/bin");

  EXPECT_FALSE(dos.ExecuteCommand(QStringLiteral("sondrel-planted")));
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].text, QStringLiteral("File or command not found"));

  // `ip` lives in an sbin folder a desktop user's path often lacks.
  if (!QFile::exists(QStringLiteral("/usr/sbin/ip")) && !QFile::exists(QStringLiteral("/sbin/ip")))
    SONDREL_SKIP_MISSING("no ip program on this system");
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("ip -V")));
  ASSERT_TRUE(events.waitEnd());
  EXPECT_TRUE(dos.Outputs().contains(QStringLiteral("iproute2"))) << dos.Outputs().toStdString();
}

// A service whose pipes cannot be made.
class NoDescriptors final : public ProcessService {
 public:
  int starts = 0;
  Result<std::unique_ptr<ChildProcess>> start(const ProcessStart&) override {
    ++starts;
    return Error{EMFILE, "Too many open files"};
  }
};

TEST(ScriptedRunner, WordsReachTheServiceAndScriptedPiecesArriveInOrder) {
  FakeProcessService service;
  service.script("ip", {{QByteArray("10.0.0.1 dev eth0 "), QByteArray("lladdr 00:11:22:33:44:55\n")}});
  FakePrompter prompter;
  ClassDos dos(service, prompter);
  Events events(dos);
  ASSERT_TRUE(dos.ExecuteCommand(QStringLiteral("ip  -4 neigh   \"show\"")));
  ASSERT_TRUE(events.waitEnd());
  ASSERT_EQ(service.started().size(), 1u);
  EXPECT_EQ(service.started()[0].argv, (std::vector<std::string>{"ip", "-4", "neigh", "show"}));
  EXPECT_EQ(events.pieces, (QStringList{QStringLiteral("10.0.0.1 dev eth0 "),
                                        QStringLiteral("lladdr 00:11:22:33:44:55\n"), QString()}));

  // An empty line never reaches the service.
  dos.CommandLine.clear();
  EXPECT_FALSE(dos.ExecuteCommand());
  EXPECT_EQ(service.started().size(), 1u);
}

TEST(ScriptedRunner, PipeFailureIsToldWithItsCode) {
  NoDescriptors service;
  FakePrompter prompter;
  ClassDos dos(service, prompter);
  EXPECT_FALSE(dos.ExecuteCommand(QStringLiteral("ip -4 neigh show")));
  ASSERT_EQ(prompter.messages().size(), 1);
  EXPECT_EQ(prompter.messages()[0].text, QStringLiteral("CreatePipe failed. Error: 24"));
  EXPECT_EQ(prompter.messages()[0].icon, IPrompter::Icon::Critical);
}

}  // namespace
}  // namespace sondrel
