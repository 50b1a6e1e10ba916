// "sondrel-cli report" as the user runs it: the last logged run of the data
// folder, the window's export layouts, refusals and usage.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "CliTestSupport.h"
#include "support/FileText.h"
#include "support/ReportSample.h"

namespace sondrel::cli {
namespace {

using clitest::Finished;
using clitest::RunProgram;
namespace sample = testing_report;

class CliReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    folder_ = home_.path().toStdString() + "/SondrelDataBas/";
    std::filesystem::create_directories(folder_);
  }
  void WriteLog(const std::string& log, const std::string& targets) {
    std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << log;
    std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << targets;
  }
  Finished Report(QStringList args) {
    args.prepend(QStringLiteral("report"));
    return RunProgram(args, home_.path());
  }
  QTemporaryDir home_;
  std::string folder_;
};

TEST_F(CliReportTest, WritesTheExportLayoutsOfTheLastRun) {
  WriteLog(sample::kLog, sample::kTargets);
  // Without -p the period is the window's proposal: 1 minute for this run.
  const Finished text = Report({});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  EXPECT_EQ(text.out.toStdString(), sample::kText);
  EXPECT_TRUE(text.err.isEmpty());

  const QString file = home_.filePath(QStringLiteral("out.csv"));
  const Finished csv = Report({QStringLiteral("-p"), QStringLiteral("5"), QStringLiteral("--csv"),
                               QStringLiteral("-o"), file});
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  EXPECT_TRUE(csv.out.isEmpty());
  EXPECT_EQ(testing_files::ReadFile(file.toStdString()), sample::kCsvFiveMinutes);

  // A fraction works as a threshold on whole minutes: 0.5 groups as 1.
  const Finished half = Report({QStringLiteral("-p0.5")});
  EXPECT_EQ(half.out.toStdString(), sample::kText);

  const Finished sizes = Report({QStringLiteral("--by-size"), QStringLiteral("--csv")});
  ASSERT_EQ(sizes.status, 0);
  EXPECT_TRUE(sizes.out.startsWith(QStringLiteral(
      "Ping Test Report\r\nTest Time From,To,Buffer Size,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
      "IP: 127.0.0.1\r\n\r\n03/07 14:05:09,03/07 14:06:01,32,64,3,0,15,0.00 %  \r\n")))
      << sizes.out.toStdString();
}

TEST_F(CliReportTest, RefusalsWriteNoFile) {
  const QString file = home_.filePath(QStringLiteral("never.txt"));
  const Finished none = Report({QStringLiteral("-o"), file});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err.toStdString(), "No Data to Generate Report.    \n");
  EXPECT_FALSE(QFileInfo::exists(file));

  // Three targets, two results: the first round never completed.
  WriteLog("3,1\r\n2026,03,07,14,05,09,127.0.0.1,32,15,64,0\r\n"
           "2026,03,07,14,05,09,127.0.0.2,32,15,64,0\r\n",
           "127.0.0.1\r\n127.0.0.2\r\n127.0.0.3\r\n");
  const Finished incomplete = Report({QStringLiteral("-o"), file});
  EXPECT_EQ(incomplete.status, 1);
  EXPECT_EQ(incomplete.err.toStdString(),
            "Ping test doesn't completed, Cannot generate report.    \n");
  EXPECT_FALSE(QFileInfo::exists(file));
}

// Two replies and three lines the reload cannot read: the damaged ones are
// not known to be losses and count in no figure.
constexpr const char* kDamagedLog =
    "1,1\r\n"
    "2026,03,07,14,05,00,127.0.0.1,32,5,64,0\r\n"
    "2026,03,07,14,05,01,127.0.0.1,32,zz,64,0\r\n"
    "2026,03,07,14,05,02,127.0.0.1,32,5,6\r\n"
    "2026,03,07,14,05,03,127.0.0.1,32,7,64,0\r\n"
    "bad\r\n";

TEST_F(CliReportTest, DamagedLinesCountInNoPeriodAndAreTold) {
  // A label a spreadsheet would split at its comma and run.
  WriteLog(kDamagedLog, "x,=1+2 / 127.0.0.1\r\n");
  const Finished csv = Report({QStringLiteral("-p"), QStringLiteral("1"), QStringLiteral("--csv")});
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  EXPECT_EQ(csv.out.toStdString(),
            "Ping Test Report\r\nTest Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
            "IP: x,'=1+2 / 127.0.0.1\r\n\r\n"
            "03/07 14:05:00,03/07 14:05:03,64,2,0,6,0.00 %  \r\n\r\n \r\n");
  EXPECT_TRUE(csv.err.contains(QStringLiteral("3 of the lines in the log")))
      << csv.err.toStdString();
  const Finished sizes = Report({QStringLiteral("--by-size")});
  ASSERT_EQ(sizes.status, 0);
  EXPECT_TRUE(sizes.out.contains(QStringLiteral("32      64\t2\t0\t6 ms")))
      << sizes.out.toStdString();
}

TEST_F(CliReportTest, AStandardOutputThatFailsIsToldAndExitsThree) {
  WriteLog(sample::kLog, sample::kTargets);
  QProcess p;
  clitest::UseDataHome(p, home_.path());
  p.setStandardOutputFile(QStringLiteral("/dev/full"));
  p.start(clitest::kProgram, {QStringLiteral("report")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 3);
  const QString err = QString::fromLocal8Bit(p.readAllStandardError());
  EXPECT_TRUE(err.startsWith(QStringLiteral("sondrel-cli: ")) && err.contains(QStringLiteral("standard output")))
      << err.toStdString();
}

TEST_F(CliReportTest, UsageErrorsAndHelp) {
  for (const QStringList& args : {QStringList{QStringLiteral("-x")}, QStringList{QStringLiteral("-p")},
                                  QStringList{QStringLiteral("-o")},
                                  QStringList{QStringLiteral("extra")}}) {
    SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
    const Finished bad = Report(args);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.startsWith(QStringLiteral("sondrel-cli: "))) << bad.err.toStdString();
  }
  const Finished help = Report({QStringLiteral("--help")});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(QStringLiteral(
      "Usage: sondrel-cli report [-p MINUTES] [--by-size] [--csv] [-o FILE]\n")));
  // A fraction does not cut a period inside a minute; the help says how it groups.
  EXPECT_TRUE(help.out.contains(QStringLiteral("cut at whole clock minutes")))
      << help.out.toStdString();
  EXPECT_TRUE(help.out.contains(QStringLiteral("0.25 groups as 1")))
      << help.out.toStdString();
}

}  // namespace
}  // namespace sondrel::cli
