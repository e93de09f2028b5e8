// k7104-sim: simulated К7104 instruments on a pseudo-terminal, for anyone without hardware.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/Simulator.h"

namespace {

using k7104sim::EchoMode;
using k7104sim::Fault;
using k7104sim::InstrumentSpec;

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;
constexpr int kExitOutput = 74;  // what was printed did not reach standard output

// The terminal's path is what the user needs of the program: it must have reached standard output.
bool OutputReached() {
  std::cout.flush();
  if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout.good()) return true;
  std::fprintf(stderr, "k7104-sim: cannot write standard output: %s\n", std::strerror(errno));
  return false;
}

struct Settings {
  k7104sim::LineOptions line;
  std::vector<InstrumentSpec> instruments;
  std::vector<Fault> faults;
  std::optional<uint16_t> archiveDepth;
  bool quiet = false;
};

void PrintHelp() {
  std::cout <<
      R"(Usage: k7104-sim [OPTION]...
Simulated К7104 instruments (Modbus RTU slaves) on a pseudo-terminal. The first line printed on
stdout is the terminal's slave path; open it (or the link) as the serial port. Runs until SIGINT
or SIGTERM.

Options:
  --link PATH              also make a symbolic link PATH to the terminal (an old symbolic link
                           is replaced, a file never); removed at exit
  --instrument ADDR:MODEL:CHANNELS:RELAYS[@RATE]
                           an instrument at Modbus address ADDR (1..255); MODEL 1, 2, 6 or T1,
                           C1, E025; may be repeated. Default: one instrument 1:1:32:32. With
                           @RATE its interface runs at RATE only: a request the client sends at
                           another rate (set on the terminal, through RFC 2217, or the --pace
                           rate over TCP) goes unanswered
  --pace BAUD              send at the pace of a real line at BAUD (12 bits a character), after
                           the request's own time on the wire; default: answer at once
  --delay MS               wait MS more before every reply
  --echo                   echo every request like a two-wire converter, the reply right after
  --echo-pause MS          echo every request, then MS of silence before the reply
  --archive-depth N        archive records 1..N (1..65535; default 500), current record N
  --tcp PORT               listen for TCP connections at PORT (0: any free port) instead of
                           making a pseudo-terminal; the first line on stdout is ADDRESS:PORT
  --tcp-mode MODE          rtu: RTU frames unchanged, as a transparent serial server (default);
                           mbap: Modbus TCP, as a gateway that answers exception 11 for an
                           address where no instrument answered; rfc2217: RTU frames in a telnet
                           stream whose RFC 2217 commands set the rate (up to 115200) and format
  --listen ADDRESS         the address to listen on (default 127.0.0.1, this machine only)
  --fault FAULT            misbehave on purpose; may be repeated (see below)
  --log                    print each request and reply in hex on stderr
  --quiet                  no notices on stderr
  --help                   this text
  --version                the program's version

A FAULT is a list of key=value pairs:
  kind=KIND    what happens (required)
  arg=N        the number the kind takes
  addr=N       only requests to instrument N
  fn=N         only requests with function N
  regs=A-B     only requests whose registers or coils overlap A..B (regs=A: one register;
               for kind=record: the archive record asked for)
  times=N      only the next N requests it affects; then it is gone (default: for ever)
  every=N      only every N-th request it matches
  prob=P       only a request it matches with probability P (0..1), drawn from its own
               random sequence: the same SEED gives the same noisy line
  seed=S       that sequence's seed (default 0)
Kinds:
)" << k7104sim::FaultKindsHelp()
            << R"(
Examples:
  k7104-sim --link /tmp/k7104
  k7104-sim --instrument 1:T1:32:32 --instrument 17:E025:8:4 --pace 9600
  k7104-sim --echo-pause 80 --fault kind=busy,times=3,fn=16,regs=1280-1343
  k7104-sim --archive-depth 65535 --fault kind=record,regs=7,arg=0
  k7104-sim --link /tmp/k7104 --fault kind=hangup,arg=5,times=1
  k7104-sim --pace 115200 --fault kind=badcrc,prob=0.002,seed=1
  k7104-sim --tcp 5020 --tcp-mode mbap --instrument 1 --instrument 17
  k7104-sim --tcp 4001 --fault kind=split,arg=30 --fault kind=glue,arg=4,times=5
)";
}

