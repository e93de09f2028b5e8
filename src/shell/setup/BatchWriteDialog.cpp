#include "shell/setup/BatchWriteDialog.h"

#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <utility>

#include "files/ConfigFile.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"
#include "shell/settings/CorePath.h"
#include "shell/window/AddressBar.h"
#include "shell/window/Dialogs.h"
#include "shell/window/Jobs.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteJournal.h"
#include "shell/window/WriteQuestions.h"

namespace {

const QString Caption = "Запись во все найденные приборы";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString ModelText(uint16_t model) {
  return Text(ModelTitle(model));
}

// Every group of the window's configuration is the instrument's, a file's or a "Новый" one:
// nothing of it is a leftover that nobody has seen.
bool ImageComplete(const TDataImage& image) {
  for (int group = FirstGroup; group <= LastGroup; ++group)
    if (image.GroupSource[group] == TGroupSource::NotRead ||
        image.GroupSource[group] == TGroupSource::Initial)
      return false;
  return true;
}

QColor StateColor(TBatchState state) {
  switch (state) {
    case TBatchState::Done:
      return QColor(0, 120, 0);
    case TBatchState::Failed:
      return QColor(190, 0, 0);
    case TBatchState::Skipped:
      return QColor(140, 90, 0);
    default:
      return QColor(Qt::black);
  }
}

}  // namespace

TBatchWriteDialog::TBatchWriteDialog(TWindowSeam& seam, TMIP& windowMip, TJobs& jobs,
                                     std::function<bool()> mayDiscardWindowEdits)
    : QDialog(seam.Window()),
      seam_(seam),
      windowMip_(windowMip),
      jobs_(jobs),
      mayDiscardWindowEdits_(std::move(mayDiscardWindowEdits)) {
  setObjectName("BatchWriteDialog");
  setWindowTitle(Caption);
  setWindowModality(Qt::WindowModal);
  const TMIP& mip = windowMip_;
  for (int i = 0; i < mip.FoundCount; ++i) targets_.push_back(mip.FoundDevices[i]);

  auto* source = new QGroupBox("Что записать", this);
  CurrentImageSource = new QRadioButton("Настройку, открытую в окне", source);
  CurrentImageSource->setObjectName("CurrentImageSource");
  FileSource = new QRadioButton("Файл настройки:", source);
  FileSource->setObjectName("FileSource");
  FileSource->setChecked(true);
  FileName = new QLineEdit(source);
  FileName->setObjectName("FileName");
  FileName->setReadOnly(true);
  ChooseFileButton = new QPushButton("Выбрать…", source);
  ChooseFileButton->setObjectName("ChooseFileButton");
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(FileSource);
  fileRow->addWidget(FileName, 1);
  fileRow->addWidget(ChooseFileButton);
  auto* sourceLayout = new QVBoxLayout(source);
  sourceLayout->addLayout(fileRow);
  sourceLayout->addWidget(CurrentImageSource);

  Table = new QTableWidget(static_cast<int>(targets_.size()), ColumnCount, this);
  Table->setObjectName("BatchTable");
  Table->setHorizontalHeaderLabels({"Адрес", "Прибор", "Состояние", "Сообщение"});
  Table->verticalHeader()->hide();
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setSelectionMode(QAbstractItemView::NoSelection);
  Table->setWordWrap(false);
  Table->horizontalHeader()->setSectionResizeMode(MessageColumn, QHeaderView::Stretch);
  FillTable();

  Summary = new QLabel(this);
  Summary->setObjectName("Summary");
  Summary->setWordWrap(true);
  StartButton = new QPushButton("Записать", this);
  StartButton->setObjectName("StartButton");
  BatchStopButton = new QPushButton("Остановить", this);
  BatchStopButton->setObjectName("BatchStopButton");
  CloseButton = new QPushButton("Закрыть", this);
  CloseButton->setObjectName("CloseButton");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(StartButton);
  buttons->addWidget(BatchStopButton);
  buttons->addWidget(CloseButton);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(source);
  layout->addWidget(Table, 1);
  layout->addWidget(Summary);
  layout->addLayout(buttons);
  resize(780, 380);

  connect(ChooseFileButton, &QPushButton::clicked, this, &TBatchWriteDialog::ChooseFile);
  connect(FileSource, &QRadioButton::toggled, this, &TBatchWriteDialog::PresentButtons);
  connect(StartButton, &QPushButton::clicked, this, &TBatchWriteDialog::Start);
  connect(BatchStopButton, &QPushButton::clicked, this, &TBatchWriteDialog::Stop);
  connect(CloseButton, &QPushButton::clicked, this, &TBatchWriteDialog::reject);
  PresentButtons();
}

TBatchWriteDialog::~TBatchWriteDialog() {
  stop_ = true;
  if (mip_) {
    mip_->Cancel = 1;
    mip_->Bus.ClosePort();
  }
  if (worker_.joinable()) worker_.join();
}

