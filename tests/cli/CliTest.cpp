// k7104-cli end to end: the program itself, run as a shell would run it, against simulated
// instruments on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/ConfigFile.h"
#include "instrument/ConfigBlock.h"
#include "modbus/Modbusunit.h"
#include "modbus/Traffic.h"
#include "sim/Simulator.h"
#include "support/TmpfsMount.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// A k7104-cli process under way, with both outputs on pipes.
struct Running {
  pid_t pid = -1;
  int outFd = -1;
  int errFd = -1;
};

// Where the program's standard output and error go besides their own pipes.
struct Streams {
  std::string outFile = {};  // standard output into this file (/dev/full, a file on a full disk)
  std::string errFile = {};  // standard error into this file
  bool together = false;     // standard error into standard output's pipe, as 2>&1 | head does
};

// Where the program's journal of writes goes: XDG_DATA_HOME of every run.
fs::path JournalHome() {
  return fs::temp_directory_path() / ("k7104-cli-journal-" + std::to_string(getpid()));
}

// Starts k7104-cli with the arguments and the locale given.
Running StartCli(const std::vector<std::string>& args, const std::string& locale = "C.UTF-8",
                 const Streams& streams = {}) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, streams.together ? outPipe[1] : errPipe[1],
                                   STDERR_FILENO);
  if (!streams.outFile.empty())
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, streams.outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!streams.errFile.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, streams.errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The program holds no end of the pipes but its own outputs: the test's closing of the reading
  // end must reach it.
  for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<std::string> words = {K7104_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = {"LC_ALL=" + locale, "TZ=UTC", "PATH=/usr/bin:/bin",
                                  "XDG_DATA_HOME=" + JournalHome().string()};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  // As a shell starts it: SIGPIPE at its default, whatever this process does with it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  Running running;
  if (posix_spawn(&running.pid, K7104_CLI_PATH, &actions, &attributes, argv.data(), envp.data()) !=
      0)
    running.pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  running.outFd = outPipe[0];
  running.errFd = errPipe[0];
  return running;
}

// Collects both outputs until the process ends; one that is still there after a minute is killed
// and has no exit code.
Outcome Finish(Running running) {
  Outcome outcome;
  pollfd fds[2] = {{running.outFd, POLLIN, 0}, {running.errFd, POLLIN, 0}};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  int open = running.pid > 0 ? 2 : 0;
  while (open > 0 && poll(fds, 2, 60000) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(running.outFd);
  close(running.errFd);
  if (running.pid <= 0) return outcome;
  if (open > 0) kill(running.pid, SIGKILL);
  int status = 0;
  if (waitpid(running.pid, &status, 0) == running.pid && WIFEXITED(status) && open == 0)
    outcome.exitCode = WEXITSTATUS(status);
  return outcome;
}

Outcome RunCli(const std::vector<std::string>& args, const std::string& locale = "C.UTF-8",
               const Streams& streams = {}) {
  return Finish(StartCli(args, locale, streams));
}

// Waits up to a minute for the process to end: its exit code, or -1 (then it is killed).
int ExitCode(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 6000; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Runs k7104-cli as a shell on the terminal would: in a session of its own whose controlling
// terminal is that one, with its outputs on pipes.
Outcome RunOnOwnTerminal(const char* terminal, const std::vector<std::string>& args) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  std::vector<std::string> words = {K7104_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::string locale = "LC_ALL=C.UTF-8";
  char* envp[] = {locale.data(), nullptr};
  Running running;
  running.pid = fork();
  if (running.pid == 0) {
    setsid();
    const int fd = open(terminal, O_RDWR);  // the session's first terminal becomes its own
    dup2(fd, STDIN_FILENO);
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    execve(K7104_CLI_PATH, argv.data(), envp);
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  running.outFd = outPipe[0];
  running.errFd = errPipe[0];
  return Finish(running);
}

bool Asks(const std::vector<uint8_t>& frame, uint8_t function, uint16_t firstRegister) {
  return frame.size() >= 4 && frame[1] == function && (frame[2] << 8 | frame[3]) == firstRegister;
}

std::vector<char> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HasLocale(const char* name) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool has = std::setlocale(LC_ALL, name) != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  return has;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = &line_.AddInstrument({1, 1, 32, 32});
    second_ = &line_.AddInstrument({2, 2, 32, 32});
    ASSERT_TRUE(line_.Start());
    dir_ = fs::temp_directory_path() / ("k7104-cli-test-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    fs::remove_all(JournalHome());
  }
  void TearDown() override {
    fs::remove_all(dir_);
    fs::remove_all(JournalHome());
  }
  fs::path JournalFile() const { return JournalHome() / "k7104-configurator" / "journal.sqlite"; }

  // The journal's CSV rows after the header, newest record first, without the first five
  // columns (times, login, program, version), which vary from run to run.
  std::vector<std::string> JournalRows(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"journal", "--csv"});
    const Outcome journal = RunCli(args);
    EXPECT_EQ(journal.exitCode, 0) << journal.err;
    std::vector<std::string> rows;
    size_t at = journal.out.find('\n');
    while (at != std::string::npos && at + 1 < journal.out.size()) {
      const size_t end = journal.out.find('\n', at + 1);
      std::string row = journal.out.substr(at + 1, end - at - 1);
      for (int k = 0; k < 5; ++k) row.erase(0, row.find(',') + 1);
      rows.push_back(row);
      at = end;
    }
    return rows;
  }

  Outcome Run(std::vector<std::string> args, const std::string& locale = "C.UTF-8",
              const Streams& streams = {}) {
    args.insert(args.begin(), {"--port", line_.SlavePath()});
    return RunCli(args, locale, streams);
  }
  Running Start(std::vector<std::string> args, const Streams& streams = {}) {
    args.insert(args.begin(), {"--port", line_.SlavePath()});
    return StartCli(args, "C.UTF-8", streams);
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }

  // Waits until the line has received a request of this function from this register on.
  bool WaitForRequest(uint8_t function, uint16_t firstRegister) const {
    for (int i = 0; i < 3000; ++i) {
      for (const auto& frame : line_.ReceivedFrames())
        if (Asks(frame, function, firstRegister)) return true;
      usleep(10000);
    }
    return false;
  }

  k7104sim::Line line_;
  k7104sim::Instrument* first_ = nullptr;
  k7104sim::Instrument* second_ = nullptr;
  fs::path dir_;
};