std::optional<long> Number(const std::string& text, long low, long high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

bool Usage(const std::string& message) {
  std::cerr << "k7104-sim: " << message << "\nTry 'k7104-sim --help'.\n";
  return false;
}

// Reads one option and, where it takes one, its value; false on a usage error.
bool TakeOption(const std::string& option, const std::optional<std::string>& value,
                Settings& settings) {
  const auto need = [&](long low, long high) -> std::optional<long> {
    if (!value) return std::nullopt;
    return Number(*value, low, high);
  };
  if (option == "--link" && value && !value->empty()) {
    settings.line.linkPath = *value;
  } else if (option == "--instrument" && value) {
    const auto wanted = k7104sim::ParseInstrument(*value);
    if (!wanted)
      return Usage("bad instrument \"" + *value + "\" (ADDR:MODEL:CHANNELS:RELAYS[@RATE])");
    settings.instruments.push_back(*wanted);
  } else if (option == "--pace" && need(0, 4'000'000)) {
    settings.line.paceBaud = static_cast<uint32_t>(*need(0, 4'000'000));
  } else if (option == "--delay" && need(0, 600'000)) {
    settings.line.replyDelayMs = static_cast<int>(*need(0, 600'000));
  } else if (option == "--echo-pause" && need(0, 600'000)) {
    settings.line.echo = EchoMode::Pause;
    settings.line.echoPauseMs = static_cast<int>(*need(0, 600'000));
  } else if (option == "--archive-depth" && need(1, 65535)) {
    settings.archiveDepth = static_cast<uint16_t>(*need(1, 65535));
  } else if (option == "--tcp" && need(0, 65535)) {
    settings.line.tcpPort = static_cast<uint16_t>(*need(0, 65535));
  } else if (option == "--tcp-mode" && value && k7104sim::ParseNetworkMode(*value)) {
    settings.line.networkMode = *k7104sim::ParseNetworkMode(*value);
  } else if (option == "--listen" && value && !value->empty()) {
    settings.line.listenAddress = *value;
  } else if (option == "--fault" && value) {
    std::string error;
    const auto fault = k7104sim::ParseFault(*value, error);
    if (!fault) return Usage("bad fault \"" + *value + "\": " + error);
    settings.faults.push_back(*fault);
  } else {
    return Usage(value ? "bad value for " + option : option + " needs a value");
  }
  return true;
}

enum class ParseOutcome { Run, Help, Version, Error };

ParseOutcome ParseArguments(int argc, char** argv, Settings& settings) {
  static const std::set<std::string> kWithValue = {
      "--link",  "--instrument",    "--pace", "--delay",    "--echo-pause",
      "--fault", "--archive-depth", "--tcp",  "--tcp-mode", "--listen"};
  for (int k = 1; k < argc; ++k) {
    std::string option = argv[k];
    std::optional<std::string> value;
    if (const auto equals = option.find('=');
        option.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.erase(equals);
    }
    if (option == "--help") return ParseOutcome::Help;
    if (option == "--version") return ParseOutcome::Version;
    if (option == "--echo" && !value) {
      settings.line.echo = EchoMode::Together;
    } else if (option == "--quiet" && !value) {
      settings.quiet = true;
    } else if (option == "--log" && !value) {
      settings.line.log = true;
    } else if (kWithValue.count(option)) {
      if (!value && k + 1 < argc) value = argv[++k];
      if (!TakeOption(option, value, settings)) return ParseOutcome::Error;
    } else {
      Usage("unknown option " + option);
      return ParseOutcome::Error;
    }
  }
  if (settings.line.tcpPort && !settings.line.linkPath.empty()) {
    Usage("--link names a pseudo-terminal; a line over TCP has none");
    return ParseOutcome::Error;
  }
  if (settings.instruments.empty()) settings.instruments.push_back(InstrumentSpec{});
  std::set<uint8_t> addresses;
  for (const InstrumentSpec& wanted : settings.instruments) {
    if (!addresses.insert(wanted.address).second) {
      Usage("two instruments at address " + std::to_string(wanted.address));
      return ParseOutcome::Error;
    }
  }
  return ParseOutcome::Run;
}

const char* ModelName(uint16_t model) {
  switch (model) {
    case 1:
      return "К7104Т1";
    case 2:
      return "К7104С1";
    case 6:
      return "К7104Е025";
    default:
      return "unknown model";
  }
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  switch (ParseArguments(argc, argv, settings)) {
    case ParseOutcome::Help:
      PrintHelp();
      return OutputReached() ? 0 : kExitOutput;
    case ParseOutcome::Version:
      std::printf("k7104-sim %s\n", K7104_VERSION_TEXT);
      return OutputReached() ? 0 : kExitOutput;
    case ParseOutcome::Error:
      return kExitUsage;
    case ParseOutcome::Run:
      break;
  }
  // The signals are taken by sigwait below; blocked before the line's thread exists, so that
  // thread inherits the mask and never takes them itself.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const bool quiet = settings.quiet;
  settings.line.onNewTerminal = [quiet](const std::string& path) {
    if (!quiet) std::fprintf(stderr, "k7104-sim: the line hung up; now on %s\n", path.c_str());
  };
  k7104sim::Line line(settings.line);
  for (const InstrumentSpec& wanted : settings.instruments) {
    k7104sim::Instrument& instrument = line.AddInstrument(wanted);
    if (settings.archiveDepth) instrument.SetArchiveDepth(*settings.archiveDepth);
  }
  for (const Fault& fault : settings.faults) line.AddFault(fault);
  if (!line.Start()) {
    if (!settings.line.tcpPort)
      std::fprintf(stderr, "k7104-sim: cannot make the pseudo-terminal\n");
    return kExitFailed;
  }
  const std::string& address = settings.line.listenAddress;
  if (settings.line.tcpPort && address.find(':') != std::string::npos)
    std::printf("[%s]:%u\n", address.c_str(), line.TcpPort());
  else if (settings.line.tcpPort)
    std::printf("%s:%u\n", address.c_str(), line.TcpPort());
  else
    std::printf("%s\n", line.SlavePath().c_str());
  if (!OutputReached()) return kExitOutput;
  if (!quiet) {
    for (const InstrumentSpec& wanted : settings.instruments) {
      std::fprintf(stderr, "k7104-sim: %s at address %d, %d channels, %d relays\n",
                   ModelName(wanted.model), wanted.address, wanted.channels, wanted.relays);
    }
    if (!settings.line.linkPath.empty()) {
      std::fprintf(stderr, "k7104-sim: %s -> %s\n", settings.line.linkPath.c_str(),
                   line.SlavePath().c_str());
    }
  }
  int signal = 0;
  sigwait(&stopSignals, &signal);
  line.Stop();
  return 0;
}
