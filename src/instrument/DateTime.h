// Date-time values as the instrument model keeps them: a double counting days since
// 30 December 1899 00:00, the time of day as the fraction.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

using TDateTime = double;

// The time of an archive record whose date the instrument sent is no date: it has none.
inline constexpr TDateTime NoDateTime = std::numeric_limits<double>::quiet_NaN();
inline bool HasDateTime(TDateTime value) {
  return std::isfinite(value);
}

struct TDateTimeParts {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Year 1..9999, month 1..12, day within the month.
bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int millisecond);

// Callers check the parts first; out-of-range parts give a meaningless value.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(const TDateTimeParts& parts);
// Splits a value into its parts; the time of day is rounded to the millisecond.
TDateTimeParts DecodeDateTime(TDateTime value);

// The computer's local date and time now.
TDateTime NowLocal();
