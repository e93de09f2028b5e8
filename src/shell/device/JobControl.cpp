// The job path of the window: the job start that waits for a running job, the job engine's three
// handlers with the completion handler, and the automatic re-read that keeps live pages polled.
#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <utility>

#include "instrument/Groups.h"
#include "instrument/JobMessages.h"
#include "shell/Mainunit.h"
#include "shell/device/ArchiveFeed.h"
#include "shell/device/DeviceController.h"
#include "shell/device/DeviceReturn.h"
#include "shell/window/JobBridge.h"
#include "shell/window/UnsavedEdits.h"
#include "views/PageViews.h"

namespace {

constexpr int BusyPollMs = 5;

// Jobs that may run for long: the user can stop them with the Stop button or Escape.
bool LongJob(uint8_t jobCode) {
  return jobCode == JobSearch || jobCode == JobReadAll || jobCode == JobReadArchive ||
         jobCode == JobWriteAll;
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

TDeviceController::TDeviceController(TMainForm& form, TMIP& mip, TPageViews& pages,
                                     TJobBridge& bridge, TUnsavedEdits& unsaved)
    : QObject(&form),
      form_(form),
      mip_(mip),
      pages_(pages),
      bridge_(bridge),
      unsaved_(unsaved),
      pollTimer_(new QTimer(this)),
      deviceReturn_(new TDeviceReturn(this)) {
  setObjectName("DeviceController");
  pollTimer_->setSingleShot(true);
  connect(pollTimer_, &QTimer::timeout, this, &TDeviceController::StartPoll);
  connect(deviceReturn_, &TDeviceReturn::Returned, this, &TDeviceController::OfferReconnect);
}

void TDeviceController::Wire() {
  RegisterCallbacks();
  WireCommands();
  WirePages();
}

// The handlers run on the job thread. What they show is handed to the GUI thread with the values
// of the moment: the next job may already be under way when the GUI thread gets to it. The job
// code is taken when the job starts, since a command may start the next job as soon as Busy
// clears, before the completion handler is called.
void TDeviceController::RegisterCallbacks() {
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
      bridge->Post([this, progress] { form_.CGauge->setValue(progress); });
  };
  mip->OnRecord = [feed = &form_.ArchiveFeed()](const MeasurementRecord& record) {
    feed->Push(record);
  };
  mip->OnJobDone = [this, mip, bridge](TResult result) {
    // A search names no group: the operation the engine last left there is another job's.
    const uint8_t op = startedJob_ == JobSearch ? JobSearch : mip->CurrentOp.load();
    const TJobEnd end{startedJob_,      op, result, mip->ChannelCount, mip->RelayCount,
                      mip->JobException};
    bridge->PostAndWait([this, end] { CompletionHandler(end); }, [mip] { return mip->Stopping(); });
  };
}

bool TDeviceController::JobStart(uint8_t jobCode, const std::function<void()>& prepare) {
  for (;;) {
    if (form_.Closing() || mip_.Stopping()) return false;
    if (mip_.Busy) {
      // The end of the job under way leaves the engine to this command instead of polling.
      rereadSkip_ = true;
      if (!WaitWhileBusy()) return false;
      continue;
    }
    if (prepare) prepare();
    mip_.Address = CurrentAddress();
    if (mip_.StartJob(jobCode)) return true;
  }
}

// Runs the window's events until the engine is idle. Gives up when the window closes or the
// program quits, which ends every event loop.
bool TDeviceController::WaitWhileBusy() {
  QEventLoop loop;
  QTimer poll;
  bool idle = false;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (form_.Closing()) {
      loop.quit();
    } else if (!mip_.Busy) {
      idle = true;
      loop.quit();
    }
  });
  poll.start(BusyPollMs);
  loop.exec();
  return idle && !form_.Closing();
}

bool TDeviceController::WaitForIdleEngine(bool* waited) {
  *waited = false;
  while (mip_.Busy) {
    if (form_.Closing() || mip_.Stopping()) return false;
    rereadSkip_ = true;
    *waited = true;
    if (!WaitWhileBusy()) return false;
  }
  return !form_.Closing();
}

// The skip flag goes whatever the port: left set, it would swallow the first poll of the next
// connection.
void TDeviceController::AutomaticReread() {
  if (std::exchange(rereadSkip_, false)) return;
  StartPoll();
}

