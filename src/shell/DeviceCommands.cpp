// The main window's side of talking to an instrument: connecting, searching, choosing the
// instrument, reading and writing, the job engine's three handlers and the polling of live pages.
#include <QAction>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <utility>

#include "files/ArchQwery.h"
#include "instrument/JobMessages.h"
#include "shell/ArchiveFeed.h"
#include "shell/CheckMark.h"
#include "shell/Dialogs.h"
#include "shell/JobBridge.h"
#include "shell/Mainunit.h"
#include "shell/StatusBar.h"
#include "views/ChoiceLists.h"
#include "views/ImageLists.h"
#include "views/PageViews.h"

namespace {

constexpr uint8_t FirstWriteJob = 128;
constexpr uint8_t FirstPageWrite = 130;  // sensor types
constexpr uint8_t LastPageWrite = 158;   // the device settings page
constexpr int MaxSearchAddress = 255;
constexpr int MaxArchiveRecord = 65535;
constexpr int BusyPollMs = 5;
constexpr int ConnectIconSize = 32;

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
  switch (pageJobCode) {
    case 0:   // current measurements
    case 1:   // last finished cycle
    case 22:  // relay test
      job = pageJobCode;
      return true;
    case JobReadSettingsPage:
      job = OpReadState;
      return true;
    default:
      return false;
  }
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

// The handlers run on the job thread. What they show is handed to the GUI thread with the values
// of the moment: the next job may already be under way when the GUI thread gets to it. The job
// code is taken when the job starts, since a command may start the next job as soon as Busy
// clears, before the completion handler is called.
void TMainForm::RegisterCallbacks() {
  TMIP* mip = mip_.get();
  TJobBridge* bridge = bridge_.get();
  mip->OnJobStart = [this, mip, bridge] {
    startedJob_ = mip->JobCode;
    const uint8_t job = startedJob_;
    bridge->Post([this, job] { JobStartHandler(job); });
  };
  // The archive read shows records done of those asked instead of a percentage.
  mip->OnProgress = [this, bridge](uint8_t progress) {
    if (startedJob_ != JobReadArchive)
      bridge->Post([this, progress] { CGauge->setValue(progress); });
  };
  mip->OnRecord = [feed = archiveFeed_](const MeasurementRecord& record) { feed->Push(record); };
  mip->OnJobDone = [this, mip, bridge](TResult result) {
    // A search names no group: the operation the engine last left there is another job's.
    const uint8_t op = startedJob_ == JobSearch ? JobSearch : mip->CurrentOp.load();
    const TJobEnd end{startedJob_,      op, result, mip->ChannelCount, mip->RelayCount,
                      mip->JobException};
    bridge->PostAndWait([this, end] { CompletionHandler(end); }, [mip] { return mip->Stopping(); });
  };
}

void TMainForm::WireDeviceCommands() {
  const std::pair<int, void (TMainForm::*)()> buttons[] = {
      {8, &TMainForm::ConnectCommand},        {9, &TMainForm::SearchCommand},
      {18, &TMainForm::ManualAddressCommand}, {10, &TMainForm::ReadCurrentCommand},
      {11, &TMainForm::ReadAllCommand},       {12, &TMainForm::WriteCurrentCommand}};
  for (const auto& [n, command] : buttons)
    connect(ToolButton(n), &QToolButton::clicked, this, command);
  const std::pair<int, void (TMainForm::*)()> items[] = {
      {12, &TMainForm::ConnectCommand},       {21, &TMainForm::SearchCommand},
      {27, &TMainForm::ManualAddressCommand}, {14, &TMainForm::ReadCurrentCommand},
      {15, &TMainForm::ReadAllCommand},       {16, &TMainForm::WriteCurrentCommand},
      {17, &TMainForm::WriteAllCommand}};
  for (const auto& [n, command] : items) connect(MenuItem(n), &QAction::triggered, this, command);
}

uint8_t TMainForm::CurrentAddress() const {
  if (ManualAddressMode) return static_cast<uint8_t>(CSpinEditAddress->value());
  const int tab = TabSet1->currentIndex();
  if (tab < 0 || tab >= MaxFoundDevices) return 1;
  return mip_->FoundDevices[tab].Address;
}

void TMainForm::SetCurrentAddress(uint8_t address) {
  if (ManualAddressMode) {
    CSpinEditAddress->setValue(address);
    return;
  }
  const int tab = TabSet1->currentIndex();
  if (tab >= 0 && tab < MaxFoundDevices) mip_->FoundDevices[tab].Address = address;
}

bool TMainForm::JobStart(uint8_t jobCode, const std::function<void()>& prepare) {
  for (;;) {
    if (closing_ || mip_->Stopping()) return false;
    if (mip_->Busy) {
      // The end of the job under way leaves the engine to this command instead of polling.
      rereadSkip_ = true;
      if (!WaitWhileBusy()) return false;
      continue;
    }
    if (prepare) prepare();
    mip_->Address = CurrentAddress();
    if (mip_->StartJob(jobCode)) return true;
  }
}

// Runs the window's events until the engine is idle. Gives up when the window closes or the
// program quits, which ends every event loop.
bool TMainForm::WaitWhileBusy() {
  QEventLoop loop;
  QTimer poll;
  bool idle = false;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (closing_) {
      loop.quit();
    } else if (!mip_->Busy) {
      idle = true;
      loop.quit();
    }
  });
  poll.start(BusyPollMs);
  loop.exec();
  return idle && !closing_;
}

