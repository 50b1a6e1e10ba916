// Log lines in forms the program does not write but a hand-edited or older
// log holds: blanks, signs, short and long numbers, numbers at the edge of
// their types. Each reads as it always has, whole or damaged.
#include <gtest/gtest.h>

#include <limits>

#include "core/ping/RunRecords.h"

namespace sondrel {
namespace {

TEST(LogLineForms, UnusualButWholeLinesReadWhole) {
  struct Case {
    const char* line;
    const char* written;  // FormatLogLine of what was read
  };
  const Case cases[] = {
      {"2026,3,7,14,5,9,10.0.0.1,32,15,64,0", "2026,03,07,14,05,09,10.0.0.1,32,15,64,0"},
      {"2026,03,07,14,05,09, 10.0.0.1 ,32,15,64,0", "2026,03,07,14,05,09,10.0.0.1,32,15,64,0"},
      {"2026,03,07,14,05,09,10.0.0.1,+32, 15 ,64,0", "2026,03,07,14,05,09,10.0.0.1,32,15,64,0"},
      {"2026,03,07,14,05,09,10.0.0.1,32,-1,64,11010", "2026,03,07,14,05,09,10.0.0.1,32,-1,0,11010"},
      {"26,03,07,14,05,09,10.0.0.1,32,-0,32767,-2147483648",
       "26,03,07,14,05,09,10.0.0.1,32,0,32767,-2147483648"},
      {"2026,03,07,14,05,09,10.0.0.1,1234567890,2147483647,-32768,7",
       "2026,03,07,14,05,09,10.0.0.1,1234567890,2147483647,-32768,7"},
      // An address is cut to its 15 characters.
      {"2026,03,07,14,05,09,10.100.100.100.5,32,1,64,0",
       "2026,03,07,14,05,09,10.100.100.100.,32,1,64,0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    RunData run;
    ResultRecord r;
    ASSERT_TRUE(ParseLogLine(c.line, run, r));
    EXPECT_EQ(FormatLogLine(r, run.ip(r)), c.written);
  }
}

TEST(LogLineForms, NumbersOutOfTheirTypesOrPlacesAreDamaged) {
  const char* const lines[] = {
      "2026,03,07,14,05,09,10.0.0.1,32,15,32768,0",        // TTL past 16 bits
      "2026,03,07,14,05,09,10.0.0.1,32,-2,0,0",            // no such time
      "2026,03,07,14,05,09,10.0.0.1,32,2147483648,64,0",   // time past 32 bits
      "2026,03,07,14,05,09,10.0.0.1,32,15,64,2147483648",  // status past 32 bits
      "2026,03,07,14,05,09,10.0.0.1,32,15,64,0,",          // a twelfth field
      "2026,03,07,14,05,09,,32,15,64,0",                   // no address
      "2026,03,07,14,05,09,10.0.0.1,32,15,64,",            // no status
      "2026,03,07,14,05,09,10.0.0.1,32,1 5,64,0",          // a blank inside a number
      "2026,03,07,14,05,9a,10.0.0.1,32,15,64,0",
      "2026,03,07,14,05,-9,10.0.0.1,32,15,64,0",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    RunData run;
    ResultRecord r;
    EXPECT_FALSE(ParseLogLine(line, run, r));
    EXPECT_EQ(r.time, -1);
    EXPECT_EQ(r.ttl, 0);
    EXPECT_EQ(r.status, kDamagedLineStatus);
  }
  // A year of five digits is damaged, its first four kept as they stand.
  RunData run;
  ResultRecord r;
  EXPECT_FALSE(ParseLogLine("02026,03,07,14,05,09,10.0.0.1,32,15,64,0", run, r));
  EXPECT_EQ(r.when.year, 202);
  EXPECT_EQ(r.when.second, 9);
}

}  // namespace
}  // namespace sondrel
