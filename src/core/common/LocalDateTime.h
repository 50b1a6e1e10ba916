#pragma once
// A local calendar date and time of day, as the clock gives it.

namespace sondrel {

struct LocalDateTime {
  int year = 1970;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
  int millisecond = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

}  // namespace sondrel
