// Command line of k7104-cli: the options every command shares and the table of commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/ConfigBlock.h"
#include "modbus/Modbusunit.h"

namespace cli {

// Exit codes besides the result codes of the channel and the jobs.
inline constexpr int kExitUsage = 64;
inline constexpr int kExitNoRecords = 65;  // the archive range holds no record at all
inline constexpr int kExitFile = 74;

struct Options {
  std::string port;  // device path; empty: the default path of the COM number
  int com = 1;
  // --tcp HOST:PORT: a line over Ethernet in place of the serial port; empty host: none.
  std::string tcpHost;
  uint16_t tcpPort = 0;
  TNetworkMode tcpMode = TNetworkMode::RtuOverTcp;
  uint32_t baud = 9600;
  uint8_t address = 1;
  uint16_t timeoutMs = 1300;
  uint8_t readRetries = 0;  // a garbled read sent again up to this many times
  bool trace = false;       // every transaction on stderr
  // No write starts unless the journal of writes can take its record.
  bool requireJournal = false;
};

struct Command {
  const char* name;
  const char* synopsis;  // arguments after the name
  const char* help;      // what it does, shown by --help
  std::function<int(const Options&, const std::vector<std::string>&)> run;
};

// Every command the program knows, in the order --help lists them.
const std::vector<Command>& Commands();
// The commands that run the instrument's jobs.
const std::vector<Command>& JobCommands();
// diff and report: the configuration against a file, and the configuration report.
std::vector<Command> CompareCommands();
// The command that lists the serial devices present.
Command PortsCommand();
// journal: the records of the journal of writes.
Command JournalCommand();

// write FILE.prb --addresses LIST [--any-model]: the file to every address of the list.
int RunBatchWrite(const Options& options, const std::vector<std::string>& args, bool force);
// A configuration from a file with values the instrument knows no meaning of: lists them on
// stderr and, unless forced, refuses to write it (true).
bool RefusesUnknownValues(const std::string& path, const TConfigBlock& block, bool force);
// "1-20,33": addresses 1..255 and ranges FIRST-LAST, FIRST <= LAST, separated by commas, each
// address once in the order given; false for anything else.
bool ParseAddressList(const std::string& text, std::vector<uint8_t>& addresses);

// Configuration, archive and report files are regular files only: a FIFO or a device is refused
// before anything is sent on the line, and so is a name that names no file. A missing file is fine
// where one is to be made. False, with the reason on stderr, for a path that will not do.
bool RegularOrMissing(const std::string& path);
// Says on stderr why the file could not be written, from errno; returns kExitFile.
int CannotWrite(const std::string& path);

// Opens the channel as the options say; prints why on stderr and returns false when it cannot.
bool OpenChannel(TModBus& bus, const Options& options);
// Prints bytes as two-digit hexadecimal numbers separated by spaces.
std::string Hex(const uint8_t* bytes, size_t count);

}  // namespace cli
