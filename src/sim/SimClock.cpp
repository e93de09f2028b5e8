// Calendar arithmetic for the instrument's clock, on the proleptic Gregorian calendar.
#include "sim/SimClock.h"

#include <cmath>

namespace k7104sim {
namespace {

constexpr int64_t kDaysFrom1899To1970 = 25569;

int64_t FloorDivide(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// Days since 1970-01-01 of a civil date.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = FloorDivide(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilTime CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = FloorDivide(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  CivilTime civil;
  civil.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  civil.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  civil.year = static_cast<int>(yearOfEra + era * 400 + (civil.month <= 2));
  return civil;
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool IsValidCivil(const CivilTime& time) {
  if (time.month < 1 || time.month > 12) return false;
  if (time.day < 1 || time.day > DaysInMonth(time.year, time.month)) return false;
  return time.hour >= 0 && time.hour <= 23 && time.minute >= 0 && time.minute <= 59 &&
         time.second >= 0 && time.second <= 59;
}

double ToDateTime(const CivilTime& time) {
  const int64_t days = DaysFromCivil(time.year, time.month, time.day) + kDaysFrom1899To1970;
  const int seconds = time.hour * 3600 + time.minute * 60 + time.second;
  return static_cast<double>(days) + seconds / kSecondsPerDay;
}

CivilTime ToCivil(double dateTime) {
  // Whole milliseconds first, so that 14:25:36 stored as 14:25:35.99999 stays 14:25:36.
  const auto milliseconds = static_cast<int64_t>(std::llround(dateTime * kSecondsPerDay * 1000.0));
  const int64_t seconds = FloorDivide(milliseconds, 1000);
  const int64_t days = FloorDivide(seconds, 86400);
  const int64_t secondOfDay = seconds - days * 86400;
  CivilTime civil = CivilFromDays(days - kDaysFrom1899To1970);
  civil.hour = static_cast<int>(secondOfDay / 3600);
  civil.minute = static_cast<int>(secondOfDay / 60 % 60);
  civil.second = static_cast<int>(secondOfDay % 60);
  return civil;
}

std::array<uint16_t, 3> EncodeClockRegisters(double dateTime) {
  const CivilTime civil = ToCivil(dateTime);
  const auto pair = [](int high, int low) {
    return static_cast<uint16_t>((high & 0xFF) << 8 | (low & 0xFF));
  };
  return {pair(civil.month, civil.year - 2000), pair(civil.hour, civil.day),
          pair(civil.second, civil.minute)};
}

std::optional<double> DecodeClockRegisters(const std::array<uint16_t, 3>& registers) {
  CivilTime civil;
  civil.month = registers[0] >> 8;
  civil.year = (registers[0] & 0xFF) + 2000;
  civil.hour = registers[1] >> 8;
  civil.day = registers[1] & 0xFF;
  civil.second = registers[2] >> 8;
  civil.minute = registers[2] & 0xFF;
  if (!IsValidCivil(civil)) return std::nullopt;
  return ToDateTime(civil);
}

}  // namespace k7104sim
