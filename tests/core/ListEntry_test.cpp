#include <gtest/gtest.h>

#include "core/iplist/ListEntry.h"

namespace sondrel {
namespace {

using Members = std::vector<std::string>;

TEST(ListEntry, EveryKindOfLineComesBackByteForByte) {
  for (const std::string line : {
           "A10.0.0.1", "A host.example (printer)", "A",
           "BOffice,10.0.0.1,host (x),10.0.0.3",
           "BT,a,",             // trailing empty member
           "BT,,a",             // empty member in the middle
           "B",                 // no title, no members
           "BTitleOnly",        //
           "B  Lab ,  10.0.0.1 ,x",  // blanks stay where they stand
           "CNet,10.0.0.1,10.0.0.9", "CNet", "CNet,", "CNet,1.1.1.1", "CNet,1.1.1.1,1.1.1.2,extra",
           "Xunknown,kind", "=comment",
           "B\xC3\xA9t\xC3\xA9,10.0.0.1",  // UTF-8 title
           "BB\xFCro,10.0.0.1",            // Latin-1 title, not valid UTF-8
           "",
       }) {
    EXPECT_EQ(formatListEntry(parseListEntry(line)), line) << line;
  }
}

TEST(ListEntry, FieldsOfEachKind) {
  const ListEntry single = parseListEntry("A 10.0.0.1 (gw)");
  EXPECT_EQ(single.kind, ListEntryKind::Single);
  EXPECT_EQ(single.title, " 10.0.0.1 (gw)");
  EXPECT_TRUE(single.members.empty());

  const ListEntry group = parseListEntry("BLab ,10.0.0.1, host (x),");
  EXPECT_EQ(group.kind, ListEntryKind::Group);
  EXPECT_EQ(group.title, "Lab ");
  EXPECT_EQ(group.members, (Members{"10.0.0.1", " host (x)", ""}));

  const ListEntry range = parseListEntry("CNet,10.0.0.1,10.0.0.9");
  EXPECT_EQ(range.kind, ListEntryKind::Range);
  EXPECT_EQ(range.title, "Net");
  EXPECT_EQ(range.first(), "10.0.0.1");
  EXPECT_EQ(range.last(), "10.0.0.9");

  const ListEntry shortRange = parseListEntry("CNet,10.0.0.1");
  EXPECT_EQ(shortRange.first(), "10.0.0.1");
  EXPECT_EQ(shortRange.last(), "");

  const ListEntry other = parseListEntry("Zsome,thing");
  EXPECT_EQ(static_cast<char>(other.kind), 'Z');
  EXPECT_EQ(other.title, "some");
  EXPECT_EQ(other.members, (Members{"thing"}));

  EXPECT_EQ(parseListEntry("").kind, ListEntryKind::None);
}

TEST(ListEntry, NewEntriesFormatAsTheDialogsStoreThem) {
  EXPECT_EQ(formatListEntry(ListEntry::single("10.0.0.1")), "A10.0.0.1");
  EXPECT_EQ(formatListEntry(ListEntry::group("IP_Group", {"10.0.0.1", "h (n)"})),
            "BIP_Group,10.0.0.1,h (n)");
  EXPECT_EQ(formatListEntry(ListEntry::range("IP_Range", "10.0.0.1", "10.0.0.9")),
            "CIP_Range,10.0.0.1,10.0.0.9");
  EXPECT_EQ(formatListEntry(ListEntry::group("Manual", splitMembers("a,b,"))), "BManual,a,b,");
}

}  // namespace
}  // namespace sondrel
