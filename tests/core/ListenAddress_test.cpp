// Where the metrics endpoint listens, as the user writes it, and which
// addresses only this machine reaches.
#include "core/monitor/ListenAddress.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(ListenAddress, AddressesAndPortsThatAreMeant) {
  const struct {
    const char* text;
    const char* address;
    std::uint16_t port;
  } cases[] = {
      {"127.0.0.1:9374", "127.0.0.1", 9374},
      {"0.0.0.0:80", "0.0.0.0", 80},
      {"10.1.2.3:65535", "10.1.2.3", 65535},
      {"127.0.0.1:0", "127.0.0.1", 0},
      {"127.0.0.1", "127.0.0.1", 9374},
      {"[::1]:9374", "::1", 9374},
      {"[::1]", "::1", 9374},
      {"[::]:0", "::", 0},
      {"[2001:db8::1]:8080", "2001:db8::1", 8080},
      {"[::ffff:127.0.0.1]:1", "::ffff:127.0.0.1", 1},
      {"[1:2:3:4:5:6:7:8]:2", "1:2:3:4:5:6:7:8", 2},
      {"[fe80::]:3", "fe80::", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseListenAddress(c.text);
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(parsed.value().address, c.address);
    EXPECT_EQ(parsed.value().port, c.port);
  }
  EXPECT_EQ(ParseListenAddress(kDefaultMetricsListen).value().port, kDefaultMetricsPort);
}

TEST(ListenAddress, WhatIsNoAddressIsRefusedWithItsReason) {
  const struct {
    const char* text;
    const char* why;
  } cases[] = {
      {"", "give the address too, as 127.0.0.1:9374, or 0.0.0.0:9374 for every interface"},
      {":9374", "give the address too, as 127.0.0.1:9374, or 0.0.0.0:9374 for every interface"},
      {"localhost:9374", "not a dotted IPv4 address; names are not looked up"},
      {"127.0.0.1:", "no port after ':'"},
      {"127.0.0.1:65536", "the port is a number from 0 to 65535"},
      {"127.0.0.1:-1", "the port is a number from 0 to 65535"},
      {"127.0.0.1:9x", "the port is a number from 0 to 65535"},
      {"127.0.0.1: 80", "the port is a number from 0 to 65535"},
      {"::1:9374", "write an IPv6 address in brackets, as [::1]:9374"},
      {"[::1", "no ']' after the IPv6 address"},
      {"[::1]9374", "give the port after ']:'"},
      {"[::1]:", "no port after ':'"},
      {"[]:1", "give the address too, as 127.0.0.1:9374, or 0.0.0.0:9374 for every interface"},
      {"[127.0.0.1]:1", "not an IPv6 address"},
      {"256.0.0.1:1", "not a dotted IPv4 address; names are not looked up"},
      {"01.2.3.4:1", "not a dotted IPv4 address; names are not looked up"},
      {"1.2.3:1", "not a dotted IPv4 address; names are not looked up"},
      {"1.2.3.4.5:1", "not a dotted IPv4 address; names are not looked up"},
      {"[1::2::3]:1", "not an IPv6 address"},
      {"[12345::]:1", "not an IPv6 address"},
      {"[1:2:3:4:5:6:7:8:9]:1", "not an IPv6 address"},
      {"[1:2:3:4:5:6:7]:1", "not an IPv6 address"},
      {"[:1]:1", "not an IPv6 address"},
      {"[1:]:1", "not an IPv6 address"},
      {"[:::]:1", "not an IPv6 address"},
      {"[::g]:1", "not an IPv6 address"},
      {"[::1.2.3]:1", "not an IPv6 address"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseListenAddress(c.text);
    ASSERT_FALSE(parsed) << parsed.value().address;
    EXPECT_EQ(parsed.error().message,
              std::string("not an address to listen on: '") + c.text + "' (" + c.why + ")");
  }
}

TEST(ListenAddress, LoopbackIsWhatOnlyThisMachineReaches) {
  for (const char* a : {"127.0.0.1", "127.255.0.9", "::1", "0:0:0:0:0:0:0:1", "::ffff:127.0.0.1", "::ffff:7f00:1"})
    EXPECT_TRUE(IsLoopbackAddress(a)) << a;
  for (const char* a : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "126.0.0.1", "::2", "::ffff:10.0.0.1",
                        "1::1", "::127.0.0.1", "localhost", "", "127.0.0.1:9374"})
    EXPECT_FALSE(IsLoopbackAddress(a)) << a;
}

TEST(ListenAddress, TextBracketsIpv6) {
  EXPECT_EQ(ListenAddressText({"127.0.0.1", 9374}), "127.0.0.1:9374");
  EXPECT_EQ(ListenAddressText({"::1", 80}), "[::1]:80");
}

}  // namespace
}  // namespace sondrel
