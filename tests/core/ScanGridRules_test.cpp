// The scan grid's rows, texts, colours, filters and group members.
#include <gtest/gtest.h>

#include "core/scan/ScanGridRules.h"

namespace sondrel {
namespace {

TEST(ScanWindow, FiveRecordsShowRowsOneToFive) {
  const ScanScrollRange s = ScanScrollFor(5);
  EXPECT_EQ(s.maximum, 4);
  EXPECT_EQ(s.minimum, 4);
  const ScanRowWindow w = ChooseScanWindow(s.maximum, 5, s.maximum);
  EXPECT_EQ(w.first, 0);
  EXPECT_EQ(w.last, 4);
}

TEST(ScanWindow, HundredRecordsShowTwentyOneRowsEndingAtTheScrollValue) {
  const ScanScrollRange s = ScanScrollFor(100);
  EXPECT_EQ(s.maximum, 99);
  EXPECT_EQ(s.minimum, 20);
  ScanRowWindow w = ChooseScanWindow(s.minimum, 100, s.maximum);
  EXPECT_EQ(w.first, 0);
  EXPECT_EQ(w.last, 20);
  w = ChooseScanWindow(57, 100, s.maximum);
  EXPECT_EQ(w.first, 37);
  EXPECT_EQ(w.last, 57);
  w = ChooseScanWindow(5, 100, s.maximum);  // below the minimum: the first rows
  EXPECT_EQ(w.first, 0);
  EXPECT_EQ(w.last, 20);
}

TEST(ScanWindow, NeverPastTheLastRecordNorForAnEmptyTable) {
  ScanRowWindow w = ChooseScanWindow(99, 10, 99);  // a stale scroll bar
  EXPECT_EQ(w.last, 9);
  w = ChooseScanWindow(0, 0, 0);
  EXPECT_LT(w.last, w.first);
  w = ChooseScanWindow(0, 20, 19);
  EXPECT_EQ(w.first, 0);
  EXPECT_EQ(w.last, 0);  // twenty records at value 0: the window ends at the value
}

TEST(ScanRows, TextAndColourFollowTheState) {
  ScanRecord r;
  r.ip = "10.0.0.1";
  ScanRowText t = FormatScanRow(r, 0);
  EXPECT_EQ(t.number, "1.");
  EXPECT_EQ(t.ms, "Ping ...");
  EXPECT_EQ(t.colour, 0xC0C0C0u);
  r.ms = "Dead";
  t = FormatScanRow(r, 41);
  EXPECT_EQ(t.number, "42.");
  EXPECT_EQ(t.ms, "Dead");
  EXPECT_EQ(t.colour, 0x808080u);
  r.ms = " 12 ";
  t = FormatScanRow(r, 0);
  EXPECT_EQ(t.ms, "12 ms");
  EXPECT_EQ(t.colour, 0xC0C0FFu);
}

ScanTable Sample() {
  return {{"10.0.0.1", "3", "PRINTSRV", "00-1A-2B-3C-4D-5E", "128"},
          {"10.0.0.2", "Dead", "", "", ""},
          {"10.0.0.3", "", "", "", ""},
          {"10.0.0.4", "1", "", "", "64"}};
}

TEST(ScanFilters, KeepOrderAndSelectByState) {
  const ScanTable table = Sample();
  EXPECT_EQ(FilterScan(table, "All").size(), 4u);
  const ScanTable active = FilterScan(table, "Active");
  ASSERT_EQ(active.size(), 2u);
  EXPECT_EQ(active[0].ip, "10.0.0.1");
  EXPECT_EQ(active[1].ip, "10.0.0.4");
  const ScanTable inactive = FilterScan(table, "Inactive");
  ASSERT_EQ(inactive.size(), 1u);
  EXPECT_EQ(inactive[0].ip, "10.0.0.2");
  ScanTable allDead = {{"10.0.0.9", "Dead", "", "", ""}};
  EXPECT_TRUE(FilterScan(allDead, "Active").empty());
}

TEST(ScanGroupMembers, HostNamesInBracketsAndBareAddressesOtherwise) {
  const ScanTable table = Sample();
  EXPECT_EQ(ScanGroupMembers(table, "Active"), "10.0.0.1 (PRINTSRV)\r\n10.0.0.4");
  EXPECT_EQ(ScanGroupMembers(table, "Inactive"), "10.0.0.2");
  EXPECT_EQ(ScanGroupMembers(table, "All"), "10.0.0.1 (PRINTSRV)\r\n10.0.0.2\r\n10.0.0.3\r\n10.0.0.4");
  EXPECT_EQ(ScanGroupMembers({}, "All"), "");
}

}  // namespace
}  // namespace sondrel
