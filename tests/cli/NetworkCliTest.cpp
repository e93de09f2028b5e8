// k7104-cli on a line over Ethernet, through servers that nobody here wrote: socat as a
// transparent serial server and pyserial's RFC 2217 server, both in front of the simulator's
// pseudo-terminal, and libmodbus's Modbus TCP server as a gateway; then through k7104-sim's own
// gateway, and to servers that are not there.
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "sim/Simulator.h"
#include "support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

constexpr uint16_t kDisturbed = 128;  // a sensor-type register that write all puts back

std::vector<char> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProgramOutcome Cli(const Args& args) {
  Args argv = {K7104_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const fs::path journals = fs::temp_directory_path() / "k7104-network-cli-journal";
  return RunProgram(argv, {"LC_ALL=C.UTF-8", "TZ=UTC", "XDG_DATA_HOME=" + journals.string()});
}

Args Join(Args head, const Args& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// The holding registers of the instrument behind a line, as the test reaches them.
struct Registers {
  std::function<uint16_t(uint16_t)> Get;
  std::function<void(uint16_t, uint16_t)> Set;
};

// libmodbus's Modbus TCP server as a gateway with one instrument behind it: unit 1 is answered
// from a register map copied from the simulated instrument, every other unit with exception 11.
// The instrument's input registers are no flat map (input register k begins archive record k),
// so before each read of them libmodbus's own RTU master fetches the record from the line.
class LibmodbusGateway {
 public:
  LibmodbusGateway(k7104sim::Instrument& instrument, const std::string& linePath) {
    mapping_ = modbus_mapping_new(kCoils, 0, kHoldingRegisters, kInputRegisters);
    for (uint16_t reg = 0; reg < kHoldingRegisters; ++reg)
      mapping_->tab_registers[reg] = instrument.HoldingRegister(reg);
    for (uint16_t coil = 0; coil < kCoils; ++coil)
      mapping_->tab_bits[coil] = instrument.Coil(coil) ? 1 : 0;
    line_ = modbus_new_rtu(linePath.c_str(), 9600, 'E', 8, 2);
    modbus_set_slave(line_, 1);
    context_ = modbus_new_tcp("127.0.0.1", 0);
    listening_ = modbus_tcp_listen(context_, 1);
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (listening_ >= 0 &&
        getsockname(listening_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      port_ = ntohs(address.sin_port);
    if (modbus_connect(line_) == 0 && port_ != 0) thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusGateway() {
    if (listening_ >= 0) shutdown(listening_, SHUT_RDWR);  // ends the accept
    if (thread_.joinable()) thread_.join();
    if (listening_ >= 0) close(listening_);
    modbus_free(context_);
    modbus_close(line_);
    modbus_free(line_);
    modbus_mapping_free(mapping_);
  }
  bool Running() const { return thread_.joinable(); }
  uint16_t Port() const { return port_; }
  // Between requests only: the server thread uses the map while it answers one.
  Registers Map() {
    return {[this](uint16_t reg) { return mapping_->tab_registers[reg]; },
            [this](uint16_t reg, uint16_t value) { mapping_->tab_registers[reg] = value; }};
  }

 private:
  static constexpr int kHoldingRegisters = 2048;
  static constexpr int kCoils = 1024;
  static constexpr int kInputRegisters = 128;  // the last cycle and the first archive records

  // A read of input registers: the record it asks for, fetched into the map.
  void FetchRecord(const uint8_t* query) {
    const int first = query[8] << 8 | query[9];
    const int count = query[10] << 8 | query[11];
    if (first + count <= kInputRegisters)
      modbus_read_input_registers(line_, first, count, mapping_->tab_input_registers + first);
  }

  void Serve() {
    int listening = listening_;
    while (modbus_tcp_accept(context_, &listening) >= 0) {
      uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
      for (;;) {
        const int length = modbus_receive(context_, query);
        if (length < 0) break;
        if (length == 0) continue;
        if (query[6] == 1 && query[7] == 4 && length >= 12) FetchRecord(query);
        if (query[6] == 1)
          modbus_reply(context_, query, length, mapping_);
        else
          modbus_reply_exception(context_, query, MODBUS_EXCEPTION_GATEWAY_TARGET);
      }
      modbus_close(context_);
    }
  }

  modbus_t* context_ = nullptr;
  modbus_t* line_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  int listening_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

class NetworkCli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("k7104-network-cli-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    first_ = &line_.AddInstrument({1, 1, 32, 32});
    line_.AddInstrument({17, 6, 8, 4});
    ASSERT_TRUE(line_.Start());
    // What a read over the serial line gives, before any server holds the terminal.
    const ProgramOutcome direct = Cli({"--port", line_.SlavePath(), "read", File("serial.prb")});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string File(const std::string& name) const { return (folder_ / name).string(); }

  // Read all, write all (putting back a register changed meanwhile), an archive range and a
  // search, each a run of k7104-cli through the line.
  using ThroughLine = std::function<ProgramOutcome(const Args& command)>;
  void ExpectJobsThrough(const ThroughLine& cli, const std::string& found,
                         const Registers& behind) {
    const ProgramOutcome read = cli({"read", File("network.prb")});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(FileBytes(File("network.prb")), FileBytes(File("serial.prb")));

    const uint16_t original = behind.Get(kDisturbed);
    behind.Set(kDisturbed, static_cast<uint16_t>(original + 1));
    const ProgramOutcome write = cli({"write", File("serial.prb")});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(behind.Get(kDisturbed), original);

    const ProgramOutcome archive = cli({"archive", "1", "5", File("archive.txt")});
    EXPECT_EQ(archive.exitCode, 0) << archive.err;
    EXPECT_NE(archive.err.find("5 records written"), std::string::npos) << archive.err;

    const ProgramOutcome scan = cli({"scan", "1", "20"});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(scan.out, found);
  }

  std::string Endpoint(uint16_t port) const { return "127.0.0.1:" + std::to_string(port); }
  static ThroughLine Options(const Args& line) {
    return [line](const Args& command) { return Cli(Join(line, command)); };
  }
  Registers Simulated() {
    return {[this](uint16_t reg) { return first_->HoldingRegister(reg); },
            [this](uint16_t reg, uint16_t value) { first_->SetHoldingRegister(reg, value); }};
  }

  fs::path folder_;
  k7104sim::Line line_;
  k7104sim::Instrument* first_ = nullptr;
};

const std::string kBothFound = "1\tК7104Т1\n17\tК7104Е025\n";

// One socat for each run, gone before the next starts: a socat that still held the terminal
// would take the next run's replies.
TEST_F(NetworkCli, ThroughSocatAsATransparentServer) {
  if (RunProgram({"socat", "-V"}).exitCode != 0)
    GTEST_SKIP() << "no socat (scripts/setup installs it)";
  ExpectJobsThrough(
      [this](const Args& command) {
        const uint16_t port = UnusedTcpPort();
        ChildProcess socat({"socat", "-d", "-d", "-t", "0",
                            "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                            "FILE:" + line_.SlavePath() + ",raw,echo=0"});
        std::optional<std::string> said;
        while ((said = socat.ErrorLine(30s)) && said->find("listening on") == std::string::npos) {
        }
        if (!said) return ProgramOutcome{-1, "", "socat did not listen: " + socat.Errors()};
        const ProgramOutcome outcome = Cli(Join({"--tcp", Endpoint(port)}, command));
        socat.Wait(30s);
        return outcome;
      },
      kBothFound, Simulated());
}

TEST_F(NetworkCli, ThroughPyserialsRfc2217Server) {
  ChildProcess peer({"/usr/bin/python3", K7104_RFC2217_SERVER, line_.SlavePath()});
  const auto listening = peer.OutputLine(30s);
  if (!listening && peer.Errors().find("No module named 'serial'") != std::string::npos)
    GTEST_SKIP() << "python3-serial is not installed (scripts/setup installs it)";
  ASSERT_TRUE(listening && listening->rfind("port ", 0) == 0) << peer.Errors();
  const Args line = {"--tcp",      Endpoint(static_cast<uint16_t>(std::stoi(listening->substr(5)))),
                     "--tcp-mode", "rfc2217",
                     "--baud",     "19200"};
  ExpectJobsThrough(Options(line), kBothFound, Simulated());
  EXPECT_EQ(peer.OutputLine(30s).value_or(""), "settings 19200 8 E 2");
}

TEST_F(NetworkCli, ThroughLibmodbusAsAModbusTcpGateway) {
  LibmodbusGateway gateway(*first_, line_.SlavePath());
  ASSERT_TRUE(gateway.Running());
  ExpectJobsThrough(Options({"--tcp", Endpoint(gateway.Port()), "--tcp-mode", "mbap"}),
                    "1\tК7104Т1\n", gateway.Map());
}

// Through RFC 2217 the rate search sets each rate on the server: the simulator's server refuses
// those above 115200 and closes the line, which the search opens again at the next rate, and its
// instrument at 19200 answers that rate alone. Behind a gateway no request sets the rate.
TEST_F(NetworkCli, RateSearchSetsEachRateThroughRfc2217) {
  ChildProcess sim({K7104_SIM_PROGRAM, "--tcp", "0", "--tcp-mode", "rfc2217", "--instrument",
                    "5:T1@19200", "--quiet"});
  const std::string listening = sim.OutputLine(30s).value_or("");
  ASSERT_EQ(listening.rfind("127.0.0.1:", 0), 0u) << listening << sim.Errors();
  const ProgramOutcome scan =
      Cli({"--tcp", listening, "--tcp-mode", "rfc2217", "scan", "--rates", "--address", "5"});
  EXPECT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_EQ(scan.out, "19200\t5\tК7104Т1\n");

  ChildProcess gateway({K7104_SIM_PROGRAM, "--tcp", "0", "--tcp-mode", "mbap", "--quiet"});
  const std::string behind = gateway.OutputLine(30s).value_or("");
  const ProgramOutcome refused =
      Cli({"--tcp", behind, "--tcp-mode", "mbap", "scan", "--rates", "--address", "1"});
  EXPECT_EQ(refused.exitCode, 15) << refused.err;
  EXPECT_EQ(refused.out, "");
}

// k7104-sim's own gateway listens on this machine only and finds both instruments; a server that
// is not there is result 7 with the network's sentence; the line options are checked first.
TEST_F(NetworkCli, ThroughTheSimulatorsGatewayAndToNoServerAtAll) {
  ChildProcess sim({K7104_SIM_PROGRAM, "--tcp", "0", "--tcp-mode", "mbap", "--instrument", "1",
                    "--instrument", "17:E025:8:4", "--quiet"});
  const std::string listening = sim.OutputLine(30s).value_or("");
  ASSERT_EQ(listening.rfind("127.0.0.1:", 0), 0u) << listening << sim.Errors();
  const ProgramOutcome scan = Cli({"--tcp", listening, "--tcp-mode", "mbap", "scan", "1", "247"});
  EXPECT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_EQ(scan.out, kBothFound);

  const std::string nobody = Endpoint(UnusedTcpPort());
  const ProgramOutcome refused = Cli({"--tcp", nobody, "info"});
  EXPECT_EQ(refused.exitCode, 7);
  EXPECT_EQ(refused.err, "k7104-cli: Сеть: " + nobody + " отказал в соединении.\n");

  for (const Args& wrong : {Args{"--tcp", nobody, "--port", "/dev/null"}, Args{"--tcp", "nohost"},
                            Args{"--tcp", "host:0"}, Args{"--tcp-mode", "mbap"},
                            Args{"--tcp", nobody, "--tcp-mode", "udp"}}) {
    const ProgramOutcome usage = Cli(Join(wrong, {"info"}));
    EXPECT_EQ(usage.exitCode, 64) << wrong.back();
  }
}

}  // namespace
