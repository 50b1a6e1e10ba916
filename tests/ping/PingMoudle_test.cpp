#include "core/ping/PingMoudle.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fakes/FakeIcmpCarrier.h"
#include "fakes/FakeResolver.h"
#include "platform/IcmpSocketCarrier_linux.h"
#include "platform/Resolver_linux.h"
#include "support/SkipMissing.h"

namespace sondrel {
namespace {

using namespace PingMoudle;

TEST(PingMoudle, StatusTextsMatchTheTable) {
  const std::pair<std::int32_t, const char*> table[] = {
      {-1, "inet_addr: bad IP format"},
      {0, "ip success"},
      {500, "Ping timed out"},
      {11001, "ip buf too_small"},
      {11002, "ip dest net unreachable"},
      {11003, "ip dest host unreachable"},
      {11004, "ip dest port unreachable"},
      {11005, "ip dest port unreachable"},
      {11006, "ip no resources"},
      {11007, "ip bad option"},
      {11008, "ip hw_error"},
      {11009, "ip packet too_big"},
      {11010, "Request  timed  out."},
      {11011, "ip bad req"},
      {11012, "ip bad route"},
      {11013, "ip ttl expired transit"},
      {11014, "ip ttl expired reassem"},
      {11015, "ip param_problem"},
      {11016, "ip source quench"},
      {11017, "ip option too_big"},
      {11018, "ip bad destination"},
      {11019, "ip addr deleted"},
      {11020, "ip spec mtu change"},
      {11021, "ip mtu_change"},
      {11022, "ip unload"},
      {11023, "ip addr added"},
      {11050, "ip general failure"},
      {11255, "ip pending"},
      {11024, "unknown msg returned"},
      {99, "unknown msg returned"},
      {-2, "unknown msg returned"},
      {11000, "unknown msg returned"},
      {11254, "unknown msg returned"},
  };
  for (const auto& [code, text] : table) EXPECT_EQ(GetStatusCode(code), text) << code;
}

TEST(PingMoudle, RefusedAddressesAndOversizeDataSendNothing) {
  struct Case {
    const char* address;
    std::size_t size;
    std::int32_t status;
  };
  const Case cases[] = {
      {"300.1.1.1", 32, -1},        {"abc", 32, -1},          {"255.255.255.255", 32, -1},
      {"", 32, -1},                 {"1.2.3.4.5", 32, -1},    {"1.2.3.4x", 32, -1},
      {"127.0.0.1", 32001, 11001},  {"300.1.1.1", 32001, -1},
  };
  for (const Case& c : cases) {
    fakes::FakeIcmpCarrier carrier;
    carrier.script("127.0.0.1", {});
    ICMP_ECHO_REPLY echo;
    echo.Status = 12345;
    EXPECT_EQ(Ping(carrier, c.address, std::string(c.size, 'a'), 500, echo), c.status) << c.address;
    EXPECT_EQ(echo.Status, c.status) << c.address;
    EXPECT_TRUE(carrier.requests().empty()) << c.address << ": something was sent";
    // The run refuses by the same check before its pass goes out.
    std::uint32_t target = 0;
    EXPECT_EQ(checkEcho(c.address, c.size, target), c.status) << c.address;
  }
}

TEST(PingMoudle, TheCheckPassesAFullReplyRoomAndGivesTheAddress) {
  std::uint32_t target = 0;
  EXPECT_EQ(checkEcho("10.1.2.3", 32000, target), 0);
  EXPECT_EQ(target, htonl(0x0A010203u));
  EXPECT_EQ(checkEcho("10.1.2.3", 32001, target), 11001);
}

TEST(PingMoudle, FillsTheRecordFromTheCarrier) {
  fakes::FakeIcmpCarrier carrier;
  carrier.script("10.1.2.3", {0, 2345, 57});
  carrier.script("10.1.2.4", {11003, 100, 57});
  ICMP_ECHO_REPLY echo;
  EXPECT_EQ(Ping(carrier, "10.1.2.3", "abcd", 750, echo), 0);
  ASSERT_EQ(carrier.requests().size(), 1u);
  EXPECT_EQ(carrier.requests()[0].address, inet_addr("10.1.2.3"));
  EXPECT_EQ(carrier.requests()[0].data, "abcd");
  EXPECT_EQ(carrier.requests()[0].timeoutMs, 750u);
  EXPECT_EQ(echo.Status, 0);
  EXPECT_EQ(echo.Address, inet_addr("10.1.2.3"));
  EXPECT_EQ(echo.RoundTripTime, 2u);
  EXPECT_EQ(echo.RoundTripUs, 2345u);
  EXPECT_EQ(echo.Ttl, 57);
  EXPECT_EQ(echo.DataSize, 4u);
  EXPECT_EQ(echo.Data, "abcd");

  // A failed echo leaves nothing of the previous one in the record.
  EXPECT_EQ(Ping(carrier, "10.1.2.4", "abcd", 750, echo), 11003);
  EXPECT_EQ(echo.Ttl, 0);
  EXPECT_EQ(echo.DataSize, 0u);
  EXPECT_TRUE(echo.Data.empty());
  // inet_addr's short forms are addresses too: 10.1.515 is 10.1.2.3.
  EXPECT_EQ(Ping(carrier, "10.1.515", "", 750, echo), 0);
  EXPECT_EQ(carrier.requests().back().address, inet_addr("10.1.2.3"));
}

TEST(PingMoudle, NoIcmpSocketIsAFailureNeverASuccess) {
  fakes::FakeIcmpCarrier carrier;
  carrier.script("127.0.0.1", {});
  carrier.setAvailable(false, "no socket");
  ICMP_ECHO_REPLY echo;
  EXPECT_EQ(Ping(carrier, "127.0.0.1", "x", 500, echo), 11050);
  EXPECT_EQ(echo.Status, 11050);
  EXPECT_TRUE(carrier.requests().empty());
}

TEST(PingMoudle, RealEchoesToLoopbackComeBackWhole) {
  auto carrier = SystemIcmpCarrier();
  std::string why;
  if (!carrier->available(&why)) SONDREL_SKIP_MISSING(why);
  for (const std::size_t size : {0u, 32u, 32000u}) {
    for (const char* address : {"127.0.0.1", "127.0.0.5"}) {
      std::string data(size, '\0');
      for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>('A' + i % 26);
      ICMP_ECHO_REPLY echo;
      EXPECT_EQ(Ping(*carrier, address, data, 1000, echo), 0) << address << " " << size;
      EXPECT_EQ(echo.Ttl, 64);
      EXPECT_EQ(echo.DataSize, size);
      EXPECT_TRUE(echo.Data == data) << address << " " << size << ": payload changed";
      EXPECT_EQ(echo.Address, inet_addr(address));
    }
  }
}

TEST(PingMoudle, HostNamesResolveThroughTheResolver) {
  fakes::FakeResolver fake;
  fake.add("router.lan", "192.168.1.1");
  EXPECT_EQ(GetIPFromHostName(fake, "router.lan"), "192.168.1.1");
  EXPECT_EQ(GetIPFromHostName(fake, "nowhere.lan"), "");
  EXPECT_EQ(fake.lookups().size(), 2u);
  EXPECT_EQ(GetIPFromHostName(*SystemResolver(), "localhost"), "127.0.0.1");
}

TEST(PingMoudle, ByteHalvesOfAWord) {
  const struct {
    std::uint16_t word;
    int lo, hi;
  } cases[] = {{0, 0, 0}, {255, 255, 0}, {256, 0, 1}, {0x1234, 0x34, 0x12}, {0xffff, 255, 255}, {0x8001, 1, 128}};
  for (const auto& c : cases) {
    EXPECT_EQ(LoByte(c.word), c.lo) << c.word;
    EXPECT_EQ(HiByte(c.word), c.hi) << c.word;
  }
}

}  // namespace
}  // namespace sondrel
