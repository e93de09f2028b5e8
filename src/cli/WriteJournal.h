// The journal of writes as the command line keeps it: the user's journal, recorded into by every
// command that writes, its first failure said once on stderr.
#pragma once

#include "files/Journal.h"
#include "files/JournalRecorder.h"

namespace cli {

// Why a write did not start under --require-journal, after the journal's own sentence.
inline constexpr const char* kJournalRefused =
    "ничего не записано: журнал записей обязателен (--require-journal)";

class WriteJournal {
 public:
  // Records the writes made over bus; bus need not be open yet.
  explicit WriteJournal(const TModBus& bus);
  WriteJournal(const WriteJournal&) = delete;
  WriteJournal& operator=(const WriteJournal&) = delete;

  TJournalRecorder& Recorder() { return recorder_; }

 private:
  TJournal journal_;
  TJournalRecorder recorder_;
};

}  // namespace cli
