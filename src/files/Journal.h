// The journal of writes: one SQLite database per user in which every group written to an
// instrument is one record — when, who, with which program, on which line, to which instrument,
// which values changed from what to what, and how the write ended. Records are only ever added
// (the database refuses to change or remove one); WAL and a busy timeout let the window and the
// command line add records at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

// One value of a group: its element in the pages' words, before (the last read of the group, or
// "не считано") and after (what was sent).
struct TJournalChange {
  std::string Element;
  std::string Before;
  std::string After;
};

enum class TJournalOutcome : uint8_t {
  Confirmed = 0,  // the instrument confirmed every transaction of the group
  Failed = 1,     // nothing of it was taken
  Partly = 2,     // some of its transactions went through before one failed
};

struct TJournalRecord {
  int64_t Id = 0;     // given by the journal, in the order the records were added
  std::string Utc;    // "YYYY-MM-DD HH:MM:SS"
  std::string Local;  // the same moment in the computer's local time
  std::string Login;
  std::string Program;  // "k7104-cli", "k7104-configurator"
  std::string Version;
  std::string Line;  // "/dev/ttyUSB0, 9600 бод" or "10.0.0.5:4001, RTU поверх TCP"
  int Address = 0;
  std::string Model;     // "К7104Т1"
  std::string Firmware;  // "2.3"; empty when it was not read
  std::string Group;     // as the job messages name it: "первых уставок"
  TJournalOutcome Outcome = TJournalOutcome::Confirmed;
  std::string Failure;  // the failure sentence when not confirmed
  std::vector<TJournalChange> Changes;
};

// Which records Read gives: all, or those of one address, model and group, from a local date and
// time on and up to another; the newest Limit of them when a limit is given.
struct TJournalFilter {
  int Address = 0;    // 0: every address
  std::string Since;  // "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS", local time; empty: from the first
  std::string Until;  // the same forms, the moment itself included; empty: to the last
  std::string Model;  // "К7104Т1"; empty: every model
  std::string Group;  // as the records name it; empty: every group
  size_t Limit = 0;   // 0: no limit
};

enum class TJournalError : uint8_t {
  None,
  NoPlace,      // no folder for it can be found or made
  CannotOpen,   // the file cannot be opened or made
  Damaged,      // the file is no journal (or no database at all); it is left as it is
  CannotWrite,  // a record could not be added: a full disk, a read-only file, a lock held too long
  Unavailable,  // this build of the program keeps no journal
};

class TJournal {
 public:
  // The journal at path; nothing is opened before the first use.
  explicit TJournal(std::string path);
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  const std::string& Path() const { return path_; }
  // Adds the record (Id is ignored); false with LastError when it could not be kept.
  bool Append(const TJournalRecord& record);
  // Whether a record could be added now: opened (made when missing) and a write lock taken and
  // given back.
  bool CheckWritable();
  // The records the filter lets through, newest first; false with LastError when unreadable.
  bool Read(const TJournalFilter& filter, std::vector<TJournalRecord>& records);
  TJournalError LastError() const { return error_; }
  // What the system or the database said of the last failure.
  const std::string& LastDetail() const { return detail_; }

 private:
  bool Open();
  bool Fail(TJournalError error, const std::string& detail);
  bool Execute(const char* sql);
  bool InsertRecord(const TJournalRecord& record);

  std::string path_;
  sqlite3* db_ = nullptr;
  TJournalError error_ = TJournalError::None;
  std::string detail_;
};

// $XDG_DATA_HOME/k7104-configurator/journal.sqlite (~/.local/share when it is not set); on
// Windows beside the settings, in %APPDATA%\k7104-configurator. Empty when there is no home.
std::string DefaultJournalPath();
// The login name of the user the program runs for; empty when the system does not say.
std::string LoginName();
// "записано и подтверждено", "не записано", "записано частично".
std::string JournalOutcomeText(TJournalOutcome outcome);
// The sentence for the user: "Журнал записей не ведётся: <why> (<path>)."
std::string JournalErrorText(TJournalError error, const std::string& path,
                             const std::string& detail);
// "не считано": the value before of a group never read from the instrument.
extern const char* const JournalNotRead;
