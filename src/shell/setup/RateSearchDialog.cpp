#include "shell/setup/RateSearchDialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

#include "instrument/JobEngine.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"
#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"
#include "shell/window/Dialogs.h"
#include "shell/window/Jobs.h"
#include "shell/window/SettingAtOnce.h"
#include "shell/window/WindowSeam.h"

namespace {

constexpr int ProgressPollMs = 100;
constexpr int RateRole = Qt::UserRole;
const QString Caption = "Поиск скорости";

int RateIndex(uint32_t rate) {
  for (int i = 0; i < BaudRateCount; ++i)
    if (BaudRates[i] == rate) return i;
  return -1;
}

QSpinBox* AddressSpin(const QString& name, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(1, 255);
  return box;
}

}  // namespace

TRateSearchDialog::TRateSearchDialog(TWindowSeam& seam, TMIP& mip, TJobs& jobs, QWidget* parent)
    : QDialog(parent), seam_(seam), mip_(mip), jobs_(jobs), progressTimer_(new QTimer(this)) {
  setObjectName("RateSearchDialog");
  setWindowTitle(Caption);
  OneAddress = new QRadioButton("Адрес:", this);
  OneAddress->setObjectName("RateOneAddress");
  OneAddress->setChecked(true);
  AddressBox = AddressSpin("RateAddressBox", this);
  AddressRange = new QRadioButton("Адреса с", this);
  AddressRange->setObjectName("RateAddressRange");
  FirstBox = AddressSpin("RateFirstBox", this);
  LastBox = AddressSpin("RateLastBox", this);
  LastBox->setValue(255);
  RecheckBox = new QCheckBox("Затем проверить молчавшие адреса с ожиданием 150 мс", this);
  RecheckBox->setObjectName("RateRecheckBox");
  RecheckBox->setToolTip(
      "Медленный прибор или загруженный компьютер может не успеть к быстрому "
      "опросу: молчавшие адреса опрашиваются еще раз на каждой скорости");
  SearchButton = new QPushButton("Искать", this);
  SearchButton->setObjectName("RateSearchButton");
  StopButton = new QPushButton("Стоп", this);
  StopButton->setObjectName("RateStopButton");
  StopButton->setToolTip("Остановить (Esc); найденное сохраняется");
  StopButton->setAutoDefault(false);
  Progress = new QProgressBar(this);
  Progress->setObjectName("RateProgress");
  Progress->setRange(0, 100);
  FindTable = new QTableWidget(0, 3, this);
  FindTable->setObjectName("RateFindTable");
  FindTable->setHorizontalHeaderLabels({"Скорость, бод", "Адрес", "Прибор"});
  FindTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FindTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FindTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FindTable->verticalHeader()->hide();
  FindTable->horizontalHeader()->setStretchLastSection(true);
  Summary = new QLabel(this);
  Summary->setObjectName("RateSummary");
  Summary->setWordWrap(true);
  TakeRateButton = new QPushButton("Установить скорость в настройках порта", this);
  TakeRateButton->setObjectName("TakeRateButton");
  TakeRateButton->setAutoDefault(false);
  CloseButton = new QPushButton("Закрыть", this);
  CloseButton->setObjectName("RateCloseButton");
  CloseButton->setAutoDefault(false);

  auto* range = new QGridLayout;
  range->addWidget(OneAddress, 0, 0);
  range->addWidget(AddressBox, 0, 1);
  range->addWidget(AddressRange, 1, 0);
  range->addWidget(FirstBox, 1, 1);
  range->addWidget(new QLabel("по", this), 1, 2);
  range->addWidget(LastBox, 1, 3);
  range->setColumnStretch(4, 1);
  auto* run = new QHBoxLayout;
  run->addWidget(SearchButton);
  run->addWidget(Progress, 1);
  run->addWidget(StopButton);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(TakeRateButton);
  bottom->addStretch(1);
  bottom->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(range);
  layout->addWidget(RecheckBox);
  layout->addLayout(run);
  layout->addWidget(FindTable, 1);
  layout->addWidget(Summary);
  layout->addLayout(bottom);
  resize(520, 420);

  progressTimer_->setInterval(ProgressPollMs);
  connect(progressTimer_, &QTimer::timeout, this,
          [this] { Progress->setValue(mip_.Progress.load()); });
  connect(SearchButton, &QPushButton::clicked, this, &TRateSearchDialog::Search);
  connect(StopButton, &QPushButton::clicked, this, &TRateSearchDialog::Stop);
  connect(TakeRateButton, &QPushButton::clicked, this, &TRateSearchDialog::TakeRate);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(FindTable, &QTableWidget::itemSelectionChanged, this, &TRateSearchDialog::PresentButtons);
  connect(OneAddress, &QRadioButton::toggled, this, &TRateSearchDialog::PresentButtons);
  connect(&jobs_, &TJobs::JobEnded, this, &TRateSearchDialog::PassEnded);
  PresentButtons();
}

void TRateSearchDialog::Present() {
  if (!running_) AddressBox->setValue(jobs_.CurrentAddress());
  show();
  raise();
  activateWindow();
}

void TRateSearchDialog::Search() {
  if (running_) return;
  if (!mip_.Bus.IsOpen()) {
    seam_.Report("Не открыт порт!!!", true);
    return;
  }
  if (AddressRange->isChecked() && FirstBox->value() > LastBox->value()) {
    seam_.Report("Первый адрес диапазона больше последнего.", true);
    return;
  }
  stopped_ = false;
  FindTable->setRowCount(0);
  Summary->clear();
  StartPass(false);
}

