#include "shell/device/JobControl.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <utility>

#include "instrument/Groups.h"
#include "instrument/JobMessages.h"
#include "shell/device/AddressChoice.h"
#include "shell/device/ArchiveFeed.h"
#include "shell/device/ReconnectOffer.h"
#include "shell/settings/WorkingState.h"
#include "shell/window/AddressBar.h"
#include "shell/window/JobBridge.h"
#include "shell/window/Progress.h"
#include "shell/window/UnsavedEdits.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteJournal.h"
#include "views/PageViews.h"

namespace {

constexpr int BusyPollMs = 5;

// Jobs that may run for long: the user can stop them with the Stop button or Escape.
bool LongJob(uint8_t jobCode) {
  return jobCode == JobSearch || jobCode == JobRateSearch || jobCode == JobReadAll ||
         jobCode == JobReadArchive || jobCode == JobWriteAll;
}

// Results that mean the port itself has gone (a converter pulled out, a line hung up): talking on
// would fail the same way at once, over and over.
bool PortGone(TResult result) {
  return result == RESULT_WRITE_FAILED || result == RESULT_UNKNOWN;
}

// The job that keeps a live page up to date; false for a page that is not live.
bool LivePageJob(uint8_t pageJobCode, uint8_t& job) {
  const TGroup* group = GroupByCode(pageJobCode);
  if (!group || !group->PollsLive) return false;
  job = group->PollCode;
  return true;
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

TJobControl::TJobControl(const TParts& parts, QObject* parent)
    : TJobs(parent),
      seam_(parts.Seam),
      mip_(parts.Mip),
      pages_(parts.Pages),
      bridge_(parts.Bridge),
      unsaved_(parts.Unsaved),
      state_(parts.State),
      addresses_(parts.Addresses),
      feed_(parts.Feed),
      reconnect_(parts.Reconnect),
      pollTimer_(new QTimer(this)) {
  setObjectName("JobControl");
  pollTimer_->setSingleShot(true);
  connect(pollTimer_, &QTimer::timeout, this, &TJobControl::StartPoll);
}

// The handlers run on the job thread. What they show is handed to the GUI thread with the values
// of the moment: the next job may already be under way when the GUI thread gets to it. The job
// code is taken when the job starts, since a command may start the next job as soon as Busy
// clears, before the completion handler is called.
void TJobControl::RegisterCallbacks() {
  searchButton_ = seam_.Button("ToolButton9");
  manualButton_ = seam_.Button("ToolButton18");
  TMIP* mip = &mip_;
  TJobBridge* bridge = &bridge_;
  mip->OnJobStart = [this, mip, bridge] {
    startedJob_ = mip->JobCode;
    const uint8_t job = startedJob_;
    bridge->Post([this, job] { JobStartHandler(job); });
  };
  // The archive read shows records done of those asked instead of a percentage.
  mip->OnProgress = [this, bridge](uint8_t progress) {
    if (startedJob_ != JobReadArchive)
      bridge->Post([this, progress] { seam_.Progress().SetValue(progress); });
  };
  mip->OnRecord = [feed = &feed_](const MeasurementRecord& record) { feed->Push(record); };
  mip->OnJobDone = [this, mip, bridge](TResult result) {
    // A search names no group: the operation the engine last left there is another job's.
    const bool search = startedJob_ == JobSearch || startedJob_ == JobRateSearch;
    const uint8_t op = search ? startedJob_ : mip->CurrentOp.load();
    const TJobEnd end{startedJob_,
                      op,
                      result,
                      mip->ChannelCount,
                      mip->RelayCount,
                      mip->JobException,
                      mip->JobJournalRefused != 0};
    bridge->PostAndWait([this, end] { CompletionHandler(end); }, [mip] { return mip->Stopping(); });
  };
}

bool TJobControl::JobStart(uint8_t jobCode, const std::function<void()>& prepare) {
  for (;;) {
    if (seam_.Closing() || mip_.Stopping()) return false;
    if (mip_.Busy) {
      // The end of the job under way leaves the engine to this command instead of polling.
      rereadSkip_ = true;
      if (!WaitWhileBusy()) return false;
      continue;
    }
    if (prepare) prepare();
    mip_.Address = addresses_.CurrentAddress();
    if (mip_.StartJob(jobCode)) {
      pollUnderWay_ = false;
      ForgetPollFailures();
      return true;
    }
  }
}

// Runs the window's events until the engine is idle. Gives up when the window closes or the
// program quits, which ends every event loop.
bool TJobControl::WaitWhileBusy() {
  QEventLoop loop;
  QTimer poll;
  bool idle = false;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (seam_.Closing()) {
      loop.quit();
    } else if (!mip_.Busy) {
      idle = true;
      loop.quit();
    }
  });
  poll.start(BusyPollMs);
  loop.exec();
  return idle && !seam_.Closing();
}

