// The instrument's clock: date-times as days since 30 December 1899 (the time of day as the
// fraction), the host's local time, and the three clock registers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace k7104sim {

struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

inline constexpr double kSecondsPerDay = 86400.0;

bool IsValidCivil(const CivilTime& time);
double ToDateTime(const CivilTime& time);
// Whole seconds; the fraction of a second is dropped.
CivilTime ToCivil(double dateTime);
// The host's local date and time now, with the fraction of the second.
double HostNowLocal();

// Registers (month, year - 2000), (hour, day), (second, minute), each pair high byte first.
std::array<uint16_t, 3> EncodeClockRegisters(double dateTime);
// Empty when the registers do not form a valid date and time.
std::optional<double> DecodeClockRegisters(const std::array<uint16_t, 3>& registers);

}  // namespace k7104sim
