#pragma once
// The scheduled start and end of a ping run as plain data: the times, their
// texts, the lists of the time editor, and the minute comparisons that decide
// when a run starts and when it is over.

#include <string>
#include <string_view>
#include <vector>

#include "core/common/LocalDateTime.h"

namespace sondrel {

// A schedule time to the minute.
struct ScheduleTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  friend bool operator==(const ScheduleTime&, const ScheduleTime&) = default;
};

inline constexpr std::string_view kScheduleTitlePrefix = "Ping Test will auto run at:  ";
inline constexpr std::string_view kScheduleTitleMarker = "Ping Test will auto run at";
inline constexpr std::string_view kScheduleTitleSeparator = "  to  ";

// Hours added to the clock for the start and end time when "Schedule" is chosen.
inline constexpr int kScheduleStartHours = 1;
inline constexpr int kScheduleEndHours = 8;

// The clock's minute.
ScheduleTime ScheduleTimeOf(const LocalDateTime& t);
// The clock moved on by whole hours, across days, months and years.
LocalDateTime AddHours(const LocalDateTime& t, int hours);

// "03/07/2009 14:05:00": month, day, hour and minute two digits, year four.
std::string ScheduleTimeText(const ScheduleTime& t);
// The five parts of a time text by position (characters 1-2 month, 4-5 day,
// 7-10 year, 12-13 hour, 15-16 minute), as texts for the editor's lists.
struct ScheduleTextParts {
  std::string year, month, day, hour, minute;
};
ScheduleTextParts SplitScheduleText(std::string_view text);

// "Ping Test will auto run at:  " from "  to  " to
std::string ScheduleTitle(std::string_view fromText, std::string_view toText);

// The items of the editor's five lists: this year and the two after it,
// 1-12, 1-31, 0-23, 0-59, plain decimal.
struct ScheduleLists {
  std::vector<std::string> years, months, days, hours, minutes;
};
ScheduleLists FillScheduleLists(const LocalDateTime& now);

// The start is reached from its minute on (10:30 is reached at 10:30:00).
bool IsStartReached(const LocalDateTime& now, const ScheduleTime& start);
// The end has passed once the clock is past its minute (an end of 11:00 has
// passed from 11:01:00 on).
bool IsPastEndTime(const LocalDateTime& now, const ScheduleTime& end);

// What one start check does.
enum class StartCheck {
  Nothing,  // armed (a run is armed or going), or the start is not reached
  Start,    // arm and start the run
};
StartCheck DecideStartCheck(const LocalDateTime& now, const ScheduleTime& start, bool armed);

}  // namespace sondrel