TEST_F(Cli, ConfigurationGoesFromOneInstrumentToAnotherThroughAFile) {
  // Make the second instrument's configuration plainly different before the copy.
  for (uint16_t i = 0; i < 32; ++i) {
    second_->SetHoldingRegister(128 + i, 0);
    second_->SetHoldingFloat(1152 + 2 * i, 999.5f);
    second_->SetCoil(64 + i, true);
  }
  ASSERT_EQ(Run({"--address", "1", "read", File("first.prb")}).exitCode, 0);
  ASSERT_EQ(Run({"--address", "2", "read", File("before.prb")}).exitCode, 0);
  ASSERT_EQ(FileBytes(File("first.prb")).size(), 1738u);
  ASSERT_NE(FileBytes(File("first.prb")), FileBytes(File("before.prb")));

  const Outcome write = Run({"--address", "2", "write", File("first.prb")});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_NE(write.err.find("записаны."), std::string::npos) << write.err;
  ASSERT_EQ(Run({"--address", "2", "read", File("after.prb")}).exitCode, 0);

  EXPECT_EQ(FileBytes(File("after.prb")), FileBytes(File("first.prb")));
  for (uint16_t i = 0; i < 32; ++i) {
    EXPECT_EQ(second_->HoldingRegister(128 + i), first_->HoldingRegister(128 + i)) << i;
    EXPECT_EQ(second_->HoldingFloat(1152 + 2 * i), first_->HoldingFloat(1152 + 2 * i)) << i;
    EXPECT_EQ(second_->Coil(64 + i), first_->Coil(64 + i)) << i;
  }
}

TEST_F(Cli, FailuresExitWithTheirCodeAndSayWhatFailed) {
  const Outcome silent = Run({"--address", "9", "--timeout", "100", "info"});
  EXPECT_EQ(silent.exitCode, 9);
  EXPECT_EQ(silent.err, "Вышло время ожидания!!! При чтении дополнительное!!!\n");
  EXPECT_TRUE(silent.out.empty());

  line_.AddFault({k7104sim::FaultKind::Exception, 2, 1, 3, 608, 639});
  const Outcome refused = Run({"read", File("refused.prb")});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find(" При чтении "), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(File("refused.prb"))) << "a failed read saves no file";

  const Outcome noPort = RunCli({"--port", File("no-such-port"), "info"});
  EXPECT_EQ(noPort.exitCode, 7);
  EXPECT_NE(noPort.err.find("no-such-port"), std::string::npos);
}

TEST_F(Cli, BadFilesAndBadArgumentsChangeNothing) {
  {
    std::ofstream damaged(File("short.prb"), std::ios::binary);
    damaged << std::string(1737, '\0');
  }
  line_.ClearReceived();
  EXPECT_EQ(Run({"write", File("short.prb")}).exitCode, 74);
  EXPECT_EQ(Run({"write", File("missing.prb")}).exitCode, 74);
  EXPECT_EQ(Run({"read", (dir_ / "no-folder" / "x.prb").string()}).exitCode, 74);
  const size_t readRequests = line_.ReceivedFrames().size();
  EXPECT_GT(readRequests, 0u) << "the read itself ran";

  line_.ClearReceived();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"set-clock", "2025-02-30 10:00:00"},
                                             {"set-clock", "2025-03-17"},
                                             {"set-address", "0"},
                                             {"set-address", "256"},
                                             {"scan", "20", "10"},
                                             {"scan", "--recheck"},
                                             {"archive", "5", "1", File("a.txt")},
                                             {"live", "--count", "0"},
                                             {"write", File("x.prb"), "--addresses", "1-"},
                                             {"write", File("x.prb"), "--addresses", "0"},
                                             {"write", File("x.prb"), "--addresses", "300"},
                                             {"write", File("x.prb"), "--addresses", "5-2"},
                                             {"write", File("x.prb"), "--addresses", "1,,2"},
                                             {"write", File("x.prb"), "--any-model"},
                                             {"frobnicate"}}) {
    EXPECT_EQ(Run(args).exitCode, 64) << args[0];
  }
  EXPECT_EQ(RunCli({"--baud", "9601", "info"}).exitCode, 64);
  EXPECT_EQ(RunCli({"--port", "", "info"}).exitCode, 64);
  EXPECT_TRUE(line_.ReceivedFrames().empty()) << "a usage error sends nothing";
  EXPECT_FALSE(fs::exists(File("a.txt")));
}

TEST_F(Cli, BatchWriteReportsTheFailingInstrumentAndChecksTheOthers) {
  k7104sim::Instrument& third = line_.AddInstrument({3, 1, 32, 32});
  k7104sim::Instrument& fourth = line_.AddInstrument({4, 1, 32, 32});
  line_.AddInstrument({5, 1, 16, 8});
  for (k7104sim::Instrument* target : {&third, &fourth})
    for (uint16_t i = 0; i < 32; ++i) target->SetHoldingFloat(1152 + 2 * i, 999.5f);
  ASSERT_EQ(Run({"--address", "1", "read", File("line.prb")}).exitCode, 0);
  line_.AddFault({k7104sim::FaultKind::Exception, 4, 3, 16, 1280, 1343});
  // The read back of 4 loses the first setpoints once: written, but not checked.
  line_.AddFault({k7104sim::FaultKind::NoReply, 0, 4, 3, 1152, 1152, 1});

  const Outcome batch =
      Run({"--timeout", "300", "write", File("line.prb"), "--addresses", "1,3-5,2"});
  EXPECT_EQ(batch.exitCode, 1) << batch.err;
  EXPECT_EQ(
      batch.out,
      "1\tК7104Т1\tok\n"
      "3\tК7104Т1\tЗаписано частично: типы датчиков, типы соединения, проверка на обрыв, КХС, "
      "извлечение корня, фильтра каналов, запятых, минимумов, максимумов, первых уставок; "
      "Неизвестная ошибка!!! При записи вторых уставок!!! (исключение 4 от прибора)\n"
      "4\tК7104Т1\tЗаписано, проверка не удалась: Вышло время ожидания!!! При чтении первых "
      "уставок!!!\n"
      "5\tК7104Т1\tНе записано: у прибора 16 каналов, а настройка задаёт 31.\n"
      "2\tК7104С1\tНе записано: прибор другой модели (К7104С1).\n");
  for (uint16_t i = 0; i < 32; ++i)
    EXPECT_EQ(fourth.HoldingFloat(1152 + 2 * i), first_->HoldingFloat(1152 + 2 * i)) << i;

  line_.ClearFaults();
  const Outcome forced = Run({"write", File("line.prb"), "--addresses", "2,3", "--any-model"});
  EXPECT_EQ(forced.exitCode, 0) << forced.out << forced.err;
  EXPECT_EQ(forced.out, "2\tК7104С1\tok\n3\tК7104Т1\tok\n");
  EXPECT_EQ(second_->HoldingFloat(1152), first_->HoldingFloat(1152));
}

