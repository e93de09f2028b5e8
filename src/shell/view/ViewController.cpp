// The menu "Вид" and its toolbar button, after the menus and buttons it always had: the traffic
// monitor, and the logging of polled current values to a CSV file.
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/LiveCsv.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/view/TrafficMonitor.h"
#include "shell/view/TrendWindow.h"
#include "shell/window/Dialogs.h"
#include "shell/window/StatusBar.h"

namespace {

void Present(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

void TMainForm::BuildViewMenu() {
  ViewMenu = oxMenu1->addMenu("Вид");
  ViewMenu->setObjectName("ViewMenu");
  QAction* traffic = ViewMenu->addAction("Обмен");
  traffic->setObjectName("TrafficMonitorItem");
  traffic->setShortcut(QKeySequence("Ctrl+T"));
  connect(traffic, &QAction::triggered, this, &TMainForm::ShowTrafficMonitor);
  QAction* liveTrend = ViewMenu->addAction("Тренд текущих значений");
  liveTrend->setObjectName("LiveTrendItem");
  connect(liveTrend, &QAction::triggered, this, &TMainForm::ShowLiveTrend);
  QAction* archiveTrend = ViewMenu->addAction("Тренд архива");
  archiveTrend->setObjectName("ArchiveTrendItem");
  connect(archiveTrend, &QAction::triggered, this, &TMainForm::ShowArchiveTrend);
  ViewMenu->addSeparator();
  CsvLoggingItem = ViewMenu->addAction("Запись текущих значений в CSV…");
  CsvLoggingItem->setObjectName("CsvLoggingItem");
  CsvLoggingItem->setCheckable(true);
  connect(CsvLoggingItem, &QAction::triggered, this, [this](bool on) {
    if (on)
      StartCsvLogging();
    else
      StopCsvLogging();
  });
  CsvDecimalCommaItem = ViewMenu->addAction("Десятичная запятая в CSV");
  CsvDecimalCommaItem->setObjectName("CsvDecimalCommaItem");
  CsvDecimalCommaItem->setCheckable(true);
  connect(&Devices(), &TDeviceController::CurrentValuesRead, this, &TMainForm::LogCurrentValues);

  CsvLoggingLabel = new QLabel(StatusBar);
  CsvLoggingLabel->setObjectName("CsvLoggingLabel");
  CsvLoggingLabel->hide();

  ToolBar1->addSeparator();
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName("TrafficMonitorButton");
  button->setText("Обмен");
  button->setToolTip("Обмен по линии: запросы и ответы");
  button->setAutoRaise(true);
  ToolBar1->addWidget(button);
  connect(button, &QToolButton::clicked, this, &TMainForm::ShowTrafficMonitor);
}

void TMainForm::ShowTrafficMonitor() {
  if (!TrafficMonitor) TrafficMonitor = new TTrafficMonitor(mip_->Bus, *dialogs_, this);
  Present(TrafficMonitor);
}

void TMainForm::ShowLiveTrend() {
  if (!LiveTrend) LiveTrend = new TTrendWindow(TTrendWindow::TSource::Live, *dialogs_, this);
  Present(LiveTrend);
}

// The archive chart shows the archive as last read; opening it again takes a newer read.
void TMainForm::ShowArchiveTrend() {
  if (!ArchiveTrend)
    ArchiveTrend = new TTrendWindow(TTrendWindow::TSource::Archive, *dialogs_, this);
  ArchiveTrend->ShowRecords(mip_->MeasArchive, mip_->ChannelCount);
  Present(ArchiveTrend);
}

bool TMainForm::CsvLogging() const {
  return csvLog_ && csvLog_->IsOpen();
}

// The file gets the channels of the instrument talked to last; its rows start with the next poll.
bool TMainForm::StartCsvLogging() {
  StopCsvLogging();
  const QString name = dialogs_->SaveFileName(
      this, {"Запись текущих значений", "Файлы CSV|*.csv|Все файлы|*.*", "csv"});
  if (!name.isEmpty()) {
    TLiveCsvForm form;
    if (CsvDecimalCommaItem->isChecked()) form.DecimalSeparator = ",";
    csvForm_ = form;
    csvLog_ = std::make_unique<TLiveCsvLog>();
    if (csvLog_->Open(name.toStdString(), mip_->ChannelCount, form)) {
      CsvLoggingItem->setChecked(true);
      CsvLoggingLabel->setText("Запись в CSV: " + QFileInfo(name).fileName());
      CsvLoggingLabel->setToolTip(name);
      CsvLoggingLabel->show();
      LayOutStatusBar();
      Report("Запись текущих значений в файл " + name + " начата.", false);
      return true;
    }
    Report("Не удалось создать файл " + name + ": " + QString::fromLocal8Bit(std::strerror(errno)),
           true);
  }
  CsvLoggingItem->setChecked(false);
  return false;
}

void TMainForm::StopCsvLogging() {
  const bool wasLogging = CsvLogging();
  const QString name = csvLog_ ? QString::fromStdString(csvLog_->Path()) : QString();
  csvLog_.reset();
  CsvLoggingItem->setChecked(false);
  CsvLoggingLabel->hide();
  LayOutStatusBar();
  if (wasLogging) Report("Запись текущих значений в файл " + name + " закончена.", false);
}

// Runs while the job's end is shown: the data image holds the values just read.
void TMainForm::LogCurrentValues() {
  if (LiveTrend && LiveTrend->isVisible())
    LiveTrend->AddSample(QDateTime::currentMSecsSinceEpoch(), mip_->CurrentValue,
                         mip_->ChannelCount);
  if (!CsvLogging()) return;
  // Started before the instrument's channels were known: the header follows the first poll.
  if (csvLog_->Rows() == 0 && csvLog_->Channels() != mip_->ChannelCount)
    csvLog_->Open(std::string(csvLog_->Path()), mip_->ChannelCount, csvForm_);
  if (csvLog_->IsOpen() && csvLog_->Append(NowLocal(), mip_->CurrentValue)) return;
  const QString name = QString::fromStdString(csvLog_->Path());
  const QString why = QString::fromLocal8Bit(std::strerror(errno));
  csvLog_.reset();
  StopCsvLogging();
  // Reported once the job's end has been handled, so that the box holds the polling up no more
  // than any other report does.
  QTimer::singleShot(0, this, [this, name, why] {
    Report("Запись в CSV остановлена: не удалось записать файл " + name + ": " + why, true);
  });
}

// The label covers the end of the message panel while logging is on.
void TMainForm::PlaceCsvLoggingLabel(int messagePanelWidth) {
  if (!CsvLoggingLabel || CsvLoggingLabel->isHidden()) return;
  const int width = CsvLoggingLabel->sizeHint().width() + 8;
  const int end = StopButton->isVisible() ? StopButton->x() : messagePanelWidth;
  CsvLoggingLabel->setGeometry(end - width, ForMessage->y(), width, ForMessage->height());
  ForMessage->resize(std::max(0, end - width - 4), ForMessage->height());
}
