// write FILE.prb --addresses LIST: one configuration to many instruments, each read back and
// compared with what was written, one line per address.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/JobRunner.h"
#include "cli/Output.h"
#include "files/ConfigFile.h"
#include "files/RegularFile.h"
#include "instrument/BatchWrite.h"
#include "instrument/JobMessages.h"

namespace cli {

namespace {

constexpr int kExitNotAllWritten = 1;

bool ParseAddress(const std::string& text, long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 3)
    return false;
  value = std::strtol(text.c_str(), nullptr, 10);
  return value >= 1 && value <= 255;
}

bool Contains(const std::vector<uint8_t>& list, long address) {
  for (uint8_t a : list)
    if (a == address) return true;
  return false;
}

std::string ModelColumn(const TBatchOutcome& outcome) {
  if (outcome.ModelCode == 0) return "-";
  return ModelTitle(outcome.ModelCode);
}

}  // namespace

bool ParseAddressList(const std::string& text, std::vector<uint8_t>& addresses) {
  addresses.clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t dash = item.find('-');
    long first = 0, last = 0;
    if (!ParseAddress(item.substr(0, dash), first)) return false;
    last = first;
    if (dash != std::string::npos && (!ParseAddress(item.substr(dash + 1), last) || last < first))
      return false;
    for (long a = first; a <= last; ++a)
      if (!Contains(addresses, a)) addresses.push_back(static_cast<uint8_t>(a));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

int RunBatchWrite(const Options& options, const std::vector<std::string>& args, bool force) {
  std::string path, list;
  bool anyModel = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--any-model") {
      anyModel = true;
    } else if (args[i] == "--addresses" && i + 1 < args.size() && list.empty()) {
      list = args[++i];
    } else if (path.empty() && args[i].rfind("--", 0) != 0) {
      path = args[i];
    } else {
      path.clear();
      break;
    }
  }
  std::vector<uint8_t> addresses;
  if (path.empty() || list.empty() || !ParseAddressList(list, addresses)) {
    std::fprintf(stderr,
                 "k7104-cli write: give the configuration file and --addresses LIST, a list of "
                 "addresses 1..255 and ranges FIRST-LAST (FIRST <= LAST) separated by commas, "
                 "e.g. 1-20,33\n");
    return kExitUsage;
  }
  if (FileKindOf(path) == TFileKind::Other) {
    std::fprintf(stderr, "k7104-cli: %s is not a regular file\n", path.c_str());
    return kExitFile;
  }
  TBatchPlan plan;
  if (!LoadConfigFile(path, plan.Block)) {
    std::fprintf(stderr, "k7104-cli: %s is no configuration file that can be read\n", path.c_str());
    return kExitFile;
  }
  if (RefusesUnknownValues(path, plan.Block, force)) return kExitFile;
  plan.AnyModel = anyModel;
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  const TConfigNeeds needs = NeedsOf(plan.Block);
  const TRunJob run = [&runner](uint8_t job) { return runner.Run(job); };
  int written = 0;
  for (uint8_t address : addresses) {
    const TBatchOutcome outcome = WriteAndVerify(runner.Mip(), run, plan, address);
    const bool ok = outcome.State == TBatchState::Done;
    if (ok) ++written;
    std::printf("%u\t%s\t%s\n", address, ModelColumn(outcome).c_str(),
                ok ? "ok" : BatchOutcomeText(outcome, needs).c_str());
    // The lines are the only record of which instrument got what: no instrument is written whose
    // line could not be kept.
    if (!OutputReached()) {
      std::fprintf(stderr, "k7104-cli: stopped after address %u, whose line was lost\n", address);
      return kExitFile;
    }
    if (runner.Interrupted()) break;
  }
  std::fprintf(stderr, "written and checked: %d of %zu\n", written, addresses.size());
  return written == static_cast<int>(addresses.size()) ? 0 : kExitNotAllWritten;
}

}  // namespace cli
