// The journal of writes in SQLite.
#include "files/Journal.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr int kBusyTimeoutMs = 10000;

// Records and their values; the triggers keep what was added as it was.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS records(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  utc TEXT NOT NULL, local TEXT NOT NULL, login TEXT NOT NULL, program TEXT NOT NULL,
  version TEXT NOT NULL, line TEXT NOT NULL, address INTEGER NOT NULL, model TEXT NOT NULL,
  firmware TEXT NOT NULL, group_name TEXT NOT NULL, outcome INTEGER NOT NULL,
  failure TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS changes(
  record INTEGER NOT NULL REFERENCES records(id), position INTEGER NOT NULL,
  element TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS changes_of_record ON changes(record);
CREATE TRIGGER IF NOT EXISTS records_kept BEFORE UPDATE ON records
  BEGIN SELECT RAISE(ABORT, 'journal records are never changed'); END;
CREATE TRIGGER IF NOT EXISTS records_not_removed BEFORE DELETE ON records
  BEGIN SELECT RAISE(ABORT, 'journal records are never removed'); END;
CREATE TRIGGER IF NOT EXISTS changes_kept BEFORE UPDATE ON changes
  BEGIN SELECT RAISE(ABORT, 'journal records are never changed'); END;
CREATE TRIGGER IF NOT EXISTS changes_not_removed BEFORE DELETE ON changes
  BEGIN SELECT RAISE(ABORT, 'journal records are never removed'); END;
)";

// A prepared statement that finalizes itself.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~TStatement() { sqlite3_finalize(statement_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  bool Ready() const { return statement_ != nullptr; }
  void Bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  void Bind(int index, int64_t number) { sqlite3_bind_int64(statement_, index, number); }
  int Step() { return sqlite3_step(statement_); }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  int64_t Number(int column) const { return sqlite3_column_int64(statement_, column); }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

bool IsDamage(int code) {
  return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

}  // namespace

TJournal::TJournal(std::string path) : path_(std::move(path)) {}

TJournal::~TJournal() {
  sqlite3_close(db_);
}

bool TJournal::Fail(TJournalError error, const std::string& detail) {
  error_ = error;
  detail_ = detail;
  return false;
}

// A statement that returns no rows; a failure is kept with the database's words.
bool TJournal::Execute(const char* sql) {
  char* message = nullptr;
  const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  const std::string words = message ? message : sqlite3_errstr(code);
  sqlite3_free(message);
  if (code == SQLITE_OK) return true;
  return Fail(IsDamage(code) ? TJournalError::Damaged : TJournalError::CannotWrite, words);
}

