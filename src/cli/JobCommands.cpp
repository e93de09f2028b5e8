// The commands that run the instrument's jobs: search, identity and settings, the whole
// configuration to and from a file, live values, the archive, the clock and the address.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/CliOptions.h"
#include "cli/JobRunner.h"
#include "cli/Output.h"
#include "files/ArchiveExport.h"
#include "files/ArchiveText.h"
#include "files/ConfigFile.h"
#include "files/LiveCsv.h"
#include "files/RegularFile.h"
#include "instrument/BatchWrite.h"
#include "instrument/JobMessages.h"

namespace cli {

namespace {

bool ParseLong(const std::string& text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && value >= low && value <= high;
}

int Usage(const char* command, const char* what) {
  std::fprintf(stderr, "k7104-cli %s: %s\n", command, what);
  return kExitUsage;
}

// --fast and --recheck, anywhere among the arguments.
bool TakeFlag(std::vector<std::string>& args, const char* flag) {
  const auto at = std::find(args.begin(), args.end(), flag);
  if (at == args.end()) return false;
  args.erase(at);
  return true;
}

// --address A among the arguments: the one address to probe; false when A is no address.
bool TakeAddressOption(std::vector<std::string>& args, long& address, bool& given) {
  const auto at = std::find(args.begin(), args.end(), "--address");
  given = at != args.end();
  if (!given) return true;
  if (at + 1 == args.end() || !ParseLong(at[1], 1, 255, address)) return false;
  args.erase(at, at + 2);
  return true;
}

// scan --rates: every rate, fastest first, at one address (default: the --address given before
// the command) or a range; one line per answer, "RATE<tab>ADDRESS<tab>MODEL".
int RunRateScan(const Options& options, std::vector<std::string> args) {
  const bool recheck = TakeFlag(args, "--recheck");
  long first = options.address, last = options.address;
  bool addressGiven = false;
  const bool addressRight = TakeAddressOption(args, first, addressGiven);
  if (addressGiven) last = first;
  if (!addressRight || (addressGiven && !args.empty()) ||
      (!args.empty() && (args.size() != 2 || !ParseLong(args[0], 1, 255, first) ||
                         !ParseLong(args[1], first, 255, last))))
    return Usage("scan",
                 "with --rates give --address A, or FIRST and LAST, or neither, and --recheck or "
                 "not");
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  TMIP& mip = runner.Mip();
  mip.SearchMode = TSearchMode::Fast;
  TResult result =
      runner.RunOverRange(JobRateSearch, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
  if (result == RESULT_OK && recheck) {
    mip.SearchMode = TSearchMode::SilentAgain;
    result = runner.RunOverRange(JobRateSearch, static_cast<uint16_t>(first),
                                 static_cast<uint16_t>(last));
  }
  for (const TRateFind& find : mip.RateFinds)
    std::printf("%u\t%u\t%s\n", find.BaudRate, find.Address, ModelTitle(find.ModelCode).c_str());
  if (result != RESULT_OK) return runner.Fail(result);
  if (mip.RateFinds.empty())
    std::fprintf(stderr, "no instrument answered at %ld..%ld at any rate\n", first, last);
  return 0;
}

int RunScan(const Options& options, const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  if (TakeFlag(args, "--rates")) return RunRateScan(options, args);
  const bool fast = TakeFlag(args, "--fast");
  const bool recheck = TakeFlag(args, "--recheck");
  long first = 1, last = 255;
  if ((!args.empty() && (args.size() != 2 || !ParseLong(args[0], 1, 255, first) ||
                         !ParseLong(args[1], first, 255, last))) ||
      (recheck && !fast))
    return Usage("scan",
                 "give FIRST and LAST addresses, 1 <= FIRST <= LAST <= 255, and --fast, "
                 "--fast --recheck or neither");
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  TMIP& mip = runner.Mip();
  mip.SearchMode = fast ? TSearchMode::Fast : TSearchMode::Standard;
  TResult result =
      runner.RunOverRange(JobSearch, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
  if (result == RESULT_OK && recheck) {
    mip.SearchMode = TSearchMode::SilentAgain;
    result =
        runner.RunOverRange(JobSearch, static_cast<uint16_t>(first), static_cast<uint16_t>(last));
  }
  for (int i = 0; i < mip.FoundCount; ++i)
    std::printf("%u\t%s\n", mip.FoundDevices[i].Address,
                ModelTitle(mip.FoundDevices[i].ModelCode).c_str());
  if (result != RESULT_OK) return runner.Fail(result);
  if (mip.FoundCount == 0)
    std::fprintf(stderr, "no instrument answered at %ld..%ld\n", first, last);
  return 0;
}

const char* ProtocolCaption(uint8_t code) {
  return code == 0 ? "ModBus RTU" : "?";
}

std::string SpeedCaption(uint8_t code) {
  if (code == 0) return "9600";
  if (code == 1) return "19200";
  return "code " + std::to_string(code);
}

void PrintInfo(const TMIP& mip) {
  const double period = std::abs(mip.Config.MeasurePeriod.Get()) < 0.001f
                            ? mip.NominalPeriod
                            : static_cast<double>(mip.Config.MeasurePeriod.Get());
  std::printf("identity        %s\n", mip.DeviceId);
  std::printf("model           %s\n", ModelTitle(mip.ModelCode).c_str());
  std::printf("firmware        %u.%u\n", mip.FirmwareVersion >> 8, mip.FirmwareVersion & 0xFF);
  std::printf("channels        %u\n", mip.DeviceChannels);
  std::printf("relays          %u\n", mip.DeviceRelays);
  std::printf("archive depth   %u\n", mip.ArchiveDepth);
  std::printf("archive record  %u\n", mip.ArchiveCurrent);
  std::printf("state           %s (%u)\n", StateName(mip.DeviceState).c_str(), mip.DeviceState);
  std::printf("clock           %s\n", RegionalDateTime(mip.DeviceClock).c_str());
  std::printf("address         %u\n", mip.InterfaceAddress);
  std::printf("protocol        %s\n", ProtocolCaption(mip.Config.Protocol));
  std::printf("speed           %s\n", SpeedCaption(mip.Config.InterfaceSpeed).c_str());
  std::printf("password        %u\n", mip.Config.Password.Get());
  std::printf("nominal period  %s s\n", RegionalFixed(mip.NominalPeriod, 3).c_str());
  std::printf("measure period  %s s\n", RegionalFixed(mip.Config.MeasurePeriod.Get(), 3).c_str());
  std::printf("archive period  %u periods, %s s\n", mip.Config.ArchivePeriod.Get(),
              RegionalFixed(mip.Config.ArchivePeriod.Get() * period, 3).c_str());
}

int RunInfo(const Options& options, const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("info", "takes no arguments");
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  const TResult result = runner.Run(JobReadSettingsPage);
  if (result != RESULT_OK) return runner.Fail(result);
  PrintInfo(runner.Mip());
  return 0;
}

int RunRead(const Options& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("read", "give the configuration file to write");
  if (!RegularOrMissing(args[0])) return kExitFile;
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  const TResult result = runner.Run(JobReadAll);
  if (result != RESULT_OK) return runner.Fail(result);
  const TMIP& mip = runner.Mip();
  if (!SaveConfiguration(mip, args[0])) return CannotWrite(args[0]);
  std::fprintf(stderr, "%s\n", ReadSuccessSentence(mip.ChannelCount, mip.RelayCount).c_str());
  return 0;
}

int RunWrite(const Options& options, const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  const bool force = TakeFlag(args, "--force");
  if (args.size() > 1) return RunBatchWrite(options, args, force);
  if (args.size() != 1) return Usage("write", "give the configuration file to send");
  if (!RegularOrMissing(args[0])) return kExitFile;
  JobRunner runner;
  TMIP& mip = runner.Mip();
  if (!LoadConfiguration(mip, args[0])) {
    std::fprintf(stderr, "k7104-cli: %s is no configuration file that can be read\n",
                 args[0].c_str());
    return kExitFile;
  }
  if (RefusesUnknownValues(args[0], mip.Config, force)) return kExitFile;
  if (!runner.Open(options)) return runner.OpenFailed();
  const TResult result = runner.Run(JobWriteAll);
  if (result != RESULT_OK) {
    const int code = runner.Fail(result);
    // What the instrument holds now: the file's groups up to the failure, its own after it.
    std::fprintf(stderr, "%s\n", WrittenSoFarText(GroupsWritten(mip)).c_str());
    return code;
  }
  std::fprintf(stderr, "%s\n", WriteSuccessSentence(mip.ChannelCount, mip.RelayCount).c_str());
  return 0;
}

struct LiveOptions {
  long count = -1;  // polls to make; -1 until stopped
  long intervalMs = 0;
  std::string csvPath;
  bool append = false;  // an existing CSV file is added to, never emptied
};

bool ParseLiveOptions(const std::vector<std::string>& given, LiveOptions& live) {
  std::vector<std::string> args = given;
  live.append = TakeFlag(args, "--append");
  for (size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    const std::string& option = args[i];
    const std::string& value = args[i + 1];
    if (option == "--count") {
      if (!ParseLong(value, 1, 1000000000, live.count)) return false;
    } else if (option == "--interval") {
      if (!ParseLong(value, 0, 3600000, live.intervalMs)) return false;
    } else if (option == "--csv" && !value.empty()) {
      live.csvPath = value;
    } else {
      return false;
    }
  }
  return !live.append || !live.csvPath.empty();
}

// A log already in the file is never emptied: without --append an existing file is refused.
int CsvFileRefused(const std::string& path) {
  std::fprintf(stderr, "k7104-cli: %s exists; give --append to add the rows to it\n", path.c_str());
  return kExitFile;
}

bool OpenLiveCsv(TLiveCsvLog& csv, const LiveOptions& live, int channels) {
  return csv.Open(live.csvPath, channels, {},
                  live.append ? TLiveCsvOpen::Append : TLiveCsvOpen::New);
}

int CannotLog(const TLiveCsvLog& csv, const std::string& path, int channels) {
  if (errno == EEXIST) return CsvFileRefused(path);
  if (!csv.FoundOtherLog()) return CannotWrite(path);
  std::fprintf(stderr,
               "k7104-cli: %s holds no log of %d channels (its first line differs); nothing "
               "added\n",
               path.c_str(), channels);
  return kExitFile;
}

int RunLive(const Options& options, const std::vector<std::string>& args) {
  LiveOptions live;
  if (!ParseLiveOptions(args, live))
    return Usage("live",
                 "options are --count N, --interval MS (0..3600000), --csv FILE and, with --csv, "
                 "--append");
  if (!live.csvPath.empty() && !RegularOrMissing(live.csvPath)) return kExitFile;
  if (!live.csvPath.empty() && !live.append && FileKindOf(live.csvPath) == TFileKind::Regular)
    return CsvFileRefused(live.csvPath);
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  const TMIP& mip = runner.Mip();
  TLiveCsvLog csv;
  for (long poll = 0; (live.count < 0 || poll < live.count) && !runner.Interrupted(); ++poll) {
    if (poll > 0 && live.intervalMs > 0 && runner.Pause(live.intervalMs)) break;
    const TResult result = runner.Run(0);
    if (runner.Interrupted()) break;
    if (result != RESULT_OK) return runner.Fail(result);
    const TDateTime now = NowLocal();
    // The file is made at the first poll, when the instrument's channel count is known.
    if (!live.csvPath.empty() && !csv.IsOpen() && !OpenLiveCsv(csv, live, mip.ChannelCount))
      return CannotLog(csv, live.csvPath, mip.ChannelCount);
    if (csv.IsOpen() && !csv.Append(now, mip.CurrentValue)) return CannotWrite(live.csvPath);
    std::string line = RegionalDateTime(now);
    for (int i = 0; i < mip.ChannelCount; ++i) line += "\t" + MeasurementText(mip.CurrentValue[i]);
    std::printf("%s\n", line.c_str());
    if (!OutputReached()) return kExitFile;  // polling on with nowhere to show it is no success
  }
  return 0;
}

// --csv, anywhere among the arguments, writes CSV for analysis instead of the text file.
bool TakeCsvOption(std::vector<std::string>& args) {
  const auto csv = std::find(args.begin(), args.end(), "--csv");
  if (csv == args.end()) return false;
  args.erase(csv);
  return true;
}

// --resume FILE, anywhere among the arguments; false when FILE is missing.
bool TakeResumeOption(std::vector<std::string>& args, std::string& path) {
  const auto resume = std::find(args.begin(), args.end(), "--resume");
  if (resume == args.end()) return true;
  if (resume + 1 == args.end() || resume[1].empty()) return false;
  path = resume[1];
  args.erase(resume, resume + 2);
  return true;
}

// A read that brought no record leaves the file as it was: its failure, or the archive's end.
int NoRecordRead(const JobRunner& runner, TResult result, uint32_t record,
                 const std::string& path) {
  if (result != RESULT_OK) {
    std::fprintf(stderr, "k7104-cli: no record read, %s left as it was\n", path.c_str());
    return runner.Fail(result);
  }
  std::fprintf(stderr, "k7104-cli: the instrument's archive has no record %u, %s left as it was\n",
               record, path.c_str());
  return kExitNoRecords;
}

int ReadArchive(const Options& options, uint16_t first, uint16_t last, const std::string& path,
                bool csv) {
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  TMIP& mip = runner.Mip();
  const TResult result = runner.RunOverRange(JobReadArchive, first, last);
  // The file is replaced only by records; what was read before a failure goes to it all the same.
  if (mip.ArchiveCount() == 0) return NoRecordRead(runner, result, first, path);
  const bool written =
      csv ? WriteArchiveCsv(path, mip.MeasArchive, mip.ChannelCount)
          : WriteArchiveText(path, mip.MeasArchive, mip.ChannelCount, RegionalTextForm());
  if (!written) return CannotWrite(path);
  std::fprintf(stderr, "%zu records written to %s\n", mip.ArchiveCount(), path.c_str());
  return result == RESULT_OK ? 0 : runner.Fail(result);
}

// Goes on with a file an earlier read of first..last wrote: from the record after its last one,
// the new records put in among its lines as one read of the whole range would have written them.
int ResumeArchive(const Options& options, uint16_t first, uint16_t last, const std::string& path,
                  bool csv) {
  const TTextForm form = RegionalTextForm();
  TArchiveExport previous;
  std::string why;
  if (!RegularOrMissing(path)) return kExitFile;
  if (!previous.Read(path, first, form, why)) {
    std::fprintf(stderr, "k7104-cli: cannot go on with %s: %s\n", path.c_str(), why.c_str());
    return kExitFile;
  }
  if (previous.Csv() != csv) {
    std::fprintf(stderr, "k7104-cli: %s is %s; give --csv only with a CSV file\n", path.c_str(),
                 previous.Csv() ? "CSV" : "the text file");
    return kExitUsage;
  }
  if (previous.NextRecord() > last) {
    std::fprintf(stderr, "%s already holds records %u..%u\n", path.c_str(), first, last);
    return 0;
  }
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  TMIP& mip = runner.Mip();
  const auto from = static_cast<uint16_t>(previous.NextRecord());
  const TResult result = runner.RunOverRange(JobReadArchive, from, last);
  if (mip.ArchiveCount() == 0) return NoRecordRead(runner, result, from, path);
  if (mip.ChannelCount != previous.Channels()) {
    std::fprintf(stderr, "k7104-cli: %s has %d channels, the instrument %u; left as it was\n",
                 path.c_str(), previous.Channels(), mip.ChannelCount);
    return kExitFile;
  }
  if (!previous.WriteWith(path, mip.MeasArchive, form)) return CannotWrite(path);
  std::fprintf(stderr, "%zu records added to %s, %zu in all\n", mip.ArchiveCount(), path.c_str(),
               mip.ArchiveCount() + previous.Count());
  return result == RESULT_OK ? 0 : runner.Fail(result);
}

int RunArchive(const Options& options, const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  const bool csv = TakeCsvOption(args);
  std::string resume;
  const bool resumeGiven = TakeResumeOption(args, resume);
  long first = 0, last = 0;
  if (!resumeGiven || args.size() != (resume.empty() ? 3u : 2u) ||
      !ParseLong(args[0], 0, 65535, first) || !ParseLong(args[1], first, 65535, last))
    return Usage("archive",
                 "give FIRST LAST (0..65535, FIRST <= LAST) and the text file, or FIRST LAST "
                 "--resume FILE with the file an earlier read of them wrote");
  const auto from = static_cast<uint16_t>(first);
  const auto to = static_cast<uint16_t>(last);
  if (!resume.empty()) return ResumeArchive(options, from, to, resume, csv);
  if (!RegularOrMissing(args[2])) return kExitFile;
  return ReadArchive(options, from, to, args[2], csv);
}

// "YYYY-MM-DD HH:MM:SS" as a valid date and time, or false.
bool ParseClock(const std::string& text, TDateTime& value) {
  TDateTimeParts p;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &p.Year, &p.Month, &p.Day, &p.Hour,
                  &p.Minute, &p.Second, &used) != 6 ||
      static_cast<size_t>(used) != text.size())
    return false;
  p.Millisecond = 0;
  if (!IsValidDate(p.Year, p.Month, p.Day) || !IsValidTime(p.Hour, p.Minute, p.Second, 0))
    return false;
  value = EncodeDateTime(p);
  return true;
}

int RunSetClock(const Options& options, const std::vector<std::string>& args) {
  TDateTime clock = NowLocal();
  if (args.size() > 1 || (args.size() == 1 && args[0] != "--system" && !ParseClock(args[0], clock)))
    return Usage("set-clock", "give --system or a date and time as \"YYYY-MM-DD HH:MM:SS\"");
  if (clock < EncodeDate(2000, 1, 1) || clock >= EncodeDate(2256, 1, 1))
    return Usage("set-clock", "the instrument keeps years 2000..2255 only");
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  runner.Mip().DeviceClock = clock;
  const TResult result = runner.Run(OpWriteClock);
  if (result != RESULT_OK) return runner.Fail(result);
  std::fprintf(stderr, "clock set to %s\n", RegionalDateTime(clock).c_str());
  return 0;
}

int RunSetAddress(const Options& options, const std::vector<std::string>& args) {
  long address = 0;
  if (args.size() != 1 || !ParseLong(args[0], 1, 255, address))
    return Usage("set-address", "give the new address, 1..255");
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  runner.Mip().InterfaceAddress = static_cast<uint8_t>(address);
  const TResult result = runner.Run(OpChangeAddress);
  if (result != RESULT_OK) return runner.Fail(result);
  std::fprintf(stderr, "the instrument at %u now answers at %ld\n", options.address, address);
  return 0;
}

}  // namespace

bool RegularOrMissing(const std::string& path) {
  if (path.empty() || path.back() == '/') {
    std::fprintf(stderr, "k7104-cli: cannot use '%s': %s\n", path.c_str(),
                 path.empty() ? "the file name is empty" : "a name ending in '/' names a folder");
    return false;
  }
  if (FileKindOf(path) != TFileKind::Other) return true;
  std::fprintf(stderr, "k7104-cli: %s is not a regular file\n", path.c_str());
  return false;
}

int CannotWrite(const std::string& path) {
  const int error = errno;
  const bool other = error == EINVAL && FileKindOf(path) == TFileKind::Other;
  std::fprintf(stderr, "k7104-cli: cannot write %s: %s\n", path.c_str(),
               other ? "not a regular file" : std::strerror(error));
  return kExitFile;
}

const std::vector<Command>& JobCommands() {
  static const std::vector<Command> commands = {
      {"scan", "[FIRST LAST] [--fast [--recheck]] | --rates [--address A | FIRST LAST] [--recheck]",
       "search the line for instruments (default 1..255); --fast: a timeout per address from the "
       "rate and the replies of the instruments found so far instead of 150 ms; --recheck: then "
       "probe the silent addresses again with 150 ms; --rates: probe the address (default the "
       "--address option) or FIRST..LAST at each of the 15 rates, fastest first, with the fast "
       "timeout, and print RATE ADDRESS MODEL for every answer (--recheck: then the silent "
       "addresses again at every rate with 150 ms); the line keeps --baud",
       RunScan},
      {"info", "", "identity, model, firmware, counts, state, clock and settings", RunInfo},
      {"read", "FILE.prb", "read the whole configuration and save it to the file", RunRead},
      {"write", "FILE.prb [--addresses LIST [--any-model]] [--force]",
       "load the configuration file and write it to the instrument; with --addresses (e.g. "
       "1-20,33) to each instrument of the list in turn, read back and compared, one line per "
       "address; an instrument of another model than the first one written, or with fewer "
       "channels or relays than the file sets up, is left alone unless --any-model is given; "
       "exits 1 unless every one was written and checked; a file with codes no choice list "
       "holds or numbers that are none (NAN, INF) is refused (exit 74) unless --force is given",
       RunWrite},
      {"live", "[--count N] [--interval MS] [--csv FILE [--append]]",
       "read the current values again and again (MS apart; --csv: also one CSV row per poll "
       "into FILE, which must not exist yet unless --append adds the rows to the log it holds); "
       "Ctrl+C stops",
       RunLive},
      {"archive", "FIRST LAST FILE.txt [--csv] | FIRST LAST --resume FILE.txt [--csv]",
       "read archive records FIRST..LAST into a text file (--csv: CSV in UTF-8 for analysis); "
       "--resume: go on with the file an earlier read of FIRST..LAST wrote before it failed or "
       "was stopped, from the record after its last one, and put the new records in among its "
       "lines",
       RunArchive},
      {"set-clock", "[--system | \"YYYY-MM-DD HH:MM:SS\"]",
       "set the instrument's clock (default: the computer's clock)", RunSetClock},
      {"set-address", "NEW", "give the instrument the Modbus address NEW", RunSetAddress},
  };
  return commands;
}

}  // namespace cli
