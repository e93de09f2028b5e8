// The journal of writes as the window keeps it: the user's journal, recorded into by every job
// that writes to the window's instrument and by the batch write's own instrument object. Its first
// failure in a run goes to the event log, once; whether a write may start while the journal
// cannot be kept is a setting of the port settings dialog, and how many of an instrument's
// records the configuration report lists one of the journal dialog.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "files/Journal.h"
#include "files/JournalRecorder.h"
#include "shell/settings/Settings.h"

class TModBus;

// One connection to the journal and the recorder that writes through it, for one instrument
// object; made and used on one thread at a time.
class TJournalWriter {
 public:
  TJournalWriter(const std::string& path, const TModBus& bus);
  TJournalRecorder& Recorder() { return recorder_; }

 private:
  TJournal journal_;
  TJournalRecorder recorder_;
};

class TWriteJournal : public QObject {
  Q_OBJECT

 public:
  // Records the writes made over the window's bus into the journal at path (empty: the user's);
  // reportFailure says a failure in the event log, on the GUI thread.
  TWriteJournal(const TModBus& bus, std::function<void(const QString&)> reportFailure,
                const QString& path = QString(), QObject* parent = nullptr);
  ~TWriteJournal() override;

  // The window's recorder, for the window's instrument object.
  TJournalRecorder& Recorder() { return window_->Recorder(); }
  // A writer for another instrument object on its own line, required as the window's is; its
  // failures are said as the window's are, within the same once per run.
  std::unique_ptr<TJournalWriter> WriterFor(const TModBus& bus);

  QString Path() const { return QString::fromStdString(path_); }
  // Whether a write refuses to start while the journal cannot be kept.
  bool Required() const { return required_; }
  void SetRequired(bool required);
  // The sentence that says why no record can be added now; empty when one can.
  QString WhyNotWritable() const;
  // The records the filter lets through, newest first; false with the sentence in *why.
  bool Read(const TJournalFilter& filter, std::vector<TJournalRecord>& records, QString* why) const;

  // How many of the instrument's last records the configuration report lists (0: none).
  int ReportRecords() const { return reportRecords_; }
  void SetReportRecords(int count);

 private:
  void Watch(TJournalRecorder& recorder);
  void Failed(const QString& sentence);

  std::string path_;
  std::function<void(const QString&)> reportFailure_;
  std::unique_ptr<TJournalWriter> window_;
  bool required_ = false;
  bool reported_ = false;
  int reportRecords_ = Settings::DefaultJournalReportRecords;
};

// The sentence the window reports a write with when the journal was required and could not be
// kept: nothing was sent.
inline constexpr const char* JournalRefusedSentence =
    "Запись не начата: журнал записей не ведётся, а в настройках порта запись без журнала "
    "запрещена. В прибор ничего не записано.";