void TBatchWriteDialog::FillTable() {
  for (int row = 0; row < static_cast<int>(targets_.size()); ++row) {
    const QString cells[ColumnCount] = {QString::number(targets_[row].Address),
                                        ModelText(targets_[row].ModelCode),
                                        Text(BatchStateName(TBatchState::Waiting)), QString()};
    for (int column = 0; column < ColumnCount; ++column)
      Table->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  for (int column = AddressColumn; column < MessageColumn; ++column)
    Table->resizeColumnToContents(column);
}

void TBatchWriteDialog::PresentButtons() {
  const bool haveSource = !FileSource->isChecked() || !FileName->text().isEmpty();
  StartButton->setEnabled(!running_ && haveSource && !targets_.empty());
  BatchStopButton->setEnabled(running_ && !stop_);
  CloseButton->setEnabled(!running_);
  ChooseFileButton->setEnabled(!running_);
  CurrentImageSource->setEnabled(!running_);
  FileSource->setEnabled(!running_);
}

void TBatchWriteDialog::ChooseFile() {
  const QString name =
      seam_.Dialogs().OpenFileName(this, {QString(), "Файлы программы|*.prb|Все файлы|*.*", "prb"});
  if (name.isEmpty()) return;
  FileName->setText(name);
  FileSource->setChecked(true);
  PresentButtons();
}

// The block is taken while the window's engine is idle; the questions about other models may let
// a poll start, so the engine is waited for again right before its port is closed.
void TBatchWriteDialog::Start() {
  if (running_ || !jobs_.WaitForIdleEngine(&pollingWaited_)) return;
  if (seam_.Journal().Required()) {
    if (const QString why = seam_.Journal().WhyNotWritable(); !why.isEmpty()) {
      seam_.Report(JournalRefusedSentence, true, why);
      return;
    }
  }
  windowAddress_ = windowMip_.Address;
  if (!PreparePlan() || !MayRereadWindow() || !TakeOverPort()) {
    if (pollingWaited_) jobs_.AutomaticReread();
    return;
  }
  stop_ = false;
  running_ = true;
  written_ = failed_ = skipped_ = 0;
  windowInstrumentWritten_ = false;
  FillTable();
  Summary->setText("Идет запись…");
  PresentButtons();
  worker_ = std::thread([this] { RunAll(); });
}

void TBatchWriteDialog::Stop() {
  stop_ = true;
  Summary->setText("Запись остановится после прибора, в который идет сейчас.");
  PresentButtons();
}

// The block, the needs and the models the write may go to. The models are the one of the
// window's instrument (or of the found instrument selected) and those the user agrees to.
bool TBatchWriteDialog::PreparePlan() {
  plan_ = TBatchPlan{};
  const TMIP& mip = windowMip_;
  uint16_t reference = 0;
  if (CurrentImageSource->isChecked()) {
    if (!ImageComplete(mip)) {
      seam_.Report("В окне нет полной настройки: считайте все данные прибора или откройте файл.",
                   true);
      return false;
    }
    plan_.Block = mip.Config;
    reference = mip.ModelCode;
  } else if (!LoadConfigFile(CorePath(FileName->text()), plan_.Block)) {
    seam_.Report("Не могу открыть файл!", true);
    return false;
  } else if (!MayWriteUnknownValues(seam_, this, plan_.Block, MaxChannels, MaxRelays,
                                    ConfigurationGroupCodes(),
                                    WriteTargetsText(windowMip_, targets_))) {
    return false;
  }
  const int selected = seam_.Addresses().Chosen();
  if (reference == 0 && selected >= 0 && selected < static_cast<int>(targets_.size()))
    reference = targets_[selected].ModelCode;
  if (reference == 0) reference = targets_.front().ModelCode;
  plan_.Models.push_back(reference);
  needs_ = NeedsOf(plan_.Block);
  return ConfirmOtherModels(reference);
}

// One question per other model among the found instruments; an instrument of a model the user
// declines is left alone. False only when no instrument would be written at all.
bool TBatchWriteDialog::ConfirmOtherModels(uint16_t reference) {
  std::map<uint16_t, QStringList> others;
  for (const TFoundDevice& device : targets_)
    if (device.ModelCode != reference) others[device.ModelCode] << QString::number(device.Address);
  for (const auto& [model, addresses] : others) {
    const QString question = QString(
                                 "Настройка для прибора %1. Записать ее и в приборы %2 "
                                 "(адреса %3)?")
                                 .arg(ModelText(reference), ModelText(model), addresses.join(", "));
    std::vector<TFoundDevice> ofModel;
    for (const TFoundDevice& device : targets_)
      if (device.ModelCode == model) ofModel.push_back(device);
    if (seam_.Dialogs().Ask(this, Caption, question, WriteTargetsText(windowMip_, ofModel)))
      plan_.Models.push_back(model);
  }
  return true;
}

// A file written into the window's own instrument is read back into the window afterwards: the
// window's edits neither written nor saved are asked about first.
bool TBatchWriteDialog::MayRereadWindow() {
  const bool windowTargeted =
      std::any_of(targets_.begin(), targets_.end(),
                  [this](const TFoundDevice& device) { return device.Address == windowAddress_; });
  return !FileSource->isChecked() || !windowTargeted || mayDiscardWindowEdits_();
}

bool TBatchWriteDialog::TakeOverPort() {
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return false;
  pollingWaited_ = pollingWaited_ || waited;
  TModBus& own = windowMip_.Bus;
  portWasOpen_ = own.IsOpen();
  own.ClosePort();
  mip_ = std::make_unique<TMIP>();
  mip_->OnJobDone = [this](TResult result) { runner_.Ended(result); };
  journalWriter_ = seam_.Journal().WriterFor(mip_->Bus);
  mip_->SetWriteObserver(&journalWriter_->Recorder());
  TModBus& bus = mip_->Bus;
  const uint8_t port = own.PortIndex();
  bus.SetPortDevice(port, own.PortDevice(port));
  bus.SetPortIndex(port);
  bus.SetBaudIndex(own.GetBaudIndex());
  bus.SetWaitTime(own.WaitTime());
  bus.SetFrameEndByLength(own.FrameEndByLength());
  bus.SetLine(own.Line());
  mip_->SetReadRetries(windowMip_.ReadRetries());
  if (bus.OpenPort()) return true;
  const QString why =
      Text(OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError()));
  mip_.reset();
  GiveBackPort();
  seam_.Report(why, true);
  return false;
}

