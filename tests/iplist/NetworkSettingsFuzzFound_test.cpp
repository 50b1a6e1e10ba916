// Inputs the fuzzers found, kept as they were found (tests/data/fuzz/).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/iplist/IPListFile.h"
#include "platform/NetworkSettingsFiles.h"

namespace sondrel {
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(SONDREL_TEST_DATA_DIR) + "/fuzz/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// "nameserver 127.0.0.53" followed by NUL and DEL bytes: the address check
// saw only the text before the NUL, and the whole word, garbage and all,
// went into the list of servers and from there into a new IP list.
TEST(NetworkSettingsFuzzFound, NameServerWithBytesAfterANulIsNotAServer) {
  const std::string crash = ReadData("resolv_conf_nul_after_address");
  ASSERT_FALSE(crash.empty()) << "the saved input is missing";
  std::istringstream in(crash);
  EXPECT_TRUE(ResolvConfNameServers(in).empty());

  using namespace std::string_literals;
  std::istringstream mixed("nameserver 9.9.9.9\0junk\nnameserver 1.1.1.1\n"s);
  const std::vector<std::string> servers = ResolvConfNameServers(mixed);
  EXPECT_EQ(servers, (std::vector<std::string>{"1.1.1.1"}));
  for (const std::string& line : DefaultIPListLines({}, servers))
    EXPECT_EQ(line.find('\0'), std::string::npos) << "a NUL reached the list";
}

}  // namespace
}  // namespace sondrel
