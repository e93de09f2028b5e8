// The journal of a build without SQLite (the Windows cross build, whose toolchain brings none):
// every use fails with TJournalError::Unavailable, which the program reports once like any other
// failure of the journal, and a write that requires the journal does not start.
#include <utility>

#include "files/Journal.h"

TJournal::TJournal(std::string path) : path_(std::move(path)) {}

TJournal::~TJournal() = default;

bool TJournal::Fail(TJournalError error, const std::string& detail) {
  error_ = error;
  detail_ = detail;
  return false;
}

bool TJournal::Append(const TJournalRecord&) {
  return Fail(TJournalError::Unavailable, "");
}

bool TJournal::CheckWritable() {
  return Fail(TJournalError::Unavailable, "");
}

bool TJournal::Read(const TJournalFilter&, std::vector<TJournalRecord>& records) {
  records.clear();
  return Fail(TJournalError::Unavailable, "");
}