// The skip flag goes whatever the port: left set, it would swallow the first poll of the next
// connection.
void TMainForm::AutomaticReread() {
  if (std::exchange(rereadSkip_, false)) return;
  StartPoll();
}

// After a job's end the next poll waits for the poll interval, when one is set.
void TMainForm::RereadAfterJob() {
  if (PollInterval == 0) {
    AutomaticReread();
    return;
  }
  if (std::exchange(rereadSkip_, false)) return;
  pollTimer_->start(PollInterval);
}

void TMainForm::StartPoll() {
  uint8_t job = 0;
  if (closing_ || !mip_->Bus.IsOpen() || !LivePageJob(pages_->PageJobCode(), job)) return;
  // A refused start is dropped: the job under way polls again when it ends.
  if (mip_->Busy) return;
  mip_->Address = CurrentAddress();
  mip_->StartJob(job);
}

void TMainForm::RefreshFoundDevices() {
  while (TabSet1->count() > 0) TabSet1->removeTab(0);
  const int found = mip_->FoundCount;
  for (int i = 0; i < found; ++i) {
    const TFoundDevice& device = mip_->FoundDevices[i];
    TabSet1->addTab(ChoiceLists::ModelName(device.ModelCode) + "Адрес " +
                    QString::number(device.Address));
  }
  if (found > 0) TabSet1->setCurrentIndex(0);
  ManualAddressMode = found == 0;
  ShowAddressMode();
}

void TMainForm::ShowAddressMode() {
  TabSet1->setEnabled(!ManualAddressMode);
  ToolButton(18)->setChecked(ManualAddressMode);
  MenuItem(27)->setChecked(ManualAddressMode);
  // The toolbar shows and hides its widgets by their actions at its next layout; the box itself
  // follows at once.
  addressAction_->setVisible(ManualAddressMode);
  CSpinEditAddress->setVisible(ManualAddressMode);
}

void TMainForm::JobStartHandler(uint8_t jobCode) {
  CGauge->setValue(0);
  CGauge->show();
  StopButton->setVisible(LongJob(jobCode));
  if (jobCode >= FirstWriteJob)
    Report("Идет запись данных.", false);
  else if (jobCode == JobSearch)
    Report("Идет поиск приборов.", false);
  else
    Report("Идет считывание данных.", false);
}