// diff: 0 for the file just read, 1 and one line per value after the instrument has changed, 2
// for a silent line and 74 for a damaged file, which sends nothing.
TEST_F(Cli, DiffExitsByWhetherTheInstrumentMatchesTheFile) {
  ASSERT_EQ(Run({"read", File("first.prb")}).exitCode, 0);
  const Outcome same = Run({"diff", File("first.prb")});
  EXPECT_EQ(same.exitCode, 0) << same.err;
  EXPECT_TRUE(same.out.empty()) << same.out;
  EXPECT_NE(same.err.find("Совпадает полностью"), std::string::npos);

  first_->SetHoldingRegister(608 + 3, 16);
  first_->SetHoldingFloat(1152 + 2 * 1, 12.5f);
  const Outcome differ = Run({"diff", File("first.prb")}, "ru_RU.UTF-8");
  EXPECT_EQ(differ.exitCode, 1) << differ.err;
  const std::string kxc = "КХС\tКанал 4\tКХС с 16го канала\t";
  ASSERT_EQ(differ.out.rfind(kxc, 0), 0u) << differ.out;
  const std::string setpoint =
      "первых уставок\tКанал 2\t12" + std::string(HasLocale("ru_RU.UTF-8") ? "," : ".") + "500\t";
  EXPECT_NE(differ.out.find("\n" + setpoint), std::string::npos) << differ.out;
  EXPECT_EQ(std::count(differ.out.begin(), differ.out.end(), '\n'), 2) << differ.out;
  EXPECT_NE(differ.err.find("КХС: 1\n"), std::string::npos) << differ.err;

  // Numbers past the fixed form are written one way, whatever their page's decimals.
  first_->SetHoldingFloat(1152 + 2 * 2, 0x1p127f);
  first_->SetHoldingFloat(1664 + 2 * 2, -0x1p127f);
  const Outcome huge = Run({"diff", File("first.prb")});
  EXPECT_NE(huge.out.find("\t1.70141183E+38\t"), std::string::npos) << huge.out;
  EXPECT_NE(huge.out.find("\t-1.70141183E+38\t"), std::string::npos) << huge.out;
  EXPECT_EQ(huge.out.find("E+0"), std::string::npos) << huge.out;

  EXPECT_EQ(Run({"--address", "9", "--timeout", "100", "diff", File("first.prb")}).exitCode, 2);
  {
    std::ofstream damaged(File("short.prb"), std::ios::binary);
    damaged << std::string(100, '\0');
  }
  line_.ClearReceived();
  EXPECT_EQ(Run({"diff", File("short.prb")}).exitCode, 74);
  EXPECT_TRUE(line_.ReceivedFrames().empty());
}

TEST_F(Cli, ScanFindsTheInstrumentsAndSetAddressMovesOne) {
  Outcome scan = Run({"scan", "1", "5"});
  ASSERT_EQ(scan.exitCode, 0);
  EXPECT_EQ(scan.out, "1\tК7104Т1\n2\tК7104С1\n");
  EXPECT_EQ(Run({"scan", "1", "5", "--fast", "--recheck"}).out, scan.out);

  EXPECT_EQ(Run({"--address", "1", "set-address", "2"}).exitCode, 16);
  const Outcome moved = Run({"--address", "1", "set-address", "4"});
  ASSERT_EQ(moved.exitCode, 0) << moved.err;
  scan = Run({"scan", "1", "5"});
  EXPECT_EQ(scan.out, "2\tК7104С1\n4\tК7104Т1\n");
}

// Instruments whose interfaces run at 2400 and 57600 answer no request at another rate; the rate
// search finds both, each at its own rate.
TEST_F(Cli, RateSearchFindsInstrumentsAtTheirOwnRates) {
  line_.AddInstrument({7, 1, 32, 32, 2400});
  line_.AddInstrument({8, 6, 16, 16, 57600});
  EXPECT_EQ(Run({"--address", "7", "--timeout", "200", "info"}).exitCode, 9);
  // The second look keeps a loaded machine's late reply from losing the instrument.
  const Outcome scan = Run({"scan", "--rates", "7", "8", "--recheck"});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_EQ(scan.out, "57600\t8\tК7104Е025\n2400\t7\tК7104Т1\n");
  EXPECT_EQ(Run({"--baud", "2400", "--address", "7", "info"}).exitCode, 0);
  EXPECT_EQ(line_.ClientRate(), 2400u);
  EXPECT_EQ(Run({"scan", "--rates", "--address", "8", "--recheck"}).out, "57600\t8\tК7104Е025\n");
}

