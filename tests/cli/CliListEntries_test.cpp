// Groups taken from the stored list by title: their members reach the run
// exactly as the window's target collection reads them.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/CliPing.h"
#include "cli/CliTestSupport.h"
#include "core/iplist/Targets.h"

namespace sondrel::cli {
namespace {

using clitest::CliRunTest;
using clitest::ReadAll;

TEST_F(CliRunTest, AGroupsTrailingEmptyMemberIsATargetAsInTheWindow) {
  const std::string line = "BLab,127.0.0.9,";
  std::ofstream(services.dataFolder + "Tolvane_DB.txt", std::ios::binary)
      << line << "\r\nCNet,127.0.1.1,127.0.1.2\r\n \r\n";

  auto members = ListTargets(*services.files, services.dataFolder + "Tolvane_DB.txt", {"Lab", "Net"});
  ASSERT_TRUE(members) << members.error().message;
  EXPECT_EQ(members.value(), (std::vector<std::string>{"127.0.0.9", "", "127.0.1.1-127.0.1.2"}));

  // The window tests the same line as one address and one blank it cannot find.
  RunTargetState window;
  ExpandEntry(window, line, [](const std::string&) { return std::string(); });
  EXPECT_EQ(window.TargetAddresses, std::vector<std::string>{"127.0.0.9"});
  EXPECT_EQ(window.UnresolvedCount, 1);
  EXPECT_EQ(window.UnresolvedText, "\r\n       ");

  EXPECT_EQ(Run({"ping", "-i", "5", "-c", "1", "--list", "Lab"}), kExitNoReply);
  EXPECT_NE(ReadAll(services.err).find("Cannot find the IP address for the following 1 host:\n"
                                       "       \n"),
            std::string::npos);
}

}  // namespace
}  // namespace sondrel::cli
