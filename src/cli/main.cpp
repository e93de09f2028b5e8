// k7104-cli: the configurator's jobs from a shell, for scripts and for servicing many instruments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Interrupts.h"
#include "cli/Output.h"
#include "cli/Platform.h"
#include "cli/Trace.h"
#include "instrument/RegisterMap.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(
      out,
      "usage: k7104-cli [--port PATH | --com N | --tcp HOST:PORT [--tcp-mode MODE]] [--baud RATE] "
      "[--address A] [--timeout MS] [--retries N] [--trace] [--require-journal] COMMAND ...\n\n"
      "commands:\n");
  for (const auto& command : cli::Commands())
    std::fprintf(out, "  %-10s %s\n             %s\n", command.name, command.synopsis,
                 command.help);
  std::fprintf(out,
               "\noptions:\n"
               "  --port PATH    serial device (/dev/ttyUSB0, a pty, ...)\n"
               "  --com N        COM port number 1..20 (COM1 is %s); default 1\n"
               "  --tcp HOST:PORT  the line through a serial server or a Modbus TCP gateway\n"
               "                 instead of a serial port ([ADDRESS]:PORT for IPv6)\n"
               "  --tcp-mode MODE  rtu: RTU frames unchanged (transparent server; default),\n"
               "                 mbap: Modbus TCP to a gateway, rfc2217: RTU frames, rate and 8E2\n"
               "                 set on the server by RFC 2217\n"
               "  --baud RATE    line rate, one of 110 300 600 1200 2400 4800 9600 14400 19200 "
               "38400 56000 57600 115200 128000 256000; default 9600\n"
               "  --address A    Modbus address of the instrument, 1..255; default 1\n"
               "  --timeout MS   reply timeout in milliseconds; default 1300\n"
               "  --retries N    send a read again up to N times (0..5) when its reply timed out\n"
               "                 or came garbled (CRC, length); writes never; default 0\n"
               "  --trace        print every request and reply on stderr: time, port, rate, the\n"
               "                 bytes, what they say, how the reply ended, duration, result\n"
               "  --require-journal  a command that writes to an instrument does not start\n"
               "                 unless the journal of writes can take its records (exit 74);\n"
               "                 without it a journal that cannot be kept is only reported\n"
               "  --help         this text\n"
               "  --version      the program's version\n"
               "  COMMAND --help shows the help of one command\n",
               DefaultSerialDevice(0).c_str());
}

bool ParseNumber(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value >= low && value <= high;
}

bool IsTableRate(long rate) {
  for (uint32_t known : BaudRates)
    if (known == rate) return true;
  return false;
}

// --tcp HOST:PORT and --tcp-mode; false when the value is wrong.
bool TakeNetworkOption(const std::string& option, const char* value, cli::Options& options) {
  if (option == "--tcp") return ParseEndpoint(value, options.tcpHost, options.tcpPort);
  const auto mode = ParseNetworkMode(value);
  if (mode) options.tcpMode = *mode;
  return mode.has_value();
}

// A network line takes the place of the serial port: not both, and a mode only with a line.
bool LineOptionsAgree(const cli::Options& options, bool serialGiven, bool modeGiven) {
  const bool network = !options.tcpHost.empty();
  if (network && serialGiven)
    std::fprintf(stderr, "k7104-cli: --tcp takes the place of --port and --com\n");
  else if (modeGiven && !network)
    std::fprintf(stderr, "k7104-cli: --tcp-mode goes with --tcp\n");
  return !(network && serialGiven) && !(modeGiven && !network);
}

// Parses the shared options; returns the index of the command word, or -1 on a usage error.
int ParseOptions(int argc, char** argv, cli::Options& options) {
  bool serialGiven = false;
  bool modeGiven = false;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string option = argv[i];
    if (option == "--help") return -2;
    if (option == "--version") return -3;
    if (option == "--trace") {
      options.trace = true;
      continue;
    }
    if (option == "--require-journal") {
      options.requireJournal = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "k7104-cli: %s needs a value\n", option.c_str());
      return -1;
    }
    const char* value = argv[++i];
    long number = 0;
    if (option == "--port" && value[0] != '\0') {
      options.port = value;
      serialGiven = true;
    } else if (option == "--com" && ParseNumber(value, 1, PortCount, number)) {
      options.com = static_cast<int>(number);
      serialGiven = true;
    } else if ((option == "--tcp" || option == "--tcp-mode") &&
               TakeNetworkOption(option, value, options)) {
      modeGiven = modeGiven || option == "--tcp-mode";
    } else if (option == "--baud" && ParseNumber(value, 1, 4000000, number) &&
               IsTableRate(number)) {
      options.baud = static_cast<uint32_t>(number);
    } else if (option == "--address" && ParseNumber(value, 1, 255, number)) {
      options.address = static_cast<uint8_t>(number);
    } else if (option == "--timeout" && ParseNumber(value, 1, 65535, number)) {
      options.timeoutMs = static_cast<uint16_t>(number);
    } else if (option == "--retries" && ParseNumber(value, 0, MaxReadRetries, number)) {
      options.readRetries = static_cast<uint8_t>(number);
    } else {
      std::fprintf(stderr, "k7104-cli: bad option %s %s\n", option.c_str(), value);
      return -1;
    }
  }
  return LineOptionsAgree(options, serialGiven, modeGiven) ? i : -1;
}

int RunCommandLine(int argc, char** argv) {
  cli::Options options;
  const int at = ParseOptions(argc, argv, options);
  if (at == -2) {
    PrintUsage(stdout);
    return 0;
  }
  if (at == -3) {
    std::printf("k7104-cli %s\n", K7104_VERSION_TEXT);
    return 0;
  }
  if (at < 0 || at >= argc) {
    PrintUsage(stderr);
    return cli::kExitUsage;
  }
  const std::string name = argv[at];
  for (const auto& command : cli::Commands()) {
    if (name != command.name) continue;
    std::vector<std::string> args(argv + at + 1, argv + argc);
    if (!args.empty() && args[0] == "--help") {
      std::printf("usage: k7104-cli [options] %s %s\n%s\n", command.name, command.synopsis,
                  command.help);
      return 0;
    }
    return command.run(options, args);
  }
  std::fprintf(stderr, "k7104-cli: unknown command %s\n", name.c_str());
  PrintUsage(stderr);
  return cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  cli::PrepareProcess(argc, argv);
  cli::CatchBrokenPipe();
  const int code = RunCommandLine(argc, argv);
  cli::StopTrace();
  return cli::ExitCodeAfterInterrupt(cli::FinishOutput(code));
}