// Every writing command leaves its records: set-clock the clock as set, a write of a file every
// value of every group with its value before unknown (nothing was read), a raw write its
// registers; the batch write of three instruments with one refusing a group has that group
// failed with its sentence, the groups before it confirmed and none after it. Only --address
// and --since filter.
TEST_F(Cli, WritesAreJournalledWithTheirValuesBeforeAndAfter) {
  const std::string line = "\"" + line_.SlavePath() + ", 9600 бод\"";
  ASSERT_EQ(Run({"set-clock", "2030-01-02 03:04:05"}).exitCode, 0);
  const std::string clock = line +
                            ",1,К7104Т1,2.3,текущее дата и время,записано и подтверждено,,"
                            "Часы,не считано,2030-01-02 03:04:05";
  EXPECT_EQ(JournalRows(), std::vector<std::string>{clock});

  first_->SetHoldingFloat(1152, 12.5f);
  ASSERT_EQ(Run({"read", File("one.prb")}).exitCode, 0);
  ASSERT_EQ(Run({"write", File("one.prb")}).exitCode, 0);
  const std::vector<std::string> written = JournalRows({"--since", "2000-01-01"});
  EXPECT_EQ(written.back(), clock);
  EXPECT_NE(std::find(written.begin(), written.end(),
                      line + ",1,К7104Т1,2.3,первых уставок,записано и подтверждено,,Канал 1," +
                          "не считано,12.500"),
            written.end());
  for (size_t k = 0; k + 1 < written.size(); ++k)
    EXPECT_NE(written[k].find(",записано и подтверждено,,"), std::string::npos) << written[k];

  ASSERT_EQ(Run({"raw", "10", "04", "80", "00", "02", "04", "00", "00", "41", "48"}).exitCode, 0);
  EXPECT_EQ(JournalRows().front(), line +
                                       ",1,,,\"запрос, функция 16\",записано и "
                                       "подтверждено,,Регистры 1152..1153,не считано,00 00 41 48");

  line_.AddInstrument({3, 1, 32, 32});
  line_.AddInstrument({4, 1, 32, 32});
  line_.AddFault({k7104sim::FaultKind::Exception, 4, 3, 16, 1280, 1343});
  EXPECT_EQ(Run({"write", File("one.prb"), "--addresses", "1,3,4"}).exitCode, 1);
  const std::vector<std::string> third = JournalRows({"--address", "3"});
  ASSERT_FALSE(third.empty());
  EXPECT_EQ(third.front().find(line + ",3,К7104Т1,2.3,вторых уставок,не записано,Неизвестная "
                                      "ошибка!!! При записи вторых уставок!!! (исключение 4 от "
                                      "прибора),Канал 1,"),
            0u)
      << third.front();
  for (const std::string& row : third)
    EXPECT_EQ(row.find(",не записано,") != std::string::npos,
              row.find(",вторых уставок,") != std::string::npos)
        << row;
  const std::vector<std::string> fourth = JournalRows({"--address", "4"});
  EXPECT_FALSE(fourth.empty());
  for (const std::string& row : fourth)
    EXPECT_NE(row.find(",4,К7104Т1,2.3,"), std::string::npos) << row;
  EXPECT_EQ(std::count_if(fourth.begin(), fourth.end(),
                          [](const std::string& row) {
                            return row.find(",записано и подтверждено,,") != std::string::npos;
                          }),
            static_cast<long>(fourth.size()));
  EXPECT_TRUE(JournalRows({"--since", "2999-01-01"}).empty());
}

TEST_F(Cli, ClockIsSetAsGivenAndShownInTheLocaleForms) {
  ASSERT_EQ(Run({"set-clock", "2005-03-17 14:25:36"}).exitCode, 0);
  EXPECT_EQ(first_->HoldingRegister(11), 0x0305);
  EXPECT_EQ(first_->HoldingRegister(12), 0x0E11);
  EXPECT_EQ(first_->HoldingRegister(13) & 0xFF, 0x19);

  if (!HasLocale("ru_RU.UTF-8")) GTEST_SKIP() << "no ru_RU.UTF-8 locale on this machine";
  first_->SetClock(38428.0);  // 17.03.2005 00:00:00: midnight shows the date alone
  const Outcome info = Run({"info"}, "ru_RU.UTF-8");
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("clock           17.03.2005\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("archive period  60 periods, 60,000 s"), std::string::npos) << info.out;
}

TEST_F(Cli, LiveValuesShowMarkersAndTheRegionalSeparator) {
  if (!HasLocale("ru_RU.UTF-8")) GTEST_SKIP() << "no ru_RU.UTF-8 locale on this machine";
  line_.AddInstrument({3, 6, 4, 4});
  auto* third = line_.Find(3);
  third->SetLiveValue(0, -32768.0f);
  third->SetLiveValue(1, 12.34567f);
  third->SetLiveValue(2, -32765.0f);
  third->SetLiveValue(3, -32763.004f);
  const Outcome live = Run({"--address", "3", "live", "--count", "2"}, "ru_RU.UTF-8");
  ASSERT_EQ(live.exitCode, 0) << live.err;
  const std::string values = "\tНе норма прибора\t12,346\t-32765,000\tНе норма КХС\n";
  ASSERT_EQ(live.out.size(), 2 * (live.out.find('\n') + 1)) << "two lines of equal length";
  const std::string first = live.out.substr(0, live.out.find('\n') + 1);
  EXPECT_EQ(first.substr(first.size() - values.size()), values) << first;
  EXPECT_EQ(first[2], '.') << "a date of the ru_RU form dd.mm.yyyy: " << first;
}

// --trace shows each request and its reply as they travelled; live --csv logs one row per poll,
// markers as their texts.
TEST_F(Cli, TraceShowsTheLineAndLiveValuesGoToCsv) {
  line_.AddInstrument({3, 6, 4, 4});
  auto* third = line_.Find(3);
  third->SetLiveValue(0, -32768.0f);
  third->SetLiveValue(1, 12.34567f);
  const Outcome traced = Run({"--trace", "--address", "3", "info"});
  ASSERT_EQ(traced.exitCode, 0) << traced.err;
  const std::vector<std::vector<uint8_t>> sent = line_.ReceivedFrames();
  ASSERT_FALSE(sent.empty());
  EXPECT_NE(traced.err.find("→ " + HexText(sent.front().data(), sent.front().size()) +
                            "  [адрес 3, функция "),
            std::string::npos)
      << traced.err;
  EXPECT_EQ(std::count(traced.err.begin(), traced.err.end(), '\n'), 2 * long(sent.size()))
      << "a request and a reply line per transaction: " << traced.err;
  EXPECT_NE(traced.err.find("← 03 "), std::string::npos) << traced.err;
  EXPECT_EQ(Run({"--address", "3", "info"}).err, "") << "no trace unless asked";

  const Outcome live = Run(
      {"--address", "3", "live", "--count", "3", "--interval", "20", "--csv", File("live.csv")});
  ASSERT_EQ(live.exitCode, 0) << live.err;
  const std::vector<char> bytes = FileBytes(File("live.csv"));
  const std::string table(bytes.begin(), bytes.end());
  EXPECT_EQ(table.substr(0, table.find("\r\n")), "Дата и время,Канал_1,Канал_2,Канал_3,Канал_4");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
  const std::string row = table.substr(table.find("\r\n") + 2);
  EXPECT_EQ(row[10], 'T') << "an ISO 8601 time stamp: " << row;
  EXPECT_NE(row.find(",Не норма прибора,12.346,"), std::string::npos) << row;
  EXPECT_EQ(Run({"--address", "3", "live", "--csv"}).exitCode, 64);
}

TEST_F(Cli, ArchiveRecordsGoToATextFileAndAFailureKeepsWhatWasRead) {
  line_.AddInstrument({3, 6, 2, 2});
  const Outcome archive = Run({"--address", "3", "archive", "1", "4", File("a.txt")});
  ASSERT_EQ(archive.exitCode, 0) << archive.err;
  const std::vector<char> bytes = FileBytes(File("a.txt"));
  const std::string text(bytes.begin(), bytes.end());
  // Windows-1251 "#Зап\tДата Время\tКанал_1\tКанал_2", then records 4..1 newest first.
  EXPECT_EQ(text.substr(0, 5), "#\xC7\xE0\xEF\t");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
  EXPECT_EQ(text.substr(text.find("\r\n") + 2, 2), "4\t");

  // --csv: the same records as CSV in UTF-8, newest first, with ISO times.
  const Outcome csv = Run({"--address", "3", "archive", "1", "4", File("a.csv"), "--csv"});
  ASSERT_EQ(csv.exitCode, 0) << csv.err;
  const std::vector<char> csvBytes = FileBytes(File("a.csv"));
  const std::string table(csvBytes.begin(), csvBytes.end());
  EXPECT_EQ(table.substr(0, table.find("\r\n")),
            "Запись,Дата и время,Канал_1,Канал_1_состояние,Канал_2,Канал_2_состояние");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 5);
  const std::string newest = table.substr(table.find("\r\n") + 2);
  EXPECT_EQ(newest.substr(0, 2), "4,");
  EXPECT_EQ(newest[6], '-') << "an ISO 8601 date: " << newest;
  EXPECT_EQ(newest[12], 'T') << newest;

  // Record k of two channels spans input registers k..k+7: only record 3 and later reach 10.
  line_.AddFault({k7104sim::FaultKind::NoReply, 0, 3, 4, 10, 10});
  const Outcome broken =
      Run({"--address", "3", "--timeout", "100", "archive", "1", "4", File("b.txt")});
  EXPECT_EQ(broken.exitCode, 9);
  const std::vector<char> kept = FileBytes(File("b.txt"));
  EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 3) << "header and records 1 and 2";
}

