// Which worker reports the scan table takes, and in what form.
#include <gtest/gtest.h>

#include "core/scan/ScanReportCheck.h"

namespace sondrel {
namespace {

std::string Checked(std::string_view text) {
  const auto report = CheckWorkerReport(text);
  return report ? std::to_string(report->index) + "|" + report->text : "refused";
}

TEST(CheckWorkerReport, TheWorkersTwoShapesPass) {
  EXPECT_EQ(Checked("17,Dead"), "17|17,Dead");
  EXPECT_EQ(Checked(" 17 , Dead "), "17|17,Dead");
  EXPECT_EQ(Checked("17,3,128,PRINTSRV,00-1A-2B-3C-4D-5E"), "17|17,3,128,PRINTSRV,00-1A-2B-3C-4D-5E");
  EXPECT_EQ(Checked("17,3,64,,"), "17|17,3,64,,");
  EXPECT_EQ(Checked("17,3,64,host"), "17|17,3,64,host,");
  EXPECT_EQ(Checked("0,0,0,,,more,fields"), "0|0,0,0,,");
  EXPECT_EQ(Checked("4294967295,4294967295,255,,"), "4294967295|4294967295,4294967295,255,,");
}

TEST(CheckWorkerReport, AnythingElseIsRefused) {
  for (const char* text : {"", "17", "17,", "17,dead", "17,Alive", "17,3", "17,3,64", "-1,Dead",
                           "+1,Dead", "abc,Dead", ",Dead", "99999999999,Dead", "17,Dead,64,,",
                           "17,3ms,64,,", "17,3,-1,,", "17,3,,,", "17,,64,,", "17,3,64.5,,",
                           "17,Dead,Dead", "1 7,Dead"})
    EXPECT_EQ(Checked(text), "refused") << '"' << text << '"';
}

TEST(CheckWorkerReport, NamesAreMadeSafeAndAMacMustLookLikeOne) {
  EXPECT_EQ(Checked("1,2,64,ab\r\ncd\x01\x7f\tef,00-1a-2b-3c-4d-5e"), "1|1,2,64,abcdef,00-1A-2B-3C-4D-5E");
  EXPECT_EQ(Checked("1,2,64,na,me,00-1A-2B-3C-4D-5E"), "1|1,2,64,na,");
  EXPECT_EQ(Checked("1,2,64,\x1b[31mred,\x1b[31m"), "1|1,2,64,[31mred,");
  EXPECT_EQ(Checked("1,2,64,h,00:1A:2B:3C:4D:5E"), "1|1,2,64,h,");
  EXPECT_EQ(Checked("1,2,64,h,00-1A-2B-3C-4D-5G"), "1|1,2,64,h,");
  EXPECT_EQ(Checked("1,2,64,h,00-1A-2B-3C-4D-5E-"), "1|1,2,64,h,");
  EXPECT_EQ(Checked("1,2,64,h, 00-1A-2B-3C-4D-5E "), "1|1,2,64,h,00-1A-2B-3C-4D-5E");
  EXPECT_EQ(Checked("1,2,64," + std::string(100, 'n') + ","), "1|1,2,64," + std::string(100, 'n') + ",");
}

}  // namespace
}  // namespace sondrel
