// The menu "Наладка", after the menu "Вид": the instrument against a configuration file, with the
// writing of the file's values of the groups the user picks, and the configuration report as
// HTML or PDF.
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTimer>

#include "files/ConfigFile.h"
#include "files/ConfigReport.h"
#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/files/FileController.h"
#include "shell/setup/CompareDialog.h"
#include "shell/window/Dialogs.h"
#include "shell/window/UnsavedEdits.h"
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

std::string LocalPath(const QString& name) {
  return QFile::encodeName(name).toStdString();
}

TReportForm ReportForm() {
  TReportForm form;
  form.DecimalSeparator = TextForms::CurrentForms()->DecimalSeparator();
  form.DateTimeText = [](TDateTime value) { return TextForms::DateTimeText(value).toStdString(); };
  return form;
}

// The page laid out on A4 by Qt's own text engine, through a temporary file that replaces the
// target only once it is complete.
bool WritePdf(const QString& fileName, const QString& html) {
  QTemporaryFile temporary(QFileInfo(fileName).absolutePath() + "/.report-XXXXXX.pdf");
  if (!temporary.open()) return false;
  temporary.close();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(temporary.fileName());
  printer.setPageSize(QPageSize(QPageSize::A4));
  QTextDocument document;
  document.setHtml(html);
  document.print(&printer);
  QFile printed(temporary.fileName());
  if (!printed.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = printed.readAll();
  return !bytes.isEmpty() && WriteFileReplacing(LocalPath(fileName), bytes.constData(),
                                                static_cast<size_t>(bytes.size()));
}

}  // namespace

void TMainForm::BuildSetupMenu() {
  SetupMenu = oxMenu1->addMenu("Наладка");
  SetupMenu->setObjectName("SetupMenu");
  CompareWithFileItem = SetupMenu->addAction("Сравнить с файлом…");
  CompareWithFileItem->setObjectName("CompareWithFileItem");
  connect(CompareWithFileItem, &QAction::triggered, this, &TMainForm::CompareWithFileCommand);
  ConfigurationReportItem = SetupMenu->addAction("Отчёт о настройке…");
  ConfigurationReportItem->setObjectName("ConfigurationReportItem");
  connect(ConfigurationReportItem, &QAction::triggered, this,
          &TMainForm::ConfigurationReportCommand);
  connect(devices_, &TDeviceController::JobEnded, this, [this](uint8_t job, int result) {
    if (job == JobReadAll && result == RESULT_OK) configurationReadAt_ = NowLocal();
  });
}

// Runs the job and waits, the window answering meanwhile, until its end has been reported.
// False when it failed (the window has said why), or the window closes. The end of an earlier
// job of the same code may still be on its way when this one starts: only the end that follows
// this job's start counts.
bool TMainForm::RunJobToEnd(uint8_t job) {
  bool started = false;
  bool ended = false;
  int result = RESULT_OK;
  QEventLoop loop;
  const auto onStart = connect(devices_, &TDeviceController::JobStarted, &loop,
                               [&](uint8_t code) { started = started || code == job; });
  const auto onEnd =
      connect(devices_, &TDeviceController::JobEnded, &loop, [&](uint8_t code, int jobResult) {
        if (!started || code != job) return;
        ended = true;
        result = jobResult;
        loop.quit();
      });
  QTimer closing;
  connect(&closing, &QTimer::timeout, &loop, [&] {
    if (closing_) loop.quit();
  });
  if (devices_->JobStart(job)) {
    closing.start(ClosingPollMs);
    if (!ended) loop.exec();
  }
  disconnect(onStart);
  disconnect(onEnd);
  return ended && result == RESULT_OK && !closing_;
}

// With the port open the configuration is read now, over what the window holds (which the user
// is asked about when it has unsaved edits); without it, what was last read is used.
bool TMainForm::ReadConfigurationNow() {
  if (!mip_->Bus.IsOpen()) {
    if (mip_->AnyGroupFrom(TGroupSource::Read)) return true;
    dialogs_->Error(this, QString(),
                    "Конфигурация прибора не считана: соединитесь с прибором и повторите.");
    return false;
  }
  pages_->CommitEdits();
  if (!files_->MayDiscardEdits()) return false;
  return RunJobToEnd(JobReadAll);
}