// An archive file is replaced only by records: a line that does not answer, or a range beyond
// the archive, leaves the file that was there as it was.
TEST_F(Cli, ArchiveFileIsReplacedOnlyByRecords) {
  const std::string kept = "#old archive\r\n1\t01.01.2020\r\n";
  {
    std::ofstream out(File("keep.txt"), std::ios::binary);
    out << kept;
  }
  const Outcome silent =
      Run({"--address", "9", "--timeout", "100", "archive", "1", "500", File("keep.txt")});
  EXPECT_EQ(silent.exitCode, 9) << silent.err;
  EXPECT_EQ(std::string(FileBytes(File("keep.txt")).data(), kept.size()), kept);
  EXPECT_EQ(FileBytes(File("keep.txt")).size(), kept.size());

  const Outcome beyond = Run({"archive", "600", "700", File("keep.txt")});
  EXPECT_NE(beyond.exitCode, 0);
  EXPECT_NE(beyond.err.find("600"), std::string::npos) << beyond.err;
  EXPECT_EQ(FileBytes(File("keep.txt")).size(), kept.size());

  const Outcome tail = Run({"archive", "498", "700", File("keep.txt")});
  EXPECT_EQ(tail.exitCode, 0) << tail.err;
  const std::vector<char> bytes = FileBytes(File("keep.txt"));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4) << "header and records 498..500";
}

// SIGINT and SIGTERM stop the job as a closed port does: the archive keeps what was read, a
// configuration file that was there stays, a write sends nothing after the signal.
TEST_F(Cli, SignalsStopTheJobAndKeepWhatWasRead) {
  line_.AddInstrument({3, 6, 2, 2});
  // Record k of two channels spans input registers k..k+7: records 6 and later reach 13.
  line_.AddFault({k7104sim::FaultKind::NoReply, 0, 3, 4, 13, 13});
  Running archive =
      Start({"--address", "3", "--timeout", "60000", "archive", "1", "100", File("a.txt")});
  ASSERT_TRUE(WaitForRequest(4, 6));
  kill(archive.pid, SIGINT);
  const Outcome archived = Finish(archive);
  EXPECT_EQ(archived.exitCode, 130) << archived.err;
  const std::vector<char> records = FileBytes(File("a.txt"));
  EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 6) << "header and records 1..5";
  EXPECT_EQ(std::string(records.begin(), records.end()).substr(0, 1), "#");

  const std::string before(ConfigFileSize, 'x');
  {
    std::ofstream out(File("keep.prb"), std::ios::binary);
    out << before;
  }
  line_.ClearFaults();
  line_.AddFault({k7104sim::FaultKind::NoReply, 0, 1, 3, 608, 639});
  Running read = Start({"--timeout", "60000", "read", File("keep.prb")});
  ASSERT_TRUE(WaitForRequest(3, 608));
  kill(read.pid, SIGTERM);
  EXPECT_EQ(Finish(read).exitCode, 143);
  const std::vector<char> after = FileBytes(File("keep.prb"));
  EXPECT_EQ(std::string(after.begin(), after.end()), before);

  ASSERT_EQ(Run({"--address", "2", "read", File("second.prb")}).exitCode, 0);
  line_.ClearFaults();
  line_.AddFault({k7104sim::FaultKind::NoReply, 0, 1, 16, 1152, 1152});
  line_.ClearReceived();
  Running write = Start({"--timeout", "60000", "write", File("second.prb")});
  ASSERT_TRUE(WaitForRequest(16, 1152));
  kill(write.pid, SIGINT);
  EXPECT_EQ(Finish(write).exitCode, 130);
  line_.ClearFaults();
  ASSERT_EQ(Run({"info"}).exitCode, 0);
  // The requests that follow the unanswered write are those of the info command alone.
  const auto frames = line_.ReceivedFrames();
  size_t unanswered = 0;
  while (unanswered < frames.size() && !Asks(frames[unanswered], 16, 1152)) ++unanswered;
  ASSERT_LT(unanswered + 1, frames.size());
  const std::vector<uint8_t> identity = k7104sim::WithCrc({1, 3, 0, 0, 0, 9});
  EXPECT_EQ(frames[unanswered + 1], identity);
}

