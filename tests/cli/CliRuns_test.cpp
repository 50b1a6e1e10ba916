// "sondrel-cli runs" and the archived runs of "export --run" and
// "report --run", run as the real program on loopback targets.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>

#include "cli/CliRuns.h"
#include "cli/CliTestSupport.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using cli::clitest::Finished;
using cli::clitest::RunProgram;

class CliRunsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(data_.isValid()); }
  Finished Run(const QStringList& args) { return RunProgram(args, data_.path()); }
  void Ping(const QString& count) {
    const Finished f = Run({QStringLiteral("ping"), QStringLiteral("-c"), count, QStringLiteral("-i"),
                            QStringLiteral("50"), QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    EXPECT_TRUE(f.err.isEmpty()) << f.err.toStdString();
  }
  QStringList ListedLines() {
    const Finished f = Run({QStringLiteral("runs")});
    EXPECT_EQ(f.status, 0) << f.err.toStdString();
    QStringList lines = f.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty()) lines.removeFirst();  // the heading
    return lines;
  }
  QTemporaryDir data_;
};

TEST_F(CliRunsTest, EveryRunIsKeptAndAnArchivedRunExportsAndReportsAsItsLogDoes) {
  EXPECT_EQ(Run({QStringLiteral("runs")}).status, 1) << "no archive before the first run";
  Ping(QStringLiteral("2"));
  Ping(QStringLiteral("3"));

  const QStringList lines = ListedLines();
  ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
  // Newest first, with who ran it and why it ended.
  EXPECT_TRUE(lines[0].trimmed().startsWith(QStringLiteral("2 "))) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].trimmed().startsWith(QStringLiteral("1 "))) << lines[1].toStdString();
  for (const QString& line : lines) {
    EXPECT_TRUE(line.contains(QStringLiteral("command line"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("count reached"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("127.0.0.1, 127.0.0.2"))) << line.toStdString();
  }
  EXPECT_TRUE(lines[0].contains(QRegularExpression(QStringLiteral("\\b6\\s+0\\s+0\\.00 %"))))
      << lines[0].toStdString();

  // The last run is both the log and archive run 2: the same bytes either way.
  for (const QString& command : {QStringLiteral("export"), QStringLiteral("report")}) {
    for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("--csv")}}) {
      SCOPED_TRACE((command + QLatin1Char(' ') + extra.join(QLatin1Char(' '))).toStdString());
      const Finished fromLog = Run(QStringList{command} + extra);
      const Finished fromArchive = Run(QStringList{command, QStringLiteral("--run"), QStringLiteral("2")} + extra);
      ASSERT_EQ(fromLog.status, 0) << fromLog.err.toStdString();
      ASSERT_EQ(fromArchive.status, 0) << fromArchive.err.toStdString();
      EXPECT_EQ(fromArchive.out.toStdString(), fromLog.out.toStdString());
    }
  }
  // The first run is no longer in the log, but still in the archive.
  const Finished first = Run({QStringLiteral("export"), QStringLiteral("--run"), QStringLiteral("1")});
  ASSERT_EQ(first.status, 0) << first.err.toStdString();
  EXPECT_EQ(first.out.count(QStringLiteral("Reply from")), 4) << first.out.toStdString();
}

TEST_F(CliRunsTest, RunsArePinnedAndDeletedByTheirIdentifiers) {
  Ping(QStringLiteral("1"));
  Ping(QStringLiteral("1"));
  ASSERT_EQ(Run({QStringLiteral("runs"), QStringLiteral("--pin"), QStringLiteral("1")}).status, 0);
  QStringList lines = ListedLines();
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[1].contains(QStringLiteral(" *"))) << lines[1].toStdString();
  EXPECT_FALSE(lines[0].contains(QStringLiteral(" *"))) << lines[0].toStdString();

  const Finished csv = Run({QStringLiteral("runs"), QStringLiteral("--csv")});
  ASSERT_EQ(csv.status, 0);
  const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0], QStringLiteral("id,started,ended,duration,targets,sent,lost,loss rate,by,ended by,pinned,"
                                    "first targets"));
  EXPECT_TRUE(rows[2].startsWith(QStringLiteral("1,"))) << rows[2].toStdString();
  EXPECT_TRUE(rows[2].endsWith(QStringLiteral(",yes,\"127.0.0.1, 127.0.0.2\""))) << rows[2].toStdString();

  ASSERT_EQ(Run({QStringLiteral("runs"), QStringLiteral("--delete"), QStringLiteral("1")}).status, 0);
  lines = ListedLines();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].trimmed().startsWith(QStringLiteral("2 ")));
  const Finished gone = Run({QStringLiteral("export"), QStringLiteral("--run"), QStringLiteral("1")});
  EXPECT_EQ(gone.status, 1);
  EXPECT_TRUE(gone.err.contains(QStringLiteral("no run 1"))) << gone.err.toStdString();
  EXPECT_EQ(Run({QStringLiteral("runs"), QStringLiteral("--delete"), QStringLiteral("99")}).status, 1);
}

TEST_F(CliRunsTest, BadIdentifiersAndMixedOptionsAreUsageFaults) {
  for (const QStringList& args :
       {QStringList{QStringLiteral("runs"), QStringLiteral("--delete"), QStringLiteral("x")},
        QStringList{QStringLiteral("runs"), QStringLiteral("--delete"), QStringLiteral("0")},
        QStringList{QStringLiteral("runs"), QStringLiteral("--pin"), QStringLiteral("1"), QStringLiteral("--delete"),
                    QStringLiteral("2")},
        QStringList{QStringLiteral("runs"), QStringLiteral("stray")},
        QStringList{QStringLiteral("export"), QStringLiteral("--run"), QStringLiteral("1"),
                    QStringLiteral("--delete-log")},
        QStringList{QStringLiteral("report"), QStringLiteral("--run"), QStringLiteral("-3")}}) {
    const Finished f = Run(args);
    EXPECT_EQ(f.status, 2) << args.join(QLatin1Char(' ')).toStdString() << ": " << f.err.toStdString();
  }
  const Finished help = Run({QStringLiteral("runs"), QStringLiteral("--help")});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: sondrel-cli runs"))) << help.out.toStdString();
}

TEST(CliRunId, OnlyWholeNumbersAboveZero) {
  EXPECT_EQ(cli::ParseRunId("12"), 12);
  for (const char* bad : {"", "0", "-1", "1.5", "12a", " 3", "99999999999999999999"})
    EXPECT_FALSE(cli::ParseRunId(bad).has_value()) << bad;
}

}  // namespace
}  // namespace sondrel
