#include "core/results/ScanExport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sondrel {
namespace {

std::string Export(const ScanTable& table, const ScanTotals& totals) {
  std::ostringstream out;
  WriteScanExport(out, "08/12/2026 10:05:00", totals, table);
  return out.str();
}

TEST(ScanExportTest, PendingRecordsGoWithTheActiveAndDeadOnesCountFromOneAgain) {
  ScanTable table = {
      {"127.0.0.1", "1", "localhost", "00-1A-2B-3C-4D-5E", "64"},
      {"127.0.0.2", "Dead", "", "", ""},
      {"127.0.0.3", "", "", "", ""},
      {"127.0.0.4", "Dead", "", "", ""},
  };
  const std::string expected =
      "IP Scan at :  08/12/2026 10:05:00\r\n"
      " \r\n"
      " \r\n"
      "Total:   4\r\n"
      "Active:   1\r\n"
      "Inactive:   2\r\n"
      " \r\n"
      " \r\n"
      "Active:\r\n"
      "------------------------------------\r\n"
      "No,IP,Ping,Host Name,MAC Address,TTL\r\n"
      "1,127.0.0.1,1,localhost,00-1A-2B-3C-4D-5E,64\r\n"
      "2,127.0.0.3,,,,\r\n"
      " \r\n"
      " \r\n"
      "Inactive:\r\n"
      "------------------------------------\r\n"
      "No,IP,Ping,Host Name,MAC Address,TTL\r\n"
      "1,127.0.0.2,Dead,,,\r\n"
      "2,127.0.0.4,Dead,,,\r\n";
  EXPECT_EQ(Export(table, {"4", "1", "2"}), expected);
}

TEST(ScanExportTest, HostNamesAreNeverTakenForFormulas) {
  ScanTable table = {{"127.0.0.1", "2", "=cmd|' /C calc'!A0", "", "64"},
                     {"127.0.0.2", "2", "+x", "", "64"},
                     {"127.0.0.3", "2", "-x", "", "64"},
                     {"127.0.0.4", "2", "@x", "", "64"},
                     {"127.0.0.5", "2", "a-b=c", "", "64"}};
  const std::string text = Export(table, {"5", "5", "0"});
  EXPECT_NE(text.find("1,127.0.0.1,2,'=cmd|' /C calc'!A0,,64\r\n"), std::string::npos);
  EXPECT_NE(text.find("2,127.0.0.2,2,'+x,,64\r\n"), std::string::npos);
  EXPECT_NE(text.find("3,127.0.0.3,2,'-x,,64\r\n"), std::string::npos);
  EXPECT_NE(text.find("4,127.0.0.4,2,'@x,,64\r\n"), std::string::npos);
  EXPECT_NE(text.find("5,127.0.0.5,2,a-b=c,,64\r\n"), std::string::npos);
}

TEST(ScanExportTest, AnEmptyTableStillWritesBothSections) {
  const std::string text = Export({}, {"", "", ""});
  EXPECT_NE(text.find("Total:   \r\nActive:   \r\nInactive:   \r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 38), "No,IP,Ping,Host Name,MAC Address,TTL\r\n");
}

}  // namespace
}  // namespace sondrel