// A read that a CRC failure stopped at record 1200 goes on with --resume from there, and the
// file is then byte for byte that of a read the failure never met. A file of another range or
// written with another locale's forms is refused and left as it was.
TEST_F(Cli, ArchiveReadGoesOnWithTheFileItWroteToTheFileOfAReadWithoutFailure) {
  first_->SetArchiveDepth(2000);
  ASSERT_EQ(Run({"archive", "1", "2000", File("whole.txt")}).exitCode, 0);
  // Record k of 32 channels spans input registers k..k+67: 1267 is first met by record 1200.
  line_.AddFault(
      {.kind = k7104sim::FaultKind::BadCrc, .function = 4, .firstRegister = 1267, .times = 1});
  const Outcome broken = Run({"archive", "1", "2000", File("a.txt")});
  EXPECT_EQ(broken.exitCode, 10) << broken.err;
  const std::vector<char> part = FileBytes(File("a.txt"));
  EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), 1200) << "the header and 1..1199";

  const Outcome otherRange = Run({"archive", "2", "2000", "--resume", File("a.txt")});
  EXPECT_EQ(otherRange.exitCode, 74) << otherRange.err;
  EXPECT_NE(otherRange.err.find("does not hold the records 2..1199"), std::string::npos)
      << otherRange.err;
  if (HasLocale("ru_RU.UTF-8")) {
    const Outcome otherForm =
        Run({"archive", "1", "2000", "--resume", File("a.txt")}, "ru_RU.UTF-8");
    EXPECT_EQ(otherForm.exitCode, 74);
    EXPECT_NE(otherForm.err.find("not in the form"), std::string::npos) << otherForm.err;
  }
  EXPECT_EQ(FileBytes(File("a.txt")), part) << "a refused file is left as it was";

  line_.ClearReceived();
  const Outcome resumed = Run({"archive", "1", "2000", "--resume", File("a.txt")});
  ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(resumed.err, "801 records added to " + File("a.txt") + ", 2000 in all\n");
  const auto sent = line_.ReceivedFrames();
  ASSERT_EQ(sent.size(), 802u) << "the identity, then records 1200..2000";
  EXPECT_TRUE(Asks(sent[1], 4, 1200));
  EXPECT_EQ(FileBytes(File("a.txt")), FileBytes(File("whole.txt")));
  EXPECT_EQ(Run({"archive", "1", "2000", "--resume", File("a.txt")}).exitCode, 0);
  EXPECT_EQ(FileBytes(File("a.txt")), FileBytes(File("whole.txt")));
}

