// "sondrel-cli export", run as the real program on a data folder of its own.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "cli/CliExport.h"
#include "cli/CliTestSupport.h"
#include "support/ExportSample.h"
#include "support/FileText.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using cli::clitest::Finished;
using cli::clitest::RunProgram;
using testing_files::ReadFile;

class CliExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.isValid());
    folder_ = data_.path().toStdString() + "/SondrelDataBas/";
    fs::create_directories(folder_);
  }
  void WriteSampleRun() {
    std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << testing_export::kSampleLog;
    std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << testing_export::kSampleTargets;
  }
  Finished Run(QStringList args) {
    args.prepend(QStringLiteral("export"));
    return RunProgram(args, data_.path());
  }
  QTemporaryDir data_;
  std::string folder_;
};

TEST_F(CliExportTest, WritesTheWindowsBytesAndKeepsTheLogUnlessAsked) {
  WriteSampleRun();
  const Finished text = Run({});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  EXPECT_EQ(text.out.toStdString(), testing_export::kSampleText);
  EXPECT_TRUE(fs::exists(folder_ + "Tolvane_DB3.txt"));

  const std::string out = data_.path().toStdString() + "/run.csv";
  const Finished csv = Run({QStringLiteral("--csv"), QStringLiteral("-o"), QString::fromStdString(out),
                            QStringLiteral("--delete-log")});
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  EXPECT_TRUE(csv.out.isEmpty());
  EXPECT_EQ(ReadFile(out), testing_export::kSampleCsv);
  EXPECT_FALSE(fs::exists(folder_ + "Tolvane_DB3.txt"));
  EXPECT_FALSE(fs::exists(folder_ + "Tolvane_DB4.txt"));
}

TEST_F(CliExportTest, DamagedLinesKeepTheirRowsButCountInNoFigure) {
  std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary)
      << "1,1\r\n"
         "2026,03,07,14,05,00,127.0.0.1,32,5,64,0\r\n"
         "2026,03,07,14,05,01,127.0.0.1,32,zz,64,0\r\n"
         "2026,03,07,14,05,02,127.0.0.1,32,5,6\r\n"
         "2026,03,07,14,05,03,127.0.0.1,32,7,64,0\r\n"
         "bad\r\n";
  // The target file is written whole: its last line needs no line end.
  std::ofstream(folder_ + "Tolvane_DB4.txt", std::ios::binary) << "localhost / 127.0.0.1";
  const Finished text = Run({});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  const std::string out = text.out.toStdString();
  EXPECT_NE(out.find("Sent:       2\r\nReceived:   2\r\nLost:       0\r\nLoss Rate:  0.00 %\r\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\r\nPing  localhost / 127.0.0.1:\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\n5. "), std::string::npos) << "every line keeps its row";
  EXPECT_TRUE(text.err.contains(QStringLiteral("3 of the lines in the log"))) << text.err.toStdString();
}

TEST_F(CliExportTest, LargeLogsAreExportedWithoutAQuestion) {
  std::string log = "1,1\r\n";
  const std::string line = "2026,03,07,14,05,01,127.0.0.1,32,1,64,0\r\n";
  while (log.size() <= 1'000'000) log += line;
  std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << log;
  const Finished f = Run({QStringLiteral("--csv")});
  ASSERT_EQ(f.status, 0) << f.err.toStdString();
  const std::size_t results = (log.size() - 5) / line.size();
  EXPECT_TRUE(f.out.contains(QStringLiteral("\r\nSent,%1\r\n").arg(results)));
}

TEST_F(CliExportTest, NoResultMeansExitOneAndNoFile) {
  const std::string out = data_.path().toStdString() + "/none.txt";
  Finished f = Run({QStringLiteral("-o"), QString::fromStdString(out)});
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.err.toStdString(), "No data to be export.     \n");
  EXPECT_FALSE(fs::exists(out));

  std::ofstream(folder_ + "Tolvane_DB3.txt", std::ios::binary) << "1,1\r\n";  // header only
  f = Run({});
  EXPECT_EQ(f.status, 1);
  EXPECT_TRUE(f.out.isEmpty());
}

TEST_F(CliExportTest, BadUsageAndHelp) {
  WriteSampleRun();
  for (const QStringList& args : {QStringList{QStringLiteral("--tsv")}, QStringList{QStringLiteral("-o")},
                                  QStringList{QStringLiteral("extra")}}) {
    const Finished f = Run(args);
    EXPECT_EQ(f.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(f.err.contains(QStringLiteral("Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]")));
    EXPECT_TRUE(f.out.isEmpty());
  }
  const Finished help = Run({QStringLiteral("--help")});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: sondrel-cli export [--csv] [-o FILE] [--delete-log]\n")));
  EXPECT_TRUE(fs::exists(folder_ + "Tolvane_DB3.txt"));
}

}  // namespace
}  // namespace sondrel
