// The journal's place, the user and the time on Linux and the other POSIX systems.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "files/Journal.h"
#include "files/JournalPlace.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

std::string DefaultJournalPath() {
  std::string base = Environment("XDG_DATA_HOME");
  if (base.empty() || base.front() != '/') {  // a relative base is no base at all
    const std::string home = Environment("HOME");
    if (home.empty()) return "";
    base = home + "/.local/share";
  }
  return base + "/k7104-configurator/journal.sqlite";
}

std::string LoginName() {
  if (const passwd* user = getpwuid(geteuid()); user != nullptr && user->pw_name != nullptr)
    return user->pw_name;
  return Environment("USER");
}

void NowParts(std::tm& utc, std::tm& local) {
  const std::time_t now = std::time(nullptr);
  gmtime_r(&now, &utc);
  localtime_r(&now, &local);
}
