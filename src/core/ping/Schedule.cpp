#include "core/ping/Schedule.h"

#include <tuple>

namespace sondrel {
namespace {

std::string TwoDigits(int n) { return (n >= 0 && n < 10 ? "0" : "") + std::to_string(n); }

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[(m - 1) % 12];
}

auto MinuteKey(const ScheduleTime& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute); }

std::string Slice(std::string_view text, std::size_t from, std::size_t length) {
  if (from >= text.size()) return {};
  return std::string(text.substr(from, length));
}

std::vector<std::string> Numbers(int first, int last) {
  std::vector<std::string> out;
  for (int n = first; n <= last; ++n) out.push_back(std::to_string(n));
  return out;
}

}  // namespace

ScheduleTime ScheduleTimeOf(const LocalDateTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute};
}

LocalDateTime AddHours(const LocalDateTime& t, int hours) {
  LocalDateTime r = t;
  r.hour += hours;
  while (r.hour >= 24) {
    r.hour -= 24;
    if (++r.day > DaysInMonth(r.year, r.month)) {
      r.day = 1;
      if (++r.month > 12) {
        r.month = 1;
        ++r.year;
      }
    }
  }
  while (r.hour < 0) {
    r.hour += 24;
    if (--r.day < 1) {
      if (--r.month < 1) {
        r.month = 12;
        --r.year;
      }
      r.day = DaysInMonth(r.year, r.month);
    }
  }
  return r;
}

std::string ScheduleTimeText(const ScheduleTime& t) {
  return TwoDigits(t.month) + "/" + TwoDigits(t.day) + "/" + std::to_string(t.year) + " " +
         TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":00";
}

ScheduleTextParts SplitScheduleText(std::string_view text) {
  return {Slice(text, 6, 4), Slice(text, 0, 2), Slice(text, 3, 2), Slice(text, 11, 2),
          Slice(text, 14, 2)};
}

std::string ScheduleTitle(std::string_view fromText, std::string_view toText) {
  return std::string(kScheduleTitlePrefix) + std::string(fromText) +
         std::string(kScheduleTitleSeparator) + std::string(toText);
}

ScheduleLists FillScheduleLists(const LocalDateTime& now) {
  return {Numbers(now.year, now.year + 2), Numbers(1, 12), Numbers(1, 31), Numbers(0, 23),
          Numbers(0, 59)};
}

bool IsStartReached(const LocalDateTime& now, const ScheduleTime& start) {
  return MinuteKey(ScheduleTimeOf(now)) >= MinuteKey(start);
}

bool IsPastEndTime(const LocalDateTime& now, const ScheduleTime& end) {
  return MinuteKey(ScheduleTimeOf(now)) > MinuteKey(end);
}

StartCheck DecideStartCheck(const LocalDateTime& now, const ScheduleTime& start, bool armed) {
  if (armed || !IsStartReached(now, start)) return StartCheck::Nothing;
  return StartCheck::Start;
}

}  // namespace sondrel
