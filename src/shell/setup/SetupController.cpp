#include "shell/setup/SetupController.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTimer>

#include "files/ConfigFile.h"
#include "files/ConfigReport.h"
#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "instrument/JobMessages.h"
#include "instrument/JobRunner.h"
#include "shell/settings/CorePath.h"
#include "shell/settings/WorkingState.h"
#include "shell/setup/BatchWriteDialog.h"
#include "shell/setup/CompareDialog.h"
#include "shell/setup/JournalDialog.h"
#include "shell/setup/RateSearchDialog.h"
#include "shell/window/AddressBar.h"
#include "shell/window/Dialogs.h"
#include "shell/window/Jobs.h"
#include "shell/window/UnsavedEdits.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteJournal.h"
#include "shell/window/WriteQuestions.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

constexpr int ClosingPollMs = 50;
constexpr size_t ReportArchiveRecords = 100;

const TFileRequest& CompareFileRequest() {
  static const TFileRequest request{"Сравнить с файлом", "Файлы программы|*.prb|Все файлы|*.*",
                                    "prb"};
  return request;
}

const TFileRequest& ReportFileRequest() {
  static const TFileRequest request{"Отчёт о настройке",
                                    "Отчёт HTML|*.html|Документ PDF|*.pdf|Все файлы|*.*", "html"};
  return request;
}

// The page laid out on A4 by Qt's own text engine, through a temporary file that replaces the
// target only once it is complete.
bool WritePdf(const QString& fileName, const QString& html) {
  QTemporaryFile temporary(QFileInfo(fileName).absolutePath() + "/.report-XXXXXX.pdf");
  if (!temporary.open()) return false;
  temporary.close();
  // At the resolution the page is laid out in, and laid out on the printed page's own size, so
  // that nothing is scaled and no margins are added to the page's.
  QPrinter printer(QPrinter::ScreenResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(temporary.fileName());
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                    QMarginsF(8, 8, 8, 8), QPageLayout::Millimeter));
  QTextDocument document;
  document.setHtml(html);
  document.setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
  document.print(&printer);
  QFile printed(temporary.fileName());
  if (!printed.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = printed.readAll();
  return !bytes.isEmpty() && WriteFileReplacing(CorePath(fileName), bytes.constData(),
                                                static_cast<size_t>(bytes.size()));
}

// The window's wait for a job: a local event loop, left every ClosingPollMs so that the runner
// sees the window closing. Woken on the window's thread only.
class TEventLoopWait final : public TJobWait {
 public:
  void Wait() override {
    QEventLoop loop;
    loop_ = &loop;
    QTimer::singleShot(ClosingPollMs, &loop, &QEventLoop::quit);
    loop.exec();
    loop_ = nullptr;
  }
  void Wake() override {
    if (loop_) loop_->quit();
  }

 private:
  QEventLoop* loop_ = nullptr;
};

}  // namespace

TSetupController::TSetupController(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobs& jobs,
                                   TUnsavedEdits& unsaved, TWorkingState& state, QObject* parent)
    : QObject(parent),
      seam_(seam),
      mip_(mip),
      pages_(pages),
      jobs_(jobs),
      unsaved_(unsaved),
      state_(state) {
  setObjectName("SetupController");
}

void TSetupController::Build() {
  menu_ = seam_.AddMenu("Наладка", "SetupMenu");
  compareWithFileItem_ = menu_->addAction("Сравнить с файлом…");
  compareWithFileItem_->setObjectName("CompareWithFileItem");
  configurationReportItem_ = menu_->addAction("Отчёт о настройке…");
  configurationReportItem_->setObjectName("ConfigurationReportItem");
  menu_->addSeparator();
  batchWriteItem_ = menu_->addAction("Записать во все найденные…");
  batchWriteItem_->setObjectName("BatchWriteItem");
  menu_->addSeparator();
  fastSearchItem_ = menu_->addAction("Быстрый поиск");
  fastSearchItem_->setObjectName("FastSearchItem");
  fastSearchItem_->setCheckable(true);
  fastSearchItem_->setChecked(state_.FastSearch);
  fastSearchItem_->setToolTip(
      "Поиск с временем ожидания по скорости обмена и по ответам уже найденных приборов");
  silentAgainItem_ = menu_->addAction("Повторить поиск по молчавшим адресам");
  silentAgainItem_->setObjectName("SilentAgainItem");
  menu_->addSeparator();
  journalItem_ = menu_->addAction("Журнал записей…");
  journalItem_->setObjectName("JournalItem");
  rateSearchItem_ = menu_->addAction("Поиск скорости…");
  rateSearchItem_->setObjectName("RateSearchItem");
  PresentSetupItems();
}

