#include <gtest/gtest.h>

#include "core/common/AddressHelpers.h"

namespace sondrel {
namespace {

const std::string kMarker(NotAnAddress);

struct AddressCase {
  const char* input;
  const char* checkIP;
  const char* checkRangeIP;
};

TEST(AddressHelpers, CheckIPAndCheckRangeIPAgreeWithTheTable) {
  const AddressCase cases[] = {
      {"192.168.1.1", "192.168.1.1", "192.168.1.1"},
      {" 192. 168.1 .1 ", "192.168.1.1", ""},
      {"  192.168.1.1  ", "192.168.1.1", "192.168.1.1"},
      {"010.001.000.001", "10.1.0.1", "10.1.0.1"},
      {"0.0.0.0", "", "0.0.0.0"},
      {"00.0.0.000", "", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255", "255.255.255.255"},
      {"256.1.1.1", "", ""},
      {"1.2.3", "", ""},
      {"1.2", kMarker.c_str(), ""},
      {"localhost", kMarker.c_str(), ""},
      {"www.example.com", kMarker.c_str(), ""},
      {"a1.2.3.4", kMarker.c_str(), ""},
      {"1..2.3", "", ""},
      {"1.2.3.4.5", "", ""},
      {"", kMarker.c_str(), ""},
      {"1.2.3.99999999999999999999", "", ""},
      {"1.2.3.4\t", kMarker.c_str(), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckIP(c.input), c.checkIP) << "CheckIP(\"" << c.input << "\")";
    EXPECT_EQ(CheckRangeIP(c.input), c.checkRangeIP) << "CheckRangeIP(\"" << c.input << "\")";
  }
}

TEST(AddressHelpers, CheckIPKeepsTheBlankFreeInputForTheDialogs) {
  CheckIP(" 10. 0.0.1 x");
  EXPECT_EQ(LastCheckedIP(), "10.0.0.1x");
  CheckRangeIP("1.2.3.4");
  EXPECT_EQ(LastCheckedIP(), "10.0.0.1x") << "CheckRangeIP must not touch it";
  IPSortKey("9.9.9.9");
  EXPECT_EQ(LastCheckedIP(), "10.0.0.1x") << "sorting must not touch it";
}

TEST(AddressHelpers, NotesPrefixesAndPadding) {
  EXPECT_EQ(StripNote("10.0.0.1 (router)"), "10.0.0.1");
  EXPECT_EQ(StripNote("  10.0.0.1  "), "  10.0.0.1  ");
  EXPECT_EQ(StripNote("(only note)"), "");
  EXPECT_EQ(SubnetPrefix("10.20.30.40"), "10.20.30");
  EXPECT_EQ(SubnetPrefix("192.168.1.23"), "192.168.1");
  EXPECT_EQ(SubnetPrefix(""), "");
  EXPECT_EQ(SubnetPrefix("nodots"), "");
  EXPECT_EQ(SubnetPrefix("a." + std::string(99, 'x')), "");
  EXPECT_EQ(SubnetPrefix("a." + std::string(98, 'x')), "a");
  EXPECT_EQ(PadNumber3(7), "007");
  EXPECT_EQ(PadNumber3(42), "042");
  EXPECT_EQ(PadNumber3(255), "255");
  EXPECT_EQ(PadNumber3(0), "000");
}

TEST(AddressHelpers, SortKeysOrderAddressesNumericallyAndNeverFail) {
  EXPECT_EQ(IPSortKey("192.168.1.5"), "192168001005");
  EXPECT_EQ(IPSortKey("www.example.com"), "www.example.com");
  // Digits and dots that are not four numbers are keyed as names.
  EXPECT_EQ(IPSortKey("1.2.3"), "1.2.3");
  EXPECT_EQ(IPSortKey("1..2.3"), "1..2.3");
  EXPECT_EQ(IPSortKey("1.2.3."), "1.2.3.");
  EXPECT_LT(IPSortKey("9.9.9.9"), IPSortKey("10.0.0.1")) << "numeric, not textual";
}

TEST(AddressHelpers, SortEntriesPutsSinglesThenGroupsThenRanges) {
  std::vector<std::string> lines = {"C,Range,1.1.1.1,1.1.1.9", "A,9.9.9.9", "B,Grp,1.1.1.1",
                                    "A,10.0.0.1"};
  SortEntries(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"A,10.0.0.1", "A,9.9.9.9", "B,Grp,1.1.1.1",
                                             "C,Range,1.1.1.1,1.1.1.9"}));

  std::vector<std::string> addresses = {"10.0.0.1", "9.9.9.9", "host", "1.2.3", "Zed"};
  SortEntries(addresses);
  EXPECT_EQ(addresses,
            (std::vector<std::string>{"9.9.9.9", "10.0.0.1", "1.2.3", "Zed", "host"}));

  std::vector<std::string> one = {"only"};
  SortEntries(one);
  EXPECT_EQ(one, std::vector<std::string>{"only"});
}

TEST(AddressHelpers, SortEntriesMatchesTheExchangeSortOnSharedKeys) {
  // "1.2.3.4" and "001.002.003.004" share a key; the exchange sort's order of
  // such texts is what the list file has always been written in.
  std::vector<std::string> v = {"001.002.003.004", "5.5.5.5", "1.2.3.4", "0.0.0.1"};
  std::vector<std::string> expected = v;
  for (size_t i = 0; i < expected.size(); ++i)
    for (size_t j = i + 1; j < expected.size(); ++j)
      if (IPSortKey(expected[i]) > IPSortKey(expected[j])) std::swap(expected[i], expected[j]);
  SortEntries(v);
  EXPECT_EQ(v, expected);
}

}  // namespace
}  // namespace sondrel
