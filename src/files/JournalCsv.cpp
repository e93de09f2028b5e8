#include "files/JournalCsv.h"

namespace {

// Quoted when it holds a comma, a quote or a line end; a quote inside is doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string JournalCsvHeader() {
  return "utc,local,login,program,version,line,address,model,firmware,group,outcome,failure,"
         "element,before,after\n";
}

std::string JournalCsvRows(const TJournalRecord& r) {
  std::string head;
  for (const std::string& field :
       {r.Utc, r.Local, r.Login, r.Program, r.Version, r.Line, std::to_string(r.Address), r.Model,
        r.Firmware, r.Group, JournalOutcomeText(r.Outcome), r.Failure})
    head += CsvField(field) + ",";
  if (r.Changes.empty()) return head + ",,\n";
  std::string rows;
  for (const TJournalChange& change : r.Changes)
    rows += head + CsvField(change.Element) + "," + CsvField(change.Before) + "," +
            CsvField(change.After) + "\n";
  return rows;
}