// The second look at the silent addresses is a search: the device feature carries it out.
void TSetupController::Wire() {
  connect(compareWithFileItem_, &QAction::triggered, this,
          &TSetupController::CompareWithFileCommand);
  connect(configurationReportItem_, &QAction::triggered, this,
          &TSetupController::ConfigurationReportCommand);
  connect(batchWriteItem_, &QAction::triggered, this, &TSetupController::BatchWriteCommand);
  connect(journalItem_, &QAction::triggered, this, &TSetupController::JournalCommand);
  connect(rateSearchItem_, &QAction::triggered, this, &TSetupController::RateSearchCommand);
  connect(fastSearchItem_, &QAction::toggled, this, [this](bool on) { state_.FastSearch = on; });
  connect(&jobs_, &TJobs::JobEnded, this, [this](uint8_t job, int result) {
    if (job == JobReadAll && result == RESULT_OK) configurationReadAt_ = NowLocal();
  });
  // The tabs of the found instruments change with every search that ends.
  connect(&seam_.Addresses(), &TAddressBar::FoundDeviceChosen, this,
          &TSetupController::PresentSetupItems);
  connect(menu_, &QMenu::aboutToShow, this, &TSetupController::PresentSetupItems);
}

void TSetupController::PresentSetupItems() {
  batchWriteItem_->setEnabled(seam_.Addresses().FoundCount() > 0);
  silentAgainItem_->setEnabled(state_.LastSearchFast);
}

// Runs the job and waits, the window answering meanwhile, until its end has been reported.
// False when it failed (the window has said why), or the window closes. The end of an earlier
// job of the same code may still be on its way when this one starts: only the end that follows
// this job's start counts.
bool TSetupController::RunJobToEnd(uint8_t job) {
  TEventLoopWait wait;
  TJobRunner runner(wait, TJobRunner::TEngine::Shared);
  const auto onStart = connect(&jobs_, &TJobs::JobStarted, this, [&](uint8_t code) {
    if (code == job) runner.Started();
  });
  const auto onEnd = connect(&jobs_, &TJobs::JobEnded, this, [&](uint8_t code, int result) {
    if (code == job) runner.Ended(static_cast<TResult>(result));
  });
  TJobRunControl control;
  control.Abandoned = [this] { return seam_.Closing(); };
  const TResult result = runner.Run([this, job] { return jobs_.JobStart(job); }, control);
  disconnect(onStart);
  disconnect(onEnd);
  return result == RESULT_OK && !seam_.Closing();
}

// With the port open the configuration is read now, over what the window holds (which the user
// is asked about when it has unsaved edits); without it, what was last read is used.
bool TSetupController::ReadConfigurationNow() {
  if (!mip_.Bus.IsOpen()) {
    if (mip_.AnyGroupFrom(TGroupSource::Read)) return true;
    seam_.Dialogs().Error(seam_.Window(), QString(),
                          "Конфигурация прибора не считана: соединитесь с прибором и повторите.");
    return false;
  }
  pages_.CommitEdits();
  if (!unsaved_.MayDiscard(pages_, seam_)) return false;
  return RunJobToEnd(JobReadAll);
}

// The instrument's configuration as a copy of its own: with the port open it is read now, and
// the window's data image, its edits and its pages are put back as they were; without it, what
// was last read is used.
std::optional<TDataImage> TSetupController::ReadInstrumentCopy() {
  if (!mip_.Bus.IsOpen()) {
    if (mip_.AnyGroupFrom(TGroupSource::Read)) return TDataImage(mip_);
    seam_.Dialogs().Error(seam_.Window(), QString(),
                          "Конфигурация прибора не считана: соединитесь с прибором и повторите.");
    return std::nullopt;
  }
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return std::nullopt;
  pages_.CommitEdits();
  unsaved_.Note(pages_.PageJobCode(), pages_.Modified);
  const TDataImage windowImage = mip_;
  const TUnsavedEdits windowEdits = unsaved_;
  const bool modified = pages_.Modified;
  const bool read = RunJobToEnd(JobReadAll);
  std::optional<TDataImage> copy;
  // The poll that follows the read writes the image too: it is put back once the engine is idle.
  if (!jobs_.WaitForIdleEngine(&waited)) return std::nullopt;
  if (read) copy = mip_;
  static_cast<TDataImage&>(mip_) = windowImage;
  unsaved_ = windowEdits;
  pages_.ShowInstrumentCounts();
  pages_.Render();
  pages_.Modified = modified;
  jobs_.AutomaticReread();
  return copy;
}

void TSetupController::CompareWithFileCommand() {
  const QString fileName = seam_.Dialogs().OpenFileName(seam_.Window(), CompareFileRequest());
  if (fileName.isEmpty()) return;
  TConfigBlock block{};
  if (FileKindOf(CorePath(fileName)) == TFileKind::Other ||
      !LoadConfigFile(CorePath(fileName), block)) {
    seam_.Dialogs().Error(seam_.Window(), QString(), "Не могу открыть файл!");
    return;
  }
  const std::optional<TDataImage> instrument = ReadInstrumentCopy();
  if (!instrument) return;
  comparedFile_ = fileName;
  comparedBlock_ = block;
  ShowComparison(*instrument);
}

