// The memory of the k7104-sim program under polling: the program itself is started (the one built
// beside, or the one named by the second argument), its 32 current values are read as fast as the
// line answers, or one every MS milliseconds (the third argument), for the seconds given (default
// 60). Its resident set is taken after the first polls, once its history of received requests is
// full (10,000 of them) and at the end; failed polls are counted, not fatal. One line:
// sim_memory seconds=S polls=N failed=F rss_start_kb=A rss_full_kb=B rss_end_kb=C growth_kb=C-A
// bytes_per_poll=(C-B)/N
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "modbus/Modbusunit.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kFirstPolls = 100;
constexpr long kWarmUpPolls = 12000;  // beyond the history the simulator keeps

struct Simulator {
  pid_t pid = -1;
  std::string path;
};

// Starts the program and reads the slave path it prints first.
Simulator StartSimulator(const char* program) {
  Simulator sim;
  int out[2];
  if (pipe(out) != 0) return sim;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string name = program;
  char quiet[] = "--quiet";
  char* argv[] = {name.data(), quiet, nullptr};
  if (posix_spawn(&sim.pid, name.c_str(), &actions, nullptr, argv, environ) != 0) sim.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') sim.path += c;
  close(out[0]);
  return sim;
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
  }
  return -1;
}

bool Poll(TModBus& bus) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(1);
  request.SetFunction(3);
  request.SetDataLength(4);
  const uint8_t data[] = {0x03, 0x00, 0x00, 0x40};
  std::memcpy(request.FrameData(), data, sizeof data);
  return bus.Transaction() == RESULT_OK && bus.ReplyFrame().DataLength() == 129;
}

}  // namespace

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::max(1L, std::atol(argv[1])) : 60;
  const Simulator sim = StartSimulator(argc > 2 ? argv[2] : K7104_SIM_PROGRAM);
  const long intervalMs = argc > 3 ? std::max(0L, std::atol(argv[3])) : 0;
  if (sim.pid <= 0 || sim.path.empty()) {
    std::fprintf(stderr, "bench_sim_memory: k7104-sim did not start\n");
    return 1;
  }
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), sim.path);
  bus.SetWaitTime(1000);
  if (!bus.OpenPort()) {
    std::fprintf(stderr, "bench_sim_memory: cannot open %s\n", sim.path.c_str());
    kill(sim.pid, SIGTERM);
    return 1;
  }
  long polls = 0, failed = 0;
  for (; polls < kFirstPolls; ++polls)
    if (!Poll(bus)) ++failed;
  const long startKb = ResidentKb(sim.pid);
  for (; polls < kWarmUpPolls; ++polls)
    if (!Poll(bus)) ++failed;
  const long fullKb = ResidentKb(sim.pid);
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  auto report = start + std::chrono::minutes(1);
  while (Clock::now() < end) {
    if (intervalMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    if (!Poll(bus)) ++failed;
    ++polls;
    if (Clock::now() >= report) {
      std::fprintf(stderr, "bench_sim_memory: %ld polls, rss %ld kB\n", polls, ResidentKb(sim.pid));
      report += std::chrono::minutes(1);
    }
  }
  const long endKb = ResidentKb(sim.pid);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  const long measured = polls - kWarmUpPolls;
  std::printf(
      "sim_memory seconds=%.0f polls=%ld failed=%ld rss_start_kb=%ld rss_full_kb=%ld "
      "rss_end_kb=%ld growth_kb=%ld bytes_per_poll=%.2f\n",
      took, measured, failed, startKb, fullKb, endKb, endKb - startKb,
      measured > 0 ? (endKb - fullKb) * 1024.0 / static_cast<double>(measured) : 0.0);
  bus.ClosePort();
  kill(sim.pid, SIGTERM);
  waitpid(sim.pid, nullptr, 0);
  return 0;
}
