#include "core/common/JsonLine.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace sondrel {
namespace {

std::string Quoted(std::string_view bytes) {
  std::string out;
  AppendJsonString(out, bytes);
  return out;
}

const std::string kFffd = "\xEF\xBF\xBD";

TEST(JsonLine, QuotesBackslashesAndControlCharactersAreEscapedAndUtf8IsKept) {
  EXPECT_EQ(Quoted(""), "\"\"");
  EXPECT_EQ(Quoted("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  // Every C0 character, DEL and the C1 ones as \u00XX; a NUL is no end.
  EXPECT_EQ(Quoted(std::string_view("\x00\x01\n\r\t\x1f\x7f", 7)),
            "\"\\u0000\\u0001\\u000a\\u000d\\u0009\\u001f\\u007f\"");
  EXPECT_EQ(Quoted("\xC2\x85\xC2\x9B[31m"), "\"\\u0085\\u009b[31m\"");
  // Two, three and four byte sequences pass as they are, the first past
  // the C1 block too.
  EXPECT_EQ(Quoted("\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF"),
            "\"\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF\"");
}

TEST(JsonLine, EachIllFormedPieceOfUtf8BecomesOneReplacementCharacter) {
  struct Case {
    std::string in, out;
  } const cases[] = {
      {"a\xFF" "b", "a" + kFffd + "b"},
      {"\x80\xBF", kFffd + kFffd},                         // continuation bytes alone
      {"x\xE2\x82", "x" + kFffd},                          // cut at the end: one piece
      {"\xE2\x82" "A\xF0\x9F\x98", kFffd + "A" + kFffd},   // cut before another character
      {"\xC0\xAF", kFffd + kFffd},                         // overlong "/"
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},             // overlong, three bytes
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},             // a surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd}, // past U+10FFFF
      {"\xF5\x80", kFffd + kFffd},
      // A cut sequence does not take the quote after it with it.
      {"\xE2\"", kFffd + "\\\""},
  };
  for (const Case& c : cases) EXPECT_EQ(Quoted(c.in), "\"" + c.out + "\"") << testing::PrintToString(c.in);
}

TEST(JsonLine, AnObjectKeepsItsKeysInOrderWithNumbersNullsAndBooleans) {
  EXPECT_EQ(JsonLine().str(), "{}");
  constexpr auto kLowest = std::numeric_limits<std::int64_t>::min();
  const std::string line = JsonLine()
                               .text("type", "result")
                               .number("n", -42)
                               .number("big", std::numeric_limits<std::int64_t>::max())
                               .number("none", std::optional<std::int64_t>())
                               .decimal("rtt_ms", 12345, 3)
                               .decimal("small", 5, 3)
                               .decimal("negative", -5, 3)
                               .decimal("zero", 0, 2)
                               .decimal("lowest", kLowest, 3)
                               .decimal("whole", 7, 0)
                               .decimal("absent", std::optional<std::int64_t>(), 3)
                               .textOrNull("name", std::nullopt)
                               .textOrNull("mac", std::string("00-11"))
                               .boolean("yes", true)
                               .boolean("no", false)
                               .null("ttl")
                               .text("k\"ey", "v")
                               .str();
  EXPECT_EQ(line,
            "{\"type\":\"result\",\"n\":-42,\"big\":9223372036854775807,\"none\":null,\"rtt_ms\":12.345,"
            "\"small\":0.005,\"negative\":-0.005,\"zero\":0.00,\"lowest\":-9223372036854775.808,\"whole\":7,"
            "\"absent\":null,\"name\":null,\"mac\":\"00-11\",\"yes\":true,\"no\":false,\"ttl\":null,"
            "\"k\\\"ey\":\"v\"}");
}

TEST(JsonLine, FractionalMicrosecondsRoundToWholeOnes) {
  EXPECT_EQ(RoundedMicros(1234.5), 1235);
  EXPECT_EQ(RoundedMicros(1234.49), 1234);
  EXPECT_EQ(RoundedMicros(std::nullopt), std::nullopt);
  EXPECT_EQ(RoundedMicros(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(RoundedMicros(std::numeric_limits<double>::infinity()), std::nullopt);
}

TEST(JsonLine, MomentsAreRfc3339WithMillisecondsAndTheOffset) {
  EXPECT_EQ(Rfc3339Millis(0, 0), "1970-01-01T00:00:00.000+00:00");
  // 2026-12-10 12:05:07.123456 UTC, an hour east: milliseconds cut, not rounded.
  EXPECT_EQ(Rfc3339Millis(1796904307123456, 3600), "2026-12-10T13:05:07.123+01:00");
  // 2026-01-01 02:00 UTC, five and a half hours west: the day before.
  EXPECT_EQ(Rfc3339Millis(1767232800000000, -19800), "2025-12-31T20:30:00.000-05:30");
  // The last microsecond of a leap day, and the step into the next day east.
  EXPECT_EQ(Rfc3339Millis(1709251199999999, 0), "2024-02-29T23:59:59.999+00:00");
  EXPECT_EQ(Rfc3339Millis(1709251199999999, 60), "2024-03-01T00:00:59.999+00:01");
  // Before 1970 the milliseconds still count forwards.
  EXPECT_EQ(Rfc3339Millis(-1, 0), "1969-12-31T23:59:59.999+00:00");
  EXPECT_EQ(Rfc3339Millis(-2203891200000000, 0), "1900-03-01T00:00:00.000+00:00");
  // A zone of old with seconds in its offset (+00:19:32) shows whole minutes,
  // the time moved with them: still the same moment.
  EXPECT_EQ(Rfc3339Millis(0, 1172), "1970-01-01T00:19:00.000+00:19");
  EXPECT_EQ(Rfc3339Millis(0, -1172), "1969-12-31T23:41:00.000-00:19");
}

}  // namespace
}  // namespace sondrel