// Runs on the GUI thread while the job thread waits for it: the data image holds still.
void TMainForm::CompletionHandler(const TJobEnd& end) {
  // A read that another read has already followed leaves the grid to that one.
  if (end.JobCode == JobReadArchive && archiveFeed_->Active() &&
      !(mip_->Busy && mip_->JobCode == JobReadArchive))
    archiveFeed_->End();
  // A job the user stopped ends as he asked: its sentence is no error.
  const bool stopped = std::exchange(userStop_, false) && end.Result == RESULT_ABORTED;
  const QString message = ApplyJobEnd(end);
  pages_->ShowInstrumentCounts();
  // A failed job refreshes nothing; the page waits for the next job that succeeds.
  if (end.Result == RESULT_OK) RenderPendingPage();
  ToolButton(9)->setEnabled(true);
  ToolButton(18)->setEnabled(true);
  StopButton->hide();
  // The port is closed before the report, so that the window shows it off line from the first
  // box on and the user can connect again once the line is back.
  if (PortGone(end.Result) && mip_->Bus.IsOpen()) {
    mip_->Bus.ClosePort();
    PresentConnection();
  }
  Report(message, end.Result != RESULT_OK && !stopped);
  CGauge->hide();
  RereadAfterJob();
}

// Sets the cancel flag of the job under way; the job ends with its next step.
void TMainForm::StopCommand() {
  if (!mip_->Busy) return;
  userStop_ = true;
  mip_->Cancel = 1;
}

// Refreshes what the job has changed and returns the sentence that reports it. A failed job
// refreshes nothing.
QString TMainForm::ApplyJobEnd(const TJobEnd& end) {
  if (end.Result != RESULT_OK)
    return Text(FailureSentence(end.Result, end.CurrentOp, end.DeviceException));
  ForgetSavedEdits(end.JobCode);
  if (end.JobCode == OpChangeAddress) {
    SetCurrentAddress(static_cast<uint8_t>(pages_->CSpinEdit3->value()));
    mip_->Address = static_cast<uint8_t>(CSpinEditAddress->value());
    RefreshFoundDevices();
  }
  if (end.JobCode >= FirstWriteJob) {
    pages_->Modified = false;
    return Text(WriteSuccessSentence(end.ChannelCount, end.RelayCount));
  }
  if (pages_->PageJobCode() == end.JobCode || end.JobCode == JobReadAll) {
    pages_->Render();
    pages_->Modified = false;
  }
  if (end.JobCode == OpReadState) ShowDeviceState();
  if (end.JobCode == JobSearch) {
    RefreshFoundDevices();
    return "Поиск завершен.";
  }
  return Text(ReadSuccessSentence(end.ChannelCount, end.RelayCount));
}

void TMainForm::ShowDeviceState() {
  pages_->Label(7)->setText(ChoiceLists::StateText(mip_->DeviceState));
  pages_->Image1->setPixmap(ImageLists::State(ChoiceLists::StatePicture(mip_->DeviceState)));
  pages_->Label(9)->setText(QString::number(mip_->ArchiveCurrent));
}

void TMainForm::ConnectCommand() {
  TModBus& bus = mip_->Bus;
  if (bus.IsOpen()) {
    // The job under way ends because the user asked for it, however far it has got.
    StopCommand();
    pollTimer_->stop();
    bus.ClosePort();
  } else if (!bus.OpenPort()) {
    const std::string device = bus.PortDevice(bus.PortIndex());
    PresentConnection(Text(OpenFailureText(bus.OpenFailure(), device, bus.OpenSystemError())));
    return;
  }
  PresentConnection();
  if (bus.IsOpen()) ForgetReadValues();
  AutomaticReread();
}

// A port that would not open shows as closed, the reason after "Порт закрыт.", and no error box.
void TMainForm::PresentConnection(const QString& whyClosed) {
  const bool open = mip_->Bus.IsOpen();
  const QString action = open ? "Разорвать связь" : "Соединиться";
  ToolButton(8)->setChecked(open);
  ToolButton(8)->setToolTip(action);
  MenuItem(12)->setChecked(open);
  MenuItem(12)->setText(action);
  StatusBar->SetPanelText(2, open ? "OnLine" : "OffLine");
  const int picture = open ? 0 : 1;
  ImageStateConnect->setPixmap(ImageLists::Connection(picture, ImageStateConnect->height()));
  Report(open                  ? "Порт открыт."
         : whyClosed.isEmpty() ? "Порт закрыт."
                               : "Порт закрыт. " + whyClosed,
         false);
  // The connect button and its menu item carry the connection picture too.
  const QIcon icon(ImageLists::Connection(picture, ConnectIconSize));
  ToolButton(8)->setIcon(icon);
  MenuItem(12)->setIcon(CheckMark::WithCheckMark(icon));
  ImageStateConnect->update();
}

