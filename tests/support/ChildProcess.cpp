#include "support/ChildProcess.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> words = argv;
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(word.data());
  args.push_back(nullptr);
  std::vector<std::string> variables = environment;
  for (char** v = environ; *v; ++v) variables.emplace_back(*v);  // the first of a name counts
  std::vector<char*> env;
  for (std::string& variable : variables) env.push_back(variable.data());
  env.push_back(nullptr);
  if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  streams_[0].fd = out[0];
  streams_[1].fd = err[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && exitCode_ == -2) Stop(SIGTERM);
  for (Stream& stream : streams_)
    if (stream.fd >= 0) close(stream.fd);
}

std::optional<std::string> ChildProcess::OutputLine(std::chrono::milliseconds limit) {
  return Line(0, limit);
}

std::optional<std::string> ChildProcess::ErrorLine(std::chrono::milliseconds limit) {
  return Line(1, limit);
}

std::optional<std::string> ChildProcess::Line(int which, std::chrono::milliseconds limit) {
  Stream& stream = streams_[which];
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const size_t end = stream.all.find('\n', stream.taken);
    if (end != std::string::npos) {
      std::string line = stream.all.substr(stream.taken, end - stream.taken);
      stream.taken = end + 1;
      return line;
    }
    if (!Pump(which, until)) return std::nullopt;
  }
}

// Reads what the stream has within the time; false at its end or when the time ran out.
bool ChildProcess::Pump(int which, std::chrono::steady_clock::time_point until) {
  Stream& stream = streams_[which];
  if (stream.fd < 0) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      until - std::chrono::steady_clock::now());
  pollfd fd{stream.fd, POLLIN, 0};
  if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(stream.fd, buffer, sizeof buffer);
  if (n <= 0) {
    close(stream.fd);
    stream.fd = -1;
    return false;
  }
  stream.all.append(buffer, static_cast<size_t>(n));
  return true;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return -1;
  if (exitCode_ != -2) return exitCode_;
  const auto until = std::chrono::steady_clock::now() + limit;
  while (streams_[0].fd >= 0 || streams_[1].fd >= 0) {
    pollfd fds[2] = {{streams_[0].fd, POLLIN, 0}, {streams_[1].fd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) <= 0) break;
    for (int k = 0; k < 2; ++k)
      if (fds[k].revents) Pump(k, until);
  }
  int status = 0;
  if (streams_[0].fd >= 0 || streams_[1].fd >= 0) kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  exitCode_ =
      WIFEXITED(status) && streams_[0].fd < 0 && streams_[1].fd < 0 ? WEXITSTATUS(status) : -1;
  return exitCode_;
}

int ChildProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  if (exitCode_ == -2) kill(pid_, signal);
  return Wait(std::chrono::seconds(20));
}

ProgramOutcome RunProgram(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment) {
  ChildProcess program(argv, environment);
  ProgramOutcome outcome;
  outcome.exitCode = program.Wait();
  outcome.out = program.Output();
  outcome.err = program.Errors();
  return outcome;
}

uint16_t UnusedTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  uint16_t port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  if (fd >= 0) close(fd);
  return port;
}