// Retries get a read through a line that garbles it, within their bound; writes are never sent
// twice. A file with values no choice list holds is refused before anything is sent, unless
// forced.
TEST_F(Cli, RetriesAndValuesTheInstrumentDoesNotKnow) {
  using k7104sim::FaultKind;
  line_.AddFault({.kind = FaultKind::BadCrc, .times = 2});
  EXPECT_EQ(Run({"--retries", "2", "info"}).exitCode, 0);
  line_.AddFault({.kind = FaultKind::BadCrc, .times = 2});
  EXPECT_EQ(Run({"--retries", "1", "info"}).exitCode, 10);
  EXPECT_EQ(Run({"--retries", "6", "info"}).exitCode, 64);

  ASSERT_EQ(Run({"read", File("odd.prb")}).exitCode, 0);
  std::vector<char> bytes = FileBytes(File("odd.prb"));
  const size_t block = sizeof ConfigFileHeaderText;
  bytes[block + offsetof(TConfigBlock, TypeSensor) + 2] = char(200);
  bytes[block + offsetof(TConfigBlock, InterfaceSpeed)] = char(255);
  const uint32_t nan = 0x7FC00000;
  std::memcpy(&bytes[block + offsetof(TConfigBlock, MeasurePeriod)], &nan, 4);
  {
    std::ofstream out(File("odd.prb"), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  line_.ClearReceived();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"write", File("odd.prb")}, {"write", File("odd.prb"), "--addresses", "1-2"}}) {
    const Outcome refused = Run(args);
    EXPECT_EQ(refused.exitCode, 74);
    for (const char* listed : {"Канал 3: 200\n", "Скорость: 255\n", "Период измерения: NAN\n"})
      EXPECT_NE(refused.err.find(listed), std::string::npos) << refused.err;
  }
  EXPECT_TRUE(line_.ReceivedFrames().empty());

  line_.AddFault({.kind = FaultKind::NoReply, .function = 16, .times = 1});
  EXPECT_EQ(
      Run({"--retries", "5", "--timeout", "100", "write", "--force", File("odd.prb")}).exitCode, 9);
  long writes = 0;
  for (const auto& frame : line_.ReceivedFrames()) writes += frame[1] == 16;
  EXPECT_EQ(writes, 1) << "a write is never sent again";
  const Outcome forced = Run({"write", File("odd.prb"), "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(first_->HoldingRegister(104), 255);
}

// live --csv never empties a file that is there: it is refused unless --append adds the rows,
// after the log's own and under its one header; a file holding another log is left alone.
TEST_F(Cli, LiveValuesAreAppendedToAnExistingLogOnlyWhenAsked) {
  const std::string other = "Дата и время,Канал_1\r\n";
  {
    std::ofstream out(File("other.csv"), std::ios::binary);
    out << other;
  }
  line_.ClearReceived();
  const Outcome refused = Run({"live", "--count", "1", "--csv", File("other.csv")});
  EXPECT_EQ(refused.exitCode, 74);
  EXPECT_NE(refused.err.find("exists; give --append"), std::string::npos) << refused.err;
  EXPECT_TRUE(line_.ReceivedFrames().empty());
  const Outcome foreign = Run({"live", "--count", "1", "--csv", File("other.csv"), "--append"});
  EXPECT_EQ(foreign.exitCode, 74);
  EXPECT_NE(foreign.err.find("holds no log of 32 channels"), std::string::npos) << foreign.err;
  const std::vector<char> kept = FileBytes(File("other.csv"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), other);

  ASSERT_EQ(Run({"live", "--count", "2", "--csv", File("live.csv")}).exitCode, 0);
  ASSERT_EQ(Run({"live", "--count", "1", "--csv", File("live.csv"), "--append"}).exitCode, 0);
  const std::vector<char> bytes = FileBytes(File("live.csv"));
  const std::string table(bytes.begin(), bytes.end());
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << "one header, three rows";
  EXPECT_EQ(table.find("Дата и время", 1), std::string::npos) << table;
  EXPECT_EQ(Run({"live", "--count", "1", "--append"}).exitCode, 64);
}

// Files that are not regular files are refused at once with a clear message: a FIFO would
// block an open for ever, a device is no file to keep a configuration in.
TEST_F(Cli, FifosAndDevicesAreRefusedWithoutBlocking) {
  const std::string fifo = File("c.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  line_.ClearReceived();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"write", fifo}, {"read", fifo}, {"archive", "1", "4", fifo}, {"write", "/dev/null"}}) {
    const Outcome refused = Run(args);
    EXPECT_EQ(refused.exitCode, 74) << args[0] << " " << args.back();
    EXPECT_NE(refused.err.find("not a regular file"), std::string::npos) << refused.err;
  }
  EXPECT_TRUE(line_.ReceivedFrames().empty()) << "nothing is sent for a file that is refused";
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO is still there";
}

// Replies that came but are no answer to what was asked never end as success.
TEST_F(Cli, RepliesThatDoNotAnswerTheRequestAreNeverSuccess) {
  using k7104sim::Fault;
  using k7104sim::FaultKind;
  line_.SetReplyDelay(200);
  const Outcome late = Run({"scan", "1", "4"});
  EXPECT_EQ(late.exitCode, 0);
  EXPECT_EQ(late.out, "") << "each late reply was taken by the next probe";
  line_.SetReplyDelay(0);

  line_.AddFault({.kind = FaultKind::ShortByOneRegister, .function = 16, .times = 1});
  line_.AddInstrument({5, 1, 32, 32});
  const Outcome read = Run({"read", File("c.prb")});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  const Outcome write = Run({"write", File("c.prb")});
  EXPECT_EQ(write.exitCode, 11) << write.err;
  EXPECT_EQ(write.err.find("записаны"), std::string::npos) << write.err;

  line_.AddFault({.kind = FaultKind::Exception, .arg = 0, .times = 1});
  const Outcome zero = Run({"info"});
  EXPECT_EQ(zero.exitCode, 14);
  EXPECT_NE(zero.err.find("(исключение 0 от прибора)"), std::string::npos) << zero.err;

  line_.AddFault({.kind = FaultKind::Exception, .arg = 8, .address = 5, .times = 1});
  const Outcome taken = Run({"set-address", "5"});
  EXPECT_EQ(taken.exitCode, 16) << taken.err;
  EXPECT_EQ(first_->Address(), 1) << "two devices on one address";

  const Outcome single = Run({"raw", "06", "00", "62", "00", "3D"});
  EXPECT_EQ(single.exitCode, 0) << single.out;
  EXPECT_NE(single.out.find("result   0 "), std::string::npos) << single.out;
  EXPECT_EQ(first_->HoldingRegister(98), 61);
}

TEST_F(Cli, PortHeldByAnotherProgramIsBusy) {
  TModBus holder;
  holder.SetPortDevice(holder.PortIndex(), line_.SlavePath());
  ASSERT_TRUE(holder.OpenPort());
  const Outcome busy = Run({"info"});
  EXPECT_EQ(busy.exitCode, 8);
  EXPECT_NE(busy.err.find("Порт занят!!! " + line_.SlavePath() + " открыт другой программой."),
            std::string::npos)
      << busy.err;
  const Outcome missing = RunCli({"--port", File("no-such-port"), "raw", "03", "00", "00"});
  EXPECT_EQ(missing.exitCode, 7);
  EXPECT_NE(missing.err.find("не существует"), std::string::npos) << missing.err;
}

TEST_F(Cli, VersionAndPortsNeedNoInstrument) {
  const Outcome version = RunCli({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("k7104-cli ") + K7104_VERSION_TEXT + "\n");

  // The simulated line's terminal, linked as a converter would be under /dev/serial/by-id.
  fs::create_directories(dir_ / "by-id");
  fs::create_directories(dir_ / "dev");
  const fs::path link = dir_ / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  fs::create_symlink(line_.SlavePath(), link);
  const std::vector<std::string> roots = {"ports", "--by-id", (dir_ / "by-id").string(), "--dev",
                                          (dir_ / "dev").string()};
  const Outcome ports = RunCli(roots);
  EXPECT_EQ(ports.exitCode, 0) << ports.err;
  EXPECT_EQ(ports.out, link.string() + "  FTDI FT232R USB UART A50285BI  -> " +
                           fs::canonical(line_.SlavePath()).string() + "\n");

  fs::remove(link);
  const Outcome none = RunCli(roots);
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no serial devices"), std::string::npos);
  EXPECT_EQ(RunCli({"ports", "--by-id"}).exitCode, 64);
}

// What the program prints must arrive: standard output on /dev/full or a full disk is exit 74 with
// the reason on standard error, and a batch stops before an instrument whose line would be lost.
TEST_F(Cli, OutputThatDoesNotArriveIsAFailure) {
  const Streams full{.outFile = "/dev/full"};
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"scan", "1", "3"}, {"info"}}) {
    const Outcome lost = Run(args, "C.UTF-8", full);
    EXPECT_EQ(lost.exitCode, 74) << args[0];
    EXPECT_NE(lost.err.find("cannot write standard output: No space left on device"),
              std::string::npos)
        << lost.err;
  }
  const Outcome read = Run({"read", File("line.prb")}, "C.UTF-8", {.errFile = "/dev/full"});
  EXPECT_EQ(read.exitCode, 74) << "its report on standard error was lost";

  line_.AddInstrument({3, 1, 32, 32});
  line_.ClearReceived();
  const Outcome batch = Run({"write", File("line.prb"), "--addresses", "1,3"}, "C.UTF-8", full);
  EXPECT_EQ(batch.exitCode, 74);
  EXPECT_NE(batch.err.find("stopped after address 1"), std::string::npos) << batch.err;
  for (const auto& frame : line_.ReceivedFrames()) ASSERT_EQ(frame[0], 1) << "3 was not touched";

  TmpfsMount disk(File("full"), 16);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  ASSERT_TRUE(disk.Fill());
  const Outcome scan = Run({"scan", "1", "3"}, "C.UTF-8", {.outFile = File("full/found.txt")});
  EXPECT_EQ(scan.exitCode, 74);
  EXPECT_NE(scan.err.find("No space left on device"), std::string::npos) << scan.err;
}

