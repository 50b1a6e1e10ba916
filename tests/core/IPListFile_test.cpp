#include <gtest/gtest.h>

#include <sstream>

#include "core/iplist/IPListFile.h"

namespace sondrel {
namespace {

std::vector<std::string> parse(const std::string& text) {
  std::istringstream in(text);
  return ParseIPList(in);
}

TEST(IPListFile, LoadingTrimsSkipsCommentsStopsAtBlankAndSorts) {
  EXPECT_TRUE(parse("\r\nA10.0.0.1\r\n").empty()) << "a blank first line is an empty list";
  EXPECT_TRUE(parse("   \r\nA10.0.0.1\r\n").empty());
  EXPECT_TRUE(parse("").empty());

  auto entries = parse(
      "= a comment\r\n"
      "CR1,1.1.1.1,1.1.1.9\r\n"
      "  A9.9.9.9  \r\n"
      "=another\r\n"
      "BGrp,1.1.1.1,host\r\n"
      "A10.0.0.1\tx\r\n"
      "A10.0.0.3\t \r\n"
      "A10.0.0.1\r\n"
      " \r\n"
      "Aafter.the.stop\r\n");
  EXPECT_EQ(entries, (std::vector<std::string>{"A10.0.0.1", "A10.0.0.1\tx", "A10.0.0.3\t", "A9.9.9.9",
                                               "BGrp,1.1.1.1,host", "CR1,1.1.1.1,1.1.1.9"}));

  // Plain LF files read the same.
  EXPECT_EQ(parse("Ahost\nA1.2.3.4\n\nAgone\n"), (std::vector<std::string>{"A1.2.3.4", "Ahost"}));
}

TEST(IPListFile, DisplayNamesAndThePicker) {
  const std::string longLine = "A" + std::string(120, 'x');
  EXPECT_EQ(EntryDisplayName(longLine), std::string(99, 'x'));
  EXPECT_EQ(EntryDisplayName("A  10.0.0.1 (router)  "), "10.0.0.1 (router)");
  EXPECT_EQ(EntryDisplayName("B My Group ,1.1.1.1,2.2.2.2"), " My Group ") << "titles are not trimmed";
  EXPECT_EQ(EntryDisplayName("CRange,1.1.1.1,1.1.1.9"), "Range");
  EXPECT_EQ(EntryDisplayName("BNoMembers"), "NoMembers");

  auto items = ListIP2Items({"A1.1.1.1", longLine, "BG,1.1.1.1", "CR,1.1.1.1,1.1.1.2"});
  EXPECT_EQ(items, (std::vector<std::string>{"1.1.1.1", std::string(99, 'x'),
                                             "----------------------------", "Add a IP / URL"}));
  EXPECT_EQ(ListIP2Items({}).size(), 2u);
}

TEST(IPListFile, RewriteBytesEndWithTheBlankStopLine) {
  EXPECT_EQ(FormatIPList({"A1.1.1.1", "BG,2.2.2.2"}), "A1.1.1.1\r\nBG,2.2.2.2\r\n \r\n");
  EXPECT_EQ(FormatIPList({}), " \r\n");
}

TEST(IPListFile, DefaultListFromTheMachinesSettings) {
  std::vector<Adapter> adapters = {{"eth0", "192.168.1.23", "255.255.255.0", "", ""},
                                   {"eth1", "10.0.0.5", "255.0.0.0", "", "10.0.0.1"}};
  auto lines = DefaultIPListLines(adapters, {"10.0.0.1", "", "9.9.9.9"});
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "A10.0.0.1") << "the first adapter with a gateway gives the router";
  EXPECT_EQ(lines[1], "A9.9.9.9") << "the router and empty servers are skipped";
  EXPECT_EQ(lines[2], "Awww.wikipedia.org");
  EXPECT_EQ(lines[3], "Awww.debian.org");
  EXPECT_EQ(lines[4],
            "BIP_Group_01,192.168.1.1,192.168.1.2,192.168.1.3,192.168.1.4,192.168.1.5,"
            "192.168.1.10,192.168.1.20,192.168.1.30,192.168.1.40")
      << "the subnet is the first adapter's own";
  EXPECT_EQ(lines[5].rfind("BIP_Group_Subnet(0-255),192.168.1.0,192.168.1.1,", 0), 0u);
  EXPECT_EQ(std::count(lines[5].begin(), lines[5].end(), ','), 256);
  EXPECT_EQ(lines[5].substr(lines[5].size() - 14), ",192.168.1.255");
  EXPECT_EQ(lines[6], "CIP_Range_01_Subnet_(0-255),192.168.1.0,192.168.1.255");

  // Without any gateway the machine's own address stands in for the router.
  auto noGateway = DefaultIPListLines({{"eth0", "172.16.4.9", "", "", ""}}, {});
  EXPECT_EQ(noGateway[0], "A172.16.4.9");
  EXPECT_EQ(noGateway.size(), 6u);

  // No adapter address at all: only the sites (and servers) remain.
  EXPECT_EQ(DefaultIPListLines({}, {"1.1.1.1"}),
            (std::vector<std::string>{"A1.1.1.1", "Awww.wikipedia.org", "Awww.debian.org"}));
}

}  // namespace
}  // namespace sondrel
