#include "shell/view/ViewController.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <cstring>
#include <optional>

#include "instrument/Mipunit.h"
#include "shell/settings/CorePath.h"
#include "shell/view/TrafficMonitor.h"
#ifndef K7104_WITHOUT_CHARTS
#include "shell/view/TrendWindow.h"
#endif
#include "shell/window/Dialogs.h"
#include "shell/window/Jobs.h"
#include "shell/window/WindowSeam.h"

namespace {

void Present(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

TViewController::TViewController(TWindowSeam& seam, TMIP& mip, TJobs& jobs, QObject* parent)
    : QObject(parent), seam_(seam), mip_(mip), jobs_(jobs) {
  setObjectName("ViewController");
}

TViewController::~TViewController() {
  delete trafficMonitor_;
}

void TViewController::Build() {
  QMenu* menu = seam_.AddMenu("Вид", "ViewMenu");
  trafficItem_ = menu->addAction("Обмен");
  trafficItem_->setObjectName("TrafficMonitorItem");
  trafficItem_->setShortcut(QKeySequence("Ctrl+T"));
#ifndef K7104_WITHOUT_CHARTS
  liveTrendItem_ = menu->addAction("Тренд текущих значений");
  liveTrendItem_->setObjectName("LiveTrendItem");
  archiveTrendItem_ = menu->addAction("Тренд архива");
  archiveTrendItem_->setObjectName("ArchiveTrendItem");
#endif
  menu->addSeparator();
  csvLoggingItem_ = menu->addAction("Запись текущих значений в CSV…");
  csvLoggingItem_->setObjectName("CsvLoggingItem");
  csvLoggingItem_->setCheckable(true);
  csvDecimalCommaItem_ = menu->addAction("Десятичная запятая в CSV");
  csvDecimalCommaItem_->setObjectName("CsvDecimalCommaItem");
  csvDecimalCommaItem_->setCheckable(true);

  csvLoggingLabel_ = new QLabel;
  csvLoggingLabel_->setObjectName("CsvLoggingLabel");
  seam_.AddStatusNote(csvLoggingLabel_);

  QToolButton* button = seam_.AddToolButton("TrafficMonitorButton");
  button->setText("Обмен");
  button->setToolTip("Обмен по линии: запросы и ответы");
  trafficButton_ = button;
}

void TViewController::Wire() {
  connect(trafficItem_, &QAction::triggered, this, &TViewController::ShowTrafficMonitor);
#ifndef K7104_WITHOUT_CHARTS
  connect(liveTrendItem_, &QAction::triggered, this, &TViewController::ShowLiveTrend);
  connect(archiveTrendItem_, &QAction::triggered, this, &TViewController::ShowArchiveTrend);
#endif
  connect(csvLoggingItem_, &QAction::triggered, this, [this](bool on) {
    if (on)
      StartCsvLogging();
    else
      StopCsvLogging();
  });
  connect(&jobs_, &TJobs::CurrentValuesRead, this, &TViewController::LogCurrentValues);
  connect(&jobs_, &TJobs::CurrentValuesFailed, this, &TViewController::LogPollFailure);
  connect(trafficButton_, &QAbstractButton::clicked, this, &TViewController::ShowTrafficMonitor);
}

void TViewController::ShowTrafficMonitor() {
  if (!trafficMonitor_)
    trafficMonitor_ = new TTrafficMonitor(mip_.Bus, seam_.Dialogs(), seam_.Window());
  Present(trafficMonitor_);
}

#ifndef K7104_WITHOUT_CHARTS
void TViewController::ShowLiveTrend() {
  if (!liveTrend_)
    liveTrend_ = new TTrendWindow(TTrendWindow::TSource::Live, seam_.Dialogs(), seam_.Window());
  Present(liveTrend_);
}

// The archive chart shows the archive as last read; opening it again takes a newer read.
void TViewController::ShowArchiveTrend() {
  if (!archiveTrend_)
    archiveTrend_ =
        new TTrendWindow(TTrendWindow::TSource::Archive, seam_.Dialogs(), seam_.Window());
  archiveTrend_->ShowRecords(mip_.MeasArchive, mip_.ChannelCount);
  Present(archiveTrend_);
}
#endif

bool TViewController::CsvLogging() const {
  return csvLog_ && csvLog_->IsOpen();
}

// The file gets the channels of the instrument talked to last; its rows start with the next poll.
bool TViewController::StartCsvLogging() {
  StopCsvLogging();
  const QString name = seam_.Dialogs().SaveFileName(
      seam_.Window(), {"Запись текущих значений", "Файлы CSV|*.csv|Все файлы|*.*", "csv"});
  std::optional<TLiveCsvOpen> how;
  if (!name.isEmpty()) how = AskHowToOpen(name);
  if (how) {
    TTextForm form;
    if (csvDecimalCommaItem_->isChecked()) form.DecimalSeparator = ",";
    csvForm_ = form;
    csvOpen_ = *how;
    csvLog_ = std::make_unique<TLiveCsvLog>();
    if (csvLog_->Open(CorePath(name), mip_.ChannelCount, form, *how)) {
      csvLoggingItem_->setChecked(true);
      csvLoggingLabel_->setText("Запись в CSV: " + QFileInfo(name).fileName());
      csvLoggingLabel_->setToolTip(name);
      seam_.ShowStatusNote(csvLoggingLabel_, true);
      jobs_.SetUnattendedPolling(true);
      seam_.Report("Запись текущих значений в файл " + name + " начата.", false);
      return true;
    }
    if (csvLog_->FoundOtherLog())
      seam_.Report("Файл " + name +
                       " не дописан: в нём не журнал текущих значений этих каналов в этой форме.",
                   true);
    else
      seam_.Report(
          "Не удалось создать файл " + name + ": " + QString::fromLocal8Bit(std::strerror(errno)),
          true);
  }
  csvLoggingItem_->setChecked(false);
  return false;
}

// A file that is there already is replaced or appended to as the user says; nothing when he
// wants neither.
std::optional<TLiveCsvOpen> TViewController::AskHowToOpen(const QString& name) {
  if (!QFileInfo::exists(name)) return TLiveCsvOpen::Replace;
  TDialogs& dialogs = seam_.Dialogs();
  const QString caption = "Запись текущих значений";
  if (dialogs.Ask(seam_.Window(), caption,
                  "Файл " + name + " уже существует.\nДописать текущие значения в конец файла?"))
    return TLiveCsvOpen::Append;
  if (dialogs.Ask(seam_.Window(), caption,
                  "Заменить файл " + name + "? Строки, записанные в нём, будут потеряны."))
    return TLiveCsvOpen::Replace;
  return std::nullopt;
}

void TViewController::StopCsvLogging() {
  const bool wasLogging = CsvLogging();
  const QString name = csvLog_ ? QString::fromStdString(csvLog_->Path()) : QString();
  csvLog_.reset();
  csvLoggingItem_->setChecked(false);
  seam_.ShowStatusNote(csvLoggingLabel_, false);
  jobs_.SetUnattendedPolling(false);
  if (wasLogging) seam_.Report("Запись текущих значений в файл " + name + " закончена.", false);
}

// Runs while the job's end is shown: the data image holds the values just read.
void TViewController::LogCurrentValues() {
#ifndef K7104_WITHOUT_CHARTS
  if (liveTrend_ && liveTrend_->isVisible())
    liveTrend_->AddSample(QDateTime::currentMSecsSinceEpoch(), mip_.CurrentValue,
                          mip_.ChannelCount);
#endif
  if (!CsvLogging()) return;
  // Started before the instrument's channels were known: the header follows the first poll.
  if (csvLog_->Rows() == 0 && csvLog_->Channels() != mip_.ChannelCount)
    csvLog_->Open(std::string(csvLog_->Path()), mip_.ChannelCount, csvForm_, csvOpen_);
  if (csvLog_->IsOpen() && csvLog_->Append(NowLocal(), mip_.CurrentValue)) return;
  StopAfterWriteFailure();
}

// The log goes on through a failed poll: its row says what failed.
void TViewController::LogPollFailure(const QString& sentence) {
  if (!CsvLogging()) return;
  if (csvLog_->AppendFailure(NowLocal(), sentence.toStdString())) return;
  StopAfterWriteFailure();
}

void TViewController::StopAfterWriteFailure() {
  const QString name = QString::fromStdString(csvLog_->Path());
  const QString why = QString::fromLocal8Bit(std::strerror(errno));
  csvLog_.reset();
  StopCsvLogging();
  // Reported once the job's end has been handled, so that the box holds the polling up no more
  // than any other report does.
  QTimer::singleShot(0, this, [this, name, why] {
    seam_.Report("Запись в CSV остановлена: не удалось записать файл " + name + ": " + why, true);
  });
}