// After a job's end the next poll waits for the poll interval, when one is set.
void TDeviceController::RereadAfterJob() {
  if (form_.PollInterval == 0) {
    AutomaticReread();
    return;
  }
  if (std::exchange(rereadSkip_, false)) return;
  pollTimer_->start(form_.PollInterval);
}

void TDeviceController::StartPoll() {
  uint8_t job = 0;
  if (form_.Closing() || !mip_.Bus.IsOpen() || !LivePageJob(pages_.PageJobCode(), job)) return;
  // A refused start is dropped: the job under way polls again when it ends.
  if (mip_.Busy) return;
  mip_.Address = CurrentAddress();
  mip_.StartJob(job);
}

void TDeviceController::JobStartHandler(uint8_t jobCode) {
  form_.CGauge->setValue(0);
  form_.CGauge->show();
  form_.StopButton->setVisible(LongJob(jobCode));
  if (IsWriteCode(jobCode))
    form_.Report("Идет запись данных.", false);
  else if (jobCode == JobSearch)
    form_.Report("Идет поиск приборов.", false);
  else
    form_.Report("Идет считывание данных.", false);
  emit JobStarted(jobCode);
}

// Runs on the GUI thread while the job thread waits for it: the data image holds still.
void TDeviceController::CompletionHandler(const TJobEnd& end) {
  TArchiveFeed& feed = form_.ArchiveFeed();
  // A read that another read has already followed leaves the grid to that one.
  if (end.JobCode == JobReadArchive && feed.Active() &&
      !(mip_.Busy && mip_.JobCode == JobReadArchive))
    feed.End();
  // A job the user stopped ends as he asked: its sentence is no error.
  const bool stopped = std::exchange(userStop_, false) && end.Result == RESULT_ABORTED;
  const QString message = ApplyJobEnd(end);
  pages_.ShowInstrumentCounts();
  // A failed job refreshes nothing; the page waits for the next job that succeeds.
  if (end.Result == RESULT_OK) RenderPendingPage();
  form_.ToolButton(9)->setEnabled(true);
  form_.ToolButton(18)->setEnabled(true);
  form_.StopButton->hide();
  // The port is closed before the report, so that the window shows it off line from the first
  // box on and the user can connect again once the line is back.
  if (PortGone(end.Result) && mip_.Bus.IsOpen()) ClosePortGone();
  form_.Report(message, end.Result != RESULT_OK && !stopped);
  form_.CGauge->hide();
  if (end.Result == RESULT_OK && end.JobCode == GroupCurrentValues) emit CurrentValuesRead();
  emit JobEnded(end.JobCode, end.Result);
  RereadAfterJob();
}

// The device itself may have gone (a converter pulled out): the window says so and watches for
// its return.
void TDeviceController::ClosePortGone() {
  TModBus& bus = mip_.Bus;
  const QString device = QString::fromStdString(bus.PortDevice(bus.PortIndex()));
  bus.ClosePort();
  const bool gone = TDeviceReturn::Gone(device);
  form_.PresentConnection(gone ? QString("Устройство %1 отключено.").arg(device) : QString());
  deviceReturn_->Watch(device);
}

void TDeviceController::ForgetReconnectOffer() {
  deviceReturn_->Stop();
  form_.ReconnectButton->hide();
}

void TDeviceController::OfferReconnect(const QString& device) {
  if (mip_.Bus.IsOpen()) return;
  form_.ReconnectButton->show();
  form_.Report(
      QString("Устройство %1 снова подключено: «Соединиться снова» открывает порт.").arg(device),
      false);
}

// Sets the cancel flag of the job under way; the job ends with its next step.
void TDeviceController::StopCommand() {
  if (!mip_.Busy) return;
  userStop_ = true;
  mip_.Cancel = 1;
}

// Refreshes what the job has changed and returns the sentence that reports it. A failed job
// refreshes nothing.
QString TDeviceController::ApplyJobEnd(const TJobEnd& end) {
  if (end.Result != RESULT_OK)
    return Text(FailureSentence(end.Result, end.CurrentOp, end.DeviceException));
  unsaved_.Forget(end.JobCode);
  if (end.JobCode == OpChangeAddress) {
    SetCurrentAddress(static_cast<uint8_t>(pages_.CSpinEdit3->value()));
    mip_.Address = static_cast<uint8_t>(form_.CSpinEditAddress->value());
    RefreshFoundDevices();
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
    RefreshFoundDevices();
    return "Поиск завершен.";
  }
  return Text(ReadSuccessSentence(end.ChannelCount, end.RelayCount));
}
