// Two programs on one run archive at once: sondrel-cli ping writes its run
// while sondrel-cli runs and export read it, another sondrel-cli changes it,
// and a window opens it. None waits for the writer, and none ends the other's
// live run as crashed.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "app/AppFixture.h"
#include "archive/ArchiveChecks.h"
#include "archive/ArchiveRecorder.h"
#include "archive/RunArchive.h"
#include "cli/CliTestSupport.h"
#include "platform/Files_linux.h"
#include "platform/IcmpTestSupport.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using cli::clitest::Finished;
using cli::clitest::kProgram;
using cli::clitest::RunProgram;
using cli::clitest::UseDataHome;

// A reader must not wait for the writer: a wait would last the busy time-out (5 s).
constexpr qint64 kPromptMs = 2500;

// The result rows of an export by target (the export lists target by
// target), each in order.
std::map<QString, QStringList> ReplyRows(const QString& exported) {
  static const QRegularExpression reply(QStringLiteral("Reply from (\\S+) "));
  std::map<QString, QStringList> rows;
  for (const QString& line : exported.split(QStringLiteral("\r\n")))
    if (const auto m = reply.match(line); m.hasMatch()) rows[m.captured(1)] << line;
  return rows;
}

class FormMainArchiveSharedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::Isolated()) SONDREL_SKIP_MISSING("needs the private network namespace");
    std::string why;
    if (!SystemIcmpCarrier()->available(&why)) SONDREL_SKIP_MISSING("no ICMP socket: " << why);
    ASSERT_TRUE(base_.isValid());
  }
  void TearDown() override {
    if (ping_.state() != QProcess::NotRunning) {
      ping_.kill();
      ping_.waitForFinished(5000);
    }
  }
  // sondrel-cli on the same data folder, timed.
  Finished Run(const QStringList& args, qint64* ms = nullptr) {
    QElapsedTimer t;
    t.start();
    Finished f = RunProgram(args, base_.path());
    if (ms) *ms = t.elapsed();
    return f;
  }
  RunSummary SummaryOf(std::int64_t id) {
    auto archive = RunArchive::open(SystemFiles(), path_, ArchiveAccess::ReadOnly);
    EXPECT_TRUE(archive) << archive.error().message;
    if (!archive) return {};
    auto s = archive.value()->summary(id);
    EXPECT_TRUE(s) << s.error().message;
    return s ? s.value() : RunSummary{};
  }
  void ExpectStillPinging() { ASSERT_EQ(ping_.state(), QProcess::Running) << "the run ended before the test was done"; }

  QTemporaryDir base_;
  std::string path_ = base_.path().toStdString() + "/SondrelDataBas/" + kArchiveFile;
  QProcess ping_;
};

