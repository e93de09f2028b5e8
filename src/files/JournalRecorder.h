// What the register map tells of reads and writes turned into journal records: every group written
// to an instrument becomes one record with the values that changed since the last read of that
// group from that instrument. Hand it to TMIP::SetWriteObserver and every job that writes, from
// the window or the command line, is recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "files/Journal.h"
#include "instrument/RegisterMap.h"
#include "instrument/WriteObserver.h"

class TModBus;

class TJournalRecorder final : public TWriteObserver {
 public:
  // Records into journal, naming the program and its version and the line of bus; numbers take
  // the decimal separator given, as the pages show them.
  TJournalRecorder(TJournal& journal, const TModBus& bus, std::string program, std::string version,
                   std::string separator);

  // When set, no write starts unless the journal can take its record (the job ends with 13 and
  // JobJournalRefused). Off by default: a write goes ahead, and the failure is only reported. May
  // be set from another thread than the one that writes.
  void SetRequired(bool required) { required_ = required; }
  bool Required() const { return required_; }
  // Told of the first failure of the journal only, once per recorder (once per run of the
  // program), on the thread that met it; JournalErrorText makes the sentence.
  std::function<void(TJournalError error, const std::string& detail)> OnFailure;
  // How many records could not be kept.
  int LostRecords() const { return lost_; }

  // A request sent as typed (k7104-cli raw) that writes (functions 5, 6, 15, 16): one record
  // with the registers or coils and the data sent.
  void RawWritten(const TModBusFrame& request, TResult result, int16_t exception);

  void IdentityRead(uint8_t address, const TIdentity& identity) override;
  void GroupRead(const TGroup& group, uint8_t address, const TDataImage& image) override;
  void GroupWritten(const TGroupWriteEnd& end, const TDataImage& image) override;
  bool WritesMayStart() override;

 private:
  // What was last read from the instrument at one address.
  struct TKnown {
    std::optional<TIdentity> Identity;
    TConfigBlock Block{};
    bool GroupRead[LastGroup + 1] = {};
    std::optional<TDateTime> Clock;
  };
  TKnown& KnownAt(uint8_t address) { return known_[address]; }
  void Remember(const TGroup& group, uint8_t address, const TDataImage& image);
  void Forget(const TGroup& group, uint8_t address);
  TJournalRecord NewRecord(uint8_t address) const;
  TJournalRecord MakeRecord(const TGroupWriteEnd& end, const TDataImage& image);
  void Keep(const TJournalRecord& record);
  void AddChanges(TJournalRecord& record, const TGroupWriteEnd& end, const TDataImage& image);
  std::string LineText() const;
  void Report(TJournalError error, const std::string& detail);

  TJournal& journal_;
  const TModBus& bus_;
  std::string program_;
  std::string version_;
  std::string separator_;
  std::string login_;
  std::atomic<bool> required_{false};
  bool reported_ = false;
  int lost_ = 0;
  std::map<uint8_t, TKnown> known_;
};

// "YYYY-MM-DD HH:MM:SS" of a date-time, the journal's own form whatever the locale.
std::string JournalDateTimeText(TDateTime value);
