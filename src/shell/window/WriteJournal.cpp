#include "shell/window/WriteJournal.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

#include "shell/settings/CorePath.h"
#include "views/TextForms.h"

namespace {

const char* const ProgramName = "k7104-configurator";

}  // namespace

// Numbers in the records take the decimal separator the pages show them with.
TJournalWriter::TJournalWriter(const std::string& path, const TModBus& bus)
    : journal_(path),
      recorder_(journal_, bus, ProgramName, K7104_VERSION_TEXT,
                TextForms::CurrentForms()->DecimalSeparator()) {}

TWriteJournal::TWriteJournal(const TModBus& bus, std::function<void(const QString&)> reportFailure,
                             const QString& path, QObject* parent)
    : QObject(parent),
      path_(path.isEmpty() ? DefaultJournalPath() : CorePath(path)),
      reportFailure_(std::move(reportFailure)),
      window_(std::make_unique<TJournalWriter>(path_, bus)) {
  setObjectName("WriteJournal");
  Watch(window_->Recorder());
}

TWriteJournal::~TWriteJournal() = default;

std::unique_ptr<TJournalWriter> TWriteJournal::WriterFor(const TModBus& bus) {
  auto writer = std::make_unique<TJournalWriter>(path_, bus);
  writer->Recorder().SetRequired(required_);
  Watch(writer->Recorder());
  return writer;
}

// The recorder says its failure on the thread that met it; the sentence is made there and said
// on the GUI thread.
void TWriteJournal::Watch(TJournalRecorder& recorder) {
  recorder.OnFailure = [this](TJournalError error, const std::string& detail) {
    const QString sentence = QString::fromStdString(JournalErrorText(error, path_, detail));
    QMetaObject::invokeMethod(
        this, [this, sentence] { Failed(sentence); }, Qt::QueuedConnection);
  };
}

void TWriteJournal::Failed(const QString& sentence) {
  if (std::exchange(reported_, true)) return;
  if (reportFailure_) reportFailure_(sentence);
}

void TWriteJournal::SetRequired(bool required) {
  required_ = required;
  window_->Recorder().SetRequired(required);
}

QString TWriteJournal::WhyNotWritable() const {
  TJournal journal(path_);
  if (journal.CheckWritable()) return QString();
  return QString::fromStdString(
      JournalErrorText(journal.LastError(), journal.Path(), journal.LastDetail()));
}

bool TWriteJournal::Read(const TJournalFilter& filter, std::vector<TJournalRecord>& records,
                         QString* why) const {
  TJournal journal(path_);
  if (journal.Read(filter, records)) return true;
  if (why)
    *why = QString::fromStdString(
        JournalErrorText(journal.LastError(), journal.Path(), journal.LastDetail()));
  return false;
}

void TWriteJournal::SetReportRecords(int count) {
  reportRecords_ = std::clamp(count, 0, Settings::MaxJournalReportRecords);
}