TEST_F(FormMainArchiveSharedTest, ReadersAndAWindowBesideARunningCommandLineRun) {
  // 400 passes over 10 loopback targets, some 8 s.
  UseDataHome(ping_, base_.path());
  ping_.start(kProgram, {QStringLiteral("ping"), QStringLiteral("-c"), QStringLiteral("400"), QStringLiteral("-i"),
                         QStringLiteral("20"), QStringLiteral("-w"), QStringLiteral("200"),
                         QStringLiteral("127.0.0.1-127.0.0.10")});
  ASSERT_TRUE(ping_.waitForStarted(10000));
  std::int64_t id = 0;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        auto archive = RunArchive::open(SystemFiles(), path_, ArchiveAccess::ReadOnly);
        if (!archive) return false;
        auto runs = archive.value()->listRuns({}, 0, 1);
        if (!runs || runs.value().empty() || runs.value()[0].sent == 0) return false;
        id = runs.value()[0].id;
        return true;
      },
      10000))
      << "the run's first batch never reached the archive";
  const QString shownId = QString::number(id);

  // The list shows the run as going, at once.
  qint64 ms = 0;
  const Finished listed = Run({QStringLiteral("runs")}, &ms);
  ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
  EXPECT_LT(ms, kPromptMs);
  const QStringList lines = listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << listed.out.toStdString();
  EXPECT_TRUE(lines[1].trimmed().startsWith(shownId + QLatin1Char(' '))) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(QStringLiteral("command line  running"))) << lines[1].toStdString();
  const Finished csv = Run({QStringLiteral("runs"), QStringLiteral("--csv")}, &ms);
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  EXPECT_LT(ms, kPromptMs);
  const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 2) << csv.out.toStdString();
  EXPECT_TRUE(rows[1].startsWith(shownId + QLatin1Char(','))) << rows[1].toStdString();
  EXPECT_TRUE(rows[1].contains(QStringLiteral(",command line,running,no,"))) << rows[1].toStdString();
  EXPECT_EQ(rows[1].section(QLatin1Char(','), 2, 2), QString()) << "no end yet: " << rows[1].toStdString();

  // The run so far exports: its whole passes up to the last batch.
  const Finished partial = Run({QStringLiteral("export"), QStringLiteral("--run"), shownId}, &ms);
  ASSERT_EQ(partial.status, 0) << partial.err.toStdString();
  EXPECT_LT(ms, kPromptMs);
  const std::map<QString, QStringList> partialRows = ReplyRows(partial.out);
  ASSERT_EQ(partialRows.size(), 10u);
  const qsizetype passesSoFar = partialRows.begin()->second.size();
  EXPECT_GT(passesSoFar, 0);
  for (const auto& [target, rows] : partialRows) EXPECT_EQ(rows.size(), passesSoFar) << target.toStdString();
  ExpectStillPinging();

  {
    // A window on the same data folder opens the archive (its retention at
    // start, on the writer's thread) and leaves the run going.
    testing::FakeServices fakes;
    testing::MainWindowUnderTest app(base_.path().toStdString(), fakes);
    app.window->Form_Load();
    auto* recorder = app.window->findChild<ArchiveRecorder*>();
    ASSERT_NE(recorder, nullptr);
    ASSERT_TRUE(recorder->waitIdle(10000));
    EXPECT_EQ(SummaryOf(id).ending, RunEnding::Running);

    // A third program writes into the archive while the run goes.
    const Finished pinned = Run({QStringLiteral("runs"), QStringLiteral("--pin"), shownId}, &ms);
    EXPECT_EQ(pinned.status, 0) << pinned.err.toStdString();
    EXPECT_LT(ms, kPromptMs);
    ExpectStillPinging();
    EXPECT_EQ(SummaryOf(id).ending, RunEnding::Running);
    for (const auto& call : fakes.prompter->calls)
      EXPECT_FALSE(call.text.contains(QStringLiteral("run archive"))) << call.text.toStdString();
  }

  ASSERT_TRUE(ping_.waitForFinished(30000));
  EXPECT_EQ(ping_.exitCode(), 0);
  const QByteArray err = ping_.readAllStandardError();
  EXPECT_TRUE(err.isEmpty()) << err.toStdString();

  auto opened = RunArchive::open(SystemFiles(), path_, ArchiveAccess::ReadWrite);
  ASSERT_TRUE(opened) << opened.error().message;
  const RunSummary run = opened.value()->summary(id).value();
  EXPECT_EQ(run.ending, RunEnding::CountReached);
  EXPECT_TRUE(run.pinned);
  EXPECT_EQ(run.sent, 4000);
  const archive_test::StoredPasses passes = archive_test::WholePasses(*opened.value(), id);
  EXPECT_EQ(passes.fault, "");
  EXPECT_EQ(passes.passes, 400);
  opened.value().reset();

  // What the export gave while the run went is where the whole run begins.
  const Finished whole = Run({QStringLiteral("export"), QStringLiteral("--run"), shownId});
  ASSERT_EQ(whole.status, 0) << whole.err.toStdString();
  const std::map<QString, QStringList> wholeRows = ReplyRows(whole.out);
  ASSERT_EQ(wholeRows.size(), 10u);
  for (const auto& [target, rows] : partialRows) {
    const QStringList& all = wholeRows.at(target);
    EXPECT_EQ(all.size(), 400) << target.toStdString();
    EXPECT_EQ(all.mid(0, rows.size()).join(QLatin1Char('\n')).toStdString(), rows.join(QLatin1Char('\n')).toStdString());
  }
}

}  // namespace
}  // namespace sondrel
