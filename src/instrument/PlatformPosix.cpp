// The instrument layer's platform services on POSIX: thread priority and the local clock.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "instrument/DateTime.h"
#include "instrument/Platform.h"

// Transactions must not be held up by the rest of the desktop: ask for real-time scheduling,
// else for the lowest nice value the system allows, and go on silently when both are refused.
void RaiseJobThreadPriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
  rlimit limit{};
  int nice = 0;
  if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    nice = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
  }
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  if (setpriority(PRIO_PROCESS, tid, -20) != 0) setpriority(PRIO_PROCESS, tid, nice);
}

TDateTime NowLocal() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  TDateTimeParts parts;
  parts.Year = local.tm_year + 1900;
  parts.Month = local.tm_mon + 1;
  parts.Day = local.tm_mday;
  parts.Hour = local.tm_hour;
  parts.Minute = local.tm_min;
  parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  parts.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return EncodeDateTime(parts);
}
