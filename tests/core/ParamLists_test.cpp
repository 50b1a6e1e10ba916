#include <gtest/gtest.h>

#include "core/ping/ParameterLists.h"

namespace sondrel {
namespace {

TEST(ParamLists, ListsHoldTheirItemsInOrder) {
  const auto inv = IntervalItems();
  ASSERT_EQ(inv.size(), 79u);
  EXPECT_EQ(inv[0], "10  Milliseconds");
  EXPECT_EQ(inv[8], "90  Milliseconds");
  EXPECT_EQ(inv[9], "100  Milliseconds");
  EXPECT_EQ(inv[kIntervalStartItem], "600  Milliseconds");
  EXPECT_EQ(inv[18], "1000  Milliseconds");
  EXPECT_EQ(inv[77], "60000  Milliseconds");
  EXPECT_EQ(inv[78], "Advanced");

  const auto timeOut = TimeOutItems();
  ASSERT_EQ(timeOut.size(), 27u);
  EXPECT_EQ(timeOut[kTimeOutStartItem], "500  Milliseconds");
  EXPECT_EQ(timeOut[14], "600  Milliseconds");
  EXPECT_EQ(timeOut[26], "9000  Milliseconds");

  const std::vector<std::string> sizes{
      "8  Bytes",    "16  Bytes",   "32  Bytes",    "64  Bytes",
      "128  Bytes",  "256  Bytes",  "512  Bytes",   "1024  Bytes",
      "2048  Bytes", "4096  Bytes", "8192  Bytes",  "16384  Bytes",
      "32000  Bytes", "16,32,64,1024  Bytes", "Step up with 32 Bytes", "Advanced"};
  EXPECT_EQ(BufferSizeItems(), sizes);
  EXPECT_EQ(BufferSizeItems()[kBufferSizeStartItem], "32  Bytes");

  const std::vector<std::string> times{"Continually", "1", "2", "4", "8", "16", "32",
                                       "64", "128", "256", "500", "1000", "2000", "4000",
                                       "8000", "16000", "32000", "64000", "100000"};
  EXPECT_EQ(TimesItems(), times);
}

TEST(ParamLists, EveryFixedItemParsesWithoutMessage) {
  for (const auto& item : TimeOutItems()) EXPECT_TRUE(ParseTimeOut(item).ok()) << item;
  for (const auto& item : TimesItems()) EXPECT_TRUE(ParseTimes(item).ok()) << item;
  for (const auto& item : BufferSizeItems()) {
    if (item == kAdvancedItem) continue;
    EXPECT_TRUE(ParseBufferSize(item).ok()) << item;
  }
  const auto inv = IntervalItems();
  for (std::size_t i = 0; i + 1 < inv.size(); ++i) EXPECT_TRUE(ParseInterval(inv[i]).ok()) << inv[i];
  EXPECT_EQ(ParseInterval(inv[77]).value, 60000);
  EXPECT_EQ(ParseTimeOut(TimeOutItems()[26]).value, 9000);
}

struct ValueCase {
  ParsedValue (*parse)(std::string_view);
  const char* text;
  std::int32_t value;
  const char* message;  // "" when accepted
};

TEST(ParamLists, TypedValuesAndFallBacks) {
  const char* timeOut = "Inalid Time Out Value.       ";
  const char* times = "Inalid Test Times.       ";
  const ValueCase cases[] = {
      {ParseTimeOut, "600  Milliseconds", 600, ""},
      {ParseTimeOut, "  250", 250, ""},
      {ParseTimeOut, "2.6", 3, ""},
      {ParseTimeOut, "2147483647", 2147483647, ""},
      {ParseTimeOut, "abc", 500, timeOut},
      {ParseTimeOut, "", 500, timeOut},
      {ParseTimeOut, "0", 500, timeOut},
      {ParseTimeOut, "-5", 500, timeOut},
      {ParseTimeOut, "0.4", 500, timeOut},
      {ParseTimeOut, "99999999999", 500, timeOut},
      // "Continually" is no limit and silent; "0" is no limit with a message.
      {ParseTimes, "Continually", 0, ""},
      {ParseTimes, "  Continually ", 0, ""},
      {ParseTimes, "1000", 1000, ""},
      {ParseTimes, "12abc", 12, ""},
      {ParseTimes, "0", 0, times},
      {ParseTimes, "", 0, times},
      {ParseTimes, "continually", 0, times},
      {ParseTimes, "-3", 0, times},
  };
  for (const auto& c : cases) {
    const auto v = c.parse(c.text);
    EXPECT_EQ(v.value, c.value) << c.text;
    EXPECT_EQ(v.message, c.message) << c.text;
  }
}

TEST(ParamLists, IntervalFollowsEveryKeystroke) {
  const std::pair<const char*, std::int32_t> typed[] = {{"1", 1}, {"15", 15}, {"150", 150}, {"1500", 1500}};
  for (const auto& [text, ms] : typed) {
    EXPECT_EQ(ParseInterval(text).value, ms);
    EXPECT_TRUE(ParseInterval(text).ok());
  }
  for (const char* bad : {"", "x", "0", "Advanced", "-100"}) {
    const auto v = ParseInterval(bad);
    EXPECT_EQ(v.value, 600) << bad;
    EXPECT_EQ(v.message, "Inalid Test Interval.       ") << bad;
  }
}

TEST(ParamLists, LeadingNumberReadsAsFarAsItGoes) {
  EXPECT_EQ(LeadingNumber("  12.5ms"), 12.5);
  EXPECT_EQ(LeadingNumber("7 8"), 7.0);
  EXPECT_EQ(LeadingNumber(".5"), 0.5);
  EXPECT_FALSE(LeadingNumber("ms12"));
  EXPECT_FALSE(LeadingNumber("."));
  EXPECT_FALSE(LeadingNumber("+1"));
}

TEST(ParamLists, SingleBufferSizes) {
  struct Case {
    const char* text;
    std::int32_t size;
    const char* message;
  };
  const Case cases[] = {
      {"1024  Bytes", 1024, ""},
      {"200", 200, ""},
      {"200 Bytes", 200, ""},
      {"32000  Bytes", 32000, ""},
      {"0", 32, "Inalid Buffer Size Value.       "},
      {"Bytes", 32, "Inalid Buffer Size Value.       "},
      {"-8", 32, "Inalid Buffer Size Value.       "},
      // Sizes beyond the reply room are refused instead of wrapping.
      {"32001", 32, "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       "},
      {"32768", 32, "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       "},
      {"65568", 32, "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       "},
      {"99999999999999", 32, "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       "},
  };
  for (const auto& c : cases) {
    const auto b = ParseBufferSize(c.text);
    EXPECT_EQ(b.setting.mode, BufferMode::Single) << c.text;
    EXPECT_EQ(b.setting.size, c.size) << c.text;
    EXPECT_EQ(b.message, c.message) << c.text;
    EXPECT_FALSE(b.setsTimesToStepUp);
    PingParameters p;
    p.mode = BufferMode::Multiple;
    p.numberOfSizes = 4;
    ApplyBufferSetting(b.setting, p);
    EXPECT_EQ(p.mode, BufferMode::Single);
    EXPECT_EQ(p.size, c.size);
    EXPECT_EQ(p.sendData, std::string(static_cast<std::size_t>(c.size), ' '));
    EXPECT_EQ(p.numberOfSizes, 1);
    EXPECT_EQ(p.pingsPerSize, 1);
  }
}

TEST(ParamLists, CyclingItemsChooseTheirModes) {
  PingParameters p;
  const auto multiple = ParseBufferSize("16,32,64,1024  Bytes");
  ASSERT_TRUE(multiple.ok());
  EXPECT_FALSE(multiple.setsTimesToStepUp);
  ApplyBufferSetting(multiple.setting, p);
  EXPECT_EQ(p.mode, BufferMode::Multiple);
  EXPECT_EQ(p.numberOfSizes, 4);
  EXPECT_EQ(p.pingsPerSize, 4);
  EXPECT_EQ(p.sizes, (std::vector<std::int32_t>{16, 32, 64, 1024}));
  ASSERT_EQ(p.sizeData.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(p.sizeData[i], std::string(static_cast<std::size_t>(p.sizes[i]), ' '));

  const auto stepUp = ParseBufferSize("Step up with 32 Bytes");
  ASSERT_TRUE(stepUp.ok());
  EXPECT_TRUE(stepUp.setsTimesToStepUp);
  ApplyBufferSetting(stepUp.setting, p);
  EXPECT_EQ(p.mode, BufferMode::Incremental);
  EXPECT_EQ(p.startSize, 32);
  EXPECT_EQ(p.step, 32);
  EXPECT_EQ(p.numberOfSizes, 1000);
  EXPECT_EQ(p.pingsPerSize, 1);
  // The last size of the cycle still fits the reply room.
  EXPECT_EQ(p.startSize + p.step * (p.numberOfSizes - 1), 32000);

  // Only the exact texts choose a cycle; anything else is a size.
  EXPECT_EQ(ParseBufferSize("16,32,64,1024 Bytes").setting.mode, BufferMode::Single);
  EXPECT_EQ(ParseBufferSize("16,32,64,1024 Bytes").setting.size, 16);
  EXPECT_EQ(ParseBufferSize("step up with 32 Bytes").message, "Inalid Buffer Size Value.       ");
}

TEST(ParamLists, AdvancedIntervalTextRoundTrips) {
  const std::pair<AdvancedInterval, const char*> cases[] = {
      {{100, 100, 1000}, "100 to 1000, 100++"},
      {{1000, -100, 100}, "1000 to 100, 100--"},
      {{50, 7, 60000}, "50 to 60000, 7++"},
  };
  for (const auto& [a, text] : cases) {
    EXPECT_EQ(AdvancedIntervalText(a), text);
    EXPECT_EQ(ParseAdvancedIntervalText(text), a) << text;
    EXPECT_EQ(ValidateAdvancedInterval(a), "");
  }
  for (const char* bad : {"100 to 1000, 100", "100 to 1000 100++", "a to 1000, 100++",
                          "100 to 1000, 100--", "1000 to 100, 100++", "100 to 100, 5++",
                          "0 to 100, 5++", "100 to 1000, 0++", "600  Milliseconds", ""})
    EXPECT_FALSE(ParseAdvancedIntervalText(bad)) << bad;
}

TEST(ParamLists, AdvancedIntervalRefusals) {
  const std::pair<AdvancedInterval, const char*> cases[] = {
      {{0, 10, 100}, "Inalid Start Interval."},
      {{100, 10, 0}, "Inalid Interval Limit."},
      {{100, 0, 200}, "Inalid Interval Step."},
      {{100, 10, 100}, "Inalid Interval Limit."},
      {{100, -10, 200}, "Inalid Interval Step."},
      {{200, 10, 100}, "Inalid Interval Step."},
  };
  for (const auto& [a, prefix] : cases) {
    const auto m = ValidateAdvancedInterval(a);
    EXPECT_EQ(m.rfind(prefix, 0), 0u) << m;
    EXPECT_EQ(m.substr(m.size() - 7), "       ") << m;
  }
}

TEST(ParamLists, AdvancedBufferValidationAndText) {
  BufferSetting inc{BufferMode::Incremental, 32, 100, 50, {}, 10, 2};
  EXPECT_EQ(ValidateBufferSetting(inc), "");
  EXPECT_EQ(AdvancedBufferText(inc), "100 to 550, 50++  Bytes, 2 pings each");
  BufferSetting down = inc;
  down.startSize = 1000;
  down.step = -100;
  EXPECT_EQ(ValidateBufferSetting(down), "");
  EXPECT_EQ(AdvancedBufferText(down), "1000 to 100, 100--  Bytes, 2 pings each");

  BufferSetting list{BufferMode::Multiple, 32, 32, 32, {16, 32000}, 2, 3};
  EXPECT_EQ(ValidateBufferSetting(list), "");
  EXPECT_EQ(AdvancedBufferText(list), "16,32000  Bytes, 3 pings each");

  const std::pair<BufferSetting, const char*> refused[] = {
      {{BufferMode::Incremental, 32, 32, 32, {}, 1000, 1}, ""},  // the step-up item itself
      {{BufferMode::Incremental, 32, 32, 32, {}, 1001, 1}, "Inalid Size Step."},
      {{BufferMode::Incremental, 32, 0, 32, {}, 10, 1}, "Inalid Start Size."},
      {{BufferMode::Incremental, 32, 32, 0, {}, 10, 1}, "Inalid Size Step."},
      {{BufferMode::Incremental, 32, 100, -50, {}, 3, 1}, "Inalid Size Step."},
      {{BufferMode::Incremental, 32, 32, 32, {}, 0, 1}, "Inalid Number Of Sizes."},
      {{BufferMode::Incremental, 32, 32, 32, {}, 10, 0}, "Inalid Pings Per Size."},
      {{BufferMode::Incremental, 32, 32, 32, {}, 10, 40000}, "Inalid Pings Per Size."},
      {{BufferMode::Multiple, 32, 32, 32, {16, 32001}, 2, 1}, "Inalid Size List: 32001 Bytes."},
      {{BufferMode::Multiple, 32, 32, 32, {0}, 1, 1}, "Inalid Size List: 0 Bytes."},
      {{BufferMode::Multiple, 32, 32, 32, {}, 0, 1}, "Inalid Size List."},
      // A start near the top with a huge step must not overflow into a valid size.
      {{BufferMode::Incremental, 32, 32000, 2147483647, {}, 3, 1}, "Inalid Size Step."},
  };
  for (const auto& [s, prefix] : refused) {
    const auto m = ValidateBufferSetting(s);
    if (*prefix == 0)
      EXPECT_EQ(m, "");
    else
      EXPECT_EQ(m.rfind(prefix, 0), 0u) << m;
  }
}

TEST(ParamLists, SizeListParsing) {
  EXPECT_EQ(ParseSizeList("16,32,64,1024"), (std::vector<std::int32_t>{16, 32, 64, 1024}));
  EXPECT_EQ(ParseSizeList(" 8 , 9 "), (std::vector<std::int32_t>{8, 9}));
  for (const char* bad : {"", " ", "16,,32", "16,", "16;32", "1e3", "99999999999"})
    EXPECT_FALSE(ParseSizeList(bad)) << bad;
}

}  // namespace
}  // namespace sondrel
