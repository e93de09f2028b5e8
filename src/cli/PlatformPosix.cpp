// The command line's platform services on POSIX: the locale of the environment, isatty,
// nl_langinfo.
#include <langinfo.h>
#include <unistd.h>

#include <clocale>

#include "cli/JobRunner.h"
#include "cli/Platform.h"
#include "files/ArchiveText.h"

namespace cli {

void PrepareProcess(int&, char**&) {
  std::setlocale(LC_ALL, "");
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

// The regional decimal separator of LC_NUMERIC.
std::string RegionalSeparator() {
  const lconv* conventions = std::localeconv();
  if (conventions == nullptr || conventions->decimal_point == nullptr ||
      conventions->decimal_point[0] == '\0')
    return ".";
  return conventions->decimal_point;
}

// The date and time forms of LC_TIME.
std::string RegionalDateTime(TDateTime value) {
  return DateTimeText(value, nl_langinfo(D_FMT), nl_langinfo(T_FMT));
}

bool RegionalDateTimeValue(const std::string& text, TDateTime& value) {
  return DateTimeOfText(text, nl_langinfo(D_FMT), nl_langinfo(T_FMT), value);
}

}  // namespace cli