bool TJobControl::WaitForIdleEngine(bool* waited) {
  *waited = false;
  while (mip_.Busy) {
    if (seam_.Closing() || mip_.Stopping()) return false;
    rereadSkip_ = true;
    *waited = true;
    if (!WaitWhileBusy()) return false;
  }
  return !seam_.Closing();
}

uint8_t TJobControl::CurrentAddress() const {
  return addresses_.CurrentAddress();
}

void TJobControl::WaitWithoutReread() {
  rereadSkip_ = true;
  WaitWhileBusy();
}

// The skip flag goes whatever the port: left set, it would swallow the first poll of the next
// connection.
void TJobControl::AutomaticReread() {
  if (std::exchange(rereadSkip_, false)) return;
  StartPoll();
}

// After a job's end the next poll waits for the poll interval, when one is set.
void TJobControl::RereadAfterJob() {
  if (state_.PollInterval == 0) {
    AutomaticReread();
    return;
  }
  if (std::exchange(rereadSkip_, false)) return;
  pollTimer_->start(state_.PollInterval);
}

void TJobControl::StopPolling() {
  pollTimer_->stop();
}

void TJobControl::StartPoll() {
  uint8_t job = 0;
  if (seam_.Closing() || !mip_.Bus.IsOpen() || !LivePageJob(pages_.PageJobCode(), job)) return;
  // A refused start is dropped: the job under way polls again when it ends.
  if (mip_.Busy) return;
  mip_.Address = addresses_.CurrentAddress();
  if (mip_.StartJob(job)) pollUnderWay_ = true;
}

void TJobControl::JobStartHandler(uint8_t jobCode) {
  seam_.Progress().Start(LongJob(jobCode));
  if (IsWriteCode(jobCode))
    seam_.Report("Идет запись данных.", false);
  else if (jobCode == JobSearch)
    seam_.Report("Идет поиск приборов.", false);
  else if (jobCode == JobRateSearch)
    seam_.Report("Идет поиск скорости обмена.", false);
  else
    seam_.Report("Идет считывание данных.", false);
  emit JobStarted(jobCode);
}

// Runs on the GUI thread while the job thread waits for it: the data image holds still.
void TJobControl::CompletionHandler(const TJobEnd& end) {
  // A read that another read has already followed leaves the grid to that one.
  if (end.JobCode == JobReadArchive && feed_.Active() &&
      !(mip_.Busy && mip_.JobCode == JobReadArchive))
    feed_.End();
  // A job the user stopped ends as he asked: its sentence is no error.
  const bool stopped = std::exchange(userStop_, false) && end.Result == RESULT_ABORTED;
  const bool poll = std::exchange(pollUnderWay_, false);
  const QString message = ApplyJobEnd(end);
  pages_.ShowInstrumentCounts();
  // A failed job refreshes nothing; the page waits for the next job that succeeds. The live
  // values shown are old from now on, and a live page shows them so.
  if (end.Result == RESULT_OK)
    RenderPendingPage();
  else if (!stopped)
    pages_.MarkLiveValuesStale();
  searchButton_->setEnabled(true);
  manualButton_->setEnabled(true);
  seam_.Progress().HideStop();
  // The port is closed before the report, so that the window shows it off line from the first
  // box on and the user can connect again once the line is back.
  QString closed;
  if (PortGone(end.Result) && mip_.Bus.IsOpen()) closed = reconnect_.PortGone();
  // Why the journal cannot be kept goes under the sentence that says nothing was written.
  if (end.JournalRefused) closed = seam_.Journal().WhyNotWritable();
  const bool failed = end.Result != RESULT_OK && !stopped;
  // The box says what the failure did to the port under the sentence that names the failure.
  if (failed && poll)
    ReportPollFailure(end, message, closed);
  else
    seam_.Report(message, failed, closed);
  if (poll && end.Result == RESULT_OK) ForgetPollFailures();
  seam_.Progress().Hide();
  if (end.Result == RESULT_OK && end.JobCode == GroupCurrentValues) emit CurrentValuesRead();
  emit JobEnded(end.JobCode, end.Result);
  RereadAfterJob();
}

// The first failure of a run of polls gets its box, unless nobody watches; the polls failing after
// it are counted on the status line and go to the event log, where they fold. The sentence names
// the address polled, which may be one the user has just typed.
void TJobControl::ReportPollFailure(const TJobEnd& end, const QString& sentence,
                                    const QString& closed) {
  const QString failure = sentence + QString(" (адрес %1)").arg(addresses_.CurrentAddress());
  ++pollFailures_;
  pollFailureCount_->setText(QString("Сбоев опроса: %1").arg(pollFailures_));
  seam_.ShowStatusNote(pollFailureCount_, true);
  if (pollFailures_ == 1 && !unattendedPolling_)
    seam_.Report(failure, true, closed);
  else
    seam_.ReportWithoutBox(failure);
  if (end.JobCode == GroupCurrentValues) emit CurrentValuesFailed(failure);
}

