#include <gtest/gtest.h>

#include "core/ping/Schedule.h"

namespace sondrel {
namespace {

LocalDateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return {y, mo, d, h, mi, s, 0}; }

TEST(Schedule, StartIsReachedFromItsMinute) {
  const ScheduleTime start{2026, 3, 7, 10, 30};
  struct Case {
    LocalDateTime now;
    bool reached;
  };
  const Case cases[] = {
      {At(2026, 3, 7, 10, 29, 59), false}, {At(2026, 3, 7, 10, 30, 0), true},
      {At(2026, 3, 7, 10, 30, 2), true},   {At(2026, 3, 7, 10, 31), true},
      {At(2026, 3, 7, 9, 59), false},      {At(2026, 3, 7, 11, 0), true},
      {At(2026, 3, 6, 23, 59), false},     {At(2026, 3, 8, 0, 0), true},
      {At(2026, 2, 28, 23, 59), false},    {At(2026, 4, 1, 0, 0), true},
      {At(2025, 12, 31, 23, 59), false},   {At(2027, 1, 1, 0, 0), true},
      // A later field wins over every earlier one below it.
      {At(2026, 4, 1, 0, 0, 0), true},     {At(2026, 3, 8, 0, 0, 0), true},
      {At(2027, 1, 1, 0, 0, 0), true},     {At(2026, 3, 7, 11, 0, 0), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsStartReached(c.now, start), c.reached)
        << c.now.month << "/" << c.now.day << " " << c.now.hour << ":" << c.now.minute;
    EXPECT_EQ(DecideStartCheck(c.now, start, false) == StartCheck::Start, c.reached);
    // Armed: a run is armed or going, so the check never starts another.
    EXPECT_EQ(DecideStartCheck(c.now, start, true), StartCheck::Nothing);
  }
}

TEST(Schedule, EndPassesAfterItsMinute) {
  const ScheduleTime end{2026, 3, 7, 11, 0};
  const std::pair<LocalDateTime, bool> cases[] = {
      {At(2026, 3, 7, 10, 59, 59), false}, {At(2026, 3, 7, 11, 0, 0), false},
      {At(2026, 3, 7, 11, 0, 59), false},  {At(2026, 3, 7, 11, 1, 0), true},
      {At(2026, 3, 8, 0, 0), true},        {At(2027, 1, 1, 0, 0), true},
      {At(2026, 3, 6, 23, 59), false},
  };
  for (const auto& [now, past] : cases)
    EXPECT_EQ(IsPastEndTime(now, end), past) << now.hour << ":" << now.minute << ":" << now.second;
}

TEST(Schedule, EndBeforeStartStartsAndEndsAtOnce) {
  const ScheduleTime start{2026, 3, 7, 12, 0};
  const ScheduleTime end{2026, 3, 7, 11, 0};
  const auto now = At(2026, 3, 7, 12, 0, 1);
  EXPECT_EQ(DecideStartCheck(now, start, false), StartCheck::Start);
  EXPECT_TRUE(IsPastEndTime(now, end));
}

TEST(Schedule, AddHoursCrossesDaysMonthsAndYears) {
  const std::pair<LocalDateTime, LocalDateTime> plusOne[] = {
      {At(2026, 3, 7, 14, 5, 9), At(2026, 3, 7, 15, 5, 9)},
      {At(2026, 3, 7, 23, 30), At(2026, 3, 8, 0, 30)},
      {At(2026, 2, 28, 23, 0), At(2026, 3, 1, 0, 0)},
      {At(2028, 2, 28, 23, 0), At(2028, 2, 29, 0, 0)},
      {At(2100, 2, 28, 23, 0), At(2100, 3, 1, 0, 0)},
      {At(2000, 2, 28, 23, 0), At(2000, 2, 29, 0, 0)},
      {At(2026, 4, 30, 23, 59), At(2026, 5, 1, 0, 59)},
      {At(2026, 12, 31, 23, 1), At(2027, 1, 1, 0, 1)},
  };
  for (const auto& [from, to] : plusOne) EXPECT_EQ(AddHours(from, 1), to);
  EXPECT_EQ(AddHours(At(2026, 12, 31, 20, 0), 8), At(2027, 1, 1, 4, 0));
  EXPECT_EQ(AddHours(At(2026, 3, 1, 0, 0), -1), At(2026, 2, 28, 23, 0));
  EXPECT_EQ(AddHours(At(2026, 1, 1, 3, 0), 48), At(2026, 1, 3, 3, 0));
}

TEST(Schedule, TimeTextAndItsCharacterPositions) {
  EXPECT_EQ(ScheduleTimeText({2009, 3, 7, 14, 5}), "03/07/2009 14:05:00");
  EXPECT_EQ(ScheduleTimeText({2026, 12, 31, 0, 0}), "12/31/2026 00:00:00");
  const auto parts = SplitScheduleText("03/07/2009 14:05:00");
  EXPECT_EQ(parts.month, "03");
  EXPECT_EQ(parts.day, "07");
  EXPECT_EQ(parts.year, "2009");
  EXPECT_EQ(parts.hour, "14");
  EXPECT_EQ(parts.minute, "05");
  const auto cut = SplitScheduleText("03/07");
  EXPECT_EQ(cut.month, "03");
  EXPECT_EQ(cut.year, "");
  EXPECT_EQ(cut.minute, "");
}

TEST(Schedule, TitleAndLists) {
  EXPECT_EQ(ScheduleTitle("03/07/2026 15:05:00", "03/07/2026 22:05:00"),
            "Ping Test will auto run at:  03/07/2026 15:05:00  to  03/07/2026 22:05:00");
  const auto lists = FillScheduleLists(At(2026, 3, 7, 14, 5));
  EXPECT_EQ(lists.years, (std::vector<std::string>{"2026", "2027", "2028"}));
  ASSERT_EQ(lists.months.size(), 12u);
  EXPECT_EQ(lists.months.front(), "1");
  EXPECT_EQ(lists.months.back(), "12");
  ASSERT_EQ(lists.days.size(), 31u);
  EXPECT_EQ(lists.days.back(), "31");
  ASSERT_EQ(lists.hours.size(), 24u);
  EXPECT_EQ(lists.hours.front(), "0");
  ASSERT_EQ(lists.minutes.size(), 60u);
  EXPECT_EQ(lists.minutes[5], "5");
  EXPECT_EQ(lists.minutes.back(), "59");
}

}  // namespace
}  // namespace sondrel
