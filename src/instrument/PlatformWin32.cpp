// The instrument layer's platform services on Windows: thread priority and the local clock.
#include <windows.h>

#include "instrument/DateTime.h"
#include "instrument/Platform.h"

// Transactions must not be held up by the rest of the desktop.
void RaiseJobThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

TDateTime NowLocal() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  TDateTimeParts parts;
  parts.Year = local.wYear;
  parts.Month = local.wMonth;
  parts.Day = local.wDay;
  parts.Hour = local.wHour;
  parts.Minute = local.wMinute;
  parts.Second = local.wSecond;
  parts.Millisecond = local.wMilliseconds;
  return EncodeDateTime(parts);
}
