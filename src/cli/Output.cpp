#include "cli/Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/CliOptions.h"

namespace cli {

namespace {

bool outputFailed = false;

}  // namespace

bool OutputReached() {
  if (outputFailed) return false;
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error = errno;
  if (flushed && !std::ferror(stdout)) return true;
  outputFailed = true;
  // An earlier failed write may have left no error number behind.
  std::fprintf(stderr, "k7104-cli: cannot write standard output: %s\n",
               std::strerror(error != 0 ? error : EIO));
  return false;
}

int FinishOutput(int code) {
  const bool reached = OutputReached();
  std::fflush(stderr);
  if (reached && !std::ferror(stderr)) return code;
  return code == 0 ? kExitFile : code;
}

}  // namespace cli
