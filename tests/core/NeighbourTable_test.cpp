// Reading MACs out of the neighbour table as `ip -4 neigh show` prints it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "core/scan/NeighbourTable.h"

namespace sondrel {
namespace {

// As printed by iproute2 6.1 (every line ends in a blank), with the kinds of
// entries a sweep leaves: resolved, static, given up, still resolving.
constexpr const char* kTable =
    "10.9.0.20 dev v0 lladdr 02:aa:bb:cc:dd:0e PERMANENT \n"
    "10.9.0.21 dev v0 lladdr 02:aa:bb:cc:dd:0f STALE \n"
    "10.9.0.8 dev v0 INCOMPLETE \n"
    "10.9.0.9 dev v0 FAILED \n"
    "10.9.0.10 dev v0 lladdr 02:aa:bb:cc:dd:10 FAILED \n"
    "192.168.1.1 dev eth0 lladdr 00:1a:2b:3c:4d:5e router REACHABLE \n"
    "10.9.0.12 dev v0 lladdr 02:aa:bb:cc:dd:12 DELAY \n"
    "10.9.0.1 dev tun0 lladdr 00:00:00:00:00:00 NOARP \n";

TEST(NeighbourTable, MacOfEachKindOfEntry) {
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.20"), "02-AA-BB-CC-DD-0E");
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.21"), "02-AA-BB-CC-DD-0F");
  EXPECT_EQ(ArpMacFor(kTable, "192.168.1.1"), "00-1A-2B-3C-4D-5E") << "router flag before the state";
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.12"), "02-AA-BB-CC-DD-12");
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.8"), "") << "no link address yet";
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.9"), "");
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.10"), "") << "an old address of a failed entry";
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.99"), "");
  EXPECT_EQ(ArpMacFor(kTable, ""), "");

  const auto all = ParseNeighbourTable(kTable);
  EXPECT_EQ(all, (std::map<std::string, std::string>{{"10.9.0.12", "02-AA-BB-CC-DD-12"},
                                                     {"10.9.0.20", "02-AA-BB-CC-DD-0E"},
                                                     {"10.9.0.21", "02-AA-BB-CC-DD-0F"},
                                                     {"192.168.1.1", "00-1A-2B-3C-4D-5E"}}));
}

TEST(NeighbourTable, AddressMustMatchWholeNotAsAPrefix) {
  // 10.9.0.1's own entry has no usable MAC; 10.9.0.12's must not stand in.
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.1"), "");
  EXPECT_EQ(ArpMacFor(kTable, "10.9.0.2"), "") << "10.9.0.20/21 are other hosts";
  EXPECT_EQ(ArpMacFor(kTable, "0.9.0.20"), "") << "nor as a suffix";
  EXPECT_EQ(ArpMacFor("10.9.0.5 dev v0 lladdr 10.9.0.6 STALE\n", "10.9.0.6"), "");
}

TEST(NeighbourTable, LineEndsCutLinesAndRepeatedAddresses) {
  const char* text =
      "10.1.0.2 dev a lladdr 02:00:00:00:00:02 REACHABLE\r\n"
      "10.1.0.3 dev a lladdr 02:00:00:00:00:03 STALE\r\n"
      "10.1.0.3 dev b lladdr 02:00:00:00:00:33 STALE\n"
      "\n"
      "10.1.0.4 dev a lladdr 02:00:00:00:00:04 REACHABLE";  // no line end
  EXPECT_EQ(ArpMacFor(text, "10.1.0.2"), "02-00-00-00-00-02");
  EXPECT_EQ(ArpMacFor(text, "10.1.0.3"), "02-00-00-00-00-03") << "the first entry wins";
  EXPECT_EQ(ParseNeighbourTable(text).at("10.1.0.3"), "02-00-00-00-00-03");
  EXPECT_EQ(ArpMacFor(text, "10.1.0.4"), "02-00-00-00-00-04");
  // Output cut inside a line, as when the reading stops early.
  EXPECT_EQ(ArpMacFor("10.1.0.5 dev a lladdr 02:00:00:0", "10.1.0.5"), "");
  EXPECT_EQ(ArpMacFor("10.1.0.5 dev a lladdr", "10.1.0.5"), "");
}

TEST(NeighbourTable, MacTexts) {
  const std::array<std::uint8_t, 6> bytes{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  EXPECT_EQ(FormatMac(bytes), "00-1A-2B-3C-4D-5E");
  const std::uint8_t high[6] = {0xff, 0xf0, 0x0f, 0x09, 0xa0, 0x01};
  EXPECT_EQ(FormatMac(high), "FF-F0-0F-09-A0-01");

  EXPECT_EQ(NormalizeMac("02:aa:bb:cc:dd:0e"), "02-AA-BB-CC-DD-0E");
  EXPECT_EQ(NormalizeMac("02-AA-bb-cc-dd-0e"), "02-AA-BB-CC-DD-0E");
  for (const char* bad : {"", "00:00:00:00:00:00", "02:aa:bb:cc:dd", "02:aa:bb:cc:dd:0e:ff",
                          "2:aa:bb:cc:dd:0ee", "02:aa:bb:cc:dd:0g", "02.aa.bb.cc.dd.0e",
                          "02:aa:bb:cc:dd:0\n"})
    EXPECT_EQ(NormalizeMac(bad), "") << bad;
}

}  // namespace
}  // namespace sondrel
