// The run archive under sondrel-cli runs that end badly: the program killed
// at any moment, the disk full under it. Whatever happens the archive opens
// sound, and each of its runs holds whole passes only, the same results as
// the run log's first rows.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "archive/ArchiveChecks.h"
#include "archive/ArchiveSample.h"
#include "archive/RunArchive.h"
#include "cli/CliTestSupport.h"
#include "ping/RunLog.h"
#include "platform/Files_linux.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using namespace archive_test;
using cli::clitest::kProgram;
using cli::clitest::UseDataHome;

bool CanPing() {
  std::string why;
  return std::getenv("SONDREL_ISOLATED") != nullptr && SystemIcmpCarrier()->available(&why);
}

// The seed from SONDREL_ARCHIVE_SEED, so that a failure told with its seed
// can be run again; a new one otherwise.
unsigned Seed() {
  if (const char* given = std::getenv("SONDREL_ARCHIVE_SEED")) return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  return std::random_device{}();
}

int CountRows(const QByteArray& out) {
  static const QRegularExpression row(QStringLiteral("^\\d+\\. "));
  int rows = 0;
  for (const QByteArray& line : out.split('\n')) rows += row.match(QString::fromLocal8Bit(line)).hasMatch();
  return rows;
}

// The archived run's results are the log's first rows, in the same order:
// the log is written before the archive hears of a result.
void ExpectLogBegunWith(const std::string& dataFolder, const RunData& archived) {
  RunLog log(dataFolder, SystemFiles());
  Result<RunData> logged = log.loadPreviousRun();
  ASSERT_TRUE(logged) << logged.error().message;
  EXPECT_EQ(logged.value().damagedLines, 0);
  EXPECT_EQ(logged.value().addresses, archived.addresses);
  ASSERT_LE(archived.records.size(), logged.value().records.size());
  for (std::size_t i = 0; i < archived.records.size(); ++i)
    ASSERT_TRUE(SameRecord(archived.records[i], logged.value().records[i])) << "row " << i + 1;
}

// sondrel-cli pinging 20 loopback targets is killed at 20 moments of its run,
// each time in the same data folder: the archive it leaves opens sound, the
// killed run is ended as crashed, and every run in it holds whole passes.
TEST(ArchiveCrash, KilledAtAnyMomentEveryCommittedPassStaysWhole) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  const unsigned seed = Seed();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (SONDREL_ARCHIVE_SEED=" + std::to_string(seed) + " repeats it)");
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  const std::string folder = data.path().toStdString() + "/SondrelDataBas/";
  const std::string path = folder + kArchiveFile;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(0, 1500);
  std::uniform_int_distribution<int> interval(10, 50);
  std::set<std::int64_t> seen;
  int archived = 0;
  for (int round = 0; round < 20; ++round) {
    const int ms = moment(random);
    const int every = interval(random);
    SCOPED_TRACE("round " + std::to_string(round) + ": -i " + std::to_string(every) + ", killed " +
                 std::to_string(ms) + " ms after the run began");
    QProcess p;
    UseDataHome(p, data.path());
    p.start(kProgram, {QStringLiteral("ping"), QStringLiteral("-i"), QString::number(every), QStringLiteral("-w"),
                       QStringLiteral("200"), QStringLiteral("-c"), QStringLiteral("100000"),
                       QStringLiteral("127.0.0.1-127.0.0.20")});
    ASSERT_TRUE(p.waitForStarted(10000));
    // The run has begun once its title is out.
    QByteArray out;
    for (int wait = 0; !out.contains('\n') && wait < 100 && p.state() == QProcess::Running; ++wait) {
      p.waitForReadyRead(100);
      out += p.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains('\n')) << "the run did not begin: " << p.readAllStandardError().toStdString();
    ASSERT_FALSE(p.waitForFinished(ms)) << "the run ended by itself";
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(10000));
    if (!SystemFiles().fileExists(path)) continue;  // killed before the archive was made

    auto opened = RunArchive::open(SystemFiles(), path, ArchiveAccess::ReadWrite);
    ASSERT_TRUE(opened) << opened.error().message;
    RunArchive& archive = *opened.value();
    EXPECT_EQ(archive.notice(), "") << "nothing was put aside";
    EXPECT_EQ(IntegrityCheck(archive.handle()), "ok");
    auto runs = archive.listRuns(RunFilter{}, 0, 100);
    ASSERT_TRUE(runs) << runs.error().message;
    int fresh = 0;
    for (const RunSummary& run : runs.value()) {
      SCOPED_TRACE("run " + std::to_string(run.id));
      EXPECT_EQ(run.ending, RunEnding::Crashed);
      EXPECT_EQ(run.targetCount, 20);
      const StoredPasses passes = WholePasses(archive, run.id);
      EXPECT_EQ(passes.fault, "");
      EXPECT_EQ(run.sent, passes.passes * 20);
      if (!seen.insert(run.id).second) continue;
      ++fresh;
      // The newest run is the log's too, when it got as far as a result.
      if (passes.passes > 0) ExpectLogBegunWith(folder, archive.loadRun(run.id).value());
    }
    EXPECT_LE(fresh, 1);
    archived += fresh;
    // No lock file is left behind by the dead programs.
    for (const RunSummary& run : runs.value())
      EXPECT_FALSE(SystemFiles().fileExists(path + ".run" + std::to_string(run.id) + ".lock")) << run.id;
  }
  // Most runs lived long enough to be archived: the rounds did test something.
  EXPECT_GE(archived, 10);
}

