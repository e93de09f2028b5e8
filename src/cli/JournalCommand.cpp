// The journal command: the records of the journal of writes, newest first, as text or CSV.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Output.h"
#include "files/Journal.h"
#include "files/JournalCsv.h"
#include "instrument/DateTime.h"

namespace cli {

namespace {

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS", a date and time that exist.
bool IsJournalDate(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  const bool dateOnly =
      std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 && used == 10 &&
      text.size() == 10;
  const bool full = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day,
                                &hour, &minute, &second, &used) == 6 &&
                    used == 19 && text.size() == 19;
  return (dateOnly || full) && IsValidDate(year, month, day) &&
         IsValidTime(hour, minute, second, 0);
}

bool ParseJournalArgs(const std::vector<std::string>& args, TJournalFilter& filter, bool& csv) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--csv") {
      csv = true;
      continue;
    }
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[++i];
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (option == "--address" && !value.empty() && *end == '\0' && number >= 1 && number <= 255) {
      filter.Address = static_cast<int>(number);
    } else if (option == "--since" && IsJournalDate(value)) {
      filter.Since = value;
    } else {
      return false;
    }
  }
  return true;
}

std::string OutcomeLine(const TJournalRecord& r) {
  std::string text = JournalOutcomeText(r.Outcome);
  if (!r.Failure.empty()) text += ": " + r.Failure;
  return text;
}

void PrintText(const TJournalRecord& r) {
  std::printf("%s\t%s\t%s %s\t%s\t%d\t%s%s%s\t%s\t%s\n", r.Local.c_str(), r.Login.c_str(),
              r.Program.c_str(), r.Version.c_str(), r.Line.c_str(), r.Address, r.Model.c_str(),
              r.Firmware.empty() ? "" : " ", r.Firmware.c_str(), r.Group.c_str(),
              OutcomeLine(r).c_str());
  for (const TJournalChange& change : r.Changes)
    std::printf("\t%s: %s -> %s\n", change.Element.c_str(), change.Before.c_str(),
                change.After.c_str());
}

int RunJournal(const Options&, const std::vector<std::string>& args) {
  TJournalFilter filter;
  bool csv = false;
  if (!ParseJournalArgs(args, filter, csv)) {
    std::fprintf(stderr,
                 "k7104-cli journal: options are --address A (1..255), --since \"YYYY-MM-DD[ "
                 "HH:MM:SS]\" (local time) and --csv\n");
    return kExitUsage;
  }
  TJournal journal(DefaultJournalPath());
  std::vector<TJournalRecord> records;
  if (!journal.Read(filter, records)) {
    std::fprintf(
        stderr, "k7104-cli: %s\n",
        JournalErrorText(journal.LastError(), journal.Path(), journal.LastDetail()).c_str());
    return kExitFile;
  }
  if (csv) std::fputs(JournalCsvHeader().c_str(), stdout);
  for (const TJournalRecord& record : records) {
    if (csv)
      std::fputs(JournalCsvRows(record).c_str(), stdout);
    else
      PrintText(record);
  }
  return OutputReached() ? 0 : kExitFile;
}

}  // namespace

Command JournalCommand() {
  return {"journal", "[--address A] [--since \"YYYY-MM-DD[ HH:MM:SS]\"] [--csv]",
          "the journal of writes, newest first: when (local time), who, the program, the line, "
          "the instrument, the group, how it ended, and every value changed with before and "
          "after; --csv: one CSV row per value, with UTC",
          RunJournal};
}

}  // namespace cli
