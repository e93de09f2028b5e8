// A program the tests run beside them (k7104-cli, k7104-sim, socat, a pyserial server): its
// standard output and error on pipes, read line by line as they come or whole at its end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts argv[0] (a path, or a name looked up in PATH) with the environment given on top of
  // the test's own.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment = {});
  // Stops it with SIGTERM (SIGKILL when it does not end) unless it has ended.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // The next line on standard output (or error) within the limit; nothing at its end or when the
  // time ran out.
  std::optional<std::string> OutputLine(std::chrono::milliseconds limit);
  std::optional<std::string> ErrorLine(std::chrono::milliseconds limit);
  // Waits for the end, collecting what is left on both outputs; the exit code, or -1 when it was
  // killed or did not end within the limit (then it is killed).
  int Wait(std::chrono::milliseconds limit = std::chrono::minutes(2));
  int Stop(int signal);
  // Everything read from each output so far (lines taken by OutputLine/ErrorLine included).
  const std::string& Output() const { return streams_[0].all; }
  const std::string& Errors() const { return streams_[1].all; }

 private:
  struct Stream {
    int fd = -1;
    std::string all;
    size_t taken = 0;  // bytes of `all` handed out as lines
  };
  std::optional<std::string> Line(int which, std::chrono::milliseconds limit);
  bool Pump(int which, std::chrono::steady_clock::time_point until);

  pid_t pid_ = -1;
  int exitCode_ = -2;  // -2 while it runs
  Stream streams_[2];
};

// Runs a program to its end: exit code, standard output, standard error.
struct ProgramOutcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};
ProgramOutcome RunProgram(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment = {});

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
uint16_t UnusedTcpPort();
