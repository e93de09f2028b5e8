// The host's local time for the instrument's clock, on POSIX.
#include <ctime>

#include "sim/SimClock.h"

namespace k7104sim {
namespace {

constexpr double kDaysFrom1899To1970 = 25569;

}  // namespace

double HostNowLocal() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const double localSeconds =
      static_cast<double>(now.tv_sec + local.tm_gmtoff) + now.tv_nsec * 1e-9;
  return localSeconds / kSecondsPerDay + kDaysFrom1899To1970;
}

}  // namespace k7104sim