void TBatchWriteDialog::GiveBackPort() {
  TModBus& own = windowMip_.Bus;
  if (!portWasOpen_ || own.OpenPort()) return;
  seam_.PresentConnection(
      Text(OpenFailureText(own.OpenFailure(), own.LineName(), own.OpenSystemError())));
}

void TBatchWriteDialog::RunAll() {
  const TRunJob run = [this](uint8_t code) { return RunJob(code); };
  bool stopped = false;
  for (int row = 0; row < static_cast<int>(targets_.size()); ++row) {
    if (stop_) {
      stopped = true;
      break;
    }
    const auto step = [this, row](const TBatchOutcome& outcome) {
      QMetaObject::invokeMethod(
          this, [this, row, outcome] { ShowOutcome(row, outcome); }, Qt::QueuedConnection);
    };
    WriteAndVerify(*mip_, run, plan_, targets_[row].Address, step);
  }
  QMetaObject::invokeMethod(
      this, [this, stopped] { Finished(stopped); }, Qt::QueuedConnection);
}

TResult TBatchWriteDialog::RunJob(uint8_t code) {
  return runner_.Run([this, code] { return mip_->StartJob(code); });
}

void TBatchWriteDialog::ShowOutcome(int row, const TBatchOutcome& outcome) {
  const QString state = Text(BatchStateName(outcome.State));
  const QString message = Text(BatchOutcomeText(outcome, needs_));
  Table->item(row, StateColumn)->setText(state);
  Table->item(row, StateColumn)->setForeground(StateColor(outcome.State));
  Table->item(row, MessageColumn)->setText(message);
  Table->item(row, MessageColumn)->setToolTip(message);
  if (outcome.ModelCode != 0) Table->item(row, ModelColumn)->setText(ModelText(outcome.ModelCode));
  Table->scrollToItem(Table->item(row, AddressColumn));
  if (outcome.Address == windowAddress_ &&
      (outcome.State == TBatchState::Done || !outcome.Written.empty()))
    windowInstrumentWritten_ = true;
  switch (outcome.State) {
    case TBatchState::Done:
      ++written_;
      break;
    case TBatchState::Failed:
      ++failed_;
      break;
    case TBatchState::Skipped:
      ++skipped_;
      break;
    default:
      return;
  }
  seam_.Report(QString("Адрес %1: %2").arg(outcome.Address).arg(message), false);
}

void TBatchWriteDialog::Finished(bool stopped) {
  if (worker_.joinable()) worker_.join();
  mip_.reset();
  running_ = false;
  GiveBackPort();
  // The window's data image stays as it was, unless a file went into the window's own
  // instrument: then the window reads that instrument again (with its port closed, what it read
  // before shows as not read).
  const bool reread = windowInstrumentWritten_ && FileSource->isChecked();
  if (reread && !windowMip_.Bus.IsOpen()) jobs_.ForgetReadValues();
  QString summary = QString("Записано и проверено: %1 из %2").arg(written_).arg(targets_.size());
  if (failed_ > 0) summary += QString(", с ошибкой: %1").arg(failed_);
  if (skipped_ > 0) summary += QString(", не записано: %1").arg(skipped_);
  summary += stopped ? ". Запись остановлена пользователем." : ".";
  Summary->setText(summary);
  PresentButtons();
  seam_.Report(summary, failed_ > 0);
  if (reread && windowMip_.Bus.IsOpen())
    jobs_.JobStart(JobReadAll);
  else if (portWasOpen_ || pollingWaited_)
    jobs_.AutomaticReread();
}

void TBatchWriteDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

// Escape and the close button wait until the write has stopped.
void TBatchWriteDialog::reject() {
  if (!running_) QDialog::reject();
}