void TSetupController::ShowComparison(const TDataImage& instrument) {
  comparison_ =
      CompareWithImage(instrument, comparedBlock_, TextForms::CurrentForms()->DecimalSeparator());
  comparedAddress_ = instrument.Address;
  if (!compareDialog_) {
    compareDialog_ = new TCompareDialog(seam_.Window());
    connect(compareDialog_, &TCompareDialog::WriteRequested, this,
            &TSetupController::WriteGroupsFromFile);
  }
  compareDialog_->ShowComparison(*comparison_, comparedFile_);
  compareDialog_->show();
  compareDialog_->raise();
  const size_t count = comparison_->Differences.size();
  seam_.Report(count == 0
                   ? "Сравнение с файлом " + comparedFile_ + ": Совпадает полностью"
                   : QString("Сравнение с файлом %1: различий %2").arg(comparedFile_).arg(count),
               false);
}

// Each group's file values go to the instrument through its own checked write, as the page's
// "Записать текущее" would send them; then the window reads the instrument again, which is
// compared again. The window's edits neither written nor saved are asked about first.
void TSetupController::WriteGroupsFromFile(const QList<uint8_t>& groups) {
  if (!mip_.Bus.IsOpen()) {
    seam_.Report("Не открыт порт!!!", true);
    return;
  }
  if (!unsaved_.MayDiscard(pages_, seam_)) return;
  const QString target = WriteTargetText(mip_, jobs_.CurrentAddress());
  if (!seam_.Dialogs().Ask(
          compareDialog_, "Запись групп из файла",
          QString("Записать в прибор значения файла в выбранных группах (%1)?").arg(groups.size()),
          target) ||
      !MayWriteUnknownValues(seam_, compareDialog_, comparedBlock_, MaxChannels, MaxRelays, groups,
                             target))
    return;
  compareDialog_->SetBusy(true);
  bool written = true;
  for (uint8_t code : groups) {
    bool waited = false;
    if (!jobs_.WaitForIdleEngine(&waited)) return;
    const TGroup* group = GroupByCode(code);
    if (!group || !TakeGroupFromFile(mip_, comparedBlock_, code)) continue;
    unsaved_.Note(code, true);
    written = RunJobToEnd(group->WriteCode);
    if (!written) break;
  }
  if (seam_.Closing()) return;
  jobs_.RenderCurrentPage();
  if (RunJobToEnd(JobReadAll)) ShowComparison(mip_);
  compareDialog_->SetBusy(false);
  if (!written) compareDialog_->SelectGroups(groups);
}

void TSetupController::ConfigurationReportCommand() {
  if (!ReadConfigurationNow()) return;
  QString fileName = seam_.Dialogs().SaveFileName(seam_.Window(), ReportFileRequest());
  if (fileName.isEmpty()) return;
  fileName = WithDefaultExtension(fileName, "html");
  TReportFacts facts;
  facts.Port = LineCaption(mip_.Bus);
  facts.Baud = mip_.Bus.BaudRate();
  facts.ReadAt = configurationReadAt_;
  facts.ArchiveRecords = ReportArchiveRecords;
  if (comparison_ && comparedAddress_ == mip_.Address) {
    facts.ComparedFile = comparedFile_.toStdString();
    facts.Comparison = &*comparison_;
  }
  std::vector<TJournalRecord> records;
  const QString journalMissing = AddJournalRecords(records, facts);
  const std::string html = ConfigurationReportHtml(mip_, facts, TextForms::CurrentTextForm());
  const bool pdf = fileName.endsWith(".pdf", Qt::CaseInsensitive);
  const bool saved = FileKindOf(CorePath(fileName)) != TFileKind::Other &&
                     (pdf ? WritePdf(fileName, QString::fromStdString(html))
                          : WriteConfigurationReport(CorePath(fileName), html));
  if (saved)
    seam_.Report("Отчёт о настройке записан в файл " + fileName + "." + journalMissing, false);
  else
    seam_.Report("Не удалось записать отчёт о настройке в файл " + fileName + ".", true);
}

// The instrument's last records of the journal, as many as the journal dialog says; what keeps
// them out of the report is said after the report's own sentence.
QString TSetupController::AddJournalRecords(std::vector<TJournalRecord>& records,
                                            TReportFacts& facts) {
  const int count = seam_.Journal().ReportRecords();
  if (count == 0) return QString();
  TJournalFilter filter;
  filter.Address = mip_.Address;
  filter.Model = ModelTitle(mip_.ModelCode);
  filter.Limit = static_cast<size_t>(count);
  QString why;
  if (!seam_.Journal().Read(filter, records, &why))
    return " Журнал записей в отчёт не вошел: " + why;
  facts.JournalRecords = &records;
  return QString();
}

void TSetupController::JournalCommand() {
  if (!journalDialog_) journalDialog_ = new TJournalDialog(seam_, seam_.Window());
  journalDialog_->Refresh();
  journalDialog_->show();
  journalDialog_->raise();
  journalDialog_->activateWindow();
}

void TSetupController::RateSearchCommand() {
  if (!rateSearchDialog_)
    rateSearchDialog_ = new TRateSearchDialog(seam_, mip_, jobs_, seam_.Window());
  rateSearchDialog_->Present();
}

void TSetupController::BatchWriteCommand() {
  if (seam_.Addresses().FoundCount() == 0) return;
  auto* dialog = new TBatchWriteDialog(seam_, mip_, jobs_,
                                       [this] { return unsaved_.MayDiscard(pages_, seam_); });
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}
