#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/NetworkSettings_linux.h"
#include "platform/NetworkSettingsFiles.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using Routes = std::vector<std::pair<std::string, std::string>>;

Routes routes(const std::string& text) {
  std::istringstream in(text);
  return DefaultRoutes(in);
}

std::vector<std::string> servers(const std::string& text) {
  std::istringstream in(text);
  return ResolvConfNameServers(in);
}

TEST(NetworkSettingsFiles, DefaultRoutesAreUpGatewayRoutesInTableOrder) {
  const std::string header =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  EXPECT_EQ(routes(header +
                   "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"  // on-link
                   "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                   "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                   "down0\t00000000\t01010A0A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"  // not up
                   "bad\t00000000\tZZZZ\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                   "short\t00000000\n"),
            (Routes{{"wlan0", "192.168.1.1"}, {"eth0", "192.0.2.1"}}));
  EXPECT_TRUE(routes("").empty());
  EXPECT_TRUE(routes(header).empty());
}

TEST(NetworkSettingsFiles, NameServersAndTheStubResolversUpstream) {
  EXPECT_EQ(servers("# generated\n"
                    "search lan\n"
                    "nameserver 192.168.1.1\n"
                    "nameserver   fd00::1\n"
                    "nameserver 9.9.9.9 # trailing\n"
                    "nameserver\n"
                    "options edns0\n"
                    "nameserver not.an.address\n"),
            (std::vector<std::string>{"192.168.1.1", "9.9.9.9"}));

  const std::vector<std::string> stub = {"127.0.0.53"};
  const std::vector<std::string> upstream = {"10.0.0.1", "10.0.0.2"};
  EXPECT_EQ(ChooseNameServers(stub, upstream), upstream);
  EXPECT_EQ(ChooseNameServers(stub, {}), stub) << "no upstream list: keep what is configured";
  EXPECT_EQ(ChooseNameServers({"127.0.0.53", "8.8.4.4"}, upstream),
            (std::vector<std::string>{"127.0.0.53", "8.8.4.4"}));
  EXPECT_TRUE(ChooseNameServers({}, upstream).empty());
}

TEST(NetworkSettingsFiles, MacAddressesUpperCaseWithHyphens) {
  const std::pair<const char*, const char*> cases[] = {
      {"52:54:00:ab:cd:0f", "52-54-00-AB-CD-0F"}, {"52:54:00:ab:cd:0f ", "52-54-00-AB-CD-0F"},
      {"00:00:00:00:00:00", ""},                  {"52:54:00:ab:cd", ""},
      {"52:54:00:ab:cd:0g", ""},                  {"", ""}};
  for (const auto& [sysfs, shown] : cases) EXPECT_EQ(FormatMac(sysfs), shown) << sysfs;
}

bool run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// Interfaces are made only inside the test's own network namespace.
TEST(NetworkSettings, AdaptersOfThisNamespaceWithGatewayAndMac) {
  const char* isolated = std::getenv("SONDREL_ISOLATED");
  if (!isolated || std::string(isolated) != "1" || !SystemNetworkSettings()->adapters().empty())
    SONDREL_SKIP_MISSING("needs a private network namespace with only loopback");
  if (!run("ip link add sdtest0 type veth peer name sdtest1"))
    SONDREL_SKIP_MISSING("cannot make a veth pair here");
  const bool made = run("ip link set sdtest0 address 02:aa:bb:cc:dd:0e") &&
                    run("ip addr add 10.77.0.5/24 dev sdtest0") && run("ip link set sdtest0 up") &&
                    run("ip route add default via 10.77.0.1 dev sdtest0") &&
                    run("ip addr add 10.78.0.5/24 dev sdtest1");  // left down
  std::vector<Adapter> adapters;
  if (made) adapters = SystemNetworkSettings()->adapters();
  run("ip link del sdtest0");
  ASSERT_TRUE(made);

  ASSERT_EQ(adapters.size(), 1u) << "loopback and the down interface are left out";
  EXPECT_EQ(adapters[0].name, "sdtest0");
  EXPECT_EQ(adapters[0].address, "10.77.0.5");
  EXPECT_EQ(adapters[0].netmask, "255.255.255.0");
  EXPECT_EQ(adapters[0].gateway, "10.77.0.1");
  EXPECT_EQ(adapters[0].mac, "02-AA-BB-CC-DD-0E");
}

}  // namespace
}  // namespace sondrel