// --trace write FILE 2>&1 | head -3: the reader goes after three lines. The write stops after the
// group in progress instead of dying between a request and its reply, and exits with 141.
TEST_F(Cli, AReaderThatGoesStopsTheJobBetweenGroups) {
  ASSERT_EQ(Run({"read", File("t1.prb")}).exitCode, 0);
  line_.SetReplyDelay(100);
  line_.ClearReceived();
  Running write = Start({"--trace", "write", File("t1.prb")}, {.together = true});
  std::string head;
  char c = 0;
  while (std::count(head.begin(), head.end(), '\n') < 3 && read(write.outFd, &c, 1) == 1) head += c;
  close(write.outFd);
  close(write.errFd);
  EXPECT_EQ(ExitCode(write.pid), 141) << head;
  const auto frames = line_.ReceivedFrames();
  const auto writes = std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
    return frame[1] == 15 || frame[1] == 16;
  });
  EXPECT_GT(writes, 0);
  EXPECT_LT(writes, 28) << "the write stopped when its reader went, before its 28 requests";
}

// A link is followed to the file it names, which is made when missing; a loop, a link into a
// missing folder or onto a read-only disk is refused with its reason and stays as it was. The
// longest names the file system takes are taken, and a name that names no file says so.
TEST_F(Cli, FilesFollowLinksAndARefusedPathSaysWhy) {
  fs::create_directories(dir_ / "sub");
  fs::create_symlink("sub/wanted.prb", dir_ / "d.prb");
  const Outcome through = Run({"read", File("d.prb")});
  ASSERT_EQ(through.exitCode, 0) << through.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "d.prb"));
  EXPECT_EQ(FileBytes(dir_ / "sub" / "wanted.prb").size(), ConfigFileSize);

  fs::create_symlink("loop.prb", dir_ / "loop.prb");
  fs::create_symlink("no-folder/x.prb", dir_ / "m.prb");
  for (const auto& [name, reason] : {std::pair{"loop.prb", "Too many levels of symbolic links"},
                                     std::pair{"m.prb", "No such file or directory"}}) {
    const Outcome refused = Run({"read", File(name)});
    EXPECT_EQ(refused.exitCode, 74) << name;
    EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / name)) << name;
  }
  const Outcome report = Run({"report", File("no-folder/r.html")});
  EXPECT_EQ(report.exitCode, 74);
  EXPECT_NE(report.err.find("No such file or directory"), std::string::npos) << report.err;

  const std::string longest = std::string(251, 'n') + ".prb";
  const Outcome longName = Run({"read", File(longest.c_str())});
  EXPECT_EQ(longName.exitCode, 0) << longName.err;
  EXPECT_EQ(FileBytes(dir_ / longest).size(), ConfigFileSize);

  line_.ClearReceived();
  for (const auto& [path, reason] : {std::pair{std::string(), "the file name is empty"},
                                     std::pair{File("x.prb") + "/", "names a folder"}}) {
    const Outcome refused = Run({"read", path});
    EXPECT_EQ(refused.exitCode, 74) << path;
    EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
  }
  EXPECT_TRUE(line_.ReceivedFrames().empty()) << "nothing is read for a name that names no file";

  TmpfsMount readOnly(File("ro"), 16, true);
  if (!readOnly.Mounted()) GTEST_SKIP() << readOnly.Why();
  fs::create_symlink("ro/new.prb", dir_ / "r.prb");
  const Outcome refused = Run({"read", File("r.prb")});
  EXPECT_EQ(refused.exitCode, 74);
  EXPECT_NE(refused.err.find("Read-only file system"), std::string::npos) << refused.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "r.prb"));
}

// The user's own terminal and a socket are no serial ports: refused before a byte is sent. A
// terminal that is used as a line is left with the settings it had.
TEST_F(Cli, OnlySerialLinesAreTakenAndLeftAsTheyWereFound) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  termios cooked{};
  ASSERT_EQ(tcgetattr(slave, &cooked), 0);
  ASSERT_TRUE(cooked.c_lflag & ICANON);
  ASSERT_TRUE(cooked.c_lflag & ECHO);
  const Outcome own = RunOnOwnTerminal(name, {"--port", "/dev/tty", "--timeout", "100", "info"});
  EXPECT_EQ(own.exitCode, 7);
  EXPECT_NE(own.err.find("/dev/tty не последовательный порт."), std::string::npos) << own.err;
  fcntl(master, F_SETFL, O_NONBLOCK);
  EXPECT_EQ(read(master, name, sizeof name), -1) << "nothing was written onto the terminal";
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag, cooked.c_lflag);
  close(slave);
  close(master);

  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(tcgetattr(slave, &cooked), 0);
  const Outcome used = RunCli({"--port", name, "--timeout", "100", "info"});
  EXPECT_EQ(used.exitCode, 9) << used.err;
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_iflag, cooked.c_iflag);
  EXPECT_EQ(after.c_oflag, cooked.c_oflag);
  EXPECT_EQ(after.c_cflag, cooked.c_cflag);
  EXPECT_EQ(after.c_lflag, cooked.c_lflag);
  close(slave);
  close(master);

  const std::string socketPath = File("line.sock");
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const Outcome socketPort = RunCli({"--port", socketPath, "info"});
  EXPECT_EQ(socketPort.exitCode, 7);
  EXPECT_NE(socketPort.err.find(socketPath + " не последовательный порт."), std::string::npos)
      << socketPort.err;
  close(listener);
}

}  // namespace
