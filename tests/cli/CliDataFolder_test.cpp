#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/CliOptions.h"
#include "cli/CliPing.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeResolver.h"
#include "platform/Files_linux.h"

namespace sondrel::cli {
namespace {

TEST(CliDataFolder, AFolderThatCannotBeWrittenEndsTheCommandWithTheReason) {
  QTemporaryDir dir;
  const std::string notAFolder = dir.path().toStdString() + "/data";
  { std::ofstream(notAFolder) << "a file"; }
  CliServices services;
  auto icmp = std::make_shared<fakes::FakeIcmpCarrier>();
  icmp->script("127.0.0.1", {0, 1'000, 64});
  services.clock = std::make_shared<fakes::FakeClock>();
  services.icmp = icmp;
  services.resolver = std::make_shared<fakes::FakeResolver>();
  services.files = &SystemFiles();
  services.dataFolder = notAFolder + "/";
  services.out = std::tmpfile();
  services.err = std::tmpfile();
  ParsedCommandLine p = ParseCommandLine({"ping", "-c", "1", "127.0.0.1"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(RunPing(p.options, services), 3);  // the run could not start
  std::fflush(services.err);
  std::rewind(services.err);
  char buf[1024] = {};
  const std::size_t n = std::fread(buf, 1, sizeof buf - 1, services.err);
  const std::string err(buf, n);
  EXPECT_EQ(err.rfind("sondrel-cli: The data folder " + notAFolder +
                          "/ cannot be written: Not a directory.",
                      0),
            0u)
      << err;
  EXPECT_TRUE(icmp->requests().empty());
  std::fclose(services.out);
  std::fclose(services.err);
}

}  // namespace
}  // namespace sondrel::cli