// The first pass probes with the fast timeout; the second look probes the addresses that nothing
// answered at with 150 ms and adds its finds.
bool TRateSearchDialog::StartPass(bool again) {
  const int first = OneAddress->isChecked() ? AddressBox->value() : FirstBox->value();
  const int last = OneAddress->isChecked() ? AddressBox->value() : LastBox->value();
  running_ = again ? 2 : 1;
  Progress->setValue(0);
  progressTimer_->start();
  PresentButtons();
  const bool started = jobs_.JobStart(JobRateSearch, [this, again, first, last] {
    mip_.RangeFirst = static_cast<uint16_t>(first);
    mip_.RangeLast = static_cast<uint16_t>(last);
    mip_.SearchMode = again ? TSearchMode::SilentAgain : TSearchMode::Fast;
  });
  if (!started) {
    running_ = 0;
    progressTimer_->stop();
    PresentButtons();
  }
  return started;
}

// The window's Stop ends the job as the user's own stop, whose sentence is no error.
void TRateSearchDialog::Stop() {
  if (!running_) return;
  stopped_ = true;
  seam_.Button("StopButton")->click();
}

// Escape while the search runs stops it, as in the window; else it closes the dialog.
void TRateSearchDialog::reject() {
  if (running_) {
    Stop();
    return;
  }
  QDialog::reject();
}

void TRateSearchDialog::PassEnded(uint8_t job, int result) {
  if (job != JobRateSearch || !running_) return;
  const bool firstPass = running_ == 1;
  running_ = 0;
  progressTimer_->stop();
  Progress->setValue(result == RESULT_OK ? 100 : Progress->value());
  ShowFinds();
  if (firstPass && result == RESULT_OK && !stopped_ && RecheckBox->isChecked()) {
    // Started once the window has finished with this job's end.
    QTimer::singleShot(0, this, [this] { StartPass(true); });
    return;
  }
  PresentButtons();
  if (!FindTable->rowCount())
    Summary->setText(stopped_ ? "Поиск остановлен. Ни один прибор не ответил."
                              : "Ни один прибор не ответил ни на одной скорости.");
  else
    OfferRate();
}

// What the job found, fastest rate first; the job thread is done with the list.
void TRateSearchDialog::ShowFinds() {
  FindTable->setRowCount(static_cast<int>(mip_.RateFinds.size()));
  int row = 0;
  for (const TRateFind& find : mip_.RateFinds) {
    auto* rate = new QTableWidgetItem(QString::number(find.BaudRate));
    rate->setData(RateRole, RateIndex(find.BaudRate));
    FindTable->setItem(row, 0, rate);
    FindTable->setItem(row, 1, new QTableWidgetItem(QString::number(find.Address)));
    FindTable->setItem(row, 2,
                       new QTableWidgetItem(QString::fromStdString(ModelTitle(find.ModelCode))));
    ++row;
  }
  FindTable->resizeColumnsToContents();
  if (row > 0) FindTable->selectRow(0);
}

// One rate for every find: the user is asked to take it; several: he picks the row.
void TRateSearchDialog::OfferRate() {
  std::set<uint32_t> rates;
  for (const TRateFind& find : mip_.RateFinds) rates.insert(find.BaudRate);
  const QString found = QString("Найдено: %1%2.")
                            .arg(mip_.RateFinds.size())
                            .arg(stopped_ ? " (поиск остановлен)" : "");
  if (rates.size() > 1) {
    Summary->setText(found +
                     " Приборы отвечают на разных скоростях: выберите строку и нажмите "
                     "«Установить скорость в настройках порта».");
    return;
  }
  const uint32_t rate = *rates.begin();
  Summary->setText(found);
  if (rate == mip_.Bus.BaudRate()) return;
  if (seam_.Dialogs().Ask(
          this, Caption,
          QString("Прибор отвечает на скорости %1 бод. Установить ее в настройках порта?")
              .arg(rate)))
    TakeRateIndex(RateIndex(rate));
}

void TRateSearchDialog::TakeRate() {
  const int row = FindTable->currentRow();
  if (running_ || row < 0 || !FindTable->item(row, 0)) return;
  TakeRateIndex(FindTable->item(row, 0)->data(RateRole).toInt());
}

// The port's rate now, and the settings file's at once, as a port bound to a device is.
void TRateSearchDialog::TakeRateIndex(int index) {
  if (index < 0 || index >= BaudRateCount) return;
  mip_.Bus.SetBaudIndex(static_cast<uint8_t>(index));
  jobs_.ForgetReadValues();
  QString sentence = QString("Скорость порта: %1 бод.").arg(BaudRates[index]);
  if (seam_.SettingsFileState() != TSettingsFileState::Kept) {
    seam_.Report(sentence + " Файл настроек не записывается: скорость действует до выхода.", false);
    return;
  }
  SaveSettingAtOnce(seam_, sentence,
                    [index](TIniFile& ini) { Settings::WriteBaudRate(ini, index); });
}

void TRateSearchDialog::PresentButtons() {
  SearchButton->setEnabled(!running_);
  StopButton->setEnabled(running_ != 0);
  TakeRateButton->setEnabled(!running_ && FindTable->currentRow() >= 0 &&
                             !FindTable->selectedItems().isEmpty());
  AddressBox->setEnabled(OneAddress->isChecked());
  FirstBox->setEnabled(!OneAddress->isChecked());
  LastBox->setEnabled(!OneAddress->isChecked());
}