// The data folder on a 1 MiB tmpfs, nearly full already: the disk fills while
// the run writes its archive and its log. The run goes on to its end, the
// archive's failure is told once beside the log's own, and the archive keeps,
// sound, the whole passes it committed before.
TEST(ArchiveCrash, AFullDiskIsToldOnceAndKeepsThePassesCommittedBefore) {
  if (!CanPing()) SONDREL_SKIP_MISSING("needs the private network and an ICMP socket");
  if (!cli::clitest::CanMountSmallTmpfs())
    SONDREL_SKIP_MISSING("cannot mount a small tmpfs in a private mount namespace here");
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  const QString full = data.path() + QStringLiteral("/full");
  const QString copy = data.path() + QStringLiteral("/copy");
  ASSERT_TRUE(QDir().mkpath(full));
  ASSERT_TRUE(QDir().mkpath(copy));

  // 300 passes over 20 targets, about 3 s. 640 KiB of the 1 MiB are taken
  // already, so the rest fills within the first half of the run.
  const cli::clitest::Finished f = cli::clitest::RunOnTmpfs(
      QStringLiteral("1m"), full, copy,
      QStringLiteral("head -c 640k /dev/zero > \"$1\"/filler || exit 99; "
                     "\"$3\" ping -c 300 -i 10 -w 200 127.0.0.1-127.0.0.20"));
  const QByteArray out = f.out.toLocal8Bit();
  const QString& err = f.err;
  ASSERT_NE(f.status, 99) << err.toStdString();
  EXPECT_EQ(f.status, 0) << err.toStdString();
  EXPECT_EQ(CountRows(out), 6000) << "the run went on to its end";
  EXPECT_EQ(err.count(QStringLiteral("The run archive")), 1) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("disk is full"))) << err.toStdString();
  EXPECT_EQ(err.count(QStringLiteral("are no longer written to the log")), 1) << err.toStdString();

  const std::string folder = copy.toStdString() + "/";
  auto opened = RunArchive::open(SystemFiles(), folder + kArchiveFile, ArchiveAccess::ReadWrite);
  ASSERT_TRUE(opened) << opened.error().message;
  RunArchive& archive = *opened.value();
  EXPECT_EQ(archive.notice(), "");
  EXPECT_EQ(IntegrityCheck(archive.handle()), "ok");
  auto runs = archive.listRuns(RunFilter{}, 0, 10);
  ASSERT_TRUE(runs) << runs.error().message;
  ASSERT_EQ(runs.value().size(), 1u);
  const RunSummary& run = runs.value()[0];
  // Its end is kept where the failed batch left room for it, else the
  // reopening ends it as crashed; never left going.
  EXPECT_TRUE(run.ending == RunEnding::CountReached || run.ending == RunEnding::Crashed)
      << static_cast<int>(run.ending);
  const StoredPasses passes = WholePasses(archive, run.id);
  EXPECT_EQ(passes.fault, "");
  EXPECT_GE(passes.passes, 1);
  EXPECT_LT(passes.passes, 300) << "the disk filled during the run";
  EXPECT_EQ(run.sent, passes.passes * 20);
  ExpectLogBegunWith(folder, archive.loadRun(run.id).value());
}

}  // namespace
}  // namespace sondrel
