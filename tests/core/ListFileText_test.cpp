// Reading a list file: what stands after the first blank line, and which
// bytes are UTF-8.
#include <gtest/gtest.h>

#include <sstream>

#include "core/iplist/IPListFile.h"

namespace sondrel {
namespace {

TEST(ListFileText, TheLinesAfterTheFirstBlankLineAreKeptAsTheyWere) {
  const std::string bytes =
      "A10.0.0.2\r\n=note\r\nA10.0.0.1\r\n  \r\nA10.0.0.9\r\n\r\n=c\r\nBHand,1.1.1.1\n  \r\n";
  const IPListFileContents file = ParseIPListFile(bytes);
  EXPECT_EQ(file.entries, (std::vector<std::string>{"A10.0.0.1", "A10.0.0.2"}));
  EXPECT_EQ(file.tail, "A10.0.0.9\r\n\r\n=c\r\nBHand,1.1.1.1\n  \r\n");
  EXPECT_EQ(file.tailLines, 3);
  EXPECT_EQ(FormatIPList(file.entries, file.tail),
            "A10.0.0.1\r\nA10.0.0.2\r\n \r\nA10.0.0.9\r\n\r\n=c\r\nBHand,1.1.1.1\n  \r\n");

  // The program's own files end in their blank line and have no tail.
  const IPListFileContents own = ParseIPListFile("A1.1.1.1\r\n \r\n");
  EXPECT_EQ(own.tail, "");
  EXPECT_EQ(own.tailLines, 0);
  // A first line that is blank leaves every entry in the tail.
  const IPListFileContents blankFirst = ParseIPListFile("\r\nA1.1.1.1\r\nA2.2.2.2");
  EXPECT_TRUE(blankFirst.entries.empty());
  EXPECT_EQ(blankFirst.tail, "A1.1.1.1\r\nA2.2.2.2");
  EXPECT_EQ(blankFirst.tailLines, 2);

  std::istringstream in(bytes);
  EXPECT_EQ(ParseIPList(in), file.entries);
}

TEST(ListFileText, Utf8IsRecognisedAndSingleByteTextIsNot) {
  EXPECT_TRUE(IsUtf8("plain ascii"));
  EXPECT_TRUE(IsUtf8("B\xC3\xBCro"));            // Büro
  EXPECT_TRUE(IsUtf8("\xE2\x82\xAC \xF0\x9F\x98\x80"));  // euro sign, an emoji
  EXPECT_FALSE(IsUtf8("B\xFCro"));               // Büro in Latin-1
  EXPECT_FALSE(IsUtf8("K\xF6ln"));
  EXPECT_FALSE(IsUtf8("\xC3"));                  // cut short
  EXPECT_FALSE(IsUtf8("\xC0\xAF"));              // overlong
  EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));          // a surrogate
  EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80"));      // past U+10FFFF
}

}  // namespace
}  // namespace sondrel
