// diff FILE.prb and report FILE.html: the instrument's configuration against a file, and the
// record of what an instrument holds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/JobRunner.h"
#include "files/ConfigCompare.h"
#include "files/ConfigFile.h"
#include "files/ConfigReport.h"
#include "files/ConfigValues.h"
#include "instrument/JobMessages.h"

namespace cli {

namespace {

// As diff(1): 0 the same, 1 different, 2 the line or the instrument failed.
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;
constexpr long MaxReportRecords = 1000;

int Usage(const char* command, const char* what) {
  std::fprintf(stderr, "k7104-cli %s: %s\n", command, what);
  return kExitUsage;
}

// The file's block, checked before anything is sent on the line.
bool LoadFileBlock(const std::string& path, TConfigBlock& block) {
  if (!RegularOrMissing(path)) return false;
  if (LoadConfigFile(path, block)) return true;
  std::fprintf(stderr, "k7104-cli: %s is no configuration file that can be read\n", path.c_str());
  return false;
}

void PrintGroupCounts(const TComparison& comparison) {
  for (const TGroupComparison& g : comparison.Groups)
    if (g.Differences > 0) std::fprintf(stderr, "%s: %zu\n", g.GroupName.c_str(), g.Differences);
}

int RunDiff(const Options& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("diff", "give the configuration file to compare with");
  TConfigBlock file{};
  if (!LoadFileBlock(args[0], file)) return kExitFile;
  JobRunner runner;
  if (!runner.Open(options)) return kExitTrouble;
  const TResult result = runner.Run(JobReadAll);
  if (result != RESULT_OK) {
    runner.Fail(result);
    return kExitTrouble;
  }
  const TComparison comparison = CompareWithImage(runner.Mip(), file, RegionalSeparator());
  for (const TDifference& d : comparison.Differences)
    std::printf("%s\n", DifferenceLine(d).c_str());
  if (comparison.Equal()) {
    std::fprintf(stderr, "Совпадает полностью\n");
    return 0;
  }
  PrintGroupCounts(comparison);
  return kExitDifferent;
}

struct ReportOptions {
  std::string path;
  std::string comparePath;
  long records = 0;
};

bool ParseReportOptions(const std::vector<std::string>& args, ReportOptions& report) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    const bool hasValue = i + 1 < args.size();
    if (word == "--compare" && hasValue && !args[i + 1].empty()) {
      report.comparePath = args[++i];
    } else if (word == "--archive" && hasValue) {
      char* end = nullptr;
      report.records = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || report.records < 1 || report.records > MaxReportRecords) return false;
    } else if (report.path.empty() && !word.empty() && word.rfind("--", 0) != 0) {
      report.path = word;
    } else {
      return false;
    }
  }
  return !report.path.empty();
}

// The newest records: the current record and those before it.
TResult ReadLastRecords(JobRunner& runner, long records) {
  const uint16_t current = runner.Mip().ArchiveCurrent;
  if (current == 0) return RESULT_OK;
  const long first = std::max<long>(1, current - records + 1);
  return runner.RunOverRange(JobReadArchive, static_cast<uint16_t>(first), current);
}

int RunReport(const Options& options, const std::vector<std::string>& args) {
  ReportOptions report;
  if (!ParseReportOptions(args, report))
    return Usage("report",
                 "give the HTML file, and optionally --compare FILE.prb and "
                 "--archive N (1..1000)");
  if (!RegularOrMissing(report.path)) return kExitFile;
  TConfigBlock file{};
  if (!report.comparePath.empty() && !LoadFileBlock(report.comparePath, file)) return kExitFile;
  JobRunner runner;
  if (!runner.Open(options)) return runner.OpenFailed();
  TResult result = runner.Run(JobReadAll);
  const TDateTime readAt = NowLocal();
  if (result == RESULT_OK && report.records > 0) result = ReadLastRecords(runner, report.records);
  if (result != RESULT_OK) return runner.Fail(result);
  TMIP& mip = runner.Mip();
  const TTextForm form = RegionalTextForm();
  TReportFacts facts;
  facts.Port = mip.Bus.LineName();
  facts.Baud = options.baud;
  facts.ReadAt = readAt;
  facts.ArchiveRecords = static_cast<size_t>(report.records);
  TComparison comparison;
  if (!report.comparePath.empty()) {
    comparison = CompareWithImage(mip, file, form.DecimalSeparator);
    facts.ComparedFile = report.comparePath;
    facts.Comparison = &comparison;
  }
  if (!WriteConfigurationReport(report.path, ConfigurationReportHtml(mip, facts, form)))
    return CannotWrite(report.path);
  std::fprintf(stderr, "report written to %s\n", report.path.c_str());
  return 0;
}

}  // namespace

bool RefusesUnknownValues(const std::string& path, const TConfigBlock& block, bool force) {
  const std::vector<TUnknownValue> unknown =
      UnknownValues(block, MaxChannels, MaxRelays, RegionalSeparator());
  if (unknown.empty()) return false;
  std::fprintf(stderr, "k7104-cli: %s holds values the instrument knows no meaning of%s\n",
               path.c_str(), force ? "; written all the same:" : " (--force writes them):");
  for (const TUnknownValue& value : unknown)
    std::fprintf(stderr, "  %s, %s: %s\n", GroupHeading(value.Group->Code).c_str(),
                 value.Element.c_str(), value.Text.c_str());
  return !force;
}

std::vector<Command> CompareCommands() {
  return {
      {"diff", "FILE.prb",
       "read the configuration and compare it with the file: one line per value that differs "
       "(group, element, instrument, file; TAB between them), the count of each group on "
       "stderr; exits 0 when equal, 1 when different, 2 when the line or the instrument "
       "failed, 74 for a file that cannot be read",
       RunDiff},
      {"report", "FILE.html [--compare FILE.prb] [--archive N]",
       "read the configuration and write the configuration report as HTML: identity, line, "
       "clock, every group, the device settings; --compare: with the comparison with the file, "
       "--archive: with the N newest archive records",
       RunReport},
  };
}

}  // namespace cli
