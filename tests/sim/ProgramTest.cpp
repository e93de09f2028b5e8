// The k7104-sim program: its option texts, and the program itself run as a separate process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/Simulator.h"
#include "support/HexCodec.h"
#include "support/RawClient.h"
#include "support/TestNames.h"

extern char** environ;

namespace simtest {
namespace {

using k7104sim::Fault;
using k7104sim::FaultKind;

struct FaultText {
  const char* text;
  FaultKind kind;
  int arg;
  int address;
  int function;
  int first;
  int last;
  int times;
};

class FaultTextTest : public ::testing::TestWithParam<FaultText> {};

TEST_P(FaultTextTest, ParsesIntoTheFault) {
  const FaultText& c = GetParam();
  std::string error;
  const auto fault = k7104sim::ParseFault(c.text, error);
  ASSERT_TRUE(fault.has_value()) << error;
  EXPECT_EQ(fault->kind, c.kind);
  EXPECT_EQ(fault->arg, c.arg);
  EXPECT_EQ(fault->address, c.address);
  EXPECT_EQ(fault->function, c.function);
  EXPECT_EQ(fault->firstRegister, c.first);
  EXPECT_EQ(fault->lastRegister, c.last);
  EXPECT_EQ(fault->times, c.times);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FaultTextTest,
    ::testing::Values(
        FaultText{"kind=busy,times=3,addr=1,fn=16,regs=1280-1343,arg=6", FaultKind::Busy, 6, 1, 16,
                  1280, 1343, 3},
        FaultText{"kind=truncate", FaultKind::Truncate, 2, 0, 0, -1, -1, -1},
        FaultText{"arg=1,kind=badcrc", FaultKind::BadCrc, 1, 0, 0, -1, -1, -1},
        FaultText{"kind=record,regs=7,arg=0", FaultKind::RecordNumber, 0, 0, 0, 7, 7, -1},
        FaultText{"kind=HangUp,arg=0,times=1", FaultKind::HangUp, 0, 0, 0, -1, -1, 1},
        FaultText{"kind=echo,arg=80", FaultKind::Echo, 80, 0, 0, -1, -1, -1},
        FaultText{"kind=exception,arg=2,regs=608-639", FaultKind::Exception, 2, 0, 0, 608, 639, -1},
        FaultText{"kind=noreply", FaultKind::NoReply, 0, 0, 0, -1, -1, -1},
        FaultText{"kind=short", FaultKind::ShortByOneRegister, 0, 0, 0, -1, -1, -1},
        FaultText{"kind=stray", FaultKind::Stray, 5, 0, 0, -1, -1, -1},
        FaultText{"kind=repeat", FaultKind::RepeatRequest, 0, 0, 0, -1, -1, -1},
        FaultText{"kind=unswapped", FaultKind::UnswappedIdentity, 0, 0, 0, -1, -1, -1},
        FaultText{"kind=model,arg=5", FaultKind::ModelCode, 5, 0, 0, -1, -1, -1}),
    [](const auto& info) { return CaseName(info.param.text); });

class BadFaultTextTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BadFaultTextTest, IsRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(k7104sim::ParseFault(GetParam(), error).has_value());
  EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, BadFaultTextTest,
                         ::testing::Values("", "times=3", "kind=nope", "kind=busy,regs=9-3",
                                           "kind=busy,regs=70000", "kind=busy,addr=0",
                                           "kind=busy,addr=256", "kind=busy,times=0",
                                           "kind=busy,times", "kind=busy,colour=red",
                                           "kind=busy,arg=-1", "kind=busy,fn=x",
                                           "kind=busy,every=0", "kind=busy,prob=1.5",
                                           "kind=busy,prob=x", "kind=busy,seed=-1"),
                         [](const auto& info) { return CaseName(info.param); });

TEST(InstrumentText, FieldsAndModelNames) {
  const auto full = k7104sim::ParseInstrument("17:E025:8:4");
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->address, 17);
  EXPECT_EQ(full->model, 6);
  EXPECT_EQ(full->channels, 8);
  EXPECT_EQ(full->relays, 4);
  const auto shortText = k7104sim::ParseInstrument("3:c1");
  ASSERT_TRUE(shortText.has_value());
  EXPECT_EQ(shortText->model, 2);
  EXPECT_EQ(shortText->channels, 32);
  EXPECT_EQ(shortText->baud, 0u);
  const auto atRate = k7104sim::ParseInstrument("5:T1@57600");
  ASSERT_TRUE(atRate.has_value());
  EXPECT_EQ(atRate->address, 5);
  EXPECT_EQ(atRate->baud, 57600u);
  EXPECT_EQ(k7104sim::ParseInstrument("9@2400")->baud, 2400u);
  EXPECT_EQ(k7104sim::ParseModel("K7104T1"), 1);
  EXPECT_EQ(k7104sim::ParseModel("6"), 6);
  for (const char* bad : {"", "0", "256:1", "1:X9", "1:3", "1:1:-1", "1:1:8:4:2", "a:1", "1@",
                          "1@0", "1:1@x", "1@9600@9600"}) {
    EXPECT_FALSE(k7104sim::ParseInstrument(bad).has_value()) << bad;
  }
}