// Opens the file, making it and its folder when missing. A file that is no journal is left alone:
// it may be somebody's data, and the records in a damaged journal are still the user's.
bool TJournal::Open() {
  if (db_ != nullptr) return true;
  if (path_.empty()) return Fail(TJournalError::NoPlace, "");
  std::error_code made;
  // The path is UTF-8; a plain string would be taken in the ANSI code page on Windows.
  const std::filesystem::path path(std::u8string(path_.begin(), path_.end()));
  std::filesystem::create_directories(path.parent_path(), made);
  if (made) return Fail(TJournalError::NoPlace, made.message());
  const int code =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (code != SQLITE_OK) {
    const std::string words = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    sqlite3_close(db_);
    db_ = nullptr;
    return Fail(TJournalError::CannotOpen, words);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  const bool ready =
      Execute("PRAGMA journal_mode=WAL") && Execute("PRAGMA synchronous=FULL") && Execute(kSchema);
  if (ready) return true;
  sqlite3_close(db_);
  db_ = nullptr;
  return false;
}

bool TJournal::CheckWritable() {
  if (!Open()) return false;
  if (!Execute("BEGIN IMMEDIATE")) return false;
  return Execute("ROLLBACK");
}

bool TJournal::InsertRecord(const TJournalRecord& r) {
  TStatement record(db_,
                    "INSERT INTO records(utc, local, login, program, version, line, address, "
                    "model, firmware, group_name, outcome, failure) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
  if (!record.Ready()) return Fail(TJournalError::CannotWrite, sqlite3_errmsg(db_));
  int at = 1;
  for (const std::string* text : {&r.Utc, &r.Local, &r.Login, &r.Program, &r.Version, &r.Line})
    record.Bind(at++, *text);
  record.Bind(at++, static_cast<int64_t>(r.Address));
  for (const std::string* text : {&r.Model, &r.Firmware, &r.Group}) record.Bind(at++, *text);
  record.Bind(at++, static_cast<int64_t>(r.Outcome));
  record.Bind(at, r.Failure);
  if (record.Step() != SQLITE_DONE) return Fail(TJournalError::CannotWrite, sqlite3_errmsg(db_));
  const int64_t id = sqlite3_last_insert_rowid(db_);
  TStatement change(db_,
                    "INSERT INTO changes(record, position, element, before, after) "
                    "VALUES(?1, ?2, ?3, ?4, ?5)");
  if (!change.Ready()) return Fail(TJournalError::CannotWrite, sqlite3_errmsg(db_));
  for (size_t k = 0; k < r.Changes.size(); ++k) {
    change.Bind(1, id);
    change.Bind(2, static_cast<int64_t>(k));
    change.Bind(3, r.Changes[k].Element);
    change.Bind(4, r.Changes[k].Before);
    change.Bind(5, r.Changes[k].After);
    if (change.Step() != SQLITE_DONE) return Fail(TJournalError::CannotWrite, sqlite3_errmsg(db_));
    change.Reset();
  }
  return true;
}

// The record and its values go in one transaction: all of it or nothing.
bool TJournal::Append(const TJournalRecord& record) {
  if (!Open() || !Execute("BEGIN IMMEDIATE")) return false;
  if (InsertRecord(record) && Execute("COMMIT")) return true;
  const TJournalError error = error_;
  const std::string detail = detail_;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return Fail(error, detail);
}

bool TJournal::Read(const TJournalFilter& filter, std::vector<TJournalRecord>& records) {
  records.clear();
  if (!Open()) return false;
  TStatement query(db_,
                   "SELECT id, utc, local, login, program, version, line, address, model, "
                   "firmware, group_name, outcome, failure FROM records "
                   "WHERE (?1 = 0 OR address = ?1) AND local >= ?2 AND (?3 = '' OR local <= ?3) "
                   "AND (?4 = '' OR model = ?4) AND (?5 = '' OR group_name = ?5) "
                   "ORDER BY id DESC LIMIT ?6");
  TStatement values(db_,
                    "SELECT element, before, after FROM changes WHERE record = ?1 "
                    "ORDER BY position");
  if (!query.Ready() || !values.Ready()) return Fail(TJournalError::Damaged, sqlite3_errmsg(db_));
  query.Bind(1, static_cast<int64_t>(filter.Address));
  query.Bind(2, filter.Since);
  query.Bind(3, filter.Until);
  query.Bind(4, filter.Model);
  query.Bind(5, filter.Group);
  // A negative limit is none.
  query.Bind(6, filter.Limit == 0 ? int64_t{-1} : static_cast<int64_t>(filter.Limit));
  int code = SQLITE_ROW;
  while ((code = query.Step()) == SQLITE_ROW) {
    TJournalRecord r;
    r.Id = query.Number(0);
    std::string* texts[] = {&r.Utc, &r.Local, &r.Login, &r.Program, &r.Version, &r.Line};
    for (int k = 0; k < 6; ++k) *texts[k] = query.Text(1 + k);
    r.Address = static_cast<int>(query.Number(7));
    r.Model = query.Text(8);
    r.Firmware = query.Text(9);
    r.Group = query.Text(10);
    r.Outcome = static_cast<TJournalOutcome>(query.Number(11));
    r.Failure = query.Text(12);
    values.Bind(1, r.Id);
    while (values.Step() == SQLITE_ROW)
      r.Changes.push_back({values.Text(0), values.Text(1), values.Text(2)});
    values.Reset();
    records.push_back(std::move(r));
  }
  if (code == SQLITE_DONE) return true;
  return Fail(IsDamage(code) ? TJournalError::Damaged : TJournalError::CannotOpen,
              sqlite3_errmsg(db_));
}
