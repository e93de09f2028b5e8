// The archive page's export: the records of the last archive read as a text file, with the
// numbers and date-times written as the archive page shows them, or as CSV for analysis. The
// file is written on a thread of its own while the window goes on.
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

#include "files/ArchiveText.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/files/FileController.h"
#include "shell/window/Dialogs.h"
#include "views/TextForms.h"

namespace {

constexpr int ExportGaugeMs = 50;

// A name typed without an extension becomes a .txt file: with the configuration's .prb the
// export could silently replace a configuration file of the same name.
const TFileRequest& ArchiveSaveRequest() {
  static const TFileRequest request{
      "Сохранить Архив", "Текстовые файлы|*.txt|Все файлы|*.*|Таблицы CSV (UTF-8)|*.csv", "txt"};
  return request;
}

bool IsCsvName(const QString& fileName) {
  return QFileInfo(fileName).suffix().compare("csv", Qt::CaseInsensitive) == 0;
}

// Everything the writing thread uses is its own: the window may read the archive again, or the
// user change the locale, while the file is written.
struct TArchiveExport {
  std::string Path;
  bool Csv = false;
  std::vector<MeasurementRecord> Records;
  uint16_t ChannelCount = 0;
  std::shared_ptr<const TextForms::TForms> Forms;
  std::atomic<size_t> Done{0};
  bool Written = false;

  void Run() {
    const TExportProgress progress = [this](size_t done) {
      Done = done;
      return true;
    };
    if (Csv) {
      Written = WriteArchiveCsv(Path, Records, ChannelCount, progress);
      return;
    }
    TArchiveTextForm form;
    form.DecimalSeparator = Forms->DecimalSeparator();
    form.DateTimeText = [forms = Forms](TDateTime value) {
      return forms->DateTimeText(value).toStdString();
    };
    Written = WriteArchiveText(Path, Records, ChannelCount, form, progress);
  }
};

}  // namespace

// The archive list is filled by the archive read on the job thread: the export waits for a
// running job before it takes a copy of the list. The grid is left as it is.
void TFileController::SaveArchiveCommand() {
  const QString fileName = form_.Dialogs().SaveFileName(&form_, ArchiveSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!devices_.WaitForIdleEngine(&waited)) return;
  auto job = std::make_shared<TArchiveExport>();
  job->Path = QFile::encodeName(fileName).toStdString();
  job->Csv = IsCsvName(fileName);
  job->Records = mip_.MeasArchive;
  job->ChannelCount = mip_.ChannelCount;
  job->Forms = std::make_shared<const TextForms::TForms>(QLocale());
  if (!RunArchiveExport([job] { job->Run(); }, job->Records.size(),
                        [job] { return job->Done.load(); }) ||
      !job->Written)
    form_.Dialogs().Error(&form_, QString(), "Не могу сохранить в файл!");
  if (waited) devices_.AutomaticReread();
}

// Runs work on a thread of its own and the window's events meanwhile, with the records done on
// the gauge. False when an export is already under way.
bool TFileController::RunArchiveExport(const std::function<void()>& work, size_t total,
                                       const std::function<size_t()>& done) {
  if (exporting_) return false;
  exporting_ = true;
  QProgressBar* gauge = form_.CGauge;
  QEventLoop loop;
  QTimer refresh;
  const bool gaugeWasVisible = gauge->isVisible();
  const auto showDone = [&] {
    if (!gaugeWasVisible) gauge->setValue(static_cast<int>(done()));
  };
  if (!gaugeWasVisible) {
    gauge->setRange(0, static_cast<int>(total));
    gauge->setFormat("%v/%m");
    gauge->setValue(0);
    gauge->show();
  }
  connect(&refresh, &QTimer::timeout, &loop, showDone);
  refresh.start(ExportGaugeMs);
  std::atomic<bool> finished{false};
  std::thread writer([&] {
    work();
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The thread may finish before the loop runs: the quit it posted still ends the loop.
  loop.exec();
  writer.join();
  if (!gaugeWasVisible) {
    gauge->hide();
    gauge->setRange(0, 100);
    gauge->setFormat("%p%");
  }
  exporting_ = false;
  return finished;
}