void TJobControl::BuildPollFailureCount() {
  pollFailureCount_ = new QLabel;
  pollFailureCount_->setObjectName("PollFailureCount");
  pollFailureCount_->setToolTip("Неудачных опросов подряд: до удачного опроса или команды");
  seam_.AddStatusNote(pollFailureCount_);
}

void TJobControl::ForgetPollFailures() {
  if (pollFailures_ == 0) return;
  pollFailures_ = 0;
  seam_.ShowStatusNote(pollFailureCount_, false);
}

// Sets the cancel flag of the job under way; the job ends with its next step.
void TJobControl::StopCommand() {
  if (!mip_.Busy) return;
  userStop_ = true;
  mip_.Cancel = 1;
}

// Refreshes what the job has changed and returns the sentence that reports it. A failed job
// refreshes nothing.
QString TJobControl::ApplyJobEnd(const TJobEnd& end) {
  if (end.JournalRefused) return JournalRefusedSentence;
  if (end.JobCode == JobRateSearch) return RateSearchSentence(end);
  if (end.Result == RESULT_ABORTED && end.JobCode == JobSearch) return StoppedSearchSentence(end);
  if (end.Result != RESULT_OK)
    return Text(FailureSentence(end.Result, end.CurrentOp, end.DeviceException));
  unsaved_.Forget(end.JobCode);
  pages_.LiveValuesRead(end.JobCode);
  if (end.JobCode == OpChangeAddress) {
    addresses_.SetCurrentAddress(static_cast<uint8_t>(pages_.CSpinEdit3->value()));
    mip_.Address = seam_.Addresses().Typed();
    addresses_.RefreshFoundDevices();
  }
  if (IsWriteCode(end.JobCode)) {
    pages_.Modified = false;
    return Text(WriteSuccessSentence(end.ChannelCount, end.RelayCount));
  }
  if (pages_.PageJobCode() == end.JobCode || end.JobCode == JobReadAll) {
    pages_.Render();
    pages_.Modified = false;
  }
  if (end.JobCode == OpReadState) pages_.ShowDeviceState();
  if (end.JobCode == JobSearch) {
    addresses_.RefreshFoundDevices();
    return "Поиск завершен.";
  }
  return Text(ReadSuccessSentence(end.ChannelCount, end.RelayCount));
}

// A search stopped on the way keeps the instruments it found so far as tabs, and says how many
// there are. A search that could not start (the port closed) leaves the tabs as they were.
QString TJobControl::StoppedSearchSentence(const TJobEnd& end) {
  addresses_.RefreshFoundDevices();
  return QString("%1 При поиске приборов!!! Найдено приборов: %2.")
      .arg(Text(ResultMessage(end.Result)))
      .arg(mip_.FoundCount);
}

// A rate search stopped on the way keeps what it found; one over a line whose rate the server sets
// could not start.
QString TJobControl::RateSearchSentence(const TJobEnd& end) const {
  const auto found = static_cast<int>(mip_.RateFinds.size());
  if (end.Result == RESULT_OK) return QString("Поиск скорости завершен. Найдено: %1.").arg(found);
  if (end.Result == RESULT_PARAMETER)
    return "Поиск скорости невозможен: скорость этой линии задает сервер сети. Искать можно на "
           "COM-порту или через сервер RFC 2217.";
  if (end.Result == RESULT_ABORTED)
    return QString("%1 При поиске скорости!!! Найдено: %2.")
        .arg(Text(ResultMessage(end.Result)))
        .arg(found);
  return Text(FailureSentence(end.Result, end.CurrentOp, end.DeviceException));
}

// A running job may be writing what the page shows, so the page waits for the job's end. The
// archive read writes nothing but the archive: every other page is shown during it at once.
void TJobControl::RenderCurrentPage() {
  const bool archiveReadRuns = mip_.JobCode == JobReadArchive;
  if (mip_.Busy && (!archiveReadRuns || pages_.PageJobCode() == JobReadArchive)) {
    renderPending_ = true;
    return;
  }
  renderPending_ = false;
  pages_.Render();
}

// Called at every job's end, while the job thread waits: the data image holds still.
void TJobControl::RenderPendingPage() {
  if (!renderPending_) return;
  renderPending_ = false;
  pages_.Render();
}

void TJobControl::ForgetReadValues() {
  mip_.ForgetReadGroups();
  pages_.MarkLiveValuesStale();
  RenderCurrentPage();
}
