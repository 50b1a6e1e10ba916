#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "cli/CliTestSupport.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using cli::clitest::Finished;
using cli::clitest::RunProgram;

TEST(CliProgram, UsageErrorsAndHelp) {
  QTemporaryDir data;
  const Finished help = RunProgram({QStringLiteral("--help")}, data.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: sondrel-cli ping [options] [--] TARGET...\n")));
  const Finished bad = RunProgram({QStringLiteral("ping"), QStringLiteral("-w"),
                                   QStringLiteral("x"), QStringLiteral("127.0.0.1")},
                                  data.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.err.contains(QStringLiteral("Inalid Time Out Value.")));
}

TEST(CliProgram, PingsLoopbackAndWritesTheDataFolderLog) {
  if (std::getenv("SONDREL_ISOLATED") == nullptr) SONDREL_SKIP_MISSING("needs the private network");
  std::string why;
  if (!SystemIcmpCarrier()->available(&why)) SONDREL_SKIP_MISSING("no ICMP socket: " << why);
  QTemporaryDir data;
  const Finished f = RunProgram({QStringLiteral("ping"), QStringLiteral("-c"), QStringLiteral("3"),
                                 QStringLiteral("-i"), QStringLiteral("10"),
                                 QStringLiteral("127.0.0.1")},
                                data.path());
  ASSERT_EQ(f.status, 0) << f.err.toStdString();
  const QStringList lines = f.out.split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines[0], QStringLiteral("Ping testing with 32 bytes of data:            1  IP "));
  const QRegularExpression row(QStringLiteral(
      R"(^[1-3]\. \d\d/\d\d \d\d:\d\d:\d\d   Reply from 127\.0\.0\.1  bytes=32  time(<1|=\d+)ms  TTL=\d+  ok$)"));
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(row.match(lines[i]).hasMatch()) << lines[i].toStdString();
  EXPECT_TRUE(f.out.contains(QStringLiteral("\nSent:       3\nReceived:   3\nLost:       0\n"
                                            "Loss Rate:  0.00 %\n")));

  const std::string folder = data.path().toStdString() + "/SondrelDataBas/";
  std::ifstream log(folder + "Tolvane_DB3.txt", std::ios::binary);
  std::stringstream bytes;
  bytes << log.rdbuf();
  const QRegularExpression file(QStringLiteral(
      R"(^1,1\r\n(\d{4},\d\d,\d\d,\d\d,\d\d,\d\d,127\.0\.0\.1,32,\d+,\d+,0\r\n){3}$)"));
  EXPECT_TRUE(file.match(QString::fromStdString(bytes.str())).hasMatch()) << bytes.str();
  std::ifstream targets(folder + "Tolvane_DB4.txt", std::ios::binary);
  std::stringstream labels;
  labels << targets.rdbuf();
  EXPECT_EQ(labels.str(), "127.0.0.1\r\n");
}

}  // namespace
}  // namespace sondrel