void TMainForm::SearchCommand() {
  ArchQwery->Prepare("Поиск прибора", MaxSearchAddress, AddressMin, AddressMax);
  if (ArchQwery->exec() != QDialog::Accepted) return;
  const auto [first, last] = ArchQwery->Range();
  AddressMin = static_cast<uint8_t>(first);
  AddressMax = static_cast<uint8_t>(last);
  ToolButton(9)->setEnabled(false);
  ToolButton(18)->setEnabled(false);
  const bool started = JobStart(JobSearch, [this, first, last] {
    mip_->RangeFirst = static_cast<uint16_t>(first);
    mip_->RangeLast = static_cast<uint16_t>(last);
  });
  if (!started) {
    ToolButton(9)->setEnabled(true);
    ToolButton(18)->setEnabled(true);
  }
}

void TMainForm::ManualAddressCommand() {
  const bool wasOn = ManualAddressMode;
  ManualAddressMode = !wasOn;
  if (wasOn && mip_->FoundCount == 0) {
    ManualAddressMode = true;
    if (dialogs_->Ask(this, "Поиск приборов", "Провести поиск приборов?")) SearchCommand();
  }
  ShowAddressMode();
}

void TMainForm::ReadCurrentCommand() {
  const uint8_t job = pages_->PageJobCode();
  if (job != JobReadArchive) {
    JobStart(job);
    return;
  }
  ArchQwery->Prepare("Считывание архива", MaxArchiveRecord, MinArch, MaxArch);
  if (ArchQwery->exec() != QDialog::Accepted) return;
  const auto [first, last] = ArchQwery->Range();
  MinArch = static_cast<uint16_t>(first);
  MaxArch = static_cast<uint16_t>(last);
  JobStart(JobReadArchive, [this, first, last] {
    mip_->RangeFirst = static_cast<uint16_t>(first);
    mip_->RangeLast = static_cast<uint16_t>(last);
    archiveFeed_->Begin(static_cast<uint32_t>(last - first + 1));
  });
}

void TMainForm::ReadAllCommand() {
  JobStart(JobReadAll);
}

// Only the parameter pages and the device settings page are written; live values and the
// archive are the instrument's own.
void TMainForm::WriteCurrentCommand() {
  pages_->CommitEdits();
  const auto job = static_cast<uint8_t>(pages_->PageJobCode() | FirstWriteJob);
  if (job < FirstPageWrite || job > LastPageWrite) {
    dialogs_->Message(this, QString(), "Текущее значения нельзя записывать!!!");
    return;
  }
  JobStart(job);
}

// After New the whole configuration is the user's deliberate reset; the question says so.
void TMainForm::WriteAllCommand() {
  pages_->CommitEdits();
  QString question = "Вы уверены, что вы хотите записать всю конфигурацию в прибор?";
  if (mip_->AnyGroupFrom(TGroupSource::Reset))
    question =
        "Конфигурация сброшена командой «Новый»: в прибор будут записаны нулевые значения "
        "вместо его настроек.\n" +
        question;
  if (dialogs_->Ask(this, "Запись всей конфигурации в прибор", question)) JobStart(JobWriteAll);
}

// What was read before belongs to another connection or another instrument: the current page
// shows it as not read, and writing such a group reads it first.
void TMainForm::ForgetReadValues() {
  mip_->ForgetReadGroups();
  RenderCurrentPage();
}

// Enter in the address box would otherwise travel on to the window.
bool TMainForm::IsSwallowedEnter(QObject* watched, QEvent* event) const {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
  return watched == CSpinEditAddress || watched->parent() == CSpinEditAddress;
}