void TMainForm::CompareWithFileCommand() {
  const QString fileName = dialogs_->OpenFileName(this, CompareFileRequest());
  if (fileName.isEmpty()) return;
  TConfigBlock block{};
  if (FileKindOf(LocalPath(fileName)) == TFileKind::Other ||
      !LoadConfigFile(LocalPath(fileName), block)) {
    dialogs_->Error(this, QString(), "Не могу открыть файл!");
    return;
  }
  if (!ReadConfigurationNow()) return;
  comparedFile_ = fileName;
  comparedBlock_ = block;
  ShowComparison();
}

void TMainForm::ShowComparison() {
  comparison_ =
      CompareWithImage(*mip_, comparedBlock_, TextForms::CurrentForms()->DecimalSeparator());
  comparedAddress_ = mip_->Address;
  if (!CompareDialog) {
    CompareDialog = new TCompareDialog(this);
    connect(CompareDialog, &TCompareDialog::WriteRequested, this, &TMainForm::WriteGroupsFromFile);
  }
  CompareDialog->ShowComparison(*comparison_, comparedFile_);
  CompareDialog->show();
  CompareDialog->raise();
  const size_t count = comparison_->Differences.size();
  Report(count == 0 ? "Сравнение с файлом " + comparedFile_ + ": Совпадает полностью"
                    : QString("Сравнение с файлом %1: различий %2").arg(comparedFile_).arg(count),
         false);
}

// Each group's file values go to the instrument through its own checked write, as the page's
// "Записать текущее" would send them; then everything is read back and compared again.
void TMainForm::WriteGroupsFromFile(const QList<uint8_t>& groups) {
  if (!mip_->Bus.IsOpen()) {
    Report("Не открыт порт!!!", true);
    return;
  }
  if (!dialogs_->Ask(
          CompareDialog, "Запись групп из файла",
          QString("Записать в прибор значения файла в выбранных группах (%1)?").arg(groups.size())))
    return;
  CompareDialog->SetBusy(true);
  bool written = true;
  for (uint8_t code : groups) {
    bool waited = false;
    if (!devices_->WaitForIdleEngine(&waited)) return;
    const TGroup* group = GroupByCode(code);
    if (!group || !TakeGroupFromFile(*mip_, comparedBlock_, code)) continue;
    unsaved_->Note(code, true);
    written = RunJobToEnd(group->WriteCode);
    if (!written) break;
  }
  if (closing_) return;
  devices_->RenderCurrentPage();
  if (RunJobToEnd(JobReadAll)) ShowComparison();
  CompareDialog->SetBusy(false);
  if (!written) CompareDialog->SelectGroups(groups);
}

void TMainForm::ConfigurationReportCommand() {
  if (!ReadConfigurationNow()) return;
  QString fileName = dialogs_->SaveFileName(this, ReportFileRequest());
  if (fileName.isEmpty()) return;
  fileName = WithDefaultExtension(fileName, "html");
  TReportFacts facts;
  facts.Port = QString("COM%1 (%2)")
                   .arg(mip_->Bus.PortIndex() + 1)
                   .arg(QString::fromStdString(mip_->Bus.PortDevice(mip_->Bus.PortIndex())))
                   .toStdString();
  facts.Baud = mip_->Bus.BaudRate();
  facts.ReadAt = configurationReadAt_;
  facts.ArchiveRecords = ReportArchiveRecords;
  if (comparison_ && comparedAddress_ == mip_->Address) {
    facts.ComparedFile = comparedFile_.toStdString();
    facts.Comparison = &*comparison_;
  }
  const std::string html = ConfigurationReportHtml(*mip_, facts, ReportForm());
  const bool pdf = fileName.endsWith(".pdf", Qt::CaseInsensitive);
  const bool saved = FileKindOf(LocalPath(fileName)) != TFileKind::Other &&
                     (pdf ? WritePdf(fileName, QString::fromStdString(html))
                          : WriteConfigurationReport(LocalPath(fileName), html));
  if (saved)
    Report("Отчёт о настройке записан в файл " + fileName + ".", false);
  else
    Report("Не удалось записать отчёт о настройке в файл " + fileName + ".", true);
}