// The program started with arguments, its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), K7104_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output_ = fdopen(pipeFds[0], "r");
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_) fclose(output_);
  }

  std::string FirstLine() {
    char line[512] = {};
    if (!output_ || !fgets(line, sizeof line, output_)) return "";
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

  // Sends the signal and returns the exit status; -1 when it did not end normally.
  int Stop(int signal) {
    if (signal) kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("k7104-sim-program-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    link = (folder / "port").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  std::string link;
};

TEST_F(ProgramTest, ServesItsInstrumentsUntilTerminatedThenRemovesTheLink) {
  Program program({"--link", link, "--instrument", "5:C1:8:4", "--instrument", "6:T1",
                   "--archive-depth", "1000", "--fault", "kind=busy,addr=6,times=1", "--quiet"});
  const std::string path = program.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  RawClient client(link);
  const Bytes identity = client.Ask(ReadRequest(5, 3, 5, 4), 13);
  EXPECT_EQ(HexText(identity), HexText(k7104sim::WithCrc({5, 3, 8, 0, 2, 2, 3, 0, 8, 0, 4})));
  EXPECT_EQ(HexText(client.Ask(ReadRequest(6, 3, 113, 1), 5)),
            HexText(k7104sim::WithCrc({6, 0x83, 6})));
  EXPECT_EQ(HexText(client.Ask(ReadRequest(6, 3, 113, 1), 7)),
            HexText(k7104sim::WithCrc({6, 3, 2, 0x03, 0xE8})));
  EXPECT_EQ(program.Stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(ProgramTest, RefusesToReplaceAFileWithItsLink) {
  std::ofstream(link) << "keep me";
  Program program({"--link", link, "--quiet"});
  EXPECT_EQ(program.FirstLine(), "");
  EXPECT_EQ(program.Wait(), 1);
  EXPECT_EQ(std::filesystem::file_size(link), 7u);
}

TEST_F(ProgramTest, VersionIsOneLineAndTheEnd) {
  Program program({"--version"});
  EXPECT_EQ(program.FirstLine(), std::string("k7104-sim ") + K7104_VERSION_TEXT);
  EXPECT_EQ(program.Wait(), 0);
}

// The terminal's path is what the user needs of the program: when standard output cannot take
// it (here /dev/full), the program says so and ends with 74 instead of serving unseen.
TEST_F(ProgramTest, OutputThatDoesNotArriveEndsTheProgram) {
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{"--quiet"}, std::vector<std::string>{"--version"}}) {
    arguments.insert(arguments.begin(), K7104_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    int waited = 0;
    while (waitpid(pid, &status, WNOHANG) != pid && ++waited < 6000) usleep(10000);
    if (waited == 6000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 74) << arguments[1];
  }
}

TEST_F(ProgramTest, UsageErrorsEndWithCodeTwo) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--bogus"},
                                                    {"--pace"},
                                                    {"--pace", "fast"},
                                                    {"--instrument", "1:9"},
                                                    {"--fault", "kind=nope"},
                                                    {"--archive-depth", "0"},
                                                    {"--tcp", "65536"},
                                                    {"--tcp", "0", "--tcp-mode", "udp"},
                                                    {"--tcp", "0", "--link", "/tmp/x"},
                                                    {"--instrument", "3", "--instrument", "3:2"}}) {
    Program program(arguments);
    EXPECT_EQ(program.Wait(), 2) << arguments.front();
  }
}

}  // namespace
}  // namespace simtest
