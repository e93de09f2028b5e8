// The host's local time for the instrument's clock, on Windows.
#include <windows.h>

#include "sim/SimClock.h"

namespace k7104sim {

double HostNowLocal() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  CivilTime civil;
  civil.year = local.wYear;
  civil.month = local.wMonth;
  civil.day = local.wDay;
  civil.hour = local.wHour;
  civil.minute = local.wMinute;
  civil.second = local.wSecond;
  return ToDateTime(civil) + local.wMilliseconds / 1000.0 / kSecondsPerDay;
}

}  // namespace k7104sim
